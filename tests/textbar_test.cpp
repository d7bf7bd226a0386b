// The text bar: opening over the Text tool's box, typing, the style menu,
// stamping by a tap, and the replay of text-stamp records at any zoom.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app_test_env.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_fixture.h"
#include "paint_history.h"
#include "paint_main.h"
#include "screen_fixture.h"
#include "shape.h"
#include "tcanvas.h"
#include "tdock.h"
#include "tedit.h"
#include "test_bitmap.h"
#include "test_env.h"
#include "textbar.h"
#include "tfile.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "tscreen.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "wins_graphics.h"

namespace {

std::vector<int32_t> corners(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }

// The Text tool dragged from a to b (screen points); the bar it opened.
// The tool bar goes first: the boxes and taps of these tests lie where it
// floats.
textbar *open_bar(app_context *app, tpoint a, tpoint b) {
  if (app->_toolbar) app_test_remove_toolbar(app);
  app->_current_tool = paint_context_find_tool(app->_paint_context, SHAPE_ID_TEXT);
  app_test_pen(OS_PEN_DOWN, a.x, a.y);
  app_test_pen(OS_PEN_MOVE, b.x, b.y);
  app_test_pen(OS_PEN_UP, b.x, b.y);
  return app->_textbar;
}

void type(const char16_t *text) {
  for (; *text; text++) app_test_char(*text);
}

void tap(tpoint at, tpoint up) {
  app_test_pen(OS_PEN_DOWN, at.x, at.y);
  app_test_pen(OS_PEN_UP, up.x, up.y);
}

const paint_history_record *last_record(app_context *app) {
  return paint_history_get_record(app->_history, paint_history_get_count(app->_history) - 1);
}

// A text-stamp record made by hand.
struct text_record {
  uint32_t alignment = 7;
  int32_t offset_x = 0, offset_y = 0, font_size = 12;
  std::u16string face = u"tahoma";
  uint8_t color[4] = {0, 0, 200, 255};  // B, G, R, A
  uint32_t style = 0;
  trect box = {10, 10, 120, 40};
  std::u16string text = u"Wave";
  char16_t last_unit = 0;  // where the NUL belongs

  test_bytes bytes() const {
    test_bytes b((text.size() + 57) * 2, 0);
    test_put32(b, 0, alignment);
    test_put32(b, 4, uint32_t(offset_x));
    test_put32(b, 8, uint32_t(offset_y));
    test_put32(b, 12, uint32_t(font_size));
    for (size_t i = 0; i < face.size() && i < 32; i++) test_put16(b, 16 + 2 * i, face[i]);
    std::memcpy(&b[80], color, 4);
    test_put32(b, 84, style);
    const int32_t c[4] = {box.x1, box.y1, box.x2, box.y2};
    for (int i = 0; i < 4; i++) test_put32(b, 88 + 4 * i, uint32_t(c[i]));
    test_put32(b, 104, uint32_t(text.size()));
    for (size_t i = 0; i < text.size(); i++) test_put16(b, 112 + 2 * i, text[i]);
    test_put16(b, 112 + 2 * text.size(), last_unit);
    return b;
  }
};

// The canvas after a cleared canvas took the record at scale s.
std::string drawn(app_context *app, const test_bytes &record, double scale, int *answer = nullptr) {
  paint_context_clear(app->_paint_context);
  int result = textbar_draw_text_record(app->_paint_context, record.data(), int32_t(record.size()), scale);
  if (answer) *answer = result;
  return app_test_canvas_bytes(app);
}

}  // namespace

TEST(TextBar, AFiveByFiveBoxOpensTwentyByTwentyInADockWithTheMarginsOfTheClass) {
  struct row {
    const char *screen;
    int32_t left, top, right, bottom;
  };
  for (const row &r : {row{"240x320", 7, 3, 3, 7}, row{"480x640", 40, 10, 10, 40}, row{"320x480", 20, 10, 10, 20}}) {
    ASSERT_TRUE(app_test_run_fresh(
        [&](app_context *app) {
          textbar *tb = open_bar(app, {60, 70}, {65, 75});
          ASSERT_NE(tb, nullptr) << r.screen;
          EXPECT_EQ(corners(app_test_screen_rect(&tb->_edit->_control._surface)), (std::vector<int32_t>{60, 70, 79, 89}))
              << r.screen;
          EXPECT_EQ(corners(app_test_screen_rect(&tb->_dock->_control._surface)),
                    (std::vector<int32_t>{60 - r.left, 70 - r.top, 79 + r.right, 89 + r.bottom}))
              << r.screen;
          EXPECT_TRUE(tsurface_is_realized(&tb->_dock->_control._surface));
          EXPECT_TRUE(tcontrol_has_focus(&tb->_edit->_control));
        },
        r.screen));
  }
}

