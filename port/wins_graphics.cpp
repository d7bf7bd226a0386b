// wins_graphics: text passes and text metrics over a canvas.
#include "wins_graphics.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "port_device.h"
#include "port_log.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tfile.h"
#include "tfont_sizes.h"
#include "wins_font.h"

namespace {

constexpr int k_points_per_inch = 72;
// Glyphs are dropped between passes once they hold more than this.
constexpr size_t k_glyph_cache_limit = 8u << 20;

// A piece of coverage already clipped to the pass's clip box: a glyph's
// image (row stride `stride`) or, with no image, a solid rule. `spare`
// columns right of it lie inside the clip box and read as zero coverage, so
// a painter may run over them in whole blocks.
struct coverage_piece {
  int32_t x, y, width, rows;
  const uint8_t *coverage;
  int32_t stride;
  int32_t spare;
};

}  // namespace

struct wins_graphics_pass {
  tcanvas *canvas;
  void *previous_dc;
  tbitmap *target;
  wins_font *font;
  uint32_t style;
  uint32_t color;  // direct pass: the colour word drawn with
  uint8_t blend;   // 1: coverage pass
  bool clip_empty;
  trect clip;  // canvas clip within the bitmap, inclusive
  std::vector<coverage_piece> pieces;  // coverage pass: what end blends in
  trect box;                           // their bounding box
};

namespace {

wins_font *make_font(const tcanvas *canvas, int size, uint32_t style);
void copy_face(tcanvas *canvas, const char16_t *face);
void put_coverage(wins_graphics_pass *pass, int64_t x, int64_t y, int32_t width, int32_t rows,
                  const uint8_t *coverage, int32_t stride);
void paint_direct(wins_graphics_pass *pass, const coverage_piece &piece);
void blend_coverage_pass(wins_graphics_pass *pass);
uint8_t section_coverage(int bpp, uint8_t coverage);

int g_dpi = 0;
int g_open_passes = 0;
uint64_t g_drawn_glyphs = 0;

}  // namespace

wins_graphics_pass *wins_graphics_begin_text(tcanvas *canvas) {
  PORT_CHECK(canvas != nullptr);
  tbitmap *bitmap = canvas->_bitmap;
  if (!bitmap || !bitmap->_info) return nullptr;
  if (g_open_passes == 0) wins_font_trim_cache(k_glyph_cache_limit);
  wins_font *font = make_font(canvas, canvas->_font_size, canvas->_font_style);
  if (!font) return nullptr;
  wins_graphics_pass *pass = new (std::nothrow) wins_graphics_pass();
  if (!pass) return nullptr;

  pass->canvas = canvas;
  pass->previous_dc = canvas->_dc;
  pass->target = bitmap;
  pass->font = font;
  pass->style = canvas->_font_style;
  pass->color = tcolor_to_word(&canvas->_pen_color);
  pass->blend = canvas->_pen_color.alpha < 255;
  trect whole = {0, 0, tbitmap_get_width(bitmap) - 1, tbitmap_get_height(bitmap) - 1};
  pass->clip = whole;
  if (canvas->_clip_on) {
    trect clip = canvas->_clip;
    trect_normalize(&clip);
    pass->clip = {std::max(clip.x1, whole.x1), std::max(clip.y1, whole.y1), std::min(clip.x2, whole.x2),
                  std::min(clip.y2, whole.y2)};
  }
  pass->clip_empty = pass->clip.x1 > pass->clip.x2 || pass->clip.y1 > pass->clip.y2;
  canvas->_dc = pass;
  g_open_passes++;
  return pass;
}

void wins_graphics_end_text(tcanvas *canvas, wins_graphics_pass *pass) {
  PORT_CHECK(canvas != nullptr);
  if (!pass) return;
  if (pass->blend) blend_coverage_pass(pass);
  pass->canvas->_dc = pass->previous_dc;
  g_open_passes--;
  delete pass;
}

