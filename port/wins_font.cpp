// wins_font: fontconfig face resolution, FreeType metrics and the glyph cache.
#include "wins_font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "port_log.h"
#include "port_utf8.h"

namespace {

constexpr char16_t k_default_face[] = u"tahoma";
constexpr char k_generic_family[] = "sans-serif";
constexpr int k_latin_count = 256;
// Light hinting keeps the shapes of the faces and still snaps stems to rows;
// outlines only, so every face scales to any height.
constexpr FT_Int32 k_load_flags = FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP;

// One opened FreeType face, shared by every font that uses its file.
struct face_entry {
  FT_Face face = nullptr;
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
  std::string family;

  ~face_entry() {
    if (face) FT_Done_Face(face);
  }
};

// A face of fontconfig's sorted list for one request, opened on first need.
struct face_candidate {
  std::string file;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
  FcCharSet *charset = nullptr;  // borrowed from face_set::sorted
  face_entry *entry = nullptr;
  bool failed = false;
};

// What one face name and style resolve to: the primary face first, then the
// faces that may hold the characters it lacks.
struct face_set {
  FcFontSet *sorted = nullptr;
  std::vector<face_candidate> candidates;
  face_entry *primary = nullptr;

  ~face_set() {
    if (sorted) FcFontSetDestroy(sorted);
  }
};

struct glyph_store {
  wins_glyph glyph{};
  std::vector<uint8_t> pixels;
};

}  // namespace

struct wins_font {
  face_set *faces = nullptr;
  int style = 0;
  int pixel_height = 0;
  int ascent = 0;
  int descent = 0;
  wins_font_rule underline{};
  wins_font_rule strike_out{};
  std::string family;
  std::unordered_map<uint32_t, glyph_store> glyphs;
  const wins_glyph *latin[k_latin_count] = {};
  // Advances of glyphs measured but not rendered.
  std::unordered_map<uint32_t, int32_t> advances;
};

namespace {

using face_key = std::tuple<std::u16string, int>;
using font_key = std::tuple<std::u16string, int, int>;

face_entry *open_face(const face_candidate &candidate);
face_set *resolve_faces(const std::u16string &name, int style);
void init_metrics(wins_font *font);
const wins_glyph *render_glyph(wins_font *font, uint32_t code_point);
template <class Load>
bool load_from_faces(wins_font *font, uint32_t code_point, Load load);
bool load_outline(wins_font *font, face_entry *entry, FT_UInt glyph_index);
bool load_glyph(wins_font *font, face_entry *entry, FT_UInt glyph_index, glyph_store *out);
int scale_round(long units, int pixel_height, int units_per_em);
int fixed_advance(const wins_font *font);

FT_Library g_library = nullptr;
bool g_library_failed = false;
bool g_fixed_metrics = false;
size_t g_cache_bytes = 0;
std::map<std::string, std::unique_ptr<face_entry>> g_faces;
std::map<face_key, std::unique_ptr<face_set>> g_face_sets;
std::map<font_key, std::unique_ptr<wins_font>> g_fonts;

}  // namespace

wins_font *wins_font_get(const char16_t *face, int pixel_height, int style) try {
  std::u16string name = face && face[0] ? std::u16string(face) : std::u16string(k_default_face);
  pixel_height = std::clamp(pixel_height, 1, WINS_FONT_MAX_PIXELS);
  style &= WINS_FONT_BOLD | WINS_FONT_ITALIC;

  font_key key{name, pixel_height, style};
  auto found = g_fonts.find(key);
  wins_font *font;
  if (found != g_fonts.end()) {
    font = found->second.get();
  } else {
    auto made = std::make_unique<wins_font>();
    font = made.get();
    font->faces = resolve_faces(name, style);
    font->style = style;
    font->pixel_height = pixel_height;
    init_metrics(font);
    g_fonts.emplace(key, std::move(made));
  }
  if (!font->faces->primary && !g_fixed_metrics) return nullptr;
  return font;
} catch (const std::bad_alloc &) {
  return nullptr;
}

const char *wins_font_get_family(const wins_font *font) {
  PORT_CHECK(font != nullptr);
  return font->family.c_str();
}

int wins_font_get_pixel_height(const wins_font *font) {
  PORT_CHECK(font != nullptr);
  return font->pixel_height;
}

