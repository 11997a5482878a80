// Every identifier webreq registers, called as a hostile browser would: no argument (GET), "{}",
// "[]", "null", a number, a text of 1 MiB (POST) or 64 KiB (a query: the kernel caps one
// environment string at 128 KiB); with no core at all; with every message it sends answered by
// malformed replies; and, for the writers of tests/support/writer_table.h, every member of a valid
// body absent, of each wrong JSON type, outside every 32-bit range and as an overlong text; for
// the writer forms that are one record's schema, the ranges and text widths of that schema. With
// the core simulator: every identifier that waits for the core, its replies scripted malformed
// (a byte short of the record among them), and the core killed while it waits. A case passes when webreq exits by itself with status 0 within its budget and without a sanitizer
// report, writes one reply or none, creates, changes or removes no file outside the database and
// what the identifier owns, and leaves the database as it was whenever it refuses.
//
// One webreq process per case is the cost, so some forms are taken in turn across identifiers and
// members; ZV_ATTACK_ALL=1 runs every form of every one, ZV_ATTACK_TRACE=1 prints each case's time.
#include <dirent.h>
#include <json-c/json.h>
#include <strings.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/core_client.h"
#include "common/oplog.h"
#include "common/request.h"
#include "front/registry.h"
#include "common/messages/alarm.h"
#include "common/messages/camera_apps.h"
#include "common/messages/camera.h"
#include "common/messages/camera_setup.h"
#include "common/messages/local.h"
#include "common/messages/https.h"
#include "common/messages/network.h"
#include "common/messages/network_services.h"
#include "common/messages/playback.h"
#include "common/messages/ptz.h"
#include "common/messages/record.h"
#include "common/messages/state.h"
#include "common/messages/storage.h"
#include "common/messages/admin.h"
#include "common/messages/device.h"
#include "common/messages/system.h"
#include "common/messages/alarm_event.h"
#include "common/messages/analytics.h"
#include "common/messages/video.h"
#include "platform/zvdb/records/device_records.h"
#include "platform/zvdb/records/motion_record.h"
#include "platform/zvdb/records/network_record.h"
#include "platform/zvdb/records/network_services_record.h"
#include "platform/zvdb/records/osd_record.h"
#include "platform/zvdb/records/ptz_record.h"
#include "platform/zvdb/records/record_config.h"
#include "tests/support/request_fixture.h"
#include "tests/support/writer_table.h"
#include "tests/support/declared_messages.h"

namespace zvtest {
namespace {

// The device directories a request could write to. The database files are compared through
// dump() (a request that stores legitimately changes them); the core's socket is the fake core's.
const char* const kTreeRoots[] = {"/tmp", "/mnt/nand", "/mnt/nand2", "/opt/app", "/www", "/var/run", "/dev/shm"};

bool database_file(const std::string& path) {
  for (const char* db : {kZvdbPath, kAnprDbPath}) {
    if (path.rfind(db, 0) == 0) return true;  // the file, its -wal, -shm and -journal
  }
  return false;
}

// Every writer takes the request lock, and the certificate steps their own lock, which stay
// behind: they belong to all of them. The scripted simulator's message log and script belong to
// the test.
bool shared_file(const std::string& path) {
  return path == "/tmp/cgilockfile" || path == "/tmp/certlockfile" || path == "/tmp/core-messages.log" ||
         path == "/tmp/attack.script";
}

std::string stamp(const struct stat& st) {
  return std::to_string(st.st_size) + "@" + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec);
}

// Size and modification time of the database files: a request that did not write leaves them.
std::string database_stamp() {
  std::string out;
  for (const char* db : {kZvdbPath, kAnprDbPath}) {
    for (const char* suffix : {"", "-wal", "-journal"}) {
      struct stat st {};
      out += stat((std::string(db) + suffix).c_str(), &st) == 0 ? stamp(st) : "-";
      out += " ";
    }
  }
  return out;
}

// path -> size and modification time ("dir" and "special" for the rest).
using Tree = std::map<std::string, std::string>;

void walk(const std::string& dir, Tree& tree) {
  for (const std::string& name : list_dir(dir)) {
    const std::string path = dir + "/" + name;
    // The checkout (with its build) is bound into the sandbox at its own path, which may lie
    // below /tmp: the test runner writes there while the tests run.
    if (path == ZV_SOURCE_DIR || path == ZV_BINARY_DIR) continue;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || database_file(path) || shared_file(path)) continue;
    if (S_ISDIR(st.st_mode)) {
      tree[path] = "dir";
      walk(path, tree);
    } else if (S_ISREG(st.st_mode)) {
      tree[path] = stamp(st);
    } else {
      tree[path] = "special";
    }
  }
}

