// paint_search: the native documents of a folder.
#include "paint_search.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "port_fs.h"
#include "port_log.h"
#include "tdirfile.h"
#include "tfile.h"

namespace {

constexpr char16_t k_extension[] = u"bvf";

int is_document(const tdirfile_entry *entry);
// folder, a separator when it has none at its end, name; empty when the
// whole is longer than any path the system takes.
std::u16string join(const char16_t *folder, const char16_t *name);

}  // namespace

int paint_search(const char16_t *folder, tdirfile *result, int32_t *count, int recursive) {
  PORT_CHECK(folder != nullptr && result != nullptr && count != nullptr);
  tdirfile *folders = tdirfile_new(0);
  tdirfile *files = tdirfile_new(0);
  int listed = folders && files && port_fs_list_dir(folder, folders, files) >= 0;
  if (listed) {
    for (tdirfile_entry *entry = tdirfile_first(files); entry; entry = tdirfile_next(files)) {
      if (!is_document(entry)) continue;
      std::u16string path = join(folder, entry->name);
      if (path.empty()) continue;
      tdirfile_entry *found = tdirfile_append_sized(result, int32_t(path.size() + 1));
      if (!found) break;
      found->flags = entry->flags;
      found->last_write_time = entry->last_write_time;
      found->size = entry->size;
      std::copy(path.begin(), path.end(), found->name);
      found->name[path.size()] = 0;
      (*count)++;
    }
    if (recursive) {
      for (tdirfile_entry *entry = tdirfile_first(folders); entry; entry = tdirfile_next(folders)) {
        std::u16string below = join(folder, entry->name);
        if (!below.empty()) paint_search(below.c_str(), result, count, recursive);
      }
    }
  }
  if (folders) tdirfile_free(folders);
  if (files) tdirfile_free(files);
  return listed;
}

namespace {

// Reading a pipe or a device named like a document would wait for a writer
// that never comes.
int is_document(const tdirfile_entry *entry) {
  if (entry->flags & (TDIRFILE_DIRECTORY | TDIRFILE_SYSTEM)) return 0;
  const char16_t *extension = tfile_get_extension(entry->name);
  return std::u16string_view(extension) == k_extension;
}

std::u16string join(const char16_t *folder, const char16_t *name) {
  std::u16string path(folder);
  if (path.empty() || !tfile_is_separator(path.back())) path += TFILE_SEPARATOR;
  path += name;
  if (path.size() >= size_t(PORT_FS_PATH_CHARS)) return std::u16string();
  return path;
}

}  // namespace
