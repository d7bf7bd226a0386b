// net_socket: POSIX TCP sockets with one worker thread per operation.
#include "net_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <thread>

#include "os_thread.h"
#include "port_log.h"
#include "wins_window.h"

namespace {

// What a worker found, before the callbacks' codes.
enum { WORKER_DONE = 1, WORKER_TIMEOUT = 2, WORKER_ERROR = 3 };

// poll() takes an int of milliseconds: a longer time-out is waited in pieces.
constexpr int64_t k_longest_poll_ms = int64_t(1) << 30;

// A receive of more than k_batch_from bytes waits until k_batch_bytes (or
// all it asked for) have come: each wake-up of a bulk read carries a batch,
// not the few segments that arrived since the last one. Shorter receives
// (a header, a short answer) report whatever comes first.
constexpr uint32_t k_batch_from = 64u << 10;
constexpr uint32_t k_batch_bytes = 256u << 10;

// When an operation gives up: a connect's name lookup and the connect itself
// share one, so the whole connect ends within the time-out it was given.
struct deadline {
  bool limited;
  std::chrono::steady_clock::time_point end;
};

struct net_op {
  enum { CONNECT, SEND, RECV } kind;
  net_socket *socket;
  char host[NET_SOCKET_MAX_HOST + 1];
  bool host_fits;
  uint32_t port;
  uint8_t *buffer;
  uint32_t length;
  uint32_t time_out_s;
};

// The operation a callback started on its worker's own thread: it runs there
// once the callback has returned, so a chain of operations costs no thread
// start and no wake-up per step.
struct worker_frame {
  net_op *next = nullptr;
};
thread_local worker_frame *t_frame = nullptr;

// Workers whose chain has ended wait a while for the next one: on a loaded
// machine a new thread waits about a millisecond (often several) for its
// first turn on a processor, a waiting one is woken in tens of microseconds.
struct worker_pool {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<net_op *> handed;  // chains given to waiting workers, not yet taken
  int idle = 0;
  int most_idle = 4;
};
constexpr auto k_idle_wait = std::chrono::seconds(2);

// Never freed: a waiting worker may outlive the statics at exit.
worker_pool &pool() {
  static worker_pool *p = new worker_pool();
  return *p;
}

std::atomic<net_socket_resolver_fn> g_resolver{nullptr};

int system_resolve(const char *host, in_addr *address);
void start_op(net_op *op);
void run_ops(net_op *op);
void run_chain(net_op *op);
void run_op(net_op *op);
void set_low_water(net_socket *socket, int bytes);
ssize_t transfer(int fd, bool send, uint8_t *buffer, uint32_t length);
void report(net_socket *socket, int send, int status, uint32_t count);
int connect_now(net_op *op);
deadline deadline_after(uint32_t time_out_s);
int look_up(net_socket *socket, const char *host, deadline until, in_addr *address);
void lookup_worker(std::shared_ptr<net_lookup> lookup);
int wait_for(int fd, short events, deadline until);
int callback_result(int status);
void log_no_thread(int error);

}  // namespace

// A name lookup shared by its connect and the thread that asks the resolver;
// whichever lets go last frees it. A connect that stops waiting marks it
// abandoned, and the result that comes later is dropped with it.
struct net_lookup {
  std::mutex mutex;
  std::condition_variable cv;
  char host[NET_SOCKET_MAX_HOST + 1];
  net_socket_resolver_fn resolver;
  bool done = false, found = false, abandoned = false;
  in_addr address = {};
};

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
  // An operation its callback started here and that has not run yet goes too.
  if (t_frame && t_frame->next && t_frame->next->socket == socket) {
    delete t_frame->next;
    t_frame->next = nullptr;
  }
  if (socket->_fd != -1) ::close(socket->_fd);
  delete socket;
}

void net_socket_shutdown(net_socket *socket) {
  PORT_CHECK(socket != nullptr);
  std::lock_guard<std::mutex> lock(socket->_mutex);
  socket->_shut = true;
  if (socket->_lookup) {
    std::lock_guard<std::mutex> lookup_lock(socket->_lookup->mutex);
    socket->_lookup->abandoned = true;
    socket->_lookup->cv.notify_all();
  }
  if (socket->_fd != -1) ::shutdown(socket->_fd, SHUT_RDWR);
}

void net_socket_connect(net_socket *socket, const char *host, uint32_t port, uint32_t time_out_s,
                        net_socket_connect_fn callback) {
  PORT_CHECK(socket != nullptr && host != nullptr);
  socket->_on_connect = callback;
  net_op *op = new net_op();
  op->kind = net_op::CONNECT;
  op->socket = socket;
  op->host_fits = std::strlen(host) <= size_t(NET_SOCKET_MAX_HOST);
  if (op->host_fits) std::strcpy(op->host, host);
  op->port = port;
  op->time_out_s = time_out_s;
  start_op(op);
}

