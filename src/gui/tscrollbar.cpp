// tscrollbar: thumb geometry, drawing, keys and pen.
#include "tscrollbar.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "port_log.h"
#include "tstyler.h"

constexpr uint32_t KEY_LEFT = 0xF807, KEY_RIGHT = 0xF808, KEY_UP = 0xF809, KEY_DOWN = 0xF80A;
constexpr int32_t SHORT_THUMB = 10;

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
static void on_layout(tcontrol *control, const trect *rect);
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static tscrollbar *scrollbar_of(tcontrol *control);
static int32_t clamp_pos(const tscrollbar *scrollbar, int64_t position);
static int32_t extent_of(const tscrollbar *scrollbar);
static void place_thumb(tscrollbar *scrollbar);
static void moved_to(tscrollbar *scrollbar, int32_t position);
static bool whole_own_draw(const tscrollbar *scrollbar, const tcanvas *canvas, const trect *rect);
static void shown_now(const tscrollbar *scrollbar, tscrollbar_drawn *out);
static void look_of(const tbdrawer *drawer, tbdrawer *out);

int tscrollbar_init(tscrollbar *scrollbar, tcontrol *parent, const trect *rect, int vertical, void *owner) {
  PORT_CHECK(scrollbar != nullptr);
  std::memset(scrollbar, 0, sizeof *scrollbar);
  if (!tcontrol_init(&scrollbar->_control, parent, rect, owner)) return 0;
  scrollbar->_vertical = vertical ? 1 : 0;
  scrollbar->_max = 10;
  scrollbar->_page = 1;
  scrollbar->_step = 1;
  scrollbar->_page_step = 1;
  const tbdrawer *base = tstyler_get_default_bdrawer();
  scrollbar->_thumb_drawer = tbdrawer_copy(base);
  scrollbar->_pressed_thumb_drawer = tbdrawer_copy(base);
  if (!scrollbar->_thumb_drawer || !scrollbar->_pressed_thumb_drawer) {
    tscrollbar_deinit(scrollbar);
    return 0;
  }
  constexpr tcolor grey = tcolor_rgba(128, 128, 128), black = tcolor_rgba(0, 0, 0);
  tbdrawer_set_raised_border(scrollbar->_thumb_drawer, grey, black);
  tbdrawer_set_sunken_border(scrollbar->_pressed_thumb_drawer, grey, black);
  tcontrol *control = &scrollbar->_control;
  tcontrol_set_on_paint(control, on_paint);
  tcontrol_set_on_layout(control, on_layout);
  tcontrol_set_on_key(control, on_key);
  tcontrol_set_on_pen(control, on_pen);
  tstyler_apply(tstyler_get_default(), scrollbar, TSTYLE_SCROLLBAR, owner, 0);
  return 1;
}

tscrollbar *tscrollbar_new(tcontrol *parent, const trect *rect, int vertical, void *owner) {
  tscrollbar *scrollbar = static_cast<tscrollbar *>(std::calloc(1, sizeof(tscrollbar)));
  if (!scrollbar) return nullptr;
  if (!tscrollbar_init(scrollbar, parent, rect, vertical, owner)) {
    std::free(scrollbar);
    return nullptr;
  }
  return scrollbar;
}

void tscrollbar_deinit(tscrollbar *scrollbar) {
  PORT_CHECK(scrollbar != nullptr);
  if (scrollbar->_pressed_thumb_drawer) tbdrawer_free(scrollbar->_pressed_thumb_drawer);
  if (scrollbar->_thumb_drawer) tbdrawer_free(scrollbar->_thumb_drawer);
  scrollbar->_pressed_thumb_drawer = scrollbar->_thumb_drawer = nullptr;
  tcontrol_deinit(&scrollbar->_control);
}

void tscrollbar_free(tscrollbar *scrollbar) {
  PORT_CHECK(scrollbar != nullptr);
  tscrollbar_deinit(scrollbar);
  std::free(scrollbar);
}

