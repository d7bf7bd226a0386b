// The My Paints dialog in the running application on the headless display:
// which folders it searches, placeholders giving way to thumbnails one per
// turn, the Open/Delete menu by pen, a drag that scrolled opening no menu,
// a delete closing up the grid without skipping a thumbnail, and the whole
// road of three saved paintings, one deleted and one opened.
#include "mypaints_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "app_common.h"
#include "app_test_env.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "port_fs.h"
#include "port_test_app.h"
#include "save_dirs.h"
#include "screen_fixture.h"
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

// What the owner heard; on 1 it opens the chosen document as the program does.
struct outcome {
  char16_t path[MY_PAINTS_PATH_CHARS] = u"untouched";
  app_context *app = nullptr;
  int calls = 0, opened = 0;
  int32_t result = -1;
};

void on_result(int32_t result, void *user_data) {
  outcome *o = static_cast<outcome *>(user_data);
  o->calls++;
  o->result = result;
  if (result == TDIALOG_RESULT_OK) o->opened = paint_file_open(o->app->_file, o->path);
}

// The application with the documents `setup` saves, and the dialog opened
// over them as the command panel opens it; cancelled afterwards if still
// open, and then, even with an item chosen, no path is written.
void with_dialog(const std::function<void(app_context *)> &setup,
                 const std::function<void(my_paints_dialog *, outcome *)> &body, const char *screen = "480x640") {
  ASSERT_TRUE(app_test_run_fresh(
      [&](app_context *app) {
        setup(app);
        outcome heard;
        heard.app = app;
        my_paints_dialog *mp = my_paints_dialog_new(tresource_get_string(MY_PAINTS_TEXT_TITLE, u"My Paints"),
                                                    app_common_get_dialog_width(), app_common_get_my_paints_dir(),
                                                    heard.path, &heard);
        ASSERT_NE(mp, nullptr);
        tdialog_set_dimmed(my_paints_dialog_get_dialog(mp), 1);
        my_paints_dialog_set_on_result(mp, on_result);
        my_paints_dialog_show(mp, -1, -1, TDIALOG_PLACE_FILL);
        body(mp, &heard);
        if (!heard.calls) tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
        if (heard.result == TDIALOG_RESULT_CANCEL) {
          EXPECT_EQ(std::u16string(heard.path), u"untouched");
        }
      },
      screen));
}

void save_documents(app_context *app, std::initializer_list<const char *> names) {
  for (const char *name : names) save_document(app, my_paints_dir() + "/" + name, 60, 60);
}

std::vector<std::string> item_paths(const my_paints_dialog *mp) {
  std::vector<std::string> paths;
  for (int32_t i = 0; i < mp->_count; i++) paths.push_back(test_utf8(mp->_items[i]->_path));
  return paths;
}

tpoint centre_of(void *control) {
  trect r = app_test_screen_rect(surface_of(control));
  return {(r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2};
}


// The menu holding the modal slot, or null.
tmenu *shown_menu(my_paints_dialog *mp) {
  tsurface *modal = tscreen_get_modal(tscreen_get());
  if (!modal || modal == surface_of(my_paints_dialog_get_dialog(mp)) || tsurface_get_owner(modal) != mp) return nullptr;
  return reinterpret_cast<tmenu *>(modal);
}

// A tap on a row of the shown menu (0 Open, 1 Delete).
void tap_menu_row(tmenu *menu, int row) {
  trect list = app_test_screen_rect(surface_of(tmenu_get_listbox(menu)));
  int32_t height = menu->_item_height;
  app_test_tap((list.x1 + list.x2) / 2, list.y1 + 3 + row * height + height / 2);
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
        app_test_post_tap(answer ? tcontrolbar_get_left_button(bar) : tcontrolbar_get_right_button(bar));
      },
      nullptr);
}

