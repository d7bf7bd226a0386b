// tmenu: building, placement next to the bar, items and submenus, closing
// chains, keys and pen.
#include "tmenu.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "port_log.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_graphics.h"
#include "wins_window.h"

namespace {

constexpr uint32_t KEY_LEFT = 0xF807, KEY_RIGHT = 0xF808;
constexpr int32_t TEXT_SELECT = 8, TEXT_CANCEL = 3;
constexpr int32_t MARGIN = 3;
constexpr int32_t MIN_CONTENT_WIDTH = 50;
constexpr int32_t SUBMENU_SHIFT = 20;  // a submenu opens this far in from its row's right and below its top
constexpr tcolor SEE_THROUGH = tcolor_rgba(255, 0, 255);
constexpr uint32_t DIM_WORD = 0x40000000u;  // black at a quarter
constexpr bool same_color(tcolor a, tcolor b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}
// The etched separator at half strength.
constexpr uint32_t ETCH_BLACK = 0x80000000u, ETCH_GREY = 0x80808080u, ETCH_LIGHT = 0x80C0C0C0u;

// The menus popped up and not yet closed, in the order they came up.
std::vector<tmenu *> g_open;

}  // namespace

static tmenu *menu_of(tcontrol *control);
static tmenu *menu_of_list(tlistbox *list);
static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
static void on_layout(tcontrol *control, const trect *rect);
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static void on_backdrop(tsurface *surface, tcanvas *canvas, const trect *rect);
static void on_compose(tsurface *surface, tcanvas *canvas, const trect *rect);
static bool see_through(tmenu *menu);
static void choose_composition(tmenu *menu);
static void show_parts(tmenu *menu);
static int32_t child_count(tcontrol *control);
static tcontrol *child_at(tcontrol *control, int32_t index);
static void on_bar_click(tcontrolbar *bar, intptr_t user_data);
static void on_item(tlistbox *list, int32_t row);
static void draw_separator(tlistbox *list, tcanvas *canvas, const trect *rect, int32_t row, int *draw);
static void draw_submenu_arrow(tlistbox *list, tcanvas *canvas, int32_t image, const trect *cell, int32_t row,
                               int32_t column, int *draw);
static void lay_out(tmenu *menu);
static void follow_orientation(tmenu *menu);
static void place(tmenu *menu, int32_t x, int32_t y);
static int32_t content_width(tmenu *menu);
static void fit(int32_t *position, int32_t *size, int32_t low, int32_t high);
static void close_chain(tmenu *menu);
static void update(tmenu *menu);

int tmenu_init(tmenu *menu, void *owner) {
  PORT_CHECK(menu != nullptr);
  std::memset(menu, 0, sizeof *menu);
  tcontrol *control = &menu->_control;
  tscreen *screen = tscreen_get();
  PORT_CHECK(screen != nullptr);
  trect whole = {0, 0, tscreen_get_width(screen) - 1, tscreen_get_height(screen) - 1};
  if (!tcontrol_init(control, nullptr, &whole, owner)) return 0;
  tcontrol_set_align(control, TCONTROL_ALIGN_FILL);
  menu->_dim_color = tcolor_rgba(0, 0, 0, 64);
  menu->_popup_x = menu->_popup_y = -1;
  menu->_item_height = 25;

  trect empty = {0, 0, -1, -1};
  menu->_bar = tcontrolbar_new(control, &empty, menu);
  menu->_list = tlistbox_new(control, &empty, menu);
  if (!menu->_bar || !menu->_list || !tlistbox_add_column(menu->_list, TLISTCOLUMN_TEXT, u"text", -1) ||
      !tlistbox_add_column(menu->_list, TLISTCOLUMN_IMAGE, u"image", 10)) {
    tmenu_deinit(menu);
    return 0;
  }
  tcontrolbar *bar = menu->_bar;
  // The new bar docked itself at the bottom of the menu as it is now.
  menu->_docked_width = tsurface_get_width(&control->_surface);
  menu->_docked_height = tsurface_get_height(&control->_surface);
  tbutton_set_text(tcontrolbar_get_left_button(bar), tresource_get_string(TEXT_SELECT, u"Select"));
  tbutton_set_text(tcontrolbar_get_right_button(bar), tresource_get_string(TEXT_CANCEL, u"Cancel"));
  tsurface_set_visible(&tcontrolbar_get_middle_button(bar)->_control._surface, 0);
  tbdrawer *bar_look = tcontrol_get_box_drawer(&bar->_control);
  tbdrawer_set_fill_color(bar_look, SEE_THROUGH);
  tbdrawer_set_no_border(bar_look);
  tsurface_set_color_key(&bar->_control._surface, SEE_THROUGH);
  tcontrolbar_set_on_click(bar, on_bar_click);

  tlistbox *list = menu->_list;
  tlistbox_set_margins(list, MARGIN, MARGIN, MARGIN, MARGIN);
  tlistbox_set_column_from_right(list, 1, 1);
  tlistbox_set_single_tap(list, 1);
  tlistbox_set_on_activate(list, on_item);
  tlistbox_set_paint_hooks(list, nullptr, draw_separator, nullptr, draw_submenu_arrow);
  // Scrolling and taps change the list only: it goes straight to the screen,
  // and into the menu's buffer while that is what shows (choose_composition),
  // instead of recomposing the whole screen.
  tsurface_set_update_mode(&list->_control._surface, 1, 1);

  tbdrawer *look = tcontrol_get_box_drawer(control);
  tbdrawer_set_fill_color(look, SEE_THROUGH);
  tbdrawer_set_no_border(look);
  tsurface_set_color_key(&control->_surface, SEE_THROUGH);
  tcontrol_set_on_paint(control, on_paint);
  tcontrol_set_on_layout(control, on_layout);
  tcontrol_set_on_key(control, on_key);
  tcontrol_set_on_pen(control, on_pen);
  tsurface_set_on_backdrop(&control->_surface, on_backdrop);
  tcontrol_set_children_fns(control, child_count, child_at);
  tstyler_apply(tstyler_get_default(), menu, TSTYLE_MENU, owner, 0);
  return 1;
}

