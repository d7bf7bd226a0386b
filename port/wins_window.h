// wins_window: the program's entry into the window system. Single instance,
// the frame and view windows, pen and key translation, copying the screen
// bitmap to the display, the main and nested message loops, the input panel.
//
// Owns the platform context (below) and the screen record for the life of the
// process. Everything here runs on the one GUI thread; other threads reach it
// only through the private message that runs the active objects.
#pragma once

#include <cstdint>
#include <cstdio>

#include "os_message.h"
#include "trect.h"

struct tresource_file;
struct tscreen;
struct tstyler_set;
struct app_context;
struct win_ao_list;
struct connmngr_list;

// The platform context, reached by every subsystem through wins_window_get_context.
struct wins_window_context {
  tresource_file **_resource_files;  // table of 16 slots, null until the first load
  FILE *_log;                        // debug log stream, null: logging off
  tscreen *_screen;
  connmngr_list *_connections;  // connmngr_global
  win_ao_list *_active_objects;  // aomngr_global
  tstyler_set *_style_set;
  int (*_exit_hook)(int code);  // 0 vetoes the exit
  app_context *_app;
};

// Private window messages posted to the frame window.
enum {
  WINS_MSG_RUN_ACTIVE_OBJECTS = 1125,  // WM_USER + 101
  WINS_MSG_REPAINT = 1126,             // WM_USER + 102
};

// Modifier bits of pen and key events.
enum { WINS_MOD_ALT = 1, WINS_MOD_SHIFT = 2, WINS_MOD_CTRL = 4 };

// Why a start was refused, or warned (what the application's text for it
// is chosen by).
enum {
  WINS_REFUSED_FOLDER = 1,      // the user folder cannot be used
  WINS_REFUSED_UNANSWERED = 2,  // another copy runs on it but does not come to the front
  WINS_WARNED_UNLOCKED = 3,     // nothing can tell whether another copy runs on it; the start goes on
};

// What start-up needs of the application: its name (the window title and
// the single-instance key, into a buffer of 128 chars), its main (run once
// the windows, context and screen exist; its result is the exit code), its
// reaction to the window becoming active (may be null) and the text of a
// refused or warned start in the user's language, into a buffer of n chars
// (may be null: the user reads the one line stderr gets).
struct wins_window_app {
  char16_t *(*get_app_name)(char16_t *buffer);
  int (*main)(void *instance, const char16_t *command_line);
  void (*on_activate)();
  void (*get_refusal_text)(int why, char16_t *buffer, int n);
};

// Process entry: start-up, the application main, tear-down; the exit code.
// Options: --screen WxH emulates a screen of that size (default 480x640,
// each side OS_DISPLAY_MIN_SIDE to OS_DISPLAY_MAX_SIDE; anything else is
// refused in one line on stderr and returns 2); resizing the window later is
// rotating the device. --help prints the usage line on stdout and returns 0;
// any other option is refused like a bad size. The other arguments form the
// application's command line. A second start while one runs brings the
// first to the front and returns 0; where nothing can tell whether another
// copy runs (no file locks, no local socket) it says so on stderr and in a
// box, and runs once the box is closed. A start on a user folder it cannot
// use, or while another copy runs there that does not come to the front,
// says why on stderr and in a box and returns 1 once it is closed; one that
// finds no display says why on stderr and returns 1. A box is the window
// system's (os_display_alert) or, where that cannot show, a note window of
// the program's own on the display; SIGINT, SIGTERM and SIGHUP end the
// process at once while it shows.
int wins_window_main(int argc, char **argv, const wins_window_app *app);
wins_window_context *wins_window_get_context();
// The frame and drawing windows (0 before start-up and after tear-down).
os_hwnd wins_window_get_frame();
os_hwnd wins_window_get_view();
// Posts to the frame window; any thread may call it (active objects, timers).
int wins_window_post_to_frame(uint32_t message, uintptr_t wparam, intptr_t lparam);

// The main loop (once, by the application main); returns the quit code.
int wins_window_run();
// The nested loop: returns 1 when its level was ended by wins_window_end_wait,
// 0 on a quit, which ends every level and is posted again so that every outer
// loop ends too. Once a loop has seen the quit, a new wait returns 0 at once.
int wins_window_run_wait();
// Ends the innermost nested level; more ends than levels is fatal. After a
// quit has ended the levels it does nothing.
void wins_window_end_wait();
// Asks the context's exit hook (0 vetoes), then posts the quit with code.
void wins_window_exit(int code);
// 1 when a close of the frame window (the window manager's close, SIGTERM,
// SIGINT) or a quit waits to be taken: work that holds up the loop can stop,
// so that the program ends promptly. Nothing is taken from the queue.
int wins_window_exit_pending();
// The codes the port itself ends the program with: a close of the frame
// window (the window manager's close, SIGTERM, SIGINT) and Ctrl+Q. The hook
// decides what each keeps; the application's own codes are other numbers.
enum { WINS_EXIT_CLOSE = 0, WINS_EXIT_DISCARD = 2 };

// Copy the screen bitmap's rect (inclusive corners; null: the whole screen)
// to the display. Only that rectangle is copied.
int wins_window_flush_screen(const trect *rect);
int wins_window_blit(const trect *rect);
// Changes the screen size at run time (rotation, input panel); returns 1.
int wins_window_resize(int32_t width, int32_t height);
// Full screen: the window takes the display's size.
void wins_window_set_full_screen(os_hwnd window, int on);
// Alt 1, Shift 2, Ctrl 4 for the keys down now.
int wins_window_get_modifiers();

// Input panel: the record is the edit control's input-method record.
struct wins_ime {
  uint32_t _word;
  void (*_on_text)(void *user_data, const char16_t *text);
  void *_user_data;
};
int wins_window_set_ime(wins_ime *record, void (*on_text)(void *, const char16_t *), void *user_data);
void wins_window_show_input_panel(wins_ime *record);
void wins_window_hide_input_panel(wins_ime *record);

void wins_window_hide();
void wins_window_show();

// The program folder with its trailing '/', as UTF-16; 1 on success.
int wins_window_get_program_dir(char16_t *buffer, int n);

void wins_window_sleep(uint32_t ms);
