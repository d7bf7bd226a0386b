// toolbar: the dock, its form and buttons, tooltips, variants, drag and hide.
#include "toolbar.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app_common.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_main.h"
#include "port_log.h"
#include "shape.h"
#include "tbdrawer.h"
#include "tbutton.h"
#include "tcanvas.h"
#include "tdock.h"
#include "tform.h"
#include "thint.h"
#include "tlabel.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "tresource.h"
#include "tscreen.h"
#include "wins_timer.h"

namespace {

constexpr int32_t k_button_small = 25, k_button_large = 65, k_button_normal = 50;
constexpr int32_t k_margin_small = 10, k_margin_normal = 20;  // the dock's margins across the bar
constexpr int32_t k_grip = 15;          // the grip band's depth
constexpr int32_t k_layout_extra = 20;  // the dock's length beyond its buttons
constexpr int32_t k_screen_gap = 10;    // the dock's length stops this short of the screen
constexpr int32_t k_max_lines = 9;
// The sides of the buttons and the dock's margins across the bar of each
// screen class: what a rect kept on another screen was made of.
const struct {
  int32_t side, margin;
} k_line_classes[] = {{k_button_small, k_margin_small}, {k_button_normal, k_margin_normal},
                      {k_button_large, k_margin_normal}};
constexpr int32_t k_snap = 10;
constexpr int32_t k_resize_hold_ms = 100;
constexpr int32_t k_tooltip_rise = 30, k_tooltip_rise_large = 100;
constexpr int32_t k_tooltip_wrap_gap = 21;
constexpr int32_t k_frame_grow = 10;

constexpr tcolor k_grey = tcolor_rgba(128, 128, 128);
constexpr uint32_t k_light = 0xc8c8c8, k_dark = 0x808080;  // gradient key words
constexpr tcolor k_translucent_key = tcolor_rgba(221, 0, 221, 216);
constexpr tcolor k_frame_key = tcolor_rgba(221, 0, 221);
constexpr uint32_t k_frame_fill = 0xFFDD00DDu;
constexpr uint32_t k_frame_line = 0xFF8080FFu;
constexpr uint32_t k_dot = 0xFF808080u;
constexpr uint32_t k_dot_shine = 0x80FFFFFFu;  // white at alpha 128
constexpr uint32_t k_arrow = 0xFF404040u;
constexpr uint32_t k_black = 0xFF000000u;

constexpr int32_t k_marker_bitmap = 15143, k_marker_mask = 15144;
constexpr int32_t k_radio_bitmap = 15141, k_radio_mask = 15142;
constexpr int32_t k_check_mask = 15070;
constexpr int32_t k_radio_column = 20, k_icon_column = 40, k_check_gap = 20;
constexpr int32_t k_menu_scroll_steps = 2, k_menu_scrollbar = 10;
enum { OPTION_TRANSLUCENT = 1, OPTION_AUTO_HIDE = 2 };

struct button_entry {
  int32_t child_id, user_data, image, mask;
  bool keeps_state;
};

const button_entry k_buttons[] = {
    {1, 1, 15001, 15002, true},           {9, 9, 15061, 15062, true},
    {2, 2, 15039, 15040, true},           {10, 10, 15063, 15064, true},
    {3, 101, 15003, 15004, true},         {4, 201, 15015, 15016, true},
    {11, 307, 15031, 15032, true},        {7, 7, 15055, 15056, true},
    {1009, 1009, 15065, 15066, false},    {5, 5, 15041, 15042, true},
    {1004, 1004, 15043, 15044, false},    {8, 8, 15059, 15060, true},
    {1006, 1006, 15053, 15054, false},    {1002, 1002, 15047, 15048, false},
    {1003, 1003, 15049, 15050, false},    {6, 6, 15051, 15052, true},
    {1008, 1008, 15057, 15058, true},     {1010, 1010, 15067, 15068, true},
};

struct variant {
  int32_t tool, image, mask;
};

const variant k_variants[] = {
    {1, 15001, 15002},   {12, 15168, 15169},  {101, 15003, 15004}, {102, 15005, 15006}, {103, 15007, 15008},
    {104, 15009, 15010}, {201, 15015, 15016}, {202, 15017, 15018}, {203, 15011, 15012}, {204, 15013, 15014},
    {301, 15023, 15024}, {302, 15025, 15026}, {303, 15027, 15028}, {304, 15029, 15030}, {305, 15019, 15020},
    {306, 15021, 15022}, {307, 15031, 15032}, {308, 15033, 15034}, {309, 15035, 15036}, {310, 15037, 15038},
};

// The variant menu's rows: text (id and English default; %d is the radio
// column: 0 marks the tool on the button, -1 none), the tool, a separator
// above.
struct variant_item {
  int32_t text_id;
  const char16_t *text;
  int32_t tool;
  bool separator;
};

const variant_item k_variant_items[] = {
    {25223, u"Pencil/-1/%d/1", 1, false},
    {25224, u"Spray Brush/-1/%d/2", 12, false},
    {25098, u"Rect Outline/-1/%d/1", 101, false},
    {25099, u"Filled Rect/-1/%d/2", 102, false},
    {25100, u"Round Rect Outline/-1/%d/3", 103, true},
    {25101, u"Filled Round Rect/-1/%d/4", 104, false},
    {25102, u"Ellpise Outline/-1/%d/1", 201, false},
    {25103, u"Filled Ellipse/-1/%d/2", 202, false},
    {25104, u"Circle Outline/-1/%d/3", 203, true},
    {25105, u"Filled Circle/-1/%d/4", 204, false},
    {25106, u"Triangle Outline/-1/%d/1", 301, false},
    {25107, u"Filled Triangle/-1/%d/2", 302, false},
    {25108, u"Rhombus Outline/-1/%d/3", 303, true},
    {25109, u"Filled Rhombus/-1/%d/4", 304, false},
    {25110, u"Pentagon Outline/-1/%d/5", 305, true},
    {25111, u"Filled Pentagon/-1/%d/6", 306, false},
    {25112, u"Pentagram Outline/-1/%d/7", 307, true},
    {25113, u"Filled Pentagram/-1/%d/8", 308, false},
    {25114, u"Heart Outline/-1/%d/9", 309, true},
    {25115, u"Filled Heart/-1/%d/10", 310, false},
};

const struct {
  int32_t text_id;
  const char16_t *text;
  uint32_t id;
} k_options[] = {
    {25130, u"Translucent/-1/%d", OPTION_TRANSLUCENT},
    {25131, u"Auto Hide/-1/%d", OPTION_AUTO_HIDE},
};

struct command_text {
  int32_t id, title_id;
  const char16_t *title, *description;
};

const command_text k_command_texts[] = {
    {TOOLBAR_UNDO, 25116, u"Undo", u"Undo last action."},
    {TOOLBAR_REDO, 25118, u"Redo", u"Redo last action."},
    {TOOLBAR_CLEAR, 25120, u"Clear Painting", u"Set the canvas as empty."},
    {TOOLBAR_LINE_WIDTH, 25122, u"Line Width", u"Select the line width for the selected tool."},
    {TOOLBAR_ZOOM, 25124, u"Zoom In/Zoom Out",
     u"Display/hide zoom bar for scaling painting. Use Zoom in and Zoom out to see a larger or smaller view of your "
     u"painting."},
    {TOOLBAR_INSERT_PICTURE, 25126, u"Insert Picture", u"Insert an existing picture or clip art into painting."},
    {TOOLBAR_RESIZE_CANVAS, 25128, u"Resize Canvas", u"Expand or contract the canvas for drawing."},
};

const struct {
  int32_t id;
  const char16_t *text;
} k_filters[TOOLBAR_FILTER_COUNT] = {
    {25172, u"All Image Files(*.bmp;*.jpg;*.png;*.gif)/*.bmp;*.jpg;*.png;*.gif"},
    {25173, u"Bitmap Files(*.bmp)/*.bmp"},
    {25174, u"JPEG Files(*.jpg)/*.jpg"},
    {25175, u"PNG Files(*.png)/*.png"},
    {25176, u"GIF Files(*.gif)/*.gif"},
};

bool is_small() { return app_common_is_qvga() != 0; }
bool is_large() { return app_common_is_vga() != 0; }
bool is_tool_id(int32_t id);
bool is_family(int32_t group);
toolbar *toolbar_of_button(tbutton *button);
toolbar *toolbar_of_form(tform *form);
toolbar *toolbar_of_dock(tdock *dock);
int32_t screen_width();
int32_t screen_height();
void set_orientation_look(toolbar *tb);
int32_t across_margin();
int32_t kept_lines(const toolbar *tb, int64_t depth);
void fit_to_screen(const toolbar *tb, trect *rect);
void repaint_button(tbutton *button);
void repaint_dock(toolbar *tb);
void apply_translucency(toolbar *tb);
void start_timer(uint32_t *handle, uint32_t ms, wins_timer_callback callback, toolbar *tb);
void stop_timer(uint32_t *handle);
bool within_tolerance(const toolbar *tb);
void close_tooltip(toolbar *tb, bool repaint);
void end_press(toolbar *tb, tpoint pen);
void run_command(toolbar *tb, int32_t id, bool shows_pressed);
void select_tool(toolbar *tb, int32_t id, tbutton *button, bool shows_pressed);
void clear_painting(toolbar *tb);
void free_drag_frame(toolbar *tb);
void make_drag_frame(toolbar *tb);
tmenu *new_menu(toolbar *tb);
void show_variant_menu(toolbar *tb);
void show_options_menu(toolbar *tb, int32_t x, int32_t y);
std::u16string with_mark(const char16_t *text, bool marked);
void fill_variants(tmenu *menu, int32_t x, int32_t y);
void choose_variant(uint32_t id, void *user_data);
void fill_options(tmenu *menu, int32_t x, int32_t y);
void choose_option(uint32_t id, void *user_data);
const variant *variant_of(int32_t tool);

// Dock, form and button slots.
int dock_can_drag(tdock *dock, int32_t x, int32_t y);
int dock_can_dock(tdock *dock, int32_t side);
int dock_resize_check(tdock *dock, int32_t zone, int32_t *x, int32_t *y, int32_t *width, int32_t *height);
void dock_on_drag_end(tdock *dock);
int32_t dock_child_count(tdock *dock);
tcontrol *dock_child_at(tdock *dock, int32_t index);
void draw_decoration(tbdrawer *drawer, tcanvas *canvas, const trect *rect);
void draw_dot(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void draw_arrow(tcanvas *canvas, const tpoint (&points)[4]);
void form_on_pen_down(tform *form);
void form_on_pen_up(tform *form);
void button_on_click(tbutton *button, intptr_t user_data);
void button_on_press(tbutton *button);
void button_on_release(tbutton *button);
void draw_marker(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default);
void paint_drag_frame(tcontrol *control, tcanvas *canvas, const trect *rect);

// Timers.
void on_variant_timer(uint32_t id, void *user_data);
void on_tooltip_timer(uint32_t id, void *user_data);
void on_drag_timer(uint32_t id, void *user_data);
void on_auto_hide_timer(uint32_t id, void *user_data);

}  // namespace

toolbar *toolbar_create(tcontrol *parent, const trect *rect, app_context *app) {
  PORT_CHECK(rect != nullptr && app != nullptr);
  toolbar *tb = static_cast<toolbar *>(std::calloc(1, sizeof(toolbar)));
  if (!tb) return nullptr;
  tb->vertical = screen_width() > screen_height() ? 1 : 0;
  tb->button_width = tb->button_height = is_small() ? k_button_small : is_large() ? k_button_large : k_button_normal;
  for (int i = 0; i < TOOLBAR_FILTER_COUNT; i++) {
    const char16_t *text = tresource_get_string(k_filters[i].id, k_filters[i].text);
    size_t length = std::min<size_t>(std::char_traits<char16_t>::length(text), TOOLBAR_FILTER_CHARS - 1);
    std::memcpy(tb->filters[i], text, length * sizeof(char16_t));
  }
  tb->filter_count = TOOLBAR_FILTER_COUNT;
  tb->app = app;
  tb->per_line = 0;

  trect place = *rect;
  fit_to_screen(tb, &place);
  tb->dock = tdock_new(parent, &place, tb);
  if (!tb->dock) {
    std::free(tb);
    return nullptr;
  }
  tdock *dock = tb->dock;
  tdock_set_child_funcs(dock, dock_child_count, dock_child_at);
  tdock_set_can_drag_func(dock, dock_can_drag);
  tdock_set_can_dock_func(dock, dock_can_dock);
  tdock_set_resize_func(dock, dock_resize_check);
  tdock_set_on_drag_end(dock, dock_on_drag_end);
  tdock_set_on_move(dock, dock_on_drag_end);
  tcontrol_set_on_parent_resized(&dock->_control, toolbar_on_parent_resized);
  tdock_set_snap_distance(dock, k_snap);
  tdock_set_hold_time(dock, k_resize_hold_ms);
  tbdrawer *look = tcontrol_get_box_drawer(&dock->_control);
  tbdrawer_set_raised_border(look, k_grey, k_grey);
  tb->dock_draw = tbdrawer_get_draw_func(look);
  tbdrawer_set_user_data(look, tb);
  tbdrawer_set_draw_func(look, draw_decoration);

  trect empty = {0, 0, -1, -1};
  tb->form = tform_new(&dock->_control, &empty, tb);
  if (!tb->form) {
    toolbar_free(tb);
    return nullptr;
  }
  tform *form = tb->form;
  tcontrol_set_align(&form->_control, TCONTROL_ALIGN_FILL);
  tform_set_focus_frame_hidden(form, 1);
  tform_set_animated_scroll(form, 1);
  tform_set_hscroll_hidden(form, 1);
  tform_set_vscroll_hidden(form, 1);
  tform_set_drag_through_children(form, 1);
  tform_set_on_layout(form, toolbar_layout);
  tform_set_on_pen_down(form, form_on_pen_down);
  tform_set_on_pen_up(form, form_on_pen_up);
  tbdrawer *form_look = tcontrol_get_box_drawer(&form->_control);
  tbdrawer_set_no_border(form_look);
  tbdrawer_set_fill_color(form_look, k_grey);
  tbdrawer_set_fill_solid(form_look);
  set_orientation_look(tb);

  for (const button_entry &entry : k_buttons) {
    int32_t x = tb->button_count * tb->button_width;
    trect at = {x, 0, x + tb->button_width - 1, tb->button_height - 1};
    tbutton *button = tbutton_new(&form->_control, &at, u"", entry.user_data, app);
    if (!button) {
      toolbar_free(tb);
      return nullptr;
    }
    tb->buttons[tb->button_count++] = button;
    if (entry.keeps_state) tbutton_set_no_redraw_on_release(button, 1);
    tbutton_set_no_redraw_on_press(button, 1);
    tbutton_set_image(button, tresource_get_bitmap(entry.image), tresource_get_bitmap(entry.mask));
    tbutton_set_on_click(button, button_on_click);
    tbutton_set_on_press(button, button_on_press);
    tbutton_set_on_release(button, button_on_release);
    tbutton_set_draw_hooks(button, nullptr, nullptr, draw_marker, nullptr);
    tbdrawer_set_fill_gradient(tbutton_get_box_drawer(button), 0, k_light, k_dark, 100, 0);
    tbdrawer_set_fill_gradient(tbutton_get_focused_box_drawer(button), 0, k_light, k_dark, 100, 0);
    tbdrawer_set_fill_gradient(tbutton_get_pressed_box_drawer(button), 0, k_dark, k_light, 100, 0);
    if (!tform_add_child(form, entry.child_id, &button->_control)) {
      toolbar_free(tb);
      return nullptr;
    }
  }
  return tb;
}

void toolbar_free(toolbar *tb) {
  PORT_CHECK(tb != nullptr);
  free_drag_frame(tb);
  stop_timer(&tb->variant_timer);
  stop_timer(&tb->auto_hide_timer);
  stop_timer(&tb->tooltip_timer);
  stop_timer(&tb->drag_timer);
  close_tooltip(tb, false);
  if (tb->form) tform_free(tb->form);
  tb->form = nullptr;
  if (tb->dock) tdock_free(tb->dock);
  tb->dock = nullptr;
  for (int32_t i = 0; i < tb->button_count; i++) tbutton_free(tb->buttons[i]);
  tb->button_count = 0;
  if (tb->check_bitmap) tbitmap_free(tb->check_bitmap);
  std::free(tb);
}

void toolbar_apply_settings(toolbar *tb) {
  PORT_CHECK(tb != nullptr);
  apply_translucency(tb);
  repaint_dock(tb);
  toolbar_layout(tb->form, tsurface_get_rect(&tb->form->_control._surface));
  tcontrol_realize(&tb->dock->_control);
  if (tb->app->_current_tool) toolbar_select(tb, shape_get_id(tb->app->_current_tool));
}

void toolbar_select(toolbar *tb, int32_t id) {
  PORT_CHECK(tb != nullptr);
  toolbar_on_command(tb, id);
}

void toolbar_on_command(toolbar *tb, int32_t id) {
  PORT_CHECK(tb != nullptr);
  run_command(tb, id, false);
}

void toolbar_show(toolbar *tb) {
  PORT_CHECK(tb != nullptr);
  tsurface_set_visible(&tb->dock->_control._surface, 1);
  repaint_dock(tb);
}

void toolbar_hide(toolbar *tb) {
  PORT_CHECK(tb != nullptr);
  tsurface_set_visible(&tb->dock->_control._surface, 0);
  repaint_dock(tb);
}

void toolbar_auto_hide(toolbar *tb) {
  PORT_CHECK(tb != nullptr);
  if (tsurface_is_visible(&tb->dock->_control._surface)) toolbar_hide(tb);
  tb->auto_hide_skip = 1;
  if (tb->auto_hide_timer) return;
  start_timer(&tb->auto_hide_timer, TOOLBAR_AUTO_HIDE_MS, on_auto_hide_timer, tb);
  // No tick would ever bring the bar back: it stays.
  if (!tb->auto_hide_timer) toolbar_show(tb);
}

void toolbar_save_rect(toolbar *tb) {
  PORT_CHECK(tb != nullptr);
  const trect *r = tsurface_get_rect(&tb->dock->_control._surface);
  app_context *app = tb->app;
  int32_t width = r->x2 - r->x1 + 1, height = r->y2 - r->y1 + 1;
  if (!tb->vertical) {
    app->_tb_x1 = r->x1;
    app->_tb_y1 = r->y1;
    app->_tb_width1 = width;
    app->_tb_height1 = height;
  } else {
    app->_tb_x2 = r->x1;
    app->_tb_y2 = r->y1;
    app->_tb_width2 = width;
    app->_tb_height2 = height;
  }
}

trect toolbar_settings_rect(const app_context *app, int landscape) {
  PORT_CHECK(app != nullptr);
  int32_t x = landscape ? app->_tb_x2 : app->_tb_x1, y = landscape ? app->_tb_y2 : app->_tb_y1;
  int32_t width = landscape ? app->_tb_width2 : app->_tb_width1;
  int32_t height = landscape ? app->_tb_height2 : app->_tb_height1;
  auto corner = [](int32_t from, int32_t length) {
    return int32_t(std::clamp<int64_t>(int64_t(from) + length - 1, INT32_MIN, INT32_MAX));
  };
  return {x, y, corner(x, width), corner(y, height)};
}

int32_t toolbar_button_group(int32_t id) {
  if (id == SHAPE_ID_SPRAY) return 1;
  if (id >= 101 && id <= 104) return 3;
  if (id >= 201 && id <= 204) return 4;
  if (id >= 301 && id <= 310) return 11;
  return id;
}

tbutton *toolbar_get_button(const toolbar *tb, int32_t id) {
  PORT_CHECK(tb != nullptr);
  if (!tb->form) return nullptr;
  return reinterpret_cast<tbutton *>(tform_get_child_by_id(tb->form, toolbar_button_group(id)));
}

void toolbar_layout(tform *form, const trect *rect) {
  PORT_CHECK(form != nullptr && rect != nullptr);
  toolbar *tb = toolbar_of_form(form);
  int32_t across = tb->vertical ? rect->x2 - rect->x1 + 1 : rect->y2 - rect->y1 + 1;
  int32_t n = across / (tb->vertical ? tb->button_width : tb->button_height);
  if (n < 1 || n == tb->per_line) return;
  tb->per_line = n;
  int32_t per_row = tb->vertical ? n : (tb->button_count + n - 1) / n;
  for (int32_t i = 0; i < tb->button_count; i++) {
    int32_t x = i % per_row * tb->button_width, y = i / per_row * tb->button_height;
    tcontrol_set_rect(&tb->buttons[i]->_control, x, y, tb->button_width, tb->button_height);
  }
  // Offsets first: the dock's new size lays the form out again, which keeps
  // the buttons' places as their homes.
  tform_reset_scroll_offsets(form);
  tcontrol *dock = &tb->dock->_control;
  const trect *d = tsurface_get_rect(&dock->_surface);
  if (tb->vertical) {
    int32_t rows = (tb->button_count + per_row - 1) / per_row;
    int32_t height = std::min(rows * tb->button_height + k_layout_extra, screen_height() - k_screen_gap);
    tcontrol_set_size(dock, d->x2 - d->x1 + 1, height);
  } else {
    int32_t width = std::min(per_row * tb->button_width + k_layout_extra, screen_width() - k_screen_gap);
    tcontrol_set_size(dock, width, d->y2 - d->y1 + 1);
  }
}

void toolbar_on_parent_resized(tcontrol *control, const trect *parent_rect) {
  PORT_CHECK(control != nullptr);
  (void)parent_rect;
  toolbar *tb = static_cast<toolbar *>(tsurface_get_owner(&control->_surface));
  PORT_CHECK(tb != nullptr);
  if (tsurface_has_pen_capture(&tb->form->_control._surface)) {
    tpoint pen = {0, 0};
    tscreen_get_last_pen_pos(tscreen_get(), &pen);
    tb->hold_guard = 1;
    end_press(tb, pen);
    tb->hold_guard = 0;
    // The screen is walking its surfaces: the tooltip is put out of sight
    // now and freed by the next close.
    stop_timer(&tb->tooltip_timer);
    if (tb->tooltip) {
      tsurface *label = &thint_get_label(tb->tooltip)->_control._surface;
      tsurface_set_visible(label, 0);
      tscreen *screen = tscreen_get();
      if (tscreen_get_modal(screen) == label) tscreen_set_modal(screen, nullptr);
    }
  }
  toolbar_save_rect(tb);
  tb->vertical = screen_width() > screen_height() ? 1 : 0;
  if (is_large()) {
    tb->button_width = tb->button_height = k_button_large;
    for (int32_t i = 0; i < tb->button_count; i++)
      tcontrol_set_size(&tb->buttons[i]->_control, tb->button_width, tb->button_height);
  }
  trect place = toolbar_settings_rect(tb->app, tb->vertical);
  fit_to_screen(tb, &place);
  set_orientation_look(tb);
  tb->per_line = 0;
  tcontrol_set_rect(&tb->dock->_control, place.x1, place.y1, place.x2 - place.x1 + 1, place.y2 - place.y1 + 1);
  tform_scroll_to_focused(tb->form);
  tsurface_update(&tb->form->_control._surface, nullptr);
}

namespace {

bool is_tool_id(int32_t id) {
  return id == 1 || id == 2 || (id >= 5 && id <= 10) || id == 12 || (id >= 101 && id <= 104) ||
         (id >= 201 && id <= 204) || (id >= 301 && id <= 310);
}

bool is_family(int32_t group) { return group == 1 || group == 3 || group == 4 || group == 11; }

// shows_pressed: the button of id was just released by the pen without a
// redraw, so it still shows the look that checked gives it.
void run_command(toolbar *tb, int32_t id, bool shows_pressed) {
  app_context *app = tb->app;
  tbutton *button = toolbar_get_button(tb, id);
  if (tb->hold_guard) {
    // The bar ends a press itself: the press runs nothing, and a button left
    // checked by it goes back unless it shows the current tool.
    if (button && (!app->_current_tool || shape_get_id(app->_current_tool) != id)) {
      tbutton_set_checked(button, 0);
      repaint_button(button);
    }
    return;
  }
  if (is_tool_id(id)) {
    select_tool(tb, id, button, shows_pressed);
    return;
  }
  switch (id) {
    case TOOLBAR_UNDO:
    case TOOLBAR_REDO:
      paint_main_undo_redo(id == TOOLBAR_REDO);
      break;
    case TOOLBAR_CLEAR:
      clear_painting(tb);
      break;
    case TOOLBAR_LINE_WIDTH:
      if (button) {
        trect at;
        tsurface_get_screen_rect(&button->_control._surface, &at);
        paint_main_show_line_width_menu(&at);
      }
      break;
    case TOOLBAR_INSERT_PICTURE:
      paint_main_insert_picture();
      break;
    case TOOLBAR_ZOOM: {
      int open = paint_main_toggle_zoom_bar();
      if (button) {
        tbutton_set_checked(button, open);
        repaint_button(button);
      }
      break;
    }
    case TOOLBAR_RESIZE_CANVAS:
      app->_resizing = app->_resizing ? 0 : 1;
      if (button) {
        tbutton_set_checked(button, app->_resizing);
        repaint_button(button);
      }
      paint_main_after_rebuild();
      break;
    default:
      break;
  }
}
toolbar *toolbar_of_button(tbutton *button) {
  app_context *app = static_cast<app_context *>(tsurface_get_owner(&button->_control._surface));
  return app ? app->_toolbar : nullptr;
}

toolbar *toolbar_of_form(tform *form) {
  toolbar *tb = static_cast<toolbar *>(tsurface_get_owner(&form->_control._surface));
  PORT_CHECK(tb != nullptr);
  return tb;
}

toolbar *toolbar_of_dock(tdock *dock) {
  toolbar *tb = static_cast<toolbar *>(tsurface_get_owner(&dock->_control._surface));
  PORT_CHECK(tb != nullptr);
  return tb;
}

int32_t screen_width() { return tscreen_get_width(tscreen_get()); }
int32_t screen_height() { return tscreen_get_height(tscreen_get()); }

// Margins, gradient direction and drag lock follow the orientation: the grip
// band runs along the top of an upright bar and the left of a flat one.
void set_orientation_look(toolbar *tb) {
  bool small = is_small();
  if (tb->vertical)
    small ? tdock_set_margins(tb->dock, 3, 7, 7, 3) : tdock_set_margins(tb->dock, 5, 15, 15, 5);
  else
    small ? tdock_set_margins(tb->dock, 7, 3, 3, 7) : tdock_set_margins(tb->dock, 15, 5, 5, 15);
  tbdrawer *look = tcontrol_get_box_drawer(&tb->dock->_control);
  tbdrawer_set_fill_gradient(look, tb->vertical, k_dark, k_light, 100, 0);
  if (!tb->form) return;
  tform_set_vdrag_locked(tb->form, tb->vertical ? 0 : 1);
  tform_set_hdrag_locked(tb->form, tb->vertical ? 1 : 0);
}

int32_t across_margin() { return is_small() ? k_margin_small : k_margin_normal; }

// The lines of buttons a depth across the bar stands for. The settings keep
// it in pixels, perhaps from a run on another screen: whole lines of this
// bar's buttons, or else of another screen class's (a rect kept there), give
// their count; any other depth (a frame pulled to part of a line, a
// hand-edited file) the nearest count of this bar's lines.
int32_t kept_lines(const toolbar *tb, int64_t depth) {
  auto whole_lines = [depth](int32_t side, int32_t margin) {
    int64_t inside = depth - margin;
    return inside >= side && inside % side == 0 && inside / side <= k_max_lines ? int32_t(inside / side) : 0;
  };
  int32_t side = tb->vertical ? tb->button_width : tb->button_height, margin = across_margin();
  if (int32_t lines = whole_lines(side, margin)) return lines;
  for (const auto &c : k_line_classes)
    if (int32_t lines = whole_lines(c.side, c.margin)) return lines;
  return int32_t(std::clamp<int64_t>((depth - margin + side / 2) / side, 1, k_max_lines));
}

// A rect from the settings may come from another screen or a hand-edited
// file: across the bar it holds whole lines of this bar's buttons (no line
// cut, no empty band), as many as the screen has room for; along it at
// least one button; and it lies wholly on the screen.
void fit_to_screen(const toolbar *tb, trect *rect) {
  int32_t margin = across_margin(), side = tb->vertical ? tb->button_width : tb->button_height;
  int64_t width = int64_t(rect->x2) - rect->x1 + 1, height = int64_t(rect->y2) - rect->y1 + 1;
  int64_t sw = screen_width(), sh = screen_height();
  int64_t &depth = tb->vertical ? width : height, &length = tb->vertical ? height : width;
  int64_t room = ((tb->vertical ? sw : sh) - margin) / side;
  depth = std::min<int64_t>(kept_lines(tb, depth), std::max<int64_t>(room, 1)) * side + margin;
  if (length < side + margin) length = side + margin;
  width = std::min(width, sw);
  height = std::min(height, sh);
  int64_t x = std::clamp<int64_t>(rect->x1, 0, sw - width), y = std::clamp<int64_t>(rect->y1, 0, sh - height);
  *rect = {int32_t(x), int32_t(y), int32_t(x + width - 1), int32_t(y + height - 1)};
}

// A button's new look reaches the screen without its form and dock being
// redrawn whole: its buffer is composed into theirs over its own area only
// (buttons and form are opaque), then the screen paints that area, the canvas
// under a translucent bar included.
void repaint_button(tbutton *button) {
  tsurface *surface = &button->_control._surface;
  if (!tsurface_paint(surface)) return;
  trect area = *tsurface_get_rect(surface);
  tsurface *child = surface;
  for (tsurface *parent = tsurface_get_parent(child); parent; child = parent, parent = tsurface_get_parent(child)) {
    tcanvas *canvas = tsurface_get_canvas(parent);
    trect saved = canvas->_clip;
    uint8_t saved_on = canvas->_clip_on;
    trect clip = area;
    if (saved_on && !trect_intersect(&clip, &area, &saved)) return;
    tcanvas_set_clip(canvas, &clip);
    tsurface_compose_onto(child, canvas);
    canvas->_clip = saved;
    canvas->_clip_on = saved_on;
    const trect *r = tsurface_get_rect(parent);
    area = {clip.x1 + r->x1, clip.y1 + r->y1, clip.x2 + r->x1, clip.y2 + r->y1};
  }
  tscreen_paint(tscreen_get(), &area);
}

void repaint_dock(toolbar *tb) {
  tsurface *surface = &tb->dock->_control._surface;
  if (!tsurface_is_realized(surface)) return;
  trect area;
  tsurface_get_screen_rect(surface, &area);
  tscreen_paint(tscreen_get(), &area);
}

void apply_translucency(toolbar *tb) {
  tsurface *surface = &tb->dock->_control._surface;
  if (tb->app->_tb_translucent)
    tsurface_set_color_key(surface, k_translucent_key);
  else
    tsurface_set_color_key_enabled(surface, 0);
}

void start_timer(uint32_t *handle, uint32_t ms, wins_timer_callback callback, toolbar *tb) {
  stop_timer(handle);
  *handle = wins_timer_start(ms, 0, callback, tb);
}

void stop_timer(uint32_t *handle) {
  if (!*handle) return;
  wins_timer_stop(*handle);
  *handle = 0;
}

bool within_tolerance(const toolbar *tb) {
  int32_t dx = tform_get_drag_dx(tb->form), dy = tform_get_drag_dy(tb->form);
  return dx >= -TOOLBAR_TAP_TOLERANCE && dx <= TOOLBAR_TAP_TOLERANCE && dy >= -TOOLBAR_TAP_TOLERANCE &&
         dy <= TOOLBAR_TAP_TOLERANCE;
}

void close_tooltip(toolbar *tb, bool repaint) {
  if (!tb->tooltip) return;
  tsurface *label = &thint_get_label(tb->tooltip)->_control._surface;
  trect area;
  tsurface_get_screen_rect(label, &area);
  bool shown = tsurface_is_visible(label) && tsurface_is_linked(label);
  thint_free(tb->tooltip);
  tb->tooltip = nullptr;
  if (repaint && shown) tscreen_paint(tscreen_get(), &area);
}

// The form's press ends at the pen's screen point; under hold_guard the
// click it brings runs nothing.
void end_press(toolbar *tb, tpoint pen) {
  const trect *d = tsurface_get_rect(&tb->dock->_control._surface);
  tcontrol_handle_pen(&tb->form->_control, TSCREEN_PEN_UP, pen.x - d->x1, pen.y - d->y1, 0);
}

void select_tool(toolbar *tb, int32_t id, tbutton *button, bool shows_pressed) {
  app_context *app = tb->app;
  shape *tool = paint_context_find_tool(app->_paint_context, id);
  if (!tool) return;
  if (shape *current = app->_current_tool) {
    int32_t current_id = shape_get_id(current);
    app->_prev_tool_id = current_id;
    tbutton *old = toolbar_get_button(tb, current_id);
    if (old && old != button) {
      tbutton_set_checked(old, 0);
      repaint_button(old);
    }
    if (current_id == SHAPE_ID_PAN) paint_main_show_thumbnail(0);
  }
  app->_current_tool = tool;
  if (button) {
    tbutton_set_checked(button, 1);
    if (!shows_pressed) repaint_button(button);
  }
  if (id == SHAPE_ID_PAN) paint_main_show_thumbnail(1);
}

// An open text is committed first, so that it is not cleared unrecorded; an
// operation under way ends first, so that it cannot draw back what was
// cleared. The clear is one step of the history; one it cannot take is
// taken back, and the stop box says so.
void clear_painting(toolbar *tb) {
  app_context *app = tb->app;
  paint_main_end_tool_operation();
  paint_main_commit_textbar();
  paint_context_clear(app->_paint_context);
  int recorded = shape_record_step(app->_history, PAINT_HISTORY_OP_CLEAR, nullptr, 0, nullptr, nullptr);
  paint_main_after_rebuild();
  if (!recorded) app_common_show_memory_stop();
}

void free_drag_frame(toolbar *tb) {
  if (!tb->drag_frame) return;
  tcontrol_free(tb->drag_frame);
  tb->drag_frame = nullptr;
}

// Rounded blue outlines around the dock; the keyed fill lets the canvas show.
void make_drag_frame(toolbar *tb) {
  trect around;
  tsurface_get_screen_rect(&tb->dock->_control._surface, &around);
  around = {around.x1 - k_frame_grow, around.y1 - k_frame_grow, around.x2 + k_frame_grow, around.y2 + k_frame_grow};
  tb->drag_frame = tcontrol_new(nullptr, &around, tb);
  if (!tb->drag_frame) return;
  tsurface_set_color_key(&tb->drag_frame->_surface, k_frame_key);
  tcontrol_set_on_paint(tb->drag_frame, paint_drag_frame);
  tcontrol_realize(tb->drag_frame);
  tsurface_send_to_back(&tb->drag_frame->_surface);
  tsurface_update(&tb->drag_frame->_surface, nullptr);
}

// Soft keys hidden, the list scrolling smoothly; the menu frees itself.
tmenu *new_menu(toolbar *tb) {
  tmenu *menu = tmenu_new(tb);
  if (!menu) return nullptr;
  tsurface_set_visible(&tmenu_get_controlbar(menu)->_control._surface, 0);
  tlistbox *list = tmenu_get_listbox(menu);
  tlistbox_set_smooth_scroll(list, 1);
  tlistbox_set_scroll_steps(list, k_menu_scroll_steps);
  tlistbox_set_scrollbar_width(list, k_menu_scrollbar);
  return menu;
}

// Image n of the list is the picture of the family's n-th tool; image 0 is
// the radio mark.
void show_variant_menu(toolbar *tb) {
  tmenu *menu = new_menu(tb);
  if (!menu) return;
  tlistbox *list = tmenu_get_listbox(menu);
  tlistbox_add_column(list, TLISTCOLUMN_IMAGE, u"radio", k_radio_column);
  tlistbox_add_column(list, TLISTCOLUMN_IMAGE, u"icon", k_icon_column);
  tlistbox_add_image(list, tresource_get_bitmap(k_radio_bitmap), tresource_get_bitmap(k_radio_mask));
  int32_t group = toolbar_button_group(int32_t(tbutton_get_user_data(tb->variant_button)));
  for (const variant &v : k_variants)
    if (toolbar_button_group(v.tool) == group)
      tlistbox_add_image(list, tresource_get_bitmap(v.image), tresource_get_bitmap(v.mask));
  tmenu_set_on_select(menu, choose_variant);
  tmenu_set_on_popup(menu, fill_variants);
  trect at;
  tsurface_get_screen_rect(&tb->variant_button->_control._surface, &at);
  tmenu_popup(menu, at.x1, at.y2);
}

// The check mark is drawn black through its mask.
void show_options_menu(toolbar *tb, int32_t x, int32_t y) {
  tbitmap *mask = tresource_get_bitmap(k_check_mask);
  if (mask && !tb->check_bitmap) {
    tb->check_bitmap = tbitmap_new(tbitmap_get_width(mask), tbitmap_get_height(mask), 24);
    if (tb->check_bitmap) tbitmap_fill_rect(tb->check_bitmap, 0, 0, tbitmap_get_width(mask) - 1,
                                            tbitmap_get_height(mask) - 1, k_black);
  }
  tmenu *menu = new_menu(tb);
  if (!menu) return;
  tmenu_set_dim_background(menu, 1);
  tlistbox *list = tmenu_get_listbox(menu);
  int32_t width = (mask ? tbitmap_get_width(mask) : 0) + k_check_gap;
  if (tlistbox_add_column(list, TLISTCOLUMN_IMAGE, u"check", width))
    tlistbox_set_column_from_right(list, tlistbox_get_column_count(list) - 1, 1);
  tlistbox_add_image(list, tb->check_bitmap, mask);
  tmenu_set_on_select(menu, choose_option);
  tmenu_set_on_popup(menu, fill_options);
  tmenu_popup(menu, x, y);
}

// The first %d of a row becomes 0 (the mark shows) or -1.
std::u16string with_mark(const char16_t *text, bool marked) {
  std::u16string row = text;
  size_t at = row.find(u"%d");
  if (at != std::u16string::npos) row.replace(at, 2, marked ? u"0" : u"-1");
  return row;
}

void fill_variants(tmenu *menu, int32_t, int32_t) {
  toolbar *tb = static_cast<toolbar *>(tsurface_get_owner(&menu->_control._surface));
  if (tlistbox_get_count(tmenu_get_listbox(menu)) || !tb->variant_button) return;
  int32_t current = int32_t(tbutton_get_user_data(tb->variant_button));
  for (const variant_item &item : k_variant_items) {
    if (toolbar_button_group(item.tool) != toolbar_button_group(current)) continue;
    std::u16string row = with_mark(tresource_get_string(item.text_id, item.text), item.tool == current);
    tmenu_add_item(menu, row.c_str(), uint32_t(item.tool), 0, item.separator, tb);
  }
}

// The family's button shows and runs the variant chosen last.
void choose_variant(uint32_t id, void *user_data) {
  toolbar *tb = static_cast<toolbar *>(user_data);
  const variant *v = variant_of(int32_t(id));
  tbutton *button = tb->variant_button;
  if (!v || !button) return;
  tbutton_set_image(button, tresource_get_bitmap(v->image), tresource_get_bitmap(v->mask));
  tbutton_set_user_data(button, intptr_t(id));
  toolbar_select(tb, int32_t(id));
  repaint_button(button);
}

void fill_options(tmenu *menu, int32_t, int32_t) {
  toolbar *tb = static_cast<toolbar *>(tsurface_get_owner(&menu->_control._surface));
  if (tlistbox_get_count(tmenu_get_listbox(menu))) return;
  for (const auto &option : k_options) {
    bool on = option.id == OPTION_TRANSLUCENT ? tb->app->_tb_translucent : tb->app->_tb_auto_hide;
    std::u16string row = with_mark(tresource_get_string(option.text_id, option.text), on);
    tmenu_add_item(menu, row.c_str(), option.id, 0, 0, tb);
  }
}

void choose_option(uint32_t id, void *user_data) {
  toolbar *tb = static_cast<toolbar *>(user_data);
  app_context *app = tb->app;
  if (id == OPTION_TRANSLUCENT) {
    app->_tb_translucent = app->_tb_translucent ? 0 : 1;
    apply_translucency(tb);
    repaint_dock(tb);
  } else if (id == OPTION_AUTO_HIDE) {
    app->_tb_auto_hide = app->_tb_auto_hide ? 0 : 1;
  }
}

const variant *variant_of(int32_t tool) {
  for (const variant &v : k_variants)
    if (v.tool == tool) return &v;
  return nullptr;
}

int dock_can_drag(tdock *dock, int32_t x, int32_t y) {
  toolbar *tb = toolbar_of_dock(dock);
  if (tb->hold_guard) return 1;
  const trect *r = tsurface_get_rect(&dock->_control._surface);
  int32_t width = r->x2 - r->x1 + 1;
  if (tb->vertical) {
    if (y >= k_grip) return 0;
    if (x < width - k_grip) return 1;
  } else {
    if (x >= k_grip) return 0;
    if (y > k_grip) return 1;
  }
  show_options_menu(tb, x + r->x1, y + r->y1);
  return 0;
}

int dock_can_dock(tdock *, int32_t) { return 0; }

// One to nine columns (upright bar) or rows (flat bar) of buttons.
int dock_resize_check(tdock *dock, int32_t, int32_t *, int32_t *, int32_t *width, int32_t *height) {
  toolbar *tb = toolbar_of_dock(dock);
  int32_t m = across_margin();
  int32_t bw = tb->button_width, bh = tb->button_height;
  if (tb->vertical) return *width >= bw + m && *height >= bh + m && *width <= k_max_lines * bw + m;
  return *height >= bh + m && *width >= bw + m && *height <= k_max_lines * bh + m;
}

void dock_on_drag_end(tdock *dock) {
  toolbar *tb = toolbar_of_dock(dock);
  stop_timer(&tb->tooltip_timer);
  close_tooltip(tb, true);
  free_drag_frame(tb);
  tscreen_paint(tscreen_get(), nullptr);
}

int32_t dock_child_count(tdock *dock) { return toolbar_of_dock(dock)->form ? 1 : 0; }

tcontrol *dock_child_at(tdock *dock, int32_t index) {
  toolbar *tb = toolbar_of_dock(dock);
  return index == 0 && tb->form ? &tb->form->_control : nullptr;
}

// A dot: a 2 x 2 grey square over its white shine one pixel down and right.
void draw_dot(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_dot_shine);
  tcanvas_fill_rect(canvas, x1 + 1, y1 + 1, x2 + 1, y2 + 1);
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_dot);
  tcanvas_fill_rect(canvas, x1, y1, x2, y2);
}

