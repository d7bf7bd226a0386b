// paint_main: start-up, tear-down and the canvas hooks.
#include "paint_main.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "alphapanel.h"
#include "app_common.h"
#include "colorpanel.h"
#include "commandpanel.h"
#include "imagebar.h"
#include "open_picture_dialog.h"
#include "os_clock.h"
#include "os_paths.h"
#include "paint_config.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_new.h"
#include "paint_styler.h"
#include "paint_progress.h"
#include "port_device.h"
#include "port_fs.h"
#include "port_log.h"
#include "save_dirs.h"
#include "scalebar.h"
#include "shape.h"
#include "shape_brush1.h"
#include "shape_circle.h"
#include "shape_curve.h"
#include "shape_flood.h"
#include "shape_heart.h"
#include "shape_line.h"
#include "shape_pencil.h"
#include "shape_pentagram.h"
#include "shape_polygon.h"
#include "shape_position.h"
#include "shape_rect.h"
#include "shape_rubber.h"
#include "shape_straw.h"
#include "shape_text.h"
#include "tcanvas.h"
#include "tdialog.h"
#include "textbar.h"
#include "tfile.h"
#include "toolbar.h"
#include "thick_menu.h"
#include "thint.h"
#include "thumbnail.h"
#include "tmenu.h"
#include "tresource.h"
#include "tsavefile.h"
#include "topendialog.h"
#include "tsavedialog.h"
#include "tscreen.h"
#include "tstyler.h"
#include "ttdrawer.h"
#include "twformat.h"
#include "upload.h"
#include "win_ao.h"
#include "wince_connection.h"
#include "wins_timer.h"
#include "wins_window.h"

