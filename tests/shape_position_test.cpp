// The Pan tool: the view follows the pen between pen-down and pen-up, the
// owner hears of every move, and nothing is recorded.
#include "shape_position.h"

#include <gtest/gtest.h>

#include <vector>

#include "paint_fixture.h"

namespace {

int g_moves = 0;

class PanTest : public PaintTest {
 protected:
  void SetUp() override {
    PaintTest::SetUp();
    g_moves = 0;
    shape_position_set_on_move(pan(), [](shape *) { g_moves++; });
  }
  shape *pan() const { return tool(SHAPE_ID_PAN); }
  std::vector<int32_t> origin() const {
    tpoint o;
    paint_context_get_origin(pc, &o);
    return {o.x, o.y};
  }
};

}  // namespace

TEST_F(PanTest, TheViewFollowsThePenOnlyWhileItIsDown) {
  paint_context_set_origin(pc, 40, 50);
  auto before = canvas_bytes();
  EXPECT_EQ(shape_input(pan(), SHAPE_PEN_MOVE, 10, 10, 0), 0);
  EXPECT_EQ(shape_input(pan(), SHAPE_PEN_DOWN, 100, 100, 0), 1);
  EXPECT_EQ(origin(), (std::vector<int32_t>{40, 50}));
  shape_input(pan(), SHAPE_PEN_MOVE, 130, 90, 0);
  EXPECT_EQ(origin(), (std::vector<int32_t>{70, 40}));
  shape_input(pan(), SHAPE_PEN_MOVE, 120, 120, 0);
  EXPECT_EQ(origin(), (std::vector<int32_t>{60, 70}));
  EXPECT_EQ(g_moves, 2);
  EXPECT_EQ(shape_input(pan(), SHAPE_PEN_UP, 0, 0, 0), 1);
  EXPECT_EQ(shape_input(pan(), SHAPE_PEN_MOVE, 500, 500, 0), 0);
  EXPECT_EQ(origin(), (std::vector<int32_t>{60, 70}));
  EXPECT_EQ(canvas_bytes(), before);
  EXPECT_EQ(paint_history_get_count(history), 0);
}

TEST_F(PanTest, AViewPushedToTheEdgeOfTheRangeStaysThere) {
  paint_context_set_origin(pc, INT32_MAX - 5, INT32_MIN + 5);
  shape_input(pan(), SHAPE_PEN_DOWN, 0, 0, 0);
  shape_input(pan(), SHAPE_PEN_MOVE, 100, -100, 0);
  EXPECT_EQ(origin(), (std::vector<int32_t>{INT32_MAX, INT32_MIN}));
  shape_input(pan(), SHAPE_PEN_UP, 100, -100, 0);
}

int main(int argc, char **argv) { return paint_test_main(argc, argv); }