Tree snapshot() {
  Tree tree;
  for (const char* root : kTreeRoots) walk(root, tree);
  return tree;
}

// A refusal in any of the forms the handlers answer with: no reply, "CGI ERROR", "Error",
// {status:"CGI ERROR"}, { "res": -1 } ...: all short.
bool refused(const std::string& reply) {
  const std::string body = body_of(reply);
  return body.empty() || (body.size() < 40 && (body.find("ERROR") != std::string::npos ||
                                               body.find("Error") != std::string::npos ||
                                               body.find("-1") != std::string::npos));
}

// Files an identifier owns outside the database: what it is there to create.
struct Owned {
  const char* id;
  const char* prefix;
};
const Owned kOwned[] = {
    {"/1000", "/mnt/nand/ssl"},              // a login makes the certificate directories
    {"/1007", "/tmp/zvconfig_"},             // the configuration export and its download name
    {"/1007", "/tmp/.export_down_file"},
    {"/1013", "/tmp/zvconfig_"},             // its download, which removes the export
    {"/7080", "/mnt/nand/ssl"},              // the certificate request prepares the CA layout
};

bool owned_by(const std::string& id, const std::string& path) {
  for (const Owned& o : kOwned) {
    if (id == o.id && path.rfind(o.prefix, 0) == 0) return true;
  }
  return false;
}

// The lines of `before` missing from `after` and the reverse, at most a few of each.
std::string line_diff(const std::string& before, const std::string& after) {
  auto lines = [](const std::string& text) {
    std::set<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      out.insert(text.substr(at, std::min<size_t>(end - at, 120)));
      at = end + 1;
    }
    return out;
  };
  const std::set<std::string> a = lines(before), b = lines(after);
  std::string out;
  int shown = 0;
  for (const std::string& l : a) {
    if (!b.contains(l) && shown++ < 4) out += "\n- " + l;
  }
  for (const std::string& l : b) {
    if (!a.contains(l) && shown++ < 8) out += "\n+ " + l;
  }
  return out;
}

// What changed between two trees, leaving out what `id` owns.
std::string tree_diff(const std::string& id, const Tree& before, const Tree& after) {
  std::string out;
  for (const auto& [path, what] : after) {
    if (owned_by(id, path)) continue;
    auto it = before.find(path);
    if (it == before.end()) {
      out += " created " + path;
    } else if (it->second != what) {
      out += " changed " + path;
    }
  }
  for (const auto& [path, what] : before) {
    if (!after.contains(path) && !owned_by(id, path)) out += " removed " + path;
  }
  return out;
}

// Nothing, or one CGI header block (Content-type, Location, Set-Cookie ... lines, then an empty
// line) with at most one Content-type, and whatever body follows.
bool one_reply(const std::string& out) {
  if (out.empty()) return true;
  size_t end = out.find("\r\n\r\n");
  if (end == std::string::npos) end = out.find("\n\n");
  if (end == std::string::npos) return false;
  int content_types = 0;
  size_t at = 0;
  while (at < end) {
    size_t eol = out.find('\n', at);
    if (eol == std::string::npos || eol > end) eol = end;
    const std::string line = out.substr(at, eol - at);
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
      if (!isalnum(static_cast<unsigned char>(line[i])) && line[i] != '-') return false;
    }
    if (strncasecmp(line.c_str(), "Content-type:", 13) == 0) ++content_types;
    at = eol + 1;
  }
  return content_types <= 1;
}

std::vector<std::string> registered_identifiers() {
  std::vector<std::string> ids;
  std::set<std::string> seen;
  for (int m = 0; m < kProgramModuleCount; ++m) {
    const RequestModule* module = kProgramModules[m];
    for (int i = 0; i < module->count; ++i) {
      const std::string id(module->table[i].id, strnlen(module->table[i].id, sizeof module->table[i].id));
      if (seen.insert(id).second) ids.push_back(id);
    }
  }
  return ids;
}

// A request without an answering core waits a few milliseconds per message (kFastTiming); no
// identifier may take longer than this in the sanitizer build.
constexpr int kBudgetMs = 5000;