void delete_item(my_paints_dialog *mp, int32_t index, int yes) {
  app_test_tap_surface(surface_of(mp->_items[index]));
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
  std::string mine, other;
  with_dialog(
      [&](app_context *app) {
        mine = my_paints_dir();
        std::string docs = mine.substr(0, mine.rfind('/')), root = docs.substr(0, docs.rfind('/'));
        std::string after = root + "/after", upper = docs + "/BRIVOLA";
        other = root + "/other";
        ASSERT_EQ(mkdir(other.c_str(), 0700) | mkdir(after.c_str(), 0700) | symlink(mine.c_str(), upper.c_str()), 0);
        for (const std::string &p : {mine + "/b.bvf", mine + "/a.bvf", mine + "/c.BVF", other + "/d.bvf", after + "/e.bvf"})
          save_document(app, p, 40, 30);
        save_dirs_load();
        const std::string recent[] = {upper, other, "", after};
        for (int i = 0; i < 4; i++) {
          app->_save_dirs[i] = static_cast<char16_t *>(calloc(APP_PATH_CHARS, sizeof(char16_t)));
          std::u16string wide = test_wide(recent[i]);
          std::copy(wide.begin(), wide.end(), app->_save_dirs[i]);
        }
      },
      [&](my_paints_dialog *mp, outcome *) {
        EXPECT_EQ(item_paths(mp), (std::vector<std::string>{mine + "/a.bvf", mine + "/b.bvf", other + "/d.bvf"}));
        EXPECT_EQ(std::u16string(mp->_items[2]->_button._caption), u"d.bvf");
      });
}

// Each button shows the placeholder until its turn; a turn reads one
// thumbnail, which then shows in every state without a mask. A file that
// is no document keeps the placeholder and the next one still comes.
TEST(MyPaintsDialog, PlaceholdersGiveWayToThumbnailsOnePerTurn) {
  with_dialog(
      [](app_context *app) {
        save_document(app, my_paints_dir() + "/a.bvf", 400, 200);
        ASSERT_TRUE(test_write_file(my_paints_dir() + "/b.bvf", std::string("not a painting")));
        save_document(app, my_paints_dir() + "/c.bvf", 50, 100);
      },
      [](my_paints_dialog *mp, outcome *) {
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
        EXPECT_EQ(mp->_items[2]->_thumbnail, nullptr) << "one thumbnail per turn";
        port_test_pump();
        EXPECT_FALSE(win_ao_is_signalled(mp->_loader)) << "every document had its turn";
        EXPECT_EQ(mp->_items[1]->_unreadable, 1);
        EXPECT_EQ(mp->_items[1]->_button._images[TBUTTON_NORMAL], placeholder);
        tbutton *button = &mp->_items[2]->_button;
        ASSERT_NE(mp->_items[2]->_thumbnail, nullptr);
        for (int state : {TBUTTON_NORMAL, TBUTTON_FOCUSED, TBUTTON_PRESSED}) {
          EXPECT_EQ(button->_images[state], mp->_items[2]->_thumbnail);
          EXPECT_EQ(button->_masks[state], nullptr);
        }
      });
}

