// topendialog: building, the location and type combo boxes, the tool
// buttons, the folder history, New Folder, the filter and the result.
#include "topendialog.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "port_log.h"
#include "port_utf8.h"
#include "tbutton.h"
#include "tcombobox.h"
#include "tdialog.h"
#include "tedit.h"
#include "tform.h"
#include "timage.h"
#include "tinputdialog.h"
#include "tmenu.h"
#include "tmessagedialog.h"
#include "tresource.h"
#include "trowstr.h"
#include "tscreen.h"
#include "tstyler.h"
#include "twformat.h"

namespace {

enum {
  k_location_side, k_location_top, k_location_height, k_tools_gap, k_tools_left, k_tool_side, k_tool_gap,
  k_list_gap, k_list_side, k_list_height, k_name_gap, k_name_side, k_name_height, k_type_gap, k_type_side,
  k_bottom, k_type_height, k_list_inner,
};
constexpr int32_t k_layout_defaults[TOPENDIALOG_LAYOUT_VALUES] = {10, 10, 25, 10, 10, 30, 10, 10, 10,
                                                                  100, 10, 10, 25, 10, 10, 10, 25, 5};
enum { k_location_id = 1, k_icon_id, k_tool_id, k_list_id = k_tool_id + 4, k_name_id, k_type_id };

constexpr char16_t SEPARATOR = u'/';
constexpr char16_t INVALID_CHARS[] = u"/\\:*?\"<>|";
constexpr int32_t LOCATION_BITMAP = 18, LOCATION_MASK = 19;
constexpr int32_t DRIVE_BITMAP = 22, DRIVE_MASK = 23;
constexpr int32_t ERROR_ICON = 3;  // the message box's icon kind 3: pictures 2 and 3

// Text ids of the toolkit.
enum {
  TEXT_NEW_FOLDER_NAME = 22, TEXT_NEW_FOLDER = 23, TEXT_FOLDER_NAME = 24, TEXT_ERROR = 25,
  TEXT_CREATE_FAILED = 26, TEXT_NAME_EMPTY = 27, TEXT_NAME_INVALID = 28,
};

// Each tool button: its user data and its picture and mask.
struct tool {
  intptr_t id;
  int32_t bitmap, mask;
};
constexpr tool k_tools[4] = {{TOPENDIALOG_BACK, 24, 25},
                             {TOPENDIALOG_FORWARD, 26, 27},
                             {TOPENDIALOG_UP, 20, 21},
                             {TOPENDIALOG_NEW_FOLDER, 28, 29}};

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }

void collect_drives(topendialog *dialog);
int make_parts(topendialog *dialog, const char16_t *const *types, int32_t type_count);
void parse_type(topendialog *dialog, const char16_t *type);
void add_history(topendialog *dialog, const char16_t *path);
void move_history(topendialog *dialog, int32_t step);
void new_folder(topendialog *dialog);
int32_t shown_mode(const topendialog *dialog);
char16_t *duplicate(const char16_t *text);
void take_whole_path(topendialog *dialog);
bool has_invalid_char(const char16_t *name);
bool same_extension(const char16_t *name, const char16_t *pattern);

void free_parts(tdialog *dialog, void *owner);
void on_dialog_result(int32_t result, void *owner);
void on_tool_click(tbutton *button, intptr_t id);
void on_location_change(tcombobox *combox);
void on_location_popup(tcombobox *combox, tmenu *menu);
void on_type_change(tcombobox *combox);
void on_list_change(tfilelist *list);
void on_list_error(tfilelist *list, const char16_t *path);
void on_list_select(tfilelist *list, int32_t row);
void on_list_file(tfilelist *list, const char16_t *path);
int list_filter(tfilelist *list, const char16_t *name, int32_t kind, int32_t *icon, const void *entry, intptr_t);
int on_new_folder_closing(tdialog *input_dialog, int32_t result, void *owner);
void on_new_folder_result(int32_t result, void *user_data);

}  // namespace