tmenu *tmenu_new(void *owner) {
  tmenu *menu = static_cast<tmenu *>(std::calloc(1, sizeof(tmenu)));
  if (!menu) return nullptr;
  if (!tmenu_init(menu, owner)) {
    std::free(menu);
    return nullptr;
  }
  return menu;
}

void tmenu_deinit(tmenu *menu) {
  PORT_CHECK(menu != nullptr);
  if (menu->_submenu) tmenu_close(menu->_submenu);
  g_open.erase(std::remove(g_open.begin(), g_open.end(), menu), g_open.end());
  if (menu->_parent && menu->_parent->_submenu == menu) menu->_parent->_submenu = nullptr;
  menu->_parent = nullptr;
  if (menu->_list) {
    for (int32_t i = 0; i < tlistbox_get_count(menu->_list); i++) std::free(tmenu_get_item(menu, i));
    tlistbox_free(menu->_list);
  }
  if (menu->_bar) tcontrolbar_free(menu->_bar);
  menu->_list = nullptr;
  menu->_bar = nullptr;
  tcontrol_deinit(&menu->_control);
}

void tmenu_free(tmenu *menu) {
  PORT_CHECK(menu != nullptr);
  tmenu_deinit(menu);
  std::free(menu);
}

tmenu_item *tmenu_add_item(tmenu *menu, const char16_t *text, uint32_t id, int has_submenu, int separator_above,
                           void *user_data) {
  PORT_CHECK(menu != nullptr);
  tmenu_item *item = static_cast<tmenu_item *>(std::calloc(1, sizeof(tmenu_item)));
  if (!item) return nullptr;
  item->_id = id;
  item->_has_submenu = has_submenu != 0;
  item->_separator_above = separator_above != 0;
  item->_user_data = user_data;
  if (!tlistbox_add_item(menu->_list, text, menu->_item_height, item)) {
    std::free(item);
    return nullptr;
  }
  return item;
}

tmenu_item *tmenu_get_item(const tmenu *menu, int32_t index) {
  PORT_CHECK(menu != nullptr);
  return static_cast<tmenu_item *>(tlistbox_get_user_data(menu->_list, index));
}

tlistbox *tmenu_get_listbox(const tmenu *menu) {
  PORT_CHECK(menu != nullptr);
  return menu->_list;
}

tcontrolbar *tmenu_get_controlbar(const tmenu *menu) {
  PORT_CHECK(menu != nullptr);
  return menu->_bar;
}

void tmenu_set_item_height(tmenu *menu, int32_t height) {
  PORT_CHECK(menu != nullptr);
  menu->_item_height = height;
}

void tmenu_set_dim_background(tmenu *menu, int dim) {
  PORT_CHECK(menu != nullptr);
  menu->_dim = dim != 0;
}

