// app_common: the application's shared services.
#include "app_common.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os_paths.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "port_device.h"
#include "port_fs.h"
#include "port_log.h"
#include "port_utf8.h"
#include "tcontrol.h"
#include "tdialog.h"
#include "tfile.h"
#include "thint.h"
#include "tmessagedialog.h"
#include "tresource.h"
#include "tscreen.h"
#include "twformat.h"
#include "wins_window.h"

namespace {

const char16_t k_app_name[] = u"Brivola";
const char16_t k_res_small[] = u"resqvga";
const char16_t k_res_other[] = u"resvga";
const char16_t k_cache_file[] = u"paint.cache";
const char k_bad_cache_suffix[] = ".bad";
// How many numbered names a set-aside tries after ".bad": far more than
// damaged paintings a user lets gather.
constexpr int k_aside_names = 1000;

// The feedback page and what it is told about this build (the host and the
// distributor are build settings).
const char16_t k_feedback_format[] =
    u"http://%s/cgi-bin/feedback.pl?product=brivola&from=client&ver=%s&dev=%s&oem=%s&sn=%s";
const char16_t k_service_host[] = u"" BRIVOLA_SERVICE_HOST;
const char16_t k_version[] = u"1.5";
const char16_t k_device[] = u"wceppc";
const char16_t k_distributor[] = u"" BRIVOLA_DISTRIBUTOR;
constexpr int k_feedback_chars = 4096;

constexpr int32_t k_dialog_margin = 30;
constexpr int32_t k_info_ms = 2000;
constexpr int32_t k_note_start_height = 20;
constexpr int32_t k_language_russian = 16;
constexpr int32_t k_language_belarusian = 40;
constexpr int32_t k_language_chinese = 31;
constexpr int32_t k_font_size_chinese = 10;
constexpr int32_t k_font_size = 7;

void screen_size(int32_t *width, int32_t *height);
// A box its caller waits for in a nested loop, and whether it has closed.
struct box_wait {
  app_context *app;
  bool closed;
};

void show_box(tmessagedialog *box);
void wait_for(tmessagedialog *box, box_wait *wait);
void show_alert(const char16_t *title, const char16_t *text, int32_t icon);
thint *make_note(const char16_t *text);
void on_question_closed(int32_t result, void *user_data);
void on_message_closed(int32_t result, void *user_data);
void on_url_opened(int result, void *user_data);
bool takes_one_text(const char16_t *format);
bool cache_in_restore(const app_context *app, const char16_t *path);
int keep_failed(app_context *app, bool told, int code, int error);
const char16_t *folder_failure_text(int error);
std::u16string with_one_text(const char16_t *format, const char16_t *argument);

}  // namespace

app_context *app_common_get_app() {
  app_context *app = app_common_find_app();
  PORT_CHECK(app != nullptr);
  return app;
}

app_context *app_common_find_app() {
  wins_window_context *context = wins_window_get_context();
  return context ? context->_app : nullptr;
}

char16_t *app_common_get_app_name(char16_t *buffer) {
  PORT_CHECK(buffer != nullptr);
  std::memcpy(buffer, k_app_name, sizeof k_app_name);
  return buffer;
}

const char16_t *app_common_get_product_name() { return tresource_get_string(APP_TEXT_PRODUCT, u"Brivola"); }

void app_common_get_refusal_text(int why, char16_t *buffer, int n) {
  PORT_CHECK(buffer != nullptr && n > 0);
  char16_t program[APP_PATH_CHARS];
  int file = 0;
  if (app_common_get_program_dir(program, APP_PATH_CHARS)) {
    std::u16string path = std::u16string(program) + app_common_lang_code_of(port_fs_get_language()) + u".lang";
    file = tresource_load(path.c_str());
  }
  const char16_t *text =
      why == WINS_REFUSED_UNANSWERED
          ? tresource_get_string(APP_TEXT_REFUSED_UNANSWERED,
                                 u"Another copy of Brivola is running but does not answer. Close it, then start "
                                 u"Brivola again.")
      : why == WINS_WARNED_UNLOCKED
          ? tresource_get_string(APP_TEXT_WARNED_UNLOCKED,
                                 u"Brivola cannot make sure that only one copy of it uses its folder. Do not start a "
                                 u"second copy of Brivola while this one runs.")
          : tresource_get_string(APP_TEXT_REFUSED_FOLDER, u"Brivola cannot start: it cannot use its folder.");
  size_t length = std::min(std::char_traits<char16_t>::length(text), size_t(n - 1));
  std::memcpy(buffer, text, length * sizeof(char16_t));
  buffer[length] = 0;
  if (file) tresource_unload(file);
}

