// scalebar: the zoom bar and its menu of fixed zooms.
#include "scalebar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app_common.h"
#include "app_context.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_main.h"
#include "panel_links.h"
#include "toolbar.h"
#include "port_log.h"
#include "tcontrolbar.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "tresource.h"
#include "tscreen.h"

namespace {

struct class_sizes {
  int32_t margin, label_width, label_height, button, label_gap, button_gap;
};
constexpr class_sizes k_small = {3, 35, 15, 25, 5, 5};
constexpr class_sizes k_normal = {5, 50, 25, 45, 10, 10};
// The large class: the others' values x 1.3 in single precision, truncated,
// with buttons of its own size.
constexpr float k_large_factor = 1.3f;
constexpr int32_t k_large_button = 60;

constexpr int32_t k_first_picture = 15077;  // zoom out pressed, zoom out, surface, in pressed, in, menu pressed, menu
constexpr int32_t k_surface_picture = 15079;
constexpr int k_panel_alpha = 216;
constexpr tcolor k_label_key = tcolor_rgba(255, 0, 255, 216);
constexpr int32_t k_label_font = 7;
constexpr int32_t k_menu_scroll_steps = 2, k_menu_scrollbar = 10;
constexpr int32_t k_toolbar_zoom = 1008;

struct zoom_item {
  int32_t id, text_id;
  const char16_t *text;
  int separator_above;
};
const zoom_item k_items[] = {
    {SCALEBAR_WHOLE_CANVAS, 25195, u"Whole Canvas", 0}, {SCALEBAR_CANVAS_WIDTH, 25196, u"Canvas Width", 0},
    {SCALEBAR_ZOOM_25, 0, u"25%", 1},                  {SCALEBAR_ZOOM_50, 0, u"50%", 0},
    {SCALEBAR_ZOOM_100, 0, u"100%", 0},                {SCALEBAR_ZOOM_200, 0, u"200%", 0},
    {SCALEBAR_ZOOM_400, 0, u"400%", 0},                {SCALEBAR_HIDE, 25197, u"Hide", 1},
};

class_sizes sizes_of_screen();
tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tbutton *make_button(scalebar *sb, intptr_t id, int image, int pressed);
void percent_text(int32_t percent, char16_t *out, int n);
void place(void *widget, int32_t x, int32_t y, int32_t width, int32_t height);
void pop_up_menu(scalebar *sb);
void fill_menu(tmenu *menu, int32_t x, int32_t y);
void on_menu_select(uint32_t id, void *user_data);
trect screen_rect_of(void *widget);
trect join(const trect &a, const trect &b) {
  return {std::min(a.x1, b.x1), std::min(a.y1, b.y1), std::max(a.x2, b.x2), std::max(a.y2, b.y2)};
}

}  // namespace

scalebar *scalebar_new(tcontrol *parent, const trect *rect, int32_t percent, app_context *app) {
  (void)parent;
  (void)rect;
  PORT_CHECK(app != nullptr);
  scalebar *sb = static_cast<scalebar *>(std::calloc(1, sizeof(scalebar)));
  if (!sb) return nullptr;
  sb->_app = app;
  class_sizes c = sizes_of_screen();
  sb->_margin = c.margin;
  sb->_label_width = c.label_width;
  sb->_label_height = c.label_height;
  sb->_button_size = c.button;
  sb->_label_gap = c.label_gap;
  sb->_button_gap = c.button_gap;
  for (int i = 0; i < SCALEBAR_PICTURES; i++)
    panel_picture_load(&sb->_pictures[i], k_first_picture + i, c.button, c.button);
  char16_t text[16];
  percent_text(percent, text, 16);
  trect label_rect = {0, 0, c.label_width - 1, c.label_height - 1};
  sb->_label = tlabel_new(nullptr, &label_rect, text, -1, TLABEL_CENTRE, sb);
  if (sb->_label) {
    ttdrawer *words = tlabel_get_tdrawer(sb->_label);
    ttdrawer_set_color(words, tcolor_rgba(255, 255, 255));
    ttdrawer_set_font_size(words, k_label_font);
    tbdrawer *box = tcontrol_get_box_drawer(control_of(sb->_label));
    tbdrawer_set_border(box, tcolor_rgba(90, 90, 90), 1);
    tbdrawer_set_fill_color(box, tcolor_rgba(128, 128, 128));
    tsurface_set_color_key(&control_of(sb->_label)->_surface, k_label_key);
    tsurface_set_color_key_enabled(&control_of(sb->_label)->_surface, 1);
  }
  sb->_zoom_in = make_button(sb, SCALEBAR_ZOOM_IN, 4, 3);
  sb->_zoom_out = make_button(sb, SCALEBAR_ZOOM_OUT, 1, 0);
  sb->_menu = make_button(sb, SCALEBAR_MENU, 6, 5);
  if (!sb->_label || !sb->_zoom_in || !sb->_zoom_out || !sb->_menu) {
    scalebar_free(sb);
    return nullptr;
  }
  return sb;
}

