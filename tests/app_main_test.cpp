// The application's start-up and tear-down: defaults by screen class,
// language, the resource swap, failed starts, and a whole session from the
// first stroke to the settings a second start reads back.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app_common.h"
#include "app_test_env.h"
#include "os_clock.h"
#include "os_display.h"
#include "os_shell.h"
#include "os_signal.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_main.h"
#include "port_fs.h"
#include "port_test_app.h"
#include "save_dirs.h"
#include "shape.h"
#include "tdock.h"
#include "tedit.h"
#include "test_bitmap.h"
#include "test_env.h"
#include "textbar.h"
#include "toolbar.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "wins_window.h"

namespace {

bool exists(const std::string &path) { return std::filesystem::exists(path); }
std::string utf8(const char16_t *text) { return test_utf8(text); }

std::string program_dir() {
  const char *dir = std::getenv("BRIVOLA_PROGRAM_DIR");
  return dir && *dir ? dir : BRIVOLA_PROGRAM_DIR;
}

// A program folder of our own with copies of the resource files it needs.
struct program_copy {
  std::string dir = test_make_temp_dir("program");
  std::string saved = program_dir();
  program_copy() {
    for (const char *folder : {"/resvga", "/resqvga"}) {
      mkdir((dir + folder).c_str(), 0755);
      for (const char *file : {"/brivo.tres", "/gui.tmbm", "/gui.tres"})
        test_write_file(dir + folder + file, test_read_text(saved + folder + file));
    }
    setenv("BRIVOLA_PROGRAM_DIR", dir.c_str(), 1);
  }
  ~program_copy() {
    setenv("BRIVOLA_PROGRAM_DIR", saved.c_str(), 1);
    test_remove_tree(dir);
  }
};

std::vector<int32_t> rect_fields(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }

}  // namespace

TEST(AppStart, DefaultsFollowTheScreenClass) {
  // The class boundaries (a 240 side, 320x320, both sides 480) in both
  // orientations: resource folder; pen and eraser; thumbnail; colour panel.
  const struct {
    const char *screen, *res_folder;
    std::vector<int32_t> sizes, thumbnail, color_panel;
  } cases[] = {
      {"320x240", "resqvga", {7, 12}, {235, 5, 314, 59}, {290, 210, 314, 234}},
      {"320x320", "resqvga", {7, 12}, {260, 235, 314, 314}, {5, 290, 29, 314}},
      {"480x640", "resvga", {14, 14}, {338, 438, 469, 629}, {10, 570, 69, 629}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.screen);
    app_test_folders folders;
    ASSERT_TRUE(app_test_run(
        [&](app_context *app) {
          char16_t res[APP_PATH_CHARS];
          ASSERT_TRUE(app_common_get_res_dir(res, APP_PATH_CHARS));
          std::string folder = utf8(res);
          EXPECT_EQ(folder.substr(folder.rfind('/') + 1), c.res_folder);
          EXPECT_EQ((std::vector<int32_t>{app->_pen_size, app->_rubber_size}), c.sizes);
          int32_t w, h;
          tscreen_get_size(tscreen_get(), &w, &h);
          EXPECT_EQ(rect_fields(paint_main_thumbnail_rect(w, h)), c.thumbnail);
          EXPECT_EQ(rect_fields(paint_main_colorpanel_rect(w, h)), c.color_panel);
          EXPECT_EQ((std::vector<int32_t>{app->_new_width, app->_new_height}), (std::vector<int32_t>{w, h}));
          EXPECT_EQ(paint_context_get_pen_size(app->_paint_context), c.sizes[0]);
          EXPECT_EQ(shape_get_id(app->_current_tool), SHAPE_ID_PENCIL);
        },
        c.screen));
  }
}

TEST(AppStart, LanguageFromTheLocale) {
  struct {
    const char *locale;
    const char *code;
  } cases[] = {{"ru_RU.UTF-8", "ru_ru"}, {"be_BY", "ru_ru"}, {"zh_CN.UTF-8", "zh_cn"},
               {"de_DE", "en_us"},       {"C", "en_us"}};
  for (const auto &c : cases) {
    EXPECT_EQ(utf8(app_common_lang_code_of(port_fs_language_of_lang_id(port_fs_lang_id_of_locale(c.locale)))), c.code)
        << c.locale;
  }
}

