// alphapanel: the opacity slider of the drawing colour in a side bar.
#include "alphapanel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app_common.h"
#include "app_context.h"
#include "colorpanel.h"
#include "paint_context.h"
#include "panel_links.h"
#include "port_device.h"
#include "port_log.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_timer.h"

namespace {

// Rectangles by class: {top from the long side, right, bottom from the long
// side} of the portrait bar (the landscape one is the same turned), and the tab.
struct class_layout {
  int32_t reach;      // the bar starts this far from the long side's end
  int32_t depth;      // its thickness, tab strip included
  int32_t keep;       // it stops this far from the long side's end
  int32_t tab_long, tab_short;
  int32_t margin;     // dock margins
  int32_t thumb;      // thumb block side
};
constexpr class_layout k_small = {130, 45, 41, 40, 15, 2, 20};
constexpr class_layout k_large = {390, 120, 91, 110, 40, 5, 60};
constexpr class_layout k_normal = {260, 90, 81, 80, 30, 5, 40};

constexpr int32_t k_page = 2;
constexpr tcolor k_dock_fill = tcolor_rgba(200, 200, 200);
constexpr tcolor k_panel_key = tcolor_rgba(255, 0, 255, 216);
constexpr int k_panel_alpha = 216;
constexpr uint32_t k_thumb_normal = 0xFFC0C0C0u, k_thumb_dragged = 0xFF5A5A5Au;
constexpr uint32_t k_track = 0xFF808080u, k_track_line = 0xFFC8C8C8u;
constexpr int32_t k_track_inset = 10;
constexpr uint32_t k_light = 0xc8c8c8, k_dark = 0x808080;
constexpr int32_t k_hint_rise = 80, k_hint_rise_large = 120, k_hint_right_gap = 21;
constexpr int32_t k_thumb_mask_id = 15159, k_first_tab_id = 15160;

const class_layout &layout_of(int32_t width, int32_t height);
alphapanel *panel_of_slider(tscrollbar *slider);
alphapanel *panel_of_tab(tbutton *tab);
void apply_level(alphapanel *ap, int32_t level);
void step(alphapanel *ap, int32_t delta);
void on_close_tick(uint32_t timer, void *user_data);
void on_hint_timer(uint32_t timer, void *user_data);
void on_tab_press(tbutton *tab);
void on_tab_release(tbutton *tab);
void close_hint(alphapanel *ap);
void stop_timer(uint32_t *timer);
void reorient(tsidebar *sb, const trect *rect);
void set_tab_look(alphapanel *ap);
void paint_track(tscrollbar *slider, tcanvas *canvas, const trect *rect, int *draw);
void paint_thumb(tscrollbar *slider, tcanvas *canvas, const trect *rect, int *draw);
tbitmap *make_block(int32_t side, uint32_t color);

}  // namespace

