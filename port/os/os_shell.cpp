// Starting other programs through one replaceable launcher, and the command
// lines that stand in for the handheld's programs.
#include "os_shell.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "port_fs.h"

extern char **environ;

namespace {

int spawn_and_wait(const std::vector<std::string> &argv);
std::u16string base_name_lower(const char16_t *path);
// false when a quotation is not closed (a cut text).
bool split_parameters(const char16_t *text, std::vector<std::u16string> *words);
const std::u16string *option_value(const std::vector<std::u16string> &words, const char16_t *option);

std::atomic<os_launcher_fn> g_launcher{spawn_and_wait};
std::atomic<os_execute_observer_fn> g_execute_observer{nullptr};

// The program's threads block the termination signals (a watcher takes
// them); the started program gets an empty mask, so that it can be ended.
int spawn_and_wait(const std::vector<std::string> &argv) {
  if (argv.empty()) return 0;
  std::vector<char *> args;
  for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return 0;
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t pid;
  int spawned = posix_spawnp(&pid, args[0], nullptr, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return 0;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return 0;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
}

}  // namespace

os_launcher_fn os_shell_set_launcher(os_launcher_fn launcher) {
  return g_launcher.exchange(launcher ? launcher : spawn_and_wait);
}

os_launcher_fn os_shell_get_launcher() { return g_launcher.load(); }

int os_shell_run(const std::vector<std::string> &argv) { return g_launcher.load()(argv); }

std::vector<std::string> os_shell_open_command(const std::string &target) {
  if (target.empty()) return {};
  return {"xdg-open", target};
}

os_execute_observer_fn os_shell_set_execute_observer(os_execute_observer_fn observer) {
  return g_execute_observer.exchange(observer);
}

std::vector<std::string> os_shell_execute_command(const char16_t *program, const char16_t *parameters) {
  if (os_execute_observer_fn observer = g_execute_observer.load()) observer(program, parameters);
  if (!program) return {};
  if (base_name_lower(program) != u"tmail.exe") return {};
  std::vector<std::u16string> words;
  if (!split_parameters(parameters ? parameters : u"", &words)) return {};
  const std::u16string *service = option_value(words, u"-service");
  const std::u16string *attachment = option_value(words, u"-attach");
  if (!service || *service != u"ActiveSync" || !attachment || attachment->empty()) return {};
  return {"xdg-email", "--attach", port_fs_native_path(attachment->c_str())};
}

namespace {

// The last component of a handheld path ('\\' or '/'), in lower case.
std::u16string base_name_lower(const char16_t *path) {
  const char16_t *name = path;
  for (const char16_t *at = path; *at; at++)
    if (*at == u'\\' || *at == u'/') name = at + 1;
  std::u16string lower(name);
  for (char16_t &c : lower)
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  return lower;
}

// Words split at spaces; a word in quotation marks keeps its spaces and
// loses the marks ("" is an empty word). A quotation left open means the
// text was cut: its file name cannot be trusted.
bool split_parameters(const char16_t *text, std::vector<std::u16string> *words) {
  const char16_t *at = text;
  while (*at) {
    if (*at == u' ') {
      at++;
      continue;
    }
    std::u16string word;
    if (*at == u'"') {
      for (at++; *at && *at != u'"'; at++) word.push_back(*at);
      if (!*at) return false;
      at++;
    } else {
      for (; *at && *at != u' '; at++) word.push_back(*at);
    }
    words->push_back(word);
  }
  return true;
}

const std::u16string *option_value(const std::vector<std::u16string> &words, const char16_t *option) {
  for (size_t i = 0; i + 1 < words.size(); i++)
    if (words[i] == option) return &words[i + 1];
  return nullptr;
}

}  // namespace
