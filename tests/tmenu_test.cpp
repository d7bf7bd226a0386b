// Menu: size and placement beside the bar in both orientations, a list cut to
// the screen that scrolls, submenus and the roads that close one menu or the
// whole chain, the select callback after every menu is gone, the etched
// separator and the submenu arrow; parts composed straight as the keyed
// buffer would show them; the modal slot given back; and a menu over the
// running program.
#include "tmenu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_test_env.h"
#include "gui_fixture.h"
#include "os_display.h"
#include "port_test_app.h"
#include "screen_fixture.h"
#include "widget_fixture.h"

namespace {

constexpr uint32_t KEY_LEFT = 0xF807, KEY_RIGHT = 0xF808, KEY_UP = 0xF809, KEY_DOWN = 0xF80A;
constexpr uint32_t SOFT_LEFT = 0xF821, SOFT_RIGHT = 0xF822;
constexpr uint32_t WHITE_565 = 0xFFFF, BLACK_565 = 0x0000;

struct choice {
  uint32_t id;
  void *user_data;
  bool screen_empty;  // no menu was left on the screen when it came
  bool operator==(const choice &o) const {
    return id == o.id && user_data == o.user_data && screen_empty == o.screen_empty;
  }
};
std::vector<choice> g_chosen;
int g_popups;

bool screen_empty() {
  tscreen *screen = tscreen_get();
  return screen->_surfaces.next == &screen->_surfaces && !tscreen_get_modal(screen);
}

int listed_surfaces() {
  tscreen *screen = tscreen_get();
  int n = 0;
  for (tsurface_link *l = screen->_surfaces.next; l != &screen->_surfaces; l = l->next) n++;
  return n;
}

void record(uint32_t id, void *user_data) { g_chosen.push_back({id, user_data, screen_empty()}); }

// Root: "Pencil", "More >" (submenu, separator above), "Quit"; the popup hook
// fills a submenu with "Thin" and "Thick".
void fill_submenus(tmenu *menu, int32_t, int32_t) {
  g_popups++;
  if (!menu->_is_submenu) return;
  tmenu_add_item(menu, u"Thin/-1", 21, 0, 0, menu);
  tmenu_add_item(menu, u"Thick/-1", 22, 0, 0, menu);
}

// Popped up at (x, y) unless x is NOT_SHOWN.
constexpr int32_t NOT_SHOWN = -2;
tmenu *root_menu(int32_t x = -1, int32_t y = -1) {
  g_chosen.clear();
  g_popups = 0;
  tmenu *menu = tmenu_new(nullptr);
  tmenu_add_item(menu, u"Pencil/-1", 1, 0, 0, reinterpret_cast<void *>(101));
  tmenu_add_item(menu, u"More/-1", 2, 1, 1, nullptr);
  tmenu_add_item(menu, u"Quit/-1", 3, 0, 0, reinterpret_cast<void *>(103));
  tmenu_set_on_popup(menu, fill_submenus);
  tmenu_set_on_select(menu, record);
  if (x != NOT_SHOWN) tmenu_popup(menu, x, y);
  return menu;
}

trect list_rect(const tmenu *menu) { return *tsurface_get_rect(&tmenu_get_listbox(menu)->_control._surface); }
std::vector<int32_t> fields(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }

tpoint row_point(const tmenu *menu, int32_t row) { return widget_list_row_point(tmenu_get_listbox(menu), row); }
void tap_row(const tmenu *menu, int32_t row) { widget_tap_list_row(tmenu_get_listbox(menu), row); }

}  // namespace

TEST(Menu, SizeAndPlaceBesideTheBarAsTheScreenTurns) {
  run_widget_test_240x320([](tscreen *) {
    tmenu *menu = tmenu_new(nullptr);
    tmenu_popup(menu, -1, -1);
    // Nothing: 50 + margins 3 + 3 + the bar's 5 wide, margins + 1 high.
    EXPECT_EQ(fields(list_rect(menu)), (std::vector<int32_t>{0, 273, 60, 279}));
    EXPECT_EQ(tscreen_get_modal(tscreen_get()), &menu->_control._surface);
    tmenu_close(menu);
    EXPECT_TRUE(screen_empty());
    // "A longer item" is 65 pixels, the image column 10: 86 x 82 above the
    // bar at x 0; against the right bar, centred in height.
    menu = tmenu_new(nullptr);
    tmenu_add_item(menu, u"Short", 1, 0, 0, nullptr);
    tmenu_add_item(menu, u"A longer item", 2, 0, 0, nullptr);
    tmenu_add_item(menu, u"Mid item", 3, 0, 0, nullptr);
    tmenu_popup(menu, -1, -1);
    EXPECT_EQ(fields(list_rect(menu)), (std::vector<int32_t>{0, 198, 85, 279}));
    const struct {
      int32_t w, h, bar;
      std::vector<int32_t> rect;
    } turns[] = {{320, 240, TCONTROLBAR_RIGHT, {134, 79, 219, 160}}, {480, 640, TCONTROLBAR_BOTTOM, {0, 518, 85, 599}}};
    for (const auto &t : turns) {
      os_display_set_size(t.w, t.h);
      os_input_display_changed();
      port_test_pump();
      EXPECT_EQ(tcontrolbar_get_position(tmenu_get_controlbar(menu)), t.bar);
      EXPECT_EQ(fields(list_rect(menu)), t.rect) << t.w << "x" << t.h;
    }
    tmenu_close(menu);
  });
}