int wins_font_get_ascent(const wins_font *font) {
  PORT_CHECK(font != nullptr);
  return g_fixed_metrics ? font->pixel_height : font->ascent;
}

int wins_font_get_descent(const wins_font *font) {
  PORT_CHECK(font != nullptr);
  return g_fixed_metrics ? std::max(1, font->pixel_height / 4) : font->descent;
}

wins_font_rule wins_font_get_underline(const wins_font *font) {
  PORT_CHECK(font != nullptr);
  if (!g_fixed_metrics) return font->underline;
  int thickness = std::max(1, font->pixel_height / 16);
  int descent = wins_font_get_descent(font);
  return {std::max(0, std::min(1, descent - thickness)), thickness};
}

wins_font_rule wins_font_get_strike_out(const wins_font *font) {
  PORT_CHECK(font != nullptr);
  if (!g_fixed_metrics) return font->strike_out;
  return {-font->pixel_height / 3, std::max(1, font->pixel_height / 16)};
}

const wins_glyph *wins_font_get_glyph(wins_font *font, uint32_t code_point) {
  PORT_CHECK(font != nullptr);
  if (code_point < k_latin_count && font->latin[code_point]) return font->latin[code_point];
  auto found = font->glyphs.find(code_point);
  if (found != font->glyphs.end()) return &found->second.glyph;
  try {
    return render_glyph(font, code_point);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

uint32_t wins_font_next_char(const char16_t *text, int len, int *i) {
  PORT_CHECK(text != nullptr && i != nullptr && *i < len);
  int used;
  char32_t code_point = port_utf8_decode_wide(text + *i, size_t(len - *i), &used);
  *i += used;
  return code_point;
}

int wins_font_get_advance(wins_font *font, uint32_t code_point) {
  PORT_CHECK(font != nullptr);
  if (g_fixed_metrics) return fixed_advance(font);
  if (code_point < k_latin_count && font->latin[code_point]) return font->latin[code_point]->advance;
  auto rendered = font->glyphs.find(code_point);
  if (rendered != font->glyphs.end()) return rendered->second.glyph.advance;
  auto measured = font->advances.find(code_point);
  if (measured != font->advances.end()) return measured->second;
  // Measured from the outline the glyph would be rendered from, without
  // rendering it: a width costs no coverage images.
  try {
    int32_t advance = 0;
    load_from_faces(font, code_point, [&](face_entry *entry, FT_UInt index) {
      if (!load_outline(font, entry, index)) return false;
      advance = int32_t((entry->face->glyph->advance.x + 32) >> 6);
      return true;
    });
    font->advances.emplace(code_point, advance);
    g_cache_bytes += 2 * sizeof(uint32_t) + 16;
    return advance;
  } catch (const std::bad_alloc &) {
    return 0;
  }
}

int wins_font_get_text_width(wins_font *font, const char16_t *text, int len) {
  PORT_CHECK(font != nullptr);
  if (!text || len <= 0) return 0;
  int64_t width = 0;
  for (int i = 0; i < len;) width += wins_font_get_advance(font, wins_font_next_char(text, len, &i));
  return int(std::min<int64_t>(width, INT32_MAX));
}

int wins_font_get_fit_chars(wins_font *font, const char16_t *text, int len, int max_width) {
  PORT_CHECK(font != nullptr);
  if (!text || len <= 0) return 0;
  int64_t width = 0;
  int fit = 0;
  for (int i = 0; i < len;) {
    width += wins_font_get_advance(font, wins_font_next_char(text, len, &i));
    if (width > max_width) break;
    fit = i;
  }
  return fit;
}

void wins_font_set_fixed_metrics(int on) { g_fixed_metrics = on != 0; }

int wins_font_get_fixed_metrics() { return g_fixed_metrics; }

size_t wins_font_get_cache_bytes() { return g_cache_bytes; }

int wins_font_trim_cache(size_t limit) {
  if (g_cache_bytes <= limit) return 0;
  for (auto &entry : g_fonts) {
    wins_font *font = entry.second.get();
    font->glyphs.clear();
    font->advances.clear();
    std::fill(std::begin(font->latin), std::end(font->latin), nullptr);
  }
  g_cache_bytes = 0;
  return 1;
}

namespace {

FT_Library library() {
  if (!g_library && !g_library_failed && FT_Init_FreeType(&g_library) != 0) {
    g_library = nullptr;
    g_library_failed = true;
  }
  return g_library;
}

// fontconfig knows a face's weight and slant better than its style flags.
face_entry *open_face(const face_candidate &candidate) {
  std::string key = candidate.file + '#' + std::to_string(candidate.index);
  auto found = g_faces.find(key);
  if (found != g_faces.end()) return found->second.get();
  FT_Library lib = library();
  auto entry = std::make_unique<face_entry>();
  if (!lib || FT_New_Face(lib, candidate.file.c_str(), candidate.index, &entry->face) != 0) {
    entry->face = nullptr;
    return nullptr;
  }
  FT_Face face = entry->face;
  if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return nullptr;
  entry->family = face->family_name ? face->family_name : "";
  entry->weight = candidate.weight;
  entry->slant = candidate.slant;
  face_entry *made = entry.get();
  g_faces.emplace(key, std::move(entry));
  return made;
}

// fontconfig sorts every face it knows by closeness to the request; the head
// of the list is the face that draws the text, the rest are its fallbacks.
face_set *resolve_faces(const std::u16string &name, int style) {
  face_key key{name, style};
  auto found = g_face_sets.find(key);
  if (found != g_face_sets.end()) return found->second.get();
  auto set = std::make_unique<face_set>();
  face_set *made = set.get();
  g_face_sets.emplace(key, std::move(set));

  int bytes = port_str_wide_to_utf8(name.c_str(), -1, nullptr, 0);
  std::string family(size_t(std::max(bytes, 1)), '\0');
  port_str_wide_to_utf8(name.c_str(), -1, &family[0], bytes);
  family.resize(std::strlen(family.c_str()));

  FcPattern *pattern = FcPatternCreate();
  if (!pattern) return made;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(k_generic_family));
  FcPatternAddInteger(pattern, FC_WEIGHT, (style & WINS_FONT_BOLD) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, (style & WINS_FONT_ITALIC) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  made->sorted = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
  FcPatternDestroy(pattern);
  if (!made->sorted) return made;

  for (int i = 0; i < made->sorted->nfont; i++) {
    FcPattern *font = made->sorted->fonts[i];
    FcChar8 *file = nullptr;
    FcBool scalable = FcFalse;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
    if (FcPatternGetBool(font, FC_SCALABLE, 0, &scalable) == FcResultMatch && !scalable) continue;
    face_candidate candidate;
    candidate.file = reinterpret_cast<const char *>(file);
    FcPatternGetInteger(font, FC_INDEX, 0, &candidate.index);
    FcPatternGetInteger(font, FC_WEIGHT, 0, &candidate.weight);
    FcPatternGetInteger(font, FC_SLANT, 0, &candidate.slant);
    FcPatternGetCharSet(font, FC_CHARSET, 0, &candidate.charset);
    made->candidates.push_back(candidate);
  }
  for (size_t i = 0; i < made->candidates.size() && !made->primary; i++) {
    face_candidate &candidate = made->candidates[i];
    candidate.entry = open_face(candidate);
    candidate.failed = candidate.entry == nullptr;
    made->primary = candidate.entry;
  }
  return made;
}

void init_metrics(wins_font *font) {
  face_entry *primary = font->faces->primary;
  int px = font->pixel_height;
  if (!primary) {
    font->ascent = px;
    font->descent = std::max(1, px / 4);
    font->underline = {1, 1};
    font->strike_out = {-px / 3, 1};
    return;
  }
  FT_Face face = primary->face;
  font->family = primary->family;
  int upem = face->units_per_EM;
  const TT_OS2 *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  long ascent_units = face->ascender, descent_units = -face->descender;
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent_units = os2->usWinAscent;
    descent_units = os2->usWinDescent;
  }
  // Rounded up, so hinted glyphs of the primary face stay inside the cell.
  font->ascent = int((std::max(0L, ascent_units) * px + upem - 1) / upem);
  font->descent = int((std::max(0L, descent_units) * px + upem - 1) / upem);

  int thickness = std::max(1, scale_round(face->underline_thickness, px, upem));
  int centre = scale_round(-long(face->underline_position), px, upem);
  int top = std::max(1, centre - thickness / 2);
  top = std::max(0, std::min(top, font->descent - thickness));
  font->underline = {top, thickness};

  long strike_units = upem * 26 / 100, strike_size = face->underline_thickness;
  if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
    strike_units = os2->yStrikeoutPosition;
    strike_size = os2->yStrikeoutSize;
  }
  font->strike_out = {-scale_round(strike_units, px, upem), std::max(1, scale_round(strike_size, px, upem))};
}

// Renders the glyph from the first face that has it (load_from_faces).
const wins_glyph *render_glyph(wins_font *font, uint32_t code_point) {
  if (!font->faces->primary) return nullptr;
  glyph_store store;
  bool loaded = load_from_faces(font, code_point, [&](face_entry *entry, FT_UInt index) {
    return load_glyph(font, entry, index, &store);
  });
  if (!loaded) store = glyph_store();

  auto placed = font->glyphs.emplace(code_point, std::move(store)).first;
  glyph_store &kept = placed->second;
  kept.glyph.coverage = kept.pixels.empty() ? nullptr : kept.pixels.data();
  g_cache_bytes += kept.pixels.size() + sizeof(glyph_store);
  if (code_point < k_latin_count) font->latin[code_point] = &kept.glyph;
  return &kept.glyph;
}

// Tries the primary face, then every face of the sorted list whose character
// set holds the code point; what none has is the primary face's
// missing-glyph box. load(entry, glyph index) answers whether it took it.
template <class Load>
bool load_from_faces(wins_font *font, uint32_t code_point, Load load) {
  face_set *faces = font->faces;
  if (!faces->primary) return false;
  bool loaded = false;
  FT_UInt index = FT_Get_Char_Index(faces->primary->face, code_point);
  if (index != 0) loaded = load(faces->primary, index);
  for (size_t i = 0; !loaded && i < faces->candidates.size(); i++) {
    face_candidate &candidate = faces->candidates[i];
    if (candidate.failed || candidate.entry == faces->primary) continue;
    if (!candidate.charset || !FcCharSetHasChar(candidate.charset, code_point)) continue;
    if (!candidate.entry) {
      candidate.entry = open_face(candidate);
      candidate.failed = candidate.entry == nullptr;
      if (candidate.failed) continue;
    }
    index = FT_Get_Char_Index(candidate.entry->face, code_point);
    if (index != 0) loaded = load(candidate.entry, index);
  }
  if (!loaded) loaded = load(faces->primary, 0);
  return loaded;
}

// The glyph's outline in the face's slot at the font's height and style.
bool load_outline(wins_font *font, face_entry *entry, FT_UInt glyph_index) {
  FT_Face face = entry->face;
  if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(font->pixel_height)) != 0) return false;
  if (FT_Load_Glyph(face, glyph_index, k_load_flags) != 0) return false;
  FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
  if ((font->style & WINS_FONT_BOLD) && entry->weight < FC_WEIGHT_DEMIBOLD) FT_GlyphSlot_Embolden(slot);
  if ((font->style & WINS_FONT_ITALIC) && entry->slant == FC_SLANT_ROMAN) FT_GlyphSlot_Oblique(slot);
  return true;
}

