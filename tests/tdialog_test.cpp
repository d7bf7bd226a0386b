// Dialogs driven through the screen: soft keys after their pressed look, a
// veto, outside taps, placement on portrait and landscape screens, a panel
// made narrower, a result callback that opens the next dialog, dimming, the
// modal slot handed back on close, and closing all at the end.
#include "tdialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "tcontrolbar.h"
#include "tform.h"
#include "thint.h"
#include "tmessagedialog.h"
#include "widget_fixture.h"

namespace {

using ints = std::vector<int32_t>;
ints fields(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }
const trect &rect_of(void *control) { return *tsurface_get_rect(&static_cast<tcontrol *>(control)->_surface); }
tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }

// What reached the owner, "result owner" per call.
std::vector<std::string> g_results;
char g_owner[] = "owner";
void record_result(int32_t result, void *owner) {
  g_results.push_back(std::to_string(result) + " " + static_cast<const char *>(owner));
}
int veto(tdialog *, int32_t, void *) { return 0; }

tdialog *shown_dialog(int32_t mode, char *owner = g_owner) {
  tdialog *dialog = tdialog_new(u"Title", owner);
  tdialog_set_on_result(dialog, record_result);
  tdialog_show(dialog, -1, -1, -1, -1, mode);
  return dialog;
}

// Runs body on a styled 240 x 320 screen with the test clock.
void on_dialog_screen(const std::function<void(tscreen *)> &body) {
  g_results.clear();
  run_widget_test([&](tscreen *screen) { body(screen); }, "240x320");
}

}  // namespace

TEST(Dialog, SoftKeysCloseAfterThePressedLookUnlessVetoed) {
  on_dialog_screen([](tscreen *screen) {
    tdialog *dialog = shown_dialog(TDIALOG_PLACE_KEEP);
    tdialog_set_on_closing(dialog, veto);
    widget_soft_key(TCONTROLBAR_RIGHT_KEY);
    EXPECT_EQ(tscreen_get_modal(screen), surface_of(dialog)) << "vetoed";
    tdialog_set_on_closing(dialog, nullptr);
    EXPECT_EQ(widget_key(TCONTROLBAR_LEFT_KEY), 1);
    widget_run_for(90);
    EXPECT_TRUE(g_results.empty());
    widget_run_for(10);
    EXPECT_EQ(g_results, std::vector<std::string>{"1 owner"});
    EXPECT_EQ(tscreen_get_modal(screen), nullptr);
    EXPECT_EQ(widget_key(TCONTROLBAR_LEFT_KEY), 0) << "nothing is left to take it";
  });
}

TEST(Dialog, AnOutsideTapClosesOnPenUpOnly) {
  on_dialog_screen([](tscreen *) {
    tdialog *dialog = shown_dialog(TDIALOG_PLACE_CENTRE);
    const trect panel = rect_of(tdialog_get_panel(dialog));
    widget_tap(2, 2);
    EXPECT_TRUE(g_results.empty()) << "swallowed without the flag";
    tdialog_set_close_on_outside_tap(dialog, 1);
    widget_tap(panel.x1 + 5, panel.y2 - 5);
    EXPECT_TRUE(g_results.empty()) << "the panel is no outside";
    EXPECT_EQ(widget_pen(TSCREEN_PEN_DOWN, 2, 2), 1);
    EXPECT_TRUE(g_results.empty());
    EXPECT_EQ(widget_pen(TSCREEN_PEN_UP, 2, 2), 1);
    EXPECT_EQ(g_results, std::vector<std::string>{"0 owner"});
  });
}

