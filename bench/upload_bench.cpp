// The gallery upload of a 2 MB JPEG, from upload_start to its status
// callback (destination, connection, reading the file, building the body,
// the POST over loopback and the answer), against a blocking socket that
// writes the same request bytes and reads the same answer.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "app_test_env.h"
#include "bench_figures.h"
#include "loopback_server.h"
#include "os_connmgr.h"
#include "paint_main.h"
#include "port_test_app.h"
#include "test_env.h"
#include "upload.h"

namespace {

constexpr size_t k_jpeg_bytes = 2u << 20;

loopback_server &server() {
  // Only the last request is kept: it is what the reference sends.
  static loopback_server s({loopback_reply(loopback_response("HTTP/1.0 200 OK", "", "Uploaded ok!"))}, true, 1);
  return s;
}

std::mutex g_mutex;
std::condition_variable g_cv;
int g_code = -1;

void on_status(int code) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_code = code;
  g_cv.notify_all();
}

std::string jpeg_bytes() {
  std::mt19937 rng(7);
  std::string bytes = "\xFF\xD8";
  while (bytes.size() < k_jpeg_bytes - 2) bytes.push_back(char(rng()));
  return bytes + "\xFF\xD9";
}

// The request the service got, sent again on a blocking socket and its
// answer read; seconds, or -1 when it could not be sent or got no answer.
double socket_write_once(const std::string &request, std::vector<char> &answer) {
  auto begin = std::chrono::steady_clock::now();
  int fd = server().connect_client();
  if (fd < 0) return -1;
  size_t sent = 0, got = 0;
  while (sent < request.size()) {
    ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += size_t(n);
  }
  if (sent == request.size())
    for (ssize_t n; (n = recv(fd, answer.data(), answer.size(), 0)) > 0;) got += size_t(n);
  close(fd);
  if (got == 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// Every turn's ratio so far, over all repetitions.
std::vector<double> g_turn_ratios;

// Each turn uploads the picture once and sends the request the service got
// from a first, untimed upload on a blocking socket, back to back and in
// turns of order, so both meet the same state of a shared machine; the
// figure is the median of the turns' ratios. Timed as two cases, a burst of
// other work during a few repetitions of one side moved the ratio by half
// between whole runs.
void BM_upload_2mb(benchmark::State &state) {
  const char *failed = nullptr;
  app_test_folders folders;
  std::string path = folders.root + "/painting.jpg";
  test_write_file(path, jpeg_bytes());
  std::u16string wide_path = test_wide(path);
  upload_set_service_host(("127.0.0.1:" + std::to_string(server().port())).c_str());
  os_connmgr_mode old_mode = os_connmgr_set_mode(OS_CONNMGR_ONLINE);
  port_test_run_app([&] {
    app_context *app = paint_main_init();
    if (!app) {
      failed = "no application";
      return 1;
    }
    auto upload_once = [&]() -> double {
      auto begin = std::chrono::steady_clock::now();
      {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_code = -1;
      }
      upload_start(wide_path.c_str(), u"A title", u"A description", on_status);
      std::unique_lock<std::mutex> lock(g_mutex);
      g_cv.wait(lock, [] { return g_code != -1; });
      int code = g_code;
      lock.unlock();
      upload_release(app);
      if (code != UPLOAD_OK) return -1;
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    };
    std::vector<std::string> requests;
    if (upload_once() >= 0) requests = server().requests();
    if (requests.empty()) failed = "the upload failed";
    std::vector<char> answer(65536);
    bool upload_first = true;
    for (auto _ : state) {
      if (failed) break;
      double upload_s, write_s;
      if (upload_first) {
        upload_s = upload_once();
        write_s = socket_write_once(requests.back(), answer);
      } else {
        write_s = socket_write_once(requests.back(), answer);
        upload_s = upload_once();
      }
      upload_first = !upload_first;
      if (upload_s < 0 || write_s <= 0) {
        failed = upload_s < 0 ? "the upload failed" : "no answer on the socket";
        break;
      }
      state.SetIterationTime(upload_s);
      g_turn_ratios.push_back(upload_s / write_s);
    }
    paint_main_deinit(app);
    return 0;
  });
  os_connmgr_set_mode(old_mode);
  upload_set_service_host(nullptr);
  if (failed) {
    state.SkipWithError(failed);
    bench_fail_value("upload_2mb_vs_socket_write", failed);
    return;
  }
  bench_set_median("upload_2mb_vs_socket_write", g_turn_ratios);
}

}  // namespace

BENCHMARK(BM_upload_2mb)->Unit(benchmark::kMillisecond)->UseManualTime();
static int upload_figure = bench_register_value("upload_2mb_vs_socket_write", 3.0);
