// tcombobox: the field, its button, the drop-down menu and the pick.
#include "tcombobox.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "port_log.h"
#include "tresource.h"
#include "trowstr.h"
#include "tscreen.h"
#include "tstyler.h"

namespace {

constexpr uint32_t KEY_ACTION = 0xF823;
constexpr int32_t ARROW_BITMAP = 14, ARROW_MASK = 15;
constexpr intptr_t DROP_DOWN = 1;   // the button's user data
constexpr uint32_t FIRST_ID = 10;   // menu item id of entry 0
constexpr uint32_t MIDDLE_LEFT = 7;
constexpr int32_t TEXT_INDENT = 4;

}  // namespace

static tcombobox *combox_of(tcontrol *control);
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static int32_t child_count(tcontrol *control);
static tcontrol *child_at(tcontrol *control, int32_t index);
static int always_focusable(tcontrol *control);
static void on_focus_in(tcontrol *control);
static void on_focus_out(tcontrol *control);
static void on_button_click(tbutton *button, intptr_t user_data);
static void on_menu_popup(tmenu *menu, int32_t x, int32_t y);
static void on_menu_select(uint32_t id, void *user_data);
static void drop_down(tcombobox *combox);
static std::u16string entry_text(const char16_t *entry);
static void show_text(tcombobox *combox, const char16_t *text);

tcombobox *tcombobox_new(tcontrol *parent, const trect *rect, int32_t mode, const char16_t *text,
                         const char16_t *const *entries, int32_t count, int32_t selected, void *owner) {
  PORT_CHECK(rect != nullptr);
  tcombobox *combox = static_cast<tcombobox *>(std::calloc(1, sizeof(tcombobox)));
  if (!combox) return nullptr;
  tcontrol *control = &combox->_control;
  if (!tcontrol_init(control, parent, rect, owner)) {
    std::free(combox);
    return nullptr;
  }
  combox->_mode = mode;
  combox->_entries = entries;
  combox->_count = entries ? count : 0;
  combox->_selected = selected;
  trect r = *rect;
  trect_normalize(&r);
  int32_t w = r.x2 - r.x1, h = r.y2 - r.y1;
  const trect field = {0, 0, w - h - 1, h};
  const trect square = {0, 0, h, h};
  std::u16string first = text ? std::u16string(text) : std::u16string();
  if (mode == TCOMBOBOX_LIST_ONLY && selected >= 0 && selected < combox->_count)
    first = entry_text(entries[selected]);
  combox->_edit = tedit_new(control, &field, first.c_str(), -1, combox);
  combox->_button = tbutton_new(control, &square, u"", DROP_DOWN, combox);
  if (!combox->_edit || !combox->_button) {
    tcombobox_free(combox);
    return nullptr;
  }
  tcontrol_set_anchors(&combox->_edit->_control, 1, 1, 1, 1);
  tedit_set_ime(combox->_edit, 1);
  // A list-only field never scrolls: a text too wide for it ends with "...".
  if (mode == TCOMBOBOX_LIST_ONLY) ttdrawer_set_truncation(tedit_get_text_drawer(combox->_edit), TTDRAWER_TRUNCATE_END);
  tcontrol_set_align(&combox->_button->_control, TCONTROL_ALIGN_RIGHT);
  tcontrol_set_width(&combox->_button->_control, h + 1);
  tbutton_set_image(combox->_button, tresource_get_bitmap(ARROW_BITMAP), tresource_get_bitmap(ARROW_MASK));
  tbutton_set_on_click(combox->_button, on_button_click);

  tcontrol_set_on_key(control, on_key);
  tcontrol_set_on_pen(control, on_pen);
  tcontrol_set_children_fns(control, child_count, child_at);
  tcontrol_set_focusable_test(control, always_focusable);
  tcontrol_set_on_focus_in(control, on_focus_in);
  tcontrol_set_on_focus_out(control, on_focus_out);
  tstyler_apply(tstyler_get_default(), combox, TSTYLE_COMBOBOX, owner, 0);
  return combox;
}

