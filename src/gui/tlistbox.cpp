// tlistbox: rows, columns, drawing, hit test, pen and keys, flick and
// animated scrolling.
#include "tlistbox.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "port_device.h"
#include "port_log.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_timer.h"

namespace {

constexpr uint32_t KEY_UP = 0xF809, KEY_DOWN = 0xF80A, KEY_ACTION = 0xF823;
constexpr int32_t IMAGE_GROWTH = 64;
constexpr int32_t FLICK_SCALE = 400;  // velocity = pixels x 400 / ms
constexpr uint32_t TIMER_MS = 10;
constexpr uint32_t COLOR_NOT_A_DRAWER = 0xFF010203u;  // makes the first cell select its drawer's font
constexpr tcolor SELECTION_BLUE = tcolor_rgba(0, 0, 255);
constexpr int32_t ROW_REACH = 2;  // lines above its rect a row may draw on (a separator)

struct row_span {
  int32_t first, last;  // last < first: none
};

}  // namespace

static tlistbox *listbox_of(tcontrol *control);
static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
static row_span lay_out_rows(tlistbox *listbox);
static void draw_rows(tlistbox *listbox, tcanvas *canvas, row_span rows, const trect &area);
static tlistbox_view view_of(const tlistbox *listbox, tcanvas *canvas);
static bool can_move_rows(const tlistbox *listbox, const tlistbox_view &now);
static void move_lines(tbitmap *bitmap, int32_t top, int32_t bottom, int32_t shift);
static bool bar_covers(const tlistbox *listbox);
static void on_layout(tcontrol *control, const trect *rect);
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static int32_t child_count(tcontrol *control);
static tcontrol *child_at(tcontrol *control, int32_t index);
static int tlistbox_always_true(tcontrol *control);
static void on_bar_change(tscrollbar *bar, int32_t position);
static void on_timer(uint32_t id, void *user_data);
static void lay_out(tlistbox *listbox);
static void lay_out_columns(tlistbox *listbox);
static void update_scrollbar(tlistbox *listbox);
static bool bar_shown(const tlistbox *listbox);
static int32_t ensure_visible(tlistbox *listbox);
static int32_t first_drawn_row(const tlistbox *listbox);
static trect row_rect(const tlistbox *listbox, int32_t row);
static int32_t hit_test(const tlistbox *listbox, int32_t x, int32_t y);
static void pen_up(tlistbox *listbox, int32_t x, int32_t y);
static void scroll_to(tlistbox *listbox, int32_t target);
static void start_timer(tlistbox *listbox);
static void stop_timer(tlistbox *listbox);
static void show_offset(tlistbox *listbox);
static void select_then_activate(tlistbox *listbox, int32_t row, bool activate);
static bool valid_row(const tlistbox *listbox, int32_t row);
static void update(tlistbox *listbox);

int tlistbox_init(tlistbox *listbox, tcontrol *parent, const trect *rect, void *owner) {
  PORT_CHECK(listbox != nullptr && rect != nullptr);
  std::memset(listbox, 0, sizeof *listbox);
  tcontrol *control = &listbox->_control;
  if (!tcontrol_init(control, parent, rect, owner)) return 0;
  listbox->_visible_height = tsurface_get_height(&control->_surface);
  listbox->_scrollbar_gap = 3;
  listbox->_scrollbar_width = 5;
  listbox->_scroll_steps = 4;
  trect empty = {0, 0, -1, -1};
  listbox->_items = tlistitems_new();
  listbox->_scrollbar = tscrollbar_new(control, &empty, 1, listbox);
  tbdrawer *selection = tbdrawer_copy(tstyler_get_default_bdrawer());
  listbox->_selection_drawer = selection;
  if (!listbox->_items || !listbox->_scrollbar || !selection) {
    tlistbox_deinit(listbox);
    return 0;
  }
  tbdrawer_set_fill_color(selection, SELECTION_BLUE);
  tscrollbar_set_on_change(listbox->_scrollbar, on_bar_change);
  tcontrol_set_align(&listbox->_scrollbar->_control, TCONTROL_ALIGN_RIGHT);
  tcontrol_set_width(&listbox->_scrollbar->_control, listbox->_scrollbar_width);
  update_scrollbar(listbox);

  tcontrol_set_on_paint(control, on_paint);
  tcontrol_set_on_layout(control, on_layout);
  tcontrol_set_on_key(control, on_key);
  tcontrol_set_on_pen(control, on_pen);
  tcontrol_set_children_fns(control, child_count, child_at);
  tcontrol_set_focusable_test(control, tlistbox_always_true);
  tstyler_apply(tstyler_get_default(), listbox, TSTYLE_LISTBOX, owner, 0);
  return 1;
}

tlistbox *tlistbox_new(tcontrol *parent, const trect *rect, void *owner) {
  tlistbox *listbox = static_cast<tlistbox *>(std::calloc(1, sizeof(tlistbox)));
  if (!listbox) return nullptr;
  if (!tlistbox_init(listbox, parent, rect, owner)) {
    std::free(listbox);
    return nullptr;
  }
  return listbox;
}

