// The image bar: loading a picture file into its frame, reducing it to the
// screen, the options menu, stamping by a tap, and image-stamp records: their
// blobs byte for byte and their replay at any scale.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app_common.h"
#include "app_test_env.h"
#include "imagebar.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_fixture.h"
#include "paint_history.h"
#include "paint_main.h"
#include "port_test_app.h"
#include "tcanvas.h"
#include "tdialog.h"
#include "tdock.h"
#include "test_bitmap.h"
#include "test_env.h"
#include "tidrawer.h"
#include "timage.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "tmessagedialog.h"
#include "tscale.h"
#include "tscreen.h"
#include "tstyler.h"
#include "tedit.h"
#include "topendialog.h"

namespace {

constexpr uint32_t k_red = 0xFFC80000u;

std::vector<int32_t> size_of(const trect &r) { return {r.x2 - r.x1 + 1, r.y2 - r.y1 + 1}; }
std::vector<int32_t> size_of(const tbitmap *b) { return {tbitmap_get_width(b), std::abs(tbitmap_get_height(b))}; }

// A BMP file of one colour (a colour word; 8 bits: palette entry 0).
std::string write_bmp(const std::string &folder, int32_t width, int32_t height, int bpp, uint32_t color = k_red) {
  bitmap_ptr b = test_bitmap(width, height, bpp);
  if (bpp == 8) {
    uint8_t *palette = tbitmap_get_palette(b.get());
    palette[0] = uint8_t(color), palette[1] = uint8_t(color >> 8), palette[2] = uint8_t(color >> 16);
    std::memset(b->_pixels, 0, tbitmap_get_image_size(b.get()));
  } else {
    tbitmap_fill_rect(b.get(), 0, 0, width - 1, height - 1, color);
  }
  std::string path = folder + "/pic" + std::to_string(width) + "x" + std::to_string(height) + ".bmp";
  EXPECT_EQ(tbitmap_save_bmp(b.get(), test_wide(path).c_str()), 1);
  return path;
}

// A PNG whose left half is opaque red and right half fully transparent.
std::string write_half_png(const std::string &folder, int32_t width, int32_t height) {
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t *cr = cairo_create(surface);
  cairo_set_source_rgba(cr, 200 / 255.0, 0, 0, 1);
  cairo_rectangle(cr, 0, 0, width / 2, height);
  cairo_fill(cr);
  cairo_destroy(cr);
  std::string path = folder + "/half.png";
  cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
  return path;
}

// Insert Picture with the file; the load's completion has run.
imagebar *insert(const std::string &path) {
  paint_main_open_imagebar(test_wide(path).c_str());
  port_test_pump();
  app_context *app = app_common_get_app();
  return app->_imagebar;
}

// Presses the frame's corner square and picks a row of the options menu.
void choose_option(imagebar *ib, int32_t row) {
  trect dock = app_test_screen_rect(&ib->_dock->_control._surface);
  app_test_tap(dock.x1 + 2, dock.y1 + 2);
  tlistbox *list = app_test_modal_list();
  ASSERT_NE(list, nullptr) << "the options menu";
  ASSERT_EQ(tlistbox_get_count(list), 2);
  tlistbox_activate(list, row);
}

test_bytes record_of(const trect &rect, const tbitmap *image, const tbitmap *mask) {
  uint64_t image_size = imagebar_blob_size(image), mask_size = mask ? imagebar_blob_size(mask) : 0;
  test_bytes b(32 + image_size + mask_size, 0xEE);
  const int32_t c[4] = {rect.x1, rect.y1, rect.x2, rect.y2};
  for (int i = 0; i < 4; i++) test_put32(b, 4 * i, uint32_t(c[i]));
  test_put32(b, 16, uint32_t(image_size));
  test_put32(b, 20, 0);
  test_put32(b, 24, uint32_t(mask_size));
  test_put32(b, 28, 0);
  imagebar_store_blob(b.data() + 32, image);
  if (mask) imagebar_store_blob(b.data() + 32 + image_size, mask);
  return b;
}

int replay(app_context *app, const test_bytes &record, double scale) {
  paint_context_clear(app->_paint_context);
  // The history's payloads are heap blocks; so is this copy.
  uint8_t *payload = static_cast<uint8_t *>(std::malloc(record.size()));
  std::memcpy(payload, record.data(), record.size());
  int answer = imagebar_draw_image_record(app->_paint_context, payload, int32_t(record.size()), scale);
  std::free(payload);
  return answer;
}

}  // namespace