void tmenu_set_on_popup(tmenu *menu, tmenu_popup_fn fn) {
  PORT_CHECK(menu != nullptr);
  menu->_on_popup = fn;
}

void tmenu_set_on_select(tmenu *menu, tmenu_select_fn fn) {
  PORT_CHECK(menu != nullptr);
  menu->_on_select = fn;
}

int tmenu_popup(tmenu *menu, int32_t x, int32_t y) {
  PORT_CHECK(menu != nullptr);
  if (menu->_on_popup) menu->_on_popup(menu, x, y);
  menu->_popup_x = x;
  menu->_popup_y = y;
  tsurface *surface = &menu->_control._surface;
  choose_composition(menu);
  // A new menu lays itself out and draws its buffer as it is realised.
  bool fresh = !tsurface_is_realized(surface);
  if (!fresh) lay_out(menu);
  tcontrol_realize(&menu->_control);
  tsurface_take_modal(surface);
  tscreen_note_popup(tscreen_get(), surface);
  if (std::find(g_open.begin(), g_open.end(), menu) == g_open.end()) g_open.push_back(menu);
  if (fresh) show_parts(menu);
  return 1;
}

void tmenu_close(tmenu *menu) {
  PORT_CHECK(menu != nullptr);
  tmenu_free(menu);
  if (tscreen *screen = tscreen_get()) tscreen_paint(screen, nullptr);
}

void tmenu_close_all() {
  // A submenu comes up after its parent: the last one is a leaf.
  while (!g_open.empty()) tmenu_close(g_open.back());
}

static tmenu *menu_of(tcontrol *control) { return reinterpret_cast<tmenu *>(control); }

// The list's owner word is its menu.
static tmenu *menu_of_list(tlistbox *list) {
  return static_cast<tmenu *>(tsurface_get_owner(&list->_control._surface));
}

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  tbdrawer_draw(control->_bdrawer, canvas, rect);
}

static void on_layout(tcontrol *control, const trect *) { lay_out(menu_of(control)); }

static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  tmenu *menu = menu_of(control);
  if (code == KEY_RIGHT) {
    on_item(menu->_list, tlistbox_get_selected(menu->_list));
    return 1;
  }
  if (code == KEY_LEFT) {
    if (menu->_is_submenu) tmenu_close(menu);
    return 1;
  }
  // Either may close the menu: nothing is touched after them.
  if (tcontrol_handle_key(&menu->_list->_control, code, repeat, modifiers)) return 1;
  tcontrol_handle_key(&menu->_bar->_control, code, repeat, modifiers);
  return 1;
}

static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers) {
  tmenu *menu = menu_of(control);
  const trect *r = tsurface_get_rect(&control->_surface);
  int32_t mx = x - r->x1, my = y - r->y1;
  if (tcontrol_handle_pen(&menu->_list->_control, type, mx, my, modifiers)) return 1;
  tcontrol *bar = &menu->_bar->_control;
  if (tsurface_is_visible(&bar->_surface) && tcontrol_handle_pen(bar, type, mx, my, modifiers)) return 1;
  if (type == TSCREEN_PEN_UP) tmenu_close(menu);
  return 1;
}

static void on_backdrop(tsurface *surface, tcanvas *canvas, const trect *) {
  const tmenu *menu = menu_of(reinterpret_cast<tcontrol *>(surface));
  if (!menu->_dim) return;
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, DIM_WORD);
  tcanvas_clear(canvas);
}

// Only the list and the bar show through the see-through look: they go
// straight onto what lies behind, the list as it is and the bar through its
// key, which gives the pixels the keyed buffer would give without filling and
// keying a buffer the size of the screen. The menu fills the screen from its
// origin, so its parts' rects are screen rects.
static void on_compose(tsurface *surface, tcanvas *canvas, const trect *) {
  tmenu *menu = menu_of(reinterpret_cast<tcontrol *>(surface));
  if (menu->_list) tsurface_compose_onto(&menu->_list->_control._surface, canvas);
  if (menu->_bar) tsurface_compose_onto(&menu->_bar->_control._surface, canvas);
}

