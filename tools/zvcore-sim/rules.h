// The simulator's modules and their rules. A module is an object the simulator owns (so its
// state is fresh for every simulator), which declares what it does with each message id:
//
//   class VideoSim : public SimModule {
//    public:
//     const char* name() const override { return "video"; }
//     void rules(SimRules& r) override {
//       r.notice(kOsdChanged);                                   // logged, no reply
//       r.store(osd_, kCameraOsdSet, kCameraOsdRead, ...);       // a set stores, its get returns it
//       r.answer(kCameraMaskResult, [this](const SimRequest& q, SimAnswer& a) { ... });
//     }
//    private:
//     KeyedStore<CameraOsd> osd_{factory_osd};
//   };
//
// Rules are registered once, when the simulator is made. A second rule for an id that already
// has one is refused: the simulator does not start, and the error names both modules. Where the
// system really uses one id for two requests, each rule says so with `shared(id, match, ...)`: a
// predicate on the payload picks the rule.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "common/exchange.h"
#include "platform/zvsocket/zvsocket_server.h"

class Simulator;

// One received message.
struct SimRequest {
  ZvSockServer::PeerId peer;
  int32_t client;
  int32_t id;
  const unsigned char* payload;  // null when length is 0
  uint32_t length;
};

// What a rule answers: nothing (a notice), or one or more replies.
class SimAnswer {
 public:
  struct Reply {
    int32_t reply_id = 0;  // 0: the request's reply id
    int delay_ms = 0;
    std::vector<unsigned char> payload;
  };

  void bytes(const void* data, size_t length, int32_t reply_id = 0, int delay_ms = 0) {
    const auto* p = static_cast<const unsigned char*>(data);
    replies_.push_back(Reply{reply_id, delay_ms, std::vector<unsigned char>(p, p + length)});
  }
  template <class T>
  void record(const T& value, int32_t reply_id = 0) {
    static_assert(std::is_trivially_copyable_v<T>);
    bytes(&value, sizeof value, reply_id);
  }
  void int32(int32_t value, int32_t reply_id = 0) { record(value, reply_id); }
  const std::vector<Reply>& replies() const { return replies_; }

 private:
  std::vector<Reply> replies_;
};

// The payload of a request as a record: false when it is not exactly one record (too short, or
// longer than one). `prefix` accepts a payload at least that long (a leading record).
template <class T>
bool payload_as(const SimRequest& request, T* out, bool prefix = false) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (request.payload == nullptr || request.length < sizeof(T)) return false;
  if (!prefix && request.length != sizeof(T)) return false;
  std::memcpy(out, request.payload, sizeof(T));
  return true;
}

// A keyed store of records of one type with factory values: what a device keeps per channel,
// port, user ... Thread-safe.
template <class T>
class KeyedStore {
 public:
  using Factory = std::function<T(int64_t key)>;
  explicit KeyedStore(Factory factory = [](int64_t) { return T{}; }) : factory_(std::move(factory)) {}

  T get(int64_t key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return slot(key);
  }
  void put(int64_t key, const T& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    slot(key) = value;
  }
  // Changes the stored record in place (created from the factory when missing).
  template <class F>
  void update(int64_t key, F&& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(slot(key));
  }
  bool contains(int64_t key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.count(key) != 0;
  }
  void erase(int64_t key) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.erase(key);
  }

 private:
  T& slot(int64_t key) {
    auto [it, inserted] = values_.try_emplace(key);
    if (inserted) it->second = factory_(key);
    return it->second;
  }
  Factory factory_;
  std::mutex mutex_;
  std::map<int64_t, T> values_;
};

using SimAnswerFn = std::function<void(const SimRequest&, SimAnswer&)>;
using SimMatch = std::function<bool(const SimRequest&)>;

