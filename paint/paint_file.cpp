// paint_file: native documents, exports and the save flows.
#include "paint_file.h"

#include <cairo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image_job.h"
#include "paint_context.h"
#include "paint_history.h"
#include "port_device.h"
#include "port_fs.h"
#include "port_log.h"
#include "port_utf8.h"
#include "tblit.h"
#include "tfile.h"
#include "tresource.h"
#include "tsavefile.h"
#include "tscale.h"
#include "tstring.h"
#include "twformat.h"
#include "wins_window.h"

constexpr uint32_t HEADER_SIZE = 44;
constexpr uint32_t THUMBNAIL_OFFSET_AT = 36;
constexpr uint32_t STORED_BITMAP_SIZE = 52;
constexpr uint32_t STORED_INFO_SIZE = 44;  // the 40-byte header and 4 zero bytes
constexpr uint32_t BASE_PREFIX = STORED_BITMAP_SIZE + STORED_INFO_SIZE;
constexpr uint32_t RECORD_SIZE = 56;
constexpr uint32_t INFO_HEADER_SIZE = 40;
constexpr uint32_t OPEN_PAUSE_MS = 500;
constexpr int QUANT_BINS = 4096;
constexpr int PALETTE_ENTRIES = 256;
constexpr uint32_t FAR_DISTANCE = 1000000000u;
// The nine characters a file name may not hold, in the order the refusal
// message lists them.
constexpr char16_t FORBIDDEN_CHARS[] = u"/\\:*?\"<>|";

// Texts by id with their English defaults.
enum {
  TEXT_SAVE_FAILED = 25029,
  TEXT_OPEN_FAILED = 25030,
  TEXT_OVERWRITE = 25031,
  TEXT_SAVING = 25032,
  TEXT_SAVED = 25033,
  TEXT_NAME_EMPTY = 25034,
  TEXT_NAME_INVALID = 25035,
  TEXT_LOADING = 25036,
  TEXT_NO_MEMORY = 25037,
  TEXT_DAMAGED = 25038,
  TEXT_HIGHER_VERSION = 25039,
  TEXT_INVALID_FORMAT = 25040,
  TEXT_CANNOT_OPEN = 25041,
  TEXT_ASK_SAVE = 25042,
  TEXT_TOO_LARGE = 25268,
  TEXT_SAVE_AS_TITLE = 25170,
  TEXT_UNTITLED = 25171,
  TEXT_FIRST_TYPE = 25186,
};

struct save_type {
  const char16_t *name;
  const char16_t *extension;
  int quality;
};

// A document read into memory, not yet handed to the painting.
struct document {
  int32_t width, height;
  tcolor color;
  int32_t count, position;
  tbitmap *base;
  paint_history_record **records;
  int32_t read, capacity;
  int records_code;  // 1 all records read; else why reading stopped (0: memory, no message)
};

// The writer's stream with its first failure.
struct writer {
  FILE *file;
  int ok;
  int error;  // errno of the first call that failed; 0 when none said
};

static int open_document(paint_file *file, const char16_t *path, bool kept);
static FILE *open_plain(const char16_t *path);
static int write_document(paint_file *file, const char16_t *path, bool kept, int *error);
static void write_bytes(writer *w, const void *bytes, size_t count);
static void put_f64(uint8_t *at, double value);
static double get_f64(const uint8_t *at);
static void store_bitmap(uint8_t *at, const tbitmap *bitmap);
static void store_info(uint8_t *at, const tbitmap *bitmap);
static int write_base(writer *w, const tbitmap *base);
static void store_record(uint8_t *at, const paint_history_record *record);
static int write_thumbnail(writer *w, const tbitmap *canvas);
static int read_document(FILE *file, uint64_t file_size, document *doc);
static int read_base(FILE *file, uint32_t size, document *doc);
static void read_records(FILE *file, uint64_t remaining, document *doc);
static int keep_record(document *doc, paint_history_record *record);
static void free_document(document *doc);
static int apply_document(paint_file *file, const char16_t *path, document *doc);
static uint64_t stride_of(int64_t width, int bpp);
static bool never_fits(uint64_t pixel_bytes);
static tbitmap *read_thumbnail_block(FILE *file, uint64_t file_size, int32_t max_width, int32_t max_height);
static const char16_t *text(int id, const char16_t *english);
static char16_t *format_text(const char16_t *format, ...);
static char16_t *copy_text(const char16_t *source);
static int replace_text(char16_t **field, const char16_t *value);
static int same_text_ignoring_case(const char16_t *a, const char16_t *b);
static void name_from_path(char16_t *name, const char16_t *path);
static char16_t *folder_of(const char16_t *path);
static char16_t *build_save_path(const paint_file *file);
static tbitmap *flushed_canvas(paint_file *file);
static int finish_export(paint_file *file, int code, const char16_t *path);
static void show_save_failure(paint_file *file, int code);
static void show_open_failure(paint_file *file, int code);
static int save_image(paint_file *file, const char16_t *path, const char16_t *format_name, int quality);
static void on_image_saved(image_save_job *job, int result, void *user);
static int failure_of_format(int format);
static void show_wait_note(paint_file *file, int id, const char16_t *english);
static void close_wait_note(paint_file *file);
static void show_note(paint_file *file, const char16_t *message);
static void show_message(paint_file *file, const char16_t *message);

static const save_type SAVE_TYPES[PAINT_FILE_TYPE_COUNT] = {
    {u"Brivola Format(*.bvf)", u"bvf", 0},          {u"BMP - true color(*.bmp)", u"bmp", 0},
    {u"BMP - 256 colors(*.bmp)", u"bmp", 0},        {u"BMP - gray color(*.bmp)", u"bmp", 0},
    {u"JPEG - low quality(*.jpg)", u"jpg", 40},     {u"JPEG - medium quality(*.jpg)", u"jpg", 75},
    {u"JPEG - high quality(*.jpg)", u"jpg", 100},   {u"GIF file(*.gif)", u"gif", 100},
    {u"PNG file(*.png)", u"png", 100},
};

paint_file *paint_file_new(paint_context *context, paint_history *history, char16_t *last_dir,
                           const paint_file_ui *ui) {
  PORT_CHECK(context != nullptr && history != nullptr);
  paint_file *file = static_cast<paint_file *>(std::calloc(1, sizeof(paint_file)));
  if (!file) return nullptr;
  file->_context = context;
  file->_history = history;
  file->_last_dir = last_dir;
  if (ui) file->_ui = *ui;
  file->_path = copy_text(u"");
  file->_target_path = copy_text(u"");
  file->_save_job = image_job_save_new(file);
  if (!file->_path || !file->_target_path || !file->_save_job) {
    paint_file_free(file);
    return nullptr;
  }
  if (last_dir) port_utf8_copy_cut_wide(file->_save_dir, PAINT_FILE_DIR_CHARS, last_dir);
  for (int i = 0; i < PAINT_FILE_TYPE_COUNT; i++) file->_type_names[i] = text(TEXT_FIRST_TYPE + i, SAVE_TYPES[i].name);
  file->_type_count = PAINT_FILE_TYPE_COUNT;
  return file;
}

