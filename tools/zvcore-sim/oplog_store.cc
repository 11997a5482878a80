#include "tools/zvcore-sim/oplog_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
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
    push(entry);
    ++whole;
  }
  // A torn last entry (power cut in the middle of an append) is cut off, so that new entries stay
  // aligned.
  if (ftruncate(fd_, static_cast<off_t>(whole * sizeof entry)) != 0) {
    if (error != nullptr) *error = "cannot repair " + path + ": " + strerror(errno);
    return false;
  }
  return true;
}

void OpLogStore::push(const StoredLogEntry& entry) {
  if (!entries_.empty() && entry.record.time < entries_.back().record.time) in_order_ = false;
  if (entries_.size() >= kMaxEntries) entries_.pop_front();
  entries_.push_back(entry);
}

void OpLogStore::visit(int32_t from, int32_t to, const std::function<bool(const StoredLogEntry&)>& visit) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto first = entries_.begin();
  auto last = entries_.end();
  if (in_order_ && from <= to) {
    auto stamp_below = [](const StoredLogEntry& e, int32_t t) { return e.record.time < t; };
    auto stamp_above = [](int32_t t, const StoredLogEntry& e) { return t < e.record.time; };
    first = std::lower_bound(entries_.begin(), entries_.end(), from, stamp_below);
    last = std::upper_bound(first, entries_.end(), to, stamp_above);
  }
  for (auto it = first; it != last; ++it) {
    if (it->record.time < from || it->record.time > to) continue;
    if (!visit(*it)) return;
  }
}

void OpLogStore::fill(size_t count, int32_t step, int32_t now) {
  static const char* const kUsers[] = {"admin", "operator", "guest"};
  std::vector<StoredLogEntry> made(std::min(count, kMaxEntries));
  for (size_t i = 0; i < made.size(); ++i) {
    OpLogRecord& r = made[i].record;
    r.time = now - static_cast<int32_t>((made.size() - 1 - i) * static_cast<size_t>(step));
    r.main_type = 4;  // operation
    r.sub_type = i % 3 == 0 ? 201 : i % 3 == 1 ? 202 : 210;
    r.param_type = 900 + static_cast<int32_t>(i % 26);
    r.remote = 1;
    r.channel = static_cast<int32_t>(i % 65);
    snprintf(r.user, sizeof r.user, "%s", kUsers[i % 3]);
    snprintf(r.remote_address, sizeof r.remote_address, "192.168.1.%zu", 10 + i % 200);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // The made-up entries go before the kept ones of the same time, so that the log stays in time
  // order (its searches then stay binary), and the newest kMaxEntries are kept.
  std::vector<StoredLogEntry> all;
  all.reserve(made.size() + entries_.size());
  std::merge(made.begin(), made.end(), entries_.begin(), entries_.end(), std::back_inserter(all),
             [](const StoredLogEntry& x, const StoredLogEntry& y) { return x.record.time < y.record.time; });
  const size_t drop = all.size() > kMaxEntries ? all.size() - kMaxEntries : 0;
  entries_.assign(all.begin() + static_cast<std::ptrdiff_t>(drop), all.end());
  in_order_ = std::is_sorted(entries_.begin(), entries_.end(), [](const StoredLogEntry& x, const StoredLogEntry& y) {
    return x.record.time < y.record.time;
  });
  // The file holds the log as it is now, written whole.
  if (fd_ >= 0) {
    std::vector<StoredLogEntry> kept(entries_.begin(), entries_.end());
    const auto bytes = static_cast<ssize_t>(kept.size() * sizeof(StoredLogEntry));
    if (ftruncate(fd_, 0) != 0 || write(fd_, kept.data(), static_cast<size_t>(bytes)) != bytes) {
      fprintf(stderr, "zvcore-sim: operation log write failed: %s\n", strerror(errno));
    }
  }
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
  push(entry);
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
