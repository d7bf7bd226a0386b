// wince_connection: connection records, their use counts and poll threads.
#include "wince_connection.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "os_connmgr.h"
#include "os_thread.h"
#include "port_log.h"
#include "wins_window.h"

namespace {

// Proxies the connection may go through: HTTP, WAP, SOCKS4 and SOCKS5.
constexpr uint32_t k_request_flags = 15;
constexpr uint32_t k_param_destination = 1;
constexpr uint32_t k_priority_user_interactive = 0x8000;

}  // namespace

struct wince_connection {
  std::mutex mutex;               // guards _handle and _stop
  std::condition_variable wake;  // ends a poll thread's wait early
  uintptr_t _handle;
  wince_connection_fn _callback;
  int32_t _use_count;
  uint32_t _destination_index;
  void *_user_data;
  std::thread _poll;
  bool _stop;
  wince_connection *_next;
  wince_connection *_prev;
};

struct connmngr_list {
  wince_connection head;
};

namespace {

connmngr_list *list_of_context() {
  wins_window_context *context = wins_window_get_context();
  return context ? context->_connections : nullptr;
}

FILE *log_stream();
void poll_connection(wince_connection *conn);
void stop_polling(wince_connection *conn);
void drop_handle(wince_connection *conn);

}  // namespace

void tregistry_init_connections() {
  wins_window_context *context = wins_window_get_context();
  PORT_CHECK(context != nullptr);
  if (context->_connections) return;
  connmngr_list *list = new connmngr_list();
  list->head._next = list->head._prev = &list->head;
  context->_connections = list;
}

void tregistry_free_connections() {
  wins_window_context *context = wins_window_get_context();
  if (!context || !context->_connections) return;
  connmngr_list *list = context->_connections;
  wince_connection *conn = list->head._next;
  while (conn != &list->head) {
    wince_connection *next = conn->_next;
    conn->_use_count = 0;
    stop_polling(conn);
    if (conn->_poll.joinable()) conn->_poll.detach();  // only when torn down from its own callback
    drop_handle(conn);
    delete conn;
    conn = next;
  }
  context->_connections = nullptr;
  delete list;
}

wince_connection *wince_connection_get(uint32_t destination_index) {
  connmngr_list *list = list_of_context();
  if (!list) return nullptr;
  for (wince_connection *conn = list->head._next; conn != &list->head; conn = conn->_next) {
    if (conn->_destination_index == destination_index) {
      conn->_use_count++;
      return conn;
    }
  }
  wince_connection *conn = new wince_connection();
  conn->_destination_index = destination_index;
  conn->_use_count = 1;
  conn->_next = list->head._next;
  conn->_prev = &list->head;
  list->head._next->_prev = conn;
  list->head._next = conn;
  return conn;
}

void wince_connection_open(wince_connection *conn, wince_connection_fn callback, void *user_data) {
  PORT_CHECK(conn != nullptr && list_of_context() != nullptr);
  {
    std::unique_lock<std::mutex> lock(conn->mutex);
    if (conn->_handle) {
      lock.unlock();
      if (callback) callback(conn, 1, user_data);
      return;
    }
  }
  // A poll that ended (connected or gave up) left its thread to be joined.
  stop_polling(conn);
  if (conn->_poll.joinable()) conn->_poll.detach();  // opened again from its own callback
  os_connmgr_destination destination;
  os_connmgr_request request = {};
  uintptr_t handle = 0;
  if (os_connmgr_enum_destinations(conn->_destination_index, &destination) == 0) {
    request.size = sizeof request;
    request.params = k_param_destination;
    request.flags = k_request_flags;
    request.priority = k_priority_user_interactive;
    request.destination = destination.guid;
    if (os_connmgr_establish(&request, &handle) != 0) handle = 0;
  }
  if (!handle) {
    if (callback) callback(conn, 0, user_data);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(conn->mutex);
    conn->_handle = handle;
    conn->_stop = false;
  }
  conn->_callback = callback;
  conn->_user_data = user_data;
  if (int error = os_thread_start(conn->_poll, poll_connection, conn)) {
    // Nothing would watch the request: it is given back and the open fails.
    if (FILE *log = log_stream()) port_log_printf(log, "Connection poll thread: error %d\n", error);
    drop_handle(conn);
    if (callback) callback(conn, 0, user_data);
  }
}

void wince_connection_release(wince_connection *conn) {
  PORT_CHECK(conn != nullptr && list_of_context() != nullptr);
  if (conn->_use_count > 0) conn->_use_count--;
  if (conn->_use_count > 0) return;
  stop_polling(conn);
  drop_handle(conn);
}

namespace {

FILE *log_stream() {
  wins_window_context *context = wins_window_get_context();
  return context ? context->_log : nullptr;
}

void poll_connection(wince_connection *conn) {
  FILE *log = log_stream();
  for (int poll = 0; poll < WINCE_CONNECTION_POLLS; poll++) {
    uintptr_t handle;
    {
      std::lock_guard<std::mutex> lock(conn->mutex);
      if (conn->_stop) return;
      handle = conn->_handle;
    }
    uint32_t status = 0;
    if (os_connmgr_status(handle, &status) != 0) status = 0;
    if (log) port_log_printf(log, "Connection status: %d\n", int(status));
    if (status == OS_CONNMGR_STATUS_CONNECTED) {
      if (conn->_callback) conn->_callback(conn, 1, conn->_user_data);
      return;
    }
    std::unique_lock<std::mutex> lock(conn->mutex);
    conn->wake.wait_for(lock, std::chrono::milliseconds(os_connmgr_poll_sleep_ms()), [conn] { return conn->_stop; });
    if (conn->_stop) return;
  }
  // A request the manager never brought up is given back to it, so it does
  // not go on dialling for nobody.
  drop_handle(conn);
  if (conn->_callback) conn->_callback(conn, 0, conn->_user_data);
}

// Ends the record's poll thread and waits for it, unless this is that thread
// (a callback releasing its own record): it ends by itself after the callback.
void stop_polling(wince_connection *conn) {
  {
    std::lock_guard<std::mutex> lock(conn->mutex);
    conn->_stop = true;
  }
  conn->wake.notify_all();
  if (conn->_poll.joinable() && conn->_poll.get_id() != std::this_thread::get_id()) conn->_poll.join();
}

void drop_handle(wince_connection *conn) {
  std::lock_guard<std::mutex> lock(conn->mutex);
  if (conn->_handle) os_connmgr_release(conn->_handle, 0);
  conn->_handle = 0;
}

}  // namespace
