// animation: a frame animation on an image control.
#include "animation.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "port_log.h"
#include "wins_timer.h"

namespace {

void on_tick(uint32_t id, void *user_data);

}  // namespace

int animation_init(animation *animation, tcontrol *parent, const trect *rect, tbitmap *const *frames,
                   tbitmap *const *masks, int32_t count, int32_t mode, void *owner) {
  PORT_CHECK(animation != nullptr && rect != nullptr);
  std::memset(animation, 0, sizeof *animation);
  int32_t kept = std::clamp(count, 0, ANIMATION_MAX_FRAMES);
  if (kept > 0 && !frames) kept = 0;
  for (int32_t i = 0; i < kept; i++) {
    animation->_frames[i] = frames[i];
    animation->_masks[i] = masks ? masks[i] : nullptr;
  }
  tbitmap *first = kept > 0 ? animation->_frames[0] : nullptr;
  tbitmap *first_mask = kept > 0 ? animation->_masks[0] : nullptr;
  if (!timage_init(&animation->_image, parent, rect, first, first_mask, mode, owner)) return 0;
  animation->_count = kept;
  return 1;
}

animation *animation_new(tcontrol *parent, const trect *rect, tbitmap *const *frames, tbitmap *const *masks,
                         int32_t count, int32_t mode, void *owner) {
  animation *made = static_cast<animation *>(std::calloc(1, sizeof(animation)));
  if (!made) return nullptr;
  if (!animation_init(made, parent, rect, frames, masks, count, mode, owner)) {
    std::free(made);
    return nullptr;
  }
  return made;
}

void animation_deinit(animation *animation) {
  PORT_CHECK(animation != nullptr);
  animation_stop(animation);
  timage_deinit(&animation->_image);
}

void animation_free(animation *animation) {
  PORT_CHECK(animation != nullptr);
  animation_deinit(animation);
  std::free(animation);
}

uint32_t animation_start(animation *animation, uint32_t interval_ms) {
  PORT_CHECK(animation != nullptr);
  animation_stop(animation);
  // Without a frame the tick would divide by the count.
  if (animation->_count < 1) return 0;
  animation->_timer = wins_timer_start(interval_ms, 0, on_tick, animation);
  return animation->_timer;
}

void animation_stop(animation *animation) {
  PORT_CHECK(animation != nullptr);
  if (!animation->_timer) return;
  wins_timer_stop(animation->_timer);
  animation->_timer = 0;
}

animation_frame_fn animation_set_frame_callback(animation *animation, animation_frame_fn fn) {
  PORT_CHECK(animation != nullptr);
  animation_frame_fn previous = animation->_on_frame;
  animation->_on_frame = fn;
  return previous;
}

tbitmap *animation_get_mask(const animation *animation, int32_t index) {
  PORT_CHECK(animation != nullptr);
  return index >= 0 && index < animation->_count ? animation->_masks[index] : nullptr;
}

int32_t animation_get_index(const animation *animation) {
  PORT_CHECK(animation != nullptr);
  return animation->_index;
}

namespace {

void on_tick(uint32_t id, void *user_data) {
  (void)id;
  animation *animation = static_cast<struct animation *>(user_data);
  animation->_index = (animation->_index + 1) % animation->_count;
  if (animation->_on_frame) animation->_on_frame(animation);
  timage_set_bitmap_and_mask(&animation->_image, animation->_frames[animation->_index],
                             animation->_masks[animation->_index]);
  tsurface_update(&animation->_image._control._surface, nullptr);
}

}  // namespace
