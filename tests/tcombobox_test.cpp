// Combo box: the entry text a pick puts into the field (field 0 of the row,
// so the root entry reads "/"), Cancel changing nothing, the drop-down right
// below the control and as wide, moved up where it does not fit, the
// list-only press whose release does not close it; and a drop-down over the
// running program.
#include "tcombobox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_test_env.h"
#include "gui_fixture.h"
#include "os_display.h"
#include "widget_fixture.h"

namespace {

constexpr uint32_t KEY_ACTION = 0xF823, SOFT_RIGHT = 0xF822;
const char16_t *const k_drives[] = {u"C:/-1/0", u"E:/-1/0", u"\\//-1/0"};

int g_changes;

std::u16string text_of(const tcombobox *combox) { return tcombobox_get_text(combox); }

tmenu *open_menu() {
  tsurface *modal = app_test_popup();
  return reinterpret_cast<tmenu *>(modal);
}

using ints = std::vector<int32_t>;
trect list_rect(const tmenu *menu) { return *tsurface_get_rect(&tmenu_get_listbox(menu)->_control._surface); }

// The screen point in the middle of row `row` of the open drop-down.
tpoint row_point(int32_t row) { return widget_list_row_point(tmenu_get_listbox(open_menu()), row); }

// A top-level combo box of 100 x 20 at (10, y) on screen.
tcombobox *combo_at(int32_t y, int32_t mode, int32_t selected = -1) {
  trect rect = {10, y, 109, y + 19};
  tcombobox *combox = tcombobox_new(nullptr, &rect, mode, u"none", k_drives, 3, selected, nullptr);
  tcombobox_set_on_change(combox, [](tcombobox *) { g_changes++; });
  tcontrol_realize(&combox->_control);
  g_changes = 0;
  return combox;
}

}  // namespace

TEST(ComboBox, APickShowsTheEntryTextAndCancelChangesNothing) {
  run_widget_test_240x320([](tscreen *) {
    tcombobox *combox = combo_at(10, TCOMBOBOX_EDITABLE);
    EXPECT_EQ(text_of(combox), u"none");
    widget_tap(100, 20);  // the button
    tmenu *menu = open_menu();
    ASSERT_NE(menu, nullptr);
    // Right below the control and exactly as wide; no image for field 1 = -1.
    EXPECT_EQ(ints({list_rect(menu).x1, list_rect(menu).x2, list_rect(menu).y1}), ints({10, 109, 30}));
    widget_tap_list_row(tmenu_get_listbox(menu), 1);
    auto expect_picked = [&](const char16_t *text, int32_t selected, int changes) {
      EXPECT_EQ(open_menu(), nullptr);
      EXPECT_EQ(text_of(combox), text);
      EXPECT_EQ(ints({tcombobox_get_selected(combox), g_changes}), ints({selected, changes}));
    };
    expect_picked(u"E:", 1, 1);
    // Cancel: the text, the selection and the callback count stay.
    EXPECT_EQ(widget_key(KEY_ACTION), 1);
    ASSERT_NE(open_menu(), nullptr);
    EXPECT_EQ(tlistbox_get_selected(tmenu_get_listbox(open_menu())), 1);
    widget_key(SOFT_RIGHT);
    widget_run_for(200);
    expect_picked(u"E:", 1, 1);
    // The root entry's "\/" is a slash: the field reads "/".
    widget_tap(100, 20);
    widget_tap_list_row(tmenu_get_listbox(open_menu()), 2);
    expect_picked(u"/", 2, 2);
    tcombobox_free(combox);
  });
}

TEST(ComboBox, AnEditableFieldTakesTypingOnlyWhileTheComboHasTheFocus) {
  run_widget_test_240x320([](tscreen *) {
    tcombobox *combox = combo_at(10, TCOMBOBOX_EDITABLE);
    tcontrol_set_focus(&combox->_control, 1);
    widget_key('x');
    std::u16string typed = text_of(combox);
    EXPECT_NE(typed.find(u'x'), std::u16string::npos);
    tcontrol_set_focus(&combox->_control, 0);  // focus-out leaves the field
    widget_key('y');
    EXPECT_EQ(text_of(combox), typed);
    tcombobox_free(combox);
  });
}

