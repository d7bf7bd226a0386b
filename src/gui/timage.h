// timage: a bitmap with an optional mask, placed by the image drawer (centred
// by default). Owns its image drawer; borrows the bitmap and the mask.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tcontrol.h"
#include "tidrawer.h"

struct timage;

typedef void (*timage_layout_fn)(timage *image, const trect *rect);

enum { TIMAGE_FIXED = 0, TIMAGE_FIT_BITMAP = 1 };

struct timage {
  tcontrol _control;
  int32_t _mode;  // 1: the control takes the bitmap's size at init
  tidrawer *_idrawer;
  tbitmap *_bitmap, *_mask;
  uint16_t _alpha;
  timage_layout_fn _on_resize;
};

static_assert(std::is_standard_layout_v<timage>, "images are cast to their control");

int timage_init(timage *image, tcontrol *parent, const trect *rect, tbitmap *bitmap, tbitmap *mask, int32_t mode,
                void *owner);
timage *timage_new(tcontrol *parent, const trect *rect, tbitmap *bitmap, tbitmap *mask, int32_t mode, void *owner);
void timage_deinit(timage *image);
void timage_free(timage *image);
// No repaint: the next paint or update shows it.
void timage_set_bitmap(timage *image, tbitmap *bitmap);
void timage_set_bitmap_and_mask(timage *image, tbitmap *bitmap, tbitmap *mask);
tbitmap *timage_get_bitmap(const timage *image);
// Called with the new rect after every size change, before the update.
void timage_set_on_resize(timage *image, timage_layout_fn fn);
