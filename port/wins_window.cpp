// wins_window: start-up and tear-down, the frame and drawing windows, pen and
// key translation, copying the screen to the display, the message loops and
// the input panel.
#include "wins_window.h"

#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os_clock.h"
#include "os_display.h"
#include "os_instance.h"
#include "os_paths.h"
#include "os_signal.h"
#include "port_device.h"
#include "port_fs.h"
#include "port_log.h"
#include "port_utf8.h"
#include "tbitmap.h"
#include "tcanvas.h"
#include "tscreen.h"
#include "ttdrawer.h"
#include "win_ao.h"
#include "wins_graphics.h"
#include "wins_timer.h"

namespace {

constexpr int k_title_chars = 128;
constexpr int k_refusal_chars = 512;
constexpr int k_options_start = -1;  // parse_options: no exit code, go on
constexpr uint32_t k_command_quit = 10001;  // the Ctrl+Q accelerator
constexpr uint32_t k_panel_repaint_ms = 500;
const char16_t k_frame_class[] = u"TesselFrame";
const char16_t k_view_class[] = u"TesselWin";
const char16_t k_view_title[] = u"Tessel";
// The note that tells a refused start where the window system's box cannot.
const char16_t k_note_class[] = u"TesselNote";
constexpr int32_t k_note_width = 360;
constexpr int32_t k_note_margin = 16;
constexpr int32_t k_note_font_points = 12;
constexpr uint32_t k_note_ink = 0xFF000000u;  // opaque black, as a colour word
constexpr int32_t k_note_max_lines = 24;

// Pen and key events of the toolkit.
enum { PEN_DOWN = 1, PEN_UP = 2, PEN_MOVE = 3 };

struct key_entry {
  uint32_t virtual_key;
  uint32_t code;
};

// WM_KEYDOWN keys that become toolkit key codes, searched in this order.
// The three modifiers also give their code on WM_KEYUP.
const key_entry k_keys[] = {
    {VK_DELETE, 127},     {VK_PAUSE, 0xF801}, {VK_HOME, 0xF802},  {VK_END, 0xF803},    {VK_PRIOR, 0xF804},
    {VK_NEXT, 0xF805},    {VK_INSERT, 0xF806}, {VK_LEFT, 0xF807}, {VK_RIGHT, 0xF808},  {VK_UP, 0xF809},
    {VK_DOWN, 0xF80A},    {VK_SHIFT, 0xF80B}, {VK_MENU, 0xF80C},  {VK_CONTROL, 0xF80D},
};

char16_t g_title[k_title_chars];
const wins_window_app *g_app = nullptr;
std::atomic<os_hwnd> g_frame{0};
os_hwnd g_view = 0;
wins_window_context *g_context = nullptr;
int32_t g_screen_width = 0, g_screen_height = 0;
wins_ime *g_ime = nullptr;
int g_run_wait = 0;
int g_quitting = 0;  // a quit ended the loops: no level is left to end
uint8_t g_pen_down = 0;
uint32_t g_panel_timer = 0;  // the one input-panel repaint timer, 0 when none
tbitmap *g_note = nullptr;    // the note's picture while it shows (its canvas owns it)
std::atomic<pid_t> g_box_parent{0};  // this process while a box of the window system shows

int parse_options(int argc, char **argv, int32_t *width, int32_t *height, std::u16string *command_line);
void print_usage(FILE *stream);
void refuse_start(int claim, const std::string &reason);
void warn_unlocked(const std::string &reason);
void tell_user(int why, const std::string &reason, const std::string &line);
void show_box(const std::string &caption, const std::string &message);
void box_child_ends_with_parent();
void show_note(const std::string &message);
int32_t note_lines(tcanvas *canvas, const std::u16string &text, bool draw, int32_t *line_height);
intptr_t on_note_message(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam);
int parse_size(const char *value, int32_t *width, int32_t *height);
int create_view(const char16_t *title, int32_t x, int32_t y, int32_t width, int32_t height);
void tear_down();
intptr_t on_frame_message(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam);
intptr_t on_view_message(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam);
intptr_t on_pen(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam);
intptr_t on_key(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam);
int translate_accelerator(const os_message *message);
void close_frame(os_hwnd frame, int code);
void start_panel_timer(wins_timer_callback tick);
void panel_repaint_tick(uint32_t id, void *user_data);
void panel_hidden_tick(uint32_t id, void *user_data);

}  // namespace

