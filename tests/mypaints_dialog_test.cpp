// The My Paints dialog in the running application on the headless display:
// which folders it searches, placeholders giving way to thumbnails one per
// turn, the Open/Delete menu by pen, a drag that scrolled opening no menu,
// a delete closing up the grid without skipping a thumbnail, and the whole
// road of three saved paintings, one deleted and one opened.
#include "mypaints_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app_common.h"
#include "app_test_env.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "port_test_app.h"
#include "save_dirs.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tform.h"
#include "tlabel.h"
#include "tmenu.h"
#include "tmessagedialog.h"
#include "tresource.h"
#include "tscreen.h"
#include "test_env.h"
#include "win_ao.h"
#include "wins_timer.h"

namespace {

tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }

std::string my_paints_dir() { return test_utf8(app_common_get_my_paints_dir()); }

// A blank painting of this size saved as a document.
void save_document(app_context *app, const std::string &path, int32_t width, int32_t height) {
  ASSERT_TRUE(paint_context_load_blank(app->_paint_context, width, height, tcolor_rgba(20, 200, 40)));
  paint_context_clear(app->_paint_context);
  paint_history_reset(app->_history);
  ASSERT_EQ(paint_file_save_to(app->_file, test_wide(path).c_str()), 1) << path;
}

// What the owner heard.
struct outcome {
  int calls = 0;
  int32_t result = -1;
};

void on_result(int32_t result, void *user_data) {
  outcome *o = static_cast<outcome *>(user_data);
  o->calls++;
  o->result = result;
}

// The dialog as the command panel opens it.
my_paints_dialog *open_dialog(char16_t *path, outcome *heard) {
  my_paints_dialog *mp = my_paints_dialog_new(tresource_get_string(MY_PAINTS_TEXT_TITLE, u"My Paints"),
                                              app_common_get_dialog_width(), app_common_get_my_paints_dir(), path,
                                              heard);
  if (!mp) return nullptr;
  tdialog_set_dimmed(my_paints_dialog_get_dialog(mp), 1);
  my_paints_dialog_set_on_result(mp, on_result);
  my_paints_dialog_show(mp, -1, -1, TDIALOG_PLACE_FILL);
  return mp;
}

std::vector<std::string> item_paths(const my_paints_dialog *mp) {
  std::vector<std::string> paths;
  for (int32_t i = 0; i < mp->_count; i++) paths.push_back(test_utf8(mp->_items[i]->_path));
  return paths;
}

tpoint centre_of(void *control) {
  trect r;
  tsurface_get_screen_rect(surface_of(control), &r);
  return {(r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2};
}

void tap(tpoint at) {
  app_test_pen(OS_PEN_DOWN, at.x, at.y);
  app_test_pen(OS_PEN_UP, at.x, at.y);
}

// The menu holding the modal slot, or null.
tmenu *shown_menu(my_paints_dialog *mp) {
  tsurface *modal = tscreen_get_modal(tscreen_get());
  if (!modal || modal == surface_of(my_paints_dialog_get_dialog(mp)) || tsurface_get_owner(modal) != mp) return nullptr;
  return reinterpret_cast<tmenu *>(modal);
}

// A tap on a row of the shown menu (0 Open, 1 Delete).
void tap_menu_row(tmenu *menu, int row) {
  trect list;
  tsurface_get_screen_rect(surface_of(tmenu_get_listbox(menu)), &list);
  int32_t height = menu->_item_height;
  tap({(list.x1 + list.x2) / 2, list.y1 + 3 + row * height + height / 2});
}

// Answers the question that the next delete asks, from inside its loop.
void answer_next_question(int yes) {
  static int answer;
  answer = yes;
  wins_timer_start(
      10, 0,
      [](uint32_t id, void *) {
        wins_timer_stop(id);
        tsurface *modal = tscreen_get_modal(tscreen_get());
        if (!modal) return;
        tmessagedialog *box = static_cast<tmessagedialog *>(tsurface_get_owner(modal));
        tcontrolbar *bar = tdialog_get_controlbar(tmessagedialog_get_dialog(box));
        tpoint at = centre_of(answer ? tcontrolbar_get_left_button(bar) : tcontrolbar_get_right_button(bar));
        os_input_pen(OS_PEN_DOWN, at.x, at.y, 0);
        os_input_pen(OS_PEN_UP, at.x, at.y, 0);
      },
      nullptr);
}

void delete_item(my_paints_dialog *mp, int32_t index, int yes) {
  tap(centre_of(mp->_items[index]));
  tmenu *menu = shown_menu(mp);
  ASSERT_NE(menu, nullptr);
  answer_next_question(yes);
  tap_menu_row(menu, 1);
}

}  // namespace

