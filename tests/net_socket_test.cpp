#include "net_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tc_socket.h"

namespace {

// A listening socket on 127.0.0.1 and an accepted peer.
struct listener {
  int fd = -1;
  uint16_t port = 0;
  explicit listener(int backlog = 8) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    bind(fd, reinterpret_cast<sockaddr *>(&a), size);
    listen(fd, backlog);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size);
    port = ntohs(a.sin_port);
  }
  ~listener() { close(fd); }
  int take(int ms = 5000) {
    pollfd entry = {fd, POLLIN, 0};
    return poll(&entry, 1, ms) == 1 ? accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  }
};

// What the callbacks saw; waits are bounded.
struct outcome {
  std::mutex mutex;
  std::condition_variable cv;
  int calls = 0, result = 99;
  uint32_t count = 0;
  int peer_closed = -1;
  void set(int r, uint32_t n, int closed) {
    std::lock_guard<std::mutex> lock(mutex);
    result = r;
    count = n;
    peer_closed = closed;
    calls++;
    cv.notify_all();
  }
  bool wait(int calls_wanted = 1, int ms = 5000) {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return calls >= calls_wanted; });
  }
};

outcome *of(net_socket *s) { return static_cast<outcome *>(net_socket_get_user(s)); }
void on_connect(net_socket *s, int connected) { of(s)->set(connected, 0, 0); }
void on_io(net_socket *s, int result, uint32_t count) { of(s)->set(result, count, s->_peer_closed); }

// The resolver a case installs, put back however the case ends: a failed
// assertion returns from the case at once.
struct resolver_for_case {
  net_socket_resolver_fn old;
  explicit resolver_for_case(net_socket_resolver_fn resolver) : old(net_socket_set_resolver(resolver)) {}
  ~resolver_for_case() { net_socket_set_resolver(old); }
};

std::atomic<int> g_resolved{0};
int loopback_resolver(const char *, in_addr *address) {
  g_resolved++;
  address->s_addr = htonl(INADDR_LOOPBACK);
  return 1;
}

// A connected pair: our net_socket and the server's end.
struct connected_pair {
  listener server;
  outcome seen;
  net_socket *socket = net_socket_create(0, 0);
  int peer = -1;
  connected_pair() {
    net_socket_set_user(socket, &seen);
    net_socket_connect(socket, "127.0.0.1", server.port, 5, on_connect);
    peer = server.take();
    seen.wait();
  }
  ~connected_pair() {
    if (peer >= 0) close(peer);
    net_socket_destroy(socket);
  }
};

}  // namespace

TEST(Connect, DottedQuadsAreAddressesAndOnlyNamesAreResolved) {
  struct row {
    std::string host;
    int resolved, connected;
  };
  listener server;
  resolver_for_case loopback(loopback_resolver);
  for (const row &c : {row{"127.0.0.1", 0, 1}, row{"gallery.test", 1, 1}, row{std::string(64, 'a'), 0, 0},
                       row{std::string(63, 'a'), 1, 1}}) {
    SCOPED_TRACE(c.host);
    g_resolved = 0;
    outcome seen;
    net_socket *socket = net_socket_create(0, 0);
    ASSERT_NE(socket, nullptr);
    net_socket_set_user(socket, &seen);
    net_socket_connect(socket, c.host.c_str(), server.port, 5, on_connect);
    ASSERT_TRUE(seen.wait());
    EXPECT_EQ(seen.result, c.connected);
    EXPECT_EQ(g_resolved.load(), c.resolved);
    int peer = server.take(c.connected ? 5000 : 0);
    if (peer >= 0) close(peer);
    net_socket_destroy(socket);
  }
  // A port above 65535 is refused, not wrapped onto the listener's.
  outcome seen;
  net_socket *socket = net_socket_create(0, 0);
  net_socket_set_user(socket, &seen);
  net_socket_connect(socket, "127.0.0.1", server.port + 65536u, 5, on_connect);
  ASSERT_TRUE(seen.wait());
  EXPECT_EQ(seen.result, 0);
  net_socket_destroy(socket);
}

namespace {

// A listener with a full queue drops further handshakes, so a connect to it
// waits on loopback without an answer, as an unreachable host would.
struct unanswering_listener {
  listener full{0};
  std::vector<int> fillers;
  unanswering_listener() {
    for (int i = 0; i < 8; i++) {
      int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      sockaddr_in a = {};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(full.port);
      connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
      fillers.push_back(fd);
      pollfd entry = {fd, POLLOUT, 0};
      if (poll(&entry, 1, 200) == 0) break;  // this one hangs: the queue is full
    }
  }
  ~unanswering_listener() {
    for (int fd : fillers) close(fd);
  }
};

}  // namespace