topendialog *topendialog_new(const char16_t *title, int32_t width, char16_t *file_name, int32_t file_name_capacity,
                             char16_t *folder, int32_t folder_capacity, const char16_t *const *types,
                             int32_t type_count, int32_t type, int folder_mode, void *user_data) {
  topendialog *dialog = static_cast<topendialog *>(std::calloc(1, sizeof(topendialog)));
  if (!dialog) return nullptr;
  dialog->_file_name = file_name;
  dialog->_file_name_capacity = file_name ? file_name_capacity : 0;
  dialog->_folder = folder;
  dialog->_folder_capacity = folder ? folder_capacity : 0;
  dialog->_type = type;
  dialog->_folder_mode = folder_mode ? 1 : 0;
  dialog->_user_data = user_data;
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  dialog->_width = width == -1 ? std::min(screen_width, screen_height) : width;
  std::copy(k_layout_defaults, k_layout_defaults + TOPENDIALOG_LAYOUT_VALUES, dialog->_layout);
  tstyler_apply(tstyler_get_default(), dialog, TSTYLE_OPENDIALOG_BEFORE, user_data, 0);

  dialog->_dialog = tdialog_new(title, dialog);
  if (!dialog->_dialog) {
    std::free(dialog);
    return nullptr;
  }
  tdialog_set_on_free(dialog->_dialog, free_parts);
  tdialog_set_on_result(dialog->_dialog, on_dialog_result);
  tform_set_vdrag_locked(tdialog_get_form(dialog->_dialog), 1);
  tform_set_hdrag_locked(tdialog_get_form(dialog->_dialog), 1);
  collect_drives(dialog);
  if (!make_parts(dialog, types, types ? type_count : 0)) {
    tdialog_free(dialog->_dialog);
    std::free(dialog);
    return nullptr;
  }
  tstyler_apply(tstyler_get_default(), dialog, TSTYLE_OPENDIALOG, user_data, 0);
  return dialog;
}

void topendialog_show(topendialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tfilelist_reload(dialog->_filelist);
  tcombobox_set_text(dialog->_location, tfilelist_get_path(dialog->_filelist));
  int32_t height = -1;
  if (mode == TDIALOG_PLACE_CENTRE) {
    int32_t screen_width, screen_height;
    tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
    height = std::max(screen_width, screen_height);
  }
  tdialog_show(dialog->_dialog, x, y, dialog->_width, height, mode);
  tform_set_focus(tdialog_get_form(dialog->_dialog), control_of(dialog->_filelist));
}

topendialog_result_fn topendialog_set_on_result(topendialog *dialog, topendialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  topendialog_result_fn previous = dialog->_on_result;
  dialog->_on_result = fn;
  return previous;
}

void topendialog_set_on_file_selected(topendialog *dialog, topendialog_name_fn fn) {
  PORT_CHECK(dialog != nullptr);
  dialog->_on_file_selected = fn;
}

void topendialog_set_on_folder_selected(topendialog *dialog, topendialog_name_fn fn) {
  PORT_CHECK(dialog != nullptr);
  dialog->_on_folder_selected = fn;
}

void topendialog_set_on_folder_changed(topendialog *dialog, topendialog_notify_fn fn) {
  PORT_CHECK(dialog != nullptr);
  dialog->_on_folder_changed = fn;
}

// The drives were collected when the dialog was built: again, through the filter.
void topendialog_set_drive_filter(topendialog *dialog, topendialog_drive_filter_fn fn) {
  PORT_CHECK(dialog != nullptr);
  dialog->_drive_filter = fn;
  dialog->_drive_count = 0;
  collect_drives(dialog);
  tcombobox_set_entries(dialog->_location, dialog->_drive_entries, dialog->_drive_count);
}

void topendialog_set_placement_hooks(topendialog *dialog, topendialog_place_fn new_folder, topendialog_place_fn error) {
  PORT_CHECK(dialog != nullptr);
  dialog->_place_new_folder = new_folder;
  dialog->_place_error = error;
}

tdialog *topendialog_get_dialog(const topendialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_dialog;
}

tcombobox *topendialog_get_location_combobox(const topendialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_location;
}

tfilelist *topendialog_get_filelist(const topendialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_filelist;
}

