// Single instance: one running program per user folder.
//
// The first start holds an advisory lock on the user folder itself (no write
// access needed, and nothing there to delete) and on "<key>.lock" in it, and
// listens on a local socket named after the folder's identity (device and
// inode, so any spelling of its path finds it); a second start finds either
// lock held, asks the first (through the socket) to come to the front and is
// told to end. The first posts OS_MSG_FOREGROUND to its frame window.
// Older copies lock only the file, so it is still taken where it can be; it
// is also the lock where the folder takes none (NFS emulates flock with
// byte-range locks, which want a file open for writing). Where the file
// system offers no locks at all the socket decides alone: its name already
// taken is another copy on this machine.
// The locks and the socket die with the process, so a crash leaves nothing
// stale behind. A start never locks the user out by itself: where neither
// the locks nor the socket can tell it runs without the check
// (OS_INSTANCE_UNLOCKED); it refuses only when the folder cannot be used or
// another copy surely runs but does not answer.
#pragma once

#include <sys/socket.h>

#include <string>

#include "os_message.h"

enum {
  OS_INSTANCE_OTHER = 0,       // another instance runs and was asked to come to the front
  OS_INSTANCE_FIRST = 1,       // this is the only instance on the user folder
  OS_INSTANCE_UNSURE = -1,     // the user folder cannot be used: run on nothing
  OS_INSTANCE_UNREACHED = -2,  // another instance holds the lock but did not answer
  OS_INSTANCE_UNLOCKED = 2,    // no locks and no socket to tell by: nothing is known
};

// One of the values above; for every value but OS_INSTANCE_FIRST and
// OS_INSTANCE_OTHER, why (one line naming the folder or lock file) in
// *reason when reason is not null.
int os_instance_claim(const char16_t *key, std::string *reason = nullptr);
// The window that a later start brings to the front (0: none yet).
void os_instance_set_window(os_hwnd frame);
void os_instance_release();

// Test seams: the calls that open the folder and lock file, that lock them
// and that bind the socket, in place of open(2), flock(2) and bind(2); null
// restores the system's own.
typedef int (*os_instance_open_fn)(const char *path, int flags, int mode);
typedef int (*os_instance_lock_fn)(int fd, int operation);
typedef int (*os_instance_bind_fn)(int fd, const sockaddr *address, socklen_t length);
void os_instance_set_calls(os_instance_open_fn open_call, os_instance_lock_fn lock_call,
                           os_instance_bind_fn bind_call = nullptr);