void tlistbox_deinit(tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  stop_timer(listbox);
  if (listbox->_alive) *listbox->_alive = false;
  listbox->_alive = nullptr;
  if (listbox->_selection_drawer) tbdrawer_free(listbox->_selection_drawer);
  listbox->_selection_drawer = nullptr;
  if (listbox->_scrollbar) tscrollbar_free(listbox->_scrollbar);
  listbox->_scrollbar = nullptr;
  if (listbox->_items) tlistitems_free(listbox->_items);
  listbox->_items = nullptr;
  for (int32_t i = 0; i < listbox->_column_count; i++) tlistcolumn_free(listbox->_columns[i]);
  listbox->_column_count = 0;
  std::free(listbox->_images);
  std::free(listbox->_masks);
  listbox->_images = listbox->_masks = nullptr;
  listbox->_image_count = listbox->_image_capacity = 0;
  tcontrol_deinit(&listbox->_control);
}

void tlistbox_free(tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  tlistbox_deinit(listbox);
  std::free(listbox);
}

tlistcolumn *tlistbox_add_column(tlistbox *listbox, int32_t type, const char16_t *title, int32_t width) {
  PORT_CHECK(listbox != nullptr);
  if (listbox->_column_count >= TLISTBOX_MAX_COLUMNS) return nullptr;
  tlistcolumn *column = tlistcolumn_new(type, title, width);
  if (!column) return nullptr;
  listbox->_columns[listbox->_column_count++] = column;
  lay_out_columns(listbox);
  return column;
}

tlistcolumn *tlistbox_get_column(const tlistbox *listbox, int32_t index) {
  PORT_CHECK(listbox != nullptr);
  return index >= 0 && index < listbox->_column_count ? listbox->_columns[index] : nullptr;
}

int32_t tlistbox_get_column_count(const tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  return listbox->_column_count;
}

void tlistbox_set_column_from_right(tlistbox *listbox, int32_t index, uint32_t flag) {
  PORT_CHECK(listbox != nullptr);
  tlistcolumn *column = tlistbox_get_column(listbox, index);
  if (!column) return;
  tlistcolumn_set_from_right(column, flag);
  lay_out_columns(listbox);
}

int tlistbox_add_item(tlistbox *listbox, const char16_t *text, int32_t height, void *user_data) {
  PORT_CHECK(listbox != nullptr);
  if (!tlistitems_add(listbox->_items, text, height, user_data)) return 0;
  listbox->_row_height = height;
  listbox->_shown_height = std::min(listbox->_visible_height, tlistitems_get_total_height(listbox->_items));
  update_scrollbar(listbox);
  return 1;
}

void tlistbox_clear(tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  stop_timer(listbox);
  tlistitems_clear(listbox->_items);
  listbox->_sticky = 0;
  listbox->_last_pen_tick = port_device_get_ticks();
  listbox->_offset = 0;
  listbox->_first_visible = 0;
  listbox->_shown_height = std::min(listbox->_visible_height, tlistitems_get_total_height(listbox->_items));
  update_scrollbar(listbox);
}

int32_t tlistbox_get_count(const tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  return tlistitems_get_count(listbox->_items);
}

int32_t tlistbox_get_total_height(const tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  return tlistitems_get_total_height(listbox->_items);
}

void *tlistbox_get_user_data(const tlistbox *listbox, int32_t row) {
  PORT_CHECK(listbox != nullptr);
  return tlistitems_get_user_data(listbox->_items, row);
}

const char16_t *tlistbox_get_text(const tlistbox *listbox, int32_t row, int32_t field) {
  PORT_CHECK(listbox != nullptr);
  return tlistitems_get_field(listbox->_items, row, field);
}

int32_t tlistbox_get_number(const tlistbox *listbox, int32_t row, int32_t field) {
  PORT_CHECK(listbox != nullptr);
  return tlistitems_get_field_number(listbox->_items, row, field);
}

const trect *tlistbox_get_item_rect(const tlistbox *listbox, int32_t row) {
  PORT_CHECK(listbox != nullptr);
  return tlistitems_get_rect(listbox->_items, row);
}

int32_t tlistbox_get_selected(const tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  return listbox->_selected;
}

void tlistbox_set_selected(tlistbox *listbox, int32_t row) {
  PORT_CHECK(listbox != nullptr);
  if (valid_row(listbox, row)) listbox->_selected = row;
  listbox->_generation++;
}

int tlistbox_add_image(tlistbox *listbox, tbitmap *bitmap, tbitmap *mask) {
  PORT_CHECK(listbox != nullptr);
  if (listbox->_image_count == listbox->_image_capacity) {
    size_t capacity = size_t(listbox->_image_capacity) + IMAGE_GROWTH;
    void *images = std::realloc(listbox->_images, capacity * sizeof(tbitmap *));
    if (!images) return 0;
    listbox->_images = static_cast<tbitmap **>(images);
    void *masks = std::realloc(listbox->_masks, capacity * sizeof(tbitmap *));
    if (!masks) return 0;
    listbox->_masks = static_cast<tbitmap **>(masks);
    listbox->_image_capacity = int32_t(capacity);
  }
  listbox->_images[listbox->_image_count] = bitmap;
  listbox->_masks[listbox->_image_count] = mask;
  listbox->_image_count++;
  listbox->_generation++;
  return 1;
}