namespace {

// Defaults before config.xml is read.
constexpr uint8_t k_fore[4] = {128, 0, 0, 255};      // R, G, B, A
constexpr uint8_t k_new[4] = {255, 255, 153, 255};   // canvas and second colour
constexpr int32_t k_pen_style = 1;
// How often a replay looks for a close of the program.
constexpr uint64_t k_exit_look_ms = 100;
constexpr int32_t k_picture_style = 1;
constexpr int32_t k_pen_size = 7, k_rubber_size = 12, k_large_pen_size = 14;
constexpr int32_t k_tb_margin = 5;
constexpr int32_t k_tb_short_small = 60, k_tb_short_large = 150, k_tb_short_normal = 120;
// The rectangle the command panel is made with (it places itself).
constexpr int32_t k_command_panel_margin = 5, k_command_panel_height = 60;

// The painting area's look.
constexpr uint32_t k_background = 0xFF404040u;     // opaque (64, 64, 64)
constexpr uint32_t k_frame = 0x60808080u;          // (128, 128, 128) at alpha 96
constexpr uint32_t k_handle_outline = 0x40404040u;  // (64, 64, 64) at alpha 64
constexpr int32_t k_handle_half_small = 7, k_handle_half = 15;

// Floating panels: margin, thumbnail sides and colour panel side by class.
constexpr int32_t k_panel_margin_small = 5, k_panel_margin = 10;
constexpr int32_t k_thumb_small[2] = {55, 80}, k_thumb_large[2] = {132, 192}, k_thumb_normal[2] = {110, 160};
constexpr int32_t k_color_small = 25, k_color_large = 60, k_color_normal = 50;

// The floating panels' see-through key: magenta at alpha 216.
constexpr tcolor k_panel_key = tcolor_rgba(255, 0, 255, 216);
constexpr uint32_t k_key_alpha_up = 0xF80F, k_key_alpha_down = 0xF810;

constexpr int k_pen_cancel = 4;  // an event type that only ends a gesture
constexpr int32_t k_tap_slop = 10;  // a pen-up this close to its pen-down is a tap
constexpr int32_t k_imagebar_side = 192;

const char16_t k_product_file[] = u"brivo.tres";
const char16_t k_product_variant[] = u"brivo1.tres";
const char16_t k_gui_bitmaps[] = u"gui.tmbm";
const char16_t k_gui_variant[] = u"gui1.tmbm";
const char k_documents_folder[] = "/Brivola";

// Which edges of the canvas rectangle each resize handle moves.
enum { EDGE_LEFT = 1, EDGE_TOP = 2, EDGE_RIGHT = 4, EDGE_BOTTOM = 8 };
const int k_handle_edges[APP_RESIZE_HANDLES] = {
    EDGE_LEFT | EDGE_TOP, EDGE_TOP,    EDGE_RIGHT | EDGE_TOP,   EDGE_RIGHT,
    EDGE_RIGHT | EDGE_BOTTOM, EDGE_BOTTOM, EDGE_LEFT | EDGE_BOTTOM, EDGE_LEFT,
};

// The drawing tools, registered in this order. Name and description come
// by text id (description = name id + 1) with these English defaults.
struct tool_entry;
typedef shape *(*tool_maker)(const tool_entry &entry, const char16_t *name, paint_context *pc,
                             paint_history *history, app_context *app);

struct tool_entry {
  int32_t id;
  int32_t name_id;
  const char16_t *name;
  const char16_t *description;
  tool_maker make;
  void (*free)(shape *tool);
  // Ends an operation under way, placed as its own ending would place it
  // (pen-up, a tap away from a curve's handles) or dropped; a free-hand
  // stroke is always recorded as far as it was drawn, a text box always
  // dropped. 1 when one was under way. Null: the tool has none.
  int (*end)(shape *tool, int place);
  int32_t mode, sides, rotate;
};

shape *make_pencil(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);
int end_stroke(shape *tool, int place);
int end_drag(shape *tool, int place);
int end_text_box(shape *tool, int place);
int end_curve(shape *tool, int place);
int end_tool_operations(int place);
void on_step_refused(shape *tool);
shape *make_line(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);
shape *make_rect(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);
shape *make_roundrect(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h,
                      app_context *app);
shape *make_circle(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);
shape *make_rubber(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);
shape *make_brush1(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);
shape *make_position(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h,
                     app_context *app);
shape *make_text(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);
shape *make_straw(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);
shape *make_flood(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);
shape *make_curve(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);
shape *make_polygon(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h,
                    app_context *app);
shape *make_pentagram(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h,
                      app_context *app);
shape *make_heart(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app);

app_context *start_failed(app_context *app, const char *what, const char16_t *path);
void swap_variants(const char16_t *res_dir);
int join_path(char16_t *out, const char16_t *folder, const char16_t *name);
int set_folder(char16_t *field, const std::string &native);
void set_defaults(app_context *app, int32_t width, int32_t height);
void load_language_files();
paint_context *make_painting(app_context *app, tscreen *screen);
int make_tools(app_context *app);
toolbar *make_toolbar(app_context *app, int32_t width, int32_t height);
int make_panels(app_context *app, int32_t width, int32_t height);
void release_panels(app_context *app);
void place_panels(app_context *app);
void release_painting(app_context *app);
void release_app(app_context *app);
tcolor color_of(const uint8_t rgba[4]);
void draw_frame(tcanvas *canvas, const app_context *app);
int32_t handle_at(const app_context *app, int32_t x, int32_t y);
void drag_handle_to(app_context *app, int32_t x, int32_t y);
int put_back_crop(void *user);
void commit_resize(app_context *app);
void paint_ui_wait_note(void *user, const char16_t *text);
void paint_ui_close_wait_note(void *user);
void paint_ui_note(void *user, const char16_t *text);
void paint_ui_message(void *user, const char16_t *text);
int paint_ui_ask(void *user, const char16_t *text);
void paint_ui_add_save_dir(void *user, const char16_t *folder);
int paint_ui_save_dialog(void *user, const paint_file_save_dialog *request);
int check_save_name(tdialog *dialog, int32_t result, void *owner);
void on_save_dialog_result(int32_t result, void *user_data);
void *progress_new(paint_history *history);
int exit_requested();
void progress_set(void *popup, int percent);
void progress_free(void *popup);
void on_insert_picture_result(int32_t result, void *user_data);
void place_open_work();

const tool_entry k_tools[] = {
    {SHAPE_ID_PENCIL, 25046, u"Pencil", u"Draw a free-form line with the selected line width and color.", make_pencil,
     shape_pencil_free, end_stroke, 0, 0, 0},
    {SHAPE_ID_LINE, 25048, u"Line", u"Draw a straight line with the selected line width and color.", make_line,
     shape_line_free, end_drag, 0, 0, 0},
    {SHAPE_ID_RECT, 25050, u"Rectangle Outline", u"Draw a rectangle outline with the selected line width and color.",
     make_rect, shape_rect_free, end_drag, 1, 0, 0},
    {SHAPE_ID_FILLED_RECT, 25052, u"Filled Rectangle", u"Draw a filled rectangle with the selected color.", make_rect,
     shape_rect_free, end_drag, 2, 0, 0},
    {SHAPE_ID_ROUNDRECT, 25054, u"Round Rectangle Outline",
     u"Draw a round rectangle outline with the selected line width and color.", make_roundrect,
     shape_roundrect_free, end_drag, 1, 0, 0},
    {SHAPE_ID_FILLED_ROUNDRECT, 25056, u"Filled Round Rectangle",
     u"Draw a filled round rectangle with the selected color.", make_roundrect, shape_roundrect_free,
     end_drag, 2, 0, 0},
    {SHAPE_ID_ELLIPSE, 25058, u"Ellipse Outline", u"Draw a ellipse outline with the selected line width and color.",
     make_circle, shape_circle_free, end_drag, 1, 0, 0},
    {SHAPE_ID_FILLED_ELLIPSE, 25060, u"Filled Ellipse", u"Draw a filled ellipse with the selected color.",
     make_circle, shape_circle_free, end_drag, 2, 0, 0},
    {SHAPE_ID_CIRCLE, 25062, u"Circle Outline", u"Draw a circle outline with the selected line width and color.",
     make_circle, shape_circle_free, end_drag, 3, 0, 0},
    {SHAPE_ID_FILLED_CIRCLE, 25064, u"Filled Circle", u"Draw a filled circle with the selected color.", make_circle,
     shape_circle_free, end_drag, 4, 0, 0},
    {SHAPE_ID_ERASER, 25066, u"Eraser",
     u"Erase part of the painting and replace it with the selected line width and canvas background color.",
     make_rubber, shape_rubber_free, end_stroke, 0, 0, 0},
    {SHAPE_ID_SPRAY, 25221, u"Spray Brush",
     u"Draw a free-form spray effect line with the selected line width and color.", make_brush1, shape_brush1_free,
     end_stroke, 0, 0, 0},
    {SHAPE_ID_PAN, 25068, u"Pan", u"Click the canvas and move it. Thumbnail window will be displayed.", make_position,
     shape_position_free, nullptr, 0, 0, 0},
    {SHAPE_ID_TEXT, 25070, u"Text", u"Insert text into painting.", make_text, shape_text_free, end_text_box,
     0, 0, 0},
    {SHAPE_ID_COLOR_PICKER, 25072, u"Color Picker", u"Pick a color from the painting and use it for drawing.",
     make_straw, shape_straw_free, nullptr, 0, 0, 0},
    {SHAPE_ID_PAINT_BUCKET, 25074, u"Paint Bucket", u"Click an area on the canvas to fill it with the selected color.",
     make_flood, shape_flood_free, nullptr, 0, 0, 0},
    {SHAPE_ID_CURVE, 25076, u"Curve", u"Draw a smooth, curved line with the selected line width and color.",
     make_curve, shape_curve_free, end_curve, 0, 0, 0},
    {SHAPE_ID_TRIANGLE, 25078, u"Triangle Outline", u"Draw a triangle outline with the selected line width and color.",
     make_polygon, shape_polygon_free, end_drag, 1, 3, 0},
    {SHAPE_ID_FILLED_TRIANGLE, 25080, u"Filled Triangle", u"Draw a filled triangle with the selected color.",
     make_polygon, shape_polygon_free, end_drag, 2, 3, 0},
    {SHAPE_ID_RHOMBUS, 25082, u"Rhombus Outline", u"Draw a rhombus outline with the selected line width and color.",
     make_polygon, shape_polygon_free, end_drag, 1, 4, 1},
    {SHAPE_ID_FILLED_RHOMBUS, 25084, u"Filled Rhombus", u"Draw a filled rhombus with the selected color.",
     make_polygon, shape_polygon_free, end_drag, 2, 4, 1},
    {SHAPE_ID_PENTAGON, 25086, u"Pentagon Outline", u"Draw a pentagon outline with the selected line width and color.",
     make_polygon, shape_polygon_free, end_drag, 1, 5, 0},
    {SHAPE_ID_FILLED_PENTAGON, 25088, u"Filled Pentagon", u"Draw a filled pentagon with the selected color.",
     make_polygon, shape_polygon_free, end_drag, 2, 5, 0},
    {SHAPE_ID_PENTAGRAM, 25090, u"Pentagram Outline",
     u"Draw a pentagram outline with the selected line width and color.", make_pentagram, shape_pentagram_free,
     end_drag, 1, 0, 0},
    {SHAPE_ID_FILLED_PENTAGRAM, 25092, u"Filled Pentagram", u"Draw a filled pentagram with the selected color.",
     make_pentagram, shape_pentagram_free, end_drag, 2, 0, 0},
    {SHAPE_ID_HEART, 25094, u"Heart Outline", u"Draw a heart outline with the selected line width and color.",
     make_heart, shape_heart_free, end_drag, 1, 0, 0},
    {SHAPE_ID_FILLED_HEART, 25096, u"Filled Heart", u"Draw a filled heart with the selected color.", make_heart,
     shape_heart_free, end_drag, 2, 0, 0},
};

const wins_window_app k_app = {app_common_get_app_name, paint_main_start, app_common_on_activate,
                               app_common_get_refusal_text};

// Every road out that may keep the painting (Quit, Q, a close of the
// window, a signal, a lost display) first places what shows on the screen
// but is not in it yet, so that what is kept is what the user saw.
int on_exit(int code) {
  if (code != APP_EXIT_KEEP_NOTHING) place_open_work();
  return app_common_on_exit(code);
}

}  // namespace

const wins_window_app *paint_main_get_app() { return &k_app; }

int paint_main_start(void *instance, const char16_t *command_line) {
  (void)instance;
  (void)command_line;
  app_context *app = paint_main_init();
  if (!app) return 1;
#if defined(__GLIBC__)
  // Start-up makes and drops many blocks (surfaces laid out twice, caches
  // drawn at their first size): the pages they leave free in the heap go
  // back before the program settles into its loop.
  malloc_trim(0);
#endif
  wins_window_run();
  paint_main_deinit(app);
  return 0;
}

