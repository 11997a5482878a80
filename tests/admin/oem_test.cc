// OEM packages through the real front end: a package made by the project's packing tool is
// installed and its users listed; wrong keys, hostile archives and requests that name a file
// themselves are refused and change nothing.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "handlers/system/oem_crypt.h"
#include "platform/zvdb/admin_tables.h"
#include "tests/admin/admin_fixture.h"
#include "tests/system/system_fixture.h"

namespace zvtest {
namespace {

class OemTest : public SystemRequestTest {
 protected:
  RunResult upload(const std::string& package, const std::string& query) {
    const Upload u = multipart_upload("package.bin", package, query);
    return post("/oem", u.body, u.env);
  }
  // Names in /mnt/nand2, sorted.
  static std::string oem_dir() {
    std::vector<std::string> names;
    if (DIR* d = opendir("/mnt/nand2")) {
      while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
      }
      closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names) out += n + " ";
    return out;
  }
};

OemUserRecord oem_user(int id, int enable, const char* name, int permission) {
  OemUserRecord u{};
  u.id = id;
  u.enable = enable;
  std::strncpy(u.name, name, sizeof u.name - 1);
  std::strcpy(u.password, "0123456789abcdef0123456789abcdef");
  u.type = id;
  u.permission = permission;
  u.remote_permission = permission + 1;
  return u;
}

TEST_F(OemTest, PackageIsInstalledAndItsUsersListed) {
  mkdir("/tmp/pkg", 0755);
  mkdir("/tmp/pkg/res", 0755);
  write_file("/tmp/pkg/logo.jpg", "new logo");
  write_file("/tmp/pkg/res/gui.rcc", "resources");
  for (const OemUserRecord& u : {oem_user(0, 1, "oemadmin", -1), oem_user(1, 0, "off", 0), oem_user(2, 1, "viewer", 3)}) {
    ASSERT_EQ(kOemUsers.write("/tmp/pkg/oem.db", &u), 0);
  }
  zvdb_close_all();
  ASSERT_TRUE(make_oem_package("/tmp/pkg", "k3y", "/tmp/package.txt"));
  // An existing link in the OEM directory is replaced, never written through.
  write_file("/tmp/target", "untouched");
  ASSERT_EQ(symlink("/tmp/target", "/mnt/nand2/logo.jpg"), 0);

  EXPECT_EQ(get("/6074").out, "");
  EXPECT_EQ(upload(read_file("/tmp/package.txt"), "aes=k3y").out, kOk);
  EXPECT_EQ(read_file("/mnt/nand2/logo.jpg"), "new logo");
  EXPECT_EQ(read_file("/mnt/nand2/res/gui.rcc"), "resources");
  EXPECT_EQ(read_file("/tmp/target"), "untouched");
  EXPECT_EQ(oem_dir(), "logo.jpg oem.db oem_upload res ");
  EXPECT_FALSE(file_exists("/tmp/oem.zip"));
  EXPECT_EQ(get("/6074").out,
            kJsonHeader + R"([ { "id": 0, "enable": 1, "name": "oemadmin", "password": "0123456789abcdef0123456789abcdef", )"
                          R"("type": 0, "permission": -1, "remotePermission": 0 }, { "id": 2, "enable": 1, "name": "viewer", )"
                          R"("password": "0123456789abcdef0123456789abcdef", "type": 2, "permission": 3, "remotePermission": 4 } ])");

  // The archive goes into a file made new: a link planted under a name it might take redirects
  // nothing, and no archive is left behind.
  write_file("/tmp/zip_target", "untouched");
  ASSERT_EQ(symlink("/tmp/zip_target", "/tmp/oem.zip"), 0);
  EXPECT_EQ(upload(read_file("/tmp/package.txt"), "aes=k3y").out, kOk);
  EXPECT_EQ(read_file("/tmp/zip_target"), "untouched");
  for (const std::string& name : list_dir("/tmp")) EXPECT_NE(name.rfind("oem-", 0), 0u) << name;
}

TEST_F(OemTest, KeysAreCheckedAndCutToThirtyTwo) {
  mkdir("/tmp/pkg", 0755);
  write_file("/tmp/pkg/logo.jpg", "logo");
  const std::string key(32, 'k');
  ASSERT_TRUE(make_oem_package("/tmp/pkg", key + "ignored", "/tmp/package.txt"));
  const std::string package = read_file("/tmp/package.txt");
  EXPECT_EQ(upload(package, "aes=wrong").out, kTextHeader + "ERROR");
  EXPECT_EQ(upload(package, "key=" + key).out, kTextHeader + "ERROR");
  EXPECT_EQ(upload("not base64 at all!", "aes=" + key).out, kTextHeader + "ERROR");
  EXPECT_EQ(oem_dir(), "");
  EXPECT_FALSE(file_exists("/tmp/oem.zip"));
  // The marker the start-up scripts act on is made a file of its own, even where a link lies.
  ASSERT_EQ(symlink("/nonexistent/marker", "/mnt/nand2/oem_upload"), 0);
  EXPECT_EQ(upload(package, "aes=" + key + "beyond").out, kOk);
  EXPECT_EQ(oem_dir(), "logo.jpg oem_upload ");
  struct stat marker {};
  EXPECT_TRUE(lstat("/mnt/nand2/oem_upload", &marker) == 0 && S_ISREG(marker.st_mode));
}

uint32_t crc32_of(const std::string& data) {
  uint32_t crc = 0xffffffffu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void put16(std::string& s, uint32_t v) { s += static_cast<char>(v & 0xff), s += static_cast<char>((v >> 8) & 0xff); }
void put32(std::string& s, uint32_t v) { put16(s, v & 0xffff), put16(s, v >> 16); }

// A stored (uncompressed) zip archive made by a Unix host, one entry per {name, data, mode}.
struct ZipEntry {
  std::string name;
  std::string data;
  uint32_t mode;
};
std::string make_zip(const std::vector<ZipEntry>& entries) {
  std::string file, directory;
  for (const ZipEntry& e : entries) {
    const uint32_t offset = static_cast<uint32_t>(file.size());
    const uint32_t crc = crc32_of(e.data);
    file += "PK\3\4";
    put16(file, 10), put16(file, 0), put16(file, 0), put16(file, 0), put16(file, 0);
    put32(file, crc), put32(file, static_cast<uint32_t>(e.data.size())), put32(file, static_cast<uint32_t>(e.data.size()));
    put16(file, static_cast<uint32_t>(e.name.size())), put16(file, 0);
    file += e.name + e.data;
    directory += "PK\1\2";
    put16(directory, 0x031e), put16(directory, 10), put16(directory, 0), put16(directory, 0), put16(directory, 0),
        put16(directory, 0);
    put32(directory, crc), put32(directory, static_cast<uint32_t>(e.data.size())),
        put32(directory, static_cast<uint32_t>(e.data.size()));
    put16(directory, static_cast<uint32_t>(e.name.size())), put16(directory, 0), put16(directory, 0), put16(directory, 0),
        put16(directory, 0);
    put32(directory, e.mode << 16), put32(directory, offset);
    directory += e.name;
  }
  const uint32_t directory_offset = static_cast<uint32_t>(file.size());
  file += directory + "PK\5\6";
  put16(file, 0), put16(file, 0), put16(file, static_cast<uint32_t>(entries.size())),
      put16(file, static_cast<uint32_t>(entries.size()));
  put32(file, static_cast<uint32_t>(directory.size())), put32(file, directory_offset), put16(file, 0);
  return file;
}

std::string seal(const std::string& zip, const char* key) {
  const std::vector<unsigned char> sealed =
      aes_encrypt_web(reinterpret_cast<const unsigned char*>(zip.data()), zip.size(), key);
  return zv_base64_encode(sealed.data(), sealed.size());
}

TEST_F(OemTest, HostileArchivesAreRefusedBeforeAnythingIsUnpacked) {
  constexpr uint32_t kFile = 0100644, kLink = 0120777;
  // The builder makes archives that unzip takes: a plain one installs.
  EXPECT_EQ(upload(seal(make_zip({{"a.txt", "plain", kFile}}), "k"), "aes=k").out, kOk);
  EXPECT_EQ(read_file("/mnt/nand2/a.txt"), "plain");
  ASSERT_EQ(unlink("/mnt/nand2/a.txt"), 0);
  ASSERT_EQ(unlink("/mnt/nand2/oem_upload"), 0);
  write_file("/tmp/canary", "canary");
  const std::vector<std::vector<ZipEntry>> hostile = {
      {{"ok.txt", "x", kFile}, {"/tmp/evil", "x", kFile}},
      {{"../evil", "x", kFile}},
      {{"res/../../evil", "x", kFile}},
      {{"res/..", "x", kFile}},
      {{"link", "/tmp/canary", kLink}, {"link/x", "y", kFile}},
      {{"a\\..\\evil", "x", kFile}},
      {{"C:evil", "x", kFile}},
  };
  for (const auto& entries : hostile) {
    SCOPED_TRACE(entries[0].name);
    EXPECT_EQ(upload(seal(make_zip(entries), "k"), "aes=k").out, kTextHeader + "ERROR");
    EXPECT_EQ(oem_dir(), "");
    EXPECT_FALSE(file_exists("/tmp/oem.zip"));
  }
  EXPECT_EQ(read_file("/tmp/canary"), "canary");
  EXPECT_FALSE(file_exists("/tmp/evil"));
  EXPECT_FALSE(file_exists("/mnt/evil"));
  // Not an archive at all, and an archive that unzip cannot unpack (a bad checksum).
  EXPECT_EQ(upload(seal("just text", "k"), "aes=k").out, kTextHeader + "ERROR");
  std::string broken = make_zip({{"b.txt", "data", kFile}});
  broken[30 + 5] = 'X';  // the stored bytes no longer match their checksum
  EXPECT_EQ(upload(seal(broken, "k"), "aes=k").out, kTextHeader + "ERROR");
  EXPECT_EQ(oem_dir(), "");
}

// unzip makes links of entries from other hosts than Unix too (VMS, Atari, ...): a link entry is
// refused whatever host the archive names, before a file of it reaches the OEM directory.
TEST_F(OemTest, LinkEntriesOfEveryHostAreRefused) {
  constexpr uint32_t kFile = 0100644, kLink = 0120777;
  for (const char host : {'\2', '\5', '\20'}) {
    std::string zip = make_zip({{"ok.txt", "x", kFile}, {"link", "/tmp", kLink}});
    for (size_t at = zip.find("PK\1\2"); at != std::string::npos; at = zip.find("PK\1\2", at + 4)) zip[at + 5] = host;
    EXPECT_EQ(upload(seal(zip, "k"), "aes=k").out, kTextHeader + "ERROR") << int{host};
    EXPECT_EQ(oem_dir(), "") << int{host};
  }
}

// A package one of whose files would land on a directory of the OEM directory is refused before
// any of its files moves in.
TEST_F(OemTest, PackageThatCannotGoInWholeChangesNothing) {
  ASSERT_EQ(mkdir("/mnt/nand2/res", 0755), 0);
  EXPECT_EQ(upload(seal(make_zip({{"a.txt", "x", 0100644}, {"res", "file", 0100644}}), "k"), "aes=k").out,
            kTextHeader + "ERROR");
  EXPECT_EQ(oem_dir(), "res ");
}

// A package whose files cannot all move in (here the resources directory is read-only) is undone:
// the file it replaced comes back, its new files go, nothing of the staging or the backups stays.
TEST_F(OemTest, PackageThatFailsMidwayIsUndone) {
  write_file("/mnt/nand2/logo.jpg", "old logo");
  ASSERT_EQ(mkdir("/mnt/nand2/res", 0755), 0);
  const ReadOnlyDir read_only("/mnt/nand2/res");
  if (!read_only.active()) GTEST_SKIP() << "no read-only bind mount here";
  const std::string package = seal(
      make_zip({{"logo.jpg", "new logo", 0100644}, {"new.txt", "n", 0100644}, {"res/gui.rcc", "r", 0100644}}), "k");
  EXPECT_EQ(upload(package, "aes=k").out, kTextHeader + "ERROR");
  EXPECT_EQ(read_file("/mnt/nand2/logo.jpg"), "old logo");
  EXPECT_EQ(oem_dir(), "logo.jpg res ");
}

TEST_F(OemTest, RequestsThatNameAFileThemselvesTouchNothing) {
  write_file("/tmp/pkg.txt", "x");
  mkdir("/tmp/pkg", 0755);
  write_file("/tmp/pkg/logo.jpg", "logo");
  ASSERT_TRUE(make_oem_package("/tmp/pkg", "k", "/tmp/cgicAAAAAA"));
  for (const char* query : {"/tmp/cgicAAAAAA & aes=k", "aes=k", "/tmp/pkg.txt & aes=k"}) {
    EXPECT_EQ(get("/oem", query).out, kTextHeader + "ERROR") << query;
    EXPECT_EQ(post("/oem", query).out, kTextHeader + "ERROR") << query;
  }
  EXPECT_TRUE(file_exists("/tmp/cgicAAAAAA"));
  EXPECT_TRUE(file_exists("/tmp/pkg.txt"));
  EXPECT_EQ(oem_dir(), "");
  const std::string before = dump();
  for (const char* query : {"/tmp/pkg.txt", "/tmp/cgicAAAAAA", "../../tmp/pkg.txt", "/tmp/x;touch /tmp/canary2"}) {
    EXPECT_EQ(get("/1008", query).out, kCgiErrorText) << query;
  }
  EXPECT_TRUE(file_exists("/tmp/pkg.txt"));
  EXPECT_FALSE(file_exists("/tmp/canary2"));
  EXPECT_EQ(dump(), before);
}

}  // namespace
}  // namespace zvtest