int wins_graphics_draw_text(tcanvas *canvas, wins_graphics_pass *pass, const tpoint *point, const char16_t *text,
                            int len) {
  PORT_CHECK(canvas != nullptr);
  if (!pass || !point || canvas->_pen_style == TCANVAS_PEN_NONE) return 0;
  int bpp = tbitmap_get_bpp(pass->target);
  if (bpp != 16 && bpp != 24 && bpp != 32) return 0;
  if (!text || len < 0) return 0;

  wins_font *font = pass->font;
  bool fixed = wins_font_get_fixed_metrics();
  int64_t baseline = int64_t(point->y) + wins_font_get_ascent(font);
  int64_t pen = point->x;
  // No glyph reaches further than two ems from its pen position and line:
  // glyphs that cannot meet the clip are measured, not rendered, and the
  // text stops once the pen has left the clip on the right (advances never
  // go back). The rules below still span the text up to there.
  const int64_t reach = 2 * int64_t(wins_font_get_pixel_height(font)) + 2;
  const trect &clip = pass->clip;
  if (pass->clip_empty || baseline + reach < clip.y1 || baseline - reach > clip.y2) return 1;
  try {
    for (int i = 0; i < len;) {
      if (pen - reach > clip.x2) break;
      uint32_t code_point = wins_font_next_char(text, len, &i);
      int64_t advance = wins_font_get_advance(font, code_point);
      if (pen + advance + reach < clip.x1) {
        pen += advance;
        continue;
      }
      const wins_glyph *glyph = wins_font_get_glyph(font, code_point);
      g_drawn_glyphs++;
      if (glyph && glyph->coverage)
        put_coverage(pass, pen + glyph->left, baseline - glyph->top, glyph->width, glyph->rows, glyph->coverage,
                     glyph->stride);
      pen += fixed ? advance : glyph ? glyph->advance : 0;
    }
    int64_t width = pen - point->x;
    if (width > 0 && (pass->style & TCANVAS_FONT_UNDERLINE)) {
      wins_font_rule rule = wins_font_get_underline(font);
      put_coverage(pass, point->x, baseline + rule.top, int32_t(std::min<int64_t>(width, INT32_MAX)),
                   rule.thickness, nullptr, 0);
    }
    if (width > 0 && (pass->style & TCANVAS_FONT_STRIKEOUT)) {
      wins_font_rule rule = wins_font_get_strike_out(font);
      put_coverage(pass, point->x, baseline + rule.top, int32_t(std::min<int64_t>(width, INT32_MAX)),
                   rule.thickness, nullptr, 0);
    }
  } catch (const std::bad_alloc &) {
    return 0;
  }
  return 1;
}

uint64_t wins_graphics_get_drawn_glyphs() { return g_drawn_glyphs; }

int wins_graphics_get_text_height(tcanvas *canvas, wins_graphics_pass *pass) {
  PORT_CHECK(canvas != nullptr);
  if (!pass) return 0;
  return wins_font_get_ascent(pass->font) + wins_font_get_descent(pass->font);
}

int wins_graphics_get_text_ascent(tcanvas *canvas, wins_graphics_pass *pass) {
  PORT_CHECK(canvas != nullptr);
  return pass ? wins_font_get_ascent(pass->font) : 0;
}

int wins_graphics_get_text_descent(tcanvas *canvas, wins_graphics_pass *pass) {
  PORT_CHECK(canvas != nullptr);
  return pass ? wins_font_get_descent(pass->font) : 0;
}

int wins_graphics_get_text_width(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int len) {
  PORT_CHECK(canvas != nullptr);
  if (!pass) return 0;
  return wins_font_get_text_width(pass->font, text, len);
}

int wins_graphics_get_fit_chars(tcanvas *canvas, wins_graphics_pass *pass, const char16_t *text, int len,
                                int max_width) {
  PORT_CHECK(canvas != nullptr);
  if (!pass) return 0;
  return wins_font_get_fit_chars(pass->font, text, len, max_width);
}

int wins_graphics_select_font(tcanvas *canvas, wins_graphics_pass *pass, int size, const char16_t *face,
                              uint32_t color, uint32_t style) {
  PORT_CHECK(canvas != nullptr);
  if (!pass) return 0;
  canvas->_font_size = size;
  copy_face(canvas, face);
  canvas->_pen_color = {uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16), uint8_t(color >> 24)};
  canvas->_font_style = style;
  wins_font *font = make_font(canvas, size, style);
  if (!font) return 0;
  pass->font = font;
  pass->style = style;
  if (!pass->blend) pass->color = color;
  return 1;
}

int wins_graphics_set_font(tcanvas *canvas, int size, const char16_t *face) {
  PORT_CHECK(canvas != nullptr);
  canvas->_font_size = size;
  copy_face(canvas, face);
  return 1;
}

