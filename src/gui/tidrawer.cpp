// tidrawer: a bitmap placed in a rect.
#include "tidrawer.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "port_log.h"
#include "ttdrawer.h"

static int64_t place(uint8_t where, int64_t from, int64_t to, int64_t size);
static int32_t clamp32(int64_t v);

tidrawer *tidrawer_new(tidrawer_draw_fn draw) {
  tidrawer *drawer = static_cast<tidrawer *>(std::calloc(1, sizeof(tidrawer)));
  if (!drawer) return nullptr;
  drawer->_alignment = 8;
  drawer->_draw = draw;
  return drawer;
}

tidrawer *tidrawer_new_default() { return tidrawer_new(tidrawer_draw_standard); }

tidrawer *tidrawer_copy(const tidrawer *src_drawer) {
  PORT_CHECK(src_drawer != nullptr);
  tidrawer *drawer = static_cast<tidrawer *>(std::malloc(sizeof(tidrawer)));
  if (drawer) *drawer = *src_drawer;
  return drawer;
}

void tidrawer_free(tidrawer *drawer) {
  PORT_CHECK(drawer != nullptr);
  std::free(drawer);
}

void tidrawer_set_alignment(tidrawer *drawer, uint32_t alignment) {
  PORT_CHECK(drawer != nullptr);
  drawer->_alignment = alignment;
}

void tidrawer_draw(tidrawer *drawer, tcanvas *canvas, const tbitmap *bitmap, const tbitmap *mask, const trect *rect,
                   int alpha) {
  PORT_CHECK(drawer != nullptr && canvas != nullptr && rect != nullptr);
  if (drawer->_draw) drawer->_draw(drawer, canvas, bitmap, mask, rect, alpha);
}

void tidrawer_draw_standard(tidrawer *drawer, tcanvas *canvas, const tbitmap *bitmap, const tbitmap *mask,
                            const trect *rect, int alpha) {
  PORT_CHECK(drawer != nullptr && canvas != nullptr && rect != nullptr);
  if (!bitmap) return;
  int32_t width = tbitmap_get_width(bitmap), height = tbitmap_get_height(bitmap);
  uint32_t code = drawer->_alignment < 9 ? drawer->_alignment : 0;
  tpoint at = {clamp32(place(TDRAWER_HORIZONTAL[code], rect->x1, rect->x2, width) + drawer->_offset_x),
               clamp32(place(TDRAWER_VERTICAL[code], rect->y1, rect->y2, height) + drawer->_offset_y)};
  trect whole = {0, 0, width - 1, height - 1};
  if (mask)
    tcanvas_draw_bitmap_masked(canvas, &at, bitmap, &whole, mask, alpha);
  else if (alpha < 255)
    tcanvas_draw_bitmap_alpha(canvas, &at, bitmap, &whole, alpha);
  else
    tcanvas_draw_bitmap(canvas, &at, bitmap, &whole);
}

static int64_t place(uint8_t where, int64_t from, int64_t to, int64_t size) {
  if (where == 0) return from;
  if (where == 1) return from + (to - from - size + 1) / 2;
  return to - size;
}

static int32_t clamp32(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}
