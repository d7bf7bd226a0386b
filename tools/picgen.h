// picgen: the picture tables and the drawing helpers they share.
//
// A picture is one row of a table: its id, where it is packed, what it packs
// (colour and mask, colour alone or mask alone), its size per screen class and
// the function that draws it. Each drawing function draws in pixel units on a
// transparent surface of the picture's size; the mask is what it leaves in the
// alpha, so a picture packed as a mask alone only needs its shape.
//
// Every picture keeps one flat style: the fixed palette below, a darker
// outline of whole pixels along each shape's edge, edges anti-aliased in the
// alpha only. Most of the program's pictures are drawn on a design grid
// (`design`) whose small-screen size is exactly half the normal one, so that
// coordinates and outlines on even grid units stay on whole pixels in both.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <utility>
#include <vector>

struct rgb {
  double r, g, b;
};

constexpr rgb picgen_rgb(unsigned value) {
  return {((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0};
}

// The palette: a fill and the darker outline that goes with it.
constexpr rgb k_white = {1, 1, 1};
constexpr rgb k_ink = picgen_rgb(0x2B3038);
constexpr rgb k_red = picgen_rgb(0xD83A30);
constexpr rgb k_red_line = picgen_rgb(0x9E221B);
constexpr rgb k_blue = picgen_rgb(0x2F6FD0);
constexpr rgb k_blue_line = picgen_rgb(0x1B478E);
constexpr rgb k_sky = picgen_rgb(0xA9CCF2);
constexpr rgb k_green = picgen_rgb(0x2E9E4F);
constexpr rgb k_green_line = picgen_rgb(0x1C6B33);
constexpr rgb k_amber = picgen_rgb(0xF4B42A);
constexpr rgb k_amber_dark = picgen_rgb(0xDB9616);
constexpr rgb k_amber_line = picgen_rgb(0xA86B08);
constexpr rgb k_paper = picgen_rgb(0xF6F7F9);
constexpr rgb k_paper_fold = picgen_rgb(0xD5DAE0);
constexpr rgb k_grey = picgen_rgb(0xC6CCD4);
constexpr rgb k_grey_line = picgen_rgb(0x5A6470);
// The panels' own greys (their gradients run between these two).
constexpr rgb k_panel_light = picgen_rgb(0xC8C8C8);
constexpr rgb k_panel_dark = picgen_rgb(0x808080);

// Where a picture is packed.
enum picture_file { k_gui, k_brivo };

// What a picture packs: bitmap N (its colour) and mask N + 1 (its alpha);
// bitmap N alone (drawn opaque over its whole rectangle); or mask N alone.
enum picture_kind { k_colour_and_mask, k_colour_only, k_mask_only };

struct picture_size {
  int width, height;
};

// Size per screen class: resvga serves the normal and the large screens,
// resqvga the small ones.
struct class_sizes {
  picture_size vga, qvga;
};

constexpr class_sizes square(int vga, int qvga) { return {{vga, vga}, {qvga, qvga}}; }

using draw_fn = void (*)(cairo_t *cr, int width, int height);

struct picture {
  int id;
  const char *name;
  picture_file file;
  picture_kind kind;
  class_sizes size;
  draw_fn draw;
};

struct picture_table {
  const picture *rows;
  size_t count;
};

// The tables, one per source file.
picture_table picgen_gui_pictures();    // the toolkit's (picgen_gui.cpp)
picture_table picgen_tool_pictures();   // the tool bar's (picgen_tools.cpp)
picture_table picgen_panel_pictures();  // panels, bars and dialogs (picgen_panels.cpp)

// ---- drawing helpers (picgen_draw.cpp), all in user units ----

void set(cairo_t *cr, rgb colour);

// Outline width in pixels of a picture whose smaller side is `side`: 1 below
// 30 pixels, 2 from there up.
double outline_of(int side);

// Scales the user units so that `units` of them span `side` pixels.
void design(cairo_t *cr, int side, double units);

// Fills the current path with `fill` and draws an outline of `width` inside
// it, so the outer edge is the path's own and straight edges on whole pixels
// stay crisp. The path is consumed.
void fill_outlined(cairo_t *cr, rgb fill, rgb line, double width);

// Only the outline of fill_outlined: a band of `width` inside the path.
void inner_stroke(cairo_t *cr, rgb line, double width);

// Strokes the current path twice, `line` wide and then `width` wide on top, so
// the stroke carries an outline of (line - width) / 2. The path is consumed.
void stroke_outlined(cairo_t *cr, rgb fill, rgb line, double width, double outline);

void rect_path(cairo_t *cr, double x1, double y1, double x2, double y2);
void rounded_path(cairo_t *cr, double x1, double y1, double x2, double y2, double radius);
void polygon_path(cairo_t *cr, const std::vector<std::pair<double, double>> &points);

// A stroke of the glyphs inside the message icons: even widths, so a stroke
// centred on a whole pixel covers whole pixels.
double glyph_width(int side);

// The disc behind the message icons, filling a square of `side` pixels;
// returns its radius.
double disc(cairo_t *cr, int side, rgb fill, rgb line);

// A glyph's dot, a little wider than the glyph's strokes.
void glyph_dot(cairo_t *cr, double centre_x, double top, double width);

// The folder of the file list, on a square of `side` pixels.
void folder_shape(cairo_t *cr, int side);

// The glyphs of the information and question icons over their disc.
void information_icon(cairo_t *cr, int side);
void question_icon(cairo_t *cr, int side);

// On the design grid (user units):
// A sheet of paper with its top-right corner folded.
void page(cairo_t *cr, double x1, double y1, double x2, double y2, double fold, double line);
// A framed landscape (sky, hill, sun) filling the rectangle.
void landscape(cairo_t *cr, double x1, double y1, double x2, double y2, double line);
// A green plus with a white rim, centred on (x, y); `arm` is half its span.
void plus_badge(cairo_t *cr, double x, double y, double arm, double bar);
// The pencil lying along the x axis from `from` (its end) to `to` (its tip),
// `thick` across, centred on y = 0.
void pencil(cairo_t *cr, double from, double to, double thick, double line);
// A magnifier on a 40-unit grid with a plus (sign 1), a minus (-1) or
// nothing (0) in its glass.
void magnifier(cairo_t *cr, int sign);
