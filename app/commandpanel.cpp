// commandpanel: the slide-out command panel, its tab, tooltips and commands.
#include "commandpanel.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "about_dialog.h"
#include "alphapanel.h"
#include "app_common.h"
#include "colorpanel.h"
#include "help_dialog.h"
#include "mypaints_dialog.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_main.h"
#include "paint_new.h"
#include "paint_send.h"
#include "shape_curve.h"
#include "port_log.h"
#include "scalebar.h"
#include "shape.h"
#include "tbdrawer.h"
#include "tbutton.h"
#include "tcontrol.h"
#include "tdialog.h"
#include "tdock.h"
#include "tform.h"
#include "thint.h"
#include "thumbnail.h"
#include "tresource.h"
#include "tscale.h"
#include "tscreen.h"
#include "tscrollbar.h"
#include "tseperator.h"
#include "ttdrawer.h"
#include "upload_panel.h"
#include "wins_graphics.h"
#include "wins_timer.h"
#include "wins_window.h"

namespace {

// Tab pictures: image and mask per orientation and state, then the tab's
// surface masks.
constexpr int32_t k_tab_first_id = 15090;
enum {
  TAB_PORTRAIT_CLOSED = 15090,
  TAB_LANDSCAPE_CLOSED = 15092,
  TAB_PORTRAIT_OPEN = 15094,
  TAB_LANDSCAPE_OPEN = 15096,
  TAB_SURFACE_PORTRAIT = 15098,
  TAB_SURFACE_LANDSCAPE = 15099,
};
constexpr int k_tab_alpha = 216;
constexpr intptr_t k_tab_user_data = 1;

constexpr tcolor k_black = tcolor_rgba(0, 0, 0);
constexpr tcolor k_dark_grey = tcolor_rgba(64, 64, 64);
constexpr tcolor k_grey = tcolor_rgba(128, 128, 128);
constexpr tcolor k_light_grey = tcolor_rgba(192, 192, 192);
constexpr tcolor k_white = tcolor_rgba(255, 255, 255);
constexpr tcolor k_magenta = tcolor_rgba(255, 0, 255);
constexpr tcolor k_panel_key = tcolor_rgba(255, 0, 255, k_tab_alpha);
// Tab gradients as key words (0x00BBGGRR).
constexpr uint32_t k_tab_light = 0x00C8C8C8, k_tab_dark = 0x00808080;

constexpr int32_t k_scrollbar_size = 10;
constexpr int32_t k_image_percent = 80;
constexpr int32_t k_image_mode = 5;  // image on top, the caption below it
constexpr int32_t k_text_lift = 3, k_text_lift_small_chinese = 2;
constexpr int32_t k_chinese = 31;
constexpr int32_t k_caption_margin = 1;  // a pixel clear on each side of a caption
// From here on (the CJK radicals) a script is written without spaces: a
// caption may break between two of its characters.
constexpr char16_t k_first_unspaced = 0x2E80;
constexpr int32_t k_tooltip_lift = 80, k_tooltip_lift_large = 170;
constexpr int32_t k_tooltip_right_margin = 21;

struct geometry {
  int32_t button_width, button_height, gap, tab_long, tab_short, strip;
};

constexpr geometry k_small_portrait = {53, 44, 5, 50, 20, 3};
constexpr geometry k_small_landscape = {46, 44, 5, 50, 20, 3};
constexpr geometry k_large = {101, 114, 13, 110, 45, 5};
constexpr geometry k_normal = {78, 88, 10, 100, 40, 5};

struct cp_command;
typedef void (*command_fn)(commandpanel *cp);

// One command button. Commands without a function open flows of modules
// still to come: their buttons are there and show their tooltips, and a tap
// does nothing yet.
struct cp_command {
  int32_t id;
  int32_t text_id, small_text_id;  // small_text_id 0: the same on every class
  const char16_t *text;
  int32_t short_text_id;  // 0: no shorter wording
  const char16_t *short_text;
  int32_t image, mask;
  int32_t tip_id;
  const char16_t *tip;
  command_fn run;
};

void new_menu(commandpanel *cp);
void save(commandpanel *cp);
void save_as(commandpanel *cp);
void my_paints(commandpanel *cp);
void send_paint(commandpanel *cp);
void upload_paint(commandpanel *cp);
void open_gallery(commandpanel *cp);
void share_product(commandpanel *cp);
void quit(commandpanel *cp);
void help(commandpanel *cp);
void about(commandpanel *cp);

// The small class's own built-in caption for My Paints (text 25144).
const char16_t k_my_paints_small[] = u"MyPaints";

// In creation order; the separator comes after the eighth.
const cp_command k_commands[COMMANDPANEL_BUTTONS] = {
    {COMMANDPANEL_NEW, 25140, 0, u"New", 0, nullptr, 15100, 15101, 25151, u"Show options for creating a new painting.", new_menu},
    {COMMANDPANEL_SAVE, 25141, 0, u"Save", 25260, u"Save", 15102, 15103, 25152,
     u"Save the current painting. Save current painting as Brivola Format (.bvf) file for continuing edit in the "
     u"next time.",
     save},
    {COMMANDPANEL_SAVE_AS, 25142, 0, u"Save As", 25261, u"Save As", 15104, 15105, 25153,
     u"Save the current painting as JPEG, PNG, GIF or BMP picture file.", save_as},
    {COMMANDPANEL_SEND, 25143, 0, u"Send", 25262, u"Send", 15108, 15109, 25154, u"Send current painting to anyone others as you wish.",
     send_paint},
    {COMMANDPANEL_MY_PAINTS, 25145, 25144, u"My Paints", 25144, k_my_paints_small, 15106, 15107, 25155,
     u"List all paintings that you saved before.", my_paints},
    {COMMANDPANEL_UPLOAD, 25226, 0, u"Upload", 25263, u"Upload", 15120, 15121, 25229,
     u"Upload current painting onto Brivola Gallery. After uploaded, you can share your painting with your friends "
     u"via social networks such as Twitter, Facebook and Myspace.",
     upload_paint},
    {COMMANDPANEL_MY_GALLERY, 25228, 25227, u"My Gallery", 25227, u"Gallery", 15170, 15171, 25230,
     u"Goto online Brivola Gallery. To view all uploaded paintings of yours and others.", open_gallery},
    {COMMANDPANEL_HELP, 25146, 0, u"Help", 0, nullptr, 15116, 15117, 25156, u"Show Brivola help document.", help},
    {COMMANDPANEL_SHARE, 25148, 0, u"Share", 25264, u"Share", 15110, 15111, 25158, u"Share Brivola with your contacts.", share_product},
    {COMMANDPANEL_ABOUT, 25149, 0, u"About", 25265, u"About", 15112, 15113, 25159, u"Show about dialog for Brivola.", about},
    {COMMANDPANEL_QUIT, 25150, 0, u"Quit", 0, nullptr, 15114, 15115, 25160, u"Ask saving and exit from Brivola.", quit},
};
constexpr int k_send_button = 3;  // creation order, for the Send menu's place
constexpr int k_first_group = 8;  // the buttons above the separator
constexpr int32_t k_separator_height = 2;

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }

const geometry &geometry_of(int32_t width, int32_t height);
int build(commandpanel *cp, tcontrol *parent);
int build_dock(commandpanel *cp, tcontrol *parent, const trect &panel);
int build_tab(commandpanel *cp, const trect &tab);
int build_form(commandpanel *cp);
int build_buttons(commandpanel *cp);
void set_button_look(tbutton *button, const app_context *app);
const char16_t *caption_of(const cp_command &c);
const char16_t *short_caption_of(const cp_command &c);
void fit_caption(tbutton *button, const cp_command &c);
void draw_caption(ttdrawer *drawer, tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int32_t length,
                  const trect *rect);
void set_orientation(commandpanel *cp);
void set_tab_pictures(commandpanel *cp);
tbitmap *tab_picture(commandpanel *cp, int32_t id, int32_t width, int32_t height);
void place_rect(tcontrol *control, const trect &r);
void repaint_moved(tsurface *a, tsurface *b);
void cover_side_panels(commandpanel *cp, int32_t width, int32_t height);
void close_tooltip(commandpanel *cp);
void stop_tooltip_timer(commandpanel *cp);
void show_tooltip(commandpanel *cp);
const cp_command *command_of(intptr_t id);
void commit_open_bars(commandpanel *cp);
void end_tool_operation(commandpanel *cp, intptr_t command);

// Slots.
int refuse_drag(tdock *dock, int32_t x, int32_t y);
int refuse_side(tdock *dock, int32_t side);
int refuse_resize(tdock *dock, int32_t zone, int32_t *x, int32_t *y, int32_t *width, int32_t *height);
int32_t dock_child_count(tdock *dock);
tcontrol *dock_child_at(tdock *dock, int32_t index);
int dock_key(tdock *dock, uint32_t code, uint32_t repeat, uint32_t modifiers);
void on_screen_rotated(tcontrol *dock, const trect *rect);
void lay_out(tform *form, const trect *rect);
void on_command(tbutton *button, intptr_t command);
void on_button_press(tbutton *button);
void on_button_release(tbutton *button);
void on_tooltip_timer(uint32_t id, void *user_data);

}  // namespace

commandpanel *commandpanel_new(tcontrol *parent, const trect *rect, app_context *app) {
  (void)rect;
  PORT_CHECK(app != nullptr);
  commandpanel *cp = static_cast<commandpanel *>(std::calloc(1, sizeof(commandpanel)));
  if (!cp) return nullptr;
  cp->_app = app;
  if (!build(cp, parent)) {
    commandpanel_free(cp);
    return nullptr;
  }
  return cp;
}

// Children before what they sit in: buttons and separator, then the form,
// the dock and the tab.
void commandpanel_free(commandpanel *cp) {
  PORT_CHECK(cp != nullptr);
  stop_tooltip_timer(cp);
  close_tooltip(cp);
  if (cp->_send_menu) paint_send_free(cp->_send_menu);
  for (tbutton *&button : cp->_buttons) {
    if (button) tbutton_free(button);
    button = nullptr;
  }
  if (cp->_separator) tseperator_free(cp->_separator);
  if (cp->_form) tform_free(cp->_form);
  if (cp->_dock) tdock_free(cp->_dock);
  if (cp->_tab) tbutton_free(cp->_tab);
  for (tbitmap *copy : cp->_tab_copies)
    if (copy) tbitmap_free(copy);
  std::free(cp);
}

void commandpanel_realize(commandpanel *cp) {
  PORT_CHECK(cp != nullptr);
  tform_focus_first(cp->_form);
  tcontrol_realize(control_of(cp->_tab));
  tcontrol_realize(control_of(cp->_dock));
  commandpanel_bring_to_front(cp);
}