alphapanel *alphapanel_new(tcontrol *parent, const trect *unused, app_context *app) {
  (void)unused;
  PORT_CHECK(app != nullptr && app->_paint_context != nullptr);
  alphapanel *ap = static_cast<alphapanel *>(std::calloc(1, sizeof(alphapanel)));
  if (!ap) return nullptr;
  ap->_app = app;
  tscreen *screen = tscreen_get();
  int32_t width = tscreen_get_width(screen), height = tscreen_get_height(screen);
  trect portrait, landscape;
  tpoint portrait_tab, landscape_tab;
  alphapanel_layout_for(width, height, &portrait, &landscape, &portrait_tab, &landscape_tab);
  if (!tsidebar_init(&ap->_sidebar, parent, &portrait, &landscape, &portrait_tab, &landscape_tab,
                     TSIDEBAR_ALIGN_END, 0, ap)) {
    std::free(ap);
    return nullptr;
  }
  const class_layout &c = layout_of(width, height);
  tcolor fore;
  paint_context_get_fore_color(app->_paint_context, &fore);
  ap->_level = alphapanel_level_of_alpha(fore.alpha);
  ap->_landscape = tsidebar_is_landscape(&ap->_sidebar);
  const int32_t tab_sizes[ALPHAPANEL_TAB_PICTURES][2] = {
      {portrait_tab.x, portrait_tab.y},   {portrait_tab.x, portrait_tab.y},   {landscape_tab.x, landscape_tab.y},
      {landscape_tab.x, landscape_tab.y}, {landscape_tab.x, landscape_tab.y}, {portrait_tab.x, portrait_tab.y}};
  for (int i = 0; i < ALPHAPANEL_TAB_PICTURES; i++)
    panel_picture_load(&ap->_tabs[i], k_first_tab_id + i, tab_sizes[i][0], tab_sizes[i][1]);
  panel_picture_load(&ap->_thumb_mask, k_thumb_mask_id, c.thumb, c.thumb);
  ap->_thumb = make_block(c.thumb, k_thumb_normal);
  ap->_thumb_dragged = make_block(c.thumb, k_thumb_dragged);
  ap->_tdrawer = ttdrawer_copy(tstyler_get_default_tdrawer());
  tdock *dock = tsidebar_get_dock(&ap->_sidebar);
  trect client = *tcontrol_get_client_rect(&dock->_control);
  ap->_slider = tscrollbar_new(&dock->_control, &client, !ap->_landscape, ap);
  if (!ap->_thumb || !ap->_thumb_dragged || !ap->_tdrawer || !ap->_slider) {
    alphapanel_free(ap);
    return nullptr;
  }
  ttdrawer_set_color(ap->_tdrawer, tcolor_rgba(255, 255, 255));
  ttdrawer_set_font_size(ap->_tdrawer, port_device_pixels_to_points(c.thumb) - 1);
  ttdrawer_set_alignment(ap->_tdrawer, 8);

  tscrollbar *slider = ap->_slider;
  tscrollbar_set_min(slider, 1);
  tscrollbar_set_max(slider, ALPHAPANEL_LEVELS);
  tscrollbar_set_page(slider, k_page);
  tscrollbar_set_step(slider, 1);
  tscrollbar_set_page_step(slider, 1);
  tscrollbar_set_pos(slider, ALPHAPANEL_LEVELS + 1 - ap->_level);
  tscrollbar_set_on_change(slider, alphapanel_set_level);
  tscrollbar_set_no_page_tap(slider, 1);
  tscrollbar_set_paint_hooks(slider, paint_track, paint_thumb);
  tcontrol_set_align(&slider->_control, TCONTROL_ALIGN_FILL);
  tsidebar_set_content(&ap->_sidebar, &slider->_control);

  tbdrawer *box = tcontrol_get_box_drawer(&dock->_control);
  tbdrawer_set_no_border(box);
  tbdrawer_set_fill_color(box, k_dock_fill);
  tsurface_set_color_key(&dock->_control._surface, k_panel_key);
  tsurface_set_color_key_enabled(&dock->_control._surface, 1);
  tbutton *tab = tsidebar_get_tab(&ap->_sidebar);
  for (tbdrawer *frame : {tbutton_get_box_drawer(tab), tbutton_get_focused_box_drawer(tab),
                          tbutton_get_pressed_box_drawer(tab)})
    tbdrawer_set_border(frame, tcolor_rgba(0, 0, 0), 0);
  tbutton_set_on_press(tab, on_tab_press);
  tbutton_set_on_release(tab, on_tab_release);
  tsidebar_set_on_layout(&ap->_sidebar, reorient);
  reorient(&ap->_sidebar, nullptr);
  return ap;
}

void alphapanel_free(alphapanel *ap) {
  PORT_CHECK(ap != nullptr);
  stop_timer(&ap->_close_timer);
  stop_timer(&ap->_hint_timer);
  if (ap->_hint) thint_free(ap->_hint);
  ap->_hint = nullptr;
  tsidebar_set_content(&ap->_sidebar, nullptr);
  if (ap->_slider) tscrollbar_free(ap->_slider);
  tsidebar_deinit(&ap->_sidebar);
  if (ap->_tdrawer) ttdrawer_free(ap->_tdrawer);
  if (ap->_thumb) tbitmap_free(ap->_thumb);
  if (ap->_thumb_dragged) tbitmap_free(ap->_thumb_dragged);
  panel_picture_release(&ap->_thumb_mask);
  for (panel_picture &tab : ap->_tabs) panel_picture_release(&tab);
  std::free(ap);
}