void tscrollbar_set_min(tscrollbar *scrollbar, int32_t min) {
  PORT_CHECK(scrollbar != nullptr);
  scrollbar->_min = min;
  if (scrollbar->_pos < scrollbar->_min || scrollbar->_pos > scrollbar->_max) scrollbar->_pos = scrollbar->_min;
}

void tscrollbar_set_max(tscrollbar *scrollbar, int32_t max) {
  PORT_CHECK(scrollbar != nullptr);
  scrollbar->_max = max;
  if (scrollbar->_pos < scrollbar->_min || scrollbar->_pos > scrollbar->_max) scrollbar->_pos = scrollbar->_min;
}

void tscrollbar_set_pos(tscrollbar *scrollbar, int32_t position) {
  PORT_CHECK(scrollbar != nullptr);
  scrollbar->_pos = clamp_pos(scrollbar, position);
}

int32_t tscrollbar_get_pos(const tscrollbar *scrollbar) {
  PORT_CHECK(scrollbar != nullptr);
  return scrollbar->_pos;
}

void tscrollbar_set_step(tscrollbar *scrollbar, int32_t step) {
  PORT_CHECK(scrollbar != nullptr);
  if (step >= 0 && int64_t(step) <= int64_t(scrollbar->_max) - scrollbar->_min) scrollbar->_step = step;
}

void tscrollbar_set_page_step(tscrollbar *scrollbar, int32_t step) {
  PORT_CHECK(scrollbar != nullptr);
  if (step >= 0 && int64_t(step) <= int64_t(scrollbar->_max) - scrollbar->_min) scrollbar->_page_step = step;
}

void tscrollbar_set_page(tscrollbar *scrollbar, int32_t page) {
  PORT_CHECK(scrollbar != nullptr);
  int64_t top = int64_t(scrollbar->_max) - scrollbar->_min + 2;
  scrollbar->_page = int32_t(std::max<int64_t>(0, std::min<int64_t>(page, top)));
}

tbdrawer *tscrollbar_get_thumb_drawer(const tscrollbar *scrollbar) {
  PORT_CHECK(scrollbar != nullptr);
  return scrollbar->_thumb_drawer;
}

tbdrawer *tscrollbar_get_pressed_thumb_drawer(const tscrollbar *scrollbar) {
  PORT_CHECK(scrollbar != nullptr);
  return scrollbar->_pressed_thumb_drawer;
}

void tscrollbar_set_paint_hooks(tscrollbar *scrollbar, tscrollbar_paint_fn track, tscrollbar_paint_fn thumb) {
  PORT_CHECK(scrollbar != nullptr);
  scrollbar->_on_track_paint = track;
  scrollbar->_on_thumb_paint = thumb;
}

int tscrollbar_is_dragging(const tscrollbar *scrollbar) {
  PORT_CHECK(scrollbar != nullptr);
  return scrollbar->_dragging;
}

void tscrollbar_set_vertical(tscrollbar *scrollbar, int vertical) {
  PORT_CHECK(scrollbar != nullptr);
  scrollbar->_vertical = vertical ? 1 : 0;
}

tscrollbar_change_fn tscrollbar_set_on_change(tscrollbar *scrollbar, tscrollbar_change_fn on_change) {
  PORT_CHECK(scrollbar != nullptr);
  tscrollbar_change_fn previous = scrollbar->_on_change;
  scrollbar->_on_change = on_change;
  return previous;
}

