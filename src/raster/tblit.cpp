// tblit: general and fast pixel loops for the fills and the three blit families.
//
// The general path is one template per family, instantiated for every format
// pair, so no pixel pays for a dispatch; it is written pixel by pixel and
// follows the arithmetic of the header literally. The fast paths are SSE2
// twins of it (eight pixels per step, the row's tail through the general
// pixel code), plain row copies, whole-pixel loops for 32-bit destinations
// (the painting canvas: its fills and constant-alpha blit), word loops for
// the translucent 16-bit fills (a dialog's dimming of the frame buffer),
// 256-bit loops for the canvas present, the 32-bit blends (constant alpha and
// masked) and the 16-bit translucent fills, and whole-pixel stores for the
// opaque fills of bitmaps that keep their fourth bytes at 255; fast_table
// says which pair uses which. A fast path never differs from the general one in a
// single byte: the tests run both on random input.
#include "tblit.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "port_log.h"
#include "tfile.h"

namespace {

constexpr int F8 = TBLIT_FORMAT_8;
constexpr int F555 = TBLIT_FORMAT_555;
constexpr int F565 = TBLIT_FORMAT_565;
constexpr int F24 = TBLIT_FORMAT_24;
constexpr int F32 = TBLIT_FORMAT_32;

constexpr int bytes_of(int format) {
  return format == F8 ? 1 : format == F24 ? 3 : format == F32 ? 4 : 2;
}
constexpr bool is_byte_format(int format) { return format == F8 || format == F24 || format == F32; }

struct rgb {
  uint32_t r, g, b;
};

// Row y of a buffer that starts at `base` and runs down the image.
template <typename T>
inline T *row_at(T *base, uint32_t stride, int32_t y, bool top_down) {
  ptrdiff_t step = top_down ? ptrdiff_t(stride) : -ptrdiff_t(stride);
  return base + step * y;
}

inline uint32_t blend(uint32_t s, uint32_t d, uint32_t w) { return (s * w + d * (256 - w)) >> 8; }

// ---- the general path, pixel by pixel ----

// The source pixel's channels at the destination's depth.
template <int S, int D>
inline rgb source_channels(const uint8_t *p, const uint8_t *palette) {
  if constexpr (is_byte_format(S)) {
    const uint8_t *c = S == F8 ? palette + 4 * p[0] : p;
    if constexpr (D == F555) return {uint32_t(c[2]) >> 3, uint32_t(c[1]) >> 3, uint32_t(c[0]) >> 3};
    if constexpr (D == F565) return {uint32_t(c[2]) >> 3, uint32_t(c[1]) >> 2, uint32_t(c[0]) >> 3};
    if constexpr (D == F24 || D == F32) return {c[2], c[1], c[0]};
  } else if constexpr (S == F565) {
    uint32_t s = tfile_get_u16(p);
    if constexpr (D == F555) return {s >> 11, (s >> 6) & 31, s & 31};
    if constexpr (D == F565) return {s >> 11, (s >> 5) & 63, s & 31};
    if constexpr (D == F24 || D == F32) return {(s >> 8) & 0xF8, (s >> 3) & 0xFC, (s & 31) << 3};
  } else {
    uint32_t s = tfile_get_u16(p);
    if constexpr (D == F555) return {s >> 10, (s >> 5) & 31, s & 31};
    if constexpr (D == F565) return {s >> 10, ((s >> 5) & 31) << 1, s & 31};
    if constexpr (D == F24 || D == F32) return {(s >> 7) & 0xF8, (s >> 2) & 0xF8, (s & 31) << 3};
  }
}

template <int D>
inline rgb dest_channels(const uint8_t *p) {
  if constexpr (D == F555) {
    uint32_t d = tfile_get_u16(p);
    return {d >> 10, (d >> 5) & 31, d & 31};
  } else if constexpr (D == F565) {
    uint32_t d = tfile_get_u16(p);
    return {d >> 11, (d >> 5) & 63, d & 31};
  } else {
    return {p[2], p[1], p[0]};
  }
}

// Packs channels into the destination; a 32-bit pixel keeps its fourth byte.
template <int D>
inline void store_channels(uint8_t *p, rgb c) {
  if constexpr (D == F555) {
    tfile_put_u16(p, c.r << 10 | c.g << 5 | c.b);
  } else if constexpr (D == F565) {
    tfile_put_u16(p, c.r << 11 | c.g << 5 | c.b);
  } else {
    p[0] = uint8_t(c.b);
    p[1] = uint8_t(c.g);
    p[2] = uint8_t(c.r);
  }
}

// The key in the source's own form: bytes blue | green << 8 | red << 16 for
// the 8-bit-channel formats, the packed word for 16-bit ones.
template <int S>
inline uint32_t key_in_source_form(uint32_t key) {
  uint32_t r = key & 0xFF, g = (key >> 8) & 0xFF, b = (key >> 16) & 0xFF;
  if constexpr (S == F565) return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
  if constexpr (S == F555) return (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
  return b | g << 8 | r << 16;
}

template <int S>
inline bool is_key(const uint8_t *p, const uint8_t *palette, uint32_t source_key) {
  if constexpr (S == F565 || S == F555) return tfile_get_u16(p) == source_key;
  const uint8_t *c = S == F8 ? palette + 4 * p[0] : p;
  return (uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16) == source_key;
}

template <int S, int D>
inline void alpha_pixel(uint8_t *dp, const uint8_t *sp, const uint8_t *palette, uint32_t w) {
  rgb s = source_channels<S, D>(sp, palette), d = dest_channels<D>(dp);
  store_channels<D>(dp, {blend(s.r, d.r, w), blend(s.g, d.g, w), blend(s.b, d.b, w)});
}

// The weight of one mask byte: alpha below 255 scales it by the single
// precision factor alpha * 0.003921569, truncated.
inline uint32_t mask_weight(uint32_t m, bool partial, float factor) {
  return partial ? uint32_t(uint16_t(uint32_t(float(m) * factor))) : m;
}

template <int S, int D>
inline void keyed_pixel(uint8_t *dp, const uint8_t *sp, const uint8_t *palette, bool has_key, uint32_t source_key,
                        bool copy, uint32_t w) {
  if (has_key && is_key<S>(sp, palette, source_key)) return;
  if (!copy)
    alpha_pixel<S, D>(dp, sp, palette, w);
  else if constexpr (S == F32 && D == F32)
    std::memcpy(dp, sp, 4);
  else
    store_channels<D>(dp, source_channels<S, D>(sp, palette));
}

template <int S, int D>
void general_alpha(const tblit_job *job) {
  uint32_t w = uint32_t(job->alpha);
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    for (int32_t x = 0; x < job->columns; x++, dp += bytes_of(D), sp += bytes_of(S))
      alpha_pixel<S, D>(dp, sp, job->palette, w);
  }
}

template <int S, int D>
void general_masked(const tblit_job *job) {
  float factor = float(job->alpha) * 0.003921569f;
  bool partial = job->alpha < 255;
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    const uint8_t *mp = row_at(job->mask, job->mask_stride, y, job->mask_top_down);
    for (int32_t x = 0; x < job->columns; x++, dp += bytes_of(D), sp += bytes_of(S))
      alpha_pixel<S, D>(dp, sp, job->palette, mask_weight(mp[x], partial, factor));
  }
}

template <int S, int D>
void general_keyed(const tblit_job *job) {
  bool has_key = job->key != TBLIT_NO_KEY;
  uint32_t source_key = key_in_source_form<S>(job->key);
  bool copy = job->alpha >= 255;
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    for (int32_t x = 0; x < job->columns; x++, dp += bytes_of(D), sp += bytes_of(S))
      keyed_pixel<S, D>(dp, sp, job->palette, has_key, source_key, copy, uint32_t(job->alpha));
  }
}

// The flood fill's test of one pixel: its three bytes within low..high.
inline bool in_range_pixel(const uint8_t *p, uint32_t low, uint32_t high) {
  for (int c = 0; c < 3; c++) {
    uint32_t v = p[c], lo = (low >> 8 * c) & 0xFF, hi = (high >> 8 * c) & 0xFF;
    if (v < lo || v > hi) return false;
  }
  return true;
}

// ---- fast paths ----

// Same-format opaque copies without a key are row copies. memmove, because a
// bitmap may be blitted onto itself.
template <int F>
void copy_rows(const tblit_job *job) {
  size_t row_bytes = size_t(job->columns > 0 ? job->columns : 0) * bytes_of(F);
  for (int32_t y = 0; y < job->rows && row_bytes; y++)
    std::memmove(row_at(job->dst, job->dst_stride, y, job->dst_top_down),
                 row_at(job->src, job->src_stride, y, job->src_top_down), row_bytes);
}

#if defined(__SSE2__)

inline uint32_t load32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Eight pixels' channels, one 16-bit lane each, at the destination's depth.
struct lanes {
  __m128i r, g, b;
};

inline __m128i splat16(int v) { return _mm_set1_epi16(short(v)); }
inline __m128i splat32(uint32_t v) { return _mm_set1_epi32(int(v)); }