// A thumbnail read while its button lay below the view shows once a drag
// brings the button up (two columns on this screen with the small class's
// margins: the seventh cell starts below the view).
TEST(MyPaintsDialog, AThumbnailReadOutOfViewShowsWhenScrolledIn) {
  with_dialog([](app_context *app) {
                save_documents(app, {"0.bvf", "1.bvf", "2.bvf", "3.bvf", "4.bvf", "5.bvf", "6.bvf"});
              },
              [](my_paints_dialog *mp, outcome *) {
                tform *form = tdialog_get_form(my_paints_dialog_get_dialog(mp));
                tsurface *seventh = surface_of(mp->_items[6]);
                ASSERT_FALSE(trect_is_intersecting(tsurface_get_rect(seventh), &form->_view));
                port_test_pump();
                os_clock_drive(1);  // no time between the moves: the drag stops where the pen does
                tpoint at = centre_of(form);
                const int stroke[][2] = {{OS_PEN_DOWN, 100}, {OS_PEN_MOVE, 95}, {OS_PEN_MOVE, -100}, {OS_PEN_UP, -100}};
                for (const auto &step : stroke) app_test_pen(step[0], at.x, at.y + step[1]);
                os_clock_drive(0);
                ASSERT_TRUE(trect_is_intersecting(tsurface_get_rect(seventh), &form->_view));
                trect r = app_test_screen_rect(seventh);
                uint32_t shown = tbitmap_get_pixel(tscreen_get_bitmap(tscreen_get()), (r.x1 + r.x2) / 2,
                                                   r.y1 + (r.y2 - r.y1) * 2 / 5);
                EXPECT_EQ(shown, uint32_t((20 >> 3) << 11 | (200 >> 2) << 5 | (40 >> 3))) << std::hex << shown;
              },
              "240x320");
}

// The screen as the grid left it, against the screen composed again from
// the buffers as they stand and against a repaint of everything from the
// buttons up: a thumbnail shown on its rect alone leaves the form's and the
// dialog's buffers current, and a button drawn only once it came into view
// shows as a full repaint draws it. At the placeholders, with every
// thumbnail read (most of them out of view), and after a drag down the grid.
std::vector<uint32_t> screen_pixels() { return screen_all_pixels(tscreen_get()); }

void repaint_everything(my_paints_dialog *mp) {
  for (int32_t i = 0; i < mp->_count; i++) tsurface_paint(surface_of(mp->_items[i]));
  for (tsurface *s = surface_of(tdialog_get_form(my_paints_dialog_get_dialog(mp))); s; s = tsurface_get_parent(s))
    tsurface_paint(s);
  tscreen_paint(tscreen_get(), nullptr);
}

TEST(MyPaintsDialog, TheScreenShowsWhatAFullRepaintShows) {
  with_dialog([](app_context *app) { save_documents(app, {"0.bvf", "1.bvf", "2.bvf", "3.bvf", "4.bvf", "5.bvf"}); },
              [](my_paints_dialog *mp, outcome *) {
                tform *form = tdialog_get_form(my_paints_dialog_get_dialog(mp));
                auto drag_down_the_grid = [&] {
                  os_clock_drive(1);
                  tpoint at = centre_of(form);
                  trect r = app_test_screen_rect(surface_of(form));
                  // Beside the buttons, so that none is pressed: between the
                  // first two columns when the grid has two, else right of the one.
                  trect a = app_test_screen_rect(surface_of(mp->_items[0])), b = app_test_screen_rect(surface_of(mp->_items[1]));
                  at.x = b.y1 == a.y1 && b.x1 > a.x2 + 1 ? (a.x2 + b.x1) / 2 : r.x2 - 40;
                  const int stroke[][2] = {{OS_PEN_DOWN, 100}, {OS_PEN_MOVE, 95}, {OS_PEN_MOVE, -100}, {OS_PEN_UP, -100}};
                  for (const auto &step : stroke) app_test_pen(step[0], at.x, at.y + step[1]);
                  os_clock_drive(0);
                };
                const struct {
                  const char *stage;
                  std::function<void()> act;
                  bool buffers_current;  // a scroll sends the form to the display alone
                } stages[] = {
                    {"placeholders", [] {}, true},
                    {"thumbnails read", [&] { while (win_ao_is_signalled(mp->_loader)) port_test_pump(); }, true},
                    {"dragged", drag_down_the_grid, false},
                };
                for (const auto &stage : stages) {
                  stage.act();
                  std::vector<uint32_t> shown = screen_pixels();
                  tscreen_paint(tscreen_get(), nullptr);
                  EXPECT_TRUE(screen_pixels() == shown || !stage.buffers_current)
                      << stage.stage << ": the buffers fell behind the screen";
                  repaint_everything(mp);
                  EXPECT_TRUE(screen_pixels() == shown) << stage.stage << ": a full repaint differs";
                }
                EXPECT_FALSE(mp->_items[0]->_drawn && mp->_items[5]->_drawn) << "the grid is taller than the view";
              },
              "240x320");
}

