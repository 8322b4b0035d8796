// Threads in the WebAssembly build, which has none. The engine evaluates a
// query on a thread that it asks for with a stack sized for the query's
// nesting, and it runs some work on a second thread when one can be
// started. Here a thread asked for with attributes (as the evaluation thread
// is) runs its routine at once, to its end, on the module's own stack,
// which is made large for this (web/build.sh), and joining it hands back the
// routine's result. A thread asked for without attributes cannot be started
// (EAGAIN, as the library's stub answers), so that work stays on the one
// thread there is. These definitions take the place of the library's weak
// ones.
//
// How deep a query can nest is then bound by the browser's own stack for
// WebAssembly calls, about a thousand levels: deeper ones end the run with a
// RangeError, which the page reports.
#include <pthread.h>

#include <cerrno>
#include <cstdlib>

namespace {

// What pthread_t points to: the result of a routine that has run.
struct finished {
  void* result;
};

}  // namespace

extern "C" {

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*fn)(void*), void* arg) {
  if (attr == nullptr) return EAGAIN;
  auto* done = static_cast<finished*>(std::malloc(sizeof(finished)));
  if (done == nullptr) return EAGAIN;
  done->result = fn(arg);
  *thread = reinterpret_cast<pthread_t>(done);
  return 0;
}

int pthread_join(pthread_t thread, void** result) {
  auto* done = reinterpret_cast<finished*>(thread);
  if (result != nullptr) *result = done->result;
  std::free(done);
  return 0;
}

}  // extern "C"