void alphapanel_realize(alphapanel *ap) {
  PORT_CHECK(ap != nullptr);
  tsidebar_realize(&ap->_sidebar);
}

void alphapanel_show(alphapanel *ap) {
  PORT_CHECK(ap != nullptr);
  tsidebar_show(&ap->_sidebar);
}

void alphapanel_hide(alphapanel *ap) {
  PORT_CHECK(ap != nullptr);
  tsidebar_hide(&ap->_sidebar);
}

void alphapanel_level_up(alphapanel *ap) {
  PORT_CHECK(ap != nullptr);
  step(ap, -1);
}

void alphapanel_level_down(alphapanel *ap) {
  PORT_CHECK(ap != nullptr);
  step(ap, 1);
}

void alphapanel_set_level(tscrollbar *slider, int32_t position) {
  PORT_CHECK(slider != nullptr);
  alphapanel *ap = panel_of_slider(slider);
  PORT_CHECK(ap != nullptr);
  apply_level(ap, ALPHAPANEL_LEVELS + 1 - position);
}

int32_t alphapanel_get_level(const alphapanel *ap) {
  PORT_CHECK(ap != nullptr);
  return ap->_level;
}

int32_t alphapanel_level_of_alpha(int32_t alpha) {
  return std::clamp((alpha + 1) >> 5, int32_t(1), ALPHAPANEL_LEVELS);
}

void alphapanel_layout_for(int32_t width, int32_t height, trect *portrait, trect *landscape, tpoint *portrait_tab,
                           tpoint *landscape_tab) {
  PORT_CHECK(portrait != nullptr && landscape != nullptr && portrait_tab != nullptr && landscape_tab != nullptr);
  const class_layout &c = layout_of(width, height);
  int32_t longer = std::max(width, height), shorter = std::min(width, height);
  *portrait = {0, longer - c.reach, c.depth - 1, longer - c.keep};
  *landscape = {longer - c.reach, shorter - c.depth, longer - c.keep, shorter - 1};
  *portrait_tab = {c.tab_short, c.tab_long};
  *landscape_tab = {c.tab_long, c.tab_short};
}