tedit *topendialog_get_name_edit(const topendialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_name_edit;
}

tcombobox *topendialog_get_type_combobox(const topendialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_type_combo;
}

tbutton *topendialog_get_tool_button(const topendialog *dialog, int32_t index) {
  PORT_CHECK(dialog != nullptr);
  return index >= 0 && index < 4 ? dialog->_tools[index] : nullptr;
}

const char16_t *topendialog_get_path(const topendialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return tfilelist_get_path(dialog->_filelist);
}

void *topendialog_get_user_data(const topendialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_user_data;
}

void topendialog_set_layout(topendialog *dialog, int32_t index, int32_t value) {
  PORT_CHECK(dialog != nullptr);
  if (index >= 0 && index < TOPENDIALOG_LAYOUT_VALUES) dialog->_layout[index] = value;
}

void topendialog_show_error(topendialog *dialog, const char16_t *title, const char16_t *text) {
  PORT_CHECK(dialog != nullptr);
  // What is modal now (the open dialog or its New Folder input) takes the
  // input again when the box closes, as the dialog the box covered.
  tmessagedialog *box = tmessagedialog_new(title, dialog->_width, text, TMESSAGEDIALOG_BACK, ERROR_ICON, nullptr);
  if (!box) return;
  tdialog_set_dimmed(tmessagedialog_get_dialog(box), tdialog_is_dimmed(dialog->_dialog));
  int32_t x = tdialog_get_x(dialog->_dialog), y = tdialog_get_y(dialog->_dialog), mode = shown_mode(dialog);
  if (dialog->_place_error) dialog->_place_error(dialog, &x, &y, &mode);
  tmessagedialog_show(box, x, y, mode);
}

