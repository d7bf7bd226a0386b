// The application's look on the running program, on the three screen
// classes: control bars keep their class's sizes through any number of
// layouts; every dialog is built with its class's title height and layout
// and framed in the dialog look, the colour dialog's form alone keeping its
// border; menus and file lists take their class's rows and the list look;
// buttons their gradients, hints their frame; all read back from the
// controls' places and the screen.
#include "paint_styler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "about_dialog.h"
#include "about_logo.h"
#include "app_common.h"
#include "app_test_env.h"
#include "mypaints_dialog.h"
#include "new_dialog.h"
#include "os_display.h"
#include "paint_file.h"
#include "screen_fixture.h"
#include "tadvcolordialog.h"
#include "tbutton.h"
#include "tcolordialog.h"
#include "tcombobox.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tedit.h"
#include "thint.h"
#include "tinputdialog.h"
#include "tlabel.h"
#include "tmenu.h"
#include "tmessagedialog.h"
#include "topendialog.h"
#include "tsavedialog.h"
#include "tscreen.h"
#include "ttdrawer.h"
#include "ttitlebar.h"
#include "test_env.h"
#include "upload_info_dialog.h"

namespace {

void run(const char *screen, const std::function<void(app_context *, const app_test_folders &)> &body) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *app) { body(app, folders); }, screen));
}

tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }
int32_t width_of(void *control) { return tsurface_get_width(surface_of(control)); }
int32_t height_of(void *control) { return tsurface_get_height(surface_of(control)); }
// Top edge in the parent.
int32_t top_of(void *control) { return tsurface_get_rect(surface_of(control))->y1; }
trect screen_rect_of(void *control) { return app_test_screen_rect(surface_of(control)); }

// (r, g, b) as the 16-bit display shows it.
uint32_t rgb565(int r, int g, int b) { return uint32_t(r >> 3) << 11 | uint32_t(g >> 2) << 5 | uint32_t(b >> 3); }

}  // namespace

// The bar's own layout sets 40 across and 100 along for its buttons (100
// and 40 at a side); the small class halves that, the large one takes 1.3
// times, the normal one leaves it. Layouts repeated in any order never drift.
TEST(PaintStyler, ControlBarsKeepTheirClassSizesThroughRepeatedLayouts) {
  struct row {
    const char *screen;
    int32_t across, along;  // bar thickness and soft-key length at the bottom or top
    int32_t side_across, side_along;
  } rows[] = {
      {"240x320", 20, 50, 50, 20},
      {"320x480", 40, 100, 100, 40},
      {"480x640", 52, 130, 130, 52},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.screen);
    run(r.screen, [&](app_context *, const app_test_folders &) {
      trect empty = {0, 0, -1, -1};
      tcontrolbar *bar = tcontrolbar_new(nullptr, &empty, nullptr);
      ASSERT_NE(bar, nullptr);
      tbutton *left = tcontrolbar_get_left_button(bar), *right = tcontrolbar_get_right_button(bar);
      for (int32_t position : {0, 0, 3, 1, 1, 2, 0, 3, 3}) {
        SCOPED_TRACE(position);
        tcontrolbar_set_position(bar, position);
        if (position == TCONTROLBAR_BOTTOM || position == TCONTROLBAR_TOP) {
          EXPECT_EQ(height_of(bar), r.across);
          EXPECT_EQ(std::vector<int32_t>({width_of(left), width_of(right)}), std::vector<int32_t>(2, r.along));
        } else {
          EXPECT_EQ(width_of(bar), r.side_across);
          EXPECT_EQ(std::vector<int32_t>({height_of(left), height_of(right)}),
                    std::vector<int32_t>(2, r.side_along));
        }
        for (tbutton *b : {left, right})
          for (ttdrawer *d : {tbutton_get_tdrawer(b), tbutton_get_pressed_tdrawer(b), tbutton_get_focused_tdrawer(b)})
            EXPECT_EQ(ttdrawer_get_alignment(d), 8u) << "captions centred after the bar's own alignment";
      }
      tcontrolbar_free(bar);
    });
  }
}