bool load_glyph(wins_font *font, face_entry *entry, FT_UInt glyph_index, glyph_store *out) {
  if (!load_outline(font, entry, glyph_index)) return false;
  FT_GlyphSlot slot = entry->face->glyph;
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;

  const FT_Bitmap &bitmap = slot->bitmap;
  wins_glyph &glyph = out->glyph;
  glyph.advance = int32_t((slot->advance.x + 32) >> 6);
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.width = int32_t(bitmap.width);
  glyph.rows = int32_t(bitmap.rows);
  glyph.stride = (glyph.width + 7) & ~7;
  out->pixels.assign(size_t(glyph.stride) * size_t(glyph.rows), 0);
  for (int y = 0; y < glyph.rows; y++) {
    const uint8_t *src = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
    uint8_t *dst = out->pixels.data() + size_t(y) * size_t(glyph.stride);
    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
      int levels = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
      for (int x = 0; x < glyph.width; x++) dst[x] = uint8_t(src[x] * 255 / levels);
    } else if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
      for (int x = 0; x < glyph.width; x++) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    }
  }
  return true;
}

int scale_round(long units, int pixel_height, int units_per_em) {
  long long scaled = (long long)units * pixel_height;
  long long half = units_per_em / 2;
  return int(scaled >= 0 ? (scaled + half) / units_per_em : -((-scaled + half) / units_per_em));
}

int fixed_advance(const wins_font *font) { return std::max(1, font->pixel_height / 2); }

}  // namespace
