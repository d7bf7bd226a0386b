// tadvcolordialog: the RGB dialog: gradient sliders, values and preview.
#include "tadvcolordialog.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "port_log.h"
#include "tdialog.h"
#include "tedit.h"
#include "tform.h"
#include "tlabel.h"
#include "tprogressbar.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"

namespace {

enum {
  k_margin = 0,
  k_bar_top = 1,
  k_bar_height = 2,
  k_bar_gap = 3,
  k_label_width = 4,
  k_label_height = 5,
  k_rows_gap = 6,
  k_label_gap = 7,
  k_edit_width = 8,
  k_edit_height = 9,
  k_edit_gap = 10,
  k_preview_top_gap = 11,
  k_preview_left_gap = 12,
};
constexpr int32_t k_layout_defaults[TADVCOLORDIALOG_LAYOUT_VALUES] = {5, 5, 30, 8, 60, 20, 10, 5, 40, 20, 5, 10, 10};

struct channel_text {
  int32_t id;
  const char16_t *text;
};
constexpr channel_text k_names[TADVCOLORDIALOG_CHANNELS] = {{12, u"Red:"}, {13, u"Green:"}, {14, u"Blue:"}};

// No ramp painted yet: never equal to a colour of 24 bits.
constexpr uint32_t k_no_ramp = 0xFFFFFFFFu;
// The marker: a line at the fill edge and two triangles pointing at it.
constexpr tcolor k_marker_light = tcolor_rgba(255, 255, 255, 128);
constexpr tcolor k_marker_dark = tcolor_rgba(0, 0, 0, 128);
constexpr int32_t k_triangle_length = 10;
constexpr int32_t k_triangle_half_base = 5;

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }
uint32_t channel_mask(int c) { return 0xFFu << (8 * c); }
int32_t channel_of(uint32_t color, int c) { return int32_t(color >> (8 * c) & 0xFF); }

int make_parts(tadvcolordialog *adv);
int add_part(tadvcolordialog *adv, void *part, int32_t *id);
void show_value(tadvcolordialog *adv, int c);
bool ramp_ready(tadvcolordialog *adv, int c, int32_t width);
void draw_ramp(tbdrawer *drawer, tcanvas *canvas, const trect *rect);
void draw_marker(tbdrawer *drawer, tcanvas *canvas, const trect *filled);
template <typename Handle>
int handle_quietly(tcontrol *bar, Handle handle);
int on_bar_pen(tcontrol *bar, int type, int32_t x, int32_t y, uint32_t modifiers);
int on_bar_key(tcontrol *bar, uint32_t code, uint32_t repeat, uint32_t modifiers);
void on_bar_change(tprogressbar *bar, int32_t percent);
void free_parts(tdialog *dialog, void *owner);
void on_dialog_result(int32_t result, void *owner);

}  // namespace

tadvcolordialog *tadvcolordialog_new(const char16_t *title, int32_t width, uint32_t *color, void *user_data) {
  tadvcolordialog *adv = static_cast<tadvcolordialog *>(std::calloc(1, sizeof(tadvcolordialog)));
  if (!adv) return nullptr;
  adv->_color = color;
  adv->_current = color ? *color & 0xFFFFFFu : 0;
  std::fill(adv->_ramp_of, adv->_ramp_of + TADVCOLORDIALOG_CHANNELS, k_no_ramp);
  adv->_user_data = user_data;
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  adv->_width = width == -1 ? std::min(screen_width, screen_height) : width;
  std::copy(k_layout_defaults, k_layout_defaults + TADVCOLORDIALOG_LAYOUT_VALUES, adv->_layout);
  tstyler_apply(tstyler_get_default(), adv, TSTYLE_ADVCOLORDIALOG_BEFORE, user_data, 0);

  adv->_dialog = tdialog_new(title, adv);
  if (!adv->_dialog) {
    std::free(adv);
    return nullptr;
  }
  tdialog *dialog = adv->_dialog;
  tdialog_set_on_free(dialog, free_parts);
  tcontrol_set_width(tdialog_get_panel(dialog), adv->_width);
  tform_set_vdrag_locked(tdialog_get_form(dialog), 1);
  tform_set_hdrag_locked(tdialog_get_form(dialog), 1);
  tdialog_set_on_result(dialog, on_dialog_result);
  if (!make_parts(adv)) {
    tdialog_free(dialog);
    std::free(adv);
    return nullptr;
  }
  tstyler_apply(tstyler_get_default(), adv, TSTYLE_ADVCOLORDIALOG, user_data, 0);
  return adv;
}

