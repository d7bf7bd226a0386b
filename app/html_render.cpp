// html_render: a help page as labels, link labels, separators and images.
#include "html_render.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app_common.h"
#include "ekhtml.h"
#include "port_log.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tfile.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tlinklabel.h"
#include "tseperator.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "wins_graphics.h"

namespace {

constexpr int32_t k_canvas_width = 176;
constexpr int32_t k_canvas_height = 144;
constexpr int32_t k_width_inset = 19;  // client width less this is the content width
constexpr int32_t k_line_gap = 3;      // added to the font height for a line
constexpr int32_t k_paragraph_gap = 6;
constexpr int32_t k_rule_gap = 5;
constexpr int32_t k_image_gap = 5;
// FONT SIZE 1-7 in points; a larger SIZE is taken as points.
constexpr int32_t k_font_sizes[7] = {8, 9, 10, 12, 14, 18, 24};
constexpr tcolor k_link_color = tcolor_rgba(0, 0, 255);

struct entity {
  const char16_t *name;
  char16_t text;
};
constexpr entity k_entities[] = {{u"&quot;", u'"'}, {u"&amp;", u'&'},  {u"&lt;", u'<'},
                                 {u"&gt;", u'>'},   {u"&nbsp;", u' '}, {u"&#39;", u'\''}};

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }

int begin(html_render *render);
void end(html_render *render);
void on_start_tag(void *user, ekhtml_string tag, ekhtml_attr *attrs);
void on_end_tag(void *user, ekhtml_string tag);
void on_data(void *user, ekhtml_string text);
void add_image(html_render *render, const std::string &source);
void place_piece(html_render *render, const char16_t *text, int32_t length, int32_t width, int32_t line_height);
bool name_is(ekhtml_string name, const char *upper);
bool read_hex_color(ekhtml_string value, uint32_t *rgb);

}  // namespace

html_render *html_render_new(tform *form, void *user_data) {
  html_render *render = static_cast<html_render *>(std::calloc(1, sizeof(html_render)));
  if (!render) return nullptr;
  render->_dst_form = form;
  render->_user_data = user_data;
  return render;
}

void html_render_free(html_render *render) {
  PORT_CHECK(render != nullptr);
  end(render);
  std::free(render);
}

html_render_title_fn html_render_set_on_title(html_render *render, html_render_title_fn fn) {
  PORT_CHECK(render != nullptr);
  html_render_title_fn previous = render->_on_title;
  render->_on_title = fn;
  return previous;
}

html_render_bgcolor_fn html_render_set_on_bgcolor(html_render *render, html_render_bgcolor_fn fn) {
  PORT_CHECK(render != nullptr);
  html_render_bgcolor_fn previous = render->_on_bgcolor;
  render->_on_bgcolor = fn;
  return previous;
}

html_render_label_fn html_render_set_on_add_label(html_render *render, html_render_label_fn fn) {
  PORT_CHECK(render != nullptr);
  html_render_label_fn previous = render->_on_add_label;
  render->_on_add_label = fn;
  return previous;
}

html_render_linklabel_fn html_render_set_on_add_linklabel(html_render *render, html_render_linklabel_fn fn) {
  PORT_CHECK(render != nullptr);
  html_render_linklabel_fn previous = render->_on_add_linklabel;
  render->_on_add_linklabel = fn;
  return previous;
}

html_render_seperator_fn html_render_set_on_add_seperator(html_render *render, html_render_seperator_fn fn) {
  PORT_CHECK(render != nullptr);
  html_render_seperator_fn previous = render->_on_add_seperator;
  render->_on_add_seperator = fn;
  return previous;
}

html_render_image_fn html_render_set_on_add_image(html_render *render, html_render_image_fn fn) {
  PORT_CHECK(render != nullptr);
  html_render_image_fn previous = render->_on_add_image;
  render->_on_add_image = fn;
  return previous;
}

void *html_render_get_user_data(const html_render *render) {
  PORT_CHECK(render != nullptr);
  return render->_user_data;
}

int32_t html_render_get_width(const html_render *render) {
  PORT_CHECK(render != nullptr);
  return render->_width;
}

