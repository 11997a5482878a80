#include "front/firmware_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "front/multipart.h"

namespace {

constexpr char kCameraImage[] = "/dev/shm/updateIPCFM.bin";

bool write_all(int fd, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t n = write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool copy_file(int from, int to) {
  char block[65536];
  for (;;) {
    const ssize_t n = read(from, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!write_all(to, block, static_cast<size_t>(n))) return false;
  }
}

}  // namespace

bool is_camera_image_upload(const char* id) {
  return id != nullptr && (std::strcmp(id, "/6082") == 0 || std::strcmp(id, "/2079") == 0);
}

CameraImageStore store_camera_image() {
  const FormEntry* part = form_entries.head();
  while (part != nullptr && part->temp_path.empty()) part = part->next;
  if (part == nullptr) return CameraImageStore::kNoFilePart;
  const int from = open(part->temp_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (from < 0) return CameraImageStore::kFailed;
  char temp[] = "/dev/shm/.updateIPCFM.XXXXXX";
  const int to = mkstemp(temp);
  bool stored = false;
  if (to >= 0) {
    stored = copy_file(from, to) && fchmod(to, 0644) == 0;
    stored = close(to) == 0 && stored;
    stored = stored && rename(temp, kCameraImage) == 0;
    if (!stored) unlink(temp);
  }
  close(from);
  return stored ? CameraImageStore::kStored : CameraImageStore::kFailed;
}
