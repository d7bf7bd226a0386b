// The undo history and the pencil: an undo at the position farthest from a
// checkpoint against a rebuild from record 0 of the same 200-stroke history;
// writing one 1024 x 1024 checkpoint against zlib compressing the same bytes;
// one pen move of the pencil (its segment and the refresh of its dirty
// rectangle) against a repaint of the whole 480 x 640 screen.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_figures.h"
#include "paint_context.h"
#include "paint_history.h"
#include "shape.h"
#include "shape_pencil.h"
#include "tcanvas.h"
#include "tscreen.h"

namespace {

constexpr int32_t SCREEN_W = 480, SCREEN_H = 640;
constexpr int STROKES = 200, STROKE_POINTS = 50;
// 24 records after checkpoint 6 (the first 175 records): the most an undo replays.
constexpr int32_t FARTHEST = 198;

tcolor rgba(int r, int g, int b, int a) {
  tcolor c;
  return *tcolor_make(&c, r, g, b, a);
}

std::vector<uint8_t> payload_of(const std::vector<tpoint> &points) {
  std::vector<uint8_t> bytes;
  for (const tpoint &p : points)
    for (int32_t v : {p.x, p.y})
      for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(uint32_t(v) >> (8 * i)));
  return bytes;
}

// A painting with the pencil registered; the cache folder is a fresh one.
struct painting {
  std::string home;
  paint_context *pc = nullptr;
  paint_history *history = nullptr;
  shape *pencil = nullptr;

  painting(tscreen *screen, int32_t width, int32_t height) {
    char dir[] = "/tmp/brivola-bench-XXXXXX";
    home = mkdtemp(dir) ? dir : "/tmp";
    setenv("BRIVOLA_HOME", home.c_str(), 1);
    pc = paint_context_new(screen, width, height, rgba(0, 0, 0, 255), rgba(255, 255, 255, 255),
                           rgba(255, 255, 255, 255), 5, 0, 0, 0, 12);
    paint_context_clear(pc);
    history = paint_history_new(pc, (home + "/cache").c_str());
    pencil = shape_pencil_new(SHAPE_ID_PENCIL, u"Pencil", pc, history, nullptr);
    paint_context_add_tool(pc, pencil);
  }
  ~painting() {
    shape_pencil_free(pencil);
    paint_history_free(history);
    paint_context_free(pc);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }
  // Draws a stroke as the pencil's flush does, and records it.
  void add_stroke(const std::vector<tpoint> &points, int32_t colour_seed) {
    paint_context_set_fore_color(pc, rgba(colour_seed * 37 % 256, colour_seed * 91 % 256, 120, 255));
    std::vector<uint8_t> payload = payload_of(points);
    shape_set_data(pencil, payload.data(), int32_t(payload.size()));
    shape_draw(pencil, paint_context_get_cairo(pc), nullptr, 1.0);
    paint_history_add(history, SHAPE_ID_PENCIL, payload.data(), int32_t(payload.size()));
  }
};

std::vector<tpoint> random_stroke(std::mt19937 &random, int32_t width, int32_t height) {
  std::vector<tpoint> points;
  tpoint p = {int32_t(random() % width), int32_t(random() % height)};
  for (int i = 0; i < STROKE_POINTS; i++) {
    points.push_back(p);
    p.x = std::clamp<int32_t>(p.x + int32_t(random() % 21) - 10, 0, width - 1);
    p.y = std::clamp<int32_t>(p.y + int32_t(random() % 21) - 10, 0, height - 1);
  }
  return points;
}

painting &history_painting() {
  static painting p(nullptr, SCREEN_W, SCREEN_H);
  static bool drawn = [] {
    std::mt19937 random(7);
    for (int i = 0; i < STROKES; i++) p.add_stroke(random_stroke(random, SCREEN_W, SCREEN_H), i);
    return true;
  }();
  (void)drawn;
  return p;
}

void BM_undo_worst(benchmark::State &state) {
  painting &p = history_painting();
  for (auto _ : state) {
    paint_history_set_position(p.history, FARTHEST + 1);
    paint_history_undo(p.history);
  }
}
BENCHMARK(BM_undo_worst)->Unit(benchmark::kMillisecond);

void BM_rebuild_from_record_0(benchmark::State &state) {
  painting &p = history_painting();
  paint_history_set_use_checkpoints(p.history, 0);
  for (auto _ : state) {
    paint_history_set_position(p.history, FARTHEST);
    paint_history_replay(p.history, 0);
  }
  paint_history_set_use_checkpoints(p.history, 1);
}
BENCHMARK(BM_rebuild_from_record_0)->Unit(benchmark::kMillisecond);

painting &big_painting() {
  static painting p(nullptr, 1024, 1024);
  static bool drawn = [] {
    std::mt19937 random(11);
    for (int i = 0; i < STROKES; i++) p.add_stroke(random_stroke(random, 1024, 1024), i);
    return true;
  }();
  (void)drawn;
  return p;
}

// The checkpoint of all 200 strokes, which the canvas shows: one is written
// only for records the painting has.
constexpr int32_t LAST_CHECKPOINT = STROKES / PAINT_HISTORY_CHECKPOINT_STEP - 1;

