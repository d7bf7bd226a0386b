// paint_new: new paintings, picture framing and the restore of a kept one.
#include "paint_new.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "alphapanel.h"
#include "app_common.h"
#include "colorpanel.h"
#include "commandpanel.h"
#include "image_job.h"
#include "new_dialog.h"
#include "open_picture_dialog.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_main.h"
#include "port_device.h"
#include "port_fs.h"
#include "port_log.h"
#include "port_utf8.h"
#include "screen_capture.h"
#include "shape.h"
#include "tbdrawer.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "toolbar.h"
#include "topendialog.h"
#include "tresource.h"
#include "tscreen.h"
#include "tfile.h"
#include "tlistcolumn.h"
#include "twformat.h"
#include "upload.h"
#include "wait_picture_dialog.h"
#include "wait_screenshot_dialog.h"
#include "wins_timer.h"
#include "wins_window.h"

namespace {

// Texts, by id, with their English defaults.
constexpr int32_t k_no_memory_blank = 25008;
constexpr int32_t k_size_range = 25009;
constexpr int32_t k_no_memory_paint = 25010;
constexpr int32_t k_cannot_load = 25011;
constexpr int32_t k_bad_picture = 25012;
constexpr int32_t k_loading_picture = 25016;
constexpr int32_t k_cannot_open_file = 25017;
constexpr int32_t k_no_screenshot = 25018;
constexpr int32_t k_no_camera = 25019;
constexpr int32_t k_screenshot_title = 25132;
constexpr int32_t k_screenshot_text = 25133;
constexpr int32_t k_camera_title = 25167;
constexpr int32_t k_camera_text = 25168;
constexpr int32_t k_new_title = 25183;
constexpr int32_t k_open_title = 25166;

// The done button's picture.
constexpr int32_t k_done_image = 15069, k_done_mask = 15070;
constexpr uint32_t k_white = 0xFFFFFFFFu;
constexpr tcolor k_magenta = tcolor_rgba(255, 0, 255);
constexpr tcolor k_translucent_magenta = tcolor_rgba(255, 0, 255, 216);

// The New menu: item heights and icon widths by screen class, its entries.
constexpr int32_t k_item_small = 35, k_item_large = 72, k_item_normal = 55;
constexpr int32_t k_icon_small = 35, k_icon_normal = 55;
constexpr int32_t k_menu_scroll_steps = 2, k_menu_scrollbar = 10;
struct menu_entry {
  int32_t text_id;
  const char16_t *text;
  uint32_t id;
  int32_t image, mask;
};
const menu_entry k_menu[] = {
    {25161, u"Empty Paint/-1/0", PAINT_NEW_EMPTY, 15122, 15123},
    {25162, u"Open Picture/-1/1", PAINT_NEW_OPEN_PICTURE, 15124, 15125},
    {25163, u"Take a Picture/-1/2", PAINT_NEW_TAKE_PICTURE, 15126, 15127},
    {25164, u"Take a Screenshot/-1/3", PAINT_NEW_TAKE_SCREENSHOT, 15128, 15129},
};


static_assert(PAINT_NEW_TYPE_COUNT == OPEN_PICTURE_TYPE_COUNT, "the panel keeps every picture type");

paint_new_state *g_state = nullptr;

const char16_t *text(int32_t id, const char16_t *english) { return tresource_get_string(id, english); }
void free_held(paint_new_state *st);
void make_untitled(app_context *app);
void rebuild_locked(app_context *app);
void replaced_follow_up(app_context *app);
void centre_canvas(app_context *app);
void open_zoom_bar(app_context *app);
void select_tool(app_context *app, int32_t id);
void start_framing(app_context *app, paint_new_state *st);
tcontrolbar *make_done_bar(paint_new_state *st);
void free_spent_bar(uint32_t timer, void *user_data);
void second_look(uint32_t timer, void *user_data);
int start_load(paint_new_state *st, const char16_t *path);
int compose_through_mask(paint_new_state *st);
void slide_panel_closed(commandpanel *cp);
void bring_window_back();
enum { KEPT_NONE, KEPT_PLAIN, KEPT_OTHER };
int kept_kind(const char16_t *path);
int new_size_check(tdialog *dialog, int32_t result, void *owner);

}  // namespace

