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

// Process entry: start-up, the application main, tear-down; the exit code.
int wins_window_main(int argc, char **argv);
wins_window_context *wins_window_get_context();

int wins_window_run();
int wins_window_run_wait();
void wins_window_end_wait();
void wins_window_exit(int code);

int wins_window_flush_screen(const trect *rect);
int wins_window_blit(const trect *rect);
int wins_window_resize(int32_t width, int32_t height);
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