// Eight 8-bit-channel pixels as two registers of b | g << 8 | r << 16 (the
// fourth byte as it is for 32-bit pixels, undefined otherwise). Eight 24-bit
// pixels are read as two 16-byte loads, the second ending four bytes past
// them: callers keep two spare pixels before the end of a row.
template <int S>
inline void load_bytes8(const uint8_t *p, const uint8_t *palette, __m128i *lo, __m128i *hi) {
  if constexpr (S == F32) {
    *lo = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    *hi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
  } else if constexpr (S == F24) {
    auto four = [](const uint8_t *q) {
      __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
      __m128i p01 = _mm_unpacklo_epi32(x, _mm_srli_si128(x, 3));
      __m128i p23 = _mm_unpacklo_epi32(_mm_srli_si128(x, 6), _mm_srli_si128(x, 9));
      return _mm_unpacklo_epi64(p01, p23);
    };
    *lo = four(p);
    *hi = four(p + 12);
  } else {
    auto entry = [palette](uint8_t index) { return int(load32(palette + 4 * index)); };
    *lo = _mm_setr_epi32(entry(p[0]), entry(p[1]), entry(p[2]), entry(p[3]));
    *hi = _mm_setr_epi32(entry(p[4]), entry(p[5]), entry(p[6]), entry(p[7]));
  }
}

// Pixels a step of eight may read past its own: 24-bit loads over-read.
constexpr int32_t spare_pixels(int s, int d) { return s == F24 || d == F24 ? 2 : 0; }

// Opaque 8-bit channels straight into a 16-bit word, four pixels per register:
// 565 is (b >> 3) | (g & 0xFC) << 3 | (r & 0xF8) << 8, 555 the same with 5-bit
// green. One multiply-add places red and blue at once: lane halves b & 0xF8
// and r & 0xF8 times 4 and 2^13 (2^12 for 555) give the word shifted left by
// 5, where green already sits (p & 0xFC00) or one shift away (555).
template <int D>
inline __m128i words_from_bytes(__m128i lo, __m128i hi) {
  auto one = [](__m128i p) {
    __m128i rb = _mm_and_si128(p, splat32(0x00F800F8));
    __m128i v;
    if constexpr (D == F565)
      v = _mm_or_si128(_mm_madd_epi16(rb, splat32(8192u << 16 | 4)), _mm_and_si128(p, splat32(0xFC00)));
    else
      v = _mm_or_si128(_mm_madd_epi16(rb, splat32(4096u << 16 | 4)),
                       _mm_srli_epi32(_mm_and_si128(p, splat32(0xF800)), 1));
    return _mm_srai_epi32(_mm_slli_epi32(v, 11), 16);  // signed, so the pack keeps all 16 bits
  };
  return _mm_packs_epi32(one(lo), one(hi));
}

inline __m128i byte_lane(__m128i lo, __m128i hi, int shift) {
  __m128i ff = splat32(0xFF);
  return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lo, shift), ff), _mm_and_si128(_mm_srli_epi32(hi, shift), ff));
}

template <int D>
inline lanes lanes_from_bytes(__m128i lo, __m128i hi) {
  lanes c = {byte_lane(lo, hi, 16), byte_lane(lo, hi, 8), byte_lane(lo, hi, 0)};
  if constexpr (D == F555) {
    c.r = _mm_srli_epi16(c.r, 3), c.g = _mm_srli_epi16(c.g, 3), c.b = _mm_srli_epi16(c.b, 3);
  } else if constexpr (D == F565) {
    c.r = _mm_srli_epi16(c.r, 3), c.g = _mm_srli_epi16(c.g, 2), c.b = _mm_srli_epi16(c.b, 3);
  }
  return c;
}

template <int S, int D>
inline lanes lanes_from_words(__m128i s) {
  __m128i m31 = splat16(31);
  if constexpr (S == F565) {
    if constexpr (D == F555)
      return {_mm_srli_epi16(s, 11), _mm_and_si128(_mm_srli_epi16(s, 6), m31), _mm_and_si128(s, m31)};
    if constexpr (D == F565)
      return {_mm_srli_epi16(s, 11), _mm_and_si128(_mm_srli_epi16(s, 5), splat16(63)), _mm_and_si128(s, m31)};
    if constexpr (D == F24 || D == F32)
      return {_mm_and_si128(_mm_srli_epi16(s, 8), splat16(0xF8)), _mm_and_si128(_mm_srli_epi16(s, 3), splat16(0xFC)),
              _mm_slli_epi16(_mm_and_si128(s, m31), 3)};
  } else {
    if constexpr (D == F555)
      return {_mm_srli_epi16(s, 10), _mm_and_si128(_mm_srli_epi16(s, 5), m31), _mm_and_si128(s, m31)};
    if constexpr (D == F565)
      return {_mm_srli_epi16(s, 10), _mm_slli_epi16(_mm_and_si128(_mm_srli_epi16(s, 5), m31), 1),
              _mm_and_si128(s, m31)};
    if constexpr (D == F24 || D == F32)
      return {_mm_and_si128(_mm_srli_epi16(s, 7), splat16(0xF8)), _mm_and_si128(_mm_srli_epi16(s, 2), splat16(0xF8)),
              _mm_slli_epi16(_mm_and_si128(s, m31), 3)};
  }
}

inline __m128i pack_words(lanes c, int red_shift) {
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(c.r, red_shift), _mm_slli_epi16(c.g, 5)), c.b);
}

// b | g << 8 | r << 16 in 32-bit lanes (fourth byte zero), low and high four pixels.
inline void bytes_from_lanes(lanes c, __m128i *lo, __m128i *hi) {
  __m128i bg = _mm_or_si128(c.b, _mm_slli_epi16(c.g, 8));
  *lo = _mm_unpacklo_epi16(bg, c.r);
  *hi = _mm_unpackhi_epi16(bg, c.r);
}

inline __m128i blend_lanes(__m128i s, __m128i d, __m128i w, __m128i inv) {
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(s, w), _mm_mullo_epi16(d, inv)), 8);
}

inline __m128i select(__m128i keep_mask, __m128i kept, __m128i other) {
  return _mm_or_si128(_mm_and_si128(keep_mask, kept), _mm_andnot_si128(keep_mask, other));
}

// One step of eight pixels. `w` holds the weights (ignored when Copy); lanes
// of `skip` that are all ones leave their destination pixel as it was.
template <int S, int D, bool Copy>
inline void step8(uint8_t *dp, const uint8_t *sp, const uint8_t *palette, __m128i w, __m128i skip, bool any_skip) {
  lanes s = {};
  __m128i src_lo = _mm_setzero_si128(), src_hi = _mm_setzero_si128();
  if constexpr (is_byte_format(S)) {
    load_bytes8<S>(sp, palette, &src_lo, &src_hi);
    if constexpr (!(Copy && (D == F555 || D == F565 || (S == F32 && D == F32)))) s = lanes_from_bytes<D>(src_lo, src_hi);
  } else {
    s = lanes_from_words<S, D>(_mm_loadu_si128(reinterpret_cast<const __m128i *>(sp)));
  }

  if constexpr (D == F555 || D == F565) {
    constexpr int red_shift = D == F555 ? 10 : 11;
    __m128i *dv = reinterpret_cast<__m128i *>(dp);
    __m128i d = _mm_loadu_si128(dv);
    __m128i out;
    if constexpr (Copy && is_byte_format(S)) {
      out = words_from_bytes<D>(src_lo, src_hi);
    } else if constexpr (Copy) {
      out = pack_words(s, red_shift);
    } else {
      lanes dc;
      if constexpr (D == F555)
        dc = {_mm_srli_epi16(d, 10), _mm_and_si128(_mm_srli_epi16(d, 5), splat16(31)), _mm_and_si128(d, splat16(31))};
      else
        dc = {_mm_srli_epi16(d, 11), _mm_and_si128(_mm_srli_epi16(d, 5), splat16(63)), _mm_and_si128(d, splat16(31))};
      __m128i inv = _mm_sub_epi16(splat16(256), w);
      out = pack_words({blend_lanes(s.r, dc.r, w, inv), blend_lanes(s.g, dc.g, w, inv), blend_lanes(s.b, dc.b, w, inv)},
                       red_shift);
    }
    if (any_skip) out = select(skip, d, out);
    _mm_storeu_si128(dv, out);
  } else {
    __m128i d_lo, d_hi;
    if constexpr (D == F32) {
      d_lo = _mm_loadu_si128(reinterpret_cast<const __m128i *>(dp));
      d_hi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(dp + 16));
    } else {
      load_bytes8<F24>(dp, nullptr, &d_lo, &d_hi);
    }
    __m128i out_lo, out_hi;
    if constexpr (Copy && S == F32 && D == F32) {
      out_lo = src_lo, out_hi = src_hi;
    } else {
      lanes o = s;
      if constexpr (!Copy) {
        lanes dc = lanes_from_bytes<D>(d_lo, d_hi);
        __m128i inv = _mm_sub_epi16(splat16(256), w);
        o = {blend_lanes(s.r, dc.r, w, inv), blend_lanes(s.g, dc.g, w, inv), blend_lanes(s.b, dc.b, w, inv)};
      }
      bytes_from_lanes(o, &out_lo, &out_hi);
      __m128i fourth = splat32(0xFF000000u);
      out_lo = _mm_or_si128(out_lo, _mm_and_si128(d_lo, fourth));
      out_hi = _mm_or_si128(out_hi, _mm_and_si128(d_hi, fourth));
    }
    if (any_skip) {
      out_lo = select(_mm_unpacklo_epi16(skip, skip), d_lo, out_lo);
      out_hi = select(_mm_unpackhi_epi16(skip, skip), d_hi, out_hi);
    }
    if constexpr (D == F32) {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(dp), out_lo);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(dp + 16), out_hi);
    } else {
      alignas(16) uint32_t t[8];
      _mm_store_si128(reinterpret_cast<__m128i *>(t), out_lo);
      _mm_store_si128(reinterpret_cast<__m128i *>(t + 4), out_hi);
      for (int i = 0; i < 8; i++) {
        dp[3 * i] = uint8_t(t[i]);
        dp[3 * i + 1] = uint8_t(t[i] >> 8);
        dp[3 * i + 2] = uint8_t(t[i] >> 16);
      }
    }
  }
}

