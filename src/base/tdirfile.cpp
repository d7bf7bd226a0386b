// tdirfile: a folder listing as the file list, the open and save dialogs and
// My Paints fill and walk it.
#include "tdirfile.h"

#include <cstdlib>

#include "port_log.h"
#include "twformat.h"

tdirfile *tdirfile_new(intptr_t user) {
  tdirfile *dfd = static_cast<tdirfile *>(std::calloc(1, sizeof(tdirfile)));
  if (!dfd) return nullptr;
  dfd->head.next = dfd->head.prev = &dfd->head;
  dfd->user = user;
  return dfd;
}

void tdirfile_free(tdirfile *dfd) {
  PORT_CHECK(dfd != nullptr);
  tdirfile_entry *entry = dfd->head.next;
  while (entry != &dfd->head) {
    tdirfile_entry *next = entry->next;
    std::free(entry);
    entry = next;
  }
  std::free(dfd);
}

tdirfile_entry *tdirfile_append(tdirfile *dfd) { return tdirfile_append_sized(dfd, TDIRFILE_NAME_MAX); }

tdirfile_entry *tdirfile_append_sized(tdirfile *dfd, int32_t name_chars) {
  PORT_CHECK(dfd != nullptr && name_chars > 0);
  size_t bytes = sizeof(tdirfile_entry) + size_t(name_chars) * sizeof(char16_t);
  tdirfile_entry *entry = static_cast<tdirfile_entry *>(std::calloc(1, bytes));
  if (!entry) return nullptr;
  entry->name = reinterpret_cast<char16_t *>(entry + 1);
  entry->prev = dfd->head.prev;
  entry->next = &dfd->head;
  dfd->head.prev->next = entry;
  dfd->head.prev = entry;
  return entry;
}

tdirfile_entry *tdirfile_first(tdirfile *dfd) {
  PORT_CHECK(dfd != nullptr);
  dfd->cursor = dfd->head.next;
  return dfd->cursor == &dfd->head ? nullptr : dfd->cursor;
}

tdirfile_entry *tdirfile_next(tdirfile *dfd) {
  PORT_CHECK(dfd != nullptr);
  if (!dfd->cursor || dfd->cursor == &dfd->head) return nullptr;
  dfd->cursor = dfd->cursor->next;
  return dfd->cursor == &dfd->head ? nullptr : dfd->cursor;
}

void tdirfile_format_size(uint64_t size, char16_t *out) {
  PORT_CHECK(out != nullptr);
  if (size < 1024)
    twformat(out, TDIRFILE_SIZE_TEXT_MAX, u"%d B", int(size));
  else if (size < 1048576)
    twformat(out, TDIRFILE_SIZE_TEXT_MAX, u"%3.2f KB", double(size) / 1024);
  else
    twformat(out, TDIRFILE_SIZE_TEXT_MAX, u"%3.2f MB", double(size) / 1048576);
}
