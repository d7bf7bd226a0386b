// tlabel: one line or word-wrapped lines of text; modes 3 and 5 size the label.
#include "tlabel.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "port_log.h"
#include "tstyler.h"
#include "wins_graphics.h"

namespace {

// The text drawer's alignment code of each mode.
constexpr uint32_t k_alignments[] = {7, 8, 3, 8, 0, 0};

}  // namespace

static tlabel *label_of(tcontrol *control);
static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
static void on_layout(tcontrol *control, const trect *rect);
static void compose_text(tsurface *surface, tcanvas *canvas, const trect *rect);
static wins_graphics_pass *open_pass(const ttdrawer *drawer, tcanvas *canvas);
static int32_t wrap(tlabel *label, tcanvas *canvas, wins_graphics_pass *pass, const trect *rect, bool draw);
static void size_self(tlabel *label, int64_t width, int64_t height);
static int32_t clamp32(int64_t v);

int tlabel_init(tlabel *label, tcontrol *parent, const trect *rect, const char16_t *text, int32_t length, int32_t mode,
                void *owner) {
  PORT_CHECK(label != nullptr);
  std::memset(label, 0, sizeof *label);
  if (!tcontrol_init(&label->_control, parent, rect, owner)) return 0;
  label->_mode = mode;
  label->_tdrawer = ttdrawer_copy(tstyler_get_default_tdrawer());
  if (!label->_tdrawer || !tlabel_set_text(label, text, length)) {
    tlabel_deinit(label);
    return 0;
  }
  ttdrawer_set_truncation(label->_tdrawer, TTDRAWER_TRUNCATE_END);
  if (mode >= TLABEL_LEFT && mode <= TLABEL_WRAP_FIT) ttdrawer_set_alignment(label->_tdrawer, k_alignments[mode]);
  tbdrawer_set_no_border(label->_control._bdrawer);
  tcontrol_set_on_paint(&label->_control, on_paint);
  tcontrol_set_on_layout(&label->_control, on_layout);
  tstyler_apply(tstyler_get_default(), label, TSTYLE_LABEL, owner, 0);
  return 1;
}

tlabel *tlabel_new(tcontrol *parent, const trect *rect, const char16_t *text, int32_t length, int32_t mode,
                   void *owner) {
  tlabel *label = static_cast<tlabel *>(std::calloc(1, sizeof(tlabel)));
  if (!label) return nullptr;
  if (!tlabel_init(label, parent, rect, text, length, mode, owner)) {
    std::free(label);
    return nullptr;
  }
  return label;
}

void tlabel_deinit(tlabel *label) {
  PORT_CHECK(label != nullptr);
  std::free(label->_text);
  if (label->_tdrawer) ttdrawer_free(label->_tdrawer);
  tcontrol_deinit(&label->_control);
  std::memset(reinterpret_cast<uint8_t *>(label) + sizeof(tcontrol), 0, sizeof *label - sizeof(tcontrol));
}

void tlabel_free(tlabel *label) {
  PORT_CHECK(label != nullptr);
  tlabel_deinit(label);
  std::free(label);
}

int tlabel_set_text(tlabel *label, const char16_t *text, int32_t length) {
  PORT_CHECK(label != nullptr);
  if (!text) length = 0;
  if (length < 0) length = int32_t(std::min<size_t>(std::char_traits<char16_t>::length(text), INT32_MAX - 1));
  if (length + 1 > label->_capacity || !label->_text) {
    // A new buffer before the old one goes: the text may be the label's own.
    char16_t *grown = static_cast<char16_t *>(std::malloc((size_t(length) + 1) * sizeof(char16_t)));
    if (!grown) return 0;
    if (length) std::memcpy(grown, text, size_t(length) * sizeof(char16_t));
    std::free(label->_text);
    label->_text = grown;
    label->_capacity = length + 1;
  } else if (length) {
    std::memmove(label->_text, text, size_t(length) * sizeof(char16_t));
  }
  label->_text[length] = 0;
  label->_length = length;
  return 1;
}

ttdrawer *tlabel_get_tdrawer(const tlabel *label) {
  PORT_CHECK(label != nullptr);
  return label->_tdrawer;
}

void tlabel_set_transparent(tlabel *label, int flag) {
  PORT_CHECK(label != nullptr);
  tsurface_set_on_compose(&label->_control._surface, flag ? compose_text : nullptr);
}

