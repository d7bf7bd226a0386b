// The folders of the program on Linux.
#include "os_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

std::string env_or_empty(const char *name) {
  const char *v = std::getenv(name);
  return v && *v ? std::string(v) : std::string();
}

std::string home_dir() {
  std::string home = env_or_empty("HOME");
  if (!home.empty()) return home;
  struct passwd *pw = getpwuid(getuid());
  return pw && pw->pw_dir ? std::string(pw->pw_dir) : std::string("/tmp");
}

std::string strip_slash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string os_program_dir() {
  std::string over = env_or_empty("BRIVOLA_PROGRAM_DIR");
  if (!over.empty()) return strip_slash(over);
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return std::string();
  exe[n] = 0;
  std::string path(exe);
  size_t slash = path.rfind('/');
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string os_user_dir() {
  std::string dir = env_or_empty("BRIVOLA_HOME");
  if (!dir.empty()) return strip_slash(dir);
  dir = env_or_empty("XDG_DATA_HOME");
  if (!dir.empty()) return strip_slash(dir) + "/brivola";
  return home_dir() + "/.local/share/brivola";
}

std::string os_documents_dir() {
  std::string dir = env_or_empty("XDG_DOCUMENTS_DIR");
  if (!dir.empty()) return strip_slash(dir);
  return home_dir() + "/Documents";
}

int os_make_dirs(const std::string &path) {
  if (path.empty()) return 0;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 1 : 0;
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !os_make_dirs(path.substr(0, slash))) return 0;
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return 1;
  return 0;
}
