// A 64x64 flush against a full-screen flush through the SDL display (its
// offscreen driver): only the flushed rectangle may cost anything.
//
// Other benchmarks open displays of their own (the application's start opens
// the headless one, which closes whatever was open), so each run opens its
// own SDL display and closes it after, and a present that shows nothing
// fails the run instead of timing a no-op.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "bench_figures.h"
#include "os_display.h"
#include "tbitmap.h"

namespace {

constexpr int32_t k_width = 480;
constexpr int32_t k_height = 640;

// The display for one run of a benchmark; `ready` when it shows the screen.
struct flush_display {
  tbitmap screen{};
  bool ready = false;

  flush_display() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    os_display_select(os_display_sdl_backend());
    char error[256] = "";
    if (!os_display_open(k_width, k_height, u"Brivola", error, sizeof error)) {
      std::fprintf(stderr, "flush_bench: %s\n", error);
      return;
    }
    if (!tbitmap_init(&screen, k_width, -k_height, 16)) return;
    trect whole = {0, 0, k_width - 1, k_height - 1};
    ready = os_display_present(&screen, &whole) != 0;  // the texture exists before timing
  }
  ~flush_display() {
    os_display_close();
    tbitmap_deinit(&screen);
  }
};

void flush(benchmark::State &state, const trect &rect) {
  flush_display display;
  if (!display.ready) {
    state.SkipWithError("no SDL display");
    return;
  }
  for (auto _ : state) {
    // The pixels change between flushes, as painting would change them.
    uint8_t *row = tbitmap_get_row(&display.screen, rect.y1);
    row[2 * rect.x1]++;
    if (!os_display_present(&display.screen, &rect)) {
      state.SkipWithError("the display showed nothing");
      break;
    }
  }
}

void BM_flush_64x64(benchmark::State &state) { flush(state, trect{200, 300, 263, 363}); }
void BM_flush_full(benchmark::State &state) { flush(state, trect{0, 0, k_width - 1, k_height - 1}); }

}  // namespace

BENCHMARK(BM_flush_64x64);
BENCHMARK(BM_flush_full);
BENCH_RATIO("flush_64x64_vs_full", "BM_flush_64x64", "BM_flush_full", 0.05);
