#include "png_image.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_bitmap.h"
#include "test_env.h"

namespace {

using words = std::vector<uint32_t>;

bitmap_ptr random_bitmap(int32_t width, int32_t height, int bpp, uint32_t seed) {
  bitmap_ptr b = test_bitmap(width, height, bpp);
  std::mt19937 rng(seed);
  test_fill_random(b.get(), rng, 5);
  return b;
}

// A PNG written straight through libpng, in forms our own writer never makes.
struct png_layout {
  uint32_t width, height;
  int bit_depth, color_type, interlace;
  std::vector<png_color> palette;
  std::vector<uint8_t> trns;               // palette alpha
  std::vector<std::vector<uint8_t>> rows;  // packed as the file stores them
};

void write_png(const std::string &path, const png_layout &layout) {
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ASSERT_EQ(setjmp(png_jmpbuf(png)), 0);
  png_init_io(png, f);
  png_set_IHDR(png, info, layout.width, layout.height, layout.bit_depth, layout.color_type, layout.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty()) png_set_PLTE(png, info, layout.palette.data(), int(layout.palette.size()));
  if (!layout.trns.empty()) png_set_tRNS(png, info, layout.trns.data(), int(layout.trns.size()), nullptr);
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (auto &row : layout.rows) pointers.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

// A row of the picture as colour words, or of the mask as its bytes.
words row_of(const tbitmap *b, int32_t y) {
  words out;
  for (int32_t x = 0; x < tbitmap_get_width(b); x++)
    out.push_back(tbitmap_get_bpp(b) == 8 ? *tbitmap_get_pixel_ptr(b, x, y) : test_rgb(b, x, y));
  return out;
}

class PngImage : public TempDirTest {
 protected:
  bool load(const std::string &name) {
    tbitmap *i = reinterpret_cast<tbitmap *>(1), *m = reinterpret_cast<tbitmap *>(1);
    int ok = png_image_load(&i, &m, wpath(name).c_str());
    image.reset(i);
    mask.reset(m);
    return ok == 1;
  }
  bool load_layout(const char *name, const png_layout &layout) {
    write_png(path(name), layout);
    test_keep_seed(path(name), "png", name);
    return load(name);
  }
  bitmap_ptr image, mask;
};

TEST_F(PngImage, RoundTripsBothDepthsAndRowOrdersLeavingTheSourceAlone) {
  for (int bpp : {24, 32})
    for (int32_t height : {13, -13}) {
      SCOPED_TRACE("bpp " + std::to_string(bpp) + " height " + std::to_string(height));
      bitmap_ptr src = random_bitmap(17, height, bpp, uint32_t(bpp + height));
      test_bytes before = test_pixel_bytes(src.get());
      ASSERT_EQ(png_image_save(src.get(), wpath("round.png").c_str()), 1);
      EXPECT_EQ(test_pixel_bytes(src.get()), before) << "the source bitmap changed";
      ASSERT_TRUE(load("round.png"));
      ASSERT_EQ(test_shape(image.get()), (std::vector<int32_t>{17, 13, 24, 0}));
      ASSERT_EQ(test_shape(mask.get()), (std::vector<int32_t>{17, 13, 8, 0}));
      for (int32_t y = 0; y < 13; y++)
        for (int32_t x = 0; x < 17; x++) {
          uint32_t pixel = tbitmap_get_pixel(src.get(), x, y);
          ASSERT_EQ(test_rgb(image.get(), x, y), pixel & 0xFFFFFF) << x << "," << y;
          ASSERT_EQ(*tbitmap_get_pixel_ptr(mask.get(), x, y), bpp == 32 ? pixel >> 24 : 255u) << x << "," << y;
        }
      if (bpp == 32 && height < 0) test_keep_seed(path("round.png"), "png", "rgba_top_down.png");
      if (bpp == 24 && height > 0) test_keep_seed(path("round.png"), "png", "rgb.png");
    }
}

TEST_F(PngImage, ForeignFormsComeOutAs8BitBlueGreenRed) {
  // Grey at 2 bits: 0..3 stretch to 0, 85, 170, 255, and become colour.
  ASSERT_TRUE(load_layout("grey2.png", {5, 2, 2, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, {}, {}, {{0x1B, 0x00}, {0xE4, 0x00}}}));
  EXPECT_EQ(row_of(image.get(), 0), (words{0, 0x555555, 0xAAAAAA, 0xFFFFFF, 0}));
  EXPECT_EQ(row_of(image.get(), 1), (words{0xFFFFFF, 0xAAAAAA, 0x555555, 0, 0}));
  EXPECT_EQ(row_of(mask.get(), 1), words(5, 255));

  // Palette with tRNS: the alpha of each entry lands in the mask; entries
  // past the tRNS list are opaque.
  ASSERT_TRUE(load_layout("palette_trns.png", {3, 1, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                                             {{255, 0, 0}, {0, 255, 0}, {1, 2, 3}}, {0, 128}, {{0, 1, 2}}}));
  EXPECT_EQ(row_of(image.get(), 0), (words{0xFF0000, 0x00FF00, 0x010203}));
  EXPECT_EQ(row_of(mask.get(), 0), (words{0, 128, 255}));

  // 16-bit RGB keeps the high byte of each sample.
  ASSERT_TRUE(load_layout("rgb16.png", {2, 1, 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, {}, {},
                                      {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xFF, 0xFF, 0x00, 0x01, 0x80, 0x7F}}}));
  EXPECT_EQ(row_of(image.get(), 0), (words{0x12569A, 0xFF0080}));

  // Interlaced grey-alpha and RGB: every pixel in its place after the seven passes.
  for (int color_type : {PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB}) {
    int channels = color_type == PNG_COLOR_TYPE_RGB ? 3 : 2;
    png_layout interlaced = {11, 9, 8, color_type, PNG_INTERLACE_ADAM7, {}, {}, {}};
    for (uint32_t y = 0; y < 9; y++) {
      std::vector<uint8_t> row;
      for (uint32_t x = 0; x < 11; x++)
        for (int c = 0; c < channels; c++) row.push_back(uint8_t(y * 16 + x + c * 100));
      interlaced.rows.push_back(row);
    }
    ASSERT_TRUE(load_layout(channels == 2 ? "interlaced_grey_alpha.png" : "interlaced_rgb.png", interlaced));
    for (int32_t y = 0; y < 9; y++)
      for (int32_t x = 0; x < 11; x++) {
        uint8_t v = uint8_t(y * 16 + x), v1 = uint8_t(v + 100), v2 = uint8_t(v + 200);
        ASSERT_EQ(test_rgb(image.get(), x, y), channels == 2 ? v * 0x010101u : uint32_t(v) << 16 | v1 << 8 | v2)
            << x << "," << y;
        ASSERT_EQ(*tbitmap_get_pixel_ptr(mask.get(), x, y), channels == 2 ? v1 : 255) << x << "," << y;
      }
  }
}

TEST_F(PngImage, FilesThatLieOrBreakGiveZeroAndNoPictures) {
  bitmap_ptr src = random_bitmap(40, 30, 24, 3);
  ASSERT_EQ(png_image_save(src.get(), wpath("good.png").c_str()), 1);
  const test_bytes good = test_read_file(path("good.png"));
  test_bytes signature = good, huge = good;
  signature[1] = 'Q';
  // A header that claims 40000 x 30: past the largest side, refused before decoding.
  huge[16] = 0, huge[17] = 0, huge[18] = 0x9C, huge[19] = 0x40;
  test_write_file(path("cut.png"), test_bytes(good.begin(), good.begin() + long(good.size() / 2)));
  test_write_file(path("signature.png"), signature);
  test_write_file(path("huge.png"), huge);
  for (const char *name : {"cut.png", "signature.png", "huge.png", "missing.png"}) {
    EXPECT_FALSE(load(name)) << name;
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(mask, nullptr);
  }

  uint64_t budget = tbitmap_set_budget(1000);
  EXPECT_FALSE(load("good.png")) << "the budget refuses a 40 x 30 picture";
  tbitmap_set_budget(budget);
  EXPECT_TRUE(load("good.png"));
}

TEST_F(PngImage, SaveRefusesOtherDepthsAndAFailedSaveKeepsTheOldFile) {
  EXPECT_EQ(png_image_save(test_bitmap(4, 4, 16).get(), wpath("a.png").c_str()), 0);
  EXPECT_EQ(png_image_save(test_bitmap(4, 4, 8).get(), wpath("a.png").c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(path("a.png")));

  bitmap_ptr small = random_bitmap(2, 2, 24, 1), big = random_bitmap(200, 200, 32, 2);
  ASSERT_EQ(png_image_save(small.get(), wpath("keep.png").c_str()), 1);
  test_bytes old = test_read_file(path("keep.png"));
  // The file system refuses to grow a file past 300 bytes.
  EXPECT_EQ(test_with_file_limit(300, [&] { return png_image_save(big.get(), wpath("keep.png").c_str()); }), 0);
  EXPECT_EQ(test_read_file(path("keep.png")), old);
  EXPECT_EQ(test_count_entries(dir), 1u) << "the temporary file is gone";
  EXPECT_EQ(png_image_save(small.get(), wpath("no/such/folder.png").c_str()), 0);
}

}  // namespace