// The edit shows the picture behind it (the screen as the bar opened), so
// the typed text shows on the picture: a stroke and the painting's ground.
TEST(TextBar, TheEditShowsThePictureBehindIt) {
  ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
    const int points[][2] = {{100, 330}, {300, 330}};
    app_test_remove_toolbar(app);
    app->_current_tool = paint_context_find_tool(app->_paint_context, SHAPE_ID_PENCIL);
    app_test_stroke(points, 2);
    auto row = [](int32_t y) {
      std::vector<uint32_t> pixels;
      for (int32_t x = 160; x < 290; x += 10) pixels.push_back(os_headless_get_pixel(x, y));
      return pixels;
    };
    std::vector<uint32_t> stroke = row(330), ground = row(350);
    ASSERT_NE(stroke, ground);
    textbar *tb = open_bar(app, {100, 300}, {300, 360});
    ASSERT_NE(tb, nullptr);
    type(u"i");  // a narrow letter at the left end, before the pixels looked at
    EXPECT_EQ(row(330), stroke);
    EXPECT_EQ(row(350), ground);
  }));
}

TEST(TextBar, TypedTextIsStampedByATapAsAnExactRecord) {
  ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
    tcolor ink;
    paint_context_set_fore_color(app->_paint_context, *tcolor_make(&ink, 10, 20, 30, 200));
    paint_context_set_origin(app->_paint_context, 4, 6);
    std::string before = app_test_canvas_bytes(app);
    textbar *tb = open_bar(app, {100, 200}, {300, 260});
    ASSERT_NE(tb, nullptr);
    type(u"Hi\u4e2d");
    EXPECT_EQ(std::u16string(tedit_get_text(tb->_edit)), u"Hi\u4e2d");
    // The colour panels change the drawing colour while the bar is open.
    paint_context_set_fore_color(app->_paint_context, *tcolor_make(&ink, 40, 50, 60, 70));
    textbar_update_color(tb);
    const ttdrawer *drawer = tedit_get_text_drawer(tb->_edit);
    int32_t font_size = ttdrawer_get_font_size(drawer);
    std::u16string face = ttdrawer_get_font_face(drawer);
    int32_t count = paint_history_get_count(app->_history);
    tap({400, 600}, {400, 600});
    EXPECT_EQ(app->_textbar, nullptr);
    ASSERT_EQ(paint_history_get_count(app->_history), count + 1);
    const paint_history_record *record = last_record(app);
    ASSERT_EQ(record->_operation, PAINT_HISTORY_OP_TEXT);
    ASSERT_EQ(record->_size, (3 + 57) * 2);
    test_bytes got(record->_payload, record->_payload + record->_size);

    text_record expected;
    expected.alignment = 7;
    expected.font_size = font_size;
    expected.face = face;
    const uint8_t color[4] = {60, 50, 40, 70};
    std::memcpy(expected.color, color, 4);
    expected.box = {100 - 4, 200 - 6, 300 - 4, 260 - 6};
    expected.text = u"Hi\u4e2d";
    EXPECT_EQ(got, expected.bytes());
    EXPECT_EQ(test_le32(got, 108), 0u) << "the pointer word";
    EXPECT_TRUE(app_test_canvas_bytes(app) != before) << "the text is on the canvas";
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
  }));
}

// A text longer than its box scrolls in the bar; the tap stamps what the bar
// showed, the same glyphs in the same place, and the history rebuilds it.
TEST(TextBar, TheStampIsWhatTheBarShowedLiveAndRebuilt) {
  struct row {
    const char16_t *text;
    bool scrolls;
  };
  for (const row &r : {row{u"\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440", true},
                       row{u"Wavy lines, quickly", true}, row{u"Hi", false}}) {
    int started = app_test_run_fresh(
        [&](app_context *app) {
          // The caret blinks off on the test's clock: the bar then shows the text alone.
          os_clock_drive(1);
          textbar *tb = open_bar(app, {60, 100}, {170, 130});
          ASSERT_NE(tb, nullptr);
          trect box = app_test_screen_rect(&tb->_edit->_control._surface);
          std::vector<uint32_t> ground = app_test_shown(&box);
          type(r.text);
          ASSERT_EQ(tedit_get_scroll(tb->_edit) > 0, r.scrolls);
          app_test_run_for(500);
          ASSERT_FALSE(tb->_edit->_caret_visible);
          std::vector<uint32_t> shown = app_test_shown(&box);
          ASSERT_GT(screen_count_unlike(shown, ground), 0u) << "the bar shows the text";
          tap({200, 300}, {200, 300});
          ASSERT_EQ(app->_textbar, nullptr);
          tpoint origin;
          paint_context_get_origin(app->_paint_context, &origin);
          std::vector<uint32_t> stamped;
          for (int32_t y = box.y1; y <= box.y2; y++)
            for (int32_t x = box.x1; x <= box.x2; x++)
              stamped.push_back(screen_rgb565(app_test_canvas_pixel(app, x - origin.x, y - origin.y)));
          // The bar blends the glyphs' edges on the 16-bit screen, the canvas
          // at 8 bits a channel: an edge may round a step apart.
          EXPECT_EQ(screen_count_unlike(stamped, shown), 0u);
          EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
        },
        "240x320");
    os_clock_drive(0);
    ASSERT_TRUE(started);
  }
}

