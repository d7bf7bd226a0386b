// paint_config: reading and writing config.xml.
#include "paint_config.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app_common.h"
#include "app_context.h"
#include "os_paths.h"
#include "port_fs.h"
#include "port_log.h"
#include "tsavefile.h"
#include "txml.h"

namespace {

const char k_root[] = "Brivola";
const char k_file_name[] = "/config.xml";

// KEY_SIZE is a 32-bit field whose value the painting context keeps in a byte.
enum key_kind { KEY_INT, KEY_SIZE, KEY_BYTE, KEY_RGB, KEY_RGBA, KEY_FOLDER, KEY_RECENT };

constexpr int64_t k_max_rgb = 0xFFFFFF;
constexpr int64_t k_max_byte = 255;
// Any number the reader cannot hold is beyond every range below.
constexpr int64_t k_beyond = int64_t(1) << 40;

// One key of the file: its name, how its text reads and where it goes.
struct key_entry {
  const char *name;
  key_kind kind;
  size_t offset;  // of the field in app_context
};

#define KEY(name, kind, field) {name, kind, offsetof(app_context, field)}

// In file order; RecentColorNum comes before RecentColors, which reads it.
const key_entry k_keys[] = {
    KEY("NewWidth", KEY_INT, _new_width),
    KEY("NewHeight", KEY_INT, _new_height),
    KEY("NewColor", KEY_RGB, _new_color),
    KEY("ForeColor", KEY_RGBA, _fore_color),
    KEY("BackColor", KEY_RGB, _back_color),
    KEY("PenSize", KEY_SIZE, _pen_size),
    KEY("RubberSize", KEY_SIZE, _rubber_size),
    KEY("PenStyle", KEY_INT, _pen_style),
    KEY("FillStyle", KEY_INT, _fill_style),
    KEY("FontStyle", KEY_INT, _font_style),
    KEY("PictureStyle", KEY_INT, _picture_style),
    KEY("MyPaintsDir", KEY_FOLDER, _my_paints_dir),
    KEY("OpenDir", KEY_FOLDER, _open_dir),
    KEY("SaveDir", KEY_FOLDER, _save_dir),
    KEY("TBTranslucent", KEY_BYTE, _tb_translucent),
    KEY("TBAutoHide", KEY_BYTE, _tb_auto_hide),
    KEY("TBX1", KEY_INT, _tb_x1),
    KEY("TBY1", KEY_INT, _tb_y1),
    KEY("TBWidth1", KEY_INT, _tb_width1),
    KEY("TBHeight1", KEY_INT, _tb_height1),
    KEY("TBX2", KEY_INT, _tb_x2),
    KEY("TBY2", KEY_INT, _tb_y2),
    KEY("TBWidth2", KEY_INT, _tb_width2),
    KEY("TBHeight2", KEY_INT, _tb_height2),
    KEY("RecentColorNum", KEY_INT, _recent_color_num),
    KEY("RecentColors", KEY_RECENT, _recent_colors),
};

#undef KEY

static_assert(sizeof k_keys / sizeof k_keys[0] == 26, "config.xml holds 26 keys");

std::u16string config_path();
int apply_tree(app_context *app, txml *parser);
void read_key(app_context *app, const key_entry &key, const char *text);
void read_recent_colors(app_context *app, const char *text);
int64_t parse_number(const char *text);
int read_in_range(const char *text, int64_t low, int64_t high, int32_t *value);
int read_rgba(const char *text, tcolor *color);
void set_rgb(tcolor *color, int32_t value);
int32_t rgb_word(const tcolor &color);
void append_key(std::string *out, const app_context *app, const key_entry &key);
void append_folder(std::string *out, const char16_t *folder);

template <typename T>
T *field(app_context *app, size_t offset) {
  return reinterpret_cast<T *>(reinterpret_cast<uint8_t *>(app) + offset);
}

template <typename T>
const T *field(const app_context *app, size_t offset) {
  return reinterpret_cast<const T *>(reinterpret_cast<const uint8_t *>(app) + offset);
}

}  // namespace

