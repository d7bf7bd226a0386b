// imagebar: the image bar, the replay of its image-stamp records and the
// frame the text bar shares.
#include "imagebar.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app_common.h"
#include "image_job.h"
#include "paint_context.h"
#include "paint_history.h"
#include "port_fs.h"
#include "port_log.h"
#include "shape.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tfile.h"
#include "tidrawer.h"
#include "timage.h"
#include "tlistbox.h"
#include "tlistcolumn.h"
#include "tmenu.h"
#include "tresource.h"
#include "tscale.h"
#include "tscreen.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "twformat.h"

namespace {

// Record and blob offsets.
enum {
  AT_IMAGE_SIZE = 16,
  AT_IMAGE_POINTER = 20,
  AT_MASK_SIZE = 24,
  AT_MASK_POINTER = 28,
  BLOB_STRIDE = 8,
  BLOB_RED_MASK = 12,
  BLOB_GREEN_MASK = 16,
  BLOB_BLUE_MASK = 20,
};
constexpr int32_t k_info_header = 40;
constexpr int32_t k_palette_bytes = 256 * 4;

// The frame.
constexpr int32_t k_margins_small[4] = {7, 3, 3, 7}, k_margins_large[4] = {40, 10, 10, 40},
                  k_margins_normal[4] = {20, 10, 10, 20};
constexpr int32_t k_corner_large = 40, k_corner = 20;
constexpr int32_t k_least_side_large = 55, k_least_side = 35;
constexpr int32_t k_hold_ms = 100;
constexpr tcolor k_frame_border = tcolor_rgba(128, 128, 128, 128);
constexpr uint32_t k_frame_top = tcolor_key_rgb(128, 128, 128), k_frame_bottom = tcolor_key_rgb(200, 200, 200);
constexpr uint32_t k_light = 0x80FFFFFFu;  // white at alpha 128
constexpr uint32_t k_arrow = 0xFF404040u, k_dot = 0xFF808080u;

// The corner menu.
constexpr int32_t k_check_mask_id = 15070;
constexpr int32_t k_check_side = 14;  // without the resource file
constexpr int32_t k_check_column_extra = 20;
constexpr int32_t k_menu_scrollbar = 10;
constexpr int32_t k_menu_scroll_steps = 2;
enum { OPTION_CONSTRAIN = 1, OPTION_ACTUAL_SIZE = 2 };

// Texts.
constexpr int32_t k_text_open_failed[6] = {0, 25011, 25012, 25013, 25014, 25015};
const char16_t *const k_open_failed[6] = {
    nullptr,
    u"Fail to open this picture (-1).",
    u"Fail to open this picture (-2).",
    u"Fail to open this picture (-3).",
    u"Fail to open this picture (-4).",
    u"Fail to open this picture (-5).",
};

// A stored bitmap as a view over the record, with an info block of its own.
struct blob_view {
  tbitmap bitmap;
  bool made;
};

int can_drag(tdock *dock, int32_t x, int32_t y);
tcontrol *child_at(tdock *dock, int32_t index);
int32_t one_child(tdock *dock);
int never_docks(tdock *dock, int32_t side);
void draw_frame(tbdrawer *drawer, tcanvas *canvas, const trect *rect);
void draw_image_background(tbdrawer *drawer, tcanvas *canvas, const trect *rect);
void on_resize(timage *image, const trect *rect);
void on_loaded(image_job *job, int result, void *user);
void fill_option_menu(tmenu *menu, int32_t x, int32_t y);
void on_option_selected(uint32_t id, void *user_data);
int load_file(imagebar *ib, const char16_t *path);
void release_pictures(imagebar *ib);
void show_shown(imagebar *ib, tbitmap *shown, tbitmap *shown_mask);
int make_scaled(const imagebar *ib, int32_t width, int32_t height, tbitmap **shown, tbitmap **shown_mask);
void fit_to_picture(imagebar *ib);
void fail(imagebar *ib, int code);
imagebar *owner_of(tdock *dock);
uint64_t info_size_of(int bpp);
bool view_blob(const uint8_t *blob, uint64_t size, blob_view *view);
void release_view(blob_view *view);
void fill_triangle(tcanvas *canvas, const trect *r, int32_t shift, uint32_t color);
void keep_opaque(tbitmap *canvas, const trect *rect);
bool visible_part(const tidrawer *drawer, int32_t width, int32_t height, const trect *rect, const tbitmap *canvas,
                  trect *part, trect *target);

}  // namespace

