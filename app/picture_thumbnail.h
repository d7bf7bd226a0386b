// picture_thumbnail: the floating preview of a picture file beside the row
// that selected it. A placeholder shows at once; when the picture has
// loaded it takes its place, stretched to the largest rect when it is bigger
// (its proportions are not kept), at its own size otherwise. Wherever it is
// asked to stand, it stays 5 pixels inside the screen.
//
// Owns the image control, the loaded picture and the load job; borrows the
// placeholder. While it lives it is the screen's modal surface (drawn above
// the dialog it serves); freeing it gives that place back to whatever held
// it before, unless that surface has been freed since (then to no one).
#pragma once

#include <cstdint>

#include "app_context.h"
#include "tbitmap.h"
#include "trect.h"

struct tcontrol;
struct timage;
struct image_job;
struct tsurface;

constexpr int32_t PICTURE_THUMBNAIL_MARGIN = 5;

struct picture_thumbnail {
  timage *image;
  tbitmap *picture, *picture_mask;  // owned once loaded
  char16_t path[APP_PATH_CHARS];
  int32_t x, y;                     // where it was asked to stand
  tbitmap *placeholder;             // borrowed
  trect max_rect;
  image_job *job;
  void *user_data;
};

// Null when any part cannot be made.
picture_thumbnail *picture_thumbnail_new(tcontrol *parent, const trect *max_rect, tbitmap *placeholder,
                                         void *user_data);
void picture_thumbnail_show(picture_thumbnail *thumb, const char16_t *path, int32_t x, int32_t y);
void picture_thumbnail_hide(picture_thumbnail *thumb);
void picture_thumbnail_free(picture_thumbnail *thumb);

// A picture that came with a mask, put through it onto a new picture of its
// size filled with background (a colour word); a palette picture goes onto a
// 24-bit one, whose colours need no palette. Null when memory is short.
tbitmap *picture_thumbnail_compose(const tbitmap *picture, const tbitmap *mask, uint32_t background);