// As wide as the short side, cut to the area the bar leaves (6 less when
// centred); right above a bottom bar, or beside a right one.
TEST(Dialog, AutomaticPlacementOnPortraitAndLandscapeScreens) {
  struct row {
    const char *screen;
    int32_t mode;
    ints panel_x, bar, free_area;
  };
  const row rows[] = {
      {"240x320", TDIALOG_PLACE_KEEP, {0, 239}, {0, 280, 239, 319}, {0, 0, 239, 279}},
      {"320x240", TDIALOG_PLACE_KEEP, {0, 219}, {220, 0, 319, 239}, {0, 0, 219, 239}},
      {"240x320", TDIALOG_PLACE_CENTRE, {0, 239}, {0, 280, 239, 319}, {0, 0, 239, 279}},
      {"320x240", TDIALOG_PLACE_CENTRE, {3, 216}, {220, 0, 319, 239}, {0, 0, 219, 239}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(std::string(r.screen) + " mode " + std::to_string(r.mode));
    run_on_styled_screen(
        [&](tscreen *) {
          tdialog *dialog = shown_dialog(r.mode);
          const trect panel = rect_of(tdialog_get_panel(dialog));
          trect free_area;
          tdialog_get_free_area(dialog, &free_area);
          EXPECT_EQ(ints({panel.x1, panel.x2}), r.panel_x);
          EXPECT_EQ(fields(rect_of(tdialog_get_controlbar(dialog))), r.bar);
          EXPECT_EQ(fields(free_area), r.free_area);
          int32_t height = panel.y2 - panel.y1 + 1;
          if (r.mode == TDIALOG_PLACE_CENTRE)
            EXPECT_EQ(panel.y1, (free_area.y2 - height + 1) / 2);
          else
            EXPECT_EQ(r.bar[1] == 0 ? panel.y1 : panel.y2, r.bar[1] == 0 ? (240 - height) / 2 : 279);
          tdialog_close(dialog, 0);
        },
        r.screen);
  }
}

// Client rect, title bar, form and the stored title rect follow a narrower
// panel: a press where the wide title used to be drags nothing.
TEST(Dialog, ANarrowedPanelMovesItsTitleRectWithIt) {
  on_dialog_screen([](tscreen *) {
    tdialog *dialog = shown_dialog(TDIALOG_PLACE_KEEP);
    tcontrol *panel = tdialog_get_panel(dialog);
    tcontrol_set_width(panel, 100);
    const trect before = rect_of(panel);
    EXPECT_EQ(fields(*tcontrol_get_client_rect(panel)), ints({3, 3, 96, before.y2 - before.y1 - 3}));
    EXPECT_EQ(fields(rect_of(tdialog_get_titlebar(dialog))), ints({3, 3, 96, 27}));
    EXPECT_EQ(rect_of(tdialog_get_form(dialog)).x2, 96);
    widget_pen(TSCREEN_PEN_DOWN, 180, before.y1 + 10);
    widget_pen(TSCREEN_PEN_MOVE, 170, before.y1 + 30);
    widget_pen(TSCREEN_PEN_UP, 170, before.y1 + 30);
    EXPECT_EQ(fields(rect_of(panel)), fields(before));
    // On the title it drags.
    widget_pen(TSCREEN_PEN_DOWN, 20, before.y1 + 10);
    widget_pen(TSCREEN_PEN_MOVE, 27, before.y1 + 5);
    widget_pen(TSCREEN_PEN_UP, 27, before.y1 + 5);
    EXPECT_EQ(fields(rect_of(panel)), ints({7, before.y1 - 5, 106, before.y2 - 5}));
    tdialog_close(dialog, 0);
  });
}

// The owner hears after the first dialog is gone and may show the next,
// which holds the modal slot and closes as usual.
TEST(Dialog, AResultCallbackMayOpenTheNextDialog) {
  static tdialog *g_next;
  g_next = nullptr;
  on_dialog_screen([](tscreen *screen) {
    tdialog *first = shown_dialog(TDIALOG_PLACE_CENTRE);
    tdialog_set_on_result(first, [](int32_t result, void *owner) {
      record_result(result, owner);
      g_next = shown_dialog(TDIALOG_PLACE_CENTRE);
    });
    widget_soft_key(TCONTROLBAR_LEFT_KEY);
    ASSERT_NE(g_next, nullptr);
    EXPECT_EQ(tscreen_get_modal(screen), surface_of(g_next));
    widget_soft_key(TCONTROLBAR_RIGHT_KEY);
    EXPECT_EQ(g_results, (std::vector<std::string>{"1 owner", "0 owner"}));
    EXPECT_EQ(tscreen_get_modal(screen), nullptr);
  });
}

// A soft key clicks 100 ms after its press: not into a dialog that a child
// or a box shown since lies over, nor into one that began to close; a hint
// in the modal slot changes nothing.
TEST(Dialog, ASoftKeyClicksOnlyIntoTheDialogItWasPressedFor) {
  on_dialog_screen([](tscreen *screen) {
    tdialog *parent = shown_dialog(TDIALOG_PLACE_CENTRE);
    widget_key(TCONTROLBAR_LEFT_KEY);
    tdialog *child = shown_dialog(TDIALOG_PLACE_CENTRE);
    widget_run_for(200);
    EXPECT_TRUE(g_results.empty()) << "the parent stays under its child";
    tdialog_close(child, TDIALOG_RESULT_CANCEL);
    tdialog_set_on_closing(parent, [](tdialog *, int32_t result, void *) { return int(result != TDIALOG_RESULT_OK); });
    widget_key(TCONTROLBAR_RIGHT_KEY);
    tdialog_close(parent, TDIALOG_RESULT_OK);
    widget_run_for(200);
    EXPECT_EQ(g_results, std::vector<std::string>{"0 owner"}) << "the Cancel pressed before the close is dropped";
    tdialog_set_on_closing(parent, nullptr);

    trect at = {0, 0, 40, 20};
    thint *hint = thint_new(&at, u"hint", 0, nullptr);
    widget_key(TCONTROLBAR_LEFT_KEY);
    thint_show(hint, 10, 10);
    widget_run_for(200);
    EXPECT_EQ(g_results, (std::vector<std::string>{"0 owner", "1 owner"}));
    thint_free(hint);
    EXPECT_EQ(tscreen_get_modal(screen), nullptr);
  });
}

TEST(Dialog, DimmingDarkensWhatLiesBehind) {
  on_dialog_screen([](tscreen *screen) {
    tcanvas *canvas = tscreen_get_canvas(screen);
    tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, 0xFFFFFFFF);
    tcanvas_clear(canvas);
    tdialog *dialog = tdialog_new(u"Title", nullptr);
    tdialog_set_dimmed(dialog, 1);
    tdialog_show(dialog, -1, -1, -1, -1, TDIALOG_PLACE_CENTRE);
    // White under black at alpha 64.
    EXPECT_NEAR(int(screen_pixel(screen, 1, 1) >> 11) * 255 / 31, 191, 9);
    tdialog_close(dialog, 0);
  });
}

