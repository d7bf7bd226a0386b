// The SDL display under SDL's offscreen driver: a present shows its
// rectangle only, an expose shows again what was presented, and the first
// present into a new window surface shows the whole screen; an expose
// before it asks for that present, having nothing to show, as does one that
// finds the window surface gone.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "os_display.h"
#include "tbitmap.h"
#include "trect.h"

namespace {

// The window's pixel as 0xRRGGBB.
uint32_t shown(int x, int y) {
  SDL_Surface *surface = SDL_GetWindowSurface(SDL_GetWindowFromID(1));
  if (!surface) return 0xDEAD;
  const uint8_t *row = static_cast<const uint8_t *>(surface->pixels) + y * surface->pitch;
  uint32_t pixel = 0;
  std::memcpy(&pixel, row + x * surface->format->BytesPerPixel, surface->format->BytesPerPixel);
  uint8_t r, g, b;
  SDL_GetRGB(pixel, surface->format, &r, &g, &b);
  return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

// The screen's own 565 words, not colours converted to them.
void fill(tbitmap *screen, int x1, int y1, int x2, int y2, uint16_t word) {
  for (int y = y1; y <= y2; y++)
    for (int x = x1; x <= x2; x++) std::memcpy(tbitmap_get_pixel_ptr(screen, x, y), &word, 2);
}

}  // namespace

TEST(SdlDisplay, APresentShowsItsRectangleAndAnExposeWhatWasPresented) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  os_display_select(os_display_sdl_backend());
  char error[256] = "";
  ASSERT_EQ(os_display_open(64, 48, u"test", error, sizeof error), 1) << error;
  tbitmap *screen = tbitmap_new(64, -48, 16);
  ASSERT_NE(screen, nullptr);
  const uint16_t red = 0xF800, blue = 0x001F;
  fill(screen, 0, 0, 63, 47, red);
  trect whole = {0, 0, 63, 47}, part = {10, 10, 14, 14};
  EXPECT_EQ(os_display_present(screen, &whole), 1);
  fill(screen, 10, 10, 19, 19, blue);
  EXPECT_EQ(os_display_present(screen, &part), 1);
  EXPECT_EQ(shown(12, 12), 0x0000FFu);
  EXPECT_EQ(shown(17, 17), 0xFF0000u) << "not flushed yet";

  // The expose gives back what was presented, not what the screen bitmap
  // holds now.
  EXPECT_EQ(os_display_expose(), 1);
  EXPECT_EQ(shown(0, 0), 0xFF0000u);
  EXPECT_EQ(shown(12, 12), 0x0000FFu);
  EXPECT_EQ(shown(17, 17), 0xFF0000u);

  // A new size makes a new window surface: the next present, whatever its
  // rectangle, fills it with the whole screen.
  os_display_set_size(64, 40);
  os_display_set_size(64, 48);
  SDL_Surface *surface = SDL_GetWindowSurface(SDL_GetWindowFromID(1));
  ASSERT_NE(surface, nullptr);
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 255, 0));
  EXPECT_EQ(os_display_expose(), 0);
  EXPECT_EQ(os_display_present(screen, &part), 1);
  EXPECT_EQ(shown(0, 0), 0xFF0000u);
  EXPECT_EQ(shown(17, 17), 0x0000FFu);
  EXPECT_EQ(os_display_expose(), 1);

  // The window system gives the window a new size before the display hears
  // of it: the surface SDL makes anew refuses the expose, and that asks for
  // the whole screen again.
  SDL_SetWindowSize(SDL_GetWindowFromID(1), 80, 80);
  EXPECT_EQ(os_display_expose(), 0);
  EXPECT_EQ(os_display_present(screen, &part), 1);
  EXPECT_EQ(shown(0, 0), 0xFF0000u);
  EXPECT_EQ(shown(17, 17), 0x0000FFu);
  tbitmap_free(screen);
  os_display_close();
  os_display_select(nullptr);
}
