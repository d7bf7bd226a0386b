// picgen: the toolkit's pictures (gui.tmbm): the message icons, the
// drop-down arrow and the file list's icons. Each is square; its function
// takes the side in pixels.
#include <algorithm>
#include <cmath>

#include "picgen.h"

namespace {

void draw_error(cairo_t *cr, int side, int);
void draw_information(cairo_t *cr, int side, int);
void draw_done(cairo_t *cr, int side, int);
void draw_question(cairo_t *cr, int side, int);
void draw_stop(cairo_t *cr, int side, int);
void draw_warning(cairo_t *cr, int side, int);
void draw_drop_down(cairo_t *cr, int side, int);
void draw_file(cairo_t *cr, int side, int);
void draw_folder(cairo_t *cr, int side, int);
void draw_up(cairo_t *cr, int side, int);
void draw_drive(cairo_t *cr, int side, int);
void draw_back(cairo_t *cr, int side, int);
void draw_forward(cairo_t *cr, int side, int);
void draw_new_folder(cairo_t *cr, int side, int);

constexpr class_sizes k_message = square(40, 24);
constexpr class_sizes k_list = square(24, 14);
constexpr class_sizes k_arrow = square(16, 10);

const picture k_pictures[] = {
    {2, "error", k_gui, k_colour_and_mask, k_message, draw_error},
    {4, "information", k_gui, k_colour_and_mask, k_message, draw_information},
    {6, "done", k_gui, k_colour_and_mask, k_message, draw_done},
    {8, "question", k_gui, k_colour_and_mask, k_message, draw_question},
    {10, "stop", k_gui, k_colour_and_mask, k_message, draw_stop},
    {12, "warning", k_gui, k_colour_and_mask, k_message, draw_warning},
    {14, "drop_down", k_gui, k_colour_and_mask, k_arrow, draw_drop_down},
    {16, "file", k_gui, k_colour_and_mask, k_list, draw_file},
    {18, "folder", k_gui, k_colour_and_mask, k_list, draw_folder},
    {20, "up", k_gui, k_colour_and_mask, k_list, draw_up},
    {22, "drive", k_gui, k_colour_and_mask, k_list, draw_drive},
    {24, "back", k_gui, k_colour_and_mask, k_list, draw_back},
    {26, "forward", k_gui, k_colour_and_mask, k_list, draw_forward},
    {28, "new_folder", k_gui, k_colour_and_mask, k_list, draw_new_folder},
};

}  // namespace

picture_table picgen_gui_pictures() { return {k_pictures, std::size(k_pictures)}; }

namespace {

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

void draw_error(cairo_t *cr, int side, int) {
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

void draw_information(cairo_t *cr, int side, int) { information_icon(cr, side); }

void draw_done(cairo_t *cr, int side, int) {
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

void draw_question(cairo_t *cr, int side, int) { question_icon(cr, side); }

void draw_stop(cairo_t *cr, int side, int) {
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

void draw_warning(cairo_t *cr, int side, int) {
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

void draw_drop_down(cairo_t *cr, int side, int) {
  // A solid triangle pointing down, its top edge on a whole pixel row.
  double centre = side / 2.0, half = std::round(side * 0.3), top = std::round(side * 0.38);
  set(cr, k_ink);
  polygon_path(cr, {{centre - half, top}, {centre + half, top}, {centre, top + half}});
  cairo_fill(cr);
}

void draw_file(cairo_t *cr, int side, int) {
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

void draw_folder(cairo_t *cr, int side, int) { folder_shape(cr, side); }

void draw_up(cairo_t *cr, int side, int) { block_arrow(cr, side, 3); }

void draw_drive(cairo_t *cr, int side, int) {
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

void draw_back(cairo_t *cr, int side, int) { block_arrow(cr, side, 2); }

void draw_forward(cairo_t *cr, int side, int) { block_arrow(cr, side, 0); }

void draw_new_folder(cairo_t *cr, int side, int) {
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

}  // namespace
