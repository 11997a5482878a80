// libFuzzer entry for the request member reader and the record schemas: the input's first byte
// picks a record schema (or the member list below), the rest is the request's JSON text. A read
// that succeeds must leave every text field NUL-terminated within its width and every ranged
// number within its range; the record written back must be JSON that parses again; a refused read
// must leave the record untouched.
#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/json_fields.h"
#include "common/record_json.h"
#include "platform/zvdb/records/camera_record.h"
#include "platform/zvdb/records/device_records.h"
#include "platform/zvdb/records/disk_record.h"
#include "platform/zvdb/records/motion_record.h"
#include "platform/zvdb/records/network_record.h"
#include "platform/zvdb/records/network_services_record.h"
#include "platform/zvdb/records/osd_record.h"
#include "platform/zvdb/records/ptz_record.h"
#include "platform/zvdb/records/schedule_record.h"

namespace {

// Records with texts, ranges, required and keep-if-absent members, number arrays and arrays of
// records: the field kinds every request form is made of.
const zvrec::Schema* const kSchemas[] = {
    &zvrec::schema_of<OsdRecord>(),        &zvrec::schema_of<PrivacyMaskEntry>(),
    &zvrec::schema_of<CameraRecord>(),     &zvrec::schema_of<MotionRecord>(),
    &zvrec::schema_of<TimeConfig>(),       &zvrec::schema_of<NetworkConfig>(),
    &zvrec::schema_of<EmailConfig>(),      &zvrec::schema_of<DiskConfig>(),
    &zvrec::schema_of<PtzSpeed>(),         &zvrec::schema_of<PtzPort>(),
    &zvrec::schema_of<AutoRebootConfig>(), &zvrec::schema_of<WhiteLedParams>(),
};
constexpr size_t kSchemaCount = sizeof kSchemas / sizeof kSchemas[0];

struct JsonFree {
  void operator()(json_object* o) const { json_object_put(o); }
};
using Json = std::unique_ptr<json_object, JsonFree>;

Json parse(const char* text, size_t length) {
  json_tokener* tok = json_tokener_new_ex(64);
  if (tok == nullptr) return nullptr;
  Json out(json_tokener_parse_ex(tok, text, static_cast<int>(length)));
  if (json_tokener_get_error(tok) != json_tokener_success) out.reset();
  json_tokener_free(tok);
  return out;
}

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// Every text NUL-terminated within its width and every ranged number in range, recursively.
void check_fields(const zvrec::Schema& schema, const unsigned char* record) {
  for (const zvrec::Field& f : schema.fields) {
    const unsigned char* at = record + f.offset;
    switch (f.type) {
      case zvrec::Type::kText:
        if (f.readable()) check(memchr(at, '\0', f.size) != nullptr);
        break;
      case zvrec::Type::kInt32: {
        int32_t v;
        memcpy(&v, at, sizeof v);
        if (f.readable()) check(!(f.has_min && v < f.min) && !(f.has_max && v > f.max));
        break;
      }
      case zvrec::Type::kRecords:
        for (uint32_t i = 0; i < f.count; ++i) check_fields(*f.element, at + i * f.element_size);
        break;
      default:
        break;
    }
  }
}

// A record as a stored one could be: texts terminated at the end of their width (the bytes
// before are not: a read must terminate what it writes), numbers inside their ranges.
void init_fields(const zvrec::Schema& schema, unsigned char* record) {
  for (const zvrec::Field& f : schema.fields) {
    unsigned char* at = record + f.offset;
    if (f.type == zvrec::Type::kText) {
      at[f.size - 1] = '\0';
    } else if (f.type == zvrec::Type::kInt32) {
      const int32_t v = f.has_min ? static_cast<int32_t>(f.min) : 0;
      memcpy(at, &v, sizeof v);
    } else if (f.type == zvrec::Type::kRecords) {
      for (uint32_t i = 0; i < f.count; ++i) init_fields(*f.element, at + i * f.element_size);
    }
  }
}

void fuzz_schema(const zvrec::Schema& schema, json_object* request) {
  std::vector<unsigned char> record(schema.size, 'A');
  init_fields(schema, record.data());
  const std::vector<unsigned char> before = record;
  if (!read_record(request, schema, record.data())) {
    check(record == before);
    return;
  }
  check_fields(schema, record.data());
  JsonWriter w;
  write_object(w, schema, record.data());
  const std::string_view text = w.text();
  check(parse(text.data(), text.size()) != nullptr);
}

void fuzz_members(json_object* request) {
  int32_t channel = -7;
  int64_t mask = 0;
  double position = 0;
  char name[16];
  char short_text[4];
  json_object* list = nullptr;
  json_object* dialog = nullptr;
  memset(name, 'N', sizeof name);
  memset(short_text, 'S', sizeof short_text);
  const JsonMember members[] = {
      int_member("chnid", &channel).required().range(0, 63),
      int64_member("mask", &mask),
      double_member("pos", &position).min(0).max(1),
      text_member("name", name).required(),
      text_member("t", short_text).max_chars(2),
      array_member("list", &list),
      object_member("dialog", &dialog),
  };
  if (!read_json_members(request, members)) {
    check(channel == -7 && name[0] == 'N');
    return;
  }
  check(channel >= 0 && channel <= 63);
  check(position >= 0 && position <= 1);
  check(strnlen(name, sizeof name) < sizeof name);
  check(strnlen(short_text, sizeof short_text) <= 2);
  if (list != nullptr) check(json_object_is_type(list, json_type_array));
  if (dialog != nullptr) check(json_object_is_type(dialog, json_type_object));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  const size_t pick = data[0] % (kSchemaCount + 1);
  Json request = parse(reinterpret_cast<const char*>(data + 1), size - 1);
  if (!request || !json_object_is_type(request.get(), json_type_object)) return 0;
  if (pick == kSchemaCount) {
    fuzz_members(request.get());
  } else {
    fuzz_schema(*kSchemas[pick], request.get());
  }
  return 0;
}