TEST(ImageBar, BlobsHoldTheBitmapByteForByteAndReplayAsIt) {
  struct row {
    int32_t height;
    int bpp;
    bool mask;
  };
  std::mt19937 rng(20);
  ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
    for (const row &r : {row{-7, 24, false}, row{7, 24, false}, row{9, 8, false}, row{-5, 32, false},
                         row{6, 16, false}, row{7, 24, true}, row{-7, 24, true}}) {
      SCOPED_TRACE(std::to_string(r.bpp) + " bpp, height " + std::to_string(r.height) + (r.mask ? ", mask" : ""));
      bitmap_ptr image = test_bitmap(13, r.height, r.bpp);
      test_fill_random(image.get(), rng);
      if (r.bpp == 32)
        for (uint32_t i = 3; i < tbitmap_get_image_size(image.get()); i += 4) image->_pixels[i] = 255;
      if (r.bpp == 8)
        for (int i = 0; i < 1024; i++) tbitmap_get_palette(image.get())[i] = uint8_t(rng());
      bitmap_ptr mask = r.mask ? test_bitmap(13, 7, 8) : nullptr;
      if (mask) test_fill_random(mask.get(), rng);
      uint32_t stride = tbitmap_get_stride(image.get());
      uint64_t rows = uint64_t(std::abs(r.height)), info = r.bpp > 8 ? 44 : 1068;
      ASSERT_EQ(imagebar_blob_size(image.get()), 52 + info + stride * rows);

      trect rect = {20, 30, 32, 30 + int32_t(rows) - 1};
      test_bytes record = record_of(rect, image.get(), mask.get());
      test_bytes blob(record.begin() + 32, record.begin() + 32 + int64_t(imagebar_blob_size(image.get())));
      EXPECT_EQ(test_le32(blob, 0), 0u);
      EXPECT_EQ(test_le32(blob, 4), 0u) << "the info pointer";
      EXPECT_EQ(test_le32(blob, 8), stride);
      EXPECT_EQ(test_le32(blob, 12), image->_red_mask);
      EXPECT_EQ(test_le32(blob, 48), 0u) << "the pixels pointer";
      EXPECT_TRUE(std::equal(image->_info, image->_info + 40, blob.begin() + 52)) << "the info header";
      const uint8_t *palette = tbitmap_get_palette(image.get());
      if (r.bpp == 8) {
        EXPECT_TRUE(std::equal(palette, palette + 1024, blob.begin() + 92));
      }
      if (r.bpp == 16) {
        EXPECT_EQ(test_le32(blob, 92), image->_red_mask) << "the first mask word";
      }
      EXPECT_TRUE(std::equal(image->_pixels, image->_pixels + stride * rows, blob.begin() + 52 + int64_t(info)));
      if (mask) {
        test_bytes mask_blob(record.begin() + 32 + int64_t(blob.size()), record.end());
        EXPECT_EQ(mask_blob.size(), 52u + 1068u + tbitmap_get_stride(mask.get()) * 7u);
        EXPECT_TRUE(std::equal(mask->_pixels, mask->_pixels + tbitmap_get_stride(mask.get()) * 7,
                               mask_blob.begin() + 52 + 1068));
      }

      // Replayed, the record draws what the bitmaps draw.
      ASSERT_EQ(replay(app, record, 1.0), 1);
      std::string replayed = app_test_canvas_bytes(app);
      paint_context_clear(app->_paint_context);
      tcanvas canvas;
      tcanvas_init_on_bitmap(&canvas, paint_context_get_canvas(app->_paint_context));
      tidrawer *drawer = tidrawer_new_default();
      tidrawer_draw(drawer, &canvas, image.get(), mask.get(), &rect, 255);
      tidrawer_free(drawer);
      tcanvas_deinit(&canvas);
      EXPECT_TRUE(app_test_canvas_bytes(app) == replayed);
    }
  }));
}

