// app_context: the one record of the application's state.
//
// Made zeroed at start-up and kept in the platform context's application slot
// (wins_window_context::_app) until the end of tear-down; every application
// module reaches it through app_common_get_app. It owns every object it
// points to. The settings fields are the values of config.xml (paint_config);
// the painting context's live pen values are copied back into them at
// tear-down.
//
// Panels that come and go while the program runs (text bar, image bar, zoom
// bar, line-width menu, wait note) are null while none is open; every other
// pointer is set once at start-up and freed at tear-down.
#pragma once

#include <cstdint>

#include "trect.h"

struct paint_context;
struct paint_history;
struct paint_file;
struct shape;
struct toolbar;
struct thumbnail;
struct thick_menu;
struct paint_styler;
struct textbar;
struct scalebar;
struct commandpanel;
struct colorpanel;
struct alphapanel;
struct imagebar;
struct thint;
struct upload_state;

constexpr int APP_PATH_CHARS = 260;
constexpr int APP_SAVE_DIRS = 16;
constexpr int APP_RECENT_COLORS = 8;
constexpr int APP_LANG_CODE_CHARS = 17;
constexpr int APP_RESIZE_HANDLES = 8;

struct app_context {
  paint_context *_paint_context;
  paint_history *_history;
  paint_file *_file;
  toolbar *_toolbar;
  thumbnail *_thumbnail;
  thick_menu *_thick_menu;
  shape *_current_tool;
  int32_t _prev_tool_id;  // the tool current before the last switch; 0 none
  paint_styler *_styler;
  textbar *_textbar;
  scalebar *_scalebar;
  commandpanel *_commandpanel;
  colorpanel *_colorpanel;
  alphapanel *_alphapanel;
  thint *_wait_note;
  imagebar *_imagebar;

  // The canvas resize frame (paint_main's canvas hooks).
  uint8_t _resizing;
  tpoint _handle_points[APP_RESIZE_HANDLES];
  trect _handle_rects[APP_RESIZE_HANDLES];
  int32_t _drag_handle;  // -1 none
  trect _drag_rect;      // canvas rectangle being dragged, screen coordinates

  uint8_t _answer;  // last yes/no answer, 1 yes

  // Settings (config.xml).
  int32_t _recent_colors[APP_RECENT_COLORS];  // R + G*256 + B*65536 each
  int32_t _recent_color_num;
  char16_t _my_paints_dir[APP_PATH_CHARS];
  char16_t _save_dir[APP_PATH_CHARS];
  char16_t _cache_dir[APP_PATH_CHARS];
  char16_t _temp_dir[APP_PATH_CHARS];
  int32_t _new_width, _new_height;
  tcolor _new_color;
  tcolor _fore_color;
  tcolor _back_color;
  int32_t _pen_size;
  int32_t _pen_style;
  int32_t _fill_style;
  int32_t _font_style;
  int32_t _picture_style;
  int32_t _rubber_size;
  char16_t _open_dir[APP_PATH_CHARS];
  uint8_t _tb_translucent, _tb_auto_hide;
  int32_t _tb_x1, _tb_y1, _tb_width1, _tb_height1;  // tool bar in portrait
  int32_t _tb_x2, _tb_y2, _tb_width2, _tb_height2;  // tool bar in landscape

  // Recent save folders (save_dirs), most recent first, contiguous.
  char16_t *_save_dirs[APP_SAVE_DIRS];
  uint8_t _save_dirs_loaded;

  char16_t _lang_code[APP_LANG_CODE_CHARS];  // "en_us", "zh_cn" or "ru_ru"
  int32_t _language;                         // the program's language number
  int32_t _lang_id;                          // the user's language id

  tpoint _tap_point;  // pen-down of a tap that may commit the text or image bar

  uint32_t _restore_timer;  // the start-up restore timer while it runs, else 0
  // 1 while the restore of "paint.cache" runs, until it has dealt with the
  // file: the file is the last run's painting until then, and nothing may
  // write over it.
  uint8_t _restoring;
  // 1 when the restore left the kept painting in place (no memory to read
  // it, or damaged and not movable): the file stays as it is for a later
  // start; the keep of this run sets it aside first when the painting
  // changed after the restore.
  uint8_t _kept_unread;
  // 1 once the exit hook has dealt with the painting: a later exit request
  // (one that reaches the hook from inside its own question) does nothing.
  uint8_t _exit_decided;

  upload_state *_upload;  // the gallery upload (upload), made on first use
};