imagebar *imagebar_new(tcontrol *parent, const trect *rect, const char16_t *path, app_context *app) {
  PORT_CHECK(rect != nullptr && path != nullptr && app != nullptr);
  (void)parent;
  tscreen *screen = tscreen_get();
  PORT_CHECK(screen != nullptr);
  size_t path_length = std::char_traits<char16_t>::length(path);
  if (path_length >= size_t(APP_PATH_CHARS)) return nullptr;
  imagebar *ib = static_cast<imagebar *>(std::calloc(1, sizeof(imagebar)));
  if (!ib) return nullptr;
  ib->_app = app;
  std::memcpy(ib->_path, path, (path_length + 1) * sizeof(char16_t));
  ib->_constrain = app->_picture_style & 1;
  ib->_snapshot = tbitmap_new_copy(tscreen_get_bitmap(screen));
  trect box = imagebar_get_box(rect);
  if (ib->_snapshot) ib->_dock = imagebar_make_dock(&box, ib, can_drag, child_at, draw_frame, &ib->_frame_draw);
  if (ib->_dock) {
    const trect *client = tcontrol_get_client_rect(&ib->_dock->_control);
    ib->_image = timage_new(&ib->_dock->_control, client, nullptr, nullptr, TIMAGE_FIXED, ib);
  }
  if (!ib->_image) {
    if (ib->_dock) tdock_free(ib->_dock);
    if (ib->_snapshot) tbitmap_free(ib->_snapshot);
    std::free(ib);
    return nullptr;
  }
  tcontrol_set_align(&ib->_image->_control, TCONTROL_ALIGN_FILL);
  tbdrawer *background = tcontrol_get_box_drawer(&ib->_image->_control);
  tbdrawer_set_draw_func(background, draw_image_background);
  tbdrawer_set_user_data(background, ib);
  timage_set_on_resize(ib->_image, on_resize);
  return ib;
}

void imagebar_free(imagebar *ib) {
  PORT_CHECK(ib != nullptr);
  ib->_app->_picture_style = (ib->_app->_picture_style & ~1) | (ib->_constrain & 1);
  release_pictures(ib);
  timage_free(ib->_image);
  tdock_free(ib->_dock);
  tbitmap_free(ib->_snapshot);
  if (ib->_check_bitmap) tbitmap_free(ib->_check_bitmap);
  image_job_free(ib->_job);
  std::free(ib);
}

int imagebar_load(imagebar *ib) {
  PORT_CHECK(ib != nullptr);
  return load_file(ib, ib->_path);
}

void imagebar_commit(imagebar *ib) {
  PORT_CHECK(ib != nullptr);
  if (!ib->_shown) return;
  uint64_t image_size = imagebar_blob_size(ib->_shown);
  uint64_t mask_size = ib->_shown_mask ? imagebar_blob_size(ib->_shown_mask) : 0;
  uint64_t size = IMAGEBAR_RECORD_HEAD + image_size + mask_size;
  uint8_t *record = image_size && (!ib->_shown_mask || mask_size) && size <= uint64_t(INT32_MAX)
                        ? static_cast<uint8_t *>(std::calloc(1, size_t(size)))
                        : nullptr;
  if (!record) {
    app_common_show_memory_stop();
    return;
  }
  paint_context *pc = ib->_app->_paint_context;
  tpoint origin;
  paint_context_get_origin(pc, &origin);
  trect r;
  tsurface_get_screen_rect(&ib->_image->_control._surface, &r);
  const int32_t corners[4] = {r.x1 - origin.x, r.y1 - origin.y, r.x2 - origin.x, r.y2 - origin.y};
  for (int i = 0; i < 4; i++) tfile_put_u32(record + 4 * i, uint32_t(corners[i]));
  tfile_put_u32(record + AT_IMAGE_SIZE, uint32_t(image_size));
  tfile_put_u32(record + AT_IMAGE_POINTER, 0);
  tfile_put_u32(record + AT_MASK_SIZE, uint32_t(mask_size));
  tfile_put_u32(record + AT_MASK_POINTER, 0);
  imagebar_store_blob(record + IMAGEBAR_RECORD_HEAD, ib->_shown);
  if (ib->_shown_mask) imagebar_store_blob(record + IMAGEBAR_RECORD_HEAD + image_size, ib->_shown_mask);

  imagebar_draw_image_record(pc, record, int32_t(size), 1.0);
  // A record the history cannot take is taken off the canvas again, and
  // the stop box says so.
  paint_history *history = ib->_app->_history;
  bool refused =
      history && !shape_record_step(history, PAINT_HISTORY_OP_IMAGE, record, int32_t(size), nullptr, nullptr);
  std::free(record);
  if (refused) app_common_show_memory_stop();
}

void imagebar_show_option_menu(imagebar *ib, int32_t x, int32_t y) {
  PORT_CHECK(ib != nullptr);
  tmenu *menu = imagebar_make_menu(ib, &ib->_check_bitmap);
  if (!menu) return;
  tmenu_set_on_popup(menu, fill_option_menu);
  tmenu_set_on_select(menu, on_option_selected);
  tmenu_popup(menu, x, y);
}

