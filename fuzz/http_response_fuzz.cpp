// Feeds scripted server answers to the HTTP client through an in-memory
// socket table, so every step runs here, one after the other.
//
// Input: one options byte, then the answers of successive connections
// separated by "@@@\n"; once they run out every further connection gets the
// last one again, so a client that never stops asking is seen. Inside an answer, "|1" ends a receive piece, "|2" is a
// receive that times out, "|3" one that fails and "|c" (first) a connection
// that is refused; the end of an answer is the peer closing. "{self}" is the
// requested server's address, for redirect chains. Options: bit 0 POST, bit 1
// proxy, bits 2-3 the sink's capacity (16, 1024, 5120, 65536), bit 4 a window
// from offset 100, bit 5 a window of 3000 bytes.
// Checks: the request ends within a bounded number of steps with one end
// call, the sink never claims more than its capacity, and a complete body
// fills its window.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "http_get.h"

namespace {

constexpr int k_max_steps = 200000;
const uint32_t k_capacities[4] = {16, 1024, 5120, 65536};

struct piece {
  std::string bytes;
  int status;  // 1 data, 2 time-out, 3 error
};

struct answer {
  bool refused = false;
  std::vector<piece> pieces;
  size_t next = 0;
  size_t at = 0;  // within pieces[next]
};

struct fake_socket {
  answer *script = nullptr;
  bool shut = false;
  bool closed = false;
};

enum op_kind { OP_NONE, OP_CONNECT, OP_SEND, OP_RECV };

struct world {
  std::vector<answer> answers;  // played in order, then the last one again and again
  std::deque<answer> playing;   // the answers of the latest connections
  size_t next_answer = 0;
  op_kind op = OP_NONE;
  fake_socket *socket = nullptr;
  char *buffer = nullptr;
  uint32_t length = 0;
  HttpGet *owner = nullptr;
  TC_socketConnectFn on_connect = nullptr;
  TC_socketIoFn on_io = nullptr;
  int ends = 0;
};

world *g_world;

void *fake_create(uintptr_t) { return new fake_socket(); }
void fake_close(void *s) { delete static_cast<fake_socket *>(s); }
void fake_shutdown(void *s) { static_cast<fake_socket *>(s)->shut = true; }
void fake_connect(void *s, const char *, uint32_t, uint32_t, HttpGet *owner, TC_socketConnectFn done) {
  if (g_world->op != OP_NONE) std::abort();  // one operation at a time
  g_world->op = OP_CONNECT;
  g_world->socket = static_cast<fake_socket *>(s);
  g_world->owner = owner;
  g_world->on_connect = done;
}
void fake_io(op_kind kind, void *s, char *buffer, uint32_t length, HttpGet *owner, TC_socketIoFn done) {
  if (g_world->op != OP_NONE) std::abort();
  g_world->op = kind;
  g_world->socket = static_cast<fake_socket *>(s);
  g_world->buffer = buffer;
  g_world->length = length;
  g_world->owner = owner;
  g_world->on_io = done;
}
void fake_send(void *s, const char *buffer, uint32_t length, uint32_t, HttpGet *owner, TC_socketIoFn done) {
  fake_io(OP_SEND, s, const_cast<char *>(buffer), length, owner, done);
}
void fake_recv(void *s, char *buffer, uint32_t length, uint32_t, HttpGet *owner, TC_socketIoFn done) {
  fake_io(OP_RECV, s, buffer, length, owner, done);
}
int fake_peer_closed(void *s) { return static_cast<fake_socket *>(s)->closed; }

const HttpGetSocketTable k_fake = {fake_create, fake_close, fake_shutdown, fake_connect,
                                   fake_send,   fake_recv,  fake_peer_closed};

// Completes the pending operation; false when there is none.
bool step(world &w) {
  op_kind op = w.op;
  if (op == OP_NONE) return false;
  w.op = OP_NONE;
  fake_socket *s = w.socket;
  if (op == OP_CONNECT) {
    answer *a = nullptr;
    if (!w.answers.empty()) {
      w.playing.push_back(w.answers[std::min(w.next_answer++, w.answers.size() - 1)]);
      // The client closes a socket before it connects the next one.
      if (w.playing.size() > 2) w.playing.pop_front();
      a = &w.playing.back();
    }
    bool ok = a && !a->refused && !s->shut;
    s->script = ok ? a : nullptr;
    w.on_connect(w.owner, ok);
    return true;
  }
  if (op == OP_SEND) {
    uint32_t n = std::min<uint32_t>(w.length, 4096);
    volatile uint8_t sum = 0;  // the request bytes must be readable
    for (uint32_t i = 0; i < n; i++) sum = uint8_t(sum + uint8_t(w.buffer[i]));
    if (s->shut || !s->script) w.on_io(w.owner, 3, 0);
    else w.on_io(w.owner, 1, n);
    return true;
  }
  answer *a = s->script;
  if (s->shut || !a || a->next >= a->pieces.size()) {
    s->closed = true;
    w.on_io(w.owner, 2, 0);
    return true;
  }
  piece &p = a->pieces[a->next];
  if (p.status != 1) {
    a->next++;
    w.on_io(w.owner, p.status, 0);
    return true;
  }
  uint32_t n = uint32_t(std::min<size_t>(w.length, p.bytes.size() - a->at));
  std::memcpy(w.buffer, p.bytes.data() + a->at, n);
  a->at += n;
  if (a->at >= p.bytes.size()) {
    a->next++;
    a->at = 0;
  }
  w.on_io(w.owner, 1, n);
  return true;
}

answer parse_answer(std::string text) {
  answer a;
  for (size_t at; (at = text.find("{self}")) != std::string::npos;) text.replace(at, 6, "fuzz.test:80");
  if (text.compare(0, 2, "|c") == 0) {
    a.refused = true;
    return a;
  }
  std::string current;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == '|' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '3') {
      int status = text[i + 1] - '0';
      if (!current.empty()) a.pieces.push_back({current, 1});
      current.clear();
      if (status != 1) a.pieces.push_back({std::string(), status});
      i++;
    } else {
      current += text[i];
    }
  }
  if (!current.empty()) a.pieces.push_back({current, 1});
  return a;
}

