// tcolordialog: the colour picker with its recent row and palette.
#include "tcolordialog.h"

#include <algorithm>
#include <cstdlib>

#include "port_log.h"
#include "tadvcolordialog.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tform.h"
#include "tlabel.h"
#include "tresource.h"
#include "tscreen.h"
#include "tseperator.h"
#include "tstyler.h"

namespace {

enum {
  k_margin = 0,
  k_label_top = 1,
  k_label_height = 2,
  k_label_gap = 3,
  k_swatch_gap = 4,
  k_row_gap = 5,
  k_separator_gap = 6,
  k_more_gap = 7,
};
constexpr int32_t k_layout_defaults[TCOLORDIALOG_LAYOUT_VALUES] = {5, 5, 20, 5, 5, 8, 8, 5, 25};
constexpr int32_t k_columns = 8;
constexpr int32_t k_rows = TCOLORDIALOG_PALETTE / k_columns;
constexpr int32_t k_separator_height = 2;
// The "More Colors..." button is this much higher than a swatch.
constexpr int32_t k_more_extra_height = 4;
constexpr intptr_t k_more_user_data = 1;

// Row by row. Magenta is stored with green 1: pure (255, 0, 255) is the key
// colour of the toolkit's see-through surfaces.
constexpr uint32_t k_palette[TCOLORDIALOG_PALETTE] = {
    tcolor_key_rgb(0, 0, 0),       tcolor_key_rgb(153, 51, 0),    tcolor_key_rgb(51, 51, 0),
    tcolor_key_rgb(0, 51, 0),      tcolor_key_rgb(0, 51, 102),    tcolor_key_rgb(0, 0, 128),
    tcolor_key_rgb(51, 51, 153),   tcolor_key_rgb(51, 51, 51),

    tcolor_key_rgb(128, 0, 0),     tcolor_key_rgb(255, 102, 0),   tcolor_key_rgb(128, 128, 0),
    tcolor_key_rgb(0, 128, 0),     tcolor_key_rgb(0, 128, 128),   tcolor_key_rgb(0, 0, 255),
    tcolor_key_rgb(102, 102, 153), tcolor_key_rgb(128, 128, 128),

    tcolor_key_rgb(255, 0, 0),     tcolor_key_rgb(255, 153, 0),   tcolor_key_rgb(153, 204, 0),
    tcolor_key_rgb(51, 153, 102),  tcolor_key_rgb(51, 204, 204),  tcolor_key_rgb(51, 102, 255),
    tcolor_key_rgb(128, 0, 128),   tcolor_key_rgb(153, 153, 153),

    tcolor_key_rgb(255, 1, 255),   tcolor_key_rgb(255, 204, 0),   tcolor_key_rgb(255, 255, 0),
    tcolor_key_rgb(0, 255, 0),     tcolor_key_rgb(0, 255, 255),   tcolor_key_rgb(0, 204, 255),
    tcolor_key_rgb(153, 51, 102),  tcolor_key_rgb(192, 192, 192),

    tcolor_key_rgb(255, 153, 204), tcolor_key_rgb(255, 204, 153), tcolor_key_rgb(255, 255, 153),
    tcolor_key_rgb(204, 255, 204), tcolor_key_rgb(204, 255, 255), tcolor_key_rgb(153, 204, 255),
    tcolor_key_rgb(204, 153, 255), tcolor_key_rgb(255, 255, 255),
};
constexpr uint32_t k_empty_slot = tcolor_key_rgb(255, 255, 255);
constexpr tcolor k_swatch_edge = tcolor_rgba(64, 64, 64);
constexpr tcolor k_swatch_edge_active = tcolor_rgba(0, 0, 0);

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }
tcolordialog *owner_of(void *widget) { return static_cast<tcolordialog *>(tsurface_get_owner(surface_of(widget))); }
int32_t recent_count_of(const tcolordialog *cd);

