// config.xml: how each key reads, the exact text written, a round trip of
// every key, and the file on disk.
#include "paint_config.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "app_context.h"
#include "app_test_env.h"
#include "save_dirs.h"
#include "test_env.h"

namespace {

void set_folder(char16_t *field, const std::u16string &text) {
  std::memset(field, 0, APP_PATH_CHARS * sizeof(char16_t));
  std::memcpy(field, text.data(), text.size() * sizeof(char16_t));
}

std::string config(const std::string &keys) { return "<?xml version=\"1.0\"?>\n<Brivola>\n" + keys + "</Brivola>\n"; }

}  // namespace

TEST(PaintConfigRead, ColoursNumbersAndRecentColours) {
  app_context app = {};
  app._fore_color = {1, 2, 3, 77};
  app._new_color = {9, 9, 9, 88};
  ASSERT_EQ(paint_config_load_text(&app, config("<ForeColor>10,20</ForeColor><NewColor>1122867</NewColor>"
                                                "<PenSize> 255abc</PenSize><FillStyle>abc</FillStyle>"
                                                "<FontStyle>-2147483648</FontStyle><TBAutoHide>2</TBAutoHide>")
                                             .c_str()),
            1);
  EXPECT_EQ(tcolor_to_word(&app._fore_color), 0xFF0A1400u);
  EXPECT_EQ(tcolor_to_word(&app._new_color), 0x58332211u) << "the file does not hold NewColor's alpha";
  EXPECT_EQ(std::vector<int32_t>({app._pen_size, app._fill_style, app._font_style, app._tb_auto_hide}),
            std::vector<int32_t>({255, 0, INT32_MIN, 2}));

  // A number its field cannot hold keeps what the field had.
  app._recent_colors[0] = 77;
  app_context kept = app;
  ASSERT_EQ(paint_config_load_text(&app, config("<PenSize>99999</PenSize><RubberSize>-1</RubberSize>"
                                                "<ForeColor>999,-5,70000,300</ForeColor><NewColor>16777216</NewColor>"
                                                "<BackColor>-1</BackColor><FontStyle>2147483648</FontStyle>"
                                                "<TBX1>-99999999999</TBX1><TBAutoHide>256</TBAutoHide>"
                                                "<RecentColorNum>2</RecentColorNum><RecentColors>16777216,5,</RecentColors>")
                                             .c_str()),
            1);
  kept._recent_color_num = 2;
  kept._recent_colors[1] = 5;
  EXPECT_EQ(paint_config_text(&app), paint_config_text(&kept));

  app._fore_color.alpha = 66;
  paint_config_load_text(&app, config("<ForeColor>255</ForeColor>").c_str());
  EXPECT_EQ(tcolor_to_word(&app._fore_color) & 0xFFFFFF00u, 0x42FF0000u) << "without a comma, ForeColor keeps its alpha";

  int32_t before[APP_RECENT_COLORS] = {-1, -1, -1, -1, -1, -1, -1, -1};
  std::memcpy(app._recent_colors, before, sizeof before);
  paint_config_load_text(&app, config("<RecentColorNum>3</RecentColorNum><RecentColors>1,2,3</RecentColors>").c_str());
  EXPECT_EQ(std::vector<int32_t>(app._recent_colors, app._recent_colors + 3), std::vector<int32_t>({1, 2, -1}))
      << "the 3 has no comma after it";
  // _recent_color_num and the folder after it lie just past the eight.
  app._my_paints_dir[0] = u'/';
  paint_config_load_text(
      &app, config("<RecentColorNum>20</RecentColorNum><RecentColors>1,2,3,4,5,6,7,8,9,10,</RecentColors>").c_str());
  EXPECT_EQ(app._recent_colors[7], 8);
  EXPECT_EQ(app._recent_color_num, 20) << "a ninth value went past the array";
  EXPECT_EQ(app._my_paints_dir[0], u'/');
}

TEST(PaintConfigRead, AnotherRootOrABrokenFileChangesNothing) {
  app_context app = {};
  for (const char *text : {"<Other><PenSize>3</PenSize></Other>", "<Brivola><PenSize>3</Pen></Brivola>"})
    EXPECT_EQ(paint_config_load_text(&app, text), 0) << text;
  EXPECT_EQ(app._pen_size, 0);
}

