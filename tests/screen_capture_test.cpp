// The desktop capture: what XGetImage hands back, in each layout a server
// may use, becomes the same 24-bit bottom-up picture; shapes the reader does
// not know give none; and, where an X display answers, a real capture.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdlib>
#include <vector>

#include "screen_capture.h"

namespace {

struct layout {
  const char *name;
  int32_t bits, msb_first;
  uint32_t red, green, blue;
};

// The bytes of one pixel (r, g, b each 0..255) in a layout.
void put_pixel(std::vector<uint8_t> &row, int32_t x, const layout &l, uint8_t r, uint8_t g, uint8_t b) {
  auto scale = [](uint8_t v, uint32_t mask) {
    int shift = __builtin_ctz(mask), bits = __builtin_popcount(mask);
    return (uint32_t(v) >> (8 - bits)) << shift;
  };
  uint32_t pixel = scale(r, l.red) | scale(g, l.green) | scale(b, l.blue);
  int bytes = l.bits / 8;
  for (int i = 0; i < bytes; i++) {
    uint8_t byte = uint8_t(pixel >> (8 * i));
    row[size_t(x) * bytes + (l.msb_first ? bytes - 1 - i : i)] = byte;
  }
}

}  // namespace

TEST(ScreenCapture, EveryServerLayoutGivesTheSameBottomUpPicture) {
  const layout layouts[] = {
      {"32-bit little-endian", 32, 0, 0xFF0000, 0xFF00, 0xFF},
      {"32-bit big-endian", 32, 1, 0xFF0000, 0xFF00, 0xFF},
      {"24-bit packed", 24, 0, 0xFF0000, 0xFF00, 0xFF},
      {"32-bit blue high", 32, 0, 0xFF, 0xFF00, 0xFF0000},
      {"16-bit 565", 16, 0, 0xF800, 0x07E0, 0x001F},
  };
  const int32_t width = 5, height = 3, pad = 7;
  // Full scale stays 255 and nothing stays 0 whatever the channel's width;
  // narrow channels lose only their low bits.
  const uint8_t colours[][3] = {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0x12, 0x9C, 0xE7}};
  for (const layout &l : layouts) {
    SCOPED_TRACE(l.name);
    int32_t line = width * (l.bits / 8) + pad;
    std::vector<uint8_t> data(size_t(line) * height, 0xEE);
    for (int32_t y = 0; y < height; y++) {
      std::vector<uint8_t> row(size_t(line), 0xEE);
      for (int32_t x = 0; x < width; x++) {
        const uint8_t *c = colours[(x + y) % 5];
        put_pixel(row, x, l, c[0], c[1], c[2]);
      }
      std::copy(row.begin(), row.end(), data.begin() + size_t(y) * line);
    }
    screen_capture_image image = {width, height, line, l.bits, l.msb_first, l.red, l.green, l.blue, data.data()};
    tbitmap *bitmap = screen_capture_convert(&image);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(tbitmap_get_bpp(bitmap), 24);
    EXPECT_FALSE(tbitmap_is_top_down(bitmap));
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) {
        const uint8_t *c = colours[(x + y) % 5];
        const uint8_t *p = tbitmap_get_pixel_ptr(bitmap, x, y);
        const uint32_t masks[3] = {l.red, l.green, l.blue};
        for (int i = 0; i < 3; i++) {
          int lost = 8 - __builtin_popcount(masks[i]);
          int slack = c[i] == 0 || c[i] == 255 ? 0 : (1 << lost) - 1;
          EXPECT_LE(std::abs(int(p[2 - i]) - int(c[i])), slack) << x << "," << y << " channel " << i;
        }
      }
    tbitmap_free(bitmap);
  }
}

TEST(ScreenCapture, ShapesTheReaderDoesNotKnowGiveNoPicture) {
  std::vector<uint8_t> data(64, 0);
  struct {
    const char *what;
    screen_capture_image image;
  } const cases[] = {
      {"8-bit", {4, 2, 16, 8, 0, 0xE0, 0x1C, 0x03, data.data()}},
      {"a row too short", {4, 2, 15, 32, 0, 0xFF0000, 0xFF00, 0xFF, data.data()}},
      {"no blue", {4, 2, 16, 32, 0, 0xFF0000, 0xFF00, 0, data.data()}},
      {"no width", {0, 2, 16, 32, 0, 0xFF0000, 0xFF00, 0xFF, data.data()}},
      {"no data", {4, 2, 16, 32, 0, 0xFF0000, 0xFF00, 0xFF, nullptr}},
  };
  for (const auto &c : cases) EXPECT_EQ(screen_capture_convert(&c.image), nullptr) << c.what;
}

TEST(ScreenCapture, WithoutADisplayThereIsNoPicture) {
  const char *saved = std::getenv("DISPLAY");
  std::string keep = saved ? saved : "";
  unsetenv("DISPLAY");
  EXPECT_EQ(screen_capture(), nullptr);
  setenv("DISPLAY", ":9999", 1);  // nobody answers there
  EXPECT_EQ(screen_capture(), nullptr);
  if (saved)
    setenv("DISPLAY", keep.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

TEST(ScreenCapture, ARealDisplayGivesAPictureOfTheRootWindowsSize) {
  const char *name = std::getenv("DISPLAY");
  Display *display = name && *name ? XOpenDisplay(name) : nullptr;
  if (!display) GTEST_SKIP() << "no X display answers here";
  XWindowAttributes root;
  XGetWindowAttributes(display, DefaultRootWindow(display), &root);
  bool true_colour = root.visual->c_class == TrueColor;
  XCloseDisplay(display);
  tbitmap *bitmap = screen_capture();
  if (!true_colour) {
    EXPECT_EQ(bitmap, nullptr);
    return;
  }
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(tbitmap_get_width(bitmap), root.width);
  EXPECT_EQ(tbitmap_get_height(bitmap), root.height);
  EXPECT_EQ(tbitmap_get_bpp(bitmap), 24);
  tbitmap_free(bitmap);
}