// The menu's own look lets everything through: an unbordered fill in its key
// colour, drawn by the standard routine, on a menu at the screen's origin.
static bool see_through(tmenu *menu) {
  const tsurface *surface = &menu->_control._surface;
  const tbdrawer *look = menu->_control._bdrawer;
  const trect *r = tsurface_get_rect(surface);
  return look && menu->_control._on_paint == on_paint && look->_draw == tbdrawer_draw_standard &&
         look->_fill_mode == TBDRAWER_FILL_SOLID && !look->_pattern && look->_border_style == TBDRAWER_BORDER_PLAIN &&
         look->_border_width == 0 && same_color(look->_fill_color, SEE_THROUGH) && surface->_keyed &&
         !surface->_masked && same_color(surface->_key, SEE_THROUGH) && r->x1 == 0 && r->y1 == 0;
}

// See-through menus compose their parts straight onto the screen, and the list
// then has no buffer of the menu's to keep current as it scrolls; any other
// look is the menu's buffer composed through its key.
static void choose_composition(tmenu *menu) {
  bool direct = see_through(menu);
  tsurface *surface = &menu->_control._surface;
  tsurface_set_on_compose(surface, direct ? on_compose : nullptr);
  tsurface_set_update_mode(&menu->_list->_control._surface, 1, !direct);
  // Nothing shows the buffer of a see-through menu: its parts are not
  // composed into it (a clip off the buffer).
  const trect nowhere = {-1, -1, -1, -1};
  if (direct)
    tcanvas_set_clip(tsurface_get_canvas(surface), &nowhere);
  else
    tcanvas_clear_clip(tsurface_get_canvas(surface));
}

// A new menu on screen: where nothing shows but the list and the bar, only
// their rects change, and the list, copied as it is, hides whatever lies
// under it: its buffer goes straight to the frame buffer. A dimmed or drawn
// menu changes the whole screen.
static void show_parts(tmenu *menu) {
  tscreen *screen = tscreen_get();
  tsurface *surface = &menu->_control._surface;
  if (menu->_dim || !surface->_compose) {
    tscreen_paint(screen, tsurface_get_rect(surface));
    return;
  }
  tsurface *list = &menu->_list->_control._surface, *bar = &menu->_bar->_control._surface;
  trect r;
  tsurface_get_screen_rect(bar, &r);
  if (tsurface_is_visible(bar) && r.x1 <= r.x2 && r.y1 <= r.y2) tscreen_paint(screen, &r);
  tsurface_get_screen_rect(list, &r);
  const tbitmap *drawn = tcanvas_get_bitmap(tsurface_get_canvas(list));
  if (!tsurface_is_visible(list) || r.x1 > r.x2 || r.y1 > r.y2 || !drawn) return;
  if (list->_keyed || list->_masked || list->_compose || list->_backdrop) {
    tscreen_paint(screen, &r);
    return;
  }
  if (tscreen_get_update_lock(screen)) return;
  tpoint at = {r.x1, r.y1};
  trect whole = {0, 0, r.x2 - r.x1, r.y2 - r.y1};
  tcanvas_draw_bitmap(tscreen_get_canvas(screen), &at, drawn, &whole);
  const trect *bounds = tscreen_get_rect(screen);
  r = {std::max(r.x1, bounds->x1), std::max(r.y1, bounds->y1), std::min(r.x2, bounds->x2), std::min(r.y2, bounds->y2)};
  if (r.x1 > r.x2 || r.y1 > r.y2) return;
  tscreen_compose_above(screen, surface, &r);
  wins_window_flush_screen(&r);
}

static int32_t child_count(tcontrol *) { return 2; }

static tcontrol *child_at(tcontrol *control, int32_t index) {
  tmenu *menu = menu_of(control);
  if (index == 0 && menu->_list) return &menu->_list->_control;
  if (index == 1 && menu->_bar) return &menu->_bar->_control;
  return nullptr;
}

// The bar's owner word is its menu.
static void on_bar_click(tcontrolbar *bar, intptr_t user_data) {
  tmenu *menu = static_cast<tmenu *>(tsurface_get_owner(&bar->_control._surface));
  if (user_data == 1)
    on_item(menu->_list, tlistbox_get_selected(menu->_list));
  else if (user_data == 0)
    close_chain(menu);
}