TEST(ImageBar, RecordsThatLieAreSkipped) {
  ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
    bitmap_ptr image = test_bitmap(10, 10, 24), mask = test_bitmap(10, 10, 8), odd_mask = test_bitmap(10, 9, 8),
               grey16 = test_bitmap(10, 10, 16);
    tbitmap_fill_rect(image.get(), 0, 0, 9, 9, k_red);
    trect rect = {0, 0, 9, 9};
    test_bytes good = record_of(rect, image.get(), nullptr);
    ASSERT_EQ(replay(app, good, 1.0), 1);
    std::string blank = (paint_context_clear(app->_paint_context), app_test_canvas_bytes(app));

    test_bytes longer = good;
    longer.push_back(0);
    test_bytes cut(good.begin(), good.end() - 4);
    test_put32(cut, 16, uint32_t(cut.size() - 32));
    test_bytes wide_stride = good;
    test_put32(wide_stride, 32 + 8, 1u << 30);
    test_bytes four_bits = good;
    test_put16(four_bits, 32 + 52 + 14, 4);
    test_bytes no_image = good;
    test_put32(no_image, 16, 0);
    test_put32(no_image, 24, uint32_t(good.size() - 32));
    for (const test_bytes &bad :
         {longer, cut, wide_stride, four_bits, no_image, record_of(rect, image.get(), odd_mask.get()),
          record_of(rect, image.get(), grey16.get())}) {
      EXPECT_EQ(replay(app, bad, 1.0), 0) << bad.size();
      EXPECT_TRUE(app_test_canvas_bytes(app) == blank);
    }
    EXPECT_EQ(replay(app, record_of(rect, image.get(), mask.get()), 1.0), 1);

    // A stored 32-bit picture with its fourth bytes at 0 leaves the canvas opaque.
    bitmap_ptr clear = test_bitmap(10, 10, 32);
    std::memset(clear->_pixels, 0, tbitmap_get_image_size(clear.get()));
    ASSERT_EQ(replay(app, record_of({2, 2, 11, 11}, clear.get(), nullptr), 1.0), 1);
    EXPECT_EQ(app_test_canvas_pixel(app, 5, 5), 0xFF000000u);
  }));
}

TEST(ImageBar, ASmallPictureShowsAtActualSizeInAFittedFrameAndIsStamped) {
  app_test_folders folders;
  std::string path = write_bmp(folders.root, 100, 100, 24);
  ASSERT_TRUE(app_test_run(
      [&](app_context *app) {
        paint_context_set_origin(app->_paint_context, 3, 8);
        imagebar *ib = insert(path);
        ASSERT_NE(ib, nullptr);
        EXPECT_FALSE(app_common_is_wait_note_shown());
        EXPECT_TRUE(tsurface_is_realized(&ib->_dock->_control._surface));
        EXPECT_EQ(size_of(ib->_shown), (std::vector<int32_t>{100, 100}));
        trect image = app_test_screen_rect(&ib->_image->_control._surface);
        trect dock = app_test_screen_rect(&ib->_dock->_control._surface);
        EXPECT_EQ(size_of(image), (std::vector<int32_t>{100, 100})) << "the frame fits the picture";
        EXPECT_EQ(size_of(dock), (std::vector<int32_t>{110, 110})) << "margins 7, 3, 3, 7";
        EXPECT_EQ(image.x1 - dock.x1, 7);

        // A tap outside stamps it where it is shown.
        app_test_tap(230, 310);
        EXPECT_EQ(app->_imagebar, nullptr);
        const paint_history_record *record = paint_history_get_record(app->_history, 0);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->_operation, PAINT_HISTORY_OP_IMAGE);
        test_bytes payload(record->_payload, record->_payload + record->_size);
        EXPECT_EQ(int32_t(test_le32(payload, 0)), image.x1 - 3);
        EXPECT_EQ(int32_t(test_le32(payload, 4)), image.y1 - 8);
        EXPECT_EQ(int32_t(test_le32(payload, 8)), image.x2 - 3);
        EXPECT_EQ(test_le32(payload, 24), 0u) << "no mask";
        EXPECT_EQ(app_test_canvas_pixel(app, image.x1 - 3, image.y1 - 8), k_red);
        EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
      },
      "240x320"));
}