TEST(AppStart, LanguageFilesAndTheSmallScreenChineseFontSize) {
  app_test_folders folders;
  std::string saved = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "C";
  setenv("LC_ALL", "zh_CN.UTF-8", 1);
  // The default text drawer takes its size at start-up, before the program's
  // own language number is known.
  app_test_run(
      [](app_context *) {
        EXPECT_EQ(ttdrawer_get_font_size(tstyler_get_default_tdrawer()), 10);
        EXPECT_GT(tstyler_get_defaults()->_gui_tmbm_id, 0);
        EXPECT_GT(tstyler_get_defaults()->_gui_tres_id, 0);
      },
      "240x320");
  app_test_run([](app_context *) { EXPECT_EQ(ttdrawer_get_font_size(tstyler_get_default_tdrawer()), 7); },
               "480x640");
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  app_test_run([](app_context *app) {
    EXPECT_EQ(utf8(app->_lang_code), "ru_ru");
    EXPECT_NE(utf8(tresource_get_string(25046, u"Pencil")), "Pencil") << "the Russian texts were loaded";
    EXPECT_EQ(ttdrawer_get_font_size(tstyler_get_default_tdrawer()), 7);
  });
  setenv("LC_ALL", saved.c_str(), 1);
}

// A refused start comes before the application loads its texts: the user's
// language file is loaded for the one text and let go again.
TEST(AppStart, RefusalTextIsInTheUserLanguage) {
  std::string saved = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "C";
  const struct {
    const char *locale;
    int why;
    const char *text;
  } cases[] = {{"ru_RU.UTF-8", WINS_REFUSED_FOLDER, "Brivola не может запуститься: её папка недоступна."},
               {"zh_CN.UTF-8", WINS_WARNED_UNLOCKED,
                "Brivola 无法确认只有一个副本在使用它的文件夹。在此副本运行期间，请不要再启动第二个 Brivola。"},
               {"C", WINS_REFUSED_UNANSWERED,
                "Another copy of Brivola is running but does not answer. Close it, then start Brivola again."}};
  for (const auto &c : cases) {
    setenv("LC_ALL", c.locale, 1);
    char16_t text[512];
    app_common_get_refusal_text(c.why, text, 512);
    EXPECT_EQ(utf8(text), c.text);
    EXPECT_EQ(tresource_get_table(), nullptr) << c.locale;
  }
  setenv("LC_ALL", saved.c_str(), 1);
}

TEST(AppStart, AWaitingResourceFileReplacesTheOldOnceAndOnlyOnLargerScreens) {
  program_copy program;
  app_test_folders folders;
  std::string res = program.dir + "/resvga", small = program.dir + "/resqvga";
  std::string tres = test_read_text(res + "/brivo.tres");
  ASSERT_TRUE(test_write_file(res + "/brivo1.tres", tres));
  ASSERT_TRUE(test_write_file(res + "/gui1.tmbm", "new bitmaps"));
  ASSERT_TRUE(test_write_file(small + "/brivo1.tres", tres));
  ASSERT_TRUE(test_write_file(res + "/brivo.tres", "old and broken"));
  EXPECT_TRUE(app_test_run([](app_context *) {}));
  EXPECT_FALSE(exists(res + "/brivo1.tres"));
  EXPECT_FALSE(exists(res + "/gui1.tmbm"));
  EXPECT_EQ(test_read_text(res + "/brivo.tres"), tres);
  EXPECT_EQ(test_read_text(res + "/gui.tmbm"), "new bitmaps");
  EXPECT_TRUE(app_test_run([](app_context *) {}, "240x320"));
  EXPECT_TRUE(exists(small + "/brivo1.tres")) << "the small class never swaps";

  // Without a waiting resource file, the toolkit's bitmaps stay as they are.
  ASSERT_TRUE(test_write_file(res + "/gui1.tmbm", "newer"));
  EXPECT_TRUE(app_test_run([](app_context *) {}));
  EXPECT_EQ(test_read_text(res + "/gui.tmbm"), "new bitmaps");
}