class Attack : public RequestTest {
 protected:
  // A silent core costs each message a tenth of the fast timing's wait: the budgets keep their
  // poll counts, so "within its budget" still holds, and thousands of cases fit in the CI time.
  void SetUp() override {
    RequestTest::SetUp();
    timing_ = "attempts=3,pause_us=1000,poll_us=20";
    // Leaks are checked on each identifier's first case only (thousands of cases, and the request
    // tests check them on the handlers' own paths).
    leak_check_every_ = 0;
  }

  struct Outcome {
    RunResult run;
    int64_t ms = 0;
  };

  Outcome send(const std::string& id, bool get_method, const std::string& argument) {
    const auto start = std::chrono::steady_clock::now();
    Outcome o;
    o.run = get_method ? get(id, argument) : post(id, argument);
    o.ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    return o;
  }

  // One case: webreq ends cleanly and in time, with one reply; no file outside the database
  // moves; a refusal leaves the database as it was. Returns false when the database changed.
  // A malformed request may get no reply at all (the web server then answers for webreq), never
  // a partial or a doubled one.
  // A writer that stored and then could not tell the core answers with its error form, though
  // the settings stay: `stores` marks such valid requests, whose database change is no fault.
  Outcome attack(const std::string& id, bool get_method, const std::string& argument, const std::string& label,
                 bool stores = false) {
    SCOPED_TRACE(id + (get_method ? " GET " : " POST ") + label);
    const Tree files = snapshot();
    if (db_.empty()) db_ = dump();
    const std::string db_stamp = database_stamp();
    const Outcome o = send(id, get_method, argument);
    ++cases_;
    if (getenv("ZV_ATTACK_TRACE")) fprintf(stderr, "%s %s %s: %lld ms\n", id.c_str(), get_method ? "GET" : "POST", label.c_str(), static_cast<long long>(o.ms));
    EXPECT_EQ(o.run.signal, 0);
    EXPECT_LE(o.ms, kBudgetMs);
    EXPECT_TRUE(one_reply(o.run.out)) << o.run.out.substr(0, 300);
    const Tree after = snapshot();
    EXPECT_EQ(tree_diff(id, files, after), "");
    if (database_stamp() != db_stamp) {
      const std::string now = dump();
      // A refusal tells the core nothing; a writer that stored and then waited in vain for the
      // core answers with the same error form (the core was told: not a refusal).
      const bool core_told = (core_ && !core_->received().empty()) ||
                             (sim_ && !read_file(kSimulatorLog).empty());
      if (refused(o.run.out) && !stores && !core_told) {
        EXPECT_TRUE(now == db_) << "a refusal changed the database: " << o.run.out.substr(0, 200)
                                << line_diff(db_, now);
      }
      db_ = now;
    }
    if (core_) core_->clear_received();
    if (sim_) {
      EXPECT_EQ(truncate(kSimulatorLog, 0), 0);
    }
    return o;
  }

  int cases_ = 0;
  std::string db_;  // the database as the last case left it
};

// Identifiers whose handlers are allowed a longer run: none so far.
TEST_F(Attack, EveryIdentifierWithGenericArguments) {
  const std::string mib(1 << 20, 'A');
  const std::string query(64 << 10, 'A');
  const std::vector<std::pair<std::string, std::string>> bodies = {
      {"{}", "{}"}, {"[]", "[]"}, {"null", "null"}, {"-2147483649", "number"}, {mib, "1 MiB"}};
  const std::vector<std::pair<std::string, std::string>> queries = {{"", "no argument"}, {query, "64 KiB"}};
  const std::vector<std::string> ids = registered_identifiers();
  ASSERT_GT(ids.size(), 100u);
  // "{}" and the long texts for every identifier; "[]", "null" and the number in turn
  // (ZV_ATTACK_ALL: all of them).
  const bool all = getenv("ZV_ATTACK_ALL") != nullptr;
  for (size_t i = 0; i < ids.size(); ++i) {
    for (size_t b = 0; b < bodies.size(); ++b) {
      const bool in_turn = b == 0 || b == bodies.size() - 1 || b == 1 + i % (bodies.size() - 2);
      if (all || in_turn) attack(ids[i], false, bodies[b].first, bodies[b].second);
    }
    for (const auto& [q, label] : queries) attack(ids[i], true, q, label);
  }
  RecordProperty("cases", cases_);
  printf("attack: %zu identifiers, %d cases\n", ids.size(), cases_);
}

