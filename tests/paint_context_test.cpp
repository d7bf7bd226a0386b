// The painting context: zoom and origin arithmetic, refresh clipping, picture
// loading under a lowered pixel budget, crops that keep the base picture under
// the painting, and the opaque fourth byte cairo relies on.
#include "paint_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "paint_history.h"
#include "port_device.h"
#include "shape.h"
#include "test_bitmap.h"
#include "tscreen.h"

namespace {

tcolor rgba(int r, int g, int b, int a) {
  tcolor c;
  return *tcolor_make(&c, r, g, b, a);
}

bool all_opaque(const tbitmap *b) {
  for (int32_t y = 0; y < tbitmap_get_height(b); y++)
    for (int32_t x = 0; x < tbitmap_get_width(b); x++)
      if ((tbitmap_get_pixel(b, x, y) >> 24) != 0xFF) return false;
  return true;
}

// A context made by each test, freed after it with the pixel budget restored.
class PaintContext : public ::testing::Test {
 protected:
  void SetUp() override { port_device_get_screen_size(&screen_w, &screen_h); }
  void TearDown() override {
    if (pc) paint_context_free(pc);
    tbitmap_set_budget(saved_budget);
  }
  void make(int32_t w, int32_t h, tscreen *screen = nullptr) {
    if (pc) paint_context_free(pc);
    pc = paint_context_new(screen, w, h, rgba(0, 0, 0, 255), rgba(255, 255, 255, 255), rgba(10, 20, 30, 255), 3, 0,
                           0, 0, 8);
    ASSERT_NE(pc, nullptr);
  }
  tbitmap *canvas() const { return paint_context_get_canvas(pc); }
  uint32_t at(int32_t x, int32_t y) const { return tbitmap_get_pixel(canvas(), x, y); }
  std::vector<int32_t> size() const { return {tbitmap_get_width(canvas()), tbitmap_get_height(canvas())}; }
  tpoint origin() const { return *paint_context_get_origin_ptr(pc); }

  paint_context *pc = nullptr;
  uint64_t saved_budget = tbitmap_get_budget();
  int32_t screen_w = 0, screen_h = 0;
};

}  // namespace

TEST_F(PaintContext, ZoomTruncatesClampsNeverEmptiesTheCanvasAndKeepsItOutOfBudget) {
  make(101, 51);
  EXPECT_EQ(paint_context_set_zoom(pc, 0.5), 1);
  EXPECT_EQ(size(), (std::vector<int32_t>{50, 25}));
  EXPECT_EQ(paint_context_set_zoom(pc, 12.0), 1);
  EXPECT_EQ(paint_context_get_zoom(pc), 10.0);
  EXPECT_EQ(size()[0], 1010);
  // A zoom that would leave no pixel keeps one on each side.
  EXPECT_EQ(paint_context_set_zoom(pc, 0.001), 1);
  EXPECT_EQ(size(), (std::vector<int32_t>{1, 1}));
  EXPECT_NE(paint_context_get_cairo(pc), nullptr);
  // No zoom at all is refused and changes nothing.
  for (double zoom : {0.0, -2.0, std::nan("")}) EXPECT_EQ(paint_context_set_zoom(pc, zoom), 0) << zoom;
  EXPECT_EQ(paint_context_get_zoom(pc), 0.001);

  // Out of budget: the old canvas and zoom stay.
  make(100, 100);
  tbitmap_set_budget(100 * 100 * 4);
  tbitmap *before = canvas();
  EXPECT_EQ(paint_context_set_zoom(pc, 2.0), -1);
  EXPECT_EQ(paint_context_get_zoom(pc), 1.0);
  EXPECT_EQ(canvas(), before);
  EXPECT_EQ(size()[0], 100);
}

