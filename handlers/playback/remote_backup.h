// The record download's writer: frames arrive from the core as 6173 chunks on the messaging
// library's callback thread, are put together and queued there, and a writer thread of the same
// process writes them through the AVI writer to the output stream (standard output).
//
// Threads: the handler thread (start, wait_until_finished, finish), the callback thread
// (on_chunk) and the writer thread. The frame list and its byte sum are guarded by one
// mutex; the byte sum, the done, running and stop flags are atomics (the byte sum is read without
// the mutex for the back-pressure test). The frame being put together belongs to the callback
// thread until finish(), which the handler calls only after closing the core connection (no
// callback runs after that).
//
// Timing: the writer sleeps one step when the list is empty and leaves after `idle_rounds` empty
// steps (no frame for 60 s); the callback waits up to `queue_tries` steps while 10 MiB of frames
// are queued, then drops the frame; the handler polls the done flag every step. The step is the
// core client's poll length, so ZV_CORE_TIMING="poll_us=N" (common/core_client.h) shortens the
// writer's idle limit to 1500 * N microseconds for tests, exactly as it shortens the wait budgets.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>

#include "platform/zvavi/zvavi.h"
#include "platform/zvstd/task.h"
#include "platform/zvstd/zvstd.h"

namespace playback {

struct DownloadTiming {
  int step_us = 40000;                  // one wait step
  int idle_rounds = 1500;               // empty steps before the writer gives up (60 s)
  int queue_tries = 24;                 // steps the producer waits on a full queue
  uint64_t queue_limit = 10485760;      // bytes of queued frame data that count as full
};
// The defaults, with the step taken from the core client's timing (ZV_CORE_TIMING poll_us).
DownloadTiming download_timing();

class RemoteBackup {
 public:
  explicit RemoteBackup(const DownloadTiming& timing = download_timing());
  ~RemoteBackup();  // finishes a download that was started and not finished
  RemoteBackup(const RemoteBackup&) = delete;
  RemoteBackup& operator=(const RemoteBackup&) = delete;

  // Opens the AVI writer on `out` and starts the writer thread ("remote_backup"). False when the
  // writer cannot be opened or the thread cannot start (nothing is running then).
  bool start(FILE* out);

  // One 6173 chunk (96-byte head, then data), on the callback thread.
  void on_chunk(const void* payload, size_t length);

  void clear_done() { done_.store(false); }
  bool done() const { return done_.load(); }
  // True when the core ended the stream itself (its end or abort chunk); false when the download
  // ended on this side (the client went away, the writer failed, the core fell silent).
  bool ended_by_core() const { return ended_by_core_.load(); }
  bool running() const { return running_.load(); }

  // Polls every step until the done flag is set or the running flag is cleared.
  void wait_until_finished() const;
  // Ends the download from this side as a failed write does (async-signal-safe: the web server
  // ends a download whose client has gone with SIGTERM).
  void cancel() { running_.store(false); }
  // While held, frames are put together and queued but nothing is written: the handler answers
  // only once it knows whether the core took the download (its first chunk) or refused it.
  void hold_output() { hold_.store(true); }
  void release_output() { hold_.store(false); }
  // True when the core refused the download: an abort before any frame.
  bool refused() const { return aborted_.load() && frames_queued_.load() == 0; }

  // Ends the download: sets the stop flag, joins the writer (which writes what is queued first,
  // unless the download was aborted), destroys the mutex, frees the frame being put together and
  // any frame still queued, and closes the AVI writer. Returns what zv_avi_close_fp returned, or
  // -1 when nothing was started. Call it after the core connection is closed.
  int finish();

  // Counters for diagnosis and tests.
  uint32_t frames_queued() const { return frames_queued_.load(); }
  uint32_t frames_written() const { return frames_written_.load(); }
  uint32_t frames_dropped() const { return frames_dropped_.load(); }
  uint64_t queued_bytes() const { return queued_bytes_.load(); }

 private:
  struct TrackedFree {
    void operator()(uint8_t* data) const;
  };
  struct Frame {  // value-initialise: Frame{}
    uint8_t header[kZvAviFrameHeaderBytes];
    uint32_t size;
    std::unique_ptr<uint8_t, TrackedFree> data;
  };

  static void* writer_main(void* self);
  void writer_loop();
  void queue_frame(Frame frame);
  bool pop_frame(Frame* frame);
  void clear_queue();

  DownloadTiming timing_;
  ZvAviWriter* writer_ = nullptr;
  ZvTask task_;
  bool thread_started_ = false;
  ZvMutex mutex_;
  bool mutex_ready_ = false;
  std::deque<Frame> queue_;  // guarded by mutex_
  std::atomic<uint64_t> queued_bytes_{0};
  std::atomic<bool> done_{false};
  std::atomic<bool> ended_by_core_{false};
  std::atomic<bool> aborted_{false};
  std::atomic<bool> hold_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};

  // Callback thread only (until finish).
  std::optional<Frame> building_;
  uint32_t fill_ = 0;

  std::atomic<uint32_t> frames_queued_{0};
  std::atomic<uint32_t> frames_written_{0};
  std::atomic<uint32_t> frames_dropped_{0};
};

}  // namespace playback
