#include "gif_image.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdio>
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

void write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

uint32_t rgb_at(const tbitmap *b, int32_t x, int32_t y) {
  tcolor c = {};
  tbitmap_get_pixel_color(b, x, y, &c);
  return uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
}

// A GIF written straight through giflib: a screen, an optional global map of
// `colors` entries (colour i = i * 0x010203), an optional extension, and one
// image whose lines are given in the order they are stored.
struct gif_spec {
  int screen_width, screen_height, background;
  int colors;  // 0: no global map
  bool comment;
  int left, top, width, height;
  bool interlace;
  std::vector<std::vector<uint8_t>> lines;
  bool image = true;
};

std::vector<uint8_t> make_gif(const gif_spec &spec) {
  std::vector<uint8_t> bytes;
  int error = 0;
  GifFileType *gif = EGifOpen(&bytes,
                              [](GifFileType *g, const GifByteType *b, int n) {
                                auto *out = static_cast<std::vector<uint8_t> *>(g->UserData);
                                out->insert(out->end(), b, b + n);
                                return n;
                              },
                              &error);
  EXPECT_NE(gif, nullptr);
  ColorMapObject *map = nullptr;
  if (spec.colors) {
    map = GifMakeMapObject(spec.colors, nullptr);
    for (int i = 0; i < spec.colors; i++)
      map->Colors[i] = {GifByteType(i), GifByteType(2 * i), GifByteType(3 * i)};
  }
  EXPECT_EQ(EGifPutScreenDesc(gif, spec.screen_width, spec.screen_height, 8, spec.background, map), GIF_OK);
  if (spec.comment) {
    EXPECT_EQ(EGifPutComment(gif, "made by the test"), GIF_OK);
  }
  if (spec.image) {
    EXPECT_EQ(EGifPutImageDesc(gif, spec.left, spec.top, spec.width, spec.height, spec.interlace, nullptr), GIF_OK);
    for (auto line : spec.lines) EXPECT_EQ(EGifPutLine(gif, line.data(), int(line.size())), GIF_OK);
  }
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  if (map) GifFreeMapObject(map);
  return bytes;
}

uint32_t map_color(int i) { return uint32_t(i & 0xFF) << 16 | uint32_t((2 * i) & 0xFF) << 8 | uint32_t((3 * i) & 0xFF); }

