// picgen: the pictures of the program's panels, bars and dialogs
// (brivo.tres): the command panel's icons and tab, the New menu, the alpha
// panel's tab and thumb, the zoom bar's buttons, the dialogs' icons and
// placeholders and the upload animation.
//
// Sizes: icons fit the buttons and boxes of the normal screens on resvga and
// of the small screens on resqvga. A picture that covers a whole surface (a
// tab, a surface mask, a zoom button, the slider's thumb) is drawn at the
// large screens' size on resvga, since resvga serves both: a normal screen
// uses a copy scaled to its smaller surface.
#include <algorithm>
#include <cmath>

#include "picgen.h"

namespace {

constexpr double k_grid = 48;  // design units across a command icon
constexpr double k_line = 2;   // outline: 2 pixels on resvga, 1 on resqvga

// The command panel's buttons show their icon in the top 80 %: 78 x 70 on
// normal screens, 46 x 35 on small ones.
constexpr class_sizes k_command = square(48, 24);
// Tab of the command panel, long side x short side (large 110 x 45, small 50 x 20).
constexpr class_sizes k_tab_across = {{110, 45}, {50, 20}};
constexpr class_sizes k_tab_upright = {{45, 110}, {20, 50}};
// Tab of the alpha panel (large 40 x 110 in portrait, small 15 x 40).
constexpr class_sizes k_side_tab_upright = {{40, 110}, {15, 40}};
constexpr class_sizes k_side_tab_across = {{110, 40}, {40, 15}};
// The zoom bar's square buttons (large 60, small 25).
constexpr class_sizes k_zoom_button = square(60, 25);
// The upload animation: four arrows in a row.
constexpr class_sizes k_upload_frame = {{120, 30}, {60, 15}};

enum direction { k_up, k_right, k_down, k_left };

void draw_new(cairo_t *cr, int side, int);
void draw_save(cairo_t *cr, int side, int);
void draw_save_as(cairo_t *cr, int side, int);
void draw_my_paints(cairo_t *cr, int side, int);
void draw_send(cairo_t *cr, int side, int);
void draw_share(cairo_t *cr, int side, int);
void draw_about(cairo_t *cr, int side, int) { information_icon(cr, side); }
void draw_quit(cairo_t *cr, int side, int);
void draw_help(cairo_t *cr, int side, int) { question_icon(cr, side); }
void draw_upload(cairo_t *cr, int side, int);
void draw_my_gallery(cairo_t *cr, int side, int);

void tab_chevron(cairo_t *cr, int width, int height, direction towards);
void draw_tab_portrait_closed(cairo_t *cr, int width, int height) { tab_chevron(cr, width, height, k_up); }
void draw_tab_landscape_closed(cairo_t *cr, int width, int height) { tab_chevron(cr, width, height, k_left); }
void draw_tab_portrait_open(cairo_t *cr, int width, int height) { tab_chevron(cr, width, height, k_down); }
void draw_tab_landscape_open(cairo_t *cr, int width, int height) { tab_chevron(cr, width, height, k_right); }
void tab_shape(cairo_t *cr, int width, int height, direction rounded);
void draw_tab_portrait_surface(cairo_t *cr, int width, int height) { tab_shape(cr, width, height, k_up); }
void draw_tab_landscape_surface(cairo_t *cr, int width, int height) { tab_shape(cr, width, height, k_left); }

void draw_open_picture(cairo_t *cr, int side, int);
void draw_camera(cairo_t *cr, int side, int);
void draw_screenshot(cairo_t *cr, int side, int);

void zoom_button(cairo_t *cr, int side, int sign, bool pressed);
void draw_zoom_out_pressed(cairo_t *cr, int side, int) { zoom_button(cr, side, -1, true); }
void draw_zoom_out(cairo_t *cr, int side, int) { zoom_button(cr, side, -1, false); }
void draw_zoom_in_pressed(cairo_t *cr, int side, int) { zoom_button(cr, side, 1, true); }
void draw_zoom_in(cairo_t *cr, int side, int) { zoom_button(cr, side, 1, false); }
void draw_zoom_menu_pressed(cairo_t *cr, int side, int) { zoom_button(cr, side, 0, true); }
void draw_zoom_menu(cairo_t *cr, int side, int) { zoom_button(cr, side, 0, false); }
void draw_rounded_square(cairo_t *cr, int side, int);

void opacity_dots(cairo_t *cr, int width, int height);
void draw_side_tab_landscape_surface(cairo_t *cr, int width, int height) { tab_shape(cr, width, height, k_up); }
void draw_side_tab_portrait_surface(cairo_t *cr, int width, int height) { tab_shape(cr, width, height, k_right); }

void draw_size(cairo_t *cr, int side, int);
void draw_preview_placeholder(cairo_t *cr, int side, int);
void draw_paint_placeholder(cairo_t *cr, int side, int);
void draw_product(cairo_t *cr, int side, int);

void draw_upload_frame(cairo_t *cr, int width, int height);
void upload_mask(cairo_t *cr, int width, int lit);
void draw_upload_mask_1(cairo_t *cr, int width, int) { upload_mask(cr, width, 1); }
void draw_upload_mask_2(cairo_t *cr, int width, int) { upload_mask(cr, width, 2); }
void draw_upload_mask_3(cairo_t *cr, int width, int) { upload_mask(cr, width, 3); }
void draw_upload_mask_4(cairo_t *cr, int width, int) { upload_mask(cr, width, 4); }

const picture k_pictures[] = {
    // The zoom bar: button faces without masks, one surface mask for all.
    {15077, "zoom_out_pressed", k_brivo, k_colour_only, k_zoom_button, draw_zoom_out_pressed},
    {15078, "zoom_out", k_brivo, k_colour_only, k_zoom_button, draw_zoom_out},
    {15079, "zoom_button_surface", k_brivo, k_mask_only, k_zoom_button, draw_rounded_square},
    {15080, "zoom_in_pressed", k_brivo, k_colour_only, k_zoom_button, draw_zoom_in_pressed},
    {15081, "zoom_in", k_brivo, k_colour_only, k_zoom_button, draw_zoom_in},
    {15082, "zoom_menu_pressed", k_brivo, k_colour_only, k_zoom_button, draw_zoom_menu_pressed},
    {15083, "zoom_menu", k_brivo, k_colour_only, k_zoom_button, draw_zoom_menu},
    // The command panel's tab, whole-tab pictures with the chevron in the middle.
    {15090, "tab_portrait_closed", k_brivo, k_colour_and_mask, k_tab_across, draw_tab_portrait_closed},
    {15092, "tab_landscape_closed", k_brivo, k_colour_and_mask, k_tab_upright, draw_tab_landscape_closed},
    {15094, "tab_portrait_open", k_brivo, k_colour_and_mask, k_tab_across, draw_tab_portrait_open},
    {15096, "tab_landscape_open", k_brivo, k_colour_and_mask, k_tab_upright, draw_tab_landscape_open},
    {15098, "tab_portrait_surface", k_brivo, k_mask_only, k_tab_across, draw_tab_portrait_surface},
    {15099, "tab_landscape_surface", k_brivo, k_mask_only, k_tab_upright, draw_tab_landscape_surface},
    // The command panel's buttons.
    {15100, "new", k_brivo, k_colour_and_mask, k_command, draw_new},
    {15102, "save", k_brivo, k_colour_and_mask, k_command, draw_save},
    {15104, "save_as", k_brivo, k_colour_and_mask, k_command, draw_save_as},
    {15106, "my_paints", k_brivo, k_colour_and_mask, k_command, draw_my_paints},
    {15108, "send", k_brivo, k_colour_and_mask, k_command, draw_send},
    {15110, "share", k_brivo, k_colour_and_mask, k_command, draw_share},
    {15112, "about", k_brivo, k_colour_and_mask, k_command, draw_about},
    {15114, "quit", k_brivo, k_colour_and_mask, k_command, draw_quit},
    {15116, "help", k_brivo, k_colour_and_mask, k_command, draw_help},
    // Also the upload dialogs' icon (45 x 45 where it is missing).
    {15120, "upload", k_brivo, k_colour_and_mask, k_command, draw_upload},
    // The New menu: a 55-pixel icon column on normal screens, 35 on small ones.
    {15122, "empty_paint", k_brivo, k_colour_and_mask, k_command, draw_new},
    {15124, "open_picture", k_brivo, k_colour_and_mask, k_command, draw_open_picture},
    {15126, "take_picture", k_brivo, k_colour_and_mask, k_command, draw_camera},
    {15128, "take_screenshot", k_brivo, k_colour_and_mask, k_command, draw_screenshot},
    // The New Empty Paint dialog's icon between the width and height boxes
    // (25 pixels high on normal screens, 16 on small ones).
    {15130, "size", k_brivo, k_colour_and_mask, square(24, 12), draw_size},
    // Shown in the preview square (192 or 96 pixels) until the picture loads.
    {15134, "preview_placeholder", k_brivo, k_colour_only, square(96, 48), draw_preview_placeholder},
    // The camera and screenshot waiting dialogs' icons.
    {15135, "camera", k_brivo, k_colour_and_mask, k_command, draw_camera},
    {15137, "screenshot", k_brivo, k_colour_and_mask, k_command, draw_screenshot},
    // A My Paints button until its thumbnail (at most 100 x 100) loads; the
    // cells are 110 x 130 on every screen.
    {15139, "paint_placeholder", k_brivo, k_colour_and_mask, square(96, 96), draw_paint_placeholder},
    // The about dialog's product icon, in a 70-pixel box (35 on small screens).
    {15147, "product", k_brivo, k_colour_and_mask, square(70, 35), draw_product},
    // The alpha panel: the slider's thumb and the tab.
    {15159, "thumb_surface", k_brivo, k_mask_only, square(60, 20), draw_rounded_square},
    {15160, "side_tab_portrait", k_brivo, k_colour_and_mask, k_side_tab_upright, opacity_dots},
    {15162, "side_tab_landscape", k_brivo, k_colour_and_mask, k_side_tab_across, opacity_dots},
    {15164, "side_tab_landscape_surface", k_brivo, k_mask_only, k_side_tab_across, draw_side_tab_landscape_surface},
    {15165, "side_tab_portrait_surface", k_brivo, k_mask_only, k_side_tab_upright, draw_side_tab_portrait_surface},
    {15170, "my_gallery", k_brivo, k_colour_and_mask, k_command, draw_my_gallery},
    // The upload animation: one frame, four masks lighting one more arrow each.
    {15172, "upload_frame", k_brivo, k_colour_only, k_upload_frame, draw_upload_frame},
    {15173, "upload_mask_1", k_brivo, k_mask_only, k_upload_frame, draw_upload_mask_1},
    {15174, "upload_mask_2", k_brivo, k_mask_only, k_upload_frame, draw_upload_mask_2},
    {15175, "upload_mask_3", k_brivo, k_mask_only, k_upload_frame, draw_upload_mask_3},
    {15176, "upload_mask_4", k_brivo, k_mask_only, k_upload_frame, draw_upload_mask_4},
};

}  // namespace

