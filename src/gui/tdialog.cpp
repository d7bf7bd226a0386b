// tdialog: the modal window: building, placement, showing, input, closing.
#include "tdialog.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "port_log.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tform.h"
#include "tresource.h"
#include "tscreen.h"
#include "tstyler.h"
#include "ttitlebar.h"

namespace {

constexpr int32_t k_inset = 3;
constexpr int32_t k_form_margin = 3;
constexpr int32_t k_button_gap = 10;
constexpr int32_t k_button_width = 55;
constexpr int32_t k_button_height = 22;
constexpr int32_t k_title_height = 25;
// The panel's frame and what lets everything but the panel and the bar show
// through the dialog. The bar is opaque: what lay under a hidden soft key or
// the unused middle would look like a key of this dialog.
constexpr tcolor k_frame_light = tcolor_rgba(128, 128, 128);
constexpr tcolor k_frame_dark = tcolor_rgba(0, 0, 0);
constexpr tcolor k_see_through = tcolor_rgba(221, 0, 221);
constexpr tcolor k_bar_fill = tcolor_rgba(64, 64, 64);
// What lies behind a dimmed dialog is darkened by a quarter.
constexpr uint32_t k_dim_word = 0x40000000;
// tdialog_close_all closes what was open and at most this many more that
// result callbacks show while it runs.
constexpr size_t k_close_all_extra = 64;

// The dialogs shown and not yet freed, oldest first (GUI thread only).
std::vector<tdialog *> g_open;

tdialog *dialog_of(tcontrol *control) { return reinterpret_cast<tdialog *>(control); }
tsurface *surface_of(tcontrol *control) { return &control->_surface; }
tsurface *bar_surface(const tdialog *dialog) { return &reinterpret_cast<tcontrol *>(dialog->_controlbar)->_surface; }
int32_t width_of(const trect &r) { return r.x2 - r.x1 + 1; }
int32_t height_of(const trect &r) { return r.y2 - r.y1 + 1; }
// Right and bottom edges excluded, as every inside test of the dialog.
bool inside(const trect &r, int32_t x, int32_t y) { return x >= r.x1 && x < r.x2 && y >= r.y1 && y < r.y2; }

int build_parts(tdialog *dialog, const char16_t *title);
void screen_rect(trect *out);
void form_rect_below_title(const tdialog *dialog, trect *out);
int32_t form_content_height(const tdialog *dialog);
void follow_screen_orientation(tdialog *dialog, const trect *rect);
void place(tdialog *dialog, int32_t x, int32_t y, int32_t width, int32_t height, int32_t mode);
void fit(int32_t *position, int32_t *size, int32_t low, int32_t high, int32_t mode);

void on_layout(tcontrol *control, const trect *rect);
void on_panel_layout(tcontrol *panel, const trect *rect);
void on_backdrop(tsurface *surface, tcanvas *canvas, const trect *rect);
void on_compose(tsurface *surface, tcanvas *canvas, const trect *rect);
int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
int32_t count_children(tcontrol *control);
tcontrol *child_at(tcontrol *control, int32_t index);
int32_t count_panel_children(tcontrol *panel);
tcontrol *panel_child_at(tcontrol *panel, int32_t index);
void on_bar_click(tcontrolbar *bar, intptr_t result);
void on_added_button_click(tbutton *button, intptr_t result);

}  // namespace

