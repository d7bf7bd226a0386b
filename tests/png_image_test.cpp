#include "png_image.h"

#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

bitmap_ptr random_bitmap(int32_t width, int32_t height, int bpp, uint32_t seed) {
  bitmap_ptr b(tbitmap_new(width, height, bpp));
  std::mt19937 rng(seed);
  for (uint32_t i = 0; i < tbitmap_get_image_size(b.get()); i++) {
    uint32_t pick = rng() % 5;
    b->_pixels[i] = pick == 0 ? 0 : pick == 1 ? 0xFF : uint8_t(rng());
  }
  return b;
}

// A PNG written straight through libpng, in forms our own writer never makes.
struct png_spec {
  uint32_t width, height;
  int bit_depth, color_type, interlace;
  std::vector<png_color> palette;
  std::vector<uint8_t> trns;           // palette alpha
  std::vector<std::vector<uint8_t>> rows;  // packed as the file stores them
};

void write_png(const std::string &path, const png_spec &spec) {
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ASSERT_EQ(setjmp(png_jmpbuf(png)), 0);
  png_init_io(png, f);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bit_depth, spec.color_type, spec.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!spec.palette.empty()) png_set_PLTE(png, info, spec.palette.data(), int(spec.palette.size()));
  if (!spec.trns.empty()) png_set_tRNS(png, info, spec.trns.data(), int(spec.trns.size()), nullptr);
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (auto &row : spec.rows) pointers.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

uint32_t bgr_at(const tbitmap *b, int32_t x, int32_t y) {
  const uint8_t *p = tbitmap_get_pixel_ptr(b, x, y);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}
uint8_t mask_at(const tbitmap *b, int32_t x, int32_t y) { return *tbitmap_get_pixel_ptr(b, x, y); }

