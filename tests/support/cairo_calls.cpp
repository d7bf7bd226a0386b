// An executable that links this file (one whose tests or helpers call these
// entry points) finds them here before the library; each counts and hands
// the call to the library's own entry, looked up past this one.
#include "cairo_calls.h"

#include <cairo.h>
#include <dlfcn.h>

namespace {

uint64_t g_line_tos, g_argb_surfaces;

template <typename F>
F library_entry(const char *name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

uint64_t test_cairo_line_tos() { return g_line_tos; }
uint64_t test_cairo_argb_surfaces() { return g_argb_surfaces; }

extern "C" void cairo_line_to(cairo_t *cr, double x, double y) {
  static auto library = library_entry<void (*)(cairo_t *, double, double)>("cairo_line_to");
  g_line_tos++;
  library(cr, x, y);
}

extern "C" cairo_surface_t *cairo_image_surface_create_for_data(unsigned char *data, cairo_format_t format,
                                                                int width, int height, int stride) {
  static auto library = library_entry<cairo_surface_t *(*)(unsigned char *, cairo_format_t, int, int, int)>(
      "cairo_image_surface_create_for_data");
  g_argb_surfaces += format == CAIRO_FORMAT_ARGB32;
  return library(data, format, width, height, stride);
}
