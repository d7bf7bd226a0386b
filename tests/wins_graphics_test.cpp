// Text passes, fonts and metrics.
#include "wins_graphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "port_device.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "test_bitmap.h"
#include "wins_font.h"

namespace {

constexpr uint32_t k_white = 0xFFFFFFFF;
constexpr uint32_t k_black = 0xFF000000;

using bytes = test_bytes;

struct canvas_holder {
  tcanvas canvas{};
  explicit canvas_holder(int bpp, int width = 160, int height = 60) {
    EXPECT_EQ(tcanvas_init(&canvas, nullptr, bpp, width, height), 1);
    tbitmap_fill_rect(canvas._bitmap, 0, 0, width - 1, height - 1, k_white);
  }
  ~canvas_holder() { tcanvas_deinit(&canvas); }
  tbitmap *bitmap() { return canvas._bitmap; }
};

int draw(tcanvas *canvas, int x, int y, const std::u16string &text) {
  wins_graphics_pass *pass = wins_graphics_begin_text(canvas);
  if (!pass) return -1;
  tpoint at = {x, y};
  int drawn = wins_graphics_draw_text(canvas, pass, &at, text.c_str(), int(text.size()));
  wins_graphics_end_text(canvas, pass);
  return drawn;
}

// The bounding box of pixels whose colour (0xRRGGBB) differs from the one at
// (0, 0); x1 > x2 when none do. `found` tells whether any pixel is `colour`.
trect changed_box(const tbitmap *bitmap, uint32_t colour = 0x1000000, bool *found = nullptr) {
  uint32_t background = test_rgb(bitmap, 0, 0);
  trect box = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int y = 0; y < tbitmap_get_height(bitmap); y++)
    for (int x = 0; x < tbitmap_get_width(bitmap); x++) {
      uint32_t pixel = test_rgb(bitmap, x, y);
      if (found && pixel == colour) *found = true;
      if (pixel == background) continue;
      box.x1 = std::min(box.x1, x), box.y1 = std::min(box.y1, y);
      box.x2 = std::max(box.x2, x), box.y2 = std::max(box.y2, y);
    }
  return box;
}

struct text_metrics {
  int height, ascent, descent, width;
};

text_metrics measure(tcanvas *canvas, const std::u16string &text) {
  wins_graphics_pass *pass = wins_graphics_begin_text(canvas);
  EXPECT_NE(pass, nullptr);
  text_metrics m = {wins_graphics_get_text_height(canvas, pass), wins_graphics_get_text_ascent(canvas, pass),
                    wins_graphics_get_text_descent(canvas, pass),
                    wins_graphics_get_text_width(canvas, pass, text.c_str(), int(text.size()))};
  wins_graphics_end_text(canvas, pass);
  return m;
}

class wins_graphics_test : public ::testing::Test {
 protected:
  void SetUp() override {
    wins_graphics_set_dpi(96);
    wins_graphics_set_fixed_metrics(0);
  }
  void TearDown() override {
    wins_graphics_set_dpi(0);
    wins_graphics_set_fixed_metrics(0);
  }
};

