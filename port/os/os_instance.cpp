// Single instance: a lock file in the user folder and a local socket.
#include "os_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "os_paths.h"
#include "port_log.h"

namespace {

constexpr char k_request[] = "front\n";
constexpr int k_connect_tries = 20;
constexpr long k_connect_pause_ns = 50L * 1000 * 1000;

int g_lock_fd = -1;
int g_listen_fd = -1;
std::thread g_listener;
std::atomic<int> g_stopping{0};
std::atomic<os_hwnd> g_window{0};

std::string lock_path_for(const char16_t *key);
socklen_t socket_address(const std::string &lock_path, sockaddr_un *address);
void ask_first_to_front(const std::string &lock_path);
void listen_loop();

}  // namespace

int os_instance_claim(const char16_t *key) {
  os_instance_release();
  std::string dir = os_user_dir();
  std::string path = lock_path_for(key);
  if (!os_make_dirs(dir)) return 1;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return 1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int busy = errno == EWOULDBLOCK;
    close(fd);
    if (!busy) return 1;
    ask_first_to_front(path);
    return 0;
  }
  g_lock_fd = fd;
  sockaddr_un address;
  socklen_t length = socket_address(path, &address);
  int listen_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd >= 0 && bind(listen_fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
      listen(listen_fd, 4) == 0) {
    g_listen_fd = listen_fd;
    g_stopping.store(0);
    g_listener = std::thread(listen_loop);
  } else if (listen_fd >= 0) {
    close(listen_fd);
  }
  return 1;
}

void os_instance_set_window(os_hwnd frame) { g_window.store(frame); }

void os_instance_release() {
  if (g_listen_fd >= 0) {
    g_stopping.store(1);
    shutdown(g_listen_fd, SHUT_RDWR);
    if (g_listener.joinable()) g_listener.join();
    close(g_listen_fd);
    g_listen_fd = -1;
  }
  if (g_lock_fd >= 0) {
    flock(g_lock_fd, LOCK_UN);
    close(g_lock_fd);
    g_lock_fd = -1;
  }
  g_window.store(0);
}

namespace {

std::string lock_path_for(const char16_t *key) {
  char name[256] = "";
  if (key) port_str_wide_to_utf8(key, -1, name, int(sizeof name) - 1);
  std::string file;
  for (const char *p = name; *p; p++) {
    char c = *p;
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    file += (c == '/' || c == '\\' || c == '.') ? '_' : c;
  }
  if (file.empty()) file = "brivola";
  return os_user_dir() + "/" + file + ".lock";
}

// An abstract socket (no file) named after the lock file, so that every user
// folder has its own and nothing is left on disk.
socklen_t socket_address(const std::string &lock_path, sockaddr_un *address) {
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : lock_path) hash = (hash ^ c) * 1099511628211ull;
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  int n = std::snprintf(address->sun_path + 1, sizeof address->sun_path - 1, "brivola-instance-%016llx",
                        static_cast<unsigned long long>(hash));
  return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(n));
}

// The first instance may hold the lock a moment before it listens.
void ask_first_to_front(const std::string &lock_path) {
  sockaddr_un address;
  socklen_t length = socket_address(lock_path, &address);
  for (int attempt = 0; attempt < k_connect_tries; attempt++) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), length) == 0) {
      ssize_t written = send(fd, k_request, sizeof k_request - 1, MSG_NOSIGNAL);
      (void)written;
      close(fd);
      return;
    }
    close(fd);
    timespec pause{0, k_connect_pause_ns};
    nanosleep(&pause, nullptr);
  }
}

void listen_loop() {
  for (;;) {
    int fd = accept4(g_listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (g_stopping.load()) return;
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
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

}  // namespace
