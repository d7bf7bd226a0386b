// animation: a frame animation on an image control.
//
// A timage that steps through up to 32 frame bitmaps, each with its mask,
// on a periodic timer. Frames and masks are borrowed (resource bitmaps);
// a missing one (null) draws nothing. The timer handle is 0 whenever no
// timer runs; deinit stops it. With no frame at all the control shows
// nothing and never ticks.
#pragma once

#include <cstdint>
#include <type_traits>

#include "timage.h"

constexpr int32_t ANIMATION_MAX_FRAMES = 32;

struct animation;
// Called on every tick with the new index in place.
typedef void (*animation_frame_fn)(animation *animation);

struct animation {
  timage _image;
  tbitmap *_frames[ANIMATION_MAX_FRAMES];
  tbitmap *_masks[ANIMATION_MAX_FRAMES];
  int32_t _count;
  int32_t _index;
  uint32_t _timer;
  animation_frame_fn _on_frame;
};

static_assert(std::is_standard_layout_v<animation>, "an animation is cast to its image");

// count is cut to 0..ANIMATION_MAX_FRAMES; masks may be null.
int animation_init(animation *animation, tcontrol *parent, const trect *rect, tbitmap *const *frames,
                   tbitmap *const *masks, int32_t count, int32_t mode, void *owner);
animation *animation_new(tcontrol *parent, const trect *rect, tbitmap *const *frames, tbitmap *const *masks,
                         int32_t count, int32_t mode, void *owner);
void animation_deinit(animation *animation);
void animation_free(animation *animation);

// Restarts the periodic timer; its handle, 0 when refused or when there is
// no frame to show.
uint32_t animation_start(animation *animation, uint32_t interval_ms);
void animation_stop(animation *animation);
animation_frame_fn animation_set_frame_callback(animation *animation, animation_frame_fn fn);
// Null outside 0..count-1.
tbitmap *animation_get_mask(const animation *animation, int32_t index);
int32_t animation_get_index(const animation *animation);
