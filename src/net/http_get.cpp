// HttpGet: the request cycle, header check, ranges and resumption.
#include "http_get.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "port_log.h"
#include "wins_window.h"

namespace {

const char k_default_user_agent[] = "Nokia N73";
const char k_http[] = "http://";
constexpr uint32_t k_http_len = 7;
constexpr uint32_t k_default_port = 80;
// An object this long is the operator's marker for "length unknown, ask again".
constexpr uint64_t k_unknown_length = 0x7FFFFFFF;

void *tc_create(uintptr_t network) { return TC_socketCreate(network); }
void tc_close(void *socket) { TC_socketClose(static_cast<TC_socket *>(socket)); }
void tc_shutdown(void *socket) { TC_socketShutdown(static_cast<TC_socket *>(socket)); }
void tc_connect(void *socket, const char *host, uint32_t port, uint32_t time_out_s, HttpGet *owner,
                TC_socketConnectFn done) {
  TC_socketConnect(static_cast<TC_socket *>(socket), host, port, time_out_s, owner, done);
}
void tc_send(void *socket, const char *buffer, uint32_t length, uint32_t time_out_s, HttpGet *owner,
             TC_socketIoFn done) {
  TC_socketSend(static_cast<TC_socket *>(socket), buffer, length, time_out_s, owner, done);
}
void tc_recv(void *socket, char *buffer, uint32_t length, uint32_t time_out_s, HttpGet *owner, TC_socketIoFn done) {
  TC_socketRecv(static_cast<TC_socket *>(socket), buffer, length, time_out_s, owner, done);
}
int tc_peer_closed(void *socket) { return TC_socketPeerClosed(static_cast<TC_socket *>(socket)); }

const HttpGetSocketTable k_tc_sockets = {tc_create, tc_close, tc_shutdown, tc_connect,
                                         tc_send,   tc_recv,  tc_peer_closed};

void log_step(const char *format, ...) __attribute__((format(printf, 1, 2)));
void copy_cut(char *out, size_t size, const char *text);
void replace_amp(char *text);
void close_socket(HttpGet *object);
int split_url(HttpGet *object);
void failed_attempt(HttpGet *object);
void HttpGetInit(HttpGet *object, const char *url, const char *proxy_host, uint32_t proxy_port, int post);
void HttpGetStart(HttpGet *object, HttpGetSink *sink, uintptr_t network, uint32_t time_out_s);
void HttpGetGetThreadBranch(HttpGet *object);
void HttpGetFormatRequest(HttpGet *object);
void HttpGetSendRequestLoop(HttpGet *object);
void HttpGetConnectServerBranch(HttpGet *object);
void HttpGetAfterConnect(HttpGet *object, int connected);
void HttpGetSocketWriteBranch(HttpGet *object);
void HttpGetAfterSocketWrite(HttpGet *object, int status, uint32_t count);
void HttpGetSocketReadResponseBranch(HttpGet *object);
void HttpGetSocketReadBranch(HttpGet *object);
void HttpGetAfterSocketRead(HttpGet *object, int status, uint32_t count);
void HttpGetAfterSocketReadResponse(HttpGet *object);
void HttpGetAfterSendRequest(HttpGet *object);
void body_step(HttpGet *object);
void body_complete(HttpGet *object);
int is_interstitial(HttpGet *object);
void HttpGetEnd(HttpGet *object);
const char *find_field(const char *header, const char *name);
int parse_number(const char *&p, uint64_t max, uint64_t *out);
int at_line_end(const char *p);
int parse_status(const char *header, int *status);

// The callbacks running on this thread, innermost first: an object destroyed
// from its own end callback is marked here, and the end touches it no more.
struct callback_frame {
  HttpGet *object;
  bool end;
  bool destroyed;
  callback_frame *outer;
};
thread_local callback_frame *t_callbacks = nullptr;

}  // namespace

HttpGetSink *HttpGetSinkCreate(uint32_t capacity) {
  HttpGetSink *sink = new (std::nothrow) HttpGetSink();
  if (!sink) return nullptr;
  HttpGetSinkInit(sink);
  if (!HttpGetSinkAlloc(sink, capacity)) {
    delete sink;
    return nullptr;
  }
  return sink;
}