// All ones in the lanes of the eight source pixels that match the key.
template <int S>
inline __m128i key_lanes(const uint8_t *sp, const uint8_t *palette, uint32_t source_key) {
  if constexpr (S == F565 || S == F555) {
    return _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(sp)), splat16(int(source_key)));
  } else {
    __m128i lo, hi, rgb_mask = splat32(0xFFFFFF), k = splat32(source_key);
    load_bytes8<S>(sp, palette, &lo, &hi);
    return _mm_packs_epi32(_mm_cmpeq_epi32(_mm_and_si128(lo, rgb_mask), k),
                           _mm_cmpeq_epi32(_mm_and_si128(hi, rgb_mask), k));
  }
}

template <int S, int D>
void fast_alpha(const tblit_job *job) {
  const int32_t columns = job->columns;
  const uint8_t *palette = job->palette;
  uint32_t a = uint32_t(job->alpha);
  if (a == 0) return;
  __m128i w = splat16(int(a)), none = _mm_setzero_si128();
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    int32_t x = 0;
    for (; x + 8 + spare_pixels(S, D) <= columns; x += 8, dp += 8 * bytes_of(D), sp += 8 * bytes_of(S))
      step8<S, D, false>(dp, sp, palette, w, none, false);
    for (; x < columns; x++, dp += bytes_of(D), sp += bytes_of(S)) alpha_pixel<S, D>(dp, sp, palette, a);
  }
}

template <int S, int D, bool Partial>
void fast_masked_rows(const tblit_job *job) {
  const int32_t columns = job->columns;
  const uint8_t *palette = job->palette;
  float factor = float(job->alpha) * 0.003921569f;
  uint16_t weight_of[256];
  for (uint32_t m = 0; m < 256; m++) weight_of[m] = uint16_t(mask_weight(m, Partial, factor));
  __m128i none = _mm_setzero_si128();
  __m128 factor_v = _mm_set1_ps(factor);
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    const uint8_t *mp = row_at(job->mask, job->mask_stride, y, job->mask_top_down);
    int32_t x = 0;
    for (; x + 8 + spare_pixels(S, D) <= columns; x += 8, dp += 8 * bytes_of(D), sp += 8 * bytes_of(S)) {
      uint64_t m8;
      std::memcpy(&m8, mp + x, 8);
      if (!m8) continue;  // weight 0 everywhere: the destination stays
      __m128i w = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(mp + x)), _mm_setzero_si128());
      if constexpr (Partial) {
        // The same single-precision product and truncation as one pixel at a time.
        __m128i zero = _mm_setzero_si128();
        __m128i lo = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(w, zero)), factor_v));
        __m128i hi = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(w, zero)), factor_v));
        w = _mm_packs_epi32(lo, hi);
      }
      step8<S, D, false>(dp, sp, palette, w, none, false);
    }
    for (; x < columns; x++, dp += bytes_of(D), sp += bytes_of(S))
      alpha_pixel<S, D>(dp, sp, palette, weight_of[mp[x]]);
  }
}

template <int S, int D>
void fast_masked(const tblit_job *job) {
  if (job->alpha < 255)
    fast_masked_rows<S, D, true>(job);
  else
    fast_masked_rows<S, D, false>(job);
}

template <int S, int D, bool HasKey, bool Copy>
void fast_keyed_rows(const tblit_job *job) {
  const int32_t columns = job->columns;
  const uint8_t *palette = job->palette;
  uint32_t source_key = key_in_source_form<S>(job->key);
  uint32_t a = uint32_t(job->alpha);
  __m128i w = splat16(int(a)), none = _mm_setzero_si128();
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    int32_t x = 0;
    if constexpr (!HasKey) {
      // Plain conversions are short enough for the loop to matter: two steps a turn.
      for (; x + 16 + spare_pixels(S, D) <= columns; x += 16, dp += 16 * bytes_of(D), sp += 16 * bytes_of(S)) {
        step8<S, D, Copy>(dp, sp, palette, w, none, false);
        step8<S, D, Copy>(dp + 8 * bytes_of(D), sp + 8 * bytes_of(S), palette, w, none, false);
      }
    }
    for (; x + 8 + spare_pixels(S, D) <= columns; x += 8, dp += 8 * bytes_of(D), sp += 8 * bytes_of(S)) {
      if constexpr (HasKey) {
        __m128i skip = key_lanes<S>(sp, palette, source_key);
        int bits = _mm_movemask_epi8(skip);
        if (bits == 0xFFFF) continue;
        step8<S, D, Copy>(dp, sp, palette, w, skip, bits != 0);
      } else {
        step8<S, D, Copy>(dp, sp, palette, w, none, false);
      }
    }
    for (; x < columns; x++, dp += bytes_of(D), sp += bytes_of(S))
      keyed_pixel<S, D>(dp, sp, palette, HasKey, source_key, Copy, a);
  }
}

template <int S, int D>
void fast_keyed(const tblit_job *job) {
  bool has_key = job->key != TBLIT_NO_KEY, copy = job->alpha >= 255;
  if (!has_key && copy && S == D) return copy_rows<S>(job);
  if (!copy && job->alpha <= 0) return;  // weight 0 everywhere
  if (has_key)
    copy ? fast_keyed_rows<S, D, true, true>(job) : fast_keyed_rows<S, D, true, false>(job);
  else
    copy ? fast_keyed_rows<S, D, false, true>(job) : fast_keyed_rows<S, D, false, false>(job);
}


// ---- 32-bit destinations: whole pixels in 16-bit lanes ----
//
// A 32-bit pixel widens to four 16-bit lanes: blue, green, red and the
// fourth byte. The blend gives the fourth lane weight 0, so it comes back as
// (d * 256) >> 8 = d and the fourth byte stays without a separate mask. No
// lane overflows: s * w + d * (256 - w) <= 255 * 256 < 65536. A constant
// source (the fills) has its s * w worked out once.

// Weights (w, w, w, 0) for two pixels; 256 less them weigh the destination.
inline __m128i weight_lanes_32(uint32_t w) {
  return _mm_set_epi16(0, short(w), short(w), short(w), 0, short(w), short(w), short(w));
}

// Four destination pixels blended with the source terms of their two halves.
inline __m128i blend4_32(__m128i d, __m128i term_lo, __m128i term_hi, __m128i inv) {
  __m128i zero = _mm_setzero_si128();
  __m128i lo = _mm_srli_epi16(_mm_add_epi16(term_lo, _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), inv)), 8);
  __m128i hi = _mm_srli_epi16(_mm_add_epi16(term_hi, _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), inv)), 8);
  return _mm_packus_epi16(lo, hi);
}

inline __m128i *at128(uint8_t *p) { return reinterpret_cast<__m128i *>(p); }
inline const __m128i *at128(const uint8_t *p) { return reinterpret_cast<const __m128i *>(p); }

// The translucent 32-bit fill of count pixels, four at a time; returns how
// many it did (the rest go through the pixel code).
int32_t blend_span_32(uint8_t *p, int32_t count, uint32_t rgb8, uint32_t a) {
  __m128i w = weight_lanes_32(a), inv = _mm_sub_epi16(splat16(256), w);
  __m128i term = _mm_mullo_epi16(_mm_unpacklo_epi8(splat32(rgb8), _mm_setzero_si128()), w);
  int32_t i = 0;
  for (; i + 4 <= count; i += 4)
    _mm_storeu_si128(at128(p + 4 * i), blend4_32(_mm_loadu_si128(at128(p + 4 * i)), term, term, inv));
  return i;
}