void paint_config_load() {
  app_context *app = app_common_get_app();
  std::u16string path = config_path();
  int64_t size = 0;
  uint8_t *text = app_common_read_file(path.c_str(), &size, 1, APP_SETTINGS_MAX_BYTES);
  if (!text) return;
  paint_config_load_text(app, reinterpret_cast<const char *>(text));
  std::free(text);
}

void paint_config_save() {
  app_context *app = app_common_get_app();
  std::string text = paint_config_text(app);
  std::u16string path = config_path();
  tsavefile save;
  FILE *file = tsavefile_open(&save, path.c_str());
  if (!file) return;
  bool failed = std::fwrite(text.data(), 1, text.size(), file) != text.size();
  tsavefile_commit(&save, failed);
}

int paint_config_load_text(app_context *app, const char *text) {
  PORT_CHECK(app != nullptr && text != nullptr);
  txml *parser = txml_new();
  if (!parser) return 0;
  int done = txml_parse_string(parser, text) ? apply_tree(app, parser) : 0;
  txml_free(parser);
  return done;
}

std::string paint_config_text(const app_context *app) {
  PORT_CHECK(app != nullptr);
  std::string out = "<Brivola>\n";
  for (const key_entry &key : k_keys) append_key(&out, app, key);
  out += "</Brivola>\n";
  return out;
}

tcolor paint_config_parse_rgba(const char *text) {
  PORT_CHECK(text != nullptr);
  tcolor color;
  tcolor_make(&color, 0, 0, 0, 255);
  read_rgba(text, &color);
  return color;
}

int32_t paint_config_parse_int(const char *text) {
  PORT_CHECK(text != nullptr);
  return int32_t(std::clamp<int64_t>(parse_number(text), INT32_MIN, INT32_MAX));
}