TEST(PaintConfigWrite, EveryKeyInOrderRoundTrips) {
  app_context app = {};
  int32_t value = 0;
  for (int32_t *field : {&app._new_width, &app._new_height, &app._pen_size, &app._rubber_size, &app._pen_style,
                         &app._fill_style, &app._font_style, &app._picture_style, &app._tb_x1, &app._tb_y1,
                         &app._tb_width1, &app._tb_height1, &app._tb_x2, &app._tb_y2, &app._tb_width2,
                         &app._tb_height2})
    *field = value += 7;
  app._recent_color_num = 8;
  for (int i = 0; i < APP_RECENT_COLORS; i++) app._recent_colors[i] = i * 1000 + 1;
  app._new_color = {0x11, 0x22, 0x33, 0x44};
  app._back_color = {0x55, 0x66, 0x77, 0x88};
  app._fore_color = {1, 2, 3, 4};
  app._tb_auto_hide = 1;
  set_folder(app._my_paints_dir, u"/home/\u7528/R&D <\u753B> \"q\"");
  set_folder(app._open_dir, u"/tmp/&amp;lt;");
  set_folder(app._save_dir, u"/tmp/ends in ^");

  std::string text = paint_config_text(&app);
  size_t at = 0;
  for (const char *key : {"Brivola", "NewWidth", "NewHeight", "NewColor", "ForeColor", "BackColor", "PenSize",
                          "RubberSize", "PenStyle", "FillStyle", "FontStyle", "PictureStyle", "MyPaintsDir", "OpenDir",
                          "SaveDir", "TBTranslucent", "TBAutoHide", "TBX1", "TBY1", "TBWidth1", "TBHeight1", "TBX2",
                          "TBY2", "TBWidth2", "TBHeight2", "RecentColorNum", "RecentColors", "/Brivola"}) {
    EXPECT_EQ(text.compare(at, std::strlen(key) + 2, std::string("<") + key + ">"), 0) << key << " at " << at;
    at = text.find('\n', at) + 1;
  }
  EXPECT_EQ(at, text.size());
  EXPECT_NE(text.find("<NewColor>1122867</NewColor>\n"), std::string::npos);  // B 0x11, G 0x22, R 0x33
  EXPECT_NE(text.find("<ForeColor>3,2,1,4</ForeColor>\n"), std::string::npos);
  EXPECT_NE(text.find("<RecentColors>1,1001,2001,3001,4001,5001,6001,7001,</RecentColors>\n"), std::string::npos);
  EXPECT_NE(text.find("R&amp;D &lt;"), std::string::npos);

  app_context back = {};
  back._new_color.alpha = 9;
  ASSERT_EQ(paint_config_load_text(&back, text.c_str()), 1) << text;
  EXPECT_EQ(paint_config_text(&back), text);
  EXPECT_EQ(back._new_color.alpha, 9) << "the file does not hold NewColor's alpha";
  EXPECT_EQ(std::u16string(back._my_paints_dir), std::u16string(app._my_paints_dir));
  EXPECT_EQ(std::u16string(back._save_dir), u"/tmp/ends in ^");
}

TEST(PaintConfigRead, LongFoldersAreCutWholeCharacters) {
  app_context app = {};
  std::string folder = "//";
  for (int i = 0; i < 300; i++) folder += "\xF0\x9F\x8E\xA8";  // one character, two UTF-16 units each
  paint_config_load_text(&app, config("<OpenDir>" + folder + "</OpenDir>").c_str());
  std::u16string read = app._open_dir;
  EXPECT_EQ(read.size(), 258u) << "259 units would end in half a pair";
  EXPECT_EQ(read.substr(2, 2), u"\U0001F3A8");
  EXPECT_TRUE(read.back() >= 0xDC00 && read.back() <= 0xDFFF);
}

TEST(PaintConfigFile, ReadOnlyFileIsReadAndTheExitRewritesIt) {
  app_test_folders folders;
  mkdir(folders.home.c_str(), 0755);
  std::string path = folders.home + "/config.xml";
  ASSERT_TRUE(test_write_file(path, config("<PenSize>3</PenSize><SaveDir>" + folders.root + "</SaveDir>")));
  chmod(path.c_str(), 0444);
  EXPECT_TRUE(app_test_run([&](app_context *app) {
    EXPECT_EQ(app->_pen_size, 3);
    EXPECT_EQ(app->_save_dir[1], u't') << "an existing folder is kept";
    app->_picture_style = 0;  // the tool bar's fields are its own at the exit
  }));
  std::string written = test_read_text(path);
  EXPECT_NE(written.find("<PictureStyle>0</PictureStyle>"), std::string::npos) << written;
  EXPECT_NE(written.find("<PenSize>3</PenSize>"), std::string::npos);
}

TEST(PaintConfigFile, PipesAndOversizedFilesAreAbsent) {
  std::string small = config("<PenSize>3</PenSize>");
  std::string whole = config("<PenSize>3</PenSize>" + std::string((1 << 20) - small.size(), ' '));
  for (std::string kind : {"pipe", "big"}) {
    app_test_folders folders;
    mkdir(folders.home.c_str(), 0755);
    std::string path = folders.home + "/config.xml", dirs = folders.home + "/save_dirs.dat";
    if (kind == "pipe") {
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
      ASSERT_EQ(mkfifo(dirs.c_str(), 0600), 0);
    } else {
      ASSERT_TRUE(test_write_file(path, whole + " "));
      ASSERT_TRUE(test_write_file(dirs, "/a\n" + std::string(1 << 20, '/')));
    }
    EXPECT_TRUE(app_test_run([&](app_context *app) {
      EXPECT_NE(app->_pen_size, 3) << kind;
      EXPECT_EQ(save_dirs_get(0), nullptr) << kind;
    }));
  }
  app_test_folders folders;
  mkdir(folders.home.c_str(), 0755);
  ASSERT_TRUE(test_write_file(folders.home + "/config.xml", whole));
  EXPECT_TRUE(app_test_run([&](app_context *app) { EXPECT_EQ(app->_pen_size, 3) << "1 MiB is read"; }));
}