int make_parts(tcolordialog *cd);
int add_part(tcolordialog *cd, void *part, int32_t *id);
tbutton *new_swatch(tcolordialog *cd, int32_t x, int32_t y, int32_t cell, uint32_t color);
void skip_caption(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default);
void remember_picked(tcolordialog *cd);
void free_parts(tdialog *dialog, void *owner);
void on_swatch_click(tbutton *button, intptr_t color);
void on_more_click(tbutton *button, intptr_t user_data);
void on_more_result(int32_t result, void *owner);
void on_dialog_result(int32_t result, void *owner);

}  // namespace

tcolordialog *tcolordialog_new(const char16_t *title, int32_t width, uint32_t *color, uint32_t *recent_colors,
                               int32_t *recent_count, void *user_data) {
  tcolordialog *cd = static_cast<tcolordialog *>(std::calloc(1, sizeof(tcolordialog)));
  if (!cd) return nullptr;
  cd->_color = color;
  cd->_picked = color ? *color : 0;
  cd->_recent_colors = recent_colors;
  cd->_recent_count = recent_count;
  cd->_user_data = user_data;
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  cd->_width = width == -1 ? std::min(screen_width, screen_height) : width;
  std::copy(k_layout_defaults, k_layout_defaults + TCOLORDIALOG_LAYOUT_VALUES, cd->_layout);
  tstyler_apply(tstyler_get_default(), cd, TSTYLE_COLORDIALOG_BEFORE, user_data, 0);

  cd->_dialog = tdialog_new(title, cd);
  if (!cd->_dialog) {
    std::free(cd);
    return nullptr;
  }
  tdialog *dialog = cd->_dialog;
  tdialog_set_on_free(dialog, free_parts);
  tcontrol_set_width(tdialog_get_panel(dialog), cd->_width);
  tform_set_vdrag_locked(tdialog_get_form(dialog), 1);
  tform_set_hdrag_locked(tdialog_get_form(dialog), 1);
  tdialog_set_on_result(dialog, on_dialog_result);
  tsurface_set_visible(surface_of(tcontrolbar_get_left_button(tdialog_get_controlbar(dialog))), 0);
  if (!make_parts(cd)) {
    tdialog_free(dialog);
    std::free(cd);
    return nullptr;
  }
  tstyler_apply(tstyler_get_default(), cd, TSTYLE_COLORDIALOG, user_data, 0);
  return cd;
}

void tcolordialog_show(tcolordialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tdialog_show(dialog->_dialog, x, y, dialog->_width, -1, mode);
}

tcolordialog_result_fn tcolordialog_set_on_result(tcolordialog *dialog, tcolordialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  tcolordialog_result_fn previous = dialog->_on_result;
  dialog->_on_result = fn;
  return previous;
}

tcolordialog_more_fn tcolordialog_set_on_more_colors(tcolordialog *dialog, tcolordialog_more_fn fn) {
  PORT_CHECK(dialog != nullptr);
  tcolordialog_more_fn previous = dialog->_on_more_colors;
  dialog->_on_more_colors = fn;
  return previous;
}

tdialog *tcolordialog_get_dialog(const tcolordialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_dialog;
}

tbutton *tcolordialog_get_more_button(const tcolordialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_more;
}

void tcolordialog_set_layout(tcolordialog *dialog, int32_t index, int32_t value) {
  PORT_CHECK(dialog != nullptr);
  if (index >= 0 && index < TCOLORDIALOG_LAYOUT_VALUES) dialog->_layout[index] = value;
}

