// os_thread: starting the worker threads of the network code.
//
// The system may refuse a thread (no memory for its stack, a process limit):
// the start reports the error code instead of throwing, so each user fails
// its one operation and the program goes on. Tests make every start fail
// with a chosen code.
#pragma once

#include <system_error>
#include <thread>
#include <utility>

// A test switch: the error every later start fails with (0: none). Returns
// the previous one.
int os_thread_set_failure(int error);
int os_thread_failure();

// Starts fn(args...) on `out`; 0, or the error code when no thread was made.
template <typename Fn, typename... Args>
int os_thread_start(std::thread &out, Fn &&fn, Args &&...args) {
  if (int error = os_thread_failure()) return error;
  try {
    out = std::thread(std::forward<Fn>(fn), std::forward<Args>(args)...);
  } catch (const std::system_error &e) {
    return e.code().value() ? e.code().value() : -1;
  }
  return 0;
}
