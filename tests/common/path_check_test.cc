// The path check of the files a request names: every refusal, the length bound, the file kinds.
#include "common/path_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/harness.h"

namespace {

using Check = PathVerdict (*)(std::string_view, FileNeed);
constexpr FileNeed kName = FileNeed::kNameOnly;
constexpr FileNeed kFile = FileNeed::kRegularFile;

TEST(PathCheck, EveryRefusalAndEveryAcceptedForm) {
  zvtest::reset_device_state();
  zvtest::write_file("/tmp/good.bin", "x");
  zvtest::write_file("/tmp/cgicAb12Z9", "x");
  ASSERT_EQ(symlink("good.bin", "/tmp/link.bin"), 0);
  ASSERT_EQ(mkdir("/tmp/dir.bin", 0755), 0);
  const std::string longest(kTmpNameMax, 'n');
  const std::string nul("/tmp/nul\0.bin", 13);
  struct Row {
    Check check;
    FileNeed need;
    PathVerdict verdict;
    std::vector<std::string> texts;
  } rows[] = {
      {check_tmp_path, kFile, PathVerdict::kAccepted, {"/tmp/good.bin"}},
      {check_tmp_path,
       kName,
       PathVerdict::kAccepted,
       {"/tmp/new file.bin", "/tmp/logs.txt", "/tmp/cgicABCDE", "/tmp/cgicABCDEFG", "/tmp/link.bin",
        "/tmp/" + longest}},
      {check_tmp_path, kName, PathVerdict::kTooLong, {"/tmp/" + longest + "n"}},
      {check_tmp_path, kName, PathVerdict::kNotInTmp, {"/var/tmp/x", "/tmp", "tmp/x", "/tmpx/y"}},
      {check_tmp_path, kName, PathVerdict::kEmpty, {"/tmp/"}},
      {check_tmp_path, kName, PathVerdict::kSlash, {"/tmp/a/b", "/tmp//x", "/tmp/../etc/passwd"}},
      {check_tmp_path, kName, PathVerdict::kDotName, {"/tmp/.", "/tmp/..", "/tmp/.profile"}},
      {check_tmp_path,
       kName,
       PathVerdict::kBadCharacter,
       {"/tmp/a\x01z", "/tmp/tab\t", "/tmp/del\x7f", nul, "/tmp/a\"b", "/tmp/x`id`", "/tmp/$HOME",
        "/tmp/a\\b"}},
      {check_tmp_path, kName, PathVerdict::kTempUploadName, {"/tmp/cgicABCDEF"}},
      {check_tmp_path, kFile, PathVerdict::kMissing, {"/tmp/new.bin"}},
      {check_tmp_path, kFile, PathVerdict::kSymbolicLink, {"/tmp/link.bin"}},
      {check_tmp_path, kFile, PathVerdict::kNotRegular, {"/tmp/dir.bin"}},
      {check_tmp_name, kFile, PathVerdict::kAccepted, {"good.bin"}},
      {check_tmp_name, kName, PathVerdict::kSlash, {"/tmp/good.bin"}},
      {check_tmp_name, kFile, PathVerdict::kTempUploadName, {"cgicAb12Z9"}},
      {check_tmp_name,
       kName,
       PathVerdict::kReservedName,
       {"cgilockfile", "certlockfile", "pbdownload", "zvcore", "tmp_diagnostic", "chipinfo.txt", "oem.zip", "port",
        "log", "zvconfig_1767225600.db", "zvconfig_", "p2pkeyA1b2C3"}},
      {check_tmp_name, kName, PathVerdict::kAccepted, {"zvconfig", "p2pke", "my_zvconfig_1.db"}},
      {check_temp_upload_path, kFile, PathVerdict::kAccepted, {"/tmp/cgicAb12Z9"}},
      {check_temp_upload_path, kFile, PathVerdict::kMissing, {"/tmp/cgicXYZ123"}},
      {check_temp_upload_path,
       kName,
       PathVerdict::kNotTempUpload,
       {"/tmp/cgicAB-DEF", "/tmp/cgicAB.DEF", "/tmp/cgicABCDEFG", "/tmp/good.bin"}},
      {check_temp_upload_path, kName, PathVerdict::kSlash, {"/tmp/cgic/ABCDE"}},
      {check_temp_upload_path, kName, PathVerdict::kNotInTmp, {"/var/cgicABCDEF"}},
  };
  std::set<std::string> texts;
  for (const auto& row : rows) {
    texts.insert(path_verdict_text(row.verdict));
    for (const auto& text : row.texts) {
      const PathVerdict got = row.check(text, row.need);
      EXPECT_EQ(got, row.verdict) << text << ": " << path_verdict_text(got);
    }
  }
  EXPECT_EQ(texts.size(), 13u);  // every verdict has a row, and a text of its own

  // The program's own form takes its own prefix only, with every other rule.
  zvtest::write_file("/tmp/zvconfig_1.db", "export");
  EXPECT_EQ(check_own_tmp_path("/tmp/zvconfig_1.db", "zvconfig_", kFile), PathVerdict::kAccepted);
  EXPECT_EQ(check_own_tmp_path("/tmp/p2pkeyA1b2C3", "zvconfig_"), PathVerdict::kReservedName);
  EXPECT_EQ(check_own_tmp_path("/tmp/other.db", "zvconfig_"), PathVerdict::kReservedName);
  EXPECT_EQ(check_own_tmp_path("/tmp/zvconfig_2.db", "zvconfig_", kFile), PathVerdict::kMissing);
  EXPECT_EQ(check_own_tmp_path("/tmp/zvconfig_/x", "zvconfig_"), PathVerdict::kSlash);
  EXPECT_EQ(check_own_tmp_path("/var/zvconfig_1.db", "zvconfig_"), PathVerdict::kNotInTmp);
}

}  // namespace