namespace {

// "C:/-1/0" for a lettered drive, "\//-1/0" for the root, as the platform
// marks them present and the drive filter keeps them.
void collect_drives(topendialog *dialog) {
  uint8_t present[PORT_FS_DRIVE_COUNT];
  port_fs_get_drives(present);
  for (int32_t slot = 0; slot < PORT_FS_DRIVE_COUNT; slot++) {
    if (!present[slot]) continue;
    char16_t *entry = dialog->_drives[dialog->_drive_count];
    if (slot == PORT_FS_ROOT_DRIVE)
      twformat(entry, TOPENDIALOG_DRIVE_CHARS, u"\\//-1/0");
    else
      twformat(entry, TOPENDIALOG_DRIVE_CHARS, u"%c:/-1/0", int(u'A' + slot));
    if (dialog->_drive_filter && !dialog->_drive_filter(dialog, entry)) continue;
    dialog->_drive_entries[dialog->_drive_count] = entry;
    dialog->_drive_count++;
  }
}

int make_parts(topendialog *dialog, const char16_t *const *types, int32_t type_count) {
  tdialog *d = dialog->_dialog;
  tform *form = tdialog_get_form(d);
  tcontrol *panel = tdialog_get_panel(d);
  // Built at the height the dialog has in mode 1; anchors carry the parts to
  // any other height.
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  tcontrol_set_width(panel, dialog->_width);
  tcontrol_set_height(panel, std::max(screen_width, screen_height));
  const trect *client = tcontrol_get_client_rect(control_of(form));
  int32_t width = client->x2 - client->x1 + 1, height = client->y2 - client->y1 + 1;
  const int32_t *v = dialog->_layout;

  // Location row.
  const char16_t *folder = dialog->_folder ? dialog->_folder : u"";
  trect r = {v[k_location_side], v[k_location_top], width - v[k_location_side] - 1,
             v[k_location_top] + v[k_location_height] - 1};
  dialog->_location = tcombobox_new(control_of(form), &r, TCOMBOBOX_LIST_ONLY, folder, dialog->_drive_entries,
                                    dialog->_drive_count, -1, dialog);
  if (!dialog->_location) return 0;
  tcontrol_set_anchors(control_of(dialog->_location), 1, 1, 1, 0);
  tcombobox_set_on_change(dialog->_location, on_location_change);
  tcombobox_set_on_popup(dialog->_location, on_location_popup);
  tedit *location_edit = tcombobox_get_edit(dialog->_location);
  int32_t combo_height = v[k_location_height];
  tedit_set_padding(location_edit, combo_height + 3, 3, 1);
  ttdrawer_set_truncation(tedit_get_text_drawer(location_edit), TTDRAWER_TRUNCATE_PATH);
  tform_add_child(form, k_location_id, control_of(dialog->_location));
  tbitmap *icon = tresource_get_bitmap(LOCATION_BITMAP);
  int32_t icon_width = icon ? tbitmap_get_width(icon) : 0, icon_height = icon ? tbitmap_get_height(icon) : 0;
  trect icon_rect = {r.x1 + (combo_height - icon_width) / 2, r.y1 + (combo_height - icon_height) / 2, 0, 0};
  icon_rect.x2 = icon_rect.x1 + icon_width - 1;
  icon_rect.y2 = icon_rect.y1 + icon_height - 1;
  dialog->_location_icon = timage_new(control_of(form), &icon_rect, icon, nullptr, TIMAGE_FIXED, dialog);
  if (!dialog->_location_icon) return 0;
  tbitmap *icon_mask = tresource_get_bitmap(LOCATION_MASK);
  if (icon_mask) tsurface_set_mask(surface_of(dialog->_location_icon), icon_mask, 255);
  tcontrol_set_anchors(control_of(dialog->_location_icon), 1, 1, 0, 0);
  tform_add_child(form, k_icon_id, control_of(dialog->_location_icon));

  // Tool buttons.
  int32_t tools_top = r.y2 + 1 + v[k_tools_gap];
  for (int32_t i = 0; i < 4; i++) {
    int32_t left = v[k_tools_left] + i * (v[k_tool_side] + v[k_tool_gap]);
    trect b = {left, tools_top, left + v[k_tool_side] - 1, tools_top + v[k_tool_side] - 1};
    tbutton *button = tbutton_new(control_of(form), &b, u"", k_tools[i].id, dialog);
    if (!button) return 0;
    dialog->_tools[i] = button;
    tbitmap *picture = tresource_get_bitmap(k_tools[i].bitmap), *mask = tresource_get_bitmap(k_tools[i].mask);
    tbutton_set_image(button, picture, mask);
    tbutton_set_focused_image(button, picture, mask);
    tbutton_set_disabled_image(button, picture, mask);
    tbutton_set_pressed_image(button, picture, mask);
    tbutton_set_on_click(button, on_tool_click);
    tform_add_child(form, k_tool_id + i, control_of(button));
  }

  // Type combo box and name edit at the bottom, then the list between.
  int32_t type_bottom = height - v[k_bottom] - 1;
  trect t = {v[k_type_side], type_bottom - v[k_type_height] + 1, width - v[k_type_side] - 1, type_bottom};
  int32_t type = dialog->_type;
  dialog->_type_combo =
      tcombobox_new(control_of(form), &t, TCOMBOBOX_LIST_ONLY, u"", types, type_count, type, dialog);
  if (!dialog->_type_combo) return 0;
  // A field fits its font to its height; this one reads in the dialog's text.
  tedit_set_font_size(tcombobox_get_edit(dialog->_type_combo), ttdrawer_get_font_size(tstyler_get_default_tdrawer()));
  tcontrol_set_anchors(control_of(dialog->_type_combo), 1, 0, 1, 1);
  tcombobox_set_on_change(dialog->_type_combo, on_type_change);
  int32_t name_bottom = t.y1 - v[k_type_gap] - 1;
  trect n = {v[k_name_side], name_bottom - v[k_name_height] + 1, width - v[k_name_side] - 1, name_bottom};
  dialog->_name_edit = tedit_new(control_of(form), &n, u"", -1, dialog);
  if (!dialog->_name_edit) return 0;
  tcontrol_set_anchors(control_of(dialog->_name_edit), 1, 0, 1, 1);
  tedit_set_ime(dialog->_name_edit, 1);

  int32_t list_top = tools_top + v[k_tool_side] + v[k_list_gap];
  int32_t list_bottom = dialog->_folder_mode ? type_bottom : n.y1 - v[k_name_gap] - 1;
  trect l = {v[k_list_side], list_top, width - v[k_list_side] - 1, std::max(list_top, list_bottom)};
  dialog->_filelist = tfilelist_new(control_of(form), &l, folder, dialog);
  if (!dialog->_filelist) return 0;
  tcontrol_set_anchors(control_of(dialog->_filelist), 1, 1, 1, 1);
  int32_t inner = v[k_list_inner];
  tlistbox_set_margins(&dialog->_filelist->_listbox, inner, inner, inner, inner);
  tfilelist_set_on_change(dialog->_filelist, on_list_change);
  tfilelist_set_on_error(dialog->_filelist, on_list_error);
  tfilelist_set_on_select(dialog->_filelist, on_list_select);
  tfilelist_set_on_file(dialog->_filelist, on_list_file);
  tfilelist_set_filter(dialog->_filelist, list_filter);
  tform_add_child(form, k_list_id, control_of(dialog->_filelist));
  // Made in folder mode too, but hidden there: the list covers them.
  if (dialog->_folder_mode) {
    tsurface_set_visible(surface_of(dialog->_name_edit), 0);
    tsurface_set_visible(surface_of(dialog->_type_combo), 0);
  } else {
    tform_add_child(form, k_name_id, control_of(dialog->_name_edit));
    tform_add_child(form, k_type_id, control_of(dialog->_type_combo));
  }
  parse_type(dialog, tcombobox_get_entry(dialog->_type_combo, type));
  return 1;
}

// The part after the last '/' split at ';': "*.*" admits every file, any
// other pattern loses its '*'s ("*.bmp" is ".bmp"); at most 16 kept.
void parse_type(topendialog *dialog, const char16_t *type) {
  dialog->_pattern_count = 0;
  dialog->_all_files = 0;
  if (!type) return;
  std::u16string text = type;
  size_t slash = text.rfind(u'/');
  std::u16string list = slash == std::u16string::npos ? text : text.substr(slash + 1);
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(u';', start);
    if (end == std::u16string::npos) end = list.size();
    std::u16string pattern = list.substr(start, end - start);
    start = end + 1;
    if (pattern == u"*.*") {
      dialog->_all_files = 1;
      continue;
    }
    pattern.erase(std::remove(pattern.begin(), pattern.end(), u'*'), pattern.end());
    if (pattern.empty() || dialog->_pattern_count >= TOPENDIALOG_PATTERNS) continue;
    port_utf8_copy_cut_wide(dialog->_patterns[dialog->_pattern_count++], TOPENDIALOG_PATTERN_CHARS, pattern.c_str());
  }
}