TEST(ImageBar, APictureBiggerThanTheScreenIsReducedKeepingItsProportions) {
  struct row {
    int32_t width, height;
  };
  app_test_folders folders;
  for (const row &r : {row{1000, 500}, row{300, 2000}, row{250, 100}}) {
    std::string path = write_bmp(folders.root, r.width, r.height, 24);
    ASSERT_TRUE(app_test_run(
        [&](app_context *app) {
          imagebar *ib = insert(path);
          ASSERT_NE(ib, nullptr);
          std::vector<int32_t> got = size_of(ib->_picture);
          EXPECT_TRUE(got[0] == 220 || got[1] == 300) << got[0] << "x" << got[1] << ": one side reaches its bound";
          EXPECT_LE(got[0], 220);
          EXPECT_LE(got[1], 300);
          EXPECT_NEAR(double(got[0]) / got[1], double(r.width) / r.height, 0.05);
          EXPECT_FALSE(app_common_is_wait_note_shown());
          app_test_tap(2, 2);
          EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
        },
        "240x320"));
  }
}

TEST(ImageBar, APictureWithALongBmpHeaderStampsAndReplays) {
  app_test_folders folders;
  // A 24-bit BMP with a 108-byte header, and a 32-bit one with bit fields,
  // their rows a solid colour.
  test_bytes file = test_bmp_file(12, 10, 24, 0, 36 * 10, 108);
  for (size_t at = 14 + 108; at + 2 < file.size(); at += 3) file[at] = 0, file[at + 1] = 0, file[at + 2] = 200;
  test_write_file(folders.root + "/long.bmp", file);
  test_bytes fields = test_bmp_file(12, 10, 32, 0, 48 * 10, 108);
  test_put32(fields, 14 + 16, 3);
  test_put32(fields, 14 + 40, 0xFF0000u), test_put32(fields, 14 + 44, 0xFF00u), test_put32(fields, 14 + 48, 0xFFu);
  for (size_t at = 14 + 108; at + 3 < fields.size(); at += 4) test_put32(fields, at, k_red);
  test_write_file(folders.root + "/fields.bmp", fields);
  for (const char *name : {"/long.bmp", "/fields.bmp"}) {
    ASSERT_TRUE(app_test_run(
        [&](app_context *app) {
          SCOPED_TRACE(name);
          imagebar *ib = insert(folders.root + name);
          ASSERT_NE(ib, nullptr);
          trect image = app_test_screen_rect(&ib->_image->_control._surface);
          app_test_tap(2, 2);
          EXPECT_EQ(app_test_canvas_pixel(app, image.x1 + 3, image.y1 + 3), k_red);
          EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
        },
        "240x320"));
  }
}