paint_new_state *paint_new_get() {
  if (!g_state) g_state = static_cast<paint_new_state *>(std::calloc(1, sizeof(paint_new_state)));
  PORT_CHECK(g_state != nullptr);
  return g_state;
}

void paint_new_release() {
  paint_new_state *st = g_state;
  if (!st) return;
  if (st->second_look_timer) wins_timer_stop(st->second_look_timer);
  if (st->spent_timer) wins_timer_stop(st->spent_timer);
  free_held(st);
  image_job_free(st->job);
  if (st->done_bar) tcontrolbar_free(st->done_bar);
  if (st->spent_done_bar) tcontrolbar_free(st->spent_done_bar);
  std::free(st);
  g_state = nullptr;
}

tmenu *commandpanel_popup_new_menu(commandpanel *cp, int32_t x, int32_t y) {
  tmenu *menu = tmenu_new(cp);
  if (!menu) return nullptr;
  tcontrolbar *keys = tmenu_get_controlbar(menu);
  if (keys) tsurface_set_visible(&keys->_control._surface, 0);
  int32_t item_height = app_common_is_qvga() ? k_item_small : app_common_is_vga() ? k_item_large : k_item_normal;
  tmenu_set_item_height(menu, item_height);
  tmenu_set_dim_background(menu, 1);
  tlistbox *list = tmenu_get_listbox(menu);
  tlistbox_set_smooth_scroll(list, 1);
  tlistbox_set_scroll_steps(list, k_menu_scroll_steps);
  tlistbox_set_scrollbar_width(list, k_menu_scrollbar);
  tlistbox_add_column(list, TLISTCOLUMN_IMAGE, u"icon", app_common_is_qvga() ? k_icon_small : k_icon_normal);
  for (const menu_entry &entry : k_menu) {
    tlistbox_add_image(list, tresource_get_bitmap(entry.image), tresource_get_bitmap(entry.mask));
    tmenu_add_item(menu, text(entry.text_id, entry.text), entry.id, 0, 0, cp);
  }
  tmenu_set_on_select(menu, commandpanel_on_new_menu);
  if (!tmenu_popup(menu, x, y)) {
    tmenu_free(menu);
    return nullptr;
  }
  return menu;
}

void commandpanel_on_new_menu(uint32_t id, void *user) {
  app_context *app = app_common_get_app();
  commandpanel *cp = static_cast<commandpanel *>(user);
  paint_new_state *st = paint_new_get();
  st->panel = cp;
  // Yes that wrote nothing (Save As cancelled) keeps the painting on screen.
  if (!paint_file_ask_save_changes(app->_file)) return;
  switch (id) {
    case PAINT_NEW_EMPTY: {
      new_dialog *dialog = new_dialog_new(text(k_new_title, u"New Empty Paint"), app_common_get_dialog_width(), &app->_new_width,
                                          &app->_new_height, &app->_new_color, cp);
      if (!dialog) return;
      tdialog *base = new_dialog_get_dialog(dialog);
      tdialog_set_dimmed(base, 1);
      tdialog_set_on_closing(base, new_size_check);
      new_dialog_set_on_result(dialog, commandpanel_on_new_dialog_result);
      st->new_dialog_open = 1;
      new_dialog_show(dialog, 0, 0, TDIALOG_PLACE_CENTRE);
      break;
    }
    case PAINT_NEW_OPEN_PICTURE: {
      st->type_count = open_picture_dialog_get_types(st->types);
      open_picture_dialog *dialog = open_picture_dialog_new(
          text(k_open_title, u"Open Picture"), app_common_get_dialog_width(), st->picked_name, APP_PATH_CHARS,
          app->_open_dir, APP_PATH_CHARS, st->types, st->type_count, 0, 0, cp);
      if (!dialog) return;
      tdialog_set_dimmed(topendialog_get_dialog(open_picture_dialog_get_dialog(dialog)), 1);
      open_picture_dialog_set_on_result(dialog, commandpanel_on_open_picture_result);
      open_picture_dialog_show(dialog, 0, 0, TDIALOG_PLACE_CENTRE);
      break;
    }
    case PAINT_NEW_TAKE_PICTURE:
      commandpanel_take_picture(cp);
      break;
    case PAINT_NEW_TAKE_SCREENSHOT:
      commandpanel_take_screenshot(cp);
      break;
    default:
      break;
  }
}

