// The help viewer on the headless display, on pages of its own in a program
// folder of its own: which first page each language gets, following a link
// on the test clock and coming back with "Back", links to the web and to
// pages that do not ship, a link followed without a timer, a rotation, and
// closing (ASan finds what is left).
#include "help_dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "test_bitmap.h"
#include "os_display.h"
#include "os_shell.h"
#include "port_test_app.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tform.h"
#include "tlabel.h"
#include "tlinklabel.h"
#include "tscreen.h"
#include "tstyler.h"
#include "tsurface.h"
#include "test_env.h"
#include "widget_fixture.h"
#include "wins_timer.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t k_right_key = 0xF822;

std::vector<std::string> g_launched;
int g_launch_answer = 1;
int record_launch(const std::vector<std::string> &argv) {
  std::string line;
  for (const std::string &arg : argv) line += (line.empty() ? "" : " ") + arg;
  g_launched.push_back(line);
  return g_launch_answer;
}

std::vector<int32_t> g_results;
void record_result(int32_t result, void *) { g_results.push_back(result); }

// A program folder holding help/ in English and Russian, set as the
// program's while the object lives.
struct help_folder {
  std::string root;
  std::string old;
  help_folder() {
    root = test_make_temp_dir("help_dialog");
    const char *previous = std::getenv("BRIVOLA_PROGRAM_DIR");
    old = previous ? previous : "";
    std::string help = root + "/help";
    std::string ru = help + "/ru_ru";
    fs::create_directories(ru);
    test_write_file(help + "/index.htm",
                    "<TITLE>Help</TITLE><BODY BGCOLOR=\"#FFFFF0\"><P>Start <A HREF=\"two.htm\">Two</A> "
                    "<A HREF=\"http://example.com/x\">Web</A> <A HREF=\"gone.htm\">Gone</A> <A HREF=\"\">None</A> "
                    "<A HREF=\"pic.htm\">Pic</A></P>"
                    "</BODY>");
    test_write_file(help + "/two.htm", "<TITLE>Two</TITLE><P>Second page <A HREF=\"index.htm\">Contents</A></P>");
    // A red picture at the top and one at the end of a page taller than the view.
    test_bytes bmp = test_bmp_file(40, 30, 24, 0, 40 * 3 * 30);
    for (size_t i = bmp.size() - 40 * 3 * 30 + 2; i < bmp.size(); i += 3) bmp[i] = 0xFF;
    test_write_file(help + "/pic.bmp", bmp);
    std::string lines;
    for (int i = 0; i < 40; i++) lines += "<P>Line</P>";
    test_write_file(help + "/pic.htm", "<TITLE>Pic</TITLE><BODY BGCOLOR=\"#F0FFF0\"><P>Top</P><IMG SRC=\"pic.bmp\">" +
                                           lines + "<IMG SRC=\"pic.bmp\"></BODY>");
    test_write_file(ru + "/index.htm", "<TITLE>Справка</TITLE><P>Начало</P>");
    setenv("BRIVOLA_PROGRAM_DIR", root.c_str(), 1);
  }
  ~help_folder() {
    setenv("BRIVOLA_PROGRAM_DIR", old.c_str(), 1);
    test_remove_tree(root);
  }
};

std::u16string title_of(help_dialog *dialog) { return tdialog_get_title(help_dialog_get_dialog(dialog)); }
std::u16string right_key_of(help_dialog *dialog) {
  return tcontrolbar_get_right_button(tdialog_get_controlbar(help_dialog_get_dialog(dialog)))->_caption;
}

tlinklabel *link_to(help_dialog *dialog, const std::u16string &url) {
  for (int32_t i = 0; i < dialog->_link_count; i++)
    if (tlinklabel_get_url(dialog->_links[i]) == url) return dialog->_links[i];
  return nullptr;
}

void tap_link(help_dialog *dialog, const std::u16string &url) {
  tlinklabel *link = link_to(dialog, url);
  ASSERT_NE(link, nullptr) << test_utf8(url);
  trect on_screen;
  tsurface_get_screen_rect(&link->_label._control._surface, &on_screen);
  widget_tap((on_screen.x1 + on_screen.x2) / 2, (on_screen.y1 + on_screen.y2) / 2);
}

help_dialog *open_help(const char16_t *lang) {
  help_dialog *dialog = help_dialog_new(u"Help", -1, lang, nullptr);
  help_dialog_set_on_result(dialog, record_result);
  help_dialog_show(dialog, -1, -1, TDIALOG_PLACE_FILL);
  return dialog;
}

