#include "jpeg_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "test_bitmap.h"
#include "test_env.h"

namespace {

// Smooth enough for JPEG to keep close, with a top half that differs from
// the bottom so that a picture upside down shows.
bitmap_ptr gradient(int32_t width, int32_t height, int bpp) {
  bitmap_ptr b = test_bitmap(width, height, bpp);
  int32_t rows = height < 0 ? -height : height;
  for (int32_t y = 0; y < rows; y++)
    for (int32_t x = 0; x < width; x++) {
      uint32_t red = y < rows / 2 ? 220 : 30;
      uint32_t green = uint32_t(x * 255 / width), blue = uint32_t(y * 255 / rows);
      tbitmap_set_pixel(b.get(), x, y, 0x5A000000u | red << 16 | green << 8 | blue);
    }
  return b;
}

// Mean of the channel differences; JPEG's colour subsampling blurs the sharp
// edge in the middle, so single pixels may differ more.
double mean_difference(const tbitmap *a, const tbitmap *b) {
  double sum = 0;
  for (int32_t y = 0; y < tbitmap_get_height(a); y++)
    for (int32_t x = 0; x < tbitmap_get_width(a); x++) {
      uint32_t ca = test_rgb(a, x, y), cb = test_rgb(b, x, y);
      for (int shift : {0, 8, 16}) sum += std::abs(int(ca >> shift & 0xFF) - int(cb >> shift & 0xFF));
    }
  return sum / (3.0 * tbitmap_get_width(a) * tbitmap_get_height(a));
}

// A JPEG written straight through libjpeg from interleaved samples.
void write_jpeg(const std::string &path, int width, int height, int components, J_COLOR_SPACE space,
                const std::vector<uint8_t> &samples) {
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  jpeg_stdio_dest(&info, f);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  for (int y = 0; y < height; y++) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + size_t(y) * size_t(width * components));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(f);
}

class JpegImage : public TempDirTest {
 protected:
  // 1 when the file loaded into `image`.
  int load(const std::string &name) {
    tbitmap *out = nullptr;
    int ok = jpeg_image_load(&out, wpath(name).c_str());
    image.reset(out);
    return ok;
  }
  bitmap_ptr image;
};

TEST_F(JpegImage, RoundTripIsCloseUprightAndLeavesTheSourceAlone) {
  for (int bpp : {24, 32})
    for (int32_t height : {21, -21}) {
      SCOPED_TRACE("bpp " + std::to_string(bpp) + " height " + std::to_string(height));
      bitmap_ptr src = gradient(35, height, bpp);
      test_bytes before = test_pixel_bytes(src.get());
      ASSERT_EQ(jpeg_image_save(src.get(), wpath("round.jpg").c_str(), 100), 1);
      EXPECT_EQ(test_pixel_bytes(src.get()), before);
      ASSERT_EQ(load("round.jpg"), 1);
      ASSERT_EQ(test_shape(image.get()), (std::vector<int32_t>{35, 21, 24, 1}));
      EXPECT_LE(mean_difference(src.get(), image.get()), 4.0);
      EXPECT_GT(test_rgb(image.get(), 5, 1) >> 16, 200u);
      EXPECT_LT(test_rgb(image.get(), 5, 19) >> 16, 50u);
      if (bpp == 24 && height > 0) test_keep_seed(path("round.jpg"), "jpeg", "colour.jpg");
    }

  // Quality matters: 40 is smaller than 100.
  bitmap_ptr src = gradient(64, 64, 24);
  ASSERT_EQ(jpeg_image_save(src.get(), wpath("low.jpg").c_str(), 40), 1);
  ASSERT_EQ(jpeg_image_save(src.get(), wpath("high.jpg").c_str(), 100), 1);
  EXPECT_LT(std::filesystem::file_size(path("low.jpg")), std::filesystem::file_size(path("high.jpg")));
}

TEST_F(JpegImage, GreyGivesAnEightBitGreyBitmapAndCmykIsRefused) {
  std::vector<uint8_t> grey;
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 16; x++) grey.push_back(y < 4 ? 16 : 240);
  write_jpeg(path("grey.jpg"), 16, 8, 1, JCS_GRAYSCALE, grey);
  ASSERT_EQ(load("grey.jpg"), 1);
  EXPECT_EQ(test_shape(image.get()), (std::vector<int32_t>{16, 8, 8, 1}));
  uint32_t top = test_rgb(image.get(), 3, 0), bottom = test_rgb(image.get(), 3, 7);
  EXPECT_NEAR(int(top >> 16), 16, 6);
  EXPECT_EQ(top >> 16, top & 0xFF) << "the palette is grey";
  EXPECT_NEAR(int(bottom >> 8 & 0xFF), 240, 6);
  test_keep_seed(path("grey.jpg"), "jpeg", "grey.jpg");

  write_jpeg(path("cmyk.jpg"), 8, 8, 4, JCS_CMYK, std::vector<uint8_t>(8 * 8 * 4, 100));
  EXPECT_EQ(load("cmyk.jpg"), 0);
  EXPECT_EQ(image, nullptr);
}

// Each of these would end the process under the library's own error manager.
TEST_F(JpegImage, CorruptCutAndOversizedFilesGiveZeroAndLeaveTheOutPointer) {
  bitmap_ptr src = gradient(48, 40, 24);
  ASSERT_EQ(jpeg_image_save(src.get(), wpath("good.jpg").c_str(), 75), 1);
  test_bytes good = test_read_file(path("good.jpg"));
  tbitmap sentinel = {};
  auto load_leaves_sentinel = [&](const std::string &name) {
    tbitmap *out = &sentinel;
    return jpeg_image_load(&out, wpath(name).c_str()) == 0 && out == &sentinel;
  };
  // Cut 10 bytes before the end, only the premature end of the data is wrong.
  const test_bytes cases[] = {test_bytes(good.begin(), good.end() - 10),
                              test_bytes(good.begin(), good.begin() + long(good.size() * 2 / 3)),
                              test_bytes(good.begin(), good.begin() + 100),
                              {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02, 0x13, 0x37},
                              {}};
  for (size_t i = 0; i < std::size(cases); i++) {
    test_write_file(path("bad.jpg"), cases[i]);
    EXPECT_TRUE(load_leaves_sentinel("bad.jpg")) << "case " << i;
  }
  EXPECT_TRUE(load_leaves_sentinel("missing.jpg"));
  uint64_t budget = tbitmap_set_budget(48 * 40 * 3 - 1);
  EXPECT_TRUE(load_leaves_sentinel("good.jpg"));
  tbitmap_set_budget(budget);
}

TEST_F(JpegImage, SaveRefusesOtherDepthsAndMissingFolders) {
  EXPECT_EQ(jpeg_image_save(test_bitmap(4, 4, 16).get(), wpath("a.jpg").c_str(), 75), 0);
  EXPECT_EQ(jpeg_image_save(test_bitmap(4, 4, 8).get(), wpath("a.jpg").c_str(), 75), 0);
  EXPECT_EQ(jpeg_image_save(gradient(4, 4, 24).get(), wpath("no/such/a.jpg").c_str(), 75), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

}  // namespace
