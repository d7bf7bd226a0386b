// Input dialogs: the buffer written only on OK and cut to its size - 1, the
// whole text selected on show, the styler's two kinds around a build that
// reads its layout values, and text typed through the window system over the
// running program with OK tapped by pen.
#include "tinputdialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_test_env.h"
#include "gui_fixture.h"
#include "os_display.h"
#include "os_message.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tedit.h"
#include "tlabel.h"
#include "tstyler.h"
#include "widget_fixture.h"

namespace {

constexpr uint32_t SOFT_LEFT = 0xF821, SOFT_RIGHT = 0xF822;

std::vector<int32_t> g_results;
void record(int32_t result, void *) { g_results.push_back(result); }

const trect &rect_of(void *control) { return *tsurface_get_rect(&static_cast<tcontrol *>(control)->_surface); }

tinputdialog *show_input(char16_t *buffer, int32_t size) {
  tinputdialog *input = tinputdialog_new(u"Name", -1, u"Folder Name:", buffer, size, nullptr);
  EXPECT_NE(input, nullptr);
  tinputdialog_set_on_result(input, record);
  tinputdialog_show(input, -1, -1, TDIALOG_PLACE_CENTRE);
  return input;
}

}  // namespace

// Typing replaces the selected initial text; OK keeps the first size - 1
// characters, Cancel leaves the buffer as it was.
TEST(InputDialog, OkCutsToTheBufferAndCancelLeavesIt) {
  run_widget_test_240x320([](tscreen *screen) {
    const std::u16string typed = u"abcdefghijklmnopqrst";  // 20
    struct row {
      uint32_t key;
      int32_t result;
      const char16_t *after;
    };
    for (const row &r : {row{SOFT_LEFT, 1, u"abcdefghijklmno"}, row{SOFT_RIGHT, 0, u"Folder"}}) {
      g_results.clear();
      char16_t buffer[16] = u"Folder";
      show_input(buffer, 16);
      for (char16_t c : typed) widget_key(c);
      widget_soft_key(r.key);
      EXPECT_EQ(g_results, std::vector<int32_t>{r.result});
      EXPECT_EQ(std::u16string(buffer), r.after);
      EXPECT_EQ(tscreen_get_modal(screen), nullptr);
    }
  });
}

// Kind 32 comes first and may change the layout; kind 31 follows the build.
TEST(InputDialog, TheStylerSetsTheLayoutBeforeTheBuild) {
  run_widget_test_240x320([](tscreen *) {
    static std::vector<int32_t> kinds;
    kinds.clear();
    tstyler_set_default(tstyler_new([](tstyler *, void *target, int32_t kind, void *, intptr_t) {
      if (kind != TSTYLE_INPUTDIALOG_BEFORE && kind != TSTYLE_INPUTDIALOG) return;
      kinds.push_back(kind);
      tinputdialog *input = static_cast<tinputdialog *>(target);
      if (kind == TSTYLE_INPUTDIALOG_BEFORE) {
        tinputdialog_set_layout(input, 3, 7);   // gap
        tinputdialog_set_layout(input, 5, 40);  // edit height
        tinputdialog_set_layout(input, 6, 99);  // ignored
      }
    }));
    char16_t buffer[8] = u"x";
    tinputdialog *input = tinputdialog_new(u"T", 200, u"P", buffer, 8, nullptr);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(kinds, (std::vector<int32_t>{TSTYLE_INPUTDIALOG_BEFORE, TSTYLE_INPUTDIALOG}));
    const trect &label = rect_of(input->_label), &edit = rect_of(tinputdialog_get_edit(input));
    EXPECT_EQ(std::vector<int32_t>({label.x1, label.y1, label.y2, edit.x1, edit.y1, edit.y2 - edit.y1 + 1,
                                    tinputdialog_get_edit(input)->_ime_enabled}),
              std::vector<int32_t>({10, 10, 34, 10, 42, 40, 1}));
    tdialog_close(tinputdialog_get_dialog(input), 1);
    tstyler_set_default(tstyler_new_default());
  });
}

// Over the program: keys and characters as the window system sends them
// (the initial text selected, so the first character replaces it), OK by pen.
TEST(InputDialogOverTheProgram, TextTypedThroughTheWindowSystemArrivesOnOk) {
  for (const char *size : {"240x320", "480x640"}) {
    SCOPED_TRACE(size);
    app_test_folders folders;
    ASSERT_TRUE(app_test_run(
        [](app_context *) {
          g_results.clear();
          char16_t buffer[32] = u"Folder";
          tinputdialog *input = show_input(buffer, 32);
          for (char16_t c : std::u16string(u"skx")) app_test_char(c);
          os_input_key(VK_LEFT, 1, 0);
          os_input_key(VK_LEFT, 0, 0);
          app_test_char(u'y');
          EXPECT_EQ(std::u16string(tinputdialog_get_text(input)), u"skyx");
          EXPECT_EQ(std::u16string(buffer), u"Folder") << "written only on OK";
          trect ok =
              widget_screen_rect(tcontrolbar_get_left_button(tdialog_get_controlbar(tinputdialog_get_dialog(input))));
          app_test_pen(OS_PEN_DOWN, (ok.x1 + ok.x2) / 2, (ok.y1 + ok.y2) / 2);
          app_test_pen(OS_PEN_UP, (ok.x1 + ok.x2) / 2, (ok.y1 + ok.y2) / 2);
          EXPECT_EQ(g_results, std::vector<int32_t>{1});
          EXPECT_EQ(std::u16string(buffer), u"skyx");
        },
        size));
  }
}