void app_common_on_activate() {
  app_context *app = app_common_find_app();
  if (app && app->_paint_context) paint_context_refresh(app->_paint_context, nullptr, 1);
}

int app_common_get_program_dir(char16_t *buffer, int n) {
  PORT_CHECK(buffer != nullptr);
  return wins_window_get_program_dir(buffer, n);
}

int app_common_get_res_dir(char16_t *buffer, int n) {
  PORT_CHECK(buffer != nullptr && n > 0);
  buffer[0] = 0;
  char16_t program[APP_PATH_CHARS];
  if (!wins_window_get_program_dir(program, APP_PATH_CHARS)) return 0;
  size_t length = std::char_traits<char16_t>::length(program);
  const char16_t *separator = length && tfile_is_separator(program[length - 1]) ? u"" : u"/";
  int need = twformat(buffer, size_t(n), u"%s%s%s", program, separator,
                      app_common_is_qvga() ? k_res_small : k_res_other);
  if (need >= n) {
    buffer[0] = 0;
    return 0;
  }
  return 1;
}

const char16_t *app_common_get_cache_dir() { return app_common_get_app()->_cache_dir; }

const char16_t *app_common_get_temp_dir() { return app_common_get_app()->_temp_dir; }

const char16_t *app_common_get_my_paints_dir() { return app_common_get_app()->_my_paints_dir; }

int app_common_is_qvga() {
  int32_t width, height;
  screen_size(&width, &height);
  return app_common_is_qvga_size(width, height);
}

int app_common_is_vga() {
  int32_t width, height;
  screen_size(&width, &height);
  return app_common_is_vga_size(width, height);
}

int app_common_is_qvga_size(int32_t width, int32_t height) {
  return width == 240 || height == 240 || (width == 320 && height == 320);
}

int app_common_is_vga_size(int32_t width, int32_t height) { return width >= 480 && height >= 480; }

int32_t app_common_get_dialog_width() {
  int32_t width, height;
  screen_size(&width, &height);
  return std::min(width, height) - k_dialog_margin;
}

void app_common_init_language() {
  app_context *app = app_common_get_app();
  app->_language = port_fs_get_language();
  app->_lang_id = port_fs_get_lang_id();
  const char16_t *code = app_common_lang_code_of(app->_language);
  std::memset(app->_lang_code, 0, sizeof app->_lang_code);
  std::memcpy(app->_lang_code, code, std::char_traits<char16_t>::length(code) * sizeof(char16_t));
}

const char16_t *app_common_lang_code_of(int32_t language) {
  if (language == k_language_russian || language == k_language_belarusian) return u"ru_ru";
  if (language == k_language_chinese) return u"zh_cn";
  return u"en_us";
}

// Start-up asks before _language is filled, so the platform's language is
// read here. Chinese glyphs need 10 points wherever a point is 96 dpi (the
// small and normal classes): at 7 they are too small to read, and a larger
// screen must not show smaller text than a smaller one.
int32_t app_common_get_default_font_size() {
  return !app_common_is_vga() && port_fs_get_language() == k_language_chinese ? k_font_size_chinese
                                                                              : k_font_size;
}

int app_common_utf8_to_wide_cut(const char *text, int length, char16_t *buffer, int n) {
  PORT_CHECK(text != nullptr && buffer != nullptr && n > 0);
  buffer[0] = 0;
  int need = port_str_utf8_to_wide(text, length, nullptr, 0);
  if (need <= 0) return 0;
  std::u16string wide(size_t(need), u'\0');
  port_str_utf8_to_wide(text, length, wide.data(), need);
  size_t chars = port_utf8_cut_wide(wide.data(), std::char_traits<char16_t>::length(wide.c_str()), size_t(n - 1));
  std::memcpy(buffer, wide.data(), chars * sizeof(char16_t));
  buffer[chars] = 0;
  return int(chars);
}

int app_common_wide_to_utf8_cut(const char16_t *text, char *buffer, int n) {
  PORT_CHECK(text != nullptr && buffer != nullptr && n > 0);
  std::string utf8 = port_utf8_of(text);
  size_t bytes = port_utf8_cut(utf8.data(), utf8.size(), size_t(n - 1));
  std::memcpy(buffer, utf8.data(), bytes);
  buffer[bytes] = 0;
  return int(bytes);
}

uint8_t *app_common_read_file(const char16_t *path, int64_t *size, int raw, int64_t limit) {
  PORT_CHECK(path != nullptr && size != nullptr);
  (void)raw;
  return port_fs_read_file(path, limit, size);
}

