// The Paint Bucket: where a tap fills (and where it does not), the tolerance
// the zoom gives, translucent fills, and payloads a document may carry.
#include "shape_flood.h"

#include <gtest/gtest.h>

#include <vector>

#include "paint_fixture.h"

namespace {

class FloodTest : public PaintTest {
 protected:
  shape *bucket() const { return tool(SHAPE_ID_PAINT_BUCKET); }
  int32_t tap(int32_t x, int32_t y) {
    int32_t taken = pen(bucket(), SHAPE_PEN_DOWN, x, y);
    pen(bucket(), SHAPE_PEN_UP, x, y);
    return taken;
  }
  std::vector<uint8_t> seed(int32_t x, int32_t y) {
    std::vector<uint8_t> bytes(8);
    for (int i = 0; i < 4; i++) {
      bytes[i] = uint8_t(uint32_t(x) >> (8 * i));
      bytes[4 + i] = uint8_t(uint32_t(y) >> (8 * i));
    }
    return bytes;
  }
};

constexpr uint32_t WHITE = 0xFFFFFFFFu;

}  // namespace

TEST_F(FloodTest, ATapBesideTheCanvasIsTakenButFillsAndRecordsNothing) {
  auto before = canvas_bytes();
  for (tpoint p : {tpoint{-1, 10}, tpoint{10, -3}, tpoint{200, 10}, tpoint{10, 150}}) {
    EXPECT_EQ(tap(p.x, p.y), 1) << p.x << "," << p.y;
  }
  EXPECT_EQ(canvas_bytes(), before);
  EXPECT_EQ(paint_history_get_count(history), 0);
}

TEST_F(FloodTest, TheToleranceFollowsTheZoom) {
  struct row {
    double zoom;
    int32_t tolerance;
  } rows[] = {{1.0, 32}, {0.2, 16}, {0.1, 0}, {0.25, 32}, {0.125, 16}};
  for (const row &r : rows) {
    ASSERT_EQ(paint_context_set_zoom(pc, r.zoom), 1);
    // A grey ramp: column x holds grey x, so the fill reaches column t exactly.
    tbitmap *canvas = paint_context_get_canvas(pc);
    for (int32_t y = 0; y < tbitmap_get_height(canvas); y++)
      for (int32_t x = 0; x < tbitmap_get_width(canvas); x++)
        tbitmap_set_pixel(canvas, x, y, 0xFF000000u | uint32_t(x) * 0x010101u);
    cairo_surface_mark_dirty(cairo_get_target(paint_context_get_cairo(pc)));
    tap(0, 5);
    EXPECT_NE(pixel(r.tolerance, 5), 0xFF000000u | uint32_t(r.tolerance) * 0x010101u) << "zoom " << r.zoom;
    EXPECT_EQ(pixel(r.tolerance + 1, 5), 0xFF000000u | uint32_t(r.tolerance + 1) * 0x010101u) << "zoom " << r.zoom;
  }
}

TEST_F(FloodTest, AFillStaysInItsAreaAndRebuildsAtAnotherZoom) {
  paint_context_set_fore_color(pc, test_rgba(0, 0, 0, 255));
  drag(tool(SHAPE_ID_LINE), {100, -10}, {100, 160});
  paint_context_set_fore_color(pc, test_rgba(0, 160, 0, 255));
  tap(150, 100);
  EXPECT_EQ(pixel(150, 100), 0xFF00A000u);
  EXPECT_EQ(pixel(50, 100), WHITE);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
  // At half the zoom the seed is halved with the canvas: still right of the line.
  ASSERT_EQ(paint_context_set_zoom(pc, 0.5), 1);
  paint_history_rebuild(history);
  EXPECT_EQ(pixel(75, 50), 0xFF00A000u);
  EXPECT_EQ(pixel(25, 50), WHITE);
}

TEST_F(FloodTest, ATranslucentFillBlendsAndKeepsTheCanvasOpaque) {
  paint_context_set_fore_color(pc, test_rgba(0, 0, 255, 128));
  tap(40, 40);
  uint32_t filled = pixel(40, 40);
  EXPECT_EQ(filled >> 24, 0xFFu);
  EXPECT_LT(filled >> 16 & 0xFF, 0xC0u) << std::hex << filled;
  EXPECT_GT(filled & 0xFF, 0xC0u) << std::hex << filled;
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(FloodTest, APayloadOfAnotherLengthFillsNothing) {
  paint_context_set_fore_color(pc, test_rgba(255, 0, 0, 255));
  auto payload = seed(10, 10);
  shape_set_data(bucket(), payload.data(), 8);
  shape_draw(bucket(), paint_context_get_cairo(pc), nullptr, 1.0);
  EXPECT_EQ(pixel(10, 10), 0xFFFF0000u);
  paint_context_set_fore_color(pc, test_rgba(0, 0, 255, 255));
  auto before = canvas_bytes();
  for (int32_t length : {0, 7, 9}) {
    shape_set_data(bucket(), payload.data(), length);
    shape_draw(bucket(), paint_context_get_cairo(pc), nullptr, 1.0);
  }
  shape_set_data(bucket(), nullptr, 8);
  shape_draw(bucket(), paint_context_get_cairo(pc), nullptr, 1.0);
  auto far = seed(INT32_MAX, INT32_MIN);
  shape_set_data(bucket(), far.data(), 8);
  shape_draw(bucket(), paint_context_get_cairo(pc), nullptr, 4.0);
  EXPECT_EQ(canvas_bytes(), before);
}

int main(int argc, char **argv) { return paint_test_main(argc, argv); }