// The bodies of `body` with its member `key` absent, of each other JSON type, at numbers outside
// every 32-bit range, and as a text longer than any record field (4 KiB + 1).
std::vector<std::pair<std::string, std::string>> mutations(const std::string& body, size_t rotation) {
  std::vector<std::pair<std::string, std::string>> out;
  json_object* root = json_tokener_parse(body.c_str());
  if (root == nullptr || !json_object_is_type(root, json_type_object)) {
    json_object_put(root);
    return out;
  }
  std::vector<std::string> keys;
  json_object_object_foreach(root, k, v) {
    (void)v;
    keys.emplace_back(k);
  }
  const std::string long_text = "\"" + std::string(4097, 'x') + "\"";
  const std::pair<const char*, std::string> values[] = {
      {"text", "\"x\""},        {"number", "7"},           {"fraction", "0.5"},
      {"array", "[]"},          {"object", "{}"},          {"null", "null"},
      {"boolean", "true"},      {"below", "-2147483649"},  {"above", "4294967296"},
      {"nested", "[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]"}, {"long text", long_text},
  };
  // Every key absent and overlong; two other forms in turn, so that the whole table is covered
  // across the members (ZV_ATTACK_ALL: every form of every member).
  const bool all = getenv("ZV_ATTACK_ALL") != nullptr;
  const size_t n = std::size(values);
  for (size_t k = 0; k < keys.size(); ++k) {
    const std::string& key = keys[k];
    json_object* copy = nullptr;
    json_object_deep_copy(root, &copy, nullptr);
    json_object_object_del(copy, key.c_str());
    out.emplace_back(json_object_to_json_string_ext(copy, JSON_C_TO_STRING_PLAIN), key + " absent");
    json_object_put(copy);
    for (size_t v = 0; v < n; ++v) {
      const size_t turn = (rotation + 2 * k) % (n - 1);
      if (!all && values[v].first != std::string("long text") && v != turn && v != (turn + 1) % (n - 1)) continue;
      copy = nullptr;
      json_object_deep_copy(root, &copy, nullptr);
      json_object_object_add(copy, key.c_str(), json_tokener_parse(values[v].second.c_str()));
      out.emplace_back(json_object_to_json_string_ext(copy, JSON_C_TO_STRING_PLAIN), key + " " + values[v].first);
      json_object_put(copy);
    }
  }
  json_object_put(root);
  return out;
}

// No core on the device's socket at all (it crashed and is restarting): every identifier still
// answers, once and within its budget, to an empty request and to its writer body.
TEST_F(Attack, EveryIdentifierWithTheCoreAbsent) {
  core_.reset();
  for (const std::string& id : registered_identifiers()) attack(id, false, "{}", "core absent");
  for (const Writer& w : kWriters) attack(w.id, false, w.body, "core absent, valid body", true);
  printf("attack: %d cases without a core\n", cases_);
}

// Every reply printer fed malformed core replies: each identifier is called once to learn the
// messages it sends to the core, then again with every one of them answered by an empty reply,
// one of 3 bytes (shorter than any record), counts far above any capacity (int32 words of
// 0x7fffffff, then of -1), 4 KiB of text without a terminator, and a zeroed record that arrives
// after the request stopped waiting. The reply must stay within the payload (sanitizers), come
// once and in time.
Bytes huge_counts() {
  Bytes out;
  for (int i = 0; i < 64; ++i) {
    const Bytes word = int32s({0x7fffffff});
    out.insert(out.end(), word.begin(), word.end());
  }
  return out;
}

TEST_F(Attack, EveryReplyPrinterWithMalformedCoreReplies) {
  const std::vector<std::pair<Bytes, std::string>> payloads = {
      {Bytes{}, "empty"},
      {Bytes(3, 0x01), "3 bytes"},
      {huge_counts(), "huge counts"},
      {Bytes(4096, 0xff), "counts of -1"},
      {Bytes(4096, 'A'), "text without terminator"},
  };
  int printers = 0;
  const bool all = getenv("ZV_ATTACK_ALL") != nullptr;
  for (const std::string& id : registered_identifiers()) {
    core_->clear_received();
    post(id, "{}");
    std::set<int32_t> sent;
    for (const ReceivedMessage& m : core_->received()) sent.insert(m.id);
    if (sent.empty()) continue;
    // Every printer gets the empty reply and one other form in turn (ZV_ATTACK_ALL: every form).
    for (size_t p = 0; p < payloads.size(); ++p) {
      if (!all && p != 0 && p != 1 + static_cast<size_t>(printers) % (payloads.size() - 1)) continue;
      for (int32_t message : sent) core_->reply(message, payloads[p].first);
      attack(id, false, "{}", "core replies " + payloads[p].second);
    }
    ++printers;
    if (all || printers % 4 == 0) {
      for (int32_t message : sent) core_->reply(message, Bytes(4096, 0), /*delay_ms=*/200);
      attack(id, false, "{}", "core replies late");
    }
    core_->clear_replies();
  }
  printf("attack: %d reply printers, %d cases\n", printers, cases_);
}

