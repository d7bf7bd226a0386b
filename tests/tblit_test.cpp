#include "tblit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const char *const k_format_names[] = {"8", "555", "565", "24", "32"};
const char *const k_family_names[] = {"alpha", "masked", "keyed"};
int bytes_of(int f) { return f == TBLIT_FORMAT_8 ? 1 : f == TBLIT_FORMAT_24 ? 3 : f == TBLIT_FORMAT_32 ? 4 : 2; }

// Bytes biased to the extremes, where truncation and overflow faults show.
uint8_t biased_byte(std::mt19937 &rng) {
  uint32_t pick = rng() % 8;
  return pick == 0 ? 0x00 : pick == 1 ? 0xFF : uint8_t(rng());
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
    uint32_t w565 = (r >> 3) << 11 | (g >> 2) << 5 | b >> 3, w555 = (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    for (size_t i = 0; i + 4 <= c->src.bytes.size(); i += bytes_of(s)) {
      if (rng() % 3) continue;
      uint8_t *p = &c->src.bytes[i];
      if (s == TBLIT_FORMAT_8) p = &c->palette[4 * p[0]];
      if (s == TBLIT_FORMAT_565 || s == TBLIT_FORMAT_555) {
        uint32_t w = s == TBLIT_FORMAT_565 ? w565 : w555;
        p[0] = uint8_t(w), p[1] = uint8_t(w >> 8);
      } else {
        p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
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
  return "seed " + std::to_string(seed) + ": " + k_family_names[family] + " " + k_format_names[s] + " -> " +
         k_format_names[d] + ", " + std::to_string(job.columns) + "x" + std::to_string(job.rows) + " alpha " +
         std::to_string(job.alpha) + " key " + std::to_string(job.key) + " src " +
         (job.src_top_down ? "top-down" : "bottom-up") + " dst " + (job.dst_top_down ? "top-down" : "bottom-up");
}

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
          EXPECT_TRUE(a.job.alpha != 0 || family == TBLIT_KEYED || a.dst.bytes == before) << "alpha 0 changed it";
        }
      }
    }
  }
  return compared;
}

}  // namespace

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