void draw_arrow(tcanvas *canvas, const tpoint (&points)[4]) {
  tcanvas_set_pen(canvas, TCANVAS_PEN_NONE, 1, k_arrow);
  tpoint shine[4];
  for (int i = 0; i < 4; i++) shine[i] = {points[i].x + 1, points[i].y + 1};
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_dot_shine);
  tcanvas_fill_polygon(canvas, shine, 4);
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_arrow);
  tcanvas_fill_polygon(canvas, points, 4);
}

// The dock's own look, then the grip: the options arrow, two staggered rows
// (or columns) of dots, the edge handle and the corner marks.
void draw_decoration(tbdrawer *drawer, tcanvas *canvas, const trect *rect) {
  toolbar *tb = static_cast<toolbar *>(tbdrawer_get_user_data(drawer));
  if (tb->dock_draw) tb->dock_draw(drawer, canvas, rect);
  bool small = is_small();
  int32_t left = rect->x1, top = rect->y1, right = rect->x2, bottom = rect->y2;
  if (tb->vertical) {
    trect box = small ? trect{right - 6, top + 2, right - 2, top + 5} : trect{right - 14, top + 3, right - 6, top + 10};
    tpoint down[4] = {{box.x1, box.y1}, {box.x2, box.y1}, {(box.x1 + box.x2) / 2, box.y2}, {box.x1, box.y1}};
    draw_arrow(canvas, down);
    for (int row = 0; row < 2; row++)
      for (int32_t x = left + 3 + 6 * row; x + 1 < box.x1 - 7; x += 8)
        draw_dot(canvas, x, top + 3 + 6 * row, x + 1, top + 4 + 6 * row);
    int32_t third = (bottom - top + 1) / 3;
    for (int32_t x : {right - 5, right - 9}) draw_dot(canvas, x, top + third, x + 1, bottom - third);
  } else {
    trect box = small ? trect{left + 1, top + 1, left + 4, top + 5} : trect{left + 3, top + 3, left + 10, top + 11};
    tpoint across[4] = {{box.x1, box.y1}, {box.x2, (box.y1 + box.y2) / 2}, {box.x1, box.y2}, {box.x1, box.y1}};
    draw_arrow(canvas, across);
    for (int column = 0; column < 2; column++)
      for (int32_t y = top + 15 + 6 * column; y + 1 < bottom - 7; y += 8)
        draw_dot(canvas, left + 3 + 6 * column, y, left + 4 + 6 * column, y + 1);
    int32_t third = (right - left + 1) / 3;
    for (int32_t y : {bottom - 5, bottom - 9}) draw_dot(canvas, left + third, y, right - third, y + 1);
  }
  bool stroke12 = !(small && tb->vertical), stroke3 = !(small && !tb->vertical);
  if (stroke12) {
    draw_dot(canvas, right - 10, bottom - 5, right - 4, bottom - 4);
    draw_dot(canvas, right - 9, bottom - 9, right - 7, bottom - 8);
  }
  if (stroke3) draw_dot(canvas, right - 4, bottom - 11, right - 4, bottom - 5);
}

