// tedit: text, caret, selection, scrolling, keys, pen, blink and input panel.
#include "tedit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "port_device.h"
#include "port_log.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_graphics.h"
#include "wins_timer.h"

constexpr uint32_t BLINK_MS = 500;
constexpr uint32_t KEY_LEFT = 0xF807, KEY_RIGHT = 0xF808;
constexpr uint32_t KEY_DELETE = 127, KEY_BACKSPACE = 8;
constexpr int32_t TEXT_ALIGN_MIDDLE_LEFT = 7;
constexpr int32_t CARET_WIDTH = 2;
constexpr int32_t LEFT_EDGE_LOOKBACK = 5;  // characters shown when the caret reaches the left edge

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
static void on_layout(tcontrol *control, const trect *rect);
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static int is_focusable(tcontrol *control);
static void on_focus_in(tcontrol *control);
static void on_focus_out(tcontrol *control);
static void on_blink(uint32_t id, void *user_data);

static int key_action(tedit *edit, uint32_t code, uint32_t modifiers, bool *changed);
static bool move_caret(tedit *edit, int32_t position, bool extend);
static bool delete_at(tedit *edit, int32_t from, int32_t to);
static bool replace(tedit *edit, int32_t from, int32_t to, const char16_t *text, uint32_t count);
static bool make_room(tedit *edit, uint64_t count);
static void lay_out(tedit *edit);
static void measure(tedit *edit);
static int32_t length_of(const tedit *edit);
static int32_t x_of(const tedit *edit, int32_t position);
static int32_t position_at(const tedit *edit, int32_t x);
static void scroll_into_view(tedit *edit, int32_t position);
static void scroll_from_left_edge(tedit *edit);
static void show_caret(tedit *edit);
static void stop_blink(tedit *edit);
static void blend_caret(tcanvas *canvas, const trect *client, int32_t x, tcolor color);
static uint32_t bounded_length(const char16_t *text, int32_t length);
static bool is_inserted(uint32_t code);

int tedit_init(tedit *edit, tcontrol *parent, const trect *rect, const char16_t *text, int32_t length, void *owner) {
  PORT_CHECK(edit != nullptr && rect != nullptr);
  std::memset(edit, 0, sizeof *edit);
  tcontrol *control = &edit->_control;
  if (!tcontrol_init(control, parent, rect, owner)) return 0;
  edit->_margin_left = 3;
  edit->_margin_right = 3;
  edit->_margin_top_bottom = 1;
  edit->_input_mode = TEDIT_INPUT_ANY;
  edit->_tdrawer = ttdrawer_copy(tstyler_get_default_tdrawer());
  edit->_selected_tdrawer = ttdrawer_copy(tstyler_get_default_tdrawer());
  edit->_selection_drawer = tbdrawer_copy(tstyler_get_default_bdrawer());
  uint32_t count = bounded_length(text, length);
  edit->_text = tstring_new_len(text, int32_t(count));
  if (!edit->_tdrawer || !edit->_selected_tdrawer || !edit->_selection_drawer || !edit->_text ||
      !make_room(edit, count)) {
    tedit_deinit(edit);
    return 0;
  }
  ttdrawer_set_alignment(edit->_tdrawer, TEXT_ALIGN_MIDDLE_LEFT);
  ttdrawer_set_alignment(edit->_selected_tdrawer, TEXT_ALIGN_MIDDLE_LEFT);
  ttdrawer_set_color(edit->_selected_tdrawer, tcolor_rgba(255, 255, 255));
  tbdrawer_set_fill_color(edit->_selection_drawer, tcolor_rgba(0, 0, 255));
  tbdrawer_set_fill_solid(edit->_selection_drawer);
  tbdrawer_set_no_border(edit->_selection_drawer);
  lay_out(edit);
  edit->_caret_color = tcolor_rgba(0, 0, 0, 128);
  tcontrol_set_on_paint(control, on_paint);
  tcontrol_set_on_layout(control, on_layout);
  tcontrol_set_on_key(control, on_key);
  tcontrol_set_on_pen(control, on_pen);
  tcontrol_set_on_focus_in(control, on_focus_in);
  tcontrol_set_on_focus_out(control, on_focus_out);
  tcontrol_set_focusable_test(control, is_focusable);
  tstyler_apply(tstyler_get_default(), edit, TSTYLE_EDIT, owner, 0);
  return 1;
}