// 2,000 names for one small document, saved once and linked.
void save_many(app_context *app, int count) {
  std::string first = my_paints_dir() + "/p10000.bvf";
  save_document(app, first, 60, 60);
  for (int i = 1; i < count; i++)
    ASSERT_EQ(link(first.c_str(), (my_paints_dir() + "/p" + std::to_string(10000 + i) + ".bvf").c_str()), 0);
}

// One pen drag down (dy > 0) or up the grid, in steps of 40 pixels with the
// clock standing still (no fling); after each step, and each turn of the
// loader that follows until it has read what is near the view, check runs.
void drag_grid(my_paints_dialog *mp, int32_t dy, const std::function<void()> &check) {
  tform *form = tdialog_get_form(my_paints_dialog_get_dialog(mp));
  trect r = app_test_screen_rect(surface_of(form));
  int32_t x = (r.x1 + r.x2) / 2, from = dy > 0 ? r.y1 + 20 : r.y2 - 20;
  os_clock_drive(1);
  app_test_pen(OS_PEN_DOWN, x, from);
  for (int32_t moved = 0; moved != dy;) {
    moved = dy > 0 ? std::min(dy, moved + 40) : std::max(dy, moved - 40);
    app_test_pen(OS_PEN_MOVE, x, from + moved);
    check();
  }
  app_test_pen(OS_PEN_UP, x, from + dy);
  for (int tick = 0; tick < 100 && form->_timer; tick++) os_clock_advance(10), port_test_pump(), check();
  os_clock_drive(0);
  while (win_ao_is_signalled(mp->_loader)) port_test_pump(), check();
}

// Scrolling 2,000 documents from the first row to the last and back up: the
// items holding a thumbnail, and those holding a button buffer, are never
// more than a few views' worth (the cells within three views' heights: at
// most four times what the view meets), after every step of the pen and
// every turn of the loader; each stop shows its thumbnails, the last row's
// among them.
TEST(MyPaintsDialog, ScrollingTwoThousandDocumentsHoldsNoMoreThanTheBound) {
  with_dialog([](app_context *app) { save_many(app, 2000); },
              [](my_paints_dialog *mp, outcome *) {
                ASSERT_EQ(mp->_count, 2000);
                tform *form = tdialog_get_form(my_paints_dialog_get_dialog(mp));
                int32_t most = 0;          // thumbnails, or buffers, held at once
                int32_t most_in_view = 0;  // items the view meets at once
                auto check = [&] {
                  int32_t thumbnails = 0, buffers = 0, in_view = 0;
                  for (int32_t i = 0; i < mp->_count; i++) {
                    thumbnails += mp->_items[i]->_thumbnail != nullptr;
                    buffers += tcanvas_get_bitmap(&surface_of(mp->_items[i])->_canvas) != nullptr;
                    in_view += trect_is_intersecting(tsurface_get_rect(surface_of(mp->_items[i])), &form->_view);
                  }
                  most = std::max({most, thumbnails, buffers});
                  most_in_view = std::max(most_in_view, in_view);
                };
                // Drags to one end; at each stop every item in view shows its thumbnail.
                auto drag_to_the_end = [&](int32_t dy) {
                  int32_t stops = 0, missing = 0;
                  for (int32_t before = -1; form->_scroll_y != before; stops++) {
                    before = form->_scroll_y;
                    drag_grid(mp, dy, check);
                    for (int32_t i = 0; i < mp->_count; i++)
                      missing += !mp->_items[i]->_thumbnail &&
                                 trect_is_intersecting(tsurface_get_rect(surface_of(mp->_items[i])), &form->_view);
                  }
                  EXPECT_EQ(missing, 0);
                  return stops;
                };
                while (win_ao_is_signalled(mp->_loader)) port_test_pump(), check();
                int32_t view = form->_view.y2 - form->_view.y1 + 1;
                EXPECT_GT(drag_to_the_end(-(view - 40)), 100);
                EXPECT_NE(mp->_items[1999]->_thumbnail, nullptr);
                EXPECT_EQ(mp->_items[0]->_thumbnail, nullptr) << "the first row gave its thumbnail back";
                drag_to_the_end(3 * view);
                EXPECT_NE(mp->_items[0]->_thumbnail, nullptr);
                EXPECT_LE(most, 4 * most_in_view) << most_in_view << " items meet the view at most";
              });
}

