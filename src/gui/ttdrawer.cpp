// ttdrawer: one line of text placed in a rect, cut with an ellipsis.
#include "ttdrawer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <string>

#include "port_log.h"
#include "tfile.h"
#include "wins_graphics.h"

namespace {

const char16_t k_ellipsis[] = u"...";
constexpr int k_ellipsis_length = 3;

}  // namespace

static std::u16string cut_end(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int32_t length,
                              int max_width);
static std::u16string cut_path(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int32_t length,
                               int max_width, int32_t max_chars);
static bool can_break(const char16_t *text, int32_t at);
static bool is_space(char16_t c);
static bool is_closing(char16_t c);
static bool is_low_surrogate(char16_t c);
static int width_of(tcanvas *canvas, wins_graphics_pass *pass, const std::u16string &s);
static int32_t clamp32(int64_t v);

ttdrawer *ttdrawer_new(ttdrawer_draw_fn draw) {
  ttdrawer *drawer = static_cast<ttdrawer *>(std::calloc(1, sizeof(ttdrawer)));
  if (!drawer) return nullptr;
  drawer->_alignment = 8;
  drawer->_font_size = 10;
  drawer->_color = tcolor_rgba(0, 0, 0);
  drawer->_draw = draw;
  return drawer;
}

ttdrawer *ttdrawer_new_default() { return ttdrawer_new(ttdrawer_draw_standard); }

ttdrawer *ttdrawer_copy(const ttdrawer *src_drawer) {
  PORT_CHECK(src_drawer != nullptr);
  ttdrawer *drawer = static_cast<ttdrawer *>(std::malloc(sizeof(ttdrawer)));
  if (drawer) *drawer = *src_drawer;
  return drawer;
}

void ttdrawer_free(ttdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  std::free(drawer);
}

void ttdrawer_set_alignment(ttdrawer *drawer, uint32_t alignment) {
  PORT_CHECK(drawer != nullptr);
  drawer->_alignment = alignment;
}

uint32_t ttdrawer_get_alignment(const ttdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  return drawer->_alignment;
}

void ttdrawer_set_truncation(ttdrawer *drawer, uint32_t truncation) {
  PORT_CHECK(drawer != nullptr);
  drawer->_truncation = truncation;
}

uint32_t ttdrawer_get_truncation(const ttdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  return drawer->_truncation;
}

void ttdrawer_set_offset_x(ttdrawer *drawer, int32_t x) {
  PORT_CHECK(drawer != nullptr);
  drawer->_offset_x = x;
}

int32_t ttdrawer_get_offset_x(const ttdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  return drawer->_offset_x;
}

void ttdrawer_set_offset_y(ttdrawer *drawer, int32_t y) {
  PORT_CHECK(drawer != nullptr);
  drawer->_offset_y = y;
}

int32_t ttdrawer_get_offset_y(const ttdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  return drawer->_offset_y;
}

void ttdrawer_set_font_face(ttdrawer *drawer, const char16_t *face) {
  PORT_CHECK(drawer != nullptr);
  std::memset(drawer->_font_face, 0, sizeof drawer->_font_face);
  for (int i = 0; face && i < TTDRAWER_FACE_UNITS - 1 && face[i]; i++) drawer->_font_face[i] = face[i];
}

const char16_t *ttdrawer_get_font_face(const ttdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  return drawer->_font_face;
}

void ttdrawer_set_font_size(ttdrawer *drawer, int32_t size) {
  PORT_CHECK(drawer != nullptr);
  drawer->_font_size = size;
}

int32_t ttdrawer_get_font_size(const ttdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  return drawer->_font_size;
}

void ttdrawer_set_color(ttdrawer *drawer, tcolor color) {
  PORT_CHECK(drawer != nullptr);
  drawer->_color = color;
}

void ttdrawer_get_color(const ttdrawer *drawer, tcolor *out) {
  PORT_CHECK(drawer != nullptr && out != nullptr);
  *out = drawer->_color;
}

void ttdrawer_set_font_style(ttdrawer *drawer, uint32_t style) {
  PORT_CHECK(drawer != nullptr);
  drawer->_font_style = style;
}

uint32_t ttdrawer_get_font_style(const ttdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  return drawer->_font_style;
}

void ttdrawer_set_draw_func(ttdrawer *drawer, ttdrawer_draw_fn draw) {
  PORT_CHECK(drawer != nullptr);
  drawer->_draw = draw;
}

ttdrawer_draw_fn ttdrawer_get_draw_func(const ttdrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  return drawer->_draw;
}

void ttdrawer_draw(ttdrawer *drawer, tcanvas *canvas, const char16_t *text, int32_t length, const trect *rect) {
  PORT_CHECK(drawer != nullptr && canvas != nullptr && rect != nullptr);
  if (!text || !drawer->_draw) return;
  if (int64_t(rect->x2) - rect->x1 + 1 < 1 || int64_t(rect->y2) - rect->y1 + 1 < 1) return;
  wins_graphics_set_font(canvas, drawer->_font_size, drawer->_font_face[0] ? drawer->_font_face : nullptr);
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, tcolor_to_word(&drawer->_color));
  tcanvas_set_font_style(canvas, drawer->_font_style);
  wins_graphics_pass *pass = wins_graphics_begin_text(canvas);
  if (!pass) return;
  drawer->_draw(drawer, canvas, pass, text, length, rect);
  wins_graphics_end_text(canvas, pass);
}

