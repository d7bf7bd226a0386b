// paint_main: the application main (start-up, the main loop, tear-down) and
// the canvas hooks that make the screen's background the painting area.
//
// Start-up builds the application's state (app_context), loads the resource,
// language and settings files, makes the painting context, its undo history
// and document file object, registers every drawing tool, builds the tool
// bar and the floating panels (navigation thumbnail, colour panel, alpha
// panel), installs the screen hooks and the start-up restore timer; tear-down
// frees all of it in reverse (the tool bar's place kept in the settings) and
// writes the settings. Failing to start (no "brivo.tres", no documents
// folder, no memory for the painting) frees what was made, says why in one
// line on stderr and gives exit code 1.
//
// The canvas hooks: paint draws the visible canvas and, while the canvas is
// being resized, a frame with eight handles; pen goes to the resize frame or
// the current tool (a pen-down hides the tool bar for a while unless the
// user pans or the setting is off); keys 'Q' quit keeping the painting, 'B'
// undo, 'F' redo, 0xF80F and 0xF810 step the alpha panel up and down
// (answering 0); layout follows a rotation and re-places the floating panels.
//
// Crop record, the payload of history operation 1010 (32 bytes, i32 each,
// little-endian): the new canvas rectangle in pixels of the canvas as it was
// (at the zoom of the record, corners inclusive, it may reach outside the old
// canvas), then the old rectangle (0, 0, old width - 1, old height - 1).
//
//   | offset | field      | offset | field              |
//   |--------|------------|--------|--------------------|
//   | 0      | new left   | 16     | old left, 0        |
//   | 4      | new top    | 20     | old top, 0         |
//   | 8      | new right  | 24     | old right          |
//   | 12     | new bottom | 28     | old bottom         |
#pragma once

#include <cstdint>

#include "app_context.h"
#include "wins_window.h"

struct tscreen;
struct paint_context;
struct shape;

constexpr int32_t PAINT_MAIN_CROP_RECORD_SIZE = 32;
constexpr int32_t PAINT_MAIN_MIN_CANVAS_SIDE = 16;  // a resize drag keeps at least this
constexpr uint32_t PAINT_MAIN_RESTORE_DELAY_MS = 50;

// The application as the platform's start-up takes it.
const wins_window_app *paint_main_get_app();

// The application main: start-up, the main loop, tear-down; 0 after an
// orderly run, 1 when it could not start.
int paint_main_start(void *instance, const char16_t *command_line);
// Start-up up to the main loop (the first paint included); null when it
// could not start (then nothing it made is left).
app_context *paint_main_init();
// Tear-down after the main loop: frees everything, writes the settings.
void paint_main_deinit(app_context *app);

// Screen hooks.
void paint_main_paint(tscreen *screen, const trect *rect);
int32_t paint_main_mouse(int type, int32_t x, int32_t y, uint32_t modifiers);
int32_t paint_main_key(uint32_t code, uint32_t repeat, uint32_t modifiers);
void paint_main_layout(const trect *rect);

// The Text tool's box (canvas coordinates) opens the text bar over it; the
// bar's show result. A second bar is a fatal error.
int paint_main_open_textbar(shape *tool, const trect *box);
// Insert Picture: an image bar in a 192 x 192 square centred on the screen
// loads the picture file; 1 when it is loading, 0 when it could not start
// (the bar is gone again, the user was told). A second bar is a fatal error.
int paint_main_open_imagebar(const char16_t *path);
// Stamp and close the open text bar (the tool bar's Clear) or image bar
// (Insert Picture with one open); 0 when none was open. The caller paints.
int paint_main_commit_textbar();
int paint_main_commit_imagebar();
// Both bars stamped and closed when open, then the whole screen painted
// (every command of the command panel); 0 when no bar was open.
int paint_main_commit_bars();

// Callbacks of the Pan tool and the thumbnail: the frame follows the canvas.
void paint_main_on_view_moved();
// The Color Picker's pick (red + green x 256 + blue x 65536): the drawing
// colour becomes it, with the alpha the drawing colour had, and the tool
// used before the picker is selected again through the tool bar.
void paint_main_set_color(shape *tool, uint32_t color);
// Before the canvas is rebuilt from the history (a zoom) or cleared: a
// tool in the middle of an operation (a drag, a curve being edited) ends it
// unrecorded and puts back the canvas it previewed on, and a free-hand
// stroke under way is recorded as far as it was drawn, so neither the
// rebuild nor a later pen-up works with a stale picture or foreign points.
void paint_main_end_tool_operation();
// Undo (redo when redo is set) as the 'B' and 'F' keys and the tool bar run
// it, one step a key: a shape under way is placed as its pen-up (a curve's
// tap away) would place it and is the step the undo takes; one that leaves
// no step (a tap, a curve still a line, a refused record) is only ended.
// The canvas is rebuilt with the screen locked and everything that shows it
// follows.
void paint_main_undo_redo(int redo);
// The start-up timer: runs once, then restores a kept painting.
void paint_main_restore_timer(uint32_t timer, void *user_data);

// Replays a crop record at scale s (the history's replay of 1010): the canvas
// becomes the record's rectangle, each corner times s truncated. A record of
// the wrong size or one giving no pixel is skipped (0); otherwise the
// painting context's resize result.
int paint_main_apply_crop(paint_context *pc, const uint8_t *record, int32_t size, double scale);

// The resize frame: handle centres and squares around a canvas rectangle on
// the screen, and the same for the canvas where it is now (only while the
// frame is shown).
void paint_main_set_frame(const trect *canvas_rect);
void paint_main_update_frame();
// After the canvas was rebuilt (undo, redo, zoom, clear, crop, new, open,
// restore): the one routine all of them end with, so that whatever shows
// the canvas follows it: the wait note closes, the thumbnail is renewed when
// shown, the zoom bar's label shows the zoom, the resize frame moves; then
// the whole screen is painted. The modified flag is the caller's: only the
// roads that replace the painting clear it.
void paint_main_after_rebuild();
// The navigation thumbnail brought up to date and repainted when it shows;
// shown (renewed) or hidden, as the Pan tool comes and goes.
void paint_main_renew_thumbnail();
void paint_main_show_thumbnail(int show);
// The line-width menu under a button (its screen rect), bound to the
// eraser's width while the Eraser is current, else to the pen size.
void paint_main_show_line_width_menu(const trect *button_rect);
// Opens the zoom bar at the current zoom, or closes the open one; 1 when one
// is open afterwards.
int paint_main_toggle_zoom_bar();
// The canvas rectangle on the screen (view origin, canvas size).
trect paint_main_canvas_rect();
// The tool bar's Insert Picture: an open image bar is committed, else a
// picture is chosen in the open-picture dialog and an image bar opened on it.
void paint_main_insert_picture();
// Where the floating panels sit on a screen of this size (corners
// inclusive): the navigation thumbnail in the bottom-right corner (top-right
// and turned on its side in landscape), the colour panel in the bottom-left
// corner (bottom-right in landscape).
trect paint_main_thumbnail_rect(int32_t width, int32_t height);
trect paint_main_colorpanel_rect(int32_t width, int32_t height);
