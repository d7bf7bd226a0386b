// The watchdog of a test program, and the end of everything it started.
#include "test_watchdog.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// A sweep that still finds processes after this many rounds gives up: the
// watchdog must end the program whatever it meets.
constexpr int SWEEP_ROUNDS = 500;

int g_seconds;
char g_line[128];
size_t g_line_size;

// An entry as getdents64 gives it.
struct proc_entry {
  uint64_t inode;
  int64_t next;
  unsigned short size;
  unsigned char type;
  char name[1];
};

void pause_ms(long ms) {
  timespec left{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0) {
  }
}

long digits_value(const char *digits) {
  long value = 0;
  for (; *digits >= '0' && *digits <= '9'; digits++) value = value * 10 + (*digits - '0');
  return value;
}

// The parent of the process /proc/<pid> names and whether it still runs (a
// zombie has ended); false when it is gone or the name is no process.
bool parent_of(const char *pid, long *parent, bool *running) {
  char path[64] = "/proc/";
  size_t length = std::strlen(pid);
  if (length == 0 || length > 18 || std::strspn(pid, "0123456789") != length) return false;
  std::memcpy(path + 6, pid, length);
  std::memcpy(path + 6 + length, "/stat", 6);
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char stat[512];
  ssize_t got = read(fd, stat, sizeof stat - 1);
  close(fd);
  if (got <= 0) return false;
  stat[got] = 0;
  // "pid (name) state parent ...", where the name may hold any character.
  const char *after_name = std::strrchr(stat, ')');
  if (!after_name || after_name[1] != ' ' || !after_name[2] || after_name[3] != ' ') return false;
  *running = after_name[2] != 'Z' && after_name[2] != 'X';
  *parent = digits_value(after_name + 4);
  return true;
}

void *watch(void *) {
  pause_ms(long(g_seconds) * 1000);
  ssize_t written = write(2, g_line, g_line_size);
  (void)written;
  test_kill_descendants();
  _exit(124);
}

}  // namespace

void test_watchdog_start(int seconds) {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  g_seconds = seconds;
  int length = std::snprintf(g_line, sizeof g_line,
                             "test program still running after %d s: ended as hung, with all it started\n", seconds);
  g_line_size = length > 0 ? std::min(size_t(length), sizeof g_line - 1) : 0;
  // The watchdog blocks every signal, so a signal sent to the process (the
  // tests of the signal watcher send them) never lands on it.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  pthread_t thread;
  if (pthread_create(&thread, nullptr, watch, nullptr) == 0) pthread_detach(thread);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void test_kill_descendants() {
  const long self = long(getpid());
  // A process killed leaves its own children to this one: rounds go on
  // until one finds none running.
  for (int round = 0; round < SWEEP_ROUNDS; round++) {
    bool found = false;
    int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0) return;
    alignas(8) char entries[8192];
    long got;
    while ((got = syscall(SYS_getdents64, proc, entries, sizeof entries)) > 0) {
      for (long at = 0; at < got;) {
        const proc_entry *entry = reinterpret_cast<const proc_entry *>(entries + at);
        at += entry->size;
        long parent;
        bool running;
        if (!parent_of(entry->name, &parent, &running) || parent != self || !running) continue;
        kill(pid_t(digits_value(entry->name)), SIGKILL);
        found = true;
      }
    }
    close(proc);
    while (waitpid(-1, nullptr, WNOHANG | __WALL) > 0) {
    }
    if (!found) return;
    pause_ms(10);
  }
}