void paint_file_free(paint_file *file) {
  PORT_CHECK(file != nullptr);
  if (file->_last_dir) port_utf8_copy_cut_wide(file->_last_dir, PAINT_FILE_DIR_CHARS, file->_save_dir);
  image_job_save_free(file->_save_job);
  std::free(file->_path);
  std::free(file->_target_path);
  std::free(file);
}

void paint_file_set_name(paint_file *file, const char16_t *name) {
  PORT_CHECK(file != nullptr);
  port_utf8_copy_cut_wide(file->_name, PAINT_FILE_NAME_CHARS, name ? name : u"");
}

const char16_t *paint_file_get_name(const paint_file *file) {
  PORT_CHECK(file != nullptr);
  return file->_name;
}

int paint_file_set_path(paint_file *file, const char16_t *path) {
  PORT_CHECK(file != nullptr);
  return replace_text(&file->_path, path ? path : u"");
}

void paint_file_set_open_after_save(paint_file *file) {
  PORT_CHECK(file != nullptr);
  file->_open_after_save = 1;
}

void paint_file_clear_open_after_save(paint_file *file) {
  PORT_CHECK(file != nullptr);
  file->_open_after_save = 0;
}

int paint_file_open(paint_file *file, const char16_t *path) {
  PORT_CHECK(file != nullptr);
  int code = open_document(file, path, false);
  if (code < 0) show_open_failure(file, code);
  return code == 1;
}

int paint_file_open_quietly(paint_file *file, const char16_t *path) {
  PORT_CHECK(file != nullptr);
  return open_document(file, path, true);
}

void paint_file_show_open_failure(paint_file *file, int code) {
  PORT_CHECK(file != nullptr);
  if (code < 0) show_open_failure(file, code);
}

int paint_file_save_to(paint_file *file, const char16_t *path) {
  PORT_CHECK(file != nullptr);
  int code = write_document(file, path, false, nullptr);
  if (code != 1) show_save_failure(file, code);
  return code == 1;
}

int paint_file_write_silently(paint_file *file, const char16_t *path, int *error) {
  PORT_CHECK(file != nullptr);
  int why = 0;
  int code = write_document(file, path, true, &why);
  if (error) *error = code == 1 ? 0 : why;
  return code;
}

void paint_file_show_save_failure(paint_file *file, int code, const char16_t *reason) {
  PORT_CHECK(file != nullptr);
  if (code == 1) return;
  if (!reason || !*reason) {
    show_save_failure(file, code);
    return;
  }
  char16_t *failure = format_text(text(TEXT_SAVE_FAILED, u"Fail to save file (code: %d)."), code);
  char16_t *message = failure ? format_text(u"%s\n%s", failure, reason) : nullptr;
  if (message) show_message(file, message);
  std::free(message);
  std::free(failure);
}

tbitmap *paint_file_read_thumbnail(const char16_t *path) { return paint_file_read_thumbnail_fitted(path, 0, 0); }

tbitmap *paint_file_read_thumbnail_fitted(const char16_t *path, int32_t max_width, int32_t max_height) {
  if (!path) return nullptr;
  FILE *file = port_fs_open(path, "rb");
  if (!file) return nullptr;
  tbitmap *bitmap = nullptr;
  struct stat st;
  if (fstat(fileno(file), &st) == 0) bitmap = read_thumbnail_block(file, uint64_t(st.st_size), max_width, max_height);
  std::fclose(file);
  return bitmap;
}

int paint_file_save_current(paint_file *file) {
  PORT_CHECK(file != nullptr);
  file->_save_type = PAINT_FILE_TYPE_NATIVE;
  if (!file->_path[0]) return paint_file_save_as(file);
  if (!replace_text(&file->_target_path, file->_path)) return file->_last_result = PAINT_FILE_ERR_MEMORY;
  show_wait_note(file, TEXT_SAVING, u"Saving file...");
  int code = write_document(file, file->_path, false, nullptr);
  if (code == 1) {
    show_note(file, text(TEXT_SAVED, u"Saved Ok"));
    if (file->_ui.add_save_dir) {
      char16_t *folder = folder_of(file->_path);
      if (folder) file->_ui.add_save_dir(file->_ui.user, folder);
      std::free(folder);
    }
  } else {
    close_wait_note(file);
    show_save_failure(file, code);
  }
  return file->_last_result = code;
}

int paint_file_save_as(paint_file *file) {
  PORT_CHECK(file != nullptr);
  file->_last_result = 0;
  if (!file->_ui.show_save_dialog) return 0;
  const char16_t *shown = file->_name[0] ? file->_name : text(TEXT_UNTITLED, u"Untitled");
  char16_t *title = format_text(text(TEXT_SAVE_AS_TITLE, u"Save %s As"), shown);
  paint_file_save_dialog dialog = {file,
                                   title ? title : shown,
                                   file->_name,
                                   PAINT_FILE_NAME_CHARS,
                                   file->_save_dir,
                                   PAINT_FILE_DIR_CHARS,
                                   file->_type_names,
                                   file->_type_count,
                                   &file->_save_type};
  int shown_dialog = file->_ui.show_save_dialog(file->_ui.user, &dialog);
  std::free(title);
  if (shown_dialog) wins_window_run_wait();
  return file->_last_result;
}

int paint_file_ask_save_changes(paint_file *file) {
  PORT_CHECK(file != nullptr);
  if (!paint_history_is_modified(file->_history) || !file->_ui.ask) return 1;
  if (!file->_ui.ask(file->_ui.user, text(TEXT_ASK_SAVE, u"Save paint changes to file?"))) return 1;
  return paint_file_save_current(file) == 1;
}

int paint_file_check_name(paint_file *file, int result) {
  PORT_CHECK(file != nullptr);
  if (result != 1) return 1;
  if (!file->_name[0]) {
    show_message(file, text(TEXT_NAME_EMPTY, u"File name can not be empty."));
    return 0;
  }
  for (const char16_t *c = file->_name; *c; c++)
    if (std::char_traits<char16_t>::find(FORBIDDEN_CHARS, sizeof FORBIDDEN_CHARS / 2 - 1, *c)) {
      char16_t *message = format_text(text(TEXT_NAME_INVALID, u"File name contains invalid char such as %s"),
                                      FORBIDDEN_CHARS);
      if (message) show_message(file, message);
      std::free(message);
      return 0;
    }
  return 1;
}