class GifImage : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override { dir = test_make_temp_dir("gif"); }
  void TearDown() override { test_remove_tree(dir); }
  std::string path(const char *name) const { return dir + "/" + name; }
  void keep_seed(const std::string &file, const char *name) const {
    if (const char *seeds = std::getenv("BRIVOLA_SEED_DIR")) {
      std::filesystem::create_directories(std::string(seeds) + "/gif");
      std::filesystem::copy_file(file, std::string(seeds) + "/gif/" + name,
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }
  bitmap_ptr load_bytes(const std::vector<uint8_t> &bytes, int *ok, const char *seed = nullptr) {
    std::string file = path("in.gif");
    write_file(file, bytes);
    if (seed) keep_seed(file, seed);
    tbitmap *out = reinterpret_cast<tbitmap *>(1);
    *ok = gif_image_load(&out, wide(file).c_str());
    return bitmap_ptr(out);
  }
};

TEST_F(GifImage, PicturesOfAtMost256ColoursRoundTripExactlyFromAnyDepth) {
  std::mt19937 rng(11);
  std::vector<uint32_t> palette(256);
  for (auto &c : palette) c = rng() & 0xFFFFFF;
  for (int bpp : {8, 16, 24, 32}) {
    SCOPED_TRACE("bpp " + std::to_string(bpp));
    bitmap_ptr src(tbitmap_new(23, bpp == 16 ? 9 : -9, bpp));
    for (int32_t y = 0; y < 9; y++)
      for (int32_t x = 0; x < 23; x++) {
        uint32_t pick = uint32_t(x * 9 + y) % 256;
        tbitmap_set_pixel(src.get(), x, y, bpp == 8 ? pick : bpp == 16 ? palette[pick] & 0xFFFF : palette[pick]);
      }
    std::string file = path("exact.gif");
    ASSERT_EQ(gif_image_save(src.get(), wide(file).c_str()), 1);
    tbitmap *out = nullptr;
    ASSERT_EQ(gif_image_load(&out, wide(file).c_str()), 1);
    bitmap_ptr image(out);
    ASSERT_EQ(tbitmap_get_bpp(image.get()), 24);
    EXPECT_TRUE(tbitmap_is_top_down(image.get()));
    ASSERT_EQ(tbitmap_get_width(image.get()), 23);
    ASSERT_EQ(tbitmap_get_height(image.get()), 9);
    for (int32_t y = 0; y < 9; y++)
      for (int32_t x = 0; x < 23; x++) ASSERT_EQ(rgb_at(image.get(), x, y), rgb_at(src.get(), x, y)) << x << "," << y;
    if (bpp == 24) keep_seed(file, "exact.gif");
  }

  // Past 256 colours the quantiser picks the palette; the picture stays close.
  bitmap_ptr rich(tbitmap_new(64, 64, 24));
  for (int32_t y = 0; y < 64; y++)
    for (int32_t x = 0; x < 64; x++) tbitmap_set_pixel(rich.get(), x, y, uint32_t(x * 4) << 16 | uint32_t(y * 4) << 8 | 77);
  std::string file = path("rich.gif");
  ASSERT_EQ(gif_image_save(rich.get(), wide(file).c_str()), 1);
  tbitmap *out = nullptr;
  ASSERT_EQ(gif_image_load(&out, wide(file).c_str()), 1);
  bitmap_ptr image(out);
  double sum = 0;
  for (int32_t y = 0; y < 64; y++)
    for (int32_t x = 0; x < 64; x++) {
      uint32_t a = rgb_at(image.get(), x, y), b = rgb_at(rich.get(), x, y);
      sum += std::abs(int(a >> 16) - int(b >> 16)) + std::abs(int(a >> 8 & 0xFF) - int(b >> 8 & 0xFF));
    }
  EXPECT_LT(sum / (64 * 64 * 2), 8.0);
}

TEST_F(GifImage, InterlacedImagesComeOutUprightAtTheirPlace) {
  gif_spec spec = {12, 14, 1, 16, true, 2, 1, 7, 11, true, {}};
  // Stored line order of an interlaced image of 11 rows: the four passes.
  for (int start_step : {0x08, 0x48, 0x24, 0x12})
    for (int row = start_step >> 4; row < 11; row += start_step & 0xF) spec.lines.push_back(std::vector<uint8_t>(7, uint8_t(row)));
  int ok = 0;
  bitmap_ptr image = load_bytes(make_gif(spec), &ok, "interlaced.gif");
  ASSERT_EQ(ok, 1);
  for (int32_t y = 0; y < 14; y++)
    for (int32_t x = 0; x < 12; x++) {
      bool inside = x >= 2 && x < 9 && y >= 1 && y < 12;
      ASSERT_EQ(rgb_at(image.get(), x, y), inside ? map_color(y - 1) : map_color(1)) << x << "," << y;
    }
}

TEST_F(GifImage, ScreenWithoutImagesIsTheBackgroundColour) {
  gif_spec spec = {5, 3, 3, 4, true, 0, 0, 0, 0, false, {}, false};
  int ok = 0;
  bitmap_ptr image = load_bytes(make_gif(spec), &ok, "background_only.gif");
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(rgb_at(image.get(), 0, 0), map_color(3));
  EXPECT_EQ(rgb_at(image.get(), 4, 2), map_color(3));
}

// Each of these reads or writes outside some buffer unless the glue checks;
// ASan catches any that slips.
TEST_F(GifImage, MalformedFramesAreClippedRefusedOrDrawnSafely) {
  int ok = 0;
  // A frame reaching past the right and bottom edges is clipped.
  gif_spec wider = {6, 4, 0, 4, false, 3, 2, 9, 5, false, {}};
  for (int row = 0; row < 5; row++) wider.lines.push_back(std::vector<uint8_t>(9, 2));
  bitmap_ptr image = load_bytes(make_gif(wider), &ok, "past_the_edges.gif");
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(rgb_at(image.get(), 5, 3), map_color(2));
  EXPECT_EQ(rgb_at(image.get(), 2, 3), map_color(0));

  // Placed entirely off the screen: only the background.
  std::vector<uint8_t> bytes = make_gif(wider);
  size_t descriptor = 13 + 3 * 4;
  ASSERT_EQ(bytes[descriptor], 0x2C);
  bytes[descriptor + 1] = 0xFF, bytes[descriptor + 2] = 0xFF;  // left 65535
  image = load_bytes(bytes, &ok, "off_screen.gif");
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(rgb_at(image.get(), 5, 3), map_color(0));

  // Indices up to 255 against a global map cut to 2 entries: the LZW code
  // size stays 8, so the file carries indices the map lacks; the background
  // index 200 lies outside it too.
  gif_spec indices = {4, 2, 200, 256, false, 0, 0, 4, 2, false, {{0, 1, 2, 255}, {1, 0, 250, 1}}};
  bytes = make_gif(indices);
  bytes[10] = uint8_t((bytes[10] & ~7) | 0);  // global table of 2 entries
  bytes.erase(bytes.begin() + 13 + 6, bytes.begin() + 13 + 768);
  image = load_bytes(bytes, &ok, "indices_out_of_range.gif");
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(rgb_at(image.get(), 0, 0), map_color(0));
  EXPECT_EQ(rgb_at(image.get(), 1, 0), map_color(1));
  EXPECT_EQ(rgb_at(image.get(), 2, 0), 0u) << "outside the map: the (black) background stays";
  EXPECT_EQ(rgb_at(image.get(), 3, 0), 0u);

  // No colour map at all for the image.
  gif_spec mapless = {4, 4, 0, 4, false, 0, 0, 4, 4, false, {}};
  for (int row = 0; row < 4; row++) mapless.lines.push_back(std::vector<uint8_t>(4, 1));
  bytes = make_gif(mapless);
  bytes[10] &= 0x7F;  // the global map is gone, its bytes too
  bytes.erase(bytes.begin() + 13, bytes.begin() + 13 + 12);
  image = load_bytes(bytes, &ok, "no_colour_map.gif");
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(image, nullptr);

  // Cut inside the image data, an empty screen, a huge screen for the
  // budget, an empty file, and no file.
  bytes = make_gif(wider);
  bytes.resize(bytes.size() - 12);
  image = load_bytes(bytes, &ok);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(image, nullptr);
  bytes = make_gif(wider);
  bytes[6] = bytes[7] = 0;
  image = load_bytes(bytes, &ok);
  EXPECT_EQ(ok, 0);
  bytes = make_gif(wider);
  bytes[6] = bytes[7] = bytes[8] = bytes[9] = 0x7F;
  image = load_bytes(bytes, &ok);
  EXPECT_EQ(ok, 0) << "32639 x 32639 x 3 bytes is past the budget";
  image = load_bytes({}, &ok);
  EXPECT_EQ(ok, 0);
  tbitmap *out = reinterpret_cast<tbitmap *>(1);
  EXPECT_EQ(gif_image_load(&out, wide(path("missing.gif")).c_str()), 0);
  EXPECT_EQ(out, nullptr);
}

TEST_F(GifImage, SaveRefusesEmptyBitmapsAndMissingFolders) {
  bitmap_ptr empty(tbitmap_new(0, 4, 24)), small(tbitmap_new(2, 2, 16));
  EXPECT_EQ(gif_image_save(empty.get(), wide(path("a.gif")).c_str()), 0);
  EXPECT_EQ(gif_image_save(small.get(), wide(dir + "/no/such/a.gif").c_str()), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

}  // namespace
