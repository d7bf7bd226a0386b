// A 16 MB GET over loopback into a sink against a blocking socket that sends
// the same request and reads the same response: what the client's thread per
// operation and its bookkeeping cost beyond the system's own reads.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
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

// One GET through the client, from the request to its last callback.
double http_get_once(HttpGet *get, HttpGetSink *sink, const std::string &url) {
  auto begin = std::chrono::steady_clock::now();
  ended e;
  HttpGetSetCallback(get, on_event, &e);
  sink->_received = sink->_offset = sink->_length = 0;
  HttpGetRequest(get, sink, 0, url.c_str(), "", 0, 30, 0);
  std::unique_lock<std::mutex> lock(e.mutex);
  e.cv.wait(lock, [&] { return e.done; });
  if (sink->_received != k_body_bytes) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// The same request sent and the same response read on a blocking socket.
double socket_read_once(const loopback_server &s, const std::string &request, std::vector<char> &buffer) {
  auto begin = std::chrono::steady_clock::now();
  int fd = s.connect_client();
  if (fd < 0) return -1;
  size_t got = 0;
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
    for (ssize_t n; got < buffer.size() && (n = recv(fd, buffer.data() + got, buffer.size() - got, 0)) > 0;)
      got += size_t(n);
  }
  close(fd);
  if (got < k_body_bytes) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// Every pair's ratio so far, over all repetitions.
std::vector<double> g_pair_ratios;

// Each turn does one GET and one socket read back to back, in turns of
// order, so both meet the same state of a shared machine; the figure is the
// median of the turns' ratios. Timed separately, a burst of other work on
// the machine during a few repetitions of one side moved the ratio of the
// two medians by a third between whole runs.
void BM_http_get_16mb(benchmark::State &state) {
  loopback_server &s = server();
  HttpGetSink *sink = HttpGetSinkCreate(uint32_t(k_body_bytes));
  HttpGet *get = HttpGetCreate();
  const std::string url = s.url("/big");
  const std::string request = "GET /big HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(s.port()) +
                              "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
  std::vector<char> buffer(k_body_bytes + 4096);
  bool get_first = true;
  for (auto _ : state) {
    double get_s, read_s;
    if (get_first) {
      get_s = http_get_once(get, sink, url);
      read_s = socket_read_once(s, request, buffer);
    } else {
      read_s = socket_read_once(s, request, buffer);
      get_s = http_get_once(get, sink, url);
    }
    get_first = !get_first;
    if (get_s < 0 || read_s <= 0) {
      const char *why = get_s < 0 ? "short body through the client" : "short body on the socket";
      state.SkipWithError(why);
      bench_fail_value("http_get_16mb_vs_socket_read", why);
      break;
    }
    state.SetIterationTime(get_s);
    g_pair_ratios.push_back(get_s / read_s);
  }
  HttpGetDestroy(get);
  HttpGetSinkDestroy(sink);
  bench_set_median("http_get_16mb_vs_socket_read", g_pair_ratios);
}

}  // namespace

BENCHMARK(BM_http_get_16mb)->Unit(benchmark::kMillisecond)->UseManualTime();
static int http_figure = bench_register_value("http_get_16mb_vs_socket_read", 1.2);