int commandpanel_check_new_size(int32_t width, int32_t height) {
  return width >= 1 && width <= PAINT_NEW_SIDE_MAX && height >= 1 && height <= PAINT_NEW_SIDE_MAX;
}

void commandpanel_on_new_dialog_result(int32_t result, void *user) {
  app_context *app = app_common_get_app();
  paint_new_state *st = paint_new_get();
  st->new_dialog_open = 0;
  if (result != TDIALOG_RESULT_OK) return;
  if (!paint_context_load_blank(app->_paint_context, app->_new_width, app->_new_height, app->_new_color)) {
    app_common_show_stop(text(k_no_memory_blank, u"Not enough memory to create new empty paint."));
    return;
  }
  paint_history_reset(app->_history);
  make_untitled(app);
  replaced_follow_up(app);
  slide_panel_closed(static_cast<commandpanel *>(user));
}

void commandpanel_on_open_picture_result(int32_t result, void *user) {
  app_context *app = app_common_get_app();
  if (result != TDIALOG_RESULT_OK) return;
  paint_new_state *st = paint_new_get();
  char16_t path[APP_PATH_CHARS];
  if (twformat(path, APP_PATH_CHARS, u"%s%c%s", app->_open_dir, int(TFILE_SEPARATOR), st->picked_name) >=
      APP_PATH_CHARS)
    return;
  commandpanel_load_picture(static_cast<commandpanel *>(user), path);
}

void commandpanel_take_picture(commandpanel *cp) {
  paint_new_state *st = paint_new_get();
  st->panel = cp;
  wait_picture_dialog *dialog =
      wait_picture_dialog_new(text(k_camera_title, u"Waiting picture"),
                              text(k_camera_text, u"\nBrivola is waiting for picture from your camera now."),
                              app_common_get_dialog_width(), cp);
  if (dialog) {
    wait_picture_dialog_set_on_result(dialog, commandpanel_on_wait_picture_result);
    wait_picture_dialog_show(dialog, 0, 0, TDIALOG_PLACE_CENTRE);
    st->wait_picture = dialog;
  }
  int taken = port_device_capture_photo(st->path);
  // Closing the dialog runs its result, which loads the photo.
  if (st->wait_picture)
    wait_picture_dialog_close(st->wait_picture, taken == 1 ? 1 : 0);
  else if (taken == 1)
    commandpanel_on_wait_picture_result(1, cp);
  if (taken == 0) app_common_show_error(text(k_no_camera, u"Fail to launch camera."));
  bring_window_back();
}

void commandpanel_on_wait_picture_result(int32_t result, void *user) {
  paint_new_state *st = paint_new_get();
  st->wait_picture = nullptr;
  if (result != 1) return;
  app_common_show_wait_note(text(k_loading_picture, u"Loading picture..."));
  commandpanel_load_picture(static_cast<commandpanel *>(user), st->path);
}

void commandpanel_take_screenshot(commandpanel *cp) {
  paint_new_state *st = paint_new_get();
  st->panel = cp;
  wait_screenshot_dialog *dialog =
      wait_screenshot_dialog_new(text(k_screenshot_title, u"Waiting screenshot"),
                                 text(k_screenshot_text, u"\nScreen will be captured in 10 seconds."),
                                 app_common_get_dialog_width(), cp);
  if (!dialog) return;
  wait_screenshot_dialog_set_on_result(dialog, commandpanel_on_wait_screenshot_result);
  st->wait_screenshot = dialog;
  wait_screenshot_dialog_show(dialog, 0, 0, TDIALOG_PLACE_CENTRE);
}