void paint_file_on_save_as_result(paint_file *file, int result) {
  PORT_CHECK(file != nullptr);
  if (result != 1) {
    wins_window_end_wait();
    return;
  }
  int32_t type = std::clamp(file->_save_type, 0, PAINT_FILE_TYPE_COUNT - 1);
  file->_save_type = type;
  char16_t *path = build_save_path(file);
  if (!path || !replace_text(&file->_target_path, path)) {
    std::free(path);
    show_save_failure(file, PAINT_FILE_ERR_MEMORY);
    file->_last_result = PAINT_FILE_ERR_MEMORY;
    wins_window_end_wait();
    return;
  }
  if (port_fs_exists(path)) {
    char16_t *question = format_text(text(TEXT_OVERWRITE, u"File '%s' exists, do you want to overwrite it?"), path);
    int overwrite = question && file->_ui.ask && file->_ui.ask(file->_ui.user, question);
    std::free(question);
    if (!overwrite) {
      std::free(path);
      paint_file_save_as(file);
      wins_window_end_wait();
      return;
    }
  }
  port_fs_make_dir(file->_save_dir);
  show_wait_note(file, TEXT_SAVING, u"Saving file...");
  int code;
  switch (type) {
    case PAINT_FILE_TYPE_NATIVE:
      code = paint_file_set_path(file, path) ? paint_file_save_current(file) : PAINT_FILE_ERR_MEMORY;
      close_wait_note(file);
      break;
    case PAINT_FILE_TYPE_BMP24:
      code = paint_file_save_bmp24(file, path);
      close_wait_note(file);
      break;
    case PAINT_FILE_TYPE_BMP256:
      code = paint_file_save_bmp256(file, path);
      close_wait_note(file);
      break;
    case PAINT_FILE_TYPE_BMP_GREY:
      code = paint_file_save_bmp_grey(file, path);
      close_wait_note(file);
      break;
    case PAINT_FILE_TYPE_GIF: code = paint_file_save_gif(file, path); break;
    case PAINT_FILE_TYPE_PNG: code = paint_file_save_png(file, path); break;
    default: code = paint_file_save_jpeg(file, path, SAVE_TYPES[type].quality); break;
  }
  std::free(path);
  file->_last_result = code;
  wins_window_end_wait();
}

int paint_file_save_bmp24(paint_file *file, const char16_t *path) {
  PORT_CHECK(file != nullptr);
  tbitmap *canvas = flushed_canvas(file);
  if (!canvas) return finish_export(file, PAINT_FILE_ERR_MEMORY, path);
  int32_t width = tbitmap_get_width(canvas), height = tbitmap_get_height(canvas);
  tbitmap *out = tbitmap_new(width, height, 24);
  if (!out) return finish_export(file, PAINT_FILE_ERR_MEMORY, path);
  tpoint at = {0, 0};
  trect all = {0, 0, width - 1, height - 1};
  tbitmap_blit_keyed(out, &at, canvas, &all, TBLIT_NO_KEY, 255);
  int code = tbitmap_save_bmp(out, path) ? 1 : PAINT_FILE_ERR_BMP;
  tbitmap_free(out);
  return finish_export(file, code, path);
}

int paint_file_save_bmp256(paint_file *file, const char16_t *path) {
  PORT_CHECK(file != nullptr);
  tbitmap *canvas = flushed_canvas(file);
  if (!canvas) return finish_export(file, PAINT_FILE_ERR_MEMORY, path);
  tbitmap *out = tbitmap_new(tbitmap_get_width(canvas), tbitmap_get_height(canvas), 8);
  if (!out) return finish_export(file, PAINT_FILE_ERR_MEMORY, path);
  int code = PAINT_FILE_ERR_MEMORY;
  if (paint_file_quantize_256(canvas, tbitmap_get_palette(out), out->_pixels, tbitmap_get_stride(out)))
    code = tbitmap_save_bmp(out, path) ? 1 : PAINT_FILE_ERR_BMP;
  tbitmap_free(out);
  return finish_export(file, code, path);
}

int paint_file_save_bmp_grey(paint_file *file, const char16_t *path) {
  PORT_CHECK(file != nullptr);
  tbitmap *canvas = flushed_canvas(file);
  if (!canvas) return finish_export(file, PAINT_FILE_ERR_MEMORY, path);
  int32_t width = tbitmap_get_width(canvas), height = tbitmap_get_height(canvas);
  tbitmap *out = tbitmap_new(width, height, 8);  // the grey ramp palette
  if (!out) return finish_export(file, PAINT_FILE_ERR_MEMORY, path);
  for (int32_t y = 0; y < height; y++) {
    uint8_t *row = tbitmap_get_row(out, y);
    for (int32_t x = 0; x < width; x++) {
      tcolor c = {};
      tbitmap_get_pixel_color(canvas, x, y, &c);
      row[x] = uint8_t((151 * c.green + 77 * c.red + 28 * c.blue) >> 8);
    }
  }
  int code = tbitmap_save_bmp(out, path) ? 1 : PAINT_FILE_ERR_BMP;
  tbitmap_free(out);
  return finish_export(file, code, path);
}

int paint_file_save_jpeg(paint_file *file, const char16_t *path, int quality) {
  PORT_CHECK(file != nullptr);
  return save_image(file, path, u"JPEG", quality);
}

int paint_file_save_png(paint_file *file, const char16_t *path) {
  PORT_CHECK(file != nullptr);
  return save_image(file, path, u"PNG", 100);
}

int paint_file_save_gif(paint_file *file, const char16_t *path) {
  PORT_CHECK(file != nullptr);
  return save_image(file, path, u"GIF", 100);
}

int paint_file_quantize_256(const tbitmap *source, uint8_t *palette, uint8_t *pixels, uint32_t stride) {
  PORT_CHECK(source != nullptr && palette != nullptr && pixels != nullptr);
  uint32_t *counts = static_cast<uint32_t *>(std::calloc(QUANT_BINS, sizeof(uint32_t)));
  uint16_t *bins = static_cast<uint16_t *>(std::calloc(QUANT_BINS, sizeof(uint16_t)));
  uint8_t *index_of_bin = static_cast<uint8_t *>(std::calloc(QUANT_BINS, 1));
  if (!counts || !bins || !index_of_bin) {
    std::free(counts);
    std::free(bins);
    std::free(index_of_bin);
    return 0;
  }
  int32_t width = tbitmap_get_width(source), height = tbitmap_get_height(source);
  auto bin_of = [](const tcolor &c) { return (c.blue >> 4) << 8 | (c.green >> 4) << 4 | (c.red >> 4); };
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      tcolor c = {};
      tbitmap_get_pixel_color(source, x, y, &c);
      counts[bin_of(c)]++;
    }

  // The used bins in bin order, then an exchange sort by count, largest
  // first; equal counts keep their order.
  int n = 0;
  for (int bin = 0; bin < QUANT_BINS; bin++)
    if (counts[bin]) {
      counts[n] = counts[bin];
      bins[n] = uint16_t(bin);
      n++;
    }
  for (int i = 0; i + 1 < n; i++)
    for (int j = i + 1; j < n; j++)
      if (counts[j] > counts[i]) {
        std::swap(counts[i], counts[j]);
        std::swap(bins[i], bins[j]);
      }

  auto blue_of = [](int bin) { return (bin >> 4) & 0xF0; };
  auto green_of = [](int bin) { return bin & 0xF0; };
  auto red_of = [](int bin) { return (bin & 0x0F) << 4; };
  std::memset(palette, 0, 4 * PALETTE_ENTRIES);
  for (int i = 0; i < std::min(n, PALETTE_ENTRIES); i++) {
    palette[4 * i] = uint8_t(blue_of(bins[i]));
    palette[4 * i + 1] = uint8_t(green_of(bins[i]));
    palette[4 * i + 2] = uint8_t(red_of(bins[i]));
    index_of_bin[bins[i]] = uint8_t(i);
  }
  for (int k = PALETTE_ENTRIES; k < n; k++) {
    uint32_t best = FAR_DISTANCE;
    int chosen = 0;
    for (int i = 0; i < PALETTE_ENTRIES; i++) {
      int db = blue_of(bins[k]) - blue_of(bins[i]), dg = green_of(bins[k]) - green_of(bins[i]);
      int dr = red_of(bins[k]) - red_of(bins[i]);
      uint32_t distance = uint32_t(db * db + dg * dg + dr * dr);
      if (distance < best) {
        best = distance;
        chosen = i;
      }
    }
    index_of_bin[bins[k]] = uint8_t(chosen);
  }

  for (int32_t row = 0; row < height; row++) {
    uint8_t *out = pixels + uint64_t(row) * stride;
    int32_t y = height - 1 - row;
    for (int32_t x = 0; x < width; x++) {
      tcolor c = {};
      tbitmap_get_pixel_color(source, x, y, &c);
      out[x] = index_of_bin[bin_of(c)];
    }
  }
  std::free(counts);
  std::free(bins);
  std::free(index_of_bin);
  return 1;
}

