// The real application under test: started in process on the headless
// display with a private user folder and documents folder, driven with pen
// and key input as the window system gives it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app_context.h"
#include "tlistbox.h"
#include "tsurface.h"

struct tdialog;

// A user folder ("home") and a documents folder ("docs") under one temporary
// folder, set as BRIVOLA_HOME and XDG_DOCUMENTS_DIR while the object lives.
struct app_test_folders {
  std::string root, home, docs;
  app_test_folders();
  ~app_test_folders();
};

// Starts the port (headless, screen "WxH") and the application's start-up;
// when it started, runs body and the tear-down. 1 when the application
// started.
int app_test_run(const std::function<void(app_context *)> &body, const char *screen = "480x640");

// Takes the tool bar away, for tests of the canvas alone: the whole screen
// is then the painting area.
void app_test_remove_toolbar(app_context *app);
// Input through the window system, each followed by a turn of the loop.
void app_test_pen(int type, int x, int y);
void app_test_char(char16_t c);
// A pen stroke through the points (screen coordinates).
void app_test_stroke(const int (*points)[2], int count);

// Steps run one a tick (a real-time timer) inside whatever nested loop is
// running, for dialogs that hold the caller until they close; a step's input
// is posted (os_input_*, not app_test_pen) and handled before the next tick.
struct app_test_script {
  std::vector<std::function<void()>> steps;
  size_t next = 0;
};
void app_test_script_start(app_test_script *script, uint32_t period_ms = 10);
// A tap posted at (x, y) or on the centre of a control, as a step posts it.
void app_test_post_tap_at(int32_t x, int32_t y);
void app_test_post_tap(void *control);

// The canvas pixel (colour word) and the canvas as bytes.
uint32_t app_test_canvas_pixel(app_context *app, int x, int y);
std::string app_test_canvas_bytes(app_context *app);

// A fresh pair of folders for one start of the application; 1 when it started.
int app_test_run_fresh(const std::function<void(app_context *)> &body, const char *screen = "480x640");
// A whole tap through the window system, at a point or on a surface's centre.
void app_test_tap(int x, int y);
void app_test_tap_surface(tsurface *surface);
trect app_test_screen_rect(tsurface *surface);
// Moves a driven clock (os_clock_drive) on in 10 ms steps, pumping each.
void app_test_run_for(uint32_t ms);
// The list of the menu that is the screen's modal surface now (null if none).
tlistbox *app_test_modal_list();
// Closes the modal dialog left open, before the tear-down.
void app_test_close_modal();
// What is up: the screen's modal surface unless it is the command panel's
// tab, which holds the slot between commands (a closed dialog gives it back).
tsurface *app_test_popup();
// The dialog holding the modal slot, or null (a menu or a note may hold it).
tdialog *app_test_dialog();
// The display's pixels over r (inclusive), row by row; the whole screen
// when r is null.
std::vector<uint32_t> app_test_shown(const trect *r = nullptr);
