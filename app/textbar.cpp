// textbar: the text bar and the replay of its text-stamp records.
#include "textbar.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app_common.h"
#include "app_context.h"
#include "imagebar.h"
#include "paint_context.h"
#include "paint_history.h"
#include "port_log.h"
#include "shape.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tdock.h"
#include "tedit.h"
#include "tfile.h"
#include "tmenu.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "twformat.h"

namespace {

// Record offsets.
enum {
  AT_ALIGNMENT = 0,
  AT_OFFSET_X = 4,
  AT_OFFSET_Y = 8,
  AT_FONT_SIZE = 12,
  AT_FACE = 16,
  AT_COLOR = 80,
  AT_STYLE = 84,
  AT_BOX = 88,
  AT_LENGTH = 104,
  AT_TEXT_POINTER = 108,
};
constexpr int32_t k_record_extra_units = 57;  // the head and the NUL, in UTF-16 units
// A replayed text's font size (points, either sign) is cut to this many times
// its box's height in pixels. The text bar fits its font to its edit, whose
// box is the record's: its size never passes three quarters of the height.
constexpr int64_t k_font_box_multiple = 2;
constexpr int32_t k_edit_top_bottom = 3;
constexpr int32_t k_style_items = 4;
constexpr int32_t k_style_text_ids[k_style_items] = {25198, 25199, 25200, 25201};
const char16_t *const k_style_texts[k_style_items] = {u"Bold/-1/%d", u"Italic/-1/%d", u"Underline/-1/%d",
                                                     u"Strikeout/-1/%d"};

int can_drag(tdock *dock, int32_t x, int32_t y);
tcontrol *child_at(tdock *dock, int32_t index);
int on_key(tdock *dock, uint32_t code, uint32_t repeat, uint32_t modifiers);
void draw_frame(tbdrawer *drawer, tcanvas *canvas, const trect *rect);
void draw_edit_background(tbdrawer *drawer, tcanvas *canvas, const trect *rect);
void fill_style_menu(tmenu *menu, int32_t x, int32_t y);
void on_style_selected(uint32_t id, void *user_data);
textbar *owner_of(tdock *dock);

}  // namespace

textbar *textbar_new(tcontrol *parent, const trect *rect, app_context *app) {
  PORT_CHECK(rect != nullptr && app != nullptr && app->_paint_context != nullptr);
  (void)parent;
  tscreen *screen = tscreen_get();
  PORT_CHECK(screen != nullptr);
  textbar *tb = static_cast<textbar *>(std::calloc(1, sizeof(textbar)));
  if (!tb) return nullptr;
  tb->_app = app;
  tb->_snapshot = tbitmap_new_copy(tscreen_get_bitmap(screen));
  trect box = imagebar_get_box(rect);
  if (tb->_snapshot) tb->_dock = imagebar_make_dock(&box, tb, can_drag, child_at, draw_frame, &tb->_frame_draw);
  if (tb->_dock) {
    const trect *client = tcontrol_get_client_rect(&tb->_dock->_control);
    tb->_edit = tedit_new(&tb->_dock->_control, client, u"", 0, tb);
  }
  if (!tb->_edit) {
    if (tb->_dock) tdock_free(tb->_dock);
    if (tb->_snapshot) tbitmap_free(tb->_snapshot);
    std::free(tb);
    return nullptr;
  }
  tdock_set_key_func(tb->_dock, on_key);
  tedit *edit = tb->_edit;
  tcontrol_set_align(&edit->_control, TCONTROL_ALIGN_FILL);
  tedit_set_ime(edit, 1);
  tbdrawer *background = tcontrol_get_box_drawer(&edit->_control);
  tbdrawer_set_draw_func(background, draw_edit_background);
  tbdrawer_set_user_data(background, tb);
  tcolor fore;
  paint_context_get_fore_color(app->_paint_context, &fore);
  ttdrawer_set_color(tedit_get_text_drawer(edit), fore);
  uint32_t style = uint32_t(paint_context_get_font_style(app->_paint_context));
  ttdrawer_set_font_style(tedit_get_text_drawer(edit), style);
  ttdrawer_set_font_style(tedit_get_selected_text_drawer(edit), style);
  // After the style: the font is fitted to the box with the underline in mind.
  tedit_set_padding(edit, 0, 0, k_edit_top_bottom);
  return tb;
}

