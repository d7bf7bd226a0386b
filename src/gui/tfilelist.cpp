// tfilelist: listing, going up and in, names and kinds of rows, keys.
#include "tfilelist.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "port_fs.h"
#include "port_log.h"
#include "tdirfile.h"
#include "tresource.h"
#include "tstyler.h"

namespace {

constexpr uint32_t KEY_LEFT = 0xF807, KEY_RIGHT = 0xF808;
constexpr int32_t UP_TEXT_ID = 29;
constexpr int32_t DEFAULT_ITEM_HEIGHT = 30;
constexpr int32_t ICON_COLUMN_WIDTH = 30;
constexpr uint32_t MIDDLE_LEFT = 7;
constexpr char16_t SEPARATOR = u'/';
constexpr char16_t ROOT[] = u"/";
constexpr size_t PATH_CHARS = TFILELIST_PATH_MAX - 1;

// Picture and mask of each icon, by icon number.
constexpr int32_t ICON_BITMAPS[4][2] = {{22, 23}, {16, 17}, {18, 19}, {20, 21}};

}  // namespace

// What each row was listed as.
struct tfilelist_rows {
  struct row {
    std::u16string name;
    int32_t icon;
  };
  std::vector<row> rows;
};

static tfilelist *filelist_of(tlistbox *listbox);
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static void on_activate(tlistbox *listbox, int32_t row);
static void on_list_select(tlistbox *listbox, int32_t row);
static int list_drives(tfilelist *filelist, tfilelist_rows *rows);
static int list_folder(tfilelist *filelist, const char16_t *path, tfilelist_rows *rows);
static int add_row(tfilelist *filelist, tfilelist_rows *rows, const std::u16string &text, const char16_t *name,
                   int32_t icon);
static void escape_into(std::u16string *out, const char16_t *name);
static const tfilelist_rows::row *kept_row(const tfilelist *filelist, int32_t row);
static void update(tfilelist *filelist);

int tfilelist_init(tfilelist *filelist, tcontrol *parent, const trect *rect, const char16_t *path, void *owner) {
  PORT_CHECK(filelist != nullptr);
  std::memset(filelist, 0, sizeof *filelist);
  tlistbox *listbox = &filelist->_listbox;
  if (!tlistbox_init(listbox, parent, rect, filelist)) return 0;
  filelist->_rows = new (std::nothrow) tfilelist_rows;
  tlistcolumn *text = tlistbox_add_column(listbox, TLISTCOLUMN_TEXT, u"text", -1);
  tlistcolumn *icon = tlistbox_add_column(listbox, TLISTCOLUMN_IMAGE, u"icon", ICON_COLUMN_WIDTH);
  if (!filelist->_rows || !text || !icon) {
    tfilelist_deinit(filelist);
    return 0;
  }
  for (ttdrawer *drawer : {tlistcolumn_get_text_drawer(text), tlistcolumn_get_second_text_drawer(text),
                           tlistcolumn_get_selected_text_drawer(text)})
    ttdrawer_set_alignment(drawer, MIDDLE_LEFT);
  for (const auto &pair : ICON_BITMAPS)
    tlistbox_add_image(listbox, tresource_get_bitmap(pair[0]), tresource_get_bitmap(pair[1]));
  tlistbox_set_on_activate(listbox, on_activate);
  tlistbox_set_on_select(listbox, on_list_select);
  filelist->_list_key = tcontrol_set_on_key(&listbox->_control, on_key);
  filelist->_owner = owner;
  filelist->_item_height = DEFAULT_ITEM_HEIGHT;
  if (path) std::char_traits<char16_t>::copy(filelist->_path, path, std::min(std::char_traits<char16_t>::length(path), PATH_CHARS));
  filelist->_up_text = tresource_get_string(UP_TEXT_ID, u"Up");
  tstyler_apply(tstyler_get_default(), filelist, TSTYLE_FILELIST, owner, 0);
  return 1;
}