void add_history(topendialog *dialog, const char16_t *path) {
  if (dialog->_history_count > 0 && std::u16string(dialog->_history[dialog->_history_index]) == path) return;
  dialog->_history_count = dialog->_history_count > 0 ? dialog->_history_index + 1 : 0;
  if (dialog->_history_count == TOPENDIALOG_HISTORY) {
    std::memmove(dialog->_history[0], dialog->_history[1], sizeof dialog->_history[0] * (TOPENDIALOG_HISTORY - 1));
    dialog->_history_count--;
  }
  port_utf8_copy_cut_wide(dialog->_history[dialog->_history_count], TFILELIST_PATH_MAX, path);
  dialog->_history_index = dialog->_history_count++;
}

// Back (-1) or Forward (1); nothing at either end or when the folder cannot
// be listed any more.
void move_history(topendialog *dialog, int32_t step) {
  int32_t index = dialog->_history_index + step;
  if (dialog->_history_count == 0 || index < 0 || index >= dialog->_history_count) return;
  dialog->_history_moving = 1;
  int listed = tfilelist_set_dir(dialog->_filelist, dialog->_history[index]);
  dialog->_history_moving = 0;
  if (!listed) return;
  dialog->_history_index = index;
  tsurface_update(surface_of(dialog->_filelist), nullptr);
}