app_context *paint_main_init() {
  wins_window_context *context = wins_window_get_context();
  PORT_CHECK(context != nullptr && context->_screen != nullptr);
  tscreen *screen = context->_screen;
  int32_t width, height;
  tscreen_get_size(screen, &width, &height);

  context->_exit_hook = on_exit;
  app_context *app = static_cast<app_context *>(std::calloc(1, sizeof(app_context)));
  if (!app) {
    context->_exit_hook = nullptr;
    std::fprintf(stderr, "brivola: not enough memory to start\n");
    return nullptr;
  }
  context->_app = app;
  app->_drag_handle = -1;

  char16_t res_dir[APP_PATH_CHARS], path[APP_PATH_CHARS];
  if (!app_common_get_res_dir(res_dir, APP_PATH_CHARS)) return start_failed(app, "no resource folder", nullptr);
  if (!app_common_is_qvga()) swap_variants(res_dir);
  if (!join_path(path, res_dir, k_product_file)) return start_failed(app, "no resource folder", nullptr);
  if (!tresource_load(path)) return start_failed(app, "cannot load", path);

  std::string documents = os_documents_dir() + k_documents_folder;
  if (!os_make_dirs(documents) || !set_folder(app->_my_paints_dir, documents)) {
    char16_t folder[APP_PATH_CHARS * 4];
    app_common_utf8_to_wide_cut(documents.c_str(), -1, folder, APP_PATH_CHARS * 4);
    return start_failed(app, "cannot create the folder", folder);
  }
  std::string user = os_user_dir();
  os_make_dirs(user);
  set_folder(app->_open_dir, "/");
  set_folder(app->_cache_dir, user + "/cache");
  set_folder(app->_temp_dir, user + "/temp");
  // A kept painting whose write was killed left its temporary file here.
  tsavefile_remove_stale(app->_cache_dir);
  std::memcpy(app->_save_dir, app->_my_paints_dir, sizeof app->_save_dir);
  set_defaults(app, width, height);
  // The toolkit's look comes before any control exists.
  if (!tstyler_load_defaults()) return start_failed(app, "not enough memory for the toolkit", nullptr);
  ttdrawer_set_font_size(tstyler_get_default_tdrawer(), app_common_get_default_font_size());
  tregistry_init_connections();

  paint_config_load();
  save_dirs_load();
  if (!port_fs_is_directory(app->_save_dir)) std::memcpy(app->_save_dir, app->_my_paints_dir, sizeof app->_save_dir);
  app_common_init_language();
  load_language_files();
  tregistry_init_active_objects();
  app->_styler = paint_styler_create(app);
  if (!app->_styler) return start_failed(app, "not enough memory for the toolkit", nullptr);

  app->_paint_context = make_painting(app, screen);
  if (!app->_paint_context) return start_failed(app, "not enough memory for the painting", nullptr);
  app->_history = paint_history_new(app->_paint_context, port_fs_native_path(app->_cache_dir).c_str());
  if (app->_history) {
    paint_history_hooks hooks = {};
    hooks.apply_crop = paint_main_apply_crop;
    hooks.draw_text = textbar_draw_text_record;
    hooks.draw_image = imagebar_draw_image_record;
    hooks.progress_new = progress_new;
    hooks.progress_set = progress_set;
    hooks.progress_free = progress_free;
    hooks.exit_requested = exit_requested;
    paint_history_set_hooks(app->_history, &hooks);
    paint_file_ui ui = {app,           paint_ui_wait_note, paint_ui_close_wait_note, paint_ui_note,
                        paint_ui_message, paint_ui_ask,    paint_ui_save_dialog,     paint_ui_add_save_dir};
    app->_file = paint_file_new(app->_paint_context, app->_history, app->_save_dir, &ui);
  }
  if (!app->_file) return start_failed(app, "not enough memory for the painting", nullptr);

  uint32_t lock_found = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  if (!make_tools(app)) {
    tscreen_set_update_lock(screen, lock_found);
    return start_failed(app, "not enough memory for the drawing tools", nullptr);
  }
  app->_toolbar = make_toolbar(app, width, height);
  if (!app->_toolbar) {
    tscreen_set_update_lock(screen, lock_found);
    return start_failed(app, "not enough memory for the tool bar", nullptr);
  }
  toolbar_apply_settings(app->_toolbar);
  if (!make_panels(app, width, height)) {
    tscreen_set_update_lock(screen, lock_found);
    return start_failed(app, "not enough memory for the panels", nullptr);
  }
  trect panel = {k_command_panel_margin, k_command_panel_margin, width - k_command_panel_margin - 1,
                 k_command_panel_margin + k_command_panel_height - 1};
  app->_commandpanel = commandpanel_new(nullptr, &panel, app);
  if (!app->_commandpanel) {
    tscreen_set_update_lock(screen, lock_found);
    return start_failed(app, "not enough memory for the command panel", nullptr);
  }
  commandpanel_realize(app->_commandpanel);
  tscreen_set_paint_hook(screen, paint_main_paint);
  tscreen_set_pen_hook(screen, paint_main_mouse);
  tscreen_set_key_hook(screen, paint_main_key);
  tscreen_set_resize_hook(screen, paint_main_layout);
  app->_restore_timer = wins_timer_start(PAINT_MAIN_RESTORE_DELAY_MS, 0, paint_main_restore_timer, app);
  tscreen_set_update_lock(screen, lock_found);
  tscreen_paint(screen, nullptr);
  // A refused timer would never tick: the restore runs now instead.
  if (!app->_restore_timer) commandpanel_restore_cache();
  return app;
}

void paint_main_deinit(app_context *app) {
  PORT_CHECK(app != nullptr);
  // Whatever is still up goes first, the topmost first (a menu may lie over
  // a dialog, a box over both), while the results still find the painting
  // and the panels they were opened from; then the notes that wait for
  // their time.
  tmenu_close_all();
  tdialog_close_all();
  thint_close_timed();
  // A running upload stops before the active objects and connections go.
  upload_quit(app);
  release_painting(app);
  port_device_drop_launches();
  tregistry_free_active_objects();
  paint_config_save();
  save_dirs_save();
  release_app(app);
}

void paint_main_paint(tscreen *screen, const trect *rect) {
  PORT_CHECK(screen != nullptr && rect != nullptr);
  tcanvas *canvas = tscreen_get_canvas(screen);
  app_context *app = app_common_find_app();
  paint_context *pc = app ? app->_paint_context : nullptr;
  tbitmap *bitmap = pc ? paint_context_get_canvas(pc) : nullptr;
  // The part of the area the painting covers with its own opaque pixels.
  trect on_screen = {0, 0, -1, -1}, part = {0, 0, -1, -1};
  if (bitmap) {
    on_screen = paint_main_canvas_rect();
    part = {std::max(on_screen.x1, rect->x1), std::max(on_screen.y1, rect->y1), std::min(on_screen.x2, rect->x2),
            std::min(on_screen.y2, rect->y2)};
  }
  bool covered = part.x1 <= part.x2 && part.y1 <= part.y2;
  if (!pc || !paint_context_is_partial_refresh(pc)) {
    // The background only where the painting leaves the area: above, below, left, right.
    tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_background);
    const trect strips[4] = {{rect->x1, rect->y1, rect->x2, part.y1 - 1},
                             {rect->x1, part.y2 + 1, rect->x2, rect->y2},
                             {rect->x1, part.y1, part.x1 - 1, part.y2},
                             {part.x2 + 1, part.y1, rect->x2, part.y2}};
    if (!covered)
      tcanvas_fill_rect(canvas, rect->x1, rect->y1, rect->x2, rect->y2);
    else
      for (const trect &strip : strips)
        if (strip.x1 <= strip.x2 && strip.y1 <= strip.y2)
          tcanvas_fill_rect(canvas, strip.x1, strip.y1, strip.x2, strip.y2);
  }
  if (covered) {
    if (cairo_t *cr = paint_context_get_cairo(pc)) cairo_surface_flush(cairo_get_target(cr));
    tpoint at = {part.x1, part.y1};
    trect source = {part.x1 - on_screen.x1, part.y1 - on_screen.y1, part.x2 - on_screen.x1, part.y2 - on_screen.y1};
    tcanvas_draw_bitmap(canvas, &at, bitmap, &source);
  }
  if (app && app->_resizing) draw_frame(canvas, app);
}

