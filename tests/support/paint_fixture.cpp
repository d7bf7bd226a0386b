// The painting used by the tool and history tests.
#include "paint_fixture.h"

#include <cstdlib>
#include <cstring>

#include "shape_brush1.h"
#include "shape_circle.h"
#include "shape_curve.h"
#include "shape_flood.h"
#include "shape_heart.h"
#include "shape_line.h"
#include "shape_pencil.h"
#include "shape_pentagram.h"
#include "shape_polygon.h"
#include "shape_position.h"
#include "shape_rect.h"
#include "shape_rubber.h"
#include "shape_straw.h"
#include "shape_text.h"
#include "test_env.h"
#include "port_test_app.h"
#include "tstyler.h"
#include "wins_window.h"

tcolor test_rgba(int r, int g, int b, int a) {
  tcolor c;
  return *tcolor_make(&c, r, g, b, a);
}

::testing::AssertionResult canvas_matches_rebuild(paint_context *pc, paint_history *history) {
  tbitmap *canvas = paint_context_get_canvas(pc);
  if (!canvas) return ::testing::AssertionFailure() << "no canvas";
  cairo_surface_flush(cairo_get_target(paint_context_get_cairo(pc)));
  int32_t width = tbitmap_get_width(canvas), height = tbitmap_get_height(canvas);
  std::vector<uint32_t> live(size_t(width) * height);
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) live[size_t(y) * width + x] = tbitmap_get_pixel(canvas, x, y);

  int saved = history->_use_checkpoints;
  paint_history_set_use_checkpoints(history, 0);
  paint_history_replay(history, 0);
  paint_history_set_use_checkpoints(history, saved);

  canvas = paint_context_get_canvas(pc);
  cairo_surface_flush(cairo_get_target(paint_context_get_cairo(pc)));
  if (tbitmap_get_width(canvas) != width || tbitmap_get_height(canvas) != height)
    return ::testing::AssertionFailure() << "live canvas " << width << "x" << height << ", rebuild "
                                         << tbitmap_get_width(canvas) << "x" << tbitmap_get_height(canvas);
  int64_t differing = 0;
  int32_t first_x = -1, first_y = -1;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++)
      if (tbitmap_get_pixel(canvas, x, y) != live[size_t(y) * width + x]) {
        if (differing++ == 0) first_x = x, first_y = y;
      }
  if (differing == 0) return ::testing::AssertionSuccess();
  char text[160];
  std::snprintf(text, sizeof text, "%lld pixels differ; first at (%d, %d): live %08x, rebuild %08x",
                static_cast<long long>(differing), first_x, first_y, live[size_t(first_y) * width + first_x],
                tbitmap_get_pixel(canvas, first_x, first_y));
  return ::testing::AssertionFailure() << text;
}

void test_run_active_objects() { port_test_pump(); }

int paint_test_main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return port_test_run_app([] { return RUN_ALL_TESTS(); });
}

void PaintTest::SetUp() {
  home = test_make_temp_dir("paint");
  ASSERT_FALSE(home.empty());
  setenv("BRIVOLA_HOME", home.c_str(), 1);
  ASSERT_NE(wins_window_get_context(), nullptr) << "the test program's main must be paint_test_main";
  // The Curve's overlay and the Color Picker's swatch are controls.
  ASSERT_EQ(tstyler_load_defaults(), 1);
  make_painting(200, 150);
}

void PaintTest::TearDown() {
  free_painting();
  tstyler_free_defaults();
  test_remove_tree(home);
}