void tlabel_draw_text(tlabel *label, tcanvas *canvas, const trect *rect) {
  PORT_CHECK(label != nullptr && canvas != nullptr && rect != nullptr);
  ttdrawer *drawer = label->_tdrawer;
  int32_t mode = label->_mode;
  if (!drawer || !drawer->_draw || mode < TLABEL_LEFT || mode > TLABEL_WRAP_FIT) return;
  if (mode <= TLABEL_RIGHT) {
    ttdrawer_draw(drawer, canvas, label->_text, label->_length, rect);
    return;
  }
  wins_graphics_pass *pass = open_pass(drawer, canvas);
  if (!pass) return;
  int64_t height = wins_graphics_get_text_height(canvas, pass);
  int64_t ox = drawer->_offset_x, oy = drawer->_offset_y;
  if (mode == TLABEL_FIT) {
    int64_t width = wins_graphics_get_text_width(canvas, pass, label->_text, label->_length);
    wins_graphics_end_text(canvas, pass);
    size_self(label, width + 2 * ox, height + 2 * oy);
    trect fitted = {clamp32(rect->x1 - ox), clamp32(rect->y1 - oy), clamp32(rect->x1 + ox + width - 1),
                    clamp32(rect->y1 + height + oy - 1)};
    ttdrawer_draw(drawer, canvas, label->_text, label->_length, &fitted);
    return;
  }
  if (mode == TLABEL_WRAP) {
    wrap(label, canvas, pass, rect, true);
    wins_graphics_end_text(canvas, pass);
    return;
  }
  int64_t lines = wrap(label, canvas, pass, rect, false);
  wins_graphics_end_text(canvas, pass);
  size_self(label, tsurface_get_width(&label->_control._surface), lines * height);
  // The buffer may be new: the lines go onto it in a pass of their own.
  trect fitted = {rect->x1, rect->y1, rect->x2, clamp32(rect->y1 + lines * height - 1)};
  pass = open_pass(drawer, canvas);
  if (!pass) return;
  wrap(label, canvas, pass, &fitted, true);
  wins_graphics_end_text(canvas, pass);
}

static tlabel *label_of(tcontrol *control) { return reinterpret_cast<tlabel *>(control); }

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  tlabel *label = label_of(control);
  tsurface *surface = &control->_surface;
  int32_t width = tsurface_get_width(surface), height = tsurface_get_height(surface);
  tbdrawer_draw(control->_bdrawer, canvas, rect);
  tlabel_draw_text(label, canvas, rect);
  if (tsurface_get_width(surface) == width && tsurface_get_height(surface) == height) return;
  // The label sized itself: its new buffer is blank, background included.
  trect local = {0, 0, tsurface_get_width(surface) - 1, tsurface_get_height(surface) - 1};
  tbdrawer_draw(control->_bdrawer, canvas, &local);
  tlabel_draw_text(label, canvas, &local);
}

static void on_layout(tcontrol *control, const trect *) {
  if (!label_of(control)->_drawing) tsurface_update(&control->_surface, nullptr);
}

static void compose_text(tsurface *surface, tcanvas *canvas, const trect *rect) {
  tlabel_draw_text(label_of(reinterpret_cast<tcontrol *>(surface)), canvas, rect);
}

// The drawer's size, face, colour (a solid pen of width 1) and style.
static wins_graphics_pass *open_pass(const ttdrawer *drawer, tcanvas *canvas) {
  wins_graphics_set_font(canvas, drawer->_font_size, drawer->_font_face[0] ? drawer->_font_face : nullptr);
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, tcolor_to_word(&drawer->_color));
  tcanvas_set_font_style(canvas, drawer->_font_style);
  return wins_graphics_begin_text(canvas);
}

// Walks the lines of modes 4 and 5, drawing them when asked; the number of
// lines. Drawing stops below the rect, where nothing would show. A line feed
// (with a carriage return before it) ends a line; the lines after the first
// start at their first character that is not a space.
static int32_t wrap(tlabel *label, tcanvas *canvas, wins_graphics_pass *pass, const trect *rect, bool draw) {
  const ttdrawer *drawer = label->_tdrawer;
  const char16_t *text = label->_text;
  int32_t length = label->_length;
  int64_t height = wins_graphics_get_text_height(canvas, pass);
  int32_t max_width = clamp32(int64_t(rect->x2) - rect->x1 + 1 - 2 * int64_t(drawer->_offset_x));
  int32_t lines = 0;
  for (int32_t start = 0;;) {
    if (lines > 0)
      while (start < length && text[start] == u' ') start++;
    int32_t feed = start;
    while (feed < length && text[feed] != u'\n') feed++;
    int32_t next = 0;
    int32_t shown = ttdrawer_wrap_line(canvas, pass, text + start, feed - start, max_width, 1, &next);
    next += start;
    if (next == feed && feed < length) {
      next++;
      if (shown > 0 && text[start + shown - 1] == u'\r') shown--;
    }
    lines++;
    int64_t y = rect->y1 + (lines - 1) * height;
    if (draw && y > rect->y2) draw = false;
    if (draw && shown > 0) {
      tpoint at = {clamp32(rect->x1 + int64_t(drawer->_offset_x)), clamp32(y + drawer->_offset_y)};
      wins_graphics_draw_text(canvas, pass, &at, text + start, shown);
    }
    if (next >= length) return lines;
    start = next;
  }
}

static void size_self(tlabel *label, int64_t width, int64_t height) {
  uint8_t was = label->_drawing;
  label->_drawing = 1;
  tcontrol_set_size(&label->_control, clamp32(std::max<int64_t>(width, 0)), clamp32(std::max<int64_t>(height, 0)));
  label->_drawing = was;
}

static int32_t clamp32(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}