int32_t paint_main_mouse(int type, int32_t x, int32_t y, uint32_t modifiers) {
  if (type == k_pen_cancel) return 1;
  app_context *app = app_common_find_app();
  if (!app) return 0;
  if (app->_resizing) {
    if (type == TSCREEN_PEN_DOWN) {
      app->_drag_handle = handle_at(app, x, y);
      if (app->_drag_handle >= 0) {
        app->_drag_rect = {app->_handle_points[0].x, app->_handle_points[0].y, app->_handle_points[4].x,
                           app->_handle_points[4].y};
        return 1;
      }
    } else if (type == TSCREEN_PEN_MOVE && app->_drag_handle >= 0) {
      drag_handle_to(app, x, y);
      return 1;
    } else if (type == TSCREEN_PEN_UP && app->_drag_handle >= 0) {
      commit_resize(app);
      return 1;
    }
  }
  // An open bar takes every event; a tap (up within 10 pixels of its down)
  // stamps it.
  if (app->_textbar || app->_imagebar) {
    if (type == TSCREEN_PEN_DOWN) app->_tap_point = {x, y};
    if (type != TSCREEN_PEN_UP || std::llabs(int64_t(x) - app->_tap_point.x) > k_tap_slop ||
        std::llabs(int64_t(y) - app->_tap_point.y) > k_tap_slop)
      return 1;
    if (!paint_main_commit_textbar()) paint_main_commit_imagebar();
    paint_main_renew_thumbnail();
    tscreen_paint(tscreen_get(), nullptr);
    return 1;
  }
  if (!app->_current_tool) return 0;
  // The bar makes room while the user draws; the Pan moves the view, with
  // the bar in it.
  if (app->_tb_auto_hide && app->_toolbar && type != TSCREEN_PEN_UP && type != TSCREEN_PEN_MOVE &&
      shape_get_id(app->_current_tool) != SHAPE_ID_PAN)
    toolbar_auto_hide(app->_toolbar);
  return shape_input(app->_current_tool, type, x, y, int32_t(modifiers));
}

int32_t paint_main_key(uint32_t code, uint32_t repeat, uint32_t modifiers) {
  (void)repeat;
  (void)modifiers;
  app_context *app = app_common_find_app();
  if (!app) return 0;
  switch (code) {
    case 'Q':
    case 'q':
      wins_window_exit(APP_EXIT_QUIT_KEEP);
      return 1;
    case 'B':
    case 'b':
      paint_main_undo_redo(0);
      return 1;
    case 'F':
    case 'f':
      paint_main_undo_redo(1);
      return 1;
    case k_key_alpha_up:
      if (app->_alphapanel) alphapanel_level_up(app->_alphapanel);
      return 0;
    case k_key_alpha_down:
      if (app->_alphapanel) alphapanel_level_down(app->_alphapanel);
      return 0;
    default:
      return 0;
  }
}

void paint_main_layout(const trect *rect) {
  (void)rect;
  app_context *app = app_common_find_app();
  if (!app || !app->_paint_context) return;
  if (paint_context_update_screen_size(app->_paint_context) && app->_resizing) paint_main_update_frame();
  place_panels(app);
}

int paint_main_open_textbar(shape *tool, const trect *box) {
  PORT_CHECK(tool != nullptr && box != nullptr);
  app_context *app = app_common_get_app();
  PORT_CHECK(app->_textbar == nullptr);
  tpoint origin;
  paint_context_get_origin(app->_paint_context, &origin);
  trect on_screen = {box->x1 + origin.x, box->y1 + origin.y, box->x2 + origin.x, box->y2 + origin.y};
  app->_textbar = textbar_new(nullptr, &on_screen, app);
  if (!app->_textbar || textbar_show(app->_textbar)) return app->_textbar != nullptr;
  // A bar that cannot be shown would take the canvas's pen unseen.
  textbar_free(app->_textbar);
  app->_textbar = nullptr;
  return 0;
}

int paint_main_open_imagebar(const char16_t *path) {
  PORT_CHECK(path != nullptr);
  app_context *app = app_common_get_app();
  PORT_CHECK(app->_imagebar == nullptr);
  tscreen *screen = tscreen_get();
  int32_t x = (tscreen_get_width(screen) - k_imagebar_side) / 2, y = (tscreen_get_height(screen) - k_imagebar_side) / 2;
  trect square = {x, y, x + k_imagebar_side - 1, y + k_imagebar_side - 1};
  app->_imagebar = imagebar_new(nullptr, &square, path, app);
  if (app->_imagebar && !imagebar_load(app->_imagebar)) {
    imagebar_free(app->_imagebar);
    app->_imagebar = nullptr;
  }
  return app->_imagebar != nullptr;
}

int paint_main_commit_textbar() {
  app_context *app = app_common_find_app();
  textbar *tb = app ? app->_textbar : nullptr;
  if (!tb) return 0;
  textbar_commit(tb);
  app->_textbar = nullptr;
  textbar_free(tb);
  return 1;
}

int paint_main_commit_imagebar() {
  app_context *app = app_common_find_app();
  imagebar *ib = app ? app->_imagebar : nullptr;
  if (!ib) return 0;
  imagebar_commit(ib);
  app->_imagebar = nullptr;
  imagebar_free(ib);
  return 1;
}

int paint_main_commit_bars() {
  int text = paint_main_commit_textbar(), picture = paint_main_commit_imagebar();
  if (!text && !picture) return 0;
  paint_main_renew_thumbnail();
  if (tscreen *screen = tscreen_get()) tscreen_paint(screen, nullptr);
  return 1;
}

void paint_main_on_view_moved() { paint_main_update_frame(); }

void paint_main_set_color(shape *tool, uint32_t color) {
  PORT_CHECK(tool != nullptr);
  app_context *app = app_common_find_app();
  if (!app || !app->_paint_context) return;
  tcolor fore;
  paint_context_get_fore_color(app->_paint_context, &fore);
  tcolor picked;
  tcolor_make(&picked, int(color & 0xFF), int(color >> 8 & 0xFF), int(color >> 16 & 0xFF), fore.alpha);
  paint_context_set_fore_color(app->_paint_context, picked);
  if (app->_colorpanel) colorpanel_repaint(app->_colorpanel);
  // Back to the tool used before the picker.
  if (app->_prev_tool_id >= 1 && app->_toolbar) toolbar_select(app->_toolbar, app->_prev_tool_id);
}

void paint_main_end_tool_operation() { end_tool_operations(0); }

// One key, one step: a shape under way is placed first, so that the undo
// takes it (and a redo finds it); one that leaves no step (a tap, a curve
// still a line, a record refused) is all the key does.
void paint_main_undo_redo(int redo) {
  app_context *app = app_common_find_app();
  if (!app || !app->_history) return;
  int32_t position = paint_history_get_position(app->_history);
  if (end_tool_operations(1) && paint_history_get_position(app->_history) == position) {
    paint_main_after_rebuild();
    return;
  }
  tscreen *screen = tscreen_get();
  uint32_t lock_found = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  int moved = redo ? paint_history_redo(app->_history) : paint_history_undo(app->_history);
  tscreen_set_update_lock(screen, lock_found);
  paint_main_after_rebuild();
  // The painting stays as it was: the step can be tried again once memory is back.
  if (moved < 0) app_common_show_memory_stop();
}

void paint_main_restore_timer(uint32_t timer, void *user_data) {
  app_context *app = static_cast<app_context *>(user_data);
  PORT_CHECK(app != nullptr);
  wins_timer_stop(timer);
  app->_restore_timer = 0;
  commandpanel_restore_cache();
}

int paint_main_apply_crop(paint_context *pc, const uint8_t *record, int32_t size, double scale) {
  PORT_CHECK(pc != nullptr);
  if (!record || size != PAINT_MAIN_CROP_RECORD_SIZE || !std::isfinite(scale) || scale <= 0) return 0;
  int32_t corner[4];
  for (int i = 0; i < 4; i++) {
    double scaled = std::trunc(double(int32_t(tfile_get_u32(record + 4 * i))) * scale);
    if (!(scaled >= double(INT32_MIN) && scaled <= double(INT32_MAX))) return 0;
    corner[i] = int32_t(scaled);
  }
  int64_t width = int64_t(corner[2]) - corner[0] + 1, height = int64_t(corner[3]) - corner[1] + 1;
  if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) return 0;
  return paint_context_resize_canvas(pc, corner[0], corner[1], int32_t(width), int32_t(height));
}

