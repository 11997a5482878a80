// The simulator's message log: every message a client sent, one JSON object per line, e.g.
//   {"t": 1733650000123, "client": 3, "id": 3485, "len": 672, "payload": "04000000..."}
// t is the arrival time in Unix milliseconds; payload is the bytes in lower-case hex.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

class MessageLog {
 public:
  MessageLog() = default;
  ~MessageLog();
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  // Opens (creating, appending) the log file. False with the reason in *error.
  bool open(const std::string& path, std::string* error);
  bool is_open() const { return fd_ >= 0; }
  // Lines written since open.
  uint64_t count() const { return count_.load(std::memory_order_relaxed); }
  // Appends one line (a single write, so concurrent readers never see half a line).
  void write(int64_t unix_ms, int32_t client, int32_t id, const unsigned char* payload, uint32_t length);

  // The line for one message, without the newline.
  static std::string format(int64_t unix_ms, int32_t client, int32_t id, const unsigned char* payload,
                            uint32_t length);

 private:
  int fd_ = -1;
  std::atomic<uint64_t> count_{0};
};
