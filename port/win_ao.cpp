// win_ao: active objects and their scheduler.
#include "win_ao.h"

#include <mutex>

#include "port_log.h"
#include "wins_window.h"

// A pass's place in the list: the object it visits next. Passes nest when a
// run function opens a nested loop, so the cursors form a stack.
struct win_ao_cursor {
  win_ao *next;
  win_ao_cursor *outer;
};

struct win_ao_list {
  win_ao head;
  std::mutex mutex;
  win_ao_cursor *cursors;
};

namespace {

win_ao_list *list_of_context() {
  wins_window_context *context = wins_window_get_context();
  return context ? context->_active_objects : nullptr;
}

void link_front(win_ao_list *list, win_ao *ao);
void unlink(win_ao_list *list, win_ao *ao);

}  // namespace

int tregistry_init_active_objects() {
  wins_window_context *context = wins_window_get_context();
  PORT_CHECK(context != nullptr);
  if (context->_active_objects) return 0;
  win_ao_list *list = new win_ao_list();
  list->head._next = list->head._prev = &list->head;
  list->cursors = nullptr;
  context->_active_objects = list;
  return 1;
}

void tregistry_free_active_objects() {
  wins_window_context *context = wins_window_get_context();
  if (!context || !context->_active_objects) return;
  win_ao_list *list = context->_active_objects;
  {
    std::lock_guard<std::mutex> lock(list->mutex);
    win_ao *ao = list->head._next;
    while (ao != &list->head) {
      win_ao *next = ao->_next;
      ao->_signalled.store(0);
      ao->_next = ao->_prev = nullptr;
      ao = next;
    }
  }
  context->_active_objects = nullptr;
  delete list;
}

void tregistry_add_active_object(win_ao *ao) {
  win_ao_list *list = list_of_context();
  PORT_CHECK(ao != nullptr && list != nullptr);
  std::lock_guard<std::mutex> lock(list->mutex);
  if (!ao->_next) link_front(list, ao);
}

void tregistry_remove_active_object(win_ao *ao) {
  win_ao_list *list = list_of_context();
  PORT_CHECK(ao != nullptr && list != nullptr);
  std::lock_guard<std::mutex> lock(list->mutex);
  if (ao->_next) unlink(list, ao);
}

void tregistry_cancel_active_objects() {
  win_ao_list *list = list_of_context();
  PORT_CHECK(list != nullptr);
  std::lock_guard<std::mutex> lock(list->mutex);
  for (win_ao *ao = list->head._next; ao != &list->head; ao = ao->_next) ao->_signalled.store(0);
}

win_ao *win_ao_new(uint32_t unused) {
  (void)unused;
  win_ao_list *list = list_of_context();
  PORT_CHECK(list != nullptr);
  win_ao *ao = new win_ao();
  std::lock_guard<std::mutex> lock(list->mutex);
  link_front(list, ao);
  return ao;
}

void win_ao_free(win_ao *ao) {
  win_ao_list *list = list_of_context();
  PORT_CHECK(ao != nullptr && list != nullptr);
  {
    std::lock_guard<std::mutex> lock(list->mutex);
    ao->_signalled.store(0);
    if (ao->_next) unlink(list, ao);
  }
  delete ao;
}

void win_ao_set_run(win_ao *ao, win_ao_run_fn run) {
  PORT_CHECK(ao != nullptr && list_of_context() != nullptr);
  ao->_run = run;
}

void win_ao_set_user_data(win_ao *ao, void *user_data) {
  PORT_CHECK(ao != nullptr && list_of_context() != nullptr);
  ao->_user_data = user_data;
}

void *win_ao_get_user_data(win_ao *ao) {
  PORT_CHECK(ao != nullptr && list_of_context() != nullptr);
  return ao->_user_data;
}

int win_ao_is_signalled(win_ao *ao) {
  PORT_CHECK(ao != nullptr && list_of_context() != nullptr);
  return ao->_signalled.load();
}

int win_ao_signal(win_ao *ao) {
  PORT_CHECK(ao != nullptr && list_of_context() != nullptr);
  ao->_signalled.store(1);
  wins_window_post_to_frame(WINS_MSG_RUN_ACTIVE_OBJECTS, 0, 0);
  return 1;
}

void win_ao_cancel(win_ao *ao) {
  PORT_CHECK(ao != nullptr && list_of_context() != nullptr);
  ao->_signalled.store(0);
}

void win_ao_run_signalled() {
  win_ao_list *list = list_of_context();
  if (!list) return;
  std::unique_lock<std::mutex> lock(list->mutex);
  win_ao_cursor cursor{list->head._next, list->cursors};
  list->cursors = &cursor;
  while (cursor.next != &list->head) {
    win_ao *ao = cursor.next;
    cursor.next = ao->_next;
    if (!ao->_signalled.exchange(0)) continue;
    win_ao_run_fn run = ao->_run;
    if (!run) continue;
    void *user_data = ao->_user_data;
    lock.unlock();
    run(ao, user_data);
    lock.lock();
  }
  list->cursors = cursor.outer;
}

namespace {

// With the list locked.
void link_front(win_ao_list *list, win_ao *ao) {
  ao->_prev = &list->head;
  ao->_next = list->head._next;
  list->head._next->_prev = ao;
  list->head._next = ao;
}

// With the list locked. A pass about to visit the object visits its successor.
void unlink(win_ao_list *list, win_ao *ao) {
  for (win_ao_cursor *cursor = list->cursors; cursor; cursor = cursor->outer)
    if (cursor->next == ao) cursor->next = ao->_next;
  ao->_prev->_next = ao->_next;
  ao->_next->_prev = ao->_prev;
  ao->_next = ao->_prev = nullptr;
}

}  // namespace
