// Save As inside the running program, on both screen classes: the real save
// dialog driven from a timer in its nested loop by characters and taps as
// the window system gives them; the JPEG written at quality 75; the
// overwrite question whose No brings the dialog back; a refused name that
// keeps the dialog; Cancel writing nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app_common.h"
#include "app_test_env.h"
#include "screen_fixture.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_new.h"
#include "port_test_app.h"
#include "tbutton.h"
#include "tcombobox.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tedit.h"
#include "tlabel.h"
#include "tmenu.h"
#include "tmessagedialog.h"
#include "tsavedialog.h"
#include "tscreen.h"
#include "test_env.h"
#include "wins_window.h"

namespace {

tsurface *modal() { return app_test_popup(); }
tdialog *modal_dialog() { return reinterpret_cast<tdialog *>(modal()); }
std::u16string modal_title() { return modal() ? tdialog_get_title(modal_dialog()) : u"(none)"; }
tsavedialog *save_dialog() { return modal() ? static_cast<tsavedialog *>(tsurface_get_owner(modal())) : nullptr; }
tmessagedialog *box() { return modal() ? static_cast<tmessagedialog *>(tsurface_get_owner(modal())) : nullptr; }

void post_soft_key(int right, tdialog *dialog = modal_dialog()) {
  tcontrolbar *bar = tdialog_get_controlbar(dialog);
  app_test_post_tap(right ? tcontrolbar_get_right_button(bar) : tcontrolbar_get_left_button(bar));
}

// The first quantisation value of the JPEG's first table: 8 at quality 75
// (5 at 85, 20 at 40).
int first_quant_value(const test_bytes &jpeg) {
  for (size_t i = 0; i + 5 < jpeg.size(); i++)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDB) return jpeg[i + 5];
  return -1;
}

std::string utf8(const char16_t *text) { return test_utf8(text); }

}  // namespace

TEST(SaveAsInTheProgram, TheRealDialogWritesAsksAndRefuses) {
  for (const char *size : {"240x320", "480x640"}) {
    SCOPED_TRACE(size);
    app_test_folders folders;
    ASSERT_TRUE(app_test_run(
        [](app_context *app) {
          paint_file *file = app->_file;
          app_test_script s;
          std::vector<std::u16string> seen;
          // A closed drop-down leaves no modal surface: the dialog is kept.
          tsavedialog *shown = nullptr;
          // Type "sky", pick type 5 from the drop-down by pen, tap OK.
          s.steps = {
              [&] {
                seen.push_back(modal_title());
                shown = save_dialog();
                for (char16_t c : std::u16string(u"sky")) os_input_char(c);
              },
              [&] { app_test_post_tap(tsavedialog_get_type_combobox(shown)); },
              [&] {
                tlistbox *list = tmenu_get_listbox(reinterpret_cast<tmenu *>(modal()));
                trect at;
                tsurface_get_screen_rect(&list->_control._surface, &at);
                const trect *row = tlistbox_get_item_rect(list, 5);
                app_test_post_tap_at(at.x1 + (row->x1 + row->x2) / 2, at.y1 + (row->y1 + row->y2) / 2);
              },
              [&] {
                seen.push_back(tcombobox_get_text(tsavedialog_get_type_combobox(shown)));
                post_soft_key(0, tsavedialog_get_dialog(shown));
              },
          };
          app_test_script_start(&s);
          EXPECT_EQ(paint_file_save_as(file), 1);
          ASSERT_EQ(seen.size(), 2u);
          EXPECT_EQ(seen[0], u"Save Untitled As");
          EXPECT_EQ(seen[1], u"JPEG - medium quality(*.jpg)");
          std::string folder = utf8(file->_save_dir);
          test_bytes written = test_read_file(folder + "/sky.jpg");
          ASSERT_FALSE(written.empty());
          EXPECT_EQ(first_quant_value(written), 8) << "quality 75";
          EXPECT_EQ(file->_save_type, PAINT_FILE_TYPE_JPEG_MEDIUM);
          size_t entries = test_count_entries(folder);

          // Again: OK, the overwrite question, No brings the dialog back;
          // OK, the question, Yes overwrites.
          s = app_test_script{};
          seen.clear();
          s.steps = {
              [&] { post_soft_key(0); },
              [&] {
                seen.push_back(box() ? std::u16string(tmessagedialog_get_label(box())->_text) : u"");
                post_soft_key(1);
              },
              [&] {
                seen.push_back(modal_title());
                seen.push_back(tsavedialog_get_name(save_dialog()));
                post_soft_key(0);
              },
              [&] { post_soft_key(0); },
          };
          std::remove((folder + "/sky.jpg").c_str());
          test_write_file(folder + "/sky.jpg", std::string("old"));
          app_test_script_start(&s);
          EXPECT_EQ(paint_file_save_as(file), 1);
          ASSERT_EQ(seen.size(), 3u);
          EXPECT_EQ(seen[0], test_wide("File '" + folder + "/sky.jpg' exists, do you want to overwrite it?"));
          EXPECT_EQ(seen[2], u"sky");
          EXPECT_EQ(first_quant_value(test_read_file(folder + "/sky.jpg")), 8) << "overwritten";
          EXPECT_EQ(test_count_entries(folder), entries);

          // "a:b" is refused with the message and the dialog stays; Cancel
          // then writes nothing and keeps the name.
          s = app_test_script{};
          seen.clear();
          s.steps = {
              [&] {
                tedit_set_text(tsavedialog_get_name_edit(save_dialog()), u"a:b", -1);
                post_soft_key(0);
              },
              [&] {
                seen.push_back(box() ? std::u16string(tmessagedialog_get_label(box())->_text) : u"");
                post_soft_key(1);
              },
              [&] {
                seen.push_back(modal_title());
                post_soft_key(1);
              },
          };
          app_test_script_start(&s);
          EXPECT_EQ(paint_file_save_as(file), 0);
          ASSERT_EQ(seen.size(), 2u);
          EXPECT_EQ(seen[0], u"File name contains invalid char such as /\\:*?\"<>|");
          EXPECT_EQ(seen[1].substr(0, 5), u"Save ");
          EXPECT_EQ(std::u16string(paint_file_get_name(file)), u"sky");
          EXPECT_EQ(test_count_entries(folder), entries);
          EXPECT_EQ(tdialog_get_top(), nullptr) << "the note of the first save is up again, no dialog";
          // The "Saved Ok" note goes after its 2 s before the program ends.
          os_clock_drive(1);
          os_clock_advance(2100);
          port_test_pump();
          os_clock_drive(0);
        },
        size));
  }
}