int wins_graphics_get_font_size(tcanvas *canvas, int index) {
  PORT_CHECK(canvas != nullptr);
  return tfont_size_from_index(index);
}

void wins_graphics_set_font_size_index(tcanvas *canvas, int index) {
  PORT_CHECK(canvas != nullptr);
  canvas->_font_size = tfont_size_from_index(index);
  copy_face(canvas, TFONT_DEFAULT_FACE);
  canvas->_font_size_index = index;
}

void wins_graphics_set_dpi(int dpi) { g_dpi = std::max(0, dpi); }

int wins_graphics_get_dpi() { return g_dpi > 0 ? g_dpi : port_device_get_dpi(); }

void wins_graphics_set_fixed_metrics(int on) { wins_font_set_fixed_metrics(on); }

namespace {

// A size of 0 points asks for the default height, as a zero font height does
// on the handheld.
wins_font *make_font(const tcanvas *canvas, int size, uint32_t style) {
  int64_t dpi = wins_graphics_get_dpi();
  int64_t pixels = std::llabs(int64_t(size) * dpi / k_points_per_inch);
  if (pixels == 0) pixels = tfont_size_from_index(TFONT_DEFAULT_SIZE_INDEX) * dpi / k_points_per_inch;
  pixels = std::min<int64_t>(pixels, WINS_FONT_MAX_PIXELS);
  char16_t face[TCANVAS_FACE_UNITS];
  std::memcpy(face, canvas->_font_face, sizeof face);
  face[TCANVAS_FACE_UNITS - 1] = 0;
  return wins_font_get(face, int(pixels), int(style & (TCANVAS_FONT_BOLD | TCANVAS_FONT_ITALIC)));
}

// Face names of 32 units or more do not fit the canvas and leave it as it was.
void copy_face(tcanvas *canvas, const char16_t *face) {
  if (!face) return;
  size_t len = 0;
  while (len < TCANVAS_FACE_UNITS && face[len]) len++;
  if (len >= TCANVAS_FACE_UNITS) return;
  std::memcpy(canvas->_font_face, face, len * sizeof(char16_t));
  std::fill(canvas->_font_face + len, canvas->_font_face + TCANVAS_FACE_UNITS, char16_t(0));
}

// Cuts a piece of coverage to the clip box, then paints it (direct pass) or
// keeps it for the end of the pass (coverage pass). Coverage null: solid.
void put_coverage(wins_graphics_pass *pass, int64_t x, int64_t y, int32_t width, int32_t rows,
                  const uint8_t *coverage, int32_t stride) {
  if (pass->clip_empty || width <= 0 || rows <= 0) return;
  const trect &clip = pass->clip;
  int64_t x1 = std::max<int64_t>(x, clip.x1), y1 = std::max<int64_t>(y, clip.y1);
  int64_t x2 = std::min<int64_t>(x + width - 1, clip.x2), y2 = std::min<int64_t>(y + rows - 1, clip.y2);
  if (x1 > x2 || y1 > y2) return;
  coverage_piece piece{int32_t(x1), int32_t(y1), int32_t(x2 - x1 + 1), int32_t(y2 - y1 + 1), nullptr, 0, 0};
  if (coverage) {
    piece.coverage = coverage + (y1 - y) * stride + (x1 - x);
    piece.stride = stride;
    // Past the image's right edge its rows hold zero padding; a piece cut
    // by the clip ends at the clip's edge and has no spare columns.
    piece.spare = int32_t(std::min<int64_t>(stride - (x1 - x) - piece.width, clip.x2 - x2));
  }
  if (!pass->blend) {
    paint_direct(pass, piece);
    return;
  }
  trect area = {piece.x, piece.y, piece.x + piece.width - 1, piece.y + piece.rows - 1};
  if (pass->pieces.empty())
    pass->box = area;
  else
    pass->box = {std::min(pass->box.x1, area.x1), std::min(pass->box.y1, area.y1), std::max(pass->box.x2, area.x2),
                 std::max(pass->box.y2, area.y2)};
  pass->pieces.push_back(piece);
}

// Weight of a coverage byte: 255 replaces the pixel, 0 keeps it.
inline uint32_t weight_of(uint32_t coverage) { return coverage + (coverage >> 7); }

// The direct pass blends at the bitmap's own channel depth, as the blitters
// do. A pixel's three channels sit in 16-bit lanes of one word (blue at bit
// 0, green at 16, red at 32), so one multiply per operand blends all three;
// no lane overflows, as 255 * 256 < 65536.
constexpr uint64_t k_lanes = 0x000000FF00FF00FFull;

inline uint64_t blend_lanes(uint64_t source, uint64_t dest, uint32_t weight) {
  return ((source * weight + dest * (256 - weight)) >> 8) & k_lanes;
}

inline uint64_t lanes_of(uint32_t red, uint32_t green, uint32_t blue) {
  return uint64_t(red) << 32 | uint64_t(green) << 16 | blue;
}

// Any 16-bit layout, through the bitmap's channel fields.
struct pixel16 {
  enum { bytes = 2 };
  uint32_t red_mask, green_mask, blue_mask;
  uint32_t red_shift, green_shift, blue_shift;
  uint32_t red_loss, green_loss, blue_loss;

