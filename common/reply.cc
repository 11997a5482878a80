#include "common/reply.h"

#include <json-c/json.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/core_client.h"

int write_reply(int kind, const char* text) {
  if (text == nullptr) return -1;
  if (kind == REPLY_TEXT) {
    fwrite(kReplyTextHeader, 1, sizeof kReplyTextHeader - 1, stdout);
  } else if (kind == REPLY_JSON) {
    fwrite(kReplyJsonHeader, 1, sizeof kReplyJsonHeader - 1, stdout);
  }
  fwrite(text, 1, strlen(text), stdout);
  fflush(stdout);
  return 0;
}

int reply_cgi_error(int kind) {
  if (kind == REPLY_TEXT) {
    write_reply(REPLY_TEXT, "CGI ERROR");
  } else if (kind == REPLY_JSON) {
    write_reply(REPLY_JSON, "{status:\"CGI ERROR\"}");
  }
  return 0;
}

void reply_status_json(int count, const void* payload) {
  if (count < 1 || payload == nullptr) return;
  int32_t status;
  memcpy(&status, payload, sizeof status);
  if (reply_claim()) {
    std::unique_ptr<json_object, decltype(&json_object_put)> object(json_object_new_object(),
                                                                    json_object_put);
    if (object) {
      json_object_object_add(object.get(), "status", json_object_new_int(status));
      write_reply(REPLY_JSON, json_object_to_json_string(object.get()));
    }
  }
  reply_flag_set(1);
}

void reply_status_text(int status, const char* data) {
  if (reply_claim()) {
    char text[256];
    int used = snprintf(text, sizeof text, "%s status:[%d]", status < 0 ? "CGI ERROR" : "CGI OK", status);
    if (data != nullptr && used >= 0 && static_cast<size_t>(used) < sizeof text) {
      snprintf(text + used, sizeof text - static_cast<size_t>(used), ", data:[%s]", data);
    }
    write_reply(REPLY_TEXT, text);
  }
  reply_flag_set(1);
}