int imagebar_draw_image_record(paint_context *pc, const uint8_t *record, int32_t size, double scale) {
  PORT_CHECK(pc != nullptr);
  if (!record || size < IMAGEBAR_RECORD_HEAD || uintptr_t(record) % 4 != 0) return 0;
  uint64_t image_size = tfile_get_u32(record + AT_IMAGE_SIZE), mask_size = tfile_get_u32(record + AT_MASK_SIZE);
  if (IMAGEBAR_RECORD_HEAD + image_size + mask_size != uint64_t(size) || image_size == 0) return 0;
  if (!std::isfinite(scale) || scale <= 0) return 0;
  int32_t corners[4];
  for (int i = 0; i < 4; i++)
    if (!imagebar_scale_coordinate(int32_t(tfile_get_u32(record + 4 * i)), scale, &corners[i])) return 0;
  tbitmap *canvas_bitmap = paint_context_get_canvas(pc);
  if (!canvas_bitmap) return 0;

  blob_view image = {}, mask = {};
  bool sound = view_blob(record + IMAGEBAR_RECORD_HEAD, image_size, &image);
  if (sound && mask_size) {
    sound = view_blob(record + IMAGEBAR_RECORD_HEAD + image_size, mask_size, &mask) &&
            tbitmap_get_bpp(&mask.bitmap) == 8 &&
            tbitmap_get_width(&mask.bitmap) == tbitmap_get_width(&image.bitmap) &&
            std::abs(tbitmap_get_height(&mask.bitmap)) == std::abs(tbitmap_get_height(&image.bitmap));
  }
  trect rect = {corners[0], corners[1], corners[2], corners[3]};
  const tbitmap *shown = &image.bitmap, *shown_mask = mask.made ? &mask.bitmap : nullptr;
  tbitmap *scaled_image = nullptr, *scaled_mask = nullptr;
  const tidrawer *model = tstyler_get_default_idrawer();
  tidrawer *drawer = sound ? (model ? tidrawer_copy(model) : tidrawer_new_default()) : nullptr;
  trect target = rect;
  bool shows = true;
  if (drawer && scale != 1.0) {
    int64_t width = int64_t(rect.x2) - rect.x1 + 1, height = int64_t(rect.y2) - rect.y1 + 1;
    sound = width >= 1 && height >= 1 && width <= TBITMAP_MAX_SIDE && height <= TBITMAP_MAX_SIDE;
    // Only the part of the scaled picture that meets the canvas is made: it
    // holds the pixels scaling the whole would give there, and is drawn
    // where that part of the whole lies.
    int32_t fitted_width = 0, fitted_height = 0;
    if (sound) tscale_fit_size(&image.bitmap, int32_t(width), int32_t(height), &fitted_width, &fitted_height);
    trect part = {};
    shows = sound && visible_part(drawer, fitted_width, fitted_height, &rect, canvas_bitmap, &part, &target);
    if (shows) {
      scaled_image = tscale_new_scaled_part(&image.bitmap, fitted_width, fitted_height, &part);
      if (scaled_image && shown_mask)
        scaled_mask = tscale_new_scaled_part(&mask.bitmap, fitted_width, fitted_height, &part);
      sound = scaled_image && (!shown_mask || scaled_mask);
      // The part goes exactly where the target says.
      drawer->_alignment = 0;
      drawer->_offset_x = drawer->_offset_y = 0;
    }
    shown = scaled_image;
    shown_mask = scaled_mask;
  }
  if (drawer && sound) {
    // The picture writes the pixels cairo wraps: cairo lets go of them first
    // and takes them back after.
    cairo_t *cr = paint_context_get_cairo(pc);
    if (cr) cairo_surface_flush(cairo_get_target(cr));
    tcanvas canvas;
    tcanvas_init_on_bitmap(&canvas, canvas_bitmap);
    // A stored picture larger than its rectangle stays inside it.
    tcanvas_set_clip(&canvas, &rect);
    if (shows) tidrawer_draw(drawer, &canvas, shown, shown_mask, &target, 255);
    tcanvas_deinit(&canvas);
    keep_opaque(canvas_bitmap, &rect);
    if (cr) cairo_surface_mark_dirty(cairo_get_target(cr));
  }
  bool drawn = drawer && sound;
  if (drawer) tidrawer_free(drawer);
  if (scaled_image) tbitmap_free(scaled_image);
  if (scaled_mask) tbitmap_free(scaled_mask);
  release_view(&image);
  release_view(&mask);
  return drawn;
}

uint64_t imagebar_blob_size(const tbitmap *bitmap) {
  PORT_CHECK(bitmap != nullptr);
  int bpp = tbitmap_get_bpp(bitmap);
  if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
  uint64_t rows = uint64_t(std::abs(int64_t(tbitmap_get_height(bitmap))));
  return IMAGEBAR_BLOB_HEAD + info_size_of(bpp) + uint64_t(bitmap->_stride) * rows;
}