void HttpGetSinkDestroy(HttpGetSink *sink) {
  if (!sink) return;
  HttpGetSinkFreeBuffer(sink);
  delete sink;
}

void HttpGetSinkInit(HttpGetSink *sink) {
  PORT_CHECK(sink != nullptr);
  *sink = HttpGetSink();
  sink->_marker = -1;
}

int HttpGetSinkAlloc(HttpGetSink *sink, uint32_t capacity) {
  PORT_CHECK(sink != nullptr);
  HttpGetSinkFreeBuffer(sink);
  sink->_buffer = static_cast<uint8_t *>(std::malloc(std::max<uint32_t>(capacity, 1)));
  if (!sink->_buffer) return 0;
  sink->_capacity = capacity;
  return 1;
}

void HttpGetSinkFreeBuffer(HttpGetSink *sink) {
  PORT_CHECK(sink != nullptr);
  std::free(sink->_buffer);
  sink->_buffer = nullptr;
  sink->_capacity = sink->_received = 0;
}

uint32_t HttpGetSinkGetReceived(HttpGetSink *sink) {
  PORT_CHECK(sink != nullptr);
  return sink->_received;
}

uint8_t *HttpGetSinkGetBuffer(HttpGetSink *sink) {
  PORT_CHECK(sink != nullptr);
  return sink->_buffer;
}

void HttpGetSinkSetOffset(HttpGetSink *sink, uint32_t offset) {
  PORT_CHECK(sink != nullptr);
  sink->_offset = offset;
}

void HttpGetSinkSetLength(HttpGetSink *sink, uint32_t length) {
  PORT_CHECK(sink != nullptr);
  sink->_length = length;
}

HttpGet *HttpGetCreate() {
  HttpGet *object = new (std::nothrow) HttpGet();
  if (!object) return nullptr;
  object->_stopped = 1;
  object->_time_out_s = HTTPGET_DEFAULT_TIMEOUT_S;
  object->_sockets = &k_tc_sockets;
  return object;
}

void HttpGetDestroy(HttpGet *object) {
  if (!object) return;
  callback_frame *frame = t_callbacks;
  while (frame && frame->object != object) frame = frame->outer;
  // From a progress callback the request would wait for itself.
  PORT_CHECK(!frame || frame->end);
  HttpGetCancel(object);
  if (frame) {
    frame->destroyed = true;
  } else {
    // A request ends on a worker thread; its last touch of the object is
    // the end callback's return.
    std::unique_lock<std::mutex> lock(object->_lock);
    object->_ended.wait(lock, [object] { return !object->_running.load() && !object->_in_end_callback; });
  }
  object->_state = HTTPGET_IDLE;
  close_socket(object);
  std::free(object->m_szResponseHeader);
  delete object;
}

void HttpGetSetCallback(HttpGet *object, HttpGetCallback callback, void *argument) {
  PORT_CHECK(object != nullptr);
  object->_callback = callback;
  object->_callback_arg = argument;
}

void HttpGetSetPostData(HttpGet *object, const void *body, uint32_t length) {
  PORT_CHECK(object != nullptr && (body != nullptr || length == 0));
  object->_post = 1;
  object->_post_body.assign(static_cast<const char *>(body), length);
}

void HttpGetSetExtraHeaders(HttpGet *object, const char *text) {
  PORT_CHECK(object != nullptr);
  copy_cut(object->_extra_headers, sizeof object->_extra_headers, text ? text : "");
}

void HttpGetSetUserAgent(HttpGet *object, const char *text) {
  PORT_CHECK(object != nullptr);
  const char *agent = text ? text : "";
  size_t length = std::strlen(agent);
  // Kept whole up to 255 chars; a longer one is cut to 254.
  if (length > sizeof object->_user_agent - 1) length = sizeof object->_user_agent - 2;
  std::memcpy(object->_user_agent, agent, length);
  object->_user_agent[length] = 0;
}

