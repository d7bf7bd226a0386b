// The whole program, as a user meets it: started in process on the headless
// display with private folders and driven only by pen taps and typed
// characters. Tools are chosen on the tool bar (a filled shape through its
// family's variant menu) and painted with; Undo on the bar; Save As from the
// command panel through the save dialog into My Paints; New, Empty Paint;
// My Paints opens the saved painting again, whole, with its history.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_test_env.h"
#include "commandpanel.h"
#include "mypaints_dialog.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_fixture.h"
#include "paint_history.h"
#include "paint_new.h"
#include "port_test_app.h"
#include "screen_fixture.h"
#include "shape.h"
#include "tbutton.h"
#include "tcombobox.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "test_env.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "toolbar.h"
#include "tsavedialog.h"
#include "tscreen.h"
#include "wins_timer.h"

namespace {

tsurface *surface_of(void *control) { return &static_cast<tcontrol *>(control)->_surface; }

tpoint centre_of(void *control) {
  trect r = app_test_screen_rect(surface_of(control));
  return {(r.x1 + r.x2) / 2, (r.y1 + r.y2) / 2};
}

void tap_at(tpoint at) { app_test_tap(at.x, at.y); }
void tap(void *control) { app_test_tap_surface(surface_of(control)); }

// The clock stands still while no one moves it; this moves it in 10 ms turns.
void drag(int x1, int y1, int x2, int y2) {
  app_test_pen(OS_PEN_DOWN, x1, y1);
  for (int step = 1; step <= 4; step++) app_test_pen(OS_PEN_MOVE, x1 + (x2 - x1) * step / 4, y1 + (y2 - y1) * step / 4);
  app_test_pen(OS_PEN_UP, x2, y2);
}

tsurface *modal() { return tscreen_get_modal(tscreen_get()); }
tdialog *modal_dialog() { return reinterpret_cast<tdialog *>(modal()); }
// No dialog, menu or note is up: the screen's modal slot is empty or holds
// the command panel's tab, which keeps it between commands.
bool nothing_open(app_context *app) { return !modal() || modal() == surface_of(app->_commandpanel->_tab); }
tmenu *modal_menu() { return reinterpret_cast<tmenu *>(modal()); }

// The centre of a row of the menu now shown, in screen coordinates.
tpoint menu_row(int32_t row) {
  tlistbox *list = tmenu_get_listbox(modal_menu());
  trect at = app_test_screen_rect(surface_of(list));
  const trect *r = tlistbox_get_item_rect(list, row);
  if (!r) return {-1, -1};
  return {at.x1 + (r->x1 + r->x2) / 2, at.y1 + (r->y1 + r->y2) / 2};
}

// The row of the shown menu that carries id, or -1; its first text.
int32_t menu_row_of(uint32_t id, std::u16string *text) {
  tlistbox *list = tmenu_get_listbox(modal_menu());
  for (int32_t row = 0; row < tlistbox_get_count(list); row++) {
    if (tmenu_get_item(modal_menu(), row)->_id != id) continue;
    *text = tlistbox_get_text(list, row, 0);
    return row;
  }
  return -1;
}

tbutton *panel_button(commandpanel *cp, intptr_t id) {
  for (tbutton *button : cp->_buttons)
    if (button && tbutton_get_user_data(button) == id) return button;
  return nullptr;
}

// Opens the command panel by its tab (when closed) and taps a command; with
// a script, the script starts once the panel is open.
void run_command(app_context *app, intptr_t id, app_test_script *script = nullptr) {
  commandpanel *cp = app->_commandpanel;
  if (!cp->_open) tap(cp->_tab);
  ASSERT_TRUE(cp->_open);
  tbutton *button = panel_button(cp, id);
  ASSERT_NE(button, nullptr) << id;
  if (script) app_test_script_start(script);
  tap(button);
}

int32_t tool_id(app_context *app) { return app->_current_tool ? shape_get_id(app->_current_tool) : 0; }

// Screen points where the canvas lies under no other surface, and how many
// of them the display shows as the canvas has them.
struct screen_check {
  int points = 0, same = 0;
};

screen_check compare_screen_with_canvas(app_context *app) {
  screen_check out;
  tscreen *screen = tscreen_get();
  std::vector<trect> covered;
  for (tsurface_link *link = screen->_surfaces.next; link && link != &screen->_surfaces; link = link->next) {
    tsurface *surface = reinterpret_cast<tsurface *>(reinterpret_cast<char *>(link) - offsetof(tsurface, _link));
    if (!tsurface_is_visible(surface)) continue;
    trect r = app_test_screen_rect(surface);
    covered.push_back(r);
  }
  tpoint origin;
  paint_context_get_origin(app->_paint_context, &origin);
  tbitmap *canvas = paint_context_get_canvas(app->_paint_context);
  for (int32_t y = 0; y < tscreen_get_height(screen); y += 7)
    for (int32_t x = 0; x < tscreen_get_width(screen); x += 7) {
      int32_t cx = x - origin.x, cy = y - origin.y;
      if (cx < 0 || cy < 0 || cx >= tbitmap_get_width(canvas) || cy >= tbitmap_get_height(canvas)) continue;
      bool hidden = false;
      for (const trect &r : covered) hidden |= x >= r.x1 && x <= r.x2 && y >= r.y1 && y <= r.y2;
      if (hidden) continue;
      out.points++;
      out.same += os_headless_get_pixel(x, y) == screen_rgb565(app_test_canvas_pixel(app, cx, cy));
    }
  return out;
}

}  // namespace