// A tap of at most ten pixels closes the bar; it records the text, and an
// empty text nothing, leaving the canvas as it was.
TEST(TextBar, OnlyATapOfAtMostTenPixelsCommits) {
  struct row {
    const char16_t *text;
    tpoint up;
    bool commits;
  };
  for (const row &r : {row{u"x", {411, 600}, false}, row{u"x", {400, 611}, false}, row{u"x", {410, 610}, true},
                       row{u"x", {390, 590}, true}, row{u"", {400, 600}, true}}) {
    ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
      std::string before = app_test_canvas_bytes(app);
      ASSERT_NE(open_bar(app, {100, 200}, {300, 260}), nullptr);
      type(r.text);
      tap({400, 600}, r.up);
      EXPECT_EQ(app->_textbar == nullptr, r.commits) << r.up.x << "," << r.up.y;
      EXPECT_EQ(paint_history_get_count(app->_history), r.commits && *r.text ? 1 : 0);
      EXPECT_TRUE(*r.text || app_test_canvas_bytes(app) == before);
    }));
  }
}

TEST(TextBar, BoldTwiceChangesNothingAndTheStyleReachesTheNextBarAndTheSettings) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    textbar *tb = open_bar(app, {100, 200}, {300, 260});
    ASSERT_NE(tb, nullptr);
    trect dock = app_test_screen_rect(&tb->_dock->_control._surface);
    // A press in the frame's corner square opens the style menu.
    auto choose = [&](int32_t row) {
      app_test_tap(dock.x1 + 5, dock.y1 + 5);
      tlistbox *list = app_test_modal_list();
      ASSERT_NE(list, nullptr) << "the style menu";
      ASSERT_EQ(tlistbox_get_count(list), 4);
      tlistbox_activate(list, row);
    };
    choose(0);
    EXPECT_EQ(ttdrawer_get_font_style(tedit_get_text_drawer(tb->_edit)), 1u);
    choose(0);
    EXPECT_EQ(ttdrawer_get_font_style(tedit_get_text_drawer(tb->_edit)), 0u) << "bold twice";
    choose(1);
    EXPECT_EQ(ttdrawer_get_font_style(tedit_get_selected_text_drawer(tb->_edit)), 2u);
    type(u"ab");
    tap({400, 600}, {400, 600});
    EXPECT_EQ(
        test_le32(test_bytes(last_record(app)->_payload, last_record(app)->_payload + last_record(app)->_size), 84),
        2u);
    tb = open_bar(app, {100, 300}, {300, 360});
    ASSERT_NE(tb, nullptr);
    EXPECT_EQ(ttdrawer_get_font_style(tedit_get_text_drawer(tb->_edit)), 2u) << "the next bar";
  }));
  EXPECT_NE(test_read_text(folders.home + "/config.xml").find("<FontStyle>2</FontStyle>"), std::string::npos);
}

TEST(TextBar, ClearWithABarOpenStampsTheTextFirst) {
  ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
    ASSERT_NE(open_bar(app, {100, 200}, {300, 260}), nullptr);
    type(u"gone");
    // What the tool bar's Clear does.
    EXPECT_EQ(paint_main_commit_textbar(), 1);
    paint_context_clear(app->_paint_context);
    paint_history_add(app->_history, PAINT_HISTORY_OP_CLEAR, nullptr, 0);
    ASSERT_EQ(paint_history_get_count(app->_history), 2);
    EXPECT_EQ(paint_history_get_record(app->_history, 0)->_operation, PAINT_HISTORY_OP_TEXT);
    EXPECT_EQ(paint_history_get_record(app->_history, 1)->_operation, PAINT_HISTORY_OP_CLEAR);
    EXPECT_EQ(paint_main_commit_bars(), 0) << "no bar is left";
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
  }));
}