// The first button's look: its placeholder before the loader's first turn
// and its thumbnail after. Dragged far down and back, it shows the
// placeholder again until the loader's turn, then its thumbnail again; the
// screen shows what a full repaint shows.
TEST(MyPaintsDialog, ARowScrolledAwayAndBackShowsItsThumbnailAgain) {
  with_dialog([](app_context *app) { save_many(app, 200); },
              [](my_paints_dialog *mp, outcome *) {
                tform *form = tdialog_get_form(my_paints_dialog_get_dialog(mp));
                trect first = app_test_screen_rect(surface_of(mp->_items[0]));
                std::vector<uint32_t> placeholder = app_test_shown(&first);
                while (win_ao_is_signalled(mp->_loader)) port_test_pump();
                std::vector<uint32_t> thumbnail = app_test_shown(&first);
                ASSERT_NE(placeholder, thumbnail);
                int32_t view = form->_view.y2 - form->_view.y1 + 1;
                for (int i = 0; i < 4; i++) drag_grid(mp, -(view - 40), [] {});
                ASSERT_EQ(mp->_items[0]->_thumbnail, nullptr) << "dragged far enough";
                // Back to the top in one drag given to the screen straight,
                // so that no turn of the loop runs before the look is taken:
                // the first move only passes the slop, the rest scroll.
                tscreen *screen = tscreen_get();
                int32_t x = first.x2 + 3, y = first.y1, back = form->_scroll_y;
                os_clock_drive(1);
                tscreen_dispatch_pen(screen, OS_PEN_DOWN, x, y, 0);
                tscreen_dispatch_pen(screen, OS_PEN_MOVE, x, y += 5, 0);
                for (int32_t step; back > 0; back -= step)
                  tscreen_dispatch_pen(screen, OS_PEN_MOVE, x, y += (step = std::min(back, 40)), 0);
                tscreen_dispatch_pen(screen, OS_PEN_UP, x, y, 0);
                os_clock_drive(0);
                ASSERT_EQ(form->_scroll_y, 0);
                EXPECT_EQ(app_test_shown(&first), placeholder) << "the placeholder until the loader's turn";
                while (win_ao_is_signalled(mp->_loader)) port_test_pump();
                EXPECT_EQ(app_test_shown(&first), thumbnail);
                std::vector<uint32_t> shown = screen_pixels();
                repaint_everything(mp);
                EXPECT_TRUE(screen_pixels() == shown) << "a full repaint differs";
              });
}