// One pixel through the selected worker of each family: the exact words the
// conversions, weights and keys give. Pixels are little-endian words of the
// format's size; a 24-bit word is blue, green, red from the low byte up.
TEST(OnePixel, ConversionsWeightsAndKeys) {
  uint8_t palette[1024] = {};
  palette[4 * 7 + 2] = 255;  // entry 7 is red
  const uint32_t magenta = 221 | 0 << 8 | 221u << 16, none = TBLIT_NO_KEY;
  const int A = TBLIT_ALPHA, M = TBLIT_MASKED, K = TBLIT_KEYED;
  const int F8 = TBLIT_FORMAT_8, F555 = TBLIT_FORMAT_555, F565 = TBLIT_FORMAT_565, F24 = TBLIT_FORMAT_24,
            F32 = TBLIT_FORMAT_32;
  const struct {
    const char *what;
    int family, s, d;
    uint32_t src, dst;
    int alpha;
    uint32_t key, mask, expected;
  } cases[] = {
      // 16-bit channels widen and narrow without replication.
      {"565 green into 555 keeps the top five bits", A, F565, F555, 0x07E0, 0, 256, none, 255, 0x03E0},
      {"the same, keyed", K, F565, F555, 0x07E0, 0, 255, none, 255, 0x03E0},
      {"565 white into 32: low bits zero, fourth byte kept", K, F565, F32, 0xFFFF, 0x12000000, 255, none, 255,
       0x12F8FCF8},
      {"555 bit 15 counts as red into 565 and falls off", K, F555, F565, 0x8000 | 0x7C00, 0, 255, none, 255, 0xF800},
      {"555 green into 565", K, F555, F565, 0x03E0, 0, 255, none, 255, 0x07C0},
      {"555 bit 15 is masked off when widening", K, F555, F32, 0x8000, 0, 255, none, 255, 0},
      {"8-bit channels into 565 truncate", K, F32, F565, 0x00FFFFFF, 0, 255, none, 255, 0xFFFF},
      {"8-bit channels into 555 truncate", K, F32, F555, 0x00FFFFFF, 0, 255, none, 255, 0x7FFF},
      {"low bits into 565 vanish", K, F32, F565, 0x00070307, 0, 255, none, 255, 0},
      // The alpha family weighs by 256: 0 leaves, 256 copies exactly.
      {"white over black at 128", A, F24, F24, 0xFFFFFF, 0, 128, none, 255, 0x7F7F7F},
      {"alpha 0 leaves the destination", A, F32, F32, 0x00FFFFFF, 0x11223344, 0, none, 255, 0x11223344},
      {"alpha 256 copies the colour", A, F32, F32, 0x99FFFEFD, 0x11223344, 256, none, 255, 0x11FFFEFD},
      // The masked family keeps a 256th and scales the mask in single precision.
      {"mask 255 at alpha 255 weighs 255", M, F32, F32, 0x00FFFFFF, 0xFF000000, 255, none, 255, 0xFFFEFEFE},
      {"a zero mask leaves the destination", M, F32, F32, 0x00FFFFFF, 0x01020304, 128, none, 0, 0x01020304},
      {"255 at alpha 51 weighs 51: 255 * 51 >> 8", M, F32, F32, 0x00FFFFFF, 0, 51, none, 255, 0x00323232},
      {"128 at alpha 128 weighs 64", M, F32, F32, 0x00FFFFFF, 0, 128, none, 128, 0x003F3F3F},
      // Keys are compared in the source format.
      {"key 0xFF is pure red, skipped", K, F24, F24, 0xFF0000, 0x090909, 255, 0xFF, 255, 0x090909},
      {"a near red is copied", K, F24, F24, 0xFF0100, 0x090909, 255, 0xFF, 255, 0xFF0100},
      {"magenta packs to 565 0xD81B", K, F565, F565, 0xD81B, 0x1234, 216, magenta, 255, 0x1234},
      {"8-bit sources compare the palette entry", K, F8, F32, 7, 0x55555555, 255, 0xFF, 255, 0x55555555},
      {"entry 6 is black, copied", K, F8, F32, 6, 0x55555555, 255, 0xFF, 255, 0x55000000},
      // The fourth byte travels only between 32-bit pixels.
      {"32 to 32 copies the fourth byte", K, F32, F32, 0x7F010203, 0xFF000000, 255, none, 255, 0x7F010203},
      {"24 to 32 keeps the destination's", K, F24, F32, 0x00030201, 0xAB000000, 255, none, 255, 0xAB030201},
      {"a keyed blend keeps it too", K, F32, F32, 0x00FFFFFF, 0xAB000000, 128, none, 255, 0xAB7F7F7F},
      // Over a destination that is not black the destination's weight is
      // 256 - w: a 255 there would lose one level in these.
      {"black over white at 128: 255 * 128 >> 8", A, F32, F32, 0, 0xABFFFFFF, 128, none, 255, 0xAB7F7F7F},
      {"black over white, 24-bit, alpha 1", A, F24, F24, 0, 0xFFFFFF, 1, none, 255, 0xFEFEFE},
      {"565 black over 63 green at 4: 63 * 252 >> 8", A, F565, F565, 0, 0x07E0, 4, none, 255, 0x07C0},
      {"mask 128 at alpha 255 over white", M, F32, F32, 0, 0x00FFFFFF, 255, none, 128, 0x007F7F7F},
      {"mask 255 at alpha 51 over white: 255 * 205 >> 8", M, F24, F24, 0, 0xFFFFFF, 51, none, 255, 0xCCCCCC},
      {"a keyed blend over white", K, F32, F32, 0, 0x12FFFFFF, 128, none, 255, 0x127F7F7F},
  };
  for (const auto &c : cases) {
    uint32_t src = c.src, dst = c.dst;
    uint8_t mask = uint8_t(c.mask);
    tblit_job job = {};
    job.dst = reinterpret_cast<uint8_t *>(&dst);
    job.src = reinterpret_cast<const uint8_t *>(&src);
    job.palette = palette;
    job.columns = job.rows = 1;
    job.mask = &mask;
    job.key = c.key;
    job.alpha = c.alpha;
    job.src_top_down = job.dst_top_down = job.mask_top_down = true;
    tblit_select(tblit_family(c.family), tblit_format(c.s), tblit_format(c.d))(&job);
    uint32_t kept = bytes_of(c.d) == 4 ? 0 : 0xFFFFFFFFu << (8 * bytes_of(c.d));
    EXPECT_EQ(dst & kept, c.dst & kept) << c.what << ": bytes past the pixel";
    EXPECT_EQ(dst & ~kept, c.expected) << c.what;
  }
  // Magenta's near neighbour is not the key.
  uint32_t src = 0xD81C, dst = 0x1234;
  tblit_job job = {};
  job.dst = reinterpret_cast<uint8_t *>(&dst);
  job.src = reinterpret_cast<const uint8_t *>(&src);
  job.columns = job.rows = 1;
  job.key = magenta;
  job.alpha = 216;
  job.src_top_down = job.dst_top_down = true;
  tblit_select(TBLIT_KEYED, TBLIT_FORMAT_565, TBLIT_FORMAT_565)(&job);
  EXPECT_NE(dst, 0x1234u);
}

