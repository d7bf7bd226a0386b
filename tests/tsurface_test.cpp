// Surfaces: realise order, updates that climb to the screen, dirty areas,
// geometry that does or does not remake the buffer, empty surfaces, and the
// screen slots a torn-down surface leaves.
#include "tsurface.h"

#include <gtest/gtest.h>

#include "screen_fixture.h"

namespace {

std::vector<trect> g_painted;
void record_paint(tscreen *, const trect *rect) { g_painted.push_back(*rect); }

void log_rect_changed(tsurface *s, const trect *) {
  g_screen_log.push_back(static_cast<named_surface *>(tsurface_get_owner(s))->name + ":rect");
}
void log_parent_resized(tsurface *s, const trect *r) {
  g_screen_log.push_back(static_cast<named_surface *>(tsurface_get_owner(s))->name + ":parent " +
                         std::to_string(r->x2 - r->x1 + 1));
}

std::vector<int32_t> fields(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }
const tbitmap *buffer_of(named_surface &s) { return tcanvas_get_bitmap(tsurface_get_canvas(&s.surface)); }

// A parent with one child, both realised.
void adopt(named_surface *parent, named_surface *child) {
  parent->children = {&child->surface};
  named_surface_add_children(parent);
}

}  // namespace

TEST(Surface, RealiseNotifiesDrawsAndComposesChildrenOnce) {
  run_on_screen([](tscreen *) {
    named_surface parent("parent", nullptr, {5, 5, 24, 24}, 0xFFFFFFFFu);
    named_surface child("child", &parent.surface, {2, 3, 5, 6}, 0xFF0000FFu);
    adopt(&parent, &child);
    parent.children.push_back(nullptr);
    tsurface_set_on_rect_changed(&parent.surface, log_rect_changed);
    tsurface_set_on_parent_resized(&child.surface, log_parent_resized);

    EXPECT_EQ(tsurface_update(&parent.surface, nullptr), 0);  // not realised yet
    EXPECT_EQ(parent.draws, 0);
    EXPECT_EQ(tsurface_realize(&parent.surface), 1);
    EXPECT_EQ(tsurface_realize(&parent.surface), 1);
    EXPECT_EQ(g_screen_log, (std::vector<std::string>{"parent:rect", "child:parent 20"}));
    EXPECT_EQ(std::make_pair(parent.draws, child.draws), std::make_pair(1, 1));
    EXPECT_TRUE(tsurface_is_realized(&child.surface));
    EXPECT_EQ(tbitmap_get_pixel(buffer_of(parent), 2, 3), 0x001Fu);
    EXPECT_EQ(tbitmap_get_pixel(buffer_of(parent), 1, 3), 0xFFFFu);
    trect on_screen;
    tsurface_get_screen_rect(&child.surface, &on_screen);
    EXPECT_EQ(fields(on_screen), (std::vector<int32_t>{7, 8, 10, 11}));
  });
}

TEST(Surface, UpdateClimbsToTheScreenWithTheAreaInScreenCoordinates) {
  run_on_screen([](tscreen *screen) {
    named_surface parent("parent", nullptr, {10, 20, 39, 39}, 0xFFFFFFFFu);
    named_surface child("child", &parent.surface, {4, 4, 13, 13}, 0xFF00FF00u);
    adopt(&parent, &child);
    tsurface_realize(&parent.surface);
    tscreen_insert_surface(screen, &parent.surface);
    tscreen_set_paint_hook(screen, record_paint);
    g_painted.clear();

    // Under a plain surface that holds the whole area nothing behind shows:
    // the screen does not run its hook there.
    trect inside = {12, 22, 30, 30};
    tscreen_paint(screen, &inside);
    EXPECT_TRUE(g_painted.empty());
    // A keyed parent lets the hook's pixels through where it holds its key.
    tsurface_set_color_key(&parent.surface, tcolor{0x12, 0x34, 0x56, 255});
    tsurface_set_color_key_enabled(&parent.surface, 1);

    trect local = {3, 1, 1, 2};  // reversed corners are normalised
    EXPECT_EQ(tsurface_update(&child.surface, &local), 1);
    ASSERT_EQ(g_painted.size(), 1u);
    EXPECT_EQ(fields(g_painted[0]), (std::vector<int32_t>{15, 25, 17, 26}));
    EXPECT_EQ(screen_pixel(screen, 15, 25), 0x07E0u);

    // A move marks the old area: the next update repaints both.
    tsurface_move(&child.surface, 5, 0, 0);
    trect dirty;
    ASSERT_EQ(tsurface_get_dirty_rect(&child.surface, &dirty), 1);
    EXPECT_EQ(fields(dirty), (std::vector<int32_t>{4, 4, 18, 13}));
    tsurface_update(&child.surface, &local);
    EXPECT_EQ(fields(g_painted.back()), (std::vector<int32_t>{14, 24, 28, 33}));
    EXPECT_EQ(tsurface_get_dirty_rect(&child.surface, &dirty), 0);
  });
}

