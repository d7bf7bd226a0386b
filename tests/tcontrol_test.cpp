// Controls: docking, anchoring through a real parent resize, refused moves
// and sizes, focus hooks, hook chaining, the screen list of top-level
// controls, and the style set a control needs.
#include "tcontrol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "screen_fixture.h"
#include "tstyler.h"

namespace {

std::vector<int32_t> fields(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }
std::vector<int32_t> rect_of(tcontrol &c) { return fields(*tsurface_get_rect(&c._surface)); }
std::vector<int32_t> margins_of(tcontrol &c) {
  return {c._margin_left, c._margin_top, c._margin_right, c._margin_bottom};
}

// A parent control with a fixed list of children.
struct family {
  tcontrol parent;
  std::vector<tcontrol *> children;
};
int32_t count_children(tcontrol *c) { return int32_t(reinterpret_cast<family *>(c)->children.size()); }
tcontrol *child_at(tcontrol *c, int32_t i) { return reinterpret_cast<family *>(c)->children[size_t(i)]; }

}  // namespace

// Docked in the parent's client rect, then sized to 20 x 30: only the
// thickness changes and the far edge stays.
TEST(Control, AlignmentPlacesInTheParentClientRectAndDockedSizingKeepsTheFarEdge) {
  run_on_styled_screen([](tscreen *) {
    trect whole = {0, 0, 119, 89};
    tcontrol parent;
    ASSERT_EQ(tcontrol_init(&parent, nullptr, &whole, nullptr), 1);
    trect client = {10, 5, 110, 84};  // 101 x 80
    tcontrol_set_client_rect(&parent, &client);
    trect small = {0, 0, 9, 9};
    const struct {
      int32_t align;
      std::vector<int32_t> rect;
      uint32_t anchors;
      std::vector<int32_t> margins, sized;
    } rows[] = {
        {TCONTROL_ALIGN_LEFT, {10, 5, 59, 84}, 1 | 2 | 8, {0, 0, 51, 0}, {10, 5, 29, 84}},
        {TCONTROL_ALIGN_TOP, {10, 5, 110, 44}, 1 | 2 | 4, {0, 0, 0, 40}, {10, 5, 110, 34}},
        {TCONTROL_ALIGN_RIGHT, {60, 5, 110, 84}, 2 | 4 | 8, {50, 0, 0, 0}, {91, 5, 110, 84}},
        {TCONTROL_ALIGN_BOTTOM, {10, 45, 110, 84}, 1 | 4 | 8, {0, 40, 0, 0}, {10, 55, 110, 84}},
        {TCONTROL_ALIGN_FILL, {10, 5, 110, 84}, 15, {0, 0, 0, 0}, {10, 5, 110, 84}},
        {9, {0, 0, 9, 9}, 0, {0, 0, 0, 0}, {0, 0, 19, 29}},  // stored, nothing more
    };
    for (const auto &r : rows) {
      SCOPED_TRACE(r.align);
      tcontrol child;
      ASSERT_EQ(tcontrol_init(&child, &parent, &small, nullptr), 1);
      tcontrol_set_align(&child, r.align);
      EXPECT_EQ(rect_of(child), r.rect);
      EXPECT_EQ(child._anchors, r.anchors);
      EXPECT_EQ(margins_of(child), r.margins);
      tcontrol_set_size(&child, 20, 30);
      EXPECT_EQ(rect_of(child), r.sized);
      // The client rect follows every rect change.
      const trect *own = tsurface_get_rect(&child._surface);
      EXPECT_EQ(fields(*tcontrol_get_client_rect(&child)),
                (std::vector<int32_t>{0, 0, own->x2 - own->x1, own->y2 - own->y1}));
      tcontrol_deinit(&child);
    }
    tcontrol_deinit(&parent);
  });
}