void paint_main_set_frame(const trect *canvas_rect) {
  PORT_CHECK(canvas_rect != nullptr);
  app_context *app = app_common_get_app();
  const trect &r = *canvas_rect;
  int32_t cx = r.x1 + (r.x2 - r.x1 + 1) / 2, cy = r.y1 + (r.y2 - r.y1 + 1) / 2;
  const tpoint centres[APP_RESIZE_HANDLES] = {{r.x1, r.y1}, {cx, r.y1}, {r.x2, r.y1}, {r.x2, cy},
                                              {r.x2, r.y2}, {cx, r.y2}, {r.x1, r.y2}, {r.x1, cy}};
  int32_t half = app_common_is_qvga() ? k_handle_half_small : k_handle_half;
  for (int i = 0; i < APP_RESIZE_HANDLES; i++) {
    app->_handle_points[i] = centres[i];
    app->_handle_rects[i] = {centres[i].x - half, centres[i].y - half, centres[i].x + half, centres[i].y + half};
  }
}

void paint_main_update_frame() {
  app_context *app = app_common_find_app();
  if (!app || !app->_resizing || !app->_paint_context) return;
  trect canvas = paint_main_canvas_rect();
  paint_main_set_frame(&canvas);
}

void paint_main_after_rebuild() {
  app_context *app = app_common_find_app();
  if (app) {
    app_common_close_wait_note();
    paint_main_renew_thumbnail();
    if (app->_scalebar && app->_paint_context)
      scalebar_set_percent(app->_scalebar, int32_t(paint_context_get_zoom(app->_paint_context) * 100));
  }
  paint_main_update_frame();
  if (tscreen *screen = tscreen_get()) tscreen_paint(screen, nullptr);
}

void paint_main_renew_thumbnail() {
  app_context *app = app_common_find_app();
  if (!app || !app->_thumbnail || !tsurface_is_visible(&app->_thumbnail->_control._surface)) return;
  thumbnail_update(app->_thumbnail);
  tsurface_update(&app->_thumbnail->_control._surface, nullptr);
}

void paint_main_show_thumbnail(int show) {
  app_context *app = app_common_find_app();
  if (!app || !app->_thumbnail) return;
  tsurface *surface = &app->_thumbnail->_control._surface;
  if (show) {
    thumbnail_update(app->_thumbnail);
    tsurface_set_visible(surface, 1);
    tsurface_update(surface, nullptr);
    return;
  }
  tsurface_set_visible(surface, 0);
  trect area;
  tsurface_get_screen_rect(surface, &area);
  tscreen_paint(tscreen_get(), &area);
}

void paint_main_show_line_width_menu(const trect *button_rect) {
  PORT_CHECK(button_rect != nullptr);
  app_context *app = app_common_find_app();
  if (!app || !app->_paint_context) return;
  if (!app->_thick_menu) app->_thick_menu = thick_menu_new();
  if (!app->_thick_menu) return;
  bool eraser = app->_current_tool && shape_get_id(app->_current_tool) == SHAPE_ID_ERASER;
  paint_context *pc = app->_paint_context;
  thick_menu_show(app->_thick_menu, eraser ? &pc->_rubber_size : &pc->_pen_size, button_rect->x1,
                  button_rect->y2 + 5);
}

int paint_main_toggle_zoom_bar() {
  app_context *app = app_common_find_app();
  if (!app || !app->_paint_context) return 0;
  if (app->_scalebar) {
    scalebar_free(app->_scalebar);
    app->_scalebar = nullptr;
    tscreen_paint(tscreen_get(), nullptr);
    return 0;
  }
  int32_t percent = int32_t(paint_context_get_zoom(app->_paint_context) * 100);
  app->_scalebar = scalebar_new(nullptr, tscreen_get_rect(tscreen_get()), percent, app);
  if (!app->_scalebar) return 0;
  scalebar_show(app->_scalebar);
  return 1;
}

void paint_main_insert_picture() {
  if (paint_main_commit_imagebar()) {
    paint_main_renew_thumbnail();
    if (tscreen *screen = tscreen_get()) tscreen_paint(screen, nullptr);
    return;
  }
  app_context *app = app_common_find_app();
  if (!app) return;
  // The dialog writes the picked name here on OK; the folder is the
  // setting OpenDir, kept across runs.
  static char16_t picked_name[APP_PATH_CHARS];
  static const char16_t *types[OPEN_PICTURE_TYPE_COUNT];
  int32_t type_count = open_picture_dialog_get_types(types);
  picked_name[0] = 0;
  open_picture_dialog *dialog = open_picture_dialog_new(
      tresource_get_string(25166, u"Open Picture"), app_common_get_dialog_width(), picked_name, APP_PATH_CHARS,
      app->_open_dir, APP_PATH_CHARS, types, type_count, 0, 0, picked_name);
  if (!dialog) return;
  tdialog_set_dimmed(topendialog_get_dialog(open_picture_dialog_get_dialog(dialog)), 1);
  open_picture_dialog_set_on_result(dialog, on_insert_picture_result);
  open_picture_dialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
}


trect paint_main_canvas_rect() {
  app_context *app = app_common_get_app();
  PORT_CHECK(app->_paint_context != nullptr);
  paint_context *pc = app->_paint_context;
  tpoint origin;
  paint_context_get_origin(pc, &origin);
  tbitmap *canvas = paint_context_get_canvas(pc);
  int32_t width = canvas ? tbitmap_get_width(canvas) : 0, height = canvas ? tbitmap_get_height(canvas) : 0;
  return {origin.x, origin.y, origin.x + width - 1, origin.y + height - 1};
}

trect paint_main_thumbnail_rect(int32_t width, int32_t height) {
  bool small = app_common_is_qvga_size(width, height), large = app_common_is_vga_size(width, height);
  const int32_t *sides = small ? k_thumb_small : large ? k_thumb_large : k_thumb_normal;
  int32_t margin = small ? k_panel_margin_small : k_panel_margin;
  if (width <= height) {
    int32_t x = width - margin - sides[0], y = height - margin - sides[1];
    return {x, y, x + sides[0] - 1, y + sides[1] - 1};
  }
  int32_t x = width - margin - sides[1];
  return {x, margin, x + sides[1] - 1, margin + sides[0] - 1};
}

trect paint_main_colorpanel_rect(int32_t width, int32_t height) {
  bool small = app_common_is_qvga_size(width, height), large = app_common_is_vga_size(width, height);
  int32_t side = small ? k_color_small : large ? k_color_large : k_color_normal;
  int32_t margin = small ? k_panel_margin_small : k_panel_margin;
  int32_t x = width > height ? width - margin - side : margin, y = height - margin - side;
  return {x, y, x + side - 1, y + side - 1};
}

