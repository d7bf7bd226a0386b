// shape_brush1: the Spray Brush tool (id 12): a soft round dab (a radial
// alpha mask over a square of the drawing colour) stamped along the path at
// every spacing-th step of the line walk. The dab is pen size x zoom wide
// and is kept until its size or colour changes.
//
// The step counter runs across all batches and pieces of a stroke, so a
// replay stamps where the live stroke did. A segment is walked only where it
// comes near the canvas (the canvas widened by the dab); the steps it skips
// still count.
#pragma once

#include <cstdint>

#include "shape_points.h"

struct shape_brush1 {
  shape_points _points;
  tbitmap *_dab_color;  // 24 bpp, the colour
  tbitmap *_dab_mask;   // 8 bpp, the dab's alpha
  tcolor _color;
  int32_t _dab_size;
  trect _dab_rect;
  tbitmap *_target;
  int64_t _steps;
  int32_t _spacing;
  tpoint _position;
  tpoint _previous;  // scaled point the next segment starts from
  int64_t _stamps;   // dabs stamped since the tool was made
};

static_assert(std::is_standard_layout_v<shape_brush1>, "tools are cast to their base");

// Null when memory is short.
shape *shape_brush1_new(int32_t id, const char16_t *name, paint_context *context, paint_history *history,
                        void *extra);
void shape_brush1_free(shape *tool);

// Stamp every spacing-th step for a dab of this size (0: every step).
int32_t shape_brush1_spacing(int32_t dab_size);