// The translucent 555 and 565 fill, eight words at a time: the colour's
// share of each channel (c * a) is worked out once, and each word's own
// channels weigh 256 - a. Returns how many it did.
template <int D>
int32_t blend_span_16(uint8_t *p, int32_t count, rgb c, uint32_t a) {
  const __m128i w = splat16(int(a)), inv = splat16(int(256 - a));
  const __m128i term_r = _mm_mullo_epi16(splat16(int(c.r)), w), term_g = _mm_mullo_epi16(splat16(int(c.g)), w),
                term_b = _mm_mullo_epi16(splat16(int(c.b)), w);
  auto channel = [inv](__m128i d, __m128i term) { return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(d, inv), term), 8); };
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    lanes d = lanes_from_words<D, D>(_mm_loadu_si128(at128(p + 2 * i)));
    lanes o = {channel(d.r, term_r), channel(d.g, term_g), channel(d.b, term_b)};
    _mm_storeu_si128(at128(p + 2 * i), pack_words(o, D == F565 ? 11 : 10));
  }
  return i;
}

// The opaque 32-bit fill: the three colour bytes over each pixel's fourth.
int32_t store_span_32(uint8_t *p, int32_t count, uint32_t rgb8) {
  __m128i keep = splat32(0xFF000000u), color = splat32(rgb8);
  int32_t i = 0;
  for (; i + 4 <= count; i += 4)
    _mm_storeu_si128(at128(p + 4 * i), _mm_or_si128(_mm_and_si128(_mm_loadu_si128(at128(p + 4 * i)), keep), color));
  return i;
}

// The opaque fill of a bitmap whose fourth bytes are all 255: whole pixels,
// the destination never read. Returns how many it did.
// Pixels go one by one up to a 16-byte boundary, so that no store straddles
// two cache lines, then a line at a time.
int32_t store_whole_32(uint8_t *p, int32_t count, uint32_t pixel) {
  const __m128i v = splat32(pixel);
  int32_t i = 0;
  if (reinterpret_cast<uintptr_t>(p) % 4 == 0)
    for (; i < count && reinterpret_cast<uintptr_t>(p + 4 * i) % 16 != 0; i++) std::memcpy(p + 4 * i, &pixel, 4);
  for (; i + 16 <= count; i += 16) {
    _mm_storeu_si128(at128(p + 4 * i), v);
    _mm_storeu_si128(at128(p + 4 * i + 16), v);
    _mm_storeu_si128(at128(p + 4 * i + 32), v);
    _mm_storeu_si128(at128(p + 4 * i + 48), v);
  }
  for (; i + 4 <= count; i += 4) _mm_storeu_si128(at128(p + 4 * i), v);
  return i;
}

// Four pixels of the constant-alpha 32 -> 32 blit.
inline void alpha4_32(uint8_t *dp, const uint8_t *sp, __m128i w, __m128i inv) {
  __m128i s = _mm_loadu_si128(at128(sp)), zero = _mm_setzero_si128();
  __m128i term_lo = _mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), w);
  __m128i term_hi = _mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), w);
  _mm_storeu_si128(at128(dp), blend4_32(_mm_loadu_si128(at128(dp)), term_lo, term_hi, inv));
}

void alpha_rows_32(const tblit_job *job) {
  const uint32_t a = uint32_t(job->alpha);
  const __m128i w = weight_lanes_32(a), inv = _mm_sub_epi16(splat16(256), w);
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    int32_t x = 0;
    for (; x + 4 <= job->columns; x += 4) alpha4_32(dp + 4 * x, sp + 4 * x, w, inv);
    for (; x < job->columns; x++) alpha_pixel<F32, F32>(dp + 4 * x, sp + 4 * x, nullptr, a);
  }
}

// The flood fill's range test on four pixels: one bit per pixel, set when
// all its bytes lie within those of low and high (the fourth byte's range is
// 0..255).
inline int in_range4(const uint8_t *p, __m128i low, __m128i high) {
  __m128i v = _mm_loadu_si128(at128(p));
  __m128i inside = _mm_cmpeq_epi8(_mm_min_epu8(_mm_max_epu8(v, low), high), v);
  return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(inside, splat32(0xFFFFFFFFu))));
}

// Four pixels a step; flipping the step's bits when want is set leaves those
// that differ from want.
int64_t scan_range_32(const uint8_t *row, int64_t x, int64_t limit, int dir, int want, uint32_t low, uint32_t high) {
  const __m128i lo = splat32(low & 0xFFFFFF), hi = splat32(high | 0xFF000000u);
  const int flip = want ? 0xF : 0;
  if (dir > 0) {
    for (; x + 3 <= limit; x += 4)
      if (int bits = in_range4(row + 4 * x, lo, hi) ^ flip) return x + __builtin_ctz(unsigned(bits));
    for (; x <= limit; x++)
      if (in_range_pixel(row + 4 * x, low, high) != (want != 0)) return x;
  } else {
    for (; x - 3 >= limit; x -= 4)
      if (int bits = in_range4(row + 4 * (x - 3), lo, hi) ^ flip) return x - 3 + 31 - __builtin_clz(unsigned(bits));
    for (; x >= limit; x--)
      if (in_range_pixel(row + 4 * x, low, high) != (want != 0)) return x;
  }
  return limit + dir;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define TBLIT_HAVE_AVX2 1

// The loops the canvas leans on get 256-bit twins on processors that have
// AVX2: the present (keyed 32 -> 565 copy) and the 32-bit fills and blend.
bool cpu_has_avx2() {
  __builtin_cpu_init();  // this may run before the library's own detection
  return __builtin_cpu_supports("avx2");
}
bool g_wide_vectors = cpu_has_avx2();

#define TBLIT_AVX2 __attribute__((target("avx2")))
// A 256-bit loop that hands its last pixels to a 128-bit one clears the
// registers' upper halves first (_mm256_zeroupper): the compiler does not
// always do so before such a call, and with them left in use every 128-bit
// loop after, here or in the libraries, runs several times slower.

TBLIT_AVX2 inline __m256i *at256(uint8_t *p) { return reinterpret_cast<__m256i *>(p); }
TBLIT_AVX2 inline const __m256i *at256(const uint8_t *p) { return reinterpret_cast<const __m256i *>(p); }

TBLIT_AVX2 inline __m256i blend8_32(__m256i d, __m256i term_lo, __m256i term_hi, __m256i inv) {
  __m256i zero = _mm256_setzero_si256();
  __m256i lo = _mm256_srli_epi16(_mm256_add_epi16(term_lo, _mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), inv)), 8);
  __m256i hi = _mm256_srli_epi16(_mm256_add_epi16(term_hi, _mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), inv)), 8);
  return _mm256_packus_epi16(lo, hi);  // unpack and pack both stay within 128-bit halves
}

// ahead: a span to ask for, a cache line for each of these (see
// tblit_hline_32_ahead), or nullptr.
TBLIT_AVX2 int32_t blend_span_32_avx2(uint8_t *p, int32_t count, uint32_t rgb8, uint32_t a,
                                      const uint8_t *ahead = nullptr) {
  __m256i w = _mm256_broadcastsi128_si256(weight_lanes_32(a)), inv = _mm256_sub_epi16(_mm256_set1_epi16(256), w);
  __m256i term = _mm256_mullo_epi16(_mm256_unpacklo_epi8(_mm256_set1_epi32(int(rgb8)), _mm256_setzero_si256()), w);
  int32_t i = 0;
  for (; i + 16 <= count; i += 16) {
    if (ahead) _mm_prefetch(reinterpret_cast<const char *>(ahead + 4 * i), _MM_HINT_T0);
    __m256i d0 = _mm256_loadu_si256(at256(p + 4 * i)), d1 = _mm256_loadu_si256(at256(p + 4 * i + 32));
    _mm256_storeu_si256(at256(p + 4 * i), blend8_32(d0, term, term, inv));
    _mm256_storeu_si256(at256(p + 4 * i + 32), blend8_32(d1, term, term, inv));
  }
  for (; i + 8 <= count; i += 8)
    _mm256_storeu_si256(at256(p + 4 * i), blend8_32(_mm256_loadu_si256(at256(p + 4 * i)), term, term, inv));
  _mm256_zeroupper();
  return i + blend_span_32(p + 4 * i, count - i, rgb8, a);
}

// blend_span_16 sixteen words at a time.
template <int D>
TBLIT_AVX2 int32_t blend_span_16_avx2(uint8_t *p, int32_t count, rgb c, uint32_t a) {
  constexpr int red_shift = D == F565 ? 11 : 10;
  const __m256i w = _mm256_set1_epi16(short(a)), inv = _mm256_set1_epi16(short(256 - a));
  const __m256i term_r = _mm256_mullo_epi16(_mm256_set1_epi16(short(c.r)), w);
  const __m256i term_g = _mm256_mullo_epi16(_mm256_set1_epi16(short(c.g)), w);
  const __m256i term_b = _mm256_mullo_epi16(_mm256_set1_epi16(short(c.b)), w);
  const __m256i green_mask = _mm256_set1_epi16(D == F565 ? 63 : 31), blue_mask = _mm256_set1_epi16(31);
  auto channel = [inv](__m256i d, __m256i term) TBLIT_AVX2 {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(d, inv), term), 8);
  };
  int32_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m256i d = _mm256_loadu_si256(at256(p + 2 * i));
    __m256i r = channel(_mm256_srli_epi16(d, red_shift), term_r);
    __m256i g = channel(_mm256_and_si256(_mm256_srli_epi16(d, 5), green_mask), term_g);
    __m256i b = channel(_mm256_and_si256(d, blue_mask), term_b);
    _mm256_storeu_si256(at256(p + 2 * i),
                        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(r, red_shift), _mm256_slli_epi16(g, 5)), b));
  }
  _mm256_zeroupper();
  return i + blend_span_16<D>(p + 2 * i, count - i, c, a);
}