TEST(Surface, SameSizeKeepsTheBufferButMarksTheOldArea) {
  run_on_screen([](tscreen *) {
    named_surface s("s", nullptr, {0, 0, 9, 9});
    tsurface_set_on_rect_changed(&s.surface, log_rect_changed);
    tsurface_realize(&s.surface);
    g_screen_log.clear();
    const tbitmap *buffer = buffer_of(s);

    tsurface_resize(&s.surface, 10, 10);
    EXPECT_EQ(buffer_of(s), buffer);
    EXPECT_TRUE(g_screen_log.empty());
    trect dirty;
    EXPECT_EQ(tsurface_get_dirty_rect(&s.surface, &dirty), 1);

    tsurface_set_rect(&s.surface, 3, 3, 10, 10);  // moved, same size: told, same buffer
    EXPECT_EQ(g_screen_log.size(), 1u);
    EXPECT_EQ(buffer_of(s), buffer);

    tsurface_resize(&s.surface, 12, 7);
    EXPECT_EQ(g_screen_log.size(), 2u);
    EXPECT_EQ(std::vector<int32_t>({tbitmap_get_width(buffer_of(s)), tbitmap_get_height(buffer_of(s)),
                                    tbitmap_is_top_down(buffer_of(s)) ? 1 : 0}),
              std::vector<int32_t>({12, 7, 1}));
    EXPECT_EQ(fields(*tsurface_get_rect(&s.surface)), (std::vector<int32_t>{3, 3, 14, 9}));
  });
}

// Empty surfaces and invisible ones compose nothing; an invisible one still
// paints into its own buffer.
TEST(Surface, EmptySidesAreValidAndInvisibleOnesStillPaintButComposeNothing) {
  run_on_screen([](tscreen *screen) {
    named_surface empty("empty", nullptr, {5, 5, 4, 14}, 0xFFFF0000u), flat("flat", nullptr, {0, 0, 9, 9}, 0xFFFF0000u);
    named_surface hidden("hidden", nullptr, {20, 0, 27, 7}, 0xFFFF0000u);
    EXPECT_EQ(tsurface_get_width(&empty.surface), 0);
    EXPECT_EQ(tbitmap_get_width(buffer_of(empty)), 0);
    for (named_surface *s : {&empty, &flat, &hidden}) {
      tsurface_realize(&s->surface);
      tscreen_insert_surface(screen, &s->surface);
    }
    tsurface_set_rect(&flat.surface, 0, 0, 10, 0);
    tsurface_resize(&flat.surface, -4, 3);  // a negative side is an empty one
    EXPECT_EQ(tsurface_get_width(&flat.surface), 0);
    tsurface_set_visible(&hidden.surface, 0);
    tsurface_set_update_mode(&hidden.surface, 1, 0);
    tbitmap_fill_rect(tscreen_get_bitmap(screen), 0, 0, 63, 47, 0xFF000000u);
    tscreen_paint(screen, nullptr);
    EXPECT_EQ(tsurface_update(&empty.surface, nullptr), 1);
    hidden.fill = 0xFF00FF00u;
    EXPECT_EQ(tsurface_update(&hidden.surface, nullptr), 1);
    EXPECT_EQ(tbitmap_get_pixel(buffer_of(hidden), 1, 1), 0x07E0u);
    for (auto [x, y] : {std::pair{5, 5}, {0, 0}, {21, 1}}) EXPECT_EQ(screen_pixel(screen, x, y), 0u) << x;
  });
}