TEST_F(wins_graphics_test, faces_resolve_through_fontconfig_with_fallback_for_missing_characters) {
  wins_font *tahoma = wins_font_get(u"tahoma", 16, 0);
  wins_font *sans = wins_font_get(u"sans-serif", 16, 0);
  wins_font *arial = wins_font_get(u"Arial", 16, 0);
  ASSERT_TRUE(tahoma && sans && arial);
  EXPECT_STREQ(wins_font_get_family(tahoma), wins_font_get_family(sans));
  EXPECT_STREQ(wins_font_get_family(wins_font_get(nullptr, 16, 0)), wins_font_get_family(tahoma));
  EXPECT_STREQ(wins_font_get_family(arial), "Liberation Sans");

  // The default face has no Chinese; the glyph comes from a face that has
  // it, so it is neither empty nor the missing-glyph box of a character no
  // face has.
  const wins_glyph *chinese = wins_font_get_glyph(tahoma, 0x4E2D);
  const wins_glyph *missing = wins_font_get_glyph(tahoma, 0x10FFFD);
  ASSERT_TRUE(chinese && missing && chinese->coverage);
  EXPECT_GE(chinese->advance, 14);
  bool same = chinese->width == missing->width && chinese->rows == missing->rows && missing->coverage &&
              std::memcmp(chinese->coverage, missing->coverage, size_t(chinese->stride * chinese->rows)) == 0;
  EXPECT_FALSE(same);

  // Glyphs are rendered once per face, size and style.
  wins_font *font = wins_font_get(u"tahoma", 23, 0);
  const wins_glyph *first = wins_font_get_glyph(font, 'Q');
  size_t cached = wins_font_get_cache_bytes();
  EXPECT_EQ(wins_font_get_glyph(font, 'Q'), first);
  EXPECT_EQ(wins_font_get_cache_bytes(), cached);
  EXPECT_NE(wins_font_get_glyph(wins_font_get(u"tahoma", 24, 0), 'Q'), first);
  EXPECT_NE(wins_font_get_glyph(wins_font_get(u"tahoma", 23, WINS_FONT_BOLD), 'Q'), first);
  EXPECT_GT(wins_font_get_cache_bytes(), cached);
}

TEST_F(wins_graphics_test, font_height_follows_size_and_dpi) {
  canvas_holder c(32);
  wins_graphics_set_fixed_metrics(1);
  wins_graphics_set_font(&c.canvas, 12, u"tahoma");
  text_metrics m = measure(&c.canvas, u"abc");
  // 12 * 96 / 72 = 16 above the baseline.
  EXPECT_EQ(std::vector<int>({m.ascent, m.descent, m.height, m.width}), std::vector<int>({16, 4, 20, 24}));
  wins_graphics_set_font(&c.canvas, -12, nullptr);
  EXPECT_EQ(measure(&c.canvas, u"abc").ascent, 16);
  wins_graphics_set_font(&c.canvas, 10, nullptr);
  EXPECT_EQ(measure(&c.canvas, u"abc").ascent, 13);  // 13.33 truncated
  wins_graphics_set_dpi(192);
  EXPECT_EQ(measure(&c.canvas, u"abc").ascent, 26);

  wins_graphics_set_fixed_metrics(0);
  m = measure(&c.canvas, u"abc");
  EXPECT_EQ(m.height, m.ascent + m.descent);
  EXPECT_GE(m.ascent, 20);

  // Without a dpi of its own, text takes the screen's.
  wins_graphics_set_dpi(0);
  EXPECT_EQ(wins_graphics_get_dpi(), port_device_get_dpi());
}

TEST_F(wins_graphics_test, a_size_index_takes_the_default_face_and_long_face_names_are_refused) {
  canvas_holder c(16);
  EXPECT_EQ(wins_graphics_get_font_size(&c.canvas, -1), 12) << "an index outside the table";
  wins_graphics_set_font(&c.canvas, 9, u"Arial");
  wins_graphics_set_font_size_index(&c.canvas, 6);
  EXPECT_EQ(std::make_tuple(c.canvas._font_size, std::u16string(c.canvas._font_face)), std::make_tuple(8, std::u16string(u"tahoma")));

  // 31 units fit the canvas; 32 and more leave the previous face.
  std::u16string fits(31, u'x'), too_long(32, u'y');
  EXPECT_EQ(wins_graphics_set_font(&c.canvas, 10, fits.c_str()), 1);
  EXPECT_EQ(std::u16string(c.canvas._font_face), fits);
  EXPECT_EQ(wins_graphics_set_font(&c.canvas, 11, too_long.c_str()), 1);
  EXPECT_EQ(c.canvas._font_size, 11);
  EXPECT_EQ(std::u16string(c.canvas._font_face), fits);
  wins_graphics_set_font(&c.canvas, 11, u"Arial");
  wins_graphics_pass *pass = wins_graphics_begin_text(&c.canvas);
  EXPECT_EQ(wins_graphics_select_font(&c.canvas, pass, 14, too_long.c_str(), k_black, 0), 1);
  EXPECT_EQ(std::u16string(c.canvas._font_face), u"Arial");
  EXPECT_EQ(c.canvas._font_size, 14);
  wins_graphics_end_text(&c.canvas, pass);
}