class PngImage : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override { dir = test_make_temp_dir("png"); }
  void TearDown() override { test_remove_tree(dir); }
  std::string path(const char *name) const { return dir + "/" + name; }
  // The fuzz target's seeds are this test's files: with BRIVOLA_SEED_DIR set
  // they are copied to its png/ folder.
  void keep_seed(const std::string &file, const char *name) const {
    if (const char *seeds = std::getenv("BRIVOLA_SEED_DIR")) {
      std::filesystem::create_directories(std::string(seeds) + "/png");
      std::filesystem::copy_file(file, std::string(seeds) + "/png/" + name,
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }
  bool load(const std::string &file, bitmap_ptr *image, bitmap_ptr *mask) {
    tbitmap *i = reinterpret_cast<tbitmap *>(1), *m = reinterpret_cast<tbitmap *>(1);
    int ok = png_image_load(&i, &m, wide(file).c_str());
    image->reset(i);
    mask->reset(m);
    return ok == 1;
  }
};

TEST_F(PngImage, RoundTripsBothDepthsAndRowOrdersLeavingTheSourceAlone) {
  struct form {
    int32_t height;
    int bpp;
  };
  for (form f : {form{13, 24}, form{-13, 24}, form{13, 32}, form{-13, 32}}) {
    SCOPED_TRACE("bpp " + std::to_string(f.bpp) + " height " + std::to_string(f.height));
    bitmap_ptr src = random_bitmap(17, f.height, f.bpp, uint32_t(f.bpp + f.height));
    std::vector<uint8_t> before(src->_pixels, src->_pixels + tbitmap_get_image_size(src.get()));
    std::string file = path("round.png");
    ASSERT_EQ(png_image_save(src.get(), wide(file).c_str()), 1);
    EXPECT_EQ(std::memcmp(before.data(), src->_pixels, before.size()), 0) << "the source bitmap changed";

    bitmap_ptr image, mask;
    ASSERT_TRUE(load(file, &image, &mask));
    ASSERT_EQ(tbitmap_get_bpp(image.get()), 24);
    EXPECT_FALSE(tbitmap_is_top_down(image.get()));
    ASSERT_EQ(tbitmap_get_width(image.get()), 17);
    ASSERT_EQ(tbitmap_get_height(image.get()), 13);
    ASSERT_EQ(tbitmap_get_bpp(mask.get()), 8);
    for (int32_t y = 0; y < 13; y++)
      for (int32_t x = 0; x < 17; x++) {
        uint32_t pixel = tbitmap_get_pixel(src.get(), x, y);
        ASSERT_EQ(bgr_at(image.get(), x, y), pixel & 0xFFFFFF) << x << "," << y;
        ASSERT_EQ(mask_at(mask.get(), x, y), f.bpp == 32 ? pixel >> 24 : 255u) << x << "," << y;
      }
    if (f.bpp == 32 && f.height < 0) keep_seed(file, "rgba_top_down.png");
    if (f.bpp == 24 && f.height > 0) keep_seed(file, "rgb.png");
  }
}

TEST_F(PngImage, ForeignFormsComeOutAs8BitBlueGreenRed) {
  // Grey at 2 bits: 0..3 stretch to 0, 85, 170, 255, and become colour.
  png_spec grey = {5, 2, 2, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, {}, {}, {{0x1B, 0x00}, {0xE4, 0x00}}};
  std::string file = path("grey2.png");
  write_png(file, grey);
  bitmap_ptr image, mask;
  ASSERT_TRUE(load(file, &image, &mask));
  EXPECT_EQ(bgr_at(image.get(), 0, 0), 0x000000u);
  EXPECT_EQ(bgr_at(image.get(), 1, 0), 0x555555u);
  EXPECT_EQ(bgr_at(image.get(), 3, 0), 0xFFFFFFu);
  EXPECT_EQ(bgr_at(image.get(), 0, 1), 0xFFFFFFu);
  EXPECT_EQ(mask_at(mask.get(), 2, 1), 255);
  keep_seed(file, "grey2.png");

  // Palette with tRNS: the alpha of each entry lands in the mask.
  png_spec indexed = {3, 1, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                      {{255, 0, 0}, {0, 255, 0}, {1, 2, 3}}, {0, 128}, {{0, 1, 2}}};
  file = path("palette.png");
  write_png(file, indexed);
  ASSERT_TRUE(load(file, &image, &mask));
  EXPECT_EQ(bgr_at(image.get(), 0, 0), 0xFF0000u);
  EXPECT_EQ(bgr_at(image.get(), 1, 0), 0x00FF00u);
  EXPECT_EQ(bgr_at(image.get(), 2, 0), 0x010203u);
  EXPECT_EQ(mask_at(mask.get(), 0, 0), 0);
  EXPECT_EQ(mask_at(mask.get(), 1, 0), 128);
  EXPECT_EQ(mask_at(mask.get(), 2, 0), 255) << "entries past the tRNS list are opaque";
  keep_seed(file, "palette_trns.png");

  // 16-bit RGB keeps the high byte of each sample.
  png_spec deep = {2, 1, 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, {}, {},
                   {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xFF, 0xFF, 0x00, 0x01, 0x80, 0x7F}}};
  file = path("deep.png");
  write_png(file, deep);
  ASSERT_TRUE(load(file, &image, &mask));
  EXPECT_EQ(bgr_at(image.get(), 0, 0), 0x12569Au);
  EXPECT_EQ(bgr_at(image.get(), 1, 0), 0xFF0080u);
  keep_seed(file, "rgb16.png");

  // Interlaced grey-alpha and RGB: every pixel in its place after the seven passes.
  for (int color_type : {PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB}) {
    int channels = color_type == PNG_COLOR_TYPE_RGB ? 3 : 2;
    png_spec interlaced = {11, 9, 8, color_type, PNG_INTERLACE_ADAM7, {}, {}, {}};
    for (uint32_t y = 0; y < 9; y++) {
      std::vector<uint8_t> row;
      for (uint32_t x = 0; x < 11; x++)
        for (int c = 0; c < channels; c++) row.push_back(uint8_t(y * 16 + x + c * 100));
      interlaced.rows.push_back(row);
    }
    file = path("interlaced.png");
    write_png(file, interlaced);
    ASSERT_TRUE(load(file, &image, &mask));
    for (int32_t y = 0; y < 9; y++)
      for (int32_t x = 0; x < 11; x++) {
        uint8_t v = uint8_t(y * 16 + x);
        if (channels == 2) {
          ASSERT_EQ(bgr_at(image.get(), x, y), v * 0x010101u) << x << "," << y;
          ASSERT_EQ(mask_at(mask.get(), x, y), uint8_t(v + 100)) << x << "," << y;
        } else {
          ASSERT_EQ(bgr_at(image.get(), x, y), uint32_t(v) << 16 | uint32_t(uint8_t(v + 100)) << 8 | uint8_t(v + 200))
              << x << "," << y;
          ASSERT_EQ(mask_at(mask.get(), x, y), 255);
        }
      }
    keep_seed(file, channels == 2 ? "interlaced_grey_alpha.png" : "interlaced_rgb.png");
  }
}