// Reading, as a whole: the wait note, the document read and checked, then
// handed to the painting. kept: the program's own file, which is only ever
// a plain file at path.
static int open_document(paint_file *file, const char16_t *path, bool kept) {
  show_wait_note(file, TEXT_LOADING, u"Loading paint...");
  wins_window_sleep(OPEN_PAUSE_MS);
  FILE *stream = !path ? nullptr : kept ? open_plain(path) : port_fs_open(path, "rb");
  int code = PAINT_FILE_ERR_OPEN;
  document doc = {};
  if (stream) {
    struct stat st;
    code = fstat(fileno(stream), &st) == 0 ? read_document(stream, uint64_t(st.st_size), &doc) : PAINT_FILE_ERR_WRITE;
    std::fclose(stream);
  }
  if (code == 1) code = apply_document(file, path, &doc);
  free_document(&doc);
  close_wait_note(file);
  return code;
}

// A plain file, not reached through a link, opened so that a pipe put in its
// place cannot hold the reader; null for anything else.
static FILE *open_plain(const char16_t *path) {
  std::string native = port_fs_native_path(path);
  int fd = native.empty() ? -1 : open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  FILE *stream = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "rb") : nullptr;
  if (!stream) close(fd);
  return stream;
}

// Writing: the header with a zero thumbnail offset, the base block, the
// records, the thumbnail, then the offset patched in. Gives 1 or the code.
// kept: the program's own file, written in place of whatever is at path (a
// link is replaced, never written through). error (may be null) gets the
// errno of the call that failed, 0 for a failure no call reported (memory).
static int write_document(paint_file *file, const char16_t *path, bool kept, int *error) {
  paint_context *pc = file->_context;
  paint_history *history = file->_history;
  int ignored = 0;
  if (!error) error = &ignored;
  *error = 0;
  tsavefile save;
  errno = 0;
  writer w = {kept ? tsavefile_open_in_place(&save, path) : tsavefile_open(&save, path), 1, 0};
  if (!w.file) {
    *error = errno;
    return PAINT_FILE_ERR_OPEN;
  }
  int32_t count = paint_history_get_count(history);
  for (int32_t i = 0; i < count; i++)
    if (!paint_history_get_record(history, i)) {
      tsavefile_abort(&save);
      return PAINT_FILE_ERR_RECORD;
    }

  uint8_t header[HEADER_SIZE];
  tcolor color = {};
  paint_context_get_new_color(pc, &color);
  tfile_put_u32(header, PAINT_FILE_MAGIC);
  tfile_put_u32(header + 4, PAINT_FILE_VERSION);
  tfile_put_u32(header + 8, uint32_t(paint_context_get_picture_width(pc)));
  tfile_put_u32(header + 12, uint32_t(paint_context_get_picture_height(pc)));
  header[16] = color.blue, header[17] = color.green, header[18] = color.red, header[19] = color.alpha;
  put_f64(header + 20, paint_context_get_zoom(pc));
  tfile_put_u32(header + 28, uint32_t(count));
  tfile_put_u32(header + 32, uint32_t(paint_history_get_position(history)));
  tfile_put_u32(header + THUMBNAIL_OFFSET_AT, 0);
  write_bytes(&w, header, HEADER_SIZE - 4);

  int code = write_base(&w, paint_context_get_base_picture(pc));
  for (int32_t i = 0; code == 1 && i < count; i++) {
    const paint_history_record *record = paint_history_get_record(history, i);
    uint8_t stored[RECORD_SIZE];
    store_record(stored, record);
    write_bytes(&w, stored, RECORD_SIZE);
    if (record->_size > 0 && record->_payload) write_bytes(&w, record->_payload, size_t(record->_size));
  }
  long thumbnail_offset = std::ftell(w.file);
  if (code == 1 && (thumbnail_offset <= 0 || uint64_t(thumbnail_offset) > 0xFFFFFFFFu)) code = PAINT_FILE_ERR_WRITE;
  if (code == 1) code = write_thumbnail(&w, paint_context_get_canvas(pc));
  if (code == 1) {
    uint8_t offset[4];
    tfile_put_u32(offset, uint32_t(thumbnail_offset));
    if (std::fseek(w.file, THUMBNAIL_OFFSET_AT, SEEK_SET) != 0) w.ok = 0, w.error = errno;
    write_bytes(&w, offset, 4);
  }
  if (code == 1 && !w.ok) code = PAINT_FILE_ERR_WRITE;
  if (code != 1) {
    *error = w.error;
    tsavefile_abort(&save);
    return code;
  }
  errno = 0;
  if (!tsavefile_commit(&save, 0)) {
    *error = errno;
    return PAINT_FILE_ERR_WRITE;
  }
  paint_history_set_modified(history, 0);
  file->_open_after_save = 0;
  return 1;
}

static void write_bytes(writer *w, const void *bytes, size_t count) {
  if (w->ok && std::fwrite(bytes, 1, count, w->file) != count) w->ok = 0, w->error = errno;
}

static void put_f64(uint8_t *at, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 8; i++) at[i] = uint8_t(bits >> (8 * i));
}

static double get_f64(const uint8_t *at) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; i++) bits |= uint64_t(at[i]) << (8 * i);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The 52-byte bitmap record; the two pointer words are written as 0.
static void store_bitmap(uint8_t *at, const tbitmap *bitmap) {
  const uint32_t words[13] = {0,
                              0,
                              bitmap->_stride,
                              bitmap->_red_mask,
                              bitmap->_green_mask,
                              bitmap->_blue_mask,
                              bitmap->_red_shift,
                              bitmap->_green_shift,
                              bitmap->_blue_shift,
                              bitmap->_red_loss,
                              bitmap->_green_loss,
                              bitmap->_blue_loss,
                              0};
  for (int i = 0; i < 13; i++) tfile_put_u32(at + 4 * i, words[i]);
}