void scalebar_free(scalebar *sb) {
  PORT_CHECK(sb != nullptr);
  for (tbutton *button : {sb->_zoom_in, sb->_zoom_out, sb->_menu})
    if (button) tbutton_free(button);
  if (sb->_label) tlabel_free(sb->_label);
  for (panel_picture &picture : sb->_pictures) panel_picture_release(&picture);
  std::free(sb);
}

void scalebar_show(scalebar *sb) {
  PORT_CHECK(sb != nullptr);
  scalebar_layout(sb);
  for (void *widget : {static_cast<void *>(sb->_label), static_cast<void *>(sb->_zoom_in),
                       static_cast<void *>(sb->_zoom_out), static_cast<void *>(sb->_menu)})
    tcontrol_realize(control_of(widget));
  trect area = join(sb->_rect, screen_rect_of(sb->_label));
  tscreen_paint(tscreen_get(), &area);
}

void scalebar_layout(scalebar *sb) {
  PORT_CHECK(sb != nullptr);
  tscreen *screen = tscreen_get();
  int32_t width = tscreen_get_width(screen), height = tscreen_get_height(screen);
  trect before = join(sb->_rect, screen_rect_of(sb->_label));
  int32_t m = sb->_margin, b = sb->_button_size, g1 = sb->_label_gap, g2 = sb->_button_gap;
  tbutton *buttons[3] = {sb->_zoom_in, sb->_zoom_out, sb->_menu};
  sb->_row = width > height;
  // The navigation thumbnail shares the bar's edge: the bar stops short of
  // its place (above it, or left of it) rather than lie under it.
  const trect thumb = paint_main_thumbnail_rect(width, height);
  if (!sb->_row) {
    int32_t bar_width = b + 2 * m, bar_height = 3 * b + 2 * (m + g2) + g1 + sb->_label_height;
    int32_t x = width - m - bar_width, y = std::max(0, std::min((height - bar_height) / 2, thumb.y1 - bar_height));
    sb->_rect = {x, y, x + bar_width - 1, y + bar_height - 1};
    place(sb->_label, x + (bar_width - sb->_label_width) / 2, y + m, sb->_label_width, sb->_label_height);
    int32_t top = y + m + sb->_label_height + g1;
    for (int i = 0; i < 3; i++) place(buttons[i], x + m, top + i * (b + g2), b, b);
  } else {
    int32_t bar_width = 3 * b + 2 * (m + g2) + g1 + sb->_label_width, bar_height = b + 2 * m;
    int32_t x = std::max(0, std::min((width - bar_width) / 2, thumb.x1 - bar_width)), y = m;
    sb->_rect = {x, y, x + bar_width - 1, y + bar_height - 1};
    place(sb->_label, x + m, y + (bar_height - sb->_label_height) / 2, sb->_label_width, sb->_label_height);
    int32_t left = x + m + sb->_label_width + g1;
    for (int i = 0; i < 3; i++) place(buttons[i], left + i * (b + g2), y + m, b, b);
  }
  // The small label overhangs the bar: the repaint takes both.
  trect area = join(before, join(sb->_rect, screen_rect_of(sb->_label)));
  tscreen_paint(screen, &area);
}

void scalebar_set_percent(scalebar *sb, int32_t percent) {
  PORT_CHECK(sb != nullptr);
  char16_t text[16];
  percent_text(percent, text, 16);
  tlabel_set_text(sb->_label, text, -1);
  tsurface_update(&control_of(sb->_label)->_surface, nullptr);
}

