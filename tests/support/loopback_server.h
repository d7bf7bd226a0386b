// A scripted HTTP server on 127.0.0.1 for the HTTP client's tests and
// benchmark. Each connection reads one request (header and Content-Length
// body), counts it, keeps the bytes of the latest `keep` requests (a
// benchmark's thousands of uploads would hold gigabytes), and answers with the next reply of the script (the
// last one again when the script runs out and repeat_last is set, else it
// closes at once). Replies go out in pieces with pauses, then the server
// closes, resets or holds the connection. Everything is bounded in time:
// reads give up after 5 s and the destructor stops and joins the thread.
// "{self}" in a reply stands for this server's "127.0.0.1:port".
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct loopback_reply {
  loopback_reply(std::string reply_bytes = std::string(), std::vector<size_t> piece_ends = {}, int pause = 30)
      : bytes(std::move(reply_bytes)), cuts(std::move(piece_ends)), pause_ms(pause) {}
  std::string bytes;
  std::vector<size_t> cuts;  // offsets where a piece ends and a pause follows
  int pause_ms;
  enum { CLOSE, RESET, HOLD } end = CLOSE;
};

// A reply of status line, headers (each ending "\r\n") and body.
std::string loopback_response(const std::string &status_line, const std::string &headers, const std::string &body);

class loopback_server {
 public:
  explicit loopback_server(std::vector<loopback_reply> script, bool repeat_last = false, size_t keep = SIZE_MAX);
  ~loopback_server();
  loopback_server(const loopback_server &) = delete;
  loopback_server &operator=(const loopback_server &) = delete;

  bool ok() const { return listen_fd_ >= 0; }
  uint16_t port() const { return port_; }
  std::string url(const std::string &path) const;
  // A blocking client socket connected to this server, or -1.
  int connect_client() const;
  // The kept requests, oldest first.
  std::vector<std::string> requests();
  size_t request_count();

 private:
  void run();
  void serve(int fd, const loopback_reply *reply);

  std::vector<loopback_reply> script_;
  bool repeat_last_;
  size_t keep_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::deque<std::string> requests_;
  size_t request_count_ = 0;
  std::vector<int> held_;
  std::thread thread_;
};
