// Request-level tests of the front end: webreq-probe (the real front end with a recording probe
// module) runs as the web server would run webreq, inside this test's sandbox.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/front/test_util.h"
#include "tests/support/harness.h"

namespace {

using zvtest::RunResult;

struct Request {
  Request(std::string method_, std::string path_, std::string query_ = "",
          std::string content_type_ = "", std::string body_ = "",
          std::optional<std::string> content_length_ = {}, bool keep_stdin_open_ = false)
      : method(std::move(method_)),
        path(std::move(path_)),
        query(std::move(query_)),
        content_type(std::move(content_type_)),
        body(std::move(body_)),
        content_length(std::move(content_length_)),
        keep_stdin_open(keep_stdin_open_) {}
  std::string method, path, query, content_type, body;
  std::optional<std::string> content_length;  // POST default: the body's size
  bool keep_stdin_open;
};

RunResult run(const Request& r) {
  std::map<std::string, std::string> env{{"GATEWAY_INTERFACE", "CGI/1.1"},
                                         {"REQUEST_METHOD", r.method},
                                         {"PATH_INFO", r.path},
                                         {"QUERY_STRING", r.query},
                                         {"REMOTE_ADDR", "127.0.0.1"}};
  if (!r.content_type.empty()) env["CONTENT_TYPE"] = r.content_type;
  if (r.content_length) {
    env["CONTENT_LENGTH"] = *r.content_length;
  } else if (r.method == "POST") {
    env["CONTENT_LENGTH"] = std::to_string(r.body.size());
  }
  return zvtest::cgi_run(ZV_PROBE_PATH, env, r.body, r.keep_stdin_open);
}

// One handler call as the probe reports it.
struct ProbeCall {
  std::string id;
  std::string arg;
  std::optional<std::string> file;   // content of the argument's file while the handler ran
  std::optional<std::string> input;  // what was left unread on standard input ("/1010")
};

// Parses the probe's report; fails the test on anything else in the output.
std::vector<ProbeCall> calls_of(const std::string& out) {
  std::vector<ProbeCall> calls;
  size_t pos = 0;
  auto field = [&](const std::string& key) -> std::optional<std::string> {
    if (out.compare(pos, key.size() + 1, key + "=") != 0) return std::nullopt;
    pos += key.size() + 1;
    if (out.compare(pos, 5, "none\n") == 0) {
      pos += 5;
      return std::string("<none>");
    }
    const size_t colon = out.find(':', pos);
    const size_t n = std::stoul(out.substr(pos, colon - pos));
    std::string bytes = out.substr(colon + 1, n);
    pos = colon + 1 + n + 1;
    return bytes;
  };
  while (pos < out.size()) {
    ProbeCall call;
    const size_t eol = out.find('\n', pos);
    if (out.compare(pos, 3, "id=") != 0 || eol == std::string::npos) {
      ADD_FAILURE() << "unexpected probe output: " << out.substr(pos);
      break;
    }
    call.id = out.substr(pos + 3, eol - pos - 3);
    pos = eol + 1;
    call.arg = field("arg").value_or("<missing>");
    call.file = field("file");
    call.input = field("stdin");
    calls.push_back(call);
  }
  return calls;
}

// The one call a request made.
ProbeCall only_call(const RunResult& r) {
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  auto calls = calls_of(r.out);
  EXPECT_EQ(calls.size(), 1u) << r.out;
  return calls.empty() ? ProbeCall{} : calls.front();
}

void expect_no_call(const RunResult& r, int exit_code = 0) {
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, exit_code) << r.err;
  EXPECT_EQ(r.out, "");
}

struct Part {
  Part(std::string disposition_, std::string data_, std::string content_type_ = "")
      : disposition(std::move(disposition_)),
        data(std::move(data_)),
        content_type(std::move(content_type_)) {}
  std::string disposition;  // the Content-Disposition value
  std::string data;
  std::string content_type;
};

std::string multipart_body(const std::string& boundary, const std::vector<Part>& parts,
                           const std::string& preamble = "", bool closed = true) {
  std::string body = preamble.empty() ? "" : preamble + "\r\n";
  for (const auto& p : parts) {
    body += "--" + boundary + "\r\nContent-Disposition: " + p.disposition + "\r\n";
    if (!p.content_type.empty()) body += "Content-Type: " + p.content_type + "\r\n";
    body += "\r\n" + p.data + "\r\n";
  }
  if (closed) body += "--" + boundary + "--\r\n";
  return body;
}

Part file_part(const std::string& file_name, const std::string& data) {
  return {"form-data; name=\"file\"; filename=\"" + file_name + "\"", data,
          "application/octet-stream"};
}

