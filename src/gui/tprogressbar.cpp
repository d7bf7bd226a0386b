// tprogressbar: drawing, keys and pen.
#include "tprogressbar.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "port_log.h"
#include "tstyler.h"

constexpr uint32_t KEY_LEFT = 0xF807, KEY_RIGHT = 0xF808, KEY_UP = 0xF809, KEY_DOWN = 0xF80A;

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static int always_true(tcontrol *control);
static tprogressbar *pb_of(tcontrol *control);
static int32_t clamp_percent(int64_t percent);
static void changed_to(tprogressbar *pb, int32_t percent);

int tprogressbar_init(tprogressbar *pb, tcontrol *parent, const trect *rect, int vertical, void *owner) {
  PORT_CHECK(pb != nullptr);
  std::memset(pb, 0, sizeof *pb);
  if (!tcontrol_init(&pb->_control, parent, rect, owner)) return 0;
  pb->_vertical = vertical ? 1 : 0;
  pb->_bar_drawer = tbdrawer_copy(tstyler_get_default_bdrawer());
  pb->_text_drawer = ttdrawer_copy(tstyler_get_default_tdrawer());
  if (!pb->_bar_drawer || !pb->_text_drawer) {
    tprogressbar_deinit(pb);
    return 0;
  }
  tbdrawer_set_fill_color(pb->_bar_drawer, tcolor_rgba(0, 0, 255));
  ttdrawer_set_alignment(pb->_text_drawer, 8);
  tcontrol *control = &pb->_control;
  tcontrol_set_on_paint(control, on_paint);
  tcontrol_set_on_key(control, on_key);
  tcontrol_set_on_pen(control, on_pen);
  tcontrol_set_focusable_test(control, always_true);
  tstyler_apply(tstyler_get_default(), pb, TSTYLE_PROGRESSBAR, owner, 0);
  return 1;
}

tprogressbar *tprogressbar_new(tcontrol *parent, const trect *rect, int vertical, void *owner) {
  tprogressbar *pb = static_cast<tprogressbar *>(std::calloc(1, sizeof(tprogressbar)));
  if (!pb) return nullptr;
  if (!tprogressbar_init(pb, parent, rect, vertical, owner)) {
    std::free(pb);
    return nullptr;
  }
  return pb;
}

void tprogressbar_deinit(tprogressbar *pb) {
  PORT_CHECK(pb != nullptr);
  if (pb->_text_drawer) ttdrawer_free(pb->_text_drawer);
  if (pb->_bar_drawer) tbdrawer_free(pb->_bar_drawer);
  pb->_text_drawer = nullptr;
  pb->_bar_drawer = nullptr;
  tcontrol_deinit(&pb->_control);
}

void tprogressbar_free(tprogressbar *pb) {
  PORT_CHECK(pb != nullptr);
  tprogressbar_deinit(pb);
  std::free(pb);
}

void tprogressbar_set_percent(tprogressbar *pb, int32_t percent) {
  PORT_CHECK(pb != nullptr);
  pb->_percent = clamp_percent(percent);
}

tprogressbar_change_fn tprogressbar_set_on_change(tprogressbar *pb, tprogressbar_change_fn on_change) {
  PORT_CHECK(pb != nullptr);
  tprogressbar_change_fn previous = pb->_on_change;
  pb->_on_change = on_change;
  return previous;
}

tbdrawer *tprogressbar_get_bar_drawer(const tprogressbar *pb) {
  PORT_CHECK(pb != nullptr);
  return pb->_bar_drawer;
}

void tprogressbar_set_interactive(tprogressbar *pb, uint8_t interactive) {
  PORT_CHECK(pb != nullptr);
  pb->_interactive = interactive ? 1 : 0;
}

void tprogressbar_set_hide_text(tprogressbar *pb, uint8_t hide) {
  PORT_CHECK(pb != nullptr);
  pb->_hide_text = hide ? 1 : 0;
}

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  tprogressbar *pb = pb_of(control);
  if (control->_bdrawer) tbdrawer_draw(control->_bdrawer, canvas, rect);
  trect filled = *rect;
  if (pb->_vertical)
    filled.y2 = rect->y1 + int32_t(int64_t(rect->y2 - rect->y1 + 1) * pb->_percent / 100) - 1;
  else
    filled.x2 = rect->x1 + int32_t(int64_t(rect->x2 - rect->x1 + 1) * pb->_percent / 100) - 1;
  tbdrawer_draw(pb->_bar_drawer, canvas, &filled);
  if (pb->_hide_text) return;
  std::string digits = std::to_string(pb->_percent) + "%";
  std::u16string text(digits.begin(), digits.end());
  ttdrawer_draw(pb->_text_drawer, canvas, text.c_str(), int32_t(text.size()), rect);
}

static int on_key(tcontrol *control, uint32_t code, uint32_t, uint32_t) {
  tprogressbar *pb = pb_of(control);
  if (!pb->_interactive) return 0;
  uint32_t back = pb->_vertical ? KEY_UP : KEY_LEFT;
  uint32_t forward = pb->_vertical ? KEY_DOWN : KEY_RIGHT;
  if (code != back && code != forward) return 0;
  changed_to(pb, clamp_percent(int64_t(pb->_percent) + (code == back ? -1 : 1)));
  return 1;
}

static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t) {
  tprogressbar *pb = pb_of(control);
  if (!pb->_interactive) return 0;
  tsurface *surface = &control->_surface;
  const trect *r = tsurface_get_rect(surface);
  bool inside = x >= r->x1 && x <= r->x2 && y >= r->y1 && y <= r->y2;
  if (!inside && !tsurface_has_pen_capture(surface)) return 0;
  if (type == 2) {
    if (pb->_pressed) {
      pb->_pressed = 0;
      tsurface_set_pen_capture(surface, 0);
    }
    return 1;
  }
  if (type == 1) {
    if (!inside) return 0;
    pb->_pressed = 1;
    tsurface_set_pen_capture(surface, 1);
    tcontrol_set_focus(control, 1);
  } else if (type != 3 || !pb->_pressed) {
    return 1;
  }
  int64_t extent = pb->_vertical ? tsurface_get_height(surface) : tsurface_get_width(surface);
  if (extent < 1) return 1;
  int64_t distance = pb->_vertical ? int64_t(y) - r->y1 : int64_t(x) - r->x1;
  changed_to(pb, clamp_percent(distance * 100 / extent));
  return 1;
}

static int always_true(tcontrol *) { return 1; }

// The control is the progress bar's first member.
static tprogressbar *pb_of(tcontrol *control) { return reinterpret_cast<tprogressbar *>(control); }

static int32_t clamp_percent(int64_t percent) { return int32_t(percent < 0 ? 0 : percent > 100 ? 100 : percent); }

// Shows the new percent and tells the owner last: it may free the bar.
static void changed_to(tprogressbar *pb, int32_t percent) {
  pb->_percent = percent;
  tsurface_update(&pb->_control._surface, nullptr);
  if (pb->_on_change) pb->_on_change(pb, percent);
}
