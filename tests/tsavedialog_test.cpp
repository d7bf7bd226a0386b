// Save dialogs: the caller's buffers written on OK only (the folder copy cut
// to the caller's capacity), the location button's caption, and "Select
// Location", which refuses OK on the drive list and hands its folder back.
#include "tsavedialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "tbutton.h"
#include "tcombobox.h"
#include "tdialog.h"
#include "tedit.h"
#include "tlabel.h"
#include "tmessagedialog.h"
#include "topendialog.h"
#include "test_env.h"
#include "widget_fixture.h"

namespace {

constexpr uint32_t SOFT_LEFT = 0xF821, SOFT_RIGHT = 0xF822;
const char16_t *const k_types[] = {u"Brivola(*.bvf)/*.bvf", u"JPEG(*.jpg)/*.jpg"};

std::vector<int32_t> g_results;
void record(int32_t result, void *) { g_results.push_back(result); }

class SaveDialog : public TempDirTest {
 protected:
  void run(const std::function<void()> &body) {
    run_widget_test([&](tscreen *) { body(); }, "240x320");
  }
};

}  // namespace

TEST_F(SaveDialog, OkWritesNameTypeAndFolderAndCancelNothing) {
  run([&] {
    for (uint32_t key : {SOFT_RIGHT, SOFT_LEFT}) {
      g_results.clear();
      char16_t name[8] = u"old", folder[16] = u"/old";
      int32_t type = 0;
      tsavedialog *dialog = tsavedialog_new(u"Save", -1, name, 8, folder, 16, k_types, 2, &type, nullptr);
      ASSERT_NE(dialog, nullptr);
      tsavedialog_set_on_result(dialog, record);
      tsavedialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
      EXPECT_EQ(std::u16string(tcombobox_get_text(tsavedialog_get_type_combobox(dialog))), u"Brivola(*.bvf)");
      EXPECT_EQ(std::u16string(tsavedialog_get_location_button(dialog)->_caption), u"/old");
      tedit_set_text(tsavedialog_get_name_edit(dialog), u"a picture", -1);
      dialog->_type_combo->_selected = 1;
      widget_soft_key(key);
      bool ok = key == SOFT_LEFT;
      EXPECT_EQ(g_results, std::vector<int32_t>{ok ? 1 : 0});
      EXPECT_EQ(std::u16string(name), ok ? u"a pictu" : u"old");
      EXPECT_EQ(type, ok ? 1 : 0);
      EXPECT_EQ(std::u16string(folder), u"/old");
    }
  });
}

// The button keeps a path ellipsis of 31 characters with the last folder's
// name; "Select Location" picks a 259-character folder, which reaches a
// 256-character buffer as 255. The start folder is short enough to show whole
// whatever TMPDIR is.
TEST_F(SaveDialog, SelectLocationRefusesTheDriveListAndCutsItsFolder) {
  struct short_folder {
    std::string path;
    ~short_folder() {
      if (!path.empty()) test_remove_tree(path);
    }
  } top;
  char made[] = "/tmp/bvsave-XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr) << std::strerror(errno);
  top.path = made;
  std::string deep = top.path;
  while (deep.size() < 259) {
    deep += "/" + std::string(std::min<size_t>(100, 259 - deep.size() - 1), 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0) << deep;
  }
  ASSERT_EQ(deep.size(), 259u);
  run([&] {
    g_results.clear();
    std::unique_ptr<char16_t[]> folder(new char16_t[256]);
    std::u16string start = test_wide(top.path);
    std::char_traits<char16_t>::copy(folder.get(), start.c_str(), start.size() + 1);
    char16_t name[64] = u"sky";
    int32_t type = 1;
    tsavedialog *dialog = tsavedialog_new(u"Save", -1, name, 64, folder.get(), 256, k_types, 2, &type, nullptr);
    tsavedialog_set_on_result(dialog, record);
    tdialog_set_dimmed(tsavedialog_get_dialog(dialog), 1);
    tsavedialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
    ASSERT_LE(start.size(), 31u);
    EXPECT_EQ(std::u16string(tsavedialog_get_location_button(dialog)->_caption), start);

    widget_tap_control(tsavedialog_get_location_button(dialog)), widget_run_for(100);
    topendialog *location = static_cast<topendialog *>(widget_modal_owner());
    ASSERT_NE(static_cast<void *>(location), static_cast<void *>(dialog));
    EXPECT_EQ(tdialog_get_title(topendialog_get_dialog(location)), std::u16string(u"Select Location"));
    EXPECT_TRUE(tdialog_is_dimmed(topendialog_get_dialog(location)));
    tfilelist_set_dir(topendialog_get_filelist(location), u"");
    widget_soft_key(SOFT_LEFT);
    tmessagedialog *box = static_cast<tmessagedialog *>(widget_modal_owner());
    ASSERT_NE(static_cast<void *>(box), static_cast<void *>(location));
    EXPECT_EQ(std::u16string(tmessagedialog_get_label(box)->_text), u"You must select a valid directory.");
    EXPECT_EQ(tdialog_get_title(tmessagedialog_get_dialog(box)), std::u16string(u"Error"));
    widget_soft_key(SOFT_RIGHT);
    ASSERT_EQ(widget_modal_owner(), location) << "still choosing";

    tfilelist_set_dir(topendialog_get_filelist(location), test_wide(deep).c_str());
    widget_soft_key(SOFT_LEFT);
    ASSERT_EQ(widget_modal_owner(), dialog);
    std::u16string caption = tsavedialog_get_location_button(dialog)->_caption;
    EXPECT_EQ(caption, u"..." + test_wide(deep).substr(259 - 28));
    EXPECT_TRUE(g_results.empty());
    EXPECT_EQ(std::u16string(folder.get()), start) << "written only on OK";
    widget_soft_key(SOFT_LEFT);
    EXPECT_EQ(g_results, std::vector<int32_t>{1});
    EXPECT_EQ(std::u16string(folder.get()), test_wide(deep).substr(0, 255));
    EXPECT_EQ(std::u16string(name), u"sky");
  });
}

// On a narrow dialog the button shows the head of the folder, "..." and the
// last folder's name within its width, as a caption of that text shows.
TEST_F(SaveDialog, TheLocationButtonShowsTheFoldersEndWithinItsWidth) {
  run([&] {
    char16_t name[8] = u"sky", folder[64] = u"/home/user/Documents/painting folders/Brivola";
    int32_t type = 0;
    tsavedialog *dialog = tsavedialog_new(u"Save", 120, name, 8, folder, 64, k_types, 2, &type, nullptr);
    tsavedialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
    tbutton *button = tsavedialog_get_location_button(dialog);
    EXPECT_EQ(std::u16string(button->_caption), u"/home/user/Documents.../Brivola");
    trect r;
    tsurface_get_screen_rect(&button->_control._surface, &r);
    auto pixels = [&] {
      tscreen_paint(tscreen_get(), nullptr);
      std::vector<uint32_t> out;
      for (int32_t y = r.y1; y <= r.y2; y++)
        for (int32_t x = r.x1; x <= r.x2; x++) out.push_back(screen_pixel(tscreen_get(), x, y));
      return out;
    };
    std::vector<uint32_t> shown = pixels();
    tbutton_set_draw_hooks(button, nullptr, nullptr, nullptr, nullptr);
    tbutton_set_text(button, u"/home/u.../Brivola");
    tsurface_update(&button->_control._surface, nullptr);
    EXPECT_TRUE(pixels() == shown) << "the button does not show \"/home/u.../Brivola\"";
    widget_soft_key(SOFT_RIGHT);
  });
}