int tdialog_init(tdialog *dialog, const char16_t *title, void *owner) {
  PORT_CHECK(dialog != nullptr);
  std::memset(dialog, 0, sizeof *dialog);
  // The compose hook before the size: the dialog never holds a buffer the
  // size of the screen.
  trect empty = {0, 0, -1, -1};
  if (!tcontrol_init(&dialog->_control, nullptr, &empty, owner)) return 0;
  tsurface_set_on_compose(surface_of(&dialog->_control), on_compose);
  tcontrol_set_align(&dialog->_control, TCONTROL_ALIGN_FILL);
  dialog->_inset_left = dialog->_inset_top = dialog->_inset_right = dialog->_inset_bottom = k_inset;
  dialog->_form_margin = k_form_margin;
  dialog->_button_gap = k_button_gap;
  dialog->_button_width = k_button_width;
  dialog->_button_height = k_button_height;
  dialog->_title_height = k_title_height;
  dialog->_place_x = dialog->_place_y = dialog->_place_width = dialog->_place_height = -1;
  tstyler_apply(tstyler_get_default(), dialog, TSTYLE_DIALOG_BEFORE, owner, 0);
  if (!build_parts(dialog, title)) {
    tdialog_deinit(dialog);
    return 0;
  }
  tcontrol *control = &dialog->_control;
  tsurface_set_on_backdrop(surface_of(control), on_backdrop);
  tbdrawer *fill = tcontrol_get_box_drawer(control);
  tbdrawer_set_fill_color(fill, k_see_through);
  tbdrawer_set_no_border(fill);
  tsurface_set_color_key(surface_of(control), k_see_through);
  tcontrol_set_on_layout(control, on_layout);
  tcontrol_set_children_fns(control, count_children, child_at);
  tcontrol_set_on_key(control, on_key);
  tcontrol_set_on_pen(control, on_pen);
  tstyler_apply(tstyler_get_default(), dialog, TSTYLE_DIALOG, owner, 0);
  return 1;
}

tdialog *tdialog_new(const char16_t *title, void *owner) {
  tdialog *dialog = static_cast<tdialog *>(std::calloc(1, sizeof(tdialog)));
  if (!dialog) return nullptr;
  if (!tdialog_init(dialog, title, owner)) {
    std::free(dialog);
    return nullptr;
  }
  return dialog;
}

// Children go before what they sit in: the owner's controls and the added
// buttons before the form, the form and title bar before the panel, the panel
// and bar before the dialog.
void tdialog_deinit(tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  if (dialog->_on_free) {
    tdialog_free_fn on_free = dialog->_on_free;
    dialog->_on_free = nullptr;
    on_free(dialog, tsurface_get_owner(surface_of(&dialog->_control)));
  }
  for (tbutton *&button : dialog->_buttons) {
    if (button) tbutton_free(button);
    button = nullptr;
  }
  if (dialog->_controlbar) tcontrolbar_free(dialog->_controlbar);
  if (dialog->_form) tform_free(dialog->_form);
  if (dialog->_titlebar) ttitlebar_free(dialog->_titlebar);
  if (dialog->_panel) tcontrol_free(dialog->_panel);
  dialog->_controlbar = nullptr;
  dialog->_form = nullptr;
  dialog->_titlebar = nullptr;
  dialog->_panel = nullptr;
  g_open.erase(std::remove(g_open.begin(), g_open.end(), dialog), g_open.end());
  tcontrol_deinit(&dialog->_control);
}

void tdialog_free(tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  tdialog_deinit(dialog);
  std::free(dialog);
}

int tdialog_show(tdialog *dialog, int32_t x, int32_t y, int32_t width, int32_t height, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  dialog->_place_x = x;
  dialog->_place_y = y;
  dialog->_place_width = width;
  dialog->_place_height = height;
  dialog->_place_mode = mode;
  follow_screen_orientation(dialog, tsurface_get_rect(surface_of(&dialog->_control)));
  place(dialog, x, y, width, height, mode);
  tform_focus_first(dialog->_form);
  tcontrol_realize(&dialog->_control);
  if (std::find(g_open.begin(), g_open.end(), dialog) == g_open.end()) g_open.push_back(dialog);
  tsurface_take_modal(surface_of(&dialog->_control));
  tscreen_note_popup(tscreen_get(), surface_of(&dialog->_control));
  tsurface_update(surface_of(&dialog->_control), nullptr);
  return 1;
}