void PaintTest::make_painting(int32_t width, int32_t height) {
  free_painting();
  pc = paint_context_new(nullptr, width, height, test_rgba(20, 40, 200, 255), test_rgba(250, 250, 0, 255),
                         test_rgba(255, 255, 255, 255), 5, 0, 0, 0, 12);
  ASSERT_NE(pc, nullptr);
  paint_context_clear(pc);
  history = paint_history_new(pc, (home + "/cache").c_str());
  ASSERT_NE(history, nullptr);
  auto add = [this](shape *made, void (*free_fn)(shape *)) {
    ASSERT_NE(made, nullptr);
    tools.push_back({made, free_fn});
    paint_context_add_tool(pc, made);
  };
  add(shape_pencil_new(SHAPE_ID_PENCIL, u"Pencil", pc, history, nullptr), shape_pencil_free);
  add(shape_line_new(SHAPE_ID_LINE, u"Line", pc, history, nullptr), shape_line_free);
  add(shape_rubber_new(SHAPE_ID_ERASER, u"Eraser", pc, history, nullptr), shape_rubber_free);
  add(shape_brush1_new(SHAPE_ID_SPRAY, u"Spray Brush", pc, history, nullptr), shape_brush1_free);
  for (int mode = 1; mode <= 2; mode++) {
    add(shape_rect_new(100 + mode, u"Rectangle", pc, history, mode, nullptr), shape_rect_free);
    add(shape_roundrect_new(102 + mode, u"Round Rectangle", pc, history, mode, nullptr), shape_roundrect_free);
    add(shape_polygon_new(300 + mode, u"Triangle", pc, history, mode, 3, 0, nullptr), shape_polygon_free);
    add(shape_polygon_new(302 + mode, u"Rhombus", pc, history, mode, 4, 1, nullptr), shape_polygon_free);
    add(shape_polygon_new(304 + mode, u"Pentagon", pc, history, mode, 5, 0, nullptr), shape_polygon_free);
    add(shape_pentagram_new(306 + mode, u"Pentagram", pc, history, mode, nullptr), shape_pentagram_free);
    add(shape_heart_new(308 + mode, u"Heart", pc, history, mode, nullptr), shape_heart_free);
  }
  for (int mode = 1; mode <= 4; mode++)
    add(shape_circle_new(200 + mode, u"Ellipse", pc, history, mode, nullptr), shape_circle_free);
  add(shape_position_new(SHAPE_ID_PAN, u"Pan", pc, history, nullptr), shape_position_free);
  add(shape_text_new(SHAPE_ID_TEXT, u"Text", pc, history, nullptr), shape_text_free);
  add(shape_straw_new(SHAPE_ID_COLOR_PICKER, u"Color Picker", pc, history, nullptr), shape_straw_free);
  add(shape_flood_new(SHAPE_ID_PAINT_BUCKET, u"Paint Bucket", pc, history, nullptr), shape_flood_free);
  add(shape_curve_new(SHAPE_ID_CURVE, u"Curve", pc, history, nullptr), shape_curve_free);
}

void PaintTest::free_painting() {
  for (const owned_tool &t : tools) t.free(t.tool);
  tools.clear();
  if (history) paint_history_free(history);
  if (pc) paint_context_free(pc);
  history = nullptr;
  pc = nullptr;
}

int32_t PaintTest::pen(shape *tool, int32_t type, int32_t x, int32_t y) {
  tpoint origin;
  paint_context_get_origin(pc, &origin);
  return shape_input(tool, type, x + origin.x, y + origin.y, 0);
}

void PaintTest::stroke(shape *tool, const std::vector<tpoint> &points, int batch) {
  ASSERT_FALSE(points.empty());
  pen(tool, SHAPE_PEN_DOWN, points.front().x, points.front().y);
  for (size_t i = 1; i + 1 < points.size(); i++) {
    pen(tool, SHAPE_PEN_MOVE, points[i].x, points[i].y);
    if (batch > 0 && i % size_t(batch) == 0) test_run_active_objects();
  }
  pen(tool, SHAPE_PEN_UP, points.back().x, points.back().y);
}

void PaintTest::drag(shape *tool, tpoint a, tpoint b) {
  pen(tool, SHAPE_PEN_DOWN, a.x, a.y);
  pen(tool, SHAPE_PEN_MOVE, (a.x + b.x) / 2, (a.y + b.y) / 2);
  test_run_active_objects();
  pen(tool, SHAPE_PEN_MOVE, b.x, b.y);
  test_run_active_objects();
  pen(tool, SHAPE_PEN_UP, b.x, b.y);
}

std::vector<uint8_t> PaintTest::canvas_bytes() const {
  tbitmap *canvas = paint_context_get_canvas(pc);
  cairo_surface_flush(cairo_get_target(paint_context_get_cairo(pc)));
  size_t bytes = size_t(tbitmap_get_stride(canvas)) * tbitmap_get_height(canvas);
  return std::vector<uint8_t>(canvas->_pixels, canvas->_pixels + bytes);
}

uint32_t PaintTest::pixel(int32_t x, int32_t y) const {
  cairo_surface_flush(cairo_get_target(paint_context_get_cairo(pc)));
  return tbitmap_get_pixel(paint_context_get_canvas(pc), x, y);
}

std::string PaintTest::checkpoint_path(int32_t index, int32_t zoom_percent) const {
  char path[512];
  paint_history_checkpoint_path(history, index, zoom_percent, path, sizeof path);
  return path;
}
