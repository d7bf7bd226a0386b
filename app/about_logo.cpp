// about_logo: the animated product name of the about box.
#include "about_logo.h"

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app_common.h"
#include "port_device.h"
#include "port_log.h"
#include "port_utf8.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tsurface.h"
#include "wins_timer.h"

namespace {

constexpr uint32_t k_grey = 0xFFC0C0C0;  // (192, 192, 192) as a colour word
constexpr int32_t k_red_step = 5, k_green_step = 12, k_blue_step = 13;
constexpr about_logo_font k_small = {32, 25, 2};
constexpr about_logo_font k_large = {80, 100, 4};
constexpr about_logo_font k_normal = {64, 80, 4};
constexpr int k_name_bytes = 512;

tcontrol *control_of(about_logo *logo) { return &logo->_control; }

void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
void on_tick(uint32_t id, void *user_data);
int32_t step(int32_t value, int32_t *direction, int32_t amount);

}  // namespace

about_logo *about_logo_new(tcontrol *parent, const trect *rect, void *owner) {
  about_logo *logo = static_cast<about_logo *>(std::calloc(1, sizeof(about_logo)));
  if (!logo) return nullptr;
  if (!tcontrol_init(control_of(logo), parent, rect, owner)) {
    std::free(logo);
    return nullptr;
  }
  for (int i = 0; i < ABOUT_LOGO_COLORS; i++) {
    int n = port_device_random();
    uint32_t red = uint32_t((n + n / 255) % 256);
    n = port_device_random();
    uint32_t green = uint32_t(n % 255);
    n = port_device_random();
    uint32_t blue = uint32_t((n + n / 255) % 256);
    logo->_colors[i] = tcolor_key_rgb(int(red), int(green), int(blue));
    logo->_red_dir[i] = logo->_green_dir[i] = logo->_blue_dir[i] = 1;
  }
  tcontrol_set_on_paint(control_of(logo), on_paint);
  logo->_timer = wins_timer_start(ABOUT_LOGO_TICK_MS, 0, on_tick, logo);
  return logo;
}

void about_logo_free(about_logo *logo) {
  PORT_CHECK(logo != nullptr);
  if (logo->_timer) wins_timer_stop(logo->_timer);
  logo->_timer = 0;
  if (logo->_bitmap) tbitmap_free(logo->_bitmap);
  logo->_bitmap = nullptr;
  tcontrol_deinit(control_of(logo));
  std::free(logo);
}

about_logo_font about_logo_get_font() {
  if (app_common_is_qvga()) return k_small;
  return app_common_is_vga() ? k_large : k_normal;
}

namespace {

// The name's letters in their colours onto the logo's own bitmap, which then
// covers the control.
void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  (void)rect;
  about_logo *logo = reinterpret_cast<about_logo *>(control);
  int32_t width = tsurface_get_width(&control->_surface), height = tsurface_get_height(&control->_surface);
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_grey);
  tcanvas_set_pen_style(canvas, TCANVAS_PEN_NONE);
  tcanvas_fill_rect(canvas, 0, 0, width - 1, height - 1);
  if (width <= 0 || height <= 0) return;
  if (!logo->_bitmap) logo->_bitmap = tbitmap_new(width, -height, 32);
  tbitmap *bitmap = logo->_bitmap;
  if (!bitmap) return;
  int32_t bitmap_width = tbitmap_get_width(bitmap), bitmap_height = tbitmap_get_height(bitmap);
  int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, bitmap_width);
  if (stride != int(tbitmap_get_stride(bitmap))) return;
  tbitmap_fill_rect(bitmap, 0, 0, bitmap_width - 1, bitmap_height - 1, k_grey);

  cairo_surface_t *surface =
      cairo_image_surface_create_for_data(tbitmap_get_row(bitmap, 0), CAIRO_FORMAT_ARGB32, bitmap_width, bitmap_height, stride);
  cairo_t *cr = cairo_create(surface);
  about_logo_font font = about_logo_get_font();
  cairo_set_font_size(cr, font.size);
  cairo_select_font_face(cr, "Arial", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  char name[k_name_bytes];
  app_common_wide_to_utf8_cut(app_common_get_product_name(), name, k_name_bytes);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, name, &extents);
  double x = int32_t((width - extents.width) / 2);
  int letter = 0;
  size_t left = std::strlen(name);
  for (const char *at = name; left > 0; letter++) {
    int used;
    port_utf8_decode(reinterpret_cast<const unsigned char *>(at), left, &used);
    const char *next = at + used;
    left -= size_t(used);
    std::string glyph(at, next);
    cairo_text_extents(cr, glyph.c_str(), &extents);
    double next_x = int32_t(x + font.gap + extents.width);
    uint32_t color = logo->_colors[letter % ABOUT_LOGO_COLORS];
    cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, (color >> 8 & 0xFF) / 255.0, (color >> 16 & 0xFF) / 255.0);
    cairo_move_to(cr, x, font.baseline);
    cairo_show_text(cr, glyph.c_str());
    x = next_x;
    at = next;
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  tpoint origin = {0, 0};
  trect all = {0, 0, bitmap_width - 1, bitmap_height - 1};
  tcanvas_draw_bitmap(canvas, &origin, bitmap, &all);
}

void on_tick(uint32_t id, void *user_data) {
  (void)id;
  about_logo *logo = static_cast<about_logo *>(user_data);
  for (int i = 0; i < ABOUT_LOGO_COLORS; i++) {
    uint32_t color = logo->_colors[i];
    int32_t red = step(int32_t(color & 0xFF), &logo->_red_dir[i], k_red_step);
    int32_t green = step(int32_t(color >> 8 & 0xFF), &logo->_green_dir[i], k_green_step);
    int32_t blue = step(int32_t(color >> 16 & 0xFF), &logo->_blue_dir[i], k_blue_step);
    logo->_colors[i] = tcolor_key_rgb(red, green, blue);
  }
  tsurface_update(&logo->_control._surface, nullptr);
}

// A channel that passes 255 or drops below 0 stops there and turns back.
int32_t step(int32_t value, int32_t *direction, int32_t amount) {
  value += *direction * amount;
  if (value > 255 || value < 0) {
    value = std::clamp(value, 0, 255);
    *direction = -*direction;
  }
  return value;
}

}  // namespace