// Opens the row's submenu, or chooses the row: every menu of the chain is
// freed before the owner hears of the choice.
static void on_item(tlistbox *list, int32_t row) {
  tmenu *menu = menu_of_list(list);
  const tmenu_item *item = static_cast<const tmenu_item *>(tlistbox_get_user_data(list, row));
  if (!item) return;
  if (item->_has_submenu) {
    // One submenu at a time: a second one (the same row activated again, as
    // a release on the root after Right opened it, or another row) replaces
    // the open one, whose chain closes first from its leaf.
    if (menu->_submenu) tmenu_close(menu->_submenu);
    tmenu *submenu = tmenu_new(item->_user_data);
    if (!submenu) return;
    submenu->_item_height = menu->_item_height;
    submenu->_dim = menu->_dim;
    tlistbox_set_smooth_scroll(submenu->_list, tlistbox_get_smooth_scroll(list));
    submenu->_on_select = menu->_on_select;
    submenu->_on_popup = menu->_on_popup;
    submenu->_is_submenu = 1;
    submenu->_parent_item_id = item->_id;
    submenu->_parent = menu;
    menu->_submenu = submenu;
    const trect *at = tsurface_get_rect(&list->_control._surface);
    const trect *drawn = tlistbox_get_item_rect(list, row);
    tmenu_popup(submenu, at->x1 + drawn->x2 - SUBMENU_SHIFT, at->y1 + drawn->y1 + SUBMENU_SHIFT);
    return;
  }
  uint32_t id = item->_id;
  void *user_data = item->_user_data;
  tmenu_select_fn on_select = menu->_on_select;
  close_chain(menu);
  if (on_select) on_select(id, user_data);
}

static void draw_separator(tlistbox *list, tcanvas *canvas, const trect *rect, int32_t row, int *) {
  const tmenu_item *item = static_cast<const tmenu_item *>(tlistbox_get_user_data(list, row));
  if (!item || !item->_separator_above) return;
  int32_t left = rect->x1, right = rect->x2, top = rect->y1;
  tcanvas_draw_line_color(canvas, left, top - 2, right - 1, top - 2, ETCH_BLACK);
  tcanvas_draw_line_color(canvas, right, top - 2, right, top - 2, ETCH_GREY);
  tcanvas_draw_line_color(canvas, left, top - 1, left, top - 1, ETCH_BLACK);
  tcanvas_draw_line_color(canvas, left + 1, top - 1, right, top - 1, ETCH_LIGHT);
}

// A triangle pointing right, in the colour the row's text has.
static void draw_submenu_arrow(tlistbox *list, tcanvas *canvas, int32_t, const trect *cell, int32_t row,
                               int32_t column, int *) {
  if (column != 1) return;
  const tmenu_item *item = static_cast<const tmenu_item *>(tlistbox_get_user_data(list, row));
  tlistcolumn *text_column = tlistbox_get_column(list, 0);
  if (!item || !item->_has_submenu || !text_column) return;
  bool highlighted = row == tlistbox_get_selected(list) && !list->_sticky;
  tcolor color;
  ttdrawer_get_color(highlighted ? tlistcolumn_get_selected_text_drawer(text_column)
                                 : tlistcolumn_get_text_drawer(text_column),
                     &color);
  int32_t w = cell->x2 - cell->x1 - 3, h = cell->y2 - cell->y1;
  int32_t cx = cell->x1 + w / 2, upper = cell->y1 + (h - 7) / 2, middle = cell->y1 + (h + 1) / 2;
  const tpoint points[] = {{cx + 4, middle}, {cx, upper}, {cx, upper + 8}, {cx + 4, middle}};
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, tcolor_to_word(&color));
  tcanvas_fill_polygon(canvas, points, 4);
}

// Bar by orientation, the list at its point (a submenu's follows its parent's
// row), an open submenu after it, then the whole menu on screen.
static void lay_out(tmenu *menu) {
  follow_orientation(menu);
  tsurface_paint(&menu->_bar->_control._surface);
  int32_t x = menu->_popup_x, y = menu->_popup_y;
  const tmenu *parent = menu->_is_submenu ? menu->_parent : nullptr;
  if (parent) {
    tlistbox *list = parent->_list;
    const trect *at = tsurface_get_rect(&list->_control._surface);
    if (const trect *drawn = tlistbox_get_item_rect(list, tlistbox_get_selected(list))) {
      x = at->x1 + drawn->x2 - SUBMENU_SHIFT;
      y = at->y1 + drawn->y1 + SUBMENU_SHIFT;
    }
  }
  place(menu, x, y);
  if (menu->_submenu) lay_out(menu->_submenu);
  update(menu);
}