// The 40-byte info header of a bitmap of 9 bpp or more, and 4 zero bytes.
static void store_info(uint8_t *at, const tbitmap *bitmap) {
  const uint8_t *info = bitmap->_info;
  std::memset(at, 0, STORED_INFO_SIZE);
  tfile_put_u32(at, INFO_HEADER_SIZE);
  tfile_put_u32(at + TBITMAP_INFO_WIDTH, tfile_get_u32(info + TBITMAP_INFO_WIDTH));
  tfile_put_u32(at + TBITMAP_INFO_HEIGHT, tfile_get_u32(info + TBITMAP_INFO_HEIGHT));
  tfile_put_u16(at + TBITMAP_INFO_PLANES, 1);
  tfile_put_u16(at + TBITMAP_INFO_BPP, uint32_t(tbitmap_get_bpp(bitmap)));
  tfile_put_u32(at + TBITMAP_INFO_COMPRESSION, uint32_t(tbitmap_get_compression(bitmap)));
  tfile_put_u32(at + TBITMAP_INFO_IMAGE_SIZE, tbitmap_get_image_size(bitmap));
}

static int write_base(writer *w, const tbitmap *base) {
  uint8_t size_word[4];
  if (!base) {
    tfile_put_u32(size_word, 0);
    write_bytes(w, size_word, 4);
    return 1;
  }
  uLong n = uLong(base->_stride) * uLong(tbitmap_get_height(base));
  uLong length = compressBound(n);
  Bytef *compressed = static_cast<Bytef *>(std::malloc(length ? length : 1));
  if (!compressed) return PAINT_FILE_ERR_MEMORY;
  if (compress(compressed, &length, base->_pixels, n) != Z_OK || uint64_t(length) + BASE_PREFIX > 0xFFFFFFFFu) {
    std::free(compressed);
    return PAINT_FILE_ERR_MEMORY;
  }
  uint8_t prefix[4 + BASE_PREFIX];
  tfile_put_u32(prefix, uint32_t(length + BASE_PREFIX));
  store_bitmap(prefix + 4, base);
  store_info(prefix + 4 + STORED_BITMAP_SIZE, base);
  write_bytes(w, prefix, sizeof prefix);
  write_bytes(w, compressed, length);
  std::free(compressed);
  return 1;
}

static void store_record(uint8_t *at, const paint_history_record *record) {
  std::memset(at, 0, RECORD_SIZE);
  tfile_put_u32(at, uint32_t(record->_view_x));
  tfile_put_u32(at + 4, uint32_t(record->_view_y));
  at[8] = record->_fore_color.blue, at[9] = record->_fore_color.green;
  at[10] = record->_fore_color.red, at[11] = record->_fore_color.alpha;
  at[12] = record->_back_color.blue, at[13] = record->_back_color.green;
  at[14] = record->_back_color.red, at[15] = record->_back_color.alpha;
  at[16] = record->_pen_size;
  at[17] = record->_rubber_size;
  tfile_put_u32(at + 20, uint32_t(record->_pen_style));
  put_f64(at + 32, record->_zoom);
  tfile_put_u32(at + 40, uint32_t(record->_operation));
  tfile_put_u32(at + 44, uint32_t(record->_payload ? std::max(record->_size, 0) : 0));
}

static int write_thumbnail(writer *w, const tbitmap *canvas) {
  if (!canvas) return PAINT_FILE_ERR_THUMBNAIL;
  tbitmap *thumbnail = tscale_new_scaled(canvas, PAINT_FILE_THUMBNAIL_SIDE, PAINT_FILE_THUMBNAIL_SIDE, 1);
  if (!thumbnail) return PAINT_FILE_ERR_THUMBNAIL;
  uint64_t pixel_bytes = uint64_t(thumbnail->_stride) * uint64_t(tbitmap_get_height(thumbnail));
  uint64_t total = STORED_BITMAP_SIZE + STORED_INFO_SIZE + pixel_bytes;
  uint8_t *block = static_cast<uint8_t *>(std::calloc(1, size_t(4 + total)));
  if (!block) {
    tbitmap_free(thumbnail);
    return PAINT_FILE_ERR_THUMBNAIL;
  }
  tfile_put_u32(block, uint32_t(total));
  store_bitmap(block + 4, thumbnail);
  store_info(block + 4 + STORED_BITMAP_SIZE, thumbnail);
  std::memcpy(block + 4 + BASE_PREFIX, thumbnail->_pixels, size_t(pixel_bytes));
  write_bytes(w, block, size_t(4 + total));
  std::free(block);
  tbitmap_free(thumbnail);
  return 1;
}

// Reading, step one: everything into memory, checked; nothing of the
// painting is touched. 1 when the header and the base picture are sound
// (the records may still stop early: doc->records_code), else the code.
static int read_document(FILE *file, uint64_t file_size, document *doc) {
  uint8_t header[HEADER_SIZE];
  if (file_size < 8 || std::fread(header, 1, 8, file) != 8) return PAINT_FILE_ERR_RECORD;
  if (tfile_get_u32(header) != PAINT_FILE_MAGIC) return PAINT_FILE_ERR_RECORD;
  if (tfile_get_u32(header + 4) > PAINT_FILE_VERSION) return PAINT_FILE_ERR_THUMBNAIL;
  if (std::fread(header + 8, 1, HEADER_SIZE - 8, file) != HEADER_SIZE - 8) return PAINT_FILE_ERR_WRITE;
  doc->width = int32_t(tfile_get_u32(header + 8));
  doc->height = int32_t(tfile_get_u32(header + 12));
  doc->color = {header[16], header[17], header[18], header[19]};
  doc->count = int32_t(tfile_get_u32(header + 28));
  doc->position = int32_t(tfile_get_u32(header + 32));
  uint32_t thumbnail_offset = tfile_get_u32(header + THUMBNAIL_OFFSET_AT);
  uint32_t base_size = tfile_get_u32(header + 40);
  if (doc->width < 1 || doc->height < 1 || doc->width > TBITMAP_MAX_SIDE || doc->height > TBITMAP_MAX_SIDE ||
      int32_t(thumbnail_offset) < 1 || doc->count < 0)
    return PAINT_FILE_ERR_WRITE;
  if (base_size == 0 && !paint_history_canvas_fits(doc->width, doc->height, 0)) return PAINT_FILE_ERR_TOO_LARGE;
  if (base_size > 0) {
    if (base_size < BASE_PREFIX || base_size > file_size - HEADER_SIZE) return PAINT_FILE_ERR_WRITE;
    int code = read_base(file, base_size, doc);
    if (code != 1) return code;
  }
  read_records(file, file_size - HEADER_SIZE - base_size, doc);
  return doc->records_code == PAINT_FILE_ERR_TOO_LARGE ? PAINT_FILE_ERR_TOO_LARGE : 1;
}