// The input dialog for a new folder's name, placed and dimmed like this one.
void new_folder(topendialog *dialog) {
  if (!tfilelist_get_path(dialog->_filelist)[0]) return;
  port_utf8_copy_cut_wide(dialog->_new_folder, TOPENDIALOG_NEW_FOLDER_CHARS,
                          tresource_get_string(TEXT_NEW_FOLDER_NAME, u"Folder"));
  tinputdialog *input = tinputdialog_new(tresource_get_string(TEXT_NEW_FOLDER, u"New Folder"), dialog->_width,
                                         tresource_get_string(TEXT_FOLDER_NAME, u"Folder Name:"), dialog->_new_folder,
                                         TOPENDIALOG_NEW_FOLDER_CHARS, dialog);
  if (!input) return;
  tinputdialog_set_on_result(input, on_new_folder_result);
  tdialog *input_dialog = tinputdialog_get_dialog(input);
  tdialog_set_on_closing(input_dialog, on_new_folder_closing);
  tdialog_set_dimmed(input_dialog, tdialog_is_dimmed(dialog->_dialog));
  int32_t x = tdialog_get_x(dialog->_dialog), y = tdialog_get_y(dialog->_dialog), mode = shown_mode(dialog);
  if (dialog->_place_new_folder) dialog->_place_new_folder(dialog, &x, &y, &mode);
  tinputdialog_show(input, x, y, mode);
}

// A pop-up over the dialog takes its placement, but where the dialog fills
// the screen the pop-up keeps the dialog's corner.
int32_t shown_mode(const topendialog *dialog) {
  int32_t mode = tdialog_get_placement(dialog->_dialog);
  return mode == TDIALOG_PLACE_FILL ? TDIALOG_PLACE_KEEP : mode;
}

char16_t *duplicate(const char16_t *text) {
  size_t n = std::char_traits<char16_t>::length(text);
  char16_t *copy = static_cast<char16_t *>(std::malloc((n + 1) * sizeof(char16_t)));
  if (copy) std::char_traits<char16_t>::copy(copy, text, n + 1);
  return copy;
}

// A name typed from the root is a whole path, not one to join to the listed
// folder: its folder stands for the listed one and its last part is the name.
void take_whole_path(topendialog *dialog) {
  char16_t *name = dialog->_closing_name;
  if (dialog->_folder_mode || !name || name[0] != SEPARATOR) return;
  std::u16string whole(name);
  size_t last = whole.rfind(SEPARATOR);
  char16_t *folder = duplicate(whole.substr(0, std::max<size_t>(last, 1)).c_str());
  if (!folder) return;
  std::free(dialog->_closing_folder);
  dialog->_closing_folder = folder;
  std::char_traits<char16_t>::copy(name, whole.c_str() + last + 1, whole.size() - last);
}

bool has_invalid_char(const char16_t *name) {
  for (const char16_t *c = name; *c; c++)
    if (std::char_traits<char16_t>::find(INVALID_CHARS, sizeof INVALID_CHARS / 2 - 1, *c)) return true;
  return false;
}

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

// The name's extension (after its last '.') against a pattern such as ".bmp".
bool same_extension(const char16_t *name, const char16_t *pattern) {
  const char16_t *dot = nullptr;
  for (const char16_t *c = name; *c; c++)
    if (*c == u'.') dot = c;
  if (!dot) return false;
  const char16_t *want = pattern[0] == u'.' ? pattern + 1 : pattern;
  const char16_t *have = dot + 1;
  for (; *have && *want; have++, want++)
    if (fold(*have) != fold(*want)) return false;
  return !*have && !*want;
}

