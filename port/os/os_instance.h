// Single instance: one running program per user folder.
//
// The first start holds an advisory lock on "<key>.lock" in the user folder
// and listens on a local socket named after that file; a second start finds
// the lock held, asks the first (through the socket) to come to the front and
// is told to end. The first posts OS_MSG_FOREGROUND to its frame window.
// The lock dies with the process, so a crash leaves nothing stale behind.
// A start that cannot take the lock at all (the lock file is a folder, the
// user folder is read-only or cannot be made) cannot know it is alone and
// must not run on that folder: two copies would overwrite each other's kept
// painting.
#pragma once

#include <string>

#include "os_message.h"

enum {
  OS_INSTANCE_OTHER = 0,      // another instance runs and was asked to come to the front
  OS_INSTANCE_FIRST = 1,      // this is the only instance on the user folder
  OS_INSTANCE_UNSURE = -1,    // the lock could not be had: run on nothing
};

// One of the values above; for OS_INSTANCE_UNSURE, why (one line naming the
// lock file) in *reason when reason is not null.
int os_instance_claim(const char16_t *key, std::string *reason = nullptr);
// The window that a later start brings to the front (0: none yet).
void os_instance_set_window(os_hwnd frame);
void os_instance_release();