void tlistbox_set_margins(tlistbox *listbox, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  PORT_CHECK(listbox != nullptr);
  listbox->_margin_left = left;
  listbox->_margin_top = top;
  listbox->_margin_right = right;
  listbox->_margin_bottom = bottom;
  lay_out(listbox);
  // The bar keeps its distances from the client rect's edges.
  tcontrol_apply_anchors(&listbox->_scrollbar->_control, &listbox->_control._client_rect);
}

void tlistbox_get_margins(const tlistbox *listbox, int32_t *left, int32_t *top, int32_t *right, int32_t *bottom) {
  PORT_CHECK(listbox != nullptr);
  if (left) *left = listbox->_margin_left;
  if (top) *top = listbox->_margin_top;
  if (right) *right = listbox->_margin_right;
  if (bottom) *bottom = listbox->_margin_bottom;
}

void tlistbox_set_smooth_scroll(tlistbox *listbox, int smooth) {
  PORT_CHECK(listbox != nullptr);
  listbox->_smooth = smooth != 0;
}

int tlistbox_get_smooth_scroll(const tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  return listbox->_smooth;
}

void tlistbox_set_scroll_steps(tlistbox *listbox, int32_t steps) {
  PORT_CHECK(listbox != nullptr);
  listbox->_scroll_steps = steps;
}

void tlistbox_set_single_tap(tlistbox *listbox, int single_tap) {
  PORT_CHECK(listbox != nullptr);
  listbox->_single_tap = single_tap != 0;
}

void tlistbox_set_scrollbar_width(tlistbox *listbox, int32_t width) {
  PORT_CHECK(listbox != nullptr);
  listbox->_scrollbar_width = width;
  tcontrol_set_width(&listbox->_scrollbar->_control, width);
  lay_out_columns(listbox);
}

int32_t tlistbox_get_scrollbar_width(const tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  return listbox->_scrollbar_width;
}

tscrollbar *tlistbox_get_scrollbar(const tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  return listbox->_scrollbar;
}

void tlistbox_repaint_scrollbar(tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  if (bar_shown(listbox)) tsurface_paint(&listbox->_scrollbar->_control._surface);
}

tbdrawer *tlistbox_get_selection_drawer(const tlistbox *listbox) {
  PORT_CHECK(listbox != nullptr);
  return listbox->_selection_drawer;
}

void tlistbox_set_on_activate(tlistbox *listbox, tlistbox_index_fn fn) {
  PORT_CHECK(listbox != nullptr);
  listbox->_on_activate = fn;
}

void tlistbox_set_on_select(tlistbox *listbox, tlistbox_index_fn fn) {
  PORT_CHECK(listbox != nullptr);
  listbox->_on_select = fn;
}

void tlistbox_set_paint_hooks(tlistbox *listbox, tlistbox_background_fn background,
                              tlistbox_row_background_fn row_background, tlistbox_text_cell_fn text_cell,
                              tlistbox_image_cell_fn image_cell) {
  PORT_CHECK(listbox != nullptr);
  listbox->_on_background = background;
  listbox->_on_row_background = row_background;
  listbox->_on_text_cell = text_cell;
  listbox->_on_image_cell = image_cell;
  listbox->_generation++;
}

void tlistbox_notify_select(tlistbox *listbox, int32_t row) {
  PORT_CHECK(listbox != nullptr);
  if (listbox->_on_select && valid_row(listbox, row)) listbox->_on_select(listbox, row);
}

void tlistbox_activate(tlistbox *listbox, int32_t row) {
  PORT_CHECK(listbox != nullptr);
  if (listbox->_on_activate && valid_row(listbox, row)) listbox->_on_activate(listbox, row);
}

static tlistbox *listbox_of(tcontrol *control) { return reinterpret_cast<tlistbox *>(control); }

static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  tlistbox *listbox = listbox_of(control);
  const trect &client = control->_client_rect;
  tlistbox_view now = view_of(listbox, canvas);
  bool moved = listbox->_scrolling && can_move_rows(listbox, now);
  int32_t shift = now.offset - listbox->_drawn.offset;
  listbox->_drawn = now;
  listbox->_drawn_valid = 1;
  if (!moved) {
    tcanvas_clear_clip(canvas);
    int draw = 1;
    if (listbox->_on_background) listbox->_on_background(listbox, canvas, rect, &draw);
    if (draw) tbdrawer_draw(control->_bdrawer, canvas, rect);
  }
  tcanvas_set_clip(canvas, &client);
  if (tlistitems_get_count(listbox->_items) == 0) return;
  row_span rows = lay_out_rows(listbox);
  if (!moved) {
    draw_rows(listbox, canvas, rows, client);
    return;
  }
  // The client's lines move whole: beside the rows they hold the box's fill,
  // the gap and the bar, which is composed again over its own lines. Only
  // what came into view is drawn, with the lines a row entering or leaving
  // reaches above itself, and the bar's column when the bar lets what lies
  // under it show.
  move_lines(tcanvas_get_bitmap(canvas), client.y1, client.y2, shift);
  trect areas[3];
  int n = 0;
  if (shift > 0) {
    areas[n++] = {client.x1, client.y2 - shift + 1 - ROW_REACH, now.rows_right, client.y2};
  } else {
    areas[n++] = {client.x1, client.y1, now.rows_right, client.y1 - shift - 1};
    areas[n++] = {client.x1, client.y2 - ROW_REACH + 1, now.rows_right, client.y2};
  }
  if (now.rows_right < client.x2 && !bar_covers(listbox))
    areas[n++] = {now.rows_right + 1, client.y1, client.x2, client.y2};
  for (int i = 0; i < n; i++) {
    trect area;
    trect_intersect(&area, &areas[i], &client);
    if (area.x1 > area.x2 || area.y1 > area.y2) continue;
    tcanvas_set_clip(canvas, &area);
    tbdrawer_draw(control->_bdrawer, canvas, rect);
    draw_rows(listbox, canvas, rows, area);
  }
  tcanvas_set_clip(canvas, &client);
}