void tdialog_close(tdialog *dialog, int32_t result) {
  PORT_CHECK(dialog != nullptr);
  tdialog_result_fn on_result = dialog->_on_result;
  void *owner = tsurface_get_owner(surface_of(&dialog->_control));
  // A key press on one of its buttons still showing its pressed look would
  // click into a dialog that is closing (or gone): it is dropped.
  tbutton_drop_pending_clicks(surface_of(&dialog->_control));
  if (dialog->_on_closing && !dialog->_on_closing(dialog, result, owner)) return;
  tdialog_free(dialog);
  tscreen_paint(tscreen_get(), nullptr);
  if (on_result) on_result(result, owner);
}

void tdialog_close_all() {
  size_t closes = g_open.size() + k_close_all_extra;
  while (!g_open.empty() && closes-- > 0) {
    tdialog *dialog = g_open.back();
    dialog->_on_closing = nullptr;
    tdialog_close(dialog, TDIALOG_RESULT_CANCEL);
  }
}

tdialog *tdialog_get_top() { return g_open.empty() ? nullptr : g_open.back(); }

tdialog_result_fn tdialog_set_on_result(tdialog *dialog, tdialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  tdialog_result_fn previous = dialog->_on_result;
  dialog->_on_result = fn;
  return previous;
}

tdialog_closing_fn tdialog_set_on_closing(tdialog *dialog, tdialog_closing_fn fn) {
  PORT_CHECK(dialog != nullptr);
  tdialog_closing_fn previous = dialog->_on_closing;
  dialog->_on_closing = fn;
  return previous;
}

tdialog_free_fn tdialog_set_on_free(tdialog *dialog, tdialog_free_fn fn) {
  PORT_CHECK(dialog != nullptr);
  tdialog_free_fn previous = dialog->_on_free;
  dialog->_on_free = fn;
  return previous;
}

void tdialog_set_dimmed(tdialog *dialog, int flag) {
  PORT_CHECK(dialog != nullptr);
  dialog->_dimmed = flag ? 1 : 0;
}

int tdialog_is_dimmed(const tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_dimmed;
}

void tdialog_set_close_on_outside_tap(tdialog *dialog, int flag) {
  PORT_CHECK(dialog != nullptr);
  dialog->_close_on_outside_tap = flag ? 1 : 0;
}

void tdialog_set_title(tdialog *dialog, const char16_t *title) {
  PORT_CHECK(dialog != nullptr);
  ttitlebar_set_title(dialog->_titlebar, title ? title : u"");
  tsurface_update(&reinterpret_cast<tcontrol *>(dialog->_titlebar)->_surface, nullptr);
}

const char16_t *tdialog_get_title(const tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return ttitlebar_get_title(dialog->_titlebar);
}

// The form follows the title's new bottom edge.
void tdialog_set_title_height(tdialog *dialog, int32_t height) {
  PORT_CHECK(dialog != nullptr);
  dialog->_title_height = height;
  tcontrol *bar = reinterpret_cast<tcontrol *>(dialog->_titlebar);
  tcontrol_set_height(bar, height);
  dialog->_title_rect = *tsurface_get_rect(&bar->_surface);
  form_rect_below_title(dialog, &dialog->_form_rect);
  const trect &r = dialog->_form_rect;
  tcontrol_set_rect(reinterpret_cast<tcontrol *>(dialog->_form), r.x1, r.y1, width_of(r), height_of(r));
}

void tdialog_get_insets(const tdialog *dialog, int32_t *left, int32_t *top, int32_t *right, int32_t *bottom) {
  PORT_CHECK(dialog != nullptr && left != nullptr && top != nullptr && right != nullptr && bottom != nullptr);
  *left = dialog->_inset_left;
  *top = dialog->_inset_top;
  *right = dialog->_inset_right;
  *bottom = dialog->_inset_bottom;
}

void tdialog_get_free_area(const tdialog *dialog, trect *out) {
  PORT_CHECK(dialog != nullptr && out != nullptr);
  screen_rect(out);
  const tsurface *bar = bar_surface(dialog);
  if (!tsurface_is_visible(bar)) return;
  const trect &b = *tsurface_get_rect(bar);
  if (width_of(*out) > height_of(*out))
    out->x2 -= width_of(b);
  else
    out->y2 -= height_of(b);
}