void BM_checkpoint_write_1024(benchmark::State &state) {
  painting &p = big_painting();
  char path[512];
  paint_history_checkpoint_path(p.history, LAST_CHECKPOINT, 100, path, sizeof path);
  for (auto _ : state) {
    unlink(path);
    if (!paint_history_save_checkpoint(p.history, LAST_CHECKPOINT, 100)) state.SkipWithError("checkpoint not written");
  }
}
BENCHMARK(BM_checkpoint_write_1024)->Unit(benchmark::kMillisecond);

void BM_zlib_compress2_1024(benchmark::State &state) {
  painting &p = big_painting();
  tbitmap *canvas = paint_context_get_canvas(p.pc);
  uLong size = uLong(tbitmap_get_stride(canvas)) * uLong(tbitmap_get_height(canvas));
  std::vector<Bytef> out(compressBound(size));
  for (auto _ : state) {
    uLongf out_size = uLongf(out.size());
    compress2(out.data(), &out_size, canvas->_pixels, size, 1);
    benchmark::DoNotOptimize(out_size);
  }
}
BENCHMARK(BM_zlib_compress2_1024)->Unit(benchmark::kMillisecond);

// A screen whose paint hook shows the canvas as the application's does: a
// full paint fills the background, then the canvas goes over it.
struct screen_scene {
  tscreen screen{};
  painting *paint = nullptr;
  static screen_scene *current;

  screen_scene() {
    tscreen_init(&screen, SCREEN_W, -SCREEN_H);
    tscreen_set_paint_hook(&screen, paint_hook);
    current = this;
    paint = new painting(&screen, SCREEN_W, SCREEN_H);
    std::mt19937 random(3);
    for (int i = 0; i < 20; i++) paint->add_stroke(random_stroke(random, SCREEN_W, SCREEN_H), i);
  }
  ~screen_scene() {
    delete paint;
    tscreen_deinit(&screen);
  }

  static void paint_hook(tscreen *screen, const trect *rect) {
    paint_context *pc = current->paint->pc;
    tcanvas *canvas = tscreen_get_canvas(screen);
    if (!paint_context_is_partial_refresh(pc))
      tbitmap_fill_rect(tcanvas_get_bitmap(canvas), rect->x1, rect->y1, rect->x2, rect->y2, 0xFF404040u);
    tpoint origin;
    paint_context_get_origin(pc, &origin);
    tbitmap *bitmap = paint_context_get_canvas(pc);
    trect on_screen = {origin.x, origin.y, origin.x + tbitmap_get_width(bitmap) - 1,
                       origin.y + tbitmap_get_height(bitmap) - 1};
    trect area = {std::max(on_screen.x1, rect->x1), std::max(on_screen.y1, rect->y1),
                  std::min(on_screen.x2, rect->x2), std::min(on_screen.y2, rect->y2)};
    if (area.x1 > area.x2 || area.y1 > area.y2) return;
    tpoint at = {area.x1, area.y1};
    trect source = {area.x1 - origin.x, area.y1 - origin.y, area.x2 - origin.x, area.y2 - origin.y};
    tcanvas_draw_bitmap(canvas, &at, bitmap, &source);
  }
};

screen_scene *screen_scene::current = nullptr;

screen_scene &the_screen() {
  static screen_scene s;
  screen_scene::current = &s;
  return s;
}

// The pencil's flush after one pen move: the pending pair (last point, new
// point) stroked and its dirty rectangle refreshed.
void BM_pencil_segment(benchmark::State &state) {
  screen_scene &s = the_screen();
  shape *pencil = s.paint->pencil;
  int32_t x = 100, step = 0;
  for (auto _ : state) {
    int32_t next = 100 + (step++ % 280);
    uint8_t payload[16];
    int32_t words[4] = {x, 300, next, 300 + (step % 7)};
    for (int i = 0; i < 16; i++) payload[i] = uint8_t(uint32_t(words[i / 4]) >> (8 * (i % 4)));
    shape_set_data(pencil, payload, 16);
    shape_draw(pencil, paint_context_get_cairo(s.paint->pc), nullptr, 1.0);
    x = next;
  }
}
BENCHMARK(BM_pencil_segment)->Unit(benchmark::kMicrosecond);

void BM_full_screen_repaint(benchmark::State &state) {
  screen_scene &s = the_screen();
  for (auto _ : state) paint_context_refresh(s.paint->pc, nullptr, 1);
}
BENCHMARK(BM_full_screen_repaint)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCH_RATIO("undo_worst_vs_rebuild", "BM_undo_worst", "BM_rebuild_from_record_0", 0.2);
BENCH_MS("undo_worst_ms", "BM_undo_worst");
BENCH_RATIO("checkpoint_write_1024_vs_zlib", "BM_checkpoint_write_1024", "BM_zlib_compress2_1024", 1.2);
BENCH_RATIO("pencil_segment_vs_full_repaint", "BM_pencil_segment", "BM_full_screen_repaint", 0.1);
