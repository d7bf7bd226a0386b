// The painting context: zoom and origin arithmetic, refresh clipping, picture
// loading under a lowered pixel budget, crops that keep the base picture under
// the painting, and the opaque fourth byte cairo relies on.
#include "paint_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "port_device.h"
#include "shape.h"
#include "tscreen.h"

namespace {

tcolor rgba(int r, int g, int b, int a) {
  tcolor c;
  return *tcolor_make(&c, r, g, b, a);
}

// Restores the pixel budget whatever a test did to it.
struct budget_guard {
  uint64_t saved = tbitmap_get_budget();
  ~budget_guard() { tbitmap_set_budget(saved); }
};

struct screen_size_t {
  int32_t w = 0, h = 0;
  screen_size_t() { port_device_get_screen_size(&w, &h); }
};

paint_context *new_context(tscreen *screen, int32_t w, int32_t h) {
  return paint_context_new(screen, w, h, rgba(0, 0, 0, 255), rgba(255, 255, 255, 255), rgba(10, 20, 30, 255), 3, 0,
                           0, 0, 8);
}

// A picture whose every pixel tells where it came from.
tbitmap *pattern_picture(int32_t w, int32_t h, int bpp, uint8_t fourth = 255) {
  tbitmap *b = tbitmap_new(w, h, bpp);
  for (int32_t y = 0; y < tbitmap_get_height(b); y++)
    for (int32_t x = 0; x < w; x++) {
      uint32_t rgb = uint32_t(x * 7 & 0xFF) << 16 | uint32_t(y * 5 & 0xFF) << 8 | uint32_t((x + y) & 0xFF);
      tbitmap_set_pixel(b, x, y, bpp == 32 ? rgb | uint32_t(fourth) << 24 : rgb);
    }
  return b;
}

uint32_t pattern_at(int32_t x, int32_t y) {
  return 0xFF000000u | uint32_t(x * 7 & 0xFF) << 16 | uint32_t(y * 5 & 0xFF) << 8 | uint32_t((x + y) & 0xFF);
}

bool all_opaque(const tbitmap *b) {
  for (int32_t y = 0; y < tbitmap_get_height(b); y++)
    for (int32_t x = 0; x < tbitmap_get_width(b); x++)
      if ((tbitmap_get_pixel(b, x, y) >> 24) != 0xFF) return false;
  return true;
}

int32_t canvas_w(const paint_context *pc) { return tbitmap_get_width(paint_context_get_canvas(pc)); }
int32_t canvas_h(const paint_context *pc) { return tbitmap_get_height(paint_context_get_canvas(pc)); }

}  // namespace

TEST(PaintContextZoom, TruncatesClampsAndNeverEmptiesTheCanvas) {
  paint_context *pc = new_context(nullptr, 101, 51);
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(paint_context_set_zoom(pc, 0.5), 1);
  EXPECT_EQ(canvas_w(pc), 50);
  EXPECT_EQ(canvas_h(pc), 25);

  EXPECT_EQ(paint_context_set_zoom(pc, 12.0), 1);
  EXPECT_EQ(paint_context_get_zoom(pc), 10.0);
  EXPECT_EQ(canvas_w(pc), 1010);

  // A zoom that would leave no pixel keeps one on each side.
  EXPECT_EQ(paint_context_set_zoom(pc, 0.001), 1);
  EXPECT_EQ(canvas_w(pc), 1);
  EXPECT_EQ(canvas_h(pc), 1);
  EXPECT_NE(paint_context_get_cairo(pc), nullptr);

  // No zoom at all is refused and changes nothing.
  EXPECT_EQ(paint_context_set_zoom(pc, 0.0), 0);
  EXPECT_EQ(paint_context_set_zoom(pc, -2.0), 0);
  EXPECT_EQ(paint_context_set_zoom(pc, std::nan("")), 0);
  EXPECT_EQ(paint_context_get_zoom(pc), 0.001);
  paint_context_free(pc);
}

