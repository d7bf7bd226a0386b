// Screen fixture and logging surfaces for the screen and surface tests.
#include "screen_fixture.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "port_test_app.h"
#include "tcanvas.h"
#include "ttdrawer.h"

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

uint32_t screen_rgb565(uint32_t word) {
  return (word >> 19 & 0x1F) << 11 | (word >> 10 & 0x3F) << 5 | (word >> 3 & 0x1F);
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

// The rows of a control on the screen that hold something besides its most
// common colour, two pixels in from each side (the frame left out).
int32_t surface_ink_rows(tsurface *surface) {
  trect r;
  tsurface_get_screen_rect(surface, &r);
  tscreen_paint(tscreen_get(), nullptr);
  std::vector<uint32_t> all;
  for (int32_t y = r.y1 + 2; y <= r.y2 - 2; y++)
    for (int32_t x = r.x1 + 2; x <= r.x2 - 2; x++) all.push_back(screen_pixel(tscreen_get(), x, y));
  std::vector<uint32_t> sorted = all;
  std::sort(sorted.begin(), sorted.end());
  uint32_t common = sorted.empty() ? 0 : sorted[0];
  size_t best = 0;
  for (size_t i = 0, j; i < sorted.size(); i = j) {
    for (j = i; j < sorted.size() && sorted[j] == sorted[i];) j++;
    if (j - i > best) best = j - i, common = sorted[i];
  }
  int32_t width = r.x2 - r.x1 - 3, first = -1, last = -1;
  for (size_t i = 0; i < all.size(); i++)
    if (all[i] != common) {
      int32_t row = int32_t(i) / width;
      if (first < 0) first = row;
      last = row;
    }
  return first < 0 ? 0 : last - first + 1;
}

// The rows the words take drawn alone in the drawer's font on white.
int32_t text_ink_rows(const ttdrawer *font, const char16_t *text) {
  constexpr int32_t w = 600, h = 100;
  tcanvas canvas{};
  EXPECT_EQ(tcanvas_init(&canvas, nullptr, 16, w, h), 1);
  ttdrawer *drawer = ttdrawer_copy(font);
  ttdrawer_set_draw_func(drawer, ttdrawer_draw_standard);
  ttdrawer_set_alignment(drawer, 0);
  ttdrawer_set_offset_x(drawer, 0);
  ttdrawer_set_offset_y(drawer, 0);
  ttdrawer_set_color(drawer, tcolor_rgba(0, 0, 0));
  const trect all = {0, 0, w - 1, h - 1};
  ttdrawer_draw(drawer, &canvas, text, -1, &all);
  ttdrawer_free(drawer);
  int32_t first = -1, last = -1;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++)
      if (tbitmap_get_pixel(canvas._bitmap, x, y) != 0xFFFF) {
        if (first < 0) first = y;
        last = y;
      }
  tcanvas_deinit(&canvas);
  return first < 0 ? 0 : last - first + 1;
}

