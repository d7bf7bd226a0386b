// tdirfile: a folder listing as the file list, the open and save dialogs and
// My Paints fill and walk it.
//
// A circular doubly linked list of entries behind a head that is never an
// entry itself, a cursor for walking it, and one user word given at creation.
// Entries keep their insertion order; the listing owns them. An entry's name
// lives in the same allocation as the entry, with the room it was made with.
#pragma once

#include <cstdint>

// The room of a name from a folder listing (a name is at most 255 bytes),
// terminator included.
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
  char16_t *name;  // without the folder, unless the lister says otherwise; the entry's own room
  tdirfile_entry *next, *prev;
};

struct tdirfile {
  tdirfile_entry head;  // link only: head.next is the first entry
  tdirfile_entry *cursor;
  intptr_t user;
};

tdirfile *tdirfile_new(intptr_t user);
void tdirfile_free(tdirfile *dfd);
// A zeroed entry linked at the end for the caller to fill, with room for a
// name of TDIRFILE_NAME_MAX characters; null when out of memory.
tdirfile_entry *tdirfile_append(tdirfile *dfd);
// The same with room for name_chars characters (terminator included), for
// what is longer than a name (My Paints lists full paths).
tdirfile_entry *tdirfile_append_sized(tdirfile *dfd, int32_t name_chars);
// The first entry (the cursor moves there), null when empty; then each next
// one, null after the last.
tdirfile_entry *tdirfile_first(tdirfile *dfd);
tdirfile_entry *tdirfile_next(tdirfile *dfd);

// The size text of the file lists: "1023 B", "1.00 KB", "1.00 MB".
// out must hold TDIRFILE_SIZE_TEXT_MAX chars.
void tdirfile_format_size(uint64_t size, char16_t *out);