// The bar lies at the bottom of a menu no wider than high, else at the right;
// it is docked again when either or the menu's size changed since its last
// docking (the menu lays itself out before its parts hear of a new size).
static void follow_orientation(tmenu *menu) {
  const tsurface *surface = &menu->_control._surface;
  int32_t width = tsurface_get_width(surface), height = tsurface_get_height(surface);
  int32_t position = width > height ? TCONTROLBAR_RIGHT : TCONTROLBAR_BOTTOM;
  if (position == tcontrolbar_get_position(menu->_bar) && width == menu->_docked_width &&
      height == menu->_docked_height)
    return;
  tcontrolbar_set_position(menu->_bar, position);
  menu->_docked_width = width;
  menu->_docked_height = height;
}

// Sizes the list to its rows and widest texts and keeps it on screen beside
// the bar; a list that does not fit is cut and scrolls.
static void place(tmenu *menu, int32_t x, int32_t y) {
  tlistbox *list = menu->_list;
  int32_t left, top, right, bottom;
  tlistbox_get_margins(list, &left, &top, &right, &bottom);
  int32_t height = top + bottom + tlistbox_get_total_height(list) + 1;
  int32_t width = content_width(menu) + left + right + tlistbox_get_scrollbar_width(list);
  tscreen *screen = tscreen_get();
  int32_t screen_w = tscreen_get_width(screen), screen_h = tscreen_get_height(screen);
  const trect *bar = tsurface_get_rect(&menu->_bar->_control._surface);
  int32_t low_x = 0, low_y = 0, high_x = screen_w - 1, high_y = screen_h - 1;
  if (tcontrolbar_get_position(menu->_bar) == TCONTROLBAR_RIGHT) {
    if (y == -1) y = (screen_h - height) / 2;
    if (x == -1) x = screen_w - width;
    high_x = screen_w - 1 - (bar->x2 - bar->x1 + 1);
  } else {
    if (y == -1) y = bar->y1 - height;
    if (x == -1) x = 0;
    high_y = screen_h - 1 - (bar->y2 - bar->y1 + 1);
  }
  fit(&x, &width, low_x, high_x);
  fit(&y, &height, low_y, high_y);
  tcontrol_set_rect(&list->_control, x, y, width, height);
}

// The widest text of each text column in its own font, plus the image
// columns' widths; never below 50.
static int32_t content_width(tmenu *menu) {
  tlistbox *list = menu->_list;
  tcanvas *canvas = tsurface_get_canvas(&list->_control._surface);
  int64_t width = 0;
  for (int32_t c = 0; c < tlistbox_get_column_count(list); c++) {
    tlistcolumn *column = tlistbox_get_column(list, c);
    if (tlistcolumn_get_type(column) != TLISTCOLUMN_TEXT) {
      width += tlistcolumn_get_width(column);
      continue;
    }
    const ttdrawer *font = tlistcolumn_get_text_drawer(column);
    const char16_t *face = ttdrawer_get_font_face(font);
    wins_graphics_set_font(canvas, ttdrawer_get_font_size(font), face && face[0] ? face : nullptr);
    tcanvas_set_font_style(canvas, ttdrawer_get_font_style(font));
    tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, 0xFF000000u);
    wins_graphics_pass *pass = wins_graphics_begin_text(canvas);
    if (!pass) continue;
    int32_t widest = 0;
    for (int32_t row = 0; row < tlistbox_get_count(list); row++) {
      const char16_t *text = tlistbox_get_text(list, row, c);
      if (!text) continue;
      int length = int(std::min<size_t>(std::char_traits<char16_t>::length(text), INT32_MAX));
      widest = std::max(widest, wins_graphics_get_text_width(canvas, pass, text, length));
    }
    wins_graphics_end_text(canvas, pass);
    width += widest;
  }
  return int32_t(std::clamp<int64_t>(width, MIN_CONTENT_WIDTH, INT32_MAX / 2));
}

// Back inside the far edge, then the near one, then cut to what is left.
static void fit(int32_t *position, int32_t *size, int32_t low, int32_t high) {
  if (int64_t(*position) + *size - 1 > high) *position = high - *size + 1;
  if (*position < low) *position = low;
  if (int64_t(*position) + *size - 1 > high) *size = high - *position + 1;
}

// This menu and, while the closed one was a submenu, its parent; each parent
// is read before the close that frees its child. Closing a menu closes its
// open submenu first, so the chain goes from its leaf.
static void close_chain(tmenu *menu) {
  while (menu) {
    tmenu *parent = menu->_is_submenu ? menu->_parent : nullptr;
    tmenu_close(menu);
    menu = parent;
  }
}

static void update(tmenu *menu) { tsurface_update(&menu->_control._surface, nullptr); }