void HttpGetSetSocketTable(HttpGet *object, const HttpGetSocketTable *table) {
  PORT_CHECK(object != nullptr && !object->_running.load());
  object->_sockets = table ? table : &k_tc_sockets;
}

int HttpGetRequest(HttpGet *object, HttpGetSink *sink, uintptr_t network, const char *url, const char *proxy_host,
                   uint32_t proxy_port, uint32_t time_out_s, int post) {
  if (!object || object->_running.load() || !url) return 0;
  HttpGetInit(object, url, proxy_host, proxy_port, post);
  HttpGetStart(object, sink, network, time_out_s);
  return 1;
}

int HttpGetIsRunning(HttpGet *object) { return object ? object->_running.load() : 0; }

void HttpGetCancel(HttpGet *object) {
  PORT_CHECK(object != nullptr);
  std::lock_guard<std::mutex> lock(object->_lock);
  if (!object->_running.load()) return;
  object->_stopped = 1;
  if (object->m_nSocketID) object->_sockets->shutdown(object->m_nSocketID);
}

namespace {

void log_step(const char *format, ...) {
  wins_window_context *context = wins_window_get_context();
  if (!context || !context->_log) return;
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  // The formatted request may be long: the line is sized to it.
  std::string text(size_t(std::max(length, 0)) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, again);
  va_end(again);
  text.resize(size_t(std::max(length, 0)));
  port_log_write(context->_log, ("[http] " + text + "\r\n").c_str());
}

void copy_cut(char *out, size_t size, const char *text) {
  size_t length = std::min(std::strlen(text), size - 1);
  std::memcpy(out, text, length);
  out[length] = 0;
}

void replace_amp(char *text) {
  char *out = text;
  for (const char *in = text; *in;) {
    if (std::strncmp(in, "&amp;", 5) == 0) {
      *out++ = '&';
      in += 5;
    } else {
      *out++ = *in++;
    }
  }
  *out = 0;
}

void close_socket(HttpGet *object) {
  void *socket;
  {
    std::lock_guard<std::mutex> lock(object->_lock);
    socket = object->m_nSocketID;
    object->m_nSocketID = nullptr;
  }
  if (socket) object->_sockets->close(socket);
}

void HttpGetInit(HttpGet *object, const char *url, const char *proxy_host, uint32_t proxy_port, int post) {
  copy_cut(object->_url, sizeof object->_url, url);
  replace_amp(object->_url);
  copy_cut(object->_proxy_host, sizeof object->_proxy_host, proxy_host ? proxy_host : "");
  object->_proxy_port = proxy_port;
  object->_post = post ? 1 : 0;
  close_socket(object);
  object->_stopped = 1;
  object->_attempts = object->_socket_tries = object->_redirects = 0;
  object->_redirected = 0;
  object->_time_out_s = HTTPGET_DEFAULT_TIMEOUT_S;
  if (!object->_user_agent[0]) copy_cut(object->_user_agent, sizeof object->_user_agent, k_default_user_agent);
}

void HttpGetStart(HttpGet *object, HttpGetSink *sink, uintptr_t network, uint32_t time_out_s) {
  log_step("HttpGetStart");
  object->_state = HTTPGET_IDLE;
  object->_sink = sink;
  object->_stopped = 0;
  object->_running = 1;
  if (time_out_s) object->_time_out_s = time_out_s;
  object->_network = network;
  object->m_dwFileLength = object->m_dwCurRead = 0;
  object->_body_sent = 0;
  object->_requested_length = sink ? sink->_length : 0;
  if (!object->m_szResponseHeader)
    object->m_szResponseHeader = static_cast<char *>(std::malloc(HTTPGET_HEADER_BYTES + 1));
  if (!object->m_szResponseHeader) {
    HttpGetEnd(object);
    return;
  }
  HttpGetGetThreadBranch(object);
}

void HttpGetGetThreadBranch(HttpGet *object) {
  log_step("HttpGetGetThreadBranch");
  if (object->_stopped.load() || object->_attempts >= int32_t(HTTPGET_MAX_ATTEMPTS)) {
    HttpGetEnd(object);
    return;
  }
  HttpGetSink *sink = object->_sink;
  if (sink) {
    object->_range_start = uint64_t(sink->_offset) + sink->_received;
    // A sink without a length asks for no range.
    object->_range_end = sink->_length ? uint64_t(sink->_offset) + sink->_length - 1 : 0xFFFFFFFFu;
  } else {
    object->_range_start = object->_range_end = 0;
  }
  object->_state = HTTPGET_SENT;
  if (!split_url(object)) {
    HttpGetEnd(object);
    return;
  }
  HttpGetFormatRequest(object);
  object->_socket_tries = 0;
  HttpGetSendRequestLoop(object);
}

void failed_attempt(HttpGet *object) {
  if (object->_post && object->_body_sent) {
    // The server has the whole POST: sending it again could do twice what
    // it asks. What failed after it ends the request with nothing.
    if (object->_sink) object->_sink->_received = 0;
    HttpGetEnd(object);
    return;
  }
  object->_attempts++;
  HttpGetGetThreadBranch(object);
}

// "http://host[:port][/path]"; the port must be 1..65535.
int split_url(HttpGet *object) {
  const char *url = object->_url;
  if (std::strlen(url) < k_http_len || std::strncmp(url, k_http, k_http_len) != 0) return 0;
  const char *rest = url + k_http_len;
  const char *slash = std::strchr(rest, '/');
  size_t host_length = slash ? size_t(slash - rest) : std::strlen(rest);
  if (host_length == 0) return 0;
  std::memcpy(object->_host, rest, host_length);
  object->_host[host_length] = 0;
  copy_cut(object->_path, sizeof object->_path, slash ? slash : "/");
  object->_port = k_default_port;
  if (char *colon = std::strchr(object->_host, ':')) {
    *colon = 0;
    const char *p = colon + 1;
    uint64_t port = 0;
    if (!parse_number(p, 0xFFFF, &port) || *p || port == 0) return 0;
    object->_port = uint32_t(port);
    if (!object->_host[0]) return 0;
  }
  return 1;
}

void HttpGetFormatRequest(HttpGet *object) {
  std::string &r = object->_request;
  char number[64];
  r.clear();
  r += object->_post ? "POST " : "GET ";
  if (object->_proxy_port) {
    std::snprintf(number, sizeof number, ":%u", object->_port);
    r += k_http;
    r += object->_host;
    r += number;
  }
  r += object->_path;
  r += " HTTP/1.0\r\n";
  std::snprintf(number, sizeof number, ":%u\r\n", object->_port);
  r += "Host: ";
  r += object->_host;
  r += number;
  r += "Accept: */*\r\n";
  r += "Accept-Charset: gb2312, iso-8859-1, us-ascii, utf-8\r\n";
  r += "Accept-Language: zh-ch, zh, en\r\n";
  r += "Connection: close\r\n";
  r += "User-Agent: ";
  r += object->_user_agent;
  r += "\r\n";
  object->_range_asked = !object->_post && object->_range_end > object->_range_start &&
                         object->_range_end != 0xFFFFFFFFu;
  if (object->_post) {
    std::snprintf(number, sizeof number, "Content-Length: %zu\r\n", object->_post_body.size());
    r += number;
  } else if (object->_range_asked) {
    std::snprintf(number, sizeof number, "Range: bytes=%llu-%llu\r\n",
                  static_cast<unsigned long long>(object->_range_start),
                  static_cast<unsigned long long>(object->_range_end));
    r += number;
  }
  if (object->_extra_headers[0]) {
    r += object->_extra_headers;
    r += "\r\n";
  }
  r += "\r\n";
  if (r.size() < 65536) log_step("HttpGetFormatRequest,%s", r.c_str());
  if (object->_post) r += object->_post_body;
}

void HttpGetSendRequestLoop(HttpGet *object) {
  log_step("HttpGetSendRequestLoop");
  while (!object->_stopped.load() && object->_socket_tries < int32_t(HTTPGET_MAX_SOCKET_TRIES)) {
    close_socket(object);
    void *socket = object->_sockets->create(object->_network);
    if (!socket) {
      object->_socket_tries++;
      continue;
    }
    {
      // A cancel from now on finds the new socket and shuts it down.
      std::lock_guard<std::mutex> lock(object->_lock);
      object->m_nSocketID = socket;
      if (object->_stopped.load()) break;
    }
    HttpGetConnectServerBranch(object);
    return;
  }
  if (object->_stopped.load()) {
    HttpGetEnd(object);
    return;
  }
  failed_attempt(object);
}

void HttpGetConnectServerBranch(HttpGet *object) {
  log_step("HttpGetConnectServerBranch");
  bool proxy = object->_proxy_port != 0;
  object->_sockets->connect(object->m_nSocketID, proxy ? object->_proxy_host : object->_host,
                            proxy ? object->_proxy_port : object->_port, object->_time_out_s, object,
                            HttpGetAfterConnect);
}

void HttpGetAfterConnect(HttpGet *object, int connected) {
  log_step("HttpGetAfterConnect");
  if (object->_stopped.load()) {
    HttpGetEnd(object);
    return;
  }
  if (!connected) {
    log_step("connect fail");
    failed_attempt(object);
    return;
  }
  object->_sent = 0;
  HttpGetSocketWriteBranch(object);
}

void HttpGetSocketWriteBranch(HttpGet *object) {
  log_step("HttpGetSocketWriteBranch");
  if (object->_stopped.load() || object->_socket_tries >= int32_t(HTTPGET_MAX_SOCKET_TRIES)) {
    HttpGetEnd(object);
    return;
  }
  if (object->_sent >= object->_request.size()) {
    object->_body_sent = 1;
    HttpGetSocketReadResponseBranch(object);
    return;
  }
  object->_sockets->send(object->m_nSocketID, object->_request.data() + object->_sent,
                         uint32_t(object->_request.size() - object->_sent), object->_time_out_s, object,
                         HttpGetAfterSocketWrite);
}

void HttpGetAfterSocketWrite(HttpGet *object, int status, uint32_t count) {
  log_step("HttpGetAfterSocketWrite");
  uint32_t left = uint32_t(object->_request.size() - object->_sent);
  count = std::min(count, left);
  if (status == TC_SOCKET_DONE && count > 0) {
    object->_sent += count;
    object->_socket_tries = 0;
  } else if (status == TC_SOCKET_DONE || status == TC_SOCKET_TIMEOUT) {
    object->_sent += count;
    object->_socket_tries++;
  } else {
    HttpGetEnd(object);
    return;
  }
  HttpGetSocketWriteBranch(object);
}

void HttpGetSocketReadResponseBranch(HttpGet *object) {
  log_step("HttpGetSocketReadResponseBranch");
  std::memset(object->m_szResponseHeader, 0, HTTPGET_HEADER_BYTES + 1);
  object->_header_read = 0;
  object->m_bReadRespone = 1;
  object->_read_failed = 0;
  HttpGetSocketReadBranch(object);
}

void HttpGetSocketReadBranch(HttpGet *object) {
  log_step("HttpGetSocketReadBranch");
  if (object->_stopped.load()) {
    HttpGetEnd(object);
    return;
  }
  if (object->m_bReadRespone) {
    object->_sockets->recv(object->m_nSocketID, object->m_szResponseHeader + object->_header_read,
                           HTTPGET_HEADER_BYTES - object->_header_read, object->_time_out_s, object,
                           HttpGetAfterSocketRead);
  } else {
    object->_sockets->recv(object->m_nSocketID, reinterpret_cast<char *>(object->_sink->_buffer) + object->m_dwCurRead,
                           object->_need - object->m_dwCurRead, object->_time_out_s, object,
                           HttpGetAfterSocketRead);
  }
}

void HttpGetAfterSocketRead(HttpGet *object, int status, uint32_t count) {
  log_step("HttpGetAfterSocketRead");
  if (object->_stopped.load()) {
    HttpGetEnd(object);
    return;
  }
  uint32_t room = object->m_bReadRespone ? HTTPGET_HEADER_BYTES - object->_header_read
                                         : object->_need - object->m_dwCurRead;
  count = std::min(count, room);
  bool closed = false;
  if (status == TC_SOCKET_DONE && count > 0) {
    object->_socket_tries = 0;
  } else if (status == TC_SOCKET_DONE || status == TC_SOCKET_TIMEOUT) {
    closed = status == TC_SOCKET_TIMEOUT && object->_sockets->peer_closed(object->m_nSocketID);
    if (status == TC_SOCKET_TIMEOUT) log_step("HttpGetAfterSocketRead:: TC_SOCKET_TIMEOUT");
    object->_socket_tries++;
  } else {
    log_step("HttpGetAfterSocketRead:: TC_SOCKET_ERROR");
    object->_read_failed = 1;
    count = 0;
  }
  if (object->_socket_tries >= int32_t(HTTPGET_MAX_SOCKET_TRIES)) {
    log_step("HttpGetAfterSocketRead:: MAX_SOCKET_TRY_NUM");
    object->_read_failed = 1;
  }

  if (object->m_bReadRespone) {
    object->_header_read += count;
    // Nothing more comes on a connection that the peer closed.
    if (closed) object->_read_failed = 1;
    char *header = object->m_szResponseHeader;
    header[object->_header_read] = 0;
    char *end = nullptr;
    if (object->_header_read > 4) {
      for (uint32_t i = 0; i + 4 <= object->_header_read; i++) {
        if (std::memcmp(header + i, "\r\n\r\n", 4) == 0) {
          end = header + i;
          break;
        }
      }
    }
    if (end) {
      uint32_t header_length = uint32_t(end - header) + 2;  // the last line keeps its CR LF
      uint32_t body_at = header_length + 2;
      object->m_dwResponseSaveLen = object->_header_read - body_at;
      std::memcpy(object->_early_body, header + body_at, object->m_dwResponseSaveLen);
      header[header_length] = 0;
      HttpGetAfterSocketReadResponse(object);
    } else if (!object->_read_failed && object->_header_read < HTTPGET_HEADER_BYTES) {
      HttpGetSocketReadBranch(object);
    } else {
      // Sending on a new connection would clear the tries again, so a server
      // that resets every request or sends an endless header would keep the
      // client reconnecting for ever: a header that never ends is a failed
      // attempt.
      failed_attempt(object);
    }
    return;
  }

  object->m_dwCurRead += count;
  if (closed && object->_close_delimited) {
    // The peer's close is the end of a body whose length was never given.
    object->_need = object->m_dwCurRead;
    object->_read_failed = 0;
  } else if (closed) {
    object->_read_failed = 1;
  }
  body_step(object);
}

void HttpGetAfterSocketReadResponse(HttpGet *object) {
  std::memcpy(object->_header_copy, object->m_szResponseHeader, HTTPGET_HEADER_BYTES + 1);
  char *header = object->m_szResponseHeader;
  for (char *p = header; *p; p++)
    if (*p >= 'A' && *p <= 'Z') *p = char(*p - 'A' + 'a');
  int status = 0;
  bool good = parse_status(header, &status) != 0;
  if (good && status == 302 && object->_post) {
    failed_attempt(object);  // a POST is not sent again, not even elsewhere
    return;
  }
  if (good && status == 302) {
    object->_redirects++;
    const char *at = find_field(header, "location:");
    if (object->_redirects > int32_t(HTTPGET_MAX_REDIRECTS) || !at) {
      HttpGetEnd(object);
      return;
    }
    while (*at == ' ' || *at == '\t') at++;
    size_t length = std::strcspn(at, " \t\r\n");
    if (length == 0 || length >= sizeof object->_url) {
      HttpGetEnd(object);
      return;
    }
    // The address keeps its letter case: take it from the copy.
    std::memcpy(object->_url, object->_header_copy + (at - header), length);
    object->_url[length] = 0;
    object->_redirected = 1;
    if (!split_url(object)) {
      HttpGetEnd(object);
      return;
    }
    HttpGetFormatRequest(object);
    HttpGetSendRequestLoop(object);
    return;
  }
  object->_close_delimited = 0;
  if (good && status >= 100 && status < 300 && object->_sink) {
    HttpGetSink *sink = object->_sink;
    uint64_t start = 0, end = 0, length = 0;
    if (const char *range = find_field(header, "content-range:")) {
      const char *p = range;
      while (*p == ' ' || *p == '\t') p++;
      good = std::strncmp(p, "bytes", 5) == 0;
      p += good ? 5 : 0;
      good = good && parse_number(p, 0xFFFFFFFFu, &start) && *p++ == '-' && parse_number(p, 0xFFFFFFFFu, &end) &&
             *p++ == '/' && parse_number(p, 0xFFFFFFFFu, &length) && at_line_end(p) && start <= end && end < length;
    } else if (const char *field = find_field(header, "content-length:")) {
      const char *p = field;
      good = parse_number(p, 0xFFFFFFFFu, &length) && at_line_end(p);
      end = length - 1;  // below the start for an empty body: tested as such
    } else {
      // No length: read to the peer's close, at most what the sink wants.
      object->_close_delimited = 1;
      length = sink->_length ? sink->_length : sink->_capacity;
      end = length - 1;
    }
    if (good) {
      object->m_dwFileLength = uint32_t(length);
      object->_range_start = start;
      object->_range_end = end;
      if (length == 0) object->_range_end = start - 1;
    }
  } else if (!(good && status >= 100 && status < 300)) {
    good = false;
  }
  if (!good) {
    failed_attempt(object);
    return;
  }
  HttpGetAfterSendRequest(object);
}

void HttpGetAfterSendRequest(HttpGet *object) {
  log_step("HttpGetAfterSendRequest");
  // The failed attempts are not forgiven at a good header: a server that
  // answers well and then fails the same way each time would be asked for
  // ever.
  object->_state = HTTPGET_HEADER_OK;
  HttpGetSink *sink = object->_sink;
  if (!sink) {
    HttpGetEnd(object);
    return;
  }
  // Windows are worked out in 64 bits: an empty range has end = start - 1.
  const uint64_t start = object->_range_start, end = object->_range_end;
  const bool empty = end + 1 == start;
  if (sink->_received > 0) {
    uint64_t want_start = uint64_t(sink->_offset) + sink->_received;
    uint64_t want_end = uint64_t(sink->_offset) + sink->_length - 1;
    if (object->_close_delimited || start != want_start || end != want_end) {
      sink->_received = 0;
      HttpGetEnd(object);
      return;
    }
  } else if (object->_range_asked && sink->_offset != 0 && object->_range_start == 0 && !empty) {
    failed_attempt(object);
    return;
  } else if (empty) {
    if (object->m_dwFileLength == k_unknown_length) {
      failed_attempt(object);
      return;
    }
    HttpGetEnd(object);
    return;
  } else {
    sink->_offset = uint32_t(start);
    sink->_length = uint32_t(std::min<uint64_t>(end - start + 1, sink->_capacity));
  }
  uint32_t want = std::min(sink->_length, sink->_capacity);
  uint32_t early = std::min(object->m_dwResponseSaveLen, want - std::min(want, sink->_received));
  std::memcpy(sink->_buffer + sink->_received, object->_early_body, early);
  object->m_bReadRespone = 0;
  object->_read_failed = 0;
  object->_need = want;
  object->m_dwCurRead = sink->_received + early;
  body_step(object);
}

void body_step(HttpGet *object) {
  HttpGetSink *sink = object->_sink;
  sink->_received = object->m_dwCurRead;
  bool complete = object->m_dwCurRead >= object->_need;
  if (complete) {
    body_complete(object);
  } else if (object->_read_failed) {
    log_step("Read fail");
    if (object->_post || object->_close_delimited) {
      // Neither can be resumed: a POST never asks for a range and a body
      // without a length has none. Asking again would only send the POST
      // twice and end with nothing, so it ends with nothing now.
      sink->_received = 0;
      HttpGetEnd(object);
      return;
    }
    if (sink->_received > 0) sink->_received--;
    failed_attempt(object);
  } else {
    if (object->_callback) {
      callback_frame frame = {object, false, false, t_callbacks};
      t_callbacks = &frame;
      object->_callback(object, object->_callback_arg);
      t_callbacks = frame.outer;
    }
    HttpGetSocketReadBranch(object);
  }
}

void body_complete(HttpGet *object) {
  HttpGetSink *sink = object->_sink;
  if (object->_close_delimited) {
    sink->_length = object->m_dwCurRead;
    object->m_dwFileLength = object->m_dwCurRead;
    object->_range_start = 0;
    object->_range_end = uint64_t(object->m_dwCurRead) - 1;
  }
  // A POST's answer read whole is its answer, whatever it says.
  if (!object->_post && is_interstitial(object)) {
    log_step("WAP FORM");
    sink->_offset = 0;
    sink->_length = object->_requested_length;
    sink->_received = 0;
    failed_attempt(object);
    return;
  }
  log_step("Read OK");
  object->_state = HTTPGET_BODY_OK;
  HttpGetEnd(object);
}

// A short whole object that names its own address is the operator's page
// standing in for the answer: the request is made again.
int is_interstitial(HttpGet *object) {
  HttpGetSink *sink = object->_sink;
  if (object->_range_start != 0 || object->_range_end + 1 != object->m_dwFileLength ||
      object->m_dwFileLength >= HTTPGET_HEADER_BYTES)
    return 0;
  std::string text(reinterpret_cast<const char *>(sink->_buffer), sink->_received);
  if (!std::strstr(object->_path, "&amp;")) {
    for (size_t at; (at = text.find("&amp;")) != std::string::npos;) text.replace(at, 5, "&");
  }
  char port[16];
  std::snprintf(port, sizeof port, ":%u", object->_port);
  std::string self = std::string(k_http) + object->_host + port + object->_path;
  return text.find(self) != std::string::npos;
}

void HttpGetEnd(HttpGet *object) {
  std::unique_lock<std::mutex> lock(object->_lock);
  object->_stopped = 1;
  object->_sink = nullptr;
  object->_request.clear();
  object->_request.shrink_to_fit();
  object->_in_end_callback = true;
  object->_running = 0;
  lock.unlock();
  callback_frame frame = {object, true, false, t_callbacks};
  t_callbacks = &frame;
  if (object->_callback) object->_callback(object, object->_callback_arg);
  t_callbacks = frame.outer;
  if (frame.destroyed) return;
  lock.lock();
  object->_in_end_callback = false;
  object->_ended.notify_all();
}

// The value of a field that starts a line of the lower-cased header.
const char *find_field(const char *header, const char *name) {
  std::string needle = std::string("\r\n") + name;
  const char *at = std::strstr(header, needle.c_str());
  return at ? at + needle.size() : nullptr;
}

// A decimal number after optional blanks, at most max; no sign, no locale.
int parse_number(const char *&p, uint64_t max, uint64_t *out) {
  while (*p == ' ' || *p == '\t') p++;
  if (*p < '0' || *p > '9') return 0;
  uint64_t value = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    value = value * 10 + uint64_t(*p - '0');
    if (value > max) return 0;
  }
  *out = value;
  return 1;
}

int at_line_end(const char *p) {
  while (*p == ' ' || *p == '\t') p++;
  return *p == '\r' || *p == 0;
}

// "http/<major>[.<minor>] <status>" at the start of the lower-cased header.
int parse_status(const char *header, int *status) {
  if (std::strncmp(header, "http/", 5) != 0) return 0;
  const char *p = header + 5;
  uint64_t number = 0;
  if (!parse_number(p, 9, &number)) return 0;
  if (*p == '.') {
    p++;
    if (!parse_number(p, 9, &number)) return 0;
  }
  if (*p != ' ' && *p != '\t') return 0;
  if (!parse_number(p, 999, &number) || number < 100) return 0;
  *status = int(number);
  return 1;
}

}  // namespace
