// Separators: two pixels across whatever rect they are given, the etched
// pixels exactly, and composition at half strength.
#include "tseperator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"

namespace {

// The separator's own pixels as letters: B black, g grey, l light grey.
std::vector<std::string> pixels(tseperator *sep) {
  tbitmap *bitmap = tcanvas_get_bitmap(tsurface_get_canvas(&sep->_control._surface));
  std::vector<std::string> rows;
  for (int32_t y = 0; y < tbitmap_get_height(bitmap); y++) {
    std::string row;
    for (int32_t x = 0; x < tbitmap_get_width(bitmap); x++) {
      uint32_t p = tbitmap_get_pixel(bitmap, x, y);
      row += p == 0x0000 ? 'B' : p == 0x8410 ? 'g' : p == 0xC618 ? 'l' : '?';
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

TEST(Separator, TwoEtchedPixelsAcrossComposedAtHalfStrength) {
  run_on_styled_screen(
      [](tscreen *screen) {
        trect tall = {10, 20, 15, 29};
        tseperator *across = tseperator_new(nullptr, &tall, 0, nullptr);
        ASSERT_NE(across, nullptr);
        tcontrol_realize(&across->_control);
        EXPECT_EQ(pixels(across), (std::vector<std::string>{"BBBBBg", "Blllll"}));

        trect wide = {40, 5, 60, 8};
        tseperator *down = tseperator_new(nullptr, &wide, 1, nullptr);
        tcontrol_realize(&down->_control);
        EXPECT_EQ(pixels(down), (std::vector<std::string>{"BB", "Bl", "Bl", "gl"}));

        // Over white, black at alpha 128 is a middle grey.
        tscreen_set_paint_hook(screen, [](tscreen *s, const trect *r) {
          tbitmap_fill_rect(tscreen_get_bitmap(s), r->x1, r->y1, r->x2, r->y2, 0xFFFFFFFFu);
        });
        tscreen_paint(screen, nullptr);
        uint32_t composed = screen_pixel(screen, 10, 20);
        EXPECT_GE(composed >> 11, 14u);
        EXPECT_LE(composed >> 11, 17u);
        tseperator_free(across);
        tseperator_free(down);
      },
      "240x320");
}
