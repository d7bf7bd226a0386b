#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int k_read_limit_ms = 5000;
constexpr size_t k_request_limit = 64u << 20;

// Reads into request until the header and its Content-Length body are in.
void read_request(int fd, std::string &request, const std::atomic<bool> &stop) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(k_read_limit_ms);
  size_t want = std::string::npos;
  char buffer[65536];
  while (!stop.load() && request.size() < k_request_limit) {
    if (want == std::string::npos) {
      size_t end = request.find("\r\n\r\n");
      if (end != std::string::npos) {
        want = end + 4;
        std::string lower = request.substr(0, end + 2);
        for (char &c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        size_t at = lower.find("\r\ncontent-length:");
        if (at != std::string::npos) want += std::strtoull(lower.c_str() + at + 17, nullptr, 10);
      }
    }
    if (want != std::string::npos && request.size() >= want) return;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd entry = {fd, POLLIN, 0};
    if (poll(&entry, 1, int(std::min<long long>(left.count(), 100))) <= 0) continue;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.append(buffer, size_t(n));
  }
}

void send_all(int fd, const char *data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return;
    data += n;
    size -= size_t(n);
  }
}

}  // namespace

std::string loopback_response(const std::string &status_line, const std::string &headers, const std::string &body) {
  return status_line + "\r\n" + headers + "\r\n" + body;
}

loopback_server::loopback_server(std::vector<loopback_reply> script, bool repeat_last, size_t keep)
    : script_(std::move(script)), repeat_last_(repeat_last), keep_(keep) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
    close(fd);
    return;
  }
  listen_fd_ = fd;
  port_ = ntohs(address.sin_port);
  thread_ = std::thread(&loopback_server::run, this);
}

loopback_server::~loopback_server() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  for (int fd : held_) close(fd);
  if (listen_fd_ >= 0) close(listen_fd_);
}

int loopback_server::connect_client() const {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port_);
  if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string loopback_server::url(const std::string &path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> loopback_server::requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<std::string>(requests_.begin(), requests_.end());
}

size_t loopback_server::request_count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return request_count_;
}

void loopback_server::run() {
  size_t next = 0;
  while (!stop_.load()) {
    pollfd entry = {listen_fd_, POLLIN, 0};
    if (poll(&entry, 1, 50) <= 0) continue;
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const loopback_reply *reply = nullptr;
    if (next < script_.size()) reply = &script_[next++];
    else if (repeat_last_ && !script_.empty()) reply = &script_.back();
    serve(fd, reply);
  }
}

void loopback_server::serve(int fd, const loopback_reply *reply) {
  std::string request;
  read_request(fd, request, stop_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    request_count_++;
    if (keep_ > 0) requests_.push_back(std::move(request));
    if (requests_.size() > keep_) requests_.pop_front();
  }
  if (!reply) {
    close(fd);
    return;
  }
  // Only a reply that names the server is copied: a large one goes out as it is.
  std::string named;
  if (reply->bytes.find("{self}") != std::string::npos) {
    named = reply->bytes;
    const std::string self = "127.0.0.1:" + std::to_string(port_);
    for (size_t at; (at = named.find("{self}")) != std::string::npos;) named.replace(at, 6, self);
  }
  const std::string &bytes = named.empty() ? reply->bytes : named;
  size_t from = 0;
  for (size_t cut : reply->cuts) {
    if (cut <= from || cut > bytes.size()) continue;
    send_all(fd, bytes.data() + from, cut - from);
    from = cut;
    std::this_thread::sleep_for(std::chrono::milliseconds(reply->pause_ms));
  }
  send_all(fd, bytes.data() + from, bytes.size() - from);
  if (reply->end == loopback_reply::RESET) {
    linger hard = {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }
  if (reply->end == loopback_reply::HOLD) held_.push_back(fd);
  else close(fd);
}