void tadvcolordialog_show(tadvcolordialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tdialog_show(dialog->_dialog, x, y, dialog->_width, -1, mode);
}

tadvcolordialog_result_fn tadvcolordialog_set_on_result(tadvcolordialog *dialog, tadvcolordialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  tadvcolordialog_result_fn previous = dialog->_on_result;
  dialog->_on_result = fn;
  return previous;
}

tdialog *tadvcolordialog_get_dialog(const tadvcolordialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_dialog;
}

void tadvcolordialog_set_layout(tadvcolordialog *dialog, int32_t index, int32_t value) {
  PORT_CHECK(dialog != nullptr);
  if (index >= 0 && index < TADVCOLORDIALOG_LAYOUT_VALUES) dialog->_layout[index] = value;
}

namespace {

// The three bars across the width, below them a label and a value edit per
// channel, and the preview right of the edits down to the last edit's
// bottom. 0 when a part cannot be made (what was made goes with the dialog).
int make_parts(tadvcolordialog *adv) {
  tcontrol *form = control_of(tdialog_get_form(adv->_dialog));
  const int32_t *layout = adv->_layout;
  const trect *client = tcontrol_get_client_rect(form);
  int32_t client_width = client->x2 - client->x1 + 1;
  int32_t margin = layout[k_margin], across = client_width - 2 * margin;
  int32_t id = 1;

  int32_t y = layout[k_bar_top];
  for (int c = 0; c < TADVCOLORDIALOG_CHANNELS; c++) {
    trect rect = {margin, y, margin + across - 1, y + layout[k_bar_height] - 1};
    tprogressbar *bar = tprogressbar_new(form, &rect, 0, adv);
    adv->_bars[c] = bar;
    if (!add_part(adv, bar, &id)) return 0;
    // Left and right only, as the colour dialog's label: a top anchor taken
    // before the form's first layout would move the bar down by its margin.
    tcontrol_set_anchors(control_of(bar), 1, 0, 1, 0);
    tprogressbar_set_interactive(bar, 1);
    tprogressbar_set_hide_text(bar, 1);
    tprogressbar_set_percent(bar, channel_of(adv->_current, c) * 100 / 255);
    tprogressbar_set_on_change(bar, on_bar_change);
    adv->_bar_pen = tcontrol_set_on_pen(control_of(bar), on_bar_pen);
    adv->_bar_key = tcontrol_set_on_key(control_of(bar), on_bar_key);
    tbdrawer *box = tcontrol_get_box_drawer(control_of(bar));
    tbdrawer_set_fill_none(box);
    tbdrawer_set_user_data(box, adv);
    tbdrawer_set_draw_func(box, draw_ramp);
    tbdrawer *marker = tprogressbar_get_bar_drawer(bar);
    tbdrawer_set_draw_func(marker, draw_marker);
    tbdrawer_set_always_draw(marker, 1);
    y = rect.y2 + 1 + layout[k_bar_gap];
  }
  int32_t below_bars = y - layout[k_bar_gap];

  int32_t edit_left = margin + layout[k_label_width];
  int32_t last_edit_bottom = below_bars;
  for (int c = 0; c < TADVCOLORDIALOG_CHANNELS; c++) {
    int32_t label_top = below_bars + layout[k_rows_gap] + c * (layout[k_label_height] + layout[k_label_gap]);
    trect label = {margin, label_top, edit_left - 1, label_top + layout[k_label_height] - 1};
    const char16_t *name = tresource_get_string(k_names[c].id, k_names[c].text);
    adv->_labels[c] = tlabel_new(form, &label, name, -1, TLABEL_LEFT, adv);
    if (!add_part(adv, adv->_labels[c], &id)) return 0;
    tlabel_set_transparent(adv->_labels[c], 1);

    int32_t edit_top = below_bars + layout[k_rows_gap] + c * (layout[k_edit_height] + layout[k_edit_gap]);
    trect edit = {edit_left, edit_top, edit_left + layout[k_edit_width] - 1, edit_top + layout[k_edit_height] - 1};
    adv->_edits[c] = tedit_new(form, &edit, u"", 0, adv);
    if (!add_part(adv, adv->_edits[c], &id)) return 0;
    tcontrol_set_enabled(control_of(adv->_edits[c]), 0);
    show_value(adv, c);
    last_edit_bottom = edit.y2;
  }

  int32_t preview_left = edit_left + layout[k_edit_width] + layout[k_preview_left_gap];
  trect preview = {preview_left, below_bars + layout[k_preview_top_gap],
                   std::max(preview_left - 1, margin + across - 1), last_edit_bottom};
  adv->_preview = tcontrol_new(form, &preview, adv);
  if (!add_part(adv, adv->_preview, &id)) return 0;
  tbdrawer_set_fill_color(tcontrol_get_box_drawer(adv->_preview), tcolor_of_key(adv->_current));
  return 1;
}

// 0 when the part was not made or the form cannot hold it.
int add_part(tadvcolordialog *adv, void *part, int32_t *id) {
  if (!part) return 0;
  return tform_add_child(tdialog_get_form(adv->_dialog), (*id)++, control_of(part));
}

// The channel's value as "%d" in its edit (repainted by the caller).
void show_value(tadvcolordialog *adv, int c) {
  std::string digits = std::to_string(channel_of(adv->_current, c));
  std::u16string text(digits.begin(), digits.end());
  tedit_set_text(adv->_edits[c], text.c_str(), int32_t(text.size()));
}

// Bar c ramps its own channel from 0 to 255 with the other two as they are
// now. Its row is painted again only when one of those two has changed, so
// the bar being dragged keeps it. False when no row can be had.
bool ramp_ready(tadvcolordialog *adv, int c, int32_t width) {
  uint32_t mask = channel_mask(c), others = adv->_current & ~mask;
  tbitmap *&ramp = adv->_ramps[c];
  if (ramp && tbitmap_get_width(ramp) == width && (adv->_ramp_of[c] & ~mask) == others) return true;
  if (ramp && tbitmap_get_width(ramp) != width) {
    tbitmap_free(ramp);
    ramp = nullptr;
  }
  if (!ramp) ramp = tbitmap_new(width, 1, 32);
  if (!ramp) return false;
  tbdrawer_paint_gradient(ramp, 1, others, others | mask, 0, width, 255);
  adv->_ramp_of[c] = adv->_current;
  return true;
}

// A bar's background: its ramp copied down every row (each column is one
// colour), then the drawer's border over it.
void draw_ramp(tbdrawer *drawer, tcanvas *canvas, const trect *rect) {
  tadvcolordialog *adv = static_cast<tadvcolordialog *>(tbdrawer_get_user_data(drawer));
  int c = 0;
  while (c < TADVCOLORDIALOG_CHANNELS && adv->_bars[c] && tcontrol_get_box_drawer(control_of(adv->_bars[c])) != drawer)
    c++;
  int32_t width = rect->x2 - rect->x1 + 1;
  if (c < TADVCOLORDIALOG_CHANNELS && adv->_bars[c] && width > 0 && ramp_ready(adv, c, width)) {
    const trect row = {0, 0, width - 1, 0};
    for (int32_t y = rect->y1; y <= rect->y2; y++) {
      const tpoint at = {rect->x1, y};
      tcanvas_draw_bitmap(canvas, &at, adv->_ramps[c], &row);
    }
  }
  tbdrawer_draw_standard(drawer, canvas, rect);
}

// The bar's filled part draws only the marker at its right edge (left of the
// bar at 0 per cent: the light triangle still shows there).
void draw_marker(tbdrawer *drawer, tcanvas *canvas, const trect *filled) {
  (void)drawer;
  int32_t x = filled->x2, middle = filled->y1 + (filled->y2 - filled->y1) / 2;
  tcanvas_draw_line_color(canvas, x, filled->y1, x, filled->y2, tcolor_to_word(&k_marker_light));
  const tpoint dark[] = {{x, middle},
                         {x - k_triangle_length, middle - k_triangle_half_base},
                         {x - k_triangle_length, middle + k_triangle_half_base}};
  const tpoint light[] = {{x + 1, middle},
                          {x + 1 + k_triangle_length, middle - k_triangle_half_base},
                          {x + 1 + k_triangle_length, middle + k_triangle_half_base}};
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, tcolor_to_word(&k_marker_dark));
  tcanvas_fill_polygon(canvas, dark, 3);
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, tcolor_to_word(&k_marker_light));
  tcanvas_fill_polygon(canvas, light, 3);
}

