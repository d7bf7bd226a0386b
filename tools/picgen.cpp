// picgen: draws the toolkit's and the program's pictures at build time.
//
//   picgen <folder>
//
// For each screen class (resvga: normal and large screens, resqvga: small
// ones) it writes into <folder>/<class>/ one RGBA PNG per picture and two
// manifest fragments for the packer: gui_pictures.manifest (included by the
// class's gui_tmbm.manifest) and brivo_pictures.manifest (included by its
// brivo.manifest). Each picture becomes bitmap N (its colour) and mask N + 1
// (its alpha).
//
// The pictures share one flat style: a few fixed colours, a darker outline of
// whole pixels along each shape's edge, edges anti-aliased in the alpha only. A
// picture is one drawing function of the table below, given its side in
// pixels; it draws in pixel units on a square transparent surface.
//
// The output is the same bytes on every run: nothing here reads the clock,
// the environment or a font, and the PNGs are written without time stamps.
// Any failure exits 1.
#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

struct rgb {
  double r, g, b;
};

// The palette: a fill and the darker outline that goes with it.
constexpr rgb k_white = {1, 1, 1};
constexpr rgb k_ink = {0x2B / 255.0, 0x30 / 255.0, 0x38 / 255.0};
constexpr rgb k_red = {0xD8 / 255.0, 0x3A / 255.0, 0x30 / 255.0};
constexpr rgb k_red_line = {0x9E / 255.0, 0x22 / 255.0, 0x1B / 255.0};
constexpr rgb k_blue = {0x2F / 255.0, 0x6F / 255.0, 0xD0 / 255.0};
constexpr rgb k_blue_line = {0x1B / 255.0, 0x47 / 255.0, 0x8E / 255.0};
constexpr rgb k_green = {0x2E / 255.0, 0x9E / 255.0, 0x4F / 255.0};
constexpr rgb k_green_line = {0x1C / 255.0, 0x6B / 255.0, 0x33 / 255.0};
constexpr rgb k_amber = {0xF4 / 255.0, 0xB4 / 255.0, 0x2A / 255.0};
constexpr rgb k_amber_dark = {0xDB / 255.0, 0x96 / 255.0, 0x16 / 255.0};
constexpr rgb k_amber_line = {0xA8 / 255.0, 0x6B / 255.0, 0x08 / 255.0};
constexpr rgb k_paper = {0xF6 / 255.0, 0xF7 / 255.0, 0xF9 / 255.0};
constexpr rgb k_paper_fold = {0xD5 / 255.0, 0xDA / 255.0, 0xE0 / 255.0};
constexpr rgb k_grey = {0xC6 / 255.0, 0xCC / 255.0, 0xD4 / 255.0};
constexpr rgb k_grey_line = {0x5A / 255.0, 0x64 / 255.0, 0x70 / 255.0};

// Where a picture is packed.
enum picture_file { k_gui, k_brivo };

// Side in pixels per screen class.
struct sides {
  int vga, qvga;
};
constexpr sides k_message_side = {40, 24};
constexpr sides k_list_side = {24, 14};
constexpr sides k_arrow_side = {16, 10};

using draw_fn = void (*)(cairo_t *cr, int side);

struct picture {
  int id;  // of the bitmap; the mask is id + 1
  const char *name;
  picture_file file;
  sides side;
  draw_fn draw;
};

void draw_error(cairo_t *cr, int side);
void draw_information(cairo_t *cr, int side);
void draw_done(cairo_t *cr, int side);
void draw_question(cairo_t *cr, int side);
void draw_stop(cairo_t *cr, int side);
void draw_warning(cairo_t *cr, int side);
void draw_drop_down(cairo_t *cr, int side);
void draw_file(cairo_t *cr, int side);
void draw_folder(cairo_t *cr, int side);
void draw_up(cairo_t *cr, int side);
void draw_drive(cairo_t *cr, int side);
void draw_back(cairo_t *cr, int side);
void draw_forward(cairo_t *cr, int side);
void draw_new_folder(cairo_t *cr, int side);

