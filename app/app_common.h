// app_common: the small services every application module uses.
//
// Screen-class tests, the folders (program, resources, cache, temp, My
// Paints), the language, the message, question, error, stop and information
// boxes and the wait note, a whole-file reader, the feedback page and the
// exit hook. Everything reads the application's state through the platform
// context (app_common_get_app).
//
// Screen classes: small when a side is 240 or the screen is 320 x 320; large
// when both sides are at least 480; normal otherwise.
//
// Boxes are message dialogs of the standard dialog width, dimmed and centred;
// the question and the message box wait in a nested message loop until they
// close, the error and stop boxes do not wait. Notes are hints centred on the
// screen: the information note frees itself after 2 s, the wait note stays
// in _wait_note until app_common_close_wait_note.
#pragma once

#include <cstdint>

#include "app_context.h"
#include "wins_window.h"

constexpr int APP_NAME_CHARS = 128;

// Texts of this module, by id.
enum {
  APP_TEXT_PRODUCT = 25001,
  APP_TEXT_ERROR = 25002,
  APP_TEXT_STOP = 25003,
  APP_TEXT_OPEN_URL_FAILED = 25005,
  APP_TEXT_NO_MEMORY_FOR_TASK = 25020,
  APP_TEXT_REFUSED_UNANSWERED = 25266,
  APP_TEXT_REFUSED_FOLDER = 25267,
  APP_TEXT_NO_SPACE = 25269,
  APP_TEXT_NOT_WRITABLE = 25270,
  APP_TEXT_NO_FOLDER = 25271,
  APP_TEXT_CANNOT_KEEP = 25272,
  APP_TEXT_STAYS_OPEN = 25273,
  APP_TEXT_WARNED_UNLOCKED = 25274,
};

// Button sets and icon kinds of the message boxes.
enum {
  APP_BUTTONS_YES_NO = 4,
  APP_BUTTONS_BACK = 5,
  APP_ICON_ERROR = 3,
  APP_ICON_STOP = 4,
  APP_ICON_QUESTION = 5,
};

// Exit codes the exit hook knows: the command panel's Quit asks to save;
// Ctrl+Q keeps nothing; any other (the canvas 'Q' key, a close of the window,
// a termination signal) keeps the painting in "paint.cache".
enum {
  APP_EXIT_KEEP_CACHE = WINS_EXIT_CLOSE,
  APP_EXIT_ASK_SAVE = 1,
  APP_EXIT_KEEP_NOTHING = WINS_EXIT_DISCARD,
  APP_EXIT_QUIT_KEEP = 3,  // the canvas 'Q' key
};

// The application's state (fatal when there is none).
app_context *app_common_get_app();
// The application's state or null (start-up and tear-down).
app_context *app_common_find_app();

// Copies "Brivola" into a buffer of APP_NAME_CHARS chars and returns it.
char16_t *app_common_get_app_name(char16_t *buffer);
const char16_t *app_common_get_product_name();
// Why the port refused to start (WINS_REFUSED_*) or warns that it starts
// unchecked (WINS_WARNED_UNLOCKED), in the user's language,
// into a buffer of n chars. Runs before the application: its language file
// is loaded for the one text and unloaded again.
void app_common_get_refusal_text(int why, char16_t *buffer, int n);
// The main window became active: the painting is shown again, background
// included.
void app_common_on_activate();

// The program folder with its trailing separator; 1 on success.
int app_common_get_program_dir(char16_t *buffer, int n);
// The program folder, a separator, "resqvga" on the small class, else
// "resvga"; 1 on success, 0 when it does not fit.
int app_common_get_res_dir(char16_t *buffer, int n);
const char16_t *app_common_get_cache_dir();
const char16_t *app_common_get_temp_dir();
const char16_t *app_common_get_my_paints_dir();

int app_common_is_qvga();
int app_common_is_vga();
// The same tests for a given size.
int app_common_is_qvga_size(int32_t width, int32_t height);
int app_common_is_vga_size(int32_t width, int32_t height);
// The smaller screen side minus 30.
int32_t app_common_get_dialog_width();