void ttdrawer_draw_in_pass(ttdrawer *drawer, tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text,
                           int32_t length, const trect *rect) {
  PORT_CHECK(drawer != nullptr && canvas != nullptr && rect != nullptr && pass != nullptr);
  tcanvas_set_pen_style(canvas, TCANVAS_PEN_SOLID);
  const tcolor &have = canvas->_pen_color, &want = drawer->_color;
  // Rows differing only by face would otherwise draw in the previous row's face.
  bool other_face = drawer->_font_face[0] &&
                    std::char_traits<char16_t>::compare(canvas->_font_face, drawer->_font_face, TTDRAWER_FACE_UNITS);
  if (tcanvas_get_font_size(canvas) != drawer->_font_size || have.red != want.red || have.green != want.green ||
      have.blue != want.blue || tcanvas_get_font_style(canvas) != drawer->_font_style || other_face)
    wins_graphics_select_font(canvas, pass, drawer->_font_size, drawer->_font_face[0] ? drawer->_font_face : nullptr,
                              tcolor_to_word(&drawer->_color), drawer->_font_style);
  if (drawer->_draw) drawer->_draw(drawer, canvas, pass, text, length, rect);
}

void ttdrawer_draw_standard(ttdrawer *drawer, tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text,
                            int32_t length, const trect *rect) {
  PORT_CHECK(drawer != nullptr && canvas != nullptr && rect != nullptr);
  if (!text) return;
  if (length < 0) length = int32_t(std::min<size_t>(std::char_traits<char16_t>::length(text), INT32_MAX));
  int max_width = clamp32(int64_t(rect->x2) - rect->x1 + 1);
  std::u16string shown;
  try {
    switch (drawer->_truncation) {
      case TTDRAWER_TRUNCATE_END:
        shown = cut_end(canvas, pass, text, length, max_width);
        break;
      case TTDRAWER_TRUNCATE_PATH:
        shown = cut_path(canvas, pass, text, length, max_width, INT32_MAX);
        break;
      default:
        shown.assign(text, size_t(length));
        break;
    }
  } catch (const std::bad_alloc &) {
    return;
  }

  uint32_t code = drawer->_alignment < 9 ? drawer->_alignment : 0;
  // Text set from the left needs no width: a long text is not measured whole.
  int64_t width = TDRAWER_HORIZONTAL[code] == 0 ? 0 : width_of(canvas, pass, shown);
  int64_t height = wins_graphics_get_text_height(canvas, pass);
  int64_t x1 = rect->x1, y1 = rect->y1, x2 = rect->x2, y2 = rect->y2;
  int64_t x = TDRAWER_HORIZONTAL[code] == 0 ? x1 : TDRAWER_HORIZONTAL[code] == 1 ? x1 + (x2 - x1 - width + 1) / 2 : x2 - width;
  int64_t y = TDRAWER_VERTICAL[code] == 0 ? y1 : TDRAWER_VERTICAL[code] == 1 ? y1 + (y2 - y1 + 1) / 2 - height / 2 : y2 - height;
  tpoint at = {clamp32(x + drawer->_offset_x), clamp32(y + drawer->_offset_y)};
  wins_graphics_draw_text(canvas, pass, &at, shown.data(), int(shown.size()));
}

int32_t ttdrawer_wrap_line(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int32_t length,
                           int32_t max_width, int whole_line, int32_t *next) {
  PORT_CHECK(canvas != nullptr && next != nullptr && (text != nullptr || length <= 0));
  *next = 0;
  if (length <= 0) return 0;
  int32_t n = std::clamp(wins_graphics_get_fit_chars(canvas, pass, text, length, std::max(max_width, 0)), 0, length);
  if (!whole_line && n == 0)
    while (n < length && is_closing(text[n])) n++;
  if (n >= length) {
    *next = length;
    return length;
  }
  int32_t at = n;
  while (at > 0 && !can_break(text, at)) at--;
  if (at == 0) {
    if (!whole_line) return 0;
    // A word wider than the line: as many of its characters as fit, at least
    // one, and never a closing mark or half of a pair left to start the next.
    at = std::max(n, 1);
    while (at > 1 && at < length && (is_closing(text[at]) || is_low_surrogate(text[at]))) at--;
    if (at < length && is_low_surrogate(text[at])) at++;
  }
  int32_t shown = at;
  while (shown > 0 && is_space(text[shown - 1])) shown--;
  while (at < length && is_space(text[at])) at++;
  *next = at;
  return shown;
}