// Closing from a page other than the index goes back to it first.
void close_help(help_dialog *dialog) {
  if (dialog->_back_mode) {
    tdialog_close(help_dialog_get_dialog(dialog), 0);
    widget_run_for(10);
    ASSERT_EQ(dialog->_back_mode, 0);
  }
  g_results.clear();
  tdialog_close(help_dialog_get_dialog(dialog), 0);
  EXPECT_EQ(g_results, std::vector<int32_t>{0});
}

void with_help(const std::function<void()> &body, const char *screen = "480x640") {
  help_folder folder;
  g_launched.clear();
  g_results.clear();
  g_launch_answer = 1;
  os_launcher_fn old = os_shell_set_launcher(record_launch);
  run_on_styled_screen(
      [&](tscreen *) {
        widget_env env;
        body();
      },
      screen);
  os_shell_set_launcher(old);
}

}  // namespace

// English has no folder of its own; a language without pages falls back too.
TEST(HelpDialog, TheFirstPageIsTheLanguagesIndex) {
  with_help([] {
    const std::pair<const char16_t *, const char16_t *> rows[] = {
        {nullptr, u"Help"}, {u"en_us", u"Help"}, {u"ru_ru", u"Справка"}, {u"zh_cn", u"Help"}};
    for (const auto &row : rows) {
      help_dialog *dialog = open_help(row.first);
      EXPECT_EQ(title_of(dialog), row.second);
      EXPECT_EQ(right_key_of(dialog), u"Close");
      tdialog_close(help_dialog_get_dialog(dialog), 0);
    }
    EXPECT_EQ(g_results, (std::vector<int32_t>{0, 0, 0, 0}));
  });
}

// The page changes 10 ms after the tap, never inside it; "Back" returns to
// the index, where the key reads "Close" again and closes.
TEST(HelpDialog, ALinkOpensItsPageAndBackReturns) {
  with_help([] {
    help_dialog *dialog = open_help(nullptr);
    EXPECT_EQ(dialog->_page_color.blue, 0xF0);
    tap_link(dialog, u"two.htm");
    EXPECT_EQ(title_of(dialog), u"Help");
    widget_run_for(10);
    EXPECT_EQ(title_of(dialog), u"Two");
    EXPECT_EQ(right_key_of(dialog), u"Back");
    EXPECT_EQ(dialog->_page_color.blue, 0xF0) << "a page without BGCOLOR keeps the last colour";

    // The soft key clicks when its pressed look has shown (100 ms).
    widget_key(k_right_key);
    widget_run_for(100);
    EXPECT_EQ(title_of(dialog), u"Two");
    widget_run_for(10);
    EXPECT_TRUE(g_results.empty());
    EXPECT_EQ(title_of(dialog), u"Help");
    EXPECT_EQ(right_key_of(dialog), u"Close");
    ASSERT_NE(link_to(dialog, u"two.htm"), nullptr);

    widget_key(k_right_key);
    widget_run_for(100);
    EXPECT_EQ(g_results, std::vector<int32_t>{0});
    EXPECT_EQ(tscreen_get_modal(tscreen_get()), nullptr);
  });
}

// Web links go to the browser at once; a page that does not ship and an empty
// link change nothing; a refused browser shows the error box.
TEST(HelpDialog, WebLinksAndLinksToNothing) {
  with_help([] {
    help_dialog *dialog = open_help(nullptr);
    tap_link(dialog, u"http://example.com/x");
    ASSERT_TRUE(port_test_finish_launches());
    EXPECT_EQ(g_launched, std::vector<std::string>{"xdg-open http://example.com/x"});
    tap_link(dialog, u"gone.htm");
    tap_link(dialog, u"");
    widget_run_for(30);
    EXPECT_EQ(title_of(dialog), u"Help");
    EXPECT_EQ(dialog->_timer, 0u);
    EXPECT_EQ(tscreen_get_modal(tscreen_get()), &help_dialog_get_dialog(dialog)->_control._surface);

    g_launch_answer = 0;
    tap_link(dialog, u"http://example.com/x");
    ASSERT_TRUE(port_test_finish_launches());
    EXPECT_NE(tscreen_get_modal(tscreen_get()), &help_dialog_get_dialog(dialog)->_control._surface)
        << "the error box shows";
    widget_key(k_right_key);
    widget_run_for(100);
    tdialog_close(help_dialog_get_dialog(dialog), 0);
  });
}

void idle_tick(uint32_t, void *) {}