tcontrol *tdialog_get_panel(const tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_panel;
}

ttitlebar *tdialog_get_titlebar(const tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_titlebar;
}

tform *tdialog_get_form(const tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_form;
}

tcontrolbar *tdialog_get_controlbar(const tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_controlbar;
}

tbutton *tdialog_get_button(const tdialog *dialog, int32_t index) {
  PORT_CHECK(dialog != nullptr);
  return index >= 0 && index < 3 ? dialog->_buttons[index] : nullptr;
}

int32_t tdialog_get_x(const tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return tsurface_get_rect(&dialog->_panel->_surface)->x1;
}

int32_t tdialog_get_y(const tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return tsurface_get_rect(&dialog->_panel->_surface)->y1;
}

int32_t tdialog_get_placement(const tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_place_mode;
}

void tdialog_add_button(tdialog *dialog, const char16_t *text, int32_t result) {
  PORT_CHECK(dialog != nullptr);
  if (dialog->_buttons[0]) return;
  int32_t x = (tsurface_get_width(&dialog->_panel->_surface) - dialog->_button_width) / 2;
  int32_t y = dialog->_button_gap + form_content_height(dialog);
  trect rect = {x, y, x + dialog->_button_width - 1, y + dialog->_button_height - 1};
  tform *form = dialog->_form;
  tbutton *button = tbutton_new(reinterpret_cast<tcontrol *>(form), &rect, text, result, dialog);
  if (!button) return;
  tbutton_set_on_click(button, on_added_button_click);
  tform_add_child(form, tform_get_child_count(form) + 1, reinterpret_cast<tcontrol *>(button));
  dialog->_buttons[0] = button;
}

void tdialog_add_cancel_button(tdialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  tdialog_add_button(dialog, tresource_get_string(3, u"Cancel"), TDIALOG_RESULT_CANCEL);
}