int html_render_load_file(html_render *render, const char16_t *path) {
  PORT_CHECK(render != nullptr && render->_dst_form != nullptr);
  if (!path || std::char_traits<char16_t>::length(path) >= size_t(HTML_RENDER_PATH_CHARS)) return 0;
  int64_t size = 0;
  // The reader gives exactly the bytes it read, which are the ones rendered.
  uint8_t *bytes = app_common_read_file(path, &size, 0, HTML_RENDER_MAX_FILE);
  if (!bytes) return 0;
  if (size <= 0) {
    std::free(bytes);
    return 0;
  }
  std::char_traits<char16_t>::copy(render->_page_path, path, std::char_traits<char16_t>::length(path) + 1);
  int result = html_render_parse(render, reinterpret_cast<const char *>(bytes), uint32_t(size));
  std::free(bytes);
  return result;
}

int html_render_parse(html_render *render, const char *text, uint32_t length) {
  PORT_CHECK(render != nullptr && render->_dst_form != nullptr);
  PORT_CHECK(text != nullptr || length == 0);
  ekhtml_parser *parser = ekhtml_new(render);
  if (!parser) return 0;
  ekhtml_set_data_callback(parser, on_data);
  ekhtml_add_start_callback(parser, nullptr, on_start_tag);
  ekhtml_add_end_callback(parser, nullptr, on_end_tag);
  int result = begin(render);
  if (result) {
    ekhtml_feed(parser, ekhtml_string{text, length});
    ekhtml_flush(parser, 1);
  }
  ekhtml_free(parser);
  end(render);
  return result;
}