namespace {

const class_layout &layout_of(int32_t width, int32_t height) {
  if (app_common_is_qvga_size(width, height)) return k_small;
  if (app_common_is_vga_size(width, height)) return k_large;
  return k_normal;
}

alphapanel *panel_of_slider(tscrollbar *slider) {
  return static_cast<alphapanel *>(tsurface_get_owner(&slider->_control._surface));
}

// The tab's owner is the side bar, the first field of the panel.
alphapanel *panel_of_tab(tbutton *tab) {
  return reinterpret_cast<alphapanel *>(tsurface_get_owner(&tab->_control._surface));
}

void apply_level(alphapanel *ap, int32_t level) {
  ap->_level = std::clamp(level, int32_t(1), ALPHAPANEL_LEVELS);
  paint_context *pc = ap->_app->_paint_context;
  tcolor fore;
  paint_context_get_fore_color(pc, &fore);
  fore.alpha = uint8_t(ap->_level * 32 - 1);
  paint_context_set_fore_color(pc, fore);
  if (ap->_app->_colorpanel) colorpanel_repaint(ap->_app->_colorpanel);
  if (ap->_app->_textbar && textbar_update_color) textbar_update_color(ap->_app->_textbar);
}

void step(alphapanel *ap, int32_t delta) {
  tsidebar *sb = &ap->_sidebar;
  bool opened_by_user = tsidebar_is_open(sb) && !ap->_close_timer;
  if (!opened_by_user) {
    ap->_close_skip = 1;
    stop_timer(&ap->_close_timer);
    ap->_close_timer = wins_timer_start(ALPHAPANEL_CLOSE_MS, 0, on_close_tick, ap);
  }
  tsidebar_open(sb);
  tscrollbar_set_pos(ap->_slider, tscrollbar_get_pos(ap->_slider) + delta);
  apply_level(ap, ALPHAPANEL_LEVELS + 1 - tscrollbar_get_pos(ap->_slider));
  tsurface_update(&ap->_slider->_control._surface, nullptr);
}

// A tick after a step only clears the flag, so the panel stays a full second
// after the last one.
void on_close_tick(uint32_t timer, void *user_data) {
  alphapanel *ap = static_cast<alphapanel *>(user_data);
  if (ap->_close_skip) {
    ap->_close_skip = 0;
    return;
  }
  wins_timer_stop(timer);
  ap->_close_timer = 0;
  tsidebar_close(&ap->_sidebar);
}

void on_hint_timer(uint32_t timer, void *user_data) {
  alphapanel *ap = static_cast<alphapanel *>(user_data);
  wins_timer_stop(timer);
  ap->_hint_timer = 0;
  close_hint(ap);
  tscreen *screen = tscreen_get();
  tpoint pen = {0, 0};
  tscreen_get_last_pen_pos(screen, &pen);
  int32_t rise = k_hint_rise + (app_common_is_vga() ? k_hint_rise_large : 0);
  trect wrap = {0, 0, tscreen_get_width(screen) - k_hint_right_gap, 0};
  ap->_hint = thint_new(&wrap, tresource_get_string(25215, u"Expand here to change the pencil's hardness"), 1, ap);
  if (ap->_hint) thint_show(ap->_hint, pen.x, std::max(pen.y - rise, int32_t(0)));
}

void on_tab_press(tbutton *tab) {
  alphapanel *ap = panel_of_tab(tab);
  if (tsidebar_is_open(&ap->_sidebar)) return;
  stop_timer(&ap->_hint_timer);
  ap->_hint_timer = wins_timer_start(ALPHAPANEL_HINT_MS, 0, on_hint_timer, ap);
}

void on_tab_release(tbutton *tab) {
  alphapanel *ap = panel_of_tab(tab);
  stop_timer(&ap->_hint_timer);
  close_hint(ap);
}

void close_hint(alphapanel *ap) {
  if (!ap->_hint) return;
  trect area;
  tsurface_get_screen_rect(&reinterpret_cast<tcontrol *>(thint_get_label(ap->_hint))->_surface, &area);
  thint_free(ap->_hint);
  ap->_hint = nullptr;
  tscreen_paint(tscreen_get(), &area);
}

void stop_timer(uint32_t *timer) {
  if (!*timer) return;
  wins_timer_stop(*timer);
  *timer = 0;
}

// The side bar turned with the screen: slider across or upright, the tab's
// look of the new side.
void reorient(tsidebar *sb, const trect *) {
  alphapanel *ap = reinterpret_cast<alphapanel *>(sb);
  ap->_landscape = tsidebar_is_landscape(sb);
  const class_layout &c = layout_of(tscreen_get_width(tscreen_get()), tscreen_get_height(tscreen_get()));
  tdock *dock = tsidebar_get_dock(sb);
  if (dock->_margin_left != c.margin || dock->_margin_top != c.margin)
    tdock_set_margins(dock, c.margin, c.margin, c.margin, c.margin);
  if (ap->_slider && ap->_slider->_vertical != !ap->_landscape) tscrollbar_set_vertical(ap->_slider, !ap->_landscape);
  set_tab_look(ap);
}

void set_tab_look(alphapanel *ap) {
  tbutton *tab = tsidebar_get_tab(&ap->_sidebar);
  bool across = ap->_landscape;
  const panel_picture &image = ap->_tabs[across ? ALPHAPANEL_TAB_LANDSCAPE : ALPHAPANEL_TAB_PORTRAIT];
  const panel_picture &mask = ap->_tabs[across ? ALPHAPANEL_TAB_LANDSCAPE_MASK : ALPHAPANEL_TAB_PORTRAIT_MASK];
  const panel_picture &surface =
      ap->_tabs[across ? ALPHAPANEL_TAB_LANDSCAPE_SURFACE : ALPHAPANEL_TAB_PORTRAIT_SURFACE];
  tbutton_set_image(tab, image._bitmap, mask._bitmap);
  if (surface._bitmap) tsurface_set_mask(&tab->_control._surface, surface._bitmap, k_panel_alpha);
  int horizontal = across ? 0 : 1;
  uint32_t pressed_from = across ? k_light : k_dark, pressed_to = across ? k_dark : k_light;
  tbdrawer_set_fill_gradient(tbutton_get_pressed_box_drawer(tab), horizontal, pressed_from, pressed_to, 100, 0);
  tbdrawer_set_fill_gradient(tbutton_get_focused_box_drawer(tab), horizontal, pressed_to, pressed_from, 100, 0);
  tbdrawer_set_fill_gradient(tbutton_get_box_drawer(tab), horizontal, pressed_to, pressed_from, 100, 0);
}

void paint_track(tscrollbar *slider, tcanvas *canvas, const trect *rect, int *draw) {
  *draw = 0;
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_track);
  tcanvas_fill_rect(canvas, rect->x1, rect->y1, rect->x2, rect->y2);
  if (slider->_vertical) {
    int32_t x = (rect->x1 + rect->x2) / 2;
    tcanvas_draw_line_color(canvas, x, rect->y1 + k_track_inset, x, rect->y2 - k_track_inset, k_track_line);
  } else {
    int32_t y = (rect->y1 + rect->y2) / 2;
    tcanvas_draw_line_color(canvas, rect->x1 + k_track_inset, y, rect->x2 - k_track_inset, y, k_track_line);
  }
}