// The My Paints folder first, then the recent folders in order; the My
// Paints folder under another case (here a link, as a case-blind file system
// gives it) is not searched twice, and the walk ends at an empty entry.
TEST(MyPaintsDialog, SearchesTheFolderThenRecentFoldersOnceEndingAtAnEmptyOne) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    std::string mine = my_paints_dir(), other = folders.root + "/other", after = folders.root + "/after";
    std::string upper = folders.docs + "/BRIVOLA";
    ASSERT_EQ(mkdir(other.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(after.c_str(), 0700), 0);
    ASSERT_EQ(symlink(mine.c_str(), upper.c_str()), 0);
    for (const std::string &p : {mine + "/b.bvf", mine + "/a.bvf", mine + "/c.BVF", other + "/d.bvf", after + "/e.bvf"})
      save_document(app, p, 40, 30);
    save_dirs_load();
    const std::string recent[] = {upper, other, "", after};
    for (int i = 0; i < 4; i++) {
      app->_save_dirs[i] = static_cast<char16_t *>(calloc(APP_PATH_CHARS, sizeof(char16_t)));
      std::u16string wide = test_wide(recent[i]);
      std::copy(wide.begin(), wide.end(), app->_save_dirs[i]);
    }
    char16_t path[APP_PATH_CHARS] = u"";
    outcome heard;
    my_paints_dialog *mp = open_dialog(path, &heard);
    ASSERT_NE(mp, nullptr);
    EXPECT_EQ(item_paths(mp), (std::vector<std::string>{mine + "/a.bvf", mine + "/b.bvf", other + "/d.bvf"}));
    EXPECT_EQ(std::u16string(mp->_items[2]->_button._caption), u"d.bvf");
    tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
    EXPECT_EQ(heard.calls, 1);
    EXPECT_EQ(heard.result, 0);
    EXPECT_EQ(path[0], 0) << "Cancel writes no path";
  }));
}

// Each button shows the placeholder until its turn; a turn reads one
// thumbnail, which then shows in every state without a mask. A file that
// is no document keeps the placeholder and the next one still comes.
TEST(MyPaintsDialog, PlaceholdersGiveWayToThumbnailsOnePerTurn) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    std::string mine = my_paints_dir();
    save_document(app, mine + "/a.bvf", 400, 200);
    ASSERT_TRUE(test_write_file(mine + "/b.bvf", std::string("not a painting")));
    save_document(app, mine + "/c.bvf", 50, 100);
    char16_t path[APP_PATH_CHARS] = u"";
    outcome heard;
    my_paints_dialog *mp = open_dialog(path, &heard);
    ASSERT_NE(mp, nullptr);
    ASSERT_EQ(mp->_count, 3);
    tbitmap *placeholder = tresource_get_bitmap(MY_PAINTS_PLACEHOLDER);
    ASSERT_NE(placeholder, nullptr);
    for (int32_t i = 0; i < 3; i++) {
      EXPECT_EQ(mp->_items[i]->_button._images[TBUTTON_NORMAL], placeholder);
      EXPECT_EQ(mp->_items[i]->_button._masks[TBUTTON_NORMAL], tresource_get_bitmap(MY_PAINTS_PLACEHOLDER_MASK));
    }
    win_ao_run_signalled();
    ASSERT_NE(mp->_items[0]->_thumbnail, nullptr);
    EXPECT_EQ(tbitmap_get_width(mp->_items[0]->_thumbnail), 100);
    EXPECT_EQ(tbitmap_get_height(mp->_items[0]->_thumbnail), 50);
    EXPECT_EQ(mp->_items[1]->_button._images[TBUTTON_NORMAL], placeholder) << "one thumbnail per turn";
    EXPECT_EQ(mp->_items[2]->_thumbnail, nullptr) << "one thumbnail per turn";
    port_test_pump();
    EXPECT_EQ(mp->_next_thumbnail, 3);
    EXPECT_EQ(mp->_items[1]->_button._images[TBUTTON_NORMAL], placeholder);
    tbutton *button = &mp->_items[2]->_button;
    ASSERT_NE(mp->_items[2]->_thumbnail, nullptr);
    for (int state : {TBUTTON_NORMAL, TBUTTON_FOCUSED, TBUTTON_PRESSED}) {
      EXPECT_EQ(button->_images[state], mp->_items[2]->_thumbnail);
      EXPECT_EQ(button->_masks[state], nullptr);
    }
    tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
  }));
}

