// Single instance: locks on the user folder and its lock file, and a local
// socket.
#include "os_instance.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os_paths.h"
#include "port_log.h"

namespace {

constexpr char k_request[] = "front\n";
constexpr int k_connect_tries = 20;
constexpr long k_connect_pause_ns = 50L * 1000 * 1000;
// The first reads the request and closes; one that hangs is not waited on longer.
constexpr time_t k_answer_wait_s = 2;

// One lock taken: the descriptor that holds it, or why there is none.
struct lock_try {
  int fd;
  int error;
  bool in_lock;  // the lock call failed (the file system offers none), not the open
};

// Where the first copy listens, named after the folder; none when length is 0.
struct socket_name {
  sockaddr_un address;
  socklen_t length;
};

int system_open(const char *path, int flags, int mode) { return open(path, flags, mode); }

os_instance_open_fn g_open = system_open;
os_instance_lock_fn g_lock = flock;
os_instance_bind_fn g_bind = bind;
int g_dir_fd = -1;
int g_lock_fd = -1;
int g_listen_fd = -1;
// A plain thread id, not a std::thread: an exit that comes before the release
// (Xlib's, or any other exit()) must not find a joinable thread object to
// destroy, which would abort the process.
pthread_t g_listener;
int g_listening = 0;
std::atomic<int> g_stopping{0};
std::atomic<os_hwnd> g_window{0};

std::string lock_file_for(const char16_t *key);
socket_name socket_name_for(const std::string &dir, const std::string &lock_file);
lock_try take_lock(const std::string &path, int flags);
lock_try take_file_lock(const std::string &path);
int listen_as_first(const socket_name &name);
int other_copy(std::string *reason, const std::string &dir, const socket_name &name);
int ask_first_to_front(const socket_name &name);
void *listen_loop(void *);
void release_at_exit();
int unsure(std::string *reason, const std::string &path, int error);
int explain(std::string *reason, const std::string &path, const char *why, int result);

}  // namespace

int os_instance_claim(const char16_t *key, std::string *reason) {
  os_instance_release();
  std::string dir = os_user_dir();
  std::string lock_file = lock_file_for(key), path = dir + "/" + lock_file;
  errno = 0;
  // A file where the folder should be fails without an error of its own.
  if (!os_make_dirs(dir)) return unsure(reason, dir, errno ? errno : ENOTDIR);
  socket_name name = socket_name_for(dir, lock_file);
  lock_try on_dir = take_lock(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (on_dir.error == EWOULDBLOCK) return other_copy(reason, dir, name);
  lock_try on_file = take_file_lock(path);
  if (on_file.error == EWOULDBLOCK) {
    if (on_dir.fd >= 0) close(on_dir.fd);
    return other_copy(reason, dir, name);
  }
  bool locked = on_dir.fd >= 0 || on_file.fd >= 0;
  if (!locked && !on_dir.in_lock && !on_file.in_lock) return unsure(reason, dir, on_dir.error);
  int listen_error = listen_as_first(name);
  int result = OS_INSTANCE_FIRST;
  if (!locked && listen_error) {
    // Without locks the socket decides: its name taken is another copy on
    // this machine. Where neither can tell, refusing would lock the user
    // out for good.
    if (listen_error == EADDRINUSE) return other_copy(reason, dir, name);
    result = OS_INSTANCE_UNLOCKED;
    unsure(reason, dir, on_dir.in_lock ? on_dir.error : on_file.error);
  }
  g_dir_fd = on_dir.fd;
  g_lock_fd = on_file.fd;
  static const int at_exit_registered = std::atexit(release_at_exit);
  (void)at_exit_registered;
  return result;
}

void os_instance_set_window(os_hwnd frame) { g_window.store(frame); }

void os_instance_release() {
  if (g_listen_fd >= 0) {
    g_stopping.store(1);
    shutdown(g_listen_fd, SHUT_RDWR);
    if (g_listening && !pthread_equal(g_listener, pthread_self())) pthread_join(g_listener, nullptr);
    g_listening = 0;
    close(g_listen_fd);
    g_listen_fd = -1;
  }
  for (int *fd : {&g_lock_fd, &g_dir_fd}) {
    if (*fd < 0) continue;
    flock(*fd, LOCK_UN);
    close(*fd);
    *fd = -1;
  }
  g_window.store(0);
}

void os_instance_set_calls(os_instance_open_fn open_call, os_instance_lock_fn lock_call,
                           os_instance_bind_fn bind_call) {
  g_open = open_call ? open_call : system_open;
  g_lock = lock_call ? lock_call : flock;
  g_bind = bind_call ? bind_call : bind;
}

namespace {

std::string lock_file_for(const char16_t *key) {
  char name[256] = "";
  if (key) port_str_wide_to_utf8(key, -1, name, int(sizeof name) - 1);
  std::string file;
  for (const char *p = name; *p; p++) {
    char c = *p;
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    file += (c == '/' || c == '\\' || c == '.') ? '_' : c;
  }
  if (file.empty()) file = "brivola";
  return file + ".lock";
}

// An abstract socket (no file) named after the folder itself, its device and
// inode, where the locks sit too: every user folder has its own however its
// path is spelt, and nothing is left on disk.
socket_name socket_name_for(const std::string &dir, const std::string &lock_file) {
  socket_name name;
  std::memset(&name, 0, sizeof name);
  struct stat folder;
  if (stat(dir.c_str(), &folder) != 0) return name;
  uint64_t hash = 1469598103934665603ull;
  auto mix = [&hash](const void *bytes, size_t size) {
    for (size_t i = 0; i < size; i++) hash = (hash ^ static_cast<const unsigned char *>(bytes)[i]) * 1099511628211ull;
  };
  mix(&folder.st_dev, sizeof folder.st_dev);
  mix(&folder.st_ino, sizeof folder.st_ino);
  mix(lock_file.data(), lock_file.size());
  name.address.sun_family = AF_UNIX;
  int n = std::snprintf(name.address.sun_path + 1, sizeof name.address.sun_path - 1, "brivola-instance-%016llx",
                        static_cast<unsigned long long>(hash));
  name.length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(n));
  return name;
}

lock_try take_lock(const std::string &path, int flags) {
  int fd = g_open(path.c_str(), flags, 0644);
  if (fd < 0) return {-1, errno, false};
  if (g_lock(fd, LOCK_EX | LOCK_NB) == 0) return {fd, 0, false};
  int error = errno;
  close(fd);
  return {-1, error, error != EWOULDBLOCK};
}

// The lock file is the program's own: never through a link, never an open
// that waits (a FIFO put there). One it may not write is locked read-only.
lock_try take_file_lock(const std::string &path) {
  const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  lock_try taken = take_lock(path, O_RDWR | O_CREAT | flags);
  if (taken.fd < 0 && !taken.in_lock && (taken.error == EACCES || taken.error == EROFS || taken.error == EPERM))
    taken = take_lock(path, O_RDONLY | flags);
  return taken;
}

// Binds and listens on the socket and starts its listener: 0, or why not
// (EADDRINUSE: another copy listens on this machine). Without its listener
// the socket stays: a later start still finds this copy, and says that it
// does not answer.
int listen_as_first(const socket_name &name) {
  if (!name.length) return ENOENT;
  int listen_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd < 0) return errno;
  if (g_bind(listen_fd, reinterpret_cast<const sockaddr *>(&name.address), name.length) != 0 ||
      listen(listen_fd, 4) != 0) {
    int error = errno;
    close(listen_fd);
    return error;
  }
  g_listen_fd = listen_fd;
  g_stopping.store(0);
  g_listening = pthread_create(&g_listener, nullptr, listen_loop, nullptr) == 0;
  return 0;
}

