#include "tools/zvcore-sim/oplog_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

OpLogStore::~OpLogStore() {
  if (fd_ >= 0) close(fd_);
}

bool OpLogStore::open(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    if (error != nullptr) *error = "cannot open " + path + ": " + strerror(errno);
    return false;
  }
  StoredLogEntry entry;
  size_t whole = 0;
  for (;;) {
    ssize_t got = pread(fd_, &entry, sizeof entry, static_cast<off_t>(whole * sizeof entry));
    if (got != static_cast<ssize_t>(sizeof entry)) break;
    entries_.push_back(entry);
    ++whole;
  }
  // A torn last entry (power cut in the middle of an append) is cut off, so that new entries stay
  // aligned.
  if (ftruncate(fd_, static_cast<off_t>(whole * sizeof entry)) != 0) {
    if (error != nullptr) *error = "cannot repair " + path + ": " + strerror(errno);
    return false;
  }
  while (entries_.size() > kMaxEntries) entries_.pop_front();
  return true;
}

bool OpLogStore::add(int32_t msg_id, const unsigned char* payload, uint32_t length, int32_t now) {
  StoredLogEntry entry{};
  if (msg_id == kOpLog.id && length == sizeof(OpLogRecord)) {
    memcpy(&entry.record, payload, sizeof entry.record);
  } else if (msg_id == kOpLogMulti.id && length == sizeof(StoredLogEntry)) {
    memcpy(&entry, payload, sizeof entry);
  } else {
    return false;
  }
  entry.record.time = now;
  std::lock_guard<std::mutex> lock(mutex_);
  if (entries_.size() >= kMaxEntries) entries_.pop_front();
  entries_.push_back(entry);
  if (fd_ >= 0 && write(fd_, &entry, sizeof entry) != static_cast<ssize_t>(sizeof entry)) {
    fprintf(stderr, "zvcore-sim: operation log write failed: %s\n", strerror(errno));
  }
  return true;
}

std::vector<StoredLogEntry> OpLogStore::entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<StoredLogEntry>(entries_.begin(), entries_.end());
}

size_t OpLogStore::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}
