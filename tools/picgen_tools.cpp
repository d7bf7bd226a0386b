// picgen: the tool bar's pictures (brivo.tres): the tool and command icons,
// the variant menu's radio mark, the family marker and the check mark.
//
// The icons fit the tool bar's buttons (50 pixels on normal screens, 25 on
// small ones, 65 on large ones) and the variant menu's 40-pixel icon column:
// 40 pixels on resvga, 20 on resqvga. They are drawn on a 40-unit grid.
#include <cmath>

#include "picgen.h"

namespace {

constexpr double k_grid = 40;  // design units across an icon
constexpr double k_line = 2;   // outline: 2 pixels on resvga, 1 on resqvga
constexpr class_sizes k_icon = square(40, 20);

enum shape { k_rectangle, k_round_rectangle, k_ellipse, k_circle, k_triangle, k_rhombus, k_pentagon, k_pentagram, k_heart };

void tool_shape(cairo_t *cr, int side, shape kind, bool filled);

void draw_pencil(cairo_t *cr, int side, int);
void draw_spray(cairo_t *cr, int side, int);
void draw_rectangle_outline(cairo_t *cr, int side, int) { tool_shape(cr, side, k_rectangle, false); }
void draw_filled_rectangle(cairo_t *cr, int side, int) { tool_shape(cr, side, k_rectangle, true); }
void draw_round_rectangle_outline(cairo_t *cr, int side, int) { tool_shape(cr, side, k_round_rectangle, false); }
void draw_filled_round_rectangle(cairo_t *cr, int side, int) { tool_shape(cr, side, k_round_rectangle, true); }
void draw_circle_outline(cairo_t *cr, int side, int) { tool_shape(cr, side, k_circle, false); }
void draw_filled_circle(cairo_t *cr, int side, int) { tool_shape(cr, side, k_circle, true); }
void draw_ellipse_outline(cairo_t *cr, int side, int) { tool_shape(cr, side, k_ellipse, false); }
void draw_filled_ellipse(cairo_t *cr, int side, int) { tool_shape(cr, side, k_ellipse, true); }
void draw_pentagon_outline(cairo_t *cr, int side, int) { tool_shape(cr, side, k_pentagon, false); }
void draw_filled_pentagon(cairo_t *cr, int side, int) { tool_shape(cr, side, k_pentagon, true); }
void draw_triangle_outline(cairo_t *cr, int side, int) { tool_shape(cr, side, k_triangle, false); }
void draw_filled_triangle(cairo_t *cr, int side, int) { tool_shape(cr, side, k_triangle, true); }
void draw_rhombus_outline(cairo_t *cr, int side, int) { tool_shape(cr, side, k_rhombus, false); }
void draw_filled_rhombus(cairo_t *cr, int side, int) { tool_shape(cr, side, k_rhombus, true); }
void draw_pentagram_outline(cairo_t *cr, int side, int) { tool_shape(cr, side, k_pentagram, false); }
void draw_filled_pentagram(cairo_t *cr, int side, int) { tool_shape(cr, side, k_pentagram, true); }
void draw_heart_outline(cairo_t *cr, int side, int) { tool_shape(cr, side, k_heart, false); }
void draw_filled_heart(cairo_t *cr, int side, int) { tool_shape(cr, side, k_heart, true); }
void draw_line(cairo_t *cr, int side, int);
void draw_eraser(cairo_t *cr, int side, int);
void draw_clear(cairo_t *cr, int side, int);
void draw_undo(cairo_t *cr, int side, int);
void draw_redo(cairo_t *cr, int side, int);
void draw_pan(cairo_t *cr, int side, int);
void draw_line_width(cairo_t *cr, int side, int);
void draw_text(cairo_t *cr, int side, int);
void draw_zoom(cairo_t *cr, int side, int);
void draw_picker(cairo_t *cr, int side, int);
void draw_bucket(cairo_t *cr, int side, int);
void draw_curve(cairo_t *cr, int side, int);
void draw_insert_picture(cairo_t *cr, int side, int);
void draw_resize_canvas(cairo_t *cr, int side, int);
void draw_check(cairo_t *cr, int side, int);
void draw_radio(cairo_t *cr, int side, int);
void draw_family_marker(cairo_t *cr, int side, int);

const picture k_pictures[] = {
    {15001, "pencil", k_brivo, k_colour_and_mask, k_icon, draw_pencil},
    {15003, "rectangle_outline", k_brivo, k_colour_and_mask, k_icon, draw_rectangle_outline},
    {15005, "filled_rectangle", k_brivo, k_colour_and_mask, k_icon, draw_filled_rectangle},
    {15007, "round_rectangle_outline", k_brivo, k_colour_and_mask, k_icon, draw_round_rectangle_outline},
    {15009, "filled_round_rectangle", k_brivo, k_colour_and_mask, k_icon, draw_filled_round_rectangle},
    {15011, "circle_outline", k_brivo, k_colour_and_mask, k_icon, draw_circle_outline},
    {15013, "filled_circle", k_brivo, k_colour_and_mask, k_icon, draw_filled_circle},
    {15015, "ellipse_outline", k_brivo, k_colour_and_mask, k_icon, draw_ellipse_outline},
    {15017, "filled_ellipse", k_brivo, k_colour_and_mask, k_icon, draw_filled_ellipse},
    {15019, "pentagon_outline", k_brivo, k_colour_and_mask, k_icon, draw_pentagon_outline},
    {15021, "filled_pentagon", k_brivo, k_colour_and_mask, k_icon, draw_filled_pentagon},
    {15023, "triangle_outline", k_brivo, k_colour_and_mask, k_icon, draw_triangle_outline},
    {15025, "filled_triangle", k_brivo, k_colour_and_mask, k_icon, draw_filled_triangle},
    {15027, "rhombus_outline", k_brivo, k_colour_and_mask, k_icon, draw_rhombus_outline},
    {15029, "filled_rhombus", k_brivo, k_colour_and_mask, k_icon, draw_filled_rhombus},
    {15031, "pentagram_outline", k_brivo, k_colour_and_mask, k_icon, draw_pentagram_outline},
    {15033, "filled_pentagram", k_brivo, k_colour_and_mask, k_icon, draw_filled_pentagram},
    {15035, "heart_outline", k_brivo, k_colour_and_mask, k_icon, draw_heart_outline},
    {15037, "filled_heart", k_brivo, k_colour_and_mask, k_icon, draw_filled_heart},
    {15039, "line", k_brivo, k_colour_and_mask, k_icon, draw_line},
    {15041, "eraser", k_brivo, k_colour_and_mask, k_icon, draw_eraser},
    {15043, "clear", k_brivo, k_colour_and_mask, k_icon, draw_clear},
    {15047, "undo", k_brivo, k_colour_and_mask, k_icon, draw_undo},
    {15049, "redo", k_brivo, k_colour_and_mask, k_icon, draw_redo},
    {15051, "pan", k_brivo, k_colour_and_mask, k_icon, draw_pan},
    {15053, "line_width", k_brivo, k_colour_and_mask, k_icon, draw_line_width},
    {15055, "text", k_brivo, k_colour_and_mask, k_icon, draw_text},
    {15057, "zoom", k_brivo, k_colour_and_mask, k_icon, draw_zoom},
    {15059, "picker", k_brivo, k_colour_and_mask, k_icon, draw_picker},
    {15061, "bucket", k_brivo, k_colour_and_mask, k_icon, draw_bucket},
    {15063, "curve", k_brivo, k_colour_and_mask, k_icon, draw_curve},
    {15065, "insert_picture", k_brivo, k_colour_and_mask, k_icon, draw_insert_picture},
    {15067, "resize_canvas", k_brivo, k_colour_and_mask, k_icon, draw_resize_canvas},
    // The done bar's button; its mask alone is the menus' check mark, drawn
    // black (a 40-pixel row on normal screens, 20 on small ones).
    {15069, "check", k_brivo, k_colour_and_mask, square(28, 14), draw_check},
    // The variant menu's 20-pixel radio column.
    {15141, "radio", k_brivo, k_colour_and_mask, square(16, 10), draw_radio},
    // In a family button's bottom-right corner, beside the icon.
    {15143, "family_marker", k_brivo, k_colour_and_mask, square(10, 5), draw_family_marker},
    {15168, "spray", k_brivo, k_colour_and_mask, k_icon, draw_spray},
};

}  // namespace