// A thumbnail read while its button lay below the view shows once a drag
// brings the button up.
TEST(MyPaintsDialog, AThumbnailReadOutOfViewShowsWhenScrolledIn) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run(
      [&](app_context *app) {
        std::string mine = my_paints_dir();
        for (int i = 0; i < 4; i++) save_document(app, mine + "/" + std::to_string(i) + ".bvf", 60, 60);
        char16_t path[APP_PATH_CHARS] = u"";
        outcome heard;
        my_paints_dialog *mp = open_dialog(path, &heard);
        ASSERT_NE(mp, nullptr);
        tform *form = tdialog_get_form(my_paints_dialog_get_dialog(mp));
        my_paints_item *last = mp->_items[2];  // one column on this screen
        ASSERT_FALSE(trect_is_intersecting(tsurface_get_rect(surface_of(last)), &form->_view));
        port_test_pump();
        ASSERT_NE(last->_thumbnail, nullptr);
        os_clock_drive(1);  // no time between the moves: the drag stops where the pen does
        tpoint at = centre_of(form);
        app_test_pen(OS_PEN_DOWN, at.x, at.y + 100);
        app_test_pen(OS_PEN_MOVE, at.x, at.y + 95);
        app_test_pen(OS_PEN_MOVE, at.x, at.y - 100);
        app_test_pen(OS_PEN_UP, at.x, at.y - 100);
        EXPECT_EQ(form->_timer, 0u);
        os_clock_drive(0);
        ASSERT_TRUE(trect_is_intersecting(tsurface_get_rect(surface_of(last)), &form->_view));
        trect r;
        tsurface_get_screen_rect(surface_of(last), &r);
        int32_t y = r.y1 + (r.y2 - r.y1) * 2 / 5;
        ASSERT_LT(y, tscreen_get_height(tscreen_get()) - 40);
        uint32_t shown = tbitmap_get_pixel(tscreen_get_bitmap(tscreen_get()), (r.x1 + r.x2) / 2, y);
        EXPECT_EQ(shown, uint32_t((20 >> 3) << 11 | (200 >> 2) << 5 | (40 >> 3))) << std::hex << shown;
        tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
      },
      "240x320"));
}