void imagebar_store_blob(uint8_t *at, const tbitmap *bitmap) {
  PORT_CHECK(at != nullptr && bitmap != nullptr);
  const uint32_t words[13] = {0,
                              0,
                              bitmap->_stride,
                              bitmap->_red_mask,
                              bitmap->_green_mask,
                              bitmap->_blue_mask,
                              bitmap->_red_shift,
                              bitmap->_green_shift,
                              bitmap->_blue_shift,
                              bitmap->_red_loss,
                              bitmap->_green_loss,
                              bitmap->_blue_loss,
                              0};
  for (int i = 0; i < 13; i++) tfile_put_u32(at + 4 * i, words[i]);
  int bpp = tbitmap_get_bpp(bitmap);
  uint8_t *info = at + IMAGEBAR_BLOB_HEAD;
  uint64_t info_size = info_size_of(bpp);
  std::memset(info, 0, size_t(info_size));
  // A picture read with a longer header (a BMP's version 4 or 5) keeps it in
  // memory; the blob holds its first 40 bytes as a header of that size.
  std::memcpy(info, bitmap->_info, k_info_header);
  tfile_put_u32(info + TBITMAP_INFO_HEADER_SIZE, uint32_t(k_info_header));
  if (bpp == 8) std::memcpy(info + k_info_header, tbitmap_get_palette(bitmap), k_palette_bytes);
  if (bpp == 16 && tbitmap_get_compression(bitmap) == 3) tfile_put_u32(info + k_info_header, bitmap->_red_mask);
  uint64_t rows = uint64_t(std::abs(int64_t(tbitmap_get_height(bitmap))));
  std::memcpy(info + info_size, bitmap->_pixels, size_t(uint64_t(bitmap->_stride) * rows));
}

int imagebar_scale_coordinate(int32_t value, double scale, int32_t *out) {
  PORT_CHECK(out != nullptr);
  double product = std::trunc(double(value) * scale);
  if (!(product >= double(INT32_MIN) && product <= double(INT32_MAX))) return 0;
  *out = int32_t(product);
  return 1;
}

trect imagebar_get_box(const trect *rect) {
  PORT_CHECK(rect != nullptr);
  constexpr int32_t least = 20;
  trect box = *rect;
  if (int64_t(box.x2) - box.x1 + 1 < least) box.x2 = box.x1 + least - 1;
  if (int64_t(box.y2) - box.y1 + 1 < least) box.y2 = box.y1 + least - 1;
  return box;
}

void imagebar_get_margins(int32_t margins[4]) {
  PORT_CHECK(margins != nullptr);
  const int32_t *m = app_common_is_qvga() ? k_margins_small : app_common_is_vga() ? k_margins_large : k_margins_normal;
  std::copy(m, m + 4, margins);
}

tdock *imagebar_make_dock(const trect *box, void *owner, tdock_can_drag_fn can_drag_fn, tdock_child_at_fn child_at_fn,
                          tbdrawer_draw_fn frame, tbdrawer_draw_fn *saved) {
  PORT_CHECK(box != nullptr && saved != nullptr);
  int32_t m[4];
  imagebar_get_margins(m);
  trect rect = {box->x1 - m[0], box->y1 - m[1], box->x2 + m[2], box->y2 + m[3]};
  tdock *dock = tdock_new(nullptr, &rect, owner);
  if (!dock) return nullptr;
  tdock_set_margins(dock, m[0], m[1], m[2], m[3]);
  tdock_set_child_funcs(dock, one_child, child_at_fn);
  tdock_set_can_drag_func(dock, can_drag_fn);
  tdock_set_can_dock_func(dock, never_docks);
  tdock_set_resize_func(dock, imagebar_check_resize);
  tdock_set_on_move(dock, imagebar_on_moved);
  tdock_set_hold_time(dock, k_hold_ms);
  tbdrawer *look = tcontrol_get_box_drawer(&dock->_control);
  tbdrawer_set_border(look, k_frame_border, 1);
  tbdrawer_set_fill_gradient(look, 0, k_frame_top, k_frame_bottom, 100, 0);
  *saved = tbdrawer_get_draw_func(look);
  tbdrawer_set_draw_func(look, frame);
  tbdrawer_set_user_data(look, owner);
  return dock;
}

int32_t imagebar_corner_size() { return app_common_is_vga() ? k_corner_large : k_corner; }

int imagebar_check_resize(tdock *dock, int32_t zone, int32_t *x, int32_t *y, int32_t *width, int32_t *height) {
  PORT_CHECK(dock != nullptr && width != nullptr && height != nullptr);
  (void)zone;
  (void)x;
  (void)y;
  int32_t least = app_common_is_vga() ? k_least_side_large : k_least_side;
  return *width >= least && *height >= least;
}

void imagebar_on_moved(tdock *dock) {
  PORT_CHECK(dock != nullptr);
  // The content shows the snapshot under its new place.
  tcontrol *content = tcontrol_get_child_at(&dock->_control, 0);
  if (content) tsurface_update(&content->_surface, nullptr);
}

void imagebar_draw_arrow(tcanvas *canvas, const trect *rect) {
  PORT_CHECK(canvas != nullptr && rect != nullptr);
  int32_t x = rect->x1, y = rect->y1;
  trect arrow = app_common_is_qvga() ? trect{x + 1, y + 1, x + 4, y + 5}
                : app_common_is_vga() ? trect{x + 6, y + 6, x + 25, y + 29}
                                      : trect{x + 3, y + 3, x + 14, y + 15};
  fill_triangle(canvas, &arrow, 1, k_light);
  fill_triangle(canvas, &arrow, 0, k_arrow);
}

void imagebar_draw_dot(tcanvas *canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  PORT_CHECK(canvas != nullptr);
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_light);
  tcanvas_fill_rect(canvas, x1 + 1, y1 + 1, x2 + 1, y2 + 1);
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_dot);
  tcanvas_fill_rect(canvas, x1, y1, x2, y2);
}