  explicit pixel16(const tbitmap *b)
      : red_mask(b->_red_mask), green_mask(b->_green_mask), blue_mask(b->_blue_mask),
        red_shift(b->_red_shift), green_shift(b->_green_shift), blue_shift(b->_blue_shift),
        red_loss(b->_red_loss), green_loss(b->_green_loss), blue_loss(b->_blue_loss) {}
  uint64_t color(uint32_t word) const {
    return lanes_of(((word >> 16) & 0xFF) >> red_loss, ((word >> 8) & 0xFF) >> green_loss, (word & 0xFF) >> blue_loss);
  }
  uint64_t read(const uint8_t *p) const {
    uint32_t v = tfile_get_u16(p);
    return lanes_of((v & red_mask) >> red_shift, (v & green_mask) >> green_shift, (v & blue_mask) >> blue_shift);
  }
  void write(uint8_t *p, uint64_t c) const {
    uint32_t v = uint32_t(c >> 32) << red_shift | uint32_t((c >> 16) & 0xFF) << green_shift |
                 uint32_t(c & 0xFF) << blue_shift;
    tfile_put_u16(p, v);
  }
};

// 565, the screen's layout.
struct pixel565 {
  enum { bytes = 2 };
  uint64_t color(uint32_t word) const {
    return lanes_of(((word >> 16) & 0xFF) >> 3, ((word >> 8) & 0xFF) >> 2, (word & 0xFF) >> 3);
  }
  uint64_t read(const uint8_t *p) const {
    uint64_t v = tfile_get_u16(p);
    return (v & 0xF800) << 21 | (v & 0x07E0) << 11 | (v & 0x001F);
  }
  void write(uint8_t *p, uint64_t c) const {
    tfile_put_u16(p, (uint32_t(c >> 21) & 0xF800) | (uint32_t(c >> 11) & 0x07E0) | (uint32_t(c) & 0x001F));
  }
};

// Bytes blue, green, red; the fourth byte of a 32-bit pixel is not touched.
template <int Bytes>
struct pixel_bgr {
  enum { bytes = Bytes };
  uint64_t color(uint32_t word) const { return lanes_of((word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF); }
  uint64_t read(const uint8_t *p) const { return lanes_of(p[2], p[1], p[0]); }
  void write(uint8_t *p, uint64_t c) const {
    p[0] = uint8_t(c);
    p[1] = uint8_t(c >> 16);
    p[2] = uint8_t(c >> 32);
  }
};

// No branch per pixel: weight 0 gives the pixel back and 256 the pen colour,
// exactly.
template <class Pixel>
void paint_piece(const Pixel &pixel, tbitmap *bitmap, const coverage_piece &piece, uint32_t color_word) {
  uint64_t color = pixel.color(color_word);
  uint8_t *line = tbitmap_get_row(bitmap, piece.y) + size_t(piece.x) * Pixel::bytes;
  ptrdiff_t step = tbitmap_is_top_down(bitmap) ? ptrdiff_t(bitmap->_stride) : -ptrdiff_t(bitmap->_stride);
  for (int32_t row = 0; row < piece.rows; row++, line += step) {
    uint8_t *dst = line;
    if (!piece.coverage) {
      for (int32_t col = 0; col < piece.width; col++, dst += Pixel::bytes) pixel.write(dst, color);
      continue;
    }
    const uint8_t *cov = piece.coverage + size_t(row) * size_t(piece.stride);
    for (int32_t col = 0; col < piece.width; col++, dst += Pixel::bytes)
      pixel.write(dst, blend_lanes(color, pixel.read(dst), weight_of(cov[col])));
  }
}

// The screen's case, eight pixels at a time. The blend is taken as the
// pixel plus its step toward the pen, (c * w + d * (256 - w)) >> 8 =
// d + (((c - d) * w) >> 8), the shift rounding down for negative steps too;
// each step fits in 16 bits (63 * 256 < 32768), so eight pixels share one
// vector, and the stepped channels stay within their fields, so the steps
// are added to the packed pixels as they are. Blocks of no coverage are
// passed over and fully covered ones take the pen colour whole, as the blend
// would give them exactly. Sixteen at a time where the processor has
// 256-bit vectors: the glyphs of the large screens are 16 or more columns
// wide.
template <int N>
struct lanes_565 {
  typedef uint16_t u16 __attribute__((vector_size(2 * N)));
  typedef int16_t i16 __attribute__((vector_size(2 * N)));
  typedef uint8_t u8 __attribute__((vector_size(N)));
};

// One block of N pixels at `at`, coverage `cov`.
template <int N>
__attribute__((always_inline)) inline void blend_block_565(uint8_t *at, const uint8_t *cov,
                                                           typename lanes_565<N>::i16 red,
                                                           typename lanes_565<N>::i16 green,
                                                           typename lanes_565<N>::i16 blue,
                                                           typename lanes_565<N>::u16 solid) {
  typedef typename lanes_565<N>::u16 u16;
  typedef typename lanes_565<N>::i16 i16;
  typedef typename lanes_565<N>::u8 u8;
  uint64_t words[N / 8];
  std::memcpy(words, cov, sizeof words);
  uint64_t any = 0, all = ~uint64_t(0);
  for (uint64_t w : words) any |= w, all &= w;
  if (!any) return;  // weight 0 everywhere: the pixels stay
  if (all == ~uint64_t(0)) {  // weight 256 everywhere: the pen colour
    std::memcpy(at, &solid, sizeof solid);
    return;
  }
  u8 bytes;
  u16 dst;
  std::memcpy(&bytes, words, sizeof bytes);
  std::memcpy(&dst, at, sizeof dst);
  i16 weight = __builtin_convertvector(bytes, i16);
  weight += weight >> 7;
  i16 r = ((red - i16(dst >> 11)) * weight) >> 8;
  i16 g = ((green - i16((dst >> 5) & 63)) * weight) >> 8;
  i16 b = ((blue - i16(dst & 31)) * weight) >> 8;
  dst += (u16(r) << 11) + (u16(g) << 5) + u16(b);
  std::memcpy(at, &dst, sizeof dst);
}

// The 256-bit lanes pass only between these always-inlined steps, which end
// up inside the AVX2 function: no call with them crosses a target boundary.
#pragma GCC diagnostic ignored "-Wpsabi"
template <int Wide>
__attribute__((always_inline)) inline void paint_coverage_565(tbitmap *bitmap, const coverage_piece &piece,
                                                              uint32_t color_word) {
  typedef lanes_565<8> narrow;
  typedef lanes_565<Wide> wide;
  const int16_t red = int16_t(((color_word >> 16) & 0xFF) >> 3), green = int16_t(((color_word >> 8) & 0xFF) >> 2),
                blue = int16_t((color_word & 0xFF) >> 3);
  const uint16_t solid = uint16_t(red << 11 | green << 5 | blue);
  const typename narrow::i16 red8 = typename narrow::i16{} + red, green8 = typename narrow::i16{} + green,
                             blue8 = typename narrow::i16{} + blue;
  const typename narrow::u16 solid8 = typename narrow::u16{} + solid;
  const typename wide::i16 red_w = typename wide::i16{} + red, green_w = typename wide::i16{} + green,
                           blue_w = typename wide::i16{} + blue;
  const typename wide::u16 solid_w = typename wide::u16{} + solid;
  const int32_t reach = piece.width + piece.spare;
  uint8_t *line = tbitmap_get_row(bitmap, piece.y) + size_t(piece.x) * 2;
  ptrdiff_t step = tbitmap_is_top_down(bitmap) ? ptrdiff_t(bitmap->_stride) : -ptrdiff_t(bitmap->_stride);
  for (int32_t row = 0; row < piece.rows; row++, line += step) {
    const uint8_t *cov = piece.coverage + size_t(row) * size_t(piece.stride);
    int32_t col = 0;
    if (Wide > 8)
      for (; col + 8 < piece.width && col + Wide <= reach; col += Wide)
        blend_block_565<Wide>(line + size_t(col) * 2, cov + col, red_w, green_w, blue_w, solid_w);
    for (; col < piece.width && col + 8 <= reach; col += 8)
      blend_block_565<8>(line + size_t(col) * 2, cov + col, red8, green8, blue8, solid8);
    if (col < piece.width) {
      coverage_piece rest = {piece.x + col, piece.y + row, piece.width - col, 1, cov + col, piece.stride, 0};
      paint_piece(pixel565{}, bitmap, rest, color_word);
    }
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define WINS_GRAPHICS_AVX2 1
__attribute__((target("avx2"))) void paint_coverage_565_avx2(tbitmap *bitmap, const coverage_piece &piece,
                                                             uint32_t color_word) {
  paint_coverage_565<16>(bitmap, piece, color_word);
}

bool cpu_has_avx2() {
  __builtin_cpu_init();  // this may run before the library's own detection
  return __builtin_cpu_supports("avx2");
}
const bool g_wide_vectors = cpu_has_avx2();
#endif

void paint_piece_565(tbitmap *bitmap, const coverage_piece &piece, uint32_t color_word) {
  if (!piece.coverage) {
    paint_piece(pixel565{}, bitmap, piece, color_word);
    return;
  }
#if defined(WINS_GRAPHICS_AVX2)
  if (g_wide_vectors) {
    paint_coverage_565_avx2(bitmap, piece, color_word);
    return;
  }
#endif
  paint_coverage_565<8>(bitmap, piece, color_word);
}

// The 32-bit canvases', four pixels at a time: a pixel's four bytes widen to
// 16-bit lanes, two pixels per vector, and the fourth lane is weighed 0, so
// it comes back as (d * 256) >> 8 = d, untouched.
#if defined(__SSE2__)
inline __m128i blend_pair_32(__m128i color, __m128i dst, __m128i weight) {
  __m128i keep = _mm_sub_epi16(_mm_set1_epi16(256), weight);
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(color, weight), _mm_mullo_epi16(dst, keep)), 8);
}

void paint_piece_32(tbitmap *bitmap, const coverage_piece &piece, uint32_t color_word) {
  if (!piece.coverage) {
    paint_piece(pixel_bgr<4>{}, bitmap, piece, color_word);
    return;
  }
  const __m128i zero = _mm_setzero_si128(), three_bytes = _mm_set1_epi32(0x00FFFFFF);
  const __m128i color_bytes = _mm_set1_epi32(int(color_word & 0xFFFFFF));
  const __m128i color = _mm_unpacklo_epi8(color_bytes, zero);
  const int32_t reach = piece.width + piece.spare;
  uint8_t *line = tbitmap_get_row(bitmap, piece.y) + size_t(piece.x) * 4;
  ptrdiff_t step = tbitmap_is_top_down(bitmap) ? ptrdiff_t(bitmap->_stride) : -ptrdiff_t(bitmap->_stride);
  for (int32_t row = 0; row < piece.rows; row++, line += step) {
    const uint8_t *cov = piece.coverage + size_t(row) * size_t(piece.stride);
    int32_t col = 0;
    for (; col < piece.width && col + 4 <= reach; col += 4) {
      uint32_t four;
      std::memcpy(&four, cov + col, 4);
      if (!four) continue;  // weight 0 everywhere: the pixels stay
      __m128i *at = reinterpret_cast<__m128i *>(line + size_t(col) * 4);
      __m128i dst = _mm_loadu_si128(at);
      if (four == 0xFFFFFFFFu) {  // weight 256 everywhere: the pen colour
        _mm_storeu_si128(at, _mm_or_si128(_mm_andnot_si128(three_bytes, dst), color_bytes));
        continue;
      }
      // Each coverage byte four times, the fourth copy cleared, then widened.
      __m128i c = _mm_cvtsi32_si128(int(four));
      c = _mm_and_si128(_mm_unpacklo_epi16(_mm_unpacklo_epi8(c, c), _mm_unpacklo_epi8(c, c)), three_bytes);
      __m128i w_lo = _mm_unpacklo_epi8(c, zero), w_hi = _mm_unpackhi_epi8(c, zero);
      w_lo = _mm_add_epi16(w_lo, _mm_srli_epi16(w_lo, 7));
      w_hi = _mm_add_epi16(w_hi, _mm_srli_epi16(w_hi, 7));
      __m128i lo = blend_pair_32(color, _mm_unpacklo_epi8(dst, zero), w_lo);
      __m128i hi = blend_pair_32(color, _mm_unpackhi_epi8(dst, zero), w_hi);
      _mm_storeu_si128(at, _mm_packus_epi16(lo, hi));
    }
    if (col < piece.width) {
      coverage_piece rest = {piece.x + col, piece.y + row, piece.width - col, 1, cov + col, piece.stride, 0};
      paint_piece(pixel_bgr<4>{}, bitmap, rest, color_word);
    }
  }
}
#else
void paint_piece_32(tbitmap *bitmap, const coverage_piece &piece, uint32_t color_word) {
  paint_piece(pixel_bgr<4>{}, bitmap, piece, color_word);
}
#endif

void paint_direct(wins_graphics_pass *pass, const coverage_piece &piece) {
  tbitmap *bitmap = pass->target;
  switch (tbitmap_get_bpp(bitmap)) {
    case 16:
      if (bitmap->_red_mask == 0xF800 && bitmap->_green_mask == 0x07E0 && bitmap->_blue_mask == 0x001F)
        paint_piece_565(bitmap, piece, pass->color);
      else
        paint_piece(pixel16(bitmap), bitmap, piece, pass->color);
      break;
    case 24: paint_piece(pixel_bgr<3>{}, bitmap, piece, pass->color); break;
    case 32: paint_piece_32(bitmap, piece, pass->color); break;
    default: break;
  }
}

// The end of a coverage pass, over the bounding box of what was drawn: the
// pieces are laid over each other as white text on black would be, each mask
// byte is what that white text reads as in a bitmap of the canvas's depth,
// and the pen colour goes in through the mask with the pen alpha.
void blend_coverage_pass(wins_graphics_pass *pass) {
  if (pass->pieces.empty()) return;
  int bpp = tbitmap_get_bpp(pass->target);
  const trect &box = pass->box;
  int32_t width = box.x2 - box.x1 + 1, rows = box.y2 - box.y1 + 1;
  tbitmap *mask = tbitmap_new(width, -rows, 8);
  tbitmap *color = tbitmap_new(width, -rows, bpp);
  if (mask && color) {
    for (int32_t y = 0; y < rows; y++) std::memset(tbitmap_get_row(mask, y), 0, size_t(width));
    for (const coverage_piece &piece : pass->pieces) {
      for (int32_t row = 0; row < piece.rows; row++) {
        uint8_t *dst = tbitmap_get_row(mask, piece.y - box.y1 + row) + (piece.x - box.x1);
        const uint8_t *cov = piece.coverage ? piece.coverage + size_t(row) * size_t(piece.stride) : nullptr;
        for (int32_t col = 0; col < piece.width; col++) {
          uint32_t c = cov ? cov[col] : 255;
          dst[col] = uint8_t(dst[col] + ((255 - dst[col]) * c + 127) / 255);
        }
      }
    }
    uint8_t table[256];
    for (int c = 0; c < 256; c++) table[c] = section_coverage(bpp, uint8_t(c));
    for (int32_t y = 0; y < rows; y++) {
      uint8_t *row = tbitmap_get_row(mask, y);
      for (int32_t x = 0; x < width; x++) row[x] = table[row[x]];
    }
    tcanvas *canvas = pass->canvas;
    tbitmap_fill_rect(color, 0, 0, width - 1, rows - 1, tcolor_to_word(&canvas->_pen_color) | 0xFF000000u);
    tpoint at = {box.x1, box.y1};
    trect source = {0, 0, width - 1, rows - 1};
    tcanvas_draw_bitmap_masked(canvas, &at, color, &source, mask, canvas->_pen_color.alpha);
  }
  if (mask) tbitmap_free(mask);
  if (color) tbitmap_free(color);
}

// What a coverage byte of white-on-black text reads as once stored in a
// bitmap of the given depth and weighed by luminance: exact at 24 and 32
// bits, the 565 channel steps at 16.
uint8_t section_coverage(int bpp, uint8_t coverage) {
  uint32_t red = coverage, green = coverage, blue = coverage;
  if (bpp == 16) {
    red = uint32_t(coverage >> 3) << 3;
    green = uint32_t(coverage >> 2) << 2;
    blue = uint32_t(coverage >> 3) << 3;
  }
  return uint8_t((green * 151 + red * 77 + blue * 28) >> 8);
}

}  // namespace
