// The free-hand tools (pencil, eraser, spray brush): the stored stroke form
// with its batch joins, translucent strokes, the eraser's background, the
// spray's stamp spacing, and after every scenario the canvas against a
// rebuild from the history.
#include "shape_points.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "cairo_calls.h"
#include "paint_fixture.h"
#include "shape_brush1.h"
#include "shape_pencil.h"
#include "test_bitmap.h"

static bool operator==(const tpoint &a, const tpoint &b) { return a.x == b.x && a.y == b.y; }

namespace {

// The stored points, little-endian x and y.
std::vector<tpoint> stored_points(const paint_history_record *record) {
  std::vector<tpoint> points;
  for (int32_t i = 0; i + 8 <= record->_size; i += 8) {
    const uint8_t *at = record->_payload + i;
    points.push_back({int32_t(at[0] | at[1] << 8 | at[2] << 16 | uint32_t(at[3]) << 24),
                      int32_t(at[4] | at[5] << 8 | at[6] << 16 | uint32_t(at[7]) << 24)});
  }
  return points;
}

// What a stroke given to PaintTest::stroke must store: every batch after the
// first begins with the marker and the previous batch's last point.
std::vector<tpoint> expected_stroke(const std::vector<tpoint> &points, int batch) {
  std::vector<tpoint> stored, pending = {points.front()};
  auto flush = [&]() {
    if (!stored.empty()) stored.push_back({SHAPE_POINT_MARKER, SHAPE_POINT_MARKER});
    stored.insert(stored.end(), pending.begin(), pending.end());
    pending = {pending.back()};
  };
  for (size_t i = 1; i + 1 < points.size(); i++) {
    pending.push_back(points[i]);
    if (batch > 0 && i % size_t(batch) == 0) flush();
  }
  pending.push_back(points.back());
  flush();
  return stored;
}

std::vector<tpoint> line_points(tpoint a, tpoint b, int steps) {
  std::vector<tpoint> points;
  for (int i = 0; i <= steps; i++)
    points.push_back({a.x + (b.x - a.x) * i / steps, a.y + (b.y - a.y) * i / steps});
  return points;
}

std::vector<tpoint> scribble(uint32_t seed, int count, tpoint at, int32_t side) {
  std::mt19937 rng(seed);
  std::vector<tpoint> points;
  for (int i = 0; i < count; i++) points.push_back({at.x + int32_t(rng() % side), at.y + int32_t(rng() % side)});
  return points;
}

// The largest difference of one colour byte between two canvases, and how
// many pixels differ at all.
std::pair<int, int> difference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  int worst = 0, pixels = 0;
  for (size_t i = 0; i + 4 <= a.size(); i += 4) {
    int here = 0;
    for (size_t c = 0; c < 4; c++) here = std::max(here, std::abs(int(a[i + c]) - int(b[i + c])));
    worst = std::max(worst, here);
    pixels += here > 0;
  }
  return {worst, pixels};
}

}  // namespace

class FreeHandTest : public PaintTest {};