void imagebar_draw_decoration(tcanvas *canvas, const trect *rect) {
  PORT_CHECK(canvas != nullptr && rect != nullptr);
  const trect &r = *rect;
  imagebar_draw_arrow(canvas, rect);
  // Grip dots in staggered columns down the left margin.
  bool large = app_common_is_vga();
  int32_t columns = large ? 4 : 2, first_x = large ? 6 : 3, first_y = large ? 40 : 20;
  for (int32_t c = 0; c < columns; c++) {
    int32_t x = r.x1 + first_x + 6 * c;
    for (int32_t y = r.y1 + first_y + (c % 2) * 6; y + 1 <= r.y2 - 7; y += 8)
      imagebar_draw_dot(canvas, x, y, x + 1, y + 1);
  }
  // Resize marks along the bottom and in the corner.
  int32_t third = (r.x2 - r.x1 + 1) / 3;
  imagebar_draw_dot(canvas, r.x1 + third, r.y2 - 5, r.x1 + 2 * third - 1, r.y2 - 4);
  imagebar_draw_dot(canvas, r.x1 + third, r.y2 - 9, r.x1 + 2 * third - 1, r.y2 - 8);
  imagebar_draw_dot(canvas, r.x2 - 10, r.y2 - 5, r.x2 - 4, r.y2 - 4);
  imagebar_draw_dot(canvas, r.x2 - 9, r.y2 - 9, r.x2 - 7, r.y2 - 8);
  if (!app_common_is_qvga()) imagebar_draw_dot(canvas, r.x2 - 4, r.y2 - 11, r.x2 - 4, r.y2 - 5);
}

tmenu *imagebar_make_menu(void *owner, tbitmap **check) {
  PORT_CHECK(check != nullptr);
  tbitmap *mark = tresource_get_bitmap(k_check_mask_id);
  int32_t width = mark ? tbitmap_get_width(mark) : k_check_side;
  int32_t height = mark ? std::abs(tbitmap_get_height(mark)) : k_check_side;
  if (!*check) {
    *check = tbitmap_new(width, height, 24);
    if (!*check) return nullptr;
    std::memset((*check)->_pixels, 0, size_t(tbitmap_get_image_size(*check)));
  }
  tmenu *menu = tmenu_new(owner);
  if (!menu) return nullptr;
  tsurface_set_visible(&tmenu_get_controlbar(menu)->_control._surface, 0);
  tmenu_set_dim_background(menu, 1);
  tlistbox *list = tmenu_get_listbox(menu);
  tlistbox_set_smooth_scroll(list, 1);
  tlistbox_set_scroll_steps(list, k_menu_scroll_steps);
  if (tlistbox_add_column(list, TLISTCOLUMN_IMAGE, u"check", width + k_check_column_extra))
    tlistbox_set_column_from_right(list, tlistbox_get_column_count(list) - 1, 1);
  tlistbox_set_scrollbar_width(list, k_menu_scrollbar);
  tlistbox_add_image(list, *check, mark);
  return menu;
}

void imagebar_draw_snapshot(const tbitmap *snapshot, tcontrol *control, tcanvas *canvas, const trect *rect) {
  PORT_CHECK(snapshot != nullptr && control != nullptr && canvas != nullptr && rect != nullptr);
  trect on_screen;
  tsurface_get_screen_rect(&control->_surface, &on_screen);
  trect part = {std::max(rect->x1 + on_screen.x1, 0), std::max(rect->y1 + on_screen.y1, 0),
                std::min(rect->x2 + on_screen.x1, tbitmap_get_width(snapshot) - 1),
                std::min(rect->y2 + on_screen.y1, std::abs(tbitmap_get_height(snapshot)) - 1)};
  if (part.x1 > part.x2 || part.y1 > part.y2) return;
  tpoint at = {part.x1 - on_screen.x1, part.y1 - on_screen.y1};
  tcanvas_draw_bitmap(canvas, &at, snapshot, &part);
}

