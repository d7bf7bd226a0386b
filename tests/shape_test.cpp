// The tool base and the two-point tools: the shapes' exact paths, the pen
// protocol with its coalesced previews, and the invariant that what pen-up
// records is what the canvas shows (checked against a rebuild).
#include "shape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "paint_fixture.h"
#include "shape_circle.h"
#include "shape_heart.h"
#include "shape_line.h"
#include "shape_pentagram.h"
#include "shape_polygon.h"
#include "shape_rect.h"

namespace {

// cairo keeps path coordinates in 24.8 fixed point.
constexpr double FIXED = 1.0 / 256;

struct element {
  cairo_path_data_type_t type;
  std::vector<double> xy;
};

// The path a builder leaves on a plain cairo context, element by element.
template <typename Build>
std::vector<element> path_of(Build build, double box[4], int *built = nullptr) {
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
  cairo_t *cr = cairo_create(surface);
  int result = build(cr, box);
  if (built) *built = result;
  cairo_path_t *path = cairo_copy_path(cr);
  std::vector<element> out;
  for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
    const cairo_path_data_t *d = &path->data[i];
    element e{d->header.type, {}};
    for (int k = 1; k < d->header.length; k++) {
      e.xy.push_back(d[k].point.x);
      e.xy.push_back(d[k].point.y);
    }
    out.push_back(e);
  }
  cairo_path_destroy(path);
  EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return out;
}

std::string describe(const std::vector<element> &path) {
  std::string s;
  const char *names[] = {"M", "L", "C", "Z"};
  for (const element &e : path) {
    s += names[e.type];
    for (double v : e.xy) s += " " + std::to_string(v);
    s += "; ";
  }
  return s;
}

void expect_path(const std::vector<element> &got, const std::vector<element> &want) {
  ASSERT_EQ(got.size(), want.size()) << describe(got);
  for (size_t i = 0; i < want.size(); i++) {
    EXPECT_EQ(got[i].type, want[i].type) << "element " << i << ": " << describe(got);
    ASSERT_EQ(got[i].xy.size(), want[i].xy.size()) << "element " << i;
    for (size_t k = 0; k < want[i].xy.size(); k++)
      EXPECT_NEAR(got[i].xy[k], want[i].xy[k], FIXED) << "element " << i << " value " << k << ": " << describe(got);
  }
}

// The end points of a path's curves.
std::vector<double> curve_ends(const std::vector<element> &path) {
  std::vector<double> ends;
  for (const element &e : path)
    if (e.type == CAIRO_PATH_CURVE_TO) ends.insert(ends.end(), {e.xy[4], e.xy[5]});
  return ends;
}

void expect_values(const std::vector<double> &got, const std::vector<double> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) EXPECT_NEAR(got[i], want[i], FIXED) << "value " << i;
}

void expect_box(const double box[4], double x1, double y1, double x2, double y2) {
  expect_values({box, box + 4}, {x1, y1, x2, y2});
}

const auto M = CAIRO_PATH_MOVE_TO;
const auto L = CAIRO_PATH_LINE_TO;
const auto C = CAIRO_PATH_CURVE_TO;
const auto Z = CAIRO_PATH_CLOSE_PATH;

}  // namespace

TEST(ShapePaths, RectangleDraggedUpLeftKeepsItsRawCornerAndCoversTheNormalisedPixels) {
  double box[4];
  auto path = path_of([](cairo_t *cr, double *b) { return shape_rect_path(cr, 50, 50, 10, 20, b); }, box);
  // Width -39 and height -29 from (50, 50).
  expect_path(path, {{M, {50, 50}}, {L, {11, 50}}, {L, {11, 21}}, {L, {50, 21}}, {Z, {}}, {M, {50, 50}}});
  expect_box(box, 10, 20, 50, 50);

  auto filled = [](int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_A8, 64, 64);
    cairo_t *cr = cairo_create(s);
    double b[4];
    shape_rect_path(cr, x0, y0, x1, y1, b);
    cairo_fill(cr);
    cairo_surface_flush(s);
    std::vector<uint8_t> bytes(cairo_image_surface_get_data(s),
                               cairo_image_surface_get_data(s) + 64 * cairo_image_surface_get_stride(s));
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    return bytes;
  };
  // Dragged up-left the raw rectangle covers columns 11..49 and rows 21..49,
  // the pixels of the rectangle from (11, 21) to (49, 49) dragged right-down.
  EXPECT_EQ(filled(50, 50, 10, 20), filled(11, 21, 49, 49));
}

