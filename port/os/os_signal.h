// Termination signals taken like a close of the program's window.
//
// SIGTERM, SIGINT and SIGHUP (the terminal or session the program was
// started from has ended) are blocked in the GUI thread (and so in every
// thread it starts later) and received by a watcher thread, which posts
// WM_CLOSE to the target window, or a quit when there is no window yet. The
// program thus ends through its ordinary, orderly road. A SIGHUP ignored at
// start (nohup) stays ignored.
//
// Once the watcher is stopped the program is on its way out: the signals stay
// blocked for the rest of the process, so that more of them (a user pressing
// Ctrl+C again, a session sending its burst) are absorbed and the tear-down
// runs to its end with the program's own exit status. A later watch in the
// same process drops those left pending: they belonged to the exit before.
#pragma once

#include "os_message.h"

// Call before any other thread is started, or only ones that were started
// with the signals blocked (under an earlier watch); 1 when watching. A watch
// while one runs keeps that one.
int os_signal_watch();
void os_signal_set_target(os_hwnd window);
// Stops and joins the watcher; the signals stay blocked (absorbed).
void os_signal_unwatch();
// Stops and joins the watcher and gives the signals back to the handling
// they had before the watch (for a driver whose own handlers take them, and
// before a box that waits for the user, which inherits the mask).
void os_signal_give_back();