namespace {

imagebar *owner_of(tdock *dock) { return static_cast<imagebar *>(tsurface_get_owner(&dock->_control._surface)); }

// As the text bar's: the corner square opens the options menu.
int can_drag(tdock *dock, int32_t x, int32_t y) {
  int32_t corner = imagebar_corner_size();
  if (x >= corner) return 0;
  if (y > corner) return 1;
  trect on_screen;
  tsurface_get_screen_rect(&dock->_control._surface, &on_screen);
  imagebar_show_option_menu(owner_of(dock), on_screen.x1 + x, on_screen.y1 + y);
  return 0;
}

tcontrol *child_at(tdock *dock, int32_t index) {
  return index == 0 ? &owner_of(dock)->_image->_control : nullptr;
}

int32_t one_child(tdock *) { return 1; }

int never_docks(tdock *, int32_t) { return 0; }

void draw_frame(tbdrawer *drawer, tcanvas *canvas, const trect *rect) {
  imagebar *ib = static_cast<imagebar *>(tbdrawer_get_user_data(drawer));
  if (ib->_frame_draw) ib->_frame_draw(drawer, canvas, rect);
  imagebar_draw_decoration(canvas, rect);
}

void draw_image_background(tbdrawer *drawer, tcanvas *canvas, const trect *rect) {
  imagebar *ib = static_cast<imagebar *>(tbdrawer_get_user_data(drawer));
  imagebar_draw_snapshot(ib->_snapshot, &ib->_image->_control, canvas, rect);
}

// The control at the picture's size shows the picture; at any other size
// the picture scaled to it.
void on_resize(timage *image, const trect *rect) {
  imagebar *ib = static_cast<imagebar *>(tsurface_get_owner(&image->_control._surface));
  if (!ib || !ib->_picture) return;
  tbitmap *shown = nullptr, *shown_mask = nullptr;
  if (!make_scaled(ib, rect->x2 - rect->x1 + 1, rect->y2 - rect->y1 + 1, &shown, &shown_mask)) return;
  show_shown(ib, shown, shown_mask);
}

void on_loaded(image_job *, int result, void *user) {
  imagebar *ib = static_cast<imagebar *>(user);
  if (result != 1 || !ib->_picture || tbitmap_get_bpp(ib->_picture) < 8) {
    fail(ib, 3);
    return;
  }
  tscreen *screen = tscreen_get();
  int32_t screen_width = tscreen_get_width(screen), screen_height = tscreen_get_height(screen);
  int32_t width = tbitmap_get_width(ib->_picture), height = std::abs(tbitmap_get_height(ib->_picture));
  if (width > screen_width || height > screen_height) {
    int32_t fit_width = screen_width - IMAGEBAR_SCREEN_MARGIN, fit_height = -(screen_height - IMAGEBAR_SCREEN_MARGIN);
    tbitmap *reduced = tscale_new_scaled(ib->_picture, fit_width, fit_height, 1);
    if (!reduced) {
      fail(ib, 4);
      return;
    }
    tbitmap_free(ib->_picture);
    ib->_picture = reduced;
    if (ib->_picture_mask) {
      reduced = tscale_new_scaled(ib->_picture_mask, fit_width, fit_height, 1);
      if (!reduced) {
        fail(ib, 5);
        return;
      }
      tbitmap_free(ib->_picture_mask);
      ib->_picture_mask = reduced;
    }
    width = tbitmap_get_width(ib->_picture);
    height = std::abs(tbitmap_get_height(ib->_picture));
  }
  tbitmap *shown = nullptr, *shown_mask = nullptr;
  bool small = width <= screen_width * 2 / 3 && height <= screen_height * 2 / 3;
  const trect *box = tsurface_get_rect(&ib->_image->_control._surface);
  int32_t box_width = box->x2 - box->x1 + 1, box_height = box->y2 - box->y1 + 1;
  if (!make_scaled(ib, small ? width : box_width, small ? height : box_height, &shown, &shown_mask)) {
    fail(ib, 2);
    return;
  }
  show_shown(ib, shown, shown_mask);
  if (tbitmap_get_width(shown) == width && std::abs(tbitmap_get_height(shown)) == height) fit_to_picture(ib);
  tsurface_update(&ib->_image->_control._surface, nullptr);
  app_common_close_wait_note();
  tcontrol_realize(&ib->_dock->_control);
  tsurface_update(&ib->_dock->_control._surface, nullptr);
}

void fill_option_menu(tmenu *menu, int32_t, int32_t) {
  imagebar *ib = static_cast<imagebar *>(tsurface_get_owner(&menu->_control._surface));
  char16_t row[96];
  twformat(row, sizeof row / sizeof row[0], tresource_get_string(25202, u"Constrain Proportions/-1/%d"),
           ib->_constrain & 1 ? 0 : -1);
  tmenu_add_item(menu, row, OPTION_CONSTRAIN, 0, 0, ib);
  tmenu_add_item(menu, tresource_get_string(25203, u"Actual Size"), OPTION_ACTUAL_SIZE, 0, 1, ib);
}

void on_option_selected(uint32_t id, void *user_data) {
  imagebar *ib = static_cast<imagebar *>(user_data);
  if (!ib) return;
  tcontrol *image = &ib->_image->_control;
  if (id == OPTION_CONSTRAIN) {
    ib->_constrain ^= 1;
    tcontrol_layout(image, tsurface_get_rect(&image->_surface));
  } else if (id == OPTION_ACTUAL_SIZE && ib->_picture) {
    tbitmap *shown = tbitmap_new_copy(ib->_picture);
    tbitmap *shown_mask = shown && ib->_picture_mask ? tbitmap_new_copy(ib->_picture_mask) : nullptr;
    if (!shown || (ib->_picture_mask && !shown_mask)) {
      if (shown) tbitmap_free(shown);
      return;
    }
    show_shown(ib, shown, shown_mask);
    fit_to_picture(ib);
  }
}

int load_file(imagebar *ib, const char16_t *path) {
  release_pictures(ib);
  if (!port_fs_exists(path)) {
    app_common_show_error_fmt(tresource_get_string(25017, u"Cannot open file \"%s\""), path);
    return 0;
  }
  if (!ib->_job) ib->_job = image_job_new(ib);
  if (!ib->_job) {
    release_pictures(ib);
    app_common_show_stop(tresource_get_string(k_text_open_failed[1], k_open_failed[1]));
    return 0;
  }
  app_common_show_wait_note(tresource_get_string(25016, u"Loading picture..."));
  image_job_load(ib->_job, &ib->_picture, &ib->_picture_mask, path, 100, on_loaded);
  return 1;
}

void release_pictures(imagebar *ib) {
  if (ib->_image) timage_set_bitmap_and_mask(ib->_image, nullptr, nullptr);
  for (tbitmap **bitmap : {&ib->_picture, &ib->_picture_mask, &ib->_shown, &ib->_shown_mask}) {
    if (*bitmap) tbitmap_free(*bitmap);
    *bitmap = nullptr;
  }
}

// The control takes the new pictures before the old ones go.
void show_shown(imagebar *ib, tbitmap *shown, tbitmap *shown_mask) {
  timage_set_bitmap_and_mask(ib->_image, shown, shown_mask);
  if (ib->_shown) tbitmap_free(ib->_shown);
  if (ib->_shown_mask) tbitmap_free(ib->_shown_mask);
  ib->_shown = shown;
  ib->_shown_mask = shown_mask;
}

// Copies of the picture at its own size, else the picture scaled to
// width x height (fitted while Constrain Proportions is on); 0 when either
// bitmap cannot be had (nothing is left made).
int make_scaled(const imagebar *ib, int32_t width, int32_t height, tbitmap **shown, tbitmap **shown_mask) {
  bool actual = width == tbitmap_get_width(ib->_picture) && height == std::abs(tbitmap_get_height(ib->_picture));
  int fit = ib->_constrain & 1;
  *shown = actual ? tbitmap_new_copy(ib->_picture) : tscale_new_scaled(ib->_picture, width, height, fit);
  *shown_mask = nullptr;
  if (*shown && ib->_picture_mask) {
    *shown_mask =
        actual ? tbitmap_new_copy(ib->_picture_mask) : tscale_new_scaled(ib->_picture_mask, width, height, fit);
    if (!*shown_mask) {
      tbitmap_free(*shown);
      *shown = nullptr;
    }
  }
  return *shown != nullptr;
}

// The dock grows or shrinks so that the image control is exactly the picture.
void fit_to_picture(imagebar *ib) {
  const trect *box = tsurface_get_rect(&ib->_image->_control._surface);
  const trect *frame = tsurface_get_rect(&ib->_dock->_control._surface);
  int32_t dx = tbitmap_get_width(ib->_picture) - (box->x2 - box->x1 + 1);
  int32_t dy = std::abs(tbitmap_get_height(ib->_picture)) - (box->y2 - box->y1 + 1);
  tcontrol_set_size(&ib->_dock->_control, frame->x2 - frame->x1 + 1 + dx, frame->y2 - frame->y1 + 1 + dy);
}

// A load that came to nothing: the message, and the bar is gone.
void fail(imagebar *ib, int code) {
  app_context *app = ib->_app;
  app_common_close_wait_note();
  app_common_show_stop(tresource_get_string(k_text_open_failed[code], k_open_failed[code]));
  if (app->_imagebar == ib) app->_imagebar = nullptr;
  imagebar_free(ib);
}

uint64_t info_size_of(int bpp) { return bpp > 8 ? 44 : ((uint64_t(1) << bpp) + 11) * 4; }

// A blob that holds a sound bitmap becomes a view: its own info block (the
// header, then the palette or the masks), its rows read in place.
bool view_blob(const uint8_t *blob, uint64_t size, blob_view *view) {
  if (size < uint64_t(IMAGEBAR_BLOB_HEAD) + k_info_header) return false;
  const uint8_t *info = blob + IMAGEBAR_BLOB_HEAD;
  int32_t width = int32_t(tfile_get_u32(info + TBITMAP_INFO_WIDTH));
  int32_t height = int32_t(tfile_get_u32(info + TBITMAP_INFO_HEIGHT));
  int bpp = int(tfile_get_u16(info + TBITMAP_INFO_BPP));
  uint32_t compression = tfile_get_u32(info + TBITMAP_INFO_COMPRESSION);
  uint32_t stride = tfile_get_u32(blob + BLOB_STRIDE);
  if (tfile_get_u32(info + TBITMAP_INFO_HEADER_SIZE) != uint32_t(k_info_header)) return false;
  if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (compression != 0 && !(compression == 3 && (bpp == 16 || bpp == 32))) return false;
  if (width < 1 || width > TBITMAP_MAX_SIDE || height == 0 || height < -TBITMAP_MAX_SIDE || height > TBITMAP_MAX_SIDE)
    return false;
  if (stride != ((uint32_t(bpp) * uint32_t(width) + 31) >> 5) * 4) return false;
  uint64_t rows = uint64_t(std::abs(int64_t(height))), pixel_bytes = uint64_t(stride) * rows;
  uint64_t info_size = info_size_of(bpp);
  if (pixel_bytes > tbitmap_get_budget() || IMAGEBAR_BLOB_HEAD + info_size + pixel_bytes > size) return false;
  const uint8_t *pixels = info + info_size;
  if (uintptr_t(pixels) % 4 != 0) return false;

  size_t block_size = k_info_header + (bpp == 8 ? k_palette_bytes : compression == 3 ? 12 : 0);
  uint8_t *block = static_cast<uint8_t *>(std::calloc(1, block_size));
  if (!block) return false;
  std::memcpy(block, info, k_info_header);
  tfile_put_u32(block + TBITMAP_INFO_IMAGE_SIZE, uint32_t(pixel_bytes));
  tfile_put_u32(block + TBITMAP_INFO_COLORS_USED, 0);
  if (bpp == 8) std::memcpy(block + k_info_header, info + k_info_header, k_palette_bytes);
  if (compression == 3) {
    // The blob keeps only the first mask word; the record has all three.
    tfile_put_u32(block + k_info_header, tfile_get_u32(blob + BLOB_RED_MASK));
    tfile_put_u32(block + k_info_header + 4, tfile_get_u32(blob + BLOB_GREEN_MASK));
    tfile_put_u32(block + k_info_header + 8, tfile_get_u32(blob + BLOB_BLUE_MASK));
  }
  std::memset(&view->bitmap, 0, sizeof view->bitmap);
  view->bitmap._info = block;
  view->bitmap._stride = stride;
  view->bitmap._pixels = const_cast<uint8_t *>(pixels);
  view->bitmap._view = 1;
  tbitmap_init_channels(&view->bitmap);
  view->made = true;
  return true;
}

void release_view(blob_view *view) {
  if (view->made) std::free(view->bitmap._info);
  view->made = false;
}

// A 32-bit picture copies its fourth bytes along, and a stored one need not
// hold 255 there; cairo reads them as alpha, so the canvas gets its 255 back.
void keep_opaque(tbitmap *canvas, const trect *rect) {
  if (tbitmap_get_bpp(canvas) != 32) return;
  // A stored rectangle may come with its corners reversed; the clip that
  // drew through it was normalised, so is this.
  trect area = *rect;
  trect_normalize(&area);
  int32_t x1 = std::max(area.x1, 0), y1 = std::max(area.y1, 0);
  int32_t x2 = std::min(area.x2, tbitmap_get_width(canvas) - 1);
  int32_t y2 = std::min(area.y2, std::abs(tbitmap_get_height(canvas)) - 1);
  for (int32_t y = y1; y <= y2; y++) {
    uint8_t *row = tbitmap_get_row(canvas, y);
    for (int32_t x = x1; x <= x2; x++) row[4 * x + 3] = 255;
  }
}

// The menu arrow: a triangle pointing right, outline and fill alike.
void fill_triangle(tcanvas *canvas, const trect *r, int32_t shift, uint32_t color) {
  const tpoint points[3] = {{r->x1 + shift, r->y1 + shift},
                            {r->x1 + shift, r->y2 + shift},
                            {r->x2 + shift, r->y1 + (r->y2 - r->y1 + 1) / 2 + shift}};
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, color);
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, color);
  tcanvas_fill_polygon(canvas, points, 3);
  tcanvas_draw_polygon(canvas, points, 3);
}

