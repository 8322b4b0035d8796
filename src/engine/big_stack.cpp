// The thread with a stack sized for a query's depth.
#include "engine/big_stack.h"

#include <pthread.h>

#include <exception>
#include <stdexcept>
#include <string>

namespace {

// Stack bytes allowed per level: the sanitizers' frames are much larger.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kStackPerLevel = 16 << 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr std::size_t kStackPerLevel = 16 << 10;
#else
constexpr std::size_t kStackPerLevel = 2 << 10;
#endif
#else
constexpr std::size_t kStackPerLevel = 2 << 10;
#endif
constexpr std::size_t kStackBase = 16 << 20;
// This many levels fit the ordinary stack with room to spare.
constexpr uint32_t kShallow = 200;

struct job {
  const std::function<void()>* fn;
  std::exception_ptr error;
};

void* run_job(void* arg) {
  auto* j = static_cast<job*>(arg);
  try {
    (*j->fn)();
  } catch (...) {
    j->error = std::current_exception();
  }
  return nullptr;
}

}  // namespace

void run_with_stack(uint32_t levels, uint32_t depth, const std::function<void()>& fn) {
  if (levels <= kShallow) {
    fn();
    return;
  }
  job j{&fn, nullptr};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kStackBase + levels * kStackPerLevel);
  pthread_t thread;
  const int rc = pthread_create(&thread, &attr, run_job, &j);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    throw std::runtime_error("the query is nested " + std::to_string(depth) +
                             " levels deep, and a stack for that depth cannot be had");
  }
  pthread_join(thread, nullptr);
  if (j.error) std::rethrow_exception(j.error);
}
