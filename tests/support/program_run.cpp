// Runs the real program as a child process.
#include "program_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

extern char **environ;

namespace {

// name as found in PATH, or as it is when it holds a '/'; "" when nowhere.
std::string find_program(const std::string &name) {
  if (name.find('/') != std::string::npos) return name;
  const char *found = std::getenv("PATH");
  std::string dirs = found && *found ? found : "/usr/local/bin:/usr/bin:/bin";
  for (size_t from = 0;;) {
    size_t colon = dirs.find(':', from);
    std::string dir = dirs.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string::npos) return "";
    from = colon + 1;
  }
}

// In the child between fork and exec: only calls that cannot wait on a lock
// another thread of the test held at the fork.
[[noreturn]] void exec_child(pid_t parent, int report, const char *path, char *const *argv, char *const *envp,
                             const std::vector<program_fd> &fds) {
  // The test program may have ended before the signal was asked for.
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == parent) {
    bool placed = true;
    for (const program_fd &f : fds) {
      int source = f.source >= 0 ? f.source : open("/dev/null", O_RDWR);
      if (source == f.target)
        placed = placed && fcntl(source, F_SETFD, 0) == 0;
      else
        placed = placed && source >= 0 && dup2(source, f.target) == f.target;
      if (f.source < 0 && source >= 0 && source != f.target) close(source);
    }
    if (placed) execve(path, argv, envp);
  }
  int why = errno ? errno : ECHILD;
  ssize_t written = write(report, &why, sizeof why);
  (void)written;
  _exit(127);
}

}  // namespace

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

pid_t program_spawn(const std::vector<std::string> &argv, const std::vector<std::string> *env,
                    const std::vector<program_fd> &fds, int *error) {
  int ignored;
  if (!error) error = &ignored;
  std::string path = argv.empty() ? "" : find_program(argv[0]);
  *error = path.empty() ? ENOENT : 0;
  int report[2];
  if (!*error && pipe2(report, O_CLOEXEC) != 0) *error = errno;
  if (*error) return -1;
  std::vector<char *> args, envp;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  if (env)
    for (const std::string &e : *env) envp.push_back(const_cast<char *>(e.c_str()));
  envp.push_back(nullptr);
  pid_t parent = getpid();
  pid_t pid = fork();
  int fork_error = errno;
  if (pid == 0) exec_child(parent, report[1], path.c_str(), args.data(), env ? envp.data() : environ, fds);
  close(report[1]);
  // The report pipe closes at the exec; a child that did not get there wrote why.
  int why = 0;
  ssize_t got;
  while ((got = read(report[0], &why, sizeof why)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (pid < 0 || got == ssize_t(sizeof why)) {
    *error = pid < 0 ? fork_error : why;
    if (pid > 0) waitpid(pid, nullptr, 0);
    return -1;
  }
  return pid;
}

pid_t program_start(const std::vector<std::string> &args, const std::vector<std::string> &env, int stderr_fd) {
  std::vector<std::string> argv = {program_path()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<program_fd> fds;
  if (stderr_fd >= 0) fds.push_back({2, stderr_fd});
  return program_spawn(argv, &env, fds);
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

int program_end_within(pid_t pid, int timeout_ms) {
  int code = program_wait_exit(pid, timeout_ms);
  if (code == -1) {
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  return code;
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