namespace {

// The drawer, the measuring canvas and its text pass; the pen back at the
// origin. 0 (and nothing kept) when any of them cannot be made.
int begin(html_render *render) {
  end(render);
  render->_x = HTML_RENDER_ORIGIN;
  render->_y = HTML_RENDER_ORIGIN;
  const ttdrawer *defaults = tstyler_get_default_tdrawer();
  render->_tdrawer = defaults ? ttdrawer_copy(defaults) : ttdrawer_new_default();
  render->_canvas = static_cast<tcanvas *>(std::calloc(1, sizeof(tcanvas)));
  if (!render->_tdrawer || !render->_canvas) {
    end(render);
    return 0;
  }
  if (!tcanvas_init(render->_canvas, render, 32, k_canvas_width, k_canvas_height)) {
    std::free(render->_canvas);
    render->_canvas = nullptr;
    end(render);
    return 0;
  }
  ttdrawer *drawer = render->_tdrawer;
  ttdrawer_set_font_size(drawer, ttdrawer_get_font_size(drawer) + 1);
  const char16_t *face = ttdrawer_get_font_face(drawer);
  wins_graphics_set_font(render->_canvas, ttdrawer_get_font_size(drawer), *face ? face : nullptr);
  tcanvas_set_font_style(render->_canvas, ttdrawer_get_font_style(drawer));
  ttdrawer_get_color(drawer, &render->_saved_color);
  render->_saved_size = ttdrawer_get_font_size(drawer);
  render->_htext = wins_graphics_begin_text(render->_canvas);
  if (!render->_htext) {
    end(render);
    return 0;
  }
  render->_in_title = render->_in_paragraph = render->_in_link = render->_in_table = 0;
  const trect *client = tcontrol_get_client_rect(control_of(render->_dst_form));
  render->_width = client->x2 - client->x1 - k_width_inset;
  return 1;
}

// Frees what begin made and leaves the fields null, so a second end (or the
// free after a parse) finds nothing to free.
void end(html_render *render) {
  if (render->_htext) wins_graphics_end_text(render->_canvas, render->_htext);
  render->_htext = nullptr;
  if (render->_canvas) {
    tcanvas_deinit(render->_canvas);
    std::free(render->_canvas);
  }
  render->_canvas = nullptr;
  if (render->_tdrawer) ttdrawer_free(render->_tdrawer);
  render->_tdrawer = nullptr;
}

int32_t font_height(html_render *render) { return wins_graphics_get_text_height(render->_canvas, render->_htext); }

void set_style_bit(html_render *render, uint32_t bit, bool on) {
  uint32_t style = ttdrawer_get_font_style(render->_tdrawer);
  ttdrawer_set_font_style(render->_tdrawer, on ? style | bit : style & ~bit);
}

uint32_t style_bit_of(ekhtml_string tag) {
  if (name_is(tag, "B")) return TCANVAS_FONT_BOLD;
  if (name_is(tag, "I")) return TCANVAS_FONT_ITALIC;
  if (name_is(tag, "U")) return TCANVAS_FONT_UNDERLINE;
  if (name_is(tag, "STRIKE")) return TCANVAS_FONT_STRIKEOUT;
  return 0;
}

void on_start_tag(void *user, ekhtml_string tag, ekhtml_attr *attrs) {
  html_render *render = static_cast<html_render *>(user);
  if (name_is(tag, "BODY")) {
    for (ekhtml_attr *attr = attrs; attr; attr = attr->_next) {
      uint32_t rgb;
      if (!name_is(attr->_name, "BGCOLOR") || !read_hex_color(attr->_value, &rgb)) continue;
      tcolor color = tcolor_rgba(int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF));
      tbdrawer_set_fill_color(tcontrol_get_box_drawer(control_of(render->_dst_form)), color);
      if (render->_on_bgcolor) render->_on_bgcolor(render, tcolor_key_of(color));
    }
  } else if (name_is(tag, "TITLE")) {
    render->_in_title = 1;
  } else if (name_is(tag, "P")) {
    render->_in_paragraph = 1;
  } else if (uint32_t bit = style_bit_of(tag)) {
    set_style_bit(render, bit, true);
  } else if (name_is(tag, "BR")) {
    render->_y += font_height(render) + k_line_gap;
    render->_x = HTML_RENDER_ORIGIN;
  } else if (name_is(tag, "A")) {
    render->_in_link = 1;
    for (ekhtml_attr *attr = attrs; attr; attr = attr->_next)
      if (name_is(attr->_name, "HREF"))
        app_common_utf8_to_wide_cut(attr->_value._len ? attr->_value._str : "", int(attr->_value._len),
                                    render->_link_url, HTML_RENDER_URL_CHARS);
  } else if (name_is(tag, "FONT")) {
    for (ekhtml_attr *attr = attrs; attr; attr = attr->_next) {
      uint32_t rgb;
      if (name_is(attr->_name, "COLOR") && read_hex_color(attr->_value, &rgb)) {
        ttdrawer_get_color(render->_tdrawer, &render->_saved_color);
        ttdrawer_set_color(render->_tdrawer, tcolor_rgba(int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)));
      } else if (name_is(attr->_name, "SIZE")) {
        std::string value(attr->_value._str, attr->_value._len);
        long n = std::strtol(value.c_str(), nullptr, 10);
        if (n <= 0 || n > 1000) continue;
        render->_saved_size = ttdrawer_get_font_size(render->_tdrawer);
        ttdrawer_set_font_size(render->_tdrawer, n <= 7 ? k_font_sizes[n - 1] : int32_t(n));
      }
    }
  } else if (name_is(tag, "HR")) {
    trect rect = {HTML_RENDER_ORIGIN, render->_y, render->_width + HTML_RENDER_ORIGIN - 1, render->_y + 1};
    tseperator *rule = tseperator_new(control_of(render->_dst_form), &rect, 0, render->_user_data);
    if (rule) {
      tform_add_child(render->_dst_form, tform_get_child_count(render->_dst_form) + 1, control_of(rule));
      PORT_CHECK(render->_on_add_seperator != nullptr);
      render->_on_add_seperator(render, rule);
    }
    render->_x = HTML_RENDER_ORIGIN;
    render->_y += k_rule_gap;
  } else if (name_is(tag, "IMG")) {
    for (ekhtml_attr *attr = attrs; attr; attr = attr->_next)
      if (name_is(attr->_name, "SRC") && attr->_value._len) add_image(render, std::string(attr->_value._str, attr->_value._len));
  } else if (name_is(tag, "TABLE")) {
    render->_in_table = 1;
  }
}

void on_end_tag(void *user, ekhtml_string tag) {
  html_render *render = static_cast<html_render *>(user);
  if (name_is(tag, "TITLE")) {
    render->_in_title = 0;
  } else if (name_is(tag, "P")) {
    render->_in_paragraph = 0;
    render->_y += font_height(render) + k_paragraph_gap;
    render->_x = HTML_RENDER_ORIGIN;
  } else if (uint32_t bit = style_bit_of(tag)) {
    set_style_bit(render, bit, false);
  } else if (name_is(tag, "A")) {
    render->_in_link = 0;
  } else if (name_is(tag, "FONT")) {
    ttdrawer_set_color(render->_tdrawer, render->_saved_color);
    ttdrawer_set_font_size(render->_tdrawer, render->_saved_size);
  } else if (name_is(tag, "TABLE")) {
    render->_in_table = 0;
  }
}