// Each dialog shown on each class: its title height, then what its class's
// layout values set (heights, tops, gaps, widths as the dialog placed its
// parts), then its frame: a black-framed grey panel, and a form without a
// border (its top-left pixel the gradient's light end) except in the colour
// dialog. The about box and My Paints have no look of ours.
enum look { NO_LOOK, DIALOG_LOOK, FRAMED_FORM };
struct shown {
  tdialog *dialog;
  std::vector<int32_t> placed;
};
struct dialog_case {
  const char *name;
  std::function<shown(app_context *, const std::string &folder)> show;
  look frame;
  std::vector<int32_t> small, normal, large;
};

const char16_t *const k_types[] = {u"All Files(*.*)/*.*"};
char16_t g_name[32], g_folder[TFILELIST_PATH_MAX];
uint32_t g_color, g_recent[TCOLORDIALOG_RECENT];
int32_t g_recent_count, g_type;
const int32_t k_list_fill = int32_t(rgb565(221, 221, 221));

const dialog_case k_dialogs[] = {
    {"message box",
     [](app_context *, const std::string &) {
       tmessagedialog *box = tmessagedialog_new(u"Brivola", 200, u"Hello", TMESSAGEDIALOG_OK, 0, nullptr);
       tmessagedialog_show(box, -1, -1, TDIALOG_PLACE_CENTRE);
       return shown{tmessagedialog_get_dialog(box), {top_of(tmessagedialog_get_label(box))}};
     },
     DIALOG_LOOK, {10}, {10}, {20}},
    {"input dialog",
     [](app_context *, const std::string &) {
       tinputdialog *input = tinputdialog_new(u"Name", -1, u"Name:", g_name, 32, nullptr);
       tinputdialog_show(input, -1, -1, TDIALOG_PLACE_CENTRE);
       return shown{tinputdialog_get_dialog(input),
                    {height_of(input->_label), top_of(input->_edit) - top_of(input->_label), height_of(input->_edit)}};
     },
     DIALOG_LOOK, {16, 21, 16}, {25, 35, 25}, {33, 46, 45}},
    {"save dialog",
     [](app_context *, const std::string &) {
       tsavedialog *save = tsavedialog_new(u"Save", -1, g_name, 32, g_folder, TFILELIST_PATH_MAX, k_types, 1, &g_type,
                                           nullptr);
       // As built: shown, the form's client rect moves 3 down under parts
       // anchored at the top alone, which lose those 3 pixels.
       std::vector<int32_t> placed = {height_of(save->_name_label), height_of(save->_name_edit),
                                      height_of(save->_location_button), height_of(save->_type_combo)};
       tsavedialog_show(save, -1, -1, TDIALOG_PLACE_CENTRE);
       return shown{tsavedialog_get_dialog(save), placed};
     },
     DIALOG_LOOK, {16, 16, 20, 16}, {25, 25, 25, 25}, {33, 45, 45, 45}},
    // Then its file list: the Up row's height, where the name column starts
    // (after the icon column), the scroll bar's width, the list's fill seen
    // through the bar's track, and the location field's left padding.
    {"open dialog",
     [](app_context *, const std::string &folder) {
       for (int i = 0; i < 30; i++) mkdir((folder + "/" + std::to_string(i)).c_str(), 0700);
       std::u16string wide = test_wide(folder);
       std::char_traits<char16_t>::copy(g_folder, wide.c_str(), wide.size() + 1);
       topendialog *open = topendialog_new(u"Open", -1, g_name, 32, g_folder, TFILELIST_PATH_MAX, k_types, 1, 0, 0,
                                           nullptr);
       topendialog_show(open, -1, -1, TDIALOG_PLACE_CENTRE);
       tscreen_paint(tscreen_get(), nullptr);
       tlistbox *list = &topendialog_get_filelist(open)->_listbox;
       const trect *up = tlistbox_get_item_rect(list, 0);
       trect track = screen_rect_of(tlistbox_get_scrollbar(list));
       return shown{topendialog_get_dialog(open),
                    {height_of(open->_location), width_of(open->_tools[0]), height_of(open->_name_edit),
                     height_of(open->_type_combo), up->y2 - up->y1 + 1, tlistcolumn_get_x(tlistbox_get_column(list, 0)),
                     width_of(tlistbox_get_scrollbar(list)),
                     int32_t(screen_pixel(tscreen_get(), track.x1, track.y2 - 1)),
                     tcombobox_get_edit(open->_location)->_margin_left}};
     },
     DIALOG_LOOK, {16, 20, 16, 16, 16, 30, 5, k_list_fill, 19}, {25, 30, 25, 25, 30, 30, 10, k_list_fill, 28},
     {45, 45, 45, 45, 45, 45, 10, k_list_fill, 48}},
    {"colour dialog",
     [](app_context *, const std::string &) {
       tcolordialog *colors = tcolordialog_new(u"Colour", -1, &g_color, g_recent, &g_recent_count, nullptr);
       tcolordialog_show(colors, -1, -1, TDIALOG_PLACE_CENTRE);
       return shown{tcolordialog_get_dialog(colors),
                    {top_of(colors->_label), top_of(colors->_recent[0]) - top_of(colors->_label)}};
     },
     FRAMED_FORM, {5, 25}, {5, 25}, {13, 33}},
    {"RGB dialog",
     [](app_context *, const std::string &) {
       tadvcolordialog *rgb = tadvcolordialog_new(u"RGB", -1, &g_color, nullptr);
       tadvcolordialog_show(rgb, -1, -1, TDIALOG_PLACE_CENTRE);
       return shown{tadvcolordialog_get_dialog(rgb), {top_of(rgb->_bars[0]), height_of(rgb->_bars[0]),
                                                      height_of(rgb->_edits[0]), height_of(rgb->_labels[0])}};
     },
     DIALOG_LOOK, {10, 20, 16, 16}, {5, 30, 20, 20}, {10, 45, 26, 26}},
    {"New dialog",
     [](app_context *, const std::string &) {
       static int32_t width, height;
       static tcolor color;
       new_dialog *nd = new_dialog_new(u"New", -1, &width, &height, &color, nullptr);
       new_dialog_show(nd, -1, -1, TDIALOG_PLACE_CENTRE);
       return shown{new_dialog_get_dialog(nd),
                    {height_of(nd->size_label), top_of(nd->width_box) - top_of(nd->size_label),
                     width_of(nd->width_box), height_of(nd->width_box), height_of(nd->color_label),
                     height_of(nd->color_button)}};
     },
     DIALOG_LOOK, {16, 21, 80, 16, 16, 20}, {25, 35, 80, 25, 25, 35}, {33, 46, 124, 45, 33, 48}},
    {"upload information dialog",
     [](app_context *, const std::string &) {
       static char16_t title[UPLOAD_INFO_TITLE_CHARS], description[UPLOAD_INFO_DESCRIPTION_CHARS];
       upload_info_dialog *info = upload_info_dialog_new(u"Upload", -1, title, description, nullptr);
       std::vector<int32_t> placed = {height_of(info->_title_label), height_of(info->_title_edit)};  // as built
       upload_info_dialog_show(info, -1, -1, TDIALOG_PLACE_CENTRE);
       return shown{upload_info_dialog_get_dialog(info), placed};
     },
     DIALOG_LOOK, {16, 16}, {25, 25}, {33, 45}},
    {"about box",
     [](app_context *, const std::string &) {
       about_dialog *about = about_dialog_new(u"About", -1, nullptr);
       about_dialog_show(about, -1, -1, TDIALOG_PLACE_CENTRE);
       return shown{about_dialog_get_dialog(about),
                    {height_of(about->_logo), top_of(about->_icon) - top_of(about->_logo), width_of(about->_icon),
                     height_of(about->_icon)}};
     },
     NO_LOOK, {35, 39, 35, 35}, {100, 119, 70, 70}, {130, 155, 91, 91}},
    // Where its first cell starts, over one saved painting.
    {"My Paints",
     [](app_context *app, const std::string &) {
       std::u16string path = std::u16string(app_common_get_my_paints_dir()) + u"/a.bvf";
       EXPECT_EQ(paint_file_save_to(app->_file, path.c_str()), 1);
       my_paints_dialog *mp = my_paints_dialog_new(u"My Paints", -1, app_common_get_my_paints_dir(), g_folder, nullptr);
       my_paints_dialog_show(mp, -1, -1, TDIALOG_PLACE_CENTRE);
       const trect *cell = tsurface_get_rect(surface_of(mp->_items[0]));
       return shown{my_paints_dialog_get_dialog(mp), {mp->_count, cell->x1, cell->y1}};
     },
     NO_LOOK, {1, 5, 5}, {1, 10, 10}, {1, 13, 13}},
};

