// The help viewer and the about box on the headless display at 480 x 640.
// A 32 KB page (the English index repeated, 8 pictures) tokenized and laid
// out into controls, as the viewer does on opening it; the viewer opened on
// the longest English page and on that page repeated 64 times (the cost of
// an open grows with the page, no faster); and one tick of the about box's
// logo (colours, cairo, copy, direct update, flush) against a full-screen
// repaint with the box open.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "about_dialog.h"
#include "bench_figures.h"
#include "help_dialog.h"
#include "html_render.h"
#include "os_clock.h"
#include "port_test_app.h"
#include "tbitmap.h"
#include "tdialog.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tlinklabel.h"
#include "tscreen.h"
#include "tseperator.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "test_env.h"

namespace {

constexpr size_t k_page_bytes = 32 * 1024;
constexpr int k_pictures = 8;

std::string read_all(const std::string &path) {
  std::string text;
  if (FILE *file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    std::fclose(file);
  }
  return text;
}

struct page_controls {
  std::vector<tcontrol *> controls;
  std::vector<void (*)(tcontrol *)> frees;
  std::vector<tbitmap *> bitmaps;
};

page_controls *controls_of(html_render *render) {
  return static_cast<page_controls *>(html_render_get_user_data(render));
}
void keep(html_render *render, tcontrol *control, void (*free_fn)(tcontrol *)) {
  tcontrol_realize(control);
  controls_of(render)->controls.push_back(control);
  controls_of(render)->frees.push_back(free_fn);
}
void on_label(html_render *render, tlabel *label) {
  keep(render, &label->_control, [](tcontrol *c) { tlabel_free(reinterpret_cast<tlabel *>(c)); });
}
void on_link(html_render *render, tlinklabel *link) {
  keep(render, &link->_label._control, [](tcontrol *c) { tlinklabel_free(reinterpret_cast<tlinklabel *>(c)); });
}
void on_rule(html_render *render, tseperator *rule) {
  keep(render, &rule->_control, [](tcontrol *c) { tseperator_free(reinterpret_cast<tseperator *>(c)); });
}
void on_image(html_render *render, timage *image, const char16_t *path) {
  tbitmap *bitmap = static_cast<tbitmap *>(std::calloc(1, sizeof(tbitmap)));
  if (tbitmap_load_bmp(bitmap, path)) {
    controls_of(render)->bitmaps.push_back(bitmap);
    timage_set_bitmap(image, bitmap);
  } else {
    std::free(bitmap);
  }
  keep(render, &image->_control, [](tcontrol *c) { timage_free(reinterpret_cast<timage *>(c)); });
}

void BM_help_page_32k_layout(benchmark::State &state) {
  port_test_run_app(
      [&] {
        tstyler_load_defaults();
        ttdrawer_set_font_size(tstyler_get_default_tdrawer(), 7);
        std::string help = std::string(BRIVOLA_PROGRAM_DIR) + "/help/";
        std::string index = read_all(help + "index.htm");
        if (index.empty()) {
          // Timing an empty page would print a figure that measures nothing.
          state.SkipWithError((help + "index.htm is missing: build the brivola_help target").c_str());
          tstyler_free_defaults();
          return 0;
        }
        const char *pictures[k_pictures] = {"pencil", "eraser", "line", "curve", "text", "bucket", "new", "save"};
        std::string page;
        for (int i = 0; page.size() < k_page_bytes && !index.empty(); i++) {
          if (i < k_pictures) page += std::string("<IMG SRC=\"pics/") + pictures[i] + ".bmp\">\n";
          page += index;
        }
        page.resize(std::min(page.size(), k_page_bytes));
        // The form of the viewer filling a 480 x 640 screen.
        help_dialog *dialog = help_dialog_new(u"Help", -1, nullptr, nullptr);
        help_dialog_show(dialog, -1, -1, TDIALOG_PLACE_FILL);
        trect rect = *tsurface_get_rect(&tdialog_get_form(help_dialog_get_dialog(dialog))->_control._surface);
        tdialog_close(help_dialog_get_dialog(dialog), 0);
        tform *form = tform_new(nullptr, &rect, nullptr);
        tcontrol_realize(&form->_control);
        std::u16string page_path(u"");
        for (char c : help + "index.htm") page_path += char16_t(c);
        for (auto _ : state) {
          page_controls controls;
          html_render *render = html_render_new(form, &controls);
          html_render_set_on_add_label(render, on_label);
          html_render_set_on_add_linklabel(render, on_link);
          html_render_set_on_add_seperator(render, on_rule);
          html_render_set_on_add_image(render, on_image);
          std::char_traits<char16_t>::copy(render->_page_path, page_path.c_str(), page_path.size() + 1);
          html_render_parse(render, page.data(), uint32_t(page.size()));
          state.PauseTiming();
          html_render_free(render);
          tform_clear_children(form);
          for (size_t i = 0; i < controls.controls.size(); i++) controls.frees[i](controls.controls[i]);
          for (tbitmap *bitmap : controls.bitmaps) tbitmap_free(bitmap);
          state.ResumeTiming();
        }
        tform_free(form);
        tstyler_free_defaults();
        return 0;
      },
      "480x640");
}
BENCHMARK(BM_help_page_32k_layout)->Unit(benchmark::kMillisecond);

// A program folder whose help index is the longest English page repeated:
// its pictures are the shipped ones, reached through a link to them.
struct long_page_folder {
  std::string root;
  explicit long_page_folder(int repeats) {
    namespace fs = std::filesystem;
    std::string help = std::string(BRIVOLA_PROGRAM_DIR) + "/help";
    std::string longest;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(help, error)) {
      if (entry.path().extension() != ".htm") continue;
      std::string text = read_all(entry.path().string());
      if (text.size() > longest.size()) longest = text;
    }
    if (longest.empty()) return;
    root = test_make_temp_dir("help-bench");
    fs::create_directories(root + "/help");
    fs::create_directory_symlink(help + "/pics", root + "/help/pics", error);
    std::string page;
    for (int i = 0; i < repeats; i++) page += longest;
    test_write_file(root + "/help/index.htm", page);
  }
  ~long_page_folder() {
    if (!root.empty()) test_remove_tree(root);
  }
};