// Deleting the first of five while the loader has read two: the rest move
// one cell back with their thumbnails, the file is gone, the selection is
// cleared, and the loader goes on to read every one it had not read. No to
// the question, or a file already gone, changes nothing.
TEST(MyPaintsDialog, DeletingTheFirstMovesTheRestBackAndSkipsNoThumbnail) {
  with_dialog([](app_context *app) { save_documents(app, {"a.bvf", "b.bvf", "c.bvf", "d.bvf", "e.bvf"}); },
              [](my_paints_dialog *mp, outcome *) {
                std::string mine = my_paints_dir();
                std::vector<trect> cells;
                for (int32_t i = 0; i < 5; i++) cells.push_back(*tsurface_get_rect(surface_of(mp->_items[i])));
                EXPECT_NE(cells[4].y1, cells[0].y1) << "the grid has a second row";
                win_ao_run_signalled();
                win_ao_run_signalled();
                auto read = [mp] {
                  std::vector<bool> read;
                  for (int32_t i = 0; i < mp->_count; i++) read.push_back(mp->_items[i]->_thumbnail != nullptr);
                  return read;
                };
                ASSERT_EQ(read(), (std::vector<bool>{true, true, false, false, false}));
                win_ao_cancel(mp->_loader);  // held where it stands while the delete runs

                delete_item(mp, 0, 1);
                EXPECT_EQ(access((mine + "/a.bvf").c_str(), F_OK), -1);
                ASSERT_EQ(item_paths(mp), (std::vector<std::string>{mine + "/b.bvf", mine + "/c.bvf", mine + "/d.bvf",
                                                                     mine + "/e.bvf"}));
                for (int32_t i = 0; i < 4; i++)
                  EXPECT_TRUE(trect_is_equal(tsurface_get_rect(surface_of(mp->_items[i])), &cells[i])) << i;
                EXPECT_EQ(mp->_selected, nullptr);
                EXPECT_TRUE(read()[0]) << "the second keeps the thumbnail it had";
                EXPECT_EQ(tform_get_child_count(tdialog_get_form(my_paints_dialog_get_dialog(mp))), 4);
                win_ao_signal(mp->_loader);
                port_test_pump();
                for (int32_t i = 0; i < 4; i++) EXPECT_NE(mp->_items[i]->_thumbnail, nullptr) << "not skipped: " << i;

                delete_item(mp, 0, 0);
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
              });
}

// A drag that moved the pen more than 25 pixels up or down scrolled the
// grid: ending on the button it began on, it opens no menu; 25 is a tap.
TEST(MyPaintsDialog, ADragOfMoreThan25PixelsEndingOnAButtonOpensNoMenu) {
  with_dialog([](app_context *app) { save_documents(app, {"a.bvf", "b.bvf"}); },
              [](my_paints_dialog *mp, outcome *) {
                tform *form = tdialog_get_form(my_paints_dialog_get_dialog(mp));
                port_test_pump();
                os_clock_drive(1);
                for (int32_t dy : {26, -26, 25, -25, 0}) {
                  SCOPED_TRACE(dy);
                  tpoint at = centre_of(mp->_items[1]);
                  for (int type : {OS_PEN_DOWN, OS_PEN_MOVE, OS_PEN_UP})
                    app_test_pen(type, at.x, type == OS_PEN_DOWN ? at.y : at.y + dy);
                  tmenu *menu = shown_menu(mp);
                  EXPECT_EQ(menu != nullptr, dy >= -25 && dy <= 25);
                  if (menu) tmenu_close(menu);
                  for (int tick = 0; tick < 100 && form->_timer; tick++) {  // the grid springs back
                    os_clock_advance(10);
                    port_test_pump();
                  }
                  EXPECT_EQ(form->_scroll_y, 0);
                }
                os_clock_drive(0);
              });
}