tedit *tedit_new(tcontrol *parent, const trect *rect, const char16_t *text, int32_t length, void *owner) {
  tedit *edit = static_cast<tedit *>(std::calloc(1, sizeof(tedit)));
  if (!edit) return nullptr;
  if (!tedit_init(edit, parent, rect, text, length, owner)) {
    std::free(edit);
    return nullptr;
  }
  return edit;
}

// Drops the focus without its hook, which would paint a control on its way
// out (its owner may be half torn down). The input panel still goes, and
// must let go of the record, but with painting held off.
void tedit_deinit(tedit *edit) {
  PORT_CHECK(edit != nullptr);
  stop_blink(edit);
  if (edit->_control._focused && edit->_ime_enabled) {
    tscreen *screen = tscreen_get();
    uint32_t lock = tscreen_get_update_lock(screen);
    tscreen_set_update_lock(screen, 1);
    wins_window_hide_input_panel(&edit->_ime);
    tscreen_set_update_lock(screen, lock);
  }
  edit->_control._focused = 0;
  if (edit->_text) tstring_free(edit->_text, 1);
  std::free(edit->_widths);
  if (edit->_tdrawer) ttdrawer_free(edit->_tdrawer);
  if (edit->_selected_tdrawer) ttdrawer_free(edit->_selected_tdrawer);
  if (edit->_selection_drawer) tbdrawer_free(edit->_selection_drawer);
  tcontrol_deinit(&edit->_control);
  std::memset(reinterpret_cast<uint8_t *>(edit) + sizeof(tcontrol), 0, sizeof *edit - sizeof(tcontrol));
}

void tedit_free(tedit *edit) {
  PORT_CHECK(edit != nullptr);
  tedit_deinit(edit);
  std::free(edit);
}

int tedit_set_text(tedit *edit, const char16_t *text, int32_t length) {
  PORT_CHECK(edit != nullptr);
  if (!replace(edit, 0, length_of(edit), text, bounded_length(text, length))) return 0;
  scroll_into_view(edit, edit->_caret);
  return 1;
}

const char16_t *tedit_get_text(const tedit *edit) {
  PORT_CHECK(edit != nullptr);
  return tstring_get_str(edit->_text);
}

void tedit_set_padding(tedit *edit, int32_t left, int32_t right, int32_t top_bottom) {
  PORT_CHECK(edit != nullptr);
  edit->_margin_left = left;
  edit->_margin_right = right;
  edit->_margin_top_bottom = top_bottom;
  lay_out(edit);
  tsurface_update(&edit->_control._surface, nullptr);
}

void tedit_set_font_size(tedit *edit, int32_t size) {
  PORT_CHECK(edit != nullptr);
  edit->_font_size = std::max(size, 0);
  lay_out(edit);
  tsurface_update(&edit->_control._surface, nullptr);
}

void tedit_set_caret(tedit *edit, int32_t position) {
  PORT_CHECK(edit != nullptr);
  edit->_caret = std::clamp(position, 0, length_of(edit));
  scroll_into_view(edit, edit->_caret);
}

void tedit_set_selection(tedit *edit, int32_t start, int32_t end) {
  PORT_CHECK(edit != nullptr);
  edit->_selection_start = std::clamp(start, 0, length_of(edit));
  edit->_selection_end = std::clamp(end, 0, length_of(edit));
  edit->_caret = edit->_selection_end;
}

void tedit_select_all(tedit *edit) {
  PORT_CHECK(edit != nullptr);
  edit->_selection_start = 0;
  edit->_selection_end = edit->_caret = length_of(edit);
}