TEST(ImageBar, ConstrainOffStretchesActualSizeRestoresAndTheChoiceIsKept) {
  app_test_folders folders;
  std::string path = write_bmp(folders.root, 100, 100, 24);
  ASSERT_TRUE(app_test_run(
      [&](app_context *) {
        imagebar *ib = insert(path);
        ASSERT_NE(ib, nullptr);
        tcontrol *dock = &ib->_dock->_control;
        trect frame = app_test_screen_rect(&dock->_surface);
        tcontrol_set_size(dock, 160, 110);
        EXPECT_EQ(size_of(ib->_shown), (std::vector<int32_t>{100, 100})) << "proportions kept";
        choose_option(ib, 0);
        EXPECT_EQ(ib->_constrain, 0);
        EXPECT_EQ(size_of(ib->_shown), (std::vector<int32_t>{150, 100})) << "stretched to the frame";
        choose_option(ib, 1);
        EXPECT_EQ(size_of(ib->_shown), (std::vector<int32_t>{100, 100}));
        EXPECT_EQ(size_of(app_test_screen_rect(&dock->_surface)), size_of(frame)) << "the frame fits again";
      },
      "240x320"));
  EXPECT_NE(test_read_text(folders.home + "/config.xml").find("<PictureStyle>0</PictureStyle>"), std::string::npos);
}

TEST(ImageBar, FailedLoadsSayWhyAndLeaveNoBarAndNoWaitNote) {
  app_test_folders folders;
  test_write_file(folders.root + "/one.bmp", test_bmp_file(8, 8, 1, 8, 32));
  test_write_file(folders.root + "/broken.png", std::string("not a picture"));
  for (const std::string name : {"one.bmp", "broken.png", "missing.bmp"}) {
    ASSERT_TRUE(app_test_run(
        [&](app_context *app) {
          (void)app;
          insert(folders.root + "/" + name);
          EXPECT_EQ(app->_imagebar, nullptr) << name;
          EXPECT_FALSE(app_common_is_wait_note_shown()) << name;
          tsurface *box = tscreen_get_modal(tscreen_get());
          ASSERT_NE(box, nullptr) << name << ": a message box";
          EXPECT_EQ(paint_history_get_count(app->_history), 0);
          tdialog_close(reinterpret_cast<tdialog *>(box), TMESSAGEDIALOG_RESULT_BACK);
        },
        "240x320"));
  }
}

TEST(ImageBar, APictureWithAMaskStampsThroughItAndRebuildsAfterSavingAndReopening) {
  app_test_folders folders;
  std::string path = write_half_png(folders.root, 60, 40);
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    uint32_t paper = app_test_canvas_pixel(app, 0, 0);
    imagebar *ib = insert(path);
    ASSERT_NE(ib, nullptr);
    ASSERT_NE(ib->_shown_mask, nullptr);
    trect image = app_test_screen_rect(&ib->_image->_control._surface);
    app_test_tap(5, 600);
    const paint_history_record *record = paint_history_get_record(app->_history, 0);
    ASSERT_NE(record, nullptr);
    test_bytes payload(record->_payload, record->_payload + record->_size);
    EXPECT_GT(test_le32(payload, 24), 0u) << "the record carries the mask";
    EXPECT_EQ(app_test_canvas_pixel(app, image.x1 + 5, image.y1 + 5), k_red);
    EXPECT_EQ(app_test_canvas_pixel(app, image.x2 - 5, image.y1 + 5), paper) << "through the mask";
    std::string stamped = app_test_canvas_bytes(app);
    ASSERT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    std::u16string document = test_wide(folders.docs + "/picture.bvf");
    ASSERT_EQ(paint_file_save_to(app->_file, document.c_str()), 1);
    paint_context_clear(app->_paint_context);
    ASSERT_EQ(paint_file_open(app->_file, document.c_str()), 1);
    paint_history_rebuild(app->_history);
    EXPECT_TRUE(app_test_canvas_bytes(app) == stamped);
  }));
}