void commandpanel_bring_to_front(commandpanel *cp) {
  PORT_CHECK(cp != nullptr);
  tscreen *screen = tscreen_get();
  tscreen_set_modal(screen, surface_of(cp->_tab));
  tscreen_bring_to_front(screen, surface_of(cp->_dock));
}

void commandpanel_show(commandpanel *cp) {
  PORT_CHECK(cp != nullptr);
  tsurface_set_visible(surface_of(cp->_tab), 1);
  tsurface_set_visible(surface_of(cp->_dock), 1);
}

void commandpanel_hide(commandpanel *cp) {
  PORT_CHECK(cp != nullptr);
  tsurface_set_visible(surface_of(cp->_tab), 0);
  tsurface_set_visible(surface_of(cp->_dock), 0);
}

void commandpanel_slide_closed(commandpanel *cp) {
  PORT_CHECK(cp != nullptr);
  if (cp->_open) commandpanel_toggle(cp->_tab, k_tab_user_data);
}

int commandpanel_is_visible(const commandpanel *cp) {
  PORT_CHECK(cp != nullptr);
  return tsurface_is_visible(surface_of(cp->_dock));
}

// Three equal steps towards the target, the fourth lands on it; each one is
// composed and flushed at once, so the display shows the panel moving. Only
// where the panel and the tab were and are is composed again: the panel's
// own pixels stay as they were drawn.
void commandpanel_toggle(tbutton *tab, intptr_t user_data) {
  PORT_CHECK(tab != nullptr);
  if (user_data != k_tab_user_data) return;
  commandpanel *cp = static_cast<commandpanel *>(tsurface_get_owner(surface_of(tab)));
  PORT_CHECK(cp != nullptr);
  tscreen *screen = tscreen_get();
  cp->_open = !cp->_open;
  int32_t width, height;
  tscreen_get_size(screen, &width, &height);
  trect panel_target, tab_target;
  commandpanel_compute_rects(width, height, cp->_open, &panel_target, &tab_target);
  commandpanel_bring_to_front(cp);

  tsurface *dock = surface_of(cp->_dock), *tab_surface = surface_of(tab);
  const trect now = *tsurface_get_rect(dock);
  int32_t strip = geometry_of(width, height).strip;
  int32_t extent = cp->_landscape ? std::max(now.x2 - now.x1, panel_target.x2 - panel_target.x1) + 1
                                  : std::max(now.y2 - now.y1, panel_target.y2 - panel_target.y1) + 1;
  int32_t step = (extent - strip) / COMMANDPANEL_SLIDE_STEPS;
  // Opening moves towards the screen's inside: up, or left in landscape.
  int32_t delta = cp->_open ? -step : step;
  int32_t dx = cp->_landscape ? delta : 0, dy = cp->_landscape ? 0 : delta;
  for (int i = 1; i <= COMMANDPANEL_SLIDE_STEPS; i++) {
    const trect *r = tsurface_get_rect(dock), *t = tsurface_get_rect(tab_surface);
    bool last = i == COMMANDPANEL_SLIDE_STEPS;
    tcontrol_move_by(control_of(cp->_dock), last ? panel_target.x1 - r->x1 : dx,
                     last ? panel_target.y1 - r->y1 : dy, 0);
    tcontrol_move_by(control_of(tab), last ? tab_target.x1 - t->x1 : dx, last ? tab_target.y1 - t->y1 : dy, 0);
    repaint_moved(dock, tab_surface);
    wins_window_sleep(COMMANDPANEL_SLIDE_WAIT_MS);
  }
  // The last step left both on their targets and the panel's pixels did not
  // change: only the tab's picture for the new state needs showing.
  set_tab_pictures(cp);
  tsurface_update(tab_surface, nullptr);
  tcontrol_set_focus(control_of(tab), 0);
  cover_side_panels(cp, width, height);
}

void commandpanel_compute_rects(int32_t width, int32_t height, int open, trect *panel, trect *tab) {
  PORT_CHECK(panel != nullptr && tab != nullptr);
  const geometry &g = geometry_of(width, height);
  bool large = app_common_is_vga_size(width, height);
  int32_t s = g.strip;
  if (width <= height) {
    int32_t half = height / 2;
    if (large)
      *panel = open ? trect{0, height - COMMANDPANEL_LARGE_EXTENT, width - 1, height - 1}
                    : trect{0, height - s, width - 1, height + COMMANDPANEL_LARGE_EXTENT - 1 - s};
    else
      *panel = open ? trect{0, half, width - 1, 2 * half - 1}
                    : trect{0, 2 * half - s, width - 1, 2 * half - 1 + half - s};
    int32_t x = (panel->x2 - panel->x1 + 1 - g.tab_long) / 2, y = panel->y1 - g.tab_short;
    *tab = {x, y, x + g.tab_long - 1, y + g.tab_short - 1};
  } else {
    int32_t half = width / 2;
    if (large)
      *panel = open ? trect{width - COMMANDPANEL_LARGE_EXTENT, 0, width - 1, height - 1}
                    : trect{width - s, 0, width + COMMANDPANEL_LARGE_EXTENT - 1 - s, height - 1};
    else
      *panel = open ? trect{half, 0, 2 * half - 1, height - 1}
                    : trect{2 * half - s, 0, 2 * half - 1 + half - s, height - 1};
    int32_t x = panel->x1 - g.tab_short, y = (panel->y2 - panel->y1 + 1 - g.tab_long) / 2;
    *tab = {x, y, x + g.tab_short - 1, y + g.tab_long - 1};
  }
}

