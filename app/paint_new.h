// paint_new: the roads that replace the painting: the New menu (empty
// painting, picture file, camera photo, screenshot), loading a picture into
// the framing mode in which the user pans and zooms before the painting is
// cropped to the screen, opening a document chosen in My Paints, and the
// start-up restore of the painting kept in "paint.cache".
//
// The state lives in one record of this module (paint_new_state): the held
// picture and its mask, the image job, the done bar and what the framing
// mode put aside. It is freed at tear-down (paint_new_release). The command
// panel is borrowed: it is the owner word of the done bar and what slides
// closed; everything else is reached through the app_context.
//
// Invariants:
// - the held picture and mask live only from a load's start to its
//   completion (or a screenshot to its framing): every road frees them;
// - while framing is set the tool bar, the command panel, the colour panel
//   and the alpha panel are hidden and the done bar shows;
// - every road that replaced the painting ends in paint_main_after_rebuild,
//   and only the new, open and restore roads clear the modified flag.
//
// A kept painting ("paint.cache") that opens whole stays on disk after the
// restore, until the exit keep replaces it or the user chooses to keep
// nothing. One that does not open whole is renamed "paint.cache.bad" (or
// the first free of "paint.cache.bad.1", ".bad.2"... when that is taken) as
// it was, before any box says why: it may be the user's only copy. So is
// anything of that name that is no plain file (a folder, a pipe, a link:
// moved as it is, never opened or followed). One there was no memory to
// read, or that could not be moved, stays where it is for a later start.
// What the restore took in is on the screen before its box, and from then
// on every road out keeps it. A cache folder that cannot take the painting
// is said at the restore.
#pragma once

#include <cstdint>

#include "app_context.h"
#include "port_fs.h"
#include "tbitmap.h"

struct commandpanel;
struct image_job;
struct tcontrolbar;
struct tmenu;
struct wait_picture_dialog;
struct wait_screenshot_dialog;

// Ids of the New menu's entries and of the done button.
enum {
  PAINT_NEW_EMPTY = 31,
  PAINT_NEW_OPEN_PICTURE = 32,
  PAINT_NEW_TAKE_PICTURE = 33,
  PAINT_NEW_TAKE_SCREENSHOT = 34,
  PAINT_NEW_DONE = 51,
};

constexpr int32_t PAINT_NEW_SIDE_MAX = 1024;
constexpr uint32_t PAINT_NEW_SECOND_LOOK_MS = 500;
constexpr int PAINT_NEW_TYPE_COUNT = 5;

struct paint_new_state {
  char16_t picked_name[APP_PATH_CHARS];  // the file chosen in the Open Picture dialog
  char16_t path[PORT_FS_PATH_CHARS];     // the camera photo or the My Paints document
  tbitmap *picture, *picture_mask;       // owned while a load or a screenshot is under way
  image_job *job;                         // the picture load, made on first use
  int32_t zoom_bar_was_open;
  int32_t tool_before_framing;
  uint8_t framing;
  tcontrolbar *done_bar;                 // owned while framing
  tcontrolbar *spent_done_bar;           // its click has returned: freed by the next turn
  uint32_t spent_timer;
  uint32_t second_look_timer;            // the 500 ms wait for a picture file
  wait_picture_dialog *wait_picture;     // while the camera runs
  wait_screenshot_dialog *wait_screenshot;  // while the countdown runs
  uint8_t new_dialog_open;
  const char16_t *types[PAINT_NEW_TYPE_COUNT];  // the Open Picture dialog's picture types
  int32_t type_count;
  commandpanel *panel;  // borrowed
};

// The module's record (made zeroed on first use).
paint_new_state *paint_new_get();
// Tear-down: stops the timers and frees the picture, the job and the bars.
void paint_new_release();

// The New menu at (x, y) (the New button's top-left corner); its choice goes
// to commandpanel_on_new_menu.
tmenu *commandpanel_popup_new_menu(commandpanel *cp, int32_t x, int32_t y);
// A New menu choice (31-34): asks to save changes first.
void commandpanel_on_new_menu(uint32_t id, void *cp);
// Results of the dialogs the New menu opens.
int commandpanel_check_new_size(int32_t width, int32_t height);
void commandpanel_on_new_dialog_result(int32_t result, void *cp);
void commandpanel_on_open_picture_result(int32_t result, void *cp);
// The camera road of 33 (the waiting dialog shows while it runs).
void commandpanel_take_picture(commandpanel *cp);
void commandpanel_on_wait_picture_result(int32_t result, void *cp);
// The screenshot road of 34: after the countdown (result 1) the capture.
void commandpanel_take_screenshot(commandpanel *cp);
void commandpanel_on_wait_screenshot_result(int32_t result, void *cp);

// Loads a picture file into the framing mode: 1 when the load started (or
// the second look at a file not there yet is pending), 0 after reporting a
// failure.
int commandpanel_load_picture(commandpanel *cp, const char16_t *path);
// Makes the held picture the new painting; nonzero on success.
int commandpanel_set_picture(commandpanel *cp);
// Completion of a picture load (image_job_done_fn); the screenshot road
// calls it with result 1 and job null. user is the command panel.
void commandpanel_enter_framing(image_job *job, int result, void *user);
// The done button: the painting becomes what the screen shows of it.
void commandpanel_leave_framing(tcontrolbar *bar, intptr_t id);

// The My Paints result: with 1 the document in commandpanel_get_path() is
// opened (asking to save changes first).
void commandpanel_on_my_paints_result(int32_t result, void *cp);
// The buffer (MY_PAINTS_PATH_CHARS chars) the My Paints dialog writes its choice to.
char16_t *commandpanel_get_path();
// The start-up restore of "paint.cache"; nothing without an app_context.
// app_context::_restoring is set while it runs.
void commandpanel_restore_cache();