TEST(AppStart, AFailedStartSaysWhyInOneLineAndLeavesNothing) {
  auto failed_start = [](const std::string &home, const char *cause) {
    testing::internal::CaptureStderr();
    int code = port_test_run_app([] {
      int result = paint_main_start(nullptr, u"");
      EXPECT_EQ(wins_window_get_context()->_app, nullptr);
      EXPECT_EQ(wins_window_get_context()->_exit_hook, nullptr);
      return result;
    });
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
    EXPECT_NE(said.find(cause), std::string::npos) << said;
    EXPECT_FALSE(exists(home + "/config.xml"));
    EXPECT_EQ(tresource_get_table(), nullptr);
  };
  program_copy program;
  app_test_folders folders;
  std::remove((program.dir + "/resvga/brivo.tres").c_str());
  failed_start(folders.home, "brivo.tres");
  setenv("BRIVOLA_PROGRAM_DIR", program.saved.c_str(), 1);
  app_test_folders blocked;
  test_write_file(blocked.docs, "a file standing where the folder goes");
  failed_start(blocked.home, "docs");
}

// A kept painting whose write was killed left a temporary file beside it.
TEST(AppStart, WhatAKilledKeepLeftInTheCacheFolderGoesAtStart) {
  app_test_folders folders;
  std::string left = folders.home + "/cache/paint.cache.~" + std::to_string(test_ended_pid()) + "-0";
  std::filesystem::create_directories(folders.home + "/cache");
  ASSERT_TRUE(test_write_file(left, "half a painting"));
  EXPECT_TRUE(app_test_run([&](app_context *) { EXPECT_FALSE(exists(left)); }));
}

TEST(AppStart, SettingsThatGiveNoPaintingOrFolderFallBack) {
  app_test_folders folders;
  mkdir(folders.home.c_str(), 0755);
  test_write_file(folders.home + "/config.xml",
                 "<Brivola><NewWidth>0</NewWidth><NewHeight>99999999</NewHeight>"
                 "<SaveDir>/no/such/folder</SaveDir><PenSize>3</PenSize></Brivola>");
  EXPECT_TRUE(app_test_run([](app_context *app) {
    EXPECT_EQ(std::vector<int32_t>({app->_new_width, app->_new_height, app->_pen_size}),
              std::vector<int32_t>({480, 640, 3}));
    EXPECT_EQ(std::u16string(app->_save_dir), std::u16string(app->_my_paints_dir));
  }));
}