void scalebar_zoom_to(scalebar *sb, double zoom, int centre) {
  PORT_CHECK(sb != nullptr);
  app_context *app = sb->_app;
  paint_context *pc = app->_paint_context;
  if (!pc) return;
  trect before = paint_main_canvas_rect();
  int32_t w0 = before.x2 - before.x1 + 1, h0 = before.y2 - before.y1 + 1;
  paint_main_end_tool_operation();
  // The canvas at the old zoom is held until the new one is drawn whole:
  // without memory for it, or for a canvas its crops make, the painting
  // stays as it was.
  int held = paint_context_hold_canvas(pc);
  int result = paint_context_set_zoom(pc, zoom);
  if (result == 0) {
    if (held) paint_context_release_canvas(pc, 0);
    app_common_show_error(tresource_get_string(25044, u"Fail to complete this task."));
    return;
  }
  tscreen *screen = tscreen_get();
  uint32_t lock_found = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  if (result == 1 && app->_history) {
    int32_t position = paint_history_get_position(app->_history);
    int modified = paint_history_is_modified(app->_history);
    if (!paint_history_rebuild(app->_history)) {
      paint_history_set_position(app->_history, position);
      paint_history_set_modified(app->_history, modified);
      result = -1;
    }
  }
  if (held) paint_context_release_canvas(pc, result == 1);
  tscreen_set_update_lock(screen, lock_found);
  if (result != 1) {
    paint_main_after_rebuild();
    app_common_show_memory_stop();
    return;
  }
  tbitmap *canvas = paint_context_get_canvas(pc);
  int32_t w1 = tbitmap_get_width(canvas), h1 = tbitmap_get_height(canvas);
  int32_t width = tscreen_get_width(screen), height = tscreen_get_height(screen);
  int64_t x = int64_t(width / 2) - w1 / 2, y = int64_t(height / 2) - h1 / 2;
  if (!centre) {
    int64_t kept_x = int64_t(before.x1) + w0 / 2 - w1 / 2, kept_y = int64_t(before.y1) + h0 / 2 - h1 / 2;
    bool seen = kept_x <= width - 1 && kept_x + w1 - 1 >= 0 && kept_y <= height - 1 && kept_y + h1 - 1 >= 0;
    if (seen) {
      x = kept_x;
      y = kept_y;
    }
  }
  paint_context_set_origin(pc, int32_t(x), int32_t(y));
  paint_main_after_rebuild();
}

void scalebar_on_click(tbutton *button, intptr_t user_data) {
  PORT_CHECK(button != nullptr);
  scalebar *sb = static_cast<scalebar *>(tsurface_get_owner(&button->_control._surface));
  PORT_CHECK(sb != nullptr);
  scalebar_run(sb, int32_t(user_data));
}

void scalebar_run(scalebar *sb, int32_t id) {
  PORT_CHECK(sb != nullptr);
  paint_context *pc = sb->_app->_paint_context;
  if (!pc) return;
  tscreen *screen = tscreen_get();
  double width = tscreen_get_width(screen), height = tscreen_get_height(screen);
  // The painting as it is: a crop or resize since it began changed its size.
  double picture_width = 1, picture_height = 1;
  paint_context_get_painting_size(pc, &picture_width, &picture_height);
  picture_width = std::max(picture_width, 1.0);
  picture_height = std::max(picture_height, 1.0);
  double zoom = paint_context_get_zoom(pc);
  switch (id) {
    case SCALEBAR_ZOOM_IN:
      scalebar_zoom_to(sb, zoom * SCALEBAR_STEP, 0);
      break;
    case SCALEBAR_ZOOM_OUT:
      scalebar_zoom_to(sb, zoom * 0.9090909090909091, 0);
      break;
    case SCALEBAR_MENU:
      pop_up_menu(sb);
      break;
    case SCALEBAR_WHOLE_CANVAS:
      scalebar_zoom_to(sb, std::min(width / picture_width, height / picture_height), 1);
      break;
    case SCALEBAR_CANVAS_WIDTH:
      scalebar_zoom_to(sb, width / picture_width, 1);
      break;
    case SCALEBAR_ZOOM_25:
      scalebar_zoom_to(sb, 0.25, 0);
      break;
    case SCALEBAR_ZOOM_50:
      scalebar_zoom_to(sb, 0.5, 0);
      break;
    case SCALEBAR_ZOOM_100:
      scalebar_zoom_to(sb, 1.0, 0);
      break;
    case SCALEBAR_ZOOM_200:
      scalebar_zoom_to(sb, 2.0, 0);
      break;
    case SCALEBAR_ZOOM_400:
      scalebar_zoom_to(sb, 4.0, 0);
      break;
    case SCALEBAR_HIDE:
      // The bar is freed here: nothing of it is read after.
      if (sb->_app->_toolbar)
        toolbar_select(sb->_app->_toolbar, k_toolbar_zoom);
      else
        paint_main_toggle_zoom_bar();
      break;
    default:
      break;
  }
}

