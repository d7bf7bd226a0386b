// Crafted documents: each small file that once cost seconds or gigabytes
// (a 400 KB text of 200,000 CJK characters at font size 1024, its start or
// only its end in view, a 1 x 1
// picture stretched to 0..5790, one pencil piece of 40,000 self-crossing
// points, a blank 11000 x 11000 canvas, a crop to 9000 x 9000) opened
// through paint_file_open and rebuilt on a 480 x 640 painting whose zoom is
// not the one its records were made at; the worst of them against its goal.
// Beside it, a document of the largest one's size drawn with ordinary
// strokes, opened and rebuilt the same way.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_figures.h"
#include "imagebar.h"
#include "os_clock.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_main.h"
#include "shape.h"
#include "shape_pencil.h"
#include "tfile.h"
#include "textbar.h"

namespace {

constexpr int32_t WIDTH = 480, HEIGHT = 640;
// The records were made at this zoom; the painting replays them at 1.0.
constexpr double RECORD_ZOOM = 0.5;

tcolor rgba(int r, int g, int b, int a) {
  tcolor c;
  return *tcolor_make(&c, r, g, b, a);
}

void put32(std::vector<uint8_t> &b, size_t at, uint32_t v) { tfile_put_u32(b.data() + at, v); }

std::vector<uint8_t> text_record(size_t characters, size_t distinct, int32_t font_size, int32_t offset_x) {
  std::vector<uint8_t> b((characters + 57) * 2, 0);
  put32(b, 0, 7);  // set from the left, centred across, as the text bar sets it
  put32(b, 4, uint32_t(offset_x));
  put32(b, 12, uint32_t(font_size));
  const char16_t face[] = u"tahoma";
  for (size_t i = 0; face[i]; i++) tfile_put_u16(b.data() + 16 + 2 * i, face[i]);
  b[82] = 200, b[83] = 255;
  const int32_t box[4] = {0, 0, WIDTH - 1, HEIGHT - 1};
  for (int i = 0; i < 4; i++) put32(b, 88 + 4 * i, uint32_t(box[i]));
  put32(b, 104, uint32_t(characters));
  for (size_t i = 0; i < characters; i++) tfile_put_u16(b.data() + 112 + 2 * i, char16_t(0x4E00 + i % distinct));
  return b;
}

std::vector<uint8_t> stretched_dot() {
  tbitmap *dot = tbitmap_new(1, 1, 32);
  tbitmap_fill_rect(dot, 0, 0, 0, 0, 0xFFC80000u);
  uint64_t blob = imagebar_blob_size(dot);
  std::vector<uint8_t> b(32 + blob, 0);
  const int32_t rect[4] = {0, 0, 5790, 5790};
  for (int i = 0; i < 4; i++) put32(b, 4 * i, uint32_t(rect[i]));
  put32(b, 16, uint32_t(blob));
  imagebar_store_blob(b.data() + 32, dot);
  tbitmap_free(dot);
  return b;
}

std::vector<uint8_t> points_payload(const std::vector<tpoint> &points) {
  std::vector<uint8_t> b(points.size() * 8);
  for (size_t i = 0; i < points.size(); i++) {
    put32(b, 8 * i, uint32_t(points[i].x));
    put32(b, 8 * i + 4, uint32_t(points[i].y));
  }
  return b;
}

std::vector<uint8_t> self_crossing(int count) {
  std::mt19937 random(28);
  std::vector<tpoint> points;
  for (int i = 0; i < count; i++) points.push_back({int32_t(100 + random() % 40), int32_t(100 + random() % 40)});
  return points_payload(points);
}

// Strokes as a hand makes them: short wandering pieces.
std::vector<uint8_t> ordinary_stroke(std::mt19937 &random) {
  std::vector<tpoint> points;
  tpoint p = {int32_t(random() % 200), int32_t(random() % 300)};
  for (int i = 0; i < 50; i++) {
    points.push_back(p);
    p.x = std::clamp<int32_t>(p.x + int32_t(random() % 11) - 5, 0, 239);
    p.y = std::clamp<int32_t>(p.y + int32_t(random() % 11) - 5, 0, 319);
  }
  return points_payload(points);
}

struct record {
  int32_t operation;
  std::vector<uint8_t> payload;
};

struct bench_painting {
  std::string home;
  paint_context *pc = nullptr;
  paint_history *history = nullptr;
  shape *pencil = nullptr;
  paint_file file{};
  std::map<std::string, std::u16string> paths;
  size_t largest = 0;