void textbar_free(textbar *tb) {
  PORT_CHECK(tb != nullptr);
  // Freeing the edit takes its focus and the input panel away without a
  // paint: whoever frees the bar paints what lies under it.
  paint_context_set_font_style(tb->_app->_paint_context,
                               int32_t(ttdrawer_get_font_style(tedit_get_text_drawer(tb->_edit))));
  tedit_free(tb->_edit);
  tdock_free(tb->_dock);
  tbitmap_free(tb->_snapshot);
  if (tb->_check_bitmap) tbitmap_free(tb->_check_bitmap);
  std::free(tb);
}

int textbar_show(textbar *tb) {
  PORT_CHECK(tb != nullptr);
  tcontrol_set_focus(&tb->_edit->_control, 1);
  if (!tcontrol_realize(&tb->_dock->_control)) return 0;
  tsurface_update(&tb->_dock->_control._surface, nullptr);
  return 1;
}

void textbar_update_color(textbar *tb) {
  PORT_CHECK(tb != nullptr);
  tcolor fore;
  paint_context_get_fore_color(tb->_app->_paint_context, &fore);
  ttdrawer_set_color(tedit_get_text_drawer(tb->_edit), fore);
  tsurface_update(&tb->_edit->_control._surface, nullptr);
}

void textbar_commit(textbar *tb) {
  PORT_CHECK(tb != nullptr);
  const char16_t *text = tedit_get_text(tb->_edit);
  size_t n = text ? std::char_traits<char16_t>::length(text) : 0;
  if (n == 0) return;
  int64_t size = (int64_t(n) + k_record_extra_units) * 2;
  if (size > INT32_MAX) return;
  uint8_t *record = static_cast<uint8_t *>(std::calloc(1, size_t(size)));
  if (!record) return;
  paint_context *pc = tb->_app->_paint_context;
  tpoint origin;
  paint_context_get_origin(pc, &origin);
  trect box;
  tsurface_get_screen_rect(&tb->_edit->_control._surface, &box);
  const int32_t corners[4] = {box.x1 - origin.x, box.y1 - origin.y, box.x2 - origin.x, box.y2 - origin.y};

  const ttdrawer *drawer = tedit_get_text_drawer(tb->_edit);
  // The edit (no side padding) sets its text from its left edge less its
  // scroll: the record keeps that shift, so the stamp shows the characters
  // the bar showed, where it showed them, cut by the same box. Records
  // written before kept the drawer's offset alone and replay as they did.
  int64_t offset_x = int64_t(ttdrawer_get_offset_x(drawer)) - tedit_get_scroll(tb->_edit);
  tfile_put_u32(record + AT_ALIGNMENT, ttdrawer_get_alignment(drawer));
  tfile_put_u32(record + AT_OFFSET_X, uint32_t(int32_t(std::clamp<int64_t>(offset_x, INT32_MIN, INT32_MAX))));
  tfile_put_u32(record + AT_OFFSET_Y, uint32_t(ttdrawer_get_offset_y(drawer)));
  tfile_put_u32(record + AT_FONT_SIZE, uint32_t(ttdrawer_get_font_size(drawer)));
  const char16_t *face = ttdrawer_get_font_face(drawer);
  for (int32_t i = 0; i < TEXTBAR_FACE_UNITS - 1 && face && face[i]; i++)
    tfile_put_u16(record + AT_FACE + 2 * i, face[i]);
  tcolor color;
  ttdrawer_get_color(drawer, &color);
  const uint8_t color_bytes[4] = {color.blue, color.green, color.red, color.alpha};
  std::memcpy(record + AT_COLOR, color_bytes, 4);
  tfile_put_u32(record + AT_STYLE, ttdrawer_get_font_style(drawer));
  for (int i = 0; i < 4; i++) tfile_put_u32(record + AT_BOX + 4 * i, uint32_t(corners[i]));
  tfile_put_u32(record + AT_LENGTH, uint32_t(n));
  tfile_put_u32(record + AT_TEXT_POINTER, 0);
  for (size_t i = 0; i < n; i++) tfile_put_u16(record + TEXTBAR_RECORD_HEAD + 2 * i, text[i]);

  textbar_draw_text_record(pc, record, int32_t(size), 1.0);
  // A record the history cannot take is taken off the canvas again, and
  // the stop box says so.
  paint_history *history = tb->_app->_history;
  bool refused =
      history && !shape_record_step(history, PAINT_HISTORY_OP_TEXT, record, int32_t(size), nullptr, nullptr);
  std::free(record);
  if (refused) app_common_show_memory_stop();
}