void tedit_clear_selection(tedit *edit) {
  PORT_CHECK(edit != nullptr);
  edit->_selection_start = edit->_selection_end = edit->_caret;
}

void tedit_delete_selection(tedit *edit) {
  PORT_CHECK(edit != nullptr);
  int32_t a = std::min(edit->_selection_start, edit->_selection_end);
  int32_t b = std::max(edit->_selection_start, edit->_selection_end);
  if (a == b) return;
  if (!delete_at(edit, a, b)) return;
  // The old ends may lie beyond the shortened text.
  edit->_caret = edit->_selection_start = edit->_selection_end = a;
}

int tedit_insert(tedit *edit, const char16_t *text) {
  PORT_CHECK(edit != nullptr);
  int32_t a = std::min(edit->_selection_start, edit->_selection_end);
  int32_t b = std::max(edit->_selection_start, edit->_selection_end);
  if (a == b) a = b = edit->_caret;
  uint32_t count = bounded_length(text, -1);
  if (!replace(edit, a, b, text, count)) return 0;
  edit->_selection_start = edit->_selection_end = a;
  tedit_set_caret(edit, a + int32_t(count));
  return 1;
}

void tedit_set_input_mode(tedit *edit, int32_t mode) {
  PORT_CHECK(edit != nullptr);
  edit->_input_mode = mode;
}

void tedit_set_ime(tedit *edit, int enabled) {
  PORT_CHECK(edit != nullptr);
  edit->_ime_enabled = enabled != 0;
}

int32_t tedit_get_scroll(const tedit *edit) {
  PORT_CHECK(edit != nullptr);
  return edit->_scroll;
}

ttdrawer *tedit_get_text_drawer(const tedit *edit) {
  PORT_CHECK(edit != nullptr);
  return edit->_tdrawer;
}

ttdrawer *tedit_get_selected_text_drawer(const tedit *edit) {
  PORT_CHECK(edit != nullptr);
  return edit->_selected_tdrawer;
}

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  tedit *edit = reinterpret_cast<tedit *>(control);
  tbdrawer_draw(tcontrol_get_box_drawer(control), canvas, rect);
  const trect client = *tcontrol_get_client_rect(control);
  const char16_t *text = tstring_get_str(edit->_text);
  tcanvas_set_clip(canvas, &client);
  trect shifted = {client.x1 - edit->_scroll, client.y1, client.x2, client.y2};
  ttdrawer_draw(edit->_tdrawer, canvas, text, length_of(edit), &shifted);
  int32_t a = std::min(edit->_selection_start, edit->_selection_end);
  int32_t b = std::max(edit->_selection_start, edit->_selection_end);
  if (a != b) {
    trect selected = {x_of(edit, a), client.y1, x_of(edit, b) - 1, client.y2};
    tbdrawer_draw(edit->_selection_drawer, canvas, &selected);
    ttdrawer_draw(edit->_selected_tdrawer, canvas, text + a, b - a, &selected);
  }
  tcanvas_clear_clip(canvas);
  if (control->_focused && edit->_caret_visible) {
    int32_t x = client.x1 - edit->_scroll + (edit->_caret > 0 ? edit->_widths[edit->_caret - 1] - 1 : 0);
    blend_caret(canvas, &client, x, edit->_caret_color);
  }
}

static void on_layout(tcontrol *control, const trect *) {
  tedit *edit = reinterpret_cast<tedit *>(control);
  lay_out(edit);
  tsurface_update(&control->_surface, nullptr);
}

static int on_key(tcontrol *control, uint32_t code, uint32_t, uint32_t modifiers) {
  tedit *edit = reinterpret_cast<tedit *>(control);
  if (!control->_focused || control->_disabled) return 0;
  bool changed = false;
  if (!key_action(edit, code, modifiers, &changed)) return 0;
  if (changed || !edit->_caret_visible) {
    show_caret(edit);
    tsurface_update(&control->_surface, nullptr);
  }
  return 1;
}

