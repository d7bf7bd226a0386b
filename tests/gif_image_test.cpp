#include "gif_image.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_bitmap.h"
#include "test_env.h"

namespace {

// A GIF written straight through giflib: a screen, an optional global map of
// `colors` entries (colour i = i * 0x010203), an optional extension, and one
// image whose lines are given in the order they are stored.
struct gif_layout {
  int screen_width, screen_height, background;
  int colors;  // 0: no global map
  bool comment;
  int left, top, width, height;
  bool interlace;
  std::vector<std::vector<uint8_t>> lines;
  bool image = true;
};

test_bytes make_gif(const gif_layout &layout) {
  test_bytes bytes;
  int error = 0;
  GifFileType *gif = EGifOpen(&bytes,
                              [](GifFileType *g, const GifByteType *b, int n) {
                                auto *out = static_cast<test_bytes *>(g->UserData);
                                out->insert(out->end(), b, b + n);
                                return n;
                              },
                              &error);
  EXPECT_NE(gif, nullptr);
  ColorMapObject *map = nullptr;
  if (layout.colors) {
    map = GifMakeMapObject(layout.colors, nullptr);
    for (int i = 0; i < layout.colors; i++) map->Colors[i] = {GifByteType(i), GifByteType(2 * i), GifByteType(3 * i)};
  }
  EXPECT_EQ(EGifPutScreenDesc(gif, layout.screen_width, layout.screen_height, 8, layout.background, map), GIF_OK);
  EXPECT_TRUE(!layout.comment || EGifPutComment(gif, "made by the test") == GIF_OK);
  if (layout.image) {
    EXPECT_EQ(EGifPutImageDesc(gif, layout.left, layout.top, layout.width, layout.height, layout.interlace, nullptr), GIF_OK);
    for (auto line : layout.lines) EXPECT_EQ(EGifPutLine(gif, line.data(), int(line.size())), GIF_OK);
  }
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  if (map) GifFreeMapObject(map);
  return bytes;
}

uint32_t map_color(int i) { return uint32_t(i & 0xFF) << 16 | uint32_t((2 * i) & 0xFF) << 8 | uint32_t((3 * i) & 0xFF); }

class GifImage : public TempDirTest {
 protected:
  // 1 when the file loaded into `image`; the pointer is null otherwise.
  int load(const std::string &name) {
    tbitmap *out = reinterpret_cast<tbitmap *>(1);
    int ok = gif_image_load(&out, wpath(name).c_str());
    image.reset(out);
    return ok;
  }
  int load_bytes(const test_bytes &bytes, const char *seed = nullptr) {
    test_write_file(path("in.gif"), bytes);
    if (seed) test_keep_seed(path("in.gif"), "gif", seed);
    return load("in.gif");
  }
  bitmap_ptr image;
};

TEST_F(GifImage, PicturesOfAtMost256ColoursRoundTripExactlyFromAnyDepth) {
  std::mt19937 rng(11);
  std::vector<uint32_t> palette(256);
  for (auto &c : palette) c = rng() & 0xFFFFFF;
  for (int bpp : {8, 16, 24, 32}) {
    SCOPED_TRACE("bpp " + std::to_string(bpp));
    bitmap_ptr src = test_bitmap(23, bpp == 16 ? 9 : -9, bpp);
    for (int32_t y = 0; y < 9; y++)
      for (int32_t x = 0; x < 23; x++) {
        uint32_t pick = uint32_t(x * 9 + y) % 256;
        tbitmap_set_pixel(src.get(), x, y, bpp == 8 ? pick : bpp == 16 ? palette[pick] & 0xFFFF : palette[pick]);
      }
    ASSERT_EQ(gif_image_save(src.get(), wpath("exact.gif").c_str()), 1);
    ASSERT_EQ(load("exact.gif"), 1);
    ASSERT_EQ(test_shape(image.get()), (std::vector<int32_t>{23, 9, 24, 1}));
    for (int32_t y = 0; y < 9; y++)
      for (int32_t x = 0; x < 23; x++) ASSERT_EQ(test_rgb(image.get(), x, y), test_rgb(src.get(), x, y)) << x << "," << y;
    if (bpp == 24) test_keep_seed(path("exact.gif"), "gif", "exact.gif");
  }

  // Past 256 colours the quantiser picks the palette; the picture stays close.
  bitmap_ptr rich = test_bitmap(64, 64, 24);
  for (int32_t y = 0; y < 64; y++)
    for (int32_t x = 0; x < 64; x++) tbitmap_set_pixel(rich.get(), x, y, uint32_t(x * 4) << 16 | uint32_t(y * 4) << 8 | 77);
  ASSERT_EQ(gif_image_save(rich.get(), wpath("rich.gif").c_str()), 1);
  ASSERT_EQ(load("rich.gif"), 1);
  double sum = 0;
  for (int32_t y = 0; y < 64; y++)
    for (int32_t x = 0; x < 64; x++) {
      uint32_t a = test_rgb(image.get(), x, y), b = test_rgb(rich.get(), x, y);
      sum += std::abs(int(a >> 16) - int(b >> 16)) + std::abs(int(a >> 8 & 0xFF) - int(b >> 8 & 0xFF));
    }
  EXPECT_LT(sum / (64 * 64 * 2), 8.0);
}

TEST_F(GifImage, InterlacedImagesComeOutUprightAtTheirPlace) {
  gif_layout layout = {12, 14, 1, 16, true, 2, 1, 7, 11, true, {}};
  // Stored line order of an interlaced image of 11 rows: the four passes.
  for (int start_step : {0x08, 0x48, 0x24, 0x12})
    for (int row = start_step >> 4; row < 11; row += start_step & 0xF) layout.lines.push_back(std::vector<uint8_t>(7, uint8_t(row)));
  ASSERT_EQ(load_bytes(make_gif(layout), "interlaced.gif"), 1);
  for (int32_t y = 0; y < 14; y++)
    for (int32_t x = 0; x < 12; x++) {
      bool inside = x >= 2 && x < 9 && y >= 1 && y < 12;
      ASSERT_EQ(test_rgb(image.get(), x, y), inside ? map_color(y - 1) : map_color(1)) << x << "," << y;
    }
  // A screen without images is the background colour.
  ASSERT_EQ(load_bytes(make_gif({5, 3, 3, 4, true, 0, 0, 0, 0, false, {}, false}), "background_only.gif"), 1);
  EXPECT_EQ(test_rgb(image.get(), 0, 0), map_color(3));
  EXPECT_EQ(test_rgb(image.get(), 4, 2), map_color(3));
}

// Each of these reads or writes outside some buffer unless the glue checks;
// ASan catches any that slips.
TEST_F(GifImage, MalformedFramesAreClippedRefusedOrDrawnSafely) {
  // A frame reaching past the right and bottom edges is clipped.
  gif_layout wider = {6, 4, 0, 4, false, 3, 2, 9, 5, false, {}};
  for (int row = 0; row < 5; row++) wider.lines.push_back(std::vector<uint8_t>(9, 2));
  ASSERT_EQ(load_bytes(make_gif(wider), "past_the_edges.gif"), 1);
  EXPECT_EQ(test_rgb(image.get(), 5, 3), map_color(2));
  EXPECT_EQ(test_rgb(image.get(), 2, 3), map_color(0));

  // Placed entirely off the screen: only the background.
  test_bytes bytes = make_gif(wider);
  size_t descriptor = 13 + 3 * 4;
  ASSERT_EQ(bytes[descriptor], 0x2C);
  bytes[descriptor + 1] = 0xFF, bytes[descriptor + 2] = 0xFF;  // left 65535
  ASSERT_EQ(load_bytes(bytes, "off_screen.gif"), 1);
  EXPECT_EQ(test_rgb(image.get(), 5, 3), map_color(0));

  // Indices up to 255 against a global map cut to 2 entries: the LZW code
  // size stays 8, so the file carries indices the map lacks; the background
  // index 200 lies outside it too, and the (black) background stays there.
  bytes = make_gif({4, 2, 200, 256, false, 0, 0, 4, 2, false, {{0, 1, 2, 255}, {1, 0, 250, 1}}});
  bytes[10] = uint8_t((bytes[10] & ~7) | 0);  // global table of 2 entries
  bytes.erase(bytes.begin() + 13 + 6, bytes.begin() + 13 + 768);
  ASSERT_EQ(load_bytes(bytes, "indices_out_of_range.gif"), 1);
  std::vector<uint32_t> row;
  for (int32_t x = 0; x < 4; x++) row.push_back(test_rgb(image.get(), x, 0));
  EXPECT_EQ(row, (std::vector<uint32_t>{map_color(0), map_color(1), 0, 0}));

  // No colour map at all for the image.
  gif_layout mapless = {4, 4, 0, 4, false, 0, 0, 4, 4, false, {}};
  for (int row = 0; row < 4; row++) mapless.lines.push_back(std::vector<uint8_t>(4, 1));
  bytes = make_gif(mapless);
  bytes[10] &= 0x7F;  // the global map is gone, its bytes too
  bytes.erase(bytes.begin() + 13, bytes.begin() + 13 + 12);
  EXPECT_EQ(load_bytes(bytes, "no_colour_map.gif"), 0);
  EXPECT_EQ(image, nullptr);

  // Cut inside the image data, an empty screen, a huge screen for the
  // budget (32639 x 32639 x 3 bytes), an empty file, and no file.
  test_bytes cut = make_gif(wider), empty_screen = cut, huge = cut;
  cut.resize(cut.size() - 12);
  empty_screen[6] = empty_screen[7] = 0;
  huge[6] = huge[7] = huge[8] = huge[9] = 0x7F;
  for (const test_bytes &bad : {cut, empty_screen, huge, test_bytes()}) {
    EXPECT_EQ(load_bytes(bad), 0);
    EXPECT_EQ(image, nullptr);
  }
  EXPECT_EQ(load("missing.gif"), 0);
  EXPECT_EQ(image, nullptr);
}

// A descriptor that fails (an LZW code size above 8) does not end the file:
// the next image is drawn. A file whose only image fails still fails.
TEST_F(GifImage, AFailedDescriptorIsPassedOverForTheNextImage) {
  gif_layout layout = {4, 2, 0, 4, false, 0, 0, 4, 2, false, {{1, 2, 3, 1}, {2, 2, 2, 2}}};
  test_bytes one = make_gif(layout);
  const size_t desc = 13 + 3 * 4;
  ASSERT_EQ(one[desc], 0x2C);
  ASSERT_EQ(one.back(), 0x3B);
  test_bytes two(one.begin(), one.end() - 1);
  two.insert(two.end(), one.begin() + long(desc), one.end());
  two[desc + 10] = 12;
  ASSERT_EQ(load_bytes(two, "failed_first_descriptor.gif"), 1);
  std::vector<uint32_t> row;
  for (int32_t x = 0; x < 4; x++) row.push_back(test_rgb(image.get(), x, 0));
  EXPECT_EQ(row, (std::vector<uint32_t>{map_color(1), map_color(2), map_color(3), map_color(1)}));
  one[desc + 10] = 12;
  EXPECT_EQ(load_bytes(one), 0);
  EXPECT_EQ(image, nullptr);
}

TEST_F(GifImage, SaveRefusesEmptyBitmapsAndMissingFolders) {
  EXPECT_EQ(gif_image_save(test_bitmap(0, 4, 24).get(), wpath("a.gif").c_str()), 0);
  EXPECT_EQ(gif_image_save(test_bitmap(2, 2, 16).get(), wpath("no/such/a.gif").c_str()), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

}  // namespace