namespace {

// Panel (title bar above the form) and the control bar; 0 when one of them
// cannot be made (what was made is freed by the caller's deinit).
int build_parts(tdialog *dialog, const char16_t *title) {
  tcontrol *control = &dialog->_control;
  // As wide as the screen and as high as an empty dialog: placement gives
  // the panel its real size when shown, and until then no part holds a
  // buffer the size of the screen.
  trect start;
  screen_rect(&start);
  start.y2 = dialog->_inset_top + dialog->_title_height + 2 * (dialog->_form_margin + 1) + dialog->_inset_bottom - 1;
  dialog->_panel = tcontrol_new(control, &start, dialog);
  if (!dialog->_panel) return 0;
  tcontrol *panel = dialog->_panel;
  trect client = {dialog->_inset_left, dialog->_inset_top, start.x2 - dialog->_inset_right,
                  start.y2 - dialog->_inset_bottom};
  tcontrol_set_client_rect(panel, &client);

  if (!title) title = u"";
  trect empty = {0, 0, -1, -1};
  dialog->_titlebar = ttitlebar_new(panel, &empty, title, dialog);
  if (!dialog->_titlebar) return 0;
  tcontrol *bar = reinterpret_cast<tcontrol *>(dialog->_titlebar);
  tcontrol_set_align(bar, TCONTROL_ALIGN_TOP);
  tcontrol_set_height(bar, *title ? dialog->_title_height : 0);
  dialog->_title_rect = *tsurface_get_rect(&bar->_surface);

  form_rect_below_title(dialog, &dialog->_form_rect);
  dialog->_form = tform_new(panel, &dialog->_form_rect, dialog);
  if (!dialog->_form) return 0;
  tcontrol *form = reinterpret_cast<tcontrol *>(dialog->_form);
  tcontrol_set_anchors(form, 1, 1, 1, 1);
  tform_set_margins(dialog->_form, 0, dialog->_form_margin, 0, dialog->_form_margin);

  tbdrawer_set_raised_border(tcontrol_get_box_drawer(panel), k_frame_light, k_frame_dark);
  tcontrol_set_on_layout(panel, on_panel_layout);
  tcontrol_set_children_fns(panel, count_panel_children, panel_child_at);
  dialog->_panel_rect = *tsurface_get_rect(&panel->_surface);

  dialog->_controlbar = tcontrolbar_new(control, &empty, dialog);
  if (!dialog->_controlbar) return 0;
  tcontrolbar *soft_keys = dialog->_controlbar;
  tbutton_set_text(tcontrolbar_get_left_button(soft_keys), tresource_get_string(2, u"OK"));
  tbutton_set_text(tcontrolbar_get_right_button(soft_keys), tresource_get_string(3, u"Cancel"));
  tsurface_set_visible(&reinterpret_cast<tcontrol *>(tcontrolbar_get_middle_button(soft_keys))->_surface, 0);
  tbdrawer *fill = tcontrol_get_box_drawer(reinterpret_cast<tcontrol *>(soft_keys));
  tbdrawer_set_fill_color(fill, k_bar_fill);
  tbdrawer_set_no_border(fill);
  tcontrolbar_set_on_click(soft_keys, on_bar_click);
  return 1;
}

void screen_rect(trect *out) {
  int32_t width, height;
  tscreen_get_size(tscreen_get(), &width, &height);
  *out = {0, 0, width - 1, height - 1};
}

// The panel's client rect from one pixel below the title down.
void form_rect_below_title(const tdialog *dialog, trect *out) {
  *out = *tcontrol_get_client_rect(dialog->_panel);
  out->y1 = dialog->_title_rect.y2 + 1;
}

int32_t form_content_height(const tdialog *dialog) {
  const trect *content = tform_get_content_rect(dialog->_form);
  return height_of(*content);
}

// The soft keys sit along the long side's end: at the right when the dialog
// is wider than tall, else at the bottom.
void follow_screen_orientation(tdialog *dialog, const trect *rect) {
  tcontrolbar_set_position(dialog->_controlbar, width_of(*rect) > height_of(*rect) ? TCONTROLBAR_RIGHT : TCONTROLBAR_BOTTOM);
}

// x, y, width, height -1: automatic. The area left by the control bar takes
// the panel; mode 1 centres it in the free area, mode 2 fills that.
void place(tdialog *dialog, int32_t x, int32_t y, int32_t width, int32_t height, int32_t mode) {
  trect screen;
  screen_rect(&screen);
  int32_t screen_width = width_of(screen), screen_height = height_of(screen);
  trect b = *tsurface_get_rect(bar_surface(dialog));
  int32_t position = tcontrolbar_get_position(dialog->_controlbar);
  if (!tsurface_is_visible(bar_surface(dialog))) {
    switch (position) {
      case TCONTROLBAR_BOTTOM: b.y1 = b.y2; break;
      case TCONTROLBAR_TOP: b.y2 = b.y1; break;
      case TCONTROLBAR_RIGHT: b.x1 = b.x2; break;
      case TCONTROLBAR_LEFT: b.x2 = b.x1; break;
      default: break;
    }
  }
  if (height == -1)
    height = 2 * (dialog->_form_margin + 1) + (dialog->_title_rect.y2 - dialog->_title_rect.y1) +
             form_content_height(dialog) + dialog->_inset_top + dialog->_inset_bottom;
  if (width == -1) width = std::min(screen_width, screen_height);
  trect area = screen;
  switch (position) {
    case TCONTROLBAR_BOTTOM:
      area.y2 = screen_height - 1 - (b.y2 - b.y1) - 1;
      if (y == -1) y = b.y1 - height;
      if (x == -1) x = 0;
      break;
    case TCONTROLBAR_RIGHT:
      area.x2 = screen_width - 1 - (b.x2 - b.x1) - 1;
      if (y == -1) y = (screen_height - height) / 2;
      if (x == -1) x = screen_width - width;
      break;
    case TCONTROLBAR_TOP:
      area.y1 = b.y2 - b.y1 + 1;
      area.y2 = screen_height - 1;
      if (y == -1) y = b.y2;
      if (x == -1) x = 0;
      break;
    case TCONTROLBAR_LEFT:
      area.x1 = b.x2 - b.x1 + 1;
      area.x2 = screen_width - 1;
      if (y == -1) y = (screen_height - height) / 2;
      if (x == -1) x = 0;
      break;
    default: break;
  }
  fit(&x, &width, area.x1, area.x2, mode);
  fit(&y, &height, area.y1, area.y2, mode);
  trect free_area;
  tdialog_get_free_area(dialog, &free_area);
  if (mode == TDIALOG_PLACE_CENTRE) {
    x = free_area.x1 + (free_area.x2 - free_area.x1 - width + 1) / 2;
    y = free_area.y1 + (free_area.y2 - free_area.y1 - height + 1) / 2;
  } else if (mode == TDIALOG_PLACE_FILL) {
    x = free_area.x1;
    y = free_area.y1;
    width = width_of(free_area);
    height = height_of(free_area);
  }
  tcontrol_set_rect(dialog->_panel, x, y, width, height);
}

// Keeps [position, position + size) inside [low, high]: moved back from the
// far edge first, then cut, 6 pixels more when centred.
void fit(int32_t *position, int32_t *size, int32_t low, int32_t high, int32_t mode) {
  int32_t end = high + 1;
  if (*position + *size > end) *position = end - *size;
  *position = std::max(*position, low);
  if (*position + *size > end) *size = end - *position - (mode == TDIALOG_PLACE_CENTRE ? 6 : 0);
}

void on_layout(tcontrol *control, const trect *rect) {
  tdialog *dialog = dialog_of(control);
  follow_screen_orientation(dialog, rect);
  tsurface_paint(bar_surface(dialog));
  place(dialog, dialog->_place_x, dialog->_place_y, dialog->_place_width, dialog->_place_height,
        dialog->_place_mode);
  tsurface_paint(&dialog->_panel->_surface);
  tsurface_update(surface_of(control), nullptr);
}

// The panel's client rect is its rect less the insets; title bar and form
// follow it, and the title rect (where a drag starts) is read again.
void on_panel_layout(tcontrol *panel, const trect *rect) {
  tdialog *dialog = static_cast<tdialog *>(tsurface_get_owner(&panel->_surface));
  trect client = {dialog->_inset_left, dialog->_inset_top, rect->x2 - rect->x1 - dialog->_inset_right,
                  rect->y2 - rect->y1 - dialog->_inset_bottom};
  tcontrol_set_client_rect(panel, &client);
  if (dialog->_titlebar) {
    tcontrol *bar = reinterpret_cast<tcontrol *>(dialog->_titlebar);
    tcontrol_apply_anchors(bar, &client);
    dialog->_title_rect = *tsurface_get_rect(&bar->_surface);
  }
  if (dialog->_form) {
    tcontrol *form = reinterpret_cast<tcontrol *>(dialog->_form);
    tcontrol_apply_anchors(form, &client);
    dialog->_form_rect = *tsurface_get_rect(&form->_surface);
  }
  dialog->_panel_rect = *rect;
  tsurface_update(&panel->_surface, nullptr);
}

void on_backdrop(tsurface *surface, tcanvas *canvas, const trect *rect) {
  (void)rect;
  if (!reinterpret_cast<tdialog *>(surface)->_dimmed) return;
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_dim_word);
  tcanvas_clear(canvas);
}

