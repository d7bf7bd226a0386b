// respack: packs texts and pictures into a resource file at build time.
//
//   respack [-I <folder>] <manifest> <output>
//
// The manifest is UTF-8 text, one entry a line ('#' starts a comment line):
//
//   <id> "text"                 a string record; \r \n \t \\ \" are escapes
//   bitmap <id> "picture.png"   a 24-bit bitmap record of the picture's colour
//   mask <id> "picture.png"     an 8-bit grey bitmap record: the picture's
//                               alpha, or its grey level when it has no alpha
//   include "other.manifest"    the entries of another manifest
//
// File names are relative to the manifest that names them; an included
// manifest that is not there is looked for in the -I folder (where the build
// writes the manifests of the pictures it draws). Ids are unique
// within their kind and may be given in any order; the file holds them
// ascending. Records are padded to 4 bytes, bitmaps are stored bottom-up and
// uncompressed (compression 0); the layout is the one tresource.h describes.
// The output is written beside its final name and renamed over it, then
// loaded back and checked entry by entry; any failure leaves no output and
// exits 1.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "port_log.h"
#include "tbitmap.h"
#include "tresource.h"

namespace {

struct pack {
  std::map<uint32_t, std::u16string> strings;
  std::map<uint32_t, std::vector<uint8_t>> bitmaps;
};

struct picture {
  uint32_t width = 0, height = 0;
  bool has_alpha = false;
  std::vector<uint8_t> rgba;  // top row first
};

bool read_manifest(const std::string &path, pack *out, int depth);
bool parse_quoted(const char *p, std::string *out, const char **end);
bool parse_id(const char **p, uint32_t *id);
bool read_png(const std::string &path, picture *out, std::string *error);
std::vector<uint8_t> bitmap_record(const picture &pic, bool mask);
std::vector<uint8_t> file_bytes(const pack &contents);
bool write_file(const std::string &path, const std::vector<uint8_t> &bytes);
bool verify(const std::string &path, const pack &contents);
std::string folder_of(const std::string &path);
void put_u16(std::vector<uint8_t> *out, uint32_t value);
void put_u32(std::vector<uint8_t> *out, uint32_t value);

// The -I folder with its trailing '/', or empty.
std::string g_include_folder;

}  // namespace

int main(int argc, char **argv) {
  int first = 1;
  if (argc == 5 && std::strcmp(argv[1], "-I") == 0) {
    g_include_folder = std::string(argv[2]) + "/";
    first = 3;
  }
  if (argc != first + 2) {
    std::fprintf(stderr, "usage: respack [-I <folder>] <manifest> <output>\n");
    return 1;
  }
  pack contents;
  if (!read_manifest(argv[first], &contents, 0)) return 1;
  std::string output = argv[first + 1];
  if (!write_file(output, file_bytes(contents))) {
    std::fprintf(stderr, "respack: cannot write %s\n", output.c_str());
    return 1;
  }
  if (!verify(output, contents)) {
    std::fprintf(stderr, "respack: %s does not read back as written\n", output.c_str());
    std::remove(output.c_str());
    return 1;
  }
  return 0;
}