// The rows that reach the client area: each stored where it is drawn, the
// first wholly shown one noted, and the highlight's place kept for a key
// scroll to hold.
static row_span lay_out_rows(tlistbox *listbox) {
  const trect &client = listbox->_control._client_rect;
  int32_t count = tlistitems_get_count(listbox->_items);
  row_span rows = {first_drawn_row(listbox), 0};
  rows.last = rows.first - 1;
  int32_t selected = listbox->_selected;
  bool hold = listbox->_smooth && !(listbox->_sticky && valid_row(listbox, selected));
  bool first_visible_found = false;
  listbox->_first_visible = rows.first;
  for (int32_t row = rows.first; row < count; row++) {
    trect r = row_rect(listbox, row);
    if (r.y1 > client.y2) break;
    rows.last = row;
    if (!first_visible_found && r.y1 >= client.y1) {
      listbox->_first_visible = row;
      first_visible_found = true;
    }
    tlistitems_set_rect(listbox->_items, row, &r);
    if (row == selected && hold) listbox->_sticky_rect = r;
  }
  return rows;
}

// Rows, highlight, texts and images as they fall in the area (the clip): the
// rows whose lines, with the two above each, meet it, drawn in the order a
// whole paint draws them.
static void draw_rows(tlistbox *listbox, tcanvas *canvas, row_span rows, const trect &area) {
  int32_t from = rows.first, to = rows.last;
  while (from < to && tlistitems_get_rect(listbox->_items, from)->y2 < area.y1) from++;
  while (to > from && tlistitems_get_rect(listbox->_items, to)->y1 - ROW_REACH > area.y2) to--;

  int32_t selected = listbox->_selected;
  bool sticky = listbox->_sticky && valid_row(listbox, selected);
  for (int32_t row = from; row <= to; row++) {
    const trect *r = tlistitems_get_rect(listbox->_items, row);
    int draw_row = 1;
    if (listbox->_on_row_background) listbox->_on_row_background(listbox, canvas, r, row, &draw_row);
    if (row != selected || !draw_row) continue;
    tbdrawer_draw(listbox->_selection_drawer, canvas, sticky ? &listbox->_sticky_rect : r);
  }
  // A held highlight stays where it was while its row is still out of view.
  if (sticky && (selected < rows.first || selected > rows.last))
    tbdrawer_draw(listbox->_selection_drawer, canvas, &listbox->_sticky_rect);

  auto cell_of = [listbox](const tlistcolumn *column, int32_t row) {
    trect cell = *tlistitems_get_rect(listbox->_items, row);
    cell.x1 += tlistcolumn_get_x(column);
    cell.x2 = cell.x1 + tlistcolumn_get_width(column) - 1;
    return cell;
  };
  bool highlight_text = valid_row(listbox, selected) && !sticky && selected >= rows.first && selected <= rows.last;
  bool selected_here = highlight_text && selected >= from && selected <= to;

  tcanvas_set_pen_color(canvas, COLOR_NOT_A_DRAWER);
  wins_graphics_pass *pass = wins_graphics_begin_text(canvas);
  for (int32_t c = 0; pass && c < listbox->_column_count; c++) {
    tlistcolumn *column = listbox->_columns[c];
    if (tlistcolumn_get_type(column) != TLISTCOLUMN_TEXT) continue;
    for (int32_t row = from; row <= to; row++) {
      if (highlight_text && row == selected) continue;
      const char16_t *text = tlistitems_get_field(listbox->_items, row, c);
      trect cell = cell_of(column, row);
      int draw_cell = 1;
      if (listbox->_on_text_cell)
        listbox->_on_text_cell(listbox, canvas, pass, text, -1, &cell, row, c, &draw_cell);
      if (draw_cell && text) ttdrawer_draw_in_pass(tlistcolumn_get_text_drawer(column), canvas, pass, text, -1, &cell);
    }
    // The selected row's white text goes on last, over its highlight.
    const char16_t *text = selected_here ? tlistitems_get_field(listbox->_items, selected, c) : nullptr;
    if (text) {
      trect cell = cell_of(column, selected);
      ttdrawer_draw_in_pass(tlistcolumn_get_selected_text_drawer(column), canvas, pass, text, -1, &cell);
    }
  }
  wins_graphics_end_text(canvas, pass);

  for (int32_t c = 0; c < listbox->_column_count; c++) {
    tlistcolumn *column = listbox->_columns[c];
    if (tlistcolumn_get_type(column) != TLISTCOLUMN_IMAGE) continue;
    for (int32_t row = from; row <= to; row++) {
      int32_t image = tlistitems_get_field_number(listbox->_items, row, c);
      trect cell = cell_of(column, row);
      int draw_cell = 1;
      if (listbox->_on_image_cell) listbox->_on_image_cell(listbox, canvas, image, &cell, row, c, &draw_cell);
      if (!draw_cell || image < 0 || image >= listbox->_image_count || !listbox->_images[image]) continue;
      tidrawer *drawer = highlight_text && row == selected ? tlistcolumn_get_selected_image_drawer(column)
                                                           : tlistcolumn_get_image_drawer(column);
      tidrawer_draw(drawer, canvas, listbox->_images[image], listbox->_masks[image], &cell, 255);
    }
  }
}

