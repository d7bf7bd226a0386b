// A 16 MB GET over loopback into a sink against a blocking socket that sends
// the same request and reads the same response: what the client's thread per
// operation and its bookkeeping cost beyond the system's own reads.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "bench_figures.h"
#include "http_get.h"
#include "loopback_server.h"

namespace {

constexpr size_t k_body_bytes = 16u << 20;

loopback_server &server() {
  static loopback_server s(
      {loopback_reply(loopback_response("HTTP/1.0 200 OK", "Content-Length: " + std::to_string(k_body_bytes) + "\r\n",
                                        std::string(k_body_bytes, 'b')))},
      true, 0);
  return s;
}

struct ended {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
};

void on_event(HttpGet *get, void *arg) {
  if (HttpGetIsRunning(get)) return;
  ended *e = static_cast<ended *>(arg);
  std::lock_guard<std::mutex> lock(e->mutex);
  e->done = true;
  e->cv.notify_all();
}

void BM_http_get_16mb(benchmark::State &state) {
  loopback_server &s = server();
  HttpGetSink *sink = HttpGetSinkCreate(uint32_t(k_body_bytes));
  HttpGet *get = HttpGetCreate();
  const std::string url = s.url("/big");
  for (auto _ : state) {
    ended e;
    HttpGetSetCallback(get, on_event, &e);
    sink->_received = sink->_offset = sink->_length = 0;
    HttpGetRequest(get, sink, 0, url.c_str(), "", 0, 30, 0);
    std::unique_lock<std::mutex> lock(e.mutex);
    e.cv.wait(lock, [&] { return e.done; });
    if (sink->_received != k_body_bytes) state.SkipWithError("short body");
  }
  HttpGetDestroy(get);
  HttpGetSinkDestroy(sink);
}

void BM_socket_read_16mb(benchmark::State &state) {
  loopback_server &s = server();
  const std::string request = "GET /big HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(s.port()) +
                              "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
  std::vector<char> buffer(k_body_bytes + 4096);
  for (auto _ : state) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(s.port());
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) state.SkipWithError("connect");
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    size_t got = 0;
    for (ssize_t n; got < buffer.size() && (n = recv(fd, buffer.data() + got, buffer.size() - got, 0)) > 0;)
      got += size_t(n);
    close(fd);
    if (got < k_body_bytes) state.SkipWithError("short body");
  }
}

}  // namespace

BENCHMARK(BM_http_get_16mb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_socket_read_16mb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCH_RATIO("http_get_16mb_vs_socket_read", "BM_http_get_16mb", "BM_socket_read_16mb", 1.2);