static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t) {
  tedit *edit = reinterpret_cast<tedit *>(control);
  if (control->_disabled) return 0;
  const trect *r = tsurface_get_rect(&control->_surface);
  const trect *client = tcontrol_get_client_rect(control);
  int32_t local_x = x - r->x1, local_y = y - r->y1;
  bool in_client = local_x >= client->x1 && local_x <= client->x2 && local_y >= client->y1 && local_y <= client->y2;
  if (!in_client && !tsurface_has_pen_capture(&control->_surface)) return 0;
  switch (type) {
    case 1:
      if (!control->_focused) tcontrol_set_focus(control, 1);
      edit->_pressed = 1;
      tedit_set_caret(edit, position_at(edit, local_x));
      tedit_clear_selection(edit);
      show_caret(edit);
      tsurface_update(&control->_surface, nullptr);
      tsurface_set_pen_capture(&control->_surface, 1);
      return 1;
    case 3:
      if (!edit->_pressed) return 0;
      tedit_set_caret(edit, position_at(edit, local_x));
      edit->_selection_end = edit->_caret;
      show_caret(edit);
      tsurface_update(&control->_surface, nullptr);
      return 1;
    case 2:
      if (!edit->_pressed) return 0;
      edit->_pressed = 0;
      tsurface_set_pen_capture(&control->_surface, 0);
      if (in_client && edit->_ime_enabled && control->_focused) wins_window_show_input_panel(&edit->_ime);
      return 1;
    default:
      return 0;
  }
}

static int is_focusable(tcontrol *) { return 1; }

static void on_focus_in(tcontrol *control) {
  tedit *edit = reinterpret_cast<tedit *>(control);
  stop_blink(edit);
  edit->_blink_timer = wins_timer_start(BLINK_MS, 0, on_blink, edit);
  show_caret(edit);
  if (edit->_ime_enabled) wins_window_set_ime(&edit->_ime, nullptr, edit);
  tsurface_update(&control->_surface, nullptr);
}

static void on_focus_out(tcontrol *control) {
  tedit *edit = reinterpret_cast<tedit *>(control);
  stop_blink(edit);
  edit->_caret_visible = 0;
  if (edit->_ime_enabled) wins_window_hide_input_panel(&edit->_ime);
  tsurface_update(&control->_surface, nullptr);
}

static void on_blink(uint32_t, void *user_data) {
  tedit *edit = static_cast<tedit *>(user_data);
  if (!edit->_control._focused) return;
  edit->_caret_visible = !edit->_caret_visible;
  tsurface_update(&edit->_control._surface, nullptr);
}

// The key table. Returns 1 when the key is taken; *changed tells whether the
// text, the caret or the selection moved.
static int key_action(tedit *edit, uint32_t code, uint32_t modifiers, bool *changed) {
  bool shift = modifiers & WINS_MOD_SHIFT;
  bool selected = edit->_selection_start != edit->_selection_end;
  switch (code) {
    case KEY_LEFT:
      *changed = move_caret(edit, edit->_caret - 1, shift);
      scroll_from_left_edge(edit);
      return 1;
    case KEY_RIGHT:
      *changed = move_caret(edit, edit->_caret + 1, shift);
      return 1;
    case KEY_DELETE:
      if (selected) {
        tedit_delete_selection(edit);
        tedit_clear_selection(edit);
        *changed = true;
      } else if (edit->_caret < length_of(edit)) {
        *changed = delete_at(edit, edit->_caret, edit->_caret + 1);
      }
      return 1;
    case KEY_BACKSPACE:
      if (selected) {
        tedit_delete_selection(edit);
        tedit_clear_selection(edit);
        *changed = true;
      } else if (edit->_caret > 0) {
        int32_t before = edit->_caret - 1;
        if (delete_at(edit, before, before + 1)) {
          edit->_caret = before;
          tedit_clear_selection(edit);
          *changed = true;
        }
      }
      scroll_from_left_edge(edit);
      return 1;
    default:
      break;
  }
  if (!is_inserted(code)) return 0;
  if (edit->_input_mode == TEDIT_INPUT_DIGITS && (code < '0' || code > '9')) return 1;
  char16_t text[2] = {char16_t(code), 0};
  *changed = tedit_insert(edit, text);
  tedit_clear_selection(edit);
  return 1;
}

