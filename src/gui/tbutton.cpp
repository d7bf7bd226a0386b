// tbutton: frames, image and caption by state; pen clicks and timed key clicks.
#include "tbutton.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "port_log.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_timer.h"

namespace {

constexpr tcolor k_light_edge = tcolor_rgba(128, 128, 128);
constexpr tcolor k_dark_edge = tcolor_rgba(0, 0, 0);

// Lets a slot learn whether a callback freed the button: deinit marks every
// watch on it. Watches nest (a callback may feed the button another event);
// the GUI thread alone runs widgets.
struct watch {
  const tbutton *button;
  bool freed;
};
std::vector<watch> g_watches;
// The buttons whose release timer runs.
std::vector<tbutton *> g_pending;

struct freed_guard {
  size_t index;
  explicit freed_guard(const tbutton *button) : index(g_watches.size()) { g_watches.push_back({button, false}); }
  ~freed_guard() { g_watches.pop_back(); }
  bool freed() const { return g_watches[index].freed; }
};

}  // namespace

static tbutton *button_of(tcontrol *control);
static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
static void on_layout(tcontrol *control, const trect *rect);
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static int always_focusable(tcontrol *control);
static void on_release_timer(uint32_t id, void *user_data);
static void release(tbutton *button);
static void stop_timer(tbutton *button);
static void drop_press(tbutton *button);
static void lay_out_parts(tbutton *button);
static int state_of(const tbutton *button);
static tbdrawer *frame_of(tbutton *button, int state);
static void redraw_unless(tbutton *button, uint8_t suppressed);
static bool inside(const trect *r, int32_t x, int32_t y);

int tbutton_init(tbutton *button, tcontrol *parent, const trect *rect, const char16_t *text, intptr_t user_data,
                 void *owner) {
  PORT_CHECK(button != nullptr);
  std::memset(button, 0, sizeof *button);
  if (!tcontrol_init(&button->_control, parent, rect, owner)) return 0;
  tbutton_set_text(button, text);
  button->_user_data = user_data;

  const tbdrawer *box = tstyler_get_default_bdrawer();
  button->_focused_frame = tbdrawer_copy(box);
  button->_disabled_frame = tbdrawer_copy(box);
  button->_pressed_frame = tbdrawer_copy(box);
  button->_idrawer = tidrawer_copy(tstyler_get_default_idrawer());
  bool made = button->_focused_frame && button->_disabled_frame && button->_pressed_frame && button->_idrawer;
  for (ttdrawer *&drawer : button->_tdrawers) {
    drawer = ttdrawer_copy(tstyler_get_default_tdrawer());
    made = made && drawer;
  }
  if (!made) {
    tbutton_deinit(button);
    return 0;
  }
  for (tbdrawer *frame : {button->_control._bdrawer, button->_focused_frame, button->_disabled_frame})
    tbdrawer_set_raised_border(frame, k_light_edge, k_dark_edge);
  tbdrawer_set_sunken_border(button->_pressed_frame, k_light_edge, k_dark_edge);
  lay_out_parts(button);

  tcontrol *control = &button->_control;
  tcontrol_set_on_paint(control, on_paint);
  tcontrol_set_on_layout(control, on_layout);
  tcontrol_set_on_key(control, on_key);
  tcontrol_set_on_pen(control, on_pen);
  tcontrol_set_focusable_test(control, always_focusable);
  tstyler_apply(tstyler_get_default(), button, TSTYLE_BUTTON, owner, 0);
  return 1;
}

tbutton *tbutton_new(tcontrol *parent, const trect *rect, const char16_t *text, intptr_t user_data, void *owner) {
  tbutton *button = static_cast<tbutton *>(std::calloc(1, sizeof(tbutton)));
  if (!button) return nullptr;
  if (!tbutton_init(button, parent, rect, text, user_data, owner)) {
    std::free(button);
    return nullptr;
  }
  return button;
}

void tbutton_deinit(tbutton *button) {
  PORT_CHECK(button != nullptr);
  for (watch &w : g_watches)
    if (w.button == button) w.freed = true;
  stop_timer(button);
  for (tbdrawer *frame : {button->_focused_frame, button->_disabled_frame, button->_pressed_frame})
    if (frame) tbdrawer_free(frame);
  if (button->_idrawer) tidrawer_free(button->_idrawer);
  for (ttdrawer *drawer : button->_tdrawers)
    if (drawer) ttdrawer_free(drawer);
  tcontrol_deinit(&button->_control);
  std::memset(reinterpret_cast<uint8_t *>(button) + sizeof(tcontrol), 0, sizeof *button - sizeof(tcontrol));
}