// A fill is the keyed copy (alpha 255) or the alpha blit (below) of a 24-bit
// source made of the colour: the fill loops must agree with those general paths.
TEST(Fills, AgreeWithTheGeneralBlitOfAConstantSource) {
  int was = tblit_set_wide_vectors(1);
  for (int wide : {1, 0}) {
    tblit_set_wide_vectors(wide);
    SCOPED_TRACE(wide ? "with 256-bit loops" : "without 256-bit loops");
  using hline_fn = void (*)(uint8_t *, int32_t, uint32_t);
  using vline_fn = void (*)(uint8_t *, uint32_t, int32_t, uint32_t, bool);
  using rect_fn = void (*)(uint8_t *, uint32_t, int32_t, int32_t, uint32_t, bool);
  const hline_fn hlines[] = {tblit_hline_555, tblit_hline_565, tblit_hline_24, tblit_hline_32};
  const vline_fn vlines[] = {tblit_vline_555, tblit_vline_565, tblit_vline_24, tblit_vline_32};
  const rect_fn rects[] = {tblit_fill_rect_555, tblit_fill_rect_565, tblit_fill_rect_24, tblit_fill_rect_32};
  for (uint32_t seed = 1; seed <= 400; seed++) {
    std::mt19937 rng(seed);
    int d = TBLIT_FORMAT_555 + int(rng() % 4);
    uint32_t a = rng() % 3 == 0 ? 255 : rng() % 2 ? uint32_t(rng() % 256) : 0;
    uint32_t color = a << 24 | (uint32_t(biased_byte(rng)) << 16) | (uint32_t(biased_byte(rng)) << 8) | biased_byte(rng);
    // Long rows reach the unrolled loops; a stride with no slack makes the
    // rows of a block one span.
    int32_t columns = int32_t(1 + rng() % (rng() % 4 ? 40 : 300)), rows = int32_t(1 + rng() % 4);
    buffer dst;
    dst.make(rng, columns, rows, bytes_of(d));
    if (rng() % 4 == 0) dst.stride = uint32_t(columns * bytes_of(d));
    buffer expect = dst;
    std::vector<uint8_t> source(size_t(columns) * 3);
    for (int32_t x = 0; x < columns; x++)
      source[3 * x] = uint8_t(color), source[3 * x + 1] = uint8_t(color >> 8), source[3 * x + 2] = uint8_t(color >> 16);
    tblit_job job = {};
    job.dst = expect.start(rows);
    job.dst_stride = expect.stride;
    job.src = source.data();
    job.columns = columns;
    job.rows = rows;
    job.key = TBLIT_NO_KEY;
    job.alpha = int(a);
    job.dst_top_down = expect.top_down;
    job.src_top_down = true;
    tblit_general(a == 255 ? TBLIT_KEYED : TBLIT_ALPHA, TBLIT_FORMAT_24, tblit_format(d))(&job);

    uint8_t *start = dst.start(rows);
    int k = d - TBLIT_FORMAT_555;
    if (rows == 1 && rng() % 2)
      hlines[k](start, columns, color);
    else if (columns == 1 && rng() % 2)
      vlines[k](start, dst.stride, rows, color, dst.top_down);
    else
      rects[k](start, dst.stride, columns, rows, color, dst.top_down);
    ASSERT_EQ(dst.bytes, expect.bytes) << "seed " << seed << ": fill " << k_format_names[d] << " colour " << std::hex
                                       << color << std::dec << " " << columns << "x" << rows;
  }
  }
  tblit_set_wide_vectors(was);
}

// Where every fourth byte is 255 the opaque fills' whole-pixel stores give
// the general fill's bytes, from any start within a vector and with the
// bytes between rows untouched.
TEST(Fills, OpaqueFillsMatchTheGeneralFillWhereFourthBytesAre255) {
  int was = tblit_set_wide_vectors(1);
  for (uint32_t seed = 1; seed <= 400; seed++) {
    std::mt19937 rng(seed);
    tblit_set_wide_vectors(seed & 1);
    int32_t lead = int32_t(rng() % 9), columns = int32_t(1 + rng() % (rng() % 4 ? 40 : rng() % 2 ? 300 : 2600)),
            rows = int32_t(1 + rng() % 4);
    bool one_span = rng() % 4 == 0;  // rows that follow each other without a gap
    if (one_span) lead = 0;
    buffer dst;
    dst.make(rng, lead + columns, rows, 4);
    if (one_span) dst.stride = uint32_t(4 * columns);
    for (int32_t y = 0; y < rows; y++)
      for (int32_t x = 0; x < lead + columns; x++) dst.bytes[size_t(dst.stride) * y + 4 * x + 3] = 0xFF;
    uint32_t a = rng() % 4 ? 255 : uint32_t(rng() % 256);
    uint32_t color = a << 24 | (uint32_t(biased_byte(rng)) << 16) | (uint32_t(biased_byte(rng)) << 8) | biased_byte(rng);
    buffer expect = dst;
    tblit_fill_rect_32(expect.start(rows) + 4 * lead, expect.stride, columns, rows, color, expect.top_down);
    if (rows == 1)
      tblit_hline_32_opaque(dst.start(rows) + 4 * lead, columns, color);
    else
      tblit_fill_rect_32_opaque(dst.start(rows) + 4 * lead, dst.stride, columns, rows, color, dst.top_down);
    ASSERT_EQ(dst.bytes, expect.bytes) << "seed " << seed << ": colour " << std::hex << color << std::dec << " "
                                       << columns << "x" << rows << " from pixel " << lead;
  }
  tblit_set_wide_vectors(was);
}