static int read_base(FILE *file, uint32_t size, document *doc) {
  uint8_t prefix[BASE_PREFIX];
  if (std::fread(prefix, 1, BASE_PREFIX, file) != BASE_PREFIX) return PAINT_FILE_ERR_WRITE;
  const uint8_t *info = prefix + STORED_BITMAP_SIZE;
  uint32_t stride = tfile_get_u32(prefix + 8);
  int32_t width = int32_t(tfile_get_u32(info + TBITMAP_INFO_WIDTH));
  int32_t height = int32_t(tfile_get_u32(info + TBITMAP_INFO_HEIGHT));
  // A base picture is 32-bit RGB rows as the writer makes them; the stored
  // masks are not trusted, the depth gives them.
  if (tfile_get_u32(info) != INFO_HEADER_SIZE || tfile_get_u16(info + TBITMAP_INFO_BPP) != 32 ||
      tfile_get_u32(info + TBITMAP_INFO_COMPRESSION) != 0 || width < 1 || width > TBITMAP_MAX_SIDE || height == 0 ||
      height < -TBITMAP_MAX_SIDE || height > TBITMAP_MAX_SIDE || stride != stride_of(width, 32))
    return PAINT_FILE_ERR_WRITE;
  if (never_fits(uint64_t(stride) * uint64_t(height < 0 ? -int64_t(height) : int64_t(height))))
    return PAINT_FILE_ERR_TOO_LARGE;
  tbitmap *base = static_cast<tbitmap *>(std::calloc(1, sizeof(tbitmap)));
  if (!base) return PAINT_FILE_ERR_ALLOCATION;
  doc->base = base;
  if (!tbitmap_init_info(base, width, height, 32)) return PAINT_FILE_ERR_ALLOCATION;
  uLong expected = uLong(stride) * uLong(tbitmap_get_height(base));
  base->_pixels = tbitmap_alloc_pixels(expected);
  uLong length = size - BASE_PREFIX;
  Bytef *compressed = static_cast<Bytef *>(std::malloc(length ? length : 1));
  if (!base->_pixels || !compressed) {
    std::free(compressed);
    return PAINT_FILE_ERR_ALLOCATION;
  }
  if (std::fread(compressed, 1, length, file) != length) {
    std::free(compressed);
    return PAINT_FILE_ERR_WRITE;
  }
  uLong produced = expected;
  int z = uncompress(base->_pixels, &produced, compressed, length);
  std::free(compressed);
  if (z != Z_OK) return z == Z_MEM_ERROR ? PAINT_FILE_ERR_ALLOCATION : PAINT_FILE_ERR_MEMORY;
  return produced == expected ? 1 : PAINT_FILE_ERR_WRITE;
}

// Records until the count, the end of the file or a record that lies; the
// ones before stay. A payload size of 0 or less is a record without payload,
// and a zoom that is no positive number is kept as it is: replay skips such
// a record like any other it cannot use.
static void read_records(FILE *file, uint64_t remaining, document *doc) {
  doc->records_code = 1;
  for (int32_t i = 0; i < doc->count; i++) {
    uint8_t stored[RECORD_SIZE];
    if (remaining < RECORD_SIZE || std::fread(stored, 1, RECORD_SIZE, file) != RECORD_SIZE) {
      doc->records_code = PAINT_FILE_ERR_WRITE;
      return;
    }
    remaining -= RECORD_SIZE;
    int32_t size = std::max(int32_t(tfile_get_u32(stored + 44)), 0);
    if (uint64_t(size) > remaining) {
      doc->records_code = PAINT_FILE_ERR_WRITE;
      return;
    }
    paint_history_record *record = paint_history_record_new(int32_t(tfile_get_u32(stored + 40)), nullptr, 0);
    uint8_t *payload = size > 0 ? static_cast<uint8_t *>(std::malloc(size_t(size))) : nullptr;
    if (!record || (size > 0 && !payload)) {
      if (record) paint_history_record_free(record);
      std::free(payload);
      doc->records_code = 0;
      return;
    }
    record->_view_x = int32_t(tfile_get_u32(stored));
    record->_view_y = int32_t(tfile_get_u32(stored + 4));
    record->_fore_color = {stored[8], stored[9], stored[10], stored[11]};
    record->_back_color = {stored[12], stored[13], stored[14], stored[15]};
    record->_pen_size = stored[16];
    record->_rubber_size = stored[17];
    record->_pen_style = int32_t(tfile_get_u32(stored + 20));
    record->_zoom = get_f64(stored + 32);
    record->_payload = payload;
    record->_size = size;
    if (size > 0 && std::fread(payload, 1, size_t(size), file) != size_t(size)) {
      paint_history_record_free(record);
      doc->records_code = PAINT_FILE_ERR_WRITE;
      return;
    }
    remaining -= uint64_t(size);
    // A crop asking for a canvas beyond the bound refuses the document as a
    // header asking for it does.
    int64_t base_pixels = doc->base ? int64_t(tbitmap_get_width(doc->base)) * tbitmap_get_height(doc->base) : 0;
    if (!paint_history_record_fits(record, base_pixels)) {
      paint_history_record_free(record);
      doc->records_code = PAINT_FILE_ERR_TOO_LARGE;
      return;
    }
    if (!keep_record(doc, record)) {
      paint_history_record_free(record);
      doc->records_code = 0;
      return;
    }
  }
}

static int keep_record(document *doc, paint_history_record *record) {
  if (doc->read == doc->capacity) {
    int32_t capacity = doc->capacity ? doc->capacity * 2 : 64;
    void *grown = std::realloc(doc->records, sizeof(paint_history_record *) * size_t(capacity));
    if (!grown) return 0;
    doc->records = static_cast<paint_history_record **>(grown);
    doc->capacity = capacity;
  }
  doc->records[doc->read++] = record;
  return 1;
}

static void free_document(document *doc) {
  if (doc->base) tbitmap_free(doc->base);
  for (int32_t i = 0; i < doc->read; i++)
    if (doc->records[i]) paint_history_record_free(doc->records[i]);
  std::free(doc->records);
  std::memset(doc, 0, sizeof *doc);
}

// Reading, step two: the document replaces the painting and its history.
// The records move to the history (doc keeps none afterwards).
static int apply_document(paint_file *file, const char16_t *path, document *doc) {
  paint_context *pc = file->_context;
  paint_history *history = file->_history;
  int loaded = doc->base ? paint_context_load_picture(pc, doc->base)
                         : paint_context_load_blank(pc, doc->width, doc->height, doc->color);
  if (!loaded) return PAINT_FILE_ERR_ALLOCATION;
  paint_history_reset(history);
  name_from_path(file->_name, path);
  if (!paint_file_set_path(file, path)) file->_path[0] = 0;
  int code = doc->records_code;
  for (int32_t i = 0; i < doc->read; i++) {
    if (!paint_history_append_record(history, doc->records[i])) {
      if (code == 1) code = 0;
      break;
    }
    doc->records[i] = nullptr;
  }
  paint_history_set_position(history, doc->position);
  paint_history_set_modified(history, 0);
  // What was read is not the file: Save must never write it over the file.
  if (code != 1 && file->_path) file->_path[0] = 0;
  return code;
}

static uint64_t stride_of(int64_t width, int bpp) { return uint64_t((bpp * width + 31) >> 5) * 4; }

// Pixels no bitmap may ever have: more than the budget allows a bitmap where
// memory is plenty. Where the budget is set lower (memory running short) a
// picture between the two is a shortage that may pass, not a lie.
static bool never_fits(uint64_t pixel_bytes) {
  return pixel_bytes > std::max(TBITMAP_DEFAULT_BUDGET, tbitmap_get_budget());
}

