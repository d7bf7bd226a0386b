// Docks driven by the pen through the window system's messages: the
// press-and-hold resize and its zones, docking by dragging to a side with the
// thickness remembered per side, floating again, and refused sides.
#include "tdock.h"

#include <gtest/gtest.h>

#include <vector>

#include "gui_fixture.h"
#include "os_clock.h"
#include "os_display.h"
#include "port_test_app.h"
#include "screen_fixture.h"
#include "widget_fixture.h"

namespace {

using ints = std::vector<int32_t>;
ints rect_of(tdock *dock) {
  const trect *r = tsurface_get_rect(&dock->_control._surface);
  return {r->x1, r->y1, r->x2, r->y2};
}

void pen(int type, int32_t x, int32_t y) {
  os_input_pen(type, x, y, 0);
  port_test_pump();
}

// A pen path from one point to another in steps of at most 4 pixels.
void drag(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  int32_t steps = std::max(std::abs(x2 - x1), std::abs(y2 - y1)) / 4 + 1;
  for (int32_t i = 1; i <= steps; i++) pen(OS_PEN_MOVE, x1 + (x2 - x1) * i / steps, y1 + (y2 - y1) * i / steps);
}

// Down, the path, and up at its end.
void stroke(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  pen(OS_PEN_DOWN, x1, y1);
  drag(x1, y1, x2, y2);
  pen(OS_PEN_UP, x2, y2);
}

int refuse_drag(tdock *, int32_t, int32_t) { return 0; }
int refuse_top(tdock *, int32_t side) { return side != TDOCK_TOP; }
int g_drag_ends;
void count_drag_end(tdock *) { g_drag_ends++; }

// A realised top-level dock with a 5-pixel frame on a driven clock.
tdock *shown_dock(trect rect) {
  tdock *dock = tdock_new(nullptr, &rect, nullptr);
  EXPECT_NE(dock, nullptr);
  tdock_set_margins(dock, 5, 5, 5, 5);
  tcontrol_realize(&dock->_control);
  tscreen_paint(tscreen_get(), nullptr);
  return dock;
}

void with_dock_screen(const std::function<void(tscreen *)> &body) {
  run_on_styled_screen(
      [&](tscreen *screen) {
        os_clock_drive(1);
        g_drag_ends = 0;
        body(screen);
        os_clock_drive(0);
      },
      "200x160");
}

}  // namespace

TEST(Dock, AHeldPressOnTheFrameEntersResizeModeAndAnEarlierReleaseDoesNot) {
  with_dock_screen([](tscreen *screen) {
    tdock *dock = shown_dock({50, 50, 109, 109});
    tdock_set_can_drag_func(dock, refuse_drag);
    uint32_t plain = screen_pixel(screen, 52, 80);

    // Released after 990 ms: nothing happens, and a move then changes nothing.
    pen(OS_PEN_DOWN, 107, 80);
    widget_run_for(990);
    EXPECT_EQ(screen_pixel(screen, 52, 80), plain);
    pen(OS_PEN_UP, 107, 80);
    widget_run_for(100);
    EXPECT_EQ(screen_pixel(screen, 52, 80), plain);
    stroke(107, 80, 117, 80);
    EXPECT_EQ(rect_of(dock), (ints{50, 50, 109, 109}));

    // A press inside the client rect that may not drag is not the dock's.
    EXPECT_EQ(tscreen_dispatch_pen(screen, 1, 80, 80, 0), 0);

    // Held for the whole second: the frame overlay covers the dock, and the
    // zone is the middle band's right half, which changes the width only.
    pen(OS_PEN_DOWN, 107, 80);
    widget_run_for(1000);
    EXPECT_NE(screen_pixel(screen, 52, 80), plain);
    drag(107, 80, 117, 87);
    EXPECT_EQ(rect_of(dock), (ints{50, 50, 119, 109}));
    // A step that would leave no pixel inside the frame is refused; steps
    // count from the last point, refused or not.
    pen(OS_PEN_MOVE, 47, 87);
    EXPECT_EQ(rect_of(dock), (ints{50, 50, 119, 109}));
    pen(OS_PEN_MOVE, -12, 87);
    EXPECT_EQ(rect_of(dock), (ints{50, 50, 60, 109}));  // 11 = 5 + 5 + 1
    pen(OS_PEN_MOVE, -13, 87);
    EXPECT_EQ(rect_of(dock), (ints{50, 50, 60, 109}));
    pen(OS_PEN_UP, -13, 87);
    EXPECT_EQ(screen_pixel(screen, 52, 80), plain);  // resize mode left

    // Zones by thirds: the top-left third moves both top-left edges.
    pen(OS_PEN_DOWN, 51, 51);
    widget_run_for(1000);
    drag(51, 51, 45, 41);
    pen(OS_PEN_UP, 45, 41);
    EXPECT_EQ(rect_of(dock), (ints{44, 40, 60, 109}));
    tdock_free(dock);
  });
}