TEST(ComboBox, ListOnlyOpensOnAPressAndKeepsTheReleaseFromTheMenu) {
  run_widget_test_240x320([](tscreen *) {
    tcombobox *combox = combo_at(250, TCOMBOBOX_LIST_ONLY, 2);
    EXPECT_EQ(text_of(combox), u"/");
    widget_tap(30, 260);  // on the field itself
    tmenu *menu = open_menu();
    ASSERT_NE(menu, nullptr);
    // 82 pixels of list do not fit between the control and the bar (top
    // 280): moved up so that it ends on the bar.
    EXPECT_EQ(ints({list_rect(menu).x1, list_rect(menu).y1, list_rect(menu).y2}), ints({10, 198, 279}));
    widget_tap(200, 100);  // outside: closed, nothing chosen
    EXPECT_EQ(open_menu(), nullptr);
    EXPECT_EQ(text_of(combox), u"/");
    EXPECT_EQ(g_changes, 0);
    tcombobox_free(combox);
  });
}

// A list-only field cannot scroll: a text too wide for it shows cut with an
// ellipsis, as some prefix and "..." show in a field wide enough for them.
TEST(ComboBox, ListOnlyTextTooWideEndsWithAnEllipsis) {
  run_widget_test(
      [](tscreen *) {
        const std::u16string text = u"All Image Files(*.bmp;*.jpg;*.png;*.gif)";
        tcombobox *cut = combo_at(10, TCOMBOBOX_LIST_ONLY);
        tcombobox_set_text(cut, text.c_str());
        const trect wide_rect = {10, 50, 409, 69};
        tcombobox *wide = tcombobox_new(nullptr, &wide_rect, TCOMBOBOX_LIST_ONLY, u"", nullptr, 0, -1, nullptr);
        tcontrol_realize(&wide->_control);
        // Inside the narrow field's frame the same, and the wide one's text ends
        // there.
        auto same_field = [] {
          for (int32_t y = 2; y < 18; y++) {
            for (int32_t x = 12; x < 87; x++)
              if (os_headless_get_pixel(x, 10 + y) != os_headless_get_pixel(x, 50 + y)) return false;
            for (int32_t x = 87; x < 200; x++)
              if (os_headless_get_pixel(x, 50 + y) != os_headless_get_pixel(300, 50 + y)) return false;
          }
          return true;
        };
        bool shown = false;
        for (size_t n = text.size(); n > 0 && !shown; n--) {
          tcombobox_set_text(wide, (text.substr(0, n) + u"...").c_str());
          shown = same_field();
        }
        EXPECT_TRUE(shown);
        tcombobox_free(wide);
        tcombobox_free(cut);
      },
      "480x640");
}

TEST(ComboOverTheProgram, ADropDownPicksByPen) {
  for (const char *size : {"240x320", "480x640"}) {
    SCOPED_TRACE(size);
    app_test_folders folders;
    ASSERT_TRUE(app_test_run(
        [](app_context *) {
          tcombobox *combox = combo_at(60, TCOMBOBOX_EDITABLE);
          app_test_pen(OS_PEN_DOWN, 100, 70);
          app_test_pen(OS_PEN_UP, 100, 70);
          ASSERT_NE(open_menu(), nullptr);
          tpoint e = row_point(1);
          app_test_pen(OS_PEN_DOWN, e.x, e.y);
          app_test_pen(OS_PEN_UP, e.x, e.y);
          EXPECT_EQ(open_menu(), nullptr);
          EXPECT_EQ(text_of(combox), u"E:");
          EXPECT_EQ(g_changes, 1);
          tcombobox_free(combox);
        },
        size));
  }
}