// The thumbnail block; its info region is 44 bytes from 9 bpp up, else the
// header, 2^bpp palette entries and 4 zero bytes. Pictures of 1 and 4 bpp
// come back at 8 bpp with their palette (nothing draws fewer bits). The
// stored bitmap and the info come first; from 8 bpp up the rows are read
// straight into the new bitmap.
static tbitmap *read_thumbnail_block(FILE *file, uint64_t file_size, int32_t max_width, int32_t max_height) {
  uint8_t header[HEADER_SIZE];
  if (std::fread(header, 1, HEADER_SIZE, file) != HEADER_SIZE) return nullptr;
  if (tfile_get_u32(header) != PAINT_FILE_MAGIC || tfile_get_u32(header + 4) > PAINT_FILE_VERSION) return nullptr;
  uint32_t offset = tfile_get_u32(header + THUMBNAIL_OFFSET_AT);
  if (int32_t(offset) < 1 || uint64_t(offset) + 4 > file_size) return nullptr;
  uint8_t size_word[4];
  if (std::fseek(file, long(offset), SEEK_SET) != 0 || std::fread(size_word, 1, 4, file) != 4) return nullptr;
  uint32_t block_size = tfile_get_u32(size_word);
  if (block_size < STORED_BITMAP_SIZE + INFO_HEADER_SIZE || block_size > file_size - offset - 4) return nullptr;
  // The stored bitmap, the info header and at most the whole palette.
  uint8_t head[STORED_BITMAP_SIZE + INFO_HEADER_SIZE + 4 * PALETTE_ENTRIES + 4];
  if (std::fread(head, 1, STORED_BITMAP_SIZE + INFO_HEADER_SIZE, file) != STORED_BITMAP_SIZE + INFO_HEADER_SIZE)
    return nullptr;
  const uint8_t *info = head + STORED_BITMAP_SIZE;
  uint32_t stride = tfile_get_u32(head + 8);
  int32_t width = int32_t(tfile_get_u32(info + TBITMAP_INFO_WIDTH));
  int32_t height = int32_t(tfile_get_u32(info + TBITMAP_INFO_HEIGHT));
  int bpp = int(tfile_get_u16(info + TBITMAP_INFO_BPP));
  uint32_t compression = tfile_get_u32(info + TBITMAP_INFO_COMPRESSION);
  bool depth = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
  uint64_t info_size = bpp > 8 ? STORED_INFO_SIZE : ((uint64_t(1) << (depth ? bpp : 0)) + 11) * 4;
  uint64_t rows = uint64_t(height < 0 ? -int64_t(height) : int64_t(height));
  bool sound = depth && (compression == 0 || (compression == 3 && bpp == 16)) && width >= 1 &&
               width <= TBITMAP_MAX_SIDE && rows >= 1 && rows <= uint64_t(TBITMAP_MAX_SIDE) &&
               stride == stride_of(width, bpp) && STORED_BITMAP_SIZE + info_size + stride * rows <= block_size;
  if (!sound) return nullptr;
  size_t rest = size_t(info_size - INFO_HEADER_SIZE);
  if (std::fread(head + STORED_BITMAP_SIZE + INFO_HEADER_SIZE, 1, rest, file) != rest) return nullptr;

  // A thumbnail larger than asked is fitted while it is read: the rows are
  // read one at a time and each kept row is sampled as tscale samples.
  int32_t kept_width = width, kept_rows = int32_t(rows);
  if (max_width > 0 && max_height > 0 && (width > max_width || int64_t(rows) > max_height)) {
    double s = std::min(double(max_width) / width, double(max_height) / double(rows));
    kept_width = int32_t(std::max<int64_t>(1, int64_t(width * s)));
    kept_rows = int32_t(std::max<int64_t>(1, int64_t(double(rows) * s)));
  }
  // Every row is written below: the pixels are not filled first.
  tbitmap *bitmap = static_cast<tbitmap *>(std::calloc(1, sizeof(tbitmap)));
  if (!bitmap) return nullptr;
  if (!tbitmap_init_info(bitmap, kept_width, height < 0 ? -kept_rows : kept_rows, std::max(bpp, 8))) {
    std::free(bitmap);
    return nullptr;
  }
  bitmap->_pixels = tbitmap_alloc_pixels(tbitmap_get_image_size(bitmap));
  const size_t pixel_bytes = size_t(std::max(bpp, 8) / 8);
  uint8_t *stored = static_cast<uint8_t *>(std::malloc(size_t(stride)));
  uint8_t *unpacked = bpp < 8 ? static_cast<uint8_t *>(std::malloc(size_t(width))) : nullptr;
  bool read = bitmap->_pixels && stored && (bpp >= 8 || unpacked);
  const uint32_t xstep = uint32_t((uint64_t(width) << 16) / uint64_t(kept_width));
  const uint64_t ystep = (rows << 16) / uint64_t(kept_rows);
  uint64_t next_row = 0;  // the stored row the file is at
  for (int32_t y = 0; read && y < kept_rows; y++) {
    // Rows keep their memory order.
    uint64_t wanted = (uint64_t(y) * ystep) >> 16;
    uint8_t *out = bitmap->_pixels + uint64_t(y) * bitmap->_stride;
    if (wanted + 1 == next_row) {
      std::memcpy(out, out - bitmap->_stride, bitmap->_stride);
      continue;
    }
    // Rows no kept row samples are passed over, not read.
    if (wanted > next_row) read = std::fseek(file, long((wanted - next_row) * stride), SEEK_CUR) == 0;
    read = read && std::fread(stored, 1, size_t(stride), file) == stride;
    next_row = wanted + 1;
    if (!read) break;
    const uint8_t *row = stored;
    if (unpacked) {
      // Pixel x of a packed row sits in its byte from the high bits down.
      const int per_byte = 8 / bpp, mask = (1 << bpp) - 1;
      for (int32_t x = 0; x < width; x++)
        unpacked[x] = uint8_t(stored[x / per_byte] >> (8 - bpp * (x % per_byte + 1)) & mask);
      row = unpacked;
    }
    for (int32_t x = 0; x < kept_width; x++)
      std::memcpy(out + pixel_bytes * size_t(x), row + pixel_bytes * size_t((uint64_t(x) * xstep) >> 16), pixel_bytes);
    std::memset(out + pixel_bytes * size_t(kept_width), 0, bitmap->_stride - pixel_bytes * size_t(kept_width));
  }
  std::free(stored);
  std::free(unpacked);
  if (!read) {
    tbitmap_free(bitmap);
    return nullptr;
  }
  if (bpp == 16 && compression == 3) {
    std::memcpy(bitmap->_info + TBITMAP_INFO_MASKS, head + 12, 12);  // the stored red, green, blue masks
    tbitmap_init_channels(bitmap);
  }
  if (bpp <= 8) {
    uint8_t *palette = tbitmap_get_palette(bitmap);
    std::memset(palette, 0, 4 * PALETTE_ENTRIES);
    std::memcpy(palette, info + INFO_HEADER_SIZE, size_t(4) << bpp);
  }
  return bitmap;
}

static const char16_t *text(int id, const char16_t *english) { return tresource_get_string(id, english); }

// A new text (free() it), or null when memory is short.
static char16_t *format_text(const char16_t *format, ...) {
  va_list args;
  va_start(args, format);
  int length = twformat_v(nullptr, 0, format, args);
  va_end(args);
  if (length < 0) return nullptr;
  char16_t *out = static_cast<char16_t *>(std::malloc(sizeof(char16_t) * (size_t(length) + 1)));
  if (!out) return nullptr;
  va_start(args, format);
  twformat_v(out, size_t(length) + 1, format, args);
  va_end(args);
  return out;
}

