// Open dialogs on a temporary folder: the type's patterns, the folder
// history with Back and Forward, New Folder with its refusals and its
// failure, folder mode, the location's root entry and results cut to the
// caller's capacity.
#include "topendialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "tbutton.h"
#include "tcombobox.h"
#include "tdialog.h"
#include "tedit.h"
#include "tinputdialog.h"
#include "tlabel.h"
#include "tmenu.h"
#include "tmessagedialog.h"
#include "screen_fixture.h"
#include "tstyler.h"
#include "test_env.h"
#include "widget_fixture.h"

namespace {

constexpr uint32_t SOFT_LEFT = 0xF821, SOFT_RIGHT = 0xF822;
const char16_t *const k_types[] = {u"Pictures(*.bmp;*.jpg)/*.bmp;*.jpg", u"All Files(*.*)/*.*"};

std::vector<int32_t> g_results;
void record(int32_t result, void *) { g_results.push_back(result); }

tmenu *open_menu() { return reinterpret_cast<tmenu *>(tscreen_get_modal(tscreen_get())); }

struct shown_dialog {
  topendialog *dialog;
  char16_t name[16] = u"old";
  char16_t folder[TFILELIST_PATH_MAX] = u"";
  shown_dialog(const std::string &dir, int32_t type, int folder_mode = 0, int32_t folder_capacity = TFILELIST_PATH_MAX,
               int32_t name_capacity = 16) {
    std::u16string wide = test_wide(dir);
    std::char_traits<char16_t>::copy(folder, wide.c_str(), wide.size() + 1);
    dialog = topendialog_new(u"Open", -1, name, name_capacity, folder, folder_capacity, k_types, 2, type,
                             folder_mode, nullptr);
    EXPECT_NE(dialog, nullptr);
    topendialog_set_on_result(dialog, record);
    topendialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
    g_results.clear();
  }
  tfilelist *list() const { return topendialog_get_filelist(dialog); }
  std::vector<std::u16string> names() const {
    std::vector<std::u16string> out;
    for (int32_t i = 1; i < tlistbox_get_count(&list()->_listbox); i++) {
      char16_t buffer[TFILELIST_PATH_MAX];
      tfilelist_get_name(list(), i, buffer);
      out.push_back(buffer);
    }
    return out;
  }
  std::u16string path() const { return topendialog_get_path(dialog); }
  void go(const std::string &dir) { tfilelist_set_dir(list(), test_wide(dir).c_str()); }
};

using names = std::vector<std::u16string>;

class OpenDialog : public TempDirTest {
 protected:
  void make_dir(const std::string &name) { ASSERT_EQ(mkdir(path(name).c_str(), 0755), 0); }
  void run(const std::function<void()> &body) {
    run_widget_test([&](tscreen *) { body(); }, "240x320");
  }
};

}  // namespace

// A type matches whole extensions; selecting a folder row tells the owner.
TEST_F(OpenDialog, TheTypePatternsChooseTheFilesShownAndAFolderRowIsReported) {
  for (const char *name : {"a.BMP", "b.jpg", "c.png", "d", "e.bmp.txt", "f.bmpx", "g.jp"})
    test_write_file(path(name), std::string("x"));
  make_dir("sub.png");
  run([&] {
    shown_dialog d(dir, 0);
    EXPECT_EQ(d.names(), (names{u"sub.png", u"a.BMP", u"b.jpg"}));
    static std::u16string selected;
    topendialog_set_on_folder_selected(d.dialog, [](topendialog *, const char16_t *name) { selected = name; });
    tlistbox_set_selected(&d.list()->_listbox, 1);
    tlistbox_notify_select(&d.list()->_listbox, 1);
    EXPECT_EQ(selected, u"sub.png");
    // The type picked from its drop-down: every file.
    widget_tap_control(topendialog_get_type_combobox(d.dialog));
    ASSERT_NE(open_menu(), nullptr);
    widget_tap_list_row(tmenu_get_listbox(open_menu()), 1);
    EXPECT_EQ(d.names(), (names{u"sub.png", u"a.BMP", u"b.jpg", u"c.png", u"d", u"e.bmp.txt", u"f.bmpx", u"g.jp"}));
    widget_soft_key(SOFT_RIGHT);
    EXPECT_EQ(g_results, std::vector<int32_t>{0});
  });
}

