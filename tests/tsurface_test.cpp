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

bool same(const trect &a, const trect &b) { return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2; }

}  // namespace

TEST(Surface, RealiseNotifiesDrawsAndComposesChildrenOnce) {
  run_on_screen([](tscreen *) {
    named_surface parent, child;
    named_surface_init(&parent, "parent", nullptr, {5, 5, 24, 24}, 0xFFFFFFFFu);
    named_surface_init(&child, "child", &parent.surface, {2, 3, 5, 6}, 0xFF0000FFu);
    parent.children = {&child.surface, nullptr};
    named_surface_add_children(&parent);
    tsurface_set_on_rect_changed(&parent.surface, log_rect_changed);
    tsurface_set_on_parent_resized(&child.surface, log_parent_resized);

    EXPECT_EQ(tsurface_update(&parent.surface, nullptr), 0);  // not realised yet
    EXPECT_EQ(parent.draws, 0);
    EXPECT_EQ(tsurface_realize(&parent.surface), 1);
    EXPECT_EQ(tsurface_realize(&parent.surface), 1);
    std::vector<std::string> want = {"parent:rect", "child:parent 20"};
    EXPECT_EQ(g_screen_log, want);
    EXPECT_EQ(parent.draws, 1);
    EXPECT_EQ(child.draws, 1);
    EXPECT_TRUE(tsurface_is_realized(&child.surface));
    const tbitmap *buffer = tcanvas_get_bitmap(tsurface_get_canvas(&parent.surface));
    EXPECT_EQ(tbitmap_get_pixel(buffer, 2, 3), 0x001Fu);
    EXPECT_EQ(tbitmap_get_pixel(buffer, 1, 3), 0xFFFFu);
    trect on_screen;
    tsurface_get_screen_rect(&child.surface, &on_screen);
    EXPECT_TRUE(same(on_screen, {7, 8, 10, 11}));
    tsurface_deinit(&child.surface);
    tsurface_deinit(&parent.surface);
  });
}

TEST(Surface, UpdateClimbsToTheScreenWithTheAreaInScreenCoordinates) {
  run_on_screen([](tscreen *screen) {
    named_surface parent, child;
    named_surface_init(&parent, "parent", nullptr, {10, 20, 39, 39}, 0xFFFFFFFFu);
    named_surface_init(&child, "child", &parent.surface, {4, 4, 13, 13}, 0xFF00FF00u);
    parent.children = {&child.surface};
    named_surface_add_children(&parent);
    tsurface_realize(&parent.surface);
    tscreen_insert_surface(screen, &parent.surface);
    tscreen_set_paint_hook(screen, record_paint);
    g_painted.clear();

    trect local = {3, 1, 1, 2};  // reversed corners are normalised
    EXPECT_EQ(tsurface_update(&child.surface, &local), 1);
    ASSERT_EQ(g_painted.size(), 1u);
    EXPECT_TRUE(same(g_painted[0], {15, 25, 17, 26}));
    EXPECT_EQ(screen_pixel(screen, 15, 25), 0x07E0u);

    // A move marks the old area: the next update repaints both.
    tsurface_move(&child.surface, 5, 0, 0);
    trect dirty;
    ASSERT_EQ(tsurface_get_dirty_rect(&child.surface, &dirty), 1);
    EXPECT_TRUE(same(dirty, {4, 4, 18, 13}));
    tsurface_update(&child.surface, &local);
    EXPECT_TRUE(same(g_painted.back(), {14, 24, 28, 33}));
    EXPECT_EQ(tsurface_get_dirty_rect(&child.surface, &dirty), 0);
    tsurface_deinit(&child.surface);
    tsurface_deinit(&parent.surface);
  });
}

TEST(Surface, SameSizeKeepsTheBufferButMarksTheOldArea) {
  run_on_screen([](tscreen *) {
    named_surface s;
    named_surface_init(&s, "s", nullptr, {0, 0, 9, 9}, 0);
    tsurface_set_on_rect_changed(&s.surface, log_rect_changed);
    tsurface_realize(&s.surface);
    g_screen_log.clear();
    const tbitmap *buffer = tcanvas_get_bitmap(tsurface_get_canvas(&s.surface));

    tsurface_resize(&s.surface, 10, 10);
    EXPECT_EQ(tcanvas_get_bitmap(tsurface_get_canvas(&s.surface)), buffer);
    EXPECT_TRUE(g_screen_log.empty());
    trect dirty;
    EXPECT_EQ(tsurface_get_dirty_rect(&s.surface, &dirty), 1);

    tsurface_set_rect(&s.surface, 3, 3, 10, 10);  // moved, same size: told, same buffer
    EXPECT_EQ(g_screen_log.size(), 1u);
    EXPECT_EQ(tcanvas_get_bitmap(tsurface_get_canvas(&s.surface)), buffer);

    tsurface_resize(&s.surface, 12, 7);
    EXPECT_EQ(g_screen_log.size(), 2u);
    const tbitmap *grown = tcanvas_get_bitmap(tsurface_get_canvas(&s.surface));
    EXPECT_EQ(tbitmap_get_width(grown), 12);
    EXPECT_EQ(tbitmap_get_height(grown), 7);
    EXPECT_TRUE(tbitmap_is_top_down(grown));
    EXPECT_TRUE(same(*tsurface_get_rect(&s.surface), {3, 3, 14, 9}));
    tsurface_deinit(&s.surface);
  });
}