// Every member of every writer family's valid request made hostile, one at a time.
TEST_F(Attack, EveryWriterMemberMutated) {
  size_t rotation = 0;
  for (const Writer& w : kWriters) {
    for (const auto& [body, label] : mutations(w.body, rotation++)) attack(w.id, false, body, label);
  }
  printf("attack: %zu writers, %d member cases\n", std::size(kWriters), cases_);
}

// Writer forms that are one record's schema: their cases are generated from its fields.
struct SchemaForm {
  const char* id;
  const zvrec::Schema* schema;
};
const SchemaForm kSchemaForms[] = {
    {"/6001", &zvrec::schema_of<OsdRecord>()},        {"/6054", &zvrec::schema_of<PtzSpeed>()},
    {"/7001", &zvrec::schema_of<TimeConfig>()},       {"/7091", &zvrec::schema_of<SnmpConfig>()},
    {"/6031", &zvrec::schema_of<HolidayConfig>()},    {"/1033", &zvrec::schema_of<AutoRebootConfig>()},
    {"/6012", &zvrec::schema_of<MotionRecord>()},
};

// `body` with member `key` set to the JSON `value` (null: removed).
std::string with_member(const std::string& body, const std::string& key, const char* value) {
  JsonPtr root(json_tokener_parse(body.c_str()));
  if (!root) return body;
  json_object_object_del(root.get(), key.c_str());
  if (value != nullptr) json_object_object_add(root.get(), key.c_str(), json_tokener_parse(value));
  return json_object_to_json_string_ext(root.get(), JSON_C_TO_STRING_PLAIN);
}

std::string number_text(double v) {
  char text[64];
  snprintf(text, sizeof text, "%.17g", v);
  return text;
}

// From each form's schema: every required member absent, every ranged number at the first value
// outside its range on both sides (and 32-bit numbers one past their type), refused with the
// database and the core untouched; every text one character above its width and one above its
// field, which is stored cut (never in full) or refused.
TEST_F(Attack, SchemaRangesAndTextWidthsOfEveryWriterForm) {
  int refusals = 0;
  int texts = 0;
  for (const SchemaForm& form : kSchemaForms) {
    const Writer* writer = nullptr;
    for (const Writer& w : kWriters) {
      if (std::string(w.id) == form.id) writer = &w;
    }
    ASSERT_NE(writer, nullptr) << form.id;
    for (const zvrec::Field& f : form.schema->fields) {
      if (!f.readable()) continue;
      std::vector<std::pair<std::string, std::string>> refused_values;  // JSON value, label
      if (f.is(zvrec::Field::kRequired)) refused_values.emplace_back("", "absent");
      const bool number = f.type == zvrec::Type::kInt32 || f.type == zvrec::Type::kUint32 ||
                          f.type == zvrec::Type::kInt64 || f.type == zvrec::Type::kDouble ||
                          f.type == zvrec::Type::kUint8;
      if (number && f.has_min) refused_values.emplace_back(number_text(f.min - 1), "below its range");
      if (number && f.has_max) refused_values.emplace_back(number_text(f.max + 1), "above its range");
      if (f.type == zvrec::Type::kInt32 && !f.has_max) refused_values.emplace_back("2147483648", "above int32");
      if (f.type == zvrec::Type::kInt32 && !f.has_min) refused_values.emplace_back("-2147483649", "below int32");
      if (f.type == zvrec::Type::kUint8 && !f.has_max) refused_values.emplace_back("256", "above a byte");
      for (const auto& [value, label] : refused_values) {
        const std::string body = with_member(writer->body, f.key, value.empty() ? nullptr : value.c_str());
        const std::string before = dump();
        core_->clear_received();
        attack(form.id, false, body, std::string(f.key) + " " + label);
        const RunResult again = post(form.id, body);
        settle();
        EXPECT_TRUE(refused(again.out)) << form.id << " " << f.key << " " << label << ": " << again.out;
        EXPECT_EQ(dump(), before) << form.id << " " << f.key << " " << label;
        EXPECT_TRUE(core_->received().empty()) << form.id << " " << f.key << " " << label;
        ++refusals;
      }
      if (f.type != zvrec::Type::kText) continue;
      for (const uint32_t length : {f.text_limit() + 1, f.size + 1}) {
        const std::string text(length, 'x');
        const std::string body = with_member(writer->body, f.key, ("\"" + text + "\"").c_str());
        attack(form.id, false, body, std::string(f.key) + " of " + std::to_string(length) + " characters", true);
        EXPECT_EQ(dump().find(std::string(f.text_limit() + 1, 'x')), std::string::npos)
            << form.id << " stored " << f.key << " beyond its " << f.text_limit() << " characters";
        ++texts;
      }
    }
  }
  printf("attack: %zu schema forms, %d generated refusals, %d overlong texts\n", std::size(kSchemaForms), refusals,
         texts);
  EXPECT_GT(refusals, 20);
}

