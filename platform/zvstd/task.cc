#include "platform/zvstd/task.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

ZvTask::~ZvTask() {
  if (thread.joinable()) {
    if (thread.get_id() == std::this_thread::get_id()) {
      thread.detach();  // destroyed from its own thread: nothing left to wait for
    } else {
      thread.join();
    }
  }
}

int zv_task_create_join(ZvTask* task, ZvTaskEntry entry, void* arg) {
  if (task == nullptr || entry == nullptr || task->thread.joinable()) {
    errno = EINVAL;
    return -1;
  }
  task->result = nullptr;
  try {
    task->thread = std::thread([task, entry, arg] { task->result = entry(arg); });
  } catch (const std::system_error& e) {
    errno = e.code().value() != 0 ? e.code().value() : EAGAIN;
    return -1;
  }
  return 0;
}

int zv_task_join(ZvTask* task, void** result) {
  if (task == nullptr || !task->thread.joinable()) {
    errno = EINVAL;
    return -1;
  }
  if (task->thread.get_id() == std::this_thread::get_id()) {
    errno = EDEADLK;
    return -1;
  }
  try {
    task->thread.join();
  } catch (const std::system_error& e) {
    errno = e.code().value();
    return -1;
  }
  if (result != nullptr) *result = task->result;
  return 0;
}

int zv_task_set_name(const char* name) {
  if (name == nullptr) {
    errno = EINVAL;
    return -1;
  }
  char cut[16];
  std::snprintf(cut, sizeof cut, "%s", name);
  int rc = pthread_setname_np(pthread_self(), cut);
  if (rc != 0) {
    errno = rc;
    return -1;
  }
  return 0;
}

ZvMutex::~ZvMutex() {
  if (initialised) pthread_mutex_destroy(&mutex);
}

int zv_mutex_init(ZvMutex* mutex) {
  if (mutex == nullptr || mutex->initialised) {
    errno = EINVAL;
    return -1;
  }
  pthread_mutexattr_t attr;
  int rc = pthread_mutexattr_init(&attr);
  if (rc == 0) {
    rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
    if (rc == 0) rc = pthread_mutex_init(&mutex->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
  }
  if (rc != 0) {
    errno = rc;
    return -1;
  }
  mutex->initialised = true;
  return 0;
}

namespace {
int checked(ZvMutex* mutex, int (*op)(pthread_mutex_t*)) {
  if (mutex == nullptr || !mutex->initialised) {
    errno = EINVAL;
    return -1;
  }
  int rc = op(&mutex->mutex);
  if (rc != 0) {
    errno = rc;
    return -1;
  }
  return 0;
}
}  // namespace

int zv_mutex_lock(ZvMutex* mutex) { return checked(mutex, pthread_mutex_lock); }
int zv_mutex_trylock(ZvMutex* mutex) { return checked(mutex, pthread_mutex_trylock); }
int zv_mutex_unlock(ZvMutex* mutex) { return checked(mutex, pthread_mutex_unlock); }

int zv_mutex_destroy(ZvMutex* mutex) {
  if (checked(mutex, pthread_mutex_destroy) != 0) return -1;
  mutex->initialised = false;
  return 0;
}

namespace zvstd {

int JoinableTask::start(const char* name, std::function<void()> body) {
  if (task_.thread.joinable() || !body) {
    errno = EINVAL;
    return -1;
  }
  body_ = std::move(body);
  if (name != nullptr) {
    std::snprintf(name_, sizeof name_, "%s", name);
  } else {
    name_[0] = '\0';
  }
  return zv_task_create_join(&task_, &JoinableTask::trampoline, this);
}

void* JoinableTask::trampoline(void* self) {
  auto* task = static_cast<JoinableTask*>(self);
  if (task->name_[0] != '\0') zv_task_set_name(task->name_);
  task->body_();
  return nullptr;
}

int JoinableTask::join() {
  if (!task_.thread.joinable()) return -1;
  int rc = zv_task_join(&task_);
  if (rc == 0) body_ = nullptr;
  return rc;
}

Mutex::Mutex() {
  if (zv_mutex_init(&mutex_) != 0) throw std::system_error(errno, std::generic_category(), "zv_mutex_init");
}

void Mutex::lock() {
  if (zv_mutex_lock(&mutex_) != 0) throw std::system_error(errno, std::generic_category(), "zv_mutex_lock");
}

bool Mutex::try_lock() {
  if (zv_mutex_trylock(&mutex_) == 0) return true;
  if (errno == EBUSY) return false;
  throw std::system_error(errno, std::generic_category(), "zv_mutex_trylock");
}

void Mutex::unlock() {
  if (zv_mutex_unlock(&mutex_) != 0) throw std::system_error(errno, std::generic_category(), "zv_mutex_unlock");
}

}  // namespace zvstd
