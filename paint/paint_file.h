// paint_file: the document's file object, the native document format
// (".bvf", also the autosave "paint.cache"), the picture exports and the
// save flows beneath the Save As dialog.
//
// Owns the document path, the target path of the save in progress and the
// image save job; borrows the painting context, its history and the
// application's last save folder. The dialogs, boxes and notes the flows show
// are reached through a table of hooks the application fills (tests put
// doubles there); an empty slot shows nothing, and without a Save As dialog
// Save As does nothing.
//
// Invariants:
// - a save writes a temporary file beside the target and renames it over the
//   target only when every write and the close succeeded;
// - an open reads and checks the whole document before it replaces anything:
//   a refused file leaves the painting and its history as they were, while a
//   document cut inside its records opens with the records before the cut,
//   untitled, so that no Save writes the part over the whole.
//
// Native document (little-endian; offsets from the start of the file):
//
// | offset     | size  | field                                                  |
// |------------|-------|--------------------------------------------------------|
// | 0          | 4     | magic " fvb" (0x62766620)                              |
// | 4          | 4     | version 0x00030001; a higher one is refused            |
// | 8          | 4     | picture width at zoom 1.0 (i32, >= 1)                  |
// | 12         | 4     | picture height at zoom 1.0 (i32, >= 1)                 |
// | 16         | 4     | new colour: blue, green, red, alpha                    |
// | 20         | 8     | zoom when saved (f64, positive; not used on open)      |
// | 28         | 4     | record count (i32, >= 0)                               |
// | 32         | 4     | history position (i32, -1 = nothing applied)           |
// | 36         | 4     | thumbnail offset (u32, >= 1), patched after the rest   |
// | 40         | 4     | base block size S (u32); 0 = no base picture           |
// | 44         | S     | base block                                             |
// | 44 + S     | ...   | the records, one after another                         |
// | thumb off. | 4 + T | thumbnail block                                        |
//
// Base block (S = compressed length + 96):
//
// | offset | size   | field                                                      |
// |--------|--------|------------------------------------------------------------|
// | 0      | 52     | bitmap record: 0, 0 (info), stride, red/green/blue masks,   |
// |        |        | shifts and losses, 0 (pixels): 13 u32                       |
// | 52     | 44     | 40-byte info header (width, height < 0 for rows top-down,   |
// |        |        | 1 plane, 32 bpp, compression 0, image size, 0...) + 4 zeros |
// | 96     | S - 96 | zlib compress() stream of the rows: stride x |height| bytes |
//
// Record (56 bytes, then its payload):
//
// | offset | size | field                          | offset | size | field              |
// |--------|------|--------------------------------|--------|------|--------------------|
// | 0      | 4    | view origin x (i32)            | 24     | 8    | zero               |
// | 4      | 4    | view origin y (i32)            | 32     | 8    | zoom (f64, > 0)    |
// | 8      | 4    | fore colour (B, G, R, A)       | 40     | 4    | operation (i32)    |
// | 12     | 4    | back colour                    | 44     | 4    | payload size (>= 0)|
// | 16     | 1    | pen size (u8)                  | 48     | 4    | zero (pointer)     |
// | 17     | 1    | rubber size (u8)               | 52     | 4    | zero               |
// | 18     | 2    | zero                           |        |      |                    |
// | 20     | 4    | pen style (i32)                |        |      |                    |
//
// Thumbnail block: T (u32) = 52 + info size + stride x |height|, the bitmap
// record as above, the info (44 bytes from 9 bpp on; below that the header,
// 2^bpp palette entries and 4 zero bytes), the rows uncompressed. Written as
// the canvas fitted into 100 x 100 (the larger side 100), 32 bpp, bottom-up.
#pragma once

#include <cstdint>

#include "tbitmap.h"

struct paint_context;
struct paint_history;
struct image_save_job;
struct paint_file;

constexpr uint32_t PAINT_FILE_MAGIC = 0x62766620;
constexpr uint32_t PAINT_FILE_VERSION = 0x00030001;
constexpr int PAINT_FILE_NAME_CHARS = 64;
constexpr int PAINT_FILE_DIR_CHARS = 256;
constexpr int PAINT_FILE_TYPE_COUNT = 9;
constexpr int32_t PAINT_FILE_THUMBNAIL_SIDE = 100;