int wins_window_main(int argc, char **argv, const wins_window_app *app) {
  PORT_CHECK(app != nullptr && app->main != nullptr && app->get_app_name != nullptr);
  g_app = app;
  g_view = 0;
  g_frame.store(0);
  g_ime = nullptr;
  g_run_wait = 0;
  g_quitting = 0;
  g_pen_down = 0;
  g_panel_timer = 0;

  int32_t width = 0, height = 0;
  std::u16string command_line;
  int options = parse_options(argc, argv, &width, &height, &command_line);
  if (options != k_options_start) return options;
  std::memset(g_title, 0, sizeof g_title);
  app->get_app_name(g_title);
  g_title[k_title_chars - 1] = 0;

  // Before any thread starts, so that all of them leave the signals to the watcher.
  os_signal_watch();
  std::string lock_reason;
  int claim = os_instance_claim(g_title, &lock_reason);
  if (claim == OS_INSTANCE_UNLOCKED) {
    warn_unlocked(lock_reason);
  } else if (claim == OS_INSTANCE_OTHER) {
    os_signal_unwatch();
    return 0;
  } else if (claim != OS_INSTANCE_FIRST) {
    refuse_start(claim, lock_reason);
    return 1;
  }
  char reason[256] = "";
  if (!os_display_open(width, height, g_title, reason, sizeof reason)) {
    std::fprintf(stderr, "brivola: cannot open a window: %s\n", reason);
    os_signal_unwatch();
    os_instance_release();
    return 1;
  }
  int32_t display_width, display_height;
  port_device_get_screen_size(&display_width, &display_height);
  os_hwnd frame = os_window_create(k_frame_class, g_title, on_frame_message, 0, 0, 0, display_width, display_height);
  g_frame.store(frame);
  os_display_set_windows(frame, 0);
  os_instance_set_window(frame);
  os_signal_set_target(frame);

  g_context = static_cast<wins_window_context *>(std::calloc(1, sizeof(wins_window_context)));
  tscreen *screen = static_cast<tscreen *>(std::calloc(1, sizeof(tscreen)));
  PORT_CHECK(g_context != nullptr && screen != nullptr);
  g_context->_screen = screen;
  port_device_get_screen_size(&g_screen_width, &g_screen_height);
  if (!tscreen_init(screen, g_screen_width, -g_screen_height)) {
    std::fprintf(stderr, "brivola: not enough memory for a %dx%d screen\n", g_screen_width, g_screen_height);
    tear_down();
    return 1;
  }
  if (create_view(k_view_title, -1, -1, -1, -1)) os_window_show(g_view, 1);
  os_display_set_windows(frame, g_view);

  void *instance = g_context;
  int result = app->main(instance, command_line.c_str());
  tear_down();
  return result;
}

wins_window_context *wins_window_get_context() { return g_context; }

os_hwnd wins_window_get_frame() { return g_frame.load(); }

os_hwnd wins_window_get_view() { return g_view; }

int wins_window_post_to_frame(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  os_hwnd frame = g_frame.load();
  return frame ? os_post_message(frame, message, wparam, lparam) : 0;
}

int wins_window_run() {
  os_message message;
  int got;
  while ((got = os_get_message(&message, OS_WAIT_FOREVER)) > 0)
    if (!translate_accelerator(&message)) os_dispatch_message(&message);
  g_quitting = 1;
  return int(intptr_t(message.wparam));
}

int wins_window_run_wait() {
  // The program is ending: a wait begun now would have no one to end it.
  if (g_quitting) return 0;
  int level = ++g_run_wait;
  os_message message;
  do {
    if (os_get_message(&message, OS_WAIT_FOREVER) <= 0) {
      // The quit belongs to the whole program: this level ends and the quit
      // is posted again for the loops outside it, down to the main loop.
      g_run_wait = level - 1;
      g_quitting = 1;
      os_post_quit_message(int(intptr_t(message.wparam)));
      return 0;
    }
    if (!translate_accelerator(&message)) os_dispatch_message(&message);
    win_ao_run_signalled();
  } while (g_run_wait >= level);
  return 1;
}