TEST_F(wins_graphics_test, fit_of_the_width_is_the_whole_string) {
  canvas_holder c(16);
  const std::u16string texts[] = {u"Hello, world", u"Привет, мир", u"你好世界，画图", u"mixed Ж 中 x",
                                  u"pair \U0001F600 end"};
  for (int fixed = 0; fixed <= 1; fixed++) {
    wins_graphics_set_fixed_metrics(fixed);
    for (uint32_t style = 0; style <= 3; style++) {
      c.canvas._font_style = style;
      wins_graphics_pass *pass = wins_graphics_begin_text(&c.canvas);
      ASSERT_NE(pass, nullptr);
      for (const std::u16string &s : texts) {
        int len = int(s.size());
        int width = wins_graphics_get_text_width(&c.canvas, pass, s.c_str(), len);
        EXPECT_GT(width, 0);
        EXPECT_EQ(wins_graphics_get_fit_chars(&c.canvas, pass, s.c_str(), len, width), len)
            << "fixed " << fixed << " style " << style << " text " << len;
        EXPECT_LT(wins_graphics_get_fit_chars(&c.canvas, pass, s.c_str(), len, width - 1), len);
        EXPECT_EQ(wins_graphics_get_fit_chars(&c.canvas, pass, s.c_str(), len, -5), 0);
      }
      wins_graphics_end_text(&c.canvas, pass);
    }
  }
  // A surrogate pair is one character: never half of it.
  wins_graphics_set_fixed_metrics(1);
  wins_graphics_pass *pass = wins_graphics_begin_text(&c.canvas);
  std::u16string pair = u"a\U0001F600b";
  int one = wins_graphics_get_text_width(&c.canvas, pass, u"a", 1);
  EXPECT_EQ(wins_graphics_get_text_width(&c.canvas, pass, pair.c_str(), 4), 3 * one);
  EXPECT_EQ(wins_graphics_get_fit_chars(&c.canvas, pass, pair.c_str(), 4, 2 * one - 1), 1);
  EXPECT_EQ(wins_graphics_get_fit_chars(&c.canvas, pass, pair.c_str(), 4, 2 * one), 3);
  wins_graphics_end_text(&c.canvas, pass);
}