void tscrollbar_set_no_page_tap(tscrollbar *scrollbar, int flag) {
  PORT_CHECK(scrollbar != nullptr);
  scrollbar->_no_page_tap = flag ? 1 : 0;
}

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  tscrollbar *scrollbar = scrollbar_of(control);
  tscrollbar_drawn now;
  bool whole = whole_own_draw(scrollbar, canvas, rect);
  if (whole) {
    place_thumb(scrollbar);
    shown_now(scrollbar, &now);
    if (std::memcmp(&now, &scrollbar->_drawn, sizeof now) == 0) return;
  }
  scrollbar->_drawn.buffer = nullptr;
  int draw = 1;
  if (scrollbar->_on_track_paint) scrollbar->_on_track_paint(scrollbar, canvas, rect, &draw);
  if (draw && control->_bdrawer) tbdrawer_draw(control->_bdrawer, canvas, rect);
  place_thumb(scrollbar);
  draw = 1;
  if (scrollbar->_on_thumb_paint) scrollbar->_on_thumb_paint(scrollbar, canvas, &scrollbar->_thumb, &draw);
  if (!draw) return;
  tbdrawer *pressed = scrollbar->_pressed_thumb_drawer;
  bool use_pressed = scrollbar->_dragging && pressed && tbdrawer_get_draw_func(pressed);
  tbdrawer *drawer = use_pressed ? pressed : scrollbar->_thumb_drawer;
  if (drawer) tbdrawer_draw(drawer, canvas, &scrollbar->_thumb);
  if (whole) std::memcpy(&scrollbar->_drawn, &now, sizeof now);
}

// A new size may have brought a new buffer, even one at the old one's address.
static void on_layout(tcontrol *control, const trect *) {
  scrollbar_of(control)->_drawn.buffer = nullptr;
  tsurface_update(&control->_surface, nullptr);
}

static int on_key(tcontrol *control, uint32_t code, uint32_t, uint32_t) {
  tscrollbar *scrollbar = scrollbar_of(control);
  uint32_t back = scrollbar->_vertical ? KEY_UP : KEY_LEFT;
  uint32_t forward = scrollbar->_vertical ? KEY_DOWN : KEY_RIGHT;
  if (code != back && code != forward) return 0;
  int64_t step = code == back ? -int64_t(scrollbar->_step) : scrollbar->_step;
  moved_to(scrollbar, clamp_pos(scrollbar, scrollbar->_pos + step));
  return 1;
}

static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t) {
  tscrollbar *scrollbar = scrollbar_of(control);
  tsurface *surface = &control->_surface;
  const trect *r = tsurface_get_rect(surface);
  bool inside = x >= r->x1 && x <= r->x2 && y >= r->y1 && y <= r->y2;
  if (!inside && !tsurface_has_pen_capture(surface)) return 0;
  int32_t lx = x - r->x1, ly = y - r->y1;
  switch (type) {
    case 1: {  // down
      if (!inside) return 0;
      place_thumb(scrollbar);
      const trect &t = scrollbar->_thumb;
      if (!scrollbar->_dragging && lx >= t.x1 && lx <= t.x2 && ly >= t.y1 && ly <= t.y2) {
        scrollbar->_press_pos = scrollbar->_pos;
        scrollbar->_press_x = x;
        scrollbar->_press_y = y;
        scrollbar->_dragging = 1;
        tsurface_set_pen_capture(surface, 1);
        tsurface_update(surface, nullptr);
        return 1;
      }
      if (scrollbar->_no_page_tap) return 1;
      bool after = scrollbar->_vertical ? ly >= t.y1 : lx >= t.x1;
      int64_t page = after ? scrollbar->_page : -int64_t(scrollbar->_page);
      moved_to(scrollbar, clamp_pos(scrollbar, scrollbar->_pos + page));
      return 1;
    }
    case 3: {  // move
      if (!scrollbar->_dragging) return 1;
      int32_t extent = extent_of(scrollbar);
      // A bar without length gives the pen nothing to measure against.
      if (extent < 1) return 1;
      int64_t d = scrollbar->_vertical ? int64_t(y) - scrollbar->_press_y : int64_t(x) - scrollbar->_press_x;
      // Held within int64 before the cut toward zero; clamp_pos does the rest.
      double offset = std::clamp(double(d) * scrollbar->_max / extent, -4e18, 4e18);
      moved_to(scrollbar, clamp_pos(scrollbar, scrollbar->_press_pos + int64_t(offset)));
      return 1;
    }
    case 2:  // up
      if (scrollbar->_dragging) {
        scrollbar->_dragging = 0;
        tsurface_set_pen_capture(surface, 0);
        tsurface_update(surface, nullptr);
      }
      return 1;
    default:
      return 0;
  }
}