TEST_F(PaintContext, OriginIsCentredOnCreationAndBlankAndMovedOnRotation) {
  make(101, 51);
  EXPECT_EQ(std::make_pair(origin().x, origin().y), std::make_pair(screen_w / 2 - 50, screen_h / 2 - 25));
  ASSERT_EQ(paint_context_load_blank(pc, 2 * screen_w + 1, 7, rgba(1, 2, 3, 255)), 1);
  tpoint o = origin();
  EXPECT_EQ(std::make_pair(o.x, o.y), std::make_pair(screen_w / 2 - screen_w, screen_h / 2 - 3));
  // Same screen size: no rotation, origin untouched.
  EXPECT_EQ(paint_context_update_screen_size(pc), 0);
  EXPECT_EQ(origin().x, o.x);
  // The last size was a rotated one: the origin moves by the half difference.
  pc->_last_screen_width = screen_h;
  pc->_last_screen_height = screen_w;
  EXPECT_EQ(paint_context_update_screen_size(pc), 1);
  EXPECT_EQ(std::make_pair(origin().x, origin().y),
            std::make_pair(o.x + screen_w / 2 - screen_h / 2, o.y + screen_h / 2 - screen_w / 2));
}

TEST_F(PaintContext, ToolTableHolds128AndFindsTheFirstOfAnId) {
  make(8, 8);
  std::vector<shape> tools(129);
  for (int i = 0; i < 129; i++) {
    tools[i]._id = i < 2 ? 7 : 100 + i;
    ASSERT_EQ(paint_context_add_tool(pc, &tools[i]), i < 128);
  }
  EXPECT_EQ(paint_context_find_tool(pc, 7), &tools[0]);
  EXPECT_EQ(paint_context_find_tool(pc, 228), nullptr);
}

// A screen whose paint hook records what it was asked to repaint, and
// whether the context said the refresh was partial meanwhile.
namespace {
std::vector<std::vector<int32_t>> g_painted;
paint_context *g_hook_context = nullptr;
void record_paint(tscreen *, const trect *r) {
  g_painted.push_back({r->x1, r->y1, r->x2, r->y2, paint_context_is_partial_refresh(g_hook_context)});
}
}  // namespace

TEST_F(PaintContext, RefreshClipsToTheCanvasAndKeepsOnePixelAreas) {
  tscreen screen;
  ASSERT_EQ(tscreen_init(&screen, screen_w, -screen_h), 1);
  tscreen_set_paint_hook(&screen, record_paint);
  make(40, 30, &screen);
  paint_context_set_origin(pc, 100, 200);
  g_hook_context = pc;
  g_painted.clear();
  // Outside: nothing; one pixel: that pixel, partial; reversed corners past
  // the canvas: cut to its last column, not partial.
  trect outside = {40, 0, 60, 10}, column = {5, 3, 5, 3}, wide = {100, 50, 39, -5};
  EXPECT_EQ(paint_context_refresh(pc, &outside, 0), 0);
  EXPECT_EQ(paint_context_refresh(pc, &column, 0), 1);
  EXPECT_EQ(paint_context_refresh(pc, &wide, 1), 1);
  EXPECT_EQ(g_painted, (std::vector<std::vector<int32_t>>{{105, 203, 105, 203, 1}, {139, 200, 139, 229, 0}}));
  EXPECT_EQ(paint_context_is_partial_refresh(pc), 0);
  paint_context_free(pc);
  pc = nullptr;
  g_hook_context = nullptr;
  tscreen_deinit(&screen);
}

TEST_F(PaintContext, LoadingAPictureForcesOpaqueAndClearShowsItUpright) {
  make(8, 8);
  bitmap_ptr picture = test_pattern_bitmap(20, -10, 32, 0);
  ASSERT_EQ(paint_context_load_picture(pc, picture.get()), 1);
  EXPECT_EQ(paint_context_get_picture_width(pc), 20);
  tcolor white;
  EXPECT_EQ(tcolor_to_word(paint_context_get_new_color(pc, &white)), 0xFFFFFFFFu);
  EXPECT_TRUE(all_opaque(paint_context_get_base_picture(pc)));
  paint_context_clear(pc);
  EXPECT_TRUE(all_opaque(canvas()));
  EXPECT_EQ(at(13, 7), test_pattern_at(13, 7));

  // A bottom-up 24-bit picture opens upright.
  ASSERT_EQ(paint_context_load_picture(pc, test_pattern_bitmap(9, 6, 24).get()), 1);
  paint_context_clear(pc);
  EXPECT_EQ(at(8, 0), test_pattern_at(8, 0));
  EXPECT_TRUE(all_opaque(canvas()));

  // A blank painting: the new colour, opaque, and no base.
  ASSERT_EQ(paint_context_load_blank(pc, 12, 9, rgba(9, 8, 7, 0)), 1);
  paint_context_clear(pc);
  EXPECT_EQ(at(11, 8), 0xFF090807u);
  EXPECT_EQ(paint_context_get_base_picture(pc), nullptr);
  EXPECT_EQ(paint_context_get_zoomed_base(pc), nullptr);
}

