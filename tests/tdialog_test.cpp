// Dialogs driven through the screen as a user does: soft keys with their
// 100 ms pressed look on the test clock, taps and drags, a veto, placement on
// portrait and landscape screens, and a result callback that opens the next
// dialog.
#include "tdialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "os_clock.h"
#include "port_test_app.h"
#include "screen_fixture.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tform.h"
#include "wins_timer.h"

namespace {

std::vector<int32_t> fields(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }
const trect &rect_of(void *control) { return *tsurface_get_rect(&static_cast<tcontrol *>(control)->_surface); }
tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }

// What reached the owner: "result owner-name" per call.
std::vector<std::string> g_results;
const char *g_owner = "owner";
void record_result(int32_t result, void *owner) {
  g_results.push_back(std::to_string(result) + " " + static_cast<const char *>(owner));
}
int g_vetoes;
int veto(tdialog *, int32_t, void *) {
  g_vetoes++;
  return 0;
}

// The clock stands still until a test moves it; timers left running are
// stopped so the next test starts clean.
struct driven_clock {
  driven_clock() { os_clock_drive(1); }
  ~driven_clock() {
    wins_timer_stop_all();
    os_clock_drive(0);
  }
  void run(uint32_t ms) {
    os_clock_advance(ms);
    port_test_pump();
  }
};

tdialog *shown_dialog(int32_t mode = TDIALOG_PLACE_KEEP, const char16_t *title = u"Title") {
  tdialog *dialog = tdialog_new(title, const_cast<char *>(g_owner));
  EXPECT_NE(dialog, nullptr);
  tdialog_set_on_result(dialog, record_result);
  tdialog_show(dialog, -1, -1, -1, -1, mode);
  return dialog;
}

void tap(tscreen *screen, int32_t x, int32_t y) {
  tscreen_dispatch_pen(screen, TSCREEN_PEN_DOWN, x, y, 0);
  tscreen_dispatch_pen(screen, TSCREEN_PEN_UP, x, y, 0);
}

}  // namespace

TEST(Dialog, LeftSoftKeyClosesWithOneAfterThePressedLook) {
  g_results.clear();
  run_on_styled_screen(
      [](tscreen *screen) {
        driven_clock clock;
        tdialog *dialog = shown_dialog();
        EXPECT_EQ(tscreen_get_modal(screen), surface_of(dialog));
        EXPECT_EQ(tscreen_dispatch_key(screen, 0xF821, 0, 0), 1);
        clock.run(99);
        EXPECT_TRUE(g_results.empty()) << "the pressed look lasts 100 ms";
        clock.run(1);
        EXPECT_EQ(g_results, std::vector<std::string>{"1 owner"});
        EXPECT_EQ(tscreen_get_modal(screen), nullptr);
        // Nothing is left to take input: the screen's fallback answers.
        EXPECT_EQ(tscreen_dispatch_key(screen, 0xF821, 0, 0), 0);
      },
      "240x320");
}

TEST(Dialog, AVetoKeepsTheDialogAndCallsNothing) {
  g_results.clear();
  g_vetoes = 0;
  run_on_styled_screen(
      [](tscreen *screen) {
        driven_clock clock;
        tdialog *dialog = shown_dialog();
        tdialog_set_on_closing(dialog, veto);
        tscreen_dispatch_key(screen, 0xF822, 0, 0);
        clock.run(100);
        EXPECT_EQ(g_vetoes, 1);
        EXPECT_TRUE(g_results.empty());
        EXPECT_EQ(tscreen_get_modal(screen), surface_of(dialog));
        tdialog_set_on_closing(dialog, nullptr);
        tdialog_close(dialog, 7);
        EXPECT_EQ(g_results, std::vector<std::string>{"7 owner"});
      },
      "240x320");
}

TEST(Dialog, AnOutsideTapClosesOnPenUpOnly) {
  g_results.clear();
  run_on_styled_screen(
      [](tscreen *screen) {
        tdialog *dialog = shown_dialog(TDIALOG_PLACE_CENTRE);
        const trect panel = rect_of(tdialog_get_panel(dialog));
        // Without the flag an outside tap is swallowed.
        tap(screen, 2, 2);
        EXPECT_TRUE(g_results.empty());
        tdialog_set_close_on_outside_tap(dialog, 1);
        // A tap on the panel (below the title) keeps it.
        tap(screen, panel.x1 + 5, panel.y2 - 5);
        EXPECT_TRUE(g_results.empty());
        EXPECT_EQ(tscreen_dispatch_pen(screen, TSCREEN_PEN_DOWN, 2, 2, 0), 1);
        EXPECT_TRUE(g_results.empty()) << "not on pen down";
        EXPECT_EQ(tscreen_dispatch_pen(screen, TSCREEN_PEN_UP, 2, 2, 0), 1);
        EXPECT_EQ(g_results, std::vector<std::string>{"0 owner"});
      },
      "240x320");
}

