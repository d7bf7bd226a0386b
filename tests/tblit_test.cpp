#include "tblit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const char *format_name(int f) {
  static const char *names[] = {"8", "555", "565", "24", "32"};
  return names[f];
}
const char *family_name(int f) {
  static const char *names[] = {"alpha", "masked", "keyed"};
  return names[f];
}
int bytes_of(int f) { return f == TBLIT_FORMAT_8 ? 1 : f == TBLIT_FORMAT_24 ? 3 : f == TBLIT_FORMAT_32 ? 4 : 2; }

// Bytes biased to the extremes, where truncation and overflow faults show.
uint8_t biased_byte(std::mt19937 &rng) {
  uint32_t pick = rng() % 8;
  if (pick == 0) return 0x00;
  if (pick == 1) return 0xFF;
  return uint8_t(rng());
}

// A buffer of `rows` rows with room after each row that no worker may touch.
struct buffer {
  std::vector<uint8_t> bytes;
  uint32_t stride = 0;
  bool top_down = true;

  void make(std::mt19937 &rng, int32_t columns, int32_t rows, int bpp_bytes) {
    stride = uint32_t(columns * bpp_bytes + rng() % 9);
    bytes.resize(size_t(stride) * rows + 1);
    for (uint8_t &b : bytes) b = biased_byte(rng);
    top_down = rng() & 1;
  }
  // Where the worker starts: row 0 of the image.
  uint8_t *start(int32_t rows) { return bytes.data() + (top_down ? 0 : size_t(stride) * (rows - 1)); }
};

struct blit_case {
  buffer src, dst, mask;
  std::vector<uint8_t> palette;
  tblit_job job = {};
};