void wins_window_end_wait() {
  // The quit ended every level; a callback that ends its wait after it (a
  // dialog closed by the quit) has nothing left to end.
  if (g_quitting) return;
  g_run_wait--;
  PORT_CHECK(g_run_wait >= 0);
  wins_window_post_to_frame(WM_NULL, 0, 0);
}

void wins_window_exit(int code) {
  if (g_context && g_context->_exit_hook && g_context->_exit_hook(code) == 0) return;
  os_post_quit_message(code);
}

int wins_window_exit_pending() {
  os_hwnd frame = g_frame.load();
  return frame && os_close_pending(frame);
}

int wins_window_flush_screen(const trect *rect) { return wins_window_blit(rect); }

int wins_window_blit(const trect *rect) {
  if (!g_context || !g_context->_screen) return 0;
  tscreen *screen = g_context->_screen;
  return os_display_present(tscreen_get_bitmap(screen), rect ? rect : &screen->_rect) ? 1 : 0;
}

int wins_window_resize(int32_t width, int32_t height) {
  PORT_CHECK(g_context != nullptr && g_context->_screen != nullptr);
  g_screen_width = width;
  g_screen_height = height;
  os_hwnd frame = g_frame.load();
  os_window_rect frame_rect{0, 0, 0, 0};
  os_window_get_rect(frame, &frame_rect);
  os_window_move(frame, frame_rect.x, frame_rect.y, width, height);
  if (g_view) {
    os_window_get_rect(frame, &frame_rect);
    os_window_move(g_view, (frame_rect.width - width) / 2, (frame_rect.height - height) / 2, width, height);
  }
  tscreen *screen = g_context->_screen;
  tscreen_resize(screen, width, height);
  trect whole = {0, 0, width - 1, height - 1};
  uint32_t lock_found = tscreen_get_update_lock(screen);
  tscreen_set_update_lock(screen, 1);
  tscreen_notify_resize(screen, &whole);
  tscreen_set_update_lock(screen, lock_found);
  tscreen_paint(screen, nullptr);
  if (g_view) os_post_message(g_view, WM_PAINT, 0, 0);
  return 1;
}

void wins_window_set_full_screen(os_hwnd window, int on) {
  if (!on) return;
  int32_t width, height;
  port_device_get_screen_size(&width, &height);
  os_window_move(window, 0, 0, width, height);
}

int wins_window_get_modifiers() {
  return (os_get_key_state(VK_MENU) ? WINS_MOD_ALT : 0) | (os_get_key_state(VK_SHIFT) ? WINS_MOD_SHIFT : 0) |
         (os_get_key_state(VK_CONTROL) ? WINS_MOD_CTRL : 0);
}

int wins_window_set_ime(wins_ime *record, void (*on_text)(void *, const char16_t *), void *user_data) {
  PORT_CHECK(record != nullptr);
  record->_on_text = on_text;
  record->_user_data = user_data;
  g_ime = record;
  return 1;
}

// Text input is always on (the canvas takes letters), so showing the panel is
// only the repeated repaint while the panel may cover the screen.
void wins_window_show_input_panel(wins_ime *record) {
  PORT_CHECK(record != nullptr);
  wins_window_set_full_screen(g_frame.load(), 1);
  start_panel_timer(panel_repaint_tick);
}

void wins_window_hide_input_panel(wins_ime *record) {
  if (record) {
    record->_on_text = nullptr;
    record->_user_data = nullptr;
  }
  g_ime = nullptr;
  int32_t width, height;
  port_device_get_screen_size(&width, &height);
  // A panel that left the screen its size costs no resize and no repaint
  // of the whole window (the panel's own tick repaints once).
  if (width != g_screen_width || height != g_screen_height) wins_window_resize(width, height);
  wins_window_set_full_screen(g_frame.load(), 1);
  start_panel_timer(panel_hidden_tick);
}

void wins_window_hide() { os_window_show(g_frame.load(), 0); }

void wins_window_show() { os_window_set_foreground(g_frame.load()); }