// What the paint under way draws from.
static tlistbox_view view_of(const tlistbox *listbox, tcanvas *canvas) {
  tlistbox_view view;
  std::memset(&view, 0, sizeof view);
  view.bitmap = tcanvas_get_bitmap(canvas);
  view.client = listbox->_control._client_rect;
  view.rows_right = view.client.x2 - (bar_shown(listbox) ? listbox->_scrollbar_width + listbox->_scrollbar_gap : 0);
  view.offset = listbox->_offset;
  view.selected = listbox->_selected;
  view.count = tlistitems_get_count(listbox->_items);
  view.total_height = tlistitems_get_total_height(listbox->_items);
  view.generation = listbox->_generation;
  view.sticky = listbox->_sticky && valid_row(listbox, listbox->_selected);
  return view;
}

// The drawn rows can be moved when they were drawn from the same view at
// another offset less than a client height away, no highlight is held in
// place, and everything behind them is one colour: the box a solid fill
// inside its border, no background hook, a highlight that moves with its row.
static bool can_move_rows(const tlistbox *listbox, const tlistbox_view &now) {
  const tlistbox_view &was = listbox->_drawn;
  const trect &c = now.client;
  int32_t shift = now.offset - was.offset;
  if (!listbox->_drawn_valid || shift == 0 || std::abs(int64_t(shift)) > int64_t(c.y2) - c.y1 || !now.bitmap ||
      was.bitmap != now.bitmap || !trect_is_equal(&was.client, &c) || was.rows_right != now.rows_right ||
      was.selected != now.selected || was.count != now.count || was.total_height != now.total_height ||
      was.generation != now.generation || was.sticky || now.sticky)
    return false;
  if (c.x1 < 0 || c.y1 < 0 || c.x1 > now.rows_right || c.x2 >= tbitmap_get_width(now.bitmap) ||
      c.y2 >= tbitmap_get_height(now.bitmap))
    return false;
  // A bar copied over the list must cover its column's moved lines.
  const trect *bar = tsurface_get_rect(&listbox->_scrollbar->_control._surface);
  if (now.rows_right < c.x2 && bar_covers(listbox) && (bar->y1 > c.y1 || bar->y2 < c.y2)) return false;
  const tbdrawer *box = listbox->_control._bdrawer;
  const tbdrawer *highlight = listbox->_selection_drawer;
  int32_t inset = std::min(std::min(listbox->_margin_left, listbox->_margin_top),
                           std::min(listbox->_margin_right, listbox->_margin_bottom));
  return !listbox->_on_background && box && box->_draw == tbdrawer_draw_standard &&
         box->_fill_mode == TBDRAWER_FILL_SOLID && !box->_pattern && box->_fill_color.alpha == 255 &&
         box->_border_style == TBDRAWER_BORDER_PLAIN && inset >= box->_border_width && highlight &&
         !highlight->_canvas_anchored;
}

// The bar is copied over the list as it is (no key, mask or hook), so it
// hides whatever its column held.
static bool bar_covers(const tlistbox *listbox) {
  const tsurface *bar = &listbox->_scrollbar->_control._surface;
  return !bar->_keyed && !bar->_masked && !bar->_compose && !bar->_backdrop;
}

// Lines top..bottom of the bitmap (inside it) move up by shift pixels, down
// when negative: one block of memory, which starts at the lower address of
// its first and last line.
static void move_lines(tbitmap *bitmap, int32_t top, int32_t bottom, int32_t shift) {
  int32_t count = bottom - top + 1 - std::abs(shift);
  int32_t to = shift > 0 ? top : top - shift, from = to + shift;
  uint8_t *first = tbitmap_get_row(bitmap, top);
  std::ptrdiff_t stride = tbitmap_get_row(bitmap, top + 1) - first;
  std::ptrdiff_t back = stride < 0 ? (count - 1) * stride : 0;
  std::memmove(first + (to - top) * stride + back, first + (from - top) * stride + back,
               size_t(count) * size_t(std::abs(stride)));
}

static void on_layout(tcontrol *control, const trect *) {
  tlistbox *listbox = listbox_of(control);
  lay_out(listbox);
}

