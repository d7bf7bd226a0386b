// paint_context: the painting document in memory (canvas, base picture, view,
// zoom, origin, drawing settings, tools, cairo).
#include "paint_context.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "paint_history.h"
#include "port_device.h"
#include "port_log.h"
#include "shape.h"
#include "tscale.h"
#include "tscreen.h"

namespace {

constexpr double ZOOM_SHRINK = 0.9090909090909091;  // 1 / 1.1 per refused allocation
constexpr uint32_t NO_KEY = 0xFFFFFFFFu;
constexpr uint32_t OPAQUE = 0xFF000000u;

// A rectangle of the canvas in 64 bits, right and bottom exclusive.
struct span {
  int64_t x1, y1, x2, y2;
};

}  // namespace

static void screen_size(int32_t *width, int32_t *height);
static tbitmap *ensure_view(paint_context *pc);
static int32_t zoomed_side(int32_t side, double zoom);
static tbitmap *new_canvas_bitmap(const tbitmap *base, int32_t width, int32_t height);
static bool reusable(const paint_context *pc, int32_t width, int32_t height);
static void install_canvas(paint_context *pc, tbitmap *canvas);
static void drop_zoomed_base(paint_context *pc);
static void cache_components(const tcolor *color, double *out, int count);
static void copy_whole(tbitmap *dst, int32_t x, int32_t y, const tbitmap *src);
static void force_opaque(tbitmap *bitmap);
static int32_t clamp_i32(int64_t v);
static void note_crop(paint_context *pc, int32_t x, int32_t y, int32_t width, int32_t height);
static int make_cropped(paint_context *pc, int64_t x, int64_t y, int32_t width, int32_t height, const span &clip,
                        const paint_context_crops &from);

paint_context *paint_context_new(tscreen *screen, int32_t width, int32_t height, tcolor fore, tcolor back,
                                 tcolor new_color, uint8_t pen_size, int32_t pen_style, int32_t fill_style,
                                 int32_t font_style, uint8_t rubber_size) {
  if (width < 1 || height < 1) return nullptr;
  paint_context *pc = static_cast<paint_context *>(std::calloc(1, sizeof(paint_context)));
  if (!pc) return nullptr;
  pc->_screen = screen;
  paint_context_set_fore_color(pc, fore);
  paint_context_set_back_color(pc, back);
  paint_context_set_new_color(pc, new_color);
  pc->_pen_size = pen_size;
  pc->_pen_style = pen_style;
  pc->_fill_style = fill_style;
  pc->_font_style = font_style;
  pc->_rubber_size = rubber_size;
  pc->_zoom = 1.0;
  pc->_picture_width = width;
  pc->_picture_height = height;
  int32_t sw = 0, sh = 0;
  screen_size(&sw, &sh);
  pc->_last_screen_width = sw;
  pc->_last_screen_height = sh;
  pc->_canvas = new_canvas_bitmap(nullptr, width, height);
  // Without a canvas nothing can be drawn: the application reports "not
  // enough memory" at start-up instead. The view is made when a tool first
  // saves the canvas under a preview (see ensure_view).
  if (!pc->_canvas || !paint_context_rebuild_cairo(pc)) {
    paint_context_free(pc);
    return nullptr;
  }
  pc->_origin.x = sw / 2 - (width >> 1);
  pc->_origin.y = sh / 2 - (height >> 1);
  return pc;
}

void paint_context_free(paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  if (pc->_surface) cairo_surface_destroy(pc->_surface);
  if (pc->_cairo) cairo_destroy(pc->_cairo);
  drop_zoomed_base(pc);
  if (pc->_base) tbitmap_free(pc->_base);
  if (pc->_held.canvas && pc->_held.canvas != pc->_canvas) tbitmap_free(pc->_held.canvas);
  if (pc->_canvas) tbitmap_free(pc->_canvas);
  if (pc->_view) tbitmap_free(pc->_view);
  std::free(pc);
}

void paint_context_set_fore_color(paint_context *pc, tcolor color) {
  PORT_CHECK(pc != nullptr);
  pc->_fore_color = color;
  cache_components(&color, pc->_fore_rgba, 4);
}