Request upload(const std::string& path, const std::string& query, const std::string& file_name,
               const std::string& data) {
  Request r{"POST", path, query, "multipart/form-data; boundary=XyZ"};
  r.body = multipart_body("XyZ", {{"form-data; name=\"mode\"", "1"}, file_part(file_name, data)});
  return r;
}

class FrontRequest : public ::testing::Test {
 protected:
  void SetUp() override { zvtest::reset_device_state(); }
  static std::vector<std::string> tmp() { return fronttest::tmp_files(); }
};

// ---- GET ----

struct GetCase {
  const char* title;
  std::string method, path, query;
  bool called;
  std::string arg;
};

TEST_F(FrontRequest, GetArgumentsAndMatching) {
  const std::string q300(300, 'q');
  const std::string near_cut = std::string(253, 'x') + "%22";
  const std::vector<GetCase> cases = {
      {"quote escapes around a word", "GET", "/6101", "name=%22cam%22&x=1", true,
       "name=\"cam\"&x=1"},
      {"300 characters cut to 255", "GET", "/6101", q300, true, q300.substr(0, 255)},
      {"cut happens before the substitution", "GET", "/6101", near_cut, true,
       std::string(253, 'x') + "%2"},
      {"nothing else decoded", "GET", "/6101", "a+b%20c%2%22%2522%%22", true,
       "a+b%20c%2\"%2522%\""},
      {"seven-character id", "GET", "/vb.htm", "a=1", true, "a=1"},
      {"method without regard to case", "get", "/json", "", true, ""},
      {"id with a further digit", "GET", "/10000", "a", false, ""},
      {"id shorter than a registered one", "GET", "/100", "a", false, ""},
      {"id in capitals", "GET", "/VB.HTM", "a", false, ""},
      {"unregistered id", "GET", "/nope", "a", false, ""},
      {"empty PATH_INFO", "GET", "", "a", false, ""},
      {"other method", "PUT", "/6101", "a", false, ""},
      {"no method at all", "", "/6101", "a", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    Request r{c.method, c.path, c.query};
    const RunResult result = run(r);
    if (!c.called) {
      expect_no_call(result);
      continue;
    }
    const ProbeCall call = only_call(result);
    EXPECT_EQ(call.id, c.path);
    EXPECT_EQ(call.arg, c.arg);
  }
}

// ---- POST bodies ----

TEST_F(FrontRequest, PostBodies) {
  std::string lines200, lines128;
  for (int i = 0; i < 200; ++i) {
    lines200 += "k" + std::to_string(i) + "=v\n";
    if (i < 128) lines128 += "k" + std::to_string(i) + "=v\n";
  }
  const std::string long_line(40000, 'L');
  struct Case {
    const char* title;
    std::string content_type, body;
    std::optional<std::string> length;
    bool called;
    std::string arg;
  };
  const std::vector<Case> cases = {
      {"JSON with a character set",
       "application/json; charset=UTF-8",
       "{\"a\":1}",
       {},
       true,
       "{\"a\":1}"},
      {"content type without regard to case", "Application/JSON", "{}", {}, true, "{}"},
      {"form body stays raw",
       "application/x-www-form-urlencoded",
       "a=%22x%22&b=1+2",
       {},
       true,
       "a=%22x%22&b=1+2"},
      {"200 short lines give the first 128",
       "application/x-www-form-urlencoded",
       lines200,
       {},
       true,
       lines128},
      {"long body cut to the buffer",
       "application/json",
       long_line,
       {},
       true,
       long_line.substr(0, 30719)},
      {"negative CONTENT_LENGTH reads to the end", "application/json", "{\"b\":2}", "-5", true,
       "{\"b\":2}"},
      {"declared length bounds the read", "application/json", "{\"c\":3}trailing", "7", true,
       "{\"c\":3}"},
      {"a declared length of 0 reads nothing", "application/json", "{\"d\":4}", "0", true, ""},
      {"other content type", "text/plain", "abc", {}, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    Request r{"POST", "/6112", "q=1", c.content_type, c.body, c.length};
    const RunResult result = run(r);
    if (!c.called) {
      expect_no_call(result);
      continue;
    }
    const ProbeCall call = only_call(result);
    EXPECT_EQ(call.id, "/6112");
    EXPECT_EQ(call.arg, c.arg);
  }
}

TEST_F(FrontRequest, PostBodyOnPipeHeldOpenDoesNotHang) {
  Request r{"POST", "/json", "", "application/json", "{\"x\":1}"};
  r.keep_stdin_open = true;
  EXPECT_EQ(only_call(run(r)).arg, "{\"x\":1}");
}

// ---- uploads ----

TEST_F(FrontRequest, UploadToOrdinaryIdIsMovedUnderItsBaseName) {
  struct Case {
    const char* title;
    std::string file_name, query, arg, moved;
  };
  const std::string long_param(300, 'p');
  const std::vector<Case> cases = {
      {"Windows path and param", "C:\\Users\\me\\fw.bin", "a=1&param:word&b=2",
       "/tmp/fw.bin & word", "fw.bin"},
      {"Unix path, no param", "/home/me/cfg.dat", "a=1", "/tmp/cfg.dat", "cfg.dat"},
      {"param at the end", "x.bin", "a=1&param:last", "/tmp/x.bin & last", "x.bin"},
      {"param cut to 255", "y.bin", "param:" + long_param,
       "/tmp/y.bin & " + long_param.substr(0, 255), "y.bin"},
      {"blanks are accepted", "my file.bin", "param:w", "/tmp/my file.bin & w", "my file.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    zvtest::reset_device_state();
    const ProbeCall call = only_call(run(upload("/1008", c.query, c.file_name, "DATA\r\n--X")));
    EXPECT_EQ(call.arg, c.arg);
    EXPECT_EQ(call.file, std::optional<std::string>("DATA\r\n--X"));
    // The moved file stays for its handler; no temporary upload is left behind.
    EXPECT_EQ(tmp(), std::vector<std::string>{c.moved});
    EXPECT_EQ(zvtest::read_file("/tmp/" + c.moved), "DATA\r\n--X");
  }
}

// An identifier that takes no file gets the moved file's path like any other, and the file goes
// when its handler returns: nothing is left in /tmp (memory on the device).
TEST_F(FrontRequest, UploadToAnIdThatTakesNoFileLeavesNothing) {
  for (const char* id : {"/6101", "/json"}) {
    SCOPED_TRACE(id);
    const ProbeCall call = only_call(run(upload(id, "param:w", "leak.bin", "DATA")));
    EXPECT_EQ(call.arg, "/tmp/leak.bin & w");
    EXPECT_EQ(call.file, std::optional<std::string>("DATA"));
    EXPECT_TRUE(tmp().empty()) << "left: " << (tmp().empty() ? "" : tmp().front());
  }
}

TEST_F(FrontRequest, UploadsHandedOverInPlaceAreRemovedAfterTheHandler) {
  for (const char* id : {"/oem", "/1019"}) {
    SCOPED_TRACE(id);
    const ProbeCall call = only_call(run(upload(id, "lang=en", "../oem.zip", "PK\x03\x04 zip")));
    EXPECT_TRUE(fronttest::is_temp_upload_path(call.arg.substr(0, 15))) << call.arg;
    EXPECT_EQ(call.arg.substr(15), " & lang=en");
    EXPECT_EQ(call.file, std::optional<std::string>("PK\x03\x04 zip"));
    EXPECT_TRUE(tmp().empty());
  }
}

TEST_F(FrontRequest, RawUploadIdsGetTempAndTheQuery) {
  for (const char* id : {"/1010", "/6082", "/2079"}) {
    SCOPED_TRACE(id);
    Request r = upload(id, "reset=1", "image.bin", "IMAGE");
    const ProbeCall call = only_call(run(r));
    EXPECT_EQ(call.arg, "temp & reset=1");
    // "/1010" leaves the whole body on standard input; the others parsed it.
    if (std::string(id) == "/1010") {
      EXPECT_EQ(call.input, std::optional<std::string>(r.body));
    } else {
      struct stat st {};
      ASSERT_EQ(stat("/dev/shm/updateIPCFM.bin", &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0644u);
    }
    EXPECT_TRUE(tmp().empty());
  }
}

TEST_F(FrontRequest, DispositionWithOtherParametersIsParsed) {
  Request r{"POST", "/6101", "", "multipart/form-data; boundary=B0"};
  r.body = multipart_body(
      "B0", {{"form-data; name=\"file\"; size=5; filename=\"p.bin\"; modified=\"x\"", "12345"}});
  const ProbeCall call = only_call(run(r));
  EXPECT_EQ(call.arg, "/tmp/p.bin");
  EXPECT_EQ(call.file, std::optional<std::string>("12345"));
}

TEST_F(FrontRequest, RefusedUploadNamesRunNoShellAndMoveNothing) {
  // What stands after "filename=" (quoted, or bare so that it can hold a double quote). The
  // shell texts would create /tmp/canary if a shell ever saw them: ${PATH%%u*} is "/".
  const std::string slash = "${PATH%%u*}";
  const std::string touch = "touch " + slash + "tmp" + slash + "canary";
  const std::vector<std::string> params = {"\"\"",
                                           "\".\"",
                                           "\"..\"",
                                           "\".profile\"",
                                           "\"dir/\"",
                                           "\"C:\\dir\\\"",
                                           "\"a\x01b\"",
                                           "\"tab\there\"",
                                           "\"del\x7f\"",
                                           // handlers take the path up to " & ": they would open /tmp/cfg
                                           "\"cfg & x.dat\"",
                                           "\"x &\"",
                                           "a\"b",
                                           "x\"&&" + touch + "&&\"y",
                                           "\"x`" + touch + "`\"",
                                           "\"$(" + touch + ")\"",
                                           "\"$PATH\"",
                                           "\"cgilockfile\"",
                                           "\"pbdownload\"",
                                           "\"zvcore\"",
                                           "\"tmp_diagnostic\"",
                                           "\"chipinfo.txt\"",
                                           "\"oem.zip\"",
                                           "\"port\"",
                                           "\"log\"",
                                           "\"cgicABCDEF\"",
                                           "\"" + std::string(128, 'n') + "\""};
  for (const auto& param : params) {
    SCOPED_TRACE("filename=" + param);
    zvtest::reset_device_state();
    Request r("POST", "/6101", "param:x", "multipart/form-data; boundary=b");
    r.body = multipart_body("b", {Part("form-data; name=\"file\"; filename=" + param, "payload")});
    expect_no_call(run(r));
    EXPECT_TRUE(tmp().empty()) << "left: " << (tmp().empty() ? "" : tmp().front());
  }
  // Reserved names are refused only as whole names.
  EXPECT_EQ(only_call(run(upload("/6101", "", "logs.txt", "x"))).arg, "/tmp/logs.txt");
}

TEST_F(FrontRequest, UploadWithoutUsableFilePartDispatchesNothing) {
  const std::vector<std::vector<Part>> bodies = {
      {{"form-data; name=\"mode\"", "1"}},                        // no file part
      {{"form-data; name=\"file\"", "plain field"}},              // no filename
      {{"form-data; name=\"upload\"; filename=\"a.bin\"", "x"}},  // other name
      {{"attachment; name=\"file\"; filename=\"a.bin\"", "x"}},   // not form-data
  };
  for (size_t i = 0; i < bodies.size(); ++i) {
    SCOPED_TRACE(i);
    Request r{"POST", "/6101", "", "multipart/form-data; boundary=b"};
    r.body = multipart_body("b", bodies[i]);
    expect_no_call(run(r));
    EXPECT_TRUE(tmp().empty());
  }
}

// An upload to an identifier without a handler leaves nothing in /tmp, however large.
TEST_F(FrontRequest, CameraImageThatCannotBeStoredDispatchesNothing) {
  // The image's place is taken by a directory: the rename fails, and the handler would otherwise
  // answer from whatever stands there as if the new image had arrived.
  ASSERT_EQ(mkdir("/dev/shm/updateIPCFM.bin", 0755), 0);
  zvtest::write_file("/dev/shm/updateIPCFM.bin/old", "old image");
  for (const char* id : {"/6082", "/2079"}) {
    SCOPED_TRACE(id);
    expect_no_call(run(upload(id, "reset=1", "image.bin", "IMAGE")));
    EXPECT_TRUE(tmp().empty());
  }
  EXPECT_EQ(zvtest::read_file("/dev/shm/updateIPCFM.bin/old"), "old image");
  EXPECT_EQ(zvtest::list_dir("/dev/shm"), std::vector<std::string>{"updateIPCFM.bin"});
}

TEST_F(FrontRequest, UploadToAnUnregisteredIdIsRemoved) {
  expect_no_call(run(upload("/nope", "", "big.bin", std::string(20000, 'x'))));
  EXPECT_TRUE(tmp().empty()) << "left: " << (tmp().empty() ? "" : tmp().front());
}

TEST_F(FrontRequest, FailedMoveDispatchesNothing) {
  ASSERT_EQ(mkdir("/tmp/taken.bin", 0755), 0);
  zvtest::write_file("/tmp/taken.bin/inside", "keep");
  expect_no_call(run(upload("/6101", "", "taken.bin", "new")));
  EXPECT_EQ(tmp(), std::vector<std::string>{"taken.bin"});
  EXPECT_EQ(zvtest::read_file("/tmp/taken.bin/inside"), "keep");
}

TEST_F(FrontRequest, BoundaryForms) {
  const std::string dashes = "------------------------7e1";
  // Preamble and data full of dashes and near-delimiters.
  const std::string tricky = "--" + dashes.substr(0, 20) + "\r\n-\r\n--" + dashes.substr(0, 26) +
                             "X\r\r\n--" + "--------" + dashes + "Z";
  struct Case {
    const char* title;
    std::string content_type, boundary, preamble, data;
  };
  const std::vector<Case> cases = {
      {"dash-heavy boundary with a preamble", "multipart/form-data; boundary=" + dashes, dashes,
       "preamble --" + dashes.substr(0, 10) + " -- \r\n--", tricky},
      {"quoted boundary", "multipart/form-data; boundary=\"qb-1\"", "qb-1", "", "quoted"},
      {"quoted boundary with a blank", "multipart/form-data; boundary=\"q b\"", "q b", "", "sp"},
      {"boundary before another parameter", "multipart/form-data; boundary=bb; charset=x", "bb", "",
       "semi"},
      // A boundary that overlaps itself: a failed match must restart inside what it read.
      {"self-overlapping boundary", "multipart/form-data; boundary=x---y", "x---y", "--x-",
       "--x---x---y-\r\n--x--x---"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    zvtest::reset_device_state();
    Request r{"POST", "/oem", "", c.content_type};
    r.body = multipart_body(c.boundary, {file_part("o.zip", c.data)}, c.preamble);
    const ProbeCall call = only_call(run(r));
    EXPECT_EQ(call.file, std::optional<std::string>(c.data));
  }
}

// Uploads around the parser's internal sizes (its 8 KiB file block and 16 KiB read chunk) arrive
// byte for byte, delimiter-like bytes at the block edges included.
TEST_F(FrontRequest, UploadsAroundInternalBufferSizesArriveWhole) {
  for (size_t size : {8191u, 8192u, 8193u, 16383u, 16384u, 16385u, 20000u, 32769u}) {
    SCOPED_TRACE(size);
    zvtest::reset_device_state();
    std::string data(size, 'd');
    for (size_t i = 0; i < size; i += 997) data[i] = static_cast<char>(i % 251);
    data.replace(size - 7, 7, "\r\n--XyY");  // a near-delimiter at the very end
    const ProbeCall call = only_call(run(upload("/6101", "", "big.bin", data)));
    EXPECT_EQ(call.arg, "/tmp/big.bin");
    ASSERT_TRUE(call.file.has_value());
    EXPECT_EQ(call.file->size(), size);
    EXPECT_TRUE(*call.file == data) << "the stored bytes differ";
  }
}

TEST_F(FrontRequest, BrokenOrShortMultipartBodies) {
  const std::string good = multipart_body("b", {file_part("a.bin", "0123456789")});
  struct Case {
    const char* title;
    std::string path, content_type, body;
    std::optional<std::string> length;
    bool keep_open;
    int exit_code;
  };
  const std::string ct = "multipart/form-data; boundary=b";
  const std::vector<Case> cases = {
      {"body ends inside a part, pipe held open",
       "/6101",
       ct,
       good.substr(0, good.size() - 20),
       {},
       true,
       255},
      {"declared length ends inside a part", "/6101", ct, good, "60", false, 255},
      {"declared length ends inside a part, pipe held open", "/6101", ct, good, "60", true, 255},
      {"empty boundary", "/6101", "multipart/form-data", good, {}, false, 255},
      {"negative length is an empty form", "/6101", ct, good, "-1", false, 0},
      {"zero length is an empty form", "/6101", ct, good, "0", false, 0},
      {"no boundary in the body is an empty form", "/6101", ct, "just text", {}, false, 0},
      {"headers end early",
       "/6101",
       ct,
       "--b\r\nContent-Disposition: form-data; na",
       {},
       false,
       255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    zvtest::reset_device_state();
    Request r{"POST", c.path, "", c.content_type, c.body, c.length, c.keep_open};
    expect_no_call(run(r), c.exit_code);
    EXPECT_TRUE(tmp().empty());
  }
  // The whole body on a pipe held open is parsed and dispatched without waiting for its end.
  Request open{"POST", "/6101", "", ct, good};
  open.keep_stdin_open = true;
  EXPECT_EQ(only_call(run(open)).arg, "/tmp/a.bin");
  // A huge declared length is clamped, and the body's end still ends the read.
  zvtest::reset_device_state();
  Request huge{"POST", "/6101", "", ct, good, "99999999999"};
  EXPECT_EQ(only_call(run(huge)).arg, "/tmp/a.bin");
  // "/1010" reads nothing, so even a negative length dispatches.
  Request raw{"POST", "/1010", "q", ct, good, "-1"};
  EXPECT_EQ(only_call(run(raw)).arg, "temp & q");
}

}  // namespace
