// picgen: draws the toolkit's and the program's pictures at build time.
//
//   picgen <folder> [<help pictures folder>]
//
// For each screen class (resvga: normal and large screens, resqvga: small
// ones) it writes into <folder>/<class>/ one RGBA PNG per picture and two
// manifest fragments for the packer: gui_pictures.manifest (included by the
// class's gui_tmbm.manifest) and brivo_pictures.manifest (included by its
// brivo.manifest). A picture becomes bitmap N (its colour) and mask N + 1 (its
// alpha), bitmap N alone, or mask N alone, as its table row says (picgen.h).
//
// With a second folder it also writes the help pages' pictures there: the
// tool and command icons as 24-bit BMP files named after the picture
// ("pencil.bmp"), drawn at their resvga size over the pages' white, shared
// by every language.
//
// The output is the same bytes on every run: nothing here reads the clock,
// the environment or a font, and the PNGs are written without time stamps.
// Any failure exits 1.
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

#include "picgen.h"

namespace {

bool draw_to_png(const picture &pic, picture_size size, const std::string &path);
bool draw_to_bmp(const picture &pic, picture_size size, const std::string &path);
bool write_help_pictures(const picture_table *tables, size_t count, const std::string &folder);
std::string manifest_lines(const picture &pic, const std::string &file_name);
bool write_text(const std::string &path, const std::string &text);
bool make_folder(const std::string &path);

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: picgen <folder> [<help pictures folder>]\n");
    return 1;
  }
  const std::string root = argv[1];
  if (!make_folder(root)) return 1;
  const char *header =
      "# Drawn by tools/picgen at build time: bitmap N is a picture's colour, mask N+1 its alpha; a picture\n"
      "# packed alone is a bitmap without mask or a mask alone.\n";
  const picture_table tables[] = {picgen_gui_pictures(), picgen_tool_pictures(), picgen_panel_pictures()};
  for (const char *screen : {"resvga", "resqvga"}) {
    bool small = std::string(screen) == "resqvga";
    std::string folder = root + "/" + screen;
    if (!make_folder(folder)) return 1;
    std::string fragments[2] = {header, header};
    for (const picture_table &table : tables)
      for (size_t i = 0; i < table.count; i++) {
        const picture &pic = table.rows[i];
        std::string name = std::to_string(pic.id) + "_" + pic.name + ".png";
        if (!draw_to_png(pic, small ? pic.size.qvga : pic.size.vga, folder + "/" + name)) return 1;
        fragments[pic.file] += manifest_lines(pic, name);
      }
    if (!write_text(folder + "/gui_pictures.manifest", fragments[k_gui]) ||
        !write_text(folder + "/brivo_pictures.manifest", fragments[k_brivo]))
      return 1;
  }
  if (argc == 3 && !write_help_pictures(tables, std::size(tables), argv[2])) return 1;
  return 0;
}

namespace {

// Draws the picture and writes it as 8-bit RGBA with straight alpha.
bool draw_to_png(const picture &pic, picture_size size, const std::string &path) {
  int width = size.width, height = size.height;
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t *cr = cairo_create(surface);
  pic.draw(cr, width, height);
  bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_flush(surface);

  std::vector<uint8_t> rgba(size_t(width) * height * 4);
  const uint8_t *rows = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  bool covered = true;
  for (int y = 0; y < height && ok; y++)
    for (int x = 0; x < width; x++) {
      uint32_t argb;
      std::memcpy(&argb, rows + size_t(y) * stride + size_t(x) * 4, 4);
      uint32_t alpha = argb >> 24;
      covered = covered && alpha == 255;
      uint8_t *out = &rgba[(size_t(y) * width + x) * 4];
      for (int c = 0; c < 3; c++) {
        uint32_t premultiplied = (argb >> (16 - 8 * c)) & 0xFF;
        out[c] = alpha ? uint8_t(std::min(255u, (premultiplied * 255 + alpha / 2) / alpha)) : 0;
      }
      out[3] = uint8_t(alpha);
    }
  cairo_surface_destroy(surface);
  if (!ok) {
    std::fprintf(stderr, "picgen: cannot draw %s\n", pic.name);
    return false;
  }
  // A bitmap without mask is drawn as it is: every pixel must be painted.
  if (pic.kind == k_colour_only && !covered) {
    std::fprintf(stderr, "picgen: %s leaves pixels transparent but has no mask\n", pic.name);
    return false;
  }

  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = uint32_t(width);
  image.height = uint32_t(height);
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
    std::fprintf(stderr, "picgen: cannot write %s: %s\n", path.c_str(), image.message);
    return false;
  }
  return true;
}