// ---- The core simulator: malformed replies by script, and the core killed mid-wait ----------


// Each handler file registers its own identifiers: an identifier in two files' tables would be
// answered by whichever table comes first in the program's list.
TEST(RequestTables, EveryIdentifierIsInOneTable) {
  std::map<std::string, std::string> owner;
  for (int m = 0; m < kProgramModuleCount; ++m) {
    for (int i = 0; i < kProgramModules[m]->count; ++i) {
      const WebReqEntry& row = kProgramModules[m]->table[i];
      auto [at, added] = owner.emplace(std::string(row.id, strnlen(row.id, sizeof row.id)), kProgramModules[m]->name);
      EXPECT_TRUE(added) << at->first << " in modules " << at->second << " and " << kProgramModules[m]->name;
    }
  }
}

// A message id is declared once: a module that sends another module's message refers to its
// declaration, so every listing of an id carries the same declaration (the same name). An id the
// system really uses for two messages (3700) is declared twice with payloads of different sizes,
// which is how the core tells them apart.
TEST(MessageDeclarations, EveryIdIsDeclaredOnce) {
  std::map<int32_t, std::vector<MessageInfo>> by_id;
  for (const MessageInfo& m : all_declared_messages()) {
    for (const MessageInfo& other : by_id[m.id]) {
      EXPECT_TRUE(std::string_view(other.name) == m.name || other.payload_size != m.payload_size)
          << m.id << ": \"" << other.name << "\" and \"" << m.name << "\"";
    }
    by_id[m.id].push_back(m);
  }
}

// Every declared message that the core answers, by id.
const std::map<int32_t, MessageInfo>& declared_exchanges() {
  static const std::map<int32_t, MessageInfo> exchanges = [] {
    std::map<int32_t, MessageInfo> out;
    for (const MessageInfo& m : all_declared_messages()) {
      if (m.reply_id != 0) out.emplace(m.id, m);
    }
    return out;
  }();
  return exchanges;
}

// The request an identifier is called with: a writer's valid body, "{}" for the rest.
std::string body_for(const std::string& id) {
  for (const Writer& w : kWriters) {
    if (id == w.id) return w.body;
  }
  return "{}";
}