namespace {

class_sizes sizes_of_screen() {
  if (app_common_is_qvga()) return k_small;
  if (!app_common_is_vga()) return k_normal;
  auto grown = [](int32_t v) { return int32_t(float(v) * k_large_factor); };
  return {grown(k_normal.margin), grown(k_normal.label_width), grown(k_normal.label_height), k_large_button,
          grown(k_normal.label_gap), grown(k_normal.button_gap)};
}

tbutton *make_button(scalebar *sb, intptr_t id, int image, int pressed) {
  trect rect = {0, 0, sb->_button_size - 1, sb->_button_size - 1};
  tbutton *button = tbutton_new(nullptr, &rect, u"", id, sb);
  if (!button) return nullptr;
  tbutton_set_image(button, sb->_pictures[image]._bitmap, nullptr);
  tbutton_set_pressed_image(button, sb->_pictures[pressed]._bitmap, nullptr);
  const tbitmap *surface = sb->_pictures[k_surface_picture - k_first_picture]._bitmap;
  if (surface) tsurface_set_mask(&button->_control._surface, surface, k_panel_alpha);
  tbutton_set_on_click(button, scalebar_on_click);
  return button;
}

void percent_text(int32_t percent, char16_t *out, int n) {
  char ascii[16];
  int length = std::snprintf(ascii, sizeof ascii, "%d%%", int(percent));
  length = std::min(length, n - 1);
  for (int i = 0; i < length; i++) out[i] = char16_t(ascii[i]);
  out[length] = 0;
}

void place(void *widget, int32_t x, int32_t y, int32_t width, int32_t height) {
  tcontrol_set_rect(control_of(widget), x, y, width, height);
}

trect screen_rect_of(void *widget) {
  trect r;
  tsurface_get_screen_rect(&control_of(widget)->_surface, &r);
  return r;
}

void pop_up_menu(scalebar *sb) {
  tmenu *menu = tmenu_new(sb);
  if (!menu) return;
  tsurface_set_visible(&control_of(tmenu_get_controlbar(menu))->_surface, 0);
  tmenu_set_dim_background(menu, 1);
  tlistbox *list = tmenu_get_listbox(menu);
  tlistbox_set_smooth_scroll(list, 1);
  tlistbox_set_scroll_steps(list, k_menu_scroll_steps);
  tlistbox_set_scrollbar_width(list, k_menu_scrollbar);
  tmenu_set_on_popup(menu, fill_menu);
  tmenu_set_on_select(menu, on_menu_select);
  trect at = screen_rect_of(sb->_menu);
  tmenu_popup(menu, at.x1, at.y1);
}

void fill_menu(tmenu *menu, int32_t, int32_t) {
  scalebar *sb = static_cast<scalebar *>(tsurface_get_owner(&menu->_control._surface));
  if (tlistbox_get_count(tmenu_get_listbox(menu)) > 0) return;
  const commandpanel *panel = sb->_app->_commandpanel;
  bool offer_hide = panel && commandpanel_is_visible && commandpanel_is_visible(panel);
  for (const zoom_item &item : k_items) {
    if (item.id == SCALEBAR_HIDE && !offer_hide) continue;
    const char16_t *text = item.text_id ? tresource_get_string(item.text_id, item.text) : item.text;
    tmenu_add_item(menu, text, uint32_t(item.id), 0, item.separator_above, sb);
  }
}

void on_menu_select(uint32_t id, void *user_data) { scalebar_run(static_cast<scalebar *>(user_data), int32_t(id)); }

}  // namespace
