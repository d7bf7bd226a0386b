// win_ao: active objects, the way any code (a worker thread included) asks
// the GUI thread to run a function soon.
//
// Signalling sets the object's flag and posts the "run active objects"
// message to the frame window; the GUI thread's pass (on that message and
// after every message of a nested loop) clears each set flag and runs the
// object. Several signals before a pass run the object once.
// The list (newest first) is guarded by a mutex, so objects may be created,
// signalled and cancelled from any thread; run functions are called with the
// lock released and may signal or free their own object, or open a nested
// loop. A pass keeps a cursor that unlinking moves on, so freeing any object
// during a pass never leaves the pass on freed memory.
#pragma once

#include <atomic>
#include <cstdint>

struct win_ao;
typedef void (*win_ao_run_fn)(win_ao *ao, void *user_data);

struct win_ao {
  std::atomic<uint8_t> _signalled;
  win_ao_run_fn _run;
  void *_user_data;
  win_ao *_next;  // null while not in the list
  win_ao *_prev;
};

// The list head lives in the platform context (`_active_objects`).
int tregistry_init_active_objects();
void tregistry_free_active_objects();
void tregistry_add_active_object(win_ao *ao);
void tregistry_remove_active_object(win_ao *ao);
void tregistry_cancel_active_objects();

win_ao *win_ao_new(uint32_t unused);
void win_ao_free(win_ao *ao);
void win_ao_set_run(win_ao *ao, win_ao_run_fn run);
void win_ao_set_user_data(win_ao *ao, void *user_data);
void *win_ao_get_user_data(win_ao *ao);
int win_ao_is_signalled(win_ao *ao);
int win_ao_signal(win_ao *ao);
void win_ao_cancel(win_ao *ao);
// The scheduler: one pass over the list (GUI thread).
void win_ao_run_signalled();
