// Runs the real program as a child process, as a user or a desktop would:
// its path in the build tree, an environment of its own, start and wait.
// Whatever a test starts ends with the test program: each child takes a
// parent-death signal, and the watchdog (test_watchdog.h) ends every process
// below a hung test program before it ends it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The program the build made (BRIVOLA_PROGRAM_DIR/brivola).
std::string program_path();

// This process's environment less the display and user-folder variables,
// plus extra; a BRIVOLA_HOME in extra also puts the documents folder beside
// it, never in the real home.
std::vector<std::string> program_environment(const std::vector<std::string> &extra);

// What a started process finds at fd target: source, or /dev/null when
// source is -1.
struct program_fd {
  int target, source;
};

// Starts argv[0] (looked up in PATH when it has no '/') with env (null: this
// process's environment) and the fds given; SIGKILL ends it when the thread
// that started it ends (the test's, as a rule). The pid, or -1 with the
// reason in *error (ENOENT: no such program).
pid_t program_spawn(const std::vector<std::string> &argv, const std::vector<std::string> *env,
                    const std::vector<program_fd> &fds, int *error = nullptr);

// Starts the program with args (after argv[0]) and env; its stderr goes to
// stderr_fd when that is >= 0. The pid, or -1.
pid_t program_start(const std::vector<std::string> &args, const std::vector<std::string> &env,
                    int stderr_fd = -1);

// The exit code, or -1 (still running after timeout_ms), or 128 + the signal
// that ended it.
int program_wait_exit(pid_t pid, int timeout_ms);

// The exit code (as program_wait_exit) once the program ends within
// timeout_ms; a program still running then is killed and reaped: -1.
int program_end_within(pid_t pid, int timeout_ms);

// Waits until the program holds the single-instance lock of the user folder
// home (its signal watcher runs from then on); true when it does.
bool program_wait_until_locked(const std::string &home, int timeout_ms);

// Everything readable on fd until its end (the write side closed).
std::string program_read_all(int fd);

void program_pause_ms(long ms);
