// Standard services: threads ("tasks") and mutexes.
//
// The C-style calls are what the device programs use; each handle owns its resource RAII-style
// underneath, so a handle that goes out of scope never leaks a thread or a mutex:
//   - a ZvTask that is still joinable when destroyed is joined by its destructor;
//   - a ZvMutex is an error-checking mutex: relocking it from its owner or unlocking it from
//     another thread fails with -1 instead of deadlocking or corrupting it.
// For C++ callers, zvstd::JoinableTask and zvstd::Mutex wrap the calls (Mutex satisfies Lockable,
// so std::lock_guard, std::unique_lock and std::condition_variable_any work with it).
//
// Every call returns 0 on success and -1 on failure (errno is set).
#pragma once

#include <pthread.h>

#include <functional>
#include <thread>

// A joinable thread started by zv_task_create_join. Not copyable, not movable while running: the
// thread keeps pointing at it.
struct ZvTask {
  ZvTask() = default;
  ZvTask(const ZvTask&) = delete;
  ZvTask& operator=(const ZvTask&) = delete;
  ~ZvTask();

  std::thread thread;
  void* result = nullptr;  // what the entry function returned, valid after zv_task_join
};

using ZvTaskEntry = void* (*)(void* arg);

// Starts `entry(arg)` on a new joinable thread. Fails when `task` or `entry` is null, when `task`
// already holds a thread that was not joined, or when the system refuses a thread.
int zv_task_create_join(ZvTask* task, ZvTaskEntry entry, void* arg);

// Waits for the thread of `task` to end; `result` (optional) receives the entry's return value.
// Fails when `task` holds no thread, and when called from that thread itself.
int zv_task_join(ZvTask* task, void** result = nullptr);

// Names the calling thread (shown by ps and debuggers). Names longer than 15 bytes are cut.
int zv_task_set_name(const char* name);

struct ZvMutex {
  ZvMutex() = default;
  ZvMutex(const ZvMutex&) = delete;
  ZvMutex& operator=(const ZvMutex&) = delete;
  ~ZvMutex();

  pthread_mutex_t mutex{};
  bool initialised = false;
};

int zv_mutex_init(ZvMutex* mutex);
int zv_mutex_lock(ZvMutex* mutex);
int zv_mutex_trylock(ZvMutex* mutex);  // -1 with errno EBUSY when another thread holds it
int zv_mutex_unlock(ZvMutex* mutex);
int zv_mutex_destroy(ZvMutex* mutex);  // fails (EBUSY) while locked

namespace zvstd {

// A thread that runs one function and is joined at the latest when the object is destroyed.
class JoinableTask {
 public:
  JoinableTask() = default;
  JoinableTask(const JoinableTask&) = delete;
  JoinableTask& operator=(const JoinableTask&) = delete;
  ~JoinableTask() { join(); }

  // Starts `body` on a new thread named `name` (null: keep the inherited name). Returns 0, or -1
  // when a thread is already running or none could be started.
  int start(const char* name, std::function<void()> body);
  // Waits for the thread; returns -1 when none was started (or it was joined already).
  int join();
  bool joinable() const { return task_.thread.joinable(); }

 private:
  static void* trampoline(void* self);

  ZvTask task_;
  std::function<void()> body_;
  char name_[16] = {};
};

// Lockable mutex over ZvMutex. Construction or locking failures throw std::system_error.
class Mutex {
 public:
  Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  ~Mutex() = default;

  void lock();
  bool try_lock();
  void unlock();
  ZvMutex* native() { return &mutex_; }

 private:
  ZvMutex mutex_;
};

}  // namespace zvstd