// Fixed metrics give every character one width and box, so a wrong decode
// of a surrogate pair does not show there: with a real face the pair must
// measure and draw as the glyph of its own code point, at its place.
TEST_F(wins_graphics_test, a_character_beyond_u_ffff_gets_its_own_glyph_and_width) {
  wins_font *font = wins_font_get(u"tahoma", 16, 0);
  ASSERT_NE(font, nullptr);
  const wins_glyph *glyph = wins_font_get_glyph(font, 0x1F600), *box = wins_font_get_glyph(font, 0x10FFFD);
  ASSERT_TRUE(glyph && box);
  if (!glyph->coverage || (glyph->width == box->width && glyph->rows == box->rows && box->coverage &&
                           std::memcmp(glyph->coverage, box->coverage, size_t(glyph->stride * glyph->rows)) == 0))
    GTEST_SKIP() << "no installed face has a glyph for U+1F600";
  canvas_holder c(32, 40, 30);
  wins_graphics_pass *pass = wins_graphics_begin_text(&c.canvas);
  ASSERT_NE(pass, nullptr);
  ASSERT_EQ(wins_graphics_select_font(&c.canvas, pass, 12, u"tahoma", k_black, 0), 1);  // 16 pixels at 96 dpi
  const std::u16string smile = u"\U0001F600";
  EXPECT_EQ(wins_graphics_get_text_width(&c.canvas, pass, smile.c_str(), 2), wins_font_get_advance(font, 0x1F600));
  tpoint at = {2, 3};
  ASSERT_EQ(wins_graphics_draw_text(&c.canvas, pass, &at, smile.c_str(), 2), 1);
  wins_graphics_end_text(&c.canvas, pass);
  // Black over white: each channel becomes 255 * (256 - w) / 256, w the coverage.
  const int left = at.x + glyph->left, top = at.y + wins_font_get_ascent(font) - glyph->top;
  for (int y = 0; y < 30; y++)
    for (int x = 0; x < 40; x++) {
      int coverage = x >= left && x < left + glyph->width && y >= top && y < top + glyph->rows
                         ? glyph->coverage[(y - top) * glyph->stride + (x - left)]
                         : 0;
      uint32_t level = uint32_t(255 * (256 - (coverage + (coverage >> 7))) >> 8);
      ASSERT_EQ(test_rgb(c.bitmap(), x, y), level * 0x010101u) << x << "," << y;
    }
}

TEST_F(wins_graphics_test, a_null_pass_answers_zero_and_passes_nest_in_the_canvas) {
  canvas_holder c(16);
  tpoint at = {0, 0};
  EXPECT_EQ(std::vector<int>({wins_graphics_draw_text(&c.canvas, nullptr, &at, u"a", 1),
                              wins_graphics_get_text_height(&c.canvas, nullptr),
                              wins_graphics_get_text_ascent(&c.canvas, nullptr),
                              wins_graphics_get_text_descent(&c.canvas, nullptr),
                              wins_graphics_get_text_width(&c.canvas, nullptr, u"a", 1),
                              wins_graphics_get_fit_chars(&c.canvas, nullptr, u"a", 1, 100),
                              wins_graphics_select_font(&c.canvas, nullptr, 20, u"Arial", k_black, 0)}),
            std::vector<int>(7, 0));
  EXPECT_EQ(c.canvas._font_size, 12);
  wins_graphics_end_text(&c.canvas, nullptr);

  wins_graphics_pass *outer = wins_graphics_begin_text(&c.canvas);
  EXPECT_EQ(c.canvas._dc, outer);
  wins_graphics_pass *inner = wins_graphics_begin_text(&c.canvas);
  EXPECT_EQ(c.canvas._dc, inner);
  wins_graphics_end_text(&c.canvas, inner);
  EXPECT_EQ(c.canvas._dc, outer);
  wins_graphics_end_text(&c.canvas, outer);
  EXPECT_EQ(c.canvas._dc, nullptr);
}

// (Where the ink goes is held against the reference below.)
TEST_F(wins_graphics_test, pen_style_none_draws_no_text_opaque_or_not) {
  for (uint32_t pen : {0xFF102030u, 0x80102030u}) {
    canvas_holder c(32);
    tcanvas_set_pen(&c.canvas, 2, 1, pen);
    c.canvas._font_style = TCANVAS_FONT_UNDERLINE;
    bytes before = test_pixel_bytes(c.bitmap());
    EXPECT_EQ(draw(&c.canvas, 5, 5, u"Nothing here"), 0);
    EXPECT_EQ(test_pixel_bytes(c.bitmap()), before);
  }
}

