#include "common/reply_forms.h"

#include "common/json_writer.h"
#include "common/record_json.h"
#include "common/request.h"

void reply_int_member(const char* key, int32_t value) {
  JsonWriter w;
  w.begin_object().key(key).value(value).end_object();
  reply_json(w);
}

void reply_text_member(const char* key, const char* text) {
  JsonWriter w;
  w.begin_object().key(key).value(text).end_object();
  reply_json(w);
}

void reply_res(int32_t res) { reply_int_member("res", res); }

bool reply_int_member(const char* key, const std::optional<CoreReply>& reply) {
  int32_t value = 0;
  if (!reply || !reply->first(&value)) return false;
  reply_int_member(key, value);
  return true;
}

void reply_core_res(const std::optional<CoreReply>& reply) { reply_int_member("res", reply); }

void reply_status_words(const std::optional<CoreReply>& reply, const char* ok, const char* failed) {
  if (!reply) return;
  int32_t status = -1;
  reply->first(&status);
  reply_text(status == 0 ? ok : failed);
}

void reply_fields(std::initializer_list<FieldsPart> parts, size_t reserve) {
  JsonWriter w(reserve);
  w.begin_object();
  for (const FieldsPart& part : parts) write_fields(w, part.schema, part.record);
  reply_json(w.end_object());
}