// The tool bar's Insert Picture: the open-picture dialog over the setting's
// folder; its OK opens an image bar on the picked file; pressed again with
// the bar open, it stamps the picture instead of asking again.
TEST(ImageBar, InsertPictureAsksForAFileThenStampsOnTheSecondPress) {
  app_test_folders folders;
  std::string path = write_bmp(folders.root, 40, 30, 24);
  std::u16string folder = test_wide(folders.root), name = test_wide(path.substr(folders.root.size() + 1));
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    std::copy(folder.c_str(), folder.c_str() + folder.size() + 1, app->_open_dir);
    paint_main_insert_picture();
    tsurface *modal = tscreen_get_modal(tscreen_get());
    ASSERT_NE(modal, nullptr);
    auto *open = static_cast<topendialog *>(tsurface_get_owner(modal));
    tdialog *shown = topendialog_get_dialog(open);
    EXPECT_EQ(std::u16string(tdialog_get_title(shown)), u"Open Picture");
    EXPECT_EQ(app->_imagebar, nullptr) << "nothing opens before OK";
    tedit_set_text(topendialog_get_name_edit(open), name.c_str(), -1);
    tdialog_close(shown, TDIALOG_RESULT_OK);
    port_test_pump();
    ASSERT_NE(app->_imagebar, nullptr);
    paint_main_insert_picture();
    EXPECT_EQ(app->_imagebar, nullptr);
    EXPECT_EQ(paint_history_get_count(app->_history), 1);
    EXPECT_EQ(app_test_popup(), nullptr) << "no second dialog";
  }));
}

// A scaled record samples only what meets the canvas, and shows there what
// scaling the whole picture into its rectangle shows.
TEST(ImageBar, AScaledRecordSamplesOnlyWhatMeetsTheCanvasWithTheWholeScalesPixels) {
  ASSERT_TRUE(app_test_run_fresh([&](app_context *app) {
    std::mt19937 rng(28);
    bitmap_ptr image = test_bitmap(37, 23, 24);
    test_fill_random(image.get(), rng);
    paint_context *pc = app->_paint_context;
    const tbitmap *canvas = paint_context_get_canvas(pc);
    const int32_t cw = tbitmap_get_width(canvas), ch = std::abs(tbitmap_get_height(canvas));
    const struct {
      trect rect;
      double scale;
    } cases[] = {{{-30, -20, 400, 300}, 1.7}, {{100, 50, 161, 91}, 0.5}, {{-200, 10, 1500, 2000}, 2.0}};
    for (const auto &c : cases) {
      ASSERT_EQ(replay(app, record_of(c.rect, image.get(), nullptr), c.scale), 1);
      std::vector<uint32_t> got;
      for (int32_t y = 0; y < ch; y++)
        for (int32_t x = 0; x < cw; x++) got.push_back(test_rgb(canvas, x, y));
      paint_context_clear(pc);
      trect r = {int32_t(c.rect.x1 * c.scale), int32_t(c.rect.y1 * c.scale), int32_t(c.rect.x2 * c.scale),
                 int32_t(c.rect.y2 * c.scale)};
      bitmap_ptr whole(tscale_new_scaled(image.get(), r.x2 - r.x1 + 1, r.y2 - r.y1 + 1, 1));
      tcanvas on;
      tcanvas_init_on_bitmap(&on, paint_context_get_canvas(pc));
      tcanvas_set_clip(&on, &r);
      tidrawer *drawer = tidrawer_copy(tstyler_get_default_idrawer());
      tidrawer_draw(drawer, &on, whole.get(), nullptr, &r, 255);
      tidrawer_free(drawer);
      for (int32_t y = 0, i = 0; y < ch; y++)
        for (int32_t x = 0; x < cw; x++, i++) ASSERT_EQ(got[size_t(i)], test_rgb(canvas, x, y)) << x << "," << y;
    }
    bitmap_ptr dot = test_bitmap(1, 1, 24);
    uint64_t before = tscale_get_sampled_pixels();
    ASSERT_EQ(replay(app, record_of({0, 0, 5790, 5790}, dot.get(), nullptr), 2.0), 1);
    EXPECT_LE(tscale_get_sampled_pixels() - before, uint64_t(cw) * uint64_t(ch));
  }));
}