static int on_key(tcontrol *control, uint32_t code, uint32_t, uint32_t) {
  tlistbox *listbox = listbox_of(control);
  int32_t count = tlistitems_get_count(listbox->_items);
  if (count == 0) return 0;
  if (code == KEY_ACTION) {
    tlistbox_activate(listbox, listbox->_selected);
    return 1;
  }
  if (code != KEY_UP && code != KEY_DOWN) return 0;
  // A selection a clear left past the rows wraps like one at the ends.
  int32_t row = listbox->_selected + (code == KEY_UP ? -1 : 1);
  bool wrapped = row < 0 || row >= count;
  if (wrapped) row = code == KEY_UP ? count - 1 : 0;
  listbox->_selected = row;
  int32_t offset = ensure_visible(listbox);
  if (offset != listbox->_offset && listbox->_smooth) {
    // After the pen moved the rows the last drawn highlight is no guide.
    if (wrapped || listbox->_last_pen_tick != 0) {
      listbox->_sticky = 0;
      listbox->_last_pen_tick = 0;
    } else {
      listbox->_sticky = 1;
    }
  } else {
    listbox->_sticky = 0;
    listbox->_last_pen_tick = 0;
  }
  if (listbox->_smooth && !listbox->_timer) {
    scroll_to(listbox, offset);
  } else {
    listbox->_offset = offset;
    show_offset(listbox);
    if (listbox->_smooth) scroll_to(listbox, offset);
  }
  tlistbox_notify_select(listbox, listbox->_selected);
  return 1;
}

static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers) {
  tlistbox *listbox = listbox_of(control);
  tsurface *surface = &control->_surface;
  const trect *r = tsurface_get_rect(surface);
  int32_t lx = x - r->x1, ly = y - r->y1;
  tcontrol *bar = &listbox->_scrollbar->_control;
  if (bar_shown(listbox) && tcontrol_handle_pen(bar, type, lx, ly, modifiers)) return 1;
  const trect &client = control->_client_rect;
  bool inside = lx >= client.x1 && lx <= client.x2 && ly >= client.y1 && ly <= client.y2;
  if (!inside && !tsurface_has_pen_capture(surface)) return 0;
  switch (type) {
    case TSCREEN_PEN_DOWN: {
      if (!tcontrol_has_focus(control)) tcontrol_set_focus(control, 1);
      int32_t row = hit_test(listbox, lx, ly);
      if (row < 0) return 1;
      listbox->_moved = row != listbox->_selected && !listbox->_single_tap;
      listbox->_selected = row;
      listbox->_sticky = 0;
      listbox->_pressed = 1;
      listbox->_last_pen_tick = port_device_get_ticks();
      listbox->_last_pen_delta = 0;
      listbox->_press_y = listbox->_last_y = ly;
      stop_timer(listbox);
      tsurface_set_pen_capture(surface, 1);
      update(listbox);
      return 1;
    }
    case TSCREEN_PEN_MOVE: {
      if (!listbox->_pressed) return 0;
      int32_t delta = listbox->_last_y - ly;
      listbox->_offset += delta;
      if (std::abs(listbox->_press_y - ly) >= listbox->_row_height) listbox->_moved = 1;
      listbox->_last_pen_delta = delta;
      listbox->_last_pen_tick = port_device_get_ticks();
      listbox->_last_y = ly;
      show_offset(listbox);
      return 1;
    }
    case TSCREEN_PEN_UP:
      if (!listbox->_pressed) return 0;
      pen_up(listbox, lx, ly);
      return 1;
    default:
      return 0;
  }
}

static int32_t child_count(tcontrol *) { return 1; }

static tcontrol *child_at(tcontrol *control, int32_t index) {
  tlistbox *listbox = listbox_of(control);
  return index == 0 && listbox->_scrollbar ? &listbox->_scrollbar->_control : nullptr;
}

static int tlistbox_always_true(tcontrol *) { return 1; }

// The bar's owner word is its list box.
static void on_bar_change(tscrollbar *bar, int32_t position) {
  tlistbox *listbox = static_cast<tlistbox *>(tsurface_get_owner(&bar->_control._surface));
  int32_t end = tlistitems_get_total_height(listbox->_items) - listbox->_visible_height;
  listbox->_offset = position > end ? end : position;
  update(listbox);
}

static void on_timer(uint32_t, void *user_data) {
  tlistbox *listbox = static_cast<tlistbox *>(user_data);
  int32_t step = listbox->_anim_step, target = listbox->_anim_target;
  int64_t next = int64_t(listbox->_anim_current) + step;
  next = step > 0 ? std::min<int64_t>(next, target) : std::max<int64_t>(next, target);
  listbox->_offset = listbox->_anim_current = int32_t(next);
  int32_t remaining = target - listbox->_offset;
  int32_t span = target - listbox->_anim_start;
  if (remaining == 0) {
    stop_timer(listbox);
    listbox->_sticky = 0;
  } else if (span != 0 && listbox->_anim_threshold >= int64_t(remaining) * 100 / span) {
    step += step > 0 ? -1 : 1;
    listbox->_anim_step = step == 0 ? remaining : step;
  }
  show_offset(listbox);
}