// Deleting the first of five while the loader stands at the third: the
// rest move one cell back, the file is gone, the selection is cleared, and
// the loader's next item is still the one it had not read.
TEST(MyPaintsDialog, DeletingTheFirstMovesTheRestBackAndSkipsNoThumbnail) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    std::string mine = my_paints_dir();
    for (const char *name : {"a", "b", "c", "d", "e"}) save_document(app, mine + "/" + name + ".bvf", 60, 60);
    char16_t path[APP_PATH_CHARS] = u"";
    outcome heard;
    my_paints_dialog *mp = open_dialog(path, &heard);
    ASSERT_NE(mp, nullptr);
    std::vector<trect> cells;
    for (int32_t i = 0; i < 5; i++) cells.push_back(*tsurface_get_rect(surface_of(mp->_items[i])));
    EXPECT_NE(cells[4].y1, cells[0].y1) << "the grid has a second row";
    win_ao_run_signalled();
    win_ao_run_signalled();
    ASSERT_EQ(mp->_next_thumbnail, 2);
    win_ao_cancel(mp->_loader);  // held where it stands while the delete runs

    delete_item(mp, 0, 1);
    EXPECT_EQ(access((mine + "/a.bvf").c_str(), F_OK), -1);
    ASSERT_EQ(item_paths(mp),
              (std::vector<std::string>{mine + "/b.bvf", mine + "/c.bvf", mine + "/d.bvf", mine + "/e.bvf"}));
    for (int32_t i = 0; i < 4; i++) EXPECT_TRUE(trect_is_equal(tsurface_get_rect(surface_of(mp->_items[i])), &cells[i])) << i;
    EXPECT_EQ(mp->_selected, nullptr);
    EXPECT_EQ(mp->_next_thumbnail, 1);
    EXPECT_EQ(tform_get_child_count(tdialog_get_form(my_paints_dialog_get_dialog(mp))), 4);

    win_ao_signal(mp->_loader);
    port_test_pump();
    for (int32_t i = 0; i < 4; i++) EXPECT_NE(mp->_items[i]->_thumbnail, nullptr) << "no thumbnail skipped: " << i;

    // No to the question, and a file already gone: nothing changes.
    delete_item(mp, 0, 0);
    EXPECT_EQ(mp->_count, 4);
    EXPECT_EQ(access((mine + "/b.bvf").c_str(), F_OK), 0);
    ASSERT_EQ(unlink((mine + "/b.bvf").c_str()), 0);
    delete_item(mp, 0, 1);
    EXPECT_EQ(mp->_count, 4);
    tsurface *box = tscreen_get_modal(tscreen_get());
    ASSERT_NE(box, nullptr) << "the failure is reported";
    tmessagedialog *error = static_cast<tmessagedialog *>(tsurface_get_owner(box));
    tlabel *label = tmessagedialog_get_label(error);
    EXPECT_EQ(std::u16string(label->_text, size_t(label->_length)), u"Fail to delete paint file.");
    tdialog_close(tmessagedialog_get_dialog(error), TMESSAGEDIALOG_RESULT_BACK);
    tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
    EXPECT_EQ(heard.result, 0);
  }));
}

// A drag that moved the pen more than 25 pixels up or down scrolled the
// grid: ending on the button it began on, it opens no menu; 25 is a tap.
TEST(MyPaintsDialog, ADragOfMoreThan25PixelsEndingOnAButtonOpensNoMenu) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    std::string mine = my_paints_dir();
    for (const char *name : {"a", "b"}) save_document(app, mine + "/" + name + ".bvf", 60, 60);
    char16_t path[APP_PATH_CHARS] = u"";
    outcome heard;
    my_paints_dialog *mp = open_dialog(path, &heard);
    ASSERT_NE(mp, nullptr);
    port_test_pump();
    os_clock_drive(1);
    struct row {
      int32_t dy;
      bool menu;
    };
    for (const row &r : {row{26, false}, row{-26, false}, row{25, true}, row{-25, true}, row{0, true}}) {
      SCOPED_TRACE(r.dy);
      tpoint at = centre_of(mp->_items[1]);
      app_test_pen(OS_PEN_DOWN, at.x, at.y);
      app_test_pen(OS_PEN_MOVE, at.x, at.y + r.dy);
      app_test_pen(OS_PEN_UP, at.x, at.y + r.dy);
      tmenu *menu = shown_menu(mp);
      EXPECT_EQ(menu != nullptr, r.menu);
      EXPECT_EQ(mp->_selected != nullptr, r.menu);
      if (menu) tmenu_close(menu);
      mp->_selected = nullptr;
      // The grid springs back to its top.
      for (int tick = 0; tick < 100 && tdialog_get_form(my_paints_dialog_get_dialog(mp))->_timer; tick++) {
        os_clock_advance(10);
        port_test_pump();
      }
      EXPECT_EQ(tdialog_get_form(my_paints_dialog_get_dialog(mp))->_scroll_y, 0);
    }
    os_clock_drive(0);
    tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
  }));
}