void paint_context_set_back_color(paint_context *pc, tcolor color) {
  PORT_CHECK(pc != nullptr);
  pc->_back_color = color;
  cache_components(&color, pc->_back_rgba, 4);
}

void paint_context_set_new_color(paint_context *pc, tcolor color) {
  PORT_CHECK(pc != nullptr);
  pc->_new_color = color;
  cache_components(&color, pc->_new_rgb, 3);
  // The zoomed base shows the new colour where the base does not reach.
  drop_zoomed_base(pc);
}

void paint_context_set_font_style(paint_context *pc, int32_t style) {
  PORT_CHECK(pc != nullptr);
  pc->_font_style = style;
}

void paint_context_set_origin(paint_context *pc, int32_t x, int32_t y) {
  PORT_CHECK(pc != nullptr);
  pc->_origin.x = x;
  pc->_origin.y = y;
}

tcolor *paint_context_get_fore_color(const paint_context *pc, tcolor *out) {
  PORT_CHECK(pc != nullptr && out != nullptr);
  *out = pc->_fore_color;
  return out;
}

tcolor *paint_context_get_back_color(const paint_context *pc, tcolor *out) {
  PORT_CHECK(pc != nullptr && out != nullptr);
  *out = pc->_back_color;
  return out;
}

tcolor *paint_context_get_new_color(const paint_context *pc, tcolor *out) {
  PORT_CHECK(pc != nullptr && out != nullptr);
  *out = pc->_new_color;
  return out;
}

double paint_context_get_fore_r(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_fore_rgba[0];
}

double paint_context_get_fore_g(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_fore_rgba[1];
}

double paint_context_get_fore_b(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_fore_rgba[2];
}

double paint_context_get_fore_a(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_fore_rgba[3];
}

double paint_context_get_back_r(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_back_rgba[0];
}

double paint_context_get_back_g(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_back_rgba[1];
}

double paint_context_get_back_b(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_back_rgba[2];
}

double paint_context_get_new_r(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_new_rgb[0];
}

double paint_context_get_new_g(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_new_rgb[1];
}

double paint_context_get_new_b(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_new_rgb[2];
}

uint8_t paint_context_get_pen_size(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_pen_size;
}

uint8_t paint_context_get_rubber_size(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_rubber_size;
}

int32_t paint_context_get_pen_style(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_pen_style;
}

int32_t paint_context_get_fill_style(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_fill_style;
}

int32_t paint_context_get_font_style(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_font_style;
}

double paint_context_get_zoom(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_zoom;
}

tpoint *paint_context_get_origin(const paint_context *pc, tpoint *out) {
  PORT_CHECK(pc != nullptr && out != nullptr);
  *out = pc->_origin;
  return out;
}

tpoint *paint_context_get_origin_ptr(paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return &pc->_origin;
}

tscreen *paint_context_get_screen(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_screen;
}

tbitmap *paint_context_get_canvas(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_canvas;
}

tbitmap *paint_context_get_base_picture(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_base;
}

int32_t paint_context_get_picture_width(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_picture_width;
}

int32_t paint_context_get_picture_height(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_picture_height;
}

void paint_context_get_painting_size(const paint_context *pc, double *width, double *height) {
  PORT_CHECK(pc != nullptr && width != nullptr && height != nullptr);
  *width = pc->_picture_width;
  *height = pc->_picture_height;
  if (!pc->_canvas) return;
  // A canvas of the picture's size at this zoom is the picture itself: its
  // sides were cut to whole pixels, which would make every fit a little off.
  int32_t cw = tbitmap_get_width(pc->_canvas), ch = tbitmap_get_height(pc->_canvas);
  if (cw == zoomed_side(pc->_picture_width, pc->_zoom) && ch == zoomed_side(pc->_picture_height, pc->_zoom)) return;
  *width = cw / pc->_zoom;
  *height = ch / pc->_zoom;
}

cairo_t *paint_context_get_cairo(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_cairo;
}

int paint_context_is_partial_refresh(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  return pc->_partial_refresh;
}

int paint_context_add_tool(paint_context *pc, shape *tool) {
  PORT_CHECK(pc != nullptr);
  if (pc->_tool_count + 1 > PAINT_CONTEXT_MAX_TOOLS) return 0;
  pc->_tools[pc->_tool_count++] = tool;
  return 1;
}

