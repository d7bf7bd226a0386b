// Termination signals taken like a close of the program's window.
//
// SIGTERM and SIGINT are blocked in the GUI thread (and so in every thread it
// starts later) and received by a watcher thread, which posts WM_CLOSE to the
// target window, or a quit when there is no window yet. The program thus
// ends through its ordinary, orderly road.
#pragma once

#include "os_message.h"

// Call before any other thread is started; 1 when watching.
int os_signal_watch();
void os_signal_set_target(os_hwnd window);
void os_signal_unwatch();