int app_common_ask_yes_no(const char16_t *title, const char16_t *text, int32_t picture_id, int32_t mask_id) {
  PORT_CHECK(text != nullptr);
  app_context *app = app_common_get_app();
  app_common_close_wait_note();
  app->_answer = 0;
  box_wait wait = {app, false};
  tmessagedialog *box =
      tmessagedialog_new(title, app_common_get_dialog_width(), text, APP_BUTTONS_YES_NO, APP_ICON_QUESTION, &wait);
  if (!box) return 0;
  tmessagedialog_set_on_result(box, on_question_closed);
  if (picture_id != 0)
    tmessagedialog_set_icon(box, tresource_get_bitmap(picture_id), mask_id != 0 ? tresource_get_bitmap(mask_id) : nullptr);
  wait_for(box, &wait);
  return app->_answer;
}

void app_common_show_message(const char16_t *text, const char16_t *title, int32_t buttons, int32_t icon) {
  PORT_CHECK(text != nullptr);
  box_wait wait = {app_common_get_app(), false};
  tmessagedialog *box = tmessagedialog_new(title, app_common_get_dialog_width(), text, buttons, icon, &wait);
  if (!box) return;
  tmessagedialog_set_on_result(box, on_message_closed);
  wait_for(box, &wait);
}

void app_common_show_error(const char16_t *text) {
  PORT_CHECK(text != nullptr);
  show_alert(tresource_get_string(APP_TEXT_ERROR, u"Error"), text, APP_ICON_ERROR);
}

void app_common_show_error_fmt(const char16_t *format, const char16_t *argument) {
  PORT_CHECK(format != nullptr);
  if (!argument) argument = u"";
  size_t format_length = std::char_traits<char16_t>::length(format);
  size_t chars = format_length + std::char_traits<char16_t>::length(argument) + 16;
  char16_t *text = static_cast<char16_t *>(std::calloc(chars, sizeof(char16_t)));
  if (!text) return;
  if (takes_one_text(format))
    twformat(text, chars, format, argument);
  else
    std::memcpy(text, format, format_length * sizeof(char16_t));
  app_common_show_error(text);
  std::free(text);
}

void app_common_show_stop(const char16_t *text) {
  PORT_CHECK(text != nullptr);
  // A stop ends whatever was being waited for.
  app_common_close_wait_note();
  show_alert(tresource_get_string(APP_TEXT_STOP, u"Stop"), text, APP_ICON_STOP);
}

void app_common_show_memory_stop() {
  app_common_show_stop(tresource_get_string(APP_TEXT_NO_MEMORY_FOR_TASK, u"Not enough memory to complete this task."));
}

void app_common_show_info(const char16_t *text) {
  PORT_CHECK(text != nullptr);
  app_common_close_wait_note();
  thint *hint = make_note(text);
  if (hint) thint_show_timed(hint, -1, -1, k_info_ms);
}

void app_common_show_wait_note(const char16_t *text) {
  PORT_CHECK(text != nullptr);
  app_context *app = app_common_get_app();
  app_common_close_wait_note();
  thint *hint = make_note(text);
  if (!hint) return;
  thint_show(hint, -1, -1);
  app->_wait_note = hint;
}

void app_common_close_wait_note() {
  app_context *app = app_common_find_app();
  if (!app || !app->_wait_note) return;
  thint *hint = app->_wait_note;
  app->_wait_note = nullptr;
  trect area;
  tsurface_get_screen_rect(&reinterpret_cast<tcontrol *>(thint_get_label(hint))->_surface, &area);
  thint_free(hint);
  tscreen_paint(tscreen_get(), &area);
}

int app_common_is_wait_note_shown() {
  app_context *app = app_common_find_app();
  return app && app->_wait_note ? 1 : 0;
}

int app_common_open_url(const char16_t *url) {
  PORT_CHECK(url != nullptr);
  if (port_device_open_url(url, on_url_opened, nullptr)) return 1;
  on_url_opened(0, nullptr);
  return 0;
}

void app_common_open_feedback() {
  char16_t *url = static_cast<char16_t *>(std::calloc(k_feedback_chars, sizeof(char16_t)));
  if (!url) return;
  twformat(url, k_feedback_chars, k_feedback_format, k_service_host, k_version, k_device, k_distributor, u"");
  app_common_open_url(url);
  std::free(url);
}