// Rows of the save type table.
enum {
  PAINT_FILE_TYPE_NATIVE = 0,
  PAINT_FILE_TYPE_BMP24 = 1,
  PAINT_FILE_TYPE_BMP256 = 2,
  PAINT_FILE_TYPE_BMP_GREY = 3,
  PAINT_FILE_TYPE_JPEG_LOW = 4,
  PAINT_FILE_TYPE_JPEG_MEDIUM = 5,
  PAINT_FILE_TYPE_JPEG_HIGH = 6,
  PAINT_FILE_TYPE_GIF = 7,
  PAINT_FILE_TYPE_PNG = 8,
};

// Result codes of the writers and the reader (1 is success).
enum {
  PAINT_FILE_ERR_OPEN = -1,      // the file cannot be opened
  PAINT_FILE_ERR_WRITE = -2,     // a write failed; on reading: "Damaged file."
  PAINT_FILE_ERR_RECORD = -3,    // a history record is missing; on reading: "Invalid file format."
  PAINT_FILE_ERR_THUMBNAIL = -4, // no memory for the thumbnail; on reading: a higher version
  PAINT_FILE_ERR_BMP = -5,
  PAINT_FILE_ERR_MEMORY = -6,    // also a failed compression or decompression
  PAINT_FILE_ERR_FORMAT = -7,    // the image format is not available
  PAINT_FILE_ERR_JPEG = -8,
  PAINT_FILE_ERR_GIF = -9,
  PAINT_FILE_ERR_PNG = -10,
  // Reading: an allocation was refused. Said as PAINT_FILE_ERR_MEMORY is;
  // unlike a document whose compressed rows are damaged, or one too large
  // (PAINT_FILE_ERR_TOO_LARGE), the same file may open another time.
  PAINT_FILE_ERR_ALLOCATION = -11,
  // Reading: the document asks for a canvas or a picture beyond what any
  // painting may have (no memory that could come back would let it open).
  // Said with the code of PAINT_FILE_ERR_MEMORY and a reason of its own.
  PAINT_FILE_ERR_TOO_LARGE = -12,
};

// What the Save As dialog is built with. On OK the dialog writes the name,
// the folder and the type (each cut to its capacity), asks
// paint_file_check_name whether it may close, and then calls
// paint_file_on_save_as_result; Cancel calls only the latter.
struct paint_file_save_dialog {
  paint_file *file;
  const char16_t *title;
  char16_t *name;
  int32_t name_capacity;
  char16_t *folder;
  int32_t folder_capacity;
  const char16_t *const *type_names;
  int32_t type_count;
  int32_t *type;
};

// The application's side of the flows. `user` is handed back to each slot.
struct paint_file_ui {
  void *user;
  // "Saving file..." and "Loading paint...": shown unless a wait note is up.
  void (*show_wait_note)(void *user, const char16_t *text);
  void (*close_wait_note)(void *user);
  // A transient note ("Saved Ok"); it closes the wait note.
  void (*show_note)(void *user, const char16_t *text);
  // A message box with a failure or a refusal.
  void (*show_message)(void *user, const char16_t *text);
  // A Yes/No question titled with the product name; 1 for Yes.
  int (*ask)(void *user, const char16_t *text);
  // Shows the Save As dialog (modal, dimmed background, returns at once);
  // 0 when it cannot be shown.
  int (*show_save_dialog)(void *user, const paint_file_save_dialog *dialog);
  // Puts a folder at the front of the recent save folders.
  void (*add_save_dir)(void *user, const char16_t *folder);
};

struct paint_file {
  char16_t *_path;  // owned; "" = untitled
  char16_t _name[PAINT_FILE_NAME_CHARS];
  char16_t _save_dir[PAINT_FILE_DIR_CHARS];
  int32_t _save_type;
  image_save_job *_save_job;
  paint_context *_context;
  paint_history *_history;
  char16_t *_last_dir;  // the application's, PAINT_FILE_DIR_CHARS chars; may be null
  uint8_t _busy;        // 1 while the nested loop waits for an image save
  char16_t *_target_path;  // owned; the path being written
  uint8_t _open_after_save;
  const char16_t *_type_names[PAINT_FILE_TYPE_COUNT];
  int32_t _type_count;
  int32_t _save_format;  // image format of the save in progress
  int32_t _last_result;  // code of the last save, export or Save As
  paint_file_ui _ui;
};