TEST(Control, RefusedMovesAndSizesKeepRectAndMargins) {
  run_on_styled_screen([](tscreen *) {
    trect whole = {0, 0, 99, 79};
    tcontrol parent;
    ASSERT_EQ(tcontrol_init(&parent, nullptr, &whole, nullptr), 1);
    trect small = {0, 0, 9, 9};
    tcontrol child;
    ASSERT_EQ(tcontrol_init(&child, &parent, &small, nullptr), 1);
    for (int32_t align = TCONTROL_ALIGN_LEFT; align <= TCONTROL_ALIGN_FILL; align++) {
      SCOPED_TRACE(align);
      tcontrol_set_align(&child, align);
      // Margins that differ from the placement show whether anything recorded them again.
      child._margin_left = 7;
      std::vector<int32_t> rect = rect_of(child), margins = margins_of(child);
      tcontrol_move_by(&child, 3, 4, 1);
      tcontrol_move_to(&child, 30, 40, 1);
      EXPECT_EQ(rect_of(child), rect);
      EXPECT_EQ(margins_of(child), margins);
    }
    tcontrol_set_size(&child, 20, 30);  // still filling
    EXPECT_EQ(rect_of(child), (std::vector<int32_t>{0, 0, 99, 79}));
    EXPECT_EQ(child._margin_left, 7);

    tcontrol_set_align(&child, TCONTROL_ALIGN_NONE);
    tcontrol_set_rect(&child, 5, 6, 10, 20);
    EXPECT_EQ(rect_of(child), (std::vector<int32_t>{5, 6, 14, 25}));
    EXPECT_EQ(margins_of(child), (std::vector<int32_t>{5, 6, 85, 54}));
    tcontrol_deinit(&child);
    tcontrol_deinit(&parent);
  });
}

TEST(Control, AnchorsFollowTheParentWhenItResizes) {
  run_on_styled_screen([](tscreen *) {
    trect whole = {0, 0, 99, 79};
    family f;
    ASSERT_EQ(tcontrol_init(&f.parent, nullptr, &whole, nullptr), 1);
    tcontrol_set_children_fns(&f.parent, count_children, child_at);
    trect at = {10, 50, 29, 69};  // 20 x 20
    tcontrol bottom, right, both;
    ASSERT_EQ(tcontrol_init(&bottom, &f.parent, &at, nullptr), 1);
    ASSERT_EQ(tcontrol_init(&right, &f.parent, &at, nullptr), 1);
    ASSERT_EQ(tcontrol_init(&both, &f.parent, &at, nullptr), 1);
    tcontrol_set_anchors(&bottom, 0, 0, 0, 1);
    tcontrol_set_anchors(&right, 0, 0, 1, 0);
    tcontrol_set_anchors(&both, 1, 1, 1, 1);
    f.children = {&bottom, &right, &both};

    tsurface_resize(&f.parent._surface, 130, 100);  // 30 wider, 20 higher

    EXPECT_EQ(rect_of(bottom), (std::vector<int32_t>{10, 70, 29, 89}));  // keeps its height
    EXPECT_EQ(rect_of(right), (std::vector<int32_t>{10, 50, 59, 69}));   // stretches
    EXPECT_EQ(rect_of(both), (std::vector<int32_t>{10, 50, 59, 89}));
    for (tcontrol *c : f.children) tcontrol_deinit(c);
    tcontrol_deinit(&f.parent);
  });
}

TEST(Control, AnchoringIsSkippedOnlyForAParentEmptyBothWays) {
  run_on_styled_screen([](tscreen *) {
    trect at = {10, 10, 19, 19};
    tcontrol c;
    ASSERT_EQ(tcontrol_init(&c, nullptr, &at, nullptr), 1);
    tcontrol_set_anchors(&c, 1, 1, 1, 1);  // margins against the 64 x 48 screen
    trect empty = {0, 0, -1, -1};
    tcontrol_apply_anchors(&c, &empty);
    EXPECT_EQ(rect_of(c), (std::vector<int32_t>{10, 10, 19, 19}));
    trect flat = {0, 0, 99, -1};  // no rows, but columns
    tcontrol_apply_anchors(&c, &flat);
    EXPECT_EQ(rect_of(c)[0], 10);
    EXPECT_EQ(rect_of(c)[2], 99 - (63 - 19));
    tcontrol_deinit(&c);
  });
}

