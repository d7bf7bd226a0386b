// The Curve tool: where the line stage puts the controls, which handle a pen
// picks, when a tap ends the editing, what is recorded, and that no handle
// or earlier preview is left in the canvas (checked against a rebuild).
#include "shape_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "paint_fixture.h"
#include "tscreen.h"

namespace {

class CurveTest : public PaintTest {
 protected:
  shape *curve() const { return tool(SHAPE_ID_CURVE); }
  // The line stage: a drag from a to b; the curve is then being edited.
  void line(tpoint a, tpoint b) { drag(curve(), a, b); }
  // A pen-down at a and a pen-up at b, with a move between.
  void press(tpoint a, tpoint b) {
    pen(curve(), SHAPE_PEN_DOWN, a.x, a.y);
    pen(curve(), SHAPE_PEN_MOVE, b.x, b.y);
    test_run_active_objects();
    pen(curve(), SHAPE_PEN_UP, b.x, b.y);
  }
  // The eight values of the last record, which must be a 64-byte curve.
  std::vector<double> recorded() const {
    const paint_history_record *r = paint_history_get_record(history, paint_history_get_count(history) - 1);
    if (!r || r->_operation != SHAPE_ID_CURVE || r->_size != SHAPE_CURVE_PAYLOAD) return {};
    std::vector<double> values(8);
    for (int i = 0; i < 8; i++) {
      uint64_t bits = 0;
      for (int b = 7; b >= 0; b--) bits = bits << 8 | r->_payload[8 * i + b];
      std::memcpy(&values[i], &bits, 8);
    }
    return values;
  }
};

// Far from every handle of the curves below; a tap there ends the editing.
constexpr tpoint AWAY = {190, 140};

}  // namespace

