// screen_capture: the desktop through Xlib.
#include "screen_capture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

#include "port_log.h"

namespace {

tbitmap *capture_x11();
int mask_shift(uint32_t mask);
int mask_bits(uint32_t mask);
uint8_t channel_of(uint32_t pixel, uint32_t mask);
uint32_t pixel_at(const uint8_t *p, int bytes, int msb_first);

screen_capture_fn g_source = nullptr;

// X reports a failed request through a process-wide handler that exits by
// default; the capture puts its own in while it runs.
int g_x_error = 0;
int on_x_error(Display *, XErrorEvent *) {
  g_x_error = 1;
  return 0;
}

// So does a broken connection (the X server ended during the capture): the
// capture then gives no picture, and the program ends by its own road when
// its window's connection finds the server gone.
int g_x_lost = 0;
int on_x_io_error(Display *) { return 0; }
void on_x_lost(Display *, void *) { g_x_lost = 1; }

}  // namespace

tbitmap *screen_capture() { return g_source ? g_source() : capture_x11(); }

screen_capture_fn screen_capture_set_source(screen_capture_fn source) {
  screen_capture_fn previous = g_source;
  g_source = source;
  return previous;
}

tbitmap *screen_capture_convert(const screen_capture_image *image) {
  PORT_CHECK(image != nullptr);
  const screen_capture_image &im = *image;
  if (!im.data || im.width < 1 || im.height < 1 || im.width > TBITMAP_MAX_SIDE || im.height > TBITMAP_MAX_SIDE)
    return nullptr;
  if (im.bits_per_pixel != 16 && im.bits_per_pixel != 24 && im.bits_per_pixel != 32) return nullptr;
  if (!im.red_mask || !im.green_mask || !im.blue_mask) return nullptr;
  int bytes = im.bits_per_pixel / 8;
  if (im.bytes_per_line < 0 || int64_t(im.bytes_per_line) < int64_t(im.width) * bytes) return nullptr;
  tbitmap *out = tbitmap_new(im.width, im.height, 24);
  if (!out) return nullptr;
  for (int32_t y = 0; y < im.height; y++) {
    const uint8_t *src = im.data + int64_t(y) * im.bytes_per_line;
    uint8_t *dst = tbitmap_get_row(out, y);
    for (int32_t x = 0; x < im.width; x++, src += bytes, dst += 3) {
      uint32_t pixel = pixel_at(src, bytes, im.msb_first);
      dst[0] = channel_of(pixel, im.blue_mask);
      dst[1] = channel_of(pixel, im.green_mask);
      dst[2] = channel_of(pixel, im.red_mask);
    }
  }
  return out;
}

namespace {

tbitmap *capture_x11() {
  const char *name = std::getenv("DISPLAY");
  if (!name || !*name) return nullptr;
  Display *display = XOpenDisplay(name);
  if (!display) return nullptr;
  tbitmap *out = nullptr;
  int (*old_handler)(Display *, XErrorEvent *) = XSetErrorHandler(on_x_error);
  XIOErrorHandler old_io_handler = XSetIOErrorHandler(on_x_io_error);
  XSetIOErrorExitHandler(display, on_x_lost, nullptr);
  g_x_error = 0;
  g_x_lost = 0;
  Window root = DefaultRootWindow(display);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, root, &attributes) && attributes.visual &&
      attributes.visual->c_class == TrueColor) {
    XImage *image = XGetImage(display, root, 0, 0, unsigned(attributes.width), unsigned(attributes.height),
                              AllPlanes, ZPixmap);
    if (image && !g_x_error && !g_x_lost) {
      screen_capture_image im = {image->width,
                                 image->height,
                                 image->bytes_per_line,
                                 image->bits_per_pixel,
                                 image->byte_order == MSBFirst,
                                 uint32_t(attributes.visual->red_mask),
                                 uint32_t(attributes.visual->green_mask),
                                 uint32_t(attributes.visual->blue_mask),
                                 reinterpret_cast<const uint8_t *>(image->data)};
      out = screen_capture_convert(&im);
    }
    if (image) XDestroyImage(image);
  }
  XSync(display, False);
  XSetErrorHandler(old_handler);
  XSetIOErrorHandler(old_io_handler);
  XCloseDisplay(display);
  return out;
}

int mask_shift(uint32_t mask) {
  int shift = 0;
  while (shift < 32 && !(mask & (1u << shift))) shift++;
  return shift;
}

int mask_bits(uint32_t mask) {
  int bits = 0;
  for (mask >>= mask_shift(mask); mask & 1; mask >>= 1) bits++;
  return bits;
}

// A channel of any width widened (or narrowed) to eight bits, its top bits
// repeated into the low ones so that full scale stays 255.
uint8_t channel_of(uint32_t pixel, uint32_t mask) {
  int bits = mask_bits(mask);
  uint32_t value = (pixel & mask) >> mask_shift(mask);
  if (bits >= 8) return uint8_t(value >> (bits - 8));
  uint32_t wide = 0;
  for (int filled = 0; filled < 8; filled += bits) wide = (wide << bits) | value;
  int total = ((8 + bits - 1) / bits) * bits;
  return uint8_t(wide >> (total - 8));
}

uint32_t pixel_at(const uint8_t *p, int bytes, int msb_first) {
  uint32_t pixel = 0;
  for (int i = 0; i < bytes; i++) pixel |= uint32_t(p[msb_first ? i : bytes - 1 - i]) << (8 * (bytes - 1 - i));
  return pixel;
}

}  // namespace