// The pictures the help pages show: the tools (one of each shape family),
// the tool bar's commands and the command panel's.
constexpr int k_help_pictures[] = {
    15001, 15168, 15041, 15039, 15063, 15005, 15015, 15023, 15027, 15031, 15035, 15055, 15059, 15061, 15051,
    15043, 15047, 15049, 15053, 15057, 15065, 15067, 15100, 15102, 15104, 15106, 15108, 15110, 15112, 15114,
    15116, 15120, 15122, 15124, 15126, 15128, 15170};
// The widest picture a page may hold on the smallest screen.
constexpr int k_help_max_width = 180;

bool write_help_pictures(const picture_table *tables, size_t count, const std::string &folder) {
  if (!make_folder(folder)) return false;
  // A picture the pages no longer show must not stay behind from an earlier run.
  if (DIR *dir = opendir(folder.c_str())) {
    while (dirent *entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bmp") == 0) std::remove((folder + "/" + name).c_str());
    }
    closedir(dir);
  }
  for (int id : k_help_pictures) {
    const picture *found = nullptr;
    for (size_t t = 0; t < count && !found; t++)
      for (size_t i = 0; i < tables[t].count && !found; i++)
        if (tables[t].rows[i].id == id) found = &tables[t].rows[i];
    if (!found || found->size.vga.width > k_help_max_width) {
      std::fprintf(stderr, "picgen: no help picture %d\n", id);
      return false;
    }
    if (!draw_to_bmp(*found, found->size.vga, folder + "/" + found->name + ".bmp")) return false;
  }
  return true;
}

// Draws the picture over white and writes it as a bottom-up 24-bit BMP.
bool draw_to_bmp(const picture &pic, picture_size size, const std::string &path) {
  int width = size.width, height = size.height;
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t *cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  pic.draw(cr, width, height);
  bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  uint32_t row_bytes = (uint32_t(width) * 3 + 3) & ~3u;
  uint32_t image_bytes = row_bytes * uint32_t(height);
  std::vector<uint8_t> file(54 + image_bytes, 0);
  auto put16 = [&](size_t at, uint32_t v) { file[at] = uint8_t(v), file[at + 1] = uint8_t(v >> 8); };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, uint32_t(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  put16(26, 1);
  put16(28, 24);
  put32(34, image_bytes);
  const uint8_t *rows = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      uint32_t rgb;
      std::memcpy(&rgb, rows + size_t(y) * stride + size_t(x) * 4, 4);
      uint8_t *out = &file[54 + size_t(height - 1 - y) * row_bytes + size_t(x) * 3];
      out[0] = uint8_t(rgb), out[1] = uint8_t(rgb >> 8), out[2] = uint8_t(rgb >> 16);
    }
  cairo_surface_destroy(surface);
  if (!ok) {
    std::fprintf(stderr, "picgen: cannot draw %s\n", pic.name);
    return false;
  }
  FILE *out = std::fopen(path.c_str(), "wb");
  ok = out && std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (out) ok = std::fclose(out) == 0 && ok;
  if (!ok) std::fprintf(stderr, "picgen: cannot write %s\n", path.c_str());
  return ok;
}

std::string manifest_lines(const picture &pic, const std::string &file_name) {
  std::string quoted = " \"" + file_name + "\"\n";
  switch (pic.kind) {
    case k_colour_and_mask:
      return "bitmap " + std::to_string(pic.id) + quoted + "mask " + std::to_string(pic.id + 1) + quoted;
    case k_colour_only:
      return "bitmap " + std::to_string(pic.id) + quoted;
    case k_mask_only:
      return "mask " + std::to_string(pic.id) + quoted;
  }
  return std::string();
}

bool write_text(const std::string &path, const std::string &text) {
  FILE *file = std::fopen(path.c_str(), "wb");
  bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file) ok = std::fclose(file) == 0 && ok;
  if (!ok) std::fprintf(stderr, "picgen: cannot write %s\n", path.c_str());
  return ok;
}

bool make_folder(const std::string &path) {
  struct stat info;
  if (mkdir(path.c_str(), 0755) == 0 || (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) return true;
  std::fprintf(stderr, "picgen: cannot make the folder %s\n", path.c_str());
  return false;
}

}  // namespace
