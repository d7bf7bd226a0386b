// Title bar: the title it keeps and draws, white and centred on its blue strip.
#include "ttitlebar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "tstyler.h"

namespace {

std::vector<std::u16string> g_texts;
std::vector<uint32_t> g_colors;

void record_text(ttdrawer *drawer, tcanvas *, wins_graphics_pass *, const char16_t *text, int32_t length,
                 const trect *) {
  g_texts.push_back(length < 0 ? std::u16string(text) : std::u16string(text, size_t(length)));
  tcolor c;
  ttdrawer_get_color(drawer, &c);
  g_colors.push_back(uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue);
}

}  // namespace

TEST(TitleBar, KeepsSixtyThreeCharactersAndDrawsThemWhiteOnBlue) {
  run_on_styled_screen([](tscreen *screen) {
    ttdrawer_set_draw_func(tstyler_get_default_tdrawer(), record_text);
    std::u16string long_title(70, u'a');
    long_title[62] = u'b';
    trect rect = {0, 0, 59, 14};
    ttitlebar *tb = ttitlebar_new(nullptr, &rect, long_title.c_str(), nullptr);
    ASSERT_NE(tb, nullptr);
    std::u16string kept = long_title.substr(0, 63);
    EXPECT_EQ(std::u16string(ttitlebar_get_title(tb)), kept);
    tcontrol_realize(&tb->_control);
    EXPECT_EQ(g_texts, std::vector<std::u16string>{kept});
    EXPECT_EQ(g_colors, std::vector<uint32_t>{0xFFFFFF});
    EXPECT_EQ(ttdrawer_get_alignment(ttitlebar_get_text_drawer(tb)), 8u);
    tscreen_paint(screen, nullptr);
    EXPECT_EQ(screen_pixel(screen, 30, 7), 0x001Fu);  // the background drawer's blue

    ttitlebar_set_title(tb, nullptr);
    EXPECT_EQ(std::u16string(ttitlebar_get_title(tb)), u"");
    ttitlebar_free(tb);
  });
}