// Client rect, heights, bar, columns and offset follow the rect. A scroll
// under way ends here: its target was reckoned for the old height and could
// lie past the new end.
static void lay_out(tlistbox *listbox) {
  stop_timer(listbox);
  tcontrol *control = &listbox->_control;
  tsurface *surface = &control->_surface;
  trect client = {listbox->_margin_left, listbox->_margin_top,
                  tsurface_get_width(surface) - 1 - listbox->_margin_right,
                  tsurface_get_height(surface) - 1 - listbox->_margin_bottom};
  tcontrol_set_client_rect(control, &client);
  listbox->_sticky = 0;
  listbox->_last_pen_tick = port_device_get_ticks();
  listbox->_visible_height = client.y2 - client.y1 + 1;
  listbox->_shown_height = std::min(listbox->_visible_height, tlistitems_get_total_height(listbox->_items));
  update_scrollbar(listbox);
  listbox->_offset = ensure_visible(listbox);
  if (bar_shown(listbox)) tscrollbar_set_pos(listbox->_scrollbar, listbox->_offset);
  update(listbox);
}

static void lay_out_columns(tlistbox *listbox) {
  listbox->_generation++;
  const trect &client = listbox->_control._client_rect;
  int32_t width = client.x2 - client.x1 + 1;
  if (bar_shown(listbox)) width -= listbox->_scrollbar_width + listbox->_scrollbar_gap;
  int32_t left = 0, right = 0;
  for (int32_t i = 0; i < listbox->_column_count; i++) {
    tlistcolumn *column = listbox->_columns[i];
    int32_t w = column->_width;
    if (w == -1) continue;
    if (column->_from_right) {
      right += w;
      tlistcolumn_set_layout(column, width - right, w);
    } else {
      tlistcolumn_set_layout(column, left, w);
      left += w;
    }
  }
  for (int32_t i = 0; i < listbox->_column_count; i++) {
    if (listbox->_columns[i]->_width != -1) continue;
    tlistcolumn_set_layout(listbox->_columns[i], left, width - right - left);
    break;
  }
}

// The columns follow the bar: they take the full width while it is hidden.
static void update_scrollbar(tlistbox *listbox) {
  tscrollbar *bar = listbox->_scrollbar;
  int32_t total = tlistitems_get_total_height(listbox->_items);
  tscrollbar_set_min(bar, 0);
  tscrollbar_set_max(bar, total);
  tscrollbar_set_page(bar, listbox->_visible_height);
  tscrollbar_set_step(bar, listbox->_row_height);
  bool shown = listbox->_visible_height < total;
  tsurface_set_visible(&bar->_control._surface, shown);
  if (shown) tscrollbar_set_pos(bar, listbox->_offset);
  lay_out_columns(listbox);
}

static bool bar_shown(const tlistbox *listbox) {
  return listbox->_scrollbar && tsurface_is_visible(&listbox->_scrollbar->_control._surface);
}

// The offset that shows the selected row: the first visible row moves down
// just far enough, or up onto the selection. It never passes the selected row,
// so a row taller than the list shows its top.
static int32_t ensure_visible(tlistbox *listbox) {
  const tlistitems *items = listbox->_items;
  int32_t count = tlistitems_get_count(items);
  int32_t selected = listbox->_selected;
  int32_t bottom = valid_row(listbox, selected)
                       ? tlistitems_get_top(items, selected) + tlistitems_get_height(items, selected)
                       : 0;
  int32_t first = listbox->_first_visible;
  int32_t first_top = valid_row(listbox, first) ? tlistitems_get_top(items, first) : 0;
  if (selected >= first) {
    while (bottom - first_top > listbox->_visible_height && first < selected && first < count) {
      first++;
      first_top = valid_row(listbox, first) ? tlistitems_get_top(items, first) : 0;
    }
  } else {
    first = selected;
  }
  listbox->_first_visible = first;
  // Whole rows of varied heights can aim past the end, below the last row.
  int32_t end = std::max(0, tlistitems_get_total_height(items) - listbox->_visible_height);
  return valid_row(listbox, first) ? std::min(tlistitems_get_top(items, first), end) : 0;
}

// An estimate from the row height, brought back to the last row (rows of
// varied heights can put it past the end) and then up to the row the offset
// falls in.
static int32_t first_drawn_row(const tlistbox *listbox) {
  int32_t count = tlistitems_get_count(listbox->_items);
  if (listbox->_row_height <= 0) return 0;
  int32_t row = std::min(listbox->_offset / listbox->_row_height - 1, count - 1);
  while (row > 0 && tlistitems_get_top(listbox->_items, row) >= listbox->_offset) row--;
  return std::max(row, 0);
}

static trect row_rect(const tlistbox *listbox, int32_t row) {
  const trect &client = listbox->_control._client_rect;
  trect r;
  r.x1 = client.x1;
  r.x2 = client.x2 - (bar_shown(listbox) ? listbox->_scrollbar_width + listbox->_scrollbar_gap : 0);
  r.y1 = client.y1 + tlistitems_get_top(listbox->_items, row) - listbox->_offset;
  r.y2 = r.y1 + tlistitems_get_height(listbox->_items, row) - 1;
  return r;
}