void form_on_pen_down(tform *form) {
  toolbar *tb = toolbar_of_form(form);
  if (tb->drag_timer) return;
  if (tb->variant_button && tbutton_is_pressed(tb->variant_button)) return;
  start_timer(&tb->drag_timer, TOOLBAR_HOLD_MS, on_drag_timer, tb);
}

void form_on_pen_up(tform *form) { stop_timer(&toolbar_of_form(form)->drag_timer); }

// A press that moved along the bar scrolled it: nothing runs.
void button_on_click(tbutton *button, intptr_t user_data) {
  toolbar *tb = toolbar_of_button(button);
  if (!tb) return;
  int32_t id = int32_t(user_data);
  int32_t along = tb->vertical ? tform_get_drag_dy(tb->form) : tform_get_drag_dx(tb->form);
  if (along >= -TOOLBAR_TAP_TOLERANCE && along <= TOOLBAR_TAP_TOLERANCE) {
    run_command(tb, id, button->_no_redraw_on_release && button == toolbar_get_button(tb, id));
    return;
  }
  if (is_tool_id(id)) repaint_button(button);
}

// The pressed look comes first, drawn here the cheap way. The bar takes no
// keyboard focus: a focus moved by a press would have the form repaint
// itself whole for a frame it never shows.
void button_on_press(tbutton *button) {
  tcontrol_set_focus(&button->_control, 0);
  repaint_button(button);
  toolbar *tb = toolbar_of_button(button);
  if (!tb) return;
  start_timer(&tb->tooltip_timer, TOOLBAR_TOOLTIP_MS, on_tooltip_timer, tb);
  tb->tooltip_button = button;
  tb->tooltip_stage = 0;
  if (is_family(toolbar_button_group(int32_t(tbutton_get_user_data(button))))) {
    tb->variant_button = button;
    start_timer(&tb->variant_timer, TOOLBAR_HOLD_MS, on_variant_timer, tb);
  } else {
    tb->variant_button = nullptr;
    start_timer(&tb->drag_timer, TOOLBAR_HOLD_MS, on_drag_timer, tb);
  }
}

