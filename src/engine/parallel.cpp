// run_both: one helper thread per call, joined before it returns.
#include "engine/parallel.h"

#include <exception>
#include <system_error>
#include <thread>

void run_both(const std::function<void()>& a, const std::function<void()>& b) {
  std::exception_ptr failed_b;
  std::thread helper;
  try {
    helper = std::thread([&] {
      try {
        b();
      } catch (...) {
        failed_b = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    // No thread to be had: do both here.
    a();
    b();
    return;
  }
  std::exception_ptr failed_a;
  try {
    a();
  } catch (...) {
    failed_a = std::current_exception();
  }
  helper.join();
  if (failed_a) std::rethrow_exception(failed_a);
  if (failed_b) std::rethrow_exception(failed_b);
}
