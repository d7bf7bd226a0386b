// HttpGet: an asynchronous HTTP/1.0 client, one request at a time per object.
//
// Driven by the socket layer's completions: after the first connect every
// step runs on the worker thread that finished the previous one and starts
// the next socket operation. Sends GET or POST, directly or through a proxy,
// follows up to 5 redirects (302), reads the body into a caller's sink with
// byte ranges, resumes a broken body with a Range request, and retries
// failed connections and requests a bounded number of times. Every end,
// good or bad, is one call of the callback with HttpGetIsRunning 0; the
// caller tells success by its sink.
// Owns its socket, its request and read buffers and a copy of the POST
// body; borrows the sink from HttpGetRequest to the end. The socket calls go
// through a table (TC_socket by default) that tests and fuzzing replace.
// A request ends after at most HTTPGET_MAX_ATTEMPTS failed attempts, a good
// header notwithstanding. A POST whose body went out whole is never sent
// again: what fails after it ends the request with nothing received, and an
// answer read whole is the answer (an operator's page is asked again only
// for a GET).
// HttpGetCancel is safe from any thread. HttpGetDestroy waits for a running
// request to end, so whoever destroys must not hold a lock that the callback
// takes; destroying from the object's own end callback is safe (the end
// touches the object no more), from a progress callback it is refused
// through the fatal reporter.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "tc_socket.h"

constexpr uint32_t HTTPGET_MAX_URL = 2048;
constexpr uint32_t HTTPGET_HEADER_BYTES = 5120;
constexpr uint32_t HTTPGET_MAX_ATTEMPTS = 4;
constexpr uint32_t HTTPGET_MAX_SOCKET_TRIES = 4;
constexpr uint32_t HTTPGET_MAX_REDIRECTS = 5;
constexpr uint32_t HTTPGET_DEFAULT_TIMEOUT_S = 30;

enum { HTTPGET_IDLE = 0, HTTPGET_SENT = 1, HTTPGET_HEADER_OK = 2, HTTPGET_BODY_OK = 3 };

// The caller's download buffer.
struct HttpGetSink {
  int32_t _marker;  // -1
  uint32_t _capacity;
  uint32_t _received;
  uint32_t _offset;  // position in the remote object of the buffer's first byte
  uint32_t _length;  // bytes wanted; 0: as many as the response has, up to the capacity
  uint8_t *_buffer;
};

// The socket calls of the client; the socket is opaque to it.
struct HttpGetSocketTable {
  void *(*create)(uintptr_t network);
  void (*close)(void *socket);
  void (*shutdown)(void *socket);
  void (*connect)(void *socket, const char *host, uint32_t port, uint32_t time_out_s, HttpGet *owner,
                  TC_socketConnectFn done);
  void (*send)(void *socket, const char *buffer, uint32_t length, uint32_t time_out_s, HttpGet *owner,
               TC_socketIoFn done);
  void (*recv)(void *socket, char *buffer, uint32_t length, uint32_t time_out_s, HttpGet *owner, TC_socketIoFn done);
  int (*peer_closed)(void *socket);
};

typedef void (*HttpGetCallback)(HttpGet *object, void *argument);

struct HttpGet {
  int32_t _state;
  char _url[HTTPGET_MAX_URL];
  int32_t _redirected;
  uint32_t m_dwFileLength;
  uint32_t m_dwCurRead;
  std::atomic<int32_t> _stopped;
  void *m_nSocketID;  // null: no connection
  char _host[HTTPGET_MAX_URL];
  char _path[HTTPGET_MAX_URL];
  uint32_t _port;
  char _proxy_host[32];
  uint32_t _proxy_port;
  uint32_t m_dwResponseSaveLen;
  uint8_t _early_body[HTTPGET_HEADER_BYTES];
  std::string _request;
  char *m_szResponseHeader;  // HTTPGET_HEADER_BYTES + 1, NUL-ended
  char _header_copy[HTTPGET_HEADER_BYTES + 1];
  uint32_t _header_read;  // bytes of the header buffer filled
  int32_t _attempts;
  int32_t _socket_tries;
  int32_t _redirects;
  uint64_t _range_start, _range_end;      // asked for, then granted
  int32_t _range_asked;                   // the request carries a Range line
  uint32_t _requested_length;
  HttpGetSink *_sink;
  std::atomic<int32_t> _running;
  uint32_t _sent;
  int32_t m_bReadRespone;
  int32_t _read_failed;
  int32_t _close_delimited;  // no length given: the peer's close ends the body
  uint32_t _need;
  int32_t _post;
  std::string _post_body;
  char _extra_headers[HTTPGET_MAX_URL];
  uint32_t _time_out_s;
  uintptr_t _network;
  char _user_agent[256];
  HttpGetCallback _callback;
  void *_callback_arg;
  const HttpGetSocketTable *_sockets;
  std::mutex _lock;  // guards the socket pointer against a cancel, and the end
  std::condition_variable _ended;
  bool _in_end_callback;
  int32_t _body_sent;  // the whole request, POST body included, went out
};

HttpGetSink *HttpGetSinkCreate(uint32_t capacity);
void HttpGetSinkDestroy(HttpGetSink *sink);
void HttpGetSinkInit(HttpGetSink *sink);
int HttpGetSinkAlloc(HttpGetSink *sink, uint32_t capacity);
void HttpGetSinkFreeBuffer(HttpGetSink *sink);
uint32_t HttpGetSinkGetReceived(HttpGetSink *sink);
uint8_t *HttpGetSinkGetBuffer(HttpGetSink *sink);
void HttpGetSinkSetOffset(HttpGetSink *sink, uint32_t offset);
void HttpGetSinkSetLength(HttpGetSink *sink, uint32_t length);

HttpGet *HttpGetCreate();
// Ends a running request first (see the header comment), then frees; also
// from the object's own end callback.
void HttpGetDestroy(HttpGet *object);
void HttpGetSetCallback(HttpGet *object, HttpGetCallback callback, void *argument);
void HttpGetSetPostData(HttpGet *object, const void *body, uint32_t length);
void HttpGetSetExtraHeaders(HttpGet *object, const char *text);
void HttpGetSetUserAgent(HttpGet *object, const char *text);
// Null restores the TC_socket table. Only between requests.
void HttpGetSetSocketTable(HttpGet *object, const HttpGetSocketTable *table);
// 1 when the request started (its end comes through the callback); 0 for a
// null object or one whose request still runs.
int HttpGetRequest(HttpGet *object, HttpGetSink *sink, uintptr_t network, const char *url, const char *proxy_host,
                   uint32_t proxy_port, uint32_t time_out_s, int post);
int HttpGetIsRunning(HttpGet *object);
// Stops a running request: the socket is shut down (never closed under a
// worker) and the request ends through the callback without waiting for
// time-outs. Any thread; nothing when no request runs.
void HttpGetCancel(HttpGet *object);
