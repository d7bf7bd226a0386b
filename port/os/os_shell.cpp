// Starting other programs through one replaceable launcher.
#include "os_shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <thread>

extern char **environ;

namespace {

int spawn_detached(const std::vector<std::string> &argv);

os_launcher_fn g_launcher = spawn_detached;

int spawn_detached(const std::vector<std::string> &argv) {
  if (argv.empty()) return 0;
  std::vector<char *> args;
  for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return 0;
  // The opener ends on its own; a small thread reaps it so no zombie stays.
  std::thread([pid] {
    int status;
    waitpid(pid, &status, 0);
  }).detach();
  return 1;
}

}  // namespace

os_launcher_fn os_shell_set_launcher(os_launcher_fn launcher) {
  os_launcher_fn old = g_launcher;
  g_launcher = launcher ? launcher : spawn_detached;
  return old;
}

int os_shell_run(const std::vector<std::string> &argv) { return g_launcher(argv); }

int os_shell_open(const std::string &target) {
  if (target.empty()) return 0;
  return os_shell_run({"xdg-open", target});
}