namespace {

// The caller's count comes from a settings file: only 0..8 of it is used.
int32_t recent_count_of(const tcolordialog *cd) {
  if (!cd->_recent_colors || !cd->_recent_count) return 0;
  return std::clamp(*cd->_recent_count, 0, TCOLORDIALOG_RECENT);
}

// Label, recent row, separator, palette and "More Colors..." in the form,
// top to bottom; the swatch grid is centred. 0 when a part cannot be made
// (what was made goes with the dialog).
int make_parts(tcolordialog *cd) {
  tcontrol *form = control_of(tdialog_get_form(cd->_dialog));
  int32_t *layout = cd->_layout;
  const trect *client = tcontrol_get_client_rect(form);
  int32_t client_width = client->x2 - client->x1 + 1;
  int32_t gap = layout[k_swatch_gap];
  int32_t cell = std::max(1, (client_width - 2 * layout[k_margin]) / k_columns - gap);
  layout[k_margin] = (client_width - k_columns * cell - (k_columns - 1) * gap) / 2;
  int32_t margin = layout[k_margin], across = client_width - 2 * margin;
  int32_t id = 1;

  trect label = {margin, layout[k_label_top], margin + across - 1, layout[k_label_top] + layout[k_label_height] - 1};
  cd->_label = tlabel_new(form, &label, tresource_get_string(10, u"Recent Colors"), -1, TLABEL_LEFT, cd);
  if (!add_part(cd, cd->_label, &id)) return 0;
  tlabel_set_transparent(cd->_label, 1);
  // Stretched with the form when showing narrows the dialog to fit the
  // screen. Its top stays where it was put: the form's top margin applies at
  // its first layout, after this, and a top anchor taken now would move the
  // label down by it.
  tcontrol_set_anchors(control_of(cd->_label), 1, 0, 1, 0);

  int32_t y = label.y2 + 1 + layout[k_label_gap];
  int32_t count = recent_count_of(cd);
  for (int32_t i = 0; i < TCOLORDIALOG_RECENT; i++) {
    uint32_t color = i < count ? cd->_recent_colors[i] : k_empty_slot;
    cd->_recent[i] = new_swatch(cd, margin + i * (cell + gap), y, cell, color);
    if (!add_part(cd, cd->_recent[i], &id)) return 0;
    if (i >= count) tcontrol_set_enabled(control_of(cd->_recent[i]), 0);
  }

  y += cell + layout[k_row_gap];
  trect line = {margin, y, margin + across - 1, y + k_separator_height - 1};
  cd->_separator = tseperator_new(form, &line, 0, cd);
  if (!add_part(cd, cd->_separator, &id)) return 0;

  y += k_separator_height + layout[k_separator_gap];
  for (int32_t i = 0; i < TCOLORDIALOG_PALETTE; i++) {
    int32_t row = i / k_columns, column = i % k_columns;
    cd->_palette[i] = new_swatch(cd, margin + column * (cell + gap), y + row * (cell + gap), cell, k_palette[i]);
    if (!add_part(cd, cd->_palette[i], &id)) return 0;
  }

  y += k_rows * cell + (k_rows - 1) * gap + layout[k_more_gap];
  trect more = {margin, y, margin + across - 1, y + cell + k_more_extra_height - 1};
  cd->_more = tbutton_new(form, &more, tresource_get_string(11, u"More Colors..."), k_more_user_data, cd);
  if (!add_part(cd, cd->_more, &id)) return 0;
  tbutton_set_on_click(cd->_more, on_more_click);
  return 1;
}

// 0 when the part was not made or the form cannot hold it.
int add_part(tcolordialog *cd, void *part, int32_t *id) {
  if (!part) return 0;
  return tform_add_child(tdialog_get_form(cd->_dialog), (*id)++, control_of(part));
}

// A captionless button whose four frames are the colour, edged in dark grey
// (black while pressed or focused); its user data is the colour.
tbutton *new_swatch(tcolordialog *cd, int32_t x, int32_t y, int32_t cell, uint32_t color) {
  trect rect = {x, y, x + cell - 1, y + cell - 1};
  tbutton *swatch = tbutton_new(control_of(tdialog_get_form(cd->_dialog)), &rect, u"", intptr_t(color), cd);
  if (!swatch) return nullptr;
  struct frame {
    tbdrawer *drawer;
    tcolor edge;
  };
  const frame frames[] = {{tbutton_get_box_drawer(swatch), k_swatch_edge},
                          {tbutton_get_disabled_box_drawer(swatch), k_swatch_edge},
                          {tbutton_get_focused_box_drawer(swatch), k_swatch_edge_active},
                          {tbutton_get_pressed_box_drawer(swatch), k_swatch_edge_active}};
  for (const frame &f : frames) {
    tbdrawer_set_fill_solid(f.drawer);
    tbdrawer_set_fill_color(f.drawer, tcolor_of_key(color));
    tbdrawer_set_border(f.drawer, f.edge, 1);
  }
  tbutton_set_draw_hooks(swatch, nullptr, nullptr, skip_caption, nullptr);
  tbutton_set_on_click(swatch, on_swatch_click);
  return swatch;
}

// A swatch has no caption: no text pass is opened for it.
void skip_caption(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default) {
  (void)button;
  (void)canvas;
  (void)rect;
  *draw_default = 0;
}

// The picked colour goes to the front of the caller's recent list: moved up
// from where it stands among the first count entries, or pushed in, the
// last entry falling off a full list.
void remember_picked(tcolordialog *cd) {
  if (cd->_color) *cd->_color = cd->_picked;
  if (!cd->_recent_colors || !cd->_recent_count) return;
  uint32_t *recent = cd->_recent_colors;
  int32_t count = recent_count_of(cd);
  int32_t at = int32_t(std::find(recent, recent + count, cd->_picked) - recent);
  if (at == count) {
    count = std::min(count + 1, TCOLORDIALOG_RECENT);
    at = count - 1;
  }
  std::copy_backward(recent, recent + at, recent + at + 1);
  recent[0] = cd->_picked;
  *cd->_recent_count = count;
}

// The dialog is being freed: its form still holds the parts.
void free_parts(tdialog *dialog, void *owner) {
  (void)dialog;
  tcolordialog *cd = static_cast<tcolordialog *>(owner);
  for (tbutton *&swatch : cd->_recent) {
    if (swatch) tbutton_free(swatch);
    swatch = nullptr;
  }
  for (tbutton *&swatch : cd->_palette) {
    if (swatch) tbutton_free(swatch);
    swatch = nullptr;
  }
  if (cd->_more) tbutton_free(cd->_more);
  if (cd->_separator) tseperator_free(cd->_separator);
  if (cd->_label) tlabel_free(cd->_label);
  cd->_more = nullptr;
  cd->_separator = nullptr;
  cd->_label = nullptr;
}

void on_swatch_click(tbutton *button, intptr_t color) {
  tcolordialog *cd = owner_of(button);
  cd->_picked = uint32_t(color);
  tdialog_close(cd->_dialog, TDIALOG_RESULT_OK);
}

// The RGB dialog works on the picked colour, where and as this dialog was
// asked to show unless the hook moves it.
void on_more_click(tbutton *button, intptr_t user_data) {
  (void)user_data;
  tcolordialog *cd = owner_of(button);
  tdialog *dialog = cd->_dialog;
  int32_t x = dialog->_place_x, y = dialog->_place_y, mode = tdialog_get_placement(dialog);
  tadvcolordialog *rgb = tadvcolordialog_new(tresource_get_string(15, u"More Colors"), cd->_width, &cd->_picked, cd);
  if (!rgb) return;
  tadvcolordialog_set_on_result(rgb, on_more_result);
  tdialog_set_dimmed(tadvcolordialog_get_dialog(rgb), tdialog_is_dimmed(dialog));
  if (cd->_on_more_colors) cd->_on_more_colors(cd, &x, &y, &mode);
  tadvcolordialog_show(rgb, x, y, mode);
}

// OK in the RGB dialog picks its colour here too; after Cancel this dialog
// has the input again, as the one the RGB dialog covered.
void on_more_result(int32_t result, void *owner) {
  tcolordialog *cd = static_cast<tcolordialog *>(owner);
  if (result == TDIALOG_RESULT_OK) tdialog_close(cd->_dialog, TDIALOG_RESULT_OK);
}

// The dialog is gone; the caller's words are written, the record goes next
// and the owner hears last.
void on_dialog_result(int32_t result, void *owner) {
  tcolordialog *cd = static_cast<tcolordialog *>(owner);
  if (result == TDIALOG_RESULT_OK) remember_picked(cd);
  tcolordialog_result_fn on_result = cd->_on_result;
  void *user_data = cd->_user_data;
  std::free(cd);
  if (on_result) on_result(result, user_data);
}

}  // namespace