shape *paint_context_find_tool(const paint_context *pc, int32_t id) {
  PORT_CHECK(pc != nullptr);
  for (int32_t i = 0; i < pc->_tool_count; i++)
    if (pc->_tools[i] && shape_get_id(pc->_tools[i]) == id) return pc->_tools[i];
  return nullptr;
}

int paint_context_load_blank(paint_context *pc, int32_t width, int32_t height, tcolor color) {
  PORT_CHECK(pc != nullptr);
  if (width < 1 || height < 1) return 0;
  // The old painting stays whole until the new canvas exists.
  tbitmap *canvas = new_canvas_bitmap(nullptr, width, height);
  if (!canvas) return 0;
  drop_zoomed_base(pc);
  if (pc->_base) tbitmap_free(pc->_base);
  pc->_base = nullptr;
  install_canvas(pc, canvas);
  pc->_base_offset = {0, 0};
  paint_context_set_new_color(pc, color);
  pc->_zoom = 1.0;
  pc->_picture_width = width;
  pc->_picture_height = height;
  int32_t sw = 0, sh = 0;
  screen_size(&sw, &sh);
  pc->_origin.x = sw / 2 - (width >> 1);
  pc->_origin.y = sh / 2 - (height >> 1);
  return 1;
}

int paint_context_load_picture(paint_context *pc, const tbitmap *bitmap) {
  PORT_CHECK(pc != nullptr && bitmap != nullptr);
  int32_t width = tbitmap_get_width(bitmap), height = tbitmap_get_height(bitmap);
  if (width < 1 || height < 1 || tbitmap_get_bpp(bitmap) < 8) return 0;
  tbitmap *base = tbitmap_new(width, -height, 32);
  if (!base) return 0;
  copy_whole(base, 0, 0, bitmap);
  // A 32-bit picture may carry any fourth byte; cairo would read it as alpha.
  force_opaque(base);

  double zoom = 1.0;
  int32_t cw = width, ch = height;
  tbitmap *canvas = nullptr;
  while (!(canvas = new_canvas_bitmap(base, cw, ch))) {
    zoom *= ZOOM_SHRINK;
    cw = int32_t(width * zoom);
    ch = int32_t(height * zoom);
    if (cw < 1 || ch < 1) {
      tbitmap_free(base);
      return 0;
    }
  }
  drop_zoomed_base(pc);
  if (pc->_base) tbitmap_free(pc->_base);
  pc->_base = base;
  install_canvas(pc, canvas);
  // The picture lies at the top-left of its fresh canvas, wherever crops had
  // moved the one before.
  pc->_base_offset = {0, 0};
  tcolor white = {255, 255, 255, 255};
  paint_context_set_new_color(pc, white);
  pc->_zoom = zoom;
  pc->_picture_width = width;
  pc->_picture_height = height;
  int32_t sw = 0, sh = 0;
  screen_size(&sw, &sh);
  pc->_origin.x = sw / 2 - cw / 2;
  pc->_origin.y = sh / 2 - ch / 2;
  return 1;
}

int paint_context_apply_zoom(paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  drop_zoomed_base(pc);
  int32_t w = zoomed_side(pc->_picture_width, pc->_zoom), h = zoomed_side(pc->_picture_height, pc->_zoom);
  if (!reusable(pc, w, h)) {
    // Without memory the old canvas would have to stand for the new one, of
    // another size or still held: nothing changes instead.
    tbitmap *canvas = new_canvas_bitmap(pc->_base, w, h);
    if (!canvas) return 0;
    install_canvas(pc, canvas);
  }
  // A canvas of the picture size is the start of every rebuild: the base lies
  // at its top-left again, and recorded crops move both once more.
  pc->_base_offset = {0, 0};
  return 1;
}