// Only the panel and the bar show: they go straight onto what lies behind,
// the panel as it is and the bar through its key, which gives the pixels
// the see-through buffer would give without filling and keying a buffer the
// size of the screen.
void on_compose(tsurface *surface, tcanvas *canvas, const trect *rect) {
  (void)rect;
  tdialog *dialog = reinterpret_cast<tdialog *>(surface);
  tsurface_compose_onto(&dialog->_panel->_surface, canvas);
  tsurface_compose_onto(bar_surface(dialog), canvas);
}

// Whatever the form and the bar leave is taken: nothing behind a dialog
// hears a key.
int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  tdialog *dialog = dialog_of(control);
  if (tcontrol_handle_key(reinterpret_cast<tcontrol *>(dialog->_form), code, repeat, modifiers)) return 1;
  tcontrol_handle_key(reinterpret_cast<tcontrol *>(dialog->_controlbar), code, repeat, modifiers);
  return 1;
}

// Every event is taken. A closing road (a button, the bar, an outside tap)
// returns at once: the dialog may be gone.
int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers) {
  tdialog *dialog = dialog_of(control);
  tsurface *surface = surface_of(control);
  const trect &own = *tsurface_get_rect(surface);
  const trect &panel = *tsurface_get_rect(&dialog->_panel->_surface);
  int32_t dx = x - own.x1, dy = y - own.y1;
  int32_t px = dx - panel.x1, py = dy - panel.y1;
  if (tcontrol_handle_pen(reinterpret_cast<tcontrol *>(dialog->_form), type, px, py, modifiers)) return 1;
  if (tsurface_is_visible(bar_surface(dialog)) &&
      tcontrol_handle_pen(reinterpret_cast<tcontrol *>(dialog->_controlbar), type, dx, dy, modifiers))
    return 1;
  if (!inside(dialog->_title_rect, px, py) && !tsurface_has_pen_capture(surface)) {
    if (type != TSCREEN_PEN_UP || inside(panel, dx, dy)) return 1;
    if (dialog->_close_on_outside_tap) tdialog_close(dialog, TDIALOG_RESULT_CANCEL);
    return 1;
  }
  if (dialog->_place_mode == TDIALOG_PLACE_FILL) return 1;
  switch (type) {
    case TSCREEN_PEN_DOWN:
      dialog->_last_pen_x = x;
      dialog->_last_pen_y = y;
      dialog->_dragging = 1;
      tsurface_set_pen_capture(surface, 1);
      break;
    case TSCREEN_PEN_MOVE:
      if (!dialog->_dragging) break;
      tcontrol_move_by(dialog->_panel, x - dialog->_last_pen_x, y - dialog->_last_pen_y, 0);
      dialog->_last_pen_x = x;
      dialog->_last_pen_y = y;
      dialog->_panel_rect = *tsurface_get_rect(&dialog->_panel->_surface);
      tsurface_update(&dialog->_panel->_surface, nullptr);
      break;
    case TSCREEN_PEN_UP:
      if (!dialog->_dragging) break;
      dialog->_dragging = 0;
      tsurface_set_pen_capture(surface, 0);
      break;
    default: break;
  }
  return 1;
}