void button_on_release(tbutton *button) {
  toolbar *tb = toolbar_of_button(button);
  if (!tb) return;
  stop_timer(&tb->variant_timer);
  stop_timer(&tb->drag_timer);
  if (tb->hold_guard) return;
  stop_timer(&tb->tooltip_timer);
  close_tooltip(tb, true);
}

// A family button shows its marker in the bottom-right corner.
void draw_marker(tbutton *button, tcanvas *canvas, const trect *, int *) {
  toolbar *tb = toolbar_of_button(button);
  if (!tb) return;
  tcanvas_set_pen_color(canvas, k_black);
  if (!is_family(toolbar_button_group(int32_t(tbutton_get_user_data(button))))) return;
  if (!tb->marker_bitmap) {
    tb->marker_bitmap = tresource_get_bitmap(k_marker_bitmap);
    tb->marker_mask = tresource_get_bitmap(k_marker_mask);
  }
  if (!tb->marker_bitmap) return;
  const trect *r = tsurface_get_rect(&button->_control._surface);
  int32_t inset = is_large() ? 2 : 0;
  int32_t width = tbitmap_get_width(tb->marker_bitmap), height = tbitmap_get_height(tb->marker_bitmap);
  tpoint at = {r->x2 - r->x1 - width - inset, r->y2 - r->y1 - height - inset};
  trect source = {0, 0, width - 1, height - 1};
  if (tb->marker_mask)
    tcanvas_draw_bitmap_masked(canvas, &at, tb->marker_bitmap, &source, tb->marker_mask, 255);
  else
    tcanvas_draw_bitmap(canvas, &at, tb->marker_bitmap, &source);
}

