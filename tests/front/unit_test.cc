// In-process tests of the front end's building blocks: CGI helpers, the multipart reader and
// parser, form-entry lookups and the trace log.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/debug_words.h"
#include "common/trace_log.h"
#include "front/cgi.h"
#include "front/multipart.h"
#include "front/registry.h"
#include "tests/front/test_util.h"
#include "tests/support/harness.h"

const RequestModule* const kProgramModules[] = {nullptr};
const int kProgramModuleCount = 0;

namespace {

using namespace std::string_literals;

class Front : public ::testing::Test {
 protected:
  void SetUp() override { zvtest::reset_device_state(); }
  void TearDown() override { free_form_entries(); }
};

TEST_F(Front, TextCompares) {
  struct Case {
    const char *a, *b;
    int equal, begins;
  };
  const Case cases[] = {
      {"POST", "post", 1, 1},   {"multipart/Form-Data", "MULTIPART/form-data", 1, 1},
      {"post", "pos", 0, 1},    {"pos", "post", 0, 0},
      {"a_b", "A_B", 1, 1},     {"a@b", "a`b", 0, 0},  // only letters fold
      {"\xC4x", "\xE4x", 0, 0}, {"", "", 1, 1},
      {"x", "", 0, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(text_equal_nocase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(text_begins_nocase(c.a, c.b), c.begins) << c.a << " / " << c.b;
  }
  EXPECT_EQ(text_equal_nocase(nullptr, ""), 0);
  EXPECT_EQ(text_begins_nocase("", nullptr), 0);
}

TEST_F(Front, ContentLengthAndContentType) {
  const std::pair<const char*, int32_t> lengths[] = {{"", 0},
                                                     {"12", 12},
                                                     {" 7", 7},
                                                     {"12abc", 12},
                                                     {"-5", 0},
                                                     {"abc", 0},
                                                     {"2147483647", INT32_MAX},
                                                     {"2147483648", INT32_MAX},
                                                     {"99999999999999999999", INT32_MAX}};
  for (const auto& [text, value] : lengths) EXPECT_EQ(parse_content_length(text), value) << text;

  struct Case {
    const char *content_type, *media, *boundary;
  };
  const Case cases[] = {
      {"application/json; charset=UTF-8", "application/json", ""},
      {"multipart/form-data; boundary=----abc", "multipart/form-data", "----abc"},
      {"multipart/form-data;charset=x; BOUNDARY=b1 tail", "multipart/form-data", "b1"},
      {"multipart/form-data; boundary=\"q b\"", "multipart/form-data", "q b"},
      {"multipart/form-data; boundary=b2; charset=x", "multipart/form-data", "b2"},
      {"multipart/form-data; boundary=\"open", "multipart/form-data", "\"open"},
      {"text/plain", "text/plain", ""}};
  for (const auto& c : cases) {
    char copy[1024];
    snprintf(copy, sizeof copy, "%s", c.content_type);
    EXPECT_STREQ(split_content_type(copy), c.boundary) << c.content_type;
    EXPECT_STREQ(copy, c.media) << c.content_type;
  }
}

TEST_F(Front, SplitPathAndRest) {
  struct Case {
    const char* argument;
    size_t size;
    int parts;
    const char *path, *rest;
  };
  const Case cases[] = {{"/tmp/fw.bin & reset=1", 64, 2, "/tmp/fw.bin", "reset=1"},
                        {"/tmp/fw.bin", 64, 1, "/tmp/fw.bin", ""},
                        {"/tmp/fw.bin & ", 64, 1, "/tmp/fw.bin", ""},
                        {"temp & a b", 64, 2, "temp", "a"},
                        {"/tmp/my file & x", 64, 2, "/tmp/my", "x"},
                        {"  /tmp/a &  b", 64, 2, "/tmp/a", "b"},
                        {"/tmp/a&b", 64, 1, "/tmp/a&b", ""},
                        {"/tmp/abcdefgh & rstuvwxyz", 8, 2, "/tmp/ab", "rstuvwx"},
                        {"/tmp/abc & rstuvwxy", 8, 2, "/tmp/ab", "rstuvwx"},  // words of exactly 8
                        {" & x", 64, 0, "", ""},
                        {"", 64, 0, "", ""}};
  for (const auto& c : cases) {
    char path[64] = "junk", rest[64] = "junk";
    EXPECT_EQ(split_path_and_rest(c.argument, path, c.size, rest, c.size), c.parts) << c.argument;
    EXPECT_STREQ(path, c.path) << c.argument;
    EXPECT_STREQ(rest, c.rest) << c.argument;
  }
  char path[8] = "x", rest[8] = "y";
  EXPECT_EQ(split_path_and_rest(nullptr, path, sizeof path, rest, sizeof rest), 0);
  EXPECT_STREQ(path, "");
  EXPECT_STREQ(rest, "");
}

TEST_F(Front, HeaderWriters) {
  testing::internal::CaptureStdout();
  const time_t before = time(nullptr);
  print_set_cookie("userName", "temp", 600, "/", "10.0.0.5");
  print_location("../../html/index.html");
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string head = "Set-Cookie: userName=temp; domain=10.0.0.5; expires=";
  const std::string tail = " GMT; path=/\r\nLocation: ../../html/index.html\r\n\r\n";
  ASSERT_EQ(out.substr(0, head.size()), head) << out;
  const std::string stamp = out.substr(head.size(), out.size() - head.size() - tail.size());
  ASSERT_EQ(out.substr(head.size() + stamp.size()), tail) << out;
  struct tm expiry {};
  const char* end = strptime(stamp.c_str(), "%a, %d-%b-%Y %H:%M:%S", &expiry);
  ASSERT_NE(end, nullptr) << stamp;
  EXPECT_EQ(*end, '\0');
  const time_t when = timegm(&expiry);
  EXPECT_GE(when, before + 600);
  EXPECT_LE(when, before + 602);
  char expected[32];
  strftime(expected, sizeof expected, "%a, %d-%b-%Y %H:%M:%S", &expiry);
  EXPECT_EQ(stamp, expected);  // English names, two-digit day, four-digit year
}

// ---- the reader ----

TEST_F(Front, ReaderPutsBackInStackOrderAndNeverReadsPastTheLimit) {
  const std::string data = "0123456789";
  MemorySource source(data.data(), data.size());
  MultipartReader reader(source, 6, 4);
  EXPECT_EQ(reader.get(), '0');
  EXPECT_EQ(reader.get(), '1');
  EXPECT_EQ(reader.get(), '2');
  const unsigned char b12[] = {'1', '2'}, b0[] = {'0'}, big[] = {'a', 'b', 'c', 'd'};
  ASSERT_TRUE(reader.put_back(b12, 2));
  EXPECT_EQ(reader.get(), '1');
  ASSERT_TRUE(reader.put_back(b0, 1));  // put back later, read first
  EXPECT_TRUE(reader.put_back(b0, 1));
  EXPECT_FALSE(reader.put_back(big, 4));  // over capacity: nothing put back
  std::string rest;
  for (int c; (c = reader.get()) >= 0;) rest += static_cast<char>(c);
  EXPECT_EQ(rest,
            "00"
            "2345");
  EXPECT_EQ(reader.taken(), 6);
  // Bytes put back do not count against the limit a second time.
  const unsigned char b45[] = {'4', '5'};
  ASSERT_TRUE(reader.put_back(b45, 2));
  EXPECT_EQ(reader.get(), '4');
  EXPECT_EQ(reader.get(), '5');
  EXPECT_EQ(reader.get(), -1);
}

TEST_F(Front, PartHeaderLines) {
  struct Case {
    std::string input;
    size_t size;
    std::vector<std::tuple<bool, std::string, std::string>> lines;
  };
  const std::vector<Case> cases = {
      {"Content-Type: text/plain\r\n", 64, {{true, "Content-Type", "text/plain"}}},
      {"Content-Type:text/plain\n\r\n",
       64,
       {{true, "Content-Type", "text/plain"}, {false, "", ""}}},
      {"X: a: b :c\r\n", 64, {{true, "X", "ab c"}}},
      {"Na me : v  v\r\n", 64, {{true, "Name", "v  v"}}},
      {": lead: v\r\n", 64, {{true, "lead", "v"}}},
      {"A: 1\rB: 2\r\n", 64, {{true, "A", "1"}, {true, "B", "2"}}},
      {"Empty:\r\nX: y\r\n", 64, {{false, "Empty", ""}, {true, "X", "y"}}},
      {"\r\nX: y\r\n", 64, {{false, "", ""}}},
      {"Longname: longvalue\r\n", 5, {{true, "Long", "long"}}},
      {"X: cut", 64, {{false, "X", "cut"}}},  // the input ends inside the line
  };
  for (const auto& c : cases) {
    MemorySource source(c.input.data(), c.input.size());
    MultipartReader reader(source, static_cast<int64_t>(c.input.size()), 8);
    for (const auto& [ok, name, value] : c.lines) {
      char n[64], v[64];
      EXPECT_EQ(read_part_header_line(reader, n, c.size, v, c.size), ok) << c.input;
      EXPECT_EQ(n, name) << c.input;
      EXPECT_EQ(v, value) << c.input;
    }
  }
}

TEST_F(Front, HeaderValueSplitting) {
  struct Case {
    std::string text, main, name, filename;
  };
  const std::string long_value(1500, 'v');
  const std::vector<Case> cases = {
      {"form-data; name=\"file\"; filename=\"C\\x\\a.bin\"", "form-data", "file", "C\\x\\a.bin"},
      {"  form-data;NAME=f1;FileName=b.bin", "form-data", "f1", "b.bin"},
      {"form-data; size=12; name=\"n\"; filename=\"c\"; x=y", "form-data", "n", "c"},
      {"form-data; name=\"n\"; creation-date=\"x\"; filename=\"c\"", "form-data", "n", ""},
      {"\"quoted; main\" junk; name=q", "quoted; main", "q", ""},
      {"form-data; name = \"s p\" ; filename=bare value ;x", "form-data", "s p", "bare value "},
      {"form-data; flag; name=\"after\"", "form-data", "", ""},  // no '=': the rest is ignored
      {"form-data; name=\"unterminated", "form-data", "unterminated", ""},
      {"form-data; name=" + long_value, "form-data", long_value.substr(0, 1023), ""},
      {"text/plain", "text/plain", "", ""}};
  for (const auto& c : cases) {
    char main[32], name[2048] = "", filename[32] = "";
    const HeaderParam params[] = {{"name", name, sizeof name},
                                  {"filename", filename, sizeof filename}};
    split_header_value(c.text.c_str(), main, sizeof main, params, 2);
    EXPECT_EQ(main, c.main) << c.text;
    EXPECT_EQ(name, c.name) << c.text;
    EXPECT_EQ(filename, c.filename) << c.text;
  }
}

// The delimiter search as a byte-by-byte matcher with put-back describes it: a byte breaking a
// partial match of n bytes emits the delimiter's first byte and puts back its bytes 2..n and the
// breaking byte. read_until_boundary must give the same values and leave the same stream.
std::optional<std::string> reference_read(MultipartReader& reader, const std::string& boundary,
                                          bool first) {
  const std::string d = (first ? "" : "\r\n") + ("--" + boundary);
  std::string out;
  size_t n = 0;
  while (n < d.size()) {
    const int c = reader.get();
    if (c < 0) return std::nullopt;
    if (static_cast<char>(c) == d[n]) {
      ++n;
    } else if (n > 0) {
      out += d[0];
      std::string back = d.substr(1, n - 1) + static_cast<char>(c);
      EXPECT_TRUE(
          reader.put_back(reinterpret_cast<const unsigned char*>(back.data()), back.size()));
      n = 0;
    } else {
      out += static_cast<char>(c);
    }
  }
  const int c1 = reader.get(), c2 = reader.get();
  if (c1 == '-') {
    const unsigned char back[] = {static_cast<unsigned char>(c1), static_cast<unsigned char>(c2)};
    reader.put_back(back, c2 >= 0 ? 2 : 1);
  }
  return out;
}

TEST_F(Front, DelimiterSearchMatchesTheByteByByteMatcher) {
  std::mt19937 random(20240601);
  const std::vector<std::string> boundaries = {"b",      "----", "--x--x",
                                               "-a-a-b", "aab",  "------------------------7e1"};
  for (const auto& boundary : boundaries) {
    const std::string alphabet = "-\r\nab7" + boundary.substr(0, 2);
    for (int round = 0; round < 300; ++round) {
      std::string input;
      const int pieces = static_cast<int>(random() % 12);
      for (int p = 0; p < pieces; ++p) {
        switch (random() % 4) {
          case 0:
            input += "\r\n--" + boundary;
            break;
          case 1:
            input += "\r\n--" + boundary.substr(0, random() % (boundary.size() + 1));
            break;
          case 2:
            input += std::string(random() % 40, '-');
            break;
          default:
            for (int k = static_cast<int>(random() % 8); k > 0; --k) {
              input += alphabet[random() % alphabet.size()];
            }
        }
      }
      MemorySource s1(input.data(), input.size()), s2(input.data(), input.size());
      const auto cap = put_back_capacity_for(boundary.c_str());
      MultipartReader expected(s1, static_cast<int64_t>(input.size()), cap);
      MultipartReader actual(s2, static_cast<int64_t>(input.size()), cap);
      for (bool first = true;; first = false) {
        const auto want = reference_read(expected, boundary, first);
        MallocText value;
        int32_t length = -1;
        const int r =
            read_until_boundary(actual, boundary.c_str(), nullptr, &value, &length, first);
        ASSERT_EQ(r, want ? PARSE_SUCCESS : PARSE_IO) << boundary << " / " << input;
        if (!want) {
          EXPECT_EQ(value, nullptr);
          EXPECT_EQ(length, 0);
          break;
        }
        ASSERT_EQ(std::string(value.get(), static_cast<size_t>(length)), *want);
        EXPECT_EQ(value.get()[length], '\0');
      }
    }
  }
}

// ---- the parse ----

int32_t g_value_limit = 0;
void* limited_realloc(void* block, size_t size) {
  return size > static_cast<size_t>(g_value_limit) ? nullptr : realloc(block, size);
}

int parse_text(const std::string& body, const char* boundary, int32_t value_limit = 0) {
  MemorySource source(body.data(), body.size());
  MultipartReader reader(source, static_cast<int64_t>(body.size()),
                         put_back_capacity_for(boundary));
  g_value_limit = value_limit;
  if (value_limit > 0) reader.set_value_realloc(&limited_realloc);
  return parse_multipart(reader, boundary, form_entries);
}

const std::string kForm =
    "preamble\r\n--B\r\n"
    "Content-Disposition: form-data; name=\"mode\"\r\n\r\n"
    "fast\0lane\r\n"  // a plain value may hold NULs
    "--B\r\n"
    "Content-Disposition: attachment; name=\"skipped\"\r\n\r\n"
    "ignored\r\n"
    "--B\r\n"
    "content-disposition: form-data; name=\"file\"; filename=\"dir\\cam.cfg\"\r\n"
    "Content-Type: application/octet-stream; x=1\r\n\r\n"
    "\x01\x02\r\n--\r\n"
    "--B\r\n"
    "Content-Disposition: form-data; name=\"empty\"; filename=\"e\"\r\n\r\n"
    "\r\n"
    "--B--\r\n"
    "epilogue"s;

TEST_F(Front, ParsesFieldsAndFilesInArrivalOrder) {
  ASSERT_EQ(parse_text(kForm, "B"), PARSE_SUCCESS);
  ASSERT_EQ(form_entries.size(), 3u);
  const FormEntry* mode = form_entry_find("mode");
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(std::string(mode->value(), static_cast<size_t>(mode->value_length)), "fast\0lane"s);
  EXPECT_EQ(mode->temp_path, "");
  EXPECT_EQ(mode->file_name, "");
  EXPECT_EQ(form_entry_find("skipped"), nullptr);

  const FormEntry* file = mode->next;
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->name, "file");
  EXPECT_EQ(file->file_name, "dir\\cam.cfg");
  EXPECT_EQ(file->content_type, "application/octet-stream");
  EXPECT_STREQ(file->value(), "");
  EXPECT_EQ(file->value_length, 6);
  EXPECT_TRUE(fronttest::is_temp_upload_path(file->temp_path)) << file->temp_path;
  EXPECT_EQ(zvtest::read_file(file->temp_path), "\x01\x02\r\n--");
  struct stat st {};
  ASSERT_EQ(stat(file->temp_path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  const FormEntry* empty = file->next;
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->value_length, 0);
  EXPECT_EQ(empty->content_type, "");  // not carried over from the previous part
  EXPECT_EQ(empty->next, nullptr);

  const std::string temp = file->temp_path;
  free_form_entries();
  EXPECT_FALSE(zvtest::file_exists(temp));
  EXPECT_TRUE(fronttest::tmp_files().empty());

  // A delimiter that overlaps itself is found after a near miss ("--a---" then "--a----").
  ASSERT_EQ(parse_text("--a---a----\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\nv\r\n--a------\r\n", "a----"),
            PARSE_SUCCESS);
  ASSERT_NE(form_entry_find("f"), nullptr);
  EXPECT_STREQ(form_entry_find("f")->value(), "v");
}

TEST_F(Front, FormFileNameResults) {
  ASSERT_EQ(parse_text(kForm, "B"), PARSE_SUCCESS);
  struct Case {
    const char* name;
    size_t size;
    int result;
    const char* text;
  };
  const Case cases[] = {
      {"file", 128, FORM_SUCCESS, "dir\\cam.cfg"}, {"file", 12, FORM_SUCCESS, "dir\\cam.cfg"},
      {"file", 11, FORM_TRUNCATED, "dir\\cam.cf"}, {"mode", 128, FORM_NO_FILE_NAME, ""},
      {"File", 128, FORM_NOT_FOUND, ""},           {"absent", 128, FORM_NOT_FOUND, ""}};
  for (const auto& c : cases) {
    char buffer[128] = "junk";
    EXPECT_EQ(form_file_name(c.name, buffer, c.size), c.result) << c.name << " " << c.size;
    EXPECT_STREQ(buffer, c.text) << c.name;
  }
}

TEST_F(Front, FailedParsesKeepNothingHalfBuilt) {
  struct Case {
    const char* title;
    std::string body;
    int32_t value_limit;
    int result;
  };
  const std::string big_field =
      "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a\"\r\n"
      "\r\nfile data\r\n--B\r\nContent-Disposition: form-data; name=\"big\""
      "\r\n\r\n" +
      std::string(1000, 'x') + "\r\n--B--\r\n";
  auto value_of = [](size_t size) {
    return "--B\r\nContent-Disposition: form-data; name=\"v\"\r\n\r\n" + std::string(size, 'x') + "\r\n--B--\r\n";
  };
  const std::vector<Case> cases = {
      {"a value that cannot grow", big_field, 512, PARSE_MEMORY},
      {"input ends inside a file part", big_field.substr(0, 70), 0, PARSE_IO},
      {"input ends inside the next part's headers", big_field.substr(0, 90), 0, PARSE_IO},
      {"input ends inside a field", big_field.substr(0, big_field.size() - 12), 0, PARSE_IO},
      {"the same value with room to grow", big_field, 1024, PARSE_SUCCESS},
      {"a value of 1023 bytes and its NUL in 1024", value_of(1023), 1024, PARSE_SUCCESS},
      {"a value of 1024 bytes needs more than 1024", value_of(1024), 1024, PARSE_MEMORY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(parse_text(c.body, "B", c.value_limit), c.result);
    free_form_entries();
    EXPECT_TRUE(fronttest::tmp_files().empty());
  }
  EXPECT_EQ(parse_text("--\r\n", ""), PARSE_IO);  // a multipart body needs a boundary
  EXPECT_EQ(parse_text("", "B"), PARSE_SUCCESS);
  EXPECT_EQ(parse_text("no delimiter at all", "B"), PARSE_SUCCESS);
  EXPECT_EQ(form_entries.size(), 0u);
}

// Hostile bodies: many tiny parts, or plain fields beyond the memory cap, end the parse at the
// cap (as a memory failure) and leave no temporary file behind.
TEST_F(Front, PartsAndFieldMemoryAreCapped) {
  auto field = [](int i, size_t size) {
    return "--B\r\nContent-Disposition: form-data; name=\"f" + std::to_string(i) + "\"\r\n\r\n" +
           std::string(size, 'v') + "\r\n";
  };
  auto file = [](int i) {
    return "--B\r\nContent-Disposition: form-data; name=\"u" + std::to_string(i) +
           "\"; filename=\"a\"\r\n\r\nxy\r\n";
  };
  struct Case {
    const char* title;
    std::string body;
    int result;
  };
  std::string at_parts, over_parts, files_over;
  for (size_t i = 0; i < kMaxFormParts; ++i) at_parts += field(static_cast<int>(i), 1);
  over_parts = at_parts + field(99, 1);
  for (size_t i = 0; i <= kMaxFormParts; ++i) files_over += file(static_cast<int>(i));
  const std::vector<Case> cases = {
      {"parts at the cap", at_parts + "--B--\r\n", PARSE_SUCCESS},
      {"one part over the cap", over_parts + "--B--\r\n", PARSE_MEMORY},
      {"file parts over the cap", files_over + "--B--\r\n", PARSE_MEMORY},
      {"fields at the memory cap", field(0, kMaxFieldMemory / 2) + field(1, kMaxFieldMemory / 2) + "--B--\r\n",
       PARSE_SUCCESS},
      {"one byte over the memory cap",
       field(0, kMaxFieldMemory / 2) + field(1, kMaxFieldMemory / 2 + 1) + "--B--\r\n", PARSE_MEMORY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(parse_text(c.body, "B"), c.result);
    free_form_entries();
    EXPECT_TRUE(fronttest::tmp_files().empty());
  }
}

// ---- the trace log ----

TEST_F(Front, TraceLogLineFormat) {
  EXPECT_EQ(global_debug_mask, 0);
  EXPECT_EQ(global_debug_hook, 0);
  ASSERT_EQ(log_message("OnState", 654, "", "real_name:%s", "cam%d 1"), 0);
  ASSERT_EQ(log_message("OnSystem", 3556, "fn", "fd_in:%d fd_out:%d", 3, 4), 0);
  const std::string log = zvtest::read_file(kTraceLogPath);
  const size_t first_end = log.find('\n') + 1;
  EXPECT_TRUE(
      fronttest::is_trace_line(log.substr(0, first_end), "OnState:654 in : real_name:cam%d 1\n"))
      << log;
  EXPECT_TRUE(
      fronttest::is_trace_line(log.substr(first_end), "OnSystem:3556 in fn: fd_in:3 fd_out:4\n"))
      << log;
}

TEST_F(Front, TraceLogCutsLongLinesAndStopsAtItsCap) {
  ASSERT_EQ(log_message("src", 1, "", "%s", std::string(3000, 'm').c_str()), 0);
  std::string log = zvtest::read_file(kTraceLogPath);
  EXPECT_EQ(log.size(), 2047u);
  EXPECT_EQ(log.back(), 'm');  // the newline is lost with the cut

  zvtest::write_file(kTraceLogPath, std::string(kTraceLogMaxBytes - 1, 'o'));
  EXPECT_EQ(log_message("src", 2, "", "one more"), 0);
  const size_t full = zvtest::read_file(kTraceLogPath).size();
  EXPECT_GT(full, static_cast<size_t>(kTraceLogMaxBytes));
  EXPECT_EQ(log_message("src", 3, "", "refused"), -1);
  EXPECT_EQ(zvtest::read_file(kTraceLogPath).size(), full);
}

TEST_F(Front, TraceLogThatCannotBeOpenedIsSkipped) {
  ASSERT_EQ(mkdir(kTraceLogPath, 0755), 0);
  EXPECT_EQ(log_message("src", 1, "", "lost"), -1);
}

}  // namespace