// The bar hides what lies under it, also where a soft key is hidden and
// in the unused middle: nothing of the green screen shows in it.
TEST(Dialog, TheSoftKeyBarHidesWhatLiesUnderIt) {
  on_dialog_screen([](tscreen *screen) {
    tscreen_set_paint_hook(screen, [](tscreen *s, const trect *r) {
      tcanvas_set_brush(tscreen_get_canvas(s), TCANVAS_BRUSH_SOLID, 0xFF00FF00);
      tcanvas_fill_rect(tscreen_get_canvas(s), r->x1, r->y1, r->x2, r->y2);
    });
    tdialog *dialog = shown_dialog(TDIALOG_PLACE_KEEP);
    tsurface_set_visible(surface_of(tcontrolbar_get_left_button(tdialog_get_controlbar(dialog))), 0);
    tscreen_paint(screen, nullptr);
    const trect &bar = rect_of(tdialog_get_controlbar(dialog));
    int green = 0;
    for (int32_t y = bar.y1; y <= bar.y2; y++)
      for (int32_t x = bar.x1; x <= bar.x2; x++) green += screen_pixel(screen, x, y) == 0x07E0;
    EXPECT_EQ(green, 0);
    tdialog_close(dialog, 0);
    tscreen_set_paint_hook(screen, nullptr);
  });
}

// A focused control in the form hears a soft key before the bar; a filled
// panel does not move under a title drag; a second added button is ignored.
TEST(Dialog, TheFormHearsKeysFirstAndAFilledPanelStaysPut) {
  on_dialog_screen([](tscreen *) {
    tdialog *dialog = shown_dialog(TDIALOG_PLACE_FILL);
    tform *form = tdialog_get_form(dialog);
    tdialog_add_button(dialog, u"One", 5);
    tdialog_add_button(dialog, u"Two", 6);
    EXPECT_EQ(tform_get_child_count(form), 1);
    trect r = {0, 0, 9, 9};
    tcontrol *taker = tcontrol_new(nullptr, &r, nullptr);
    tcontrol_set_focusable_test(taker, [](tcontrol *) { return 1; });
    tcontrol_set_on_key(taker, [](tcontrol *, uint32_t, uint32_t, uint32_t) { return 1; });
    tform_add_child(form, 9, taker);
    ASSERT_EQ(tform_set_focus(form, taker), 1);
    widget_soft_key(TCONTROLBAR_LEFT_KEY);
    EXPECT_TRUE(g_results.empty());
    const trect before = rect_of(tdialog_get_panel(dialog));
    widget_pen(TSCREEN_PEN_DOWN, 20, before.y1 + 10);
    widget_pen(TSCREEN_PEN_MOVE, 27, before.y1 + 30);
    widget_pen(TSCREEN_PEN_UP, 27, before.y1 + 30);
    EXPECT_EQ(fields(rect_of(tdialog_get_panel(dialog))), fields(before));
    tform_remove_child(form, taker);
    tcontrol_free(taker);
    tdialog_close(dialog, 0);
  });
}