TEST_F(CurveTest, TheLineStagePutsTheControlsAtThirdsOfTheLine) {
  struct row {
    tpoint a, b;
    std::vector<double> want;  // start, end, control 1, control 2
  } rows[] = {
      {{0, 0}, {90, 0}, {0, 0, 90, 0, 30, 0, 60, 0}},
      {{10, 10}, {70, 40}, {10, 10, 70, 40, 30, 20, 50, 30}},
      {{50, 10}, {50, 100}, {50, 10, 50, 100, 50, 10, 50, 10}},  // vertical: the controls stay on the start
  };
  for (const row &r : rows) {
    line(r.a, r.b);
    press(AWAY, AWAY);
    EXPECT_EQ(recorded(), r.want) << r.a.x << "," << r.a.y << " -> " << r.b.x << "," << r.b.y;
  }
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(CurveTest, APenUpWithinTheHandleSizeOfItsPenDownEndsTheEditing) {
  // The screen here is of the large class: handles of 30.
  struct row {
    int32_t dx, dy;
    bool ends;
  } rows[] = {{0, 0, true}, {25, 0, true}, {0, -25, true}, {30, 30, true}, {31, 0, false}, {0, 35, false}};
  for (const row &r : rows) {
    int32_t count = paint_history_get_count(history);
    line({10, 10}, {40, 10});
    press({150, 100}, {150 + r.dx, 100 + r.dy});
    EXPECT_EQ(paint_history_get_count(history), count + (r.ends ? 1 : 0)) << r.dx << "," << r.dy;
    if (!r.ends) press(AWAY, AWAY);
  }
}

TEST_F(CurveTest, OverlappingHandlesArePickedStartEndControl1Control2) {
  // A line from (0, 50) to (150, 50): controls at x 50 and 100, hit areas
  // 32 around each point (handle 30 and half the pen of 5).
  struct row {
    int32_t x;
    int moved;  // index of the point that follows the pen
  } rows[] = {{25, 0}, {75, 2}, {100, 3}, {120, 1}};
  for (const row &r : rows) {
    line({0, 50}, {150, 50});
    press({r.x, 50}, {r.x, 80});
    press(AWAY, AWAY);
    std::vector<double> v = recorded();
    ASSERT_EQ(v.size(), 8u);
    for (int i = 0; i < 4; i++) EXPECT_EQ(v[2 * i + 1], i == r.moved ? 80 : 50) << "pen at " << r.x << ", point " << i;
  }
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(CurveTest, ADraggedHandleIsPickedWhereItNowLies) {
  line({0, 50}, {150, 50});
  press({25, 50}, {25, 130});
  press({10, 130}, {10, 160});
  press(AWAY, AWAY);
  std::vector<double> v = recorded();
  ASSERT_EQ(v.size(), 8u);
  EXPECT_EQ(v[1], 160);
}

TEST_F(CurveTest, ADragAwayFromTheHandlesChangesNothing) {
  line({20, 20}, {60, 40});
  test_run_active_objects();
  auto editing = canvas_bytes();
  press({150, 130}, {100, 90});
  test_run_active_objects();
  EXPECT_EQ(canvas_bytes(), editing);
  EXPECT_EQ(paint_history_get_count(history), 0);
  press(AWAY, AWAY);
  EXPECT_EQ(paint_history_get_count(history), 1);
}

TEST_F(CurveTest, TheRecordIsTheCurveWithoutHandlesAndTheOverlayGoes) {
  tscreen *screen = tscreen_get();
  line({20, 75}, {180, 75});
  EXPECT_NE(tscreen_get_pen_capture(screen), nullptr) << "the overlay holds the pen while editing";
  test_run_active_objects();
  // Inside the start's handle (radius 32), clear of the stroke: grey over
  // white, and the canvas stays opaque under the translucent handles.
  uint32_t handle = pixel(20, 95);
  EXPECT_NE(handle, 0xFFFFFFFFu);
  uint32_t blue = handle & 0xFF;
  EXPECT_TRUE(blue == (handle >> 8 & 0xFF) && blue == (handle >> 16 & 0xFF)) << std::hex << handle;
  auto bytes = canvas_bytes();
  for (size_t i = 3; i < bytes.size(); i += 4) ASSERT_EQ(bytes[i], 0xFF) << "byte " << i;
  press(AWAY, AWAY);
  EXPECT_EQ(pixel(20, 95), 0xFFFFFFFFu);
  EXPECT_EQ(tscreen_get_pen_capture(screen), nullptr);
  EXPECT_EQ(recorded().size(), 8u);
  test_run_active_objects();  // nothing may draw after the record
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(CurveTest, TheOverlayKeepsThePenBetweenEditsAndFinishingRecordsWhatShows) {
  tscreen *screen = tscreen_get();
  line({20, 75}, {180, 75});
  test_run_active_objects();
  // The end handle dragged through the screen, which ends the capture at the pen-up.
  tpoint o;
  paint_context_get_origin(pc, &o);
  tscreen_dispatch_pen(screen, TSCREEN_PEN_DOWN, o.x + 180, o.y + 75, 0);
  tscreen_dispatch_pen(screen, TSCREEN_PEN_MOVE, o.x + 170, o.y + 120, 0);
  tscreen_dispatch_pen(screen, TSCREEN_PEN_UP, o.x + 170, o.y + 120, 0);
  EXPECT_NE(tscreen_get_pen_capture(screen), nullptr) << "the curve still takes every tap";
  test_run_active_objects();
  shape_curve_finish(curve());
  EXPECT_EQ(tscreen_get_pen_capture(screen), nullptr);
  std::vector<double> v = recorded();
  ASSERT_EQ(v.size(), 8u);
  EXPECT_EQ(std::make_pair(v[2], v[3]), std::make_pair(170.0, 120.0));
  EXPECT_TRUE(canvas_matches_rebuild(pc, history)) << "recorded as shown, without handles";
}

TEST_F(CurveTest, EditingOffTheScreenLeavesNoStalePixels) {
  // Most of the canvas lies left of and above the screen: previews there
  // must be taken back as surely as those on the screen.
  make_painting(600, 500);
  paint_context_set_origin(pc, -400, -350);
  paint_context_set_fore_color(pc, test_rgba(200, 0, 0, 255));
  line({420, 380}, {20, 20});
  test_run_active_objects();
  press({20, 20}, {300, 60});  // the end handle, dragged
  press({300, 60}, {400, 300});
  press({480, 480}, {480, 480});
  EXPECT_EQ(paint_history_get_count(history), 1);
  EXPECT_EQ(cairo_get_antialias(paint_context_get_cairo(pc)), CAIRO_ANTIALIAS_DEFAULT) << "as every tool expects it";
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(CurveTest, CancellingPutsTheCanvasBackAndRecordsNothing) {
  auto before = canvas_bytes();
  line({20, 20}, {150, 100});
  press({150, 100}, {100, 30});
  test_run_active_objects();
  shape_curve_cancel(curve());
  EXPECT_EQ(canvas_bytes(), before);
  EXPECT_EQ(tscreen_get_pen_capture(tscreen_get()), nullptr);
  // The next drag is a new line stage.
  line({30, 30}, {60, 90});
  press(AWAY, AWAY);
  EXPECT_EQ(recorded(), (std::vector<double>{30, 30, 60, 90, 40, 50, 50, 70}));
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(CurveTest, DamagedPayloadsDrawNothingAndHugeOnesStayInRange) {
  auto before = canvas_bytes();
  auto payload_of = [](double fill, int bad_at, double bad) {
    std::vector<uint8_t> bytes(64);
    for (int i = 0; i < 8; i++) {
      double v = i == bad_at ? bad : fill + 10 * i;
      uint64_t bits;
      std::memcpy(&bits, &v, 8);
      for (int b = 0; b < 8; b++) bytes[8 * i + b] = uint8_t(bits >> (8 * b));
    }
    return bytes;
  };
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  struct row {
    std::vector<uint8_t> bytes;
    int32_t length;
  } rows[] = {{payload_of(20, -1, 0), 63}, {payload_of(20, -1, 0), 65}, {payload_of(20, 3, nan), 64},
              {payload_of(20, 6, inf), 64}, {payload_of(20, 0, -inf), 64}};
  for (const row &r : rows) {
    shape_set_data(curve(), r.bytes.data(), r.length);
    shape_draw(curve(), paint_context_get_cairo(pc), nullptr, 1.0);
    EXPECT_EQ(canvas_bytes(), before) << "length " << r.length;
  }
  auto huge = payload_of(20, 2, 1e300);
  shape_set_data(curve(), huge.data(), 64);
  shape_draw(curve(), paint_context_get_cairo(pc), nullptr, 3.0);
  EXPECT_EQ(cairo_status(paint_context_get_cairo(pc)), CAIRO_STATUS_SUCCESS);
}

int main(int argc, char **argv) { return paint_test_main(argc, argv); }