TEST_F(PngImage, FilesThatLieOrBreakGiveZeroAndNoPictures) {
  bitmap_ptr image, mask;
  EXPECT_FALSE(load(path("missing.png"), &image, &mask));
  EXPECT_EQ(image, nullptr);
  EXPECT_EQ(mask, nullptr);

  bitmap_ptr src = random_bitmap(40, 30, 24, 3);
  std::string good = path("good.png");
  ASSERT_EQ(png_image_save(src.get(), wide(good).c_str()), 1);
  std::vector<uint8_t> bytes = read_file(good);

  std::string bad = path("bad.png");
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(bytes.size() / 2));
  write_file(bad, cut);
  EXPECT_FALSE(load(bad, &image, &mask)) << "cut inside the image data";
  EXPECT_EQ(image, nullptr);

  std::vector<uint8_t> signature = bytes;
  signature[1] = 'Q';
  write_file(bad, signature);
  EXPECT_FALSE(load(bad, &image, &mask));

  // A header that claims 40000 x 30: past the largest side, refused before decoding.
  std::vector<uint8_t> huge = bytes;
  huge[16] = 0, huge[17] = 0, huge[18] = 0x9C, huge[19] = 0x40;
  write_file(bad, huge);
  EXPECT_FALSE(load(bad, &image, &mask));

  uint64_t budget = tbitmap_set_budget(1000);
  EXPECT_FALSE(load(good, &image, &mask)) << "the budget refuses a 40 x 30 picture";
  tbitmap_set_budget(budget);
  EXPECT_TRUE(load(good, &image, &mask));
}

TEST_F(PngImage, SaveRefusesOtherDepthsAndAFailedSaveKeepsTheOldFile) {
  bitmap_ptr sixteen(tbitmap_new(4, 4, 16)), grey(tbitmap_new(4, 4, 8));
  EXPECT_EQ(png_image_save(sixteen.get(), wide(path("a.png")).c_str()), 0);
  EXPECT_EQ(png_image_save(grey.get(), wide(path("a.png")).c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(path("a.png")));

  std::string file = path("keep.png");
  bitmap_ptr small = random_bitmap(2, 2, 24, 1);
  ASSERT_EQ(png_image_save(small.get(), wide(file).c_str()), 1);
  std::vector<uint8_t> old = read_file(file);

  // The file system refuses to grow a file past 300 bytes.
  bitmap_ptr big = random_bitmap(200, 200, 32, 2);
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = saved;
  tight.rlim_cur = 300;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  int result = png_image_save(big.get(), wide(file).c_str());
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(read_file(file), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "the temporary file is gone";
  EXPECT_EQ(png_image_save(small.get(), wide(dir + "/no/such/folder.png").c_str()), 0);
}

}  // namespace
