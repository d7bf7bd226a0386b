// timage: a bitmap control.
#include "timage.h"

#include <cstdlib>
#include <cstring>

#include "port_log.h"
#include "tstyler.h"

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
static void on_layout(tcontrol *control, const trect *rect);

int timage_init(timage *image, tcontrol *parent, const trect *rect, tbitmap *bitmap, tbitmap *mask, int32_t mode,
                void *owner) {
  PORT_CHECK(image != nullptr && rect != nullptr);
  std::memset(image, 0, sizeof *image);
  trect placed = *rect;
  if (bitmap && mode == TIMAGE_FIT_BITMAP) {
    placed.x2 = placed.x1 + tbitmap_get_width(bitmap) - 1;
    placed.y2 = placed.y1 + tbitmap_get_height(bitmap) - 1;
  }
  if (!tcontrol_init(&image->_control, parent, &placed, owner)) return 0;
  image->_mode = mode;
  image->_bitmap = bitmap;
  image->_mask = mask;
  image->_alpha = 255;
  image->_idrawer = tidrawer_copy(tstyler_get_default_idrawer());
  if (!image->_idrawer) {
    tcontrol_deinit(&image->_control);
    return 0;
  }
  tidrawer_set_alignment(image->_idrawer, 8);
  tbdrawer_set_no_border(image->_control._bdrawer);
  tcontrol_set_on_paint(&image->_control, on_paint);
  tcontrol_set_on_layout(&image->_control, on_layout);
  tstyler_apply(tstyler_get_default(), image, TSTYLE_IMAGE, owner, 0);
  return 1;
}

timage *timage_new(tcontrol *parent, const trect *rect, tbitmap *bitmap, tbitmap *mask, int32_t mode, void *owner) {
  timage *image = static_cast<timage *>(std::calloc(1, sizeof(timage)));
  if (!image) return nullptr;
  if (!timage_init(image, parent, rect, bitmap, mask, mode, owner)) {
    std::free(image);
    return nullptr;
  }
  return image;
}

void timage_deinit(timage *image) {
  PORT_CHECK(image != nullptr);
  if (image->_idrawer) tidrawer_free(image->_idrawer);
  tcontrol_deinit(&image->_control);
  std::memset(reinterpret_cast<uint8_t *>(image) + sizeof(tcontrol), 0, sizeof *image - sizeof(tcontrol));
}

void timage_free(timage *image) {
  PORT_CHECK(image != nullptr);
  timage_deinit(image);
  std::free(image);
}

void timage_set_bitmap(timage *image, tbitmap *bitmap) {
  PORT_CHECK(image != nullptr);
  image->_bitmap = bitmap;
}

void timage_set_bitmap_and_mask(timage *image, tbitmap *bitmap, tbitmap *mask) {
  PORT_CHECK(image != nullptr);
  image->_bitmap = bitmap;
  image->_mask = mask;
}

tbitmap *timage_get_bitmap(const timage *image) {
  PORT_CHECK(image != nullptr);
  return image->_bitmap;
}

void timage_set_on_resize(timage *image, timage_layout_fn fn) {
  PORT_CHECK(image != nullptr);
  image->_on_resize = fn;
}

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  timage *image = reinterpret_cast<timage *>(control);
  tbdrawer_draw(control->_bdrawer, canvas, rect);
  if (image->_bitmap) tidrawer_draw(image->_idrawer, canvas, image->_bitmap, image->_mask, rect, image->_alpha);
}

static void on_layout(tcontrol *control, const trect *rect) {
  timage *image = reinterpret_cast<timage *>(control);
  if (image->_on_resize) image->_on_resize(image, rect);
  tsurface_update(&control->_surface, nullptr);
}
