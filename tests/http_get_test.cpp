#include "http_get.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "loopback_server.h"
#include "net_socket.h"
#include "os_thread.h"

namespace {

// One request against the server, waited for (bounded).
struct http_run {
  std::mutex mutex;
  std::condition_variable cv;
  int ends = 0, progress = 0;
  HttpGet *get = HttpGetCreate();
  HttpGetSink *sink;

  explicit http_run(uint32_t capacity = 65536) : sink(HttpGetSinkCreate(capacity)) {
    HttpGetSetCallback(get, on_event, this);
  }
  ~http_run() {
    HttpGetDestroy(get);
    HttpGetSinkDestroy(sink);
  }
  static void on_event(HttpGet *get, void *self) {
    http_run *run = static_cast<http_run *>(self);
    std::lock_guard<std::mutex> lock(run->mutex);
    (HttpGetIsRunning(get) ? run->progress : run->ends)++;
    run->cv.notify_all();
  }
  bool start(const std::string &url, const char *proxy = "", uint32_t proxy_port = 0, int post = 0,
             uint32_t time_out_s = 5, bool with_sink = true) {
    return HttpGetRequest(get, with_sink ? sink : nullptr, 0, url.c_str(), proxy, proxy_port, time_out_s, post) == 1;
  }
  bool wait_end(int ms = 10000) {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ends > 0; });
  }
  std::string body() const { return std::string(reinterpret_cast<char *>(sink->_buffer), sink->_received); }
};

std::string ok_reply(const std::string &body) {
  return loopback_response("HTTP/1.0 200 OK", "Content-Length: " + std::to_string(body.size()) + "\r\n", body);
}

std::string pattern(size_t n) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; i++) s[i] = char('a' + (i * 7) % 26);
  return s;
}

const char k_fixed_lines[] =
    "Accept: */*\r\n"
    "Accept-Charset: gb2312, iso-8859-1, us-ascii, utf-8\r\n"
    "Accept-Language: zh-ch, zh, en\r\n"
    "Connection: close\r\n";

}  // namespace

TEST(Request, BytesOnTheWire) {
  struct row {
    const char *name;
    std::string url;  // {port} is the server's port
    bool proxy, post;
    uint32_t offset, length;
    std::string expected;  // {port} as above
  };
  const std::string agent = "User-Agent: Nokia N73\r\n";
  const row rows[] = {
      {"GET", "http://127.0.0.1:{port}/pic?id=1", false, false, 0, 0,
       "GET /pic?id=1 HTTP/1.0\r\nHost: 127.0.0.1:{port}\r\n" + std::string(k_fixed_lines) + agent + "\r\n"},
      {"GET with a range", "http://127.0.0.1:{port}", false, false, 10, 20,
       "GET / HTTP/1.0\r\nHost: 127.0.0.1:{port}\r\n" + std::string(k_fixed_lines) + agent +
           "Range: bytes=10-29\r\n\r\n"},
      {"POST", "http://127.0.0.1:{port}/up", false, true, 10, 20,
       "POST /up HTTP/1.0\r\nHost: 127.0.0.1:{port}\r\n" + std::string(k_fixed_lines) + agent +
           "Content-Length: 5\r\nX-One: 1\r\nX-Two: 2\r\n\r\nhello"},
      {"proxy, port 8080 and &amp;", "http://gallery.test:8080/a?x=1&amp;y=2", true, false, 0, 0,
       "GET http://gallery.test:8080/a?x=1&y=2 HTTP/1.0\r\nHost: gallery.test:8080\r\n" + std::string(k_fixed_lines) +
           agent + "\r\n"},
  };
  for (const row &c : rows) {
    SCOPED_TRACE(c.name);
    std::string reply = c.offset && !c.post ? loopback_response("HTTP/1.0 206 Partial",
                                                                "Content-Range: bytes 10-29/100\r\n", pattern(20))
                                            : ok_reply("x");
    loopback_server server({loopback_reply(reply)});
    ASSERT_TRUE(server.ok());
    auto fill = [&](std::string s) {
      for (size_t at; (at = s.find("{port}")) != std::string::npos;) s.replace(at, 6, std::to_string(server.port()));
      return s;
    };
    http_run run;
    if (c.post) {
      HttpGetSetPostData(run.get, "hello", 5);
      HttpGetSetExtraHeaders(run.get, "X-One: 1\r\nX-Two: 2");
    }
    HttpGetSinkSetOffset(run.sink, c.offset);
    HttpGetSinkSetLength(run.sink, c.length);
    ASSERT_TRUE(run.start(fill(c.url), c.proxy ? "127.0.0.1" : "", c.proxy ? server.port() : 0, c.post));
    ASSERT_TRUE(run.wait_end());
    ASSERT_EQ(server.request_count(), 1u);
    EXPECT_EQ(server.requests()[0], fill(c.expected));
  }
}