// The block centred on the thumb, kept within the slider, drawn through the
// thumb mask with the level on it.
void paint_thumb(tscrollbar *slider, tcanvas *canvas, const trect *rect, int *draw) {
  *draw = 0;
  alphapanel *ap = panel_of_slider(slider);
  tbitmap *block = tscrollbar_is_dragging(slider) ? ap->_thumb_dragged : ap->_thumb;
  int32_t side = tbitmap_get_width(block);
  int32_t width = tsurface_get_width(&slider->_control._surface);
  int32_t height = tsurface_get_height(&slider->_control._surface);
  int32_t x = (rect->x1 + rect->x2 + 1 - side) / 2, y = (rect->y1 + rect->y2 + 1 - side) / 2;
  if (x < 0) x = -1;
  if (y < 0) y = -1;
  if (x + side > width) x = width - side + 1;
  if (y + side > height) y = height - side + 1;
  tpoint at = {x, y};
  trect whole = {0, 0, side - 1, side - 1};
  if (ap->_thumb_mask._bitmap)
    tcanvas_draw_bitmap_masked(canvas, &at, block, &whole, ap->_thumb_mask._bitmap, k_panel_alpha);
  else
    tcanvas_draw_bitmap_alpha(canvas, &at, block, &whole, k_panel_alpha);
  char16_t text[8];
  char ascii[8];
  int length = std::snprintf(ascii, sizeof ascii, "%d", int(ap->_level));
  for (int i = 0; i <= length; i++) text[i] = char16_t(ascii[i]);
  trect on = {x, y, x + side - 1, y + side - 1};
  ttdrawer_draw(ap->_tdrawer, canvas, text, length, &on);
}

tbitmap *make_block(int32_t side, uint32_t color) {
  tscreen *screen = tscreen_get();
  tbitmap *block = tbitmap_new(side, side, tbitmap_get_bpp(tscreen_get_bitmap(screen)));
  if (block) tbitmap_fill_rect(block, 0, 0, side - 1, side - 1, color);
  return block;
}

}  // namespace
