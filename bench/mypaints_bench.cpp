// My Paints over a folder of 100 documents in the application on the
// headless display at 480 x 640: from the command (the dialog built and
// shown) until every thumbnail shows, against reading the 100 thumbnails in
// a loop with the reader My Paints uses; and from the command to the dialog
// on the screen with its placeholders.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app_common.h"
#include "app_test_env.h"
#include "bench_figures.h"
#include "mypaints_dialog.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "port_test_app.h"
#include "tdialog.h"
#include "test_env.h"

namespace {

constexpr int k_documents = 100;

// The folder of 100 documents, made once in a run of the application.
struct document_folder {
  std::string dir;
  std::vector<std::string> paths;
  document_folder() {
    dir = test_make_temp_dir("mypaints-bench");
    app_test_folders folders;
    app_test_run([&](app_context *app) {
      for (int i = 0; i < k_documents; i++) {
        paint_context_load_blank(app->_paint_context, 480, 640 - i, tcolor_rgba(i, 255 - i, 128));
        paint_history_reset(app->_history);
        std::string path = dir + "/paint" + std::to_string(1000 + i) + ".bvf";
        if (paint_file_save_to(app->_file, test_wide(path).c_str()) == 1) paths.push_back(path);
      }
    });
  }
  ~document_folder() { test_remove_tree(dir); }
};

const document_folder &documents() {
  static document_folder folder;
  return folder;
}

my_paints_dialog *open_dialog(char16_t *path) {
  std::u16string folder = test_wide(documents().dir);
  my_paints_dialog *mp =
      my_paints_dialog_new(u"My Paints", app_common_get_dialog_width(), folder.c_str(), path, nullptr);
  if (!mp) return nullptr;
  tdialog_set_dimmed(my_paints_dialog_get_dialog(mp), 1);
  my_paints_dialog_show(mp, -1, -1, TDIALOG_PLACE_FILL);
  return mp;
}

void BM_my_paints_thumbnails_100(benchmark::State &state) {
  if (documents().paths.size() != size_t(k_documents)) {
    state.SkipWithError("the documents could not be written");
    return;
  }
  app_test_folders folders;
  app_test_run([&](app_context *) {
    static char16_t path[APP_PATH_CHARS];
    for (auto _ : state) {
      my_paints_dialog *mp = open_dialog(path);
      if (!mp) {
        state.SkipWithError("no dialog");
        return;
      }
      while (mp->_next_thumbnail < mp->_count) port_test_pump();
      state.PauseTiming();
      tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
      state.ResumeTiming();
    }
  });
}

// The thumbnails as My Paints reads them, one after another.
void BM_my_paints_thumbnail_reads_100(benchmark::State &state) {
  std::vector<std::u16string> paths;
  for (const std::string &path : documents().paths) paths.push_back(test_wide(path));
  for (auto _ : state) {
    for (const std::u16string &path : paths) {
      tbitmap *thumbnail = paint_file_read_thumbnail(path.c_str());
      if (!thumbnail) {
        state.SkipWithError("unreadable document");
        return;
      }
      tbitmap_free(thumbnail);
    }
  }
}

void BM_my_paints_first_paint_100(benchmark::State &state) {
  if (documents().paths.size() != size_t(k_documents)) {
    state.SkipWithError("the documents could not be written");
    return;
  }
  app_test_folders folders;
  std::vector<double> times;
  app_test_run([&](app_context *) {
    static char16_t path[APP_PATH_CHARS];
    for (auto _ : state) {
      auto started = std::chrono::steady_clock::now();
      my_paints_dialog *mp = open_dialog(path);
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
      state.PauseTiming();
      if (mp) tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
      port_test_pump();
      state.ResumeTiming();
    }
  });
  std::sort(times.begin(), times.end());
  if (!times.empty()) bench_set_value("my_paints_first_paint_100_ms", times[times.size() / 2]);
}

}  // namespace

BENCHMARK(BM_my_paints_thumbnails_100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_my_paints_thumbnail_reads_100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_my_paints_first_paint_100)->Unit(benchmark::kMillisecond);
BENCH_RATIO("my_paints_thumbnails_100_vs_reads", "BM_my_paints_thumbnails_100", "BM_my_paints_thumbnail_reads_100", 3);
static int first_paint_figure = bench_register_value("my_paints_first_paint_100_ms", 100);
