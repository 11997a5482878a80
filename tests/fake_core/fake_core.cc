#include "tests/fake_core/fake_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace zvtest {

FakeCore::FakeCore(const std::string& path) {
  std::string error;
  listening_ = server_.start(
      path,
      [this](ZvSockServer::PeerId peer, const ZvMsgHeader& header, const unsigned char* payload) {
        on_message(peer, header, payload);
      },
      &error);
  if (!listening_) ADD_FAILURE() << "fake core cannot listen: " << error;
}

FakeCore::~FakeCore() { server_.stop(); }

void FakeCore::on_message(ZvSockServer::PeerId peer, const ZvMsgHeader& header,
                          const unsigned char* payload) {
  std::vector<FakeReply> answers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ReceivedMessage message;
    message.client = header.client;
    message.id = header.msg_id;
    if (payload != nullptr) message.payload.assign(payload, payload + header.length);
    received_.push_back(std::move(message));
    auto found = replies_.find(header.msg_id);
    if (found != replies_.end()) answers = found->second;
  }
  arrived_.notify_all();
  for (const FakeReply& answer : answers) {
    int32_t id = answer.id != 0 ? answer.id : header.msg_id + 5000;
    server_.send(peer, id, answer.payload.data(), static_cast<uint32_t>(answer.payload.size()),
                 answer.delay_ms);
  }
}

void FakeCore::reply(int32_t id, Bytes payload, int delay_ms) {
  reply_with(id, {FakeReply{0, std::move(payload), delay_ms}});
}

void FakeCore::reply_with(int32_t id, std::vector<FakeReply> replies) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[id] = std::move(replies);
}

void FakeCore::no_reply(int32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_.erase(id);
}

void FakeCore::clear_replies() {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_.clear();
}

std::vector<ReceivedMessage> FakeCore::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::vector<ReceivedMessage> FakeCore::received(int32_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ReceivedMessage> matching;
  for (const auto& message : received_) {
    if (message.id == id) matching.push_back(message);
  }
  return matching;
}

bool FakeCore::wait_for(int32_t id, size_t count, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return arrived_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    return static_cast<size_t>(std::count_if(received_.begin(), received_.end(),
                                             [&](const ReceivedMessage& m) { return m.id == id; })) >=
           count;
  });
}

bool FakeCore::wait_idle(int timeout_ms) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!server_.idle()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

void FakeCore::clear_received() {
  std::lock_guard<std::mutex> lock(mutex_);
  received_.clear();
}

void FakeCore::disconnect_all() { server_.disconnect_all(); }

Bytes int32s(std::initializer_list<int32_t> words) {
  Bytes bytes(words.size() * 4);
  size_t offset = 0;
  for (int32_t word : words) {
    memcpy(bytes.data() + offset, &word, 4);
    offset += 4;
  }
  return bytes;
}

Bytes text_field(std::string_view text, size_t width) {
  Bytes bytes(width, 0);
  memcpy(bytes.data(), text.data(), std::min(text.size(), width));
  return bytes;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

int32_t int32_at(const Bytes& payload, size_t offset) {
  int32_t value = 0;
  if (offset <= payload.size() && payload.size() - offset >= 4) memcpy(&value, payload.data() + offset, 4);
  return value;
}

}  // namespace zvtest
