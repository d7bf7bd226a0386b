// Labels on the fixed-advance metrics (12 pixels a line, 5 a character):
// where wrapped lines break, lines too narrow for a character, line feeds,
// labels that size themselves while drawing, transparent drawing, and the
// link label's tap and the image control's size.
#include "tlabel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "test_env.h"
#include "timage.h"
#include "tlinklabel.h"
#include "widget_fixture.h"

namespace {

constexpr int k_line = 12, k_cell = 5;  // ascent 10 and descent 2
constexpr uint32_t k_white = 0xFFFF, k_red = 0xF800;

// Each line of the label as one character per cell: '#' where ink is, '.'
// where the cell is blank. 'I' has ink in its cell alone.
std::vector<std::string> cells(tscreen *screen, const tlabel *label, int columns) {
  const trect *r = tsurface_get_rect(&label->_control._surface);
  std::vector<std::string> lines;
  for (int32_t top = r->y1; top + k_line - 1 <= r->y2; top += k_line) {
    std::string line;
    for (int c = 0; c < columns; c++) {
      bool ink = false;
      for (int32_t y = top; y < top + k_line; y++)
        for (int32_t x = r->x1 + c * k_cell; x < r->x1 + (c + 1) * k_cell; x++) {
          uint32_t p = screen_pixel(screen, x, y);
          ink = ink || (p != k_white && p != k_red);
        }
      line += ink ? '#' : '.';
    }
    lines.push_back(line);
  }
  return lines;
}

tlabel *shown_label(const std::u16string &text, int32_t mode, trect rect) {
  tlabel *label = tlabel_new(nullptr, &rect, text.data(), int32_t(text.size()), mode, nullptr);
  EXPECT_NE(label, nullptr);
  tcontrol_realize(&label->_control);
  tscreen_paint(tscreen_get(), nullptr);
  return label;
}

int32_t height_of(const tlabel *label) { return tsurface_get_height(&label->_control._surface); }
int32_t width_of(const tlabel *label) { return tsurface_get_width(&label->_control._surface); }

}  // namespace

TEST(Labels, WrappedLinesBreakBetweenWordsAndAtLineFeedsAndTakeAtLeastACharacter) {
  struct row {
    const char *name;
    std::u16string text;
    int32_t width;  // pixels
    std::vector<std::string> lines;
  };
  const row rows[] = {
      // The line holds the first word, the space and part of the second.
      {"two words", u"IIII IIIIII", 35, {"####...", "######."}},
      {"one word wider than the line", u"IIIIIIIIII", 25, {"#####", "#####"}},
      {"no line starts with a space", u"II   II", 20, {"##..", "##.."}},
      {"a closing mark stays with its word", u"II III.", 30, {"##....", "####.."}},
      {"a Cyrillic word stays whole", u"\u0406\u0406 \u0406\u0406\u0406\u0406", 25, {"##...", "####."}},
      {"CR LF between words", u"II\r\nIII", 50, {"##........", "###......."}},
      {"LF alone", u"I\nI", 50, {"#.........", "#........."}},
      {"a break on a non-word character", u"II-IIII", 25, {"###..", "####."}},
      // Narrower than one character, or no width at all: a character a line.
      {"zero width", u"II III I", 0, std::vector<std::string>(6)},
      {"three pixels", u"II III I", 3, std::vector<std::string>(6)},
      {"a line of a single space", u" II", 0, std::vector<std::string>(3)},
      {"empty", u"", 0, std::vector<std::string>(1)},
      {"line feeds only", u"\n\n", 0, std::vector<std::string>(2)},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    run_widget_test_240x320([&](tscreen *screen) {
      tlabel *label = shown_label(r.text, TLABEL_WRAP_FIT, {10, 10, 10 + r.width - 1, 19});
      EXPECT_EQ(height_of(label), int32_t(r.lines.size()) * k_line);
      EXPECT_EQ(cells(screen, label, r.width / k_cell), r.lines);
      // Drawing never leaves a change in the text.
      EXPECT_EQ(std::u16string(label->_text, size_t(label->_length)), r.text);
      tlabel_free(label);
    });
  }
}