TEST(PaintStyler, DialogsAreBuiltWithTheirClassTitleLayoutAndFrames) {
  struct screen_row {
    const char *screen;
    int32_t title_height;
    std::vector<int32_t> dialog_case::*placed;
  } screens[] = {{"240x320", 15, &dialog_case::small},
                 {"320x480", 25, &dialog_case::normal},
                 {"480x640", 48, &dialog_case::large}};
  for (const screen_row &r : screens) {
    SCOPED_TRACE(r.screen);
    run(r.screen, [&](app_context *app, const app_test_folders &folders) {
      tscreen *screen = tscreen_get();
      for (const dialog_case &d : k_dialogs) {
        SCOPED_TRACE(d.name);
        shown s = d.show(app, folders.root);
        ASSERT_NE(s.dialog, nullptr);
        EXPECT_EQ(height_of(tdialog_get_titlebar(s.dialog)), r.title_height);
        EXPECT_EQ(s.placed, d.*r.placed);
        tscreen_paint(screen, nullptr);
        trect panel = screen_rect_of(tdialog_get_panel(s.dialog)), form = screen_rect_of(tdialog_get_form(s.dialog));
        if (d.frame != NO_LOOK) {
          EXPECT_EQ(screen_pixel(screen, panel.x1, panel.y2 - 1), 0u) << "black frame";
          EXPECT_EQ(screen_pixel(screen, panel.x1 + 1, panel.y2 - 1), rgb565(128, 128, 128)) << "grey panel";
          EXPECT_EQ(screen_pixel(screen, form.x1, form.y1), d.frame == FRAMED_FORM ? 0u : rgb565(200, 200, 200))
              << "the form's top-left corner";
          EXPECT_NE(screen_pixel(screen, form.x1 + 1, form.y1 + 1), rgb565(255, 255, 255)) << "the form's gradient";
        }
        tdialog_close(s.dialog, 0);
      }
    });
  }
}

