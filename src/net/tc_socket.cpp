// TC_socket: net_socket results in the HTTP client's codes.
#include "tc_socket.h"

#include <new>

#include "port_log.h"
#include "wins_window.h"

namespace {

void log_line(const char *text);
int client_status(int result);
void on_connect(net_socket *socket, int connected);
void on_send(net_socket *socket, int result, uint32_t count);
void on_recv(net_socket *socket, int result, uint32_t count);

}  // namespace

TC_socket *TC_socketCreate(uintptr_t network) {
  TC_socket *adapter = new (std::nothrow) TC_socket();
  if (!adapter) return nullptr;
  adapter->_socket = net_socket_create(network, 0);
  if (!adapter->_socket) {
    delete adapter;
    return nullptr;
  }
  net_socket_set_user(adapter->_socket, adapter);
  return adapter;
}

void TC_socketClose(TC_socket *adapter) {
  PORT_CHECK(adapter != nullptr);
  log_line("TC_socketClose 1.");
  net_socket_destroy(adapter->_socket);
  log_line("TC_socketClose 2.");
  delete adapter;
  log_line("TC_socketClose 3.");
}

void TC_socketShutdown(TC_socket *adapter) {
  PORT_CHECK(adapter != nullptr);
  net_socket_shutdown(adapter->_socket);
}

void TC_socketConnect(TC_socket *adapter, const char *host, uint32_t port, uint32_t time_out_s, HttpGet *owner,
                      TC_socketConnectFn done) {
  PORT_CHECK(adapter != nullptr);
  adapter->_owner = owner;
  adapter->_on_connect = done;
  net_socket_connect(adapter->_socket, host, port, time_out_s, on_connect);
}

void TC_socketSend(TC_socket *adapter, const char *buffer, uint32_t length, uint32_t time_out_s, HttpGet *owner,
                   TC_socketIoFn done) {
  PORT_CHECK(adapter != nullptr);
  adapter->_owner = owner;
  adapter->_on_send = done;
  net_socket_send(adapter->_socket, buffer, length, time_out_s, on_send);
}

void TC_socketRecv(TC_socket *adapter, char *buffer, uint32_t length, uint32_t time_out_s, HttpGet *owner,
                   TC_socketIoFn done) {
  PORT_CHECK(adapter != nullptr);
  adapter->_owner = owner;
  adapter->_on_recv = done;
  net_socket_recv(adapter->_socket, buffer, length, time_out_s, on_recv);
}

int TC_socketPeerClosed(TC_socket *adapter) {
  PORT_CHECK(adapter != nullptr);
  return net_socket_peer_closed(adapter->_socket);
}

namespace {

void log_line(const char *text) {
  wins_window_context *context = wins_window_get_context();
  if (context && context->_log) port_log_printf(context->_log, "%s\r\n", text);
}

int client_status(int result) {
  switch (result) {
    case NET_SOCKET_DONE: return TC_SOCKET_DONE;
    case NET_SOCKET_TIMEOUT: return TC_SOCKET_TIMEOUT;
    default: return TC_SOCKET_ERROR;
  }
}

void on_connect(net_socket *socket, int connected) {
  TC_socket *adapter = static_cast<TC_socket *>(net_socket_get_user(socket));
  if (adapter && adapter->_on_connect) adapter->_on_connect(adapter->_owner, connected);
}

void on_send(net_socket *socket, int result, uint32_t count) {
  TC_socket *adapter = static_cast<TC_socket *>(net_socket_get_user(socket));
  if (adapter && adapter->_on_send) adapter->_on_send(adapter->_owner, client_status(result), count);
}

void on_recv(net_socket *socket, int result, uint32_t count) {
  TC_socket *adapter = static_cast<TC_socket *>(net_socket_get_user(socket));
  if (adapter && adapter->_on_recv) adapter->_on_recv(adapter->_owner, client_status(result), count);
}

}  // namespace
