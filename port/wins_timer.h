// wins_timer: periodic timers of the GUI thread.
//
// A table of at most 8 running timers in start order. Each tick comes from the
// message loop (main or nested) as the os timer's message and calls every
// entry with the firing id. A one-shot is a timer whose callback stops it.
// Owners keep their handle, zero it when they stop the timer, and act at once
// when a start is refused (handle 0).
#pragma once

#include <cstdint>

#include "os_message.h"

constexpr int WINS_TIMER_MAX = 8;

typedef void (*wins_timer_callback)(uint32_t id, void *user_data);

// The handle (never 0), or 0 when 8 timers run or the system gives none.
uint32_t wins_timer_start(uint32_t interval_ms, uint32_t unused, wins_timer_callback callback, void *user_data);
// Nonzero when the system stopped the timer (its entry is then removed).
int wins_timer_stop(uint32_t handle);
int wins_timer_is_active(uint32_t handle);
// The system's timer procedure.
void wins_timer_on_tick(os_hwnd window, uint32_t message, uint32_t id, uint32_t time);
// Stops every timer (tear-down: nothing may tick once the loop has gone).
void wins_timer_stop_all();