// Each zone moves its own edges: a held press on the frame, then 6 pixels
// right and down.
TEST(Dock, EveryResizeZoneMovesItsEdges) {
  const struct {
    int32_t zone, x, y;
    ints rect;
  } rows[] = {{2, 80, 52, {50, 56, 109, 109}},  {3, 107, 52, {50, 56, 115, 109}}, {4, 52, 80, {56, 50, 109, 109}},
              {6, 52, 107, {56, 50, 109, 115}}, {7, 80, 107, {50, 50, 109, 115}}, {8, 107, 107, {50, 50, 115, 115}}};
  for (const auto &r : rows) {
    SCOPED_TRACE(r.zone);
    with_dock_screen([&r](tscreen *) {
      tdock *dock = shown_dock({50, 50, 109, 109});
      tdock_set_can_drag_func(dock, refuse_drag);
      pen(OS_PEN_DOWN, r.x, r.y);
      widget_run_for(1000);
      drag(r.x, r.y, r.x + 6, r.y + 6);
      pen(OS_PEN_UP, r.x + 6, r.y + 6);
      EXPECT_EQ(rect_of(dock), r.rect);
      tdock_free(dock);
    });
  }
}

TEST(Dock, DockingToASideRemembersTheThicknessItHadThere) {
  with_dock_screen([](tscreen *screen) {
    tdock *dock = shown_dock({60, 40, 99, 79});
    tdock_set_on_drag_end(dock, count_drag_end);
    uint32_t background = screen_pixel(screen, 10, 100);

    // Dragged within 5 pixels of the left edge: the preview shows half the
    // screen, and the release docks the dock there.
    pen(OS_PEN_DOWN, 80, 60);
    drag(80, 60, 5, 60);
    EXPECT_EQ(screen_pixel(screen, 10, 100), background);
    pen(OS_PEN_MOVE, 4, 60);
    EXPECT_NE(screen_pixel(screen, 10, 100), background);
    EXPECT_EQ(g_drag_ends, 0);
    pen(OS_PEN_UP, 4, 60);
    EXPECT_EQ(rect_of(dock), (ints{0, 0, 99, 159}));
    EXPECT_EQ(g_drag_ends, 1);

    // Moved while docked it stays put until the pen is 5 pixels off the edge,
    // then floats at its floating size with the grab point under the pen
    // (the grab offset halved where the floating dock is smaller).
    tcontrol_set_width(&dock->_control, 70);
    pen(OS_PEN_DOWN, 2, 80);
    pen(OS_PEN_MOVE, 4, 80);
    EXPECT_EQ(rect_of(dock), (ints{0, 0, 69, 159}));
    pen(OS_PEN_MOVE, 5, 80);
    EXPECT_EQ(rect_of(dock), (ints{3, 40, 42, 79}));  // grab (2, 80 / 2)
    drag(5, 80, 150, 80);
    pen(OS_PEN_UP, 150, 80);
    EXPECT_EQ(rect_of(dock), (ints{148, 40, 187, 79}));

    // Back to the left: the preview and the dock take the 70 pixels it had.
    pen(OS_PEN_DOWN, 160, 60);
    drag(160, 60, 2, 60);
    EXPECT_NE(screen_pixel(screen, 65, 100), background);
    EXPECT_EQ(screen_pixel(screen, 75, 100), background);
    pen(OS_PEN_UP, 2, 60);
    EXPECT_EQ(rect_of(dock), (ints{0, 0, 69, 159}));
    EXPECT_EQ(g_drag_ends, 3);

    // The right side is new: half of the screen from the right edge.
    stroke(30, 60, 197, 60);
    EXPECT_EQ(rect_of(dock), (ints{100, 0, 199, 159}));
    tdock_free(dock);
  });
}