// Spaces have no ink, so whatever is painted is the rule itself: one solid
// block under the baseline, or above it past a third of the ascent.
TEST_F(wins_graphics_test, underline_and_strike_out_rows) {
  for (int bpp : {16, 32}) {
    for (uint32_t pen : {0xFF000000u, 0x80000000u}) {
      for (uint32_t style : {uint32_t(TCANVAS_FONT_UNDERLINE), uint32_t(TCANVAS_FONT_STRIKEOUT)}) {
        canvas_holder c(bpp);
        tcanvas_set_pen_color(&c.canvas, pen);
        c.canvas._font_style = style;
        text_metrics m = measure(&c.canvas, u"    ");
        ASSERT_EQ(draw(&c.canvas, 20, 10, u"    "), 1);
        trect box = changed_box(c.bitmap());
        ASSERT_LE(box.x1, box.x2) << bpp << " " << style;
        EXPECT_EQ(box.x1, 20);
        EXPECT_EQ(box.x2, 20 + m.width - 1);
        int baseline = 10 + m.ascent;
        if (style == TCANVAS_FONT_UNDERLINE)
          EXPECT_TRUE(box.y1 > baseline && box.y2 < 10 + m.height) << box.y1 << ".." << box.y2;
        else
          EXPECT_TRUE(box.y2 < baseline && box.y1 > 10 + m.ascent / 3) << box.y1 << ".." << box.y2;
        uint32_t solid = test_rgb(c.bitmap(), box.x1, box.y1);
        for (int y = box.y1; y <= box.y2; y++)
          for (int x = box.x1; x <= box.x2; x++) ASSERT_EQ(test_rgb(c.bitmap(), x, y), solid) << x << "," << y;
      }
    }
  }
}

TEST_F(wins_graphics_test, text_outside_the_bitmap_and_on_small_depths_is_safe) {
  canvas_holder c(32, 20, 10);
  bytes before = test_pixel_bytes(c.bitmap());
  for (uint32_t pen : {0xFF000000u, 0x80000000u}) {
    tcanvas_set_pen_color(&c.canvas, pen);
    wins_graphics_set_font(&c.canvas, 200, nullptr);
    EXPECT_EQ(draw(&c.canvas, -100000, -100000, u"far away"), 1);
    EXPECT_EQ(draw(&c.canvas, 2000000000, 5, u"WWWW"), 1);
    EXPECT_EQ(test_pixel_bytes(c.bitmap()), before);
    EXPECT_EQ(draw(&c.canvas, -30, -40, u"Big"), 1);
  }

  canvas_holder grey(8, 40, 20);
  before = test_pixel_bytes(grey.bitmap());
  wins_graphics_pass *pass = wins_graphics_begin_text(&grey.canvas);
  ASSERT_NE(pass, nullptr);
  tpoint at = {0, 0};
  EXPECT_GT(wins_graphics_get_text_width(&grey.canvas, pass, u"ab", 2), 0);
  EXPECT_EQ(wins_graphics_draw_text(&grey.canvas, pass, &at, u"ab", 2), 0);
  wins_graphics_end_text(&grey.canvas, pass);
  EXPECT_EQ(test_pixel_bytes(grey.bitmap()), before);
}

TEST_F(wins_graphics_test, select_font_changes_what_the_pass_measures_and_draws) {
  canvas_holder c(32, 200, 60);
  wins_graphics_pass *pass = wins_graphics_begin_text(&c.canvas);
  int regular = wins_graphics_get_text_width(&c.canvas, pass, u"Bold text", 9);
  int small = wins_graphics_get_text_height(&c.canvas, pass);
  ASSERT_EQ(wins_graphics_select_font(&c.canvas, pass, 24, u"Arial", 0xFF00FF00, TCANVAS_FONT_BOLD), 1);
  EXPECT_EQ(c.canvas._font_style, uint32_t(TCANVAS_FONT_BOLD));
  EXPECT_EQ(c.canvas._pen_color.green, 255);
  EXPECT_GT(wins_graphics_get_text_width(&c.canvas, pass, u"Bold text", 9), regular);
  EXPECT_GT(wins_graphics_get_text_height(&c.canvas, pass), small);
  tpoint at = {0, 0};
  EXPECT_EQ(wins_graphics_draw_text(&c.canvas, pass, &at, u"I", 1), 1);
  wins_graphics_end_text(&c.canvas, pass);
  bool green = false;
  changed_box(c.bitmap(), 0x00FF00, &green);
  EXPECT_TRUE(green);
}