TEST(TextBar, ARecordMadeAtZoomOneReplaysAtZoomTwoWithEverythingDoubled) {
  ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
    text_record record;
    record.offset_x = 3;
    record.offset_y = -2;
    record.font_size = 9;
    record.box = {10, 12, 90, 40};
    test_bytes bytes = record.bytes();
    textbar_draw_text_record(app->_paint_context, bytes.data(), int32_t(bytes.size()), 1.0);
    paint_history_add(app->_history, PAINT_HISTORY_OP_TEXT, bytes.data(), int32_t(bytes.size()));
    paint_context_set_zoom(app->_paint_context, 2.0);
    paint_history_rebuild(app->_history);
    std::string replayed = app_test_canvas_bytes(app);

    text_record doubled = record;
    doubled.offset_x = 6;
    doubled.offset_y = -4;
    doubled.font_size = 18;
    doubled.box = {20, 24, 180, 80};
    EXPECT_TRUE(drawn(app, doubled.bytes(), 1.0) == replayed);
    EXPECT_TRUE(drawn(app, record.bytes(), 1.0) != replayed);
  }));
}

TEST(TextBar, RecordsThatLieAreSkippedAndTheBoxClipsAtEveryScale) {
  ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
    std::string blank = drawn(app, {}, 1.0);
    text_record good;
    int answer = 0;
    std::string stamped = drawn(app, good.bytes(), 1.0, &answer);
    ASSERT_EQ(answer, 1);
    ASSERT_TRUE(stamped != blank);

    test_bytes longer = good.bytes();
    longer.push_back(0);
    longer.push_back(0);
    test_bytes negative = good.bytes();
    test_put32(negative, 104, uint32_t(-1));
    test_bytes short_head(113, 0);
    text_record endless_face;
    endless_face.face = std::u16string(32, u'a');
    for (const test_bytes &bad : {longer, negative, short_head, endless_face.bytes()}) {
      EXPECT_TRUE(drawn(app, bad, 1.0, &answer) == blank) << bad.size();
      EXPECT_EQ(answer, 0);
    }
    text_record unended = good;
    unended.last_unit = u'W';
    EXPECT_TRUE(drawn(app, unended.bytes(), 1.0) == stamped) << "the text stops at n";

    // Zero alpha: the bytes read as R, G, B and the text is opaque.
    text_record red = good, zero_alpha = good, blue = good;
    const uint8_t red_bytes[4] = {0, 0, 200, 255}, zero_bytes[4] = {200, 0, 0, 0}, blue_bytes[4] = {200, 0, 0, 255};
    std::memcpy(red.color, red_bytes, 4);
    std::memcpy(zero_alpha.color, zero_bytes, 4);
    std::memcpy(blue.color, blue_bytes, 4);
    EXPECT_TRUE(drawn(app, zero_alpha.bytes(), 1.0) == drawn(app, red.bytes(), 1.0));
    EXPECT_TRUE(drawn(app, zero_alpha.bytes(), 1.0) != drawn(app, blue.bytes(), 1.0));

    // Text far wider than its box stays inside it, at 1.0 as at 2.0.
    text_record wide = good;
    wide.text = u"WWWWWWWWWWWWWWWWWWWW";
    wide.font_size = 20;
    wide.box = {30, 30, 60, 45};
    for (double scale : {1.0, 2.0}) {
      drawn(app, wide.bytes(), scale);
      tbitmap *canvas = paint_context_get_canvas(app->_paint_context);
      uint32_t paper = app_test_canvas_pixel(app, 0, 0);
      int outside = 0, inside = 0;
      int32_t x1 = int32_t(30 * scale), y1 = int32_t(30 * scale), x2 = int32_t(60 * scale), y2 = int32_t(45 * scale);
      for (int32_t y = 0; y < tbitmap_get_height(canvas) && y < 200; y++)
        for (int32_t x = 0; x < 300; x++) {
          bool in = x >= x1 && x <= x2 && y >= y1 && y <= y2;
          if (tbitmap_get_pixel(canvas, x, y) != paper) (in ? inside : outside)++;
        }
      EXPECT_GT(inside, 0) << scale;
      EXPECT_EQ(outside, 0) << scale;
    }
  }));
}

