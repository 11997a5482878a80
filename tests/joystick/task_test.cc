// Threads and mutexes of the standard services.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/zvstd/task.h"

namespace {

void* return_argument(void* arg) { return arg; }

void* read_own_name(void* arg) {
  zv_task_set_name(static_cast<const char*>(arg));
  static thread_local char name[32];
  pthread_getname_np(pthread_self(), name, sizeof name);
  return name;
}

TEST(ZvTask, StartsJoinsAndHandsBackTheResult) {
  int value = 42;
  ZvTask task;
  ASSERT_EQ(zv_task_create_join(&task, return_argument, &value), 0);
  void* result = nullptr;
  ASSERT_EQ(zv_task_join(&task, &result), 0);
  EXPECT_EQ(result, &value);
}

TEST(ZvTask, RefusesMisuse) {
  ZvTask task;
  EXPECT_EQ(zv_task_join(&task), -1);  // nothing started
  EXPECT_EQ(zv_task_create_join(nullptr, return_argument, nullptr), -1);
  EXPECT_EQ(zv_task_create_join(&task, nullptr, nullptr), -1);
  ASSERT_EQ(zv_task_create_join(&task, return_argument, nullptr), 0);
  EXPECT_EQ(zv_task_create_join(&task, return_argument, nullptr), -1);  // still holds a thread
  EXPECT_EQ(zv_task_join(&task), 0);
  EXPECT_EQ(zv_task_join(&task), -1);  // joined already
  ASSERT_EQ(zv_task_create_join(&task, return_argument, nullptr), 0);  // reusable after the join
  EXPECT_EQ(zv_task_join(&task), 0);
}

TEST(ZvTask, AHandleGoingOutOfScopeJoinsItsThread) {
  std::atomic<bool> finished{false};
  {
    ZvTask task;
    ASSERT_EQ(zv_task_create_join(
                  &task,
                  [](void* arg) -> void* {
                    static_cast<std::atomic<bool>*>(arg)->store(true);
                    return nullptr;
                  },
                  &finished),
              0);
  }
  EXPECT_TRUE(finished.load());
}

TEST(ZvTask, NamesTheCallingThreadCutTo15Bytes) {
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {{"zvjs_reader", "zvjs_reader"}, {"a_very_long_thread_name", "a_very_long_thr"}};
  for (const auto& c : cases) {
    ZvTask task;
    ASSERT_EQ(zv_task_create_join(&task, read_own_name, const_cast<char*>(c.name)), 0);
    void* result = nullptr;
    ASSERT_EQ(zv_task_join(&task, &result), 0);
    EXPECT_STREQ(static_cast<const char*>(result), c.expected);
  }
  EXPECT_EQ(zv_task_set_name(nullptr), -1);
}

TEST(ZvMutex, ErrorCheckingInsteadOfDeadlocks) {
  ZvMutex mutex;
  EXPECT_EQ(zv_mutex_lock(&mutex), -1);  // not initialised
  ASSERT_EQ(zv_mutex_init(&mutex), 0);
  EXPECT_EQ(zv_mutex_init(&mutex), -1);  // twice
  EXPECT_EQ(zv_mutex_unlock(&mutex), -1);  // not held
  ASSERT_EQ(zv_mutex_lock(&mutex), 0);
  EXPECT_EQ(zv_mutex_lock(&mutex), -1);  // relock by the owner
  EXPECT_EQ(errno, EDEADLK);
  EXPECT_EQ(zv_mutex_trylock(&mutex), -1);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_EQ(zv_mutex_destroy(&mutex), -1);  // still locked

  ZvTask other;
  ASSERT_EQ(zv_task_create_join(
                &other,
                [](void* arg) -> void* {
                  return reinterpret_cast<void*>(static_cast<intptr_t>(zv_mutex_unlock(static_cast<ZvMutex*>(arg))));
                },
                &mutex),
            0);
  void* result = nullptr;
  ASSERT_EQ(zv_task_join(&other, &result), 0);
  EXPECT_EQ(reinterpret_cast<intptr_t>(result), -1);  // not the owner

  EXPECT_EQ(zv_mutex_unlock(&mutex), 0);
  EXPECT_EQ(zv_mutex_destroy(&mutex), 0);
  EXPECT_EQ(zv_mutex_lock(&mutex), -1);  // destroyed
}

TEST(ZvstdWrappers, TasksCountUnderOneMutexAndWaitOnACondition) {
  zvstd::Mutex mutex;
  std::condition_variable_any ready;
  int counter = 0;
  int started = 0;
  constexpr int kTasks = 4;
  constexpr int kRounds = 5000;
  {
    std::vector<std::unique_ptr<zvstd::JoinableTask>> tasks;
    for (int i = 0; i < kTasks; ++i) {
      tasks.push_back(std::make_unique<zvstd::JoinableTask>());
      ASSERT_EQ(tasks.back()->start("counter", [&] {
        {
          std::lock_guard<zvstd::Mutex> lock(mutex);
          ++started;
        }
        ready.notify_all();
        for (int r = 0; r < kRounds; ++r) {
          std::lock_guard<zvstd::Mutex> lock(mutex);
          ++counter;
        }
      }),
                0);
    }
    std::unique_lock<zvstd::Mutex> lock(mutex);
    ready.wait(lock, [&] { return started == kTasks; });
  }  // the tasks are joined here
  EXPECT_EQ(counter, kTasks * kRounds);
}

TEST(ZvstdWrappers, JoinableTaskRefusesASecondStartAndJoinsOnce) {
  zvstd::JoinableTask task;
  EXPECT_EQ(task.join(), -1);
  std::atomic<int> runs{0};
  ASSERT_EQ(task.start(nullptr, [&] { ++runs; }), 0);
  EXPECT_EQ(task.start(nullptr, [&] { ++runs; }), -1);
  EXPECT_EQ(task.join(), 0);
  EXPECT_EQ(task.join(), -1);
  EXPECT_EQ(runs.load(), 1);
  EXPECT_EQ(task.start(nullptr, nullptr), -1);
  zvstd::Mutex mutex;
  EXPECT_TRUE(mutex.try_lock());
  EXPECT_FALSE(mutex.try_lock());
  mutex.unlock();
  EXPECT_THROW(mutex.unlock(), std::system_error);
}

}  // namespace