// With byte-masked stores (AVX-512) the opaque fill need not read the pixels
// back to keep their fourth bytes; without them it is the SSE2 loop. A block
// far larger than the caches (`streaming`) goes the other way: its lines
// come from memory either way, and whole aligned lines read and written back
// stream better than masked stores to lines not yet in the cache.
bool cpu_has_masked_stores() { return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"); }
bool g_masked_stores = cpu_has_masked_stores();

__attribute__((target("avx512bw,avx512vl"))) int32_t store_span_32_masked(uint8_t *p, int32_t count, uint32_t rgb8,
                                                                          bool streaming) {
  const __m512i color = _mm512_set1_epi32(int(rgb8));
  const __mmask64 three_bytes = 0x7777777777777777ull;
  int32_t i = 0;
  // Whole cache lines store fastest: a first, shorter store reaches the next line.
  uintptr_t offset = reinterpret_cast<uintptr_t>(p) & 63;
  if (offset % 4 != 0) streaming = false;
  if (offset % 4 == 0 && offset) {
    i = std::min(count, int32_t(64 - offset) / 4);
    _mm512_mask_storeu_epi8(p, three_bytes & (~0ull >> (64 - 4 * i)), color);
  }
  if (streaming) {
    const __m512i keep = _mm512_set1_epi32(int(0xFF000000u));
    for (; i + 16 <= count; i += 16) {
      __m512i *line = reinterpret_cast<__m512i *>(p + 4 * i);
      _mm512_store_si512(line, _mm512_ternarylogic_epi32(_mm512_load_si512(line), keep, color, 0xEA));  // a & b | c
    }
  }
  for (; i + 32 <= count; i += 32) {
    _mm512_mask_storeu_epi8(p + 4 * i, three_bytes, color);
    _mm512_mask_storeu_epi8(p + 4 * i + 64, three_bytes, color);
  }
  for (; i + 16 <= count; i += 16) _mm512_mask_storeu_epi8(p + 4 * i, three_bytes, color);
  if (i < count) {
    _mm512_mask_storeu_epi8(p + 4 * i, three_bytes & (~0ull >> (64 - 4 * (count - i))), color);
    i = count;
  }
  return i;
}

// The opaque fill of tblit_hline_32 (whole: of tblit_hline_32_opaque) a
// cache line at a time, asking for the line of ahead beside each.
TBLIT_AVX2 int32_t store_span_32_ahead_avx2(uint8_t *p, int32_t count, uint32_t color, bool whole,
                                            const uint8_t *ahead) {
  const __m256i keep = _mm256_set1_epi32(whole ? 0 : int(0xFF000000u));
  const __m256i v = _mm256_set1_epi32(int(whole ? color : color & 0xFFFFFFu));
  int32_t i = 0;
  for (; i + 16 <= count; i += 16) {
    _mm_prefetch(reinterpret_cast<const char *>(ahead + 4 * i), _MM_HINT_T0);
    if (whole) {
      _mm256_storeu_si256(at256(p + 4 * i), v);
      _mm256_storeu_si256(at256(p + 4 * i + 32), v);
    } else {
      __m256i d0 = _mm256_loadu_si256(at256(p + 4 * i)), d1 = _mm256_loadu_si256(at256(p + 4 * i + 32));
      _mm256_storeu_si256(at256(p + 4 * i), _mm256_or_si256(_mm256_and_si256(d0, keep), v));
      _mm256_storeu_si256(at256(p + 4 * i + 32), _mm256_or_si256(_mm256_and_si256(d1, keep), v));
    }
  }
  return i;
}

// store_whole_32 a cache line at a time: pixels one by one up to a 32-byte
// boundary, so that no 256-bit store straddles two lines.
TBLIT_AVX2 int32_t store_whole_32_avx2(uint8_t *p, int32_t count, uint32_t pixel) {
  const __m256i v = _mm256_set1_epi32(int(pixel));
  int32_t i = 0;
  if (reinterpret_cast<uintptr_t>(p) % 4 == 0)
    for (; i < count && reinterpret_cast<uintptr_t>(p + 4 * i) % 32 != 0; i++) std::memcpy(p + 4 * i, &pixel, 4);
  for (; i + 32 <= count; i += 32) {
    _mm256_storeu_si256(at256(p + 4 * i), v);
    _mm256_storeu_si256(at256(p + 4 * i + 32), v);
    _mm256_storeu_si256(at256(p + 4 * i + 64), v);
    _mm256_storeu_si256(at256(p + 4 * i + 96), v);
  }
  for (; i + 8 <= count; i += 8) _mm256_storeu_si256(at256(p + 4 * i), v);
  _mm256_zeroupper();
  return i + store_whole_32(p + 4 * i, count - i, pixel);
}

TBLIT_AVX2 void alpha_rows_32_avx2(const tblit_job *job) {
  const uint32_t a = uint32_t(job->alpha);
  const __m256i w = _mm256_broadcastsi128_si256(weight_lanes_32(a));
  const __m256i inv = _mm256_sub_epi16(_mm256_set1_epi16(256), w), zero = _mm256_setzero_si256();
  const __m128i w4 = weight_lanes_32(a), inv4 = _mm_sub_epi16(splat16(256), w4);
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    int32_t x = 0;
    for (; x + 8 <= job->columns; x += 8) {
      __m256i s = _mm256_loadu_si256(at256(sp + 4 * x));
      __m256i term_lo = _mm256_mullo_epi16(_mm256_unpacklo_epi8(s, zero), w);
      __m256i term_hi = _mm256_mullo_epi16(_mm256_unpackhi_epi8(s, zero), w);
      _mm256_storeu_si256(at256(dp + 4 * x), blend8_32(_mm256_loadu_si256(at256(dp + 4 * x)), term_lo, term_hi, inv));
    }
    if (x + 4 <= job->columns) alpha4_32(dp + 4 * x, sp + 4 * x, w4, inv4), x += 4;
    for (; x < job->columns; x++) alpha_pixel<F32, F32>(dp + 4 * x, sp + 4 * x, nullptr, a);
  }
}

// The masked 32 -> 32 blit (text and brush stamps onto the canvas), eight
// whole pixels a step in 16-bit lanes: each pixel's weight is spread over
// its blue, green and red lanes, and its fourth lane weighs 0, so the fourth
// byte comes back as (d * 256) >> 8 = d. The unpacks work within 128-bit
// halves on the pixels and on their weights alike, so the two stay paired.
template <bool Partial>
TBLIT_AVX2 void masked_rows_32_avx2(const tblit_job *job) {
  const float factor = float(job->alpha) * 0.003921569f;
  const __m256 factor_v = _mm256_set1_ps(factor);
  const __m256i zero = _mm256_setzero_si256(), full = _mm256_set1_epi16(256);
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128, 0, 0, 0, -128,
                                          4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128);
  auto half = [full](__m256i s, __m256i d, __m256i w) TBLIT_AVX2 {
    return _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(s, w), _mm256_mullo_epi16(d, _mm256_sub_epi16(full, w))), 8);
  };
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    const uint8_t *mp = row_at(job->mask, job->mask_stride, y, job->mask_top_down);
    int32_t x = 0;
    for (; x + 8 <= job->columns; x += 8) {
      uint64_t m8;
      std::memcpy(&m8, mp + x, 8);
      if (!m8) continue;  // weight 0 everywhere: the destination stays
      __m256i w = _mm256_cvtepu8_epi32(_mm_loadl_epi64(at128(mp + x)));
      if constexpr (Partial) w = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(w), factor_v));
      w = _mm256_shuffle_epi8(w, spread);
      __m256i s = _mm256_loadu_si256(at256(sp + 4 * x)), d = _mm256_loadu_si256(at256(dp + 4 * x));
      __m256i lo = half(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero), _mm256_unpacklo_epi8(w, zero));
      __m256i hi = half(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero), _mm256_unpackhi_epi8(w, zero));
      _mm256_storeu_si256(at256(dp + 4 * x), _mm256_packus_epi16(lo, hi));
    }
    for (; x < job->columns; x++)
      alpha_pixel<F32, F32>(dp + 4 * x, sp + 4 * x, nullptr, mask_weight(mp[x], Partial, factor));
  }
}