std::string hex_of(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// The simulator (zvcore-sim) on the device's socket, its canned replies set by script through its
// control socket between requests.
class ScriptedCore : public Attack {
 protected:
  static constexpr const char* kScript = "/tmp/attack.script";
  static constexpr const char* kControl = "/var/run/attack-sim.ctl";
  // The simulator answers from another process: polls of 50 us keep a silent wait of the default
  // budget at 50 ms while a reply that comes is still taken.
  static constexpr const char* kScriptTiming = "attempts=3,pause_us=1000,poll_us=50";
  static constexpr int kPollUs = 50;
  // While learning what the identifiers send, the simulator answers: a wait of 1 ms polls takes it.
  static constexpr const char* kLearnTiming = "attempts=3,pause_us=1000,poll_us=1000";

  void SetUp() override {
    Attack::SetUp();
    core_.reset();
    timing_ = kScriptTiming;
    write_file(kScript, "");
    start_core();
  }

  void start_core() {
    unlink("/tmp/zvcore");  // left by a killed simulator
    sim_ = std::make_unique<BackgroundProcess>(
        bin_path("zvcore-sim"),
        std::vector<std::string>{"--message-log", kSimulatorLog, "--script", kScript, "--control", kControl,
                                 "--reboot-ms", "10"},
        std::map<std::string, std::string>{{"ZV_SANDBOX", "1"}});
    ASSERT_TRUE(wait_for_file("/tmp/zvcore"));
  }

  // From now on the simulator answers as `text` says (script.h); "" answers as simulated.
  void script(const std::string& text) {
    write_file(kScript, text);
    RunOptions options;
    options.args = {"ctl", "--control", kControl, "script", kScript};
    options.env = {{"ASAN_OPTIONS", "detect_leaks=0"}};  // the client's own leaks: zvcore_sim_control_test
    const RunResult r = run_program(bin_path("zvcore-sim"), options);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }

  // One script line per exchange: its request id answered with `payload` (under its reply id).
  static std::string answer_all(const std::vector<MessageInfo>& exchanges, const Bytes& payload) {
    std::string text;
    for (const MessageInfo& m : exchanges) {
      text += std::to_string(m.id) + " as " + std::to_string(m.reply_id) +
              (payload.empty() ? " empty\n" : " hex " + hex_of(payload) + "\n");
    }
    return text;
  }
  static std::string silence_all(const std::vector<MessageInfo>& exchanges) {
    std::string text;
    for (const MessageInfo& m : exchanges) text += std::to_string(m.id) + " none\n";
    return text;
  }

  // Every identifier with the exchanges it sends when the simulator answers as simulated (learned
  // once per test program: the same for every test).
  struct Waiter {
    std::string id;
    std::string body;  // the request that makes it wait
    std::vector<MessageInfo> exchanges;
    std::string silent;  // its reply when the core takes its messages and never answers
  };
  const std::vector<Waiter>& waiters() {
    static std::vector<Waiter> learned;
    static bool done = false;
    if (done) return learned;
    done = true;
    timing_ = kLearnTiming;
    // A writer's valid body; else a body naming channel 1 under every channel key in use (most
    // reads refuse a request without one before they ask the core); else "{}".
    const std::string any_channel = R"({"channel":1,"chnid":1,"chnId":1,"id":1,"camId":1,"ch":1,"chn":1})";
    for (const std::string& id : registered_identifiers()) {
      for (const std::string& body : {body_for(id), any_channel, std::string("{}")}) {
        EXPECT_EQ(truncate(kSimulatorLog, 0), 0);
        post(id, body);
        std::set<int32_t> seen;
        Waiter w{id, body, {}, {}};
        for (int32_t message : logged_ids()) {
          auto it = declared_exchanges().find(message);
          if (it != declared_exchanges().end() && seen.insert(message).second) w.exchanges.push_back(it->second);
        }
        if (w.exchanges.empty()) continue;
        script(silence_all(w.exchanges));
        timing_ = kScriptTiming;
        w.silent = post(id, body).out;
        timing_ = kLearnTiming;
        script("");
        learned.push_back(std::move(w));
        break;
      }
    }
    timing_ = kScriptTiming;
    return learned;
  }

  // The longest an identifier may take: the budgets of what it sends, a send's retries, and the
  // start and exit of the process (sanitizer builds start slowly).
  static int64_t budget_ms(const Waiter& w) {
    int64_t polls = 0;
    for (const MessageInfo& m : w.exchanges) polls += core_wait_budget(m.id);
    return polls * kPollUs / 1000 + 2000;
  }
};

// The core's reply of every exchange an identifier sends, cut one byte short of its record, made
// empty, filled with counts far above any capacity, and with text without a terminator. Whenever
// the identifier's exchanges take neither an empty reply nor half a record (it answers exactly as
// with no reply), they must not take one a byte short either: the reply is then the no-reply
// form, byte for byte.
TEST_F(ScriptedCore, EveryReplyPrinterWithMalformedScriptedReplies) {
  const std::vector<Waiter>& list = waiters();
  ASSERT_GT(list.size(), 50u);
  const bool all = getenv("ZV_ATTACK_ALL") != nullptr;
  int compared = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    const Waiter& w = list[i];
    const std::string& body = w.body;
    const std::string& silent = w.silent;
    script(answer_all(w.exchanges, Bytes{}));
    const std::string empty = post(w.id, body).out;
    if (truncate(kSimulatorLog, 0) != 0) ADD_FAILURE();
    // Short by one: the size of the first exchange's record less one, the same for all of them.
    // A reply of variable length (a text up to the payload's end) takes half a record: only
    // exchanges that refuse an empty and a half record are held to refusing one a byte short.
    const uint32_t size = w.exchanges.front().reply_size;
    if (size > 1) {
      bool whole_records = empty == silent;
      if (whole_records) {
        script(answer_all(w.exchanges, Bytes(size / 2, 0x11)));
        whole_records = post(w.id, body).out == silent;
        if (truncate(kSimulatorLog, 0) != 0) ADD_FAILURE();
      }
      script(answer_all(w.exchanges, Bytes(size - 1, 0x11)));
      const Outcome o = attack(w.id, false, body, "core replies a byte short");
      if (whole_records) {
        ++compared;
        if (o.run.out != silent) {
          // Taken: unless the half record came too late to be taken on a loaded machine. Both
          // again, with waits twenty times as long, before calling it a fault.
          timing_ = kLearnTiming;
          script(answer_all(w.exchanges, Bytes(size / 2, 0x11)));
          const bool half_refused = post(w.id, body).out == silent;
          script(answer_all(w.exchanges, Bytes(size - 1, 0x11)));
          const std::string again = post(w.id, body).out;
          timing_ = kScriptTiming;
          if (half_refused) {
            EXPECT_EQ(again, silent) << w.id << ": a reply one byte short of " << size << " was taken";
          }
        }
      }
    }
    const std::vector<std::pair<Bytes, std::string>> forms = {
        {huge_counts(), "huge counts"}, {Bytes(4096, 0xff), "counts of -1"}, {Bytes(4096, 'A'), "unterminated text"}};
    for (size_t f = 0; f < forms.size(); ++f) {
      if (!all && f != i % forms.size()) continue;
      script(answer_all(w.exchanges, forms[f].first));
      attack(w.id, false, body, "scripted core replies " + forms[f].second);
    }
  }
  script("");
  printf("attack: %zu identifiers waiting for the core, %d short replies compared, %d cases\n", list.size(),
         compared, cases_);
}