// The bar is composed over the panel.
int32_t count_children(tcontrol *) { return 2; }

tcontrol *child_at(tcontrol *control, int32_t index) {
  tdialog *dialog = dialog_of(control);
  if (index == 0) return dialog->_panel;
  return index == 1 ? reinterpret_cast<tcontrol *>(dialog->_controlbar) : nullptr;
}

int32_t count_panel_children(tcontrol *) { return 2; }

tcontrol *panel_child_at(tcontrol *panel, int32_t index) {
  tdialog *dialog = static_cast<tdialog *>(tsurface_get_owner(&panel->_surface));
  if (index == 0) return reinterpret_cast<tcontrol *>(dialog->_titlebar);
  return index == 1 ? reinterpret_cast<tcontrol *>(dialog->_form) : nullptr;
}

void on_bar_click(tcontrolbar *bar, intptr_t result) {
  tdialog *dialog = static_cast<tdialog *>(tsurface_get_owner(&reinterpret_cast<tcontrol *>(bar)->_surface));
  tdialog_close(dialog, int32_t(result));
}

void on_added_button_click(tbutton *button, intptr_t result) {
  tdialog *dialog = static_cast<tdialog *>(tsurface_get_owner(&reinterpret_cast<tcontrol *>(button)->_surface));
  tdialog_close(dialog, int32_t(result));
}

}  // namespace