namespace {

std::u16string config_path() { return port_fs_wide_path(os_user_dir() + k_file_name); }

int apply_tree(app_context *app, txml *parser) {
  txml_node *root = txml_get_root(parser);
  if (!root || std::strcmp(txml_node_get_name(root), k_root) != 0) return 0;
  for (const key_entry &key : k_keys) {
    std::string path = std::string(k_root) + "/" + key.name;
    txml_node *node = txml_node_find_path(root, path.c_str());
    if (node) read_key(app, key, txml_node_get_text(node));
  }
  return 1;
}

// A number outside what the field can hold leaves the field as it was.
void read_key(app_context *app, const key_entry &key, const char *text) {
  int32_t value = 0;
  switch (key.kind) {
    case KEY_INT:
      read_in_range(text, INT32_MIN, INT32_MAX, field<int32_t>(app, key.offset));
      break;
    case KEY_SIZE:
      read_in_range(text, 0, k_max_byte, field<int32_t>(app, key.offset));
      break;
    case KEY_BYTE:
      if (read_in_range(text, 0, k_max_byte, &value)) *field<uint8_t>(app, key.offset) = uint8_t(value);
      break;
    case KEY_RGB:
      if (read_in_range(text, 0, k_max_rgb, &value)) set_rgb(field<tcolor>(app, key.offset), value);
      break;
    case KEY_RGBA:
      if (std::strchr(text, ',')) {
        tcolor color;
        tcolor_make(&color, 0, 0, 0, 255);
        if (read_rgba(text, &color)) *field<tcolor>(app, key.offset) = color;
      } else if (read_in_range(text, 0, k_max_rgb, &value)) {
        set_rgb(field<tcolor>(app, key.offset), value);
      }
      break;
    case KEY_FOLDER:
      app_common_utf8_to_wide_cut(text, -1, field<char16_t>(app, key.offset), APP_PATH_CHARS);
      break;
    case KEY_RECENT:
      read_recent_colors(app, text);
      break;
  }
}

// Every comma ends a value; text after the last comma is not a value.
void read_recent_colors(app_context *app, const char *text) {
  int wanted = std::min(app->_recent_color_num, int32_t(APP_RECENT_COLORS));
  const char *start = text;
  for (int i = 0; i < wanted; i++) {
    const char *comma = std::strchr(start, ',');
    if (!comma) break;
    read_in_range(std::string(start, comma).c_str(), 0, k_max_rgb, &app->_recent_colors[i]);
    start = comma + 1;
  }
}

// A decimal number after optional blanks and sign (no number: 0), held up to
// k_beyond either way.
int64_t parse_number(const char *text) {
  const char *at = text;
  while (*at == ' ' || (*at >= '\t' && *at <= '\r')) at++;
  bool negative = *at == '-';
  if (*at == '-' || *at == '+') at++;
  int64_t value = 0;
  for (; *at >= '0' && *at <= '9'; at++) value = std::min(value * 10 + (*at - '0'), k_beyond);
  return negative ? -value : value;
}

int read_in_range(const char *text, int64_t low, int64_t high, int32_t *value) {
  int64_t number = parse_number(text);
  if (number < low || number > high) return 0;
  *value = int32_t(number);
  return 1;
}

// Up to four comma-separated channels R, G, B, A over what color holds;
// nothing is changed when one of them is not a byte.
int read_rgba(const char *text, tcolor *color) {
  uint8_t channels[4] = {color->red, color->green, color->blue, color->alpha};
  const char *at = text;
  for (int i = 0; i < 4 && *at; i++) {
    int32_t value = 0;
    if (!read_in_range(at, 0, k_max_byte, &value)) return 0;
    channels[i] = uint8_t(value);
    const char *comma = std::strchr(at, ',');
    if (!comma) break;
    at = comma + 1;
  }
  tcolor_make(color, channels[0], channels[1], channels[2], channels[3]);
  return 1;
}

void set_rgb(tcolor *color, int32_t value) {
  color->red = uint8_t(value & 255);
  color->green = uint8_t((value >> 8) & 255);
  color->blue = uint8_t((value >> 16) & 255);
}

int32_t rgb_word(const tcolor &color) { return color.red + color.green * 256 + color.blue * 65536; }

void append_key(std::string *out, const app_context *app, const key_entry &key) {
  char number[96];
  *out += "<";
  *out += key.name;
  *out += ">";
  switch (key.kind) {
    case KEY_INT:
    case KEY_SIZE:
      std::snprintf(number, sizeof number, "%d", *field<int32_t>(app, key.offset));
      *out += number;
      break;
    case KEY_BYTE:
      std::snprintf(number, sizeof number, "%d", *field<uint8_t>(app, key.offset));
      *out += number;
      break;
    case KEY_RGB:
      std::snprintf(number, sizeof number, "%d", rgb_word(*field<tcolor>(app, key.offset)));
      *out += number;
      break;
    case KEY_RGBA: {
      const tcolor &c = *field<tcolor>(app, key.offset);
      std::snprintf(number, sizeof number, "%d,%d,%d,%d", c.red, c.green, c.blue, c.alpha);
      *out += number;
      break;
    }
    case KEY_FOLDER:
      append_folder(out, field<char16_t>(app, key.offset));
      break;
    case KEY_RECENT:
      for (int32_t value : app->_recent_colors) {
        std::snprintf(number, sizeof number, "%d,", value);
        *out += number;
      }
      break;
  }
  *out += "</";
  *out += key.name;
  *out += ">\n";
}

// The reader decodes &amp; &lt; &gt; once, so a folder named "R&D" or "<x>"
// comes back as it was. A '^' makes the reader step over the next byte while
// it looks for '<': a folder ending in '^' gets a blank before its end tag,
// which the reader's trimming removes again.
void append_folder(std::string *out, const char16_t *folder) {
  char utf8[APP_PATH_CHARS * 4];
  app_common_wide_to_utf8_cut(folder, utf8, int(sizeof utf8));
  for (const char *at = utf8; *at; at++) {
    switch (*at) {
      case '&': *out += "&amp;"; break;
      case '<': *out += "&lt;"; break;
      case '>': *out += "&gt;"; break;
      default: *out += *at; break;
    }
  }
  if (!out->empty() && out->back() == '^') *out += ' ';
}

}  // namespace