int other_copy(std::string *reason, const std::string &dir, const socket_name &name) {
  if (ask_first_to_front(name)) return OS_INSTANCE_OTHER;
  return explain(reason, dir, "another copy holds its lock but does not answer", OS_INSTANCE_UNREACHED);
}

// 1 when the first read the request (it closes the connection then). It may
// hold the lock a moment before it listens.
int ask_first_to_front(const socket_name &name) {
  if (!name.length) return 0;
  for (int attempt = 0; attempt < k_connect_tries; attempt++) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&name.address), name.length) == 0) {
      timeval timeout{k_answer_wait_s, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      char answer;
      int answered = send(fd, k_request, sizeof k_request - 1, MSG_NOSIGNAL) == ssize_t(sizeof k_request - 1) &&
                     recv(fd, &answer, 1, 0) >= 0;
      close(fd);
      return answered;
    }
    close(fd);
    timespec pause{0, k_connect_pause_ns};
    nanosleep(&pause, nullptr);
  }
  return 0;
}

void *listen_loop(void *) {
  for (;;) {
    int fd = accept4(g_listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (g_stopping.load()) return nullptr;
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return nullptr;
    }
    // A caller that connects and says nothing must not hold the listener.
    timeval timeout{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char request[sizeof k_request] = {};
    ssize_t got = recv(fd, request, sizeof request - 1, 0);
    close(fd);
    os_hwnd window = g_window.load();
    if (got == ssize_t(sizeof k_request - 1) && !std::memcmp(request, k_request, sizeof k_request - 1) && window)
      os_post_message(window, OS_MSG_FOREGROUND, 0, 0);
  }
}

// Any exit() ends the listener before the static objects it posts into
// (the message queue) are destroyed.
void release_at_exit() { os_instance_release(); }

int unsure(std::string *reason, const std::string &path, int error) {
  return explain(reason, path, std::strerror(error), OS_INSTANCE_UNSURE);
}

int explain(std::string *reason, const std::string &path, const char *why, int result) {
  if (reason) *reason = path + ": " + why;
  return result;
}

}  // namespace