TEST(AppSession, StrokeUndoRedoQuitKeepsThePaintingAndTheSettings) {
  app_test_folders folders;
  std::string initial, stroked, cache = folders.home + "/cache/paint.cache";
  // Below the tool bar.
  const int stroke[][2] = {{100, 300}, {130, 315}, {160, 330}, {200, 350}};
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    initial = app_test_canvas_bytes(app);
    app_test_stroke(stroke, 4);
    EXPECT_EQ(app_test_canvas_pixel(app, 130, 315), 0xFF800000u) << "the pencil's dark red";
    EXPECT_EQ(os_headless_get_pixel(130, 315), (128u >> 3) << 11) << "and the display shows it";
    EXPECT_EQ(paint_history_get_count(app->_history), 1);
    stroked = app_test_canvas_bytes(app);

    app_test_char(u'B');
    EXPECT_EQ(paint_history_get_position(app->_history), -1);
    EXPECT_TRUE(app_test_canvas_bytes(app) == initial);
    EXPECT_EQ(os_headless_get_pixel(130, 315), os_headless_get_pixel(300, 500));
    app_test_char(u'F');
    EXPECT_TRUE(app_test_canvas_bytes(app) == stroked);

    tcolor blue;
    paint_context_set_fore_color(app->_paint_context, *tcolor_make(&blue, 10, 20, 30, 200));
    save_dirs_add_folder(u"/tmp/R&D <\u7528>");
    app_test_char(u'Q');
    EXPECT_TRUE(exists(cache)) << "'Q' keeps the painting";
  }));
  std::string config = test_read_text(folders.home + "/config.xml");
  EXPECT_NE(config.find("<ForeColor>10,20,30,200</ForeColor>\n"), std::string::npos) << config;
  EXPECT_EQ(test_read_text(folders.home + "/save_dirs.dat"), "/tmp/R&D <\xE7\x94\xA8>\n");

  ASSERT_TRUE(app_test_run([&](app_context *app) {
    EXPECT_EQ(tcolor_to_word(&app->_fore_color), 0xC80A141Eu);
    ASSERT_NE(save_dirs_get(0), nullptr);
    EXPECT_EQ(std::u16string(save_dirs_get(0)), u"/tmp/R&D <\u7528>");
    char16_t path[APP_PATH_CHARS];
    ASSERT_TRUE(app_common_get_cache_file(path, APP_PATH_CHARS));
    ASSERT_EQ(paint_file_open(app->_file, path), 1);
    EXPECT_EQ(std::make_pair(paint_history_get_count(app->_history), paint_history_get_position(app->_history)),
              std::make_pair(1, 0));
    paint_history_rebuild(app->_history);
    EXPECT_TRUE(app_test_canvas_bytes(app) == stroked) << "the kept painting draws the same";
  }));
}

TEST(AppSession, ControlQQuitsWithoutKeepingThePainting) {
  app_test_folders folders;
  const int stroke[][2] = {{50, 50}, {80, 80}};
  ASSERT_TRUE(app_test_run([&](app_context *) {
    app_test_stroke(stroke, 2);
    os_input_key(VK_CONTROL, 1, 1);
    os_input_key('Q', 1, 1);
    wins_window_run();
  }));
  EXPECT_FALSE(exists(folders.home + "/cache/paint.cache"));
  EXPECT_TRUE(exists(folders.home + "/config.xml"));
}

namespace {

// As from a desktop: the program's own watcher takes the signal.
void terminate() {
  os_signal_watch();
  os_signal_set_target(wins_window_get_frame());
  kill(getpid(), SIGTERM);
}

}  // namespace