int paint_context_set_zoom(paint_context *pc, double zoom) {
  PORT_CHECK(pc != nullptr);
  if (!(zoom > 0)) return 0;
  if (zoom > PAINT_CONTEXT_MAX_ZOOM) zoom = PAINT_CONTEXT_MAX_ZOOM;
  int32_t w = zoomed_side(pc->_picture_width, zoom), h = zoomed_side(pc->_picture_height, zoom);
  if (!paint_context_set_canvas_size(pc, w, h)) return 0;
  if (tbitmap_get_width(pc->_canvas) != w || tbitmap_get_height(pc->_canvas) != h) return -1;
  pc->_zoom = zoom;
  return 1;
}

int paint_context_set_canvas_size(paint_context *pc, int32_t width, int32_t height) {
  PORT_CHECK(pc != nullptr);
  tbitmap *canvas = width >= 1 && height >= 1 ? new_canvas_bitmap(pc->_base, width, height) : nullptr;
  if (canvas) {
    install_canvas(pc, canvas);
    pc->_base_offset = {0, 0};
  }
  return pc->_canvas != nullptr;
}

int paint_context_resize_canvas(paint_context *pc, int32_t x, int32_t y, int32_t width, int32_t height) {
  PORT_CHECK(pc != nullptr);
  if (width < 1 || height < 1) return 0;
  // No painting grows beyond the canvas a document may ask for: what the
  // program saves, it opens again.
  int64_t base_pixels = pc->_base ? int64_t(tbitmap_get_width(pc->_base)) * tbitmap_get_height(pc->_base) : 0;
  if (!paint_history_canvas_fits(width / pc->_zoom, height / pc->_zoom, base_pixels)) return 0;
  if (pc->_crops.deferring) {
    note_crop(pc, x, y, width, height);
  } else {
    int64_t right = pc->_canvas ? tbitmap_get_width(pc->_canvas) : 0;
    int64_t bottom = pc->_canvas ? tbitmap_get_height(pc->_canvas) : 0;
    if (make_cropped(pc, x, y, width, height, {0, 0, right, bottom}, paint_context_crops{}) != 1) return 0;
  }
  // The base picture moves with the painting, so the eraser and clear still
  // reveal it where it lies under the strokes.
  pc->_base_offset.x = clamp_i32(int64_t(pc->_base_offset.x) - x);
  pc->_base_offset.y = clamp_i32(int64_t(pc->_base_offset.y) - y);
  return 1;
}

int paint_context_defer_crops(paint_context *pc, int on) {
  PORT_CHECK(pc != nullptr);
  paint_context_crops crops = pc->_crops;
  pc->_crops = paint_context_crops{};
  if (on) {
    pc->_crops.deferring = 1;
    pc->_crops.base_offset = pc->_base_offset;
    return 1;
  }
  if (!crops.pending) return 1;
  span clip = {crops.clip_x1, crops.clip_y1, crops.clip_x2, crops.clip_y2};
  int made = make_cropped(pc, crops.x, crops.y, crops.width, crops.height, clip, crops);
  if (made != 1) pc->_base_offset = crops.base_offset;
  return made;
}

int paint_context_defer_crops_from(paint_context *pc, int32_t width, int32_t height, const tpoint *base_offset,
                                   paint_context_pixels_fn source, void *user) {
  PORT_CHECK(pc != nullptr && base_offset != nullptr && source != nullptr);
  if (width < 1 || height < 1) return 0;
  paint_context_defer_crops(pc, 1);
  paint_context_crops &c = pc->_crops;
  c.pending = 1;
  c.source = source;
  c.source_user = user;
  c.width = width, c.height = height;
  c.clip_x2 = width, c.clip_y2 = height;
  pc->_base_offset = *base_offset;
  return 1;
}

int paint_context_set_canvas_shape(paint_context *pc, int32_t width, int32_t height, const tpoint *base_offset) {
  PORT_CHECK(pc != nullptr && base_offset != nullptr);
  if (width < 1 || height < 1) return 0;
  if (!reusable(pc, width, height)) {
    tbitmap *canvas = new_canvas_bitmap(pc->_base, width, height);
    if (!canvas) return 0;
    install_canvas(pc, canvas);
  }
  if (pc->_base_offset.x != base_offset->x || pc->_base_offset.y != base_offset->y) {
    pc->_base_offset = *base_offset;
    drop_zoomed_base(pc);
  }
  return pc->_cairo != nullptr;
}

