#include "handlers/playback/remote_backup.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "common/core_client.h"
#include "common/messages/playback.h"

namespace playback {

namespace {

constexpr const char kSource[] = "remote_backup";

void sleep_step(int step_us) { std::this_thread::sleep_for(std::chrono::microseconds(step_us)); }

}  // namespace

DownloadTiming download_timing() {
  DownloadTiming timing;
  timing.step_us = core_timing().poll_us;
  return timing;
}

void RemoteBackup::TrackedFree::operator()(uint8_t* data) const { __zv_free(data, kSource, __LINE__); }

RemoteBackup::RemoteBackup(const DownloadTiming& timing) : timing_(timing) {}

RemoteBackup::~RemoteBackup() {
  if (writer_ != nullptr) finish();
}

bool RemoteBackup::start(FILE* out) {
  if (writer_ != nullptr) return false;
  if (zv_avi_open_fp(out, &writer_) == nullptr) return false;
  if (zv_mutex_init(&mutex_) != 0) {
    zv_avi_close_fp(writer_);
    writer_ = nullptr;
    return false;
  }
  mutex_ready_ = true;
  running_.store(true);
  stop_.store(false);
  if (zv_task_create_join(&task_, &RemoteBackup::writer_main, this) != 0) {
    running_.store(false);
    zv_mutex_destroy(&mutex_);
    mutex_ready_ = false;
    zv_avi_close_fp(writer_);
    writer_ = nullptr;
    return false;
  }
  thread_started_ = true;
  return true;
}

void* RemoteBackup::writer_main(void* self) {
  zv_task_set_name(kSource);
  static_cast<RemoteBackup*>(self)->writer_loop();
  return nullptr;
}

void RemoteBackup::writer_loop() {
  int idle = 0;
  while (running_.load()) {
    if (hold_.load()) {  // not answered yet: nothing may reach the output
      // Stopped while still held (refused): leave. A release always comes before the stop, so
      // hold_ read after stop_ tells the two apart.
      if (stop_.load() && hold_.load()) break;
      if (hold_.load()) sleep_step(timing_.step_us);
      continue;
    }
    Frame frame{};
    if (pop_frame(&frame)) {
      if (zv_avi_write_fp_ex(writer_, frame.header, sizeof frame.header) != 0 ||
          zv_avi_write_fp_ex(writer_, frame.data.get(), frame.size) != 0) {
        // The output is gone (the client closed the connection) or refused the stream: nothing
        // more can be written, so the download ends as an abort does.
        break;
      }
      frames_written_.fetch_add(1);
      idle = 0;
      continue;
    }
    if (stop_.load()) break;
    sleep_step(timing_.step_us);
    if (++idle >= timing_.idle_rounds) break;  // the core stopped sending
  }
  clear_queue();
  running_.store(false);
}

bool RemoteBackup::pop_frame(Frame* frame) {
  zv_mutex_lock(&mutex_);
  bool got = !queue_.empty();
  if (got) {
    *frame = std::move(queue_.front());
    queue_.pop_front();
    queued_bytes_.fetch_sub(frame->size);
  }
  zv_mutex_unlock(&mutex_);
  return got;
}

void RemoteBackup::clear_queue() {
  std::deque<Frame> dropped;
  zv_mutex_lock(&mutex_);
  dropped.swap(queue_);
  queued_bytes_.store(0);
  zv_mutex_unlock(&mutex_);
  frames_dropped_.fetch_add(static_cast<uint32_t>(dropped.size()));
}  // the frames are freed here, outside the lock

void RemoteBackup::queue_frame(Frame frame) {
  for (int tries = 0; queued_bytes_.load() >= timing_.queue_limit; ++tries) {
    if (tries >= timing_.queue_tries || !running_.load()) {
      frames_dropped_.fetch_add(1);
      return;
    }
    sleep_step(timing_.step_us);
  }
  if (!running_.load()) {  // the writer has left: nobody would write or free it
    frames_dropped_.fetch_add(1);
    return;
  }
  const uint32_t size = frame.size;
  zv_mutex_lock(&mutex_);
  queue_.push_back(std::move(frame));
  queued_bytes_.fetch_add(size);
  zv_mutex_unlock(&mutex_);
  frames_queued_.fetch_add(1);
}

void RemoteBackup::on_chunk(const void* payload, size_t length) {
  DownloadChunkHead head{};
  if (payload == nullptr || length < sizeof head) return;
  memcpy(&head, payload, sizeof head);
  if (writer_ == nullptr || head.length == kChunkEnd) {
    ended_by_core_.store(head.length == kChunkEnd);
    done_.store(true);
    return;
  }
  if (head.length == kChunkAbort) {
    aborted_.store(true);
    ended_by_core_.store(true);
    running_.store(false);
    done_.store(true);
    return;
  }
  if (head.length < 0 || !running_.load()) return;
  // Never more than the chunk may carry, nor more than the payload holds.
  const size_t available = length - sizeof head;
  const uint32_t data_length = static_cast<uint32_t>(
      std::min<size_t>({static_cast<size_t>(head.length), kChunkDataMax, available}));
  const uint8_t* data = static_cast<const uint8_t*>(payload) + sizeof head;

  if (head.continuation == kChunkFirst) {
    building_.reset();  // a frame left half-built is dropped
    int32_t size = 0;
    memcpy(&size, head.frame_header + kFrameSizeOffset, sizeof size);
    // A frame larger than the queue's limit is taken (alone, once the queue is below the limit);
    // only what no file could hold is dropped.
    if (size <= 0 || size > kZvAviMaxFrameBytes) {
      frames_dropped_.fetch_add(1);
      return;
    }
    auto* buffer = static_cast<uint8_t*>(__zv_malloc(static_cast<size_t>(size), kSource, __LINE__));
    if (buffer == nullptr) {
      frames_dropped_.fetch_add(1);
      return;
    }
    building_.emplace();
    memcpy(building_->header, head.frame_header, sizeof building_->header);
    building_->size = static_cast<uint32_t>(size);
    building_->data.reset(buffer);
    fill_ = 0;
  } else if (!building_.has_value()) {
    return;  // a continuation of no frame
  }
  const uint32_t take = std::min(data_length, building_->size - fill_);
  memcpy(building_->data.get() + fill_, data, take);
  fill_ += take;
  if (fill_ == building_->size) {
    Frame frame = std::move(*building_);
    building_.reset();
    queue_frame(std::move(frame));
  }
}

void RemoteBackup::wait_until_finished() const {
  while (!done_.load() && running_.load()) sleep_step(timing_.step_us);
}

int RemoteBackup::finish() {
  if (writer_ == nullptr) return -1;
  stop_.store(true);
  if (thread_started_) {
    zv_task_join(&task_);
    thread_started_ = false;
  }
  running_.store(false);
  clear_queue();  // frames queued after the writer left
  if (mutex_ready_) {
    zv_mutex_destroy(&mutex_);
    mutex_ready_ = false;
  }
  building_.reset();
  fill_ = 0;
  const int result = zv_avi_close_fp(writer_);
  writer_ = nullptr;
  return result;
}

}  // namespace playback
