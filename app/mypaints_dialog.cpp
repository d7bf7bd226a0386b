// my_paints_dialog: the grid of saved paintings.
#include "mypaints_dialog.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app_common.h"
#include "paint_file.h"
#include "paint_search.h"
#include "port_fs.h"
#include "port_log.h"
#include "save_dirs.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tdirfile.h"
#include "tfile.h"
#include "tform.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "tresource.h"
#include "tscreen.h"
#include "tscrollbar.h"
#include "tstring.h"
#include "tstyler.h"
#include "win_ao.h"

namespace {

enum { k_left = 0, k_top = 1, k_cell_width = 2, k_cell_height = 3, k_gap = 4 };
constexpr int32_t k_layout_defaults[MY_PAINTS_LAYOUT_VALUES] = {10, 10, 110, 130, 5};

constexpr tcolor k_form_grey = tcolor_rgba(200, 200, 200);
constexpr tcolor k_key = tcolor_rgba(255, 0, 255);
constexpr tcolor k_thumb = tcolor_rgba(128, 128, 128);
constexpr tcolor k_thumb_pressed = tcolor_rgba(64, 64, 64);
constexpr uint32_t k_pressed_top = tcolor_key_rgb(64, 64, 64);
constexpr uint32_t k_pressed_bottom = tcolor_key_rgb(128, 128, 128);
constexpr int32_t k_bar_small = 5, k_bar = 10;
constexpr int32_t k_thumb_radius = 2;
constexpr int32_t k_image_position = 5;  // picture above, caption below
constexpr int32_t k_image_percent = 80;
constexpr int32_t k_menu_row_large = 60;
constexpr int32_t k_menu_scroll_steps = 2;
constexpr int32_t k_menu_bar_width = 10;

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }
tform *form_of(const my_paints_dialog *mp) { return tdialog_get_form(mp->_dialog); }

char16_t *copy_text(const char16_t *text);
void free_record(my_paints_dialog *mp);
void style_form(my_paints_dialog *mp);
void search_folders(my_paints_dialog *mp, tdirfile *found, int32_t *count);
int add_items(my_paints_dialog *mp, tdirfile *found);
int grow_items(my_paints_dialog *mp);
void first_cell(const my_paints_dialog *mp, int32_t *x, int32_t *y);
void next_cell(const my_paints_dialog *mp, int32_t *x, int32_t *y);
void place_items(my_paints_dialog *mp);
struct item_range {
  int32_t first, last;  // last < first: none
};
item_range items_within(const my_paints_dialog *mp, int32_t top, int32_t bottom);
item_range items_in_view(const my_paints_dialog *mp);
item_range items_near(const my_paints_dialog *mp);
void release_far(my_paints_dialog *mp);
void release_item(my_paints_item *item);
my_paints_item *next_to_read(const my_paints_dialog *mp);
void style_item(my_paints_item *item);
void repaint_form(my_paints_dialog *mp);
bool in_view(const my_paints_dialog *mp, const my_paints_item *item);
void draw_items_in_view(my_paints_dialog *mp);
void show_item(my_paints_dialog *mp, my_paints_item *item);
void compose_up(tsurface *surface, trect *area);
void on_item_frame(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default);
void on_item_part(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default);
void delete_selected(my_paints_dialog *mp);
void on_item_click(tbutton *button, intptr_t user_data);
void on_menu_popup(tmenu *menu, int32_t x, int32_t y);
void on_menu_select(uint32_t id, void *user_data);
void on_form_layout(tform *form, const trect *rect);
void on_form_scroll(tform *form, int32_t delta);
my_paints_dialog *dialog_of(tform *form);
void on_loader_run(win_ao *ao, void *user_data);
int on_closing(tdialog *dialog, int32_t result, void *owner);
void free_parts(tdialog *dialog, void *owner);
void on_dialog_result(int32_t result, void *owner);

}  // namespace

