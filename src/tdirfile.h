// tdirfile: a folder listing as the file list, the open and save dialogs and
// My Paints fill and walk it.
//
// A circular doubly linked list of entries behind a head that is never an
// entry itself, a cursor for walking it, and one user word given at creation.
// Entries keep their insertion order; the listing owns them.
#pragma once

#include <cstdint>

constexpr int TDIRFILE_NAME_MAX = 260;
// Room tdirfile_format_size needs, terminator included.
constexpr int TDIRFILE_SIZE_TEXT_MAX = 32;

enum {
  TDIRFILE_DIRECTORY = 1,
  TDIRFILE_HIDDEN = 2,
  TDIRFILE_READONLY = 4,
  TDIRFILE_SYSTEM = 8,
};

struct tdirfile_entry {
  uint32_t flags;
  uint64_t last_write_time;  // FILETIME: 100 ns units since 1601-01-01 UTC
  uint64_t size;             // bytes
  char16_t name[TDIRFILE_NAME_MAX];  // without the folder
  tdirfile_entry *next, *prev;
};

struct tdirfile {
  tdirfile_entry head;  // link only: head.next is the first entry
  tdirfile_entry *cursor;
  intptr_t user;
};

tdirfile *tdirfile_new(intptr_t user);
void tdirfile_free(tdirfile *dfd);
// A zeroed entry linked at the end for the caller to fill; null when out of memory.
tdirfile_entry *tdirfile_append(tdirfile *dfd);
// The first entry (the cursor moves there), null when empty; then each next
// one, null after the last.
tdirfile_entry *tdirfile_first(tdirfile *dfd);
tdirfile_entry *tdirfile_next(tdirfile *dfd);

// The size text of the file lists: "1023 B", "1.00 KB", "1.00 MB".
// out must hold TDIRFILE_SIZE_TEXT_MAX chars.
void tdirfile_format_size(uint64_t size, char16_t *out);