TEST(Menu, ATallListIsCutToTheScreenAndScrolls) {
  run_widget_test_240x320([](tscreen *) {
    tmenu *menu = tmenu_new(nullptr);
    for (uint32_t i = 0; i < 20; i++) tmenu_add_item(menu, u"Row", i, 0, 0, nullptr);
    tmenu_popup(menu, -1, -1);
    EXPECT_EQ(fields(list_rect(menu)), (std::vector<int32_t>{0, 0, 60, 279}));
    tlistbox *list = tmenu_get_listbox(menu);
    EXPECT_TRUE(tsurface_is_visible(&tlistbox_get_scrollbar(list)->_control._surface));
    for (int i = 0; i < 19; i++) widget_key(KEY_DOWN);
    const trect *last = tlistbox_get_item_rect(list, 19);
    EXPECT_EQ(last->y2, 279 - 3);  // the last row ends on the client's bottom edge
    tmenu_close(menu);
  });
}

TEST(Menu, SubmenusAndTheRoadsThatCloseThem) {
  run_widget_test_240x320([](tscreen *) {
    {
      // Cancel in a submenu closes it and its parent; nothing is chosen.
      tmenu *menu = root_menu();
      tap_row(menu, 1);
      ASSERT_NE(menu->_submenu, nullptr);
      EXPECT_EQ(g_popups, 2);
      EXPECT_EQ(listed_surfaces(), 2);
      widget_key(SOFT_RIGHT);
      widget_run_for(200);
      EXPECT_TRUE(screen_empty());
      EXPECT_TRUE(g_chosen.empty());
    }
    {
      // A pen-up outside the submenu closes that one only; left in the root
      // does nothing; a second pen-up outside closes the root.
      tmenu *menu = root_menu();
      tap_row(menu, 1);
      widget_tap(230, 10);
      EXPECT_EQ(listed_surfaces(), 1);
      EXPECT_EQ(menu->_submenu, nullptr);
      EXPECT_EQ(widget_key(KEY_LEFT), 1);
      EXPECT_EQ(listed_surfaces(), 1);
      widget_tap(230, 10);
      EXPECT_TRUE(screen_empty());
      EXPECT_TRUE(g_chosen.empty());
    }
    {
      // Right opens the submenu, left closes it, right on a leaf of a
      // submenu chooses it: the whole chain is gone before the callback.
      tmenu *menu = root_menu();
      widget_key(KEY_DOWN);
      widget_key(KEY_RIGHT);
      ASSERT_NE(menu->_submenu, nullptr);
      widget_key(KEY_LEFT);
      EXPECT_EQ(menu->_submenu, nullptr);
      widget_key(KEY_RIGHT);
      tmenu *submenu = menu->_submenu;
      ASSERT_NE(submenu, nullptr);
      // The submenu opens 20 pixels in from the row's right, 20 below its top.
      trect at = list_rect(menu);
      const trect *row = tlistbox_get_item_rect(tmenu_get_listbox(menu), 1);
      EXPECT_EQ(list_rect(submenu).x1, at.x1 + row->x2 - 20);
      widget_key(KEY_DOWN);
      widget_key(KEY_RIGHT);
      EXPECT_EQ(g_chosen, (std::vector<choice>{{22, submenu, true}}));
    }
    {
      // The pen held on the submenu row while Right opens its submenu: the
      // release opens it again from the root, which first closes the open
      // one; the choice in it then closes the chain from its leaf.
      tmenu *menu = root_menu();
      tpoint p = row_point(menu, 1);
      widget_pen(TSCREEN_PEN_DOWN, p.x, p.y);
      widget_key(KEY_RIGHT);
      widget_pen(TSCREEN_PEN_UP, p.x, p.y);
      EXPECT_EQ(listed_surfaces(), 2) << "one submenu is open";
      ASSERT_NE(menu->_submenu, nullptr);
      tmenu *submenu = menu->_submenu;
      tap_row(submenu, 0);
      EXPECT_EQ(g_chosen, (std::vector<choice>{{21, submenu, true}}));
    }
    {
      // Select on a root leaf; freeing a root with its submenu open closes both.
      tmenu *menu = root_menu();
      widget_key(SOFT_LEFT);
      widget_run_for(200);
      EXPECT_EQ(g_chosen, (std::vector<choice>{{1, reinterpret_cast<void *>(101), true}}));
      menu = root_menu();
      tap_row(menu, 1);
      tmenu_close(menu);
      EXPECT_TRUE(screen_empty());
    }
  });
}