picture_table picgen_panel_pictures() { return {k_pictures, std::size(k_pictures)}; }

namespace {

// ---- the command panel ----

void draw_new(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  page(cr, 6, 2, 36, 44, 10, k_line);
  plus_badge(cr, 35, 35, 8, 3);
}

// A floppy disk on the command grid.
void floppy(cairo_t *cr) {
  polygon_path(cr, {{4, 4}, {38, 4}, {44, 10}, {44, 44}, {4, 44}});
  fill_outlined(cr, k_blue, k_blue_line, k_line);
  rect_path(cr, 12, 4, 34, 18);
  fill_outlined(cr, k_grey, k_grey_line, k_line);
  rect_path(cr, 26, 8, 30, 14);
  set(cr, k_ink);
  cairo_fill(cr);
  rect_path(cr, 10, 26, 38, 44);
  fill_outlined(cr, k_paper, k_grey_line, k_line);
  set(cr, k_grey);
  rect_path(cr, 14, 31, 34, 33);
  rect_path(cr, 14, 36, 28, 38);
  cairo_fill(cr);
}

void draw_save(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  floppy(cr);
}

void draw_save_as(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  cairo_save(cr);
  cairo_scale(cr, 0.75, 0.75);
  floppy(cr);
  cairo_restore(cr);
  cairo_translate(cr, 33, 31);
  cairo_rotate(cr, 3 * M_PI / 4);
  pencil(cr, -17, 17, 10, k_line);
}

void draw_my_paints(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  // The folder's back, a painting standing in it, the front flap.
  polygon_path(cr, {{4, 8}, {18, 8}, {22, 12}, {44, 12}, {44, 42}, {4, 42}});
  fill_outlined(cr, k_amber_dark, k_amber_line, k_line);
  rect_path(cr, 10, 4, 38, 30);
  fill_outlined(cr, k_paper, k_grey_line, k_line);
  const std::pair<double, double> dabs[] = {{17, 12}, {25, 17}, {32, 11}};
  const rgb colours[] = {k_red, k_blue, k_green};
  for (int i = 0; i < 3; i++) {
    cairo_arc(cr, dabs[i].first, dabs[i].second, 4, 0, 2 * M_PI);
    set(cr, colours[i]);
    cairo_fill(cr);
  }
  rect_path(cr, 4, 22, 44, 42);
  fill_outlined(cr, k_amber, k_amber_line, k_line);
}

void draw_send(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  rect_path(cr, 2, 10, 46, 40);
  fill_outlined(cr, k_paper, k_grey_line, k_line);
  cairo_save(cr);
  rect_path(cr, 2, 10, 46, 40);
  cairo_clip(cr);
  set(cr, k_grey_line);
  cairo_set_line_width(cr, 2);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_move_to(cr, 2, 10);
  cairo_line_to(cr, 24, 28);
  cairo_line_to(cr, 46, 10);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void draw_share(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  // A speech bubble with its tail at the bottom left, one outline around both.
  double r = 8;
  cairo_move_to(cr, 4 + r, 6);
  cairo_arc(cr, 44 - r, 6 + r, r, -M_PI / 2, 0);
  cairo_arc(cr, 44 - r, 34 - r, r, 0, M_PI / 2);
  cairo_line_to(cr, 24, 34);
  cairo_line_to(cr, 10, 44);
  cairo_line_to(cr, 14, 34);
  cairo_arc(cr, 4 + r, 34 - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, 4 + r, 6 + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
  fill_outlined(cr, k_green, k_green_line, k_line);
  set(cr, k_white);
  for (double x : {14, 24, 34}) {
    cairo_arc(cr, x, 20, 3, 0, 2 * M_PI);
    cairo_fill(cr);
  }
}

void draw_quit(cairo_t *cr, int side, int) {
  double radius = disc(cr, side, k_red, k_red_line);
  double centre = side / 2.0;
  set(cr, k_white);
  cairo_set_line_width(cr, glyph_width(side));
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_arc(cr, centre, centre, radius * 0.5, -M_PI / 2 + 0.7, 3 * M_PI / 2 - 0.7);
  cairo_stroke(cr);
  cairo_move_to(cr, centre, centre - radius * 0.62);
  cairo_line_to(cr, centre, centre - radius * 0.05);
  cairo_stroke(cr);
}

void draw_upload(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  // A cloud of three lobes on a flat bottom, drawn as one: its parts outlined
  // outwards first, then filled, so only the outer edge keeps the outline.
  auto parts = [cr] {
    cairo_new_sub_path(cr);
    cairo_arc(cr, 13, 31, 8, 0, 2 * M_PI);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 23, 21, 11, 0, 2 * M_PI);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 35, 28, 8, 0, 2 * M_PI);
    rounded_path(cr, 5, 24, 43, 39, 7);
  };
  parts();
  set(cr, k_grey_line);
  cairo_set_line_width(cr, 2 * k_line);
  cairo_stroke(cr);
  parts();
  set(cr, k_white);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_fill(cr);
  // The arrow going up into it.
  polygon_path(cr, {{24, 14}, {36, 28}, {29, 28}, {29, 46}, {19, 46}, {19, 28}, {12, 28}});
  fill_outlined(cr, k_blue, k_blue_line, k_line);
}

void draw_my_gallery(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  rect_path(cr, 14, 2, 46, 28);
  fill_outlined(cr, k_paper, k_grey_line, k_line);
  landscape(cr, 18, 6, 42, 24, k_line);
  rect_path(cr, 2, 16, 36, 46);
  fill_outlined(cr, k_paper, k_grey_line, k_line);
  landscape(cr, 6, 20, 32, 42, k_line);
}

// The chevron across the middle of a tab, pointing where the panel goes.
void tab_chevron(cairo_t *cr, int width, int height, direction towards) {
  double short_side = std::min(width, height);
  double centre_x = width / 2.0, centre_y = height / 2.0;
  double span = std::round(short_side * 0.36), depth = std::round(short_side * 0.18);
  double dx = towards == k_right ? 1 : towards == k_left ? -1 : 0;
  double dy = towards == k_down ? 1 : towards == k_up ? -1 : 0;
  cairo_move_to(cr, centre_x - dx * depth + dy * span, centre_y - dy * depth + dx * span);
  cairo_line_to(cr, centre_x + dx * depth, centre_y + dy * depth);
  cairo_line_to(cr, centre_x - dx * depth - dy * span, centre_y - dy * depth - dx * span);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  bool big = short_side >= 30;
  stroke_outlined(cr, k_white, k_ink, big ? 5 : 2, big ? 2 : 1);
}

// A tab's surface: its whole rectangle, the two corners on the `rounded`
// side rounded (the side away from the panel it sticks out of).
void tab_shape(cairo_t *cr, int width, int height, direction rounded) {
  double radius = std::round(std::min(width, height) * 0.35);
  double w = width, h = height;
  double corner[4] = {0, 0, 0, 0};  // top left, top right, bottom right, bottom left
  if (rounded == k_up) corner[0] = corner[1] = radius;
  if (rounded == k_right) corner[1] = corner[2] = radius;
  if (rounded == k_down) corner[2] = corner[3] = radius;
  if (rounded == k_left) corner[3] = corner[0] = radius;
  cairo_new_sub_path(cr);
  cairo_arc(cr, w - corner[1], corner[1], corner[1], -M_PI / 2, 0);
  cairo_arc(cr, w - corner[2], h - corner[2], corner[2], 0, M_PI / 2);
  cairo_arc(cr, corner[3], h - corner[3], corner[3], M_PI / 2, M_PI);
  cairo_arc(cr, corner[0], corner[0], corner[0], M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
  set(cr, k_ink);
  cairo_fill(cr);
}

// ---- the New menu and the dialogs ----

void draw_open_picture(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  rect_path(cr, 2, 6, 46, 42);
  fill_outlined(cr, k_paper, k_grey_line, k_line);
  landscape(cr, 6, 10, 42, 38, k_line);
}

void draw_camera(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  rounded_path(cr, 14, 8, 28, 16, 2);
  fill_outlined(cr, k_grey_line, k_ink, k_line);
  rounded_path(cr, 2, 14, 46, 42, 4);
  fill_outlined(cr, k_grey_line, k_ink, k_line);
  rect_path(cr, 36, 18, 42, 22);
  set(cr, k_amber);
  cairo_fill(cr);
  cairo_arc(cr, 22, 28, 11, 0, 2 * M_PI);
  fill_outlined(cr, k_paper, k_ink, k_line);
  cairo_arc(cr, 22, 28, 7, 0, 2 * M_PI);
  fill_outlined(cr, k_blue, k_blue_line, k_line);
  cairo_arc(cr, 20, 26, 2, 0, 2 * M_PI);
  set(cr, k_white);
  cairo_fill(cr);
}

void draw_screenshot(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  // A screen on its stand, red capture corners on its picture.
  rect_path(cr, 20, 34, 28, 42);
  fill_outlined(cr, k_grey, k_grey_line, k_line);
  rect_path(cr, 10, 40, 38, 46);
  fill_outlined(cr, k_grey, k_grey_line, k_line);
  rounded_path(cr, 2, 4, 46, 36, 3);
  fill_outlined(cr, k_grey_line, k_ink, k_line);
  landscape(cr, 6, 8, 42, 32, 0);
  set(cr, k_red);
  cairo_set_line_width(cr, 4);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  const std::pair<double, double> corners[] = {{10, 12}, {38, 12}, {38, 28}, {10, 28}};
  for (auto [x, y] : corners) {
    double sx = x < 24 ? 1 : -1, sy = y < 20 ? 1 : -1;
    cairo_move_to(cr, x, y + sy * 7);
    cairo_line_to(cr, x, y);
    cairo_line_to(cr, x + sx * 7, y);
  }
  cairo_stroke(cr);
}

void draw_size(cairo_t *cr, int side, int) {
  design(cr, side, 24);
  set(cr, k_ink);
  cairo_set_line_width(cr, 4);
  cairo_move_to(cr, 6, 6);
  cairo_line_to(cr, 18, 18);
  cairo_move_to(cr, 18, 6);
  cairo_line_to(cr, 6, 18);
  cairo_stroke(cr);
}

void draw_preview_placeholder(cairo_t *cr, int side, int) {
  design(cr, side, 96);
  rect_path(cr, 0, 0, 96, 96);
  fill_outlined(cr, k_paper, k_grey, 2);
  landscape(cr, 20, 26, 76, 70, k_line);
}

void draw_paint_placeholder(cairo_t *cr, int side, int) {
  design(cr, side, 96);
  page(cr, 16, 4, 80, 92, 18, k_line);
  landscape(cr, 26, 34, 70, 74, k_line);
}

void draw_product(cairo_t *cr, int side, int) {
  design(cr, side, 70);
  // A painter's palette with its thumb hole, dabs of paint and a brush.
  cairo_save(cr);
  cairo_translate(cr, 32, 38);
  cairo_scale(cr, 30, 24);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 42, 50, 5, 0, 2 * M_PI);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  fill_outlined(cr, k_amber, k_amber_line, k_line);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  const std::pair<double, double> dabs[] = {{16, 32}, {26, 22}, {40, 22}, {20, 48}};
  const rgb colours[] = {k_red, k_blue, k_green, k_white};
  const rgb lines[] = {k_red_line, k_blue_line, k_green_line, k_grey_line};
  for (int i = 0; i < 4; i++) {
    cairo_arc(cr, dabs[i].first, dabs[i].second, 6, 0, 2 * M_PI);
    fill_outlined(cr, colours[i], lines[i], k_line);
  }
  cairo_translate(cr, 54, 24);
  cairo_rotate(cr, 2 * M_PI / 3);  // the bristles to the bottom left
  rounded_path(cr, -26, -3, -6, 3, 3);
  fill_outlined(cr, k_red, k_red_line, k_line);
  rect_path(cr, -8, -4, 2, 4);
  fill_outlined(cr, k_grey, k_grey_line, k_line);
  cairo_move_to(cr, 2, -4);
  cairo_curve_to(cr, 10, -4, 14, -1, 18, 0);
  cairo_curve_to(cr, 14, 1, 10, 4, 2, 4);
  cairo_close_path(cr);
  fill_outlined(cr, k_blue, k_ink, k_line);
}

// ---- the zoom bar and the alpha panel ----

// A face of the zoom bar's buttons: the buttons' grey gradient (reversed while
// pressed) with a magnifier, or the menu's lines.
void zoom_button(cairo_t *cr, int side, int sign, bool pressed) {
  cairo_pattern_t *gradient = cairo_pattern_create_linear(0, 0, 0, side);
  rgb top = pressed ? k_panel_dark : k_panel_light, bottom = pressed ? k_panel_light : k_panel_dark;
  cairo_pattern_add_color_stop_rgb(gradient, 0, top.r, top.g, top.b);
  cairo_pattern_add_color_stop_rgb(gradient, 1, bottom.r, bottom.g, bottom.b);
  cairo_set_source(cr, gradient);
  cairo_paint(cr);
  cairo_pattern_destroy(gradient);
  double glyph = side * 0.7, inset = (side - glyph) / 2;
  cairo_translate(cr, inset, inset);
  cairo_scale(cr, glyph / 40, glyph / 40);
  if (sign) {
    magnifier(cr, sign);
    return;
  }
  set(cr, k_ink);
  for (double y : {8, 18, 28}) rect_path(cr, 4, y, 36, y + 5);
  cairo_fill(cr);
}

void draw_rounded_square(cairo_t *cr, int side, int) {
  rounded_path(cr, 0, 0, side, side, std::round(side * 0.2));
  set(cr, k_ink);
  cairo_fill(cr);
}

// Three dots along the tab's long side, opaque at the slider's opaque end
// (its top or left) and fading towards the other.
void opacity_dots(cairo_t *cr, int width, int height) {
  bool upright = height > width;
  double short_side = std::min(width, height);
  double radius = short_side * 0.2, step = short_side * 0.55;
  for (int i = 0; i < 3; i++) {
    double along = (i - 1) * step;
    double x = width / 2.0 + (upright ? 0 : along), y = height / 2.0 + (upright ? along : 0);
    cairo_arc(cr, x, y, radius, 0, 2 * M_PI);
    cairo_set_source_rgba(cr, k_ink.r, k_ink.g, k_ink.b, 1.0 - 0.35 * i);
    cairo_fill(cr);
  }
}

// ---- the upload animation ----

// The four arrows of the animation, each in a square cell of the frame's
// height, on a 30-unit grid per cell.
void upload_arrows(cairo_t *cr, int width, const double alphas[4], bool outlined) {
  design(cr, width, 120);
  for (int i = 0; i < 4; i++) {
    cairo_save(cr);
    cairo_translate(cr, 30 * i, 0);
    polygon_path(cr, {{15, 2}, {27, 14}, {20, 14}, {20, 28}, {10, 28}, {10, 14}, {3, 14}});
    if (outlined) {
      fill_outlined(cr, k_blue, k_blue_line, k_line);
    } else {
      cairo_set_source_rgba(cr, 0, 0, 0, alphas[i]);
      cairo_fill(cr);
    }
    cairo_restore(cr);
  }
}

void draw_upload_frame(cairo_t *cr, int width, int) {
  set(cr, k_blue_line);
  cairo_paint(cr);
  const double opaque[4] = {1, 1, 1, 1};
  upload_arrows(cr, width, opaque, true);
}

// Mask `lit` shows the first `lit` arrows whole and the others faint.
void upload_mask(cairo_t *cr, int width, int lit) {
  double alphas[4];
  for (int i = 0; i < 4; i++) alphas[i] = i < lit ? 1.0 : 0.3;
  upload_arrows(cr, width, alphas, false);
}

}  // namespace