TEST(Dock, ARefusedSideIsInertWhileTheOthersSnap) {
  with_dock_screen([](tscreen *screen) {
    tdock *dock = shown_dock({60, 40, 99, 79});
    tdock_set_can_dock_func(dock, refuse_top);
    EXPECT_EQ(tdock_set_side(dock, TDOCK_TOP), 0);
    EXPECT_EQ(rect_of(dock), (ints{60, 40, 99, 79}));
    uint32_t background = screen_pixel(screen, 150, 10);

    pen(OS_PEN_DOWN, 80, 60);
    drag(80, 60, 80, 2);
    EXPECT_EQ(screen_pixel(screen, 150, 10), background);  // no preview
    pen(OS_PEN_UP, 80, 2);
    EXPECT_EQ(rect_of(dock), (ints{60, -18, 99, 21}));  // still floating

    stroke(80, 2, 80, 157);
    EXPECT_EQ(rect_of(dock), (ints{0, 80, 199, 159}));
    EXPECT_EQ(tdock_set_side(dock, 5), 0);
    tdock_free(dock);
  });
}

namespace {

// Content of one child control that takes the pen events on it.
tcontrol *g_content;
int g_moves;
int32_t one_child(tdock *) { return 1; }
tcontrol *the_child(tdock *, int32_t index) { return index == 0 ? g_content : nullptr; }
int take_pen(tcontrol *c, int, int32_t x, int32_t y, uint32_t) {
  const trect *r = tsurface_get_rect(&c->_surface);
  return x >= r->x1 && x <= r->x2 && y >= r->y1 && y <= r->y2;
}
void count_move(tdock *) { g_moves++; }

}  // namespace

TEST(Dock, ContentTakesThePenFirstAndADragCanStartFromOutside) {
  with_dock_screen([](tscreen *) {
    tdock *dock = shown_dock({60, 40, 99, 79});
    trect inner = {5, 5, 19, 19};  // dock coordinates
    g_content = tcontrol_new(&dock->_control, &inner, nullptr);
    tcontrol_set_on_pen(g_content, take_pen);
    tdock_set_child_funcs(dock, one_child, the_child);
    tdock_set_on_move(dock, count_move);
    g_moves = 0;

    // On the content the dock does not move; beside it, it does.
    stroke(70, 50, 90, 50);
    EXPECT_EQ(rect_of(dock), (ints{60, 40, 99, 79}));
    stroke(90, 70, 100, 75);
    EXPECT_EQ(rect_of(dock), (ints{70, 45, 109, 84}));

    // A drag begun by the owner (here after the content took the press)
    // follows the pen.
    pen(OS_PEN_DOWN, 80, 50);
    tdock_begin_drag(dock, 80, 50);
    EXPECT_TRUE(tdock_is_dragging(dock));
    pen(OS_PEN_MOVE, 85, 60);
    pen(OS_PEN_UP, 85, 60);
    EXPECT_FALSE(tdock_is_dragging(dock));
    EXPECT_EQ(rect_of(dock), (ints{75, 55, 114, 94}));
    EXPECT_EQ(g_moves, 4);
    tdock_free(dock);
    tcontrol_free(g_content);
  });
}