TEST(PaintContextZoom, OutOfBudgetKeepsTheOldCanvasAndZoom) {
  budget_guard guard;
  paint_context *pc = new_context(nullptr, 100, 100);
  ASSERT_NE(pc, nullptr);
  tbitmap_set_budget(100 * 100 * 4);
  tbitmap *before = paint_context_get_canvas(pc);
  EXPECT_EQ(paint_context_set_zoom(pc, 2.0), -1);
  EXPECT_EQ(paint_context_get_zoom(pc), 1.0);
  EXPECT_EQ(paint_context_get_canvas(pc), before);
  EXPECT_EQ(canvas_w(pc), 100);
  paint_context_free(pc);
}

TEST(PaintContextOrigin, CentredOnCreationAndBlankAndMovedOnRotation) {
  screen_size_t s;
  paint_context *pc = new_context(nullptr, 101, 51);
  ASSERT_NE(pc, nullptr);
  tpoint o;
  paint_context_get_origin(pc, &o);
  EXPECT_EQ(o.x, s.w / 2 - 50);
  EXPECT_EQ(o.y, s.h / 2 - 25);

  ASSERT_EQ(paint_context_load_blank(pc, 2 * s.w + 1, 7, rgba(1, 2, 3, 255)), 1);
  paint_context_get_origin(pc, &o);
  EXPECT_EQ(o.x, s.w / 2 - s.w);
  EXPECT_EQ(o.y, s.h / 2 - 3);

  // Same screen size: no rotation, origin untouched.
  EXPECT_EQ(paint_context_update_screen_size(pc), 0);
  EXPECT_EQ(paint_context_get_origin_ptr(pc)->x, o.x);
  // The last size was a rotated one: the origin moves by the half difference.
  pc->_last_screen_width = s.h;
  pc->_last_screen_height = s.w;
  EXPECT_EQ(paint_context_update_screen_size(pc), 1);
  EXPECT_EQ(paint_context_get_origin_ptr(pc)->x, o.x + s.w / 2 - s.h / 2);
  EXPECT_EQ(paint_context_get_origin_ptr(pc)->y, o.y + s.h / 2 - s.w / 2);
  paint_context_free(pc);
}

TEST(PaintContextTools, TableHolds128AndFindsTheFirstOfAnId) {
  paint_context *pc = new_context(nullptr, 8, 8);
  ASSERT_NE(pc, nullptr);
  std::vector<shape> tools(129);
  for (int i = 0; i < 128; i++) {
    tools[i]._id = i < 2 ? 7 : 100 + i;
    ASSERT_EQ(paint_context_add_tool(pc, &tools[i]), 1);
  }
  tools[128]._id = 999;
  EXPECT_EQ(paint_context_add_tool(pc, &tools[128]), 0);
  EXPECT_EQ(pc->_tool_count, 128);
  EXPECT_EQ(paint_context_find_tool(pc, 7), &tools[0]);
  EXPECT_EQ(paint_context_find_tool(pc, 999), nullptr);
  paint_context_free(pc);
}

// A screen whose paint hook records what it was asked to repaint.
namespace {
std::vector<trect> g_painted;
int g_partial_during_paint = -1;
paint_context *g_hook_context = nullptr;
void record_paint(tscreen *, const trect *rect) {
  g_painted.push_back(*rect);
  if (g_hook_context) g_partial_during_paint = paint_context_is_partial_refresh(g_hook_context);
}
}  // namespace