// Automatic size: as wide as the screen's short side, cut to the area the
// bar leaves (less 6 more when centred), as high as the title and form ask.
TEST(Dialog, AutomaticPlacementOnPortraitAndLandscapeScreens) {
  struct row {
    const char *screen;
    int32_t mode;
    int32_t x1, x2;
  };
  const row rows[] = {
      {"240x320", TDIALOG_PLACE_KEEP, 0, 239},   {"320x240", TDIALOG_PLACE_KEEP, 0, 219},
      {"240x320", TDIALOG_PLACE_CENTRE, 0, 239}, {"320x240", TDIALOG_PLACE_CENTRE, 3, 216},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(std::string(r.screen) + " mode " + std::to_string(r.mode));
    run_on_styled_screen(
        [&](tscreen *) {
          tdialog *dialog = shown_dialog(r.mode);
          const trect panel = rect_of(tdialog_get_panel(dialog));
          const trect bar = rect_of(tdialog_get_controlbar(dialog));
          EXPECT_EQ(std::vector<int32_t>({panel.x1, panel.x2}), std::vector<int32_t>({r.x1, r.x2}));
          trect free_area;
          tdialog_get_free_area(dialog, &free_area);
          bool landscape = std::string(r.screen) == "320x240";
          EXPECT_EQ(fields(bar), landscape ? std::vector<int32_t>({220, 0, 319, 239})
                                           : std::vector<int32_t>({0, 280, 239, 319}));
          EXPECT_EQ(fields(free_area), landscape ? std::vector<int32_t>({0, 0, 219, 239})
                                                 : std::vector<int32_t>({0, 0, 239, 279}));
          int32_t height = panel.y2 - panel.y1 + 1;
          if (r.mode == TDIALOG_PLACE_CENTRE)
            EXPECT_EQ(panel.y1, (free_area.y2 - height + 1) / 2);
          else if (landscape)
            EXPECT_EQ(panel.y1, (240 - height) / 2);
          else
            EXPECT_EQ(panel.y2, 279) << "right above the bar";
          // Title (25) and an empty form inside the insets.
          EXPECT_EQ(fields(rect_of(tdialog_get_titlebar(dialog))),
                    std::vector<int32_t>({3, 3, panel.x2 - panel.x1 - 3, 27}));
          tdialog_close(dialog, 0);
        },
        r.screen);
  }
}

TEST(Dialog, TheTitleDragsThePanelExceptWhenItFills) {
  g_results.clear();
  run_on_styled_screen(
      [](tscreen *screen) {
        tdialog *dialog = shown_dialog(TDIALOG_PLACE_CENTRE);
        const trect before = rect_of(tdialog_get_panel(dialog));
        int32_t x = before.x1 + 20, y = before.y1 + 10;
        tscreen_dispatch_pen(screen, TSCREEN_PEN_DOWN, x, y, 0);
        tscreen_dispatch_pen(screen, TSCREEN_PEN_MOVE, x - 7, y + 9, 0);
        tscreen_dispatch_pen(screen, TSCREEN_PEN_UP, x - 7, y + 9, 0);
        const trect after = rect_of(tdialog_get_panel(dialog));
        EXPECT_EQ(fields(after), std::vector<int32_t>({before.x1 - 7, before.y1 + 9, before.x2 - 7, before.y2 + 9}));
        EXPECT_EQ(tscreen_get_pen_capture(screen), nullptr);
        tdialog_close(dialog, 0);

        dialog = shown_dialog(TDIALOG_PLACE_FILL);
        const trect filled = rect_of(tdialog_get_panel(dialog));
        EXPECT_EQ(fields(filled), std::vector<int32_t>({0, 0, 239, 279}));
        tscreen_dispatch_pen(screen, TSCREEN_PEN_DOWN, 30, 10, 0);
        tscreen_dispatch_pen(screen, TSCREEN_PEN_MOVE, 20, 30, 0);
        tscreen_dispatch_pen(screen, TSCREEN_PEN_UP, 20, 30, 0);
        EXPECT_EQ(fields(rect_of(tdialog_get_panel(dialog))), fields(filled));
        tdialog_close(dialog, 0);
      },
      "240x320");
}