void make_case(std::mt19937 &rng, int family, int s, int d, blit_case *c) {
  int32_t columns = int32_t(1 + rng() % 37), rows = int32_t(1 + rng() % 5);
  if (rng() % 4 == 0) columns = 8 * int32_t(1 + rng() % 4);  // exact multiples of the fast step
  c->src.make(rng, columns, rows, bytes_of(s));
  c->dst.make(rng, columns, rows, bytes_of(d));
  c->mask.make(rng, columns, rows, 1);
  c->palette.resize(1024);
  for (uint8_t &b : c->palette) b = biased_byte(rng);
  // Make some source pixels equal to the key so the keyed family skips them.
  uint32_t key = TBLIT_NO_KEY;
  if (family == TBLIT_KEYED && rng() % 4 != 0) {
    uint32_t r = biased_byte(rng), g = biased_byte(rng), b = biased_byte(rng);
    key = r | g << 8 | b << 16;
    for (size_t i = 0; i + 4 <= c->src.bytes.size(); i += bytes_of(s)) {
      if (rng() % 3) {
        continue;
      }
      uint8_t *p = &c->src.bytes[i];
      if (s == TBLIT_FORMAT_24 || s == TBLIT_FORMAT_32) {
        p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
      } else if (s == TBLIT_FORMAT_565) {
        uint32_t w = (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
        p[0] = uint8_t(w), p[1] = uint8_t(w >> 8);
      } else if (s == TBLIT_FORMAT_555) {
        uint32_t w = (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
        p[0] = uint8_t(w), p[1] = uint8_t(w >> 8);
      } else {
        uint8_t *e = &c->palette[4 * p[0]];
        e[0] = uint8_t(b), e[1] = uint8_t(g), e[2] = uint8_t(r);
      }
    }
  }
  static const int alphas[] = {0, 1, 127, 128, 216, 254, 255, 256};
  int alpha = rng() % 2 ? alphas[rng() % 8] : int(rng() % 257);
  if (family != TBLIT_ALPHA && alpha > 255) alpha = 255;

  tblit_job &job = c->job;
  job.dst = c->dst.start(rows);
  job.dst_stride = c->dst.stride;
  job.src = c->src.start(rows);
  job.src_stride = c->src.stride;
  job.palette = c->palette.data();
  job.columns = columns;
  job.rows = rows;
  job.mask = family == TBLIT_MASKED ? c->mask.start(rows) : nullptr;
  job.mask_stride = c->mask.stride;
  job.key = key;
  job.alpha = alpha;
  job.src_top_down = c->src.top_down;
  job.dst_top_down = c->dst.top_down;
  job.mask_top_down = c->mask.top_down;
}

std::string describe(uint32_t seed, int family, int s, int d, const tblit_job &job) {
  return "seed " + std::to_string(seed) + ": " + family_name(family) + " " + format_name(s) + " -> " +
         format_name(d) + ", " + std::to_string(job.columns) + "x" + std::to_string(job.rows) +
         " alpha " + std::to_string(job.alpha) + " key " + std::to_string(job.key) + " src " +
         (job.src_top_down ? "top-down" : "bottom-up") + " dst " + (job.dst_top_down ? "top-down" : "bottom-up");
}

}  // namespace

// Every fast path against the general path on random cases of every pair;
// returns how many cases were compared.
int compare_fast_with_general() {
  int compared = 0;
  for (int family = 0; family < TBLIT_FAMILY_COUNT; family++) {
    for (int s = 0; s < TBLIT_FORMAT_COUNT; s++) {
      for (int d = TBLIT_FORMAT_555; d < TBLIT_FORMAT_COUNT; d++) {
        auto fam = tblit_family(family);
        tblit_worker general = tblit_general(fam, tblit_format(s), tblit_format(d));
        tblit_worker fast = tblit_fast(fam, tblit_format(s), tblit_format(d));
        EXPECT_NE(general, nullptr);
        EXPECT_EQ(tblit_select(fam, tblit_format(s), tblit_format(d)), fast ? fast : general);
        if (!fast || !general) continue;
        for (uint32_t i = 0; i < 300; i++) {
          uint32_t seed = 7919u * uint32_t(family * 100 + s * 10 + d) + i;
          std::mt19937 rng(seed);
          blit_case a;
          make_case(rng, family, s, d, &a);
          blit_case b = a;
          b.job.dst = b.dst.start(b.job.rows);
          std::vector<uint8_t> before = a.dst.bytes;
          general(&a.job);
          fast(&b.job);
          EXPECT_EQ(a.dst.bytes, b.dst.bytes) << describe(seed, family, s, d, a.job);
          if (a.dst.bytes != b.dst.bytes) return compared;
          compared++;
          if (a.job.alpha == 0 && family != TBLIT_KEYED) {
            EXPECT_EQ(a.dst.bytes, before);
          }
        }
      }
    }
  }
  return compared;
}

// Fast paths give the general path's bytes, padding included, with and
// without the 256-bit loops.
TEST(FastPaths, MatchTheGeneralPathOnRandomInput) {
  int was = tblit_set_wide_vectors(1);
  EXPECT_GT(compare_fast_with_general(), 0);
  tblit_set_wide_vectors(0);
  EXPECT_GT(compare_fast_with_general(), 0) << "(without 256-bit loops)";
  tblit_set_wide_vectors(was);
}

TEST(FastPaths, PairsWithoutADestinationHaveNoWorker) {
  EXPECT_EQ(tblit_select(TBLIT_KEYED, TBLIT_FORMAT_32, TBLIT_FORMAT_8), nullptr);
  EXPECT_EQ(tblit_select(TBLIT_ALPHA, TBLIT_FORMAT_NONE, TBLIT_FORMAT_32), nullptr);
  EXPECT_EQ(tblit_source_format(16, 0xF800, 0x07E0, 0x001F), TBLIT_FORMAT_565);
  EXPECT_EQ(tblit_source_format(16, 0x7C00, 0x03E0, 0x001F), TBLIT_FORMAT_555);
  EXPECT_EQ(tblit_source_format(16, 0xF800, 0x07E0, 0), TBLIT_FORMAT_555);
  EXPECT_EQ(tblit_source_format(4, 0, 0, 0), TBLIT_FORMAT_NONE);
}

namespace {

// One pixel through the selected worker of a family.
template <typename D, typename S>
D one_pixel(tblit_family family, tblit_format sf, tblit_format df, S src, D dst, int alpha, uint32_t key = TBLIT_NO_KEY,
            uint8_t mask = 255, const uint8_t *palette = nullptr) {
  tblit_job job = {};
  job.dst = reinterpret_cast<uint8_t *>(&dst);
  job.src = reinterpret_cast<const uint8_t *>(&src);
  job.palette = palette;
  job.columns = 1;
  job.rows = 1;
  job.mask = &mask;
  job.key = key;
  job.alpha = alpha;
  job.src_top_down = job.dst_top_down = job.mask_top_down = true;
  tblit_select(family, sf, df)(&job);
  return dst;
}

}  // namespace

TEST(Conversions, SixteenBitChannelsWidenAndNarrowWithoutReplication) {
  // 565 pure green into 555 keeps the top five bits.
  EXPECT_EQ((one_pixel<uint16_t, uint16_t>(TBLIT_ALPHA, TBLIT_FORMAT_565, TBLIT_FORMAT_555, 0x07E0, 0, 256)), 0x03E0);
  EXPECT_EQ((one_pixel<uint16_t, uint16_t>(TBLIT_KEYED, TBLIT_FORMAT_565, TBLIT_FORMAT_555, 0x07E0, 0, 255)), 0x03E0);
  // 565 white into 32 bits: low bits stay zero, the fourth byte stays.
  EXPECT_EQ((one_pixel<uint32_t, uint16_t>(TBLIT_KEYED, TBLIT_FORMAT_565, TBLIT_FORMAT_32, 0xFFFF, 0x12000000u, 255)),
            0x12F8FCF8u);
  // A 555 word's bit 15 counts as red into 565 (and falls off the top)...
  EXPECT_EQ((one_pixel<uint16_t, uint16_t>(TBLIT_KEYED, TBLIT_FORMAT_555, TBLIT_FORMAT_565, 0x8000 | 0x7C00, 0, 255)),
            0xF800);
  EXPECT_EQ((one_pixel<uint16_t, uint16_t>(TBLIT_KEYED, TBLIT_FORMAT_555, TBLIT_FORMAT_565, 0x03E0, 0, 255)), 0x07C0);
  // ...but is masked off when widening to 8 bits.
  EXPECT_EQ((one_pixel<uint32_t, uint16_t>(TBLIT_KEYED, TBLIT_FORMAT_555, TBLIT_FORMAT_32, 0x8000, 0, 255)), 0u);
  // 8-bit channels into 565 and 555 truncate.
  EXPECT_EQ((one_pixel<uint16_t, uint32_t>(TBLIT_KEYED, TBLIT_FORMAT_32, TBLIT_FORMAT_565, 0x00FFFFFF, 0, 255)), 0xFFFF);
  EXPECT_EQ((one_pixel<uint16_t, uint32_t>(TBLIT_KEYED, TBLIT_FORMAT_32, TBLIT_FORMAT_555, 0x00FFFFFF, 0, 255)), 0x7FFF);
  EXPECT_EQ((one_pixel<uint16_t, uint32_t>(TBLIT_KEYED, TBLIT_FORMAT_32, TBLIT_FORMAT_565, 0x00070307, 0, 255)), 0);
}

TEST(Weights, AlphaFamilyUses256) {
  uint8_t white[3] = {255, 255, 255};
  struct px24 {
    uint8_t b, g, r;
  };
  px24 out = (one_pixel<px24>(TBLIT_ALPHA, TBLIT_FORMAT_24, TBLIT_FORMAT_24, *reinterpret_cast<px24 *>(white),
                             px24{0, 0, 0}, 128));
  EXPECT_EQ(out.b, 127);
  EXPECT_EQ(out.g, 127);
  EXPECT_EQ(out.r, 127);
  // 0 leaves the destination; 256 copies the source exactly.
  EXPECT_EQ((one_pixel<uint32_t, uint32_t>(TBLIT_ALPHA, TBLIT_FORMAT_32, TBLIT_FORMAT_32, 0x00FFFFFF, 0x11223344, 0)),
            0x11223344u);
  EXPECT_EQ((one_pixel<uint32_t, uint32_t>(TBLIT_ALPHA, TBLIT_FORMAT_32, TBLIT_FORMAT_32, 0x99FFFEFD, 0x11223344, 256)),
            0x11FFFEFDu);
}

TEST(Weights, MaskedFamilyKeepsA256thAndScalesBySinglePrecision) {
  // Mask 255 at alpha 255: weight 255, so white over black is 254.
  EXPECT_EQ((one_pixel<uint32_t, uint32_t>(TBLIT_MASKED, TBLIT_FORMAT_32, TBLIT_FORMAT_32, 0x00FFFFFF, 0xFF000000, 255,
                                          TBLIT_NO_KEY, 255)),
            0xFFFEFEFEu);
  // A zero mask leaves the destination.
  EXPECT_EQ((one_pixel<uint32_t, uint32_t>(TBLIT_MASKED, TBLIT_FORMAT_32, TBLIT_FORMAT_32, 0x00FFFFFF, 0x01020304, 128,
                                          TBLIT_NO_KEY, 0)),
            0x01020304u);
  // Partial alpha scales the mask byte: 255 at alpha 51 weighs 51, so white
  // over black is 255 * 51 >> 8 = 50; 128 at alpha 128 weighs 64 -> 63.
  uint32_t got = (one_pixel<uint32_t, uint32_t>(TBLIT_MASKED, TBLIT_FORMAT_32, TBLIT_FORMAT_32, 0x00FFFFFF, 0, 51,
                                                TBLIT_NO_KEY, 255));
  EXPECT_EQ(got & 0xFF, 50u);
  got = (one_pixel<uint32_t, uint32_t>(TBLIT_MASKED, TBLIT_FORMAT_32, TBLIT_FORMAT_32, 0x00FFFFFF, 0, 128, TBLIT_NO_KEY,
                                       128));
  EXPECT_EQ(got & 0xFF, 63u);
}

TEST(Keys, ComparedInTheSourceFormat) {
  struct px24 {
    uint8_t b, g, r;
  };
  // Key word 0xFF is pure red: bytes blue 0, green 0, red 255 are skipped.
  px24 red = {0, 0, 255}, other = {0, 1, 255};
  px24 dst = {9, 9, 9};
  px24 out = (one_pixel<px24>(TBLIT_KEYED, TBLIT_FORMAT_24, TBLIT_FORMAT_24, red, dst, 255, 0xFF));
  EXPECT_EQ(out.g, 9);
  out = (one_pixel<px24>(TBLIT_KEYED, TBLIT_FORMAT_24, TBLIT_FORMAT_24, other, dst, 255, 0xFF));
  EXPECT_EQ(out.g, 1);
  // Magenta 221, 0, 221 packs to the 565 word 0xD81B; so do its near neighbours.
  uint32_t magenta = 221 | 0 << 8 | 221u << 16;
  EXPECT_EQ((one_pixel<uint16_t, uint16_t>(TBLIT_KEYED, TBLIT_FORMAT_565, TBLIT_FORMAT_565, 0xD81B, 0x1234, 216, magenta)),
            0x1234);
  EXPECT_NE((one_pixel<uint16_t, uint16_t>(TBLIT_KEYED, TBLIT_FORMAT_565, TBLIT_FORMAT_565, 0xD81C, 0x1234, 216, magenta)),
            0x1234);
  // An 8-bit source compares its palette entry, not its index.
  uint8_t palette[1024] = {};
  palette[4 * 7 + 2] = 255;
  EXPECT_EQ((one_pixel<uint32_t, uint8_t>(TBLIT_KEYED, TBLIT_FORMAT_8, TBLIT_FORMAT_32, 7, 0x55555555, 255, 0xFF, 255,
                                         palette)),
            0x55555555u);
  EXPECT_EQ((one_pixel<uint32_t, uint8_t>(TBLIT_KEYED, TBLIT_FORMAT_8, TBLIT_FORMAT_32, 6, 0x55555555, 255, 0xFF, 255,
                                         palette)),
            0x55000000u);
}

TEST(Keys, FourthByteOnlyTravelsBetween32BitPixels) {
  EXPECT_EQ((one_pixel<uint32_t, uint32_t>(TBLIT_KEYED, TBLIT_FORMAT_32, TBLIT_FORMAT_32, 0x7F010203, 0xFF000000, 255)),
            0x7F010203u);
  uint8_t src24[4] = {1, 2, 3, 0};
  uint32_t s;
  std::memcpy(&s, src24, 4);
  EXPECT_EQ((one_pixel<uint32_t, uint32_t>(TBLIT_KEYED, TBLIT_FORMAT_24, TBLIT_FORMAT_32, s, 0xAB000000, 255)),
            0xAB030201u);
  // Below 255 the keyed blit blends and leaves the fourth byte.
  EXPECT_EQ((one_pixel<uint32_t, uint32_t>(TBLIT_KEYED, TBLIT_FORMAT_32, TBLIT_FORMAT_32, 0x00FFFFFF, 0xAB000000, 128)),
            0xAB7F7F7Fu);
}

// A fill is the keyed copy (alpha 255) or the alpha blit (below) of a 24-bit
// source made of the colour: the fill loops must agree with those general paths.
TEST(Fills, AgreeWithTheGeneralBlitOfAConstantSource) {
  for (uint32_t seed = 1; seed <= 400; seed++) {
    std::mt19937 rng(seed);
    int d = TBLIT_FORMAT_555 + int(rng() % 4);
    uint32_t a = rng() % 3 == 0 ? 255 : rng() % 2 ? uint32_t(rng() % 256) : 0;
    uint32_t color = a << 24 | (uint32_t(biased_byte(rng)) << 16) | (uint32_t(biased_byte(rng)) << 8) | biased_byte(rng);
    int32_t columns = int32_t(1 + rng() % 40), rows = int32_t(1 + rng() % 4);
    buffer dst;
    dst.make(rng, columns, rows, bytes_of(d));
    buffer expect = dst;
    std::vector<uint8_t> source(size_t(columns) * 3);
    for (int32_t x = 0; x < columns; x++) {
      source[3 * x] = uint8_t(color), source[3 * x + 1] = uint8_t(color >> 8), source[3 * x + 2] = uint8_t(color >> 16);
    }
    tblit_job job = {};
    job.dst = expect.start(rows);
    job.dst_stride = expect.stride;
    job.src = source.data();
    job.src_stride = 0;
    job.columns = columns;
    job.rows = rows;
    job.key = TBLIT_NO_KEY;
    job.alpha = int(a);
    job.dst_top_down = expect.top_down;
    job.src_top_down = true;
    tblit_general(a == 255 ? TBLIT_KEYED : TBLIT_ALPHA, TBLIT_FORMAT_24, tblit_format(d))(&job);

    uint8_t *start = dst.start(rows);
    if (rows == 1 && rng() % 2) {
      if (d == TBLIT_FORMAT_555) tblit_hline_555(start, columns, color);
      if (d == TBLIT_FORMAT_565) tblit_hline_565(start, columns, color);
      if (d == TBLIT_FORMAT_24) tblit_hline_24(start, columns, color);
      if (d == TBLIT_FORMAT_32) tblit_hline_32(start, columns, color);
    } else if (columns == 1 && rng() % 2) {
      if (d == TBLIT_FORMAT_555) tblit_vline_555(start, dst.stride, rows, color, dst.top_down);
      if (d == TBLIT_FORMAT_565) tblit_vline_565(start, dst.stride, rows, color, dst.top_down);
      if (d == TBLIT_FORMAT_24) tblit_vline_24(start, dst.stride, rows, color, dst.top_down);
      if (d == TBLIT_FORMAT_32) tblit_vline_32(start, dst.stride, rows, color, dst.top_down);
    } else {
      if (d == TBLIT_FORMAT_555) tblit_fill_rect_555(start, dst.stride, columns, rows, color, dst.top_down);
      if (d == TBLIT_FORMAT_565) tblit_fill_rect_565(start, dst.stride, columns, rows, color, dst.top_down);
      if (d == TBLIT_FORMAT_24) tblit_fill_rect_24(start, dst.stride, columns, rows, color, dst.top_down);
      if (d == TBLIT_FORMAT_32) tblit_fill_rect_32(start, dst.stride, columns, rows, color, dst.top_down);
    }
    ASSERT_EQ(dst.bytes, expect.bytes) << "seed " << seed << ": fill " << format_name(d) << " colour " << std::hex
                                       << color << std::dec << " " << columns << "x" << rows;
  }
}
