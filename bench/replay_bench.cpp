// Undo after an open: documents opened through paint_file_open and rebuilt
// as the program does it, checkpoints on, then undone step by step.
// - 2,000 pencil strokes of 50 points on a 480 x 640 painting: the worst of
//   100 undos against the open's rebuild;
// - 200 crops turn about enlarging a 300 x 200 canvas to 8192 x 8192 (the
//   largest a painting may ask for) and cutting it to 1 x 1: the open, and
//   the worst of 30 undos and 5 redos.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_figures.h"
#include "os_clock.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_main.h"
#include "shape.h"
#include "shape_pencil.h"
#include "tfile.h"

namespace {

constexpr int32_t WIDTH = 480, HEIGHT = 640;
constexpr int STROKES = 2000, STROKE_POINTS = 50, UNDOS = 100;
constexpr int CROPS = 200, CROP_UNDOS = 30, CROP_REDOS = 5;
constexpr int32_t CROP_WIDTH = 300, CROP_HEIGHT = 200, CROP_BOUND = 8192;

tcolor rgba(int r, int g, int b, int a) {
  tcolor c;
  return *tcolor_make(&c, r, g, b, a);
}

double ms_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::vector<uint8_t> random_stroke(std::mt19937 &random) {
  std::vector<uint8_t> bytes(STROKE_POINTS * 8);
  int32_t x = int32_t(random() % WIDTH), y = int32_t(random() % HEIGHT);
  for (int i = 0; i < STROKE_POINTS; i++) {
    tfile_put_u32(bytes.data() + 8 * i, uint32_t(x));
    tfile_put_u32(bytes.data() + 8 * i + 4, uint32_t(y));
    x = std::clamp<int32_t>(x + int32_t(random() % 21) - 10, 0, WIDTH - 1);
    y = std::clamp<int32_t>(y + int32_t(random() % 21) - 10, 0, HEIGHT - 1);
  }
  return bytes;
}

// A painting as the program has it: the pencil and the crop registered,
// checkpoints in a fresh cache folder. The two documents are written once.
struct replay_painting {
  std::string home;
  paint_context *pc = nullptr;
  paint_history *history = nullptr;
  shape *pencil = nullptr;
  paint_file file{};
  std::u16string strokes_path, crops_path;

  replay_painting() {
    char dir[] = "/tmp/brivola-replay-XXXXXX";
    home = mkdtemp(dir) ? dir : "/tmp";
    setenv("BRIVOLA_HOME", home.c_str(), 1);
    pc = paint_context_new(nullptr, WIDTH, HEIGHT, rgba(0, 0, 0, 255), rgba(255, 255, 255, 255),
                           rgba(255, 255, 255, 255), 5, 0, 0, 0, 9);
    history = paint_history_new(pc, (home + "/cache").c_str());
    paint_history_hooks hooks = {};
    hooks.apply_crop = paint_main_apply_crop;
    paint_history_set_hooks(history, &hooks);
    pencil = shape_pencil_new(SHAPE_ID_PENCIL, u"Pencil", pc, history, nullptr);
    paint_context_add_tool(pc, pencil);
    file._context = pc;
    file._history = history;

    // Recorded, not drawn: the documents are what matters, not their canvas.
    paint_history_set_use_checkpoints(history, 0);
    std::mt19937 random(34);
    for (int i = 0; i < STROKES; i++) {
      paint_context_set_fore_color(pc, rgba(i * 37 % 256, i * 91 % 256, 120, 255));
      std::vector<uint8_t> stroke = random_stroke(random);
      paint_history_add(history, SHAPE_ID_PENCIL, stroke.data(), int32_t(stroke.size()));
    }
    strokes_path = save("strokes");
    paint_context_load_blank(pc, CROP_WIDTH, CROP_HEIGHT, rgba(255, 255, 255, 255));
    paint_history_reset(history);
    int32_t width = CROP_WIDTH, height = CROP_HEIGHT;
    for (int i = 0; i < CROPS; i++) {
      int32_t side = i % 2 == 0 ? CROP_BOUND : 1;
      int32_t words[8] = {0, 0, side - 1, side - 1, 0, 0, width - 1, height - 1};
      uint8_t record[32];
      for (int w = 0; w < 8; w++) tfile_put_u32(record + 4 * w, uint32_t(words[w]));
      paint_history_add(history, PAINT_HISTORY_OP_CROP, record, 32);
      width = height = side;
    }
    crops_path = save("crops");
    paint_history_set_use_checkpoints(history, 1);
  }
  ~replay_painting() {
    shape_pencil_free(pencil);
    paint_history_free(history);
    paint_context_free(pc);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }

  std::u16string save(const std::string &name) {
    std::string path = home + "/" + name + ".bvf";
    std::u16string wide(path.begin(), path.end());
    paint_file_save_to(&file, wide.c_str());
    return wide;
  }
  // Opened and rebuilt as the program does it, without the reader's pause; ms.
  double open(const std::u16string &path) {
    os_clock_drive(1);
    auto start = std::chrono::steady_clock::now();
    if (paint_file_open(&file, path.c_str())) paint_history_rebuild(history);
    return ms_since(start);
  }
  double step(int (*move)(paint_history *)) {
    auto start = std::chrono::steady_clock::now();
    move(history);
    return ms_since(start);
  }
};

replay_painting &painting() {
  static replay_painting p;
  return p;
}

// One open per run; the figures are the medians over every repetition.
void BM_undo_after_open(benchmark::State &state) {
  replay_painting &p = painting();
  static std::vector<double> ratios;
  for (auto _ : state) {
    double rebuild = p.open(p.strokes_path), worst = 0;
    for (int i = 0; i < UNDOS; i++) worst = std::max(worst, p.step(paint_history_undo));
    ratios.push_back(worst / rebuild);
  }
  bench_set_median("undo_after_open_worst_vs_rebuild", ratios);
}
BENCHMARK(BM_undo_after_open)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_crop_chain(benchmark::State &state) {
  replay_painting &p = painting();
  static std::vector<double> opens, worsts;
  for (auto _ : state) {
    opens.push_back(p.open(p.crops_path));
    double worst = 0;
    for (int i = 0; i < CROP_UNDOS; i++) worst = std::max(worst, p.step(paint_history_undo));
    for (int i = 0; i < CROP_REDOS; i++) worst = std::max(worst, p.step(paint_history_redo));
    worsts.push_back(worst);
  }
  bench_set_median("crop_chain_200_open_ms", opens);
  bench_set_median("crop_chain_200_undo_worst_ms", worsts);
}
BENCHMARK(BM_crop_chain)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

static int undo_after_open_figure = bench_register_value("undo_after_open_worst_vs_rebuild", 0.25);
static int crop_open_figure = bench_register_value("crop_chain_200_open_ms", 2000);
static int crop_undo_figure = bench_register_value("crop_chain_200_undo_worst_ms", 500);