// Without extend the selection collapses onto the caret; with it the selection
// end follows the caret from wherever the selection began (the caret itself
// when nothing was selected).
static bool move_caret(tedit *edit, int32_t position, bool extend) {
  int32_t before = edit->_caret, start = edit->_selection_start, end = edit->_selection_end;
  if (extend && start == end) edit->_selection_start = before;
  tedit_set_caret(edit, position);
  if (extend)
    edit->_selection_end = edit->_caret;
  else
    tedit_clear_selection(edit);
  return edit->_caret != before || edit->_selection_start != start || edit->_selection_end != end;
}

static bool delete_at(tedit *edit, int32_t from, int32_t to) { return replace(edit, from, to, nullptr, 0); }

// Characters [from, to) become count characters of text. The widths get room
// first and the insertion happens before the erase, so a failure leaves the
// text as it was. Positions beyond the new end are brought to it.
static bool replace(tedit *edit, int32_t from, int32_t to, const char16_t *text, uint32_t count) {
  uint64_t new_length = uint64_t(length_of(edit)) - uint64_t(to - from) + count;
  if (new_length > uint64_t(INT32_MAX) || !make_room(edit, new_length)) return false;
  if (count && !tstring_insert_len(edit->_text, to, text, int32_t(count))) return false;
  if (to > from) tstring_erase(edit->_text, from, to - from);
  measure(edit);
  // A caret or an empty selection left behind the caret (set_caret moves
  // only the caret) must not end up past a shortened text.
  int32_t len = length_of(edit);
  edit->_caret = std::min(edit->_caret, len);
  edit->_selection_start = std::min(edit->_selection_start, len);
  edit->_selection_end = std::min(edit->_selection_end, len);
  return true;
}

static bool make_room(tedit *edit, uint64_t count) {
  if (count <= edit->_widths_room) return true;
  uint64_t room = std::max<uint64_t>({count, uint64_t(edit->_widths_room) * 2, 16});
  int32_t *widths = static_cast<int32_t *>(std::calloc(size_t(room), sizeof(int32_t)));
  if (!widths) return false;
  if (edit->_widths) std::memcpy(widths, edit->_widths, edit->_widths_room * sizeof(int32_t));
  std::free(edit->_widths);
  edit->_widths = widths;
  edit->_widths_room = uint32_t(room);
  return true;
}

// Client rect from the margins, the font fitted to its height, the text
// measured in that font.
static void lay_out(tedit *edit) {
  tcontrol *control = &edit->_control;
  const trect *r = tsurface_get_rect(&control->_surface);
  trect client = {edit->_margin_left, edit->_margin_top_bottom, r->x2 - r->x1 - edit->_margin_right,
                  r->y2 - r->y1 - edit->_margin_top_bottom};
  tcontrol_set_client_rect(control, &client);
  int32_t height = client.y2 - client.y1 + 1;
  if (edit->_font_size > 0) {
    ttdrawer_set_font_size(edit->_tdrawer, edit->_font_size);
    ttdrawer_set_font_size(edit->_selected_tdrawer, edit->_font_size);
  } else if (height > 0) {
    int32_t size = port_device_pixels_to_points(height);
    if (ttdrawer_get_font_style(edit->_tdrawer) & TCANVAS_FONT_UNDERLINE) {
      static const int32_t cuts[] = {2, 3, 5, 7, 9, 11, 13};
      size -= size < 70 ? cuts[std::max(size, 0) / 10] : 15;
    }
    ttdrawer_set_font_size(edit->_tdrawer, size);
    ttdrawer_set_font_size(edit->_selected_tdrawer, size);
  }
  measure(edit);
}