namespace {
std::vector<std::string> g_calls;
void focus_in(tcontrol *) { g_calls.push_back("in"); }
void focus_out(tcontrol *) { g_calls.push_back("out"); }
int base_key(tcontrol *, uint32_t code, uint32_t, uint32_t) {
  g_calls.push_back("base " + std::to_string(code));
  return 1;
}
tcontrol_key_fn g_wrapped;
int derived_key(tcontrol *c, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  g_calls.push_back("derived");
  return g_wrapped(c, code, repeat, modifiers);
}
}  // namespace

TEST(Control, FocusHooksRunOnlyOnAChangeAndKeyHooksChain) {
  run_on_styled_screen([](tscreen *screen) {
    g_calls.clear();
    trect at = {0, 0, 9, 9};
    tcontrol c;
    ASSERT_EQ(tcontrol_init(&c, nullptr, &at, nullptr), 1);
    tcontrol_set_on_focus_in(&c, focus_in);
    tcontrol_set_on_focus_out(&c, focus_out);
    for (int flag : {1, 1, 0, 0, 1}) tcontrol_set_focus(&c, flag);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"in", "out", "in"}));

    g_calls.clear();
    EXPECT_EQ(tcontrol_set_on_key(&c, base_key), nullptr);
    g_wrapped = tcontrol_set_on_key(&c, derived_key);
    EXPECT_EQ(g_wrapped, base_key);
    ASSERT_EQ(tcontrol_realize(&c), 1);
    EXPECT_EQ(tscreen_dispatch_key(screen, 'a', 0, 0), 1);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"derived", "base 97"}));
    tcontrol_deinit(&c);
  });
}

TEST(Control, TopLevelControlsAreListedFromRealiseToDeinit) {
  run_on_styled_screen([](tscreen *screen) {
    trect at = {0, 0, 9, 9};
    tcontrol *top = tcontrol_new(nullptr, &at, nullptr);
    tcontrol *child = tcontrol_new(top, &at, nullptr);
    ASSERT_TRUE(top && child);
    EXPECT_FALSE(tsurface_is_linked(&top->_surface));
    tcontrol_realize(top);
    tcontrol_realize(child);
    EXPECT_TRUE(tsurface_is_linked(&top->_surface));
    EXPECT_FALSE(tsurface_is_linked(&child->_surface));
    tcontrol_free(child);
    tcontrol_free(top);
    EXPECT_EQ(screen->_surfaces.next, &screen->_surfaces);
  });
}

TEST(Control, DefaultPaintIsTheCopiedBoxDrawerUnlessAPaintHookIsSet) {
  run_on_styled_screen([](tscreen *screen) {
    trect at = {2, 2, 11, 11};
    tcontrol *c = tcontrol_new(nullptr, &at, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(tcontrol_get_box_drawer(c), tstyler_get_default_bdrawer());
    tcontrol_realize(c);
    tscreen_paint(screen, nullptr);
    EXPECT_EQ(screen_pixel(screen, 2, 2), 0x0000u);  // black border
    EXPECT_EQ(screen_pixel(screen, 5, 5), 0xFFFFu);  // white fill
    tcontrol_set_on_paint(c, [](tcontrol *, tcanvas *canvas, const trect *r) {
      tbitmap_fill_rect(tcanvas_get_bitmap(canvas), r->x1, r->y1, r->x2, r->y2, 0xFFFF0000u);
    });
    tsurface_update(&c->_surface, nullptr);
    EXPECT_EQ(screen_pixel(screen, 2, 2), 0xF800u);
    tcontrol_free(c);
  });
}

TEST(ControlDeath, AControlBeforeTheStyleSetIsFatal) {
  EXPECT_EXIT(run_on_screen([](tscreen *) {
                trect at = {0, 0, 9, 9};
                tcontrol c;
                tcontrol_init(&c, nullptr, &at, nullptr);
              }),
              ::testing::ExitedWithCode(255), "code = tcontrol\\(");
}