TEST(Connect, AnUnansweredConnectEndsWithinItsTimeOut) {
  unanswering_listener server;
  outcome seen;
  net_socket *socket = net_socket_create(0, 0);
  net_socket_set_user(socket, &seen);
  auto start = std::chrono::steady_clock::now();
  net_socket_connect(socket, "127.0.0.1", server.full.port, 1, on_connect);
  ASSERT_TRUE(seen.wait(1, 5000)) << "the connect ignored its time-out";
  EXPECT_EQ(seen.result, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  net_socket_destroy(socket);
}

// A name server that answers late: the connect that follows has only what
// is left of the time-out, not the whole of it again.
int slow_loopback_resolver(const char *, in_addr *address) {
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  address->s_addr = htonl(INADDR_LOOPBACK);
  return 1;
}

TEST(Connect, TheLookupAndTheConnectShareOneTimeOut) {
  unanswering_listener server;
  outcome seen;
  resolver_for_case slow(slow_loopback_resolver);
  net_socket *socket = net_socket_create(0, 0);
  net_socket_set_user(socket, &seen);
  net_socket_connect(socket, "slow.example", server.full.port, 3, on_connect);
  // Ends at 3 s; lookup and connect each given the whole time-out end at 5.5 s.
  ASSERT_TRUE(seen.wait(1, 4500)) << "the connect waited its whole time-out after the lookup";
  EXPECT_EQ(seen.result, 0);
  net_socket_destroy(socket);
}

TEST(Connect, AShutdownEndsAWaitingConnectAtOnce) {
  unanswering_listener server;
  outcome seen;
  net_socket *socket = net_socket_create(0, 0);
  net_socket_set_user(socket, &seen);
  net_socket_connect(socket, "127.0.0.1", server.full.port, 30, on_connect);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  net_socket_shutdown(socket);
  ASSERT_TRUE(seen.wait(1, 5000)) << "the shutdown did not wake the connect";
  EXPECT_EQ(seen.result, 0);
  net_socket_destroy(socket);
}

TEST(Receive, APeerCloseIsToldFromATimeOutAndComesAtOnce) {
  struct row {
    bool close_first;
    uint32_t time_out_s;
    int peer_closed;
  };
  for (row c : {row{true, 30, 1}, row{false, 1, 0}}) {
    SCOPED_TRACE(c.close_first);
    connected_pair pair;
    ASSERT_EQ(pair.seen.result, 1);
    if (c.close_first) {
      close(pair.peer);
      pair.peer = -1;
    }
    char buffer[64];
    net_socket_recv(pair.socket, buffer, sizeof buffer, c.time_out_s, on_io);
    ASSERT_TRUE(pair.seen.wait(2, 5000));
    EXPECT_EQ(pair.seen.result, NET_SOCKET_TIMEOUT);
    EXPECT_EQ(pair.seen.count, 0u);
    EXPECT_EQ(pair.seen.peer_closed, c.peer_closed);
  }
}

TEST(Receive, ALongReceiveReportsWhatCameByItsTimeOut) {
  connected_pair pair;
  std::string got(200000, 0);
  send(pair.peer, "only a little", 13, 0);
  net_socket_recv(pair.socket, &got[0], uint32_t(got.size()), 1, on_io);
  ASSERT_TRUE(pair.seen.wait(2));
  EXPECT_EQ(pair.seen.result, NET_SOCKET_DONE);
  EXPECT_EQ(got.substr(0, pair.seen.count), "only a little");
}

TEST(Receive, ATimeOutTooLongForOneWaitIsNotCutShort) {
  connected_pair pair;
  char buffer[16];
  // 4294968 s in milliseconds is 2^32 + 704: one int wait would end at 704 ms.
  net_socket_recv(pair.socket, buffer, sizeof buffer, 4294968, on_io);
  EXPECT_FALSE(pair.seen.wait(2, 1500)) << "the receive gave up early";
  net_socket_shutdown(pair.socket);
  EXPECT_TRUE(pair.seen.wait(2));
}

TEST(Send, APartialSendIsReportedAndTheRestGoesOut) {
  connected_pair pair;
  int small = 4096;
  setsockopt(pair.socket->_fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  std::string data(4u << 20, 0);
  for (size_t i = 0; i < data.size(); i++) data[i] = char(i * 131 >> 5);
  net_socket_send(pair.socket, data.data(), uint32_t(data.size()), 5, on_io);
  ASSERT_TRUE(pair.seen.wait(2));
  ASSERT_EQ(pair.seen.result, NET_SOCKET_DONE);
  uint32_t sent = pair.seen.count;
  EXPECT_GT(sent, 0u);
  EXPECT_LT(sent, data.size()) << "a send into a full buffer took everything";
  std::string got;
  std::thread reader([&] {
    char buffer[65536];
    while (got.size() < data.size()) {
      pollfd entry = {pair.peer, POLLIN, 0};
      if (poll(&entry, 1, 5000) <= 0) break;
      ssize_t n = recv(pair.peer, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, size_t(n));
    }
  });
  for (int calls = 2; sent < data.size() && calls < 10000; calls++) {
    net_socket_send(pair.socket, data.data() + sent, uint32_t(data.size() - sent), 5, on_io);
    ASSERT_TRUE(pair.seen.wait(calls + 1));
    if (pair.seen.result == NET_SOCKET_DONE) sent += pair.seen.count;
  }
  reader.join();
  EXPECT_EQ(sent, data.size());
  EXPECT_TRUE(got == data);
}

TEST(Send, ToAResetPeerIsAnErrorAndNoSignal) {
  connected_pair pair;
  linger hard = {1, 0};
  setsockopt(pair.peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(pair.peer);
  pair.peer = -1;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const char text[] = "after the reset";
  // The first send meets the reset; the next one would raise SIGPIPE.
  for (int calls = 2; calls <= 3; calls++) {
    net_socket_send(pair.socket, text, sizeof text, 5, on_io);
    ASSERT_TRUE(pair.seen.wait(calls));
    EXPECT_EQ(pair.seen.result, NET_SOCKET_ERROR);
  }
}

TEST(Socket, ADescriptorAbove1023Works) {
  rlimit limit;
  getrlimit(RLIMIT_NOFILE, &limit);
  rlimit raised = limit;
  raised.rlim_cur = std::min<rlim_t>(limit.rlim_max, 4096);
  if (raised.rlim_cur < 1100 || setrlimit(RLIMIT_NOFILE, &raised) != 0) GTEST_SKIP() << "no room for 1100 files";
  std::vector<int> fillers;
  for (int fd = dup(0); fd >= 0 && fd < 1100; fd = dup(0)) fillers.push_back(fd);
  {
    connected_pair pair;
    EXPECT_GT(pair.socket->_fd, 1023);
    EXPECT_EQ(pair.seen.result, 1);
    send(pair.peer, "pong", 4, 0);
    char buffer[8];
    net_socket_recv(pair.socket, buffer, sizeof buffer, 5, on_io);
    ASSERT_TRUE(pair.seen.wait(2));
    EXPECT_EQ(pair.seen.result, NET_SOCKET_DONE);
    EXPECT_EQ(pair.seen.count, 4u);
  }
  for (int fd : fillers) close(fd);
  setrlimit(RLIMIT_NOFILE, &limit);
}

namespace {

struct tc_outcome {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<int> statuses;
};
tc_outcome *g_tc;
void tc_on_connect(HttpGet *, int connected) {
  std::lock_guard<std::mutex> lock(g_tc->mutex);
  g_tc->statuses.push_back(connected);
  g_tc->cv.notify_all();
}
void tc_on_io(HttpGet *, int status, uint32_t) {
  std::lock_guard<std::mutex> lock(g_tc->mutex);
  g_tc->statuses.push_back(status);
  g_tc->cv.notify_all();
}

}  // namespace

TEST(Adapter, GivesTheClientItsCodes) {
  tc_outcome seen;
  g_tc = &seen;
  listener server;
  TC_socket *adapter = TC_socketCreate(0);
  ASSERT_NE(adapter, nullptr);
  auto wait = [&](size_t n) {
    std::unique_lock<std::mutex> lock(seen.mutex);
    return seen.cv.wait_for(lock, std::chrono::seconds(5), [&] { return seen.statuses.size() >= n; });
  };
  TC_socketConnect(adapter, "127.0.0.1", server.port, 5, nullptr, tc_on_connect);
  int peer = server.take();
  ASSERT_TRUE(wait(1));
  char buffer[16];
  send(peer, "x", 1, 0);
  TC_socketRecv(adapter, buffer, sizeof buffer, 5, nullptr, tc_on_io);  // done
  ASSERT_TRUE(wait(2));
  TC_socketRecv(adapter, buffer, sizeof buffer, 1, nullptr, tc_on_io);  // time-out
  ASSERT_TRUE(wait(3));
  EXPECT_FALSE(TC_socketPeerClosed(adapter));
  linger hard = {1, 0};
  setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(peer);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  TC_socketRecv(adapter, buffer, sizeof buffer, 5, nullptr, tc_on_io);  // reset: error
  ASSERT_TRUE(wait(4));
  EXPECT_EQ(seen.statuses, (std::vector<int>{1, TC_SOCKET_DONE, TC_SOCKET_TIMEOUT, TC_SOCKET_ERROR}));
  TC_socketClose(adapter);
}