tfilelist *tfilelist_new(tcontrol *parent, const trect *rect, const char16_t *path, void *owner) {
  tfilelist *filelist = static_cast<tfilelist *>(std::calloc(1, sizeof(tfilelist)));
  if (!filelist) return nullptr;
  if (!tfilelist_init(filelist, parent, rect, path, owner)) {
    std::free(filelist);
    return nullptr;
  }
  return filelist;
}

void tfilelist_deinit(tfilelist *filelist) {
  PORT_CHECK(filelist != nullptr);
  tlistbox_deinit(&filelist->_listbox);
  delete filelist->_rows;
  filelist->_rows = nullptr;
}

void tfilelist_free(tfilelist *filelist) {
  PORT_CHECK(filelist != nullptr);
  tfilelist_deinit(filelist);
  std::free(filelist);
}

int tfilelist_set_dir(tfilelist *filelist, const char16_t *path) {
  PORT_CHECK(filelist != nullptr);
  // path may be the list's own: copied before anything changes.
  std::u16string wanted = path ? path : u"";
  tfilelist_rows *rows = new (std::nothrow) tfilelist_rows;
  int listed = 0;
  if (rows) {
    if (wanted.empty())
      listed = list_drives(filelist, rows);
    else if (wanted.size() <= PATH_CHARS)
      listed = list_folder(filelist, wanted.c_str(), rows);
  }
  if (!listed) {
    delete rows;
    if (filelist->_on_error) filelist->_on_error(filelist, wanted.c_str());
    return 0;
  }
  delete filelist->_rows;
  filelist->_rows = rows;
  std::char_traits<char16_t>::copy(filelist->_path, wanted.c_str(), wanted.size() + 1);
  tlistbox *listbox = &filelist->_listbox;
  if (tlistbox_get_count(listbox) > 0) tlistbox_set_selected(listbox, 0);
  tlistbox_repaint_scrollbar(listbox);
  if (filelist->_on_change) filelist->_on_change(filelist);
  return 1;
}

int tfilelist_reload(tfilelist *filelist) {
  PORT_CHECK(filelist != nullptr);
  return tfilelist_set_dir(filelist, filelist->_path);
}

void tfilelist_go_up(tfilelist *filelist) {
  PORT_CHECK(filelist != nullptr);
  std::u16string path = filelist->_path;
  size_t cut = path.rfind(SEPARATOR);
  if (cut == std::u16string::npos)
    path.clear();
  else if (cut == 0)
    path = ROOT;
  else
    path.resize(cut);
  if (tfilelist_set_dir(filelist, path.c_str())) update(filelist);
}

const char16_t *tfilelist_get_path(const tfilelist *filelist) {
  PORT_CHECK(filelist != nullptr);
  return filelist->_path;
}

void tfilelist_get_name(const tfilelist *filelist, int32_t row, char16_t *buffer) {
  PORT_CHECK(filelist != nullptr && buffer != nullptr);
  const tfilelist_rows::row *kept = kept_row(filelist, row);
  if (!kept) return;
  size_t n = std::min(kept->name.size(), PATH_CHARS);
  std::char_traits<char16_t>::copy(buffer, kept->name.c_str(), n);
  buffer[n] = 0;
}

void tfilelist_get_selected_name(const tfilelist *filelist, char16_t *buffer) {
  PORT_CHECK(filelist != nullptr);
  tfilelist_get_name(filelist, tlistbox_get_selected(&filelist->_listbox), buffer);
}

int32_t tfilelist_find(const tfilelist *filelist, const char16_t *name) {
  PORT_CHECK(filelist != nullptr);
  if (!name || !filelist->_rows) return -1;
  const auto &rows = filelist->_rows->rows;
  for (size_t i = 0; i < rows.size(); i++)
    if (rows[i].name == name) return int32_t(i);
  return -1;
}

