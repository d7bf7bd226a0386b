// os_thread: the test switch of thread starts.
#include "os_thread.h"

#include <atomic>

namespace {

std::atomic<int> g_failure{0};

}  // namespace

int os_thread_set_failure(int error) { return g_failure.exchange(error); }

int os_thread_failure() { return g_failure.load(); }