// Yes to "Save paint changes to file?" and then Cancel in Save As never
// drops the painting: Quit keeps it in paint.cache as 'Q' does (an explicit
// No keeps nothing), New and My Paints leave it on the canvas.
TEST(SaveAsInTheProgram, YesThenCancelKeepsThePainting) {
  enum { QUIT, NEW, MY_PAINTS };
  const struct {
    int road;
    bool yes;
  } cases[] = {{QUIT, true}, {QUIT, false}, {NEW, true}, {MY_PAINTS, true}};
  const int stroke[][2] = {{100, 300}, {200, 350}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.road << (c.yes ? " yes" : " no"));
    app_test_folders folders;
    std::string cache = folders.home + "/cache/paint.cache", other = folders.root + "/other.bvf";
    ASSERT_TRUE(app_test_run([&](app_context *app) {
      paint_file_save_to(app->_file, test_wide(other).c_str());
      app_test_stroke(stroke, 2);
      std::string painted = app_test_canvas_bytes(app);
      app_test_script s;
      s.steps = {[&] { post_soft_key(c.yes ? 0 : 1); }, [&] {
                   if (c.yes) post_soft_key(1);
                 }};
      app_test_script_start(&s);
      if (c.road == QUIT) {
        wins_window_exit(APP_EXIT_ASK_SAVE);
        wins_window_run();
        return;
      }
      if (c.road == NEW) {
        commandpanel_on_new_menu(PAINT_NEW_EMPTY, app->_commandpanel);
      } else {
        std::u16string path = test_wide(other);
        std::copy(path.c_str(), path.c_str() + path.size() + 1, commandpanel_get_path());
        commandpanel_on_my_paints_result(1, app->_commandpanel);
      }
      EXPECT_EQ(modal(), nullptr);
      EXPECT_EQ(paint_history_get_count(app->_history), 1);
      EXPECT_TRUE(app_test_canvas_bytes(app) == painted);
    }));
    if (c.road == QUIT) {
      EXPECT_EQ(std::filesystem::exists(cache), c.yes);
    }
  }
}

// The type box reads in the dialog's text: its entry is as tall on the
// screen as its words drawn alone in the font of the label above it.
TEST(SaveAsInTheProgram, TheTypeBoxUsesTheDialogsText) {
  for (const char *size : {"240x320", "480x640"}) {
    SCOPED_TRACE(size);
    app_test_folders folders;
    ASSERT_TRUE(app_test_run(
        [](app_context *app) {
          app_test_script s;
          s.steps = {[&] {
                       tsavedialog *dialog = save_dialog();
                       ASSERT_NE(dialog, nullptr);
                       tcombobox *type = tsavedialog_get_type_combobox(dialog);
                       int32_t label = text_ink_rows(tlabel_get_tdrawer(dialog->_type_label), tcombobox_get_text(type));
                       int32_t box = surface_ink_rows(&tcombobox_get_edit(type)->_control._surface);
                       EXPECT_GT(label, 4);
                       EXPECT_EQ(box, label) << "the type box's words are not the dialog's size";
                     },
                     [&] { post_soft_key(1); }};
          app_test_script_start(&s);
          EXPECT_EQ(paint_file_save_as(app->_file), 0);
        },
        size));
  }
}