namespace {

const geometry &geometry_of(int32_t width, int32_t height) {
  if (app_common_is_qvga_size(width, height)) return width > height ? k_small_landscape : k_small_portrait;
  return app_common_is_vga_size(width, height) ? k_large : k_normal;
}

int build(commandpanel *cp, tcontrol *parent) {
  int32_t width, height;
  tscreen_get_size(tscreen_get(), &width, &height);
  cp->_landscape = width > height ? 1 : 0;
  trect panel, tab;
  commandpanel_compute_rects(width, height, 0, &panel, &tab);
  if (!build_dock(cp, parent, panel) || !build_tab(cp, tab) || !build_form(cp) || !build_buttons(cp)) return 0;
  set_orientation(cp);
  return 1;
}

// A dock that never moves, docks or resizes: the slide places it.
int build_dock(commandpanel *cp, tcontrol *parent, const trect &panel) {
  cp->_dock = tdock_new(parent, &panel, cp);
  if (!cp->_dock) return 0;
  tdock *dock = cp->_dock;
  tdock_set_can_drag_func(dock, refuse_drag);
  tdock_set_can_dock_func(dock, refuse_side);
  tdock_set_resize_func(dock, refuse_resize);
  tdock_set_key_func(dock, dock_key);
  tdock_set_child_funcs(dock, dock_child_count, dock_child_at);
  tcontrol_set_on_parent_resized(control_of(dock), on_screen_rotated);
  tbdrawer *fill = tcontrol_get_box_drawer(control_of(dock));
  tbdrawer_set_no_border(fill);
  tbdrawer_set_fill_color(fill, k_light_grey);
  tbdrawer_set_fill_solid(fill);
  tsurface_set_color_key(surface_of(dock), k_panel_key);
  return 1;
}

int build_tab(commandpanel *cp, const trect &tab) {
  cp->_tab = tbutton_new(nullptr, &tab, u"", k_tab_user_data, cp);
  if (!cp->_tab) return 0;
  tbutton_set_on_click(cp->_tab, commandpanel_toggle);
  for (tbdrawer *drawer : {tbutton_get_box_drawer(cp->_tab), tbutton_get_focused_box_drawer(cp->_tab),
                           tbutton_get_pressed_box_drawer(cp->_tab)})
    tbdrawer_set_border(drawer, k_black, 0);
  return 1;
}

int build_form(commandpanel *cp) {
  tcontrol *dock = control_of(cp->_dock);
  cp->_form = tform_new(dock, &dock->_client_rect, cp);
  if (!cp->_form) return 0;
  tform *form = cp->_form;
  tcontrol_set_align(control_of(form), TCONTROL_ALIGN_FILL);
  tform_set_focus_frame_hidden(form, 1);
  tform_set_animated_scroll(form, 1);
  tform_set_hscroll_hidden(form, 1);
  tform_set_hdrag_locked(form, 1);
  tform_set_on_layout(form, lay_out);
  tbdrawer *fill = tcontrol_get_box_drawer(control_of(form));
  tbdrawer_set_no_border(fill);
  tbdrawer_set_fill_color(fill, k_dark_grey);
  tbdrawer_set_fill_solid(fill);
  tform_set_scrollbar_size(form, k_scrollbar_size);
  // A see-through track under a rounded grey thumb.
  tscrollbar *bar = tform_get_vscrollbar(form);
  tsurface_set_color_key(surface_of(bar), k_magenta);
  tbdrawer *track = tcontrol_get_box_drawer(control_of(bar));
  tbdrawer_set_no_border(track);
  tbdrawer_set_fill_color(track, k_magenta);
  tbdrawer_set_fill_solid(track);
  const struct {
    tbdrawer *drawer;
    tcolor color;
  } thumbs[] = {{tscrollbar_get_thumb_drawer(bar), k_grey}, {tscrollbar_get_pressed_thumb_drawer(bar), k_light_grey}};
  for (const auto &thumb : thumbs) {
    tbdrawer_set_round_border(thumb.drawer, thumb.color, 1, 2);
    tbdrawer_set_fill_color(thumb.drawer, thumb.color);
    tbdrawer_set_fill_solid(thumb.drawer);
  }
  return 1;
}

// Made in creation order with ids 1-12 (the separator ninth), then placed
// by the layout, which the separator follows from the start.
int build_buttons(commandpanel *cp) {
  tform *form = cp->_form;
  const trect none = {0, 0, -1, -1};
  int32_t id = 1;
  for (int i = 0; i < COMMANDPANEL_BUTTONS; i++) {
    if (i == k_first_group) {
      cp->_separator = tseperator_new(control_of(form), &none, 0, cp);
      if (!cp->_separator || !tform_add_child(form, id++, control_of(cp->_separator))) return 0;
    }
    const cp_command &c = k_commands[i];
    tbutton *button = tbutton_new(control_of(form), &none, caption_of(c), c.id, cp);
    if (!button) return 0;
    cp->_buttons[i] = button;
    if (!tform_add_child(form, id++, control_of(button))) return 0;
    tbutton_set_image(button, tresource_get_bitmap(c.image), tresource_get_bitmap(c.mask));
    set_button_look(button, cp->_app);
  }
  tcontrol_layout(control_of(form), tsurface_get_rect(surface_of(form)));
  return 1;
}

void set_button_look(tbutton *button, const app_context *app) {
  tbutton_set_image_position(button, k_image_mode, k_image_percent);
  int32_t lift = k_text_lift;
  if (app_common_is_qvga()) lift = app->_language == k_chinese ? k_text_lift_small_chinese : 0;
  for (ttdrawer *drawer :
       {tbutton_get_tdrawer(button), tbutton_get_focused_tdrawer(button), tbutton_get_pressed_tdrawer(button)}) {
    ttdrawer_set_offset_y(drawer, -lift);
    ttdrawer_set_truncation(drawer, TTDRAWER_TRUNCATE_END);
    ttdrawer_set_draw_func(drawer, draw_caption);
  }
  ttdrawer_set_color(tbutton_get_tdrawer(button), k_white);
  ttdrawer_set_color(tbutton_get_focused_tdrawer(button), k_white);
  for (tbdrawer *drawer : {tbutton_get_box_drawer(button), tbutton_get_focused_box_drawer(button)}) {
    tbdrawer_set_border(drawer, k_dark_grey, 0);
    tbdrawer_set_fill_color(drawer, k_dark_grey);
    tbdrawer_set_fill_solid(drawer);
  }
  tbdrawer_set_border(tbutton_get_pressed_box_drawer(button), k_dark_grey, 0);
  tbutton_set_on_click(button, on_command);
  tbutton_set_on_press(button, on_button_press);
  tbutton_set_on_release(button, on_button_release);
}

const char16_t *caption_of(const cp_command &c) {
  bool small = app_common_is_qvga();
  int32_t text_id = small && c.small_text_id ? c.small_text_id : c.text_id;
  const char16_t *text = small && c.id == COMMANDPANEL_MY_PAINTS ? k_my_paints_small : c.text;
  return tresource_get_string(text_id, text);
}

const char16_t *short_caption_of(const cp_command &c) {
  return c.short_text_id ? tresource_get_string(c.short_text_id, c.short_text) : caption_of(c);
}

// Sets the caption the button shows at its present size, in the drawer's
// font (never smaller: see draw_caption). The wording is shown whole on one
// line when it fits, else broken in two where the wider line comes out
// narrowest (between words, or between characters of a script written
// without spaces), the picture moving up by a line to make room; a wording
// that fits neither way gives way to the command's shorter one. Should that
// not fit either, it stays on one line cut with an ellipsis.
void fit_caption(tbutton *button, const cp_command &c) {
  const trect *r = tsurface_get_rect(&button->_control._surface);
  int32_t width = r->x2 - r->x1 + 1, height = r->y2 - r->y1 + 1;
  int32_t room = width - 2 * k_caption_margin;
  std::u16string shown = short_caption_of(c);
  int32_t percent = k_image_percent;
  const ttdrawer *drawer = tbutton_get_tdrawer(button);
  tcanvas measure{};
  if (room > 0 && height > 0 && tcanvas_init(&measure, nullptr, 32, 1, 1)) {
    wins_graphics_set_font(&measure, drawer->_font_size, drawer->_font_face[0] ? drawer->_font_face : nullptr);
    tcanvas_set_font_style(&measure, drawer->_font_style);
    wins_graphics_pass *pass = wins_graphics_begin_text(&measure);
    int32_t line_height = pass ? wins_graphics_get_text_height(&measure, pass) : 0;
    int32_t picture_room = int32_t(int64_t(height) * k_image_percent / 100) - line_height;
    const tbitmap *picture = button->_images[TBUTTON_NORMAL];
    bool two_lines = picture_room >= (picture ? tbitmap_get_height(picture) : 0);
    for (std::u16string text : {std::u16string(caption_of(c)), std::u16string(short_caption_of(c))}) {
      if (!pass) break;
      auto width_of = [&](size_t from, size_t count) {
        return wins_graphics_get_text_width(&measure, pass, text.data() + from, int(count));
      };
      if (width_of(0, text.size()) <= room) {
        shown = text;
        break;
      }
      if (!two_lines) continue;
      size_t best = 0, best_rest = 0;
      int32_t best_width = room + 1;
      for (size_t at = 1; at < text.size(); at++) {
        size_t rest = at;
        if (text[at] == u' ')
          rest = at + 1;
        else if (text[at - 1] < k_first_unspaced || text[at] < k_first_unspaced || (text[at] >= 0xDC00 && text[at] <= 0xDFFF))
          continue;
        int32_t wider = std::max(width_of(0, at), width_of(rest, text.size() - rest));
        if (wider < best_width) {
          best = at;
          best_rest = rest;
          best_width = wider;
        }
      }
      if (best_width <= room) {
        shown = text.substr(0, best) + u'\n' + text.substr(best_rest);
        percent = int32_t(int64_t(picture_room) * 100 / height);
        break;
      }
    }
    wins_graphics_end_text(&measure, pass);
    tcanvas_deinit(&measure);
  }
  tbutton_set_image_position(button, k_image_mode, percent);
  if (shown != button->_caption) tbutton_set_text(button, shown.c_str());
}

// The caption in the drawer's font, which is the size of the dialogs' text:
// a caption is never made smaller than what the program's dialogs show. One
// too wide for its button comes broken in two by fit_caption, the second line
// where a one-line caption sits and the first above it; the end ellipsis is
// left for a line that is still too wide.
void draw_caption(ttdrawer *drawer, tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int32_t length,
                  const trect *rect) {
  if (length < 0) length = int32_t(std::char_traits<char16_t>::length(text));
  trect inner = {rect->x1 + k_caption_margin, rect->y1, rect->x2 - k_caption_margin, rect->y2};
  const char16_t *end = text + length, *feed = std::find(text, end, u'\n');
  if (feed == end) {
    ttdrawer_draw_standard(drawer, canvas, pass, text, length, &inner);
    return;
  }
  int32_t line_height = wins_graphics_get_text_height(canvas, pass);
  trect first = inner, second = inner;
  first.y2 -= line_height;
  second.y1 += line_height;
  ttdrawer_draw_standard(drawer, canvas, pass, text, int32_t(feed - text), &first);
  ttdrawer_draw_standard(drawer, canvas, pass, feed + 1, int32_t(end - feed - 1), &second);
}

// What follows the orientation: the strip's side, the tab's pictures, the
// direction of its gradients.
void set_orientation(commandpanel *cp) {
  int32_t strip = geometry_of(tscreen_get_width(tscreen_get()), tscreen_get_height(tscreen_get())).strip;
  if (cp->_landscape)
    tdock_set_margins(cp->_dock, strip, 0, 0, 0);
  else
    tdock_set_margins(cp->_dock, 0, strip, 0, 0);
  set_tab_pictures(cp);
  int horizontal = cp->_landscape;
  tbdrawer_set_fill_gradient(tbutton_get_pressed_box_drawer(cp->_tab), horizontal, k_tab_light, k_tab_dark, 100, 0);
  for (tbdrawer *drawer : {tbutton_get_box_drawer(cp->_tab), tbutton_get_focused_box_drawer(cp->_tab)})
    tbdrawer_set_fill_gradient(drawer, horizontal, k_tab_dark, k_tab_light, 100, 0);
}

void set_tab_pictures(commandpanel *cp) {
  const trect *r = tsurface_get_rect(surface_of(cp->_tab));
  int32_t width = r->x2 - r->x1 + 1, height = r->y2 - r->y1 + 1;
  int32_t image = cp->_landscape ? (cp->_open ? TAB_LANDSCAPE_OPEN : TAB_LANDSCAPE_CLOSED)
                                 : (cp->_open ? TAB_PORTRAIT_OPEN : TAB_PORTRAIT_CLOSED);
  tbutton_set_image(cp->_tab, tab_picture(cp, image, width, height), tab_picture(cp, image + 1, width, height));
  int32_t mask = cp->_landscape ? TAB_SURFACE_LANDSCAPE : TAB_SURFACE_PORTRAIT;
  tsurface_set_mask(surface_of(cp->_tab), tab_picture(cp, mask, width, height), k_tab_alpha);
}

// The resource picture when it has the tab's size, else a copy scaled to it,
// made once (again only if the tab's size changed). Null when the picture is
// missing (the tab then shows without it).
tbitmap *tab_picture(commandpanel *cp, int32_t id, int32_t width, int32_t height) {
  tbitmap *picture = tresource_get_bitmap(id);
  if (!picture || (tbitmap_get_width(picture) == width && tbitmap_get_height(picture) == height)) return picture;
  tbitmap *&copy = cp->_tab_copies[id - k_tab_first_id];
  if (copy && tbitmap_get_width(copy) == width && tbitmap_get_height(copy) == height) return copy;
  tbitmap *scaled = width > 0 && height > 0 ? tscale_new_scaled(picture, width, height, 0) : nullptr;
  if (!scaled) return picture;
  if (copy) tbitmap_free(copy);
  copy = scaled;
  return copy;
}

void place_rect(tcontrol *control, const trect &r) {
  tcontrol_set_rect(control, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
}

// Composes and flushes where two moved surfaces were and are now.
void repaint_moved(tsurface *a, tsurface *b) {
  trect area, other;
  bool any = tsurface_get_dirty_rect(a, &area);
  if (tsurface_get_dirty_rect(b, &other)) {
    if (any)
      trect_union(&area, &area, &other);
    else
      area = other;
    any = true;
  }
  if (!any) return;
  a->_dirty = b->_dirty = 0;
  tscreen_paint(tscreen_get(), &area);
}

// The floating panels would show through the open panel while a tap there
// reaches the panel's buttons: where the panel lies over them (the side
// bar's tab, the colour swatch and the thumbnail at the places the screen's
// size gives them, the zoom bar where it is; the panel covers each in both
// orientations of every screen, so a rotation changes nothing) they are
// hidden, and what was hidden here comes back when the panel closes: the
// thumbnail only while Pan is still the tool, the zoom bar only while it is
// still there.
void cover_side_panels(commandpanel *cp, int32_t width, int32_t height) {
  app_context *app = cp->_app;
  trect panel, own_tab, side_bar, side_tab = {0, 0, -1, -1}, swatch = paint_main_colorpanel_rect(width, height);
  trect thumb = paint_main_thumbnail_rect(width, height);
  commandpanel_compute_rects(width, height, cp->_open, &panel, &own_tab);
  int32_t side;
  if (app->_alphapanel)
    tsidebar_compute_rects(&app->_alphapanel->_sidebar, width, height, tsidebar_is_open(&app->_alphapanel->_sidebar),
                           &side_bar, &side_tab, &side);
  scalebar *zoom = app->_scalebar;
  // The zoom bar's parts, or none without a bar.
  auto zoom_surface = [zoom](void *part) { return zoom ? surface_of(part) : nullptr; };
  bool panning = app->_current_tool && shape_get_id(app->_current_tool) == SHAPE_ID_PAN;
  const struct {
    tsurface *surface;
    const trect *place;
    bool may_return;
  } covered[] = {
      {app->_alphapanel ? surface_of(tsidebar_get_tab(&app->_alphapanel->_sidebar)) : nullptr, &side_tab, true},
      {app->_colorpanel ? &app->_colorpanel->_control._surface : nullptr, &swatch, true},
      {app->_thumbnail ? &app->_thumbnail->_control._surface : nullptr, &thumb, panning},
      {zoom_surface(zoom ? zoom->_label : nullptr), zoom ? &zoom->_rect : nullptr, true},
      {zoom_surface(zoom ? zoom->_zoom_in : nullptr), zoom ? &zoom->_rect : nullptr, true},
      {zoom_surface(zoom ? zoom->_zoom_out : nullptr), zoom ? &zoom->_rect : nullptr, true},
      {zoom_surface(zoom ? zoom->_menu : nullptr), zoom ? &zoom->_rect : nullptr, true},
  };
  for (size_t i = 0; i < sizeof covered / sizeof covered[0]; i++) {
    tsurface *surface = covered[i].surface;
    uint8_t bit = uint8_t(1u << i);
    bool under = surface && cp->_open && trect_is_intersecting(&panel, covered[i].place);
    if (under == ((cp->_covered & bit) != 0) || (under && !tsurface_is_visible(surface))) continue;
    cp->_covered = uint8_t(under ? cp->_covered | bit : cp->_covered & ~bit);
    if (!surface || (!under && !covered[i].may_return)) continue;
    tsurface_set_visible(surface, under ? 0 : 1);
    trect area;
    tsurface_get_screen_rect(surface, &area);
    tscreen_paint(tscreen_get(), &area);
  }
}

void close_tooltip(commandpanel *cp) {
  if (!cp->_tooltip) return;
  trect area;
  tsurface_get_screen_rect(&thint_get_label(cp->_tooltip)->_control._surface, &area);
  thint_free(cp->_tooltip);
  cp->_tooltip = nullptr;
  tscreen_paint(tscreen_get(), &area);
}

void stop_tooltip_timer(commandpanel *cp) {
  if (cp->_tooltip_timer) wins_timer_stop(cp->_tooltip_timer);
  cp->_tooltip_timer = 0;
}

void show_tooltip(commandpanel *cp) {
  const cp_command *c = cp->_tooltip_button ? command_of(tbutton_get_user_data(cp->_tooltip_button)) : nullptr;
  if (!c) return;
  tscreen *screen = tscreen_get();
  tpoint at;
  tscreen_get_last_pen_pos(screen, &at);
  int32_t lift = k_tooltip_lift + (app_common_is_vga() ? k_tooltip_lift_large : 0);
  at.y = std::max(at.y - lift, 0);
  close_tooltip(cp);
  trect wrap = {0, 0, tscreen_get_width(screen) - k_tooltip_right_margin, 0};
  cp->_tooltip = thint_new(&wrap, tresource_get_string(c->tip_id, c->tip), 1, cp);
  if (cp->_tooltip) thint_show(cp->_tooltip, at.x, at.y);
}

const cp_command *command_of(intptr_t id) {
  for (const cp_command &c : k_commands)
    if (c.id == id) return &c;
  return nullptr;
}

// An open text or image bar is stamped before any command runs; the
// thumbnail follows and the screen is painted.
void commit_open_bars(commandpanel *cp) {
  (void)cp;
  paint_main_commit_bars();
}

// What Save, Save As, Send and Upload write out holds the curve being
// edited, recorded as a tap away from it would; every other command drops
// the tool's operation under way.
void end_tool_operation(commandpanel *cp, intptr_t command) {
  bool keeps = command == COMMANDPANEL_SAVE || command == COMMANDPANEL_SAVE_AS || command == COMMANDPANEL_SEND ||
               command == COMMANDPANEL_UPLOAD;
  paint_context *pc = cp->_app->_paint_context;
  shape *curve = keeps && pc ? paint_context_find_tool(pc, SHAPE_ID_CURVE) : nullptr;
  if (curve) shape_curve_finish(curve);
  paint_main_end_tool_operation();
}

// The New menu at the New button's top-left corner.
void new_menu(commandpanel *cp) {
  trect at;
  tsurface_get_screen_rect(surface_of(cp->_buttons[0]), &at);
  commandpanel_popup_new_menu(cp, at.x1, at.y1);
}

void save(commandpanel *cp) {
  paint_file_set_open_after_save(cp->_app->_file);
  paint_file_save_current(cp->_app->_file);
}

void save_as(commandpanel *cp) {
  paint_file_set_open_after_save(cp->_app->_file);
  paint_file_save_as(cp->_app->_file);
}

// The chosen document opens through the New roads' handler.
void my_paints(commandpanel *cp) {
  my_paints_dialog *dialog =
      my_paints_dialog_new(tresource_get_string(MY_PAINTS_TEXT_TITLE, u"My Paints"), app_common_get_dialog_width(),
                           cp->_app->_my_paints_dir, commandpanel_get_path(), cp);
  if (!dialog) return;
  tdialog_set_dimmed(my_paints_dialog_get_dialog(dialog), 1);
  my_paints_dialog_set_on_result(dialog, commandpanel_on_my_paints_result);
  my_paints_dialog_show(dialog, -1, -1, TDIALOG_PLACE_FILL);
}
void send_paint(commandpanel *cp) { paint_send_show(cp->_app, &cp->_send_menu, cp->_buttons[k_send_button]); }

void upload_paint(commandpanel *cp) { upload_start_dialog(cp->_app); }

void open_gallery(commandpanel *cp) { paint_open_gallery(cp->_app); }

void share_product(commandpanel *cp) { paint_share(cp->_app); }

// The exit hook asks whether to save a changed painting.
void quit(commandpanel *) { wins_window_exit(APP_EXIT_ASK_SAVE); }

// The help pages in the program's language, filling the screen.
void help(commandpanel *cp) { help_dialog_open(cp->_app->_lang_code); }

void about(commandpanel *) { about_dialog_open(); }

int refuse_drag(tdock *, int32_t, int32_t) { return 0; }
int refuse_side(tdock *, int32_t) { return 0; }
int refuse_resize(tdock *, int32_t, int32_t *, int32_t *, int32_t *, int32_t *) { return 0; }

int32_t dock_child_count(tdock *) { return 1; }

tcontrol *dock_child_at(tdock *dock, int32_t index) {
  commandpanel *cp = static_cast<commandpanel *>(tsurface_get_owner(surface_of(dock)));
  return index == 0 && cp->_form ? control_of(cp->_form) : nullptr;
}

int dock_key(tdock *dock, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  commandpanel *cp = static_cast<commandpanel *>(tsurface_get_owner(surface_of(dock)));
  return tcontrol_handle_key(control_of(cp->_form), code, repeat, modifiers);
}

// The screen turned: the panel keeps its state on the new edge.
void on_screen_rotated(tcontrol *dock, const trect *rect) {
  commandpanel *cp = static_cast<commandpanel *>(tsurface_get_owner(&dock->_surface));
  int32_t width = rect->x2 - rect->x1 + 1, height = rect->y2 - rect->y1 + 1;
  cp->_landscape = width > height ? 1 : 0;
  trect panel, tab;
  commandpanel_compute_rects(width, height, cp->_open, &panel, &tab);
  place_rect(control_of(cp->_tab), tab);
  set_orientation(cp);
  // The tab drew itself when it moved, still with the other orientation's arrow.
  tsurface_paint(surface_of(cp->_tab));
  place_rect(dock, panel);
}

// The first eight buttons in rows, the separator under them, the last three
// in rows of their own below it.
void lay_out(tform *form, const trect *) {
  commandpanel *cp = static_cast<commandpanel *>(tsurface_get_owner(surface_of(form)));
  if (!cp->_buttons[COMMANDPANEL_BUTTONS - 1]) return;  // still being built
  int32_t width, height;
  tscreen_get_size(tscreen_get(), &width, &height);
  const geometry &g = geometry_of(width, height);
  const trect &client = control_of(form)->_client_rect;
  int32_t x = g.gap, y = g.gap;
  for (int i = 0; i < COMMANDPANEL_BUTTONS; i++) {
    if (i == k_first_group) {
      int32_t last_bottom = y + g.button_height - 1;
      // As wide as the client less a gap on each side, plus one pixel.
      int32_t client_width = client.x2 - client.x1 + 1, top = last_bottom + g.gap;
      place_rect(control_of(cp->_separator),
                 {g.gap, top, g.gap + client_width - 2 * g.gap, top + k_separator_height - 1});
      x = g.gap;
      y = last_bottom + 2 * g.gap;
    } else if (i > 0) {
      x += g.button_width + g.gap;
      if (x + g.button_width - 1 > client.x2) {
        x = g.gap;
        y += g.button_height + g.gap;
      }
    }
    place_rect(control_of(cp->_buttons[i]), {x, y, x + g.button_width - 1, y + g.button_height - 1});
    fit_caption(cp->_buttons[i], k_commands[i]);
  }
  tform_reset_scroll_offsets(form);
}

void on_command(tbutton *button, intptr_t command) {
  commandpanel *cp = static_cast<commandpanel *>(tsurface_get_owner(surface_of(button)));
  end_tool_operation(cp, command);
  commit_open_bars(cp);
  const cp_command *c = command_of(command);
  if (c && c->run) c->run(cp);
}

void on_button_press(tbutton *button) {
  commandpanel *cp = static_cast<commandpanel *>(tsurface_get_owner(surface_of(button)));
  stop_tooltip_timer(cp);
  cp->_tooltip_button = button;
  cp->_tooltip_timer = wins_timer_start(COMMANDPANEL_TOOLTIP_MS, 0, on_tooltip_timer, cp);
  // No timer to wait for: the tooltip shows now.
  if (!cp->_tooltip_timer) show_tooltip(cp);
}

void on_button_release(tbutton *button) {
  commandpanel *cp = static_cast<commandpanel *>(tsurface_get_owner(surface_of(button)));
  stop_tooltip_timer(cp);
  close_tooltip(cp);
}

void on_tooltip_timer(uint32_t, void *user_data) {
  commandpanel *cp = static_cast<commandpanel *>(user_data);
  stop_tooltip_timer(cp);
  show_tooltip(cp);
}

}  // namespace
