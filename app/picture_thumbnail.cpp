// picture_thumbnail: a delayed preview of a picture file.
#include "picture_thumbnail.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image_job.h"
#include "port_log.h"
#include "tcontrol.h"
#include "timage.h"
#include "tscale.h"
#include "tscreen.h"

namespace {

constexpr uint32_t k_black = 0xFF000000u;

tsurface *surface_of(picture_thumbnail *thumb) { return &reinterpret_cast<tcontrol *>(thumb->image)->_surface; }
void free_picture(picture_thumbnail *thumb);
void place(picture_thumbnail *thumb, tbitmap *bitmap);
void on_loaded(image_job *job, int result, void *user);

}  // namespace

picture_thumbnail *picture_thumbnail_new(tcontrol *parent, const trect *max_rect, tbitmap *placeholder,
                                         void *user_data) {
  PORT_CHECK(max_rect != nullptr);
  picture_thumbnail *thumb = static_cast<picture_thumbnail *>(std::calloc(1, sizeof(picture_thumbnail)));
  if (!thumb) return nullptr;
  thumb->max_rect = *max_rect;
  thumb->placeholder = placeholder;
  thumb->user_data = user_data;
  thumb->job = image_job_new(thumb);
  thumb->image = thumb->job ? timage_new(parent, max_rect, placeholder, nullptr, 0, thumb) : nullptr;
  if (!thumb->image) {
    image_job_free(thumb->job);
    std::free(thumb);
    return nullptr;
  }
  tsurface_set_visible(surface_of(thumb), 0);
  tcontrol_realize(reinterpret_cast<tcontrol *>(thumb->image));
  // The dialog under the preview has the slot again when the preview goes,
  // unless it has gone first.
  tsurface_take_modal(surface_of(thumb));
  return thumb;
}

void picture_thumbnail_show(picture_thumbnail *thumb, const char16_t *path, int32_t x, int32_t y) {
  PORT_CHECK(thumb != nullptr && path != nullptr);
  size_t length = std::min<size_t>(std::char_traits<char16_t>::length(path), APP_PATH_CHARS - 1);
  std::memmove(thumb->path, path, length * sizeof(char16_t));
  thumb->path[length] = 0;
  thumb->x = x;
  thumb->y = y;
  image_job_cancel(thumb->job);
  free_picture(thumb);
  place(thumb, thumb->placeholder);
  tsurface_set_visible(surface_of(thumb), 1);
  tscreen_paint(tscreen_get(), nullptr);
  if (!image_job_load(thumb->job, &thumb->picture, &thumb->picture_mask, thumb->path, 0, on_loaded))
    picture_thumbnail_hide(thumb);
}

void picture_thumbnail_hide(picture_thumbnail *thumb) {
  PORT_CHECK(thumb != nullptr);
  image_job_cancel(thumb->job);
  tsurface_set_visible(surface_of(thumb), 0);
  tscreen_paint(tscreen_get(), nullptr);
}

void picture_thumbnail_free(picture_thumbnail *thumb) {
  PORT_CHECK(thumb != nullptr);
  image_job_free(thumb->job);
  timage_free(thumb->image);
  free_picture(thumb);
  std::free(thumb);
}

tbitmap *picture_thumbnail_compose(const tbitmap *picture, const tbitmap *mask, uint32_t background) {
  PORT_CHECK(picture != nullptr && mask != nullptr);
  int32_t width = tbitmap_get_width(picture), height = tbitmap_get_height(picture);
  tbitmap *composed = tbitmap_new(width, height, std::max(tbitmap_get_bpp(picture), 24));
  if (!composed) return nullptr;
  tbitmap_fill_rect(composed, 0, 0, width - 1, height - 1, background);
  tpoint origin = {0, 0};
  trect all = {0, 0, width - 1, height - 1};
  tbitmap_blit_masked(composed, &origin, picture, &all, mask, 255);
  return composed;
}

namespace {

void free_picture(picture_thumbnail *thumb) {
  if (thumb->picture) tbitmap_free(thumb->picture);
  if (thumb->picture_mask) tbitmap_free(thumb->picture_mask);
  thumb->picture = thumb->picture_mask = nullptr;
}

// The control takes the bitmap and its size at the asked place, moved left
// and up as far as needed to stay inside the screen by the margin.
void place(picture_thumbnail *thumb, tbitmap *bitmap) {
  int32_t width = bitmap ? tbitmap_get_width(bitmap) : 0, height = bitmap ? tbitmap_get_height(bitmap) : 0;
  int32_t screen_width = 0, screen_height = 0;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  int32_t x = std::min(thumb->x, screen_width - PICTURE_THUMBNAIL_MARGIN - width);
  int32_t y = std::min(thumb->y, screen_height - PICTURE_THUMBNAIL_MARGIN - height);
  timage_set_bitmap(thumb->image, bitmap);
  tcontrol_set_rect(reinterpret_cast<tcontrol *>(thumb->image), x, y, width, height);
}

void on_loaded(image_job *job, int result, void *user) {
  (void)job;
  picture_thumbnail *thumb = static_cast<picture_thumbnail *>(user);
  if (result != 1 || !thumb->picture || tbitmap_get_bpp(thumb->picture) < 8) {
    free_picture(thumb);
    picture_thumbnail_hide(thumb);
    return;
  }
  if (thumb->picture_mask) {
    tbitmap *composed = picture_thumbnail_compose(thumb->picture, thumb->picture_mask, k_black);
    free_picture(thumb);
    thumb->picture = composed;
    if (!composed) {
      picture_thumbnail_hide(thumb);
      return;
    }
  }
  int32_t max_width = thumb->max_rect.x2 - thumb->max_rect.x1 + 1;
  int32_t max_height = thumb->max_rect.y2 - thumb->max_rect.y1 + 1;
  if (tbitmap_get_width(thumb->picture) > max_width || tbitmap_get_height(thumb->picture) > max_height) {
    tbitmap *scaled = tscale_new_scaled(thumb->picture, max_width, max_height, 0);
    tbitmap_free(thumb->picture);
    thumb->picture = scaled;
    if (!scaled) {
      picture_thumbnail_hide(thumb);
      return;
    }
  }
  place(thumb, thumb->picture);
  tsurface_set_visible(surface_of(thumb), 1);
  tscreen_paint(tscreen_get(), nullptr);
}

}  // namespace