TEST(Menu, TheSelectCallbackMayPopAnotherMenu) {
  run_widget_test_240x320([](tscreen *) {
    static tmenu *second;
    tmenu *menu = root_menu(NOT_SHOWN);
    tmenu_set_on_select(menu, [](uint32_t id, void *user_data) {
      record(id, user_data);
      second = tmenu_new(nullptr);
      tmenu_add_item(second, u"Again", 9, 0, 0, nullptr);
      tmenu_set_on_select(second, record);
      tmenu_popup(second, -1, -1);
    });
    tmenu_popup(menu, -1, -1);
    tap_row(menu, 2);
    EXPECT_EQ(listed_surfaces(), 1);
    EXPECT_EQ(tscreen_get_modal(tscreen_get()), &second->_control._surface);
    tap_row(second, 0);
    EXPECT_EQ(g_chosen, (std::vector<choice>{{3, reinterpret_cast<void *>(103), true}, {9, nullptr, true}}));
  });
}

TEST(Menu, SeparatorAtHalfStrengthAndArrowInTheTextColour) {
  run_widget_test_240x320([](tscreen *screen) {
    tmenu *menu = root_menu(NOT_SHOWN);
    tlistbox_set_selected(tmenu_get_listbox(menu), 2);  // the row above stays white
    tmenu_popup(menu, -1, -1);
    trect at = list_rect(menu);
    const trect *more = tlistbox_get_item_rect(tmenu_get_listbox(menu), 1);
    // Half black over the white list: a mid grey, neither white nor black.
    uint32_t etched = screen_pixel(screen, at.x1 + more->x1 + 10, at.y1 + more->y1 - 2);
    uint32_t red = etched >> 11;
    EXPECT_TRUE(red >= 14 && red <= 16) << std::hex << etched;
    EXPECT_EQ(screen_pixel(screen, at.x1 + more->x1 + 10, at.y1 + more->y1 - 3), WHITE_565);
    // Below it the light line: half 0xC0 over white, red (192 + 255) / 2 >> 3.
    EXPECT_EQ(screen_pixel(screen, at.x1 + more->x1 + 10, at.y1 + more->y1 - 1) >> 11, 27u);
    // The arrow in the image column: black text colour, white once selected.
    const trect *cell = more;
    int32_t w = 10 - 3, h = cell->y2 - cell->y1;
    int32_t ax = at.x1 + cell->x2 - 9 + w / 2 + 1, ay = at.y1 + cell->y1 + (h + 1) / 2;
    EXPECT_EQ(screen_pixel(screen, ax, ay), BLACK_565);
    widget_key(KEY_UP);
    EXPECT_EQ(screen_pixel(screen, ax, ay), WHITE_565);
    tmenu_close(menu);
  });
}

TEST(Menu, ADimmedMenuDarkensWhatLiesBehindByAQuarter) {
  run_widget_test_240x320([](tscreen *screen) {
    tcanvas *canvas = tscreen_get_canvas(screen);
    tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, 0xFFFFFFFF);
    tcanvas_clear(canvas);
    tmenu *menu = root_menu(NOT_SHOWN);
    tmenu_set_dim_background(menu, 1);
    tmenu_popup(menu, -1, -1);
    EXPECT_EQ(screen_pixel(screen, 1, 1) >> 11, 23u);  // 255 x 192 / 256 >> 3
    tmenu_close(menu);
  });
}

TEST(MenuOverTheProgram, AMenuOverTheCanvasIsChosenByPen) {
  for (const char *size : {"240x320", "480x640"}) {
    SCOPED_TRACE(size);
    app_test_folders folders;
    ASSERT_TRUE(app_test_run(
        [](app_context *app) {
          std::string before = app_test_canvas_bytes(app);
          int panels = listed_surfaces();
          tmenu *menu = root_menu(30, 40);
          tpoint quit = row_point(menu, 2);
          app_test_pen(OS_PEN_DOWN, quit.x, quit.y);
          app_test_pen(OS_PEN_UP, quit.x, quit.y);
          EXPECT_EQ(g_chosen, (std::vector<choice>{{3, reinterpret_cast<void *>(103), false}}));
          EXPECT_EQ(listed_surfaces(), panels);
          EXPECT_EQ(app_test_popup(), nullptr) << "the command panel's tab has the slot again";
          // The pen went to the menu, not through it to the painting.
          EXPECT_EQ(app_test_canvas_bytes(app), before);
          // Quitting with a menu and its submenu open: the tear-down closes them.
          menu = root_menu(30, 40);
          tpoint more = row_point(menu, 1);
          app_test_pen(OS_PEN_DOWN, more.x, more.y);
          app_test_pen(OS_PEN_UP, more.x, more.y);
          EXPECT_NE(menu->_submenu, nullptr);
        },
        size));
  }
}

