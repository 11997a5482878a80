// The device's operation log as the core keeps it: every operation-log record the web side sends
// (message 3485, 672 bytes; message 3509, the same record followed by a 64-bit channel mask, 680
// bytes), stamped with its arrival time. Kept in memory (the newest kMaxEntries) and, with
// --oplog FILE, appended to a file of 680-byte entries that a restart loads again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
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

  // Calls `visit` with every entry stamped within [from, to], oldest first, under the store's
  // lock, until it returns false. While the stamps are in order (the clock never went back) the
  // span is found by binary search, so a search costs what it finds, not the whole log.
  void visit(int32_t from, int32_t to, const std::function<bool(const StoredLogEntry&)>& visit) const;

  // Adds `count` made-up entries (logins, logouts, settings changes of rotating channels), one
  // every `step` seconds and ending at `now`: a device with a full log, for the benchmark.
  void fill(size_t count, int32_t step, int32_t now);

 private:
  void push(const StoredLogEntry& entry);  // under mutex_

  mutable std::mutex mutex_;
  std::deque<StoredLogEntry> entries_;
  bool in_order_ = true;  // every entry's stamp >= the one before it
  int fd_ = -1;
};