my_paints_dialog *my_paints_dialog_new(const char16_t *title, int32_t width, const char16_t *folder,
                                       char16_t *result_path, void *user_data) {
  PORT_CHECK(folder != nullptr);
  my_paints_dialog *mp = static_cast<my_paints_dialog *>(std::calloc(1, sizeof(my_paints_dialog)));
  if (!mp) return nullptr;
  mp->_items = static_cast<my_paints_item **>(std::calloc(MY_PAINTS_ITEMS_STEP, sizeof(my_paints_item *)));
  if (!mp->_items) {
    std::free(mp);
    return nullptr;
  }
  mp->_capacity = MY_PAINTS_ITEMS_STEP;
  mp->_result_path = result_path;
  mp->_user_data = user_data;
  mp->_folder = copy_text(folder);
  if (!mp->_folder) {
    free_record(mp);
    return nullptr;
  }
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  mp->_width = width == -1 ? std::min(screen_width, screen_height) : width;
  std::copy(k_layout_defaults, k_layout_defaults + MY_PAINTS_LAYOUT_VALUES, mp->_layout);
  tstyler_apply(tstyler_get_default(), mp, MY_PAINTS_STYLE_BEFORE, user_data, 0);

  mp->_dialog = tdialog_new(title, mp);
  if (!mp->_dialog) {
    free_record(mp);
    return nullptr;
  }
  tdialog *dialog = mp->_dialog;
  tdialog_set_on_free(dialog, free_parts);
  tdialog_set_on_closing(dialog, on_closing);
  tcontrol_set_width(tdialog_get_panel(dialog), mp->_width);
  tsurface_set_visible(surface_of(tcontrolbar_get_left_button(tdialog_get_controlbar(dialog))), 0);
  style_form(mp);
  mp->_client = *tcontrol_get_client_rect(control_of(form_of(mp)));

  // Every folder is listed first; the items follow in listing order.
  tdirfile *found = tdirfile_new(0);
  int32_t count = 0;
  if (found) search_folders(mp, found, &count);
  int built = found && add_items(mp, found);
  if (found) tdirfile_free(found);
  if (built) mp->_loader = win_ao_new(0);
  if (!mp->_loader) {
    tdialog_free(dialog);
    free_record(mp);
    return nullptr;
  }
  win_ao_set_run(mp->_loader, on_loader_run);
  win_ao_set_user_data(mp->_loader, mp);
  tstyler_apply(tstyler_get_default(), mp->_loader, MY_PAINTS_STYLE, user_data, 0);
  tdialog_set_on_result(dialog, on_dialog_result);
  return mp;
}

void my_paints_dialog_show(my_paints_dialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  tdialog_show(dialog->_dialog, x, y, dialog->_width, -1, mode);
  win_ao_signal(dialog->_loader);
}

my_paints_result_fn my_paints_dialog_set_on_result(my_paints_dialog *dialog, my_paints_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  my_paints_result_fn previous = dialog->_on_result;
  dialog->_on_result = fn;
  return previous;
}

tdialog *my_paints_dialog_get_dialog(const my_paints_dialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_dialog;
}

void my_paints_dialog_set_layout(my_paints_dialog *dialog, int32_t index, int32_t value) {
  PORT_CHECK(dialog != nullptr);
  if (index >= 0 && index < MY_PAINTS_LAYOUT_VALUES) dialog->_layout[index] = value;
}

my_paints_item *my_paints_item_new(my_paints_dialog *dialog, const char16_t *path, int32_t x, int32_t y) {
  PORT_CHECK(dialog != nullptr && path != nullptr);
  my_paints_item *item = static_cast<my_paints_item *>(std::calloc(1, sizeof(my_paints_item)));
  if (!item) return nullptr;
  item->_path = copy_text(path);
  item->_dialog = dialog;
  const int32_t *layout = dialog->_layout;
  trect rect = {x, y, x + layout[k_cell_width] - 1, y + layout[k_cell_height] - 1};
  if (!item->_path ||
      !tbutton_init(&item->_button, control_of(form_of(dialog)), &rect, tfile_get_name(item->_path), 0, item)) {
    std::free(item->_path);
    std::free(item);
    return nullptr;
  }
  style_item(item);
  return item;
}