TEST_F(PaintContext, ALoweredBudgetShrinksTheZoomUntilTheCanvasFits) {
  make(8, 8);
  // Base 32000 bytes; 22400 left for the canvas: 100x80 and 90x72 do not fit, 82x66 does.
  tbitmap_set_budget(32000 + 22400);
  ASSERT_EQ(paint_context_load_picture(pc, test_pattern_bitmap(100, 80, 24).get()), 1);
  double z = 0.9090909090909091 * 0.9090909090909091;
  EXPECT_DOUBLE_EQ(paint_context_get_zoom(pc), z);
  EXPECT_EQ(size(), (std::vector<int32_t>{int32_t(100 * z), int32_t(80 * z)}));
  EXPECT_EQ(std::make_pair(paint_context_get_picture_width(pc), paint_context_get_picture_height(pc)), std::make_pair(100, 80));
  paint_context_clear(pc);
  EXPECT_TRUE(all_opaque(canvas()));
}

TEST_F(PaintContext, NotEnoughMemoryKeepsTheOldPainting) {
  make(30, 20);
  ASSERT_EQ(paint_context_load_picture(pc, test_pattern_bitmap(30, 20, 24).get()), 1);
  paint_context_clear(pc);
  tbitmap *old_canvas = canvas(), *base = paint_context_get_base_picture(pc);

  tbitmap_set_budget(30 * 20 * 4);
  EXPECT_EQ(paint_context_load_picture(pc, test_pattern_bitmap(40, 20, 24).get()), 0);  // the base copy does not fit
  EXPECT_EQ(paint_context_load_blank(pc, 31, 20, rgba(1, 1, 1, 255)), 0);
  EXPECT_EQ(paint_context_load_blank(pc, 0, 20, rgba(1, 1, 1, 255)), 0) << "a side of 0 is no painting either";
  EXPECT_EQ(canvas(), old_canvas);
  EXPECT_EQ(paint_context_get_base_picture(pc), base);
  EXPECT_EQ(paint_context_get_picture_width(pc), 30);
  EXPECT_EQ(at(29, 19), test_pattern_at(29, 19));
  ASSERT_NE(paint_context_get_cairo(pc), nullptr);
}

TEST_F(PaintContext, GrowingLeftAddsTheNewColourAndKeepsAlphaOpaque) {
  make(20, 10);
  paint_context_set_new_color(pc, rgba(200, 100, 50, 0));
  tbitmap_fill_rect(canvas(), 0, 0, 19, 9, 0xFF123456u);
  ASSERT_EQ(paint_context_resize_canvas(pc, -10, 0, 30, 10), 1);
  EXPECT_EQ(size()[0], 30);
  EXPECT_EQ(std::vector<uint32_t>({at(9, 5), at(10, 5), at(29, 9)}),
            std::vector<uint32_t>({0xFFC86432u, 0xFF123456u, 0xFF123456u}));
  EXPECT_TRUE(all_opaque(canvas()));
}