// The dialog is being freed: the list and the name edit go with it, so what
// a result of OK hands over is kept first.
void free_parts(tdialog *shown, void *owner) {
  topendialog *dialog = static_cast<topendialog *>(owner);
  // Out of the form first: a focused edit's input panel, closing, resizes
  // the screen, and that walk must meet no freed child.
  tform_clear_children(tdialog_get_form(shown));
  if (dialog->_filelist) dialog->_closing_folder = duplicate(tfilelist_get_path(dialog->_filelist));
  if (dialog->_name_edit) dialog->_closing_name = duplicate(tedit_get_text(dialog->_name_edit));
  take_whole_path(dialog);
  if (dialog->_type_combo) tcombobox_free(dialog->_type_combo);
  if (dialog->_name_edit) tedit_free(dialog->_name_edit);
  if (dialog->_filelist) tfilelist_free(dialog->_filelist);
  for (tbutton *&button : dialog->_tools) {
    if (button) tbutton_free(button);
    button = nullptr;
  }
  if (dialog->_location_icon) timage_free(dialog->_location_icon);
  if (dialog->_location) tcombobox_free(dialog->_location);
  dialog->_type_combo = nullptr;
  dialog->_name_edit = nullptr;
  dialog->_filelist = nullptr;
  dialog->_location_icon = nullptr;
  dialog->_location = nullptr;
}

void on_dialog_result(int32_t result, void *owner) {
  topendialog *dialog = static_cast<topendialog *>(owner);
  if (result == TDIALOG_RESULT_OK) {
    if (dialog->_closing_folder)
      port_utf8_copy_cut_wide(dialog->_folder, dialog->_folder_capacity, dialog->_closing_folder);
    if (dialog->_closing_name)
      port_utf8_copy_cut_wide(dialog->_file_name, dialog->_file_name_capacity, dialog->_closing_name);
  }
  topendialog_result_fn on_result = dialog->_on_result;
  void *user_data = dialog->_user_data;
  std::free(dialog->_closing_folder);
  std::free(dialog->_closing_name);
  std::free(dialog);
  if (on_result) on_result(result, user_data);
}

void on_tool_click(tbutton *button, intptr_t id) {
  topendialog *dialog = static_cast<topendialog *>(tsurface_get_owner(surface_of(button)));
  switch (id) {
    case TOPENDIALOG_BACK: move_history(dialog, -1); break;
    case TOPENDIALOG_FORWARD: move_history(dialog, 1); break;
    case TOPENDIALOG_UP:
      if (tfilelist_get_path(dialog->_filelist)[0]) tfilelist_go_up(dialog->_filelist);
      break;
    case TOPENDIALOG_NEW_FOLDER: new_folder(dialog); break;
    default: break;
  }
}

// A picked drive lists its entry's field 0 ("C:", or "/" for the root).
void on_location_change(tcombobox *combox) {
  topendialog *dialog = static_cast<topendialog *>(tsurface_get_owner(surface_of(combox)));
  const char16_t *entry = tcombobox_get_entry(combox, tcombobox_get_selected(combox));
  if (!entry) return;
  std::u16string row = entry;
  char16_t *fields[TROWSTR_MAX_FIELDS];
  trowstr_split(row.data(), fields);
  if (tfilelist_set_dir(dialog->_filelist, fields[0])) tsurface_update(surface_of(dialog->_filelist), nullptr);
}

// The drive icon beside each entry of the drop-down.
void on_location_popup(tcombobox *combox, tmenu *menu) {
  tlistbox *list = tmenu_get_listbox(menu);
  int32_t side = tsurface_get_height(surface_of(combox)) + 4;
  if (!tlistbox_add_column(list, TLISTCOLUMN_IMAGE, u"icon", side)) return;
  tlistbox_add_image(list, tresource_get_bitmap(DRIVE_BITMAP), tresource_get_bitmap(DRIVE_MASK));
}

void on_type_change(tcombobox *combox) {
  topendialog *dialog = static_cast<topendialog *>(tsurface_get_owner(surface_of(combox)));
  parse_type(dialog, tcombobox_get_entry(combox, tcombobox_get_selected(combox)));
  if (tfilelist_reload(dialog->_filelist)) tsurface_update(surface_of(dialog->_filelist), nullptr);
}

void on_list_change(tfilelist *list) {
  topendialog *dialog = static_cast<topendialog *>(tfilelist_get_owner(list));
  tcombobox_set_text(dialog->_location, tfilelist_get_path(list));
  if (!dialog->_history_moving) add_history(dialog, tfilelist_get_path(list));
  if (dialog->_on_folder_changed) dialog->_on_folder_changed(dialog);
}

