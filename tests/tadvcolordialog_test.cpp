// RGB dialog: bars start from the channels and give channels back, by pen
// and keys; the other bars' ramps, the values and the preview follow; the
// marker shows at 0 per cent too; where the parts go; OK and Cancel; a
// dialog that cannot be made whole.
#include "tadvcolordialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "tbitmap.h"
#include "tdialog.h"
#include "tedit.h"
#include "tform.h"
#include "tprogressbar.h"
#include "tstyler.h"
#include "widget_fixture.h"

namespace {

using ints = std::vector<int32_t>;

constexpr uint32_t rgb565(int r, int g, int b) { return uint32_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); }
enum { RED = 0, GREEN = 1, BLUE = 2 };

uint32_t g_color;
std::vector<int32_t> g_results;
void record_result(int32_t result, void *) { g_results.push_back(result); }

tadvcolordialog *open_rgb(uint32_t color) {
  g_results.clear();
  g_color = color;
  tadvcolordialog *adv = tadvcolordialog_new(u"More Colors", -1, &g_color, nullptr);
  tadvcolordialog_set_on_result(adv, record_result);
  tadvcolordialog_show(adv, -1, -1, TDIALOG_PLACE_CENTRE);
  return adv;
}

std::u16string text_of(tedit *edit) { return tedit_get_text(edit); }

}  // namespace

// 128 starts at 50 per cent and 50 per cent gives 127; a drag ends where the
// pen leaves the bar, a key steps the focused (first) bar by one per cent.
// OK writes the colour, Cancel leaves the caller's word as it was.
TEST(RgbDialog, BarsAndChannelsConvertBothWays) {
  run_widget_test_240x320([](tscreen *) {
    for (uint32_t close : {0xF821u, 0xF822u}) {
      tadvcolordialog *adv = open_rgb(tcolor_key_rgb(128, 0, 255));
      EXPECT_EQ(ints({adv->_bars[RED]->_percent, adv->_bars[GREEN]->_percent, adv->_bars[BLUE]->_percent}),
                ints({50, 0, 100}));
      widget_key(0xF807);  // the red bar has the focus: 49 per cent
      trect green = widget_screen_rect(adv->_bars[GREEN]);
      int32_t width = green.x2 - green.x1 + 1, y = (green.y1 + green.y2) / 2;
      widget_pen(TSCREEN_PEN_DOWN, green.x1 + width / 10, y);
      widget_pen(TSCREEN_PEN_MOVE, green.x1 + width / 2, y);
      widget_pen(TSCREEN_PEN_UP, green.x1 + width / 2, y);
      EXPECT_EQ(text_of(adv->_edits[RED]) + u" " + text_of(adv->_edits[GREEN]), u"124 127");
      EXPECT_EQ(g_color, tcolor_key_rgb(128, 0, 255));
      widget_soft_key(close);
      EXPECT_EQ(g_results, ints{close == 0xF821u ? 1 : 0});
      EXPECT_EQ(g_color, close == 0xF821u ? tcolor_key_rgb(124, 127, 255) : tcolor_key_rgb(128, 0, 255));
    }
  });
}

// After a tap moves red to 25 per cent, 63 (the red bar has the focus
// already, so nothing else repaints the form), the green bar ramps green over
// red 63 and blue 255, the blue bar blue over red 63 and green 0, and the
// preview shows the colour. A bar at 0 per cent still shows its marker's
// light triangle.
TEST(RgbDialog, RampsPreviewAndMarkerFollowTheColour) {
  run_widget_test_240x320([](tscreen *screen) {
    tadvcolordialog *adv = open_rgb(tcolor_key_rgb(128, 0, 255));
    trect green = widget_screen_rect(adv->_bars[GREEN]);
    uint32_t unmarked = screen_pixel(screen, green.x1 + 3, green.y1 + 2);
    EXPECT_NE(screen_pixel(screen, green.x1 + 3, (green.y1 + green.y2) / 2), unmarked);

    trect red = widget_screen_rect(adv->_bars[RED]);
    widget_tap(red.x1 + (red.x2 - red.x1 + 1) / 4, (red.y1 + red.y2) / 2);
    trect blue = widget_screen_rect(adv->_bars[BLUE]), preview = widget_screen_rect(adv->_preview);
    struct sample {
      int32_t x, y;
      uint32_t expected;
    };
    const sample samples[] = {
        {green.x1 + 2, green.y1 + 2, rgb565(63, 2, 255)},
        {green.x2 - 1, green.y1 + 2, rgb565(63, 255, 255)},
        {blue.x1 + 2, blue.y1 + 2, rgb565(63, 0, 2)},
        {(preview.x1 + preview.x2) / 2, (preview.y1 + preview.y2) / 2, rgb565(63, 0, 255)},
    };
    for (const sample &s : samples) EXPECT_EQ(screen_pixel(screen, s.x, s.y), s.expected) << s.x << "," << s.y;
    tdialog_close(adv->_dialog, 0);
  });
}

// Bars across the form, then label and edit rows, and the preview from
// below the bars to the last edit's bottom, right of the edits to the
// margin, each by its own layout value (all different here).
TEST(RgbDialog, PartsGoWhereTheLayoutSays) {
  run_on_styled_screen(
      [&](tscreen *) {
        tstyler_set_default(tstyler_new([](tstyler *, void *target, int32_t kind, void *, intptr_t) {
          const int32_t values[] = {4, 6, 22, 7, 50, 18, 9, 3, 36, 14, 11, 12, 8, 99};
          if (kind != TSTYLE_ADVCOLORDIALOG_BEFORE) return;
          for (int32_t i = -1; i < 14; i++)
            tadvcolordialog_set_layout(static_cast<tadvcolordialog *>(target), i, i < 0 ? 99 : values[i]);
        }));
        tadvcolordialog *adv = open_rgb(0);
        auto local = [](void *widget) {
          const trect &r = *tsurface_get_rect(&static_cast<tcontrol *>(widget)->_surface);
          return ints({r.x1, r.y1, r.x2, r.y2});
        };
        // Client width 234; bars at 6, 35 and 64, 22 high; rows from 86 + 9.
        EXPECT_EQ(local(adv->_bars[BLUE]), ints({4, 64, 229, 85}));
        EXPECT_EQ(local(adv->_labels[BLUE]), ints({4, 137, 53, 154}));
        EXPECT_EQ(local(adv->_edits[BLUE]), ints({54, 145, 89, 158}));
        EXPECT_EQ(local(adv->_preview), ints({98, 98, 229, 158}));
        tdialog_close(adv->_dialog, 0);
      },
      "240x320");
}

// The preview is the widest buffer after the bars: under a budget that
// refuses it, no dialog is made and what was made is freed.
TEST(RgbDialog, NoDialogWhenAPartCannotBeMade) {
  run_on_styled_screen(
      [](tscreen *screen) {
        uint64_t budget = tbitmap_set_budget(300 << 10);
        uint32_t color = 0;
        EXPECT_EQ(tadvcolordialog_new(u"More Colors", 3000, &color, nullptr), nullptr);
        tbitmap_set_budget(budget);
        EXPECT_EQ(tscreen_get_modal(screen), nullptr);
      },
      "240x320");
}