TEST(PaintContextRefresh, ClipsToTheCanvasAndKeepsOnePixelAreas) {
  screen_size_t s;
  tscreen screen;
  ASSERT_EQ(tscreen_init(&screen, s.w, -s.h), 1);
  tscreen_set_paint_hook(&screen, record_paint);
  paint_context *pc = new_context(&screen, 40, 30);
  ASSERT_NE(pc, nullptr);
  paint_context_set_origin(pc, 100, 200);
  g_hook_context = pc;
  g_painted.clear();

  trect outside = {40, 0, 60, 10};
  EXPECT_EQ(paint_context_refresh(pc, &outside, 0), 0);
  EXPECT_TRUE(g_painted.empty());
  EXPECT_EQ(paint_context_is_partial_refresh(pc), 0);

  trect column = {5, 3, 5, 3};
  EXPECT_EQ(paint_context_refresh(pc, &column, 0), 1);
  ASSERT_EQ(g_painted.size(), 1u);
  EXPECT_TRUE((g_painted[0].x1 == 105 && g_painted[0].x2 == 105 && g_painted[0].y1 == 203 && g_painted[0].y2 == 203));
  EXPECT_EQ(g_partial_during_paint, 1);
  EXPECT_EQ(paint_context_is_partial_refresh(pc), 0);

  // Reversed corners reaching past the canvas are cut to its last pixel.
  trect wide = {100, 50, 39, -5};
  EXPECT_EQ(paint_context_refresh(pc, &wide, 1), 1);
  ASSERT_EQ(g_painted.size(), 2u);
  EXPECT_TRUE((g_painted[1].x1 == 139 && g_painted[1].x2 == 139 && g_painted[1].y1 == 200 && g_painted[1].y2 == 229));
  EXPECT_EQ(g_partial_during_paint, 0);

  paint_context_free(pc);
  g_hook_context = nullptr;
  tscreen_deinit(&screen);
}

TEST(PaintContextPicture, LoadForcesOpaqueAndClearShowsIt) {
  paint_context *pc = new_context(nullptr, 8, 8);
  ASSERT_NE(pc, nullptr);
  tbitmap *picture = pattern_picture(20, -10, 32, 0);
  ASSERT_EQ(paint_context_load_picture(pc, picture), 1);
  EXPECT_EQ(paint_context_get_picture_width(pc), 20);
  tcolor white;
  EXPECT_EQ(tcolor_to_word(paint_context_get_new_color(pc, &white)), 0xFFFFFFFFu);
  EXPECT_TRUE(all_opaque(paint_context_get_base_picture(pc)));
  paint_context_clear(pc);
  const tbitmap *canvas = paint_context_get_canvas(pc);
  EXPECT_TRUE(all_opaque(canvas));
  EXPECT_EQ(tbitmap_get_pixel(canvas, 13, 7), pattern_at(13, 7));

  // A bottom-up 24-bit picture opens upright.
  tbitmap *rgb = pattern_picture(9, 6, 24);
  ASSERT_EQ(paint_context_load_picture(pc, rgb), 1);
  paint_context_clear(pc);
  EXPECT_EQ(tbitmap_get_pixel(paint_context_get_canvas(pc), 8, 0), pattern_at(8, 0));
  EXPECT_TRUE(all_opaque(paint_context_get_canvas(pc)));
  tbitmap_free(rgb);
  tbitmap_free(picture);
  paint_context_free(pc);
}

TEST(PaintContextPicture, LoweredBudgetShrinksTheZoomUntilTheCanvasFits) {
  budget_guard guard;
  paint_context *pc = new_context(nullptr, 8, 8);
  ASSERT_NE(pc, nullptr);
  tbitmap *picture = pattern_picture(100, 80, 24);
  // Base 32000 bytes; 22400 left for the canvas: 100x80 and 90x72 do not fit, 82x66 does.
  tbitmap_set_budget(32000 + 22400);
  ASSERT_EQ(paint_context_load_picture(pc, picture), 1);
  double z = 0.9090909090909091 * 0.9090909090909091;
  EXPECT_DOUBLE_EQ(paint_context_get_zoom(pc), z);
  EXPECT_EQ(canvas_w(pc), int32_t(100 * z));
  EXPECT_EQ(canvas_h(pc), int32_t(80 * z));
  EXPECT_EQ(paint_context_get_picture_width(pc), 100);
  EXPECT_EQ(paint_context_get_picture_height(pc), 80);
  paint_context_clear(pc);
  EXPECT_TRUE(all_opaque(paint_context_get_canvas(pc)));
  tbitmap_free(picture);
  paint_context_free(pc);
}