// The control is the scroll bar's first member.
static tscrollbar *scrollbar_of(tcontrol *control) { return reinterpret_cast<tscrollbar *>(control); }

static int32_t clamp_pos(const tscrollbar *scrollbar, int64_t position) {
  if (position > scrollbar->_max) position = scrollbar->_max;
  if (position < scrollbar->_min) position = scrollbar->_min;
  return int32_t(position);
}

static int32_t extent_of(const tscrollbar *scrollbar) {
  const tsurface *surface = &scrollbar->_control._surface;
  return scrollbar->_vertical ? tsurface_get_height(surface) : tsurface_get_width(surface);
}

// Length L = E x page / (range + 1), 10 when that is below 2, at most E; the
// offset shares E - L out over the positions a page leaves.
static void place_thumb(tscrollbar *scrollbar) {
  const tsurface *surface = &scrollbar->_control._surface;
  int64_t extent = extent_of(scrollbar);
  int64_t range = int64_t(scrollbar->_max) - scrollbar->_min;
  int64_t page = scrollbar->_page;
  int64_t length;
  if (range + 1 == 0) {
    length = SHORT_THUMB;
  } else if (page > 0) {
    length = extent * page / (range + 1);
    length = length < 2 ? SHORT_THUMB : std::min(length, extent);
  } else {
    length = std::min<int64_t>(extent, SHORT_THUMB);
  }
  int64_t spread = range - page + 1;
  int64_t offset = spread != 0 ? (extent - length) * (int64_t(scrollbar->_pos) - scrollbar->_min) / spread : 0;
  offset = std::max<int64_t>(0, std::min(offset, extent - length));
  int32_t from = int32_t(offset), to = int32_t(offset + length - 1);
  if (scrollbar->_vertical)
    scrollbar->_thumb = {0, from, tsurface_get_width(surface) - 1, to};
  else
    scrollbar->_thumb = {from, 0, to, tsurface_get_height(surface) - 1};
}

// A draw that can be left out when nothing it shows changed: the whole bar,
// into its own buffer, by the default drawing alone.
static bool whole_own_draw(const tscrollbar *scrollbar, const tcanvas *canvas, const trect *rect) {
  const tsurface *surface = &scrollbar->_control._surface;
  const trect whole = {0, 0, tsurface_get_width(surface) - 1, tsurface_get_height(surface) - 1};
  return canvas == &surface->_canvas && tcanvas_get_bitmap(canvas) && rect && trect_is_equal(rect, &whole) &&
         !scrollbar->_on_track_paint && !scrollbar->_on_thumb_paint;
}

// What a whole draw shows, the thumb placed. Zeroed first, padding and all,
// so that two records compare byte for byte.
static void shown_now(const tscrollbar *scrollbar, tscrollbar_drawn *out) {
  std::memset(out, 0, sizeof *out);
  const tsurface *surface = &scrollbar->_control._surface;
  out->buffer = tcanvas_get_bitmap(&surface->_canvas);
  out->width = tsurface_get_width(surface);
  out->height = tsurface_get_height(surface);
  out->thumb_rect = scrollbar->_thumb;
  out->dragging = scrollbar->_dragging;
  look_of(scrollbar->_control._bdrawer, &out->track);
  look_of(scrollbar->_thumb_drawer, &out->thumb);
  look_of(scrollbar->_pressed_thumb_drawer, &out->pressed);
}

// A drawer's settings without its gradient cache, which drawing fills in.
static void look_of(const tbdrawer *drawer, tbdrawer *out) {
  if (!drawer) return;
  std::memcpy(out, drawer, sizeof *out);
  out->_gradient_cache = nullptr;
  out->_cache_stale = 0;
}

// Shows the new position and tells the owner last: it may free the bar.
static void moved_to(tscrollbar *scrollbar, int32_t position) {
  scrollbar->_pos = position;
  tsurface_update(&scrollbar->_control._surface, nullptr);
  if (scrollbar->_on_change) scrollbar->_on_change(scrollbar, position);
}