// The core killed (SIGKILL) while a request waits for its reply: the request still answers once,
// within its budget, with exactly what it answers when no reply comes. The simulator is started
// again for the next identifier.
TEST_F(ScriptedCore, EveryWaitingIdentifierWithTheCoreKilledMidWait) {
  const std::vector<Waiter> list = waiters();
  ASSERT_GT(list.size(), 50u);
  int kills = 0;
  for (const Waiter& w : list) {
    SCOPED_TRACE(w.id);
    const std::string& body = w.body;
    // A fresh core that takes the identifier's messages and does not answer them.
    sim_->stop();
    sim_.reset();
    write_file(kScript, silence_all(w.exchanges));
    start_core();
    const Tree files = snapshot();

    RunResult run;
    int64_t ms = 0;
    std::atomic<bool> finished{false};
    std::thread request([&] {
      const auto start = std::chrono::steady_clock::now();
      run = post(w.id, body);
      ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
      finished = true;
    });
    // Kill the core as soon as the first exchange has reached it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budget_ms(w));
    bool killed = false;
    while (!finished && std::chrono::steady_clock::now() < deadline) {
      const std::string log = read_file(kSimulatorLog);
      if (log.find("\"id\": " + std::to_string(w.exchanges.front().id) + ",") != std::string::npos) {
        kill(sim_->pid(), SIGKILL);
        killed = !finished;
        break;
      }
      usleep(200);
    }
    request.join();
    if (killed) ++kills;
    EXPECT_EQ(run.signal, 0);
    EXPECT_LE(ms, budget_ms(w));
    EXPECT_TRUE(one_reply(run.out)) << run.out.substr(0, 200);
    EXPECT_EQ(run.out, w.silent);
    std::string changed;
    for (const auto& [path, what] : snapshot()) {
      auto it = files.find(path);
      if (!owned_by(w.id, path) && path != "/tmp/zvcore" && (it == files.end() || it->second != what)) {
        changed += " " + path;
      }
    }
    EXPECT_EQ(changed, "");
  }
  RecordProperty("kills", kills);
  printf("attack: %zu waiting identifiers, %d core kills while a request waited\n", list.size(), kills);
  EXPECT_GT(kills, static_cast<int>(list.size()) / 2);
}

}  // namespace
}  // namespace zvtest