// The slow, obviously right forms both passes are held against, worked out
// in floating point on the channel levels of the bitmap's depth: every glyph
// pixel in turn, at the layout the pass uses. A direct pass blends each one
// by its coverage fraction, coverage / 255; a coverage pass lays the pieces
// over each other as coverage fractions, reads the 8-bit mask as white text
// in a bitmap of the canvas's depth weighed by luminance, and blends the pen
// colour through it with the masked blit's weight, mask * alpha / 255 over
// 256. A stored blend may be a level off the exact value (integer weights,
// truncation), so each blend a pixel has had allows one level, the first
// of them half a level more; blends of no coverage and of full coverage
// alone leave the pixel or the pen colour exactly.
struct reference_case {
  tbitmap *bitmap;
  trect clip;  // inclusive, inside the bitmap
  wins_font *font;
  uint32_t style;
  uint32_t pen;
};

template <class Visit>
void reference_layout(const reference_case &rc, int x, int y, const std::u16string &text, Visit visit) {
  int baseline = y + wins_font_get_ascent(rc.font);
  int pen = x;
  for (int i = 0; i < int(text.size());) {
    uint32_t code_point = wins_font_next_char(text.c_str(), int(text.size()), &i);
    const wins_glyph *glyph = wins_font_get_glyph(rc.font, code_point);
    for (int row = 0; row < glyph->rows; row++)
      for (int col = 0; col < glyph->width; col++)
        visit(pen + glyph->left + col, baseline - glyph->top + row, glyph->coverage[row * glyph->stride + col]);
    pen += wins_font_get_advance(rc.font, code_point);
  }
  for (uint32_t bit : {uint32_t(TCANVAS_FONT_UNDERLINE), uint32_t(TCANVAS_FONT_STRIKEOUT)}) {
    if (!(rc.style & bit)) continue;
    wins_font_rule rule =
        bit == TCANVAS_FONT_UNDERLINE ? wins_font_get_underline(rc.font) : wins_font_get_strike_out(rc.font);
    for (int row = 0; row < rule.thickness; row++)
      for (int col = x; col < pen; col++) visit(col, baseline + rule.top + row, 255);
  }
}

bool inside(const trect &clip, int x, int y) { return x >= clip.x1 && x <= clip.x2 && y >= clip.y1 && y <= clip.y2; }

// The pen's red, green and blue as levels of the bitmap's depth.
void pen_levels(const tbitmap *b, uint32_t pen, int out[3]) {
  for (int k = 0; k < 3; k++) out[k] = int(((pen >> (16 - 8 * k)) & 255) * test_level_scale(b, k));
}

struct reference_image {
  int width = 0;
  std::vector<double> levels;  // three per pixel
  std::vector<int> blends;     // how many stored blends each pixel has had
  std::vector<bool> exact;     // only blends of weight 0 and 1 so far: no level off
  std::vector<double> mask;    // coverage pass: the laid-over coverage fraction
  std::vector<int> pieces;     // coverage pass: how many pieces cover each pixel

  explicit reference_image(const tbitmap *b) : width(tbitmap_get_width(b)) {
    size_t count = size_t(width) * size_t(tbitmap_get_height(b));
    levels.resize(3 * count), blends.resize(count), mask.resize(count), pieces.resize(count);
    exact.assign(count, true);
    for (size_t i = 0; i < 3 * count; i++) levels[i] = test_level(b, int(i / 3 % size_t(width)), int(i / 3 / size_t(width)), int(i % 3));
  }
  void blend(size_t i, const int pen[3], double weight) {
    for (int k = 0; k < 3; k++) levels[3 * i + size_t(k)] = pen[k] * weight + levels[3 * i + size_t(k)] * (1 - weight);
    blends[i]++;
    if (weight != 0 && weight != 1) exact[i] = false;
  }
};

