// The device's operation log as the core keeps it: every operation-log record the web side sends
// (message 3485, 672 bytes; message 3509, the same record followed by a 64-bit channel mask, 680
// bytes), stamped with its arrival time. Kept in memory (the newest kMaxEntries) and, with
// --oplog FILE, appended to a file of 680-byte entries that a restart loads again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "common/oplog.h"

// One kept entry: the record (time stamped on arrival) and 3509's channel set (empty for 3485),
// laid out as message 3509 carries them.
using StoredLogEntry = OpLogMultiRecord;

class OpLogStore {
 public:
  static constexpr size_t kMaxEntries = 100000;

  OpLogStore() = default;
  ~OpLogStore();
  OpLogStore(const OpLogStore&) = delete;
  OpLogStore& operator=(const OpLogStore&) = delete;

  // Loads the entries of an existing file and appends new ones to it. False with a reason.
  bool open(const std::string& path, std::string* error);

  // Stores the payload of a 3485 or 3509 message stamped with `now` (seconds since the epoch).
  // False (nothing stored) when the length is not the message's record size.
  bool add(int32_t msg_id, const unsigned char* payload, uint32_t length, int32_t now);

  std::vector<StoredLogEntry> entries() const;
  size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::deque<StoredLogEntry> entries_;
  int fd_ = -1;
};
