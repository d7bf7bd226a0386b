// Linked into every test program: a test that hangs ends by itself after
// BRIVOLA_TEST_TIME_LIMIT seconds (a few times the program's longest run on a
// busy machine under the sanitizers), whatever ran it. ctest sets no time-out
// of its own for these programs, so `ctest --timeout` still reaches each one.
// Forked children have no watchdog: the parent's own limit ends their wait.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

void *watch(void *) {
  timespec left{BRIVOLA_TEST_TIME_LIMIT, 0};
  while (nanosleep(&left, &left) != 0) {
  }
  std::fprintf(stderr, "test program still running after %d s: ended as hung\n", BRIVOLA_TEST_TIME_LIMIT);
  std::fflush(stderr);
  _exit(124);
}

struct time_limit {
  // The watchdog blocks every signal, so a signal sent to the process (the
  // tests of the signal watcher send them) never lands on it.
  time_limit() {
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, watch, nullptr) == 0) pthread_detach(thread);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
  }
};

const time_limit g_time_limit;

}  // namespace
