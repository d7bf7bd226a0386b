// Screen fixture and logging surfaces for the screen and surface tests.
#include "screen_fixture.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "port_test_app.h"

std::vector<std::string> g_screen_log;

void run_on_screen(const std::function<void(tscreen *)> &body, const char *size) {
  g_screen_log.clear();
  port_test_run_app(
      [&] {
        body(tscreen_get());
        return 0;
      },
      size);
}

static named_surface *named(tsurface *s) { return static_cast<named_surface *>(tsurface_get_owner(s)); }

static void fill_draw(tsurface *s, tcanvas *canvas, const trect *rect) {
  named(s)->draws++;
  tbitmap_fill_rect(tcanvas_get_bitmap(canvas), rect->x1, rect->y1, rect->x2, rect->y2, named(s)->fill);
}

static int log_pen(tsurface *s, int type, int32_t x, int32_t y, uint32_t) {
  g_screen_log.push_back(named(s)->name + ":pen " + std::to_string(type) + " " + std::to_string(x) + " " +
                         std::to_string(y));
  return named(s)->pen_answer;
}

static int log_key(tsurface *s, uint32_t code, uint32_t, uint32_t) {
  g_screen_log.push_back(named(s)->name + ":key " + std::to_string(code));
  return named(s)->key_answer;
}

static void log_compose(tsurface *s, tcanvas *, const trect *) { g_screen_log.push_back(named(s)->name + ":compose"); }

static int32_t child_count(tsurface *s) { return int32_t(named(s)->children.size()); }
static tsurface *child_at(tsurface *s, int32_t i) { return named(s)->children[size_t(i)]; }

void named_surface_init(named_surface *s, const char *name, tsurface *parent, trect rect, uint32_t fill) {
  ASSERT_EQ(tsurface_init(&s->surface, parent, &rect, s), 1);
  s->live = true;
  s->name = name;
  s->fill = fill;
  tsurface_set_on_paint(&s->surface, fill_draw);
}

void named_surface_log_input(named_surface *s) {
  tsurface_set_on_pen(&s->surface, log_pen);
  tsurface_set_on_key(&s->surface, log_key);
}

void named_surface_log_compose(named_surface *s) { tsurface_set_on_compose(&s->surface, log_compose); }

void named_surface_add_children(named_surface *s) { tsurface_set_children_fns(&s->surface, child_count, child_at); }

uint32_t screen_pixel(tscreen *screen, int32_t x, int32_t y) { return tbitmap_get_pixel(tscreen_get_bitmap(screen), x, y); }

std::vector<uint32_t> screen_all_pixels(tscreen *screen) {
  tbitmap *bitmap = tscreen_get_bitmap(screen);
  std::vector<uint32_t> pixels;
  for (int32_t y = 0; y < tbitmap_get_height(bitmap); y++)
    for (int32_t x = 0; x < tbitmap_get_width(bitmap); x++) pixels.push_back(tbitmap_get_pixel(bitmap, x, y));
  return pixels;
}

static void paint_tree(tsurface *s) {
  if (s->_child_count && s->_child_at)
    for (int32_t i = 0, n = s->_child_count(s); i < n; i++)
      if (tsurface *child = s->_child_at(s, i)) paint_tree(child);
  tsurface_paint(s);
}

void screen_repaint_all(tscreen *screen) {
  for (tsurface_link *link = screen->_surfaces.next; link != &screen->_surfaces; link = link->next)
    paint_tree(reinterpret_cast<tsurface *>(reinterpret_cast<char *>(link) - offsetof(tsurface, _link)));
  tscreen_paint(screen, nullptr);
}

size_t screen_count_unlike(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b) {
  if (a.size() != b.size()) return std::max(a.size(), b.size());
  size_t unlike = 0;
  for (size_t i = 0; i < a.size(); i++)
    for (int shift : {11, 5, 0}) {
      int mask = shift == 5 ? 63 : 31;
      if (std::abs(int(a[i] >> shift & mask) - int(b[i] >> shift & mask)) > 1) {
        unlike++;
        break;
      }
    }
  return unlike;
}