// A bar's own handler shows its new percent by itself before it reports the
// change; here that stays in the bar's buffer, and once the handler is done
// the form brings the bars, the value and the preview to the screen in one
// paint.
template <typename Handle>
int handle_quietly(tcontrol *bar, Handle handle) {
  tadvcolordialog *adv = static_cast<tadvcolordialog *>(tsurface_get_owner(&bar->_surface));
  tscreen *screen = tscreen_get();
  uint32_t lock = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  // Locked, a direct update stops at the bar's own buffer.
  tsurface_set_update_mode(&bar->_surface, 1, 0);
  adv->_changed = 0;
  int taken = handle(adv);
  tsurface_set_update_mode(&bar->_surface, 0, 0);
  tscreen_set_update_lock(screen, lock);
  if (adv->_changed) tsurface_update(surface_of(tdialog_get_form(adv->_dialog)), nullptr);
  return taken;
}

int on_bar_pen(tcontrol *bar, int type, int32_t x, int32_t y, uint32_t modifiers) {
  return handle_quietly(bar, [&](tadvcolordialog *adv) { return adv->_bar_pen(bar, type, x, y, modifiers); });
}

int on_bar_key(tcontrol *bar, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  return handle_quietly(bar, [&](tadvcolordialog *adv) { return adv->_bar_key(bar, code, repeat, modifiers); });
}