namespace {

constexpr int k_max_include_depth = 8;

bool read_manifest(const std::string &path, pack *out, int depth) {
  FILE *file = std::fopen(path.c_str(), "rb");
  if (!file) {
    std::fprintf(stderr, "%s: cannot open\n", path.c_str());
    return false;
  }
  std::string text;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  std::fclose(file);

  int line_number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t stop = text.find('\n', start);
    if (stop == std::string::npos) stop = text.size();
    std::string line = text.substr(start, stop - start);
    start = stop + 1;
    line_number++;
    if (!line.empty() && line.back() == '\r') line.pop_back();

    const char *p = line.c_str();
    while (*p == ' ' || *p == '\t') p++;
    if (!*p || *p == '#') continue;
    auto fail = [&](const char *why) {
      std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), line_number, why);
      return false;
    };

    std::string keyword;
    if (!(*p >= '0' && *p <= '9')) {
      while (*p && *p != ' ' && *p != '\t') keyword += *p++;
      while (*p == ' ' || *p == '\t') p++;
    }
    if (keyword == "include") {
      std::string name;
      const char *end;
      if (!parse_quoted(p, &name, &end) || *end) return fail("expected include \"file\"");
      if (depth >= k_max_include_depth) return fail("includes nest too deep");
      std::string beside = folder_of(path) + name;
      FILE *probe = std::fopen(beside.c_str(), "rb");
      if (probe) std::fclose(probe);
      std::string included = probe || g_include_folder.empty() ? beside : g_include_folder + name;
      if (!read_manifest(included, out, depth + 1)) return fail("in the file included here");
      continue;
    }
    uint32_t id;
    if (!parse_id(&p, &id)) return fail("expected an id");
    std::string value;
    const char *end;
    if (!parse_quoted(p, &value, &end) || *end) return fail("expected a quoted value after the id");

    if (keyword.empty()) {
      // The text must be valid UTF-8: it must convert there and back unchanged.
      int units = port_str_utf8_to_wide(value.c_str(), -1, nullptr, 0);
      std::u16string wide(size_t(units), u'\0');
      port_str_utf8_to_wide(value.c_str(), -1, wide.data(), units);
      wide.pop_back();
      int bytes = port_str_wide_to_utf8(wide.c_str(), -1, nullptr, 0);
      std::string back(size_t(bytes), '\0');
      port_str_wide_to_utf8(wide.c_str(), -1, back.data(), bytes);
      back.pop_back();
      if (back != value) return fail("the text is not valid UTF-8");
      if (wide.find(u'\0') != std::u16string::npos) return fail("the text holds a NUL");
      if (!out->strings.emplace(id, wide).second) return fail("the text id is given twice");
    } else if (keyword == "bitmap" || keyword == "mask") {
      picture pic;
      std::string error;
      if (!read_png(folder_of(path) + value, &pic, &error)) return fail(error.c_str());
      if (!out->bitmaps.emplace(id, bitmap_record(pic, keyword == "mask")).second)
        return fail("the bitmap id is given twice");
    } else {
      return fail("unknown entry");
    }
  }
  return true;
}

bool parse_id(const char **p, uint32_t *id) {
  const char *s = *p;
  uint64_t value = 0;
  if (!(*s >= '0' && *s <= '9')) return false;
  while (*s >= '0' && *s <= '9') {
    value = value * 10 + uint64_t(*s++ - '0');
    if (value > 0xFFFFFFFFull) return false;
  }
  if (*s != ' ' && *s != '\t') return false;
  while (*s == ' ' || *s == '\t') s++;
  *id = uint32_t(value);
  *p = s;
  return true;
}

// A double-quoted value with the escapes \r \n \t \\ \"; *end is what follows
// it, trailing blanks skipped.
bool parse_quoted(const char *p, std::string *out, const char **end) {
  if (*p != '"') return false;
  p++;
  out->clear();
  while (*p && *p != '"') {
    if (*p == '\\') {
      p++;
      switch (*p) {
        case 'r': *out += '\r'; break;
        case 'n': *out += '\n'; break;
        case 't': *out += '\t'; break;
        case '\\': *out += '\\'; break;
        case '"': *out += '"'; break;
        default: return false;
      }
      p++;
    } else {
      *out += *p++;
    }
  }
  if (*p != '"') return false;
  p++;
  while (*p == ' ' || *p == '\t') p++;
  *end = p;
  return true;
}

bool read_png(const std::string &path, picture *out, std::string *error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    *error = path + ": " + image.message;
    return false;
  }
  if (image.width < 1 || image.height < 1 || image.width > uint32_t(TBITMAP_MAX_SIDE) ||
      image.height > uint32_t(TBITMAP_MAX_SIDE)) {
    png_image_free(&image);
    *error = path + ": the picture is too large";
    return false;
  }
  out->has_alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_RGBA;
  out->rgba.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, out->rgba.data(), 0, nullptr)) {
    *error = path + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  out->width = image.width;
  out->height = image.height;
  return true;
}