TEST_F(OpenDialog, BackAndForwardWalkTheHistoryOf32Folders) {
  for (int i = 0; i < 34; i++) make_dir("f" + std::to_string(i));
  run([&] {
    shown_dialog d(dir, 1);
    tbutton *back = topendialog_get_tool_button(d.dialog, 0), *forward = topendialog_get_tool_button(d.dialog, 1);
    // Back past the start and Forward past the end stay; a reload lists the
    // same folder (Back still goes somewhere else); a change after Back
    // drops the forward paths.
    for (std::string step : {"go f0", "go f1", "go f2", "back f1", "forward f2", "forward f2", "reload -", "back f1",
                             "back f0", "go f9", "forward f9", "back f0", "back .", "back ."}) {
      std::string verb = step.substr(0, step.find(' ')), where = step.substr(step.find(' ') + 1);
      if (verb == "go") {
        d.go(path(where));
      } else if (verb == "reload") {
        tfilelist_reload(d.list());
      } else {
        widget_tap_control(verb == "back" ? back : forward);
        EXPECT_EQ(d.path(), test_wide(where == "." ? dir : path(where))) << step;
      }
    }

    // 33 more folders: the oldest 2 of the 35 listed go, 32 stay.
    for (int i = 0; i < 33; i++) d.go(path("f" + std::to_string(i)));
    for (int i = 0; i < 40; i++) widget_tap_control(back);
    EXPECT_EQ(d.path(), test_wide(path("f1")));
    widget_soft_key(SOFT_RIGHT);
  });
}

TEST_F(OpenDialog, NewFolderRefusesBadNamesAndMakesAGoodOne) {
  make_dir("here");
  run([&] {
    shown_dialog d(path("here"), 1);
    tbutton *make = topendialog_get_tool_button(d.dialog, 3);
    widget_tap_control(make);
    tinputdialog *input = static_cast<tinputdialog *>(widget_modal_owner());
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(std::u16string(tinputdialog_get_text(input)), u"Folder");
    EXPECT_EQ(tdialog_get_title(tinputdialog_get_dialog(input)), std::u16string(u"New Folder"));
    struct row {
      const char16_t *name;
      const char16_t *message;
    };
    for (const row &r : {row{u"a:b", u"Folder name contains invalid char such as /\\:*?\"<>|"},
                         row{u"", u"Folder name can not be empty."}}) {
      tedit_set_text(tinputdialog_get_edit(input), r.name, -1);
      widget_soft_key(SOFT_LEFT);
      tmessagedialog *box = static_cast<tmessagedialog *>(widget_modal_owner());
      ASSERT_NE(static_cast<void *>(box), static_cast<void *>(input));
      EXPECT_EQ(std::u16string(tmessagedialog_get_label(box)->_text), r.message);
      EXPECT_EQ(tdialog_get_title(tmessagedialog_get_dialog(box)), std::u16string(u"Error"));
      widget_soft_key(SOFT_RIGHT);  // Back: the input dialog is still there
      EXPECT_EQ(std::u16string(tinputdialog_get_text(input)), r.name);
    }
    tedit_set_text(tinputdialog_get_edit(input), u"made", -1);
    widget_soft_key(SOFT_LEFT);
    EXPECT_EQ(widget_modal_owner(), d.dialog);
    struct stat info;
    EXPECT_EQ(stat(path("here/made").c_str(), &info), 0);
    char16_t selected[TFILELIST_PATH_MAX] = {0};
    tfilelist_get_selected_name(d.list(), selected);
    EXPECT_EQ(std::u16string(selected), u"made");
    EXPECT_EQ(d.names(), (names{u"made"}));

    // A folder that cannot take a new one (gone here; read-only for a user
    // other than root) gives the failure.
    test_remove_tree(path("here"));
    widget_tap_control(make);
    widget_soft_key(SOFT_LEFT);
    tmessagedialog *box = static_cast<tmessagedialog *>(widget_modal_owner());
    ASSERT_NE(static_cast<void *>(box), static_cast<void *>(d.dialog));
    EXPECT_EQ(std::u16string(tmessagedialog_get_label(box)->_text), u"Fail to create folder.");
    widget_soft_key(SOFT_RIGHT);

    // The drive list takes no new folder.
    tfilelist_set_dir(d.list(), u"");
    widget_tap_control(make);
    EXPECT_EQ(widget_modal_owner(), d.dialog);

    // An error box outliving the dialog under it gives it no input back.
    topendialog_show_error(d.dialog, u"Error", u"gone");
    tdialog_close(topendialog_get_dialog(d.dialog), TDIALOG_RESULT_CANCEL);
    widget_soft_key(SOFT_RIGHT);
    EXPECT_EQ(tscreen_get_modal(tscreen_get()), nullptr);
  });
}

