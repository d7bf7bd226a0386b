// The Text tool: the box it hands over, and that its dashed preview never
// stays in the painting, whatever the pen and the loop do.
#include "shape_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "paint_fixture.h"

namespace {

std::vector<trect> g_placed;

class TextTest : public PaintTest {
 protected:
  void SetUp() override {
    PaintTest::SetUp();
    g_placed.clear();
    shape_text_set_on_place(text(), [](shape *, const trect *box) { g_placed.push_back(*box); });
  }
  shape *text() const { return tool(SHAPE_ID_TEXT); }
};

}  // namespace

TEST_F(TextTest, TheBoxArrivesNormalisedAndLeavesTheCanvas) {
  auto before = canvas_bytes();
  pen(text(), SHAPE_PEN_DOWN, 100, 80);
  pen(text(), SHAPE_PEN_MOVE, 20, 10);
  test_run_active_objects();
  EXPECT_NE(canvas_bytes(), before) << "the dashed box shows while dragging";
  pen(text(), SHAPE_PEN_UP, 20, 10);
  ASSERT_EQ(g_placed.size(), 1u);
  trect want = {20, 10, 100, 80};
  EXPECT_TRUE(trect_is_equal(&g_placed[0], &want));
  EXPECT_EQ(canvas_bytes(), before);
  EXPECT_EQ(paint_history_get_count(history), 0);
}

TEST_F(TextTest, NoDashedPixelRemainsWhateverTheLoopDid) {
  auto before = canvas_bytes();
  // The loop runs after the first `shown` moves only: a tap, a drag back to
  // its start whose last box is still shown at pen-up, a fast drag whose
  // preview is still pending at pen-up, and a drag half off the screen.
  struct row {
    std::vector<tpoint> moves;
    size_t shown;
    size_t placed;
  } rows[] = {
      {{}, 0, 0},
      {{{150, 120}, {30, 30}}, 1, 0},
      {{{40, 40}, {90, 70}, {130, 100}, {170, 140}}, 0, 1},
      {{{-300, -200}, {180, 140}}, 2, 1},
  };
  size_t placed = 0;
  for (const row &r : rows) {
    pen(text(), SHAPE_PEN_DOWN, 30, 30);
    for (size_t i = 0; i < r.moves.size(); i++) {
      pen(text(), SHAPE_PEN_MOVE, r.moves[i].x, r.moves[i].y);
      if (i < r.shown) test_run_active_objects();
    }
    tpoint last = r.moves.empty() ? tpoint{30, 30} : r.moves.back();
    pen(text(), SHAPE_PEN_UP, last.x, last.y);
    EXPECT_EQ(canvas_bytes(), before) << r.moves.size() << " moves, at pen-up";
    test_run_active_objects();
    placed += r.placed;
    EXPECT_EQ(g_placed.size(), placed) << r.moves.size() << " moves";
    EXPECT_EQ(canvas_bytes(), before) << r.moves.size() << " moves, after the loop";
  }
}

int main(int argc, char **argv) { return paint_test_main(argc, argv); }