void textbar_show_style_menu(textbar *tb, int32_t x, int32_t y) {
  PORT_CHECK(tb != nullptr);
  tmenu *menu = imagebar_make_menu(tb, &tb->_check_bitmap);
  if (!menu) return;
  tmenu_set_on_popup(menu, fill_style_menu);
  tmenu_set_on_select(menu, on_style_selected);
  tmenu_popup(menu, x, y);
}

int textbar_draw_text_record(paint_context *pc, const uint8_t *record, int32_t size, double scale) {
  PORT_CHECK(pc != nullptr);
  if (!record || size < TEXTBAR_RECORD_HEAD + 2) return 0;
  int32_t n = int32_t(tfile_get_u32(record + AT_LENGTH));
  if (n < 0 || (int64_t(n) + k_record_extra_units) * 2 != size) return 0;
  char16_t face[TEXTBAR_FACE_UNITS];
  int32_t face_end = -1;
  for (int32_t i = 0; i < TEXTBAR_FACE_UNITS; i++) {
    face[i] = char16_t(tfile_get_u16(record + AT_FACE + 2 * i));
    if (!face[i] && face_end < 0) face_end = i;
  }
  if (face_end < 0) return 0;
  if (!std::isfinite(scale) || scale <= 0) return 0;
  int32_t offset_x, offset_y, font_size, corners[4];
  if (!imagebar_scale_coordinate(int32_t(tfile_get_u32(record + AT_OFFSET_X)), scale, &offset_x) ||
      !imagebar_scale_coordinate(int32_t(tfile_get_u32(record + AT_OFFSET_Y)), scale, &offset_y) ||
      !imagebar_scale_coordinate(int32_t(tfile_get_u32(record + AT_FONT_SIZE)), scale, &font_size))
    return 0;
  for (int i = 0; i < 4; i++)
    if (!imagebar_scale_coordinate(int32_t(tfile_get_u32(record + AT_BOX + 4 * i)), scale, &corners[i])) return 0;
  int64_t font_cap = k_font_box_multiple * std::max<int64_t>(int64_t(corners[3]) - corners[1] + 1, 0);
  font_size = int32_t(std::clamp<int64_t>(font_size, -font_cap, font_cap));
  tbitmap *bitmap = paint_context_get_canvas(pc);
  if (!bitmap) return 0;
  std::u16string text;
  for (int32_t i = 0; i < n; i++) {
    char16_t unit = char16_t(tfile_get_u16(record + TEXTBAR_RECORD_HEAD + 2 * i));
    if (!unit) break;
    text.push_back(unit);
  }

  const ttdrawer *model = tstyler_get_default_tdrawer();
  ttdrawer *drawer = model ? ttdrawer_copy(model) : ttdrawer_new_default();
  if (!drawer) return 0;
  ttdrawer_set_alignment(drawer, tfile_get_u32(record + AT_ALIGNMENT));
  ttdrawer_set_offset_x(drawer, offset_x);
  ttdrawer_set_offset_y(drawer, offset_y);
  ttdrawer_set_font_size(drawer, font_size);
  ttdrawer_set_font_face(drawer, face);
  ttdrawer_set_font_style(drawer, tfile_get_u32(record + AT_STYLE));
  const uint8_t *c = record + AT_COLOR;
  ttdrawer_set_color(drawer, c[3] ? tcolor_rgba(c[2], c[1], c[0], c[3]) : tcolor_rgba(c[0], c[1], c[2], 255));

  // The text writes the pixels cairo wraps: cairo lets go of them first and
  // takes them back after.
  cairo_t *cr = paint_context_get_cairo(pc);
  if (cr) cairo_surface_flush(cairo_get_target(cr));
  tcanvas canvas;
  tcanvas_init_on_bitmap(&canvas, bitmap);
  trect box = {corners[0], corners[1], corners[2], corners[3]};
  tcanvas_set_clip(&canvas, &box);
  ttdrawer_draw(drawer, &canvas, text.c_str(), int32_t(text.size()), &box);
  tcanvas_clear_clip(&canvas);
  tcanvas_deinit(&canvas);
  if (cr) cairo_surface_mark_dirty(cairo_get_target(cr));
  ttdrawer_free(drawer);
  return 1;
}