// One pass over the text; advances add up, so each prefix is the one before
// it plus its last character (a surrogate pair measured as one).
static void measure(tedit *edit) {
  int32_t len = length_of(edit);
  if (!len) return;
  tcanvas *canvas = tsurface_get_canvas(&edit->_control._surface);
  const ttdrawer *drawer = edit->_tdrawer;
  wins_graphics_set_font(canvas, drawer->_font_size, drawer->_font_face[0] ? drawer->_font_face : nullptr);
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, tcolor_to_word(&drawer->_color));
  tcanvas_set_font_style(canvas, drawer->_font_style);
  wins_graphics_pass *pass = wins_graphics_begin_text(canvas);
  const char16_t *text = tstring_get_str(edit->_text);
  int32_t *widths = edit->_widths;
  for (int32_t i = 0; i < len; i++) {
    bool pair_end = i > 0 && text[i] >= 0xDC00 && text[i] <= 0xDFFF && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF;
    int32_t first = pair_end ? i - 1 : i;
    int64_t before = first > 0 ? widths[first - 1] : 0;
    int64_t width = pass ? wins_graphics_get_text_width(canvas, pass, text + first, i - first + 1) : 0;
    widths[i] = int32_t(std::min<int64_t>(before + width, INT32_MAX / 2));
  }
  wins_graphics_end_text(canvas, pass);
}

static int32_t length_of(const tedit *edit) { return int32_t(tstring_get_len(edit->_text)); }

static int32_t x_of(const tedit *edit, int32_t position) {
  int32_t p = std::min(position, length_of(edit));
  return edit->_margin_left - edit->_scroll + (p >= 1 ? edit->_widths[p - 1] : 0);
}

// The caret goes before the character under x: the first whose right edge
// lies beyond it.
static int32_t position_at(const tedit *edit, int32_t x) {
  int64_t d = int64_t(x) + edit->_scroll - edit->_margin_left;
  if (d < 1) return 0;
  int32_t len = length_of(edit);
  const int32_t *end = std::upper_bound(edit->_widths, edit->_widths + len, d);
  return int32_t(end - edit->_widths);
}

static void scroll_into_view(tedit *edit, int32_t position) {
  const trect *client = tcontrol_get_client_rect(&edit->_control);
  int32_t x = x_of(edit, position);
  if (x > client->x2)
    edit->_scroll += x - client->x2;
  else if (x < client->x1)
    edit->_scroll += x - client->x1;
}

static void scroll_from_left_edge(tedit *edit) {
  if (x_of(edit, edit->_caret) <= edit->_margin_left)
    scroll_into_view(edit, std::max(edit->_caret - LEFT_EDGE_LOOKBACK, 0));
}

static void show_caret(tedit *edit) { edit->_caret_visible = 1; }

static void stop_blink(tedit *edit) {
  if (!edit->_blink_timer) return;
  wins_timer_stop(edit->_blink_timer);
  edit->_blink_timer = 0;
}

// The caret bar is translucent, so it is blended pixel by pixel, inside the
// client rect only.
static void blend_caret(tcanvas *canvas, const trect *client, int32_t x, tcolor color) {
  tbitmap *bitmap = tcanvas_get_bitmap(canvas);
  uint32_t word = tcolor_to_word(&color);
  int32_t left = std::max(x, client->x1), right = std::min(x + CARET_WIDTH - 1, client->x2);
  for (int32_t y = client->y1; y <= client->y2; y++)
    for (int32_t column = left; column <= right; column++) tbitmap_blend_pixel(bitmap, column, y, word);
}

static uint32_t bounded_length(const char16_t *text, int32_t length) {
  if (!text) return 0;
  uint32_t count = 0;
  while ((length < 0 || count < uint32_t(length)) && text[count]) count++;
  return count;
}

// Printable characters; the toolkit's own codes (0xF800-0xF8FF) are keys,
// never text, whether or not this field has a use for them.
static bool is_inserted(uint32_t code) {
  if (code < 0x20 || (code >= 0x7F && code <= 0xFE)) return false;
  if (code >= 0xF800 && code <= 0xF8FF) return false;
  return code <= 0xFFFF;
}