// Menus: rows of the class's height; the list framed dark over a light to
// dark gradient, the selected row the other way round, a dark thumb.
TEST(PaintStyler, MenusTakeTheClassRowHeightAndTheListLook) {
  for (auto [screen, height] : {std::pair{"240x320", 20}, {"320x480", 40}, {"480x640", 52}}) {
    SCOPED_TRACE(screen);
    run(screen, [&, height = height](app_context *, const app_test_folders &) {
      tscreen *s = tscreen_get();
      tmenu *menu = tmenu_new(nullptr);
      ASSERT_NE(menu, nullptr);
      for (uint32_t id = 0; id < 30; id++) tmenu_add_item(menu, u"", id, 0, 0, nullptr);
      tmenu_popup(menu, -1, -1);
      tscreen_paint(s, nullptr);
      tlistbox *list = tmenu_get_listbox(menu);
      trect box = screen_rect_of(list);
      const trect *row = tlistbox_get_item_rect(list, 0);
      EXPECT_EQ(row->y2 - row->y1 + 1, height);
      int32_t right = box.x1 + row->x2 - 1;
      auto red = [&](int32_t x, int32_t y) { return screen_pixel(s, x, y) >> 11; };  // fifths: 24 light, 16 dark
      EXPECT_EQ(screen_pixel(s, box.x1, box.y1), rgb565(64, 64, 64)) << "frame";
      EXPECT_EQ(std::vector<uint32_t>({red(box.x1 + 1, box.y1 + 1), red(right, box.y1 + row->y1 + 1),
                                       red(right, box.y1 + row->y2 - 1)}),
                std::vector<uint32_t>({24, 16, 24}))
          << "the list's light top, the selected row's dark top and light bottom";
      trect bar = screen_rect_of(tlistbox_get_scrollbar(list));
      EXPECT_EQ(screen_pixel(s, (bar.x1 + bar.x2) / 2, bar.y1 + 3), rgb565(64, 64, 64)) << "thumb";
      tmenu_close(menu);
    });
  }
}

