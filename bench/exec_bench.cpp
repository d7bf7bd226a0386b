// The program started as a process, from exec to its first frame shown by
// the window system, at 480 x 640. Under a virtual X server when one is
// installed (the program then runs as on a desktop without a GPU), else on
// SDL's offscreen display; the display used is printed beside the figure.
// The program tells its first frame through BRIVOLA_FRAME_FD. The first run
// also reports what the process holds resident a moment after that frame.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_figures.h"

namespace {

// A child made after an in-process run of the program would inherit the
// exit signals it leaves blocked: an X server that then ignores SIGTERM
// holds the bench's end for good.
void start_with_no_signals_blocked() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

using clock_type = std::chrono::steady_clock;

constexpr int k_wait_ms = 10000;

bool on_path(const char *program) {
  const char *path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= dirs.size();) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// A virtual X server of its own, or nothing when none is installed or it
// does not come up.
struct virtual_display {
  pid_t pid = -1;
  std::string name;

  virtual_display() {
    if (!on_path("Xvfb")) return;
    for (int number = 90 + getpid() % 100; number < 400; number++) {
      std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
      std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
      if (access(socket.c_str(), F_OK) == 0 || access(lock.c_str(), F_OK) == 0) continue;
      name = ":" + std::to_string(number);
      pid = fork();
      if (pid == 0) {
        start_with_no_signals_blocked();
        int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", (char *)nullptr);
        _exit(127);
      }
      for (int waited = 0; waited < 5000 && pid > 0; waited += 20) {
        if (access(socket.c_str(), F_OK) == 0) return;
        if (waitpid(pid, nullptr, WNOHANG) == pid) pid = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      stop();
      return;
    }
  }
  ~virtual_display() { stop(); }
  void stop() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    pid = -1;
    name.clear();
  }
  bool up() const { return pid > 0; }
};

double resident_mb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return -1;
}

// Starts the program and waits for its first frame: the milliseconds from
// the fork to the frame, or a negative number when it never came. With
// `resident` set, also what it holds resident 300 ms later.
double start_once(const std::string &program, const virtual_display &display, const std::string &home,
                  double *resident) {
  int frame[2];
  if (pipe(frame) != 0) return -1;
  clock_type::time_point started = clock_type::now();
  pid_t child = fork();
  if (child == 0) {
    start_with_no_signals_blocked();
    close(frame[0]);
    if (display.up()) {
      setenv("DISPLAY", display.name.c_str(), 1);
      unsetenv("SDL_VIDEODRIVER");
    } else {
      setenv("SDL_VIDEODRIVER", "offscreen", 1);
    }
    unsetenv("WAYLAND_DISPLAY");
    setenv("BRIVOLA_HOME", home.c_str(), 1);
    setenv("BRIVOLA_FRAME_FD", std::to_string(frame[1]).c_str(), 1);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 1);
    dup2(null, 2);
    execl(program.c_str(), program.c_str(), "--screen", "480x640", (char *)nullptr);
    _exit(127);
  }
  close(frame[1]);
  double ms = -1;
  if (child > 0) {
    pollfd wait_for = {frame[0], POLLIN, 0};
    char byte;
    if (poll(&wait_for, 1, k_wait_ms) == 1 && read(frame[0], &byte, 1) == 1)
      ms = std::chrono::duration<double, std::milli>(clock_type::now() - started).count();
    if (ms >= 0 && resident) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      *resident = resident_mb(child);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
  }
  close(frame[0]);
  return ms;
}

void BM_exec_to_first_frame(benchmark::State &state) {
  const std::string program = std::string(BRIVOLA_PROGRAM_DIR) + "/brivola";
  if (access(program.c_str(), X_OK) != 0) {
    state.SkipWithError((program + " is missing: build the brivola target").c_str());
    bench_fail_value("exec_to_first_frame_ms", "the program is missing");
    return;
  }
  static virtual_display display;
  const std::string home =
      (std::filesystem::temp_directory_path() / ("brivola-exec-bench-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(home);
  bench_set_note("exec_to_first_frame_display", display.up() ? "Xvfb (X11, no GPU)" : "SDL offscreen (no Xvfb)");
  static std::vector<double> times;
  for (auto _ : state) {
    double resident = -1;
    double ms = start_once(program, display, home, times.empty() ? &resident : nullptr);
    if (ms < 0) {
      state.SkipWithError("the program showed no frame");
      bench_fail_value("exec_to_first_frame_ms", "the program showed no frame");
      break;
    }
    if (resident > 0) bench_set_value("resident_after_start_480x640_mb", resident);
    state.SetIterationTime(ms / 1000.0);
    times.push_back(ms);
  }
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  bench_set_median("exec_to_first_frame_ms", times);
}

}  // namespace

BENCHMARK(BM_exec_to_first_frame)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

static int exec_figure = bench_register_value("exec_to_first_frame_ms", 150);
static int exec_display = bench_register_note("exec_to_first_frame_display");
static int resident_figure = bench_register_value("resident_after_start_480x640_mb", 22);