TEST(Response, AHeaderSplitOverReceivesIsReadWhole) {
  std::string reply = ok_reply("the body");
  loopback_server server({{reply, {3, 12, 20, reply.size() - 2}, 40}});
  http_run run;
  ASSERT_TRUE(run.start(server.url("/")));
  ASSERT_TRUE(run.wait_end());
  EXPECT_EQ(run.body(), "the body");
  EXPECT_EQ(run.get->_state, HTTPGET_BODY_OK);
}

TEST(Response, RedirectsKeepTheRangeAndStopAtFive) {
  loopback_server target(
      {loopback_reply(loopback_response("HTTP/1.0 206 Partial", "Content-Range: bytes 100-104/1000\r\n", "12345"))});
  struct row {
    const char *name;
    std::string location;
    size_t requests, target_requests;
    std::string body;
  };
  const row rows[] = {
      {"absolute, letter case kept", target.url("/Moved/Here"), 1, 1, "12345"},
      {"relative", "/moved", 1, 0, ""},
      {"a loop", "http://{self}/again", 1 + HTTPGET_MAX_REDIRECTS, 0, ""},
  };
  for (const row &c : rows) {
    SCOPED_TRACE(c.name);
    size_t before = target.request_count();
    loopback_server redirecting({{loopback_response("HTTP/1.0 302 Found", "LOCATION:  " + c.location + "\r\n", "")}},
                                true);
    http_run run;
    HttpGetSinkSetOffset(run.sink, 100);
    HttpGetSinkSetLength(run.sink, 5);
    ASSERT_TRUE(run.start(redirecting.url("/start")));
    ASSERT_TRUE(run.wait_end());
    EXPECT_EQ(run.body(), c.body);
    EXPECT_EQ(redirecting.request_count(), c.requests);
    ASSERT_EQ(target.request_count() - before, c.target_requests);
    if (c.target_requests) {
      std::string request = target.requests().back();
      EXPECT_EQ(request.rfind("GET /Moved/Here HTTP/1.0\r\n", 0), 0u) << request;
      EXPECT_NE(request.find("\r\nRange: bytes=100-104\r\n"), std::string::npos) << request;
    }
  }
}

TEST(Response, ABrokenBodyIsResumedFromItsLastByte) {
  std::string body = pattern(3000);
  std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 3000\r\n\r\n";
  loopback_server server({
      {head + body.substr(0, 1000), {head.size() + 500}, 20},
      {loopback_response("HTTP/1.0 206 Partial", "Content-Range: bytes 999-2999/3000\r\n", body.substr(999))},
  });
  http_run run(3000);
  ASSERT_TRUE(run.start(server.url("/big")));
  ASSERT_TRUE(run.wait_end());
  ASSERT_EQ(server.request_count(), 2u);
  EXPECT_EQ(server.requests()[0].find("Range:"), std::string::npos);
  EXPECT_NE(server.requests()[1].find("\r\nRange: bytes=999-2999\r\n"), std::string::npos) << server.requests()[1];
  EXPECT_TRUE(run.body() == body);
  EXPECT_EQ(run.get->_state, HTTPGET_BODY_OK);
  EXPECT_GT(run.progress, 0);
}