static char16_t *copy_text(const char16_t *source) {
  size_t length = std::char_traits<char16_t>::length(source);
  char16_t *copy = static_cast<char16_t *>(std::malloc(sizeof(char16_t) * (length + 1)));
  if (copy) std::memcpy(copy, source, sizeof(char16_t) * (length + 1));
  return copy;
}

static int replace_text(char16_t **field, const char16_t *value) {
  char16_t *copy = copy_text(value);
  if (!copy) return 0;
  std::free(*field);
  *field = copy;
  return 1;
}

static int same_text_ignoring_case(const char16_t *a, const char16_t *b) {
  for (; *a && *b; a++, b++)
    if (twstr_to_lower(*a) != twstr_to_lower(*b)) return 0;
  return *a == *b;
}

// The file name without its extension; a trailing '.' goes too.
static void name_from_path(char16_t *name, const char16_t *path) {
  const char16_t *start = tfile_get_name(path);
  const char16_t *extension = tfile_get_extension(path);
  const char16_t *end = extension > start && extension[-1] == u'.' ? extension - 1 : extension;
  int length = std::min<int>(int(end - start), PAINT_FILE_NAME_CHARS - 1);
  std::memcpy(name, start, sizeof(char16_t) * size_t(length));
  name[length] = 0;
}

// The folder part of a path, without its last separator (the root stays "/").
static char16_t *folder_of(const char16_t *path) {
  char16_t *folder = copy_text(path);
  if (!folder) return nullptr;
  char16_t *name = tfile_get_name(folder);
  if (name > folder + 1) name[-1] = 0;
  else *name = 0;
  return folder;
}

// Folder, separator, name, and the type's extension unless the name ends in it.
static char16_t *build_save_path(const paint_file *file) {
  const char16_t *extension = SAVE_TYPES[file->_save_type].extension;
  size_t folder = std::char_traits<char16_t>::length(file->_save_dir);
  size_t name = std::char_traits<char16_t>::length(file->_name);
  size_t room = folder + 1 + name + 1 + std::char_traits<char16_t>::length(extension) + 1;
  char16_t *path = static_cast<char16_t *>(std::calloc(room, sizeof(char16_t)));
  if (!path) return nullptr;
  std::memcpy(path, file->_save_dir, sizeof(char16_t) * folder);
  tfile_add_separator(path);
  twstr_append(path, file->_name);
  if (!same_text_ignoring_case(tfile_get_extension(path), extension)) {
    twstr_append(path, u".");
    twstr_append(path, extension);
  }
  return path;
}

static tbitmap *flushed_canvas(paint_file *file) {
  cairo_t *cr = paint_context_get_cairo(file->_context);
  if (cr) cairo_surface_flush(cairo_get_target(cr));
  return paint_context_get_canvas(file->_context);
}

// The end of every export: the note or the failure, and the file handed to
// the shell when the caller asked for it.
static int finish_export(paint_file *file, int code, const char16_t *path) {
  if (code == 1) {
    show_note(file, text(TEXT_SAVED, u"Saved Ok"));
    if (file->_open_after_save && path) {
      port_device_open_file(path);
      file->_open_after_save = 0;
    }
  } else {
    show_save_failure(file, code);
  }
  return file->_last_result = code;
}

static void show_save_failure(paint_file *file, int code) {
  char16_t *message = format_text(text(TEXT_SAVE_FAILED, u"Fail to save file (code: %d)."), code);
  if (message) show_message(file, message);
  std::free(message);
}

static void show_open_failure(paint_file *file, int code) {
  const char16_t *reason;
  switch (code) {
    case PAINT_FILE_ERR_TOO_LARGE:
      reason = text(TEXT_TOO_LARGE, u"The painting is too large to open");
      code = PAINT_FILE_ERR_MEMORY;
      break;
    case PAINT_FILE_ERR_OPEN: reason = text(TEXT_CANNOT_OPEN, u"Fail to open this file."); break;
    case PAINT_FILE_ERR_RECORD: reason = text(TEXT_INVALID_FORMAT, u"Invalid file format."); break;
    case PAINT_FILE_ERR_THUMBNAIL:
      reason = text(TEXT_HIGHER_VERSION, u"Can not open higher version of paint file.");
      break;
    case PAINT_FILE_ERR_ALLOCATION: code = PAINT_FILE_ERR_MEMORY; [[fallthrough]];
    case PAINT_FILE_ERR_MEMORY: reason = text(TEXT_NO_MEMORY, u"No enough memory."); break;
    default: reason = text(TEXT_DAMAGED, u"Damaged file."); break;
  }
  char16_t *message = format_text(text(TEXT_OPEN_FAILED, u"Fail to open paint (code: %d)\n%s."), code, reason);
  if (message) show_message(file, message);
  std::free(message);
}

// JPEG, GIF and PNG: the save job encodes at once and completes on the next
// turn of the loop; a nested loop waits for that turn. The code follows the
// format written, whatever the save type.
static int save_image(paint_file *file, const char16_t *path, const char16_t *format_name, int quality) {
  int format = image_job_format_from_name(0, format_name);
  if (format == IMAGE_JOB_FORMAT_NONE) return finish_export(file, PAINT_FILE_ERR_FORMAT, path);
  tbitmap *canvas = flushed_canvas(file);
  if (!canvas || !path || !replace_text(&file->_target_path, path))
    return finish_export(file, failure_of_format(format), path);
  file->_save_format = format;
  file->_last_result = 0;
  file->_busy = 1;
  image_job_save(file->_save_job, format, canvas, path, quality, on_image_saved);
  if (file->_busy) wins_window_run_wait();
  // A quit may end the loop before the completion ran; it must not end a
  // loop that is no longer there.
  file->_busy = 0;
  return file->_last_result;
}

static void on_image_saved(image_save_job *, int result, void *user) {
  paint_file *file = static_cast<paint_file *>(user);
  finish_export(file, result ? 1 : failure_of_format(file->_save_format), file->_target_path);
  if (file->_busy) {
    file->_busy = 0;
    wins_window_end_wait();
  }
}

static int failure_of_format(int format) {
  switch (format) {
    case IMAGE_JOB_FORMAT_JPEG: return PAINT_FILE_ERR_JPEG;
    case IMAGE_JOB_FORMAT_GIF: return PAINT_FILE_ERR_GIF;
    default: return PAINT_FILE_ERR_PNG;
  }
}

static void show_wait_note(paint_file *file, int id, const char16_t *english) {
  if (file->_ui.show_wait_note) file->_ui.show_wait_note(file->_ui.user, text(id, english));
}

static void close_wait_note(paint_file *file) {
  if (file->_ui.close_wait_note) file->_ui.close_wait_note(file->_ui.user);
}

static void show_note(paint_file *file, const char16_t *message) {
  if (file->_ui.show_note) file->_ui.show_note(file->_ui.user, message);
}

static void show_message(paint_file *file, const char16_t *message) {
  if (file->_ui.show_message) file->_ui.show_message(file->_ui.user, message);
}
