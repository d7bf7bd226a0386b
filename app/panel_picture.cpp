// panel_picture: resource pictures scaled to the surface they cover.
#include "panel_picture.h"

#include "port_log.h"
#include "tresource.h"
#include "tscale.h"

void panel_picture_load(panel_picture *picture, int32_t id, int32_t width, int32_t height) {
  PORT_CHECK(picture != nullptr);
  picture->_owned = nullptr;
  picture->_bitmap = tresource_get_bitmap(id);
  tbitmap *found = picture->_bitmap;
  if (!found || width < 1 || height < 1) return;
  if (tbitmap_get_width(found) == width && tbitmap_get_height(found) == height) return;
  int32_t rows = tbitmap_is_top_down(found) ? -height : height;
  picture->_owned = tscale_new_scaled(found, width, rows, 0);
  if (picture->_owned) picture->_bitmap = picture->_owned;
}

void panel_picture_release(panel_picture *picture) {
  PORT_CHECK(picture != nullptr);
  if (picture->_owned) tbitmap_free(picture->_owned);
  picture->_owned = nullptr;
  picture->_bitmap = nullptr;
}