// Where the standard drawer puts a width x height picture in rect, cut to
// rect and the canvas: the part of the picture that shows (its own
// coordinates) and where it lands (target); false when nothing shows.
bool visible_part(const tidrawer *drawer, int32_t width, int32_t height, const trect *rect, const tbitmap *canvas,
                  trect *part, trect *target) {
  uint32_t code = drawer->_alignment < 9 ? drawer->_alignment : 0;
  auto place = [](uint8_t where, int64_t from, int64_t to, int64_t size) {
    return where == 0 ? from : where == 1 ? from + (to - from - size + 1) / 2 : to - size;
  };
  int64_t x = std::clamp<int64_t>(place(TDRAWER_HORIZONTAL[code], rect->x1, rect->x2, width) + drawer->_offset_x,
                                  INT32_MIN, INT32_MAX);
  int64_t y = std::clamp<int64_t>(place(TDRAWER_VERTICAL[code], rect->y1, rect->y2, height) + drawer->_offset_y,
                                  INT32_MIN, INT32_MAX);
  int64_t x1 = std::max<int64_t>({x, rect->x1, 0}), y1 = std::max<int64_t>({y, rect->y1, 0});
  int64_t x2 = std::min<int64_t>({x + width - 1, rect->x2, int64_t(tbitmap_get_width(canvas)) - 1});
  int64_t y2 = std::min<int64_t>({y + height - 1, rect->y2, int64_t(std::abs(tbitmap_get_height(canvas))) - 1});
  if (x1 > x2 || y1 > y2) return false;
  *part = {int32_t(x1 - x), int32_t(y1 - y), int32_t(x2 - x), int32_t(y2 - y)};
  *target = {int32_t(x1), int32_t(y1), int32_t(x2), int32_t(y2)};
  return true;
}

}  // namespace
