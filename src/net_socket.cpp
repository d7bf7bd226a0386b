// net_socket: POSIX TCP sockets with one worker thread per operation.
#include "net_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "port_log.h"

namespace {

// What a worker found, before the callbacks' codes.
enum { WORKER_DONE = 1, WORKER_TIMEOUT = 2, WORKER_ERROR = 3 };

struct net_connect_job {
  net_socket *socket;
  char host[NET_SOCKET_MAX_HOST + 1];
  bool host_fits;
  uint32_t port;
  uint32_t time_out_s;
};

struct net_io_job {
  net_socket *socket;
  uint8_t *buffer;
  uint32_t length;
  uint32_t time_out_s;
  bool send;
};

std::atomic<net_socket_resolver_fn> g_resolver{nullptr};

int system_resolve(const char *host, in_addr *address);
void connect_worker(net_connect_job *job);
void io_worker(net_io_job *job);
int connect_now(net_connect_job *job);
int wait_for(int fd, short events, uint32_t time_out_s);
int callback_result(int status);
template <typename Job>
void start_worker(void (*worker)(Job *), Job *job);

}  // namespace

net_socket *net_socket_create(uintptr_t network, int datagram) {
  (void)network;
  int fd = ::socket(AF_INET, (datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  net_socket *socket = new (std::nothrow) net_socket();
  if (!socket) {
    ::close(fd);
    return nullptr;
  }
  socket->_fd = fd;
  return socket;
}

void net_socket_destroy(net_socket *socket) {
  if (!socket) return;
  socket->_on_connect = nullptr;
  socket->_on_send = nullptr;
  socket->_on_recv = nullptr;
  if (socket->_fd != -1) ::close(socket->_fd);
  delete socket;
}

void net_socket_shutdown(net_socket *socket) {
  PORT_CHECK(socket != nullptr);
  std::lock_guard<std::mutex> lock(socket->_mutex);
  socket->_shut = true;
  if (socket->_fd != -1) ::shutdown(socket->_fd, SHUT_RDWR);
}

void net_socket_connect(net_socket *socket, const char *host, uint32_t port, uint32_t time_out_s,
                        net_socket_connect_fn callback) {
  PORT_CHECK(socket != nullptr && host != nullptr);
  socket->_on_connect = callback;
  net_connect_job *job = new net_connect_job();
  job->socket = socket;
  job->host_fits = std::strlen(host) <= size_t(NET_SOCKET_MAX_HOST);
  if (job->host_fits) std::strcpy(job->host, host);
  job->port = port;
  job->time_out_s = time_out_s;
  start_worker(connect_worker, job);
}

void net_socket_send(net_socket *socket, const void *buffer, uint32_t length, uint32_t time_out_s,
                     net_socket_io_fn callback) {
  PORT_CHECK(socket != nullptr && (buffer != nullptr || length == 0));
  socket->_on_send = callback;
  start_worker(io_worker, new net_io_job{socket, static_cast<uint8_t *>(const_cast<void *>(buffer)), length,
                                         time_out_s, true});
}

void net_socket_recv(net_socket *socket, void *buffer, uint32_t length, uint32_t time_out_s,
                     net_socket_io_fn callback) {
  PORT_CHECK(socket != nullptr && (buffer != nullptr || length == 0));
  socket->_on_recv = callback;
  start_worker(io_worker, new net_io_job{socket, static_cast<uint8_t *>(buffer), length, time_out_s, false});
}

void net_socket_set_user(net_socket *socket, void *user) {
  PORT_CHECK(socket != nullptr);
  socket->_user = user;
}

void *net_socket_get_user(net_socket *socket) { return socket ? socket->_user : nullptr; }

int net_socket_peer_closed(net_socket *socket) {
  PORT_CHECK(socket != nullptr);
  return socket->_peer_closed;
}

net_socket_resolver_fn net_socket_set_resolver(net_socket_resolver_fn resolver) {
  return g_resolver.exchange(resolver);
}

namespace {

int system_resolve(const char *host, in_addr *address) {
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return 0;
  *address = reinterpret_cast<sockaddr_in *>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return 1;
}

// A worker that cannot be started reports at once, on the caller's thread.
template <typename Job>
void start_worker(void (*worker)(Job *), Job *job) {
  try {
    std::thread(worker, job).detach();
  } catch (const std::system_error &) {
    worker(job);
  }
}

void connect_worker(net_connect_job *job) {
  net_socket *socket = job->socket;
  int connected = connect_now(job);
  delete job;
  if (net_socket_connect_fn callback = socket->_on_connect) callback(socket, connected);
}

int connect_now(net_connect_job *job) {
  net_socket *socket = job->socket;
  if (!job->host_fits || job->port > 0xFFFF || socket->_fd == -1) return 0;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(job->port));
  // A dotted quad is the address itself; only names go to the resolver.
  if (inet_pton(AF_INET, job->host, &address.sin_addr) != 1) {
    net_socket_resolver_fn resolver = g_resolver.load();
    if (!(resolver ? resolver : system_resolve)(job->host, &address.sin_addr)) return 0;
  }
  {
    std::lock_guard<std::mutex> lock(socket->_mutex);
    if (socket->_shut) return 0;
    int flags = fcntl(socket->_fd, F_GETFL);
    if (flags < 0 || fcntl(socket->_fd, F_SETFL, flags | O_NONBLOCK) < 0) return 0;
    if (::connect(socket->_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) return 1;
    if (errno != EINPROGRESS) return 0;
  }
  if (wait_for(socket->_fd, POLLOUT, job->time_out_s) != 1) return 0;
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(socket->_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return 0;
  std::lock_guard<std::mutex> lock(socket->_mutex);
  return socket->_shut ? 0 : 1;
}

void io_worker(net_io_job *job) {
  net_socket *socket = job->socket;
  int status = WORKER_TIMEOUT;
  uint32_t count = 0;
  bool closed = false;
  int ready = wait_for(socket->_fd, job->send ? POLLOUT : POLLIN, job->time_out_s);
  if (ready < 0) {
    status = WORKER_ERROR;
  } else if (ready > 0) {
    ssize_t n = job->send ? ::send(socket->_fd, job->buffer, job->length, MSG_NOSIGNAL)
                          : ::recv(socket->_fd, job->buffer, job->length, 0);
    if (n > 0 || (n == 0 && (job->send || job->length == 0))) {
      status = WORKER_DONE;
      count = uint32_t(n);
    } else if (n == 0) {
      closed = true;  // reported as a time-out, told apart by the flag
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED && errno != EINTR) {
      status = WORKER_ERROR;
    }
  }
  bool send = job->send;
  delete job;
  if (!send) socket->_peer_closed = closed;
  net_socket_io_fn callback = send ? socket->_on_send : socket->_on_recv;
  if (callback) callback(socket, callback_result(status), count);
}

// 1 ready, 0 time-out, -1 error. A hang-up or error counts as ready: the
// send or receive that follows tells which.
int wait_for(int fd, short events, uint32_t time_out_s) {
  using clock = std::chrono::steady_clock;
  const bool limited = time_out_s != 0;
  const clock::time_point end = clock::now() + std::chrono::seconds(time_out_s);
  for (;;) {
    int wait_ms = -1;
    if (limited) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now()).count();
      wait_ms = left > 0 ? int(left) : 0;
    }
    pollfd entry = {fd, events, 0};
    int n = ::poll(&entry, 1, wait_ms);
    if (n > 0) return (entry.revents & POLLNVAL) ? -1 : 1;
    if (n == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

int callback_result(int status) {
  switch (status) {
    case WORKER_DONE: return NET_SOCKET_DONE;
    case WORKER_TIMEOUT: return NET_SOCKET_TIMEOUT;
    default: return NET_SOCKET_ERROR;
  }
}

}  // namespace