int wins_window_get_program_dir(char16_t *buffer, int n) {
  PORT_CHECK(buffer != nullptr);
  std::string dir = os_program_dir();
  if (dir.empty()) return 0;
  if (dir.back() != '/') dir += '/';
  std::u16string wide = port_fs_wide_path(dir);
  if (wide.size() + 1 > size_t(n)) return 0;
  std::memcpy(buffer, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  return 1;
}

void wins_window_sleep(uint32_t ms) { os_sleep_ms(ms); }

namespace {

// --screen WxH (or --screen=WxH) and --help; any other option is refused;
// every other word is the application's. The exit code to end with (0 after
// the usage, 2 for a bad option, in one line on stderr), or
// k_options_start.
int parse_options(int argc, char **argv, int32_t *width, int32_t *height, std::u16string *command_line) {
  os_display_get_size(width, height);
  for (int i = 1; i < argc; i++) {
    const char *value = nullptr;
    if (!std::strcmp(argv[i], "--help")) {
      print_usage(stdout);
      return 0;
    } else if (!std::strcmp(argv[i], "--screen")) {
      value = i + 1 < argc ? argv[++i] : "";
    } else if (!std::strncmp(argv[i], "--screen=", 9)) {
      value = argv[i] + 9;
    } else if (argv[i][0] == '-' && argv[i][1]) {
      std::fprintf(stderr, "brivola: unknown option %s; ", argv[i]);
      print_usage(stderr);
      return 2;
    } else {
      char16_t wide[1024];
      int count = port_str_utf8_to_wide(argv[i], -1, wide, 1024);
      if (count > 0) {
        if (!command_line->empty()) *command_line += u' ';
        *command_line += wide;
      }
      continue;
    }
    if (!parse_size(value, width, height)) {
      std::fprintf(stderr, "brivola: --screen wants WIDTHxHEIGHT between %dx%d and %dx%d, e.g. 240x320\n",
                   OS_DISPLAY_MIN_SIDE, OS_DISPLAY_MIN_SIDE, OS_DISPLAY_MAX_SIDE, OS_DISPLAY_MAX_SIDE);
      return 2;
    }
  }
  return k_options_start;
}

void print_usage(FILE *stream) { std::fprintf(stream, "usage: brivola [--screen WIDTHxHEIGHT] [--help]\n"); }

void refuse_start(int claim, const std::string &reason) {
  bool unanswered = claim == OS_INSTANCE_UNREACHED;
  char line[1024];
  if (unanswered)
    std::snprintf(line, sizeof line, "%s; not starting", reason.c_str());
  else
    std::snprintf(line, sizeof line, "cannot make sure no other copy runs on the user folder (%s); not starting",
                  reason.c_str());
  std::fprintf(stderr, "brivola: %s\n", line);
  tell_user(unanswered ? WINS_REFUSED_UNANSWERED : WINS_REFUSED_FOLDER, reason, line);
}

// The start goes on once the user has read the warning; the signals are
// watched again (the threads started since the first watch, the instance
// listener, were started with them blocked).
void warn_unlocked(const std::string &reason) {
  char line[1024];
  std::snprintf(line, sizeof line,
                "the user folder offers no file locks and no other way to tell (%s); running without making sure "
                "no other copy runs on it",
                reason.c_str());
  std::fprintf(stderr, "brivola: %s\n", line);
  tell_user(WINS_WARNED_UNLOCKED, reason, line);
  os_signal_watch();
}

// A desktop user never sees stderr: what stops or troubles a start is told
// in a box as well, in the application's words with the same reason (the
// one line alone without them). The box waits for the user, and whatever
// shows it inherits this thread's signal mask: the termination signals are
// given back first, so that Ctrl+C, SIGTERM and SIGHUP end the start at once.
// Where the window system's box cannot show, a note of the program's own
// says it.
void tell_user(int why, const std::string &reason, const std::string &line) {
  os_signal_give_back();
  char16_t said[k_refusal_chars] = u"";
  if (g_app->get_refusal_text) g_app->get_refusal_text(why, said, k_refusal_chars);
  said[k_refusal_chars - 1] = 0;
  std::string message = said[0] ? port_utf8_of(said) + "\n\n" + reason : line;
  show_box(port_utf8_of(g_title), message);
}

void show_box(const std::string &caption, const std::string &message) {
  static const int fork_watched = pthread_atfork(nullptr, nullptr, box_child_ends_with_parent);
  (void)fork_watched;
  g_box_parent.store(getpid());
  int shown = os_display_alert(caption.c_str(), message.c_str());
  g_box_parent.store(0);
  if (!shown) show_note(message);
}

// SDL shows its box from a child process, or runs a helper program: one
// that outlived a start ended by a signal would leave the box on the screen.
void box_child_ends_with_parent() {
  pid_t parent = g_box_parent.load();
  if (!parent) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);
}

// A window of the program's own on the display: the text in the toolkit's
// default face, dark on white, wrapped as a label wraps it. It stays until
// the user closes it or presses Enter, Escape or Space.
void show_note(const std::string &message) {
  int units = port_str_utf8_to_wide(message.c_str(), -1, nullptr, 0);
  if (units <= 0) return;
  std::u16string text(size_t(units), u'\0');
  port_str_utf8_to_wide(message.c_str(), -1, text.data(), units);
  text.resize(size_t(units) - 1);
  // The display opens first: the text's size follows the display's class,
  // which the note's own width sets. The lines are counted on a canvas one
  // row high, then drawn on one as high as they need.
  char reason[256] = "";
  if (!os_display_open(k_note_width, OS_DISPLAY_MIN_SIDE, g_title, reason, sizeof reason)) return;
  tcanvas canvas;
  int32_t line_height = 0, lines = 0;
  if (tcanvas_init(&canvas, nullptr, 16, k_note_width, -1)) {
    lines = note_lines(&canvas, text, false, &line_height);
    tcanvas_deinit(&canvas);
  }
  int32_t height = std::max(OS_DISPLAY_MIN_SIDE, 2 * k_note_margin + lines * line_height);
  if (!lines || !tcanvas_init(&canvas, nullptr, 16, k_note_width, -height)) {
    os_display_close();
    return;
  }
  os_display_set_size(k_note_width, height);
  note_lines(&canvas, text, true, &line_height);
  g_note = tcanvas_get_bitmap(&canvas);
  os_hwnd note = os_window_create(k_note_class, g_title, on_note_message, 0, 0, 0, k_note_width, height);
  os_display_set_windows(note, 0);
  trect whole = {0, 0, k_note_width - 1, height - 1};
  os_display_present(g_note, &whole);
  os_message taken;
  while (os_get_message(&taken, OS_WAIT_FOREVER) > 0) os_dispatch_message(&taken);
  if (os_window_is_alive(note)) os_window_destroy(note);
  os_display_close();
  os_message_reset();
  g_note = nullptr;
  tcanvas_deinit(&canvas);
}

// Walks the note's lines inside its margins, broken at the text's own line
// ends and where a label's break, drawing them when asked; the number of
// lines (at most k_note_max_lines) and their height.
int32_t note_lines(tcanvas *canvas, const std::u16string &text, bool draw, int32_t *line_height) {
  wins_graphics_set_font(canvas, k_note_font_points, nullptr);
  tcanvas_set_pen(canvas, TCANVAS_PEN_SOLID, 1, k_note_ink);
  wins_graphics_pass *pass = wins_graphics_begin_text(canvas);
  if (!pass) return 0;
  *line_height = wins_graphics_get_text_height(canvas, pass) + 2;
  const int32_t length = int32_t(text.size()), max_width = k_note_width - 2 * k_note_margin;
  int32_t lines = 0;
  for (int32_t start = 0; lines < k_note_max_lines;) {
    if (lines > 0)
      while (start < length && text[size_t(start)] == u' ') start++;
    int32_t feed = start;
    while (feed < length && text[size_t(feed)] != u'\n') feed++;
    int32_t next = 0;
    int32_t shown = ttdrawer_wrap_line(canvas, pass, text.data() + start, feed - start, max_width, 1, &next);
    if (draw && shown > 0) {
      tpoint at = {k_note_margin, k_note_margin + lines * *line_height};
      wins_graphics_draw_text(canvas, pass, &at, text.data() + start, shown);
    }
    lines++;
    next += start;
    if (next == feed && feed < length) next++;
    if (next >= length) break;
    start = next;
  }
  wins_graphics_end_text(canvas, pass);
  return lines;
}

intptr_t on_note_message(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  switch (message) {
    case WM_PAINT: {
      trect whole = {0, 0, tbitmap_get_width(g_note) - 1, tbitmap_get_height(g_note) - 1};
      if (!os_display_expose()) os_display_present(g_note, &whole);
      return 0;
    }
    case WM_KEYDOWN:
      if (wparam != VK_RETURN && wparam != VK_ESCAPE && wparam != VK_SPACE) return 0;
      os_window_destroy(window);
      return 0;
    case WM_CLOSE:
      os_window_destroy(window);
      return 0;
    case WM_DESTROY:
      os_post_quit_message(0);
      return 0;
    default:
      return os_def_window_proc(window, message, wparam, lparam);
  }
}

// Two sides of decimal digits joined by 'x', each one a window can have.
int parse_size(const char *value, int32_t *width, int32_t *height) {
  int64_t sides[2] = {0, 0};
  const char *at = value;
  for (int i = 0; i < 2; i++) {
    if (i == 1 && *at++ != 'x') return 0;
    if (*at < '0' || *at > '9') return 0;
    for (; *at >= '0' && *at <= '9'; at++) sides[i] = std::min<int64_t>(sides[i] * 10 + (*at - '0'), INT32_MAX);
    if (sides[i] < OS_DISPLAY_MIN_SIDE || sides[i] > OS_DISPLAY_MAX_SIDE) return 0;
  }
  if (*at) return 0;
  *width = int32_t(sides[0]);
  *height = int32_t(sides[1]);
  return 1;
}

int create_view(const char16_t *title, int32_t x, int32_t y, int32_t width, int32_t height) {
  os_hwnd frame = g_frame.load();
  if (width == -1 && height == -1) {
    width = g_screen_width;
    height = g_screen_height;
  }
  if (x == -1 && y == -1) {
    os_window_rect client{0, 0, 0, 0};
    os_window_get_rect(frame, &client);
    x = (client.width - width) / 2;
    y = (client.height - height) / 2;
  }
  g_view = os_window_create(k_view_class, title, on_view_message, frame, x, y, width, height);
  return g_view != 0;
}

// From its first step the exit signals are absorbed: whatever comes, the rest
// runs to its end and the program ends with its own status.
void tear_down() {
  os_signal_unwatch();
  if (g_panel_timer) wins_timer_stop(g_panel_timer);
  g_panel_timer = 0;
  wins_timer_stop_all();
  os_hwnd frame = g_frame.exchange(0);
  if (frame && os_window_is_alive(frame)) os_window_destroy(frame);
  g_view = 0;
  if (g_context) {
    if (g_context->_screen) {
      tscreen_deinit(g_context->_screen);
      std::free(g_context->_screen);
    }
    std::free(g_context);
    g_context = nullptr;
  }
  os_display_close();
  os_instance_release();
  os_message_reset();
  g_ime = nullptr;
  g_app = nullptr;
  g_run_wait = 0;
  g_quitting = 0;
}

intptr_t on_frame_message(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  switch (message) {
    case WM_CREATE:
      return 0;
    case WM_CLOSE:
      // The window manager's close and the termination signals.
      close_frame(window, WINS_EXIT_CLOSE);
      return 0;
    case WM_DESTROY:
      os_post_quit_message(0);
      return 0;
    case WM_ACTIVATE:
      wins_window_set_full_screen(window, 1);
      if (g_view && (wparam & 0xFFFF) != WA_INACTIVE && g_app && g_app->on_activate) g_app->on_activate();
      return 0;
    case WM_SETTINGCHANGE:
      if (wparam == OS_SETTING_DISPLAY) {
        int32_t width, height;
        port_device_get_screen_size(&width, &height);
        wins_window_resize(width, height);
        wins_window_set_full_screen(window, 1);
      }
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      return g_view ? os_send_message(g_view, message, wparam, lparam) : 0;
    case WM_COMMAND:
      if ((wparam & 0xFFFF) == k_command_quit) close_frame(window, WINS_EXIT_DISCARD);
      return 0;
    case WINS_MSG_RUN_ACTIVE_OBJECTS:
      win_ao_run_signalled();
      return 0;
    case WINS_MSG_REPAINT:
      if (g_context && g_context->_screen) tscreen_paint(g_context->_screen, nullptr);
      return 0;
    default:
      return os_def_window_proc(window, message, wparam, lparam);
  }
}

intptr_t on_view_message(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  switch (message) {
    case WM_PAINT:
      // Shows what the display's mirror holds; the screen bitmap is copied
      // again only into a mirror that was lost (a new window surface, a GPU reset).
      if (!os_display_expose()) wins_window_blit(nullptr);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
      return on_pen(window, message, wparam, lparam);
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      return on_key(window, message, wparam, lparam);
    default:
      return os_def_window_proc(window, message, wparam, lparam);
  }
}

// The position word's halves are signed: a drag past the left or top edge
// gives negative coordinates (the window system reports those while the pen
// is held), never 65535-like values that read as the stroke's end marker.
intptr_t on_pen(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  int32_t x = int16_t(uint16_t(uintptr_t(lparam) & 0xFFFF));
  int32_t y = int16_t(uint16_t((uintptr_t(lparam) >> 16) & 0xFFFF));
  int type;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      g_pen_down = 1;
      type = PEN_DOWN;
      break;
    case WM_MOUSEMOVE:
      if (!g_pen_down) return os_def_window_proc(window, message, wparam, lparam);
      type = PEN_MOVE;
      break;
    default:
      g_pen_down = 0;
      type = PEN_UP;
      break;
  }
  tscreen *screen = g_context ? g_context->_screen : nullptr;
  if (screen && tscreen_dispatch_pen(screen, type, x, y, uint32_t(wins_window_get_modifiers()))) return 0;
  return os_def_window_proc(window, message, wparam, lparam);
}