// The whole road by pen. With no documents the sheet is empty and grey;
// Cancel gives 0 and writes no path. Of three saved paintings one is
// deleted, then one opened: its path reaches the owner, who opens it.
TEST(MyPaintsDialog, OfThreeSavedPaintingsOneIsDeletedAndOneOpened) {
  with_dialog([](app_context *) {},
              [](my_paints_dialog *mp, outcome *heard) {
                port_test_pump();
                tpoint middle = centre_of(tdialog_get_form(my_paints_dialog_get_dialog(mp)));
                uint32_t grey = tbitmap_get_pixel(tscreen_get_bitmap(tscreen_get()), middle.x, middle.y);
                EXPECT_EQ(grey, uint32_t((200 >> 3) << 11 | (200 >> 2) << 5 | (200 >> 3))) << std::hex << grey;
                tcontrolbar *bar = tdialog_get_controlbar(my_paints_dialog_get_dialog(mp));
                EXPECT_FALSE(tsurface_is_visible(surface_of(tcontrolbar_get_left_button(bar))));
                app_test_tap_surface(surface_of(tcontrolbar_get_right_button(bar)));
                EXPECT_EQ(heard->calls, 1);
                EXPECT_EQ(heard->result, 0);
                EXPECT_EQ(std::u16string(heard->path), u"untouched");
              });
  std::string mine;
  with_dialog(
      [&](app_context *app) {
        mine = my_paints_dir();
        save_document(app, mine + "/one.bvf", 100, 80);
        save_document(app, mine + "/three.bvf", 120, 90);
        save_document(app, mine + "/two.bvf", 140, 70);
        ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 30, 30, tcolor_rgba(0, 0, 0)));
      },
      [&](my_paints_dialog *mp, outcome *heard) {
        port_test_pump();
        delete_item(mp, 1, 1);  // "three.bvf"
        EXPECT_EQ(access((mine + "/three.bvf").c_str(), F_OK), -1);
        ASSERT_EQ(item_paths(mp), (std::vector<std::string>{mine + "/one.bvf", mine + "/two.bvf"}));
        app_test_tap_surface(surface_of(mp->_items[1]));
        tmenu *menu = shown_menu(mp);
        ASSERT_NE(menu, nullptr);
        tap_menu_row(menu, 0);
        port_test_pump();
        EXPECT_EQ(heard->result, 1);
        EXPECT_EQ(test_utf8(heard->path), mine + "/two.bvf");
        EXPECT_EQ(heard->opened, 1);
        EXPECT_EQ(tbitmap_get_width(paint_context_get_canvas(heard->app->_paint_context)), 140);
        EXPECT_EQ(app_test_popup(), nullptr);
      });
}

// A user whose folders and documents are named in bytes that are not text:
// the document is found, opened and saved over as itself, and the folder
// it was saved in comes back from the recent folders after a restart.
TEST(MyPaintsDialog, NamesInBytesThatAreNotTextOpenAndSaveOverThemselves) {
  app_test_folders folders;
  std::string home = folders.home + "\xFF", docs = folders.docs + "/d\xE9j\xE0";
  setenv("BRIVOLA_HOME", home.c_str(), 1);
  setenv("XDG_DOCUMENTS_DIR", docs.c_str(), 1);
  std::string document = docs + "/Brivola/bad\xFF\xFEname.bvf";
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    ASSERT_EQ(port_fs_native_path(app_common_get_my_paints_dir()), docs + "/Brivola");
    ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 140, 70, tcolor_rgba(20, 200, 40)));
    ASSERT_EQ(paint_file_save_to(app->_file, port_fs_wide_path(document).c_str()), 1);
    ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 30, 30, tcolor_rgba(0, 0, 0)));
    outcome heard;
    heard.app = app;
    my_paints_dialog *mp = my_paints_dialog_new(u"My Paints", app_common_get_dialog_width(),
                                                app_common_get_my_paints_dir(), heard.path, &heard);
    ASSERT_NE(mp, nullptr);
    my_paints_dialog_set_on_result(mp, on_result);
    my_paints_dialog_show(mp, -1, -1, TDIALOG_PLACE_FILL);
    port_test_pump();
    ASSERT_EQ(mp->_count, 1);
    app_test_tap_surface(surface_of(mp->_items[0]));
    tmenu *menu = shown_menu(mp);
    ASSERT_NE(menu, nullptr);
    tap_menu_row(menu, 0);
    port_test_pump();
    EXPECT_EQ(port_fs_native_path(heard.path), document);
    EXPECT_EQ(heard.opened, 1);
    EXPECT_EQ(tbitmap_get_width(paint_context_get_canvas(app->_paint_context)), 140);
    ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 50, 50, tcolor_rgba(0, 0, 0)));
    EXPECT_EQ(paint_file_save_to(app->_file, heard.path), 1);
    save_dirs_add(heard.path);
    save_dirs_save();
  }));
  EXPECT_EQ(test_count_entries(docs + "/Brivola"), 1u) << "the save went over the document";
  if (HasFailure()) return;  // an open that fails waits on its box
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    ASSERT_EQ(paint_file_open(app->_file, port_fs_wide_path(document).c_str()), 1);
    EXPECT_EQ(tbitmap_get_width(paint_context_get_canvas(app->_paint_context)), 50);
    ASSERT_NE(save_dirs_get(0), nullptr);
    EXPECT_EQ(port_fs_native_path(save_dirs_get(0)), docs + "/Brivola");
  }));
}

