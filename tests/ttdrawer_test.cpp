// Text and image drawers on the fixed-advance metrics: where each alignment
// code puts the text or image, what the end and path ellipsis keep, and the
// font a drawer gets inside a shared pass.
#include "ttdrawer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_bitmap.h"
#include "tidrawer.h"
#include "widget_fixture.h"
#include "wins_graphics.h"

namespace {

constexpr uint32_t k_white = 0xFFFFFFFFu;
// At 72 dpi a 16-point font is 16 pixels high: 8 pixels a character, a cell of 20.
constexpr int k_size = 16, k_advance = 8;

struct canvas32 {
  tcanvas canvas{};
  explicit canvas32(int32_t w = 240, int32_t h = 60) {
    EXPECT_EQ(tcanvas_init(&canvas, nullptr, 32, w, -h), 1);
    tbitmap_fill_rect(canvas._bitmap, 0, 0, w - 1, h - 1, k_white);
  }
  ~canvas32() { tcanvas_deinit(&canvas); }
  std::vector<uint8_t> bytes() const {
    return {canvas._bitmap->_pixels, canvas._bitmap->_pixels + tbitmap_get_image_size(canvas._bitmap)};
  }
};

struct text_drawer {
  ttdrawer *d = ttdrawer_new_default();
  explicit text_drawer(uint32_t alignment = 0, uint32_t truncation = 0) {
    ttdrawer_set_font_size(d, k_size);
    ttdrawer_set_alignment(d, alignment);
    ttdrawer_set_truncation(d, truncation);
  }
  ~text_drawer() { ttdrawer_free(d); }
};

std::vector<uint8_t> drawn_by(ttdrawer *d, const trect &rect, const std::u16string &text) {
  canvas32 c;
  ttdrawer_draw(d, &c.canvas, text.data(), int32_t(text.size()), &rect);
  return c.bytes();
}

// The same font drawing `text` with its cell's top-left at (x, y).
std::vector<uint8_t> drawn_at(int32_t x, int32_t y, const std::u16string &text, const char16_t *face = nullptr) {
  canvas32 c;
  wins_graphics_set_font(&c.canvas, k_size, face);
  tcanvas_set_pen(&c.canvas, TCANVAS_PEN_SOLID, 1, 0xFF000000u);
  wins_graphics_pass *pass = wins_graphics_begin_text(&c.canvas);
  tpoint at = {x, y};
  wins_graphics_draw_text(&c.canvas, pass, &at, text.data(), int(text.size()));
  wins_graphics_end_text(&c.canvas, pass);
  return c.bytes();
}

}  // namespace

TEST(TextDrawer, EachAlignmentCodePlacesTheCellByTheGrid) {
  widget_env metrics;
  // 80 x 40 box; "ab" is 16 wide, its cell 20 high.
  const trect box = {10, 10, 89, 49};
  const int32_t left = 10, centre = 42, right = 89 - 16, top = 10, middle = 20, bottom = 49 - 20;
  const tpoint expected[9] = {{left, top},      {centre, top},  {right, top},   {right, middle}, {right, bottom},
                              {centre, bottom}, {left, bottom}, {left, middle}, {centre, middle}};
  std::vector<uint8_t> blank = canvas32().bytes();
  for (uint32_t code = 0; code < 9; code++) {
    SCOPED_TRACE(code);
    text_drawer t(code);
    std::vector<uint8_t> got = drawn_by(t.d, box, u"ab");
    EXPECT_NE(got, blank);
    EXPECT_EQ(got, drawn_at(expected[code].x, expected[code].y, u"ab"));
  }
  text_drawer shifted(0);
  ttdrawer_set_offset_x(shifted.d, 3);
  ttdrawer_set_offset_y(shifted.d, -2);
  EXPECT_EQ(drawn_by(shifted.d, box, u"ab"), drawn_at(13, 8, u"ab"));
  text_drawer centred(8);
  trect empty = {10, 10, 9, 49};
  EXPECT_EQ(drawn_by(centred.d, empty, u"ab"), blank) << "a rect narrower than a pixel draws nothing";
}

