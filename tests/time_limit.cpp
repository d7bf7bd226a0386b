// Linked into every test program: a test that hangs ends by itself after
// BRIVOLA_TEST_TIME_LIMIT seconds (a few times the program's longest run on a
// busy machine under the sanitizers), whatever ran it, and takes the
// processes it started with it. ctest sets no time-out of its own for these
// programs, so `ctest --timeout` still reaches each one.
// Forked children have no watchdog: the parent's own limit ends their wait,
// and them.
#include "test_watchdog.h"

namespace {

struct time_limit {
  time_limit() { test_watchdog_start(BRIVOLA_TEST_TIME_LIMIT); }
};

const time_limit g_time_limit;

}  // namespace