picture_table picgen_tool_pictures() { return {k_pictures, std::size(k_pictures)}; }

namespace {

void shape_path(cairo_t *cr, shape kind) {
  constexpr double c = k_grid / 2;
  switch (kind) {
    case k_rectangle:
      rect_path(cr, 4, 8, 36, 32);
      break;
    case k_round_rectangle:
      rounded_path(cr, 4, 8, 36, 32, 8);
      break;
    case k_ellipse:
      cairo_save(cr);
      cairo_translate(cr, c, c);
      cairo_scale(cr, 16, 12);
      cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
      cairo_restore(cr);
      break;
    case k_circle:
      cairo_arc(cr, c, c, 16, 0, 2 * M_PI);
      break;
    case k_triangle:
      polygon_path(cr, {{c, 4}, {36, 34}, {4, 34}});
      break;
    case k_rhombus:
      polygon_path(cr, {{c, 2}, {37, c}, {c, 38}, {3, c}});
      break;
    case k_pentagon:
    case k_pentagram: {
      // Corners from the top, clockwise; the star takes every other one.
      bool star = kind == k_pentagram;
      double centre_y = star ? 21.5 : 21, radius = star ? 18.5 : 17.5;
      std::vector<std::pair<double, double>> points;
      for (int i = 0; i < 5; i++) {
        int corner = star ? (i * 2) % 5 : i;
        double angle = -M_PI / 2 + corner * 2 * M_PI / 5;
        points.push_back({c + radius * std::cos(angle), centre_y + radius * std::sin(angle)});
      }
      if (star) {
        // The outline of the star: the outer points with the inner corners between them.
        std::vector<std::pair<double, double>> outline;
        double inner = radius * 0.382;
        for (int i = 0; i < 5; i++) {
          double angle = -M_PI / 2 + i * 2 * M_PI / 5;
          outline.push_back({c + radius * std::cos(angle), centre_y + radius * std::sin(angle)});
          angle += M_PI / 5;
          outline.push_back({c + inner * std::cos(angle), centre_y + inner * std::sin(angle)});
        }
        points = outline;
      }
      polygon_path(cr, points);
      break;
    }
    case k_heart: {
      // Two lobes meeting in a cusp at the top, their tangents running down
      // to the point.
      double lobe = 8.5, left = 12.5, right = 27.5, y = 14;
      double cusp = std::atan2(-4, 7.5);
      cairo_move_to(cr, c, 33.5);
      cairo_arc(cr, left, y, lobe, 3 * M_PI / 4, 2 * M_PI + cusp);
      cairo_arc(cr, right, y, lobe, M_PI - cusp, 2 * M_PI + M_PI / 4);
      cairo_close_path(cr);
      break;
    }
  }
}

// An outline tool's icon is the shape's outline alone; a filled one's the
// shape filled with its outline.
void tool_shape(cairo_t *cr, int side, shape kind, bool filled) {
  design(cr, side, k_grid);
  shape_path(cr, kind);
  if (filled)
    fill_outlined(cr, k_blue, k_blue_line, k_line);
  else
    inner_stroke(cr, k_blue_line, 2 * k_line);
}

void draw_pencil(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  cairo_translate(cr, k_grid / 2, k_grid / 2);
  cairo_rotate(cr, 3 * M_PI / 4);  // the tip to the bottom left
  pencil(cr, -19, 19, 10, k_line);
}

void draw_spray(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  // The can, its cap and nozzle.
  rounded_path(cr, 4, 16, 22, 38, 3);
  fill_outlined(cr, k_red, k_red_line, k_line);
  rect_path(cr, 8, 10, 18, 16);
  fill_outlined(cr, k_grey, k_grey_line, k_line);
  rect_path(cr, 16, 10, 22, 14);
  set(cr, k_ink);
  cairo_fill(cr);
  // The spray fanning out to the right.
  const std::pair<double, double> dots[] = {{26, 12}, {28, 6}, {30, 16}, {32, 10}, {34, 4}, {36, 14}, {34, 20}};
  set(cr, k_blue);
  for (auto [x, y] : dots) {
    cairo_arc(cr, x, y, 2, 0, 2 * M_PI);
    cairo_fill(cr);
  }
}

// A handle square at each end of a stroke.
void end_handles(cairo_t *cr, double x1, double y1, double x2, double y2) {
  for (auto [x, y] : {std::pair{x1, y1}, std::pair{x2, y2}}) {
    rect_path(cr, x - 4, y - 4, x + 4, y + 4);
    fill_outlined(cr, k_blue, k_blue_line, k_line);
  }
}

void draw_line(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  set(cr, k_ink);
  cairo_set_line_width(cr, 4);
  cairo_move_to(cr, 8, 32);
  cairo_line_to(cr, 32, 8);
  cairo_stroke(cr);
  end_handles(cr, 8, 32, 32, 8);
}

void draw_curve(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  set(cr, k_ink);
  cairo_set_line_width(cr, 4);
  cairo_move_to(cr, 8, 32);
  cairo_curve_to(cr, 14, 0, 26, 40, 32, 8);
  cairo_stroke(cr);
  end_handles(cr, 8, 32, 32, 8);
}

void draw_eraser(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  // The rubbed trace under it.
  set(cr, k_grey);
  rect_path(cr, 4, 34, 22, 38);
  cairo_fill(cr);
  cairo_translate(cr, 21, 19);
  cairo_rotate(cr, -M_PI / 4);
  // The rubber end towards the bottom left, the sleeve over the rest.
  rect_path(cr, -17, -8, -3, 8);
  fill_outlined(cr, k_paper, k_grey_line, k_line);
  rect_path(cr, -5, -8, 17, 8);
  fill_outlined(cr, k_blue, k_blue_line, k_line);
}

void draw_clear(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  page(cr, 4, 2, 30, 36, 8, k_line);
  cairo_arc(cr, 28, 28, 11, 0, 2 * M_PI);
  fill_outlined(cr, k_red, k_red_line, k_line);
  set(cr, k_white);
  cairo_set_line_width(cr, 4);
  cairo_move_to(cr, 23, 23);
  cairo_line_to(cr, 33, 33);
  cairo_move_to(cr, 33, 23);
  cairo_line_to(cr, 23, 33);
  cairo_stroke(cr);
}

// A band bent round to the right and back, its head pointing left at the top.
void turning_arrow(cairo_t *cr) {
  cairo_move_to(cr, 14, 8);
  cairo_line_to(cr, 22, 8);
  cairo_arc(cr, 22, 22, 14, -M_PI / 2, M_PI / 2);
  cairo_line_to(cr, 10, 36);
  cairo_line_to(cr, 10, 28);
  cairo_line_to(cr, 22, 28);
  cairo_arc_negative(cr, 22, 22, 6, M_PI / 2, -M_PI / 2);
  cairo_line_to(cr, 14, 16);
  cairo_line_to(cr, 14, 24);
  cairo_line_to(cr, 2, 12);
  cairo_line_to(cr, 14, 0);
  cairo_close_path(cr);
  fill_outlined(cr, k_blue, k_blue_line, k_line);
}

void draw_undo(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  cairo_translate(cr, 0, 2);
  turning_arrow(cr);
}

void draw_redo(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  cairo_translate(cr, k_grid, 2);
  cairo_scale(cr, -1, 1);
  turning_arrow(cr);
}

void draw_pan(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  // Four arrows out of the centre: shaft half-width a, head half-width h,
  // head base b and tip t from the centre.
  constexpr double c = k_grid / 2, a = 3, h = 9, b = 10, t = 19;
  std::vector<std::pair<double, double>> points;
  for (int quarter = 0; quarter < 4; quarter++) {
    // One arm pointing up, turned by quarter turns clockwise.
    const std::pair<double, double> arm[] = {{-a, -a}, {-a, -b}, {-h, -b}, {0, -t}, {h, -b}, {a, -b}};
    for (auto [x, y] : arm) {
      double rx = x, ry = y;
      for (int i = 0; i < quarter; i++) {
        double turned = -ry;
        ry = rx;
        rx = turned;
      }
      points.push_back({c + rx, c + ry});
    }
  }
  polygon_path(cr, points);
  fill_outlined(cr, k_blue, k_blue_line, k_line);
}

void draw_line_width(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  set(cr, k_ink);
  rect_path(cr, 4, 6, 36, 8);
  rect_path(cr, 4, 14, 36, 18);
  rect_path(cr, 4, 24, 36, 32);
  cairo_fill(cr);
}

void draw_text(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  // A capital A: the outline of its strokes, the counter left open.
  polygon_path(cr, {{17, 4}, {23, 4}, {36, 36}, {29, 36}, {26, 28}, {14, 28}, {11, 36}, {4, 36}});
  polygon_path(cr, {{16, 22}, {24, 22}, {20, 11}});
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  set(cr, k_ink);
  cairo_fill(cr);
}

void draw_zoom(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  magnifier(cr, 1);
}

void draw_picker(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  cairo_translate(cr, k_grid / 2, k_grid / 2);
  cairo_rotate(cr, 3 * M_PI / 4);  // the tip to the bottom left
  // The glass tube with a little paint in it, the collar and the bulb.
  polygon_path(cr, {{-6, -4}, {9, -4}, {19, 0}, {9, 4}, {-6, 4}});
  fill_outlined(cr, k_paper, k_grey_line, k_line);
  polygon_path(cr, {{4, -2}, {9, -2}, {14, 0}, {9, 2}, {4, 2}});
  set(cr, k_blue);
  cairo_fill(cr);
  rect_path(cr, -10, -7, -5, 7);
  fill_outlined(cr, k_grey, k_ink, k_line);
  rounded_path(cr, -20, -6, -9, 6, 5);
  fill_outlined(cr, k_red, k_red_line, k_line);
}

void draw_bucket(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  // Paint running over the lower rim into a drop.
  set(cr, k_blue_line);
  cairo_arc(cr, 33, 32, 5, 0, 2 * M_PI);
  cairo_fill(cr);
  set(cr, k_blue);
  cairo_arc(cr, 33, 32, 3, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_move_to(cr, 33, 18);
  cairo_line_to(cr, 33, 30);
  stroke_outlined(cr, k_blue, k_blue_line, 4, k_line);
  // The bucket, tipped to the right.
  cairo_save(cr);
  cairo_translate(cr, 17, 24);
  cairo_rotate(cr, 0.35);
  polygon_path(cr, {{-12, -10}, {12, -10}, {9, 12}, {-9, 12}});
  fill_outlined(cr, k_grey, k_grey_line, k_line);
  cairo_save(cr);
  cairo_translate(cr, 0, -10);
  cairo_scale(cr, 12, 4);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  fill_outlined(cr, k_blue, k_blue_line, k_line);
  cairo_arc(cr, 0, -10, 13, M_PI * 1.05, M_PI * 1.95);
  set(cr, k_ink);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void draw_insert_picture(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  landscape(cr, 2, 10, 32, 36, k_line);
  plus_badge(cr, 30, 10, 7, 2);
}

void draw_resize_canvas(cairo_t *cr, int side, int) {
  design(cr, side, k_grid);
  // The new size dashed around the canvas, an arrow pulling its corner out.
  const double dash[] = {4, 2};
  cairo_set_dash(cr, dash, 2, 0);
  set(cr, k_grey_line);
  cairo_set_line_width(cr, 2);
  rect_path(cr, 3, 3, 37, 37);
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  rect_path(cr, 2, 18, 22, 38);
  fill_outlined(cr, k_paper, k_grey_line, k_line);
  set(cr, k_blue);
  cairo_set_line_width(cr, 4);
  cairo_move_to(cr, 14, 26);
  cairo_line_to(cr, 30, 10);
  cairo_stroke(cr);
  polygon_path(cr, {{36, 4}, {36, 18}, {22, 4}});
  cairo_fill(cr);
}

void draw_check(cairo_t *cr, int side, int) {
  design(cr, side, 28);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_move_to(cr, 5, 15);
  cairo_line_to(cr, 11, 21);
  cairo_line_to(cr, 23, 7);
  stroke_outlined(cr, k_green, k_green_line, 4, 2);
}

void draw_radio(cairo_t *cr, int side, int) {
  design(cr, side, 16);
  cairo_arc(cr, 8, 8, 7, 0, 2 * M_PI);
  fill_outlined(cr, k_white, k_ink, 2);
  cairo_arc(cr, 8, 8, 3, 0, 2 * M_PI);
  set(cr, k_ink);
  cairo_fill(cr);
}

void draw_family_marker(cairo_t *cr, int side, int) {
  design(cr, side, 10);
  polygon_path(cr, {{10, 0}, {10, 10}, {0, 10}});
  set(cr, k_ink);
  cairo_fill(cr);
}

}  // namespace
