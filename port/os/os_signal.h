// Termination signals taken like a close of the program's window.
//
// SIGTERM, SIGINT and SIGHUP (the terminal or session the program was
// started from has ended) are blocked in the GUI thread (and so in every
// thread it starts later) and received by a watcher thread, which posts
// WM_CLOSE to the target window, or a quit when there is no window yet. The
// program thus ends through its ordinary, orderly road. A SIGHUP ignored at
// start (nohup) stays ignored.
#pragma once

#include "os_message.h"

// Call before any other thread is started; 1 when watching.
int os_signal_watch();
void os_signal_set_target(os_hwnd window);
void os_signal_unwatch();