void on_event(HttpGet *get, void *arg) {
  if (!HttpGetIsRunning(get)) static_cast<world *>(arg)->ends++;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint8_t options = data[0];
  std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
  world w;
  g_world = &w;
  for (size_t from = 0; from <= rest.size() && w.answers.size() < 64;) {
    size_t end = rest.find("@@@\n", from);
    if (end == std::string::npos) end = rest.size();
    w.answers.push_back(parse_answer(rest.substr(from, end - from)));
    from = end + 4;
  }
  const uint32_t capacity = k_capacities[(options >> 2) & 3];
  HttpGetSink *sink = HttpGetSinkCreate(capacity);
  HttpGet *get = HttpGetCreate();
  if (!sink || !get) std::abort();
  if (options & 0x10) HttpGetSinkSetOffset(sink, 100);
  if (options & 0x20) HttpGetSinkSetLength(sink, 3000);
  HttpGetSetSocketTable(get, &k_fake);
  HttpGetSetCallback(get, on_event, &w);
  if (options & 1) HttpGetSetPostData(get, "field=value", 11);
  const bool proxy = options & 2;
  HttpGetRequest(get, sink, 0, "http://fuzz.test/pic?id=7&amp;x=1", proxy ? "127.0.0.1" : "", proxy ? 8080 : 0, 30,
                 options & 1);
  int steps = 0;
  while (step(w))
    if (++steps > k_max_steps) std::abort();  // the client never stops asking
  if (HttpGetIsRunning(get) || w.ends != 1) std::abort();
  if (sink->_received > sink->_capacity || (get->_state == HTTPGET_BODY_OK && sink->_received != sink->_length))
    std::abort();
  HttpGetDestroy(get);
  HttpGetSinkDestroy(sink);
  return 0;
}