bool draw_to_png(const picture &pic, int side, const std::string &path);
bool write_text(const std::string &path, const std::string &text);
bool make_folder(const std::string &path);

// One row per picture; the program's own pictures (ids 15000 up) are rows
// packed into brivo.tres.
const picture k_pictures[] = {
    {2, "error", k_gui, k_message_side, draw_error},
    {4, "information", k_gui, k_message_side, draw_information},
    {6, "done", k_gui, k_message_side, draw_done},
    {8, "question", k_gui, k_message_side, draw_question},
    {10, "stop", k_gui, k_message_side, draw_stop},
    {12, "warning", k_gui, k_message_side, draw_warning},
    {14, "drop_down", k_gui, k_arrow_side, draw_drop_down},
    {16, "file", k_gui, k_list_side, draw_file},
    {18, "folder", k_gui, k_list_side, draw_folder},
    {20, "up", k_gui, k_list_side, draw_up},
    {22, "drive", k_gui, k_list_side, draw_drive},
    {24, "back", k_gui, k_list_side, draw_back},
    {26, "forward", k_gui, k_list_side, draw_forward},
    {28, "new_folder", k_gui, k_list_side, draw_new_folder},
};

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: picgen <folder>\n");
    return 1;
  }
  const std::string root = argv[1];
  if (!make_folder(root)) return 1;
  const char *header = "# Drawn by tools/picgen at build time: bitmap N is a picture's colour, mask N+1 its alpha.\n";
  for (const char *screen : {"resvga", "resqvga"}) {
    std::string folder = root + "/" + screen;
    if (!make_folder(folder)) return 1;
    std::string fragments[2] = {header, header};
    for (const picture &pic : k_pictures) {
      int side = std::string(screen) == "resvga" ? pic.side.vga : pic.side.qvga;
      std::string name = std::to_string(pic.id) + "_" + pic.name + ".png";
      if (!draw_to_png(pic, side, folder + "/" + name)) return 1;
      fragments[pic.file] += "bitmap " + std::to_string(pic.id) + " \"" + name + "\"\n";
      fragments[pic.file] += "mask " + std::to_string(pic.id + 1) + " \"" + name + "\"\n";
    }
    if (!write_text(folder + "/gui_pictures.manifest", fragments[k_gui]) ||
        !write_text(folder + "/brivo_pictures.manifest", fragments[k_brivo]))
      return 1;
  }
  return 0;
}