namespace {

// Says why in one line and frees what start-up made; null.
app_context *start_failed(app_context *app, const char *what, const char16_t *path) {
  if (path) {
    char utf8[APP_PATH_CHARS * 4];
    app_common_wide_to_utf8_cut(path, utf8, int(sizeof utf8));
    std::fprintf(stderr, "brivola: %s %s\n", what, utf8);
  } else {
    std::fprintf(stderr, "brivola: %s\n", what);
  }
  release_painting(app);
  port_device_drop_launches();
  tregistry_free_active_objects();
  release_app(app);
  return nullptr;
}

// A new resource file waiting beside the one in use replaces it, once: the
// rename takes the old file's place in one step, so a failed swap leaves
// the old file as it was. The toolkit's bitmaps follow only a swapped file.
void swap_variants(const char16_t *res_dir) {
  char16_t from[APP_PATH_CHARS], to[APP_PATH_CHARS];
  if (!join_path(from, res_dir, k_product_variant) || !join_path(to, res_dir, k_product_file)) return;
  if (std::rename(port_fs_native_path(from).c_str(), port_fs_native_path(to).c_str()) != 0) return;
  if (!join_path(from, res_dir, k_gui_variant) || !join_path(to, res_dir, k_gui_bitmaps)) return;
  std::rename(port_fs_native_path(from).c_str(), port_fs_native_path(to).c_str());
}

// folder, a separator when it lacks one, name; 0 when it does not fit.
int join_path(char16_t *out, const char16_t *folder, const char16_t *name) {
  size_t length = std::char_traits<char16_t>::length(folder);
  const char16_t *separator = length && tfile_is_separator(folder[length - 1]) ? u"" : u"/";
  size_t need = length + std::char_traits<char16_t>::length(separator) + std::char_traits<char16_t>::length(name);
  if (need >= APP_PATH_CHARS) {
    out[0] = 0;
    return 0;
  }
  std::u16string joined = std::u16string(folder) + separator + name;
  std::memcpy(out, joined.c_str(), (joined.size() + 1) * sizeof(char16_t));
  return 1;
}

// 0 when the folder does not fit the field whole.
int set_folder(char16_t *field, const std::string &native) {
  std::u16string wide = port_fs_wide_path(native);
  if (wide.size() >= size_t(APP_PATH_CHARS)) return 0;
  std::memcpy(field, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  return 1;
}

void set_defaults(app_context *app, int32_t width, int32_t height) {
  bool small = app_common_is_qvga_size(width, height), large = app_common_is_vga_size(width, height);
  app->_recent_color_num = 1;
  app->_recent_colors[0] = 0;
  app->_fore_color = color_of(k_fore);
  app->_back_color = color_of(k_new);
  app->_new_color = color_of(k_new);
  app->_pen_style = k_pen_style;
  app->_fill_style = 0;
  app->_font_style = 0;
  app->_picture_style = k_picture_style;
  app->_pen_size = large ? k_large_pen_size : k_pen_size;
  app->_rubber_size = large ? k_large_pen_size : k_rubber_size;
  app->_new_width = width;
  app->_new_height = height;
  app->_tb_translucent = 1;
  app->_tb_auto_hide = 1;
  app->_tb_x1 = app->_tb_y1 = app->_tb_x2 = app->_tb_y2 = k_tb_margin;
  int32_t long_side = std::min(width, height) - 2 * k_tb_margin;
  int32_t short_side = small ? k_tb_short_small : large ? k_tb_short_large : k_tb_short_normal;
  app->_tb_width1 = app->_tb_height2 = long_side;
  app->_tb_height1 = app->_tb_width2 = short_side;
}

// The toolkit's texts "gui_<code>.tres" and the application's "<code>.lang";
// a file that does not load leaves the English defaults.
void load_language_files() {
  app_context *app = app_common_get_app();
  char16_t program[APP_PATH_CHARS], path[APP_PATH_CHARS];
  if (!app_common_get_program_dir(program, APP_PATH_CHARS)) return;
  std::u16string gui = std::u16string(u"gui_") + app->_lang_code + u".tres";
  std::u16string lang = std::u16string(app->_lang_code) + u".lang";
  if (join_path(path, program, gui.c_str())) tresource_load(path);
  if (join_path(path, program, lang.c_str())) tresource_load(path);
}

// A size from config.xml that gives no canvas (none, or too big for memory)
// falls back to the screen's size, so the program still starts.
paint_context *make_painting(app_context *app, tscreen *screen) {
  int32_t width, height;
  tscreen_get_size(screen, &width, &height);
  paint_context *pc = nullptr;
  for (int attempt = 0; attempt < 2 && !pc; attempt++) {
    if (attempt == 1) {
      app->_new_width = width;
      app->_new_height = height;
    }
    pc = paint_context_new(screen, app->_new_width, app->_new_height, app->_fore_color, app->_back_color,
                           app->_new_color, uint8_t(app->_pen_size), app->_pen_style, app->_fill_style,
                           app->_font_style, uint8_t(app->_rubber_size));
  }
  if (pc) paint_context_clear(pc);
  return pc;
}

// The bar of the orientation in force, at the rect the settings keep for it.
toolbar *make_toolbar(app_context *app, int32_t width, int32_t height) {
  trect place = toolbar_settings_rect(app, width > height);
  return toolbar_create(nullptr, &place, app);
}

int make_tools(app_context *app) {
  paint_context *pc = app->_paint_context;
  for (const tool_entry &entry : k_tools) {
    const char16_t *name = tresource_get_string(entry.name_id, entry.name);
    shape *tool = entry.make(entry, name, pc, app->_history, app);
    if (!tool) return 0;
    shape_set_description(tool, tresource_get_string(entry.name_id + 1, entry.description));
    if (!paint_context_add_tool(pc, tool)) {
      entry.free(tool);
      return 0;
    }
  }
  app->_current_tool = paint_context_find_tool(pc, SHAPE_ID_PENCIL);
  shape_set_on_refused(on_step_refused);
  return 1;
}

// The thumbnail (hidden until the Pan is picked), the colour swatch and the
// alpha slider, each where the screen class puts it.
int make_panels(app_context *app, int32_t width, int32_t height) {
  trect place = paint_main_thumbnail_rect(width, height);
  app->_thumbnail = thumbnail_new(nullptr, &place, app->_paint_context, app);
  if (!app->_thumbnail) return 0;
  thumbnail_set_on_move(app->_thumbnail, [](thumbnail *) { paint_main_on_view_moved(); });
  tsurface *surface = &app->_thumbnail->_control._surface;
  tsurface_set_visible(surface, 0);
  tsurface_set_color_key(surface, k_panel_key);
  tsurface_set_color_key_enabled(surface, 1);
  thumbnail_realize(app->_thumbnail);
  place = paint_main_colorpanel_rect(width, height);
  app->_colorpanel = colorpanel_new(nullptr, &place, app);
  if (!app->_colorpanel) return 0;
  colorpanel_realize(app->_colorpanel);
  app->_alphapanel = alphapanel_new(nullptr, nullptr, app);
  if (!app->_alphapanel) return 0;
  alphapanel_realize(app->_alphapanel);
  return 1;
}

void release_panels(app_context *app) {
  if (app->_colorpanel) colorpanel_free(app->_colorpanel);
  app->_colorpanel = nullptr;
  if (app->_alphapanel) alphapanel_free(app->_alphapanel);
  app->_alphapanel = nullptr;
  if (app->_thumbnail) thumbnail_free(app->_thumbnail);
  app->_thumbnail = nullptr;
  if (app->_thick_menu) thick_menu_free(app->_thick_menu);
  app->_thick_menu = nullptr;
  if (app->_scalebar) scalebar_free(app->_scalebar);
  app->_scalebar = nullptr;
}

// After a rotation: the thumbnail turns with the screen, the swatch changes
// corner, the zoom bar lays itself out again.
void place_panels(app_context *app) {
  tscreen *screen = tscreen_get();
  int32_t width = tscreen_get_width(screen), height = tscreen_get_height(screen);
  if (app->_thumbnail) {
    trect r = paint_main_thumbnail_rect(width, height);
    tcontrol_set_rect(&app->_thumbnail->_control, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
    paint_main_renew_thumbnail();
  }
  if (app->_colorpanel) {
    trect r = paint_main_colorpanel_rect(width, height);
    tcontrol_move_to(&app->_colorpanel->_control, r.x1, r.y1, 1);
  }
  if (app->_scalebar) scalebar_layout(app->_scalebar);
}

// Everything of the painting, then the panels and the styler, in the reverse
// order of start-up; the live pen values go back into the settings first. An
// open bar goes unstamped.
void release_painting(app_context *app) {
  // An open menu belongs to a panel or a bar freed below.
  tmenu_close_all();
  paint_new_release();
  if (app->_textbar) textbar_free(app->_textbar);
  app->_textbar = nullptr;
  if (app->_imagebar) imagebar_free(app->_imagebar);
  app->_imagebar = nullptr;
  if (app->_restore_timer) wins_timer_stop(app->_restore_timer);
  app->_restore_timer = 0;
  if (tscreen *screen = tscreen_get()) {
    tscreen_set_paint_hook(screen, nullptr);
    tscreen_set_pen_hook(screen, nullptr);
    tscreen_set_key_hook(screen, nullptr);
    tscreen_set_resize_hook(screen, nullptr);
  }
  paint_context *pc = app->_paint_context;
  app->_current_tool = nullptr;
  shape_set_on_refused(nullptr);
  if (pc) {
    // Every tool is found before any is freed: the search reads them all.
    constexpr size_t count = sizeof k_tools / sizeof k_tools[0];
    shape *made[count];
    for (size_t i = 0; i < count; i++) made[i] = paint_context_find_tool(pc, k_tools[i].id);
    for (size_t i = 0; i < count; i++)
      if (made[i]) k_tools[i].free(made[i]);
  }
  if (app->_file) paint_file_free(app->_file);
  app->_file = nullptr;
  if (app->_history) paint_history_free(app->_history);
  app->_history = nullptr;
  if (pc) {
    paint_context_get_fore_color(pc, &app->_fore_color);
    paint_context_get_back_color(pc, &app->_back_color);
    app->_pen_size = paint_context_get_pen_size(pc);
    app->_pen_style = paint_context_get_pen_style(pc);
    app->_fill_style = paint_context_get_fill_style(pc);
    app->_font_style = paint_context_get_font_style(pc);
    app->_rubber_size = paint_context_get_rubber_size(pc);
    paint_context_free(pc);
  }
  app->_paint_context = nullptr;
  if (app->_commandpanel) commandpanel_free(app->_commandpanel);
  app->_commandpanel = nullptr;
  release_panels(app);
  if (app->_toolbar) {
    toolbar_save_rect(app->_toolbar);
    toolbar_free(app->_toolbar);
  }
  app->_toolbar = nullptr;
  app_common_close_wait_note();
  if (app->_styler) paint_styler_free(app->_styler);
  app->_styler = nullptr;
}

void release_app(app_context *app) {
  // After the last control is gone; the set unloads its own two files.
  tstyler_free_defaults();
  tresource_unload_all();
  tregistry_free_connections();
  for (char16_t *&entry : app->_save_dirs) {
    std::free(entry);
    entry = nullptr;
  }
  wins_window_context *context = wins_window_get_context();
  if (context && context->_app == app) {
    context->_app = nullptr;
    context->_exit_hook = nullptr;
  }
  std::free(app);
}

shape *make_pencil(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *) {
  return shape_pencil_new(e.id, name, pc, h, nullptr);
}

shape *make_line(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *) {
  return shape_line_new(e.id, name, pc, h, nullptr);
}

shape *make_rect(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *) {
  return shape_rect_new(e.id, name, pc, h, e.mode, nullptr);
}

shape *make_roundrect(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h,
                      app_context *) {
  return shape_roundrect_new(e.id, name, pc, h, e.mode, nullptr);
}

shape *make_circle(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *) {
  return shape_circle_new(e.id, name, pc, h, e.mode, nullptr);
}

shape *make_rubber(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *) {
  return shape_rubber_new(e.id, name, pc, h, nullptr);
}

shape *make_brush1(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *) {
  return shape_brush1_new(e.id, name, pc, h, nullptr);
}

// The Pan tells the canvas hooks that the view moved.
shape *make_position(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h,
                     app_context *app) {
  shape *tool = shape_position_new(e.id, name, pc, h, app);
  if (tool) shape_position_set_on_move(tool, [](shape *) { paint_main_on_view_moved(); });
  return tool;
}

// The Text tool's box opens the text bar.
shape *make_text(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app) {
  shape *tool = shape_text_new(e.id, name, pc, h, app);
  if (tool) shape_text_set_on_place(tool, [](shape *text, const trect *box) { paint_main_open_textbar(text, box); });
  return tool;
}

shape *make_straw(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app) {
  shape *tool = shape_straw_new(e.id, name, pc, h, app);
  if (tool) shape_straw_set_on_pick(tool, paint_main_set_color);
  return tool;
}

shape *make_flood(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app) {
  return shape_flood_new(e.id, name, pc, h, app);
}

shape *make_curve(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app) {
  return shape_curve_new(e.id, name, pc, h, app);
}

shape *make_polygon(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h,
                    app_context *app) {
  return shape_polygon_new(e.id, name, pc, h, e.mode, e.sides, e.rotate, app);
}

shape *make_pentagram(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h,
                      app_context *app) {
  return shape_pentagram_new(e.id, name, pc, h, e.mode, app);
}

shape *make_heart(const tool_entry &e, const char16_t *name, paint_context *pc, paint_history *h, app_context *app) {
  return shape_heart_new(e.id, name, pc, h, e.mode, app);
}

tcolor color_of(const uint8_t rgba[4]) {
  tcolor color;
  return *tcolor_make(&color, rgba[0], rgba[1], rgba[2], rgba[3]);
}

void draw_frame(tcanvas *canvas, const app_context *app) {
  const tpoint &first = app->_handle_points[0], &last = app->_handle_points[4];
  tcanvas_set_brush_style(canvas, TCANVAS_BRUSH_NONE);
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, k_frame);
  tcanvas_draw_rect(canvas, first.x, first.y, last.x, last.y);
  tcanvas_set_brush(canvas, TCANVAS_BRUSH_SOLID, k_frame);
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, k_handle_outline);
  for (const trect &r : app->_handle_rects) tcanvas_draw_rect(canvas, r.x1, r.y1, r.x2, r.y2);
}

// The first handle whose square holds the point, right and bottom edges
// excluded; -1 for none.
int32_t handle_at(const app_context *app, int32_t x, int32_t y) {
  for (int32_t i = 0; i < APP_RESIZE_HANDLES; i++) {
    const trect &r = app->_handle_rects[i];
    if (x >= r.x1 && x < r.x2 && y >= r.y1 && y < r.y2) return i;
  }
  return -1;
}

// The dragged edges follow the pen; a rectangle under the least side is
// refused and the frame stays where it was.
void drag_handle_to(app_context *app, int32_t x, int32_t y) {
  int32_t handle = app->_drag_handle;
  int64_t dx = int64_t(x) - app->_handle_points[handle].x, dy = int64_t(y) - app->_handle_points[handle].y;
  int64_t left = app->_drag_rect.x1, top = app->_drag_rect.y1, right = app->_drag_rect.x2,
          bottom = app->_drag_rect.y2;
  int edges = k_handle_edges[handle];
  if (edges & EDGE_LEFT) left += dx;
  if (edges & EDGE_TOP) top += dy;
  if (edges & EDGE_RIGHT) right += dx;
  if (edges & EDGE_BOTTOM) bottom += dy;
  if (right - left + 1 < PAINT_MAIN_MIN_CANVAS_SIDE || bottom - top + 1 < PAINT_MAIN_MIN_CANVAS_SIDE) return;
  if (left < INT32_MIN || top < INT32_MIN || right > INT32_MAX || bottom > INT32_MAX) return;
  app->_drag_rect = {int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
  paint_main_set_frame(&app->_drag_rect);
  tscreen_paint(tscreen_get(), nullptr);
}

// The canvas before a crop, to go back to when the history refuses it.
struct crop_undo {
  paint_context *pc;
  int held;
};

int put_back_crop(void *user) {
  crop_undo *undo = static_cast<crop_undo *>(user);
  if (!undo->held) return 0;
  paint_context_release_canvas(undo->pc, 0);
  undo->held = 0;
  return 1;
}

// The canvas becomes the dragged rectangle, recorded as operation 1010. A
// resize that finds no memory leaves the canvas and the view where they were
// and records nothing; one the history refuses is taken back (the canvas it
// replaced is held meanwhile), so the canvas never shows what the history
// lacks, and the stop box says so.
void commit_resize(app_context *app) {
  paint_context *pc = app->_paint_context;
  tbitmap *canvas = paint_context_get_canvas(pc);
  int32_t old_width = canvas ? tbitmap_get_width(canvas) : 0, old_height = canvas ? tbitmap_get_height(canvas) : 0;
  tpoint origin;
  paint_context_get_origin(pc, &origin);
  app->_drag_handle = -1;
  paint_context_set_origin(pc, app->_drag_rect.x1, app->_drag_rect.y1);
  const trect &r = app->_drag_rect;
  uint8_t record[PAINT_MAIN_CROP_RECORD_SIZE];
  tfile_put_u32(record, uint32_t(r.x1 - origin.x));
  tfile_put_u32(record + 4, uint32_t(r.y1 - origin.y));
  tfile_put_u32(record + 8, uint32_t(r.x2 - origin.x));
  tfile_put_u32(record + 12, uint32_t(r.y2 - origin.y));
  tfile_put_u32(record + 16, 0);
  tfile_put_u32(record + 20, 0);
  tfile_put_u32(record + 24, uint32_t(old_width - 1));
  tfile_put_u32(record + 28, uint32_t(old_height - 1));
  crop_undo undo = {pc, paint_context_hold_canvas(pc)};
  int applied = paint_main_apply_crop(pc, record, PAINT_MAIN_CROP_RECORD_SIZE, 1.0);
  int recorded = applied && shape_record_step(app->_history, PAINT_HISTORY_OP_CROP, record,
                                              PAINT_MAIN_CROP_RECORD_SIZE, put_back_crop, &undo);
  if (undo.held) paint_context_release_canvas(pc, recorded);
  if (!recorded) paint_context_set_origin(pc, origin.x, origin.y);
  paint_main_after_rebuild();
  if (applied && !recorded) app_common_show_memory_stop();
}

void paint_ui_wait_note(void *user, const char16_t *text) {
  (void)user;
  app_common_show_wait_note(text);
}

void paint_ui_close_wait_note(void *user) {
  (void)user;
  app_common_close_wait_note();
}

void paint_ui_note(void *user, const char16_t *text) {
  (void)user;
  app_common_show_info(text);
}

void paint_ui_message(void *user, const char16_t *text) {
  (void)user;
  app_common_show_message(text, app_common_get_product_name(), APP_BUTTONS_BACK, APP_ICON_ERROR);
}

int paint_ui_ask(void *user, const char16_t *text) {
  (void)user;
  return app_common_ask_yes_no(app_common_get_product_name(), text, 0, 0);
}

void paint_ui_add_save_dir(void *user, const char16_t *folder) {
  (void)user;
  save_dirs_add_folder(folder);
}

// The Save As dialog, dimmed and centred; its buffers are the document's,
// written only on OK.
int paint_ui_save_dialog(void *user, const paint_file_save_dialog *request) {
  (void)user;
  tsavedialog *dialog = tsavedialog_new(request->title, app_common_get_dialog_width(), request->name,
                                        request->name_capacity, request->folder, request->folder_capacity,
                                        request->type_names, request->type_count, request->type, request->file);
  if (!dialog) return 0;
  tdialog *shown = tsavedialog_get_dialog(dialog);
  tdialog_set_dimmed(shown, 1);
  tdialog_set_on_closing(shown, check_save_name);
  tsavedialog_set_on_result(dialog, on_save_dialog_result);
  tsavedialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
  return 1;
}

// The document's check reads its own name: the typed name stands in for it
// while the check runs, and a refusal (its box shown) keeps the dialog.
int check_save_name(tdialog *, int32_t result, void *owner) {
  paint_file *file = static_cast<paint_file *>(tsavedialog_get_user_data(static_cast<tsavedialog *>(owner)));
  std::u16string kept = paint_file_get_name(file);
  paint_file_set_name(file, tsavedialog_get_name(static_cast<tsavedialog *>(owner)));
  int accepted = paint_file_check_name(file, result);
  paint_file_set_name(file, kept.c_str());
  return accepted;
}

void on_save_dialog_result(int32_t result, void *user_data) {
  paint_file_on_save_as_result(static_cast<paint_file *>(user_data), result);
}
void *progress_new(paint_history *history) { return paint_progress_new(history); }

// A long replay looks for a close now and then: its records are all read, so
// the exit hook keeps the painting whole whatever the canvas shows.
int exit_requested() {
  static uint64_t next_look_ms = 0;
  uint64_t now = os_clock_now_ms();
  if (now < next_look_ms) return 0;
  next_look_ms = now + k_exit_look_ms;
  return wins_window_exit_pending();
}

void progress_set(void *popup, int percent) { paint_progress_set(static_cast<paint_progress *>(popup), percent); }

void progress_free(void *popup) { paint_progress_free(static_cast<paint_progress *>(popup)); }

// Insert Picture's OK: an image bar on the picked file, centred.
void on_insert_picture_result(int32_t result, void *user_data) {
  app_context *app = app_common_find_app();
  if (result != TDIALOG_RESULT_OK || !app || app->_imagebar) return;
  char16_t path[APP_PATH_CHARS];
  if (twformat(path, APP_PATH_CHARS, u"%s%c%s", app->_open_dir, int(TFILE_SEPARATOR),
               static_cast<const char16_t *>(user_data)) >= APP_PATH_CHARS)
    return;
  if (tscreen *screen = tscreen_get()) tscreen_paint(screen, nullptr);
  paint_main_open_imagebar(path);
}

// What shows but is not yet in the painting goes into it: a shape under way
// as its pen-up (a curve's tap away) would place it, a free-hand stroke as
// far as it was drawn, and the open bars are stamped. No box that waits is
// opened.
void place_open_work() {
  app_context *app = app_common_find_app();
  if (!app || !app->_paint_context) return;
  end_tool_operations(1);
  // A bar's menu calls back into the bar: no menu outlives it.
  if (app->_textbar || app->_imagebar) tmenu_close_all();
  paint_main_commit_bars();
}

int end_stroke(shape *tool, int place) {
  (void)place;
  return shape_points_finish(tool);
}

int end_drag(shape *tool, int place) {
  if (place) return shape_two_point_finish(tool);
  int under_way = shape_is_active(tool);
  shape_two_point_cancel(tool);
  return under_way;
}

// A text box is no step: its pen-up opens the text bar.
int end_text_box(shape *tool, int place) {
  (void)place;
  int under_way = shape_is_active(tool);
  shape_two_point_cancel(tool);
  return under_way;
}

int end_curve(shape *tool, int place) {
  if (place) return shape_curve_finish(tool);
  int under_way = shape_is_active(tool) || reinterpret_cast<shape_curve *>(tool)->_editing;
  shape_curve_cancel(tool);
  return under_way;
}

// 1 when any tool had an operation under way.
int end_tool_operations(int place) {
  app_context *app = app_common_find_app();
  if (!app || !app->_paint_context) return 0;
  int under_way = 0;
  for (const tool_entry &entry : k_tools) {
    shape *tool = entry.end ? paint_context_find_tool(app->_paint_context, entry.id) : nullptr;
    if (tool && entry.end(tool, place)) under_way = 1;
  }
  return under_way;
}

// The step is off the canvas again: the screen and the thumbnail show that.
void on_step_refused(shape *tool) {
  (void)tool;
  paint_main_after_rebuild();
  app_common_show_memory_stop();
}

}  // namespace