// The row under a point of the list's own coordinates, or -1.
static int32_t hit_test(const tlistbox *listbox, int32_t x, int32_t y) {
  int32_t count = tlistitems_get_count(listbox->_items);
  int32_t first = listbox->_first_visible;
  if (!valid_row(listbox, first)) return -1;
  const trect &client = listbox->_control._client_rect;
  int32_t row_height = listbox->_row_height;
  int32_t first_top = row_rect(listbox, first).y1;
  if (first > 0 && x >= client.x1 && x <= client.x2) {
    // The row partly scrolled out above, by its own height when it has one.
    int32_t above = tlistitems_get_height(listbox->_items, first - 1);
    if (above < 1) above = row_height;
    if (y >= first_top - above && y <= first_top - 2) return first - 1;
  }
  if (x < client.x1 + 2 || x >= client.x2 - 2) return -1;
  int64_t covered = 0;
  for (int32_t row = first; row < count; row++) {
    int32_t height = tlistitems_get_height(listbox->_items, row);
    if (height < 1) height = row_height;
    int32_t top = row_rect(listbox, row).y1;
    if (y >= top - 1 && y <= top + height - 1) return row;
    covered += height;
    if (covered > listbox->_visible_height) break;
  }
  return -1;
}

// Flick or snap back, then the callbacks: selection always, activation for a
// release inside that did not move.
static void pen_up(tlistbox *listbox, int32_t x, int32_t y) {
  listbox->_pressed = 0;
  tsurface_set_pen_capture(&listbox->_control._surface, 0);
  int32_t total = tlistitems_get_total_height(listbox->_items);
  int32_t end = total - listbox->_shown_height;
  int32_t offset = listbox->_offset;
  int32_t row_height = listbox->_row_height;
  if (offset >= 0 && offset <= end) {
    int64_t dt = int64_t(port_device_get_ticks()) - listbox->_last_pen_tick;
    int64_t v = dt >= 1 ? int64_t(listbox->_last_pen_delta) * FLICK_SCALE / dt : 0;
    // Without a row height a flick would never slow down nor arrive.
    if (dt >= 1 && row_height > 0 && (v > row_height || v < -row_height) && listbox->_smooth) {
      int32_t target = int32_t(std::clamp<int64_t>(offset + v, 0, end));
      if (target != offset) {
        listbox->_anim_start = listbox->_anim_current = offset;
        listbox->_anim_target = target;
        listbox->_anim_step = v > 0 ? row_height : -row_height;
        listbox->_anim_threshold = (row_height * 1000 - 5500) / std::abs(target - offset);
        start_timer(listbox);
      }
    }
  } else {
    int32_t target = offset < 0 ? 0 : end;
    if (listbox->_smooth) {
      scroll_to(listbox, target);
    } else {
      listbox->_offset = target;
      show_offset(listbox);
    }
  }
  const trect &client = listbox->_control._client_rect;
  bool inside = x >= client.x1 && x <= client.x2 && y >= client.y1 && y <= client.y2;
  select_then_activate(listbox, listbox->_selected, !listbox->_moved && inside);
}

static void scroll_to(tlistbox *listbox, int32_t target) {
  listbox->_anim_start = listbox->_anim_current = listbox->_offset;
  listbox->_anim_target = target;
  int32_t steps = std::max(listbox->_scroll_steps, 1);
  int32_t step = int32_t(std::lround(double(target - listbox->_offset) / steps));
  // A share that rounds to 0 would never arrive: one pixel toward the target.
  if (step == 0) step = target >= listbox->_offset ? 1 : -1;
  listbox->_anim_step = step;
  listbox->_anim_threshold = 0;
  start_timer(listbox);
}

// A refused timer would leave the rows short of their target: go there at once.
static void start_timer(tlistbox *listbox) {
  stop_timer(listbox);
  listbox->_timer = wins_timer_start(TIMER_MS, 0, on_timer, listbox);
  if (listbox->_timer) return;
  listbox->_offset = listbox->_anim_current = listbox->_anim_target;
  listbox->_sticky = 0;
  show_offset(listbox);
}

static void stop_timer(tlistbox *listbox) {
  if (!listbox->_timer) return;
  wins_timer_stop(listbox->_timer);
  listbox->_timer = 0;
}

// The bar follows the offset; the list shows it, moving the rows it drew.
static void show_offset(tlistbox *listbox) {
  if (bar_shown(listbox)) {
    tscrollbar_set_pos(listbox->_scrollbar, listbox->_offset);
    tlistbox_repaint_scrollbar(listbox);
  }
  listbox->_scrolling = 1;
  update(listbox);
  listbox->_scrolling = 0;
}

// Either callback may free the list box: nothing is touched after one that did.
static void select_then_activate(tlistbox *listbox, int32_t row, bool activate) {
  bool alive = true;
  bool *outer = listbox->_alive;
  listbox->_alive = &alive;
  tlistbox_notify_select(listbox, row);
  if (!alive) return;
  listbox->_alive = outer;
  if (activate) tlistbox_activate(listbox, row);
}

static bool valid_row(const tlistbox *listbox, int32_t row) {
  return row >= 0 && row < tlistitems_get_count(listbox->_items);
}

static void update(tlistbox *listbox) { tsurface_update(&listbox->_control._surface, nullptr); }