// Sixteen, eight or four 32-bit pixels to 565 words: the steps of
// words_from_bytes<F565>. A key lane's word is the destination's.
TBLIT_AVX2 inline __m256i words_565_avx2(__m256i p) {
  __m256i v = _mm256_or_si256(_mm256_madd_epi16(_mm256_and_si256(p, _mm256_set1_epi32(0x00F800F8)),
                                                _mm256_set1_epi32(int(8192u << 16 | 4))),
                              _mm256_and_si256(p, _mm256_set1_epi32(0xFC00)));
  return _mm256_srai_epi32(_mm256_slli_epi32(v, 11), 16);
}

TBLIT_AVX2 inline void present8_565(uint8_t *dp, const uint8_t *sp, bool has_key, __m128i key) {
  __m128i lo = _mm_loadu_si128(at128(sp)), hi = _mm_loadu_si128(at128(sp + 16));
  __m128i out = words_from_bytes<F565>(lo, hi);
  if (has_key) {
    __m128i rgb_mask = splat32(0xFFFFFF);
    __m128i skip = _mm_packs_epi32(_mm_cmpeq_epi32(_mm_and_si128(lo, rgb_mask), key),
                                   _mm_cmpeq_epi32(_mm_and_si128(hi, rgb_mask), key));
    out = select(skip, _mm_loadu_si128(at128(dp)), out);
  }
  _mm_storeu_si128(at128(dp), out);
}

TBLIT_AVX2 inline void present4_565(uint8_t *dp, const uint8_t *sp, bool has_key, __m128i key) {
  __m128i p = _mm_loadu_si128(at128(sp));
  __m128i out = words_from_bytes<F565>(p, p);
  if (has_key) {
    __m128i k = _mm_cmpeq_epi32(_mm_and_si128(p, splat32(0xFFFFFF)), key);
    out = select(_mm_packs_epi32(k, k), _mm_loadl_epi64(at128(dp)), out);
  }
  _mm_storel_epi64(at128(dp), out);
}

// Each word depends on its own source pixel only (a key pixel keeps a word
// no step has changed), so a row's last step may overlap the one before it:
// a row of eight or more pixels needs no pixel-by-pixel tail.
TBLIT_AVX2 void keyed_copy_32_to_565_avx2(const tblit_job *job) {
  const int32_t columns = job->columns;
  const bool has_key = job->key != TBLIT_NO_KEY;
  const uint32_t source_key = key_in_source_form<F32>(job->key);
  const __m256i rgb_mask = _mm256_set1_epi32(0xFFFFFF), key = _mm256_set1_epi32(int(source_key));
  const __m128i key4 = splat32(source_key);
  // A narrow area's rows lie a stride apart, farther than the processor
  // looks ahead by itself: the rows a few below are asked for early.
  const bool narrow = columns <= 64;
  const int32_t ahead = std::min(job->rows, 4);
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    if (narrow && y + ahead < job->rows) {
      const uint8_t *next = row_at(job->src, job->src_stride, y + ahead, job->src_top_down);
      for (int32_t at = 0; at < 4 * columns; at += 64) _mm_prefetch(reinterpret_cast<const char *>(next + at), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char *>(row_at(job->dst, job->dst_stride, y + ahead, job->dst_top_down)),
                   _MM_HINT_T0);
    }
    int32_t x = 0;
    for (; x + 16 <= columns; x += 16) {
      __m256i a = _mm256_loadu_si256(at256(sp + 4 * x)), b = _mm256_loadu_si256(at256(sp + 4 * x + 32));
      // The pack works within 128-bit halves; the permute puts the pixels back in order.
      __m256i out = _mm256_permute4x64_epi64(_mm256_packs_epi32(words_565_avx2(a), words_565_avx2(b)), 0xD8);
      if (has_key) {
        __m256i ka = _mm256_cmpeq_epi32(_mm256_and_si256(a, rgb_mask), key);
        __m256i kb = _mm256_cmpeq_epi32(_mm256_and_si256(b, rgb_mask), key);
        __m256i skip = _mm256_permute4x64_epi64(_mm256_packs_epi32(ka, kb), 0xD8);
        out = _mm256_blendv_epi8(out, _mm256_loadu_si256(at256(dp + 2 * x)), skip);
      }
      _mm256_storeu_si256(at256(dp + 2 * x), out);
    }
    if (x == columns) continue;
    if (columns >= 8) {
      if (x + 8 < columns) present8_565(dp + 2 * x, sp + 4 * x, has_key, key4);
      present8_565(dp + 2 * (columns - 8), sp + 4 * (columns - 8), has_key, key4);
    } else if (columns >= 4) {
      present4_565(dp, sp, has_key, key4);
      present4_565(dp + 2 * (columns - 4), sp + 4 * (columns - 4), has_key, key4);
    } else {
      for (; x < columns; x++) keyed_pixel<F32, F565>(dp + 2 * x, sp + 4 * x, nullptr, has_key, source_key, true, 255);
    }
  }
}

TBLIT_AVX2 int64_t scan_range_32_avx2(const uint8_t *row, int64_t x, int64_t limit, int dir, int want, uint32_t low,
                                      uint32_t high) {
  const __m256i lo = _mm256_set1_epi32(int(low & 0xFFFFFF)), hi = _mm256_set1_epi32(int(high | 0xFF000000u));
  const __m256i ones = _mm256_set1_epi32(-1);
  const int flip = want ? 0xFF : 0;
  auto in_range8 = [&](const uint8_t *p) TBLIT_AVX2 {
    __m256i v = _mm256_loadu_si256(at256(p));
    __m256i inside = _mm256_cmpeq_epi8(_mm256_min_epu8(_mm256_max_epu8(v, lo), hi), v);
    return _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(inside, ones)));
  };
  // A run is usually long: the loads ahead are asked for early, as a row is
  // often scanned right after one far from it in memory.
  if (dir > 0) {
    for (; x + 15 <= limit; x += 16) {
      _mm_prefetch(reinterpret_cast<const char *>(row + 4 * x + 512), _MM_HINT_T0);
      if (int bits = (in_range8(row + 4 * x) | in_range8(row + 4 * x + 32) << 8) ^ (flip | flip << 8))
        return x + __builtin_ctz(unsigned(bits));
    }
    for (; x + 7 <= limit; x += 8)
      if (int bits = in_range8(row + 4 * x) ^ flip) return x + __builtin_ctz(unsigned(bits));
  } else {
    for (; x - 7 >= limit; x -= 8) {
      _mm_prefetch(reinterpret_cast<const char *>(row + 4 * x - 512), _MM_HINT_T0);
      if (int bits = in_range8(row + 4 * (x - 7)) ^ flip) return x - 7 + 31 - __builtin_clz(unsigned(bits));
    }
  }
  _mm256_zeroupper();
  return scan_range_32(row, x, limit, dir, want, low, high);
}

// The keyed same-format 16-bit blit (a see-through panel over the frame
// buffer), sixteen words a step. Each word depends on its own source and
// destination words only, so a row's last few go through a step of their
// own over copies padded to sixteen.
template <int F, bool HasKey, bool Copy>
TBLIT_AVX2 void keyed_rows_16_avx2(const tblit_job *job) {
  constexpr int red_shift = F == F565 ? 11 : 10;
  const int32_t columns = job->columns;
  const __m256i key = _mm256_set1_epi16(short(key_in_source_form<F>(job->key)));
  const __m256i w = _mm256_set1_epi16(short(job->alpha)), inv = _mm256_set1_epi16(short(256 - job->alpha));
  const __m256i green_mask = _mm256_set1_epi16(F == F565 ? 63 : 31), blue_mask = _mm256_set1_epi16(31);
  auto channel = [w, inv](__m256i s, __m256i d) TBLIT_AVX2 {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(s, w), _mm256_mullo_epi16(d, inv)), 8);
  };
  auto step16 = [&](uint8_t *dp, const uint8_t *sp) TBLIT_AVX2 {
    __m256i s = _mm256_loadu_si256(at256(sp)), d = _mm256_loadu_si256(at256(dp)), out = s;
    if constexpr (!Copy) {
      __m256i r = channel(_mm256_srli_epi16(s, red_shift), _mm256_srli_epi16(d, red_shift));
      __m256i g = channel(_mm256_and_si256(_mm256_srli_epi16(s, 5), green_mask),
                          _mm256_and_si256(_mm256_srli_epi16(d, 5), green_mask));
      __m256i b = channel(_mm256_and_si256(s, blue_mask), _mm256_and_si256(d, blue_mask));
      out = _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(r, red_shift), _mm256_slli_epi16(g, 5)), b);
    }
    if constexpr (HasKey) out = _mm256_blendv_epi8(out, d, _mm256_cmpeq_epi16(s, key));
    _mm256_storeu_si256(at256(dp), out);
  };
  for (int32_t y = 0; y < job->rows; y++) {
    uint8_t *dp = row_at(job->dst, job->dst_stride, y, job->dst_top_down);
    const uint8_t *sp = row_at(job->src, job->src_stride, y, job->src_top_down);
    int32_t x = 0;
    for (; x + 16 <= columns; x += 16) step16(dp + 2 * x, sp + 2 * x);
    if (x == columns) continue;
    size_t tail_bytes = size_t(columns - x) * 2;
    alignas(32) uint8_t src_tail[32] = {}, dst_tail[32] = {};
    std::memcpy(src_tail, sp + 2 * x, tail_bytes);
    std::memcpy(dst_tail, dp + 2 * x, tail_bytes);
    step16(dst_tail, src_tail);
    std::memcpy(dp + 2 * x, dst_tail, tail_bytes);
  }
}

