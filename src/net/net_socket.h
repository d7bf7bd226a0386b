// net_socket: the program's TCP sockets, asynchronous in the simplest way.
//
// Every connect, send and receive runs on a worker thread and reports
// through its completion callback on that thread; an owner starts the next
// operation from the callback, so the operations of one socket follow one
// another. An operation started inside a callback runs on the same worker
// once the callback has returned; one started from another thread goes to
// a worker that waits for work, or to a new one. The descriptor is non-blocking from the connect on; waits are
// poll()s bounded by the operation's time-out, however long. A name lookup
// runs on a thread of its own that a shutdown does not wait for. A worker
// that cannot be started fails its operation through the callback at once,
// on the calling thread (the error code goes to the debug log).
// Owns its descriptor. A worker borrows the socket object until its callback
// returns and touches nothing of it afterwards: the owner may destroy the
// socket once the last callback it started has been called. Shutting the
// socket down is the one thing safe while a worker runs: the worker wakes
// and reports, and the descriptor stays open until the owner destroys it.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <mutex>

// Results the callbacks receive.
enum {
  NET_SOCKET_DONE = 0,
  NET_SOCKET_ERROR = -1,
  NET_SOCKET_TIMEOUT = -2,  // also a peer that closed (receive: 0 bytes)
};

// Host names longer than this are refused.
constexpr int NET_SOCKET_MAX_HOST = 63;

struct net_socket;
struct net_lookup;
typedef void (*net_socket_connect_fn)(net_socket *socket, int connected);
typedef void (*net_socket_io_fn)(net_socket *socket, int result, uint32_t count);
// Looks a host name up (dotted quads never come here); 1 with the IPv4
// address in network order.
typedef int (*net_socket_resolver_fn)(const char *host, in_addr *address);

struct net_socket {
  int _fd;  // -1 for none
  std::mutex _mutex;  // orders a shutdown against a connect that is starting
  bool _shut;
  net_socket_connect_fn _on_connect;
  net_socket_io_fn _on_send;
  net_socket_io_fn _on_recv;
  void *_user;
  int _peer_closed;  // the last receive found the peer's end of the stream
  std::shared_ptr<net_lookup> _lookup;  // the connect's name lookup while it waits for one
  int _low_water;  // the receive low-water mark set on the descriptor (0: not set)
};

// A TCP socket (UDP when datagram is set), or null; the network parameter
// is not used on this system.
net_socket *net_socket_create(uintptr_t network, int datagram);
// Clears the callbacks, closes the descriptor, frees the object; null is ignored.
void net_socket_destroy(net_socket *socket);
// Wakes a worker waiting on this socket (a name lookup included) and fails
// every later operation.
void net_socket_shutdown(net_socket *socket);

// Connects within time_out_s seconds (0: no limit of ours); callback(socket, 1/0).
void net_socket_connect(net_socket *socket, const char *host, uint32_t port, uint32_t time_out_s,
                        net_socket_connect_fn callback);
// One send or receive of at most length bytes; callback(socket, result,
// count). The buffer stays the caller's and valid until the callback. A
// receive of more than 64 KiB reports when 256 KiB (or all it asked for)
// have come, the peer closed, or its time-out passed with what came by then;
// a shorter one reports the first bytes that come.
void net_socket_send(net_socket *socket, const void *buffer, uint32_t length, uint32_t time_out_s,
                     net_socket_io_fn callback);
void net_socket_recv(net_socket *socket, void *buffer, uint32_t length, uint32_t time_out_s,
                     net_socket_io_fn callback);

void net_socket_set_user(net_socket *socket, void *user);
void *net_socket_get_user(net_socket *socket);
// 1 when the last receive ended because the peer closed, not a time-out.
int net_socket_peer_closed(net_socket *socket);

// Replaces the name resolver (tests); null restores getaddrinfo. Returns the previous one.
net_socket_resolver_fn net_socket_set_resolver(net_socket_resolver_fn resolver);
// How many workers whose operations have ended wait for new ones (4; tests
// that need every operation to start a thread set 0). Returns the previous.
int net_socket_set_idle_workers(int count);