// Closing gives the modal slot back to what the dialog covered, so keys go
// there and not to a control that came to the front meanwhile (a bar, a
// note): a box with no owner over a dialog, and a dialog closed while one
// it lies under is still up, which passes what it covered on.
TEST(Dialog, ClosingGivesTheInputBackToWhatItCovered) {
  on_dialog_screen([](tscreen *screen) {
    int main_keys = 0, front_keys = 0;
    tcontrol *main = widget_new_key_taker(0, &main_keys);
    tscreen_set_modal(screen, surface_of(main));
    shown_dialog(TDIALOG_PLACE_CENTRE);
    tcontrol *front = widget_new_key_taker(20, &front_keys);
    tdialog *box = tdialog_new(u"Box", nullptr);
    tdialog_show(box, -1, -1, -1, -1, TDIALOG_PLACE_CENTRE);
    widget_soft_key(TCONTROLBAR_RIGHT_KEY);
    EXPECT_TRUE(g_results.empty()) << "the box took the key and closed";
    widget_soft_key(TCONTROLBAR_LEFT_KEY);
    EXPECT_EQ(g_results, std::vector<std::string>{"1 owner"}) << "the dialog beneath took the next";
    widget_key('x');
    EXPECT_EQ(main_keys, 1);

    tdialog *lower = shown_dialog(TDIALOG_PLACE_CENTRE);
    shown_dialog(TDIALOG_PLACE_CENTRE);  // the upper one
    tdialog_close(lower, TDIALOG_RESULT_CANCEL);
    widget_soft_key(TCONTROLBAR_LEFT_KEY);
    EXPECT_EQ(g_results, (std::vector<std::string>{"1 owner", "0 owner", "1 owner"}));
    widget_key('x');
    EXPECT_EQ(main_keys, 2) << "the upper dialog gave back what the lower one covered";
    EXPECT_EQ(front_keys, 0);
    tcontrol_free(front);
    tcontrol_free(main);
  });
}

// The modal slot after every step of a run of shows and closes: the pop-up
// still up nearest the front, else the main surface the first one covered.
// A step is an item and + (show, again if up) or - (close); item 4 is a
// message box, 0-3 are dialogs.
TEST(Dialog, TheSlotGoesToTheFrontPopupStillUp) {
  on_dialog_screen([](tscreen *screen) {
    int keys = 0;
    tcontrol *main = widget_new_key_taker(0, &keys);
    tscreen_set_modal(screen, surface_of(main));
    std::mt19937 random(41);
    std::string steps;
    for (int i = 0; i < 3000; ++i) steps += std::to_string(random() % 5) + (random() % 3 ? '+' : '-');
    const std::pair<const char *, std::string> runs[] = {
        {"a box over a dialog", "0+4+4-0-"},
        {"a dialog shown again over the one over it", "0+1+0+0-1-"},
        {"3,000 steps from seed 41", steps},
    };
    for (const auto &[name, run] : runs) {
      tdialog *up[5] = {};
      tmessagedialog *box = nullptr;  // while up[4] is up
      std::vector<int> front_last;
      for (size_t at = 0; at < run.size(); at += 2) {
        int item = run[at] - '0';
        front_last.erase(std::remove(front_last.begin(), front_last.end(), item), front_last.end());
        if (run[at + 1] == '-') {
          if (up[item]) tdialog_close(up[item], TDIALOG_RESULT_CANCEL);
          up[item] = nullptr;
        } else if (item == 4) {
          if (!up[4]) box = tmessagedialog_new(u"Box", -1, u"Text", TMESSAGEDIALOG_OK, 0, nullptr);
          up[4] = tmessagedialog_get_dialog(box);
          tmessagedialog_show(box, -1, -1, TDIALOG_PLACE_CENTRE);
        } else {
          if (!up[item]) up[item] = tdialog_new(u"Dialog", nullptr);
          tdialog_show(up[item], -1, -1, -1, -1, TDIALOG_PLACE_CENTRE);
        }
        if (up[item]) front_last.push_back(item);
        tsurface *expected = front_last.empty() ? surface_of(main) : surface_of(up[front_last.back()]);
        ASSERT_EQ(tscreen_get_modal(screen), expected) << name << ", after " << run.substr(0, at + 2);
      }
      for (tdialog *dialog : up)
        if (dialog) tdialog_close(dialog, TDIALOG_RESULT_CANCEL);
    }
    tcontrol_free(main);
  });
}

// At the end every shown dialog closes, the last shown first, with Cancel
// and whatever its closing callback says; one a result shows closes too.
TEST(Dialog, CloseAllClosesEveryDialogLeafFirst) {
  on_dialog_screen([](tscreen *screen) {
    static char lower[] = "lower", upper[] = "upper", next[] = "next";
    shown_dialog(TDIALOG_PLACE_CENTRE, lower);
    tdialog *top = shown_dialog(TDIALOG_PLACE_CENTRE, upper);
    tdialog_set_on_closing(top, veto);
    tdialog_set_on_result(top, [](int32_t result, void *owner) {
      record_result(result, owner);
      shown_dialog(TDIALOG_PLACE_CENTRE, next);
    });
    tdialog_close_all();
    EXPECT_EQ(g_results, (std::vector<std::string>{"0 upper", "0 next", "0 lower"}));
    EXPECT_EQ(screen->_surfaces.next, &screen->_surfaces);
  });
}
