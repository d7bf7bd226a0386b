// tsavefile: temporary file beside the target, renamed over it on success.
#include "tsavefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "port_fs.h"
#include "port_log.h"

constexpr int TEMP_ATTEMPTS = 100;

static char *copy_text(const std::string &text);
static void release(tsavefile *save);

FILE *tsavefile_open(tsavefile *save, const char16_t *path) {
  PORT_CHECK(save != nullptr);
  std::memset(save, 0, sizeof *save);
  if (!path || !path[0]) return nullptr;
  std::string target = port_fs_native_path(path);
  if (target.empty() || target.back() == '/') return nullptr;

  // A name no other writer uses: the process id and a serial number, made
  // with O_EXCL so that an existing file is never taken over.
  static std::atomic<unsigned> serial{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < TEMP_ATTEMPTS && fd < 0; attempt++) {
    temp = target + ".~" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return nullptr;
  }
  if (fd < 0) return nullptr;
  FILE *file = fdopen(fd, "wb");
  save->_temp = copy_text(temp);
  save->_target = copy_text(target);
  if (!file || !save->_temp || !save->_target) {
    if (file) std::fclose(file);
    else close(fd);
    unlink(temp.c_str());
    release(save);
    return nullptr;
  }
  save->_file = file;
  return file;
}

int tsavefile_commit(tsavefile *save, int failed) {
  PORT_CHECK(save != nullptr && save->_file != nullptr);
  FILE *file = save->_file;
  int ok = !failed && !std::ferror(file);
  ok = std::fflush(file) == 0 && ok;
  ok = fsync(fileno(file)) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  save->_file = nullptr;
  if (ok) ok = std::rename(save->_temp, save->_target) == 0;
  if (!ok) unlink(save->_temp);
  release(save);
  return ok;
}

void tsavefile_abort(tsavefile *save) {
  PORT_CHECK(save != nullptr);
  if (save->_file) {
    std::fclose(save->_file);
    save->_file = nullptr;
    unlink(save->_temp);
  }
  release(save);
}

static char *copy_text(const std::string &text) {
  char *copy = static_cast<char *>(std::malloc(text.size() + 1));
  if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

static void release(tsavefile *save) {
  std::free(save->_temp);
  std::free(save->_target);
  std::memset(save, 0, sizeof *save);
}