int32_t tfilelist_get_kind(const tfilelist *filelist, int32_t row, int32_t *icon) {
  PORT_CHECK(filelist != nullptr);
  const tfilelist_rows::row *kept = kept_row(filelist, row);
  if (!kept) return TFILELIST_KIND_NONE;
  if (icon) *icon = kept->icon;
  switch (kept->icon) {
    case TFILELIST_ICON_FILE: return TFILELIST_KIND_FILE;
    case TFILELIST_ICON_FOLDER:
    case TFILELIST_ICON_UP: return TFILELIST_KIND_FOLDER;
    case TFILELIST_ICON_DRIVE: return TFILELIST_KIND_DRIVE;
    default: return TFILELIST_KIND_NONE;
  }
}

int32_t tfilelist_get_selected_kind(const tfilelist *filelist, int32_t *icon) {
  PORT_CHECK(filelist != nullptr);
  return tfilelist_get_kind(filelist, tlistbox_get_selected(&filelist->_listbox), icon);
}

void tfilelist_set_item_height(tfilelist *filelist, int32_t height) {
  PORT_CHECK(filelist != nullptr);
  filelist->_item_height = height;
}

void tfilelist_set_on_error(tfilelist *filelist, tfilelist_path_fn fn) {
  PORT_CHECK(filelist != nullptr);
  filelist->_on_error = fn;
}

void tfilelist_set_on_change(tfilelist *filelist, tfilelist_notify_fn fn) {
  PORT_CHECK(filelist != nullptr);
  filelist->_on_change = fn;
}

void tfilelist_set_on_select(tfilelist *filelist, tfilelist_row_fn fn) {
  PORT_CHECK(filelist != nullptr);
  filelist->_on_select = fn;
}

void tfilelist_set_on_file(tfilelist *filelist, tfilelist_path_fn fn) {
  PORT_CHECK(filelist != nullptr);
  filelist->_on_file = fn;
}

void tfilelist_set_filter(tfilelist *filelist, tfilelist_filter_fn fn) {
  PORT_CHECK(filelist != nullptr);
  filelist->_filter = fn;
}

void *tfilelist_get_owner(const tfilelist *filelist) {
  PORT_CHECK(filelist != nullptr);
  return filelist->_owner;
}

static tfilelist *filelist_of(tlistbox *listbox) { return reinterpret_cast<tfilelist *>(listbox); }

static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  tfilelist *filelist = reinterpret_cast<tfilelist *>(control);
  if (filelist->_list_key && filelist->_list_key(control, code, repeat, modifiers)) return 1;
  tlistbox *listbox = &filelist->_listbox;
  if (code == KEY_LEFT) {
    if (!filelist->_path[0]) return 0;
    tfilelist_go_up(filelist);
    return 1;
  }
  if (code == KEY_RIGHT && tlistbox_get_count(listbox) > 0) {
    tlistbox_activate(listbox, tlistbox_get_selected(listbox));
    return 1;
  }
  return 0;
}

// Row 0 of a folder goes up; a folder row is entered, a file row reported by
// its full path; a drive row lists its root.
static void on_activate(tlistbox *listbox, int32_t row) {
  tfilelist *filelist = filelist_of(listbox);
  const tfilelist_rows::row *kept = kept_row(filelist, row);
  if (!kept) return;
  if (!filelist->_path[0]) {
    if (kept->name.empty()) return;
    if (tfilelist_set_dir(filelist, kept->name.c_str())) update(filelist);
    return;
  }
  if (row == 0) {
    tfilelist_go_up(filelist);
    return;
  }
  int32_t icon = kept->icon;
  if (icon != TFILELIST_ICON_FOLDER && icon != TFILELIST_ICON_FILE) return;
  std::u16string full = filelist->_path;
  if (full.back() != SEPARATOR) full += SEPARATOR;
  full += kept->name;
  if (full.size() > PATH_CHARS) {
    if (filelist->_on_error) filelist->_on_error(filelist, full.c_str());
    return;
  }
  if (icon == TFILELIST_ICON_FOLDER) {
    if (tfilelist_set_dir(filelist, full.c_str())) update(filelist);
  } else if (filelist->_on_file) {
    filelist->_on_file(filelist, full.c_str());
  }
}

static void on_list_select(tlistbox *listbox, int32_t row) {
  tfilelist *filelist = filelist_of(listbox);
  if (filelist->_on_select) filelist->_on_select(filelist, row);
}

