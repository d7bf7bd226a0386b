// Progress bar: the filled part and the "N%" text for values in and out of
// range on both axes, and the pen and keys of an interactive bar (a plain
// one takes neither).
#include "tprogressbar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "tstyler.h"

namespace {

std::vector<std::u16string> g_texts;
std::vector<int32_t> g_changes;

void record_text(ttdrawer *, tcanvas *, wins_graphics_pass *, const char16_t *text, int32_t length, const trect *) {
  g_texts.push_back(length < 0 ? std::u16string(text) : std::u16string(text, size_t(length)));
}
void log_change(tprogressbar *, int32_t percent) { g_changes.push_back(percent); }

constexpr uint32_t k_white = 0xFFFF, k_blue = 0x001F;

// A bar whose text drawer records what it would draw.
struct bar {
  tprogressbar *pb;
  bar(trect rect, int vertical) {
    g_texts.clear();
    g_changes.clear();
    ttdrawer_set_draw_func(tstyler_get_default_tdrawer(), record_text);
    pb = tprogressbar_new(nullptr, &rect, vertical, nullptr);
    tprogressbar_set_on_change(pb, log_change);
    tcontrol_realize(&pb->_control);
  }
  ~bar() { tprogressbar_free(pb); }
};

int pen(tscreen *screen, int type, int32_t x, int32_t y) { return tscreen_dispatch_pen(screen, type, x, y, 0); }

}  // namespace

TEST(ProgressBar, FillAndTextFollowTheClampedPercent) {
  run_on_styled_screen([](tscreen *screen) {
    struct row {
      int vertical;
      int32_t percent;
      const char16_t *text;
      std::vector<int32_t> at;  // distances along the bar
      std::vector<uint32_t> probes;
    };
    // 100 x 20 horizontal and 20 x 100 vertical bars; probes away from the border.
    const row rows[] = {
        {0, 150, u"100%", {2, 97, 98}, {k_blue, k_blue, k_blue}},
        {0, -3, u"0%", {2, 30, 31}, {k_white, k_white, k_white}},
        {0, 30, u"30%", {2, 28, 30}, {k_blue, k_blue, k_white}},  // the fill's own border sits at 29
        {1, 30, u"30%", {2, 28, 30}, {k_blue, k_blue, k_white}},
    };
    for (const row &r : rows) {
      SCOPED_TRACE(testing::Message() << r.vertical << " " << r.percent);
      bar b(r.vertical ? trect{0, 0, 19, 99} : trect{0, 0, 99, 19}, r.vertical);
      tprogressbar_set_percent(b.pb, r.percent);
      g_texts.clear();
      tsurface_update(&b.pb->_control._surface, nullptr);
      EXPECT_EQ(g_texts, std::vector<std::u16string>{r.text});
      std::vector<uint32_t> seen;
      for (int32_t along : r.at) seen.push_back(r.vertical ? screen_pixel(screen, 3, along) : screen_pixel(screen, along, 3));
      EXPECT_EQ(seen, r.probes);
    }
    bar hidden({0, 0, 99, 19}, 0);
    tprogressbar_set_hide_text(hidden.pb, 1);
    g_texts.clear();
    tsurface_update(&hidden.pb->_control._surface, nullptr);
    EXPECT_TRUE(g_texts.empty());
  }, "240x320");
}

TEST(ProgressBar, OnlyAnInteractiveBarTakesPenAndKeys) {
  run_on_styled_screen([](tscreen *screen) {
    bar b({10, 10, 109, 29}, 0);
    EXPECT_EQ(pen(screen, 1, 35, 15), 0);
    EXPECT_EQ(tscreen_dispatch_key(screen, 0xF808, 0, 0), 0);
    EXPECT_TRUE(g_changes.empty());

    tprogressbar_set_interactive(b.pb, 1);
    EXPECT_EQ(pen(screen, 1, 35, 15), 1);  // 25 of 100 pixels
    EXPECT_TRUE(tcontrol_has_focus(&b.pb->_control));
    pen(screen, 3, 200, 15);  // captured: held at 100
    pen(screen, 3, 0, 15);    // and at 0
    pen(screen, 2, 0, 15);
    EXPECT_EQ(pen(screen, 3, 50, 50), 0);  // released
    EXPECT_EQ(tscreen_dispatch_key(screen, 0xF807, 0, 0), 1);  // already 0
    EXPECT_EQ(tscreen_dispatch_key(screen, 0xF808, 0, 0), 1);
    EXPECT_EQ(tscreen_dispatch_key(screen, 0xF80A, 0, 0), 0);  // not this bar's axis
    EXPECT_EQ(g_changes, (std::vector<int32_t>{25, 100, 0, 0, 1}));
  });
}
