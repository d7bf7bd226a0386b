// The gallery upload of a 2 MB JPEG, from upload_start to its status
// callback (destination, connection, reading the file, building the body,
// the POST over loopback and the answer), against a blocking socket that
// writes the same request bytes and reads the same answer.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// One upload's request as the service got it, for the reference to send.
std::string g_request;

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

// Uploads the picture once per turn of state (once without one) and keeps
// the last request the service got.
void run_uploads(benchmark::State *state) {
  app_test_folders folders;
  std::string path = folders.root + "/painting.jpg";
  test_write_file(path, jpeg_bytes());
  std::u16string wide_path = test_wide(path);
  upload_set_service_host(("127.0.0.1:" + std::to_string(server().port())).c_str());
  os_connmgr_mode old_mode = os_connmgr_set_mode(OS_CONNMGR_ONLINE);
  port_test_run_app([&] {
    app_context *app = paint_main_init();
    if (!app) {
      if (state) state->SkipWithError("no application");
      return 1;
    }
    auto upload_once = [&] {
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
      return code;
    };
    if (!state) {
      upload_once();
    } else {
      for (auto _ : *state)
        if (upload_once() != UPLOAD_OK) state->SkipWithError("the upload failed");
    }
    paint_main_deinit(app);
    return 0;
  });
  os_connmgr_set_mode(old_mode);
  upload_set_service_host(nullptr);
  std::vector<std::string> requests = server().requests();
  if (!requests.empty()) g_request = requests.back();
}

void BM_upload_2mb(benchmark::State &state) { run_uploads(&state); }

void BM_socket_write_2mb(benchmark::State &state) {
  if (g_request.empty()) run_uploads(nullptr);
  if (g_request.empty()) {
    state.SkipWithError("no request to send");
    return;
  }
  std::vector<char> answer(65536);
  for (auto _ : state) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server().port());
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) state.SkipWithError("connect");
    for (size_t sent = 0; sent < g_request.size();) {
      ssize_t n = send(fd, g_request.data() + sent, g_request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += size_t(n);
    }
    size_t got = 0;
    for (ssize_t n; (n = recv(fd, answer.data(), answer.size(), 0)) > 0;) got += size_t(n);
    close(fd);
    if (got == 0) state.SkipWithError("no answer");
  }
}

}  // namespace

BENCHMARK(BM_upload_2mb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_socket_write_2mb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCH_RATIO("upload_2mb_vs_socket_write", "BM_upload_2mb", "BM_socket_write_2mb", 3.0);