TEST(Response, ABodyWithoutALengthEndsAtThePeersClose) {
  std::string body = pattern(20000);
  struct row {
    int post;
    uint32_t capacity;
    size_t expected;
  };
  for (row c : {row{0, 65536, 20000}, row{1, 65536, 20000}, row{0, 5000, 5000}}) {
    SCOPED_TRACE(c.post * 1000000 + c.capacity);
    loopback_server server({{loopback_response("HTTP/1.0 200 OK", "Content-Type: text/plain\r\n", body), {9000}, 20}},
                           true);
    http_run run(c.capacity);
    if (c.post) HttpGetSetPostData(run.get, "a=b", 3);
    ASSERT_TRUE(run.start(server.url("/"), "", 0, c.post));
    ASSERT_TRUE(run.wait_end());
    EXPECT_EQ(server.request_count(), 1u);
    EXPECT_TRUE(run.body() == body.substr(0, c.expected));
    EXPECT_EQ(run.get->_state, HTTPGET_BODY_OK);
  }
}

TEST(Response, AnOperatorPageNamingItsOwnAddressIsAskedAgain) {
  // The server writes its address over "{self}", which makes the page up to
  // 9 bytes longer than its Content-Length: only the padding is cut.
  std::string page = "<a href=\"http://{self}/pic?a=1&amp;b=2\">continue</a>" + std::string(20, ' ');
  loopback_server server({loopback_reply(ok_reply(page)), loopback_reply(ok_reply("the real answer"))});
  http_run run;
  ASSERT_TRUE(run.start(server.url("/pic?a=1&b=2")));
  ASSERT_TRUE(run.wait_end());
  EXPECT_EQ(server.request_count(), 2u);
  EXPECT_EQ(run.body(), "the real answer");
}

TEST(Response, HostileHeadersEndCleanly) {
  struct row {
    const char *name;
    std::string reply;
    uint32_t capacity;
    std::string body;  // what the sink holds at the end
  };
  const std::string big = pattern(4000);
  const row rows[] = {
      {"5120 bytes without an end", "HTTP/1.0 200 OK\r\nX: " + std::string(5200, 'x'), 1024, ""},
      {"3000-char Location", "HTTP/1.0 302 Found\r\nLocation: http://a/" + std::string(3000, 'l') + "\r\n\r\n", 1024,
       ""},
      {"Content-Length -1", "HTTP/1.0 200 OK\r\nContent-Length: -1\r\n\r\nabc", 1024, ""},
      {"Content-Length 2^32", "HTTP/1.0 200 OK\r\nContent-Length: 4294967296\r\n\r\nabc", 1024, ""},
      {"Content-Range start past end", "HTTP/1.0 206 P\r\nContent-Range: bytes 10-5/100\r\n\r\nabc", 1024, ""},
      {"Content-Range end past length", "HTTP/1.0 206 P\r\nContent-Range: bytes 0-99/50\r\n\r\nabc", 1024, ""},
      {"Content-Range of an unknown length", "HTTP/1.0 206 P\r\nContent-Range: bytes 0-2/*\r\n\r\nabc", 1024, ""},
      {"a field inside another's value", "HTTP/1.0 200 OK\r\nX-Note: content-length: 2\r\n\r\nabc", 1024, "abc"},
      {"no status line", "HELLO\r\n\r\nabc", 1024, ""},
      {"early body past the capacity", ok_reply(big), 16, big.substr(0, 16)},
  };
  for (const row &c : rows) {
    SCOPED_TRACE(c.name);
    loopback_server server({{c.reply}}, true);
    http_run run(c.capacity);
    ASSERT_TRUE(run.start(server.url("/")));
    ASSERT_TRUE(run.wait_end(20000));
    EXPECT_EQ(run.body(), c.body);
    EXPECT_LE(server.request_count(), size_t(HTTPGET_MAX_ATTEMPTS * HTTPGET_MAX_SOCKET_TRIES));
  }
}