void reference_direct(const reference_case &rc, reference_image *image, int x, int y, const std::u16string &text) {
  int pen[3];
  pen_levels(rc.bitmap, rc.pen, pen);
  reference_layout(rc, x, y, text, [&](int px, int py, int coverage) {
    if (!inside(rc.clip, px, py)) return;
    image->blend(size_t(py) * size_t(image->width) + size_t(px), pen, coverage / 255.0);
  });
}

void reference_coverage(const reference_case &rc, reference_image *image, int x, int y, const std::u16string &text) {
  reference_layout(rc, x, y, text, [&](int px, int py, int coverage) {
    if (!inside(rc.clip, px, py)) return;
    size_t i = size_t(py) * size_t(image->width) + size_t(px);
    image->mask[i] = 1 - (1 - image->mask[i]) * (1 - coverage / 255.0);
    image->pieces[i]++;
  });
}

void reference_coverage_end(const reference_case &rc, reference_image *image) {
  int pen[3];
  pen_levels(rc.bitmap, rc.pen, pen);
  const int alpha = int(rc.pen >> 24);
  for (size_t i = 0; i < image->mask.size(); i++) {
    if (!image->pieces[i]) continue;
    int m = int(std::lround(255 * image->mask[i]));
    double red = m, green = m, blue = m;  // white text at the canvas's depth, widened again
    if (tbitmap_get_bpp(rc.bitmap) == 16) red = (m >> 3) << 3, green = (m >> 2) << 2, blue = (m >> 3) << 3;
    int luminance = int((green * 151 + red * 77 + blue * 28) / 256);
    image->blend(i, pen, std::floor(luminance * alpha / 255.0) / 256.0);
    // Each piece laid over others rounds the 8-bit mask once more.
    if (image->pieces[i] > 2) image->blends[i]++;
  }
}

// Every channel within the blends' levels of the reference; untouched
// pixels and the fourth byte of 32-bit pixels exactly as they were.
void expect_near_reference(const tbitmap *drawn, const tbitmap *before, const reference_image &image) {
  int height = tbitmap_get_height(drawn), reported = 0;
  for (int y = 0; y < height; y++)
    for (int x = 0; x < image.width; x++) {
      size_t i = size_t(y) * size_t(image.width) + size_t(x);
      for (int k = 0; k < 3; k++) {
        double expected = image.levels[3 * i + size_t(k)];
        int got = test_level(drawn, x, y, k);
        bool ok = !image.blends[i]  ? got == test_level(before, x, y, k)
                  : image.exact[i] ? got == int(expected)
                                   : std::fabs(got - expected) < image.blends[i] + 0.5;
        if (!ok && reported++ < 5)
          ADD_FAILURE() << "pixel " << x << "," << y << " channel " << k << ": " << got << ", reference " << expected
                        << " after " << image.blends[i] << " blends";
      }
      if (tbitmap_get_bpp(drawn) == 32 && tbitmap_get_pixel_ptr(drawn, x, y)[3] != tbitmap_get_pixel_ptr(before, x, y)[3])
        ADD_FAILURE() << "pixel " << x << "," << y << ": the fourth byte changed";
    }
}