int app_common_on_exit(int code) {
  app_context *app = app_common_find_app();
  if (!app || !app->_file || app->_exit_decided) return 1;
  // Quit and the canvas 'Q' come from the user while the screen is up: a
  // keep that fails is said there, as a failed save is, and the program
  // stays. The other roads (a close of the window, a signal, a lost display)
  // end where no one answers.
  bool told = code == APP_EXIT_ASK_SAVE || code == APP_EXIT_QUIT_KEEP;
  if (code == APP_EXIT_ASK_SAVE) {
    // The question, and the save a Yes leads to, wait in nested loops: a
    // window close or a signal there comes back into this hook, keeps the
    // painting and ends those loops, and is then all there is to do.
    int settled = paint_file_ask_save_changes(app->_file);
    if (app->_exit_decided) return 1;
    // No, a save that wrote the painting, or nothing to save: nothing kept.
    if (settled) code = APP_EXIT_KEEP_NOTHING;
  }
  app->_exit_decided = 1;
  char16_t path[APP_PATH_CHARS];
  if (!app_common_get_cache_file(path, APP_PATH_CHARS))
    return keep_failed(app, told, PAINT_FILE_ERR_OPEN, ENAMETOOLONG);
  if (cache_in_restore(app, path)) return 1;
  if (app->_kept_unread) {
    // The kept painting the restore left in place (no memory to read it, or
    // damaged and not movable) is no painting of this run: it stays for a
    // later start. A painting made in this run is kept all the same, with
    // that one set aside first; never written over.
    if (code == APP_EXIT_KEEP_NOTHING || !paint_history_is_modified(app->_history)) return 1;
    if (port_fs_exists(path) && !app_common_set_cache_aside(path))
      return keep_failed(app, told, PAINT_FILE_ERR_OPEN, errno);
    app->_kept_unread = 0;
  }
  if (code == APP_EXIT_KEEP_NOTHING) {
    // Not restored at the next start.
    port_fs_delete_file(path);
    return 1;
  }
  // A keep that fails leaves the older file as it was (the write goes to a
  // temporary file first).
  os_make_dirs(port_fs_native_path(app->_cache_dir));
  // The written file takes the place of whatever is at the name, but for a
  // folder, which a rename cannot replace: one put there since the restore
  // goes aside as the restore sets one aside.
  struct stat st;
  std::string native = port_fs_native_path(path);
  if (lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && !app_common_set_cache_aside(path))
    return keep_failed(app, told, PAINT_FILE_ERR_OPEN, errno);
  int error = 0;
  int kept = paint_file_write_silently(app->_file, path, &error);
  return kept == 1 ? 1 : keep_failed(app, told, kept, error);
}

// The kept painting did not open whole, or is no plain file: it stays beside
// the cache under a name of its own, so the next start neither trips on it
// again nor loses it, nor one set aside before. A link moves as the link.
// One instance runs on the folder: a name found free stays free.
int app_common_set_cache_aside(const char16_t *path) {
  PORT_CHECK(path != nullptr);
  std::string from = port_fs_native_path(path);
  if (from.empty()) {
    errno = ENOENT;
    return 0;
  }
  for (int number = 0; number < k_aside_names; number++) {
    std::string to = from + k_bad_cache_suffix + (number ? "." + std::to_string(number) : std::string());
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) continue;
    if (errno != ENOENT) return 0;
    return std::rename(from.c_str(), to.c_str()) == 0;
  }
  errno = EEXIST;
  return 0;
}

int app_common_check_cache_dir() {
  app_context *app = app_common_get_app();
  std::string folder = port_fs_native_path(app->_cache_dir);
  struct stat st;
  int error = 0;
  if (folder.empty())
    error = ENOENT;
  else if (stat(folder.c_str(), &st) != 0)
    error = errno;
  else if (!S_ISDIR(st.st_mode))
    error = ENOTDIR;
  else if (access(folder.c_str(), W_OK | X_OK) != 0)
    error = errno;
  if (!error) return 1;
  std::u16string text = with_one_text(
      tresource_get_string(APP_TEXT_CANNOT_KEEP, u"Brivola cannot keep the painting in \"%s\"."), app->_cache_dir);
  if (const char16_t *reason = folder_failure_text(error)) text += std::u16string(u"\n") + reason;
  app_common_show_error(text.c_str());
  return 0;
}

int app_common_get_cache_file(char16_t *buffer, int n) {
  PORT_CHECK(buffer != nullptr && n > 0);
  app_context *app = app_common_get_app();
  int need = twformat(buffer, size_t(n), u"%s%c%s", app->_cache_dir, int(TFILE_SEPARATOR), k_cache_file);
  if (need >= n) {
    buffer[0] = 0;
    return 0;
  }
  return 1;
}