TEST(ShapePaths, RoundRectangleHalvesARadiusOnlyWhenItsSideIsTooShort) {
  double box[4];
  // 30 wide: the horizontal radius becomes 15; 40 high: the vertical stays 20.
  // (cairo leaves out the straight sides of zero length.)
  auto path = path_of([](cairo_t *cr, double *b) { return shape_roundrect_path(cr, 10, 5, 39, 44, b); }, box);
  ASSERT_FALSE(path.empty());
  expect_path({path[0]}, {{M, {25, 5}}});
  expect_values(curve_ends(path), {40, 25, 25, 45, 10, 25, 25, 5});
  const double k = 0.55228475;
  ASSERT_EQ(path[1].type, C);
  expect_values(path[1].xy, {25 + 15 * k, 5, 40, 5 + 20 * k, 40, 25});
  expect_box(box, 10, 5, 39, 44);

  // 100 x 39: the horizontal radius stays 20, the vertical one becomes 39 / 2 = 19.
  path = path_of([](cairo_t *cr, double *b) { return shape_roundrect_path(cr, 10, 5, 109, 43, b); }, box);
  expect_path({path[0], path[1]}, {{M, {30, 5}}, {L, {90, 5}}});
  expect_values(curve_ends(path), {110, 24, 90, 44, 10, 25, 30, 5});
}

TEST(ShapePaths, CircleSquaresItsBoxFromTheCornerTheDragStartedAt) {
  struct row {
    int32_t x0, y0, x1, y1, mode;
    double x1e, y1e, x2e, y2e;  // path extents
  } rows[] = {
      {0, 0, 99, 59, SHAPE_MODE_CIRCLE_OUTLINE, 0, 0, 60, 60},     // right-down keeps top-left
      {99, 59, 0, 0, SHAPE_MODE_CIRCLE_FILLED, 40, 0, 100, 60},    // left-up keeps bottom-right
      {0, 0, 59, 99, SHAPE_MODE_CIRCLE_OUTLINE, 0, 0, 60, 60},     // taller: bottom moves up
      {59, 99, 0, 0, SHAPE_MODE_CIRCLE_OUTLINE, 0, 40, 60, 100},   // taller, from the far corner
      {0, 0, 99, 59, SHAPE_MODE_OUTLINE, 0, 0, 100, 60},           // an ellipse keeps the box
  };
  for (const row &r : rows) {
    double box[4];
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_A8, 8, 8);
    cairo_t *cr = cairo_create(s);
    ASSERT_EQ(shape_circle_path(cr, r.mode, r.x0, r.y0, r.x1, r.y1, box), 1);
    double e[4];
    cairo_path_extents(cr, &e[0], &e[1], &e[2], &e[3]);
    SCOPED_TRACE(testing::Message() << r.x0 << "," << r.y0 << " -> " << r.x1 << "," << r.y1);
    expect_box(e, r.x1e, r.y1e, r.x2e, r.y2e);
    expect_box(box, r.x1e, r.y1e, r.x2e - 1, r.y2e - 1);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
}

// A rhombus has its vertices at the middles of the box edges.
TEST(ShapePaths, PolygonsStartAtTheEndPointAndComeBackToIt) {
  double box[4];
  auto path = path_of([](cairo_t *cr, double *b) { return shape_polygon_path(cr, 4, 1, 0, 0, 100, 50, b); }, box);
  expect_path(path, {{M, {50, 0}}, {L, {100, 25}}, {L, {50, 50}}, {L, {0, 25}}, {L, {50, 0}}});
  expect_box(box, 0, 0, 100, 50);
  // A pentagon whose end lies straight above its start points up.
  path = path_of([](cairo_t *cr, double *b) { return shape_polygon_path(cr, 5, 0, 50, 50, 50, 10, b); }, box);
  ASSERT_EQ(path.size(), 6u) << describe(path);
  expect_path({path[0]}, {{M, {50, 10}}});
  EXPECT_NEAR(path[5].xy[0], 50, FIXED);
  EXPECT_NEAR(path[5].xy[1], 10, FIXED);
  for (size_t i = 1; i < 5; i++) {
    EXPECT_GT(path[i].xy[1], 10 + 1);
    double dx = path[i].xy[0] - 50, dy = path[i].xy[1] - 50;
    EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), 40, 2 * FIXED);
  }
  expect_box(box, 10, 10, 90, 90);

  path = path_of([](cairo_t *cr, double *b) { return shape_polygon_path(cr, 3, 0, 0, 0, 30, 40, b); }, box);
  EXPECT_EQ(path.size(), 4u) << describe(path);
  expect_box(box, -50, -50, 50, 50);
}