// From the viewer's creation until it shows on the screen with the page.
void help_open(benchmark::State &state, int repeats) {
  long_page_folder folder(repeats);
  if (folder.root.empty()) {
    state.SkipWithError("no English help page: build the brivola_help target");
    return;
  }
  const char *previous = std::getenv("BRIVOLA_PROGRAM_DIR");
  std::string old = previous ? previous : "";
  setenv("BRIVOLA_PROGRAM_DIR", folder.root.c_str(), 1);
  port_test_run_app(
      [&] {
        tstyler_load_defaults();
        ttdrawer_set_font_size(tstyler_get_default_tdrawer(), 7);
        for (auto _ : state) {
          help_dialog *dialog = help_dialog_new(u"Help", -1, nullptr, nullptr);
          tdialog_set_dimmed(help_dialog_get_dialog(dialog), 1);
          help_dialog_show(dialog, -1, -1, TDIALOG_PLACE_FILL);
          state.PauseTiming();
          tdialog_close(help_dialog_get_dialog(dialog), 0);
          state.ResumeTiming();
        }
        tstyler_free_defaults();
        return 0;
      },
      "480x640");
  setenv("BRIVOLA_PROGRAM_DIR", old.c_str(), 1);
}

void BM_help_page_1x(benchmark::State &state) { help_open(state, 1); }
void BM_help_page_64x(benchmark::State &state) { help_open(state, 64); }
BENCHMARK(BM_help_page_1x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_help_page_64x)->Unit(benchmark::kMillisecond);

void with_about_box(const std::function<void(tscreen *)> &body) {
  port_test_run_app(
      [&] {
        tstyler_load_defaults();
        os_clock_drive(1);
        about_dialog *dialog = about_dialog_new(u"About", -1, nullptr);
        tdialog_set_dimmed(about_dialog_get_dialog(dialog), 1);
        about_dialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
        tscreen_paint(tscreen_get(), nullptr);
        body(tscreen_get());
        tdialog_close(about_dialog_get_dialog(dialog), 0);
        os_clock_drive(0);
        tstyler_free_defaults();
        return 0;
      },
      "480x640");
}

// The logo's 50 ms timer comes due and the loop runs it.
void BM_about_logo_frame(benchmark::State &state) {
  with_about_box([&](tscreen *) {
    for (auto _ : state) {
      os_clock_advance(50);
      port_test_pump();
    }
  });
}
BENCHMARK(BM_about_logo_frame);

void BM_about_full_repaint(benchmark::State &state) {
  with_about_box([&](tscreen *screen) {
    for (auto _ : state) tscreen_paint(screen, nullptr);
  });
}
BENCHMARK(BM_about_full_repaint);

}  // namespace

BENCH_MS("help_page_32k_layout_ms", "BM_help_page_32k_layout");
BENCH_RATIO("help_page_64x_vs_1x", "BM_help_page_64x", "BM_help_page_1x", 96);
BENCH_RATIO("about_logo_frame_vs_full_repaint", "BM_about_logo_frame", "BM_about_full_repaint", 0);
// What holds the step: a quarter of a 60 Hz frame.
BENCH_MS_GOAL("about_logo_frame_ms", "BM_about_logo_frame", 4);