// The list still shows the folder it showed: the location says so again.
void on_list_error(tfilelist *list, const char16_t *) { on_list_change(list); }

void on_list_select(tfilelist *list, int32_t row) {
  topendialog *dialog = static_cast<topendialog *>(tfilelist_get_owner(list));
  char16_t name[TFILELIST_PATH_MAX] = {0};
  tfilelist_get_name(list, row, name);
  if (!dialog->_folder_mode) {
    tedit_set_text(dialog->_name_edit, name, -1);
    tsurface_update(surface_of(dialog->_name_edit), nullptr);
  }
  int32_t kind = tfilelist_get_kind(list, row, nullptr);
  if (kind == TFILELIST_KIND_FILE) {
    if (dialog->_on_file_selected) dialog->_on_file_selected(dialog, name);
  } else if (kind != TFILELIST_KIND_NONE && dialog->_on_folder_selected) {
    dialog->_on_folder_selected(dialog, name);
  }
}

// The activated file is the one handed over, whatever the selection was.
void on_list_file(tfilelist *list, const char16_t *path) {
  topendialog *dialog = static_cast<topendialog *>(tfilelist_get_owner(list));
  const char16_t *name = path;
  for (const char16_t *c = path; *c; c++)
    if (*c == SEPARATOR) name = c + 1;
  tedit_set_text(dialog->_name_edit, name, -1);
  tdialog_close(dialog->_dialog, TDIALOG_RESULT_OK);
}

int list_filter(tfilelist *list, const char16_t *name, int32_t kind, int32_t *, const void *, intptr_t) {
  if (kind != TFILELIST_KIND_FILE) return 1;
  topendialog *dialog = static_cast<topendialog *>(tfilelist_get_owner(list));
  if (dialog->_folder_mode) return 0;
  if (dialog->_all_files) return 1;
  for (int32_t i = 0; i < dialog->_pattern_count; i++)
    if (same_extension(name, dialog->_patterns[i])) return 1;
  return 0;
}

// OK with an empty name or a forbidden character keeps the input dialog open
// over an error box.
int on_new_folder_closing(tdialog *, int32_t result, void *owner) {
  if (result != TDIALOG_RESULT_OK) return 1;
  tinputdialog *input = static_cast<tinputdialog *>(owner);
  topendialog *dialog = static_cast<topendialog *>(tinputdialog_get_user_data(input));
  const char16_t *name = tinputdialog_get_text(input);
  const char16_t *title = tresource_get_string(TEXT_ERROR, u"Error");
  if (!name[0]) {
    topendialog_show_error(dialog, title, tresource_get_string(TEXT_NAME_EMPTY, u"Folder name can not be empty."));
    return 0;
  }
  if (has_invalid_char(name)) {
    char16_t message[256];
    twformat(message, 256, tresource_get_string(TEXT_NAME_INVALID, u"Folder name contains invalid char such as %s"),
             INVALID_CHARS);
    topendialog_show_error(dialog, title, message);
    return 0;
  }
  return 1;
}

void on_new_folder_result(int32_t result, void *user_data) {
  topendialog *dialog = static_cast<topendialog *>(user_data);
  if (result != TDIALOG_RESULT_OK) return;
  std::u16string path = tfilelist_get_path(dialog->_filelist);
  if (path.back() != SEPARATOR) path += SEPARATOR;
  path += dialog->_new_folder;
  if (path.size() >= size_t(TFILELIST_PATH_MAX) || !port_fs_make_dir(path.c_str())) {
    topendialog_show_error(dialog, tresource_get_string(TEXT_ERROR, u"Error"),
                           tresource_get_string(TEXT_CREATE_FAILED, u"Fail to create folder."));
    return;
  }
  tfilelist *list = dialog->_filelist;
  tfilelist_reload(list);
  int32_t row = tfilelist_find(list, dialog->_new_folder);
  if (row >= 0) tlistbox_set_selected(&list->_listbox, row);
  tsurface_update(surface_of(list), nullptr);
}

}  // namespace
