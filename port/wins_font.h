// wins_font: the faces, metrics and glyphs behind the text passes of
// wins_graphics. Faces are found through fontconfig and drawn with FreeType.
//
// A font is one (face name, pixel height, bold/italic) triple. Its primary
// face is fontconfig's best match for the name with "sans-serif" behind it
// (so "tahoma" gives the default sans face and "Arial" the face with its
// metrics); a character the primary face lacks is taken from the first face
// of fontconfig's sorted list that has it (Chinese through a CJK face).
// Bold and italic are synthesised when the matched face has neither.
//
// Owns every FreeType face, every font and the glyph cache: a glyph is
// rendered once per font and kept until wins_font_trim_cache drops the cache.
// Invariants: a glyph pointer stays valid until the next trim, so callers
// trim only while no text pass holds glyphs; widths are sums of whole-pixel
// advances (no kerning), so a width and a fit count of the same font always
// agree. Everything runs on the GUI thread.
#pragma once

#include <cstddef>
#include <cstdint>

struct wins_font;

// One rendered glyph: an 8-bit coverage image placed relative to the pen
// position on the baseline (left to the right, top upwards).
struct wins_glyph {
  int32_t advance;
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t rows;
  int32_t stride;           // bytes per row: width rounded up to 8, zero-padded
  const uint8_t *coverage;  // stride * rows bytes, rows top to bottom
};

enum { WINS_FONT_BOLD = 1, WINS_FONT_ITALIC = 2 };

// A rule drawn across a run of text: `top` rows below the baseline (negative:
// above it), `thickness` rows high.
struct wins_font_rule {
  int32_t top;
  int32_t thickness;
};

// Pixel heights are cut to this: one glyph of it is already a megabyte.
constexpr int WINS_FONT_MAX_PIXELS = 1024;

// The font for a face name (UTF-16, NUL-ended; null or empty: "tahoma"), a
// pixel height (em size, cut to 1..WINS_FONT_MAX_PIXELS) and WINS_FONT_* bits.
// Null only when no scalable face can be had and fixed metrics are off.
wins_font *wins_font_get(const char16_t *face, int pixel_height, int style);

// The family name of the font's primary face (UTF-8); "" without a face.
const char *wins_font_get_family(const wins_font *font);
int wins_font_get_pixel_height(const wins_font *font);
int wins_font_get_ascent(const wins_font *font);
int wins_font_get_descent(const wins_font *font);
wins_font_rule wins_font_get_underline(const wins_font *font);
wins_font_rule wins_font_get_strike_out(const wins_font *font);

// The glyph of a code point, rendered on first use; null when the font has
// no face (fixed metrics without fonts) or FreeType fails on it.
const wins_glyph *wins_font_get_glyph(wins_font *font, uint32_t code_point);

// The code point at text[*i] (a surrogate pair is one; a lone surrogate is
// U+FFFD); *i moves past it.
uint32_t wins_font_next_char(const char16_t *text, int len, int *i);
// The advance of one code point as layout sees it (fixed or real): the
// rendered glyph's, or measured from its outline without rendering it.
int wins_font_get_advance(wins_font *font, uint32_t code_point);
int wins_font_get_text_width(wins_font *font, const char16_t *text, int len);
// UTF-16 units of the longest prefix no wider than max_width; a surrogate
// pair is never split.
int wins_font_get_fit_chars(wins_font *font, const char16_t *text, int len, int max_width);

// Fixed metrics: every code point advances max(1, H / 2) for pixel height H,
// ascent H, descent max(1, H / 4); the same on every machine, fonts or none.
// Glyphs are still drawn from the real faces, each at its fixed position.
void wins_font_set_fixed_metrics(int on);
int wins_font_get_fixed_metrics();

// Bytes of coverage held by the glyph cache, and dropping every glyph when
// they exceed `limit`. Returns 1 when the cache was dropped.
size_t wins_font_get_cache_bytes();
int wins_font_trim_cache(size_t limit);