// Names as long as the file system allows (255 bytes), in ASCII and in
// three-byte characters, in the documents folder: both are listed whole and
// captioned with their names; the second is deleted, the first (the longer
// path in UTF-16) opened and saved over as itself.
TEST(MyPaintsDialog, TheLongestNamesAreListedDeletedOpenedAndSavedOver) {
  std::string wide_name;
  for (int i = 0; i < 83; i++) wide_name += "\xE6\x97\xA5";
  const std::string names[] = {std::string(251, 'a') + ".bvf", wide_name + "xy.bvf"};
  ASSERT_EQ(names[1].size(), 255u);
  std::string mine;
  with_dialog(
      [&](app_context *app) {
        mine = my_paints_dir();
        save_document(app, mine + "/" + names[0], 100, 80);
        save_document(app, mine + "/" + names[1], 140, 70);
        ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 30, 30, tcolor_rgba(0, 0, 0)));
      },
      [&](my_paints_dialog *mp, outcome *heard) {
        port_test_pump();
        ASSERT_EQ(item_paths(mp), (std::vector<std::string>{mine + "/" + names[0], mine + "/" + names[1]}));
        for (int i = 0; i < 2; i++) {  // the caption is the name's start; its drawer ends it in "..."
          std::u16string caption = mp->_items[i]->_button._caption;
          EXPECT_TRUE(!caption.empty() && test_wide(names[i]).rfind(caption, 0) == 0) << i;
        }
        delete_item(mp, 1, 1);
        EXPECT_EQ(access((mine + "/" + names[1]).c_str(), F_OK), -1);
        ASSERT_EQ(item_paths(mp), std::vector<std::string>{mine + "/" + names[0]});
        // Opened here, once the path is known whole: a cut one would wait on the error box.
        my_paints_dialog_set_on_result(mp, [](int32_t result, void *user_data) {
          static_cast<outcome *>(user_data)->result = result;
          static_cast<outcome *>(user_data)->calls++;
        });
        app_test_tap_surface(surface_of(mp->_items[0]));
        tmenu *menu = shown_menu(mp);
        ASSERT_NE(menu, nullptr);
        tap_menu_row(menu, 0);
        port_test_pump();
        ASSERT_EQ(test_utf8(heard->path), mine + "/" + names[0]);
        app_context *app = heard->app;
        ASSERT_EQ(paint_file_open(app->_file, heard->path), 1);
        EXPECT_EQ(tbitmap_get_width(paint_context_get_canvas(app->_paint_context)), 100);
        ASSERT_TRUE(paint_context_load_blank(app->_paint_context, 50, 50, tcolor_rgba(0, 0, 0)));
        EXPECT_EQ(paint_file_save_current(app->_file), 1);
        app_common_close_wait_note();
        EXPECT_EQ(test_count_entries(mine), 1u) << "the save went over the document";
        ASSERT_EQ(paint_file_open(app->_file, heard->path), 1);
        EXPECT_EQ(tbitmap_get_width(paint_context_get_canvas(app->_paint_context)), 50);
      });
}