int paint_context_hold_canvas(paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  if (pc->_held.canvas || !pc->_canvas) return 0;
  pc->_held = {pc->_canvas, pc->_zoom, pc->_base_offset};
  return 1;
}

void paint_context_release_canvas(paint_context *pc, int keep_new) {
  PORT_CHECK(pc != nullptr);
  paint_context_held held = pc->_held;
  pc->_held = paint_context_held{};
  if (!held.canvas) return;
  if (keep_new) {
    if (held.canvas != pc->_canvas) tbitmap_free(held.canvas);
    return;
  }
  if (held.canvas != pc->_canvas) install_canvas(pc, held.canvas);
  pc->_zoom = held.zoom;
  pc->_base_offset = held.base_offset;
  drop_zoomed_base(pc);
}

void paint_context_clear(paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  if (!pc->_cairo) return;
  tbitmap *zoomed = pc->_base ? paint_context_get_zoomed_base(pc) : nullptr;
  if (zoomed) {
    cairo_surface_flush(pc->_surface);
    copy_whole(pc->_canvas, 0, 0, zoomed);
    cairo_surface_mark_dirty(pc->_surface);
    return;
  }
  // No base, or no memory for it at this zoom: the new colour.
  cairo_save(pc->_cairo);
  cairo_reset_clip(pc->_cairo);
  cairo_set_operator(pc->_cairo, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgb(pc->_cairo, pc->_new_rgb[0], pc->_new_rgb[1], pc->_new_rgb[2]);
  cairo_paint(pc->_cairo);
  cairo_restore(pc->_cairo);
  cairo_surface_flush(pc->_surface);
}

tbitmap *paint_context_get_zoomed_base(paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  if (!pc->_base || !pc->_canvas) return nullptr;
  if (pc->_zoomed_base) return pc->_zoomed_base;
  int32_t bw = tbitmap_get_width(pc->_base), bh = tbitmap_get_height(pc->_base);
  int32_t cw = tbitmap_get_width(pc->_canvas), ch = tbitmap_get_height(pc->_canvas);
  // The base at the zoom: the size clear gives the uncropped canvas, so that
  // the eraser reveals exactly the pixels clear draws.
  int32_t sw = zoomed_side(bw, pc->_zoom), sh = zoomed_side(bh, pc->_zoom);
  bool in_place = pc->_base_offset.x == 0 && pc->_base_offset.y == 0 && sw == cw && sh == ch;
  if (in_place && sw == bw && sh == bh) return pc->_base;
  tbitmap *scaled = sw == bw && sh == bh ? pc->_base : tscale_new_scaled(pc->_base, sw, -sh, 0);
  if (!scaled) return nullptr;
  if (in_place) {
    pc->_zoomed_base = scaled;
    return scaled;
  }
  tbitmap *placed = tbitmap_new(cw, -ch, 32);
  if (placed) {
    tbitmap_fill_rect(placed, 0, 0, cw - 1, ch - 1, tcolor_to_word(&pc->_new_color) | OPAQUE);
    copy_whole(placed, pc->_base_offset.x, pc->_base_offset.y, scaled);
  }
  if (scaled != pc->_base) tbitmap_free(scaled);
  pc->_zoomed_base = placed;
  return placed;
}

tbitmap *paint_context_copy_visible(const paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  if (!pc->_canvas) return nullptr;
  int32_t sw = 0, sh = 0;
  screen_size(&sw, &sh);
  int64_t x = pc->_origin.x, y = pc->_origin.y;
  int64_t left = std::max<int64_t>(0, -x), top = std::max<int64_t>(0, -y);
  int64_t right = x > 0 ? sw - 1 - x : left + sw - 1;
  int64_t bottom = y > 0 ? sh - 1 - y : top + sh - 1;
  int64_t width = std::min<int64_t>(right - left + 1, tbitmap_get_width(pc->_canvas) - left);
  int64_t height = std::min<int64_t>(bottom - top + 1, tbitmap_get_height(pc->_canvas) - top);
  // The canvas lies wholly off the screen: there is nothing to copy.
  if (width < 1 || height < 1) return nullptr;
  tbitmap *copy = tbitmap_new(int32_t(width), -int32_t(height), 32);
  if (!copy) return nullptr;
  if (pc->_surface) cairo_surface_flush(pc->_surface);
  tpoint dst = {0, 0};
  trect src = {int32_t(left), int32_t(top), int32_t(left + width - 1), int32_t(top + height - 1)};
  tbitmap_blit_keyed(copy, &dst, pc->_canvas, &src, NO_KEY, 255);
  return copy;
}

int paint_context_save_view(paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  if (!pc->_canvas || !ensure_view(pc)) return 0;
  int32_t sw = 0, sh = 0;
  screen_size(&sw, &sh);
  int32_t x = pc->_origin.x, y = pc->_origin.y;
  if (pc->_surface) cairo_surface_flush(pc->_surface);
  tpoint dst = {std::max(0, x), std::max(0, y)};
  int32_t left = std::max(0, -x), top = std::max(0, -y);
  trect src = {left, top, clamp_i32(int64_t(left) + sw - 1), clamp_i32(int64_t(top) + sh - 1)};
  return tbitmap_blit_keyed(pc->_view, &dst, pc->_canvas, &src, NO_KEY, 255);
}

int paint_context_restore_view(paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  if (!pc->_canvas || !ensure_view(pc)) return 0;
  int32_t sw = 0, sh = 0;
  screen_size(&sw, &sh);
  int32_t x = pc->_origin.x, y = pc->_origin.y;
  if (pc->_surface) cairo_surface_flush(pc->_surface);
  tpoint dst = {std::max(0, -x), std::max(0, -y)};
  int32_t left = std::max(0, x), top = std::max(0, y);
  trect src = {left, top, clamp_i32(int64_t(left) + sw - 1), clamp_i32(int64_t(top) + sh - 1)};
  int ok = tbitmap_blit_keyed(pc->_canvas, &dst, pc->_view, &src, NO_KEY, 255);
  if (pc->_surface) cairo_surface_mark_dirty(pc->_surface);
  return ok;
}

int paint_context_update_screen_size(paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  int32_t sw = 0, sh = 0;
  screen_size(&sw, &sh);
  if (pc->_view) {
    tbitmap *view = tbitmap_new(std::max(sw, 0), -std::max(sh, 0), 32);
    if (view) copy_whole(view, 0, 0, pc->_view);
    tbitmap_free(pc->_view);
    pc->_view = view;
  }
  if (sw == pc->_last_screen_width && sh == pc->_last_screen_height) return 0;
  // A rotation or any other new size: the canvas keeps its place relative to
  // the screen centre, each side moving by half its change.
  pc->_origin.x += sw / 2 - pc->_last_screen_width / 2;
  pc->_origin.y += sh / 2 - pc->_last_screen_height / 2;
  pc->_last_screen_width = sw;
  pc->_last_screen_height = sh;
  return 1;
}

int paint_context_refresh(paint_context *pc, const trect *rect, int full) {
  PORT_CHECK(pc != nullptr);
  if (!pc->_screen) return 0;
  pc->_partial_refresh = full == 0;
  trect area;
  if (rect) {
    trect r = *rect;
    trect_normalize(&r);
    int64_t cw = pc->_canvas ? tbitmap_get_width(pc->_canvas) : 0;
    int64_t ch = pc->_canvas ? tbitmap_get_height(pc->_canvas) : 0;
    int64_t ox = pc->_origin.x, oy = pc->_origin.y;
    // Inclusive corners: a one-pixel-wide area is a real area.
    int64_t x1 = std::max<int64_t>(r.x1 + ox, ox), y1 = std::max<int64_t>(r.y1 + oy, oy);
    int64_t x2 = std::min<int64_t>(r.x2 + ox, ox + cw - 1), y2 = std::min<int64_t>(r.y2 + oy, oy + ch - 1);
    if (x1 > x2 || y1 > y2) {
      pc->_partial_refresh = 0;
      return 0;
    }
    area = {clamp_i32(x1), clamp_i32(y1), clamp_i32(x2), clamp_i32(y2)};
  }
  int result = tscreen_paint(pc->_screen, rect ? &area : nullptr);
  pc->_partial_refresh = 0;
  return result;
}

void paint_context_snapshot(const paint_context *pc, paint_history_record *record) {
  PORT_CHECK(pc != nullptr && record != nullptr);
  record->_view_x = pc->_origin.x;
  record->_view_y = pc->_origin.y;
  record->_fore_color = pc->_fore_color;
  record->_back_color = pc->_back_color;
  record->_pen_size = pc->_pen_size;
  record->_rubber_size = pc->_rubber_size;
  record->_pen_style = pc->_pen_style;
}

// Colours go through the setters, so the cached components follow.
void paint_context_restore(paint_context *pc, const paint_history_record *record) {
  PORT_CHECK(pc != nullptr && record != nullptr);
  paint_context_set_origin(pc, record->_view_x, record->_view_y);
  paint_context_set_fore_color(pc, record->_fore_color);
  paint_context_set_back_color(pc, record->_back_color);
  pc->_pen_size = record->_pen_size;
  pc->_rubber_size = record->_rubber_size;
  pc->_pen_style = record->_pen_style;
}

cairo_t *paint_context_rebuild_cairo(paint_context *pc) {
  PORT_CHECK(pc != nullptr);
  if (pc->_surface) cairo_surface_destroy(pc->_surface);
  if (pc->_cairo) cairo_destroy(pc->_cairo);
  pc->_surface = nullptr;
  pc->_cairo = nullptr;
  if (!pc->_canvas) return nullptr;
  int32_t w = tbitmap_get_width(pc->_canvas), h = tbitmap_get_height(pc->_canvas);
  cairo_surface_t *surface = cairo_image_surface_create_for_data(
      pc->_canvas->_pixels, CAIRO_FORMAT_ARGB32, w, h, cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, w));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_t *cr = cairo_create(surface);
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return nullptr;
  }
  pc->_surface = surface;
  pc->_cairo = cr;
  return cr;
}