void my_paints_item_free(my_paints_item *item) {
  PORT_CHECK(item != nullptr);
  tbutton_deinit(&item->_button);
  if (item->_thumbnail) tbitmap_free(item->_thumbnail);
  std::free(item->_path);
  std::free(item);
}

tbutton *my_paints_item_get_button(my_paints_item *item) {
  PORT_CHECK(item != nullptr);
  return &item->_button;
}

const char16_t *my_paints_item_get_path(const my_paints_item *item) {
  PORT_CHECK(item != nullptr);
  return item->_path;
}

namespace {

// Null when memory is lacking; the caller frees the copy.
char16_t *copy_text(const char16_t *text) {
  tstring *copy = tstring_new(text);
  return copy ? tstring_free(copy, 0) : nullptr;
}

void free_record(my_paints_dialog *mp) {
  std::free(mp->_folder);
  std::free(mp->_items);
  std::free(mp);
}

// A grey sheet that scrolls up and down only, with a thin see-through bar.
void style_form(my_paints_dialog *mp) {
  tform *form = form_of(mp);
  tform_set_focus_frame_hidden(form, 1);
  tform_set_animated_scroll(form, 1);
  tform_set_hscroll_hidden(form, 1);
  tform_set_hdrag_locked(form, 1);
  tform_set_on_layout(form, on_form_layout);
  tform_set_on_scroll(form, on_form_scroll);
  tform_set_drag_through_children(form, 1);
  tbdrawer *box = tcontrol_get_box_drawer(control_of(form));
  tbdrawer_set_no_border(box);
  tbdrawer_set_fill_solid(box);
  tbdrawer_set_fill_color(box, k_form_grey);
  tform_set_scrollbar_size(form, app_common_is_qvga() ? k_bar_small : k_bar);

  tscrollbar *bar = tform_get_vscrollbar(form);
  tsurface_set_color_key(surface_of(bar), k_key);
  tsurface_set_color_key_enabled(surface_of(bar), 1);
  tbdrawer *track = tcontrol_get_box_drawer(control_of(bar));
  tbdrawer_set_no_border(track);
  tbdrawer_set_fill_solid(track);
  tbdrawer_set_fill_color(track, k_key);
  struct thumb_look {
    tbdrawer *drawer;
    tcolor color;
  };
  for (const thumb_look &look : {thumb_look{tscrollbar_get_thumb_drawer(bar), k_thumb},
                                 thumb_look{tscrollbar_get_pressed_thumb_drawer(bar), k_thumb_pressed}}) {
    tbdrawer_set_round_border(look.drawer, look.color, 1, k_thumb_radius);
    tbdrawer_set_fill_solid(look.drawer);
    tbdrawer_set_fill_color(look.drawer, look.color);
  }
}

// The given folder, then the recent save folders up to the first missing or
// empty one; a recent folder that is the given one is not searched again.
void search_folders(my_paints_dialog *mp, tdirfile *found, int32_t *count) {
  paint_search(mp->_folder, found, count, 0);
  for (int32_t i = 0; i < APP_SAVE_DIRS; i++) {
    const char16_t *recent = save_dirs_get(i);
    if (!recent || !recent[0]) break;
    if (save_dirs_same_folder(recent, mp->_folder)) continue;
    paint_search(recent, found, count, 0);
  }
}

// One item per document, cell after cell; 0 when one cannot be made.
int add_items(my_paints_dialog *mp, tdirfile *found) {
  tbitmap *placeholder = tresource_get_bitmap(MY_PAINTS_PLACEHOLDER);
  tbitmap *placeholder_mask = tresource_get_bitmap(MY_PAINTS_PLACEHOLDER_MASK);
  tform *form = form_of(mp);
  int32_t x, y;
  first_cell(mp, &x, &y);
  for (tdirfile_entry *entry = tdirfile_first(found); entry; entry = tdirfile_next(found)) {
    if (mp->_count == mp->_capacity && !grow_items(mp)) return 0;
    my_paints_item *item = my_paints_item_new(mp, entry->name, x, y);
    if (!item) return 0;
    tbutton_set_image(&item->_button, placeholder, placeholder_mask);
    if (!tform_add_child(form, mp->_count, control_of(item))) {
      my_paints_item_free(item);
      return 0;
    }
    // No view yet: the buffer goes before the next button takes its own,
    // and comes back when the button first shows.
    release_item(item);
    mp->_items[mp->_count++] = item;
    next_cell(mp, &x, &y);
  }
  return 1;
}

int grow_items(my_paints_dialog *mp) {
  int32_t capacity = mp->_capacity + MY_PAINTS_ITEMS_STEP;
  void *grown = std::realloc(mp->_items, size_t(capacity) * sizeof(my_paints_item *));
  if (!grown) return 0;
  mp->_items = static_cast<my_paints_item **>(grown);
  mp->_capacity = capacity;
  return 1;
}

void first_cell(const my_paints_dialog *mp, int32_t *x, int32_t *y) {
  *x = mp->_layout[k_left];
  *y = mp->_layout[k_top];
}

// Across, and down to a new row when the next cell would pass the client
// rect's right edge.
void next_cell(const my_paints_dialog *mp, int32_t *x, int32_t *y) {
  const int32_t *layout = mp->_layout;
  *x += layout[k_cell_width] + layout[k_gap];
  if (*x + layout[k_cell_width] - 1 > mp->_client.x2) {
    *x = layout[k_left];
    *y += layout[k_cell_height] + layout[k_gap];
  }
}

// Every item in its cell at scroll offset 0.
void place_items(my_paints_dialog *mp) {
  int32_t x, y;
  first_cell(mp, &x, &y);
  for (int32_t i = 0; i < mp->_count; i++) {
    tcontrol_move_to(control_of(mp->_items[i]), x, y, 0);
    next_cell(mp, &x, &y);
  }
}

// The items that lie (or, while a scroll is under way, will lie) between
// top and bottom of the form. The items go in grid order, so their tops
// and bottoms only grow with the index.
item_range items_within(const my_paints_dialog *mp, int32_t top, int32_t bottom) {
  my_paints_item **begin = mp->_items, **end = mp->_items + mp->_count;
  int32_t dy = mp->_ahead_dy;
  auto rect = [](my_paints_item *item) { return tsurface_get_rect(surface_of(item)); };
  my_paints_item **first =
      std::partition_point(begin, end, [&](my_paints_item *item) { return int64_t(rect(item)->y2) + dy < top; });
  my_paints_item **past =
      std::partition_point(first, end, [&](my_paints_item *item) { return int64_t(rect(item)->y1) + dy <= bottom; });
  return {int32_t(first - begin), int32_t(past - begin) - 1};
}

item_range items_in_view(const my_paints_dialog *mp) { return items_within(mp, mp->_client.y1, mp->_client.y2); }

// Within one client height above or below the view.
item_range items_near(const my_paints_dialog *mp) {
  int32_t height = mp->_client.y2 - mp->_client.y1 + 1;
  return items_within(mp, mp->_client.y1 - height, mp->_client.y2 + height);
}

// Items far from the view give back their thumbnails and buffers.
void release_far(my_paints_dialog *mp) {
  item_range near = items_near(mp);
  for (int32_t i = 0; i < mp->_count; i++)
    if (i < near.first || i > near.last) release_item(mp->_items[i]);
}

// Back to the look the item had before its thumbnail was read, with no
// buffer: its button draws nothing until it comes into view, and then
// takes a buffer again (on_item_frame).
void release_item(my_paints_item *item) {
  if (item->_thumbnail) {
    tbutton *button = &item->_button;
    tbutton_set_image(button, tresource_get_bitmap(MY_PAINTS_PLACEHOLDER),
                      tresource_get_bitmap(MY_PAINTS_PLACEHOLDER_MASK));
    tbutton_set_focused_image(button, nullptr, nullptr);
    tbutton_set_pressed_image(button, nullptr, nullptr);
    tbitmap_free(item->_thumbnail);
    item->_thumbnail = nullptr;
  }
  tcanvas *canvas = &surface_of(item)->_canvas;
  if (tcanvas_get_bitmap(canvas)) tcanvas_deinit(canvas);
  item->_drawn = 0;
}

// The next item near the view whose thumbnail has not been read: those in
// view in grid order, then those below the view going down, then those
// above it going up. Null when none is left.
my_paints_item *next_to_read(const my_paints_dialog *mp) {
  item_range view = items_in_view(mp), near = items_near(mp);
  auto wanted = [mp](int32_t i) {
    const my_paints_item *item = mp->_items[i];
    return !item->_thumbnail && !item->_unreadable;
  };
  for (int32_t i = std::max(view.first, 0); i <= view.last; i++)
    if (wanted(i)) return mp->_items[i];
  for (int32_t i = std::max(view.last + 1, near.first); i <= near.last; i++)
    if (wanted(i)) return mp->_items[i];
  for (int32_t i = std::min(view.first - 1, near.last); i >= near.first; i--)
    if (wanted(i)) return mp->_items[i];
  return nullptr;
}

// Light grey; pressed, a dark gradient. The caption ends in "..." when it is
// too wide, and a drag off the button leaves it as drawn (the grid scrolls).
void style_item(my_paints_item *item) {
  tbutton *button = &item->_button;
  tbutton_set_image_position(button, k_image_position, k_image_percent);
  for (ttdrawer *text : {tbutton_get_tdrawer(button), tbutton_get_focused_tdrawer(button),
                         tbutton_get_pressed_tdrawer(button)})
    ttdrawer_set_truncation(text, TTDRAWER_TRUNCATE_END);
  for (tbdrawer *frame : {tbutton_get_box_drawer(button), tbutton_get_focused_box_drawer(button)}) {
    tbdrawer_set_border(frame, k_form_grey, 1);
    tbdrawer_set_fill_solid(frame);
    tbdrawer_set_fill_color(frame, k_form_grey);
  }
  tbdrawer *pressed = tbutton_get_pressed_box_drawer(button);
  tbdrawer_set_border(pressed, k_form_grey, 1);
  tbdrawer_set_fill_gradient(pressed, 0, k_pressed_top, k_pressed_bottom, 100, 0);
  tbutton_set_no_redraw_on_drag(button, 1);
  tbutton_set_on_click(button, on_item_click);
  tbutton_set_draw_hooks(button, on_item_frame, on_item_part, on_item_part, nullptr);
}

// The form, the panel and the dialog made current in their buffers without
// touching the display: the screen paint that follows (the menu's, the
// question's) shows the grid as it is now, also after a scroll that updated
// the form alone.
void repaint_form(my_paints_dialog *mp) {
  tscreen *screen = tscreen_get();
  uint32_t lock = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  tsurface *form = surface_of(form_of(mp));
  tsurface_set_update_mode(form, 0, 0);
  tsurface_update(form, nullptr);
  tsurface_set_update_mode(form, 1, 1);
  tscreen_set_update_lock(screen, lock);
}

// Whether the item's button lies in the form's view, or will once the
// scroll under way has moved it. The view is taken as the client rect: the
// form scrolls up and down only, and the client rect is current already
// while the form's layout calls on_form_layout.
bool in_view(const my_paints_dialog *mp, const my_paints_item *item) {
  trect rect = *tsurface_get_rect(surface_of(const_cast<my_paints_item *>(item)));
  rect.y1 += mp->_ahead_dy;
  rect.y2 += mp->_ahead_dy;
  return trect_is_intersecting(&rect, &mp->_client);
}

// Buttons that came into view undrawn are drawn in their buffers, for the
// form to compose next.
void draw_items_in_view(my_paints_dialog *mp) {
  for (int32_t i = 0; i < mp->_count; i++) {
    my_paints_item *item = mp->_items[i];
    if (!item->_drawn && in_view(mp, item)) tsurface_paint(surface_of(item));
  }
}

// A new look for one button. Out of view it waits until it comes into view;
// in view the button is drawn, its part of the view composed up through the
// form and the dialog, and the screen painted over that part alone.
void show_item(my_paints_dialog *mp, my_paints_item *item) {
  if (!in_view(mp, item)) {
    item->_drawn = 0;
    return;
  }
  tsurface *button = surface_of(item);
  if (!tsurface_paint(button)) return;
  trect area;
  if (!trect_intersect(&area, tsurface_get_rect(button), &form_of(mp)->_view)) return;
  compose_up(button, &area);
  tscreen_paint(tscreen_get(), &area);
}

// Every ancestor's buffer made current over area (in the surface's parent's
// coordinates on entry, in the screen's on return): each parent composes its
// children again, clipped to the area. The area lies within opaque children
// (the button, the form, the panel), so the parents' own drawing stays hidden.
void compose_up(tsurface *surface, trect *area) {
  for (tsurface *parent = tsurface_get_parent(surface); parent; parent = tsurface_get_parent(parent)) {
    tcanvas *canvas = tsurface_get_canvas(parent);
    trect saved_clip = canvas->_clip;
    uint8_t saved_clip_on = canvas->_clip_on;
    trect clip = *area;
    if (!saved_clip_on || trect_intersect(&clip, &clip, &saved_clip)) {
      tcanvas_set_clip(canvas, &clip);
      int32_t count = parent->_child_count ? parent->_child_count(parent) : 0;
      for (int32_t i = 0; i < count; i++)
        if (tsurface *child = parent->_child_at(parent, i)) tsurface_compose_onto(child, canvas);
    }
    canvas->_clip = saved_clip;
    canvas->_clip_on = saved_clip_on;
    const trect *rect = tsurface_get_rect(parent);
    *area = {area->x1 + rect->x1, area->y1 + rect->y1, area->x2 + rect->x1, area->y2 + rect->y1};
  }
}

// The frame is drawn first: it settles whether the button is drawn at all.
// A button drawn in view takes back the buffer it gave up far from it
// (canvas is the surface's own, made anew in place).
void on_item_frame(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default) {
  (void)rect;
  my_paints_item *item = static_cast<my_paints_item *>(tsurface_get_owner(surface_of(button)));
  item->_drawn = in_view(item->_dialog, item);
  if (item->_drawn && !tcanvas_get_bitmap(canvas)) item->_drawn = uint8_t(tsurface_recreate_canvas(surface_of(button)));
  if (!item->_drawn) *draw_default = 0;
}

void on_item_part(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default) {
  (void)canvas;
  (void)rect;
  const my_paints_item *item = static_cast<my_paints_item *>(tsurface_get_owner(surface_of(button)));
  if (!item->_drawn) *draw_default = 0;
}

// After the question: the file goes, the items behind it move one cell back
// and the grid closes up. A failed delete changes nothing.
void delete_selected(my_paints_dialog *mp) {
  my_paints_item *item = mp->_selected;
  const char16_t *question = tresource_get_string(MY_PAINTS_TEXT_ASK_DELETE, u"Do you want to delete this paint file?");
  if (!app_common_ask_yes_no(app_common_get_product_name(), question, 0, 0)) return;
  if (!port_fs_delete_file(item->_path)) {
    app_common_show_error(tresource_get_string(MY_PAINTS_TEXT_DELETE_FAILED, u"Fail to delete paint file."));
    return;
  }
  int32_t index = int32_t(std::find(mp->_items, mp->_items + mp->_count, item) - mp->_items);
  trect cell = *tsurface_get_rect(surface_of(item));
  for (int32_t i = index + 1; i < mp->_count; i++) {
    trect own = *tsurface_get_rect(surface_of(mp->_items[i]));
    tcontrol_move_to(control_of(mp->_items[i]), cell.x1, cell.y1, 0);
    cell = own;
  }
  std::copy(mp->_items + index + 1, mp->_items + mp->_count, mp->_items + index);
  mp->_count--;
  mp->_selected = nullptr;
  tform *form = form_of(mp);
  // The homes first, the removal after: the content shrinks to the cells
  // still taken, and the bars follow.
  tform_save_child_rects(form);
  tform_remove_child(form, control_of(item));
  my_paints_item_free(item);
  // An item moved up near the view wants its thumbnail.
  release_far(mp);
  draw_items_in_view(mp);
  tsurface_update(surface_of(form), nullptr);
  win_ao_signal(mp->_loader);
}

// A tap opens the menu where the pen left the screen; the end of a drag that
// scrolled the grid is no tap.
void on_item_click(tbutton *button, intptr_t user_data) {
  (void)user_data;
  my_paints_item *item = static_cast<my_paints_item *>(tsurface_get_owner(surface_of(button)));
  my_paints_dialog *mp = item->_dialog;
  int32_t dy = tform_get_drag_dy(form_of(mp));
  if (dy > MY_PAINTS_TAP_SLOP || dy < -MY_PAINTS_TAP_SLOP) return;
  mp->_selected = item;
  repaint_form(mp);
  tmenu *menu = tmenu_new(mp);
  if (!menu) return;
  tsurface_set_visible(surface_of(tmenu_get_controlbar(menu)), 0);
  if (app_common_is_vga()) tmenu_set_item_height(menu, k_menu_row_large);
  tlistbox *list = tmenu_get_listbox(menu);
  tlistbox_set_smooth_scroll(list, 1);
  tlistbox_set_scroll_steps(list, k_menu_scroll_steps);
  tlistbox_set_scrollbar_width(list, k_menu_bar_width);
  tmenu_set_on_popup(menu, on_menu_popup);
  tmenu_set_on_select(menu, on_menu_select);
  tpoint pen;
  tscreen_get_last_pen_pos(tscreen_get(), &pen);
  tmenu_popup(menu, pen.x, pen.y);
}

void on_menu_popup(tmenu *menu, int32_t x, int32_t y) {
  (void)x;
  (void)y;
  if (tlistbox_get_count(tmenu_get_listbox(menu)) > 0) return;
  void *mp = tsurface_get_owner(surface_of(menu));
  tmenu_add_item(menu, tresource_get_string(MY_PAINTS_TEXT_OPEN, u"Open"), MY_PAINTS_MENU_OPEN, 0, 0, mp);
  tmenu_add_item(menu, tresource_get_string(MY_PAINTS_TEXT_DELETE, u"Delete"), MY_PAINTS_MENU_DELETE, 0, 1, mp);
}

// Open leaves the closing to the loader's next run, so that a thumbnail
// being read finishes first.
void on_menu_select(uint32_t id, void *user_data) {
  my_paints_dialog *mp = static_cast<my_paints_dialog *>(user_data);
  if (!mp->_selected) return;
  if (id == MY_PAINTS_MENU_OPEN) {
    mp->_open = 1;
    win_ao_signal(mp->_loader);
  } else if (id == MY_PAINTS_MENU_DELETE) {
    delete_selected(mp);
  }
}

// The form belongs to the dialog, the dialog to the record.
my_paints_dialog *dialog_of(tform *form) {
  tdialog *dialog = static_cast<tdialog *>(tsurface_get_owner(surface_of(form)));
  return static_cast<my_paints_dialog *>(tsurface_get_owner(surface_of(dialog)));
}

void on_form_layout(tform *form, const trect *rect) {
  (void)rect;
  my_paints_dialog *mp = dialog_of(form);
  mp->_client = *tcontrol_get_client_rect(control_of(form));
  tform_reset_scroll_offsets(form);
  place_items(mp);
  release_far(mp);
  draw_items_in_view(mp);
  tsurface_set_update_mode(surface_of(form), 1, 1);
  if (mp->_loader) win_ao_signal(mp->_loader);
}

// While it scrolls the form goes to the display alone. The items are about
// to move by delta (the form scrolls up and down only): those that leave
// the view's neighbourhood give back what they hold, those that come into
// view undrawn are drawn first, and the loader looks again.
void on_form_scroll(tform *form, int32_t delta) {
  tsurface_set_update_mode(surface_of(form), 1, 0);
  my_paints_dialog *mp = dialog_of(form);
  mp->_ahead_dy = delta;
  release_far(mp);
  draw_items_in_view(mp);
  mp->_ahead_dy = 0;
  win_ao_signal(mp->_loader);
}

// One thumbnail per turn of the loop, for the view's neighbourhood as it
// stands; Open closes the dialog from here.
void on_loader_run(win_ao *ao, void *user_data) {
  my_paints_dialog *mp = static_cast<my_paints_dialog *>(user_data);
  if (mp->_selected && mp->_open) {
    tdialog_close(mp->_dialog, TDIALOG_RESULT_OK);
    return;
  }
  release_far(mp);
  my_paints_item *item = next_to_read(mp);
  if (!item) return;
  // A stored thumbnail larger than the cell is fitted to it as it is read:
  // none is kept larger than what its button can show.
  if (tbitmap *thumbnail =
          paint_file_read_thumbnail_fitted(item->_path, mp->_layout[k_cell_width], mp->_layout[k_cell_height])) {
    if (item->_thumbnail) tbitmap_free(item->_thumbnail);
    item->_thumbnail = thumbnail;
    tbutton *button = &item->_button;
    tbutton_set_image(button, thumbnail, nullptr);
    tbutton_set_focused_image(button, thumbnail, nullptr);
    tbutton_set_pressed_image(button, thumbnail, nullptr);
    show_item(mp, item);
  } else {
    item->_unreadable = 1;
  }
  if (next_to_read(mp)) win_ao_signal(ao);
}

// Only Open gives result 1, and only with an item chosen: its path is the
// caller's answer.
int on_closing(tdialog *dialog, int32_t result, void *owner) {
  (void)dialog;
  my_paints_dialog *mp = static_cast<my_paints_dialog *>(owner);
  if (result == TDIALOG_RESULT_OK && mp->_selected && mp->_result_path) {
    const char16_t *path = mp->_selected->_path;
    size_t length = std::min(std::char_traits<char16_t>::length(path), size_t(MY_PAINTS_PATH_CHARS - 1));
    std::copy(path, path + length, mp->_result_path);
    mp->_result_path[length] = 0;
  }
  return 1;
}

// The dialog is being freed: its form still holds the items.
void free_parts(tdialog *dialog, void *owner) {
  (void)dialog;
  my_paints_dialog *mp = static_cast<my_paints_dialog *>(owner);
  if (mp->_loader) win_ao_free(mp->_loader);
  mp->_loader = nullptr;
  for (int32_t i = 0; i < mp->_count; i++) my_paints_item_free(mp->_items[i]);
  mp->_count = 0;
  mp->_selected = nullptr;
}

// The dialog is gone; the record goes next and the owner hears last.
void on_dialog_result(int32_t result, void *owner) {
  my_paints_dialog *mp = static_cast<my_paints_dialog *>(owner);
  my_paints_result_fn on_result = mp->_on_result;
  void *user_data = mp->_user_data;
  free_record(mp);
  if (on_result) on_result(result, user_data);
}

}  // namespace