template <int F>
void fast_keyed_16(const tblit_job *job) {
  bool has_key = job->key != TBLIT_NO_KEY, copy = job->alpha >= 255;
  if (!g_wide_vectors || (!has_key && copy)) return fast_keyed<F, F>(job);
  if (!copy && job->alpha <= 0) return;  // weight 0 everywhere
  if (has_key)
    copy ? keyed_rows_16_avx2<F, true, true>(job) : keyed_rows_16_avx2<F, true, false>(job);
  else
    keyed_rows_16_avx2<F, false, false>(job);
}

void fast_keyed_32_to_565(const tblit_job *job) {
  if (g_wide_vectors && job->alpha >= 255) return keyed_copy_32_to_565_avx2(job);
  fast_keyed<F32, F565>(job);
}

void fast_masked_32_to_32(const tblit_job *job) {
  if (!g_wide_vectors) return fast_masked<F32, F32>(job);
  job->alpha < 255 ? masked_rows_32_avx2<true>(job) : masked_rows_32_avx2<false>(job);
}

void fast_alpha_32_to_32(const tblit_job *job) {
  if (job->alpha <= 0) return;
  g_wide_vectors ? alpha_rows_32_avx2(job) : alpha_rows_32(job);
}
#else
void fast_alpha_32_to_32(const tblit_job *job) {
  if (job->alpha > 0) alpha_rows_32(job);
}
#endif

#endif  // __SSE2__

// ---- tables ----

struct family_row {
  tblit_worker by_pair[TBLIT_FORMAT_COUNT][TBLIT_FORMAT_COUNT];  // [source][destination]
};

#define TBLIT_PAIRS(M, fam)                                                                                 \
  {                                                                                                         \
    {nullptr, M(fam, F8, F555), M(fam, F8, F565), M(fam, F8, F24), M(fam, F8, F32)},                      \
        {nullptr, M(fam, F555, F555), M(fam, F555, F565), M(fam, F555, F24), M(fam, F555, F32)},          \
        {nullptr, M(fam, F565, F555), M(fam, F565, F565), M(fam, F565, F24), M(fam, F565, F32)},          \
        {nullptr, M(fam, F24, F555), M(fam, F24, F565), M(fam, F24, F24), M(fam, F24, F32)},              \
        {nullptr, M(fam, F32, F555), M(fam, F32, F565), M(fam, F32, F24), M(fam, F32, F32)},              \
  }
#define TBLIT_WORKER(fam, s, d) fam<s, d>
#if defined(TBLIT_HAVE_AVX2)
#define TBLIT_KEYED_WORKER(fam, s, d)                                                   \
  (s == F32 && d == F565   ? fast_keyed_32_to_565                                         \
   : s == F565 && d == F565 ? fast_keyed_16<F565>                                         \
   : s == F555 && d == F555 ? fast_keyed_16<F555>                                         \
                            : fam<s, d>)
#define TBLIT_MASKED_WORKER(fam, s, d) (s == F32 && d == F32 ? fast_masked_32_to_32 : fam<s, d>)
#else
#define TBLIT_KEYED_WORKER TBLIT_WORKER
#define TBLIT_MASKED_WORKER TBLIT_WORKER
#endif
#define TBLIT_ALPHA_WORKER(fam, s, d) (s == F32 && d == F32 ? fast_alpha_32_to_32 : fam<s, d>)

const tblit_worker general_table[TBLIT_FAMILY_COUNT][TBLIT_FORMAT_COUNT][TBLIT_FORMAT_COUNT] = {
    TBLIT_PAIRS(TBLIT_WORKER, general_alpha),
    TBLIT_PAIRS(TBLIT_WORKER, general_masked),
    TBLIT_PAIRS(TBLIT_WORKER, general_keyed),
};

#if defined(__SSE2__)
// Every pair has an SSE2 path; the pairs the program leans on most are the
// 32 -> 565 present of the canvas, the 565 -> 565 compose of the surfaces and
// panels (opaque, translucent, keyed), the 24/32 -> 32 picture draws and the
// masked text and brush stamps.
const tblit_worker fast_table[TBLIT_FAMILY_COUNT][TBLIT_FORMAT_COUNT][TBLIT_FORMAT_COUNT] = {
    TBLIT_PAIRS(TBLIT_ALPHA_WORKER, fast_alpha),
    TBLIT_PAIRS(TBLIT_MASKED_WORKER, fast_masked),
    TBLIT_PAIRS(TBLIT_KEYED_WORKER, fast_keyed),
};
#else
// Without SSE2 only the keyed same-format copies have a faster road than the
// general loops.
template <int S, int D>
void fast_keyed_copy(const tblit_job *job) {
  if (job->key == TBLIT_NO_KEY && job->alpha >= 255) return copy_rows<S>(job);
  general_keyed<S, D>(job);
}
const tblit_worker fast_table[TBLIT_FAMILY_COUNT][TBLIT_FORMAT_COUNT][TBLIT_FORMAT_COUNT] = {
    {},
    {},
    {{},
     {nullptr, fast_keyed_copy<F555, F555>},
     {nullptr, nullptr, fast_keyed_copy<F565, F565>},
     {nullptr, nullptr, nullptr, fast_keyed_copy<F24, F24>},
     {nullptr, nullptr, nullptr, nullptr, fast_keyed_copy<F32, F32>}},
};
#endif

bool valid(tblit_family family, tblit_format src, tblit_format dst) {
  return family >= 0 && family < TBLIT_FAMILY_COUNT && src >= 0 && src < TBLIT_FORMAT_COUNT && dst >= 0 &&
         dst < TBLIT_FORMAT_COUNT;
}

// ---- fills ----

template <int D>
struct fill_color {
  uint32_t a;
  rgb c;       // the colour at the destination's depth
  uint32_t packed;  // the stored form (16-bit word, or b | g << 8 | r << 16)
  uint32_t rgb8;    // b | g << 8 | r << 16
};

template <int D>
fill_color<D> fill_color_of(uint32_t color) {
  uint8_t bytes[4] = {uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16), 0};
  fill_color<D> f;
  f.a = color >> 24;
  f.c = source_channels<F32, D>(bytes, nullptr);
  uint32_t r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
  f.rgb8 = color & 0xFFFFFF;
  if constexpr (D == F555) f.packed = (b >> 3) | (g & 0xF8) << 2 | (r & 0xF8) << 7;
  if constexpr (D == F565) f.packed = (b >> 3) | (g & 0xFC) << 3 | (r & 0xF8) << 8;
  if constexpr (D == F24 || D == F32) f.packed = b | g << 8 | r << 16;
  return f;
}

template <int D>
inline void fill_pixel(uint8_t *p, const fill_color<D> &f) {
  if (f.a == 255) {
    if constexpr (D == F555 || D == F565) {
      tfile_put_u16(p, f.packed);
    } else {
      p[0] = uint8_t(f.packed), p[1] = uint8_t(f.packed >> 8), p[2] = uint8_t(f.packed >> 16);
    }
  } else {
    rgb d = dest_channels<D>(p);
    store_channels<D>(p, {blend(f.c.r, d.r, f.a), blend(f.c.g, d.g, f.a), blend(f.c.b, d.b, f.a)});
  }
}

// `streaming`: the span belongs to a block far larger than the caches.
constexpr uint64_t k_streaming_bytes = 8u << 20;
template <int D>
void fill_span(uint8_t *p, int32_t count, const fill_color<D> &f, bool streaming = false) {
  if (f.a == 0) return;
  int32_t i = 0;
#if defined(__SSE2__)
  if constexpr (D == F32) {
#if defined(TBLIT_HAVE_AVX2)
    if (g_wide_vectors && f.a == 255 && g_masked_stores)
      i = store_span_32_masked(p, count, f.packed, streaming);
    else if (g_wide_vectors && f.a < 255)
      i = blend_span_32_avx2(p, count, f.rgb8, f.a);
    else
#endif
      i = f.a == 255 ? store_span_32(p, count, f.packed) : blend_span_32(p, count, f.rgb8, f.a);
  } else if constexpr (D != F24) {
    if (f.a == 255) {
      __m128i word = splat16(int(f.packed));
      for (; i + 8 <= count; i += 8) _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 2 * i), word);
    } else {
#if defined(TBLIT_HAVE_AVX2)
      if (g_wide_vectors)
        i = blend_span_16_avx2<D>(p, count, f.c, f.a);
      else
#endif
        i = blend_span_16<D>(p, count, f.c, f.a);
    }
  }
#endif
  for (; i < count; i++) fill_pixel<D>(p + bytes_of(D) * i, f);
}

