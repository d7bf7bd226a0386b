// My Paints over a folder of 100 documents in the application on the
// headless display at 480 x 640: from the command (the dialog built and
// shown) until every thumbnail it shows has shown (those near the view: it
// reads no others), against the file work that cannot be done without: the
// folder listed with the raw system calls and those same thumbnails read
// with the reader My Paints uses; and from the command to the dialog on the
// screen with its placeholders. Over a folder of 2,000 documents: the
// memory the program takes on while the dialog opens and the pen drags the
// grid from its first row to its last, each stop waiting for the thumbnails
// near the view.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <dirent.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app_common.h"
#include "app_test_env.h"
#include "bench_figures.h"
#include "mypaints_dialog.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "port_test_app.h"
#include "tdialog.h"
#include "tform.h"
#include "tscreen.h"
#include "test_env.h"
#include "win_ao.h"

namespace {

constexpr int k_documents = 100;

my_paints_dialog *open_dialog(const std::string &dir, char16_t *path);
void wait_for_thumbnails(my_paints_dialog *mp);

// The folder of 100 documents, made once in a run of the application, and
// the documents whose thumbnails the dialog reads when it opens over it.
struct document_folder {
  std::string dir;
  std::vector<std::string> paths;
  std::vector<std::u16string> read_on_open;
  int32_t cell_width = 0, cell_height = 0;  // what the dialog fits them to
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
    app_test_run([&](app_context *) {
      static char16_t path[APP_PATH_CHARS];
      my_paints_dialog *mp = open_dialog(dir, path);
      if (!mp) return;
      wait_for_thumbnails(mp);
      for (int32_t i = 0; i < mp->_count; i++)
        if (mp->_items[i]->_thumbnail) read_on_open.push_back(mp->_items[i]->_path);
      cell_width = mp->_layout[2];
      cell_height = mp->_layout[3];
      tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
    });
  }
  ~document_folder() { test_remove_tree(dir); }
};

const document_folder &documents() {
  static document_folder folder;
  return folder;
}

void wait_for_thumbnails(my_paints_dialog *mp) {
  while (win_ao_is_signalled(mp->_loader)) port_test_pump();
}

my_paints_dialog *open_dialog(const std::string &dir, char16_t *path) {
  std::u16string folder = test_wide(dir);
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
      my_paints_dialog *mp = open_dialog(documents().dir, path);
      if (!mp) {
        state.SkipWithError("no dialog");
        return;
      }
      wait_for_thumbnails(mp);
      state.PauseTiming();
      tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
      state.ResumeTiming();
    }
  });
}

