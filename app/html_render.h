// html_render: turns a help page into toolkit controls on a form.
//
// The page runs through the HTML tokenizer once; each paragraph's text is cut
// into one-line pieces that become labels (link labels inside A), placed one
// after another from (10, 10) down the form, with HR separators and BMP
// images between them. The renderer draws nothing itself and knows nothing of
// its owner: every control it adds, the page title and the BODY colour go out
// through callbacks; the image callback supplies the image's bitmap.
//
// Tags: BODY BGCOLOR, TITLE, P, B, I, U, STRIKE, BR, A HREF, FONT COLOR SIZE,
// HR, IMG SRC (.bmp only), TABLE (no layout of its own); others are ignored.
// Entities, replaced in this order, each everywhere before the next: &quot;
// &amp; &lt; &gt; &nbsp; &#39;. CR and LF are deleted from text.
//
// Owns, only while a page is parsed: the text drawer (the style set's, one
// point larger), a small measuring canvas and the text pass opened on it;
// parse frees all three and leaves them null. The controls it adds belong to
// whoever the add callbacks hand them to; the form is borrowed.
//
// Wrapping keeps letters and digits of alphabetic scripts (Latin, Greek,
// Cyrillic ...) together; ideographs, kana and hangul break anywhere. A run
// whose first word does not fit on a fresh line is placed whole as one label.
#pragma once

#include <cstdint>

#include "trect.h"

struct html_render;
struct tcanvas;
struct tform;
struct timage;
struct tlabel;
struct tlinklabel;
struct tseperator;
struct ttdrawer;
struct wins_graphics_pass;

constexpr int HTML_RENDER_PATH_CHARS = 260;
constexpr int HTML_RENDER_URL_CHARS = 4096;
// A page file larger than this is not read.
constexpr int64_t HTML_RENDER_MAX_FILE = 104857600;
// Where the first control goes, and the left edge every new line returns to.
constexpr int32_t HTML_RENDER_ORIGIN = 10;

typedef void (*html_render_title_fn)(html_render *render, const char16_t *text);
// color: 0x00BBGGRR.
typedef void (*html_render_bgcolor_fn)(html_render *render, uint32_t color);
typedef void (*html_render_label_fn)(html_render *render, tlabel *label);
typedef void (*html_render_linklabel_fn)(html_render *render, tlinklabel *link);
typedef void (*html_render_seperator_fn)(html_render *render, tseperator *seperator);
// The callback gives the image its bitmap (or leaves it without one).
typedef void (*html_render_image_fn)(html_render *render, timage *image, const char16_t *path);

struct html_render {
  tform *_dst_form;
  int32_t _width;  // content width of a line
  char16_t _page_path[HTML_RENDER_PATH_CHARS];
  ttdrawer *_tdrawer;
  int32_t _x, _y;
  tcanvas *_canvas;
  wins_graphics_pass *_htext;
  uint8_t _in_title, _in_paragraph, _in_link, _in_table;
  char16_t _link_url[HTML_RENDER_URL_CHARS];
  tcolor _saved_color;
  int32_t _saved_size;
  html_render_title_fn _on_title;
  html_render_bgcolor_fn _on_bgcolor;
  html_render_label_fn _on_add_label;
  html_render_linklabel_fn _on_add_linklabel;
  html_render_seperator_fn _on_add_seperator;
  html_render_image_fn _on_add_image;
  void *_user_data;
};

// Null when out of memory.
html_render *html_render_new(tform *form, void *user_data);
void html_render_free(html_render *render);

html_render_title_fn html_render_set_on_title(html_render *render, html_render_title_fn fn);
html_render_bgcolor_fn html_render_set_on_bgcolor(html_render *render, html_render_bgcolor_fn fn);
html_render_label_fn html_render_set_on_add_label(html_render *render, html_render_label_fn fn);
html_render_linklabel_fn html_render_set_on_add_linklabel(html_render *render, html_render_linklabel_fn fn);
html_render_seperator_fn html_render_set_on_add_seperator(html_render *render, html_render_seperator_fn fn);
html_render_image_fn html_render_set_on_add_image(html_render *render, html_render_image_fn fn);
void *html_render_get_user_data(const html_render *render);
// The content width of the last page rendered.
int32_t html_render_get_width(const html_render *render);

// Reads the page and renders it (IMG paths are taken from its folder). 0 when
// the file cannot be read, is empty or larger than HTML_RENDER_MAX_FILE, its
// path is longer than HTML_RENDER_PATH_CHARS - 1, or the parse fails.
int html_render_load_file(html_render *render, const char16_t *path);
// Renders length bytes of UTF-8 page text in one feed. 1, or 0 when the
// measuring set-up failed (nothing is placed then).
int html_render_parse(html_render *render, const char *text, uint32_t length);