// A stored tbitmap, the info block, the palette (8 bits) and the rows, bottom
// row first.
std::vector<uint8_t> bitmap_record(const picture &pic, bool mask) {
  uint32_t bpp = mask ? 8 : 24;
  uint32_t stride = ((bpp * pic.width + 31) >> 5) * 4;
  uint32_t image_size = stride * pic.height;
  std::vector<uint8_t> record;
  put_u32(&record, 0);  // reserved
  put_u32(&record, 0);  // info pointer, set by whoever loads the record
  put_u32(&record, stride);
  uint32_t masks[3] = {0xFF0000, 0xFF00, 0xFF}, shifts[3] = {16, 8, 0};
  for (int i = 0; i < 3; i++) put_u32(&record, mask ? 0 : masks[i]);
  for (int i = 0; i < 3; i++) put_u32(&record, mask ? 0 : shifts[i]);
  for (int i = 0; i < 3; i++) put_u32(&record, 0);  // losses
  put_u32(&record, 0);                                // pixel pointer

  put_u32(&record, 40);
  put_u32(&record, pic.width);
  put_u32(&record, pic.height);  // positive: bottom-up rows
  put_u16(&record, 1);
  put_u16(&record, bpp);
  put_u32(&record, 0);  // compression
  put_u32(&record, image_size);
  for (int i = 0; i < 4; i++) put_u32(&record, 0);  // resolution, colours used, important
  put_u32(&record, 0);                              // the rest of the 44-byte block
  if (mask)
    for (uint32_t i = 0; i < 256; i++) put_u32(&record, i | i << 8 | i << 16);

  size_t rows_at = record.size();
  record.resize(rows_at + image_size, 0);
  for (uint32_t y = 0; y < pic.height; y++) {
    uint8_t *row = record.data() + rows_at + size_t(pic.height - 1 - y) * stride;
    const uint8_t *src = pic.rgba.data() + size_t(y) * pic.width * 4;
    for (uint32_t x = 0; x < pic.width; x++, src += 4) {
      if (mask) {
        row[x] = pic.has_alpha ? src[3] : uint8_t((src[0] * 77 + src[1] * 151 + src[2] * 28) >> 8);
      } else {
        row[3 * x] = src[2];
        row[3 * x + 1] = src[1];
        row[3 * x + 2] = src[0];
      }
    }
  }
  return record;
}

std::vector<uint8_t> file_bytes(const pack &contents) {
  std::vector<uint8_t> data;
  std::vector<std::pair<uint32_t, uint32_t>> sections;
  if (!contents.strings.empty()) {
    sections.push_back({TRESOURCE_SECTION_STRINGS, uint32_t(data.size())});
    for (const auto &[id, text] : contents.strings) {
      uint32_t length = uint32_t((text.size() + 1) * 2 + 3) & ~3u;
      put_u32(&data, id);
      put_u32(&data, length);
      size_t at = data.size();
      data.resize(at + length, 0);
      for (size_t i = 0; i < text.size(); i++) {
        data[at + 2 * i] = uint8_t(text[i]);
        data[at + 2 * i + 1] = uint8_t(text[i] >> 8);
      }
    }
  }
  if (!contents.bitmaps.empty()) {
    sections.push_back({TRESOURCE_SECTION_BITMAPS, uint32_t(data.size())});
    for (const auto &[id, record] : contents.bitmaps) {
      put_u32(&data, id);
      put_u32(&data, uint32_t(record.size()));
      data.insert(data.end(), record.begin(), record.end());
    }
  }
  std::vector<uint8_t> bytes;
  put_u32(&bytes, TRESOURCE_MAGIC);
  put_u32(&bytes, TRESOURCE_VERSION);
  put_u32(&bytes, uint32_t(16 + 8 * sections.size()));
  put_u32(&bytes, uint32_t(data.size()));
  for (const auto &[type, offset] : sections) {
    put_u32(&bytes, type);
    put_u32(&bytes, offset);
  }
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

bool write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::string temp = path + ".tmp";
  FILE *file = std::fopen(temp.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = (std::fclose(file) == 0) && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

// Loads the output and looks every entry up through the reader the program uses.
bool verify(const std::string &path, const pack &contents) {
  int units = port_str_utf8_to_wide(path.c_str(), -1, nullptr, 0);
  std::u16string wide(size_t(units), u'\0');
  port_str_utf8_to_wide(path.c_str(), -1, wide.data(), units);
  int id = tresource_load(wide.c_str());
  if (!id) return false;
  bool ok = true;
  for (const auto &[text_id, text] : contents.strings) {
    const char16_t *found = tresource_find_string(int32_t(text_id));
    ok = ok && found && text == found;
  }
  for (const auto &[bitmap_id, record] : contents.bitmaps) {
    const tbitmap *bitmap = tresource_get_bitmap(int32_t(bitmap_id));
    ok = ok && bitmap && std::memcmp(bitmap->_pixels, record.data() + record.size() - tbitmap_get_image_size(bitmap),
                                     tbitmap_get_image_size(bitmap)) == 0;
  }
  tresource_unload(id);
  return ok;
}

std::string folder_of(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void put_u16(std::vector<uint8_t> *out, uint32_t value) {
  out->push_back(uint8_t(value));
  out->push_back(uint8_t(value >> 8));
}

void put_u32(std::vector<uint8_t> *out, uint32_t value) {
  for (int i = 0; i < 4; i++) out->push_back(uint8_t(value >> (8 * i)));
}

}  // namespace