// The panel's client rect, title bar, form and the stored title rect follow
// a narrower panel: a press where the wide title used to be is no drag.
TEST(Dialog, ANarrowedPanelMovesItsTitleRectWithIt) {
  run_on_styled_screen(
      [](tscreen *screen) {
        tdialog *dialog = shown_dialog(TDIALOG_PLACE_KEEP);
        tcontrol *panel = tdialog_get_panel(dialog);
        tcontrol_set_width(panel, 100);
        EXPECT_EQ(fields(*tcontrol_get_client_rect(panel)), std::vector<int32_t>({3, 3, 96, rect_of(panel).y2 - rect_of(panel).y1 - 3}));
        EXPECT_EQ(fields(rect_of(tdialog_get_titlebar(dialog))), std::vector<int32_t>({3, 3, 96, 27}));
        EXPECT_EQ(rect_of(tdialog_get_form(dialog)).x2, 96);
        const trect before = rect_of(panel);
        int32_t y = before.y1 + 10;
        tscreen_dispatch_pen(screen, TSCREEN_PEN_DOWN, 180, y, 0);
        tscreen_dispatch_pen(screen, TSCREEN_PEN_MOVE, 170, y + 20, 0);
        tscreen_dispatch_pen(screen, TSCREEN_PEN_UP, 170, y + 20, 0);
        EXPECT_EQ(fields(rect_of(panel)), fields(before));
        tdialog_close(dialog, 0);
      },
      "240x320");
}

// The owner's callback runs after the old dialog is gone and may show the
// next one, which then holds the modal slot and closes as usual.
TEST(Dialog, AResultCallbackMayOpenTheNextDialog) {
  g_results.clear();
  static tdialog *g_next;
  g_next = nullptr;
  run_on_styled_screen(
      [](tscreen *screen) {
        driven_clock clock;
        tdialog *first = tdialog_new(u"First", const_cast<char *>(g_owner));
        tdialog_set_on_result(first, [](int32_t result, void *owner) {
          record_result(result, owner);
          g_next = shown_dialog();
        });
        tdialog_show(first, -1, -1, -1, -1, TDIALOG_PLACE_CENTRE);
        tscreen_dispatch_key(screen, 0xF821, 0, 0);
        clock.run(100);
        ASSERT_NE(g_next, nullptr);
        EXPECT_EQ(tscreen_get_modal(screen), surface_of(g_next));
        tscreen_dispatch_key(screen, 0xF822, 0, 0);
        clock.run(100);
        EXPECT_EQ(g_results, (std::vector<std::string>{"1 owner", "0 owner"}));
        EXPECT_EQ(tscreen_get_modal(screen), nullptr);
      },
      "240x320");
}

TEST(Dialog, AnAddedButtonSitsBelowTheContentAndClosesWithItsResult) {
  g_results.clear();
  run_on_styled_screen(
      [](tscreen *screen) {
        tdialog *dialog = tdialog_new(u"Title", const_cast<char *>(g_owner));
        tdialog_set_on_result(dialog, record_result);
        tdialog_add_button(dialog, u"Go", 9);
        tbutton *button = tdialog_get_button(dialog, 0);
        ASSERT_NE(button, nullptr);
        tdialog_add_button(dialog, u"Again", 10);
        EXPECT_EQ(tdialog_get_button(dialog, 0), button) << "only one is added";
        tdialog_show(dialog, -1, -1, -1, -1, TDIALOG_PLACE_CENTRE);
        trect on_screen;
        tsurface_get_screen_rect(surface_of(button), &on_screen);
        tap(screen, on_screen.x1 + 5, on_screen.y1 + 5);
        EXPECT_EQ(g_results, std::vector<std::string>{"9 owner"});
      },
      "240x320");
}

TEST(Dialog, DimmingDarkensWhatLiesBehind) {
  run_on_styled_screen(
      [](tscreen *screen) {
        tcanvas *canvas = tscreen_get_canvas(screen);
        tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, 0xFFFFFFFF);
        tcanvas_clear(canvas);
        tdialog *dialog = tdialog_new(u"Title", nullptr);
        tdialog_set_dimmed(dialog, 1);
        tdialog_show(dialog, -1, -1, -1, -1, TDIALOG_PLACE_CENTRE);
        // White under black at alpha 64: 191 or so in each channel.
        uint32_t pixel = screen_pixel(screen, 1, 1);
        EXPECT_NEAR(int(pixel >> 11) * 255 / 31, 191, 9);
        tdialog_close(dialog, 0);
      },
      "240x320");
}