// No documents: an empty grey sheet; Cancel gives 0 and writes no path.
TEST(MyPaintsDialog, NoDocumentsShowsAnEmptySheetAndCancelGivesZero) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *) {
    char16_t path[APP_PATH_CHARS] = u"untouched";
    outcome heard;
    my_paints_dialog *mp = open_dialog(path, &heard);
    ASSERT_NE(mp, nullptr);
    port_test_pump();
    EXPECT_EQ(mp->_count, 0);
    tpoint middle = centre_of(tdialog_get_form(my_paints_dialog_get_dialog(mp)));
    uint32_t grey = tbitmap_get_pixel(tscreen_get_bitmap(tscreen_get()), middle.x, middle.y);
    EXPECT_EQ(grey, uint32_t((200 >> 3) << 11 | (200 >> 2) << 5 | (200 >> 3))) << std::hex << grey;
    tcontrolbar *bar = tdialog_get_controlbar(my_paints_dialog_get_dialog(mp));
    EXPECT_FALSE(tsurface_is_visible(surface_of(tcontrolbar_get_left_button(bar))));
    tap(centre_of(tcontrolbar_get_right_button(bar)));
    EXPECT_EQ(heard.calls, 1);
    EXPECT_EQ(heard.result, 0);
    EXPECT_EQ(std::u16string(path), u"untouched");
    EXPECT_EQ(tscreen_get_modal(tscreen_get()), nullptr);
  }));
}

// The whole road by pen: of three saved paintings one is deleted, then one
// is opened; its path reaches the owner, who opens it as the program does.
TEST(MyPaintsDialog, OfThreeSavedPaintingsOneIsDeletedAndOneOpened) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    std::string mine = my_paints_dir();
    save_document(app, mine + "/one.bvf", 100, 80);
    save_document(app, mine + "/three.bvf", 120, 90);
    save_document(app, mine + "/two.bvf", 140, 70);
    ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 30, 30, tcolor_rgba(0, 0, 0)));
    static char16_t path[APP_PATH_CHARS];
    path[0] = 0;
    struct owner {
      app_context *app;
      int32_t result = -1;
      int opened = 0;
    } heard{app};
    my_paints_dialog *mp = my_paints_dialog_new(u"My Paints", app_common_get_dialog_width(),
                                                app_common_get_my_paints_dir(), path, &heard);
    ASSERT_NE(mp, nullptr);
    my_paints_dialog_set_on_result(mp, [](int32_t result, void *user_data) {
      owner *o = static_cast<owner *>(user_data);
      o->result = result;
      if (result == 1) o->opened = paint_file_open(o->app->_file, path);
    });
    my_paints_dialog_show(mp, -1, -1, TDIALOG_PLACE_FILL);
    port_test_pump();

    delete_item(mp, 1, 1);  // "three.bvf"
    EXPECT_EQ(access((mine + "/three.bvf").c_str(), F_OK), -1);
    ASSERT_EQ(item_paths(mp), (std::vector<std::string>{mine + "/one.bvf", mine + "/two.bvf"}));

    tap(centre_of(mp->_items[1]));
    tmenu *menu = shown_menu(mp);
    ASSERT_NE(menu, nullptr);
    tap_menu_row(menu, 0);
    port_test_pump();
    EXPECT_EQ(heard.result, 1);
    EXPECT_EQ(test_utf8(path), mine + "/two.bvf");
    EXPECT_EQ(heard.opened, 1);
    EXPECT_EQ(tbitmap_get_width(paint_context_get_canvas(app->_paint_context)), 140);
    EXPECT_EQ(tscreen_get_modal(tscreen_get()), nullptr);
    EXPECT_EQ(access((mine + "/one.bvf").c_str(), F_OK), 0);
  }));
}