// With every timer taken the link is followed on the next turn of the loop,
// still outside the click.
TEST(HelpDialog, ARefusedTimerFollowsTheLinkFromTheLoop) {
  with_help([] {
    help_dialog *dialog = open_help(nullptr);
    std::vector<uint32_t> taken;
    for (uint32_t handle; (handle = wins_timer_start(1000, 0, idle_tick, nullptr)) != 0;) taken.push_back(handle);
    tap_link(dialog, u"two.htm");
    EXPECT_EQ(title_of(dialog), u"Help");
    port_test_pump();
    EXPECT_EQ(title_of(dialog), u"Two");
    for (uint32_t handle : taken) wins_timer_stop(handle);
    close_help(dialog);
  });
}

// A rotation lays the page out again for the new width.
TEST(HelpDialog, RotationRendersThePageAgain) {
  with_help([] {
    help_dialog *dialog = open_help(nullptr);
    int32_t before = html_render_get_width(dialog->_render);
    os_headless_set_size(640, 480);
    port_test_pump();
    int32_t after = html_render_get_width(dialog->_render);
    EXPECT_NE(before, after);
    tform *form = tdialog_get_form(help_dialog_get_dialog(dialog));
    const trect *client = tcontrol_get_client_rect(&form->_control);
    EXPECT_EQ(after, client->x2 - client->x1 - 19);
    EXPECT_EQ(tform_get_child_count(form), dialog->_label_count + dialog->_link_count);
    tap_link(dialog, u"two.htm");
    widget_run_for(10);
    EXPECT_EQ(title_of(dialog), u"Two");
    close_help(dialog);
  });
}

namespace {

// Labels made since the styler was last wrapped: a page laid out makes one
// per piece of its text, link labels included.
int32_t g_labels_made;
tstyler_apply_fn g_apply;
void count_labels(tstyler *styler, void *target, int32_t kind, void *owner, intptr_t extra) {
  g_labels_made += kind == TSTYLE_LABEL;
  if (g_apply) g_apply(styler, target, kind, owner, extra);
}

}  // namespace

// An open lays the page out once, when the form has the size it shows at;
// realising the form or laying it out at the same size does not again, and
// only a new size (a rotation) or a new page does. What the single layout
// shows is what a full repaint shows, and what a layout afresh at that size
// shows (the screen turned and back).
TEST(HelpDialog, AnOpenLaysThePageOutOnceAndShowsItAsAFreshLayoutDoes) {
  with_help([] {
    tstyler *styler = tstyler_get_default();
    g_apply = styler->_apply;
    styler->_apply = count_labels;
    g_labels_made = 0;
    help_dialog *dialog = open_help(nullptr);
    tscreen *screen = tscreen_get();
    tform *form = tdialog_get_form(help_dialog_get_dialog(dialog));
    const int32_t page = tform_get_child_count(form);
    ASSERT_GT(page, 0);
    auto layouts = [page] { return g_labels_made / page; };
    EXPECT_EQ(g_labels_made % page, 0);
    EXPECT_EQ(layouts(), 1);
    EXPECT_EQ(title_of(dialog), u"Help");
    // Below the short page: its own colour (255, 255, 240) in 565.
    trect view;
    tsurface_get_screen_rect(&form->_control._surface, &view);
    EXPECT_EQ(screen_pixel(screen, view.x1 + 10, view.y2 - 10), 0xFFFEu);
    std::vector<uint32_t> opened = screen_all_pixels(screen);
    screen_repaint_all(screen);
    EXPECT_TRUE(screen_all_pixels(screen) == opened) << "a full repaint differs";
    tcontrol_layout(&form->_control, tsurface_get_rect(&form->_control._surface));
    port_test_pump();
    EXPECT_EQ(layouts(), 1);
    os_headless_set_size(640, 480);
    port_test_pump();
    EXPECT_EQ(layouts(), 2);
    os_headless_set_size(480, 640);
    port_test_pump();
    EXPECT_EQ(layouts(), 3);
    EXPECT_TRUE(screen_all_pixels(screen) == opened) << "a layout afresh shows another page";
    int32_t before = g_labels_made;
    tap_link(dialog, u"two.htm");
    widget_run_for(10);
    EXPECT_EQ(g_labels_made - before, tform_get_child_count(form)) << "the new page laid out once";
    styler->_apply = g_apply;
    close_help(dialog);
  });
}

namespace {

// Where the page's pieces lie in the form, and the width its lines were
// wrapped to.
std::vector<int32_t> laid_out(help_dialog *dialog) {
  tform *form = tdialog_get_form(help_dialog_get_dialog(dialog));
  std::vector<int32_t> at = {html_render_get_width(dialog->_render)};
  for (int32_t i = 0; i < tform_get_child_count(form); i++) {
    const trect *r = tsurface_get_rect(&tform_get_child_at(form, i)->_surface);
    at.insert(at.end(), {r->x1, r->y1, r->x2, r->y2});
  }
  return at;
}

}  // namespace

