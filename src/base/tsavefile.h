// tsavefile: writing a file so that a failed write never loses the old one.
//
// The bytes go to a new temporary file in the target's own folder (so the
// final rename stays on one file system); only when every write, the flush,
// the sync and the close succeeded is it renamed over the target. Any
// failure, or an abort, deletes the temporary file and leaves the target as
// it was. A temporary file is named after the target, the writing process
// and a serial number, and held locked while written, so that the next save
// to the folder can tell one left by a killed save from one being written.
// Its name is never longer than the folder allows: a target whose name is
// near the longest lends only the start of it.
// A target reached through symbolic links is the file they lead to:
// that file is replaced and the links stay (a user's save over a linked
// document writes the document). A file the program keeps for itself is
// opened in place instead: whatever is at its name (a link included) is
// replaced by the new plain file, and nothing is written through a link.
// Owns the open stream, its descriptor and the two names between open and
// commit/abort.
#pragma once

#include <sys/types.h>

#include <cstdio>

struct tsavefile {
  FILE *_file;
  int _fd;        // the temporary file, written through _file
  char *_temp;    // UTF-8 name of the temporary file
  char *_target;  // UTF-8 name of the target, links followed
};

// The system calls a save makes, in the order a commit makes them (write
// during the flush). Tests replace them to see the order and to fail one.
struct tsavefile_calls {
  ssize_t (*write)(int fd, const void *data, size_t size);
  int (*flush)(FILE *file);
  int (*fsync)(int fd);
  int (*close)(int fd);
  int (*rename)(const char *from, const char *to);
};

// Opens the temporary file for writing (binary); null when the folder is
// missing or refuses a new file. On success the caller writes through the
// stream and ends with tsavefile_commit or tsavefile_abort.
FILE *tsavefile_open(tsavefile *save, const char16_t *path);
// As tsavefile_open, with path itself as the target: a link there is
// replaced by the new file, its target left as it was.
FILE *tsavefile_open_in_place(tsavefile *save, const char16_t *path);
// Closes the stream and renames the temporary file over the target; 1 on
// success. failed nonzero means the caller saw a write fail: the file is
// dropped and 0 returned. Either way the record is released.
int tsavefile_commit(tsavefile *save, int failed);
// Drops the temporary file; the target is untouched.
void tsavefile_abort(tsavefile *save);
// Deletes from a folder the temporary files a save left behind when its
// process died before commit or abort (killed mid-write): files named as
// tsavefile_open names them ("<target>.~<pid>-<serial>", the target's name
// perhaps cut) whose process no longer runs on this machine and that no
// process holds locked (a writer locks its file while it writes). Anything
// else stays. Every open runs it on its target's folder. Returns how many
// were deleted.
int tsavefile_remove_stale(const char16_t *folder);

// Tests: the calls every later save makes; null gives back the system's.
void tsavefile_set_calls(const tsavefile_calls *calls);