// Text typed in the text bar (where Q and q are letters), also under its
// style menu, a picture in the image bar, a curve whose handles show and a
// line still being dragged are on the screen but not yet in the painting: every road out that keeps the
// painting places them first, and the next start shows them so.
TEST(AppSession, EveryRoadThatKeepsThePaintingPlacesWhatTheScreenShowsFirst) {
  enum { TEXT, TEXT_MENU, PICTURE, CURVE, LINE };
  const char *works[] = {"text bar", "text bar under its style menu", "image bar", "curve", "line drag"};
  const struct {
    const char *name;
    void (*take)();
  } roads[] = {{"Q", [] { os_input_char(u'Q'); }},
               {"window close", os_input_close},
               {"SIGTERM", terminate},
               {"lost display", os_headless_lose}};
  const int box[][2] = {{100, 300}, {200, 330}, {300, 360}}, line[][2] = {{60, 450}, {240, 450}, {420, 450}},
            bend[][2] = {{180, 450}, {180, 485}, {180, 520}};
  for (int work = TEXT; work <= LINE; work++)
    for (const auto &road : roads) {
      SCOPED_TRACE(std::string(works[work]) + ", " + road.name);
      app_test_folders folders;
      bitmap_ptr picture = test_bitmap(60, 40, 24);
      tbitmap_fill_rect(picture.get(), 0, 0, 59, 39, 0xFF20C040u);
      std::u16string path = test_wide(folders.root + "/picture.bmp");
      ASSERT_TRUE(tbitmap_save_bmp(picture.get(), path.c_str()));
      std::string blank, placed;
      ASSERT_TRUE(app_test_run([&](app_context *app) {
        blank = app_test_canvas_bytes(app);
        if (work == PICTURE) {
          paint_main_open_imagebar(path.c_str());
        } else if (work == LINE) {
          toolbar_select(app->_toolbar, SHAPE_ID_LINE);
          app_test_pen(OS_PEN_DOWN, 60, 450);
          app_test_pen(OS_PEN_MOVE, 420, 520);
        } else {
          toolbar_select(app->_toolbar, work == CURVE ? SHAPE_ID_CURVE : SHAPE_ID_TEXT);
          app_test_stroke(work == CURVE ? line : box, 3);
          if (work == CURVE) app_test_stroke(bend, 3);
          for (char16_t c : std::u16string(work == CURVE ? u"" : u"Quiq")) app_test_char(c);
        }
        if (work == TEXT_MENU) {  // Bold checked, and the menu up again
          trect dock = app_test_screen_rect(&app->_textbar->_dock->_control._surface);
          app_test_tap(dock.x1 + 5, dock.y1 + 5);
          tlistbox_activate(app_test_modal_list(), 0);
          app_test_tap(dock.x1 + 5, dock.y1 + 5);
        }
        port_test_pump();
        road.take();
        if (work <= TEXT_MENU && road.take == roads[0].take) {
          // No quit: the bar, or its menu, takes the key. A close ends the run.
          port_test_pump();
          ASSERT_NE(app->_textbar, nullptr) << "Q quit";
          EXPECT_EQ(std::u16string(tedit_get_text(app->_textbar->_edit)), work == TEXT ? u"QuiqQ" : u"Quiq");
          os_input_close();
        }
        wins_window_run();
        os_signal_give_back();
        EXPECT_EQ(app_test_popup(), nullptr) << "a menu outlived its bar";
        placed = app_test_canvas_bytes(app);
      }));
      EXPECT_FALSE(placed == blank) << "nothing placed";
      ASSERT_TRUE(app_test_run([&](app_context *app) {
        os_clock_drive(1);
        app_test_run_for(PAINT_MAIN_RESTORE_DELAY_MS);
        os_clock_drive(0);
        EXPECT_TRUE(app_test_canvas_bytes(app) == placed) << "the next start shows something else";
      }));
    }
}

namespace {

// A dialog's nested loop: the window is closed while it runs, and its result
// callback ends the wait after the quit has ended the loop.
intptr_t dialog_proc(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (message != WM_USER + 1) return os_def_window_proc(window, message, wparam, lparam);
  os_input_close();
  wins_window_run_wait();
  wins_window_end_wait();
  return 0;
}

}  // namespace

TEST(AppSession, ClosingTheWindowUnderANestedLoopEndsTheProgramInOrder) {
  app_test_folders folders;
  std::string config = folders.home + "/config.xml";
  EXPECT_EXIT(
      {
        int code = port_test_run_app([] {
          os_hwnd dialog = os_window_create(u"Dialog", u"", dialog_proc, 0, 0, 0, 1, 1);
          os_post_message(dialog, WM_USER + 1, 0, 0);
          return paint_main_start(nullptr, u"");
        });
        std::exit(code == 0 && exists(config) ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}

namespace {
std::vector<std::string> g_launched;
int record_launch(const std::vector<std::string> &argv) {
  g_launched = argv;
  return 1;
}
}  // namespace

TEST(AppCommon, FoldersAndTheFeedbackServiceHaveOneHome) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    EXPECT_EQ(paint_history_get_cache_dir(app->_history), utf8(app->_cache_dir));
    os_launcher_fn old = os_shell_set_launcher(record_launch);
    app_common_open_feedback();
    os_shell_set_launcher(old);
    ASSERT_TRUE(port_test_finish_launches());
    ASSERT_FALSE(g_launched.empty());
    EXPECT_EQ(g_launched.back().find("http://" BRIVOLA_SERVICE_HOST "/"), 0u) << g_launched.back();
    EXPECT_NE(g_launched.back().find("&oem=" BRIVOLA_DISTRIBUTOR "&"), std::string::npos) << g_launched.back();
  }));
}