void paint_drag_frame(tcontrol *control, tcanvas *canvas, const trect *rect) {
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_frame_fill);
  tcanvas_fill_rect(canvas, rect->x1, rect->y1, rect->x2, rect->y2);
  tcanvas_set_brush_style(canvas, TCANVAS_BRUSH_NONE);
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, k_frame_line);
  for (int32_t inset = is_small() ? 3 : 0; inset <= 5; inset++)
    tcanvas_draw_round_rect(canvas, rect->x1 + inset, rect->y1 + inset, rect->x2 - inset, rect->y2 - inset, 3);
  (void)control;
}

void on_variant_timer(uint32_t, void *user_data) {
  toolbar *tb = static_cast<toolbar *>(user_data);
  stop_timer(&tb->variant_timer);
  if (!within_tolerance(tb) || !tb->variant_button || !tbutton_is_pressed(tb->variant_button)) return;
  show_variant_menu(tb);
}

// The name first; a second later the name with its description.
void on_tooltip_timer(uint32_t, void *user_data) {
  toolbar *tb = static_cast<toolbar *>(user_data);
  stop_timer(&tb->tooltip_timer);
  tbutton *button = tb->tooltip_button;
  if (!within_tolerance(tb) || !button) return;
  if (!tbutton_is_pressed(button) && !tdock_is_dragging(tb->dock)) return;
  int32_t id = int32_t(tbutton_get_user_data(button));
  std::u16string title, description;
  if (is_tool_id(id)) {
    if (shape *tool = paint_context_find_tool(tb->app->_paint_context, id)) {
      title = shape_get_name(tool);
      description = shape_get_description(tool);
    }
  } else {
    for (const command_text &text : k_command_texts) {
      if (text.id != id) continue;
      title = tresource_get_string(text.title_id, text.title);
      description = tresource_get_string(text.title_id + 1, text.description);
    }
  }
  if (title.empty()) return;
  std::u16string shown = tb->tooltip_stage == 0 ? title : title + u"\n" + description;
  tpoint pen = {0, 0};
  tscreen_get_last_pen_pos(tscreen_get(), &pen);
  int32_t rise = tb->button_height + k_tooltip_rise + (is_large() ? k_tooltip_rise_large : 0);
  int32_t y = std::max(0, pen.y - rise);
  close_tooltip(tb, true);
  trect area = {0, 0, screen_width() - k_tooltip_wrap_gap, 0};
  tb->tooltip = thint_new(&area, shown.c_str(), tb->tooltip_stage == 1, tb);
  if (!tb->tooltip) return;
  thint_show(tb->tooltip, pen.x, y);
  if (tb->tooltip_stage != 0) return;
  tb->tooltip_stage = 1;
  start_timer(&tb->tooltip_timer, TOOLBAR_DESCRIPTION_MS, on_tooltip_timer, tb);
}

// Held long enough on a button without a family (or on the form): the
// press ends unclicked and the whole bar follows the pen.
void on_drag_timer(uint32_t, void *user_data) {
  toolbar *tb = static_cast<toolbar *>(user_data);
  stop_timer(&tb->drag_timer);
  if (!within_tolerance(tb)) return;
  tpoint pen = {0, 0};
  tscreen_get_last_pen_pos(tscreen_get(), &pen);
  tb->hold_guard = 1;
  end_press(tb, pen);
  tdock_begin_drag(tb->dock, pen.x, pen.y);
  if (!tb->drag_frame) make_drag_frame(tb);
  tb->hold_guard = 0;
}

// Each pen-down on the canvas sets the skip flag; the bar returns on the
// first tick that finds it clear.
void on_auto_hide_timer(uint32_t, void *user_data) {
  toolbar *tb = static_cast<toolbar *>(user_data);
  if (tb->auto_hide_skip) {
    tb->auto_hide_skip = 0;
    return;
  }
  stop_timer(&tb->auto_hide_timer);
  toolbar_show(tb);
}

}  // namespace