// The image's file is probed as a BMP for its size; the callback gives the
// control its own bitmap, and a control left without one keeps the probe's
// size and stays empty.
void add_image(html_render *render, const std::string &source) {
  app_common_utf8_to_wide_cut(source.c_str(), int(source.size()), render->_link_url, HTML_RENDER_URL_CHARS);
  char16_t path[TFILE_MAX_JOINED_PATH + 1];
  if (!tfile_make_sibling_path(path, render->_page_path, render->_link_url)) return;
  const char16_t *extension = tfile_get_extension(path);
  if (std::char_traits<char16_t>::length(extension) != 3 || (extension[0] | 0x20) != u'b' ||
      (extension[1] | 0x20) != u'm' || (extension[2] | 0x20) != u'p')
    return;
  tbitmap probe;
  if (!tbitmap_load_bmp(&probe, path)) return;
  int32_t width = tbitmap_get_width(&probe), height = tbitmap_get_height(&probe);
  tbitmap_deinit(&probe);
  trect rect = {HTML_RENDER_ORIGIN, render->_y, HTML_RENDER_ORIGIN + width - 1, render->_y + height - 1};
  timage *image = timage_new(control_of(render->_dst_form), &rect, nullptr, nullptr, TIMAGE_FIXED, render->_user_data);
  if (!image) return;
  tform_add_child(render->_dst_form, tform_get_child_count(render->_dst_form) + 1, control_of(image));
  PORT_CHECK(render->_on_add_image != nullptr);
  render->_on_add_image(render, image, path);
  if (tbitmap *bitmap = timage_get_bitmap(image)) {
    height = tbitmap_get_height(bitmap);
    tcontrol_set_size(control_of(image), tbitmap_get_width(bitmap), height);
  }
  render->_x = HTML_RENDER_ORIGIN;
  render->_y += height + k_image_gap;
}

// The canvas's font follows the drawer (reselected only when size, style or
// colour differ).
void select_drawer_font(html_render *render) {
  ttdrawer *drawer = render->_tdrawer;
  tcolor color, pen;
  ttdrawer_get_color(drawer, &color);
  tcanvas_get_pen_color(&pen, render->_canvas);
  uint32_t word = tcolor_to_word(&color);
  if (tcanvas_get_font_size(render->_canvas) == ttdrawer_get_font_size(drawer) &&
      tcanvas_get_font_style(render->_canvas) == ttdrawer_get_font_style(drawer) && tcolor_to_word(&pen) == word)
    return;
  const char16_t *face = ttdrawer_get_font_face(drawer);
  wins_graphics_select_font(render->_canvas, render->_htext, ttdrawer_get_font_size(drawer), *face ? face : nullptr,
                            word, ttdrawer_get_font_style(drawer));
}

// The run as the page shows it: UTF-16, CR and LF deleted, entities replaced.
std::u16string shown_text(ekhtml_string text) {
  int need = port_str_utf8_to_wide(text._str, int(text._len), nullptr, 0);
  std::u16string wide(size_t(need > 0 ? need : 0), u'\0');
  if (need > 0) wide.resize(size_t(port_str_utf8_to_wide(text._str, int(text._len), wide.data(), need)));
  std::u16string out;
  out.reserve(wide.size());
  for (char16_t c : wide)
    if (c != u'\r' && c != u'\n') out += c;
  for (const entity &e : k_entities) {
    size_t name_length = std::char_traits<char16_t>::length(e.name);
    for (size_t at = 0; (at = out.find(e.name, at)) != std::u16string::npos; at++)
      out.replace(at, name_length, 1, e.text);
  }
  return out;
}

// A run that starts with closing marks ("<B>New</B>: ...") where they do not
// fit after the line's last piece: that piece goes down to a new line with
// them, so no line starts with a closing mark and none passes the width. Only
// a text piece leaves the pen inside a line, so it is the form's last child.
void keep_closing_marks_on_line(html_render *render, const char16_t *text, int32_t length, int32_t line_height) {
  if (render->_x == HTML_RENDER_ORIGIN) return;
  int32_t next = 0;
  int32_t marks = ttdrawer_wrap_line(render->_canvas, render->_htext, text, length, 0, 0, &next);
  if (marks == 0) return;
  int32_t room = render->_width - (render->_x - HTML_RENDER_ORIGIN);
  if (wins_graphics_get_text_width(render->_canvas, render->_htext, text, marks) <= room) return;
  int32_t count = tform_get_child_count(render->_dst_form);
  tcontrol *last = count > 0 ? tform_get_child_at(render->_dst_form, count - 1) : nullptr;
  if (!last || tsurface_get_rect(&last->_surface)->y1 != render->_y) return;
  // Taken out and added again, so that the form scrolls it from its new place.
  render->_y += line_height;
  tform_remove_child(render->_dst_form, last);
  tcontrol_move_to(last, HTML_RENDER_ORIGIN, render->_y, 0);
  tform_add_child(render->_dst_form, count, last);
  render->_x = HTML_RENDER_ORIGIN + tsurface_get_width(&last->_surface);
}