TEST(ShapePaths, PentagramAlternatesInnerAndOuterPointsTenTimes) {
  double box[4];
  auto path = path_of([](cairo_t *cr, double *b) { return shape_pentagram_path(cr, 50, 50, 50, 10, b); }, box);
  ASSERT_EQ(path.size(), 11u) << describe(path);
  expect_path({path[0]}, {{M, {50, 10}}});
  double inner = 40 * std::cos(1.2566370614359172) / std::cos(0.6283185307179586);
  for (size_t i = 1; i <= 10; i++) {
    double dx = path[i].xy[0] - 50, dy = path[i].xy[1] - 50;
    EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), i % 2 ? inner : 40, 2 * FIXED) << "point " << i;
  }
  EXPECT_NEAR(path[10].xy[0], 50, FIXED);
  EXPECT_NEAR(path[10].xy[1], 10, FIXED);
  expect_box(box, 10, 10, 90, 90);
}

TEST(ShapePaths, HeartIsTwoMirroredLobesFromTheNotchToTheTip) {
  double box[4];
  auto path = path_of([](cairo_t *cr, double *b) { return shape_heart_path(cr, 0, 0, 0, 100, b); }, box);
  // Left lobe: controls at a - pi/3 from the notch and a - 2 pi/7 from the tip (a = pi/2).
  double c1x = std::cos(M_PI / 2 - 1.0471975511965976) * 100, c1y = std::sin(M_PI / 2 - 1.0471975511965976) * 100;
  double c2x = std::cos(M_PI / 2 - 0.8975979010256552) * 100,
         c2y = 100 + std::sin(M_PI / 2 - 0.8975979010256552) * 100;
  expect_path(path, {{M, {0, 0}}, {C, {c1x, c1y, c2x, c2y, 0, 100}}, {M, {0, 0}}, {C, {-c1x, c1y, -c2x, c2y, 0, 100}}});
  expect_box(box, std::trunc(-c1x), 0, std::trunc(c1x), std::trunc(c2y));
}

TEST(ShapePaths, EqualPointsGiveNoStarShapedPathAndNoNaN) {
  double box[4];
  int built = -1;
  int (*builders[])(cairo_t *, double *) = {
      [](cairo_t *cr, double *b) { return shape_polygon_path(cr, 5, 0, 7, 7, 7, 7, b); },
      [](cairo_t *cr, double *b) { return shape_pentagram_path(cr, 7, 7, 7, 7, b); },
      [](cairo_t *cr, double *b) { return shape_heart_path(cr, 7, 7, 7, 7, b); }};
  for (auto build : builders) {
    EXPECT_TRUE(path_of(build, box, &built).empty());
    EXPECT_EQ(built, 0);
  }
  // Extreme but legal coordinates: the cosine stays within [-1, 1].
  auto path = path_of(
      [](cairo_t *cr, double *b) { return shape_pentagram_path(cr, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, b); },
      box, &built);
  EXPECT_EQ(built, 1);
  for (const element &e : path)
    for (double v : e.xy) EXPECT_FALSE(std::isnan(v));
}

TEST(ShapeBase, NamesAreCutAndEmptySlotsDoNothing) {
  shape tool{};
  std::u16string long_name(70, u'n');
  shape_init(&tool, 77, long_name.c_str(), nullptr, nullptr, nullptr);
  EXPECT_EQ(std::u16string(shape_get_name(&tool)), std::u16string(63, u'n'));
  std::u16string text(1024, u'd');
  shape_set_description(&tool, text.c_str());
  EXPECT_EQ(std::u16string(shape_get_description(&tool)), std::u16string(1023, u'd'));
  shape_set_description(&tool, u"short");
  EXPECT_EQ(std::u16string(shape_get_description(&tool)), u"short");

  EXPECT_EQ(shape_input(&tool, SHAPE_PEN_DOWN, 1, 1, 0), 0);
  shape_draw(&tool, nullptr, nullptr, 1.0);
  shape_reset(&tool);
  shape_set_data(&tool, "x", 1);
  EXPECT_EQ(shape_get_id(&tool), 77);
}

