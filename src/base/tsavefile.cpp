// tsavefile: temporary file beside the target, renamed over it on success.
//
// The stream is a cookie stream over the temporary file's descriptor, so that
// every system call of a save goes through one table.
#include "tsavefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "port_fs.h"
#include "port_log.h"
#include "port_utf8.h"

constexpr int TEMP_ATTEMPTS = 100;
constexpr int MAX_LINKS = 40;  // as the kernel follows them

static ssize_t system_write(int fd, const void *data, size_t size);
static int system_rename(const char *from, const char *to);
static FILE *open_target(tsavefile *save, const char16_t *path, bool through_links);
static std::string follow_links(std::string path);
static ssize_t stream_write(void *cookie, const char *data, size_t size);
static int stream_seek(void *cookie, off64_t *offset, int whence);
static int stream_close(void *cookie);
static std::string temp_name(const std::string &target, size_t name_at, size_t name_max, unsigned serial);
static char *copy_text(const std::string &text);
static void release(tsavefile *save);
static int remove_stale_in(const std::string &folder);
static pid_t writer_of(const char *name);
static int remove_if_unlocked(const std::string &path);

static const tsavefile_calls k_system_calls = {system_write, std::fflush, fsync, close, system_rename};
static const tsavefile_calls *g_calls = &k_system_calls;

FILE *tsavefile_open(tsavefile *save, const char16_t *path) {
  PORT_CHECK(save != nullptr);
  return open_target(save, path, true);
}

FILE *tsavefile_open_in_place(tsavefile *save, const char16_t *path) {
  PORT_CHECK(save != nullptr);
  return open_target(save, path, false);
}

// Both opens; through_links: the target is the file the links at path lead
// to.
static FILE *open_target(tsavefile *save, const char16_t *path, bool through_links) {
  std::memset(save, 0, sizeof *save);
  save->_fd = -1;
  if (!path || !path[0]) return nullptr;
  std::string target = port_fs_native_path(path);
  if (target.empty() || target.back() == '/') return nullptr;
  if (through_links) target = follow_links(target);
  if (target.empty()) return nullptr;
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? std::string("./") : target.substr(0, slash + 1);
  remove_stale_in(folder);
  long name_max = pathconf(folder.c_str(), _PC_NAME_MAX);

  // A name no other writer uses: the process id and a serial number, made
  // with O_EXCL so that an existing file is never taken over.
  static std::atomic<unsigned> serial{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < TEMP_ATTEMPTS && fd < 0; attempt++) {
    temp = temp_name(target, slash == std::string::npos ? 0 : slash + 1, name_max > 0 ? size_t(name_max) : NAME_MAX,
                     serial++);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return nullptr;
  }
  if (fd < 0) return nullptr;
  // Held until the close: another process sees the file is being written.
  // A folder without locks still has the process id to go by.
  flock(fd, LOCK_EX | LOCK_NB);
  cookie_io_functions_t functions = {nullptr, stream_write, stream_seek, stream_close};
  FILE *file = fopencookie(reinterpret_cast<void *>(intptr_t(fd)), "wb", functions);
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
  save->_fd = fd;
  return file;
}