void tbutton_free(tbutton *button) {
  PORT_CHECK(button != nullptr);
  tbutton_deinit(button);
  std::free(button);
}

void tbutton_set_text(tbutton *button, const char16_t *text) {
  PORT_CHECK(button != nullptr);
  if (!text) return;
  int i = 0;
  for (; i < TBUTTON_CAPTION_UNITS - 1 && text[i]; i++) button->_caption[i] = text[i];
  std::fill(button->_caption + i, button->_caption + TBUTTON_CAPTION_UNITS, u'\0');
}

void tbutton_set_image_position(tbutton *button, int32_t mode, int32_t percent) {
  PORT_CHECK(button != nullptr);
  button->_image_position = mode;
  button->_image_percent = std::clamp(percent, 0, 100);
  lay_out_parts(button);
}

void tbutton_set_image(tbutton *button, tbitmap *bitmap, tbitmap *mask) {
  PORT_CHECK(button != nullptr);
  button->_images[TBUTTON_NORMAL] = bitmap;
  button->_masks[TBUTTON_NORMAL] = mask;
}

void tbutton_set_focused_image(tbutton *button, tbitmap *bitmap, tbitmap *mask) {
  PORT_CHECK(button != nullptr);
  button->_images[TBUTTON_FOCUSED] = bitmap;
  button->_masks[TBUTTON_FOCUSED] = mask;
}

void tbutton_set_disabled_image(tbutton *button, tbitmap *bitmap, tbitmap *mask) {
  PORT_CHECK(button != nullptr);
  button->_images[TBUTTON_DISABLED] = bitmap;
  button->_masks[TBUTTON_DISABLED] = mask;
}

void tbutton_set_pressed_image(tbutton *button, tbitmap *bitmap, tbitmap *mask) {
  PORT_CHECK(button != nullptr);
  button->_images[TBUTTON_PRESSED] = bitmap;
  button->_masks[TBUTTON_PRESSED] = mask;
}

void tbutton_drop_pending_clicks(const tsurface *top_level) {
  PORT_CHECK(top_level != nullptr);
  // Dropping a press changes the list: collect first.
  std::vector<tbutton *> inside;
  for (tbutton *button : g_pending) {
    const tsurface *s = &button->_control._surface;
    while (s->_parent) s = s->_parent;
    if (s == top_level) inside.push_back(button);
  }
  for (tbutton *button : inside) drop_press(button);
}

void tbutton_set_on_click(tbutton *button, tbutton_click_fn fn) {
  PORT_CHECK(button != nullptr);
  button->_on_click = fn;
}

void tbutton_set_on_press(tbutton *button, tbutton_notify_fn fn) {
  PORT_CHECK(button != nullptr);
  button->_on_press = fn;
}

void tbutton_set_on_release(tbutton *button, tbutton_notify_fn fn) {
  PORT_CHECK(button != nullptr);
  button->_on_release = fn;
}

void tbutton_set_key(tbutton *button, uint32_t code) {
  PORT_CHECK(button != nullptr);
  button->_key = code;
}

void tbutton_set_user_data(tbutton *button, intptr_t user_data) {
  PORT_CHECK(button != nullptr);
  button->_user_data = user_data;
}

intptr_t tbutton_get_user_data(const tbutton *button) {
  PORT_CHECK(button != nullptr);
  return button->_user_data;
}

int tbutton_is_pressed(const tbutton *button) {
  PORT_CHECK(button != nullptr);
  return button->_pressed;
}

void tbutton_set_checked(tbutton *button, int checked) {
  PORT_CHECK(button != nullptr);
  button->_checked = checked != 0;
}

void tbutton_set_no_redraw_on_release(tbutton *button, int flag) {
  PORT_CHECK(button != nullptr);
  button->_no_redraw_on_release = flag != 0;
}

void tbutton_set_no_redraw_on_drag(tbutton *button, int flag) {
  PORT_CHECK(button != nullptr);
  button->_no_redraw_on_drag = flag != 0;
}

void tbutton_set_no_redraw_on_press(tbutton *button, int flag) {
  PORT_CHECK(button != nullptr);
  button->_no_redraw_on_press = flag != 0;
}

void tbutton_set_draw_hooks(tbutton *button, tbutton_draw_hook background, tbutton_draw_hook image,
                            tbutton_draw_hook text, tbutton_draw_hook focus_overlay) {
  PORT_CHECK(button != nullptr);
  button->_draw_background = background;
  button->_draw_image = image;
  button->_draw_text = text;
  button->_draw_focus = focus_overlay;
}

tbdrawer *tbutton_get_box_drawer(const tbutton *button) {
  PORT_CHECK(button != nullptr);
  return button->_control._bdrawer;
}