template <int D>
void fill_block(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color, bool top_down) {
  if (columns < 1 || rows < 1) return;
  fill_color<D> f = fill_color_of<D>(color);
  const bool streaming = uint64_t(columns) * uint64_t(rows) * bytes_of(D) >= k_streaming_bytes;
  // Rows that follow each other without a gap are one long span.
  if (uint64_t(stride) == uint64_t(columns) * bytes_of(D) && uint64_t(columns) * uint64_t(rows) <= INT32_MAX) {
    fill_span<D>(top_down ? start : row_at(start, stride, rows - 1, false), columns * rows, f, streaming);
    return;
  }
  // Narrow opaque blocks (a bar, a border's side) go word by word: the span
  // loop's setup would cost more than the few pixels of each row.
  if constexpr (D == F555 || D == F565) {
    if (f.a == 255 && columns < 8) {
      const ptrdiff_t down = top_down ? ptrdiff_t(stride) : -ptrdiff_t(stride);
      const uint16_t word = uint16_t(f.packed);
      uint8_t *row = start;
      for (int32_t y = 0; y < rows; y++, row += down)
        for (int32_t x = 0; x < columns; x++) std::memcpy(row + 2 * x, &word, 2);
      return;
    }
  }
  for (int32_t y = 0; y < rows; y++) fill_span<D>(row_at(start, stride, y, top_down), columns, f, streaming);
}

// A span of whole opaque pixels (see store_whole_32).
constexpr int32_t k_string_store_pixels = 2048;
void store_whole_span(uint8_t *p, int64_t count, uint32_t pixel) {
  while (count > 0) {
    int32_t part = int32_t(std::min<int64_t>(count, INT32_MAX)), i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    // A long span (a whole canvas whose rows follow each other) goes to the
    // string store, which writes whole cache lines without reading them
    // first; shorter ones would pay its start-up.
    if (part >= k_string_store_pixels) {
      void *d = p;
      size_t n = size_t(part);
      asm volatile("rep stosl" : "+D"(d), "+c"(n) : "a"(pixel) : "memory");
      i = part;
    } else
#endif
#if defined(TBLIT_HAVE_AVX2)
    if (g_wide_vectors)
      i = store_whole_32_avx2(p, part, pixel);
    else
#endif
#if defined(__SSE2__)
      i = store_whole_32(p, part, pixel);
#endif
    for (; i < part; i++) std::memcpy(p + 4 * size_t(i), &pixel, 4);
    p += 4 * size_t(part), count -= part;
  }
}

void fill_block_opaque_32(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                          bool top_down) {
  if (color >> 24 != 255) return fill_block<F32>(start, stride, columns, rows, color, top_down);
  if (columns < 1 || rows < 1) return;
  if (uint64_t(stride) == uint64_t(columns) * 4) {
    store_whole_span(top_down ? start : row_at(start, stride, rows - 1, false), int64_t(columns) * rows, color);
    return;
  }
  for (int32_t y = 0; y < rows; y++) store_whole_span(row_at(start, stride, y, top_down), columns, color);
}

template <int D>
void fill_column(uint8_t *start, uint32_t stride, int32_t count, uint32_t color, bool top_down) {
  fill_color<D> f = fill_color_of<D>(color);
  for (int32_t y = 0; y < count; y++) fill_pixel<D>(row_at(start, stride, y, top_down), f);
}

}  // namespace

tblit_format tblit_source_format(int bpp, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask) {
  switch (bpp) {
    case 8: return TBLIT_FORMAT_8;
    case 16:
      return red_mask == 0xF800 && green_mask == 0x07E0 && blue_mask == 0x001F ? TBLIT_FORMAT_565 : TBLIT_FORMAT_555;
    case 24: return TBLIT_FORMAT_24;
    case 32: return TBLIT_FORMAT_32;
    default: return TBLIT_FORMAT_NONE;
  }
}

int tblit_set_wide_vectors(int on) {
#if defined(TBLIT_HAVE_AVX2)
  int was = g_wide_vectors;
  g_wide_vectors = on && cpu_has_avx2();
  return was;
#else
  (void)on;
  return 0;
#endif
}

tblit_worker tblit_general(tblit_family family, tblit_format src, tblit_format dst) {
  return valid(family, src, dst) ? general_table[family][src][dst] : nullptr;
}

tblit_worker tblit_fast(tblit_family family, tblit_format src, tblit_format dst) {
  return valid(family, src, dst) ? fast_table[family][src][dst] : nullptr;
}

tblit_worker tblit_select(tblit_family family, tblit_format src, tblit_format dst) {
  tblit_worker fast = tblit_fast(family, src, dst);
  return fast ? fast : tblit_general(family, src, dst);
}

void tblit_hline_555(uint8_t *start, int32_t count, uint32_t color) { fill_block<F555>(start, 0, count, 1, color, true); }
void tblit_hline_565(uint8_t *start, int32_t count, uint32_t color) { fill_block<F565>(start, 0, count, 1, color, true); }
void tblit_hline_24(uint8_t *start, int32_t count, uint32_t color) { fill_block<F24>(start, 0, count, 1, color, true); }
void tblit_hline_32(uint8_t *start, int32_t count, uint32_t color) { fill_block<F32>(start, 0, count, 1, color, true); }

void tblit_hline_32_opaque(uint8_t *start, int32_t count, uint32_t color) {
  fill_block_opaque_32(start, 0, count, 1, color, true);
}
void tblit_fill_rect_32_opaque(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                               bool top_down) {
  fill_block_opaque_32(start, stride, columns, rows, color, top_down);
}

void tblit_hline_32_ahead(uint8_t *start, int32_t count, uint32_t color, bool whole, const uint8_t *ahead) {
  PORT_CHECK(start != nullptr && count >= 0);
  int32_t i = 0;
#if defined(TBLIT_HAVE_AVX2)
  const uint32_t a = color >> 24;
  if (g_wide_vectors && ahead && a == 255)
    i = store_span_32_ahead_avx2(start, count, color, whole, ahead);
  else if (g_wide_vectors && ahead && a > 0)
    i = blend_span_32_avx2(start, count, color & 0xFFFFFFu, a, ahead);
#endif
  // Elsewhere the span goes a kilobyte at a time, each asked for as a whole.
  constexpr int32_t k_piece = 256;
  for (; i < count; i += k_piece) {
    const int32_t part = std::min(count - i, k_piece);
    if (ahead)
      for (int32_t at = 0; at < 4 * part; at += 64) __builtin_prefetch(ahead + 4 * size_t(i) + at);
    whole ? tblit_hline_32_opaque(start + 4 * size_t(i), part, color) : tblit_hline_32(start + 4 * size_t(i), part, color);
  }
}

const char *tblit_opaque_fill_path() {
#if defined(TBLIT_HAVE_AVX2)
  if (g_wide_vectors) return "256-bit stores, string stores from 8 KiB";
#endif
#if defined(__x86_64__) && defined(__GNUC__)
  return "128-bit stores, string stores from 8 KiB";
#elif defined(__SSE2__)
  return "128-bit stores";
#else
  return "32-bit stores";
#endif
}

void tblit_vline_555(uint8_t *start, uint32_t stride, int32_t count, uint32_t color, bool top_down) {
  fill_column<F555>(start, stride, count, color, top_down);
}
void tblit_vline_565(uint8_t *start, uint32_t stride, int32_t count, uint32_t color, bool top_down) {
  fill_column<F565>(start, stride, count, color, top_down);
}
void tblit_vline_24(uint8_t *start, uint32_t stride, int32_t count, uint32_t color, bool top_down) {
  fill_column<F24>(start, stride, count, color, top_down);
}
// A 32-bit column is the 24-bit column with a longer stride: three bytes per
// row, the fourth left as it was.
void tblit_vline_32(uint8_t *start, uint32_t stride, int32_t count, uint32_t color, bool top_down) {
  fill_column<F24>(start, stride, count, color, top_down);
}

void tblit_fill_rect_555(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                         bool top_down) {
  fill_block<F555>(start, stride, columns, rows, color, top_down);
}
void tblit_fill_rect_565(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                         bool top_down) {
  fill_block<F565>(start, stride, columns, rows, color, top_down);
}
void tblit_fill_rect_24(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                        bool top_down) {
  fill_block<F24>(start, stride, columns, rows, color, top_down);
}
void tblit_fill_rect_32(uint8_t *start, uint32_t stride, int32_t columns, int32_t rows, uint32_t color,
                        bool top_down) {
  fill_block<F32>(start, stride, columns, rows, color, top_down);
}

int64_t tblit_scan_range_32(const uint8_t *row, int32_t x, int32_t limit, int dir, int want, uint32_t low,
                            uint32_t high) {
  PORT_CHECK(row != nullptr && (dir == 1 || dir == -1));
#if defined(TBLIT_HAVE_AVX2)
  if (g_wide_vectors) return scan_range_32_avx2(row, x, limit, dir, want, low, high);
#endif
#if defined(__SSE2__)
  return scan_range_32(row, x, limit, dir, want, low, high);
#else
  for (int64_t at = x; at != int64_t(limit) + dir; at += dir)
    if (in_range_pixel(row + 4 * at, low, high) != (want != 0)) return at;
  return int64_t(limit) + dir;
#endif
}
