// Runs the real program as a child process, as a user or a desktop would:
// its path in the build tree, an environment of its own, start and wait.
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

// Starts the program with args (after argv[0]) and env; its stderr goes to
// stderr_fd when that is >= 0. The pid, or -1.
pid_t program_start(const std::vector<std::string> &args, const std::vector<std::string> &env,
                    int stderr_fd = -1);

// The exit code, or -1 (still running after timeout_ms), or 128 + the signal
// that ended it.
int program_wait_exit(pid_t pid, int timeout_ms);

// Waits until the program holds the single-instance lock of the user folder
// home (its signal watcher runs from then on); true when it does.
bool program_wait_until_locked(const std::string &home, int timeout_ms);

// Everything readable on fd until its end (the write side closed).
std::string program_read_all(int fd);

void program_pause_ms(long ms);
