// tidrawer: the image drawer, which places a bitmap in a rect by an alignment
// code (the grid of ttdrawer.h) and copies it plainly, through a mask or with
// a constant alpha. Holds its parameters and a draw routine that a styler may
// substitute; borrows every bitmap it draws.
#pragma once

#include <cstdint>

#include "tbitmap.h"
#include "tcanvas.h"
#include "trect.h"

struct tidrawer;

typedef void (*tidrawer_draw_fn)(tidrawer *drawer, tcanvas *canvas, const tbitmap *bitmap, const tbitmap *mask,
                                 const trect *rect, int alpha);

struct tidrawer {
  uint32_t _alignment;
  int32_t _offset_x, _offset_y;
  tidrawer_draw_fn _draw;
};

// Alignment 8 (centred).
tidrawer *tidrawer_new(tidrawer_draw_fn draw);
tidrawer *tidrawer_new_default();
tidrawer *tidrawer_copy(const tidrawer *src_drawer);
void tidrawer_free(tidrawer *drawer);
void tidrawer_set_alignment(tidrawer *drawer, uint32_t alignment);

void tidrawer_draw(tidrawer *drawer, tcanvas *canvas, const tbitmap *bitmap, const tbitmap *mask, const trect *rect,
                   int alpha);
// Through the mask with alpha when a mask is given, else blended at alpha
// below 255, else a plain copy; nothing for a null bitmap.
void tidrawer_draw_standard(tidrawer *drawer, tcanvas *canvas, const tbitmap *bitmap, const tbitmap *mask,
                            const trect *rect, int alpha);
