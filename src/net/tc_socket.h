// TC_socket: the HTTP client's adapter over net_socket.
//
// Turns the socket's results into the client's status codes and calls the
// client's completion functions with the owning request. Owns its
// net_socket; the same worker-thread rules hold (see net_socket.h).
#pragma once

#include <cstdint>

#include "net_socket.h"

struct HttpGet;

enum { TC_SOCKET_DONE = 1, TC_SOCKET_TIMEOUT = 2, TC_SOCKET_ERROR = 3 };

typedef void (*TC_socketConnectFn)(HttpGet *owner, int connected);
typedef void (*TC_socketIoFn)(HttpGet *owner, int status, uint32_t count);

struct TC_socket {
  net_socket *_socket;
  HttpGet *_owner;
  TC_socketConnectFn _on_connect;
  TC_socketIoFn _on_send;
  TC_socketIoFn _on_recv;
};

// A stream socket, or null.
TC_socket *TC_socketCreate(uintptr_t network);
void TC_socketClose(TC_socket *adapter);
void TC_socketShutdown(TC_socket *adapter);
void TC_socketConnect(TC_socket *adapter, const char *host, uint32_t port, uint32_t time_out_s, HttpGet *owner,
                      TC_socketConnectFn done);
void TC_socketSend(TC_socket *adapter, const char *buffer, uint32_t length, uint32_t time_out_s, HttpGet *owner,
                   TC_socketIoFn done);
void TC_socketRecv(TC_socket *adapter, char *buffer, uint32_t length, uint32_t time_out_s, HttpGet *owner,
                   TC_socketIoFn done);
// 1 when the last receive's status 2 was the peer closing the connection.
int TC_socketPeerClosed(TC_socket *adapter);