void commandpanel_on_wait_screenshot_result(int32_t result, void *user) {
  paint_new_state *st = paint_new_get();
  st->wait_screenshot = nullptr;
  if (result == 1) {
    free_held(st);
    st->picture = screen_capture();
    if (st->picture)
      commandpanel_enter_framing(nullptr, 1, user);
    else
      app_common_show_error(text(k_no_screenshot, u"Fail to take a screenshot."));
  }
  bring_window_back();
}

int commandpanel_load_picture(commandpanel *cp, const char16_t *path) {
  PORT_CHECK(path != nullptr);
  paint_new_state *st = paint_new_get();
  st->panel = cp;
  if (port_fs_exists(path)) return start_load(st, path);
  // The camera may still be writing it: one more look in a moment.
  if (path != st->path) port_utf8_copy_cut_wide(st->path, APP_PATH_CHARS, path);
  if (st->second_look_timer) wins_timer_stop(st->second_look_timer);
  st->second_look_timer = wins_timer_start(PAINT_NEW_SECOND_LOOK_MS, 0, second_look, st);
  if (!st->second_look_timer) {
    second_look(0, st);
    return st->job && st->picture;
  }
  return 1;
}

int commandpanel_set_picture(commandpanel *cp) {
  (void)cp;
  app_context *app = app_common_get_app();
  paint_new_state *st = paint_new_get();
  if (!st->picture || !paint_context_load_picture(app->_paint_context, st->picture)) {
    app_common_show_stop(text(k_no_memory_paint, u"Not enough memory to create new paint."));
    return 0;
  }
  paint_history_reset(app->_history);
  make_untitled(app);
  replaced_follow_up(app);
  return 1;
}

void commandpanel_enter_framing(image_job *job, int result, void *user) {
  (void)job;
  paint_new_state *st = paint_new_get();
  app_context *app = app_common_find_app();
  commandpanel *cp = static_cast<commandpanel *>(user);
  if (app) {
    if (result != 1 || !st->picture || tbitmap_get_bpp(st->picture) < 8) {
      app_common_show_stop(text(k_bad_picture, u"Fail to open this picture (-2)."));
    } else if (!compose_through_mask(st)) {
      app_common_show_stop(text(k_no_memory_paint, u"Not enough memory to create new paint."));
    } else if (commandpanel_set_picture(cp)) {
      st->panel = cp;
      start_framing(app, st);
    }
  }
  free_held(st);
}

void commandpanel_leave_framing(tcontrolbar *bar, intptr_t id) {
  PORT_CHECK(bar != nullptr);
  paint_new_state *st = paint_new_get();
  if (id != PAINT_NEW_DONE || bar != st->done_bar) return;
  app_context *app = app_common_get_app();
  tscreen *screen = tscreen_get();
  uint32_t lock_found = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  if (app->_toolbar) toolbar_show(app->_toolbar);
  if (app->_commandpanel) commandpanel_show(app->_commandpanel);
  if (app->_colorpanel) colorpanel_show(app->_colorpanel);
  if (app->_alphapanel) alphapanel_show(app->_alphapanel);
  if (!st->zoom_bar_was_open && app->_scalebar) {
    if (app->_toolbar)
      toolbar_on_command(app->_toolbar, TOOLBAR_ZOOM);
    else
      paint_main_toggle_zoom_bar();
  }
  select_tool(app, st->tool_before_framing);
  st->framing = 0;
  // The bar is still inside its click: it leaves the screen now and is freed
  // once the click has returned.
  tsurface *surface = &bar->_control._surface;
  tsurface_set_visible(surface, 0);
  tsurface_remove_from_screen(surface);
  if (st->spent_done_bar) tcontrolbar_free(st->spent_done_bar);
  st->spent_done_bar = bar;
  st->done_bar = nullptr;
  if (!st->spent_timer) st->spent_timer = wins_timer_start(0, 0, free_spent_bar, st);

  free_held(st);
  st->picture = paint_context_copy_visible(app->_paint_context);
  if (!st->picture)
    app_common_show_stop(text(k_no_memory_paint, u"Not enough memory to create new paint."));
  else
    commandpanel_set_picture(st->panel);
  free_held(st);
  tscreen_set_update_lock(screen, lock_found);
  tscreen_paint(screen, nullptr);
}