TEST_F(FreeHandTest, ATapRecordsTwoEqualPointsForEveryFreeHandTool) {
  for (int32_t id : {SHAPE_ID_PENCIL, SHAPE_ID_ERASER, SHAPE_ID_SPRAY}) {
    int32_t before = paint_history_get_count(history);
    pen(tool(id), SHAPE_PEN_DOWN, 50, 60);
    pen(tool(id), SHAPE_PEN_UP, 50, 60);
    ASSERT_EQ(paint_history_get_count(history), before + 1);
    const paint_history_record *record = paint_history_get_record(history, before);
    EXPECT_EQ(record->_operation, id);
    EXPECT_TRUE(stored_points(record) == std::vector<tpoint>({{50, 60}, {50, 60}})) << "tool " << id;
  }
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(FreeHandTest, ALongStrokeInManyBatchesStoresEveryPointWithTheBatchJoins) {
  std::vector<tpoint> points;
  for (int i = 0; i < 3000; i++) {
    double a = i * 0.01;
    points.push_back({int32_t(100 + std::cos(a) * (20 + i % 60)), int32_t(75 + std::sin(a * 1.3) * 60)});
  }
  for (int32_t id : {SHAPE_ID_PENCIL, SHAPE_ID_ERASER, SHAPE_ID_SPRAY}) {
    stroke(tool(id), points, 7);
    const paint_history_record *record = paint_history_get_record(history, paint_history_get_count(history) - 1);
    auto want = expected_stroke(points, 7);
    EXPECT_GT(want.size(), 2048u);
    EXPECT_TRUE(stored_points(record) == want) << "tool " << id;
    EXPECT_EQ(record->_size, int32_t(want.size() * 8));
  }
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(FreeHandTest, OpaqueBatchesAndTranslucentStrokesRebuildToTheSamePixels) {
  paint_context_set_fore_color(pc, test_rgba(10, 120, 30, 255));
  stroke(tool(SHAPE_ID_PENCIL), line_points({10, 10}, {190, 140}, 40), 3);
  paint_context_set_fore_color(pc, test_rgba(200, 20, 30, 100));
  pc->_pen_size = 11;
  std::vector<tpoint> zigzag = line_points({10, 120}, {190, 20}, 30);
  auto back = line_points({190, 20}, {20, 60}, 25);
  zigzag.insert(zigzag.end(), back.begin(), back.end());
  stroke(tool(SHAPE_ID_PENCIL), zigzag, 4);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(FreeHandTest, ATranslucentStrokeOverItselfIsUniform) {
  paint_context_set_fore_color(pc, test_rgba(200, 0, 0, 128));
  pc->_pen_size = 7;
  // Along y = 40 and back over the same pixels, in several batches.
  std::vector<tpoint> there_and_back = line_points({20, 40}, {180, 40}, 16);
  auto back = line_points({180, 40}, {20, 40}, 16);
  there_and_back.insert(there_and_back.end(), back.begin() + 1, back.end());
  stroke(tool(SHAPE_ID_PENCIL), there_and_back, 3);
  // Once along y = 100 for comparison.
  stroke(tool(SHAPE_ID_PENCIL), line_points({20, 100}, {180, 100}, 16), 3);
  EXPECT_EQ(std::make_pair(pixel(100, 40), pixel(60, 40)), std::make_pair(pixel(100, 100), pixel(60, 100)));
  EXPECT_NE(pixel(100, 40), 0xFFFFFFFFu);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(FreeHandTest, TheEraserPaintsTheOpenedPictureBack) {
  ASSERT_EQ(paint_context_load_picture(pc, test_pattern_bitmap(200, -150, 32).get()), 1);
  paint_context_clear(pc);
  paint_history_reset(history);
  auto opened = canvas_bytes();

  pc->_pen_size = 9;
  stroke(tool(SHAPE_ID_PENCIL), line_points({20, 60}, {180, 60}, 10), 2);
  EXPECT_NE(canvas_bytes(), opened);
  pc->_rubber_size = 30;
  stroke(tool(SHAPE_ID_ERASER), line_points({10, 60}, {190, 60}, 12), 2);
  EXPECT_EQ(canvas_bytes(), opened);
  // cairo no longer holds the wrapper of the picture's pixels as its source.
  EXPECT_EQ(cairo_pattern_get_type(cairo_get_source(paint_context_get_cairo(pc))), CAIRO_PATTERN_TYPE_SOLID);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));

  // At twice the zoom the picture comes back at that zoom.
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  stroke(tool(SHAPE_ID_PENCIL), line_points({40, 200}, {360, 200}, 10), 2);
  stroke(tool(SHAPE_ID_ERASER), line_points({30, 200}, {370, 200}, 10), 2);
  tbitmap *zoomed = paint_context_get_zoomed_base(pc);
  ASSERT_NE(zoomed, nullptr);
  EXPECT_EQ(pixel(200, 200), tbitmap_get_pixel(zoomed, 200, 200));
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(FreeHandTest, TheEraserPaintsTheNewColourOnABlankPainting) {
  paint_context_set_fore_color(pc, test_rgba(0, 0, 0, 255));
  stroke(tool(SHAPE_ID_PENCIL), line_points({20, 75}, {180, 75}, 8), 3);
  EXPECT_EQ(pixel(100, 75), 0xFF000000u);
  pc->_rubber_size = 20;
  stroke(tool(SHAPE_ID_ERASER), line_points({10, 75}, {190, 75}, 8), 3);
  EXPECT_EQ(pixel(100, 75), 0xFFFFFFFFu);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(FreeHandTest, TheSprayStampsEverySpacingthStepAcrossBatches) {
  shape_brush1 *spray = reinterpret_cast<shape_brush1 *>(tool(SHAPE_ID_SPRAY));
  const int32_t length = 150;
  for (uint8_t size : {2, 13, 121}) {  // every step, and two spacings that do not divide the length
    int32_t spacing = shape_brush1_spacing(size);
    pc->_pen_size = size;
    int64_t before = spray->_stamps;
    // Fifteen segments of 10 pixels in batches of four moves: the joints
    // between segments and batches are not counted twice.
    stroke(&spray->_points._base, line_points({20, 75}, {20 + length, 75}, 15), 4);
    EXPECT_EQ(spray->_stamps - before, spacing == 0 ? length + 1 : length / spacing + 1) << "size " << int(size);
  }
  // Below one pixel nothing is stamped, but the stroke is still recorded.
  pc->_pen_size = 1;
  ASSERT_EQ(paint_context_set_zoom(pc, 0.5), 1);
  paint_history_rebuild(history);
  int64_t before = spray->_stamps;
  int32_t count = paint_history_get_count(history);
  stroke(&spray->_points._base, line_points({10, 10}, {60, 40}, 5), 2);
  EXPECT_EQ(spray->_stamps, before);
  EXPECT_EQ(paint_history_get_count(history), count + 1);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(FreeHandTest, ASprayStrokeFarOffTheCanvasIsClippedNotWalked) {
  pc->_pen_size = 12;
  shape *spray = tool(SHAPE_ID_SPRAY);
  stroke(spray, {{100, 75}, {2000000000, 75}, {2000000000, -2000000000}, {-2000000000, 100}, {50, 50}}, 1);
  EXPECT_EQ(paint_history_get_count(history), 1);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(FreeHandTest, AFlushPendingAtPenUpNeverRunsOnTheFinishedStroke) {
  shape *spray = tool(SHAPE_ID_SPRAY);
  pen(spray, SHAPE_PEN_DOWN, 20, 20);
  pen(spray, SHAPE_PEN_MOVE, 80, 80);
  pen(spray, SHAPE_PEN_UP, 120, 60);
  auto after_up = canvas_bytes();
  test_run_active_objects();
  EXPECT_EQ(canvas_bytes(), after_up);
  EXPECT_EQ(paint_history_get_count(history), 1);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

int main(int argc, char **argv) { return paint_test_main(argc, argv); }

// An opaque piece of any length is stroked in parts of SHAPE_POINTS_PIECE_POINTS
// points, each from the last point of the one before: a long self-crossing
// piece shows what the same points stored as such short pieces show.
TEST_F(PaintTest, ALongOpaquePieceIsStrokedAsItsShortPiecesAre) {
  std::mt19937 rng(28);
  std::vector<tpoint> piece, parts;
  for (int i = 0; i < 1500; i++) piece.push_back({int32_t(20 + rng() % 60), int32_t(20 + rng() % 60)});
  int32_t in_part = 0;
  for (size_t i = 0; i < piece.size(); i++) {
    if (in_part == SHAPE_POINTS_PIECE_POINTS) {
      parts.push_back({SHAPE_POINT_MARKER, SHAPE_POINT_MARKER});
      parts.push_back(piece[i - 1]);
      in_part = 1;
    }
    parts.push_back(piece[i]);
    in_part++;
  }
  pc->_pen_size = 5;
  auto replayed = [&](const std::vector<tpoint> &points) {
    paint_context_clear(pc);
    shape_set_data(tool(SHAPE_ID_PENCIL), points.data(), int32_t(points.size() * 8));
    shape_draw(tool(SHAPE_ID_PENCIL), paint_context_get_cairo(pc), nullptr, 1.0);
    return canvas_bytes();
  };
  EXPECT_EQ(replayed(piece), replayed(parts));
}

// A translucent batch strokes its own points only, however many the stroke
// already holds, and the canvas drawn batch by batch is the one a replay of
// the whole stroke gives.
TEST_F(FreeHandTest, ATranslucentBatchStrokesOnlyItsOwnPoints) {
  paint_context_set_fore_color(pc, test_rgba(200, 20, 30, 120));
  pc->_pen_size = 9;
  shape_points *pencil = reinterpret_cast<shape_points *>(tool(SHAPE_ID_PENCIL));
  std::vector<tpoint> points = scribble(7, 3000, {60, 40}, 50);
  pen(&pencil->_base, SHAPE_PEN_DOWN, points[0].x, points[0].y);
  uint64_t most = 0;
  for (size_t i = 1; i < points.size(); i++) {
    pen(&pencil->_base, SHAPE_PEN_MOVE, points[i].x, points[i].y);
    if (i % 5 == 0) {
      uint64_t before = test_cairo_line_tos();
      test_run_active_objects();
      most = std::max(most, test_cairo_line_tos() - before);
    }
  }
  pen(&pencil->_base, SHAPE_PEN_UP, 100, 70);
  EXPECT_EQ(most, 5u) << "five new points from the joint";
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

// The coverage built in pieces gives the picture of one path stroked whole,
// except where the antialiased rims of two pieces cross in one pixel: there
// the larger of the two coverages is kept where the whole path's would be
// their union. Along a stroke the pieces' round ends cover each other's rims
// and nothing differs; where it bends at a joint, a few rim pixels do.
// Measured on these strokes: at most 44 levels of one byte, on 62 and 128
// pixels, and 5 levels on 5 pixels at the bend of the one drawn live; over 60
// random scribbles (pens 1 to 30, alpha 1 to 254, black on white) at most 62
// levels for pens of 5 and more, 88 for pens of 2 to 4, where a crossing pixel
// is rim on both sides. Drawn live, a cover that grows for a later batch must
// hold all of that batch, however far it lies from the first.
TEST_F(FreeHandTest, ATranslucentStrokeInPiecesLooksAsOnePathStrokedWhole) {
  auto whole_path = [&](const std::vector<tpoint> &points, tcolor colour, double width) {
    paint_context_clear(pc);
    cairo_t *cr = paint_context_get_cairo(pc);
    cairo_new_path(cr);
    bool start = true;
    for (const tpoint &p : points) {
      if (p.x == SHAPE_POINT_MARKER && p.y == SHAPE_POINT_MARKER) {
        start = true;
      } else {
        if (start) cairo_move_to(cr, p.x, p.y);
        else cairo_line_to(cr, p.x, p.y);
        start = false;
      }
    }
    cairo_set_source_rgba(cr, colour.red / 255.0, colour.green / 255.0, colour.blue / 255.0, colour.alpha / 255.0);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
    cairo_surface_flush(cairo_get_target(cr));
    return canvas_bytes();
  };
  auto in_pieces = [&](const std::vector<tpoint> &points) {
    paint_context_clear(pc);
    shape_set_data(tool(SHAPE_ID_PENCIL), points.data(), int32_t(points.size() * 8));
    shape_draw(tool(SHAPE_ID_PENCIL), paint_context_get_cairo(pc), nullptr, 1.0);
    return canvas_bytes();
  };
  struct {
    std::vector<tpoint> points;  // the stored form; with a batch, the pen's points
    int batch;                   // > 0: drawn live by the pen in batches of this many points
    tcolor colour;
    uint8_t pen_size;
    int worst, pixels;
  } cases[] = {
      {scribble(1, 1500, {30, 30}, 60), 0, test_rgba(0, 0, 0, 200), 7, 48, 80},  // one long piece crossing itself
      {expected_stroke(scribble(2, 400, {20, 20}, 160), 3), 0, test_rgba(200, 20, 30, 100), 11, 32, 200},
      {expected_stroke(line_points({10, 75}, {190, 75}, 60), 2), 0, test_rgba(20, 20, 200, 254), 5, 0, 0},
      // The second batch reaches far left of and above the first one's cover.
      {{{185, 135}, {182, 133}, {180, 130}, {20, 10}, {15, 12}}, 2, test_rgba(0, 90, 0, 150), 9, 8, 10},
  };
  for (auto &c : cases) {
    pc->_pen_size = c.pen_size;
    paint_context_set_fore_color(pc, c.colour);
    std::vector<tpoint> stored = c.points;
    std::vector<uint8_t> drawn;
    if (c.batch > 0) {
      paint_context_clear(pc);
      stroke(tool(SHAPE_ID_PENCIL), c.points, c.batch);
      drawn = canvas_bytes();
      stored = stored_points(paint_history_get_record(history, paint_history_get_count(history) - 1));
    } else {
      drawn = in_pieces(c.points);
    }
    auto [worst, pixels] = difference(whole_path(stored, c.colour, shape_line_width(pc)), drawn);
    EXPECT_LE(worst, c.worst) << "pen " << int(c.pen_size);
    EXPECT_LE(pixels, c.pixels) << "pen " << int(c.pen_size);
  }
}