void net_socket_send(net_socket *socket, const void *buffer, uint32_t length, uint32_t time_out_s,
                     net_socket_io_fn callback) {
  PORT_CHECK(socket != nullptr && (buffer != nullptr || length == 0));
  socket->_on_send = callback;
  start_op(new net_op{net_op::SEND, socket, {}, false, 0, static_cast<uint8_t *>(const_cast<void *>(buffer)),
                      length, time_out_s});
}

void net_socket_recv(net_socket *socket, void *buffer, uint32_t length, uint32_t time_out_s,
                     net_socket_io_fn callback) {
  PORT_CHECK(socket != nullptr && (buffer != nullptr || length == 0));
  socket->_on_recv = callback;
  start_op(new net_op{net_op::RECV, socket, {}, false, 0, static_cast<uint8_t *>(buffer), length, time_out_s});
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

int net_socket_set_idle_workers(int count) {
  worker_pool &workers = pool();
  std::lock_guard<std::mutex> lock(workers.mutex);
  int previous = workers.most_idle;
  workers.most_idle = count < 0 ? 0 : count;
  workers.cv.notify_all();
  return previous;
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

// A worker that cannot be started fails its operation at once, on this
// thread: the owner ends what it was doing, nothing blocks here.
void start_op(net_op *op) {
  if (t_frame && !t_frame->next) {
    t_frame->next = op;
    return;
  }
  {
    worker_pool &workers = pool();
    std::lock_guard<std::mutex> lock(workers.mutex);
    // Waiting workers beyond the most allowed are on their way out.
    if (int(workers.handed.size()) < std::min(workers.idle, workers.most_idle)) {
      workers.handed.push_back(op);
      workers.cv.notify_one();
      return;
    }
  }
  std::thread worker;
  int error = os_thread_start(worker, run_ops, op);
  if (error == 0) {
    worker.detach();
    return;
  }
  log_no_thread(error);
  net_socket *socket = op->socket;
  bool connect = op->kind == net_op::CONNECT;
  bool send = op->kind == net_op::SEND;
  delete op;
  if (connect) {
    if (net_socket_connect_fn callback = socket->_on_connect) callback(socket, 0);
  } else {
    report(socket, send, WORKER_ERROR, 0);
  }
}

void run_ops(net_op *op) {
  worker_pool &workers = pool();
  while (op) {
    run_chain(op);
    std::unique_lock<std::mutex> lock(workers.mutex);
    if (workers.idle >= workers.most_idle) return;
    workers.idle++;
    workers.cv.wait_for(lock, k_idle_wait,
                        [&] { return !workers.handed.empty() || workers.idle > workers.most_idle; });
    workers.idle--;
    op = nullptr;
    if (!workers.handed.empty()) {
      op = workers.handed.front();
      workers.handed.pop_front();
    }
  }
}

void run_chain(net_op *op) {
  worker_frame frame;
  t_frame = &frame;
  while (op) {
    run_op(op);
    op = frame.next;
    frame.next = nullptr;
  }
  t_frame = nullptr;
}

// Frees the operation before the callback, which may destroy the socket.
void run_op(net_op *op) {
  net_socket *socket = op->socket;
  if (op->kind == net_op::CONNECT) {
    int connected = connect_now(op);
    delete op;
    if (net_socket_connect_fn callback = socket->_on_connect) callback(socket, connected);
    return;
  }
  const bool send = op->kind == net_op::SEND;
  int status = WORKER_TIMEOUT;
  uint32_t count = 0;
  bool closed = false;
  // A long receive waits for a batch (the low-water mark makes poll() wait
  // for it); any other takes bytes that are already there without a wait.
  const int batch = !send && op->length > k_batch_from ? int(std::min(op->length, k_batch_bytes)) : 1;
  if (!send) set_low_water(socket, batch);
  ssize_t n = -1;
  errno = EAGAIN;
  if (op->length && batch == 1) n = transfer(socket->_fd, send, op->buffer, op->length);
  int ready = 1;
  if (n < 0 && (op->length == 0 || errno == EAGAIN || errno == EWOULDBLOCK)) {
    ready = wait_for(socket->_fd, send ? POLLOUT : POLLIN, deadline_after(op->time_out_s));
    // A batch that did not fill by the time-out is reported with what came.
    if (ready > 0 || (ready == 0 && batch > 1)) n = transfer(socket->_fd, send, op->buffer, op->length);
    if (ready == 0 && n > 0) ready = 1;
  }
  if (ready < 0) {
    status = WORKER_ERROR;
  } else if (ready > 0) {
    if (n > 0 || (n == 0 && (send || op->length == 0))) {
      status = WORKER_DONE;
      count = uint32_t(n);
    } else if (n == 0) {
      closed = true;  // reported as a time-out, told apart by the flag
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED && errno != EINTR) {
      status = WORKER_ERROR;
    }
  }
  delete op;
  if (!send) socket->_peer_closed = closed;
  report(socket, send, status, count);
}

void set_low_water(net_socket *socket, int bytes) {
  if (socket->_low_water == bytes) return;
  if (setsockopt(socket->_fd, SOL_SOCKET, SO_RCVLOWAT, &bytes, sizeof bytes) == 0) socket->_low_water = bytes;
}

ssize_t transfer(int fd, bool send, uint8_t *buffer, uint32_t length) {
  return send ? ::send(fd, buffer, length, MSG_NOSIGNAL | MSG_DONTWAIT) : ::recv(fd, buffer, length, MSG_DONTWAIT);
}

void report(net_socket *socket, int send, int status, uint32_t count) {
  net_socket_io_fn callback = send ? socket->_on_send : socket->_on_recv;
  if (callback) callback(socket, callback_result(status), count);
}

int connect_now(net_op *op) {
  net_socket *socket = op->socket;
  if (!op->host_fits || op->port > 0xFFFF || socket->_fd == -1) return 0;
  const deadline until = deadline_after(op->time_out_s);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(op->port));
  // A dotted quad is the address itself; only names go to the resolver.
  if (inet_pton(AF_INET, op->host, &address.sin_addr) != 1 &&
      !look_up(socket, op->host, until, &address.sin_addr))
    return 0;
  {
    std::lock_guard<std::mutex> lock(socket->_mutex);
    if (socket->_shut) return 0;
    int flags = fcntl(socket->_fd, F_GETFL);
    if (flags < 0 || fcntl(socket->_fd, F_SETFL, flags | O_NONBLOCK) < 0) return 0;
    if (::connect(socket->_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) return 1;
    if (errno != EINPROGRESS) return 0;
  }
  if (wait_for(socket->_fd, POLLOUT, until) != 1) return 0;
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(socket->_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return 0;
  std::lock_guard<std::mutex> lock(socket->_mutex);
  return socket->_shut ? 0 : 1;
}

// The resolver may take many seconds and cannot be interrupted, so it runs
// on a thread of its own and the connect waits for it only until a shutdown
// or the time-out: whoever cancels is never held by a slow name server.
deadline deadline_after(uint32_t time_out_s) {
  return {time_out_s != 0, std::chrono::steady_clock::now() + std::chrono::seconds(time_out_s)};
}

int look_up(net_socket *socket, const char *host, deadline until, in_addr *address) {
  auto lookup = std::make_shared<net_lookup>();
  std::strcpy(lookup->host, host);
  net_socket_resolver_fn resolver = g_resolver.load();
  lookup->resolver = resolver ? resolver : system_resolve;
  {
    std::lock_guard<std::mutex> lock(socket->_mutex);
    if (socket->_shut) return 0;
    socket->_lookup = lookup;
  }
  std::thread thread;
  int error = os_thread_start(thread, lookup_worker, lookup);
  if (error == 0) {
    thread.detach();
    std::unique_lock<std::mutex> lock(lookup->mutex);
    auto ended = [&] { return lookup->done || lookup->abandoned; };
    if (until.limited)
      lookup->cv.wait_until(lock, until.end, ended);
    else
      lookup->cv.wait(lock, ended);
    if (!lookup->abandoned && lookup->done && lookup->found) *address = lookup->address;
    else error = -1;
    lookup->abandoned = true;
  } else {
    log_no_thread(error);
  }
  std::lock_guard<std::mutex> lock(socket->_mutex);
  socket->_lookup.reset();
  return error == 0 ? 1 : 0;
}

void lookup_worker(std::shared_ptr<net_lookup> lookup) {
  in_addr address = {};
  int found = lookup->resolver(lookup->host, &address);
  std::lock_guard<std::mutex> lock(lookup->mutex);
  lookup->done = true;
  lookup->found = found != 0;
  lookup->address = address;
  lookup->cv.notify_all();
}

// 1 ready, 0 time-out, -1 error. A hang-up or error counts as ready: the
// send or receive that follows tells which.
int wait_for(int fd, short events, deadline until) {
  using clock = std::chrono::steady_clock;
  for (;;) {
    int wait_ms = -1;
    bool last_piece = true;
    if (until.limited) {
      int64_t left = std::chrono::duration_cast<std::chrono::milliseconds>(until.end - clock::now()).count();
      last_piece = left <= k_longest_poll_ms;
      wait_ms = int(std::max<int64_t>(0, std::min(left, k_longest_poll_ms)));
    }
    pollfd entry = {fd, events, 0};
    int n = ::poll(&entry, 1, wait_ms);
    if (n > 0) return (entry.revents & POLLNVAL) ? -1 : 1;
    if (n == 0) {
      if (last_piece) return 0;
      continue;
    }
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

void log_no_thread(int error) {
  wins_window_context *context = wins_window_get_context();
  if (context && context->_log) port_log_printf(context->_log, "[net] no worker thread: error %d\r\n", error);
}

}  // namespace