// _language and _lang_id from the user's locale; _lang_code "ru_ru" for the
// language numbers 16 and 40, "zh_cn" for 31, "en_us" for any other.
void app_common_init_language();
const char16_t *app_common_lang_code_of(int32_t language);
// Point size of the default text drawer, the text of every dialog: 10 for
// Chinese on the small and normal screen classes (its glyphs need it), else
// 7. Command captions are never drawn smaller.
int32_t app_common_get_default_font_size();

// UTF-8 text (length bytes, -1: NUL-ended) as UTF-16 in a buffer of n chars:
// at most n - 1 chars, never half of a surrogate pair, always NUL-ended.
// Returns the chars written.
int app_common_utf8_to_wide_cut(const char *text, int length, char16_t *buffer, int n);
// UTF-16 text as UTF-8 in a buffer of n bytes: at most n - 1 bytes, never
// half of a character, always NUL-ended. Returns the bytes written.
int app_common_wide_to_utf8_cut(const char16_t *text, char *buffer, int n);

// The whole file and its size, NUL-ended one byte past the size; the caller
// frees it. raw: binary mode (the same on Linux). Null when the file cannot be
// opened, is not a regular file, is bigger than limit bytes (-1: no limit) or
// cannot be held in memory.
uint8_t *app_common_read_file(const char16_t *path, int64_t *size, int raw, int64_t limit = -1);
// No settings file of the program comes near this; a bigger one is not read.
constexpr int64_t APP_SETTINGS_MAX_BYTES = 1 << 20;

// The boxes. ask_yes_no answers 1 for Yes; show_message returns once closed;
// the error and stop boxes do not wait.
int app_common_ask_yes_no(const char16_t *title, const char16_t *text, int32_t picture_id, int32_t mask_id);
void app_common_show_message(const char16_t *text, const char16_t *title, int32_t buttons, int32_t icon);
void app_common_show_error(const char16_t *text);
// format holds one %s, replaced by argument.
void app_common_show_error_fmt(const char16_t *format, const char16_t *argument);
void app_common_show_stop(const char16_t *text);
// The stop box of a step refused for want of memory: "Not enough memory to
// complete this task.".
void app_common_show_memory_stop();
// Closes the wait note and shows the text for 2 s.
void app_common_show_info(const char16_t *text);
// A note that stays until app_common_close_wait_note.
void app_common_show_wait_note(const char16_t *text);
void app_common_close_wait_note();
int app_common_is_wait_note_shown();

// Opens an address in the browser. A browser that cannot be started, or
// that answers failure (later, on the GUI thread), shows "Fail to open url.".
// 1 when started.
int app_common_open_url(const char16_t *url);
// Opens the service's feedback page in the browser.
void app_common_open_feedback();
// The exit hook: APP_EXIT_ASK_SAVE asks whether to save a changed painting
// and, when Yes did not save it (Save As cancelled, a failed save), keeps it
// as the other codes do; otherwise (No, saved, nothing changed) it keeps
// nothing, as APP_EXIT_KEEP_NOTHING does, and removes "paint.cache" so that
// the next start does not restore it. Any other code writes the painting
// to "paint.cache" in the cache folder (a plain file, never through a link);
// a failed write leaves the older file as it was and is said on stderr.
// After Quit and 'Q' (APP_EXIT_QUIT_KEEP) a box says it too, with why, and
// the program stays (0: the exit is refused) with the painting on the
// screen; the other roads never wait on the user and end. Until the restore
// has dealt with the kept painting the file stays as it is; one it left in
// place (no memory to read it, or damaged and not movable) stays unless
// this run changed the painting, and is then set aside first. Only the
// first request acts: a later one (from inside the question or the box)
// does nothing, unless a refused exit let it go.
int app_common_on_exit(int code);
// The file the exit hook keeps the painting in (APP_PATH_CHARS chars).
int app_common_get_cache_file(char16_t *buffer, int n);
// Moves what is at path (never followed, never opened) to path + ".bad", or
// when that name is taken to the first free of path + ".bad.1", ".bad.2"...:
// nothing is replaced. 1 when it moved; else 0 with errno saying why.
int app_common_set_cache_aside(const char16_t *path);
// Whether the cache folder can take the kept painting (a folder, reached
// however, that may be written); when not, an error box says so and why.
// 1 when it can.
int app_common_check_cache_dir();