TEST(Cancel, EndsAWaitingRequestWithoutItsTimeOutAndDestroyWaits) {
  struct row {
    const char *name;
    std::string reply;
  };
  const row rows[] = {
      {"waiting for the header", ""},
      {"in the body", "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nonly a little"},
  };
  for (const row &c : rows) {
    SCOPED_TRACE(c.name);
    loopback_reply held;
    held.bytes = c.reply;
    held.end = loopback_reply::HOLD;
    loopback_server server({held});
    http_run run;
    ASSERT_TRUE(run.start(server.url("/"), "", 0, 0, 30));
    for (int i = 0; i < 500 && server.request_count() == 0; i++)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    HttpGetCancel(run.get);
    ASSERT_TRUE(run.wait_end(5000)) << "the cancel waited for the 30 s time-out";
    EXPECT_EQ(run.ends, 1);
    EXPECT_NE(run.get->_state, HTTPGET_BODY_OK);
    EXPECT_EQ(server.request_count(), 1u) << "a cancelled request was sent again";
  }
}

TEST(Cancel, DestroyingARunningRequestEndsItFirst) {
  loopback_reply held;
  held.end = loopback_reply::HOLD;
  loopback_server server({held});
  int ends = 0;
  HttpGet *get = HttpGetCreate();
  HttpGetSink *sink = HttpGetSinkCreate(100);
  HttpGetSetCallback(get, [](HttpGet *g, void *n) { *static_cast<int *>(n) += !HttpGetIsRunning(g); }, &ends);
  ASSERT_EQ(HttpGetRequest(get, sink, 0, server.url("/").c_str(), "", 0, 30, 0), 1);
  for (int i = 0; i < 500 && server.request_count() == 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  HttpGetDestroy(get);
  EXPECT_EQ(ends, 1);
  HttpGetSinkDestroy(sink);
}

TEST(Request, AnAddressThatDoesNotSplitEndsAtOnce) {
  for (const char *url : {"ftp://127.0.0.1/", "http:/", "http:///path", "http://:80/", "http://127.0.0.1:0/",
                          "http://127.0.0.1:65536/", "http://127.0.0.1:8x/", "http://127.0.0.1:-1/"}) {
    SCOPED_TRACE(url);
    http_run run;
    ASSERT_TRUE(run.start(url));
    EXPECT_EQ(run.ends, 1) << "the end is known within the call";
    EXPECT_FALSE(HttpGetIsRunning(run.get));
    EXPECT_EQ(run.sink->_received, 0u);
  }
}

TEST(Attempts, EndAfterFourFailuresWhateverFollowsAGoodHeaderAndAPostGoesOnce) {
  struct row {
    const char *name;
    int post;
    uint32_t offset;
    std::string reply;  // every connection gets it
    size_t requests;
    std::string body;  // found in what the sink holds; "": it holds nothing
    int state;
  };
  const std::string page = "<a href=\"http://{self}/up\">go on</a>" + std::string(20, ' ');
  const row rows[] = {
      {"a GET whose range is ignored", 0, 100, ok_reply(pattern(150)), HTTPGET_MAX_ATTEMPTS, "", HTTPGET_HEADER_OK},
      {"a GET whose body never comes", 0, 0, "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n", HTTPGET_MAX_ATTEMPTS,
       "", HTTPGET_HEADER_OK},
      {"a GET answered by its own operator page", 0, 0, ok_reply(page), HTTPGET_MAX_ATTEMPTS, "", HTTPGET_HEADER_OK},
      {"a POST answered by its own operator page", 1, 0, ok_reply(page), 1, "/up\">go on", HTTPGET_BODY_OK},
      {"a POST answered 500", 1, 0, "HTTP/1.0 500 Oops\r\n\r\n", 1, "", HTTPGET_SENT},
      {"a POST redirected", 1, 0, "HTTP/1.0 302 Found\r\nLocation: http://{self}/up\r\n\r\n", 1, "", HTTPGET_SENT},
      {"a POST whose header never ends", 1, 0, "HTTP/1.0 200 OK\r\n", 1, "", HTTPGET_SENT},
  };
  for (const row &c : rows) {
    SCOPED_TRACE(c.name);
    loopback_server server({loopback_reply(c.reply)}, true, 0);
    http_run run;
    if (c.post) HttpGetSetPostData(run.get, "a=b", 3);
    HttpGetSinkSetOffset(run.sink, c.offset);
    HttpGetSinkSetLength(run.sink, c.offset ? 50 : 0);
    ASSERT_TRUE(run.start(server.url("/up"), "", 0, c.post));
    ASSERT_TRUE(run.wait_end()) << server.request_count() << " requests and counting";
    EXPECT_EQ(server.request_count(), c.requests);
    if (c.body.empty()) EXPECT_EQ(run.body(), "");
    else EXPECT_NE(run.body().find(c.body), std::string::npos) << run.body();
    EXPECT_EQ(run.get->_state, c.state);
  }
}

TEST(Cancel, DestroyingFromTheEndCallbackIsSafe) {
  loopback_server server({loopback_reply(ok_reply("done"))});
  for (std::string url : {std::string("http:/"), server.url("/")}) {
    SCOPED_TRACE(url);
    struct ended {
      std::mutex mutex;
      std::condition_variable cv;
      bool done = false;
    } e;
    HttpGet *get = HttpGetCreate();
    HttpGetSetCallback(get,
                       [](HttpGet *g, void *arg) {
                         if (HttpGetIsRunning(g)) return;
                         HttpGetDestroy(g);
                         ended *e = static_cast<ended *>(arg);
                         std::lock_guard<std::mutex> lock(e->mutex);
                         e->done = true;
                         e->cv.notify_all();
                       },
                       &e);
    ASSERT_EQ(HttpGetRequest(get, nullptr, 0, url.c_str(), "", 0, 5, 0), 1);
    std::unique_lock<std::mutex> lock(e.mutex);
    EXPECT_TRUE(e.cv.wait_for(lock, std::chrono::seconds(10), [&] { return e.done; }));
  }
}

namespace {

// A name server that answers only when the test lets it.
struct held_resolver {
  std::mutex mutex;
  std::condition_variable cv;
  bool asked = false, released = false, answered = false;
};
held_resolver *g_held;

int resolve_when_released(const char *, in_addr *address) {
  std::unique_lock<std::mutex> lock(g_held->mutex);
  g_held->asked = true;
  g_held->cv.notify_all();
  g_held->cv.wait_for(lock, std::chrono::seconds(5), [] { return g_held->released; });
  address->s_addr = htonl(INADDR_LOOPBACK);
  g_held->answered = true;
  g_held->cv.notify_all();
  return 1;
}

}  // namespace

TEST(Cancel, DestroyDoesNotWaitForANameLookupAndDropsItsLateAnswer) {
  loopback_server server({loopback_reply(ok_reply("late"))});
  held_resolver held;
  g_held = &held;
  net_socket_resolver_fn old = net_socket_set_resolver(resolve_when_released);
  http_run *run = new http_run();
  ASSERT_TRUE(run->start("http://gallery.test:" + std::to_string(server.port()) + "/", "", 0, 0, 30));
  std::unique_lock<std::mutex> lock(held.mutex);
  ASSERT_TRUE(held.cv.wait_for(lock, std::chrono::seconds(5), [&] { return held.asked; }));
  lock.unlock();
  delete run;  // destroys the request
  lock.lock();
  EXPECT_FALSE(held.answered) << "the destroy waited for the name server";
  held.released = true;
  held.cv.notify_all();
  EXPECT_TRUE(held.cv.wait_for(lock, std::chrono::seconds(5), [&] { return held.answered; }));
  lock.unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(server.request_count(), 0u) << "the late address was used";
  net_socket_set_resolver(old);
}

TEST(Request, AWorkerThatCannotStartEndsTheRequestOnTheCallersThread) {
  loopback_server server({loopback_reply(ok_reply("x"))});
  int idle = net_socket_set_idle_workers(0);
  int old = os_thread_set_failure(EAGAIN);
  http_run run;
  ASSERT_TRUE(run.start(server.url("/")));
  os_thread_set_failure(old);
  net_socket_set_idle_workers(idle);
  EXPECT_EQ(run.ends, 1) << "the end is known within the call";
  EXPECT_EQ(run.sink->_received, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(server.request_count(), 0u);
}