namespace {

// ---- drawing helpers, all in pixel units ----

void set(cairo_t *cr, rgb colour) { cairo_set_source_rgb(cr, colour.r, colour.g, colour.b); }

// Outline width: 1 pixel on the small pictures, 2 from 30 pixels up.
double outline_of(int side) { return side >= 30 ? 2 : 1; }

// Fills the current path with `fill` and draws an outline of `width` pixels
// inside it, so the outer edge is the path's own and straight edges on whole
// pixels stay crisp. The path is consumed.
void fill_outlined(cairo_t *cr, rgb fill, rgb line, double width) {
  cairo_save(cr);
  set(cr, fill);
  cairo_fill_preserve(cr);
  cairo_clip_preserve(cr);
  set(cr, line);
  cairo_set_line_width(cr, 2 * width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void rect_path(cairo_t *cr, double x1, double y1, double x2, double y2) { cairo_rectangle(cr, x1, y1, x2 - x1, y2 - y1); }

void rounded_path(cairo_t *cr, double x1, double y1, double x2, double y2, double radius) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x2 - radius, y1 + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x2 - radius, y2 - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x1 + radius, y2 - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x1 + radius, y1 + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void polygon_path(cairo_t *cr, const std::vector<std::pair<double, double>> &points) {
  cairo_move_to(cr, points[0].first, points[0].second);
  for (size_t i = 1; i < points.size(); i++) cairo_line_to(cr, points[i].first, points[i].second);
  cairo_close_path(cr);
}

// A stroke of the glyphs inside the message icons: even widths, so a stroke
// centred on a whole pixel covers whole pixels.
double glyph_width(int side) { return 2 * std::max(1.0, std::round(side * 0.06)); }

// The disc behind four of the message icons; returns its radius.
double disc(cairo_t *cr, int side, rgb fill, rgb line) {
  double centre = side / 2.0, radius = side / 2.0 - 1;
  cairo_arc(cr, centre, centre, radius, 0, 2 * M_PI);
  fill_outlined(cr, fill, line, outline_of(side));
  return radius;
}

// A glyph's dot, a little wider than the glyph's strokes.
void glyph_dot(cairo_t *cr, double centre_x, double top, double width) {
  cairo_arc(cr, centre_x, top + width / 2, width * 0.6, 0, 2 * M_PI);
  cairo_fill(cr);
}

// The folder of the file list, also under the new-folder badge.
void folder_shape(cairo_t *cr, int side) {
  double line = outline_of(side);
  double left = std::round(side * 0.08), right = side - left;
  double tab_top = std::round(side * 0.17), top = std::round(side * 0.27), bottom = std::round(side * 0.85);
  double tab_right = std::round(side * 0.45);
  // Back: the body with its tab, a shade darker.
  cairo_move_to(cr, left, tab_top);
  cairo_line_to(cr, tab_right, tab_top);
  cairo_line_to(cr, tab_right + (top - tab_top), top);
  cairo_line_to(cr, right, top);
  cairo_line_to(cr, right, bottom);
  cairo_line_to(cr, left, bottom);
  cairo_close_path(cr);
  fill_outlined(cr, k_amber_dark, k_amber_line, line);
  // Front flap.
  double flap = top + std::max(2.0, std::round(side * 0.1));
  rect_path(cr, left, flap, right, bottom);
  fill_outlined(cr, k_amber, k_amber_line, line);
}

// A block arrow pointing right across the picture, turned by `quarter_turns`
// quarter turns clockwise about the centre.
void block_arrow(cairo_t *cr, int side, int quarter_turns) {
  double centre = side / 2.0;
  cairo_save(cr);
  cairo_translate(cr, centre, centre);
  cairo_rotate(cr, quarter_turns * M_PI / 2);
  cairo_translate(cr, -centre, -centre);
  double shaft = std::round(side * 0.14), head = std::round(side * 0.38);
  double tail = std::round(side * 0.12), neck = std::round(side * 0.5), tip = side - tail;
  polygon_path(cr, {{tail, centre - shaft},
                    {neck, centre - shaft},
                    {neck, centre - head},
                    {tip, centre},
                    {neck, centre + head},
                    {neck, centre + shaft},
                    {tail, centre + shaft}});
  fill_outlined(cr, k_blue, k_blue_line, outline_of(side));
  cairo_restore(cr);
}

// ---- the pictures ----

void draw_error(cairo_t *cr, int side) {
  double radius = disc(cr, side, k_red, k_red_line);
  double centre = side / 2.0, arm = std::round(radius * 0.42);
  set(cr, k_white);
  cairo_set_line_width(cr, glyph_width(side));
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, centre - arm, centre - arm);
  cairo_line_to(cr, centre + arm, centre + arm);
  cairo_move_to(cr, centre + arm, centre - arm);
  cairo_line_to(cr, centre - arm, centre + arm);
  cairo_stroke(cr);
}

void draw_information(cairo_t *cr, int side) {
  double radius = disc(cr, side, k_blue, k_blue_line);
  double centre = side / 2.0, width = glyph_width(side);
  set(cr, k_white);
  glyph_dot(cr, centre, std::round(centre - radius * 0.6), width);
  rect_path(cr, centre - width / 2, std::round(centre - radius * 0.18), centre + width / 2,
            std::round(centre + radius * 0.6));
  cairo_fill(cr);
}

void draw_done(cairo_t *cr, int side) {
  double radius = disc(cr, side, k_green, k_green_line);
  double centre = side / 2.0;
  set(cr, k_white);
  cairo_set_line_width(cr, glyph_width(side));
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_move_to(cr, centre - radius * 0.48, centre + radius * 0.02);
  cairo_line_to(cr, centre - radius * 0.14, centre + radius * 0.38);
  cairo_line_to(cr, centre + radius * 0.5, centre - radius * 0.34);
  cairo_stroke(cr);
}

void draw_question(cairo_t *cr, int side) {
  double radius = disc(cr, side, k_blue, k_blue_line);
  double centre = side / 2.0, width = glyph_width(side);
  double bowl = radius * 0.3, bowl_y = centre - radius * 0.28;
  set(cr, k_white);
  cairo_set_line_width(cr, width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_arc(cr, centre, bowl_y, bowl, M_PI * 1.05, M_PI * 2.35);
  cairo_line_to(cr, centre, bowl_y + bowl + radius * 0.12);
  cairo_line_to(cr, centre, centre + radius * 0.2);
  cairo_stroke(cr);
  glyph_dot(cr, centre, std::round(centre + radius * 0.42), width);
}

void draw_stop(cairo_t *cr, int side) {
  // A regular octagon whose flat sides lie on whole pixels.
  double centre = side / 2.0, flat = side / 2.0 - 1;
  double corner = flat * std::tan(M_PI / 8);
  polygon_path(cr, {{centre - corner, centre - flat},
                    {centre + corner, centre - flat},
                    {centre + flat, centre - corner},
                    {centre + flat, centre + corner},
                    {centre + corner, centre + flat},
                    {centre - corner, centre + flat},
                    {centre - flat, centre + corner},
                    {centre - flat, centre - corner}});
  fill_outlined(cr, k_red, k_red_line, outline_of(side));
  double bar = glyph_width(side) / 2 + std::max(1.0, std::round(side * 0.03)), reach = std::round(flat * 0.6);
  set(cr, k_white);
  rect_path(cr, centre - reach, centre - bar, centre + reach, centre + bar);
  cairo_fill(cr);
}

void draw_warning(cairo_t *cr, int side) {
  double centre = side / 2.0, top = 1, bottom = side - std::round(side * 0.08);
  double half = side / 2.0 - 1;
  double round = std::max(1.0, std::round(side * 0.06));
  // The triangle's corners rounded by a stroke of the same colour around it.
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  polygon_path(cr, {{centre, top + round}, {centre + half - round, bottom - round}, {centre - half + round, bottom - round}});
  cairo_save(cr);
  set(cr, k_amber_line);
  cairo_set_line_width(cr, 2 * round);
  cairo_stroke_preserve(cr);
  double line = outline_of(side);
  set(cr, k_amber);
  cairo_set_line_width(cr, 2 * (round - line));
  if (round > line) cairo_stroke_preserve(cr);
  cairo_fill(cr);
  cairo_restore(cr);
  double width = glyph_width(side);
  set(cr, k_ink);
  rect_path(cr, centre - width / 2, std::round(side * 0.34), centre + width / 2, std::round(side * 0.64));
  cairo_fill(cr);
  glyph_dot(cr, centre, std::round(side * 0.71), width);
}

void draw_drop_down(cairo_t *cr, int side) {
  // A solid triangle pointing down, its top edge on a whole pixel row.
  double centre = side / 2.0, half = std::round(side * 0.3), top = std::round(side * 0.38);
  set(cr, k_ink);
  polygon_path(cr, {{centre - half, top}, {centre + half, top}, {centre, top + half}});
  cairo_fill(cr);
}

void draw_file(cairo_t *cr, int side) {
  double line = outline_of(side);
  double left = std::round(side * 0.18), right = side - left;
  double top = std::round(side * 0.06), bottom = side - top;
  double fold = std::round(side * 0.28);
  polygon_path(cr, {{left, top}, {right - fold, top}, {right, top + fold}, {right, bottom}, {left, bottom}});
  fill_outlined(cr, k_paper, k_grey_line, line);
  polygon_path(cr, {{right - fold, top}, {right, top + fold}, {right - fold, top + fold}});
  fill_outlined(cr, k_paper_fold, k_grey_line, line);
  if (side < 20) return;
  // Lines of text on the larger page.
  set(cr, k_grey);
  for (int i = 0; i < 3; i++) {
    double y = std::round(side * (0.48 + 0.14 * i));
    rect_path(cr, left + 3, y, right - 3 - (i == 2 ? 3 : 0), y + 1);
    cairo_fill(cr);
  }
}

void draw_folder(cairo_t *cr, int side) { folder_shape(cr, side); }

void draw_up(cairo_t *cr, int side) { block_arrow(cr, side, 3); }

void draw_drive(cairo_t *cr, int side) {
  double line = outline_of(side);
  double left = std::round(side * 0.06), right = side - left;
  double top = std::round(side * 0.3), bottom = side - std::round(side * 0.26);
  rounded_path(cr, left, top, right, bottom, std::max(1.5, std::round(side * 0.1)));
  fill_outlined(cr, k_grey, k_grey_line, line);
  // The slot and the light.
  double middle = std::round((top + bottom) / 2);
  double light = 2 * std::max(1.0, std::round(side * 0.07));  // even: centred on whole pixels
  set(cr, k_grey_line);
  rect_path(cr, left + 2 * line + 1, middle - 1, right - light - 4 * line, middle + 1);
  cairo_fill(cr);
  set(cr, k_green);
  rect_path(cr, right - light - 2 * line, middle - light / 2, right - 2 * line, middle + light / 2);
  cairo_fill(cr);
}

void draw_back(cairo_t *cr, int side) { block_arrow(cr, side, 2); }

void draw_forward(cairo_t *cr, int side) { block_arrow(cr, side, 0); }

void draw_new_folder(cairo_t *cr, int side) {
  folder_shape(cr, side);
  // A green plus with a white rim in the top right corner.
  double bar = side >= 20 ? 2 : 1, arm = side >= 20 ? 5 : 3;
  double centre_x = side - arm - 1, centre_y = arm + 1;
  auto plus = [&](double half_bar, double half_arm) {
    rect_path(cr, centre_x - half_arm, centre_y - half_bar, centre_x + half_arm, centre_y + half_bar);
    rect_path(cr, centre_x - half_bar, centre_y - half_arm, centre_x + half_bar, centre_y + half_arm);
    cairo_fill(cr);
  };
  set(cr, k_white);
  plus(bar + 1, arm + 1);
  set(cr, k_green);
  plus(bar, arm);
}

// ---- output ----

// Draws the picture and writes it as 8-bit RGBA with straight alpha.
bool draw_to_png(const picture &pic, int side, const std::string &path) {
  cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side);
  cairo_t *cr = cairo_create(surface);
  pic.draw(cr, side);
  bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_flush(surface);

  std::vector<uint8_t> rgba(size_t(side) * side * 4);
  const uint8_t *rows = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < side && ok; y++)
    for (int x = 0; x < side; x++) {
      uint32_t argb;
      std::memcpy(&argb, rows + size_t(y) * stride + size_t(x) * 4, 4);
      uint32_t alpha = argb >> 24;
      uint8_t *out = &rgba[(size_t(y) * side + x) * 4];
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

  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = uint32_t(side);
  image.height = uint32_t(side);
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
    std::fprintf(stderr, "picgen: cannot write %s: %s\n", path.c_str(), image.message);
    return false;
  }
  return true;
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