TEST_F(PaintContext, BaseStaysUnderThePaintingAfterACropThatMovesIt) {
  make(8, 8);
  ASSERT_EQ(paint_context_load_picture(pc, test_pattern_bitmap(40, 30, 24).get()), 1);
  paint_context_clear(pc);

  // Crop away 5 columns and 3 rows on the top-left: what was at (5, 3) is now (0, 0).
  ASSERT_EQ(paint_context_resize_canvas(pc, 5, 3, 35, 27), 1);
  paint_context_clear(pc);
  EXPECT_EQ(at(0, 0), test_pattern_at(5, 3));
  EXPECT_EQ(at(34, 26), test_pattern_at(39, 29));
  const tbitmap *zoomed = paint_context_get_zoomed_base(pc);
  ASSERT_NE(zoomed, nullptr);
  EXPECT_EQ(tbitmap_get_pixel(zoomed, 10, 10), test_pattern_at(15, 13));

  // Grow back on the left: the uncovered strip is the new colour, the photo
  // continues where it lies.
  ASSERT_EQ(paint_context_resize_canvas(pc, -7, 0, 42, 27), 1);
  paint_context_clear(pc);
  EXPECT_EQ(at(1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(at(2, 0), test_pattern_at(0, 3));
  EXPECT_TRUE(all_opaque(canvas()));

  // A rebuild starts from the whole picture again.
  ASSERT_EQ(paint_context_apply_zoom(pc), 1);
  paint_context_clear(pc);
  EXPECT_EQ(size()[0], 40);
  EXPECT_EQ(at(0, 0), test_pattern_at(0, 0));

  // At another zoom the base is scaled to exactly the canvas clear fills.
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  ASSERT_EQ(paint_context_apply_zoom(pc), 1);
  paint_context_clear(pc);
  EXPECT_EQ(at(79, 59), test_pattern_at(39, 29));
  ASSERT_EQ(paint_context_resize_canvas(pc, 10, 0, 70, 60), 1);
  paint_context_clear(pc);
  EXPECT_EQ(at(0, 0), test_pattern_at(5, 0));
}

TEST_F(PaintContext, VisiblePartIsCopiedOrNoneWhenOffScreen) {
  make(50, 40);
  tbitmap_fill_rect(canvas(), 0, 0, 49, 39, 0xFF00FF00u);
  tbitmap_set_pixel(canvas(), 30, 25, 0xFFABCDEFu);
  paint_context_set_origin(pc, -30, -25);
  bitmap_ptr copy(paint_context_copy_visible(pc));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::make_pair(tbitmap_get_width(copy.get()), tbitmap_get_height(copy.get())), std::make_pair(20, 15));
  EXPECT_EQ(tbitmap_get_pixel(copy.get(), 0, 0), 0xFFABCDEFu);
  paint_context_set_origin(pc, screen_w - 10, 0);
  copy.reset(paint_context_copy_visible(pc));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(tbitmap_get_width(copy.get()), 10);

  for (tpoint o : {tpoint{-50, 0}, tpoint{screen_w, 0}, tpoint{0, -40}, tpoint{0, screen_h}, tpoint{-100000, -100000}}) {
    paint_context_set_origin(pc, o.x, o.y);
    EXPECT_EQ(paint_context_copy_visible(pc), nullptr) << o.x << "," << o.y;
  }
}

TEST_F(PaintContext, RestoreUndoesAPreview) {
  make(64, 48);
  paint_context_set_origin(pc, -10, 5);
  tbitmap_fill_rect(canvas(), 0, 0, 63, 47, 0xFF102030u);
  ASSERT_EQ(paint_context_save_view(pc), 1);
  cairo_t *cr = paint_context_get_cairo(pc);
  cairo_set_source_rgb(cr, 1, 0, 0);
  cairo_paint(cr);
  cairo_surface_flush(cairo_get_target(cr));
  EXPECT_EQ(at(40, 40), 0xFFFF0000u);
  ASSERT_EQ(paint_context_restore_view(pc), 1);
  EXPECT_EQ(at(40, 40), 0xFF102030u);
  EXPECT_EQ(at(10, 0), 0xFF102030u);
}

// A snapshot taken from one state and restored over another brings back every
// field, and the colour components tools read follow the restored colours.
TEST_F(PaintContext, SnapshotAndRestoreCarryTheDrawingState) {
  make(64, 48);
  paint_context_set_origin(pc, 7, -9);
  paint_context_set_fore_color(pc, rgba(255, 0, 51, 128));
  paint_context_set_back_color(pc, rgba(0, 102, 0, 255));
  pc->_pen_size = 9, pc->_rubber_size = 20, pc->_pen_style = 2;
  paint_history_record state = {};
  state._zoom = 3.5;
  paint_context_snapshot(pc, &state);
  EXPECT_EQ(state._zoom, 3.5);
  make(64, 48);
  paint_context_restore(pc, &state);
  EXPECT_EQ(std::make_pair(origin().x, origin().y), std::make_pair(7, -9));
  EXPECT_EQ(std::vector<double>({paint_context_get_fore_r(pc), paint_context_get_fore_b(pc), paint_context_get_fore_a(pc),
                                 paint_context_get_back_g(pc)}),
            std::vector<double>({1.0, 51 / 255.0, 128 / 255.0, 102 / 255.0}));
  EXPECT_EQ(std::vector<int>({paint_context_get_pen_size(pc), paint_context_get_rubber_size(pc),
                              paint_context_get_pen_style(pc)}),
            std::vector<int>({9, 20, 2}));
}

// ---- Canvases that cannot be made, and the canvas a step holds ------------

// A canvas of the picture size that finds no memory leaves the cropped one
// and the base picture's place as they were; a held canvas is never reused,
// and letting go of it brings back its pixels, zoom and base place.
TEST_F(PaintContext, ACanvasWithoutMemoryChangesNothingAndAHeldCanvasComesBackWhole) {
  make(30, 20);
  ASSERT_EQ(paint_context_load_picture(pc, test_pattern_bitmap(30, 20, 24).get()), 1);
  paint_context_clear(pc);
  ASSERT_EQ(paint_context_resize_canvas(pc, 5, 3, 20, 12), 1);
  tbitmap *cropped = canvas();
  uint32_t corner = at(0, 0);
  tbitmap_set_budget(30 * 20 * 4 - 1);
  EXPECT_EQ(paint_context_apply_zoom(pc), 0);
  EXPECT_EQ(canvas(), cropped);
  EXPECT_EQ(std::make_pair(pc->_base_offset.x, pc->_base_offset.y), std::make_pair(-5, -3));
  tbitmap_set_budget(saved_budget);

  for (int keep_new : {0, 1}) {
    tbitmap *before = canvas();
    ASSERT_EQ(paint_context_hold_canvas(pc), 1);
    EXPECT_EQ(paint_context_hold_canvas(pc), 0) << "one holder at a time";
    tpoint moved = {1, 1};
    ASSERT_EQ(paint_context_set_canvas_shape(pc, 20, 12, &moved), 1);
    EXPECT_NE(canvas(), before) << "the held canvas is not written, though of that size";
    paint_context_clear(pc);
    ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
    tbitmap *made = canvas();
    paint_context_release_canvas(pc, keep_new);
    EXPECT_EQ(canvas(), keep_new ? made : before);
    EXPECT_EQ(paint_context_get_zoom(pc), keep_new ? 2.0 : 1.0);
    if (!keep_new) {
      EXPECT_EQ(at(0, 0), corner);
      EXPECT_EQ(std::make_pair(pc->_base_offset.x, pc->_base_offset.y), std::make_pair(-5, -3));
    }
  }
}

// A crop at any zoom gives the painting the canvas's size at zoom 1.0; an
// uncropped canvas is the picture's own (1 / 1.1 cuts 480 to 436, not 479.6).
TEST_F(PaintContext, ThePaintingSizeIsThatOfTheCanvasAsItIs) {
  for (double zoom : {1 / 1.1, 2.0}) {
    make(480, 640);
    ASSERT_EQ(paint_context_set_zoom(pc, zoom), 1);
    double size[4];
    paint_context_get_painting_size(pc, &size[0], &size[1]);
    ASSERT_EQ(paint_context_resize_canvas(pc, -5, 7, 300, 1400), 1);
    paint_context_get_painting_size(pc, &size[2], &size[3]);
    EXPECT_EQ(std::vector<double>(size, size + 4), std::vector<double>({480, 640, 300 / zoom, 1400 / zoom})) << zoom;
  }
}