tbdrawer *tbutton_get_focused_box_drawer(const tbutton *button) {
  PORT_CHECK(button != nullptr);
  return button->_focused_frame;
}

tbdrawer *tbutton_get_disabled_box_drawer(const tbutton *button) {
  PORT_CHECK(button != nullptr);
  return button->_disabled_frame;
}

tbdrawer *tbutton_get_pressed_box_drawer(const tbutton *button) {
  PORT_CHECK(button != nullptr);
  return button->_pressed_frame;
}

ttdrawer *tbutton_get_tdrawer(const tbutton *button) {
  PORT_CHECK(button != nullptr);
  return button->_tdrawers[TBUTTON_NORMAL];
}

ttdrawer *tbutton_get_focused_tdrawer(const tbutton *button) {
  PORT_CHECK(button != nullptr);
  return button->_tdrawers[TBUTTON_FOCUSED];
}

ttdrawer *tbutton_get_disabled_tdrawer(const tbutton *button) {
  PORT_CHECK(button != nullptr);
  return button->_tdrawers[TBUTTON_DISABLED];
}

ttdrawer *tbutton_get_pressed_tdrawer(const tbutton *button) {
  PORT_CHECK(button != nullptr);
  return button->_tdrawers[TBUTTON_PRESSED];
}

static tbutton *button_of(tcontrol *control) { return reinterpret_cast<tbutton *>(control); }

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  tbutton *button = button_of(control);
  int state = state_of(button);
  int draw_default = 1;
  if (button->_draw_background) button->_draw_background(button, canvas, rect, &draw_default);
  if (draw_default) tbdrawer_draw(frame_of(button, state), canvas, rect);

  draw_default = 1;
  if (button->_draw_image) button->_draw_image(button, canvas, &button->_image_rect, &draw_default);
  tbitmap *image = button->_images[state], *mask = button->_masks[state];
  if (!image) {
    image = button->_images[TBUTTON_NORMAL];
    mask = button->_masks[TBUTTON_NORMAL];
  }
  if (draw_default && image) tidrawer_draw(button->_idrawer, canvas, image, mask, &button->_image_rect, 255);

  draw_default = 1;
  if (button->_draw_text) button->_draw_text(button, canvas, &button->_text_rect, &draw_default);
  if (draw_default) ttdrawer_draw(button->_tdrawers[state], canvas, button->_caption, -1, &button->_text_rect);

  if (control->_focused && button->_draw_focus) {
    draw_default = 1;
    button->_draw_focus(button, canvas, rect, &draw_default);
  }
}

static void on_layout(tcontrol *control, const trect *) {
  tbutton *button = button_of(control);
  lay_out_parts(button);
  tsurface_update(&control->_surface, nullptr);
}

static int on_key(tcontrol *control, uint32_t code, uint32_t, uint32_t) {
  tbutton *button = button_of(control);
  if (!control->_surface._visible) return 0;
  bool own_key = button->_key != 0 && code == button->_key;
  if (!own_key && !(code == TBUTTON_ACTION_KEY && control->_focused)) return 0;
  if (own_key && button->_release_timer) {
    // The earlier press clicks before this one starts.
    stop_timer(button);
    freed_guard guard(button);
    if (button->_on_click) button->_on_click(button, button->_user_data);
    if (guard.freed()) return 1;
  }
  stop_timer(button);
  button->_pressed = 1;
  tsurface_update(&control->_surface, nullptr);
  if (tscreen *screen = tscreen_get()) button->_press_popups = tscreen_get_popup_count(screen);
  button->_release_timer = wins_timer_start(TBUTTON_PRESS_MS, 0, on_release_timer, button);
  // Without a timer the press would never end: it ends now.
  if (!button->_release_timer) {
    release(button);
    return 1;
  }
  g_pending.push_back(button);
  return 1;
}