TEST(PaintContextPicture, NotEnoughMemoryKeepsTheOldPainting) {
  budget_guard guard;
  paint_context *pc = new_context(nullptr, 30, 20);
  ASSERT_NE(pc, nullptr);
  tbitmap *picture = pattern_picture(30, 20, 24);
  ASSERT_EQ(paint_context_load_picture(pc, picture), 1);
  paint_context_clear(pc);
  tbitmap *canvas = paint_context_get_canvas(pc);
  tbitmap *base = paint_context_get_base_picture(pc);

  tbitmap_set_budget(30 * 20 * 4);
  tbitmap *big = pattern_picture(40, 20, 24);
  EXPECT_EQ(paint_context_load_picture(pc, big), 0);  // the base copy itself does not fit
  EXPECT_EQ(paint_context_load_blank(pc, 31, 20, rgba(1, 1, 1, 255)), 0);
  EXPECT_EQ(paint_context_get_canvas(pc), canvas);
  EXPECT_EQ(paint_context_get_base_picture(pc), base);
  EXPECT_EQ(paint_context_get_picture_width(pc), 30);
  EXPECT_EQ(tbitmap_get_pixel(canvas, 29, 19), pattern_at(29, 19));
  ASSERT_NE(paint_context_get_cairo(pc), nullptr);

  // A side of 0 is no painting either.
  EXPECT_EQ(paint_context_load_blank(pc, 0, 20, rgba(1, 1, 1, 255)), 0);
  tbitmap_free(big);
  tbitmap_free(picture);
  paint_context_free(pc);
}

TEST(PaintContextCrop, GrowingLeftAddsNewColourAndKeepsAlphaOpaque) {
  paint_context *pc = new_context(nullptr, 20, 10);
  ASSERT_NE(pc, nullptr);
  paint_context_set_new_color(pc, rgba(200, 100, 50, 0));
  tbitmap *canvas = paint_context_get_canvas(pc);
  tbitmap_fill_rect(canvas, 0, 0, 19, 9, 0xFF123456u);
  ASSERT_EQ(paint_context_resize_canvas(pc, -10, 0, 30, 10), 1);
  canvas = paint_context_get_canvas(pc);
  EXPECT_EQ(canvas_w(pc), 30);
  EXPECT_EQ(tbitmap_get_pixel(canvas, 9, 5), 0xFFC86432u);
  EXPECT_EQ(tbitmap_get_pixel(canvas, 10, 5), 0xFF123456u);
  EXPECT_EQ(tbitmap_get_pixel(canvas, 29, 9), 0xFF123456u);
  EXPECT_TRUE(all_opaque(canvas));
  paint_context_free(pc);
}