// A run is wrapped into pieces, one label each on one line. A line starts at
// its first character that is not a space, so a run's spaces at a line's end
// vanish; the run's last piece leaves the pen after it on the same line.
void on_data(void *user, ekhtml_string run) {
  html_render *render = static_cast<html_render *>(user);
  if (run._len == 0) return;
  select_drawer_font(render);
  int32_t line_height = font_height(render) + k_line_gap;
  std::u16string text = shown_text(run);
  if (render->_in_title) {
    if (render->_on_title) render->_on_title(render, text.c_str());
    return;
  }
  if (!render->_in_paragraph || text.empty()) return;

  const char16_t *rest = text.c_str();
  int32_t left = int32_t(text.size());
  keep_closing_marks_on_line(render, rest, left, line_height);
  // Every turn ends the run, or takes at least one character, or moves a
  // line that held text down to a fresh one.
  for (;;) {
    bool fresh = render->_x == HTML_RENDER_ORIGIN;
    if (fresh)
      while (left > 0 && *rest == u' ') rest++, left--;
    if (left == 0) return;
    int32_t next = 0;
    int32_t shown = ttdrawer_wrap_line(render->_canvas, render->_htext, rest, left,
                                       render->_width - (render->_x - HTML_RENDER_ORIGIN), fresh, &next);
    int32_t width = wins_graphics_get_text_width(render->_canvas, render->_htext, rest, shown);
    if (shown > 0) place_piece(render, rest, shown, width, line_height);
    if (shown == left) {
      render->_x += width + 1;
      return;
    }
    render->_x = HTML_RENDER_ORIGIN;
    render->_y += line_height;
    rest += next;
    left -= next;
  }
}

// One label (a link label inside A) at the pen, in the drawer's font.
void place_piece(html_render *render, const char16_t *text, int32_t length, int32_t width, int32_t line_height) {
  trect rect = {render->_x, render->_y, render->_x + width, render->_y + line_height - 1};
  tcontrol *form = control_of(render->_dst_form);
  tlabel *label = nullptr;
  tlinklabel *link = nullptr;
  if (render->_in_link) {
    link = tlinklabel_new(form, &rect, text, length, render->_link_url, TLABEL_LEFT, render->_user_data);
    label = &link->_label;
  } else {
    label = tlabel_new(form, &rect, text, length, TLABEL_LEFT, render->_user_data);
  }
  if (!label) return;
  ttdrawer *drawer = tlabel_get_tdrawer(label);
  tcolor color;
  ttdrawer_get_color(render->_tdrawer, &color);
  ttdrawer_set_font_size(drawer, ttdrawer_get_font_size(render->_tdrawer));
  ttdrawer_set_font_style(drawer, link ? uint32_t(TCANVAS_FONT_UNDERLINE) : ttdrawer_get_font_style(render->_tdrawer));
  ttdrawer_set_color(drawer, link ? k_link_color : color);
  ttdrawer_set_truncation(drawer, TTDRAWER_TRUNCATE_NONE);
  tform_add_child(render->_dst_form, tform_get_child_count(render->_dst_form) + 1, control_of(label));
  if (link) {
    PORT_CHECK(render->_on_add_linklabel != nullptr);
    render->_on_add_linklabel(render, link);
  } else {
    PORT_CHECK(render->_on_add_label != nullptr);
    render->_on_add_label(render, label);
  }
}

// Tag and attribute names matched whole, without regard to ASCII case.
bool name_is(ekhtml_string name, const char *upper) {
  size_t length = std::strlen(upper);
  if (name._len != length) return false;
  for (size_t i = 0; i < length; i++) {
    char c = name._str[i];
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

// "#RRGGBB" (the hexadecimal number after the '#') as 0xRRGGBB.
bool read_hex_color(ekhtml_string value, uint32_t *rgb) {
  if (value._len < 1 || value._str[0] != '#') return false;
  std::string digits(value._str + 1, value._len - 1);
  *rgb = uint32_t(std::strtoul(digits.c_str(), nullptr, 16)) & 0xFFFFFF;
  return true;
}

}  // namespace
