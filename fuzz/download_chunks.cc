// libFuzzer entry for the record download's writer: the chunk assembler (RemoteBackup::on_chunk)
// and the AVI writer behind it. The input's first byte picks the form, the rest is a list of
// messages, each a 16-bit little-endian length and that many bytes:
//   even: each message is one 6173 chunk (96-byte head, data) handed to the assembler, whose
//         frames go through the AVI writer to a file;
//   odd:  each message is a piece of the frame byte stream handed to the AVI writer directly.
// The file written must always be a RIFF file; a crash, a sanitizer report or a leak is the
// finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/core_client.h"
#include "handlers/playback/remote_backup.h"
#include "platform/zvavi/zvavi.h"

// The writer takes its wait step from the core client's timing; no core client is linked here.
CoreTiming core_timing() { return kCoreDefaultTiming; }

namespace {

// Calls `fn(bytes, length)` for each length-prefixed message of `data`.
template <class Fn>
void for_each_message(const uint8_t* data, size_t size, Fn fn) {
  size_t at = 0;
  while (at + 2 <= size) {
    const size_t length = data[at] | static_cast<size_t>(data[at + 1]) << 8;
    at += 2;
    const size_t take = length < size - at ? length : size - at;
    fn(data + at, take);
    at += take;
  }
}

void check_riff(FILE* file) {
  fflush(file);
  char head[4] = {};
  rewind(file);
  if (fread(head, 1, sizeof head, file) != sizeof head || memcmp(head, "RIFF", 4) != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  FILE* file = tmpfile();
  if (file == nullptr) return 0;
  if ((data[0] & 1) == 0) {
    playback::DownloadTiming timing;
    timing.step_us = 20;
    timing.idle_rounds = 50;
    timing.queue_tries = 0;
    timing.queue_limit = 1u << 20;
    playback::RemoteBackup backup(timing);
    // Held: every chunk is assembled and queued first, then written in one go, so a run does not
    // depend on how the writer thread is scheduled.
    backup.hold_output();
    if (backup.start(file)) {
      for_each_message(data + 1, size - 1,
                       [&backup](const uint8_t* bytes, size_t length) { backup.on_chunk(bytes, length); });
      backup.release_output();
      backup.finish();
      check_riff(file);
    }
  } else {
    ZvAviWriter* writer = zv_avi_open_fp(file, nullptr);
    for_each_message(data + 1, size - 1, [writer](const uint8_t* bytes, size_t length) {
      zv_avi_write_fp_ex(writer, bytes, static_cast<uint32_t>(length));
    });
    zv_avi_close_fp(writer);
    check_riff(file);
  }
  fclose(file);
  return 0;
}
