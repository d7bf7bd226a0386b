// picgen: the drawing helpers that the picture tables share.
#include <algorithm>
#include <cmath>

#include "picgen.h"

void set(cairo_t *cr, rgb colour) { cairo_set_source_rgb(cr, colour.r, colour.g, colour.b); }

double outline_of(int side) { return side >= 30 ? 2 : 1; }

void design(cairo_t *cr, int side, double units) { cairo_scale(cr, side / units, side / units); }

void fill_outlined(cairo_t *cr, rgb fill, rgb line, double width) {
  cairo_save(cr);
  set(cr, fill);
  cairo_fill_preserve(cr);
  cairo_restore(cr);
  inner_stroke(cr, line, width);
}

void inner_stroke(cairo_t *cr, rgb line, double width) {
  cairo_save(cr);
  cairo_clip_preserve(cr);
  set(cr, line);
  cairo_set_line_width(cr, 2 * width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void stroke_outlined(cairo_t *cr, rgb fill, rgb line, double width, double outline) {
  cairo_save(cr);
  set(cr, line);
  cairo_set_line_width(cr, width + 2 * outline);
  cairo_stroke_preserve(cr);
  set(cr, fill);
  cairo_set_line_width(cr, width);
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

double glyph_width(int side) { return 2 * std::max(1.0, std::round(side * 0.06)); }

double disc(cairo_t *cr, int side, rgb fill, rgb line) {
  double centre = side / 2.0, radius = side / 2.0 - 1;
  cairo_arc(cr, centre, centre, radius, 0, 2 * M_PI);
  fill_outlined(cr, fill, line, outline_of(side));
  return radius;
}

void glyph_dot(cairo_t *cr, double centre_x, double top, double width) {
  cairo_arc(cr, centre_x, top + width / 2, width * 0.6, 0, 2 * M_PI);
  cairo_fill(cr);
}

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

void information_icon(cairo_t *cr, int side) {
  double radius = disc(cr, side, k_blue, k_blue_line);
  double centre = side / 2.0, width = glyph_width(side);
  set(cr, k_white);
  glyph_dot(cr, centre, std::round(centre - radius * 0.6), width);
  rect_path(cr, centre - width / 2, std::round(centre - radius * 0.18), centre + width / 2,
            std::round(centre + radius * 0.6));
  cairo_fill(cr);
}

void question_icon(cairo_t *cr, int side) {
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

void page(cairo_t *cr, double x1, double y1, double x2, double y2, double fold, double line) {
  polygon_path(cr, {{x1, y1}, {x2 - fold, y1}, {x2, y1 + fold}, {x2, y2}, {x1, y2}});
  fill_outlined(cr, k_paper, k_grey_line, line);
  polygon_path(cr, {{x2 - fold, y1}, {x2, y1 + fold}, {x2 - fold, y1 + fold}});
  fill_outlined(cr, k_paper_fold, k_grey_line, line);
}

void landscape(cairo_t *cr, double x1, double y1, double x2, double y2, double line) {
  double width = x2 - x1, height = y2 - y1;
  rect_path(cr, x1, y1, x2, y2);
  set(cr, k_sky);
  cairo_fill(cr);
  cairo_save(cr);
  rect_path(cr, x1, y1, x2, y2);
  cairo_clip(cr);
  cairo_arc(cr, x1 + width * 0.7, y1 + height * 0.3, height * 0.14, 0, 2 * M_PI);
  set(cr, k_amber);
  cairo_fill(cr);
  cairo_move_to(cr, x1, y2);
  cairo_line_to(cr, x1, y1 + height * 0.62);
  cairo_line_to(cr, x1 + width * 0.32, y1 + height * 0.4);
  cairo_line_to(cr, x1 + width * 0.62, y1 + height * 0.72);
  cairo_line_to(cr, x1 + width * 0.78, y1 + height * 0.6);
  cairo_line_to(cr, x2, y1 + height * 0.76);
  cairo_line_to(cr, x2, y2);
  cairo_close_path(cr);
  set(cr, k_green);
  cairo_fill(cr);
  cairo_restore(cr);
  rect_path(cr, x1, y1, x2, y2);
  inner_stroke(cr, k_grey_line, line);
}

void plus_badge(cairo_t *cr, double x, double y, double arm, double bar) {
  auto plus = [&](double half_bar, double half_arm) {
    rect_path(cr, x - half_arm, y - half_bar, x + half_arm, y + half_bar);
    rect_path(cr, x - half_bar, y - half_arm, x + half_bar, y + half_arm);
    cairo_fill(cr);
  };
  double rim = bar;
  set(cr, k_white);
  plus(bar + rim, arm + rim);
  set(cr, k_green);
  plus(bar, arm);
}

void pencil(cairo_t *cr, double from, double to, double thick, double line) {
  double half = thick / 2, cone = thick * 1.1, cap = thick * 0.55;
  double wood = to - cone;
  // The eraser end, the painted body, then the sharpened wood and its lead.
  rect_path(cr, from, -half, from + cap, half);
  fill_outlined(cr, k_red, k_red_line, line);
  rect_path(cr, from + cap - line, -half, wood, half);
  fill_outlined(cr, k_amber, k_amber_line, line);
  polygon_path(cr, {{wood, -half}, {to, 0}, {wood, half}});
  fill_outlined(cr, k_paper_fold, k_amber_line, line);
  double lead = cone * 0.4;
  polygon_path(cr, {{to - lead, -half * 0.4}, {to, 0}, {to - lead, half * 0.4}});
  set(cr, k_ink);
  cairo_fill(cr);
}

void magnifier(cairo_t *cr, int sign) {
  set(cr, k_ink);
  cairo_set_line_width(cr, 6);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, 26, 26);
  cairo_line_to(cr, 35, 35);
  cairo_stroke(cr);
  cairo_arc(cr, 17, 17, 14, 0, 2 * M_PI);
  fill_outlined(cr, k_white, k_ink, 4);
  if (sign) rect_path(cr, 10, 15, 24, 19);
  if (sign > 0) rect_path(cr, 15, 10, 19, 24);
  set(cr, k_blue);
  cairo_fill(cr);
}