TEST(Surface, DirectUpdateWithSyncRecomposesTheAncestors) {
  run_on_screen([](tscreen *screen) {
    named_surface parent("parent", nullptr, {8, 8, 27, 27}, 0xFFFFFFFFu);
    named_surface child("child", &parent.surface, {2, 2, 5, 5}, 0xFF0000FFu);
    adopt(&parent, &child);
    tsurface_realize(&parent.surface);
    tscreen_insert_surface(screen, &parent.surface);
    tscreen_paint(screen, nullptr);
    tsurface_set_update_mode(&child.surface, 1, 1);
    child.fill = 0xFFFF0000u;
    tsurface_update(&child.surface, nullptr);
    EXPECT_EQ(screen_pixel(screen, 10, 10), 0xF800u);
    EXPECT_EQ(tbitmap_get_pixel(buffer_of(parent), 2, 2), 0xF800u);
    EXPECT_EQ(parent.draws, 1);  // the parent was recomposed, not repainted
  });
}

// A surface that composes itself through its hook keeps no buffer of its
// own, so a whole-screen one costs nothing; dropping the hook, or updating
// directly (which shows the buffer), brings a buffer of its size back.
void compose_child(tsurface *surface, tcanvas *canvas, const trect *) {
  named_surface *self = static_cast<named_surface *>(tsurface_get_owner(surface));
  for (tsurface *child : self->children) tsurface_compose_onto(child, canvas);
}

TEST(Surface, AComposeHookLeavesTheSurfaceWithoutABuffer) {
  run_on_screen([](tscreen *screen) {
    named_surface whole("whole", nullptr, {0, 0, 63, 47}, 0xFFFFFFFFu);
    named_surface child("child", &whole.surface, {2, 2, 5, 5}, 0xFF0000FFu);
    adopt(&whole, &child);
    tsurface_set_on_compose(&whole.surface, compose_child);
    EXPECT_EQ(tbitmap_get_width(buffer_of(whole)), 0);
    tsurface_realize(&whole.surface);
    tscreen_insert_surface(screen, &whole.surface);
    tbitmap_fill_rect(tscreen_get_bitmap(screen), 0, 0, 63, 47, 0xFF000000u);
    tsurface_update(&whole.surface, nullptr);
    EXPECT_EQ(screen_pixel(screen, 3, 3), 0x001Fu);
    EXPECT_EQ(screen_pixel(screen, 10, 10), 0u);
    tsurface_resize(&whole.surface, 60, 40);
    EXPECT_EQ(tbitmap_get_width(buffer_of(whole)), 0);
    tsurface_set_update_mode(&whole.surface, 1, 0);
    EXPECT_EQ(tbitmap_get_width(buffer_of(whole)), 60);
    tsurface_set_update_mode(&whole.surface, 0, 0);
    tsurface_set_on_compose(&whole.surface, nullptr);
    EXPECT_EQ(std::make_pair(tbitmap_get_width(buffer_of(whole)), tbitmap_get_height(buffer_of(whole))),
              std::make_pair(60, 40));
  });
}

// Torn down in any order, with or without a started port: no dangling links.
TEST(SurfaceTeardown, ListedSurfacesLeaveTheListWithoutAPort) {
  tscreen screen;
  ASSERT_EQ(tscreen_init(&screen, 16, -16), 1);
  named_surface a("a", nullptr, {0, 0, 3, 3}), b("b", nullptr, {0, 0, 3, 3}), c("c", nullptr, {0, 0, 3, 3});
  for (named_surface *s : {&a, &b, &c}) tscreen_insert_surface(&screen, &s->surface);
  b.deinit();
  EXPECT_EQ(screen._surfaces.next, &c.surface._link);
  EXPECT_EQ(c.surface._link.next, &a.surface._link);
  a.deinit();
  tscreen_deinit(&screen);  // c is still listed: the screen lets go of it
  EXPECT_EQ(tsurface_is_linked(&c.surface), 0);
}