// A 32-bit block larger than the caches takes another loop where the
// processor has byte-masked stores: the same bytes as the 128-bit loop, the
// fourth bytes kept, rows with and without a gap between them.
TEST(Fills, ABlockLargerThanTheCachesMatchesTheNarrowLoop) {
  std::mt19937 rng(77);
  const int32_t columns = 2048, rows = 1100;
  for (uint32_t gap : {0u, 4u}) {
    uint32_t stride = uint32_t(columns) * 4 + gap;
    std::vector<uint8_t> wide(size_t(stride) * rows + 64), narrow;
    for (uint8_t &b : wide) b = uint8_t(rng());
    narrow = wide;
    int was = tblit_set_wide_vectors(1);
    tblit_fill_rect_32(wide.data() + 4, stride, columns, rows, 0xFF123456, true);
    tblit_set_wide_vectors(0);
    tblit_fill_rect_32(narrow.data() + 4, stride, columns, rows, 0xFF123456, true);
    tblit_set_wide_vectors(was);
    EXPECT_TRUE(wide == narrow) << "gap " << gap;
  }
}

// The flood fill's run scan against a pixel-by-pixel walk of the same test,
// both ways along rows of pixels whose bytes sit near the range's edges.
TEST(ScanRange, MatchesThePixelByPixelWalk) {
  int was = tblit_set_wide_vectors(1);
  for (int wide : {1, 0}) {
    tblit_set_wide_vectors(wide);
    for (uint32_t seed = 1; seed <= 3000; seed++) {
      std::mt19937 rng(seed);
      int32_t width = int32_t(1 + rng() % (rng() % 2 ? 20 : 90));
      uint8_t low[3], high[3];
      for (int c = 0; c < 3; c++) {
        low[c] = uint8_t(rng() % 2 ? 0 : rng() % 200);
        high[c] = uint8_t(std::min<uint32_t>(255, low[c] + rng() % 60));
      }
      // Long stretches inside the range, broken by pixels just outside it.
      std::vector<uint8_t> row(size_t(width) * 4);
      for (int32_t x = 0; x < width; x++) {
        bool outside = rng() % (rng() % 2 ? 40 : 4) == 0;
        int spoilt = int(rng() % 3);
        for (int c = 0; c < 3; c++) {
          int v = low[c] + int(rng() % (high[c] - low[c] + 1u)), edge = rng() % 2 ? low[c] - 1 : high[c] + 1;
          if (outside && c == spoilt && edge >= 0 && edge <= 255) v = edge;
          row[4 * x + c] = uint8_t(v);
        }
        row[4 * x + 3] = biased_byte(rng);  // never read
      }
      auto inside = [&](int32_t x) {
        for (int c = 0; c < 3; c++)
          if (row[4 * x + c] < low[c] || row[4 * x + c] > high[c]) return false;
        return true;
      };
      int dir = rng() % 2 ? 1 : -1, want = int(rng() % 2);
      int32_t x = int32_t(rng() % width), limit = dir > 0 ? x + int32_t(rng() % (width - x)) : int32_t(rng() % (x + 1));
      int64_t expected = int64_t(limit) + dir;
      for (int64_t at = x; at != int64_t(limit) + dir; at += dir)
        if (inside(int32_t(at)) != (want != 0)) {
          expected = at;
          break;
        }
      uint32_t low_word = low[0] | low[1] << 8 | low[2] << 16, high_word = high[0] | high[1] << 8 | high[2] << 16;
      ASSERT_EQ(tblit_scan_range_32(row.data(), x, limit, dir, want, low_word, high_word), expected)
          << "seed " << seed << " wide " << wide << ": " << x << " towards " << limit << " want " << want;
    }
  }
  tblit_set_wide_vectors(was);
}