// The folder listed, each entry's kind asked of the file system as a search
// must, then the thumbnails the dialog reads as it opens, read one after
// another as My Paints reads them (fitted to its cells).
void BM_my_paints_thumbnail_reads_100(benchmark::State &state) {
  const document_folder &folder = documents();
  if (folder.read_on_open.empty()) {
    state.SkipWithError("the dialog read no thumbnail");
    return;
  }
  for (auto _ : state) {
    DIR *listing = opendir(folder.dir.c_str());
    if (!listing) {
      state.SkipWithError("the folder cannot be listed");
      return;
    }
    size_t entries = 0;
    while (dirent *entry = readdir(listing)) {
      struct stat kind;
      if (fstatat(dirfd(listing), entry->d_name, &kind, 0) == 0) entries++;
    }
    closedir(listing);
    benchmark::DoNotOptimize(entries);
    for (const std::u16string &path : folder.read_on_open) {
      tbitmap *thumbnail = paint_file_read_thumbnail_fitted(path.c_str(), folder.cell_width, folder.cell_height);
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
  // Every repetition's opens go into one median.
  static std::vector<double> times;
  app_test_run([&](app_context *) {
    static char16_t path[APP_PATH_CHARS];
    for (auto _ : state) {
      auto started = std::chrono::steady_clock::now();
      my_paints_dialog *mp = open_dialog(documents().dir, path);
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
      state.PauseTiming();
      if (mp) tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
      port_test_pump();
      state.ResumeTiming();
    }
  });
  bench_set_median("my_paints_first_paint_100_ms", times);
}

constexpr int k_many = 2000;

// 2,000 names for one 480 x 640 document (links to its file).
struct many_documents {
  std::string dir;
  int count = 0;
  many_documents() {
    dir = test_make_temp_dir("mypaints-many");
    std::string first = dir + "/paint10000.bvf";
    app_test_folders folders;
    app_test_run([&](app_context *app) {
      paint_context_load_blank(app->_paint_context, 480, 640, tcolor_rgba(30, 160, 90));
      paint_history_reset(app->_history);
      if (paint_file_save_to(app->_file, test_wide(first).c_str()) == 1) count = 1;
    });
    for (int i = 1; count == i && i < k_many; i++)
      if (link(first.c_str(), (dir + "/paint" + std::to_string(10000 + i) + ".bvf").c_str()) == 0) count++;
  }
  ~many_documents() { test_remove_tree(dir); }
};

// What the allocator has handed out and not had back. Not the resident
// size: the benchmarks that ran before leave freed memory behind, which the
// dialog would take again without the resident size growing.
double memory_in_use_mb() {
  struct mallinfo2 info = mallinfo2();
  return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// Pen drags up the grid, a view's height less a margin each, the clock
// standing still (no fling), until the last row shows; after each the
// thumbnails near the view are read. The most memory seen on the way.
double scroll_to_the_end(my_paints_dialog *mp) {
  tform *form = tdialog_get_form(my_paints_dialog_get_dialog(mp));
  trect r;
  tsurface_get_screen_rect(&form->_control._surface, &r);
  int32_t x = (r.x1 + r.x2) / 2, top = r.y1 + 30, bottom = r.y2 - 30;
  double most = memory_in_use_mb();
  os_clock_drive(1);
  for (int32_t before = -1; form->_scroll_y != before;) {
    before = form->_scroll_y;
    os_input_pen(OS_PEN_DOWN, x, bottom, 0);
    port_test_pump();
    for (int32_t y = bottom - 10; y >= top; y -= 10) {
      os_input_pen(OS_PEN_MOVE, x, y, 0);
      port_test_pump();
    }
    os_input_pen(OS_PEN_UP, x, top, 0);
    port_test_pump();
    // Past the end the grid springs back on the timer.
    for (int tick = 0; tick < 100 && form->_timer; tick++) {
      os_clock_advance(10);
      port_test_pump();
    }
    wait_for_thumbnails(mp);
    most = std::max(most, memory_in_use_mb());
  }
  os_clock_drive(0);
  return most;
}

void BM_my_paints_2000_scroll(benchmark::State &state) {
  static many_documents many;
  if (many.count != k_many) {
    state.SkipWithError("the documents could not be written");
    return;
  }
  app_test_folders folders;
  app_test_run([&](app_context *) {
    static char16_t path[APP_PATH_CHARS];
    std::u16string folder = test_wide(many.dir);
    for (auto _ : state) {
      double before = memory_in_use_mb();
      my_paints_dialog *mp =
          my_paints_dialog_new(u"My Paints", app_common_get_dialog_width(), folder.c_str(), path, nullptr);
      if (!mp || mp->_count != k_many) {
        state.SkipWithError("no dialog over the documents");
        if (mp) tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
        return;
      }
      tdialog_set_dimmed(my_paints_dialog_get_dialog(mp), 1);
      my_paints_dialog_show(mp, -1, -1, TDIALOG_PLACE_FILL);
      wait_for_thumbnails(mp);
      double most = scroll_to_the_end(mp);
      if (!mp->_items[k_many - 1]->_thumbnail) state.SkipWithError("the last row never showed its thumbnail");
      bench_set_value("my_paints_2000_added_mb", std::max(0.0, most - before));
      tdialog_close(my_paints_dialog_get_dialog(mp), TDIALOG_RESULT_CANCEL);
    }
  });
}

}  // namespace

BENCHMARK(BM_my_paints_thumbnails_100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_my_paints_thumbnail_reads_100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_my_paints_first_paint_100)->Unit(benchmark::kMillisecond);
BENCH_RATIO("my_paints_thumbnails_100_vs_reads", "BM_my_paints_thumbnails_100", "BM_my_paints_thumbnail_reads_100", 3);
static int first_paint_figure = bench_register_value("my_paints_first_paint_100_ms", 100);
BENCHMARK(BM_my_paints_2000_scroll)->Unit(benchmark::kMillisecond)->Iterations(1);
static int added_figure = bench_register_value("my_paints_2000_added_mb", 20);