TEST(EndToEnd, PaintUndoSaveAsNewAndOpenAgainFromMyPaints) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    os_clock_drive(1);
    ASSERT_NE(app->_toolbar, nullptr);
    ASSERT_EQ(paint_context_get_zoom(app->_paint_context), 1.0);
    const std::string blank = app_test_canvas_bytes(app);

    // The Pencil: a closed outline for the bucket to fill.
    tap(toolbar_get_button(app->_toolbar, SHAPE_ID_PENCIL));
    ASSERT_EQ(tool_id(app), SHAPE_ID_PENCIL);
    const int outline[][2] = {{100, 250}, {200, 250}, {200, 350}, {100, 350}, {100, 250}, {100, 250}};
    app_test_stroke(outline, 6);
    app_test_run_for(2000);  // the bar that hid while drawing comes back
    std::string after_pencil = app_test_canvas_bytes(app);
    EXPECT_FALSE(after_pencil == blank);

    // A filled rectangle: the family button held opens its variants.
    tbutton *family = toolbar_get_button(app->_toolbar, SHAPE_ID_RECT);
    ASSERT_NE(family, nullptr);
    tpoint at = centre_of(family);
    app_test_pen(OS_PEN_DOWN, at.x, at.y);
    app_test_run_for(TOOLBAR_HOLD_MS);
    ASSERT_NE(modal(), nullptr) << "the variant menu";
    app_test_pen(OS_PEN_UP, at.x, at.y);
    std::u16string text;
    int32_t filled = menu_row_of(SHAPE_ID_FILLED_RECT, &text);
    ASSERT_GE(filled, 0);
    EXPECT_EQ(text, u"Filled Rect");
    tap_at(menu_row(filled));
    ASSERT_EQ(tool_id(app), SHAPE_ID_FILLED_RECT);
    drag(260, 260, 380, 340);
    app_test_run_for(2000);
    EXPECT_NE(app_test_canvas_pixel(app, 320, 300), app_test_canvas_pixel(app, 320, 400)) << "filled";

    // The Paint Bucket fills the pencil's outline.
    tap(toolbar_get_button(app->_toolbar, SHAPE_ID_PAINT_BUCKET));
    ASSERT_EQ(tool_id(app), SHAPE_ID_PAINT_BUCKET);
    uint32_t outside = app_test_canvas_pixel(app, 150, 400);
    EXPECT_EQ(app_test_canvas_pixel(app, 150, 300), outside);
    tap_at({150, 300});
    app_test_run_for(2000);
    EXPECT_NE(app_test_canvas_pixel(app, 150, 300), outside);
    EXPECT_EQ(app_test_canvas_pixel(app, 150, 400), outside) << "only inside";

    // The Curve: a line, a control dragged, a tap away records it.
    tap(toolbar_get_button(app->_toolbar, SHAPE_ID_CURVE));
    ASSERT_EQ(tool_id(app), SHAPE_ID_CURVE);
    std::string before_curve = app_test_canvas_bytes(app);
    drag(60, 450, 420, 450);
    drag(180, 450, 180, 520);
    tap_at({440, 600});
    app_test_run_for(2000);
    std::string with_curve = app_test_canvas_bytes(app);
    EXPECT_FALSE(with_curve == before_curve);
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));

    // Undo on the tool bar takes the curve away.
    tap(toolbar_get_button(app->_toolbar, TOOLBAR_UNDO));
    const std::string before_save = app_test_canvas_bytes(app);
    EXPECT_TRUE(before_save == before_curve) << "undone";
    int32_t position = paint_history_get_position(app->_history);

    // Save As from the command panel: the name typed, the painting's own
    // type picked from the drop-down, the My Paints folder kept.
    const std::string my_paints = folders.docs + "/Brivola";
    EXPECT_EQ(test_utf8(app->_my_paints_dir), my_paints);
    std::u16string title, type, folder;
    tsavedialog *shown = nullptr;
    app_test_script s;
    s.steps = {
        [&] {
          if (nothing_open(app)) {  // the tap that opens the dialog has not run yet: this step again
            s.next--;
            return;
          }
          shown = static_cast<tsavedialog *>(tsurface_get_owner(modal()));
          title = tdialog_get_title(modal_dialog());
          for (char16_t c : std::u16string(u"garden")) os_input_char(c);
        },
        [&] {
          if (shown) app_test_post_tap(tsavedialog_get_type_combobox(shown));
        },
        [&] {
          if (shown && modal() != surface_of(tsavedialog_get_dialog(shown))) {
            tpoint row = menu_row(PAINT_FILE_TYPE_NATIVE);
            app_test_post_tap_at(row.x, row.y);
          }
        },
        [&] {
          if (!shown) return;
          type = tcombobox_get_text(tsavedialog_get_type_combobox(shown));
          folder = shown->_location_folder;
          app_test_post_tap(tcontrolbar_get_left_button(tdialog_get_controlbar(tsavedialog_get_dialog(shown))));
        },
        [&] {  // a dialog the steps missed is cancelled (the test fails) rather than left holding the test
          if (!shown && modal() && !nothing_open(app))
            app_test_post_tap(tcontrolbar_get_right_button(tdialog_get_controlbar(modal_dialog())));
        },
    };
    os_clock_drive(0);  // the dialog holds the tap until it closes: its steps run on real time
    run_command(app, COMMANDPANEL_SAVE_AS, &s);
    os_clock_drive(1);
    ASSERT_NE(shown, nullptr) << "the save dialog";
    EXPECT_EQ(title, u"Save Untitled As");
    EXPECT_EQ(type, u"Brivola Format(*.bvf)");
    EXPECT_EQ(test_utf8(folder.c_str()), my_paints);
    const std::string saved = my_paints + "/garden.bvf";
    ASSERT_FALSE(test_read_file(saved).empty());
    EXPECT_EQ(app->_file->_save_type, PAINT_FILE_TYPE_NATIVE);
    app_test_run_for(2500);  // the "Saved Ok" note goes
    EXPECT_TRUE(nothing_open(app));

    // New, Empty Paint: a blank painting of the screen's size.
    run_command(app, COMMANDPANEL_NEW);
    app_test_run_for(200);
    ASSERT_NE(modal(), nullptr) << "the New menu";
    int32_t empty = menu_row_of(PAINT_NEW_EMPTY, &text);
    ASSERT_GE(empty, 0);
    EXPECT_EQ(text, u"Empty Paint");
    tap_at(menu_row(empty));
    app_test_run_for(200);
    ASSERT_NE(modal(), nullptr) << "the New dialog";
    EXPECT_EQ(std::u16string(tdialog_get_title(modal_dialog())), u"New Empty Paint");
    tap(tcontrolbar_get_left_button(tdialog_get_controlbar(modal_dialog())));
    app_test_run_for(200);
    EXPECT_TRUE(nothing_open(app));
    EXPECT_TRUE(app_test_canvas_bytes(app) == blank) << "an empty paint";

    // My Paints: the saved painting, opened from its menu.
    run_command(app, COMMANDPANEL_MY_PAINTS);
    app_test_run_for(500);
    ASSERT_NE(modal(), nullptr) << "My Paints";
    my_paints_dialog *mp = static_cast<my_paints_dialog *>(tsurface_get_owner(modal()));
    ASSERT_EQ(mp->_count, 1);
    EXPECT_EQ(test_utf8(mp->_items[0]->_path), saved);
    tap(mp->_items[0]);
    ASSERT_NE(modal(), nullptr) << "the item's menu";
    tap_at(menu_row(0));  // Open
    app_test_run_for(500);
    EXPECT_TRUE(nothing_open(app));
    EXPECT_FALSE(app->_commandpanel->_open) << "the painting in view";
    EXPECT_TRUE(app_test_canvas_bytes(app) == before_save) << "the painting as saved";
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    EXPECT_EQ(paint_history_get_position(app->_history), position);

    screen_check shows = compare_screen_with_canvas(app);
    EXPECT_GT(shows.points, 2000);
    EXPECT_EQ(shows.same, shows.points);

    // Redo on the tool bar brings the curve back.
    tap(toolbar_get_button(app->_toolbar, TOOLBAR_REDO));
    EXPECT_TRUE(app_test_canvas_bytes(app) == with_curve) << "the curve is back";
    shows = compare_screen_with_canvas(app);
    EXPECT_EQ(shows.same, shows.points);
    wins_timer_stop_all();
    os_clock_drive(0);
  }));
}