// The bar's channel follows it; the other bars' ramps, the value and the
// preview follow the channel, each redrawn in its own buffer (the form shows
// them when the bar's handler is done).
void on_bar_change(tprogressbar *bar, int32_t percent) {
  tadvcolordialog *adv = static_cast<tadvcolordialog *>(tsurface_get_owner(surface_of(bar)));
  int c = int(std::find(adv->_bars, adv->_bars + TADVCOLORDIALOG_CHANNELS, bar) - adv->_bars);
  if (c == TADVCOLORDIALOG_CHANNELS) return;
  uint32_t value = uint32_t(percent * 255 / 100);
  adv->_current = (adv->_current & ~channel_mask(c)) | value << (8 * c);
  for (tprogressbar *each : adv->_bars) tsurface_paint(surface_of(each));
  show_value(adv, c);
  tsurface_paint(surface_of(adv->_edits[c]));
  tbdrawer_set_fill_color(tcontrol_get_box_drawer(adv->_preview), tcolor_of_key(adv->_current));
  tsurface_paint(surface_of(adv->_preview));
  adv->_changed = 1;
}

// The dialog is being freed: its form still holds the parts.
void free_parts(tdialog *dialog, void *owner) {
  (void)dialog;
  tadvcolordialog *adv = static_cast<tadvcolordialog *>(owner);
  for (int c = 0; c < TADVCOLORDIALOG_CHANNELS; c++) {
    if (adv->_bars[c]) tprogressbar_free(adv->_bars[c]);
    if (adv->_labels[c]) tlabel_free(adv->_labels[c]);
    if (adv->_edits[c]) tedit_free(adv->_edits[c]);
    if (adv->_ramps[c]) tbitmap_free(adv->_ramps[c]);
    adv->_bars[c] = nullptr;
    adv->_labels[c] = nullptr;
    adv->_edits[c] = nullptr;
    adv->_ramps[c] = nullptr;
  }
  if (adv->_preview) tcontrol_free(adv->_preview);
  adv->_preview = nullptr;
}

// The dialog is gone; OK writes the caller's word, the record goes next and
// the owner hears last.
void on_dialog_result(int32_t result, void *owner) {
  tadvcolordialog *adv = static_cast<tadvcolordialog *>(owner);
  if (result == TDIALOG_RESULT_OK && adv->_color) *adv->_color = adv->_current;
  tadvcolordialog_result_fn on_result = adv->_on_result;
  void *user_data = adv->_user_data;
  std::free(adv);
  if (on_result) on_result(result, user_data);
}

}  // namespace