intptr_t on_key(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  uint32_t code = 0;
  if (message == WM_CHAR) {
    code = uint32_t(wparam & 0xFFFF);
  } else {
    for (const key_entry &entry : k_keys) {
      if (entry.virtual_key != wparam) continue;
      if (message == WM_KEYUP && entry.code < 0xF80B) break;
      code = entry.code;
      break;
    }
    if (!code) return os_def_window_proc(window, message, wparam, lparam);
  }
  uint32_t repeat = uint32_t(uintptr_t(lparam) & 0xFFFF);
  tscreen *screen = g_context ? g_context->_screen : nullptr;
  if (screen && tscreen_dispatch_key(screen, code, repeat, uint32_t(wins_window_get_modifiers()))) return 0;
  return os_def_window_proc(window, message, wparam, lparam);
}

// The one-entry accelerator table: Ctrl+Q closes the program.
int translate_accelerator(const os_message *message) {
  if (message->message != WM_KEYDOWN || message->wparam != 'Q' || !os_get_key_state(VK_CONTROL)) return 0;
  os_hwnd frame = g_frame.load();
  if (!frame || (message->window != frame && os_window_get_parent(message->window) != frame)) return 0;
  os_send_message(frame, WM_COMMAND, k_command_quit, 0);
  return 1;
}

