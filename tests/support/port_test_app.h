// Runs the real start-up of the port with the headless display and a test
// body in place of the application main, and pumps messages for tests.
#pragma once

#include <functional>
#include <string>

#include "os_message.h"

// Gives this test process a user folder of its own (the single-instance lock
// and sn.dat live there); returns it.
std::string port_test_user_dir();

// Starts the port (headless display, screen "WxH" or the default), makes the
// active-object list, runs body as the application main and tears down.
// Returns wins_window_main's result (the body's).
int port_test_run_app(const std::function<int()> &body, const char *screen = nullptr);

// How often the application heard that its window became active.
int port_test_activations();

// Dispatches every message that is ready now, timers included, as the main
// loop would (without its accelerator); returns how many.
int port_test_pump();
// Keeps pumping (real time) until done() or the time is up; 1 when done.
int port_test_pump_until(const std::function<bool()> &done, int timeout_ms = 5000);
// Pumps until every launch (port_device_launch) has ended and been reported;
// 1 when they all have.
int port_test_finish_launches();