// The one drive: the root, shown with its free and total bytes.
static int list_drives(tfilelist *filelist, tfilelist_rows *rows) {
  tlistbox_clear(&filelist->_listbox);
  uint8_t present[PORT_FS_DRIVE_COUNT];
  port_fs_get_drives(present);
  if (!present[PORT_FS_ROOT_DRIVE]) return 1;
  port_fs_drive_info info = {};
  port_fs_get_drive_info(SEPARATOR, &info);
  int32_t icon = TFILELIST_ICON_DRIVE;
  if (filelist->_filter && !filelist->_filter(filelist, ROOT, TFILELIST_KIND_DRIVE, &icon, &info, 0)) return 1;
  char16_t free_text[TDIRFILE_SIZE_TEXT_MAX], total_text[TDIRFILE_SIZE_TEXT_MAX];
  tdirfile_format_size(info.free_bytes, free_text);
  tdirfile_format_size(info.total_bytes, total_text);
  std::u16string text;
  escape_into(&text, ROOT);
  text += u" [";
  text += free_text;
  text += u"\\/";
  text += total_text;
  text += u"]";
  add_row(filelist, rows, text, ROOT, icon);
  return 1;
}

// Up, then the folders, then the files; 0 when the folder cannot be read
// (nothing changed then).
static int list_folder(tfilelist *filelist, const char16_t *path, tfilelist_rows *rows) {
  tdirfile *folders = tdirfile_new(0), *files = tdirfile_new(0);
  int listed = folders && files && port_fs_list_dir(path, folders, files) >= 0;
  if (listed) {
    tlistbox_clear(&filelist->_listbox);
    std::u16string text;
    escape_into(&text, filelist->_up_text);
    add_row(filelist, rows, text, filelist->_up_text, TFILELIST_ICON_UP);
    struct pass {
      tdirfile *listing;
      int32_t kind, icon;
    };
    for (const pass &p : {pass{folders, TFILELIST_KIND_FOLDER, TFILELIST_ICON_FOLDER},
                          pass{files, TFILELIST_KIND_FILE, TFILELIST_ICON_FILE}}) {
      for (tdirfile_entry *entry = tdirfile_first(p.listing); entry; entry = tdirfile_next(p.listing)) {
        int32_t icon = p.icon;
        if (filelist->_filter && !filelist->_filter(filelist, entry->name, p.kind, &icon, entry, 0)) continue;
        text.clear();
        escape_into(&text, entry->name);
        add_row(filelist, rows, text, entry->name, icon);
      }
    }
  }
  if (folders) tdirfile_free(folders);
  if (files) tdirfile_free(files);
  return listed;
}

// The row string is the shown text and the icon; the name and icon are kept
// beside it. A row that cannot be kept is not shown either.
static int add_row(tfilelist *filelist, tfilelist_rows *rows, const std::u16string &text, const char16_t *name,
                   int32_t icon) {
  try {
    rows->rows.push_back({name, icon});
  } catch (const std::bad_alloc &) {
    return 0;
  }
  std::u16string row = text;
  row += u'/';
  for (char digit : std::to_string(icon)) row += char16_t(digit);
  if (tlistbox_add_item(&filelist->_listbox, row.c_str(), filelist->_item_height, filelist)) return 1;
  rows->rows.pop_back();
  return 0;
}

// A '/' of a name is "\/" in a row string.
static void escape_into(std::u16string *out, const char16_t *name) {
  for (const char16_t *c = name; *c; c++) {
    if (*c == u'/') *out += u'\\';
    *out += *c;
  }
}

static const tfilelist_rows::row *kept_row(const tfilelist *filelist, int32_t row) {
  if (!filelist->_rows || row < 0 || size_t(row) >= filelist->_rows->rows.size()) return nullptr;
  return &filelist->_rows->rows[size_t(row)];
}

static void update(tfilelist *filelist) { tsurface_update(&filelist->_listbox._control._surface, nullptr); }
