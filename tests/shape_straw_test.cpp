// The Color Picker: which pixel it reads, where its swatch stands on each
// screen class, and that it reports once, at pen-up, recording nothing.
#include "shape_straw.h"

#include <gtest/gtest.h>

#include <vector>

#include "paint_fixture.h"

namespace {

std::vector<uint32_t> g_picked;

class StrawTest : public PaintTest {
 protected:
  void SetUp() override {
    PaintTest::SetUp();
    g_picked.clear();
    shape_straw_set_on_pick(straw(), [](shape *, uint32_t color) { g_picked.push_back(color); });
  }
  shape *straw() const { return tool(SHAPE_ID_COLOR_PICKER); }
  void put(int32_t x, int32_t y, int r, int g, int b) {
    tbitmap_set_pixel(paint_context_get_canvas(pc), x, y, 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b);
  }
};

}  // namespace

TEST(StrawPopup, TheSwatchStandsAboveThePenAndStaysOnTheScreen) {
  struct row {
    int32_t width, height, x, y;
    trect want;
  } rows[] = {
      {240, 320, 100, 100, {84, 73, 105, 94}},       // small: 22
      {320, 480, 100, 100, {73, 50, 117, 94}},       // normal: 45
      {480, 640, 200, 300, {105, 160, 194, 249}},    // large: 90, also left and up by 45
      {240, 320, 0, 0, {5, 5, 26, 26}},              // kept clear of the top-left edges
      {480, 640, 3, 2, {5, 5, 94, 94}},
      {240, 320, 239, 319, {218, 292, 239, 313}},    // and within the right edge
      {320, 320, 319, 10, {298, 5, 319, 26}},        // 320 x 320 is small too
  };
  for (const row &r : rows) {
    trect got = shape_straw_popup_rect(r.x, r.y, r.width, r.height);
    EXPECT_TRUE(trect_is_equal(&got, &r.want))
        << r.width << "x" << r.height << " at " << r.x << "," << r.y << ": " << got.x1 << "," << got.y1 << ","
        << got.x2 << "," << got.y2;
  }
}

TEST_F(StrawTest, APenBesideTheCanvasReadsTheNearestEdgePixel) {
  put(0, 40, 10, 20, 30);
  put(0, 0, 40, 50, 60);
  put(199, 149, 70, 80, 90);
  struct row {
    tpoint at;
    uint32_t want;
  } rows[] = {{{-50, 40}, 10 + 20 * 256 + 30 * 65536},
              {{-10, -10}, 40 + 50 * 256 + 60 * 65536},
              {{400, 300}, 70 + 80 * 256 + 90 * 65536}};
  for (const row &r : rows) {
    g_picked.clear();
    EXPECT_EQ(pen(straw(), SHAPE_PEN_DOWN, 100, 100), 1);
    pen(straw(), SHAPE_PEN_MOVE, r.at.x, r.at.y);
    EXPECT_TRUE(g_picked.empty()) << "nothing is reported before pen-up";
    pen(straw(), SHAPE_PEN_UP, 0, 0);  // the colour is the last one under the pen
    EXPECT_EQ(g_picked, std::vector<uint32_t>{r.want}) << r.at.x << "," << r.at.y;
  }
  EXPECT_EQ(pen(straw(), SHAPE_PEN_MOVE, 10, 10), 0) << "moves after pen-up are not the picker's";
  EXPECT_EQ(paint_history_get_count(history), 0);
}

int main(int argc, char **argv) { return paint_test_main(argc, argv); }
