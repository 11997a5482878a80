#include "common/reply_text_member.h"

#include "common/json_writer.h"
#include "common/request.h"

void reply_text_member(const char* key, const char* text) {
  JsonWriter w;
  w.begin_object().key(key).value(text).end_object();
  reply_json(w);
}