TEST(Surface, EmptySidesAreValidAndComposeNothing) {
  run_on_screen([](tscreen *screen) {
    named_surface empty, flat;
    named_surface_init(&empty, "empty", nullptr, {5, 5, 4, 14}, 0xFFFF0000u);
    named_surface_init(&flat, "flat", nullptr, {0, 0, 9, 9}, 0xFFFF0000u);
    EXPECT_EQ(tsurface_get_width(&empty.surface), 0);
    EXPECT_EQ(tbitmap_get_width(tcanvas_get_bitmap(tsurface_get_canvas(&empty.surface))), 0);
    tsurface_realize(&empty.surface);
    tsurface_realize(&flat.surface);
    tsurface_set_rect(&flat.surface, 0, 0, 10, 0);
    tsurface_resize(&flat.surface, -4, 3);  // a negative side is an empty one
    EXPECT_EQ(tsurface_get_width(&flat.surface), 0);
    tscreen_insert_surface(screen, &empty.surface);
    tscreen_insert_surface(screen, &flat.surface);
    tbitmap_fill_rect(tscreen_get_bitmap(screen), 0, 0, 63, 47, 0xFF000000u);
    tscreen_paint(screen, nullptr);
    EXPECT_EQ(tsurface_update(&empty.surface, nullptr), 1);
    EXPECT_EQ(screen_pixel(screen, 5, 5), 0u);
    EXPECT_EQ(screen_pixel(screen, 0, 0), 0u);
    tsurface_deinit(&empty.surface);
    tsurface_deinit(&flat.surface);
  });
}

TEST(Surface, InvisibleStillPaintsIntoItsOwnBuffer) {
  run_on_screen([](tscreen *screen) {
    named_surface s;
    named_surface_init(&s, "s", nullptr, {0, 0, 7, 7}, 0xFFFF0000u);
    tsurface_realize(&s.surface);
    tscreen_insert_surface(screen, &s.surface);
    tsurface_set_visible(&s.surface, 0);
    tsurface_set_update_mode(&s.surface, 1, 0);
    tbitmap_fill_rect(tscreen_get_bitmap(screen), 0, 0, 63, 47, 0xFF000000u);
    s.fill = 0xFF00FF00u;
    EXPECT_EQ(tsurface_update(&s.surface, nullptr), 1);
    EXPECT_EQ(tbitmap_get_pixel(tcanvas_get_bitmap(tsurface_get_canvas(&s.surface)), 1, 1), 0x07E0u);
    EXPECT_EQ(screen_pixel(screen, 1, 1), 0u);
    tsurface_deinit(&s.surface);
  });
}

TEST(Surface, DirectUpdateWithSyncRecomposesTheAncestors) {
  run_on_screen([](tscreen *screen) {
    named_surface parent, child;
    named_surface_init(&parent, "parent", nullptr, {8, 8, 27, 27}, 0xFFFFFFFFu);
    named_surface_init(&child, "child", &parent.surface, {2, 2, 5, 5}, 0xFF0000FFu);
    parent.children = {&child.surface};
    named_surface_add_children(&parent);
    tsurface_realize(&parent.surface);
    tscreen_insert_surface(screen, &parent.surface);
    tscreen_paint(screen, nullptr);
    tsurface_set_update_mode(&child.surface, 1, 1);
    child.fill = 0xFFFF0000u;
    tsurface_update(&child.surface, nullptr);
    EXPECT_EQ(screen_pixel(screen, 10, 10), 0xF800u);
    EXPECT_EQ(tbitmap_get_pixel(tcanvas_get_bitmap(tsurface_get_canvas(&parent.surface)), 2, 2), 0xF800u);
    EXPECT_EQ(parent.draws, 1);  // the parent was recomposed, not repainted
    tsurface_deinit(&child.surface);
    tsurface_deinit(&parent.surface);
  });
}

// Torn down in any order, with or without a started port: no dangling links.
TEST(SurfaceTeardown, ListedSurfacesLeaveTheListWithoutAPort) {
  tscreen screen;
  ASSERT_EQ(tscreen_init(&screen, 16, -16), 1);
  named_surface a, b, c;
  named_surface_init(&a, "a", nullptr, {0, 0, 3, 3}, 0);
  named_surface_init(&b, "b", nullptr, {0, 0, 3, 3}, 0);
  named_surface_init(&c, "c", nullptr, {0, 0, 3, 3}, 0);
  for (named_surface *s : {&a, &b, &c}) tscreen_insert_surface(&screen, &s->surface);
  tsurface_deinit(&b.surface);
  EXPECT_EQ(screen._surfaces.next, &c.surface._link);
  EXPECT_EQ(c.surface._link.next, &a.surface._link);
  tsurface_deinit(&a.surface);
  tscreen_deinit(&screen);  // c is still listed: the screen lets go of it
  EXPECT_EQ(tsurface_is_linked(&c.surface), 0);
  tsurface_deinit(&c.surface);
}