static void screen_size(int32_t *width, int32_t *height) { port_device_get_screen_size(width, height); }

// The view is a screen-sized bitmap that only previews need: it is made, as
// white as a new bitmap, when first asked for, and from then on follows the
// screen size. Until then it would have held nothing but that white.
static tbitmap *ensure_view(paint_context *pc) {
  if (!pc->_view) {
    int32_t sw = 0, sh = 0;
    screen_size(&sw, &sh);
    pc->_view = tbitmap_new(std::max(sw, 0), -std::max(sh, 0), 32);
  }
  return pc->_view;
}

// Sides never shrink below one pixel, whatever the zoom: an empty canvas would
// leave cairo and every tool without a surface.
static int32_t zoomed_side(int32_t side, double zoom) {
  double v = side * zoom;
  if (!(v >= 1)) return 1;
  if (v > double(TBITMAP_MAX_SIDE) + 1) return TBITMAP_MAX_SIDE + 1;  // refused by the allocation
  return int32_t(v);
}

// The canvas and the base picture under it share one pixel budget: opening a
// picture that leaves too little room shrinks the zoom rather than failing,
// as it would on a device that holds both in the same memory.
static tbitmap *new_canvas_bitmap(const tbitmap *base, int32_t width, int32_t height) {
  if (base) {
    uint64_t need = uint64_t(width) * 4 * uint64_t(height) + tbitmap_get_image_size(base);
    if (need > tbitmap_get_budget()) return nullptr;
  }
  // Every writer of the canvas keeps its fourth bytes at 255 (cairo reads
  // them as alpha), so opaque fills may store whole pixels.
  tbitmap *canvas = tbitmap_new(width, -height, 32);
  if (canvas) tbitmap_set_opaque(canvas, 1);
  return canvas;
}