  bench_painting() {
    char dir[] = "/tmp/brivola-crafted-XXXXXX";
    home = mkdtemp(dir) ? dir : "/tmp";
    setenv("BRIVOLA_HOME", home.c_str(), 1);
    pc = paint_context_new(nullptr, WIDTH, HEIGHT, rgba(0, 0, 0, 255), rgba(255, 255, 255, 255),
                           rgba(255, 255, 255, 255), 5, 0, 0, 0, 9);
    history = paint_history_new(pc, (home + "/cache").c_str());
    paint_history_set_use_checkpoints(history, 0);
    paint_history_hooks hooks = {};
    hooks.draw_text = textbar_draw_text_record;
    hooks.draw_image = imagebar_draw_image_record;
    hooks.apply_crop = paint_main_apply_crop;
    paint_history_set_hooks(history, &hooks);
    pencil = shape_pencil_new(SHAPE_ID_PENCIL, u"Pencil", pc, history, nullptr);
    paint_context_add_tool(pc, pencil);
    file._context = pc;
    file._history = history;

    std::vector<uint8_t> crop(32, 0);
    put32(crop, 8, 8999), put32(crop, 12, 8999);
    write("text", {{PAINT_HISTORY_OP_TEXT, text_record(200000, 20000, 1024, 0)}}, RECORD_ZOOM);
    // The text set far to the left of its box, only its end in view.
    write("text_scrolled", {{PAINT_HISTORY_OP_TEXT, text_record(200000, 20000, 1024, -40000000)}}, RECORD_ZOOM);
    write("picture", {{PAINT_HISTORY_OP_IMAGE, stretched_dot()}}, RECORD_ZOOM);
    write("pencil", {{SHAPE_ID_PENCIL, self_crossing(40000)}}, RECORD_ZOOM);
    write("crop", {{PAINT_HISTORY_OP_CROP, crop}}, 1.0);
    write("blank", {}, 1.0);
    std::vector<uint8_t> blank = read("blank");
    put32(blank, 8, 11000), put32(blank, 12, 11000);
    std::FILE *f = std::fopen((home + "/blank.bvf").c_str(), "wb");
    if (f) std::fwrite(blank.data(), 1, blank.size(), f), std::fclose(f);
    for (const auto &[name, path] : paths) largest = std::max(largest, read(name).size());
    paths.erase("drawn");
    std::mt19937 random(5);
    std::vector<record> strokes;
    size_t bytes = 0;
    for (; bytes < largest; bytes += 56 + 400) strokes.push_back({SHAPE_ID_PENCIL, ordinary_stroke(random)});
    write("drawn", strokes, RECORD_ZOOM);
  }
  ~bench_painting() {
    shape_pencil_free(pencil);
    paint_history_free(history);
    paint_context_free(pc);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }

  void write(const std::string &name, const std::vector<record> &records, double zoom) {
    paint_context_load_blank(pc, WIDTH, HEIGHT, rgba(255, 255, 255, 255));
    paint_history_reset(history);
    paint_context_set_zoom(pc, zoom);
    for (const record &r : records)
      paint_history_add(history, r.operation, r.payload.data(), int32_t(r.payload.size()));
    std::string path = home + "/" + name + ".bvf";
    paths[name] = std::u16string(path.begin(), path.end());
    paint_file_save_to(&file, paths[name].c_str());
  }
  std::vector<uint8_t> read(const std::string &name) const {
    std::vector<uint8_t> b;
    std::FILE *f = std::fopen((home + "/" + name + ".bvf").c_str(), "rb");
    if (!f) return b;
    int c;
    while ((c = std::fgetc(f)) != EOF) b.push_back(uint8_t(c));
    std::fclose(f);
    return b;
  }
  // Opened and rebuilt as the program does it, without the reader's pause.
  double open_ms(const std::u16string &path) {
    os_clock_drive(1);
    auto start = std::chrono::steady_clock::now();
    if (paint_file_open(&file, path.c_str())) paint_history_rebuild(history);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
};

bench_painting &painting() {
  static bench_painting p;
  return p;
}

void BM_crafted_open_worst(benchmark::State &state) {
  bench_painting &p = painting();
  static std::map<std::string, std::vector<double>> samples;
  for (auto _ : state)
    for (const auto &[name, path] : p.paths)
      if (name != "drawn") samples[name].push_back(p.open_ms(path));
  double worst = 0;
  for (const auto &[name, times] : samples) worst = std::max(worst, bench_median(times));
  bench_set_value("crafted_open_worst_ms", worst);
}
BENCHMARK(BM_crafted_open_worst)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_drawn_open_same_bytes(benchmark::State &state) {
  bench_painting &p = painting();
  for (auto _ : state) benchmark::DoNotOptimize(p.open_ms(p.paths["drawn"]));
}
BENCHMARK(BM_drawn_open_same_bytes)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

static int crafted_figure = bench_register_value("crafted_open_worst_ms", 1000);
BENCH_MS("drawn_open_same_bytes_ms", "BM_drawn_open_same_bytes");