class TwoPointTest : public PaintTest {};

namespace {
int draws = 0;
shape_draw_slot counted_slot = nullptr;
void counting_draw(shape *tool, cairo_t *cr, const trect *rect, double scale) {
  draws++;
  counted_slot(tool, cr, rect, scale);
}
}  // namespace

// A tap records nothing; ten moves make one preview; a preview still pending
// at pen-up is drawn before the record.
TEST_F(TwoPointTest, TapRecordsNothingAndMovesMakeOnePreviewDrawnByPenUp) {
  shape *line = tool(SHAPE_ID_LINE);
  auto before = canvas_bytes();
  pen(line, SHAPE_PEN_DOWN, 40, 40);
  pen(line, SHAPE_PEN_UP, 40, 40);
  EXPECT_EQ(paint_history_get_count(history), 0);
  EXPECT_EQ(canvas_bytes(), before);

  draws = 0;
  counted_slot = line->_draw;
  shape_set_draw_fn(line, counting_draw);
  pen(line, SHAPE_PEN_DOWN, 10, 10);
  for (int i = 1; i <= 10; i++) pen(line, SHAPE_PEN_MOVE, 10 + 10 * i, 10 + 5 * i);
  test_run_active_objects();
  EXPECT_EQ(draws, 1);
  pen(line, SHAPE_PEN_UP, 110, 60);
  EXPECT_EQ(draws, 1);  // the preview already shows the final line
  shape_set_draw_fn(line, counted_slot);
  EXPECT_EQ(paint_history_get_count(history), 1);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));

  shape *rect = tool(SHAPE_ID_FILLED_RECT);
  before = canvas_bytes();
  pen(rect, SHAPE_PEN_DOWN, 20, 20);
  pen(rect, SHAPE_PEN_MOVE, 60, 50);
  pen(rect, SHAPE_PEN_UP, 60, 50);  // the loop never ran
  ASSERT_EQ(paint_history_get_count(history), 2);
  EXPECT_NE(canvas_bytes(), before);
  test_run_active_objects();  // nothing left to run on the finished drag
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(TwoPointTest, ADragBackToItsStartLeavesNoPreviewBehind) {
  auto before = canvas_bytes();
  for (int32_t id : {SHAPE_ID_LINE, SHAPE_ID_FILLED_PENTAGON, SHAPE_ID_PENTAGRAM, SHAPE_ID_FILLED_HEART}) {
    shape *t = tool(id);
    pen(t, SHAPE_PEN_DOWN, 30, 30);
    pen(t, SHAPE_PEN_MOVE, 120, 90);
    test_run_active_objects();
    pen(t, SHAPE_PEN_MOVE, 30, 30);
    if (id != SHAPE_ID_LINE) test_run_active_objects();  // a preview of equal points draws nothing
    pen(t, SHAPE_PEN_UP, 30, 30);
    EXPECT_EQ(canvas_bytes(), before) << "tool " << id;
    EXPECT_EQ(cairo_status(paint_context_get_cairo(pc)), CAIRO_STATUS_SUCCESS);
  }
  EXPECT_EQ(paint_history_get_count(history), 0);
}

