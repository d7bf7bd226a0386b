// Runs the real program as a child process.
#include "program_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

extern char **environ;

std::string program_path() {
  const char *dir = std::getenv("BRIVOLA_PROGRAM_DIR");
  return std::string(dir && *dir ? dir : BRIVOLA_PROGRAM_DIR) + "/brivola";
}

std::vector<std::string> program_environment(const std::vector<std::string> &extra) {
  static const char *const dropped[] = {"DISPLAY=",         "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=",
                                        "BRIVOLA_HOME=",    "XDG_RUNTIME_DIR=", "XDG_DOCUMENTS_DIR="};
  std::vector<std::string> env;
  for (char **e = environ; *e; e++) {
    std::string entry = *e;
    bool keep = true;
    for (const char *name : dropped)
      if (!entry.rfind(name, 0)) keep = false;
    if (keep) env.push_back(entry);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  for (const std::string &e : extra)
    if (!e.rfind("BRIVOLA_HOME=", 0)) env.push_back("XDG_DOCUMENTS_DIR=" + e.substr(13) + "/Documents");
  return env;
}

pid_t program_start(const std::vector<std::string> &args, const std::vector<std::string> &env, int stderr_fd) {
  std::string path = program_path();
  std::vector<char *> argv = {path.data()};
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char *> envp;
  for (const std::string &e : env) envp.push_back(const_cast<char *>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stderr_fd >= 0) posix_spawn_file_actions_adddup2(&actions, stderr_fd, 2);
  pid_t pid = -1;
  if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int program_wait_exit(pid_t pid, int timeout_ms) {
  for (int waited = 0; waited <= timeout_ms; waited += 10) {
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return 128 + WTERMSIG(status);
    }
    program_pause_ms(10);
  }
  return -1;
}

bool program_wait_until_locked(const std::string &home, int timeout_ms) {
  std::string lock = home + "/brivola.lock";
  for (int waited = 0; waited <= timeout_ms; waited += 10) {
    int fd = open(lock.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
      bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
      if (!held) flock(fd, LOCK_UN);
      close(fd);
      if (held) return true;
    }
    program_pause_ms(10);
  }
  return false;
}

std::string program_read_all(int fd) {
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
  return text;
}

void program_pause_ms(long ms) {
  timespec pause{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
}