void tcombobox_free(tcombobox *combox) {
  PORT_CHECK(combox != nullptr);
  if (combox->_edit) tedit_free(combox->_edit);
  if (combox->_button) tbutton_free(combox->_button);
  combox->_edit = nullptr;
  combox->_button = nullptr;
  tcontrol_deinit(&combox->_control);
  std::free(combox);
}

void tcombobox_set_on_change(tcombobox *combox, tcombobox_change_fn fn) {
  PORT_CHECK(combox != nullptr);
  combox->_on_change = fn;
}

void tcombobox_set_on_popup(tcombobox *combox, tcombobox_popup_fn fn) {
  PORT_CHECK(combox != nullptr);
  combox->_on_popup = fn;
}

tedit *tcombobox_get_edit(const tcombobox *combox) {
  PORT_CHECK(combox != nullptr);
  return combox->_edit;
}

int32_t tcombobox_get_selected(const tcombobox *combox) {
  PORT_CHECK(combox != nullptr);
  return combox->_selected;
}

const char16_t *tcombobox_get_entry(const tcombobox *combox, int32_t index) {
  PORT_CHECK(combox != nullptr);
  return index >= 0 && index < combox->_count ? combox->_entries[index] : nullptr;
}

void tcombobox_set_entries(tcombobox *combox, const char16_t *const *entries, int32_t count) {
  PORT_CHECK(combox != nullptr);
  combox->_entries = entries;
  combox->_count = entries ? count : 0;
  if (combox->_selected >= combox->_count) combox->_selected = -1;
}

void tcombobox_set_text(tcombobox *combox, const char16_t *text) {
  PORT_CHECK(combox != nullptr);
  show_text(combox, text ? text : u"");
}

const char16_t *tcombobox_get_text(const tcombobox *combox) {
  PORT_CHECK(combox != nullptr);
  return tedit_get_text(combox->_edit);
}

static tcombobox *combox_of(tcontrol *control) { return reinterpret_cast<tcombobox *>(control); }

static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  tcombobox *combox = combox_of(control);
  if (code == KEY_ACTION) {
    drop_down(combox);
    return 1;
  }
  if (tcontrol_handle_key(&combox->_edit->_control, code, repeat, modifiers)) return 1;
  return tcontrol_handle_key(&combox->_button->_control, code, repeat, modifiers);
}

static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers) {
  tcombobox *combox = combox_of(control);
  tsurface *surface = &control->_surface;
  const trect *r = tsurface_get_rect(surface);
  bool inside = x >= r->x1 && x <= r->x2 && y >= r->y1 && y <= r->y2;
  if (!inside && !tsurface_has_pen_capture(surface)) return 0;
  if (type == TSCREEN_PEN_DOWN) tcontrol_set_focus(control, 1);
  if (combox->_mode != TCOMBOBOX_LIST_ONLY) {
    int32_t lx = x - r->x1, ly = y - r->y1;
    if (tcontrol_handle_pen(&combox->_edit->_control, type, lx, ly, modifiers)) return 1;
    return tcontrol_handle_pen(&combox->_button->_control, type, lx, ly, modifiers);
  }
  // The press that opens the list keeps the pen, so its release does not
  // reach the menu (which would close on it).
  switch (type) {
    case TSCREEN_PEN_DOWN:
      combox->_pressed = 1;
      tsurface_set_pen_capture(surface, 1);
      drop_down(combox);
      return 1;
    case TSCREEN_PEN_UP:
      if (!combox->_pressed) return 0;
      combox->_pressed = 0;
      tsurface_set_pen_capture(surface, 0);
      return 1;
    default:
      return combox->_pressed;
  }
}

static int32_t child_count(tcontrol *) { return 2; }