void commandpanel_on_my_paints_result(int32_t result, void *user) {
  if (result != 1) return;
  app_context *app = app_common_get_app();
  paint_new_state *st = paint_new_get();
  if (!paint_file_ask_save_changes(app->_file)) return;
  paint_context *pc = app->_paint_context;
  if (!paint_file_open(app->_file, st->path)) {
    // The reader has said why; whatever it took in (a document cut inside
    // its records opens in part, untitled) is what the canvas must show.
    // Showing it changes nothing the user made.
    int modified = paint_history_is_modified(app->_history);
    rebuild_locked(app);
    paint_history_set_modified(app->_history, modified);
    paint_main_after_rebuild();
    return;
  }
  int32_t sw = 0, sh = 0;
  tscreen_get_size(tscreen_get(), &sw, &sh);
  int32_t pw = paint_context_get_picture_width(pc), ph = paint_context_get_picture_height(pc);
  double zoom = pw > 0 && ph > 0 ? std::min(double(sw) / pw, double(sh) / ph) : 1.0;
  if (zoom < 1.0) paint_context_set_zoom(pc, zoom);
  rebuild_locked(app);
  paint_history_set_modified(app->_history, 0);
  centre_canvas(app);
  if (zoom < 1.0 && !app->_scalebar) open_zoom_bar(app);
  paint_main_after_rebuild();
  slide_panel_closed(static_cast<commandpanel *>(user));
  // The upload's title and description were the last painting's.
  if (upload_state *upload = upload_get_state(app)) upload->_edit_title[0] = upload->_edit_description[0] = 0;
}

char16_t *commandpanel_get_path() { return paint_new_get()->path; }

void commandpanel_restore_cache() {
  app_context *app = app_common_find_app();
  if (!app || !app->_file || !app->_paint_context) return;
  char16_t path[APP_PATH_CHARS];
  // A folder that cannot take the painting is said now, while the user can
  // still save it elsewhere, not found at exit when no one is told.
  app_common_check_cache_dir();
  if (!app_common_get_cache_file(path, APP_PATH_CHARS)) return;
  int kind = kept_kind(path);
  if (kind == KEPT_NONE) return;
  // Only a plain file can be a kept painting. Anything else of that name (a
  // folder, a pipe, a socket, a link) goes aside unopened, as it is, so the
  // next keep writes a plain file in its place and never through a link.
  // One that cannot move holds nothing of the user's that a keep could
  // lose: a link or a pipe is replaced, a folder makes the keep fail, and a
  // failed keep is said.
  if (kind == KEPT_OTHER) {
    app_common_set_cache_aside(path);
    return;
  }
  // Until the file is dealt with, an exit that reaches the hook (from any
  // loop a step below may run) leaves it alone.
  app->_restoring = 1;
  int code = paint_file_open_quietly(app->_file, path);
  // A damaged file goes aside as it was before anything is shown. A whole
  // one stays: it is the painting's only copy on disk until the next keep
  // replaces it. So does one there was no memory to read, or a damaged one
  // that could not move: the keep of this run leaves it in place, or sets it
  // aside first when there is a painting of this run to keep.
  bool short_of_memory = code == 0 || code == PAINT_FILE_ERR_ALLOCATION;
  if (short_of_memory || (code != 1 && !app_common_set_cache_aside(path))) app->_kept_unread = 1;
  // Whatever the reader took in is rebuilt and shown, whole or not.
  rebuild_locked(app);
  paint_history_set_modified(app->_history, 0);
  centre_canvas(app);
  paint_main_after_rebuild();
  slide_panel_closed(app->_commandpanel);
  // Read from the kept file, it would be named after it ("paint"): it is
  // the painting of the last run, which has no name until Save gives one.
  make_untitled(app);
  // What memory allowed to read is no change of this run: only a change
  // made after it lets the exit keep take the file's place.
  paint_history_set_modified(app->_history, short_of_memory ? 0 : 1);
  // The file is dealt with: from here a close or a signal, also while the
  // box below is up, keeps what the screen shows, as after the box.
  app->_restoring = 0;
  paint_file_show_open_failure(app->_file, short_of_memory ? PAINT_FILE_ERR_ALLOCATION : code);
}

