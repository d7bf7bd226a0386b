#include "jpeg_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "test_env.h"

namespace {

struct bitmap_deleter {
  void operator()(tbitmap *b) const {
    if (b) tbitmap_free(b);
  }
};
using bitmap_ptr = std::unique_ptr<tbitmap, bitmap_deleter>;

std::u16string wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

std::vector<uint8_t> read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// Smooth enough for JPEG to keep close, with a top half that differs from
// the bottom so that a picture upside down shows.
bitmap_ptr gradient(int32_t width, int32_t height, int bpp) {
  bitmap_ptr b(tbitmap_new(width, height, bpp));
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
      tcolor ca = {}, cb = {};
      tbitmap_get_pixel_color(a, x, y, &ca);
      tbitmap_get_pixel_color(b, x, y, &cb);
      sum += std::abs(ca.red - cb.red) + std::abs(ca.green - cb.green) + std::abs(ca.blue - cb.blue);
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

class JpegImage : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override { dir = test_make_temp_dir("jpeg"); }
  void TearDown() override { test_remove_tree(dir); }
  std::string path(const char *name) const { return dir + "/" + name; }
  void keep_seed(const std::string &file, const char *name) const {
    if (const char *seeds = std::getenv("BRIVOLA_SEED_DIR")) {
      std::filesystem::create_directories(std::string(seeds) + "/jpeg");
      std::filesystem::copy_file(file, std::string(seeds) + "/jpeg/" + name,
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }
};

TEST_F(JpegImage, RoundTripIsCloseUprightAndLeavesTheSourceAlone) {
  for (int bpp : {24, 32})
    for (int32_t height : {21, -21}) {
      SCOPED_TRACE("bpp " + std::to_string(bpp) + " height " + std::to_string(height));
      bitmap_ptr src = gradient(35, height, bpp);
      std::vector<uint8_t> before(src->_pixels, src->_pixels + tbitmap_get_image_size(src.get()));
      std::string file = path("round.jpg");
      ASSERT_EQ(jpeg_image_save(src.get(), wide(file).c_str(), 100), 1);
      EXPECT_EQ(std::memcmp(before.data(), src->_pixels, before.size()), 0);

      tbitmap *loaded = nullptr;
      ASSERT_EQ(jpeg_image_load(&loaded, wide(file).c_str()), 1);
      bitmap_ptr image(loaded);
      EXPECT_EQ(tbitmap_get_bpp(image.get()), 24);
      EXPECT_TRUE(tbitmap_is_top_down(image.get()));
      ASSERT_EQ(tbitmap_get_width(image.get()), 35);
      ASSERT_EQ(tbitmap_get_height(image.get()), 21);
      EXPECT_LE(mean_difference(src.get(), image.get()), 4.0);
      tcolor top = {}, bottom = {};
      tbitmap_get_pixel_color(image.get(), 5, 1, &top);
      tbitmap_get_pixel_color(image.get(), 5, 19, &bottom);
      EXPECT_GT(top.red, 200);
      EXPECT_LT(bottom.red, 50);
      if (bpp == 24 && height > 0) keep_seed(file, "colour.jpg");
    }

  // Quality matters: 40 is smaller than 100.
  bitmap_ptr src = gradient(64, 64, 24);
  ASSERT_EQ(jpeg_image_save(src.get(), wide(path("low.jpg")).c_str(), 40), 1);
  ASSERT_EQ(jpeg_image_save(src.get(), wide(path("high.jpg")).c_str(), 100), 1);
  EXPECT_LT(std::filesystem::file_size(path("low.jpg")), std::filesystem::file_size(path("high.jpg")));
}

TEST_F(JpegImage, GreyGivesAnEightBitGreyBitmapAndCmykIsRefused) {
  std::vector<uint8_t> grey;
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 16; x++) grey.push_back(y < 4 ? 16 : 240);
  std::string file = path("grey.jpg");
  write_jpeg(file, 16, 8, 1, JCS_GRAYSCALE, grey);
  tbitmap *loaded = nullptr;
  ASSERT_EQ(jpeg_image_load(&loaded, wide(file).c_str()), 1);
  bitmap_ptr image(loaded);
  EXPECT_EQ(tbitmap_get_bpp(image.get()), 8);
  EXPECT_TRUE(tbitmap_is_top_down(image.get()));
  tcolor top = {}, bottom = {};
  tbitmap_get_pixel_color(image.get(), 3, 0, &top);
  tbitmap_get_pixel_color(image.get(), 3, 7, &bottom);
  EXPECT_NEAR(top.red, 16, 6);
  EXPECT_EQ(top.red, top.blue) << "the palette is grey";
  EXPECT_NEAR(bottom.green, 240, 6);
  keep_seed(file, "grey.jpg");

  std::vector<uint8_t> cmyk(8 * 8 * 4, 100);
  file = path("cmyk.jpg");
  write_jpeg(file, 8, 8, 4, JCS_CMYK, cmyk);
  loaded = nullptr;
  EXPECT_EQ(jpeg_image_load(&loaded, wide(file).c_str()), 0);
  EXPECT_EQ(loaded, nullptr);
}

// Each of these would end the process under the library's own error manager.
TEST_F(JpegImage, CorruptCutAndOversizedFilesGiveZeroAndLeaveTheOutPointer) {
  bitmap_ptr src = gradient(48, 40, 24);
  std::string good = path("good.jpg");
  ASSERT_EQ(jpeg_image_save(src.get(), wide(good).c_str(), 75), 1);
  std::vector<uint8_t> bytes = read_file(good);
  tbitmap sentinel = {};
  std::string bad = path("bad.jpg");

  std::vector<std::vector<uint8_t>> cases;
  cases.push_back(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() * 2 / 3)));
  cases.push_back(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100));
  std::vector<uint8_t> garbage = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02, 0x13, 0x37};
  cases.push_back(garbage);
  cases.push_back({});
  for (size_t i = 0; i < cases.size(); i++) {
    write_file(bad, cases[i]);
    tbitmap *out = &sentinel;
    EXPECT_EQ(jpeg_image_load(&out, wide(bad).c_str()), 0) << "case " << i;
    EXPECT_EQ(out, &sentinel) << "case " << i;
  }
  tbitmap *out = &sentinel;
  EXPECT_EQ(jpeg_image_load(&out, wide(path("missing.jpg")).c_str()), 0);

  uint64_t budget = tbitmap_set_budget(48 * 40 * 3 - 1);
  EXPECT_EQ(jpeg_image_load(&out, wide(good).c_str()), 0);
  tbitmap_set_budget(budget);
  EXPECT_EQ(out, &sentinel);
}

TEST_F(JpegImage, SaveRefusesOtherDepthsAndMissingFolders) {
  bitmap_ptr sixteen(tbitmap_new(4, 4, 16)), grey(tbitmap_new(4, 4, 8)), colour = gradient(4, 4, 24);
  EXPECT_EQ(jpeg_image_save(sixteen.get(), wide(path("a.jpg")).c_str(), 75), 0);
  EXPECT_EQ(jpeg_image_save(grey.get(), wide(path("a.jpg")).c_str(), 75), 0);
  EXPECT_EQ(jpeg_image_save(colour.get(), wide(dir + "/no/such/a.jpg").c_str(), 75), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

}  // namespace