TEST(TextBar, AStampedTextRebuildsTheSameAfterSavingAndReopening) {
  app_test_folders folders;
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    ASSERT_NE(open_bar(app, {100, 200}, {300, 260}), nullptr);
    type(u"Saved");
    tap({400, 600}, {400, 600});
    std::string stamped = app_test_canvas_bytes(app);
    ASSERT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    std::u16string path = test_wide(folders.docs + "/text.bvf");
    ASSERT_EQ(paint_file_save_to(app->_file, path.c_str()), 1);
    paint_context_clear(app->_paint_context);
    ASSERT_EQ(paint_file_open(app->_file, path.c_str()), 1);
    paint_history_rebuild(app->_history);
    EXPECT_TRUE(app_test_canvas_bytes(app) == stamped);
  }));
}

// A text record draws only what can show in its box: the glyphs the pen
// passes while inside the clip, at a font no larger than twice the box's
// height, and pixel for pixel what drawing the whole text showed there.
TEST(TextBar, ATextDrawsOnlyWhatCanShowInItsBox) {
  ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
    paint_context *pc = app->_paint_context;
    text_record cjk;
    cjk.font_size = 1024;
    cjk.box = {0, 0, 479, 639};
    for (int i = 0; i < 20000; i++) cjk.text.push_back(char16_t(0x4E00 + i % 2000));
    text_record scrolled = cjk, away = cjk;
    scrolled.offset_x = -40000000;
    away.box = {-5000, 700, -100, 900};
    for (const text_record &r : {cjk, scrolled, away}) {
      uint64_t before = wins_graphics_get_drawn_glyphs();
      drawn(app, r.bytes(), 1.0);
      EXPECT_LE(wins_graphics_get_drawn_glyphs() - before, 4u) << r.offset_x << " " << r.box.x1;
    }

    // A font far above the box's height draws at twice the height.
    text_record huge, capped;
    huge.box = capped.box = {10, 10, 300, 49};
    huge.text = capped.text = u"Wg\u4e2d";
    huge.font_size = 1024;
    capped.font_size = 80;
    EXPECT_TRUE(drawn(app, huge.bytes(), 1.0) == drawn(app, capped.bytes(), 1.0));

    // Records set from the left as the text bar sets them, their text in the
    // box or far to the left of it, show inside the box what the whole text
    // drawn without a clip shows there.
    text_record bar;
    bar.box = {20, 100, 300, 139};
    bar.font_size = 28;
    bar.style = 4 | 2;
    for (int i = 0; i < 60; i++) bar.text += u"Brivola \u4e2d\u6587 ";
    for (uint8_t alpha : {255, 120})
      for (int32_t offset : {0, -2500})
        for (double scale : {1.0, 0.5, 2.0}) {
          bar.offset_x = offset;
          bar.color[3] = alpha;
          drawn(app, bar.bytes(), scale);
          const tbitmap *canvas = paint_context_get_canvas(pc);
          trect box = {int32_t(bar.box.x1 * scale), int32_t(bar.box.y1 * scale), int32_t(bar.box.x2 * scale),
                       int32_t(bar.box.y2 * scale)};
          int32_t dx = 8000 - box.x1, dy = -box.y1;
          bitmap_ptr whole = test_bitmap(16000, box.y2 - box.y1 + 1, 32);
          tbitmap_fill_rect(whole.get(), 0, 0, 15999, box.y2 - box.y1, app_test_canvas_pixel(app, 0, 0));
          ttdrawer *drawer = ttdrawer_copy(tstyler_get_default_tdrawer());
          ttdrawer_set_alignment(drawer, bar.alignment);
          ttdrawer_set_offset_x(drawer, int32_t(offset * scale));
          ttdrawer_set_font_size(drawer, int32_t(bar.font_size * scale));
          ttdrawer_set_font_face(drawer, bar.face.c_str());
          ttdrawer_set_font_style(drawer, bar.style);
          ttdrawer_set_color(drawer, tcolor_rgba(200, 0, 0, alpha));
          tcanvas on;
          tcanvas_init_on_bitmap(&on, whole.get());
          trect shifted = {box.x1 + dx, box.y1 + dy, box.x2 + dx, box.y2 + dy};
          ttdrawer_draw(drawer, &on, bar.text.c_str(), int32_t(bar.text.size()), &shifted);
          ttdrawer_free(drawer);
          for (int32_t y = box.y1; y <= box.y2; y++)
            for (int32_t x = std::max(box.x1, 0); x <= std::min(box.x2, tbitmap_get_width(canvas) - 1); x++)
              ASSERT_EQ(test_rgb(canvas, x, y), test_rgb(whole.get(), x + dx, y + dy))
                  << "alpha " << int(alpha) << ", offset " << offset << ", scale " << scale << " at " << x << "," << y;
        }
  }));
}