TEST_F(TwoPointTest, PreviewsOffTheScreenAreUndoneToo) {
  // Most of the canvas lies left of and above the screen: a large first
  // preview paints pixels the screen never shows, a smaller final one must
  // leave none of them behind.
  make_painting(600, 500);
  paint_context_set_origin(pc, -400, -350);
  shape *circle = tool(SHAPE_ID_FILLED_CIRCLE);
  pen(circle, SHAPE_PEN_DOWN, 420, 380);
  pen(circle, SHAPE_PEN_MOVE, 20, 20);
  test_run_active_objects();
  pen(circle, SHAPE_PEN_MOVE, 400, 360);
  test_run_active_objects();
  pen(circle, SHAPE_PEN_UP, 400, 360);
  EXPECT_EQ(paint_history_get_count(history), 1);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(TwoPointTest, EveryShapeInEveryModeRebuildsToTheSamePixels) {
  const int32_t ids[] = {SHAPE_ID_LINE,     SHAPE_ID_RECT,      SHAPE_ID_FILLED_RECT,     SHAPE_ID_ROUNDRECT,
                         SHAPE_ID_FILLED_ROUNDRECT, SHAPE_ID_ELLIPSE, SHAPE_ID_FILLED_ELLIPSE, SHAPE_ID_CIRCLE,
                         SHAPE_ID_FILLED_CIRCLE, SHAPE_ID_TRIANGLE, SHAPE_ID_FILLED_TRIANGLE, SHAPE_ID_RHOMBUS,
                         SHAPE_ID_FILLED_RHOMBUS, SHAPE_ID_PENTAGON, SHAPE_ID_FILLED_PENTAGON, SHAPE_ID_PENTAGRAM,
                         SHAPE_ID_FILLED_PENTAGRAM, SHAPE_ID_HEART,  SHAPE_ID_FILLED_HEART};
  for (int n = 0; n < int(std::size(ids)); n++) {
    paint_context_set_fore_color(pc, test_rgba(n * 13 % 256, 90, 200 - n * 7, n % 3 ? 255 : 140));
    drag(tool(ids[n]), {20 + n * 7 % 100, 30 + n * 11 % 60}, {150 - n * 3, 20 + n * 5});
  }
  EXPECT_EQ(paint_history_get_count(history), int32_t(std::size(ids)));
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(TwoPointTest, ARectangleIsDrawnTheSameWhateverToolDrewBeforeIt) {
  // Cap and join are state of the shared cairo context: a rectangle drawn
  // after a triangle (round joins) must still get its miter corners, or a
  // replay that starts at a checkpoint between them draws other pixels.
  paint_context_set_fore_color(pc, test_rgba(0, 0, 0, 255));
  drag(tool(SHAPE_ID_RECT), {40, 40}, {120, 100});
  auto alone = canvas_bytes();
  paint_context_clear(pc);
  paint_history_reset(history);
  drag(tool(SHAPE_ID_TRIANGLE), {20, 20}, {25, 25});
  paint_context_clear(pc);
  drag(tool(SHAPE_ID_RECT), {40, 40}, {120, 100});
  EXPECT_EQ(canvas_bytes(), alone);
}

TEST_F(TwoPointTest, AReplayAtTwiceTheZoomDoublesThePointsButNotThePen) {
  drag(tool(SHAPE_ID_PENTAGON), {60, 50}, {80, 20});
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  auto replayed = canvas_bytes();

  paint_history_reset(history);
  paint_context_clear(pc);
  shape *pentagon = tool(SHAPE_ID_PENTAGON);
  uint8_t payload[16];
  int32_t points[4] = {120, 100, 160, 40};
  std::memcpy(payload, points, 16);
  shape_set_data(pentagon, payload, 16);
  shape_draw(pentagon, paint_context_get_cairo(pc), nullptr, 1.0);
  EXPECT_EQ(canvas_bytes(), replayed);
}

TEST_F(TwoPointTest, APenDownInsideADragAbandonsTheFirstDrag) {
  shape *ellipse = tool(SHAPE_ID_FILLED_ELLIPSE);
  pen(ellipse, SHAPE_PEN_DOWN, 10, 10);
  pen(ellipse, SHAPE_PEN_MOVE, 150, 120);
  test_run_active_objects();
  drag(ellipse, {50, 50}, {70, 60});
  EXPECT_EQ(paint_history_get_count(history), 1);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(TwoPointTest, DamagedPayloadsDrawNothing) {
  auto before = canvas_bytes();
  shape *line = tool(SHAPE_ID_LINE);
  uint8_t payload[20] = {};
  for (int32_t length : {0, 4, 15, 17, 20}) {
    shape_set_data(line, payload, length);
    shape_draw(line, paint_context_get_cairo(pc), nullptr, 1.0);
  }
  shape_set_data(line, nullptr, 16);
  shape_draw(line, paint_context_get_cairo(pc), nullptr, 1.0);
  EXPECT_EQ(canvas_bytes(), before);
}

int main(int argc, char **argv) { return paint_test_main(argc, argv); }