int32_t ttdrawer_fit_path(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int32_t length,
                          int32_t max_width, int32_t max_chars, char16_t *out, int32_t capacity) {
  PORT_CHECK(out != nullptr && capacity > max_chars && max_chars >= k_ellipsis_length);
  out[0] = 0;
  if (!text) return 0;
  if (length < 0) length = int32_t(std::min<size_t>(std::char_traits<char16_t>::length(text), INT32_MAX));
  std::u16string fitted;
  try {
    fitted = cut_path(canvas, pass, text, length, max_width, max_chars);
  } catch (const std::bad_alloc &) {
    return 0;
  }
  std::char_traits<char16_t>::copy(out, fitted.data(), fitted.size());
  out[fitted.size()] = 0;
  return int32_t(fitted.size());
}

// The longest head that fits with "..." after it, or the text itself when it
// fits. Widths grow with the head, so the head is the prefix that fits in
// what "..." leaves, found in one measure instead of one per dropped character.
static std::u16string cut_end(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int32_t length,
                              int max_width) {
  int32_t kept = wins_graphics_get_fit_chars(canvas, pass, text, length, max_width);
  if (kept >= length) return std::u16string(text, size_t(length));
  int64_t room = int64_t(max_width) - wins_graphics_get_text_width(canvas, pass, k_ellipsis, k_ellipsis_length);
  kept = room >= 0 ? wins_graphics_get_fit_chars(canvas, pass, text, kept, int(room)) : 0;
  return std::u16string(text, size_t(kept)) + k_ellipsis;
}

// Folder head + "..." + "/name": the longest head that fits, none when even
// "/name" fills the width. A text without a separator or without a name is
// kept whole. max_chars bounds the length as well; where "..." and the name
// are longer, the name keeps its end.
static std::u16string cut_path(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int32_t length,
                               int max_width, int32_t max_chars) {
  std::u16string whole(text, size_t(length));
  size_t separator = whole.rfind(TFILE_SEPARATOR);
  if (separator == std::u16string::npos || separator + 1 == whole.size())
    return whole.substr(0, std::min(whole.size(), size_t(max_chars)));
  std::u16string name = whole.substr(separator);  // "/" + name
  size_t tail_chars = size_t(max_chars) > size_t(k_ellipsis_length) ? size_t(max_chars) - k_ellipsis_length : 0;
  if (name.size() > tail_chars) {
    size_t from = name.size() - tail_chars;
    if (from < name.size() && (name[from] & 0xFC00) == 0xDC00) from++;
    return k_ellipsis + name.substr(from);
  }
  if (width_of(canvas, pass, name) >= max_width) return k_ellipsis + name;
  if (whole.size() <= size_t(max_chars) && width_of(canvas, pass, whole) <= max_width) return whole;
  std::u16string tail = k_ellipsis + name;
  // Widths grow with the head, so the longest head that fits is found by
  // halving instead of dropping one character at a time.
  int32_t low = 0;  // candidate head lengths up to high
  int32_t high = int32_t(std::min<int64_t>(int64_t(separator) - 1, int64_t(max_chars) - int64_t(tail.size())));
  int32_t best = -1;
  while (low <= high) {
    int32_t mid = low + (high - low) / 2;
    if (width_of(canvas, pass, whole.substr(0, size_t(mid)) + tail) <= max_width) {
      best = mid;
      low = mid + 1;
    } else {
      high = mid - 1;
    }
  }
  if (best < 0) return name;
  // Never end the head on half of a surrogate pair.
  if (best > 0 && best < int32_t(separator) && (whole[size_t(best)] & 0xFC00) == 0xDC00) best--;
  return whole.substr(0, size_t(best)) + tail;
}

static int width_of(tcanvas *canvas, wins_graphics_pass *pass, const std::u16string &s) {
  if (!canvas || !pass) return 0;
  return wins_graphics_get_text_width(canvas, pass, s.data(), int(std::min<size_t>(s.size(), INT32_MAX)));
}

// A break between text[at - 1] and text[at].
static bool can_break(const char16_t *text, int32_t at) {
  char16_t before = text[at - 1], after = text[at];
  if (is_closing(after) || is_low_surrogate(after)) return false;
  if (is_space(before) || is_space(after)) return true;
  // After the hyphen of a compound ("well-known"), not after a leading minus.
  if (before == u'-' && at >= 2 && !is_space(text[at - 2])) return true;
  // Ideographs, kana, hangul, CJK marks and full-width forms, and the
  // characters beyond the basic plane, break on either side.
  auto wide = [](char16_t c) { return (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xDBFF) ||
                                      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF); };
  return wide(before) || wide(after);
}

static bool is_space(char16_t c) { return c == u' ' || c == u'\t' || c == 0x3000; }

// Marks that end what stands before them: a line never starts with one.
static bool is_closing(char16_t c) {
  static const char16_t marks[] = u".,:;!?)]}%\u00BB\u2019\u201D\u2026\u3001\u3002\u3009\u300B\u300D\u300F\u3011"
                                  u"\uFF01\uFF05\uFF09\uFF0C\uFF0E\uFF1A\uFF1B\uFF1F\uFF3D\uFF5D";
  return c && std::char_traits<char16_t>::find(marks, std::size(marks) - 1, c) != nullptr;
}

static bool is_low_surrogate(char16_t c) { return (c & 0xFC00) == 0xDC00; }

static int32_t clamp32(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}