// Light to dark at rest, dark to light while held.
TEST(PaintStyler, ButtonsShowTheirGradientTurnedOverWhilePressed) {
  run("240x320", [](app_context *, const app_test_folders &) {
    tscreen *screen = tscreen_get();
    trect rect = {20, 20, 69, 59};
    tbutton *button = tbutton_new(nullptr, &rect, u"", 0, nullptr);
    ASSERT_NE(button, nullptr);
    tcontrol_realize(&button->_control);
    tscreen_paint(screen, nullptr);
    // Red fifths of the first and last rows inside the frame: near 200 and
    // near 128.
    auto red = [&](int32_t y) { return screen_pixel(screen, 40, y) >> 11; };
    EXPECT_EQ(std::vector<uint32_t>({red(21), red(58)}), std::vector<uint32_t>({24, 16}));
    app_test_pen(OS_PEN_DOWN, 40, 40);
    EXPECT_EQ(std::vector<uint32_t>({red(21), red(58)}), std::vector<uint32_t>({16, 24}));
    app_test_pen(OS_PEN_MOVE, 200, 200);
    app_test_pen(OS_PEN_UP, 200, 200);
    tbutton_free(button);
    tscreen_paint(screen, nullptr);
  });
}

// A hint is framed in black on light blue.
TEST(PaintStyler, HintsAreFramedInBlackOnLightBlue) {
  run("480x640", [](app_context *, const app_test_folders &) {
    tscreen *screen = tscreen_get();
    trect rect = {0, 0, 199, 0};
    thint *hint = thint_new(&rect, u"Tip", 1, nullptr);
    ASSERT_NE(hint, nullptr);
    thint_show(hint, 50, 60);
    trect r = app_test_screen_rect(&thint_get_label(hint)->_control._surface);
    EXPECT_EQ(screen_pixel(screen, r.x1, r.y1), 0u);
    EXPECT_EQ(screen_pixel(screen, r.x2 - 1, r.y2 - 1), rgb565(128, 128, 255));
    thint_free(hint);
    tscreen_paint(screen, nullptr);
  });
}

// A title bar is a dark grey rounded band keyed over the panel; on the large
// class an edit's text sits 3 pixels in from the sides and 5 from the edges.
TEST(PaintStyler, TitleBarsAndLargeEditsTakeTheApplicationLook) {
  run("480x640", [](app_context *, const app_test_folders &) {
    tinputdialog *input = tinputdialog_new(u"Name", -1, u"Name:", g_name, 32, nullptr);
    tinputdialog_show(input, -1, -1, TDIALOG_PLACE_CENTRE);
    tscreen *screen = tscreen_get();
    tscreen_paint(screen, nullptr);
    trect title = screen_rect_of(tdialog_get_titlebar(tinputdialog_get_dialog(input)));
    EXPECT_EQ(screen_pixel(screen, title.x1, title.y1), rgb565(128, 128, 128)) << "the panel past the round corner";
    EXPECT_EQ(screen_pixel(screen, title.x1 + 2, title.y2 - 2), rgb565(64, 64, 64));
    const trect *client = tcontrol_get_client_rect(&input->_edit->_control);
    EXPECT_EQ((std::vector<int32_t>{client->x1, client->y1}), (std::vector<int32_t>{3, 5}));
    EXPECT_EQ(client->x2, width_of(input->_edit) - 1 - 3);
    tdialog_close(tinputdialog_get_dialog(input), 0);
  });
}