// The rule table a module fills in SimModule::rules().
class SimRules {
 public:
  // A message without reply: logged (every message is), nothing answered.
  void notice(int32_t id);
  template <class P>
  void notice(const Notice<P>& n) {
    notice(n.id);
  }
  // A computed answer (or none, when the function adds no reply).
  void answer(int32_t id, SimAnswerFn fn);
  template <class P, class R>
  void answer(const Exchange<P, R>& x, SimAnswerFn fn) {
    answer(x.id, std::move(fn));
  }
  template <class P>
  void answer(const Notice<P>& n, SimAnswerFn fn) {
    answer(n.id, std::move(fn));
  }
  // The same reply bytes every time.
  void fixed(int32_t id, std::vector<unsigned char> payload);
  // A rule for an id the system uses for more than one request: `match` picks it by payload.
  void shared(int32_t id, SimMatch match, SimAnswerFn fn);

  // Store-and-return: `set` (a notice or an exchange whose payload is the record, keyed by
  // key_of_set) stores the record; `get` (payload: the key, read by key_of_get) answers with the
  // stored one (the factory's value until a set). An exchange-form set answers the int32 status 0.
  // The key functions may be plain lambdas (their parameter types are not deduced from them).
  template <class T, class SetMsg, class GetP>
  void store(KeyedStore<T>& store, const SetMsg& set, const Exchange<GetP, T>& get,
             std::function<int64_t(const std::type_identity_t<T>&)> key_of_set,
             std::function<int64_t(const std::type_identity_t<GetP>&)> key_of_get);

  // Used by the simulator.
  struct Rule {
    std::string module;
    SimMatch match;  // null: the only rule of its id
    SimAnswerFn fn;
  };
  void set_module(std::string name) { module_ = std::move(name); }
  const std::multimap<int32_t, Rule>& rules() const { return rules_; }
  // The duplicate rules found while registering ("id 2503: video and camera"), empty when none.
  const std::vector<std::string>& conflicts() const { return conflicts_; }
  // The rule for a request, or null.
  const Rule* find(const SimRequest& request) const;

 private:
  void add(int32_t id, SimMatch match, SimAnswerFn fn);

  std::string module_;
  std::multimap<int32_t, Rule> rules_;
  std::vector<std::string> conflicts_;
};

// A simulated part of the device.
class SimModule {
 public:
  virtual ~SimModule() = default;
  virtual const char* name() const = 0;
  // Declares the module's messages. Called once, after the module is made.
  virtual void rules(SimRules& r) = 0;
  // A control command addressed to this module (`zvcore-sim ctl <module> <words...>`): true when
  // the module knows it, with a one-line answer.
  virtual bool control(const std::vector<std::string>& /*words*/, std::string* /*answer*/) { return false; }
  // The simulator that owns the module (set before rules() is called).
  Simulator* sim = nullptr;
};

// ---- Template definitions ------------------------------------------------------------------

template <class T, class SetMsg, class GetP>
void SimRules::store(KeyedStore<T>& kept, const SetMsg& set, const Exchange<GetP, T>& get,
                     std::function<int64_t(const std::type_identity_t<T>&)> key_of_set,
                     std::function<int64_t(const std::type_identity_t<GetP>&)> key_of_get) {
  using SetP = typename SetMsg::payload_type;
  static_assert(std::is_same_v<SetP, T>, "the set message carries the stored record");
  constexpr bool kAnswersSet = !std::is_same_v<SetMsg, Notice<SetP>>;
  add(set.id, nullptr, [&kept, key_of_set](const SimRequest& request, SimAnswer& a) {
    T record;
    if (!payload_as(request, &record)) {
      if (kAnswersSet) a.int32(-1);
      return;
    }
    kept.put(key_of_set(record), record);
    if (kAnswersSet) a.int32(0);
  });
  add(get.id, nullptr, [&kept, key_of_get](const SimRequest& request, SimAnswer& a) {
    GetP key{};
    if (!payload_as(request, &key, true)) return;
    a.record(kept.get(key_of_get(key)));
  });
}