namespace {

// A painting of stripes under the menu, so what shows through is checked.
void paint_stripes(tscreen *screen, const trect *rect) {
  tbitmap *frame = tscreen_get_bitmap(screen);
  for (int32_t y = rect->y1; y <= rect->y2; y++)
    for (int32_t x = rect->x1; x <= rect->x2; x++)
      tbitmap_set_pixel(frame, x, y, 0xFF000000u | uint32_t(x * 977 + y * 131));
}

std::vector<uint32_t> shown(tscreen *screen) {
  std::vector<uint32_t> pixels;
  for (int32_t y = 0; y < tscreen_get_height(screen); y++)
    for (int32_t x = 0; x < tscreen_get_width(screen); x++) pixels.push_back(os_headless_get_pixel(x, y));
  return pixels;
}

// What the display shows equals the whole screen painted with the menu's
// own buffer (its see-through fill, the list and the bar) composed through
// its key; the menu then goes back to composing its parts straight.
void expect_as_keyed_buffer(tscreen *screen, tmenu *menu) {
  std::vector<uint32_t> now = shown(screen);
  tsurface *surface = &menu->_control._surface;
  tsurface_compose_fn direct = surface->_compose;
  tsurface_set_on_compose(surface, nullptr);
  tcanvas_clear_clip(tsurface_get_canvas(surface));
  tsurface_paint(surface);
  tscreen_paint(screen, nullptr);
  EXPECT_TRUE(shown(screen) == now);
  tsurface_set_on_compose(surface, direct);
  const trect nowhere = {-1, -1, -1, -1};
  tcanvas_set_clip(tsurface_get_canvas(surface), &nowhere);
  tscreen_paint(screen, nullptr);
}

}  // namespace

TEST(Menu, ItsPartsShowAsTheKeyedBufferWouldShowThem) {
  widget_env env;
  for (const char *size : {"240x320", "320x240"}) {
    for (bool dim : {false, true}) {
      SCOPED_TRACE(std::string(size) + (dim ? " dimmed" : ""));
      run_on_styled_screen(
          [dim](tscreen *screen) {
            tscreen_set_paint_hook(screen, paint_stripes);
            tscreen_paint(screen, nullptr);
            tmenu *menu = tmenu_new(nullptr);
            for (uint32_t i = 0; i < 30; i++) tmenu_add_item(menu, u"Row", i, i % 4 == 1, i % 5 == 2, nullptr);
            tmenu_set_dim_background(menu, dim);
            tlistbox *list = tmenu_get_listbox(menu);
            tlistbox_set_smooth_scroll(list, 1);
            tmenu_popup(menu, 20, 10);
            expect_as_keyed_buffer(screen, menu);
            // Up from row 0 wraps to the last row: the list scrolls to the end.
            widget_key(KEY_UP);
            widget_run_for(300);
            expect_as_keyed_buffer(screen, menu);
            tmenu_close(menu);
            tscreen_set_paint_hook(screen, nullptr);
          },
          size);
    }
  }
}

// A menu gives the modal slot back to what it covered (a dialog, the
// application's surface; a submenu to its parent), also when a control has
// come to the front meanwhile.
TEST(Menu, ClosingGivesTheKeysBackToWhatItCovered) {
  run_widget_test_240x320([](tscreen *screen) {
    int main_keys = 0, front_keys = 0;
    tcontrol *main = widget_new_key_taker(0, &main_keys);
    tscreen_set_modal(screen, &main->_surface);
    tmenu *menu = root_menu();
    widget_key(KEY_DOWN);
    widget_key(KEY_RIGHT);
    ASSERT_NE(menu->_submenu, nullptr);
    tcontrol *front = widget_new_key_taker(20, &front_keys);
    widget_key(KEY_LEFT);
    ASSERT_EQ(menu->_submenu, nullptr);
    EXPECT_EQ(widget_key(KEY_RIGHT), 1);
    EXPECT_NE(menu->_submenu, nullptr) << "the root took the key and opened it again";
    tmenu_close(menu);
    widget_key('x');
    EXPECT_EQ(main_keys, 1);
    EXPECT_EQ(front_keys, 0);
    tcontrol_free(front);
    tcontrol_free(main);
  });
}