TEST_F(OpenDialog, FolderModeHidesFilesAndTheNameField) {
  make_dir("sub");
  test_write_file(path("file.bmp"), std::string("x"));
  run([&] {
    shown_dialog d(dir, 1, 1);
    EXPECT_EQ(d.names(), (names{u"sub"}));
    EXPECT_FALSE(tsurface_is_visible(&topendialog_get_name_edit(d.dialog)->_control._surface));
    EXPECT_FALSE(tsurface_is_visible(&reinterpret_cast<tcontrol *>(topendialog_get_type_combobox(d.dialog))->_surface));
    EXPECT_FALSE(tcontrol_is_focusable(&topendialog_get_name_edit(d.dialog)->_control) &&
                 tsurface_is_visible(&topendialog_get_name_edit(d.dialog)->_control._surface));
    tlistbox_set_selected(&d.list()->_listbox, 1);
    tlistbox_notify_select(&d.list()->_listbox, 1);
    EXPECT_EQ(std::u16string(tedit_get_text(topendialog_get_name_edit(d.dialog))), u"") << "not updated";
    widget_soft_key(SOFT_RIGHT);
  });
}

// OK hands the listed folder and the name over, each cut to capacity - 1;
// the root entry of the location lists "/".
TEST_F(OpenDialog, ResultsAreCutToTheirCapacityAndTheRootEntryListsTheRoot) {
  test_write_file(path("a_long_file_name.jpg"), std::string("x"));
  run([&] {
    shown_dialog d(dir, 0, 0, 8, 6);
    tlistbox_set_selected(&d.list()->_listbox, 1);
    tlistbox_notify_select(&d.list()->_listbox, 1);
    EXPECT_EQ(std::u16string(tedit_get_text(topendialog_get_name_edit(d.dialog))), u"a_long_file_name.jpg");
    widget_soft_key(SOFT_LEFT);
    EXPECT_EQ(g_results, std::vector<int32_t>{1});
    EXPECT_EQ(std::u16string(d.name), u"a_lon");
    EXPECT_EQ(std::u16string(d.folder), test_wide(dir).substr(0, 7));

    shown_dialog root(dir, 0);
    tcombobox *location = topendialog_get_location_combobox(root.dialog);
    // A drive filter set after building is heard: this one keeps nothing.
    topendialog_set_drive_filter(root.dialog, [](topendialog *, const char16_t *) { return 0; });
    EXPECT_EQ(tcombobox_get_entry(location, 0), nullptr);
    topendialog_set_drive_filter(root.dialog, nullptr);
    EXPECT_EQ(std::u16string(tcombobox_get_text(location)), test_wide(dir));
    widget_tap_control(location);
    tmenu *menu = open_menu();
    ASSERT_NE(menu, nullptr);
    tlistbox *drop_down = tmenu_get_listbox(menu);
    ASSERT_EQ(tlistbox_get_count(drop_down), 1);
    // The drive icon's column, as wide as the combo box's height + 4.
    tlistcolumn *icons = tlistbox_get_column(drop_down, tlistbox_get_column_count(drop_down) - 1);
    EXPECT_EQ(tlistcolumn_get_type(icons), TLISTCOLUMN_IMAGE);
    EXPECT_EQ(tlistcolumn_get_width(icons), tsurface_get_height(&reinterpret_cast<tcontrol *>(location)->_surface) + 4);
    widget_tap_list_row(drop_down, 0);
    EXPECT_EQ(root.path(), u"/");
    EXPECT_EQ(std::u16string(tcombobox_get_text(location)), u"/");
    // Activating a file closes with OK.
    root.go(dir);
    tlistbox_activate(&root.list()->_listbox, 1);
    EXPECT_EQ(g_results, std::vector<int32_t>{1});
    EXPECT_EQ(std::u16string(root.name), u"a_long_file_nam");
    // A name typed from the root is taken as it stands, not joined to the
    // listed folder.
    for (const char16_t *typed : {u"/tmp/x/b.jpg", u"/b.jpg"}) {
      shown_dialog whole(dir, 0);
      tedit_set_text(topendialog_get_name_edit(whole.dialog), typed, -1);
      widget_soft_key(SOFT_LEFT);
      EXPECT_EQ(std::u16string(whole.folder) + u"|" + whole.name, typed[2] == u'm' ? u"/tmp/x|b.jpg" : u"/|b.jpg");
    }
  });
}

// The type box reads in the dialog's text, not in a font fitted to the
// field's height: its words are as tall on the screen as drawn alone in the
// dialogs' font.
TEST(OpenDialogLook, TheTypeBoxUsesTheDialogsText) {
  run_widget_test(
      [](tscreen *) {
        char16_t name[16] = u"", folder[64] = u"/";
        int32_t type = 0;
        topendialog *dialog = topendialog_new(u"Open", -1, name, 16, folder, 64, k_types, 2, type, 0, nullptr);
        ASSERT_NE(dialog, nullptr);
        topendialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
        tcombobox *box = dialog->_type_combo;
        EXPECT_EQ(surface_ink_rows(&tcombobox_get_edit(box)->_control._surface),
                  text_ink_rows(tstyler_get_default_tdrawer(), tcombobox_get_text(box)));
        widget_soft_key(0xF822);
      },
      "480x640");
}