TEST(PaintContextCrop, BaseStaysUnderThePaintingAfterACropThatMovesIt) {
  paint_context *pc = new_context(nullptr, 8, 8);
  ASSERT_NE(pc, nullptr);
  tbitmap *picture = pattern_picture(40, 30, 24);
  ASSERT_EQ(paint_context_load_picture(pc, picture), 1);
  paint_context_clear(pc);

  // Crop away 5 columns and 3 rows on the top-left: what was at (5, 3) is now (0, 0).
  ASSERT_EQ(paint_context_resize_canvas(pc, 5, 3, 35, 27), 1);
  paint_context_clear(pc);
  const tbitmap *canvas = paint_context_get_canvas(pc);
  EXPECT_EQ(tbitmap_get_pixel(canvas, 0, 0), pattern_at(5, 3));
  EXPECT_EQ(tbitmap_get_pixel(canvas, 34, 26), pattern_at(39, 29));
  const tbitmap *zoomed = paint_context_get_zoomed_base(pc);
  ASSERT_NE(zoomed, nullptr);
  EXPECT_EQ(tbitmap_get_pixel(zoomed, 10, 10), pattern_at(15, 13));

  // Grow back on the left: the uncovered strip is the new colour, the photo
  // continues where it lies.
  ASSERT_EQ(paint_context_resize_canvas(pc, -7, 0, 42, 27), 1);
  paint_context_clear(pc);
  canvas = paint_context_get_canvas(pc);
  EXPECT_EQ(tbitmap_get_pixel(canvas, 1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(tbitmap_get_pixel(canvas, 2, 0), pattern_at(0, 3));
  EXPECT_TRUE(all_opaque(canvas));

  // A rebuild starts from the whole picture again.
  ASSERT_EQ(paint_context_apply_zoom(pc), 1);
  paint_context_clear(pc);
  EXPECT_EQ(canvas_w(pc), 40);
  EXPECT_EQ(tbitmap_get_pixel(paint_context_get_canvas(pc), 0, 0), pattern_at(0, 0));

  // At another zoom the base is scaled to exactly the canvas clear fills.
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  ASSERT_EQ(paint_context_apply_zoom(pc), 1);
  paint_context_clear(pc);
  EXPECT_EQ(tbitmap_get_pixel(paint_context_get_canvas(pc), 79, 59), pattern_at(39, 29));
  ASSERT_EQ(paint_context_resize_canvas(pc, 10, 0, 70, 60), 1);
  paint_context_clear(pc);
  EXPECT_EQ(tbitmap_get_pixel(paint_context_get_canvas(pc), 0, 0), pattern_at(5, 0));
  tbitmap_free(picture);
  paint_context_free(pc);
}

TEST(PaintContextVisible, CopiesTheOnScreenPartOrFailsWhenNoneIs) {
  screen_size_t s;
  paint_context *pc = new_context(nullptr, 50, 40);
  ASSERT_NE(pc, nullptr);
  tbitmap_fill_rect(paint_context_get_canvas(pc), 0, 0, 49, 39, 0xFF00FF00u);
  tbitmap_set_pixel(paint_context_get_canvas(pc), 30, 25, 0xFFABCDEFu);

  paint_context_set_origin(pc, -30, -25);
  tbitmap *copy = paint_context_copy_visible(pc);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(tbitmap_get_width(copy), 20);
  EXPECT_EQ(tbitmap_get_height(copy), 15);
  EXPECT_EQ(tbitmap_get_pixel(copy, 0, 0), 0xFFABCDEFu);
  tbitmap_free(copy);

  paint_context_set_origin(pc, s.w - 10, 0);
  copy = paint_context_copy_visible(pc);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(tbitmap_get_width(copy), 10);
  tbitmap_free(copy);

  const tpoint off_screen[] = {{-50, 0}, {s.w, 0}, {0, -40}, {0, s.h}, {-100000, -100000}};
  for (const tpoint &o : off_screen) {
    paint_context_set_origin(pc, o.x, o.y);
    EXPECT_EQ(paint_context_copy_visible(pc), nullptr) << o.x << "," << o.y;
  }
  paint_context_free(pc);
}

TEST(PaintContextView, RestoreUndoesAPreview) {
  paint_context *pc = new_context(nullptr, 64, 48);
  ASSERT_NE(pc, nullptr);
  paint_context_set_origin(pc, -10, 5);
  tbitmap *canvas = paint_context_get_canvas(pc);
  tbitmap_fill_rect(canvas, 0, 0, 63, 47, 0xFF102030u);
  ASSERT_EQ(paint_context_save_view(pc), 1);
  cairo_t *cr = paint_context_get_cairo(pc);
  cairo_set_source_rgb(cr, 1, 0, 0);
  cairo_paint(cr);
  cairo_surface_flush(cairo_get_target(cr));
  EXPECT_EQ(tbitmap_get_pixel(canvas, 40, 40), 0xFFFF0000u);
  ASSERT_EQ(paint_context_restore_view(pc), 1);
  EXPECT_EQ(tbitmap_get_pixel(canvas, 40, 40), 0xFF102030u);
  EXPECT_EQ(tbitmap_get_pixel(canvas, 10, 0), 0xFF102030u);
  paint_context_free(pc);
}

TEST(PaintContextBlank, ClearPaintsTheNewColourOpaque) {
  paint_context *pc = new_context(nullptr, 16, 16);
  ASSERT_NE(pc, nullptr);
  ASSERT_EQ(paint_context_load_blank(pc, 12, 9, rgba(9, 8, 7, 0)), 1);
  paint_context_clear(pc);
  EXPECT_EQ(tbitmap_get_pixel(paint_context_get_canvas(pc), 11, 8), 0xFF090807u);
  EXPECT_EQ(paint_context_get_base_picture(pc), nullptr);
  EXPECT_EQ(paint_context_get_zoomed_base(pc), nullptr);
  paint_context_free(pc);
}