namespace {

// The display size now (the screen follows it).
void screen_size(int32_t *width, int32_t *height) { port_device_get_screen_size(width, height); }

// Every box: the standard width, dimmed, centred.
void show_box(tmessagedialog *box) {
  tdialog_set_dimmed(tmessagedialog_get_dialog(box), 1);
  tmessagedialog_show(box, -1, -1, TDIALOG_PLACE_CENTRE);
}

// Shows the box and runs the nested loop until it closes. A quit ends the
// loop first: the box then closes as a "No", so nothing of it outlives the
// program's last loop.
void wait_for(tmessagedialog *box, box_wait *wait) {
  show_box(box);
  wins_window_run_wait();
  if (!wait->closed) tdialog_close(tmessagedialog_get_dialog(box), TMESSAGEDIALOG_RESULT_NO);
}

// The error and stop boxes: one "Back" key, nothing waits for them.
void show_alert(const char16_t *title, const char16_t *text, int32_t icon) {
  tmessagedialog *box = tmessagedialog_new(title, app_common_get_dialog_width(), text, APP_BUTTONS_BACK, icon, nullptr);
  if (box) show_box(box);
}

// A note is a hint as wide as a dialog, as high as its lines.
thint *make_note(const char16_t *text) {
  trect rect = {0, 0, app_common_get_dialog_width() - 1, k_note_start_height - 1};
  return thint_new(&rect, text, 1, app_common_get_app());
}

void on_question_closed(int32_t result, void *user_data) {
  box_wait *wait = static_cast<box_wait *>(user_data);
  wait->app->_answer = result == TMESSAGEDIALOG_RESULT_YES ? 1 : 0;
  on_message_closed(result, user_data);
}

// After a quit the loop has gone already and the end does nothing.
void on_message_closed(int32_t result, void *user_data) {
  (void)result;
  static_cast<box_wait *>(user_data)->closed = true;
  wins_window_end_wait();
}

// Until the restore has returned (its boxes included), the cache file holds
// the painting of the last run, or has been set aside: the painting on the
// screen is the empty start-up one or what was read so far.
bool cache_in_restore(const app_context *app, const char16_t *path) {
  return app->_restoring || (app->_restore_timer && port_fs_exists(path));
}

// A keep that failed is said on stderr on every road. After Quit and 'Q' a
// box also says why, and the exit is refused: the painting stays on the
// screen for the user to make room or save it elsewhere. A close or a signal
// while the box is up is a new request, which may end the program.
int keep_failed(app_context *app, bool told, int code, int error) {
  std::string why = error ? std::strerror(error) : "code " + std::to_string(code);
  std::fprintf(stderr, "brivola: the painting could not be kept in %s: %s\n",
               port_fs_native_path(app->_cache_dir).c_str(), why.c_str());
  if (!told) return 1;
  app->_exit_decided = 0;
  std::u16string reason;
  if (const char16_t *folder = folder_failure_text(error)) reason = std::u16string(folder) + u"\n";
  reason += tresource_get_string(APP_TEXT_STAYS_OPEN,
                                 u"Brivola stays open: make room or save the painting elsewhere, then quit again.");
  paint_file_show_save_failure(app->_file, code, reason.c_str());
  return app->_exit_decided;
}

// Why a folder refused the kept painting, as the user can act on it; null
// for a failure no one can (memory).
const char16_t *folder_failure_text(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return tresource_get_string(APP_TEXT_NO_SPACE, u"No space is left on the disk.");
    case EACCES:
    case EPERM:
    case EROFS:
      return tresource_get_string(APP_TEXT_NOT_WRITABLE, u"The folder cannot be written to.");
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
      return tresource_get_string(APP_TEXT_NO_FOLDER, u"The folder cannot be found.");
    default:
      return nullptr;
  }
}

std::u16string with_one_text(const char16_t *format, const char16_t *argument) {
  if (!takes_one_text(format)) return format;
  std::u16string text(std::char_traits<char16_t>::length(format) + std::char_traits<char16_t>::length(argument) + 16,
                      u'\0');
  twformat(text.data(), text.size(), format, argument);
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  return text;
}

// The format comes from a language file: a conversion other than one %s
// would read an argument that was never passed, so such a text is shown as
// it stands.
bool takes_one_text(const char16_t *format) {
  int texts = 0;
  for (const char16_t *at = format; *at; at++) {
    if (*at != u'%') continue;
    if (at[1] == u'%') {
      at++;
    } else if (at[1] == u's') {
      texts++;
      at++;
    } else {
      return false;
    }
  }
  return texts <= 1;
}

void on_url_opened(int result, void *user_data) {
  (void)user_data;
  if (!result) app_common_show_error(tresource_get_string(APP_TEXT_OPEN_URL_FAILED, u"Fail to open url."));
}

}  // namespace
