// Single instance: one running program per user folder.
//
// The first start holds an advisory lock on "<key>.lock" in the user folder
// and listens on a local socket named after that file; a second start finds
// the lock held, asks the first (through the socket) to come to the front and
// is told to end. The first posts OS_MSG_FOREGROUND to its frame window.
// The lock dies with the process, so a crash leaves nothing stale behind.
#pragma once

#include "os_message.h"

// 1: this is the first instance (or the lock cannot be had at all, in which
// case the program runs unguarded); 0: another instance runs and was asked
// to come to the front.
int os_instance_claim(const char16_t *key);
// The window that a later start brings to the front (0: none yet).
void os_instance_set_window(os_hwnd frame);
void os_instance_release();