int tsavefile_commit(tsavefile *save, int failed) {
  PORT_CHECK(save != nullptr && save->_file != nullptr);
  FILE *file = save->_file;
  int ok = !failed && !std::ferror(file);
  ok = g_calls->flush(file) == 0 && ok;
  ok = g_calls->fsync(save->_fd) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  save->_file = nullptr;
  if (ok) ok = g_calls->rename(save->_temp, save->_target) == 0;
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

int tsavefile_remove_stale(const char16_t *folder) {
  PORT_CHECK(folder != nullptr);
  std::string native = port_fs_native_path(folder);
  if (native.empty()) return 0;
  if (native.back() != '/') native += '/';
  return remove_stale_in(native);
}

void tsavefile_set_calls(const tsavefile_calls *calls) { g_calls = calls ? calls : &k_system_calls; }

static ssize_t system_write(int fd, const void *data, size_t size) { return write(fd, data, size); }

static int system_rename(const char *from, const char *to) { return std::rename(from, to); }

// The file a chain of symbolic links leads to (whether or not it exists yet);
// empty for a loop or a link that cannot be read.
static std::string follow_links(std::string path) {
  for (int hop = 0; hop <= MAX_LINKS; hop++) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string link(size_t(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    ssize_t length = readlink(path.c_str(), link.data(), link.size());
    if (length <= 0 || size_t(length) >= link.size()) return std::string();
    link.resize(size_t(length));
    if (link[0] != '/') {
      size_t slash = path.rfind('/');
      link = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
    }
    path = link;
  }
  return std::string();
}

// Everything or a failure: a short write leaves the stream in error.
static ssize_t stream_write(void *cookie, const char *data, size_t size) {
  int fd = int(intptr_t(cookie));
  size_t done = 0;
  while (done < size) {
    ssize_t written = g_calls->write(fd, data + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return -1;
    done += size_t(written);
  }
  return ssize_t(done);
}

// Formats with a table of contents go back to fill it in.
static int stream_seek(void *cookie, off64_t *offset, int whence) {
  off_t at = lseek(int(intptr_t(cookie)), off_t(*offset), whence);
  if (at < 0) return -1;
  *offset = at;
  return 0;
}

static int stream_close(void *cookie) { return g_calls->close(int(intptr_t(cookie))); }

// "<target>.~<pid>-<serial>", with as much of the target's name as lets the
// whole fit the folder's longest name (cut where a character starts, and
// never to nothing, so that the cleanup knows the name for one of ours).
static std::string temp_name(const std::string &target, size_t name_at, size_t name_max, unsigned serial) {
  std::string mark = ".~" + std::to_string(getpid()) + "-" + std::to_string(serial);
  size_t keep = target.size() - name_at;
  if (keep + mark.size() > name_max) {
    keep = port_utf8_cut(target.data() + name_at, target.size() - name_at,
                         name_max > mark.size() ? name_max - mark.size() : 1);
    if (keep == 0) keep = 1;
  }
  return target.substr(0, name_at + keep) + mark;
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
  save->_fd = -1;
}

// folder ends in '/'.
static int remove_stale_in(const std::string &folder) {
  DIR *dir = opendir(folder.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent *entry = readdir(dir)) {
    pid_t pid = writer_of(entry->d_name);
    if (pid <= 0) continue;
    // A running process may be the writer (or took its number): kept.
    if (kill(pid, 0) == 0 || errno == EPERM) continue;
    removed += remove_if_unlocked(folder + entry->d_name);
  }
  closedir(dir);
  return removed;
}

// The writing process of a temporary file named "<target>.~<pid>-<serial>",
// or 0 for any other name.
static pid_t writer_of(const char *name) {
  const char *mark = std::strstr(name, ".~");
  if (!mark) return 0;
  for (const char *next; (next = std::strstr(mark + 2, ".~"));) mark = next;
  if (mark == name) return 0;
  const char *at = mark + 2;
  int64_t pid = 0;
  int pid_digits = 0, serial_digits = 0;
  for (; *at >= '0' && *at <= '9' && pid_digits < 10; at++, pid_digits++) pid = pid * 10 + (*at - '0');
  if (*at++ != '-') return 0;
  for (; *at >= '0' && *at <= '9' && serial_digits < 10; at++) serial_digits++;
  if (*at || !pid_digits || !serial_digits || pid < 1 || pid > INT32_MAX) return 0;
  return pid_t(pid);
}

// A regular file that no one holds locked is deleted, under our own lock so
// that no writer can take it meanwhile. 1 when deleted.
static int remove_if_unlocked(const std::string &path) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat info;
  int removed = 0;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0)
    removed = unlink(path.c_str()) == 0;
  close(fd);
  return removed;
}