// Null when memory is short. The active-object list must exist. last_dir
// (the application's last save folder) is read now and written back by
// paint_file_free; ui may be null (nothing is shown).
paint_file *paint_file_new(paint_context *context, paint_history *history, char16_t *last_dir,
                           const paint_file_ui *ui);
void paint_file_free(paint_file *file);

void paint_file_set_name(paint_file *file, const char16_t *name);
const char16_t *paint_file_get_name(const paint_file *file);
// 0 when memory is short (the path is then unchanged).
int paint_file_set_path(paint_file *file, const char16_t *path);
void paint_file_set_open_after_save(paint_file *file);
void paint_file_clear_open_after_save(paint_file *file);

// The native document. Open reads path into the painting and its history
// (the caller then rebuilds the canvas); 1 when every record was read, 0
// otherwise, the reason shown. save_to is the writer without notes (a
// failure is still shown).
int paint_file_open(paint_file *file, const char16_t *path);
int paint_file_save_to(paint_file *file, const char16_t *path);
// The kept painting's reader and writer. It is only ever a plain file at
// path: the reader takes nothing else (a link, a pipe: code
// PAINT_FILE_ERR_OPEN) and never waits on a pipe; the writer replaces
// whatever is at path (a link, never its target) by a plain file.
// Open without the failure box: 1 when every record was read, else the
// reader's code (0 or PAINT_FILE_ERR_ALLOCATION: short of memory; 0 says
// nothing), for the caller to deal with the file before
// paint_file_show_open_failure says why.
int paint_file_open_quietly(paint_file *file, const char16_t *path);
void paint_file_show_open_failure(paint_file *file, int code);
// The writer that shows nothing at all, for the keep at exit, which must
// never wait on the user: 1 or the failure code, which
// paint_file_show_save_failure says where the user can still be told.
// error (may be null) gets the errno of the call that failed (0: none did,
// as when memory ran short). The failure box carries reason (may be null)
// on the lines below the code.
int paint_file_write_silently(paint_file *file, const char16_t *path, int *error = nullptr);
void paint_file_show_save_failure(paint_file *file, int code, const char16_t *reason = nullptr);
// The thumbnail of a document, or null; shows nothing.
tbitmap *paint_file_read_thumbnail(const char16_t *path);
// The same thumbnail fitted inside max_width x max_height while it is read:
// one larger is scaled nearest-neighbour with its aspect ratio kept (the
// pixels tscale_new_scaled with fit gives), row by row, so no more than one
// stored row and the fitted pixels are ever kept; one that fits is read as is.
tbitmap *paint_file_read_thumbnail_fitted(const char16_t *path, int32_t max_width, int32_t max_height);

// The Save command, Save As and the question before a painting is dropped.
// Save and Save As give the code of what they wrote (1 success, 0 nothing
// written, or a failure code, which has been shown). The question gives 1
// when the painting may go (nothing changed, No, or Yes and it was written)
// and 0 when Yes wrote nothing (Save As cancelled, a failed save).
int paint_file_save_current(paint_file *file);
int paint_file_save_as(paint_file *file);
int paint_file_ask_save_changes(paint_file *file);
// The Save As dialog's veto and result routine.
int paint_file_check_name(paint_file *file, int result);
void paint_file_on_save_as_result(paint_file *file, int result);

// Exports of the canvas (the picture at the current zoom); 1 or a failure
// code, which has been shown.
int paint_file_save_bmp24(paint_file *file, const char16_t *path);
int paint_file_save_bmp256(paint_file *file, const char16_t *path);
int paint_file_save_bmp_grey(paint_file *file, const char16_t *path);
int paint_file_save_jpeg(paint_file *file, const char16_t *path, int quality);
int paint_file_save_png(paint_file *file, const char16_t *path);
int paint_file_save_gif(paint_file *file, const char16_t *path);

// Reduces a picture of 16 bpp or more to 256 colours: palette gets 256
// entries (blue, green, red, 0), pixels the 8-bit rows bottom-up (the first
// row written is the picture's last), stride bytes apart. 0 when memory is short.
int paint_file_quantize_256(const tbitmap *source, uint8_t *palette, uint8_t *pixels, uint32_t stride);