namespace {

void free_held(paint_new_state *st) {
  if (st->picture) tbitmap_free(st->picture);
  if (st->picture_mask) tbitmap_free(st->picture_mask);
  st->picture = st->picture_mask = nullptr;
}

// No name and no file: Save asks for both, and wherever the name shows the
// painting reads as "Untitled".
void make_untitled(app_context *app) {
  paint_file_set_name(app->_file, u"");
  paint_file_set_path(app->_file, u"");
}

void rebuild_locked(app_context *app) {
  tscreen *screen = tscreen_get();
  uint32_t lock_found = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  int whole = paint_history_rebuild(app->_history);
  tscreen_set_update_lock(screen, lock_found);
  // The painting shows as far as memory allows; its later records stay for redo.
  if (!whole) app_common_show_memory_stop();
}

// After the painting was replaced: the canvas rebuilt from the (fresh)
// history, nothing to save yet, and everything that shows it follows.
void replaced_follow_up(app_context *app) {
  rebuild_locked(app);
  paint_history_set_modified(app->_history, 0);
  paint_main_after_rebuild();
}

void centre_canvas(app_context *app) {
  int32_t sw = 0, sh = 0;
  tscreen_get_size(tscreen_get(), &sw, &sh);
  tbitmap *canvas = paint_context_get_canvas(app->_paint_context);
  if (!canvas) return;
  paint_context_set_origin(app->_paint_context, sw / 2 - tbitmap_get_width(canvas) / 2,
                           sh / 2 - tbitmap_get_height(canvas) / 2);
}

void open_zoom_bar(app_context *app) {
  if (app->_toolbar)
    toolbar_on_command(app->_toolbar, TOOLBAR_ZOOM);
  else
    paint_main_toggle_zoom_bar();
}

void select_tool(app_context *app, int32_t id) {
  if (app->_toolbar) {
    toolbar_select(app->_toolbar, id);
    return;
  }
  if (shape *tool = paint_context_find_tool(app->_paint_context, id)) app->_current_tool = tool;
}

void start_framing(app_context *app, paint_new_state *st) {
  slide_panel_closed(st->panel);
  tscreen *screen = tscreen_get();
  uint32_t lock_found = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  if (app->_toolbar) toolbar_hide(app->_toolbar);
  if (app->_commandpanel) commandpanel_hide(app->_commandpanel);
  if (app->_colorpanel) colorpanel_hide(app->_colorpanel);
  if (app->_alphapanel) alphapanel_hide(app->_alphapanel);
  st->zoom_bar_was_open = app->_scalebar != nullptr;
  if (!st->zoom_bar_was_open) open_zoom_bar(app);
  st->tool_before_framing = app->_current_tool ? shape_get_id(app->_current_tool) : 0;
  select_tool(app, SHAPE_ID_PAN);
  st->framing = 1;
  if (!st->done_bar) st->done_bar = make_done_bar(st);
  if (st->done_bar) tcontrol_realize(&st->done_bar->_control);
  tscreen_set_update_lock(screen, lock_found);
  tscreen_paint(screen, nullptr);
}

tcontrolbar *make_done_bar(paint_new_state *st) {
  const trect *screen_rect = tscreen_get_rect(tscreen_get());
  tcontrolbar *bar = tcontrolbar_new(nullptr, screen_rect, st->panel);
  if (!bar) return nullptr;
  tbutton *done = tcontrolbar_get_left_button(bar);
  tbitmap *image = tresource_get_bitmap(k_done_image), *mask = tresource_get_bitmap(k_done_mask);
  tbutton_set_text(done, u"");
  tbutton_set_image(done, image, mask);
  tbutton_set_pressed_image(done, image, mask);
  tbutton_set_focused_image(done, image, mask);
  tbutton_set_user_data(done, PAINT_NEW_DONE);
  tsurface_set_visible(&tcontrolbar_get_middle_button(bar)->_control._surface, 0);
  tsurface_set_visible(&tcontrolbar_get_right_button(bar)->_control._surface, 0);
  tbdrawer *look = tcontrol_get_box_drawer(&bar->_control);
  tbdrawer_set_fill_color(look, k_magenta);
  tbdrawer_set_fill_solid(look);
  tbdrawer_set_no_border(look);
  tsurface_set_color_key(&bar->_control._surface, k_translucent_magenta);
  tcontrolbar_set_on_click(bar, commandpanel_leave_framing);
  tcontrolbar_set_position(bar, TCONTROLBAR_TOP);
  return bar;
}

void free_spent_bar(uint32_t timer, void *user_data) {
  paint_new_state *st = static_cast<paint_new_state *>(user_data);
  wins_timer_stop(timer);
  st->spent_timer = 0;
  if (st->spent_done_bar) tcontrolbar_free(st->spent_done_bar);
  st->spent_done_bar = nullptr;
}

void second_look(uint32_t timer, void *user_data) {
  paint_new_state *st = static_cast<paint_new_state *>(user_data);
  if (timer) wins_timer_stop(timer);
  st->second_look_timer = 0;
  if (port_fs_exists(st->path)) {
    start_load(st, st->path);
    return;
  }
  app_common_close_wait_note();
  app_common_show_error_fmt(text(k_cannot_open_file, u"Cannot open file \"%s\""), st->path);
}

int start_load(paint_new_state *st, const char16_t *path) {
  if (!st->job) st->job = image_job_new(st->panel);
  app_common_show_wait_note(text(k_loading_picture, u"Loading picture..."));
  free_held(st);
  if (st->job) st->job->_user = st->panel;
  if (!st->job ||
      !image_job_load(st->job, &st->picture, &st->picture_mask, path, 0, commandpanel_enter_framing)) {
    free_held(st);
    app_common_show_stop(text(k_cannot_load, u"Fail to open this picture (-1)."));
    return 0;
  }
  return 1;
}

// A picture that came with a mask is put through it onto a white one.
int compose_through_mask(paint_new_state *st) {
  if (!st->picture_mask) return 1;
  tbitmap *composed = picture_thumbnail_compose(st->picture, st->picture_mask, k_white);
  if (!composed) return 0;
  free_held(st);
  st->picture = composed;
  return 1;
}

void slide_panel_closed(commandpanel *cp) {
  if (cp) commandpanel_slide_closed(cp);
}

void bring_window_back() { wins_window_show(); }

// What is at path, links not followed.
int kept_kind(const char16_t *path) {
  struct stat st;
  std::string native = port_fs_native_path(path);
  if (native.empty() || lstat(native.c_str(), &st) != 0) return KEPT_NONE;
  return S_ISREG(st.st_mode) ? KEPT_PLAIN : KEPT_OTHER;
}

int new_size_check(tdialog *dialog, int32_t result, void *owner) {
  (void)dialog;
  if (result != TDIALOG_RESULT_OK) return 1;
  new_dialog *nd = static_cast<new_dialog *>(owner);
  if (commandpanel_check_new_size(new_dialog_get_width(nd), new_dialog_get_height(nd))) return 1;
  app_common_show_stop(text(k_size_range, u"You need to specify width or(and) height between 1-1024."));
  return 0;
}

}  // namespace