TEST(TextDrawer, EndAndPathEllipsis) {
  widget_env metrics;
  struct row {
    uint32_t truncation;
    int32_t width;
    std::u16string text, shown;
  };
  const std::u16string path = u"/home/user/docs/name.txt";  // 24 characters; "/name.txt" is 9
  const row rows[] = {
      {TTDRAWER_TRUNCATE_END, 40, u"abcd", u"abcd"},
      {TTDRAWER_TRUNCATE_END, 20, u"abcdefgh", u"..."},  // narrower than "..." alone
      {TTDRAWER_TRUNCATE_END, 50, u"abcdefgh", u"abc..."},
      {TTDRAWER_TRUNCATE_PATH, 200, path, path},
      {TTDRAWER_TRUNCATE_PATH, 150, path, u"/home/.../name.txt"},
      {TTDRAWER_TRUNCATE_PATH, 9 * k_advance, path, u".../name.txt"},  // "/name" fills the width
      {TTDRAWER_TRUNCATE_PATH, 90, path, u"/name.txt"},                // no head fits with "..."
      {TTDRAWER_TRUNCATE_PATH, 40, u"/home/user/", u"/home/user/"},    // no name
      {TTDRAWER_TRUNCATE_PATH, 40, u"home_user", u"home_user"},        // no separator
      {TTDRAWER_TRUNCATE_NONE, 20, u"abcdefgh", u"abcdefgh"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(std::to_string(r.truncation) + " " + std::to_string(r.width) + " " +
                 std::string(r.text.begin(), r.text.end()));
    text_drawer t(0, r.truncation);
    trect box = {0, 0, r.width - 1, 39};
    EXPECT_EQ(drawn_by(t.d, box, r.text), drawn_at(0, 0, r.shown));
  }
}

TEST(TextDrawer, InAPassADrawerThatDiffersOnlyByFaceGetsItsFace) {
  widget_env metrics;
  const char16_t serif[] = u"DejaVu Serif", sans[] = u"DejaVu Sans";
  text_drawer first(0), second(0);
  ttdrawer_set_font_face(first.d, serif);
  ttdrawer_set_font_face(second.d, sans);
  trect box = {0, 0, 199, 39};
  ASSERT_NE(drawn_at(0, 0, u"Rag", serif), drawn_at(0, 0, u"Rag", sans)) << "the faces must look different";

  canvas32 c;
  wins_graphics_set_font(&c.canvas, k_size, serif);
  tcanvas_set_pen(&c.canvas, TCANVAS_PEN_SOLID, 1, 0xFF000000u);
  wins_graphics_pass *pass = wins_graphics_begin_text(&c.canvas);
  ASSERT_NE(pass, nullptr);
  ttdrawer_draw_in_pass(first.d, &c.canvas, pass, u"Rag", 3, &box);
  trect below = {0, 20, 199, 59};
  ttdrawer_draw_in_pass(second.d, &c.canvas, pass, u"Rag", 3, &below);
  wins_graphics_end_text(&c.canvas, pass);

  canvas32 expected;
  ttdrawer_draw(first.d, &expected.canvas, u"Rag", 3, &box);
  ttdrawer_draw(second.d, &expected.canvas, u"Rag", 3, &below);
  EXPECT_EQ(c.bytes(), expected.bytes());
}

TEST(ImageDrawer, EachAlignmentCodePlacesTheBitmapAndAlphaDecidesTheCopy) {
  bitmap_ptr image = test_bitmap(4, 6, 32);
  tbitmap_fill_rect(image.get(), 0, 0, 3, 5, 0xFFFF0000u);
  // 20 x 20 box: centre x 10 + (19 - 4 + 1) / 2, middle y 10 + (19 - 6 + 1) / 2.
  const trect box = {10, 10, 29, 29};
  const int32_t left = 10, centre = 18, right = 25, top = 10, middle = 17, bottom = 23;
  const tpoint expected[9] = {{left, top},      {centre, top},  {right, top},   {right, middle}, {right, bottom},
                              {centre, bottom}, {left, bottom}, {left, middle}, {centre, middle}};
  tidrawer *d = tidrawer_new_default();
  for (uint32_t code = 0; code < 9; code++) {
    SCOPED_TRACE(code);
    canvas32 c(40, 40);
    tidrawer_set_alignment(d, code);
    tidrawer_draw(d, &c.canvas, image.get(), nullptr, &box, 255);
    // Both inside corners red, the pixels just outside white.
    std::vector<uint32_t> seen;
    for (auto [dx, dy] : {std::pair{0, 0}, {3, 5}, {-1, 0}, {4, 5}, {0, 6}})
      seen.push_back(test_rgb(c.canvas._bitmap, expected[code].x + dx, expected[code].y + dy));
    EXPECT_EQ(seen, (std::vector<uint32_t>{0xFF0000u, 0xFF0000u, 0xFFFFFFu, 0xFFFFFFu, 0xFFFFFFu}));
  }

  tidrawer_set_alignment(d, 0);
  canvas32 blended(40, 40), masked(40, 40);
  tidrawer_draw(d, &blended.canvas, image.get(), nullptr, &box, 128);
  uint32_t half = test_rgb(blended.canvas._bitmap, 10, 10);
  EXPECT_TRUE(half != 0xFF0000u && half != 0xFFFFFFu) << std::hex << half;
  bitmap_ptr mask = test_bitmap(4, 6, 8);
  for (int32_t y = 0; y < 6; y++)
    for (int32_t x = 0; x < 4; x++) *tbitmap_get_pixel_ptr(mask.get(), x, y) = x < 2 ? 255 : 0;  // the left half shows
  tidrawer_draw(d, &masked.canvas, image.get(), mask.get(), &box, 255);
  EXPECT_EQ(test_rgb(masked.canvas._bitmap, 11, 12), 0xFF0000u);
  EXPECT_EQ(test_rgb(masked.canvas._bitmap, 12, 12), 0xFFFFFFu);
  tidrawer_free(d);
}

// Wrapped lines at a width of whole characters: spaces at a break belong to
// neither line, closing marks stay with what they close, words of alphabetic
// scripts stay whole unless wider than the line, and ideographs break
// anywhere.
TEST(TextDrawer, WrappedLines) {
  widget_env metrics;
  struct row {
    std::u16string text;
    int32_t chars;  // the line's width
    std::vector<std::u16string> lines;
  };
  const row rows[] = {
      {u"alpha beta gamma", 12, {u"alpha beta", u"gamma"}},
      {u"alpha   beta", 7, {u"alpha", u"beta"}},
      {u"one two, three.", 7, {u"one", u"two,", u"three."}},
      {u"Выберите инструмент", 12, {u"Выберите", u"инструмент"}},
      {u"abcdefghij kl", 4, {u"abcd", u"efgh", u"ij", u"kl"}},
      {u"abcdef.", 3, {u"abc", u"de", u"f."}},
      {u"well-known", 7, {u"well-", u"known"}},
      {u"保存画。完成", 3, {u"保存", u"画。完", u"成"}},
      {u"ab", 0, {u"a", u"b"}},
  };
  canvas32 c;
  wins_graphics_set_font(&c.canvas, k_size, nullptr);
  wins_graphics_pass *pass = wins_graphics_begin_text(&c.canvas);
  for (const row &r : rows) {
    SCOPED_TRACE(std::to_string(r.chars));
    std::vector<std::u16string> lines;
    for (size_t start = 0; start < r.text.size() && lines.size() < 20;) {
      int32_t next = 0;
      int32_t shown = ttdrawer_wrap_line(&c.canvas, pass, r.text.data() + start, int32_t(r.text.size() - start),
                                         r.chars * k_advance, 1, &next);
      lines.push_back(r.text.substr(start, size_t(shown)));
      start += size_t(next);
    }
    EXPECT_EQ(lines, r.lines);
  }
  // A line that already holds text: a word that does not fit waits for the
  // next line, a closing mark does not.
  int32_t next = -1;
  EXPECT_EQ(ttdrawer_wrap_line(&c.canvas, pass, u"alpha", 5, 3 * k_advance, 0, &next), 0);
  EXPECT_EQ(next, 0);
  EXPECT_EQ(ttdrawer_wrap_line(&c.canvas, pass, u", then", 6, 0, 0, &next), 1);
  EXPECT_EQ(next, 2);
  wins_graphics_end_text(&c.canvas, pass);
}

// A path within both a character count and a width keeps the last name.
TEST(TextDrawer, PathFittedToCharactersAndWidth) {
  widget_env metrics;
  struct row {
    int32_t chars;  // the width
    std::u16string path, shown;
  };
  const std::u16string name30 = u"abcdefghijklmnopqrstuvwxyz0123";
  const row rows[] = {
      {100, u"/home/user/Documents/Brivola/paintings", u"/home/user/Documen.../paintings"},
      {20, u"/home/user/Documents/Brivola/paintings", u"/home/u.../paintings"},
      {100, u"/home/user/paintings", u"/home/user/paintings"},
      {100, u"/a/" + name30, u"..." + name30.substr(2)},
  };
  canvas32 c;
  wins_graphics_set_font(&c.canvas, k_size, nullptr);
  wins_graphics_pass *pass = wins_graphics_begin_text(&c.canvas);
  for (const row &r : rows) {
    char16_t out[32];
    int32_t n =
        ttdrawer_fit_path(&c.canvas, pass, r.path.data(), int32_t(r.path.size()), r.chars * k_advance, 31, out, 32);
    EXPECT_EQ(std::u16string(out, size_t(n)), r.shown) << r.chars;
  }
  wins_graphics_end_text(&c.canvas, pass);
}
