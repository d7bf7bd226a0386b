// shape_straw: the Color Picker tool.
#include "shape_straw.h"

#include <algorithm>
#include <cstdlib>

#include "app_common.h"
#include "paint_context.h"
#include "tbdrawer.h"
#include "tcontrol.h"
#include "tscreen.h"

constexpr int32_t SWATCH_SMALL = 22, SWATCH_NORMAL = 45, SWATCH_LARGE = 90;
constexpr int32_t SWATCH_GAP = 5;  // between the swatch and the pen, and the screen's top-left edges

static int32_t straw_input(shape *tool, int32_t type, int32_t x, int32_t y, int32_t modifiers);
static void pick_at(shape_straw *tool, int32_t x, int32_t y, tpoint *clamped);
static void show_swatch(shape_straw *tool, const tpoint *at);
static void close_swatch(shape_straw *tool);

shape *shape_straw_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                       void *extra) {
  shape_straw *tool = static_cast<shape_straw *>(std::calloc(1, sizeof(shape_straw)));
  if (!tool) return nullptr;
  shape_init(&tool->_base, id, name, context, history, extra);
  shape_set_input_fn(&tool->_base, straw_input);
  shape_set_query_fn(&tool->_base, shape_query_none);
  return &tool->_base;
}

void shape_straw_free(shape *base) {
  PORT_CHECK(base != nullptr);
  shape_straw *tool = reinterpret_cast<shape_straw *>(base);
  close_swatch(tool);
  shape_deinit(base);
  std::free(tool);
}

shape_straw_pick_fn shape_straw_set_on_pick(shape *base, shape_straw_pick_fn fn) {
  PORT_CHECK(base != nullptr);
  shape_straw *tool = reinterpret_cast<shape_straw *>(base);
  shape_straw_pick_fn previous = tool->_on_pick;
  tool->_on_pick = fn;
  return previous;
}

trect shape_straw_popup_rect(int32_t x, int32_t y, int32_t screen_width, int32_t screen_height) {
  bool large = app_common_is_vga_size(screen_width, screen_height);
  int32_t size = app_common_is_qvga_size(screen_width, screen_height) ? SWATCH_SMALL
                 : large                                              ? SWATCH_LARGE
                                                                      : SWATCH_NORMAL;
  int64_t left = int64_t(x) - (size >> 1) - SWATCH_GAP, top = int64_t(y) - size - SWATCH_GAP;
  if (large) {
    left -= size / 2;
    top -= size / 2;
  }
  // Kept on the screen: clear of the top-left edges first, then within the bottom-right ones.
  left = std::max<int64_t>(left, SWATCH_GAP);
  left = std::min<int64_t>(left, int64_t(screen_width) - size);
  top = std::max<int64_t>(top, SWATCH_GAP);
  top = std::min<int64_t>(top, int64_t(screen_height) - size);
  return {int32_t(left), int32_t(top), int32_t(left + size - 1), int32_t(top + size - 1)};
}

static int32_t straw_input(shape *base, int32_t type, int32_t x, int32_t y, int32_t) {
  PORT_CHECK(base != nullptr);
  shape_straw *tool = reinterpret_cast<shape_straw *>(base);
  if (type == SHAPE_PEN_DOWN || (type == SHAPE_PEN_MOVE && base->_active)) {
    base->_active = 1;
    tpoint clamped;
    pick_at(tool, x, y, &clamped);
    show_swatch(tool, &clamped);
    return 1;
  }
  if (type == SHAPE_PEN_UP && base->_active) {
    close_swatch(tool);
    base->_active = 0;
    if (tool->_on_pick) tool->_on_pick(base, tool->_color);
    return 1;
  }
  return 0;
}

// Reads the canvas pixel nearest to the screen point (x, y) and gives the
// point kept on the canvas.
static void pick_at(shape_straw *tool, int32_t x, int32_t y, tpoint *clamped) {
  paint_context *pc = tool->_base._context;
  tpoint origin = {0, 0};
  paint_context_get_origin(pc, &origin);
  const tbitmap *canvas = paint_context_get_canvas(pc);
  *clamped = {x, y};
  if (!canvas) return;
  int64_t right = int64_t(origin.x) + tbitmap_get_width(canvas) - 1,
          bottom = int64_t(origin.y) + tbitmap_get_height(canvas) - 1;
  clamped->x = int32_t(std::clamp<int64_t>(x, origin.x, std::min<int64_t>(right, INT32_MAX)));
  clamped->y = int32_t(std::clamp<int64_t>(y, origin.y, std::min<int64_t>(bottom, INT32_MAX)));
  if (cairo_t *cr = paint_context_get_cairo(pc)) cairo_surface_flush(cairo_get_target(cr));
  tcolor color = {};
  tbitmap_get_pixel_color(canvas, int32_t(int64_t(clamped->x) - origin.x), int32_t(int64_t(clamped->y) - origin.y),
                          &color);
  tool->_color = tcolor_key_of(color);
}

// Shows the swatch in the picked colour above the point, made on first use.
static void show_swatch(shape_straw *tool, const tpoint *at) {
  tscreen *screen = tscreen_get();
  if (!screen) return;
  trect rect = shape_straw_popup_rect(at->x, at->y, tscreen_get_width(screen), tscreen_get_height(screen));
  if (!tool->_popup) {
    tool->_popup = tcontrol_new(nullptr, &rect, tool);
    if (!tool->_popup) return;
    tcontrol_realize(tool->_popup);
  }
  uint32_t rgb = tool->_color;
  tbdrawer_set_fill_color(tcontrol_get_box_drawer(tool->_popup), tcolor_of_key(rgb));
  tcontrol_move_to(tool->_popup, rect.x1, rect.y1, 0);
  tsurface_update(&tool->_popup->_surface, nullptr);
}

// The swatch goes and the screen shows again what it covered.
static void close_swatch(shape_straw *tool) {
  if (!tool->_popup) return;
  trect covered;
  tsurface_get_screen_rect(&tool->_popup->_surface, &covered);
  tcontrol_free(tool->_popup);
  tool->_popup = nullptr;
  if (tscreen *screen = tscreen_get()) tscreen_paint(screen, &covered);
}
