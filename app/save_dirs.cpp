// save_dirs: the recent save folders and "save_dirs.dat".
#include "save_dirs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app_common.h"
#include "app_context.h"
#include "os_paths.h"
#include "port_fs.h"
#include "port_log.h"
#include "tfile.h"
#include "tsavefile.h"
#include "tstring.h"

namespace {

const char k_file_name[] = "/save_dirs.dat";

std::u16string list_path();
// Entries up to the first missing or empty one.
int32_t used_count(const app_context *app);
char16_t *new_entry();

}  // namespace

const char16_t *save_dirs_get(int32_t index) {
  app_context *app = app_common_get_app();
  save_dirs_load();
  if (index < 0 || index >= APP_SAVE_DIRS) return nullptr;
  return app->_save_dirs[index];
}

void save_dirs_add(const char16_t *file_path) {
  PORT_CHECK(file_path != nullptr);
  const char16_t *name = tfile_get_name(file_path);
  size_t length = size_t(name - file_path);
  if (length > 0) length--;  // the separator before the name
  std::u16string folder(file_path, length);
  save_dirs_add_folder(folder.c_str());
}

void save_dirs_add_folder(const char16_t *folder) {
  PORT_CHECK(folder != nullptr);
  app_context *app = app_common_get_app();
  save_dirs_load();
  if (!folder[0]) return;
  int32_t count = used_count(app);
  for (int32_t k = 0; k < count; k++) {
    if (!save_dirs_same_folder(app->_save_dirs[k], folder)) continue;
    char16_t *found = app->_save_dirs[k];
    std::memmove(&app->_save_dirs[1], &app->_save_dirs[0], size_t(k) * sizeof(char16_t *));
    app->_save_dirs[0] = found;
    return;
  }
  // A cut folder would be another folder, most likely none.
  size_t chars = std::char_traits<char16_t>::length(folder);
  if (chars > APP_PATH_CHARS - 1) return;
  char16_t *entry = new_entry();
  if (!entry) return;
  std::memcpy(entry, folder, chars * sizeof(char16_t));
  std::free(app->_save_dirs[APP_SAVE_DIRS - 1]);
  std::memmove(&app->_save_dirs[1], &app->_save_dirs[0], (APP_SAVE_DIRS - 1) * sizeof(char16_t *));
  app->_save_dirs[0] = entry;
}

int save_dirs_same_folder(const char16_t *a, const char16_t *b) {
  PORT_CHECK(a != nullptr && b != nullptr);
  for (;; a++, b++) {
    if (twstr_to_lower(*a) != twstr_to_lower(*b)) return 0;
    if (!*a) return 1;
  }
}

void save_dirs_save() {
  app_context *app = app_common_get_app();
  if (!app->_save_dirs_loaded) return;
  int32_t count = used_count(app);
  std::string text;
  // An entry holds 259 chars, whatever its UTF-8 takes: up to 3 bytes a char.
  char line[APP_PATH_CHARS * 3];
  for (int32_t i = 0; i < count; i++) {
    app_common_wide_to_utf8_cut(app->_save_dirs[i], line, int(sizeof line));
    text += line;
    text += '\n';
  }
  std::u16string path = list_path();
  tsavefile save;
  if (FILE *file = tsavefile_open(&save, path.c_str())) {
    bool failed = std::fwrite(text.data(), 1, text.size(), file) != text.size();
    tsavefile_commit(&save, failed);
  }
  for (char16_t *&entry : app->_save_dirs) {
    std::free(entry);
    entry = nullptr;
  }
  app->_save_dirs_loaded = 0;
}

void save_dirs_load() {
  app_context *app = app_common_get_app();
  if (app->_save_dirs_loaded) return;
  app->_save_dirs_loaded = 1;
  int64_t size = 0;
  std::u16string path = list_path();
  uint8_t *data = app_common_read_file(path.c_str(), &size, 0, APP_SETTINGS_MAX_BYTES);
  if (!data) return;
  int32_t stored = 0;
  int64_t start = 0;
  // The end of the text ends a last line that has no line feed. An empty
  // line is skipped: an empty entry would end the list there.
  for (int64_t at = 0; at <= size && stored < APP_SAVE_DIRS; at++) {
    if (at < size && data[at] != '\n') continue;
    int64_t line = start, end = at;
    start = at + 1;
    if (end > line && data[end - 1] == '\r') end--;
    if (end == line) continue;
    // A line longer than an entry is skipped whole: cut, it would name
    // another folder. No line of 259 chars takes more than 3 bytes a char.
    if (end - line > int64_t(APP_PATH_CHARS - 1) * 3) continue;
    const char *utf8 = reinterpret_cast<const char *>(data + line);
    int chars = port_str_utf8_to_wide(utf8, int(end - line), nullptr, 0);
    if (chars < 1 || chars > APP_PATH_CHARS - 1) continue;
    char16_t *entry = new_entry();
    if (!entry) break;
    port_str_utf8_to_wide(utf8, int(end - line), entry, APP_PATH_CHARS - 1);
    std::free(app->_save_dirs[stored]);
    app->_save_dirs[stored++] = entry;
  }
  std::free(data);
}

namespace {

std::u16string list_path() { return port_fs_wide_path(os_user_dir() + k_file_name); }

int32_t used_count(const app_context *app) {
  int32_t count = 0;
  while (count < APP_SAVE_DIRS && app->_save_dirs[count] && app->_save_dirs[count][0]) count++;
  return count;
}

char16_t *new_entry() { return static_cast<char16_t *>(std::calloc(APP_PATH_CHARS, sizeof(char16_t))); }


}  // namespace