// The canvas is already of that size and may be written.
static bool reusable(const paint_context *pc, int32_t width, int32_t height) {
  return pc->_canvas && pc->_canvas != pc->_held.canvas && tbitmap_get_width(pc->_canvas) == width &&
         tbitmap_get_height(pc->_canvas) == height;
}

static void install_canvas(paint_context *pc, tbitmap *canvas) {
  if (pc->_surface) cairo_surface_destroy(pc->_surface);
  if (pc->_cairo) cairo_destroy(pc->_cairo);
  pc->_surface = nullptr;
  pc->_cairo = nullptr;
  if (pc->_canvas && pc->_canvas != pc->_held.canvas) tbitmap_free(pc->_canvas);
  pc->_canvas = canvas;
  drop_zoomed_base(pc);
  paint_context_rebuild_cairo(pc);
}

static void drop_zoomed_base(paint_context *pc) {
  if (pc->_zoomed_base && pc->_zoomed_base != pc->_base) tbitmap_free(pc->_zoomed_base);
  pc->_zoomed_base = nullptr;
}

static void cache_components(const tcolor *color, double *out, int count) {
  out[0] = color->red / 255.0;
  out[1] = color->green / 255.0;
  out[2] = color->blue / 255.0;
  if (count > 3) out[3] = color->alpha / 255.0;
}