namespace {

textbar *owner_of(tdock *dock) { return static_cast<textbar *>(tsurface_get_owner(&dock->_control._surface)); }

// The corner square opens the style menu, the rest of the left and top
// frame drags; the edit and the right frame do not.
int can_drag(tdock *dock, int32_t x, int32_t y) {
  int32_t corner = imagebar_corner_size();
  if (x >= corner) return 0;
  if (y > corner) return 1;
  trect on_screen;
  tsurface_get_screen_rect(&dock->_control._surface, &on_screen);
  textbar_show_style_menu(owner_of(dock), on_screen.x1 + x, on_screen.y1 + y);
  return 0;
}

tcontrol *child_at(tdock *dock, int32_t index) {
  return index == 0 ? &owner_of(dock)->_edit->_control : nullptr;
}

int on_key(tdock *dock, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  return tcontrol_handle_key(&owner_of(dock)->_edit->_control, code, repeat, modifiers);
}

void draw_frame(tbdrawer *drawer, tcanvas *canvas, const trect *rect) {
  textbar *tb = static_cast<textbar *>(tbdrawer_get_user_data(drawer));
  if (tb->_frame_draw) tb->_frame_draw(drawer, canvas, rect);
  imagebar_draw_decoration(canvas, rect);
}

void draw_edit_background(tbdrawer *drawer, tcanvas *canvas, const trect *rect) {
  textbar *tb = static_cast<textbar *>(tbdrawer_get_user_data(drawer));
  imagebar_draw_snapshot(tb->_snapshot, &tb->_edit->_control, canvas, rect);
}

void fill_style_menu(tmenu *menu, int32_t, int32_t) {
  textbar *tb = static_cast<textbar *>(tsurface_get_owner(&menu->_control._surface));
  uint32_t style = ttdrawer_get_font_style(tedit_get_text_drawer(tb->_edit));
  for (int32_t i = 0; i < k_style_items; i++) {
    char16_t row[64];
    const char16_t *format = tresource_get_string(k_style_text_ids[i], k_style_texts[i]);
    twformat(row, sizeof row / sizeof row[0], format, style & (1u << i) ? 0 : -1);
    tmenu_add_item(menu, row, uint32_t(i + 1), 0, 0, tb);
  }
}

void on_style_selected(uint32_t id, void *user_data) {
  textbar *tb = static_cast<textbar *>(user_data);
  if (!tb || id < 1 || id > uint32_t(k_style_items)) return;
  uint32_t bit = 1u << (id - 1);
  ttdrawer *normal = tedit_get_text_drawer(tb->_edit), *selected = tedit_get_selected_text_drawer(tb->_edit);
  ttdrawer_set_font_style(normal, ttdrawer_get_font_style(normal) ^ bit);
  ttdrawer_set_font_style(selected, ttdrawer_get_font_style(selected) ^ bit);
  tcontrol_layout(&tb->_edit->_control, tsurface_get_rect(&tb->_edit->_control._surface));
}

}  // namespace
