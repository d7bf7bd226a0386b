// Translucent pencil strokes: a replay of one 50,000-point stroke scribbled
// over a 40-pixel box, and a live batch of five points when the stroke
// already holds 20,000 points against the first batch of a stroke.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_figures.h"
#include "paint_context.h"
#include "shape.h"
#include "shape_pencil.h"

namespace {

constexpr int32_t CANVAS_W = 480, CANVAS_H = 640;
constexpr int32_t BOX = 40, BATCH = 5;

tcolor rgba(int r, int g, int b, int a) {
  tcolor c;
  return *tcolor_make(&c, r, g, b, a);
}

tpoint random_point(std::mt19937 &random) {
  return {200 + int32_t(random() % BOX), 300 + int32_t(random() % BOX)};
}

// A painting with a translucent pencil and no history.
struct translucent_painting {
  std::string home;
  paint_context *pc = nullptr;
  shape *pencil = nullptr;

  translucent_painting() {
    char dir[] = "/tmp/brivola-bench-XXXXXX";
    home = mkdtemp(dir) ? dir : "/tmp";
    setenv("BRIVOLA_HOME", home.c_str(), 1);
    pc = paint_context_new(nullptr, CANVAS_W, CANVAS_H, rgba(200, 20, 30, 128), rgba(255, 255, 255, 255),
                           rgba(255, 255, 255, 255), 7, 0, 0, 0, 12);
    paint_context_clear(pc);
    pencil = shape_pencil_new(SHAPE_ID_PENCIL, u"Pencil", pc, nullptr, nullptr);
  }
  ~translucent_painting() {
    shape_pencil_free(pencil);
    paint_context_free(pc);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }
  // One live batch as the pencil's flush draws it: the points join the
  // pending ones and the tool draws them at scale 1.
  void batch(std::mt19937 &random) {
    shape_points *points = reinterpret_cast<shape_points *>(pencil);
    for (int i = 0; i < BATCH; i++) points->_pending[points->_pending_count++] = random_point(random);
    shape_draw(pencil, paint_context_get_cairo(pc), nullptr, 1.0);
  }
};

void BM_translucent_stroke_50000(benchmark::State &state) {
  translucent_painting p;
  std::mt19937 random(5);
  std::vector<uint8_t> payload;
  for (int i = 0; i < 50000; i++) {
    tpoint point = random_point(random);
    for (int32_t v : {point.x, point.y})
      for (int b = 0; b < 4; b++) payload.push_back(uint8_t(uint32_t(v) >> (8 * b)));
  }
  // Every repetition's strokes go into one median.
  static std::vector<double> times;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    shape_set_data(p.pencil, payload.data(), int32_t(payload.size()));
    shape_draw(p.pencil, paint_context_get_cairo(p.pc), nullptr, 1.0);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  bench_set_median("translucent_stroke_50000_ms", times);
}
BENCHMARK(BM_translucent_stroke_50000)->Unit(benchmark::kMillisecond)->Iterations(5);

// Each batch starts a stroke (the pen-down, untimed) and is its first.
void BM_translucent_first_batch(benchmark::State &state) {
  translucent_painting p;
  std::mt19937 random(9);
  for (auto _ : state) {
    state.PauseTiming();
    tpoint start = random_point(random);
    shape_input(p.pencil, SHAPE_PEN_DOWN, start.x, start.y, 0);
    state.ResumeTiming();
    p.batch(random);
  }
}
BENCHMARK(BM_translucent_first_batch)->Unit(benchmark::kMicrosecond);

// The stroke holds 20,000 points before the timed batches start.
void BM_translucent_batch_at_20000(benchmark::State &state) {
  translucent_painting p;
  std::mt19937 random(9);
  tpoint start = random_point(random);
  shape_input(p.pencil, SHAPE_PEN_DOWN, start.x, start.y, 0);
  for (int i = 0; i < 20000 / BATCH; i++) p.batch(random);
  for (auto _ : state) p.batch(random);
}
BENCHMARK(BM_translucent_batch_at_20000)->Unit(benchmark::kMicrosecond);

}  // namespace

static int stroke_figure = bench_register_value("translucent_stroke_50000_ms", 500);
BENCH_RATIO("translucent_batch_at_20000_vs_first", "BM_translucent_batch_at_20000", "BM_translucent_first_batch", 2);