static void copy_whole(tbitmap *dst, int32_t x, int32_t y, const tbitmap *src) {
  tpoint at = {x, y};
  trect all = {0, 0, tbitmap_get_width(src) - 1, tbitmap_get_height(src) - 1};
  tbitmap_blit_keyed(dst, &at, src, &all, NO_KEY, 255);
}

static void force_opaque(tbitmap *bitmap) {
  int32_t w = tbitmap_get_width(bitmap), h = tbitmap_get_height(bitmap);
  for (int32_t y = 0; y < h; y++) {
    uint8_t *row = tbitmap_get_row(bitmap, y);
    for (int32_t x = 0; x < w; x++) row[4 * x + 3] = 255;
  }
}

static int32_t clamp_i32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// A deferred crop: the window moves by x, y on the canvas the run began with
// and takes the new size; what showed of that canvas before is all that can
// show after.
static void note_crop(paint_context *pc, int32_t x, int32_t y, int32_t width, int32_t height) {
  paint_context_crops &c = pc->_crops;
  if (!c.pending) {
    int64_t w = pc->_canvas ? tbitmap_get_width(pc->_canvas) : 0, h = pc->_canvas ? tbitmap_get_height(pc->_canvas) : 0;
    c.pending = 1;
    c.x = c.y = 0;
    c.width = int32_t(w), c.height = int32_t(h);
    c.clip_x1 = c.clip_y1 = 0;
    c.clip_x2 = w, c.clip_y2 = h;
  }
  c.clip_x1 = std::max(c.clip_x1, c.x);
  c.clip_y1 = std::max(c.clip_y1, c.y);
  c.clip_x2 = std::min(c.clip_x2, c.x + c.width);
  c.clip_y2 = std::min(c.clip_y2, c.y + c.height);
  c.x += x;
  c.y += y;
  c.width = width;
  c.height = height;
}

// The canvas becomes width x height at x, y of the present one (or of the
// one the crops' source stands for), filled with the new colour where the
// clip of it shows nothing. 1 done, 0 no memory, -1 the source failed.
static int make_cropped(paint_context *pc, int64_t x, int64_t y, int32_t width, int32_t height, const span &clip,
                        const paint_context_crops &crops) {
  tbitmap *canvas = new_canvas_bitmap(pc->_base, width, height);
  if (!canvas) return 0;
  tbitmap_fill_rect(canvas, 0, 0, width - 1, height - 1, tcolor_to_word(&pc->_new_color) | OPAQUE);
  span from = {std::max(clip.x1, x), std::max(clip.y1, y), std::min(clip.x2, x + width),
               std::min(clip.y2, y + height)};
  if (from.x1 < from.x2 && from.y1 < from.y2) {
    tpoint dst = {int32_t(from.x1 - x), int32_t(from.y1 - y)};
    trect src = {int32_t(from.x1), int32_t(from.y1), int32_t(from.x2 - 1), int32_t(from.y2 - 1)};
    if (crops.source) {
      if (!crops.source(crops.source_user, canvas, &src, &dst)) {
        tbitmap_free(canvas);
        return -1;
      }
    } else if (pc->_canvas) {
      if (pc->_surface) cairo_surface_flush(pc->_surface);
      tbitmap_blit_keyed(canvas, &dst, pc->_canvas, &src, NO_KEY, 255);
    }
  }
  install_canvas(pc, canvas);
  return 1;
}
