// The program's clock: monotonic milliseconds and a sleep.
//
// Timers, ticks and waits all read this one clock. A test can drive it: the
// clock then stands still until the test advances it, and a sleep advances it
// instead of waiting, so timer behaviour is tested without real time passing.
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary start; never goes back.
uint64_t os_clock_now_ms();
// Sleeps (or, while the clock is driven, moves it on by ms).
void os_sleep_ms(uint32_t ms);

// Test hooks: drive the clock by hand from its current value, or let it run.
void os_clock_drive(int on);
int os_clock_is_driven();
// Moves a driven clock on and wakes a loop waiting for a timer.
void os_clock_advance(uint32_t ms);