static tcontrol *child_at(tcontrol *control, int32_t index) {
  tcombobox *combox = combox_of(control);
  if (index == 0 && combox->_edit) return &combox->_edit->_control;
  if (index == 1 && combox->_button) return &combox->_button->_control;
  return nullptr;
}

static int always_focusable(tcontrol *) { return 1; }

static void on_focus_in(tcontrol *control) {
  tcombobox *combox = combox_of(control);
  if (combox->_mode == TCOMBOBOX_EDITABLE) tcontrol_set_focus(&combox->_edit->_control, 1);
}

static void on_focus_out(tcontrol *control) {
  tcombobox *combox = combox_of(control);
  if (combox->_mode != TCOMBOBOX_EDITABLE) return;
  tcontrol_set_focus(&combox->_edit->_control, 0);
  tsurface_update(&combox->_edit->_control._surface, nullptr);
}

// The button's owner word is its combo box.
static void on_button_click(tbutton *button, intptr_t user_data) {
  if (user_data != DROP_DOWN) return;
  drop_down(static_cast<tcombobox *>(tsurface_get_owner(&button->_control._surface)));
}

// The menu's owner word is its combo box.
static void on_menu_popup(tmenu *menu, int32_t, int32_t) {
  tcombobox *combox = static_cast<tcombobox *>(tsurface_get_owner(&menu->_control._surface));
  if (combox->_on_popup) combox->_on_popup(combox, menu);
  for (int32_t i = 0; i < combox->_count; i++) tmenu_add_item(menu, combox->_entries[i], FIRST_ID + i, 0, 0, combox);
  tlistbox_set_selected(tmenu_get_listbox(menu), combox->_selected);
}

static void on_menu_select(uint32_t id, void *user_data) {
  tcombobox *combox = static_cast<tcombobox *>(user_data);
  int64_t index = int64_t(id) - FIRST_ID;
  if (index < 0 || index >= combox->_count) return;
  combox->_selected = int32_t(index);
  show_text(combox, entry_text(combox->_entries[index]).c_str());
  if (combox->_on_change) combox->_on_change(combox);
}

// A menu of the entries right below the control and exactly as wide.
static void drop_down(tcombobox *combox) {
  tmenu *menu = tmenu_new(combox);
  if (!menu) return;
  tmenu_set_on_select(menu, on_menu_select);
  tmenu_set_on_popup(menu, on_menu_popup);
  tlistbox *list = tmenu_get_listbox(menu);
  tlistcolumn *text = tlistbox_get_column(list, 0);
  for (ttdrawer *drawer : {tlistcolumn_get_text_drawer(text), tlistcolumn_get_second_text_drawer(text),
                           tlistcolumn_get_selected_text_drawer(text)}) {
    ttdrawer_set_alignment(drawer, MIDDLE_LEFT);
    ttdrawer_set_offset_x(drawer, TEXT_INDENT);
  }
  trect at;
  tsurface_get_screen_rect(&combox->_control._surface, &at);
  tscreen *screen = tscreen_get();
  uint32_t lock = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  tmenu_popup(menu, at.x1, at.y2 + 1);
  const trect *placed = tsurface_get_rect(&list->_control._surface);
  tcontrol_set_rect(&list->_control, at.x1, placed->y1, at.x2 - at.x1 + 1, placed->y2 - placed->y1 + 1);
  tscreen_set_update_lock(screen, lock);
  tsurface_update(&menu->_control._surface, nullptr);
}

// Field 0 of the row string: "E:/-1/0" is "E:", "\//-1/0" is "/".
static std::u16string entry_text(const char16_t *entry) {
  std::u16string row = entry ? entry : u"";
  char16_t *fields[TROWSTR_MAX_FIELDS];
  trowstr_split(row.data(), fields);
  return fields[0];
}

static void show_text(tcombobox *combox, const char16_t *text) {
  tedit_set_text(combox->_edit, text, -1);
  tsurface_update(&combox->_edit->_control._surface, nullptr);
}