TEST_F(wins_graphics_test, both_passes_match_the_pixel_by_pixel_reference) {
  const char16_t pool[] = u"AaWgjy|.,Q@ ЖщЯй中画图层€";
  const int sizes[] = {6, 8, 10, 12, 18, 22};
  // The last seeds draw large opaque text on 565, where whole blocks of
  // coverage are clear or full and the screen's step passes them over.
  for (uint32_t seed = 1; seed <= 64; seed++) {
    const bool screen = seed > 48;
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
    const int kinds[] = {565, 555, 24, 32};
    int kind = screen ? 565 : kinds[pick(4)];
    int width = 20 + pick(90), height = 20 + pick(60);
    int bpp = kind == 565 || kind == 555 ? 16 : kind;
    tbitmap *bitmaps[2];
    tcanvas canvases[2];
    for (int k = 0; k < 2; k++) {
      bitmaps[k] = tbitmap_new(width, (seed & 1) ? -height : height, bpp);
      ASSERT_NE(bitmaps[k], nullptr);
      if (kind == 555) {
        const uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
        std::memcpy(bitmaps[k]->_info + TBITMAP_INFO_MASKS, masks, sizeof masks);
        tbitmap_init_channels(bitmaps[k]);
      }
      tcanvas_init_on_bitmap(&canvases[k], bitmaps[k]);
    }
    // Bytes biased to 0x00 and 0xFF, the fourth byte of 32-bit pixels too.
    // (The blitters read a 555 word's bit 15 as red, which their own tests
    // hold; here it stays clear.)
    for (uint32_t i = 0; i < tbitmap_get_image_size(bitmaps[0]); i++) {
      int choice = pick(3);
      bitmaps[0]->_pixels[i] = uint8_t(choice == 0 ? 0 : choice == 1 ? 255 : pick(256));
      if (kind == 555 && i % 2) bitmaps[0]->_pixels[i] &= 0x7F;
    }
    std::memcpy(bitmaps[1]->_pixels, bitmaps[0]->_pixels, tbitmap_get_image_size(bitmaps[0]));

    const uint32_t alphas[] = {255, 255, 128, 0, uint32_t(pick(256))};
    uint32_t pen = uint32_t(pick(1 << 24)) | (screen ? 255 : alphas[pick(5)]) << 24;
    uint32_t style = uint32_t(pick(16));
    int size = sizes[screen ? 4 + pick(2) : pick(6)];
    trect clip = {0, 0, width - 1, height - 1};
    bool clipped = pick(2);
    trect asked = {pick(width + 20) - 10, pick(height + 20) - 10, pick(width + 20) - 10, pick(height + 20) - 10};
    for (tcanvas &canvas : canvases) {
      tcanvas_set_pen_color(&canvas, pen);
      canvas._font_size = size;
      canvas._font_style = style;
      if (clipped) tcanvas_set_clip(&canvas, &asked);
    }
    if (clipped) {
      trect_normalize(&asked);
      clip = {std::max(asked.x1, 0), std::max(asked.y1, 0), std::min(asked.x2, width - 1),
              std::min(asked.y2, height - 1)};
    }
    SCOPED_TRACE(testing::Message() << "seed " << seed << ": " << kind << " " << width << "x" << height << " pen "
                                    << std::hex << pen << std::dec << " style " << style << " size " << size
                                    << " clip " << clipped);

    reference_case rc = {bitmaps[1], clip, wins_font_get(u"tahoma", size * 96 / 72, int(style & 3)), style, pen};
    reference_image image(bitmaps[1]);
    wins_graphics_pass *pass = wins_graphics_begin_text(&canvases[0]);
    ASSERT_NE(pass, nullptr);
    for (int n = 0; n < 3; n++) {
      std::u16string text;
      for (int len = 1 + pick(10); len > 0; len--) text += pool[pick(int(std::size(pool)) - 1)];
      tpoint at = {pick(width + 30) - 20, pick(height + 20) - 15};
      ASSERT_EQ(wins_graphics_draw_text(&canvases[0], pass, &at, text.c_str(), int(text.size())), 1);
      if (pen >> 24 == 255)
        reference_direct(rc, &image, at.x, at.y, text);
      else
        reference_coverage(rc, &image, at.x, at.y, text);
    }
    wins_graphics_end_text(&canvases[0], pass);
    if (pen >> 24 != 255) reference_coverage_end(rc, &image);

    expect_near_reference(bitmaps[0], bitmaps[1], image);
    for (tbitmap *b : bitmaps) tbitmap_free(b);
  }
}

}  // namespace
