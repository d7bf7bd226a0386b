// A folder of 5,000 files on the headless display at 480 x 640: listing it
// into a file list, and opening the open dialog on it (built, listed, first
// paint), each against opendir/readdir/stat of the same folder.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench_figures.h"
#include "port_test_app.h"
#include "tdialog.h"
#include "tfilelist.h"
#include "topendialog.h"
#include "tscreen.h"
#include "tstyler.h"

namespace {

constexpr int FILES = 5000;

// Made once per run and removed at exit.
const std::string &folder() {
  static std::string path;
  if (!path.empty()) return path;
  char name[] = "/tmp/brivola_bench_XXXXXX";
  if (!mkdtemp(name)) std::abort();
  path = name;
  for (int i = 0; i < FILES; i++) {
    std::string file = path + "/picture_" + std::to_string(i) + (i % 2 ? ".jpg" : ".bmp");
    if (FILE *f = std::fopen(file.c_str(), "wb")) std::fclose(f);
  }
  std::atexit([] {
    for (int i = 0; i < FILES; i++) std::remove((path + "/picture_" + std::to_string(i) + (i % 2 ? ".jpg" : ".bmp")).c_str());
    std::remove(path.c_str());
  });
  return path;
}

std::u16string wide_folder() {
  const std::string &path = folder();
  return std::u16string(path.begin(), path.end());
}

void on_screen(const std::function<void()> &body) {
  port_test_run_app(
      [&] {
        tstyler_load_defaults();
        tscreen_paint(tscreen_get(), nullptr);
        body();
        tstyler_free_defaults();
        return 0;
      },
      "480x640");
}

// What the file list itself asks of the system: every entry and its kind.
void BM_readdir_stat_5000(benchmark::State &state) {
  const std::string &path = folder();
  for (auto _ : state) {
    DIR *dir = opendir(path.c_str());
    int64_t bytes = 0;
    while (struct dirent *entry = readdir(dir)) {
      struct stat info;
      if (stat((path + "/" + entry->d_name).c_str(), &info) == 0) bytes += info.st_size;
    }
    closedir(dir);
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_readdir_stat_5000)->Unit(benchmark::kMillisecond);

void BM_file_list_5000(benchmark::State &state) {
  std::u16string path = wide_folder();
  on_screen([&] {
    trect rect = {0, 0, 479, 599};
    tfilelist *list = tfilelist_new(nullptr, &rect, path.c_str(), nullptr);
    for (auto _ : state) {
      if (!tfilelist_set_dir(list, path.c_str())) state.SkipWithError("not listed");
    }
    tfilelist_free(list);
  });
}
BENCHMARK(BM_file_list_5000)->Unit(benchmark::kMillisecond);

const char16_t *const k_types[] = {u"Pictures(*.bmp;*.jpg)/*.bmp;*.jpg"};

void BM_open_dialog_5000(benchmark::State &state) {
  std::u16string path = wide_folder();
  on_screen([&] {
    for (auto _ : state) {
      char16_t name[64] = u"", where[TFILELIST_PATH_MAX];
      std::char_traits<char16_t>::copy(where, path.c_str(), path.size() + 1);
      topendialog *dialog = topendialog_new(u"Open", -1, name, 64, where, TFILELIST_PATH_MAX, k_types, 1, 0, 0, nullptr);
      topendialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
      state.PauseTiming();
      tdialog_close(topendialog_get_dialog(dialog), 0);
      state.ResumeTiming();
    }
  });
}
BENCHMARK(BM_open_dialog_5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCH_RATIO("file_list_5000_vs_readdir", "BM_file_list_5000", "BM_readdir_stat_5000", 2);
BENCH_RATIO("open_dialog_5000_vs_readdir", "BM_open_dialog_5000", "BM_readdir_stat_5000", 4);