TEST(Labels, SizingInsideTheDrawDrawsOnTheNewBuffer) {
  run_widget_test_240x320([](tscreen *screen) {
    // Mode 3 with offset x 5: the text's width and 10 more.
    trect small = {10, 10, 14, 14};
    tlabel *fit = tlabel_new(nullptr, &small, u"IIII", -1, TLABEL_FIT, nullptr);
    ttdrawer_set_offset_x(tlabel_get_tdrawer(fit), 5);
    tbdrawer_set_fill_color(fit->_control._bdrawer, tcolor_rgba(255, 0, 0));
    tcontrol_realize(&fit->_control);
    tscreen_paint(screen, nullptr);
    EXPECT_EQ(width_of(fit), 4 * k_cell + 10);
    EXPECT_EQ(height_of(fit), k_line);
    // Background and text both reached the grown buffer.
    EXPECT_EQ(screen_pixel(screen, 10 + 2, 15), k_red);
    EXPECT_EQ(screen_pixel(screen, 10 + 4 * k_cell + 10 - 1, 15), k_red);
    EXPECT_EQ(cells(screen, fit, 6), (std::vector<std::string>{".####."}));
    tlabel_free(fit);

    // Mode 5 grows from one line to three and draws the third.
    trect one_line = {10, 50, 24, 54};
    tlabel *wrapped = tlabel_new(nullptr, &one_line, u"II II II", -1, TLABEL_WRAP_FIT, nullptr);
    tbdrawer_set_fill_color(wrapped->_control._bdrawer, tcolor_rgba(255, 0, 0));
    tcontrol_realize(&wrapped->_control);
    tscreen_paint(screen, nullptr);
    EXPECT_EQ(height_of(wrapped), 3 * k_line);
    EXPECT_EQ(cells(screen, wrapped, 3), (std::vector<std::string>{"##.", "##.", "##."}));
    EXPECT_EQ(screen_pixel(screen, 24, 50 + 3 * k_line - 1), k_red);
    tlabel_free(wrapped);
  });
}

TEST(Labels, ATransparentLabelDrawsOnItsParentWithoutBackground) {
  run_widget_test_240x320([](tscreen *screen) {
    trect whole = {0, 0, 99, 49};
    tcontrol parent;
    ASSERT_EQ(tcontrol_init(&parent, nullptr, &whole, nullptr), 1);
    tbdrawer_set_fill_color(parent._bdrawer, tcolor_rgba(255, 0, 0));
    tbdrawer_set_no_border(parent._bdrawer);
    trect rect = {10, 10, 59, 29};
    tlabel *label = tlabel_new(&parent, &rect, u"II II II", -1, TLABEL_WRAP, nullptr);
    tlabel_set_transparent(label, 1);
    tcontrol_set_children_fns(
        &parent, [](tcontrol *) { return int32_t(1); },
        [](tcontrol *c, int32_t) { return static_cast<tcontrol *>(tsurface_get_owner(&c->_surface)); });
    parent._surface._owner = label;
    tcontrol_realize(&parent);
    tscreen_paint(screen, nullptr);
    EXPECT_EQ(cells(screen, label, 10), (std::vector<std::string>{"##.##.##.."}));
    EXPECT_EQ(screen_pixel(screen, 55, 25), k_red);
    tlabel_free(label);
    tcontrol_deinit(&parent);
  });
}

TEST(Labels, ALinkLabelTapsOnPenUpInside) {
  run_widget_test_240x320([](tscreen *) {
    static int taps;
    taps = 0;
    trect rect = {10, 10, 109, 29};
    tlinklabel *link = tlinklabel_new(nullptr, &rect, u"Gallery", -1, u"http://example.org/", TLABEL_LEFT, nullptr);
    ASSERT_NE(link, nullptr);
    tlinklabel_set_on_click(link, [](tlinklabel *) { taps++; });
    tcontrol_realize(&link->_label._control);
    EXPECT_EQ(widget_pen(TSCREEN_PEN_DOWN, 20, 20), 1);
    EXPECT_EQ(widget_pen(TSCREEN_PEN_MOVE, 21, 20), 0);
    EXPECT_EQ(taps, 0);
    EXPECT_EQ(widget_pen(TSCREEN_PEN_UP, 21, 20), 1);
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(widget_pen(TSCREEN_PEN_UP, 109, 20), 0);  // the right edge is outside
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(test_utf8(tlinklabel_get_url(link)), "http://example.org/");
    tlinklabel_free(link);
  });
}

TEST(Labels, AnImageInMode1TakesItsBitmapsSize) {
  run_on_styled_screen(
      [](tscreen *) {
        tbitmap *bitmap = tbitmap_new(12, -7, 32);
        trect rect = {5, 6, 99, 99};
        timage *image = timage_new(nullptr, &rect, bitmap, nullptr, TIMAGE_FIT_BITMAP, nullptr);
        const trect *r = tsurface_get_rect(&image->_control._surface);
        EXPECT_EQ((std::vector<int32_t>{r->x1, r->y1, r->x2, r->y2}), (std::vector<int32_t>{5, 6, 16, 12}));
        timage_free(image);
        image = timage_new(nullptr, &rect, bitmap, nullptr, TIMAGE_FIXED, nullptr);
        EXPECT_EQ(tsurface_get_width(&image->_control._surface), 95);
        timage_free(image);
        tbitmap_free(bitmap);
      },
      "240x320");
}