// A page whose lines wrap to the width is laid out again when the form's
// width changes alone, or its height alone (it then starts again from the
// top, as a page opened at that size does). A placement that takes the
// height from the page lays it out before the dialog is placed, but wraps it
// to the width the form is shown at (here cut to the screen), and is as tall
// as the page.
TEST(HelpDialog, APageIsLaidOutAgainForEachNewSizeOfTheForm) {
  with_help([] {
    struct row {
      const char *name;
      int32_t mode;
      int words;
      int32_t open_width, open_height, width, height;  // the screen's size at the open and after it
    };
    const row rows[] = {
        {"width alone", TDIALOG_PLACE_FILL, 400, 480, 640, 400, 640},
        {"height alone", TDIALOG_PLACE_FILL, 400, 480, 640, 480, 560},
        {"centred, narrower than asked", TDIALOG_PLACE_CENTRE, 60, 400, 640, 400, 640},
    };
    tscreen *screen = tscreen_get();
    for (const row &r : rows) {
      std::string words;
      for (int i = 0; i < r.words; i++) words += "word" + std::to_string(i) + " ";
      test_write_file(std::string(std::getenv("BRIVOLA_PROGRAM_DIR")) + "/help/index.htm",
                      "<TITLE>Help</TITLE><P>" + words + "</P>");
      os_headless_set_size(r.open_width, r.open_height);
      port_test_pump();
      help_dialog *dialog = help_dialog_new(u"Help", 480, nullptr, nullptr);
      help_dialog_show(dialog, -1, -1, r.mode);
      if (r.width != r.open_width || r.height != r.open_height) {
        const int stroke[][2] = {{1, 400}, {3, 390}, {3, 200}, {2, 200}};
        for (const auto &step : stroke) widget_pen(step[0], 240, step[1]);
        widget_run_for(1000);
        os_headless_set_size(r.width, r.height);
        port_test_pump();
      }
      std::vector<int32_t> resized = laid_out(dialog);
      std::vector<uint32_t> shown = screen_all_pixels(screen);
      tform *form = tdialog_get_form(help_dialog_get_dialog(dialog));
      const trect *client = tcontrol_get_client_rect(&form->_control);
      EXPECT_EQ(resized[0], client->x2 - client->x1 - 19) << r.name;
      if (r.mode == TDIALOG_PLACE_CENTRE) {
        EXPECT_LE(resized.back(), form->_view.y2) << r.name << ": the dialog's height does not fit the page";
      }
      tdialog_close(help_dialog_get_dialog(dialog), 0);

      dialog = help_dialog_new(u"Help", 480, nullptr, nullptr);
      help_dialog_show(dialog, -1, -1, r.mode);
      port_test_pump();
      EXPECT_TRUE(laid_out(dialog) == resized) << r.name << ": not laid out as a page opened at that size";
      EXPECT_TRUE(screen_all_pixels(screen) == shown) << r.name << ": not shown as a page opened at that size";
      tdialog_close(help_dialog_get_dialog(dialog), 0);
    }
  });
}

// A page reached by a link, scrolled, and laid out again after a rotation
// shows its pictures and page colour as a full repaint draws them, and the
// dialog's buffers keep up with what the display shows.
TEST(HelpDialog, TheScreenShowsWhatAFullRepaintShows) {
  with_help([] {
    help_dialog *dialog = open_help(nullptr);
    tscreen *screen = tscreen_get();
    auto drag_up = [] {
      const int stroke[][2] = {{1, 500}, {3, 490}, {3, 300}, {3, 200}, {2, 200}};
      for (const auto &step : stroke) widget_pen(step[0], 240, step[1]);
      widget_run_for(1000);
    };
    const std::pair<const char *, std::function<void()>> stages[] = {
        {"link followed", [dialog] { tap_link(dialog, u"pic.htm"), widget_run_for(10); }},
        {"scrolled", drag_up},
        {"rotated", [] { os_headless_set_size(640, 480), port_test_pump(); }},
        {"scrolled after the rotation", drag_up},
    };
    for (const auto &stage : stages) {
      stage.second();
      std::vector<uint32_t> shown = screen_all_pixels(screen);
      tscreen_paint(screen, nullptr);
      EXPECT_TRUE(screen_all_pixels(screen) == shown) << stage.first << ": the buffers fell behind the screen";
      screen_repaint_all(screen);
      EXPECT_TRUE(screen_all_pixels(screen) == shown) << stage.first << ": a full repaint differs";
    }
    EXPECT_EQ(title_of(dialog), u"Pic");
    close_help(dialog);
  });
}