// Every road out goes through the application's exit hook, which decides
// what is kept; once it agrees the frame goes and its destruction quits.
// After the display is lost no one could close the program again, so a veto
// does not hold then.
void close_frame(os_hwnd frame, int code) {
  if (g_context && g_context->_exit_hook && g_context->_exit_hook(code) == 0 && !os_display_is_lost()) return;
  os_window_destroy(frame);
}

// At most one input-panel repaint timer runs: a new show or hide replaces it.
void start_panel_timer(wins_timer_callback tick) {
  if (g_panel_timer) wins_timer_stop(g_panel_timer);
  g_panel_timer = wins_timer_start(k_panel_repaint_ms, 0, tick, nullptr);
  if (!g_panel_timer) wins_window_post_to_frame(WINS_MSG_REPAINT, 0, 0);
}

void panel_repaint_tick(uint32_t id, void *user_data) {
  (void)user_data;
  if (!g_ime) {
    wins_timer_stop(id);
    if (g_panel_timer == id) g_panel_timer = 0;
    return;
  }
  wins_window_post_to_frame(WINS_MSG_REPAINT, 0, 0);
}

void panel_hidden_tick(uint32_t id, void *user_data) {
  (void)user_data;
  wins_timer_stop(id);
  if (g_panel_timer == id) g_panel_timer = 0;
  wins_window_post_to_frame(WINS_MSG_REPAINT, 0, 0);
}

}  // namespace