static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t) {
  tbutton *button = button_of(control);
  tsurface *surface = &control->_surface;
  if (!surface->_visible || control->_disabled) return 0;
  bool in = inside(&surface->_rect, x, y);
  if (type == TSCREEN_PEN_DOWN) {
    if (!in || button->_pressed) return 0;
    button->_pressed = 1;
    tcontrol_set_focus(control, 1);
    tsurface_set_pen_capture(surface, 1);
    redraw_unless(button, button->_no_redraw_on_press);
    if (button->_on_press) button->_on_press(button);
    return 1;
  }
  if (!button->_pressed && !surface->_pen_captured) return 0;
  if (type == TSCREEN_PEN_MOVE) {
    if (!in && button->_pressed) {
      button->_pressed = 0;
      redraw_unless(button, button->_no_redraw_on_drag);
      if (button->_on_release) button->_on_release(button);
    } else if (in && !button->_pressed) {
      button->_pressed = 1;
      redraw_unless(button, button->_no_redraw_on_drag);
      if (button->_on_press) button->_on_press(button);
    }
    return 1;
  }
  if (type != TSCREEN_PEN_UP) return 0;
  tsurface_set_pen_capture(surface, 0);
  if (!button->_pressed) return 0;
  if (button->_on_release) {
    freed_guard guard(button);
    button->_on_release(button);
    if (guard.freed()) return 1;
  }
  button->_pressed = 0;
  redraw_unless(button, button->_no_redraw_on_release);
  if (button->_on_click) button->_on_click(button, button->_user_data);
  return 1;
}

static int always_focusable(tcontrol *) { return 1; }

// A dialog or menu shown since the press (a child of the button's dialog,
// a box) and still open takes the click's place: the press ends without it.
// A hint or a preview in the modal slot is no such thing.
static void on_release_timer(uint32_t, void *user_data) {
  tbutton *button = static_cast<tbutton *>(user_data);
  tscreen *screen = tscreen_get();
  if (screen && tscreen_has_popup_since(screen, button->_press_popups)) {
    drop_press(button);
    return;
  }
  stop_timer(button);
  release(button);
}

static void drop_press(tbutton *button) {
  stop_timer(button);
  button->_pressed = 0;
  redraw_unless(button, button->_no_redraw_on_release);
}

// The end of a key press: the normal look, then the click.
static void release(tbutton *button) {
  button->_pressed = 0;
  redraw_unless(button, button->_no_redraw_on_release);
  if (button->_on_click) button->_on_click(button, button->_user_data);
}

static void stop_timer(tbutton *button) {
  if (!button->_release_timer) return;
  wins_timer_stop(button->_release_timer);
  button->_release_timer = 0;
  g_pending.erase(std::remove(g_pending.begin(), g_pending.end(), button), g_pending.end());
}

// Image and text rects by the image position, over the whole button.
static void lay_out_parts(tbutton *button) {
  const trect *r = tsurface_get_rect(&button->_control._surface);
  int32_t w = r->x2 - r->x1 + 1, h = r->y2 - r->y1 + 1;
  int32_t hp = int32_t(int64_t(h) * button->_image_percent / 100);
  int32_t wp = int32_t(int64_t(w) * button->_image_percent / 100);
  trect &image = button->_image_rect, &text = button->_text_rect;
  image = text = {0, 0, w - 1, h - 1};
  switch (button->_image_position) {
    case 1:
      image.y2 = h - 1 - h / 2;
      text.y1 = image.y2 + 1;
      break;
    case 2:
      image.y1 = h / 2;
      text.y2 = image.y1 - 1;
      break;
    case 3:
      image.x2 = w - 1 - w / 2;
      text.x1 = image.x2 + 1;
      break;
    case 4:
      image.x1 = w / 2;
      text.x2 = image.x1 - 1;
      break;
    case 5:
      image.y2 = hp - 1;
      text.y1 = hp;
      break;
    case 6:
      image.x2 = wp - 1;
      text.x1 = wp;
      break;
    case 7:
      text.y2 = hp - 1;
      image.y1 = hp;
      break;
    case 8:
      text.x2 = wp - 1;
      image.x1 = wp;
      break;
    default:
      break;
  }
}

// Pressed (or checked) wins, then focused, then disabled.
static int state_of(const tbutton *button) {
  const tcontrol &control = button->_control;
  if ((!control._disabled && button->_pressed) || button->_checked) return TBUTTON_PRESSED;
  if (!control._disabled && control._focused) return TBUTTON_FOCUSED;
  if (control._disabled) return TBUTTON_DISABLED;
  return TBUTTON_NORMAL;
}

// A state frame whose draw routine was taken away falls back to the normal one.
static tbdrawer *frame_of(tbutton *button, int state) {
  tbdrawer *frames[] = {button->_control._bdrawer, button->_focused_frame, button->_disabled_frame,
                        button->_pressed_frame};
  tbdrawer *frame = frames[state];
  return frame && tbdrawer_get_draw_func(frame) ? frame : button->_control._bdrawer;
}

static void redraw_unless(tbutton *button, uint8_t suppressed) {
  if (!suppressed) tsurface_update(&button->_control._surface, nullptr);
}

// Right and bottom edges are outside.
static bool inside(const trect *r, int32_t x, int32_t y) { return x >= r->x1 && x < r->x2 && y >= r->y1 && y < r->y2; }
