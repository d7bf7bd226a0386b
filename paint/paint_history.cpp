// paint_history: the operation list, undo and redo, replay and checkpoints.
#include "paint_history.h"

#include <cairo.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os_paths.h"
#include "paint_context.h"
#include "port_log.h"
#include "shape.h"
#include "tbitmap.h"
#include "tfile.h"
#include "tscreen.h"

constexpr int32_t RECORD_GROWTH = 64;  // the list's first capacity
constexpr int32_t PROGRESS_STEP = 25;
// A replay shows its popup from the start when it cannot begin at a
// checkpoint and has more records than this to draw.
constexpr int32_t PROGRESS_LONG_REPLAY = 76;
constexpr double PROGRESS_ZOOM = 2.0;
constexpr uint8_t CHECKPOINT_MAGIC[4] = {'B', 'V', 'C', '3'};
constexpr int CHECKPOINT_HEADER = 56;
// Where the hash of the header before it lies, and the hash of the rest.
constexpr int CHECKPOINT_HEADER_SUM = 40, CHECKPOINT_ROWS_SUM = 48;
constexpr unsigned CHECKPOINT_BUFFER = 256 * 1024;
// The most one gzwrite takes (it counts in ints).
constexpr uint64_t CHECKPOINT_PIECE = 1u << 30;
constexpr int32_t CHECKPOINTS_NEAR = 8, CHECKPOINTS_SPACING = 8;
// Scales a record may be replayed at: far beyond what zooms between a
// shrunken huge picture and 10x give, and far from cairo's matrix limits.
constexpr double MIN_SCALE = 1.0 / 65536, MAX_SCALE = 65536;
// The largest checkpoint kept in memory after it was read.
constexpr uint64_t KEEP_LIMIT = 64ull << 20;
// The checkpoint hash: 64-bit multiply-rotate rounds on four lanes of
// 8-byte words, so that a canvas hashes at about the speed memory is read.
// It tells this painting's checkpoints from any other's, not from a forgery.
constexpr uint64_t HASH_PRIME_1 = 0x9E3779B185EBCA87ull, HASH_PRIME_2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t HASH_SEED = 0x27D4EB2F165667C5ull;

static int32_t zoom_percent(double zoom);
static int grow_records(paint_history *history, int32_t needed);
static void free_records(paint_history *history, int32_t from);
static void delete_all_checkpoints(paint_history *history);
static void delete_stale_files(const char *dir);
static int is_checkpoint_name(const char *name);
static int record_scale(const paint_history_record *record, double zoom, double *scale);
static void replay_record(paint_history *history, const paint_history_record *record, double scale);
static void call_app_record(paint_history_replay_fn fn, paint_context *pc, const paint_history_record *record,
                            double scale);
static void *show_progress(paint_history *history);
static void set_progress(paint_history *history, void *popup, int percent);
static int start_canvas(paint_context *pc);
static int step_to(paint_history *history, int32_t position);
// Where a replay that found no memory for a canvas stopped: the first record
// that canvas was for, and whether the canvas shows the records before it
// (else it is as before the replay); and whether an exit cut it short.
struct replay_stop {
  int32_t record;
  bool drawn_before;
  bool exiting;
};
enum replay_end { REPLAY_DRAWN, REPLAY_NO_CANVAS, REPLAY_UNREADABLE };
struct checkpoint_part;
static int replay(paint_history *history, int full, bool hold, replay_stop *stop);
static replay_end replay_once(paint_history *history, int full, bool *held, checkpoint_part *part,
                              replay_stop *stop);
static void hold_for_crops(paint_history *history, int32_t from, bool *held);
struct checkpoint_shape {
  int32_t width, height;
  tpoint base_offset;
  uint64_t key;
  // The hash of its header, which its row marks and rows continue; the one
  // it must end at.
  uint64_t sum, stored_sum;
  struct stat file;
};
// A checkpoint a run of crops starts from, read only when the run ends.
struct checkpoint_part {
  paint_history *history;
  int32_t index, zoom_percent;
  // Only checkpoints below this index are tried: those from it on were found
  // bad in this replay, whether or not their files could be deleted (a file
  // system gone read-only keeps them).
  int32_t below;
};
static int32_t start_from_checkpoint(paint_history *history, int32_t z, checkpoint_part *part, bool *held);
static int defer_from_checkpoint(checkpoint_part *part);
static int read_checkpoint_part(void *user, tbitmap *canvas, const trect *from, const tpoint *to);
static gzFile open_checkpoint(const checkpoint_part *part, checkpoint_shape *form, std::string *repeats);
static bool worth_writing(int32_t done, int32_t position);
static bool is_crop(const paint_context *pc, const paint_history_record *record);
static void remove_checkpoint(paint_history *history, int32_t index, int32_t zoom_percent);
static void remove_entry(const char *path);
static gzFile open_plain_file(const char *path, struct stat *info);
static gzFile create_temporary(const char *path);
static void file_identity(const struct stat &info, paint_history_kept *kept);
static void keep_checkpoint(paint_history *history, int32_t index, int32_t zoom_percent, const tbitmap *canvas,
                            const checkpoint_shape *form);
static int load_kept(paint_history *history, int32_t index, int32_t zoom_percent, const char *path);
static int read_shape(const paint_context *pc, const uint8_t *header, uint64_t key, checkpoint_shape *form);
static void forget_kept(paint_history *history);
static int checkpoint_key(paint_history *history, int32_t index, uint64_t *key);
static uint64_t start_sum(paint_history *history);
static uint64_t record_sum(uint64_t sum, const paint_history_record *record);
static uint64_t hash_bytes(uint64_t sum, const void *data, size_t size);
static void put_u64(uint8_t *at, uint64_t value);
static uint64_t get_u64(const uint8_t *at);

static paint_history_grow_fn list_grow = std::realloc;
static paint_history_unlink_fn entry_unlink = unlink;

paint_history *paint_history_new(paint_context *context, const char *cache_dir) {
  paint_history *history = static_cast<paint_history *>(std::calloc(1, sizeof(paint_history)));
  if (!history) return nullptr;
  history->_records = static_cast<paint_history_record **>(std::calloc(RECORD_GROWTH, sizeof(void *)));
  if (!history->_records) {
    std::free(history);
    return nullptr;
  }
  history->_capacity = RECORD_GROWTH;
  history->_position = -1;
  history->_context = context;
  history->_use_checkpoints = 1;
  // A folder that does not fit is left empty rather than cut, which would
  // put the files somewhere else: the painting then works without checkpoints.
  std::string dir = cache_dir ? cache_dir : "";
  if (!dir.empty() && dir.size() < sizeof history->_cache_dir && os_make_dirs(dir)) {
    std::memcpy(history->_cache_dir, dir.c_str(), dir.size() + 1);
    delete_stale_files(history->_cache_dir);
  }
  return history;
}

void paint_history_free(paint_history *history) {
  PORT_CHECK(history != nullptr);
  delete_all_checkpoints(history);
  forget_kept(history);
  free_records(history, 0);
  std::free(history->_records);
  std::free(history->_record_sums);
  std::free(history);
}

void paint_history_reset(paint_history *history) {
  PORT_CHECK(history != nullptr);
  free_records(history, 0);
  paint_history_record **records =
      static_cast<paint_history_record **>(std::calloc(RECORD_GROWTH, sizeof(paint_history_record *)));
  if (records) {
    std::free(history->_records);
    history->_records = records;
    history->_capacity = RECORD_GROWTH;
  }
  history->_count = 0;
  // Nothing applied, as after undoing every record and as a document stores it.
  history->_position = -1;
  delete_all_checkpoints(history);
  forget_kept(history);
  if (history->_cache_dir[0]) delete_stale_files(history->_cache_dir);
  // A new painting: its base picture may sit where the last one did.
  history->_base_summed = 0;
  history->_modified = 0;
}

void paint_history_set_hooks(paint_history *history, const paint_history_hooks *hooks) {
  PORT_CHECK(history != nullptr);
  history->_hooks = hooks ? *hooks : paint_history_hooks{};
}

paint_history_record *paint_history_add(paint_history *history, int32_t operation, const void *payload,
                                        int32_t size) {
  PORT_CHECK(history != nullptr);
  PORT_CHECK(size >= 0 && (size == 0 || payload != nullptr));
  paint_context *pc = history->_context;
  paint_history_record *record = paint_history_record_new(operation, payload, size);
  if (!record) return nullptr;
  int32_t kept = history->_count > 0 ? std::clamp(history->_position + 1, 0, history->_count) : 0;
  if (!grow_records(history, kept + 1)) {
    paint_history_record_free(record);
    return nullptr;
  }
  free_records(history, kept);
  // Checkpoints past the kept records were drawn from records that are gone,
  // whatever zoom they were drawn at.
  int32_t valid = kept / PAINT_HISTORY_CHECKPOINT_STEP;
  for (int32_t z = 0; z < PAINT_HISTORY_ZOOM_SLOTS; z++) {
    int32_t written = history->_checkpoint_counts[z];
    if (written <= valid) continue;
    for (int32_t i = valid; i < written; i++) remove_checkpoint(history, i, z);
    history->_checkpoint_counts[z] = valid;
  }

  double zoom = 1.0;
  if (pc) {
    paint_context_snapshot(pc, record);
    zoom = paint_context_get_zoom(pc);
  }
  record->_zoom = zoom;
  history->_records[history->_count++] = record;
  history->_position = history->_count - 1;
  // The canvas holds exactly count records now: the checkpoint it completes
  // is the only one it may be written as.
  if (history->_use_checkpoints && history->_count % PAINT_HISTORY_CHECKPOINT_STEP == 0)
    paint_history_save_checkpoint(history, history->_count / PAINT_HISTORY_CHECKPOINT_STEP - 1, zoom_percent(zoom));
  history->_modified = 1;
  return record;
}

int paint_history_append_record(paint_history *history, paint_history_record *record) {
  PORT_CHECK(history != nullptr && record != nullptr);
  if (!grow_records(history, history->_count + 1)) return 0;
  if (!record->_payload || record->_size < 0) record->_size = 0;
  history->_records[history->_count++] = record;
  return 1;
}

int paint_history_can_undo(const paint_history *history) {
  PORT_CHECK(history != nullptr);
  return history->_count >= 1 && history->_position >= 0;
}

int paint_history_can_redo(const paint_history *history) {
  PORT_CHECK(history != nullptr);
  return history->_count >= 1 && history->_position < history->_count - 1;
}

int paint_history_undo(paint_history *history) {
  PORT_CHECK(history != nullptr);
  if (!paint_history_can_undo(history)) return 0;
  return step_to(history, history->_position - 1);
}

int paint_history_redo(paint_history *history) {
  PORT_CHECK(history != nullptr);
  if (!paint_history_can_redo(history)) return 0;
  return step_to(history, history->_position + 1);
}

int paint_history_rebuild(paint_history *history) {
  PORT_CHECK(history != nullptr);
  int32_t wanted = history->_position;
  replay_stop stop = {};
  // There is no painting before a rebuild to go back to: without memory for
  // a canvas the painting stops at the record before the one that needs it,
  // and the records from there on wait for a redo.
  while (!replay(history, 1, false, &stop)) {
    if (history->_position < 0) {
      history->_position = wanted;
      return 0;
    }
    history->_position = std::min(stop.record, history->_position) - 1;
    if (stop.drawn_before) break;
  }
  history->_modified = 1;
  return history->_position == wanted;
}

int paint_history_replay(paint_history *history, int full) {
  PORT_CHECK(history != nullptr);
  return replay(history, full, true, nullptr);
}

int32_t paint_history_get_count(const paint_history *history) {
  PORT_CHECK(history != nullptr);
  return history->_count;
}

paint_history_record *paint_history_get_record(const paint_history *history, int32_t index) {
  PORT_CHECK(history != nullptr);
  if (index < 0 || index >= history->_count) return nullptr;
  return history->_records[index];
}

int32_t paint_history_get_position(const paint_history *history) {
  PORT_CHECK(history != nullptr);
  return history->_position;
}

void paint_history_set_position(paint_history *history, int32_t position) {
  PORT_CHECK(history != nullptr);
  history->_position = std::clamp(position, -1, std::max(history->_count - 1, -1));
}

void paint_history_set_modified(paint_history *history, int modified) {
  PORT_CHECK(history != nullptr);
  history->_modified = modified ? 1 : 0;
}

int paint_history_is_modified(const paint_history *history) {
  PORT_CHECK(history != nullptr);
  return history->_modified;
}

const char *paint_history_get_cache_dir(const paint_history *history) {
  PORT_CHECK(history != nullptr);
  return history->_cache_dir;
}

void paint_history_set_use_checkpoints(paint_history *history, int on) {
  PORT_CHECK(history != nullptr);
  history->_use_checkpoints = on ? 1 : 0;
}

paint_history_grow_fn paint_history_set_list_grow(paint_history_grow_fn fn) {
  paint_history_grow_fn replaced = list_grow;
  list_grow = fn ? fn : std::realloc;
  return replaced;
}

int paint_history_canvas_fits(double width, double height, int64_t base_pixels) {
  double most = double(std::max(PAINT_HISTORY_MAX_CANVAS_PIXELS, base_pixels));
  return width >= 0 && height >= 0 && width * height <= most;
}

int paint_history_record_fits(const paint_history_record *record, int64_t base_pixels) {
  PORT_CHECK(record != nullptr);
  if (record->_operation != PAINT_HISTORY_OP_CROP || record->_size != 32 || !record->_payload) return 1;
  // A zoom that is no positive number makes replay skip the record.
  double zoom = record->_zoom;
  if (!std::isfinite(zoom) || zoom <= 0) return 1;
  double corner[4];
  for (int i = 0; i < 4; i++) corner[i] = double(int32_t(tfile_get_u32(record->_payload + 4 * i)));
  double width = (corner[2] - corner[0] + 1) / zoom, height = (corner[3] - corner[1] + 1) / zoom;
  // An empty rectangle is refused by the crop itself.
  if (!(width >= 1) || !(height >= 1)) return 1;
  return paint_history_canvas_fits(width, height, base_pixels);
}

paint_history_record *paint_history_record_new(int32_t operation, const void *payload, int32_t size) {
  paint_history_record *record = static_cast<paint_history_record *>(std::calloc(1, sizeof(paint_history_record)));
  if (!record) return nullptr;
  record->_operation = operation;
  if (size > 0 && payload) {
    record->_payload = static_cast<uint8_t *>(std::malloc(size_t(size)));
    if (!record->_payload) {
      std::free(record);
      return nullptr;
    }
    std::memcpy(record->_payload, payload, size_t(size));
    record->_size = size;
  }
  return record;
}

void paint_history_record_free(paint_history_record *item) {
  PORT_CHECK(item != nullptr);
  std::free(item->_payload);
  std::free(item);
}

int paint_history_save_checkpoint(paint_history *history, int32_t index, int32_t zoom_percent) {
  PORT_CHECK(history != nullptr);
  if (index < 0 || zoom_percent < 0 || zoom_percent >= PAINT_HISTORY_ZOOM_SLOTS || !history->_context) return 0;
  paint_context *pc = history->_context;
  tbitmap *canvas = paint_context_get_canvas(pc);
  char path[PAINT_HISTORY_CACHE_DIR_BYTES + 32];
  uint64_t key;
  if (!canvas || !paint_history_checkpoint_path(history, index, zoom_percent, path, sizeof path)) return 0;
  if (paint_history_checkpoint_exists(history, index, zoom_percent) || !checkpoint_key(history, index, &key)) return 0;
  // Written aside and renamed: a file under the real name is always whole,
  // and a link there is replaced, not followed.
  std::string temp = std::string(path) + ".tmp";
  gzFile file = create_temporary(temp.c_str());
  if (!file) return 0;
  gzbuffer(file, CHECKPOINT_BUFFER);
  gzsetparams(file, 1, Z_DEFAULT_STRATEGY);
  cairo_t *cr = paint_context_get_cairo(pc);
  if (cr) cairo_surface_flush(cairo_get_target(cr));
  uint32_t height = uint32_t(tbitmap_get_height(canvas)), stride = tbitmap_get_stride(canvas);
  uint8_t header[CHECKPOINT_HEADER];
  std::memcpy(header, CHECKPOINT_MAGIC, 4);
  tfile_put_u32(header + 4, uint32_t(tbitmap_get_width(canvas)));
  tfile_put_u32(header + 8, height);
  tfile_put_u32(header + 12, stride);
  tfile_put_u32(header + 16, uint32_t(pc->_base_offset.x));
  tfile_put_u32(header + 20, uint32_t(pc->_base_offset.y));
  double zoom = paint_context_get_zoom(pc);
  uint64_t zoom_bits;
  std::memcpy(&zoom_bits, &zoom, 8);
  put_u64(header + 24, zoom_bits);
  put_u64(header + 32, key);
  std::string repeats(height, '\0');
  for (uint32_t y = 1; y < height; y++)
    repeats[y] = std::memcmp(canvas->_pixels + uint64_t(y) * stride, canvas->_pixels + uint64_t(y - 1) * stride,
                             stride) == 0;
  uint64_t sum = paint_history_checkpoint_header_sum(header);
  put_u64(header + CHECKPOINT_HEADER_SUM, sum);
  sum = hash_bytes(sum, repeats.data(), height);
  for (uint32_t y = 0; y < height; y++)
    if (!repeats[y]) sum = hash_bytes(sum, canvas->_pixels + uint64_t(y) * stride, stride);
  put_u64(header + CHECKPOINT_ROWS_SUM, sum);
  bool ok = gzwrite(file, header, CHECKPOINT_HEADER) == CHECKPOINT_HEADER &&
            gzwrite(file, repeats.data(), height) == int(height);
  // Rows in a row that do not repeat go in one piece, as large as gzwrite
  // counts (the canvas stores them one after the other).
  for (uint32_t y = 0; ok && y < height;) {
    uint32_t end = y;
    while (end < height && !repeats[end] && uint64_t(end - y + 1) * stride <= CHECKPOINT_PIECE) end++;
    if (end == y) {
      y++;
      continue;
    }
    unsigned bytes = unsigned(uint64_t(end - y) * stride);
    ok = gzwrite(file, canvas->_pixels + uint64_t(y) * stride, bytes) == int(bytes);
    y = end;
  }
  if (gzclose(file) != Z_OK) ok = false;
  if (!ok || std::rename(temp.c_str(), path) != 0) {
    unlink(temp.c_str());
    return 0;
  }
  int32_t &written = history->_checkpoint_counts[zoom_percent];
  written = std::max(written, index + 1);
  return 1;
}

int paint_history_load_checkpoint(paint_history *history, int32_t index, int32_t zoom_percent) {
  PORT_CHECK(history != nullptr);
  paint_context *pc = history->_context;
  if (!pc) return 0;
  char path[PAINT_HISTORY_CACHE_DIR_BYTES + 32];
  if (!paint_history_checkpoint_path(history, index, zoom_percent, path, sizeof path)) return 0;
  if (load_kept(history, index, zoom_percent, path)) return 1;
  checkpoint_part part = {history, index, zoom_percent, INT32_MAX};
  checkpoint_shape form = {};
  std::string repeats;
  gzFile file = open_checkpoint(&part, &form, &repeats);
  if (!file) return 0;
  bool ok = paint_context_set_canvas_shape(pc, form.width, form.height, &form.base_offset);
  tbitmap *canvas = paint_context_get_canvas(pc);
  cairo_t *cr = paint_context_get_cairo(pc);
  if (ok) cairo_surface_flush(cairo_get_target(cr));
  uint32_t stride = uint32_t(form.width) * 4;
  for (int32_t y = 0; ok && y < form.height; y++) {
    uint8_t *row = canvas->_pixels + uint64_t(y) * stride;
    if (repeats[size_t(y)]) {
      std::memcpy(row, row - stride, stride);
    } else {
      ok = gzread(file, row, stride) == int(stride);
      form.sum = hash_bytes(form.sum, row, stride);
    }
  }
  gzclose(file);
  if (cr) cairo_surface_mark_dirty(cairo_get_target(cr));
  if (!ok || form.sum != form.stored_sum) return 0;
  keep_checkpoint(history, index, zoom_percent, canvas, &form);
  return 1;
}

int paint_history_checkpoint_exists(const paint_history *history, int32_t index, int32_t zoom_percent) {
  PORT_CHECK(history != nullptr);
  char path[PAINT_HISTORY_CACHE_DIR_BYTES + 32];
  if (!paint_history_checkpoint_path(history, index, zoom_percent, path, sizeof path)) return 0;
  // Whatever sits at the name, a link that leads nowhere too: it is never
  // written through, and reading it deletes it.
  struct stat info;
  return lstat(path, &info) == 0;
}

void paint_history_delete_zoom_checkpoints(paint_history *history, int32_t zoom_percent) {
  PORT_CHECK(history != nullptr);
  if (zoom_percent < 0 || zoom_percent >= PAINT_HISTORY_ZOOM_SLOTS) return;
  for (int32_t i = 0; i < history->_checkpoint_counts[zoom_percent]; i++) remove_checkpoint(history, i, zoom_percent);
  history->_checkpoint_counts[zoom_percent] = 0;
}

void paint_history_delete_checkpoint_index(paint_history *history, int32_t index) {
  PORT_CHECK(history != nullptr);
  for (int32_t z = 0; z < PAINT_HISTORY_ZOOM_SLOTS; z++) {
    if (history->_checkpoint_counts[z] > index) remove_checkpoint(history, index, z);
  }
}

int32_t paint_history_get_checkpoint_count(const paint_history *history, int32_t zoom_percent) {
  PORT_CHECK(history != nullptr);
  if (zoom_percent < 0 || zoom_percent >= PAINT_HISTORY_ZOOM_SLOTS) return 0;
  return history->_checkpoint_counts[zoom_percent];
}

uint64_t paint_history_checkpoint_header_sum(const uint8_t *header) {
  PORT_CHECK(header != nullptr);
  return hash_bytes(HASH_SEED, header, CHECKPOINT_HEADER_SUM);
}

int paint_history_checkpoint_path(const paint_history *history, int32_t index, int32_t zoom_percent, char *out,
                                  int n) {
  PORT_CHECK(history != nullptr && out != nullptr);
  if (!history->_cache_dir[0] || index < 0 || zoom_percent < 0) return 0;
  int length = std::snprintf(out, size_t(n), "%s%c%d_%d.cache", history->_cache_dir, '/', int(index),
                             int(zoom_percent));
  return length > 0 && length < n;
}

paint_history_unlink_fn paint_history_set_unlink(paint_history_unlink_fn fn) {
  paint_history_unlink_fn replaced = entry_unlink;
  entry_unlink = fn ? fn : unlink;
  return replaced;
}

static int32_t zoom_percent(double zoom) {
  double percent = zoom * 100;
  if (!(percent >= 0)) return 0;
  return int32_t(std::min(percent, double(PAINT_HISTORY_ZOOM_SLOTS - 1)));
}

// The list doubles, so that reading n records moves each pointer a bounded
// number of times.
static int grow_records(paint_history *history, int32_t needed) {
  if (needed <= history->_capacity) return 1;
  if (needed < 0) return 0;
  int32_t capacity = history->_capacity > INT32_MAX / 2 ? INT32_MAX : std::max(history->_capacity * 2, RECORD_GROWTH);
  capacity = std::max(capacity, needed);
  void *grown = list_grow(history->_records, size_t(capacity) * sizeof(paint_history_record *));
  if (!grown) return 0;
  history->_records = static_cast<paint_history_record **>(grown);
  std::fill(history->_records + history->_capacity, history->_records + capacity, nullptr);
  history->_capacity = capacity;
  return 1;
}

static void free_records(paint_history *history, int32_t from) {
  for (int32_t i = from; i < history->_count; i++) {
    if (history->_records[i]) paint_history_record_free(history->_records[i]);
    history->_records[i] = nullptr;
  }
  history->_count = std::min(history->_count, from);
  history->_sums_known = std::min(history->_sums_known, from / PAINT_HISTORY_CHECKPOINT_STEP + 1);
}

static void delete_all_checkpoints(paint_history *history) {
  for (int32_t z = 0; z < PAINT_HISTORY_ZOOM_SLOTS; z++)
    if (history->_checkpoint_counts[z] > 0) paint_history_delete_zoom_checkpoints(history, z);
}

// Files named like checkpoints, and their half-written temporaries, can only
// be left over from an earlier painting: none of them is ours yet.
static void delete_stale_files(const char *dir) {
  DIR *folder = opendir(dir);
  if (!folder) return;
  while (struct dirent *entry = readdir(folder)) {
    if (!is_checkpoint_name(entry->d_name)) continue;
    std::string path = std::string(dir) + "/" + entry->d_name;
    remove_entry(path.c_str());
  }
  closedir(folder);
}

// "<digits>_<digits>.cache", optionally followed by ".tmp".
static int is_checkpoint_name(const char *name) {
  const char *p = name;
  if (!(*p >= '0' && *p <= '9')) return 0;
  while (*p >= '0' && *p <= '9') p++;
  if (*p++ != '_') return 0;
  if (!(*p >= '0' && *p <= '9')) return 0;
  while (*p >= '0' && *p <= '9') p++;
  return std::strcmp(p, ".cache") == 0 || std::strcmp(p, ".cache.tmp") == 0;
}

// A record's zoom comes from a file: one that is not a positive number, or a
// scale cairo could not invert, makes the record a no-op.
static int record_scale(const paint_history_record *record, double zoom, double *scale) {
  if (!std::isfinite(record->_zoom) || record->_zoom <= 0) return 0;
  double s = zoom / record->_zoom;
  if (!(s >= MIN_SCALE && s <= MAX_SCALE)) return 0;
  *scale = s;
  return 1;
}

static void replay_record(paint_history *history, const paint_history_record *record, double scale) {
  paint_context *pc = history->_context;
  const paint_history_hooks &hooks = history->_hooks;
  shape *tool = paint_context_find_tool(pc, record->_operation);
  if (tool) {
    shape_set_data(tool, record->_payload, record->_payload ? record->_size : 0);
    shape_draw(tool, paint_context_get_cairo(pc), nullptr, scale);
    return;
  }
  switch (record->_operation) {
    case PAINT_HISTORY_OP_CLEAR:
      if (hooks.clear)
        hooks.clear(pc);
      else
        paint_context_clear(pc);
      break;
    case PAINT_HISTORY_OP_TEXT:
      call_app_record(hooks.draw_text, pc, record, scale);
      break;
    case PAINT_HISTORY_OP_IMAGE:
      call_app_record(hooks.draw_image, pc, record, scale);
      break;
    case PAINT_HISTORY_OP_CROP:
      call_app_record(hooks.apply_crop, pc, record, scale);
      break;
    default:
      break;
  }
}

static void call_app_record(paint_history_replay_fn fn, paint_context *pc, const paint_history_record *record,
                            double scale) {
  if (fn) fn(pc, record->_payload, record->_payload ? record->_size : 0, scale);
}

static void *show_progress(paint_history *history) {
  if (!history->_hooks.progress_new) return nullptr;
  void *popup = history->_hooks.progress_new(history);
  if (popup) set_progress(history, popup, 0);
  return popup;
}

// The replay runs with the screen's updates locked; the popup is the one
// thing that shows meanwhile.
static void set_progress(paint_history *history, void *popup, int percent) {
  if (!history->_hooks.progress_set) return;
  tscreen *screen = paint_context_get_screen(history->_context);
  uint32_t lock = screen ? tscreen_get_update_lock(screen) : 0;
  if (screen) tscreen_set_update_lock(screen, 0);
  history->_hooks.progress_set(popup, percent);
  if (screen) tscreen_set_update_lock(screen, lock);
}

// A cleared canvas of the picture size at the zoom; 0 when it cannot be made
// (the canvas is then untouched).
static int start_canvas(paint_context *pc) {
  if (!paint_context_apply_zoom(pc)) return 0;
  cairo_t *cr = paint_context_get_cairo(pc);
  if (cr && cairo_status(cr) != CAIRO_STATUS_SUCCESS) paint_context_rebuild_cairo(pc);
  paint_context_clear(pc);
  return 1;
}

static int step_to(paint_history *history, int32_t position) {
  int32_t from = history->_position;
  history->_position = position;
  if (!paint_history_replay(history, 0)) {
    history->_position = from;
    return -1;
  }
  history->_modified = 1;
  return 1;
}

// A checkpoint found unreadable only when its crops end sends the replay back
// to an earlier one, or to the start; the held canvas stays held across. Each
// try starts below the one before, so the replay ends even when the bad file
// stays where it is.
static int replay(paint_history *history, int full, bool hold, replay_stop *stop) {
  paint_context *pc = history->_context;
  if (!pc) return 1;
  replay_stop ignored = {};
  if (!stop) stop = &ignored;
  checkpoint_part part = {history, -1, zoom_percent(paint_context_get_zoom(pc)), INT32_MAX};
  bool held = false;
  replay_end end;
  while ((end = replay_once(history, full, hold ? &held : nullptr, &part, stop)) == REPLAY_UNREADABLE) {
    remove_checkpoint(history, part.index, part.zoom_percent);
    part.below = part.index;
    if (stop->exiting) break;
  }
  // Cut short for an exit: the records are all in memory and the position
  // stays, so what the exit keeps is the whole painting; the canvas, which no
  // one will see again, is drawn from them at the next start. No shortage is
  // told either.
  if (stop->exiting) end = REPLAY_DRAWN;
  if (held) paint_context_release_canvas(pc, end == REPLAY_DRAWN);
  return end == REPLAY_DRAWN;
}

static replay_end replay_once(paint_history *history, int full, bool *held, checkpoint_part *part,
                              replay_stop *stop) {
  paint_context *pc = history->_context;
  double zoom = paint_context_get_zoom(pc);
  int32_t z = part->zoom_percent;
  int32_t position = history->_position;
  *stop = {0, false, false};
  if (position < 0 || position >= history->_count) return start_canvas(pc) ? REPLAY_DRAWN : REPLAY_NO_CANVAS;

  paint_history_record saved = {};
  paint_context_snapshot(pc, &saved);
  void *popup = nullptr;
  bool popup_shown = false;
  if (full || (position > PAINT_HISTORY_CHECKPOINT_STEP &&
               (history->_checkpoint_counts[z] == 0 || zoom >= PROGRESS_ZOOM))) {
    popup = show_progress(history);
    popup_shown = true;
  }
  part->index = -1;
  int32_t start = history->_use_checkpoints ? start_from_checkpoint(history, z, part, held) : 0;
  // Past a loaded checkpoint or a fresh canvas, the canvas shows the records
  // before the one drawn next; a checkpoint that crops follow is read only
  // when they end.
  bool made = start > 0 && part->index < 0;
  if (start == 0) {
    hold_for_crops(history, 0, held);
    made = start_canvas(pc);
  }
  if (!popup_shown && made && start == 0 && position >= PROGRESS_LONG_REPLAY) popup = show_progress(history);

  int32_t threshold = PROGRESS_STEP;
  bool deferring = part->index >= 0;
  int32_t run = start;
  replay_end end = made || deferring ? REPLAY_DRAWN : REPLAY_NO_CANVAS;
  // Ends a run of crops with the canvas it makes.
  auto end_run = [&]() {
    deferring = false;
    int result = paint_context_defer_crops(pc, 0);
    if (result == 1) {
      made = true;
      return true;
    }
    end = result == -1 ? REPLAY_UNREADABLE : REPLAY_NO_CANVAS;
    stop->record = run;
    stop->drawn_before = made;
    return false;
  };
  for (int32_t i = start; end == REPLAY_DRAWN && i <= position; i++) {
    if (i > start && history->_hooks.exit_requested && history->_hooks.exit_requested()) {
      stop->exiting = true;
      break;
    }
    const paint_history_record *record = history->_records[i];
    if (!record) break;
    // A run of crops makes one canvas, not one each.
    bool crop = is_crop(pc, record);
    if (crop && !deferring) {
      paint_context_defer_crops(pc, 1);
      deferring = true;
      run = i;
    } else if (!crop && deferring && !end_run()) {
      break;
    }
    paint_context_restore(pc, record);
    double scale;
    if (record_scale(record, zoom, &scale)) replay_record(history, record, scale);
    cairo_t *cr = paint_context_get_cairo(pc);
    // A context that went into an error state would draw nothing from now on.
    if (cr && cairo_status(cr) != CAIRO_STATUS_SUCCESS) paint_context_rebuild_cairo(pc);
    int32_t done = i + 1;
    if (history->_use_checkpoints && done % PAINT_HISTORY_CHECKPOINT_STEP == 0 && worth_writing(done, position)) {
      if (deferring && !end_run()) break;
      paint_history_save_checkpoint(history, done / PAINT_HISTORY_CHECKPOINT_STEP - 1, z);
    }
    if (popup && position != 0) {
      int percent = int(int64_t(i) * 100 / position);
      if (percent >= threshold) {
        set_progress(history, popup, percent);
        threshold += PROGRESS_STEP;
      }
    }
  }
  if (deferring) end_run();
  if (popup && history->_hooks.progress_free) history->_hooks.progress_free(popup);
  paint_context_restore(pc, &saved);
  return end;
}

// A replay that makes a canvas after drawing holds the one it starts from, so
// that the painting can go back to it when that canvas finds no memory. One
// that makes none draws where it stands: it can fail only before drawing.
// held is null when nothing is to be held.
static void hold_for_crops(paint_history *history, int32_t from, bool *held) {
  if (!held || *held) return;
  for (int32_t i = from; i <= history->_position && history->_records[i]; i++) {
    if (is_crop(history->_context, history->_records[i])) {
      *held = paint_context_hold_canvas(history->_context);
      return;
    }
  }
}

// Loads the latest checkpoint at or below the position, canvas size and base
// picture place included; the index of the first record still to draw, 0
// when the replay starts from a fresh canvas. A checkpoint that fails to load
// (not a plain file, cut short, not ours) is deleted, so that this replay
// writes a good one, and the one before it is tried.
static int32_t start_from_checkpoint(paint_history *history, int32_t z, checkpoint_part *part, bool *held) {
  paint_context *pc = history->_context;
  const paint_history_kept &kept = history->_kept;
  int32_t k = std::min({(history->_position + 1) / PAINT_HISTORY_CHECKPOINT_STEP, history->_checkpoint_counts[z],
                        part->below});
  for (; k > 0; k--) {
    if (!paint_history_checkpoint_exists(history, k - 1, z)) continue;
    int32_t first_after = k * PAINT_HISTORY_CHECKPOINT_STEP;
    bool in_memory = kept.pixels && kept.index == k - 1 && kept.zoom_percent == z;
    part->index = k - 1;
    hold_for_crops(history, first_after, held);
    if (!in_memory && first_after <= history->_position && history->_records[first_after] &&
        is_crop(pc, history->_records[first_after])) {
      if (defer_from_checkpoint(part)) return first_after;
    } else if (paint_history_load_checkpoint(history, k - 1, z)) {
      part->index = -1;
      cairo_t *cr = paint_context_get_cairo(pc);
      if (cr && cairo_status(cr) != CAIRO_STATUS_SUCCESS) paint_context_rebuild_cairo(pc);
      return first_after;
    }
    remove_checkpoint(history, k - 1, z);
  }
  part->index = -1;
  return 0;
}

// Crops follow the checkpoint: they start from a canvas of its size, and its
// pixels are read when they end, only those the crops keep.
static int defer_from_checkpoint(checkpoint_part *part) {
  checkpoint_shape form = {};
  std::string repeats;
  gzFile file = open_checkpoint(part, &form, &repeats);
  if (!file) return 0;
  gzclose(file);
  return paint_context_defer_crops_from(part->history->_context, form.width, form.height, &form.base_offset,
                                        read_checkpoint_part, part);
}

static int read_checkpoint_part(void *user, tbitmap *canvas, const trect *from, const tpoint *to) {
  const checkpoint_part *part = static_cast<const checkpoint_part *>(user);
  checkpoint_shape form = {};
  std::string repeats;
  gzFile file = open_checkpoint(part, &form, &repeats);
  if (!file) return 0;
  bool ok = from->x1 >= 0 && from->y1 >= 0 && from->x2 < form.width && from->y2 < form.height;
  uint32_t stride = uint32_t(form.width) * 4, out_stride = tbitmap_get_stride(canvas);
  size_t bytes = size_t(from->x2 - from->x1 + 1) * 4;
  std::string row(stride, '\0');
  // Every row is read, those the crops keep or not: only the whole file
  // gives the hash that tells whether the kept ones are right.
  for (int32_t y = 0; ok && y < form.height; y++) {
    if (!repeats[size_t(y)]) {
      ok = gzread(file, row.data(), stride) == int(stride);
      form.sum = hash_bytes(form.sum, row.data(), stride);
    }
    if (ok && y >= from->y1 && y <= from->y2)
      std::memcpy(canvas->_pixels + uint64_t(to->y + y - from->y1) * out_stride + uint64_t(to->x) * 4,
                  row.data() + size_t(from->x1) * 4, bytes);
  }
  gzclose(file);
  return ok && form.sum == form.stored_sum;
}

// The checkpoint's file read up to its first row: its shape and which rows
// repeat the one above; null when it is not one we can use.
static gzFile open_checkpoint(const checkpoint_part *part, checkpoint_shape *form, std::string *repeats) {
  char path[PAINT_HISTORY_CACHE_DIR_BYTES + 32];
  uint64_t key;
  if (!paint_history_checkpoint_path(part->history, part->index, part->zoom_percent, path, sizeof path) ||
      !checkpoint_key(part->history, part->index, &key))
    return nullptr;
  gzFile file = open_plain_file(path, &form->file);
  if (!file) return nullptr;
  gzbuffer(file, CHECKPOINT_BUFFER);
  uint8_t header[CHECKPOINT_HEADER];
  bool ok = gzread(file, header, CHECKPOINT_HEADER) == CHECKPOINT_HEADER &&
            read_shape(part->history->_context, header, key, form);
  if (ok) {
    repeats->assign(size_t(form->height), '\0');
    ok = gzread(file, repeats->data(), unsigned(form->height)) == form->height && !(*repeats)[0];
    form->sum = hash_bytes(form->sum, repeats->data(), repeats->size());
  }
  if (ok) return file;
  gzclose(file);
  return nullptr;
}

// The checkpoints a replay passes and writes (a file that exists is left
// alone): each of those in the 200 records below the position, where undo
// goes first, and every eighth before them, so that no undo after a rebuild
// from record 0 replays more than 200 records while the rebuild writes few
// files (each costs about as much as drawing ten strokes). An undo between
// them writes those it passes near its own position in turn.
static bool worth_writing(int32_t done, int32_t position) {
  int32_t index = done / PAINT_HISTORY_CHECKPOINT_STEP - 1, last = (position + 1) / PAINT_HISTORY_CHECKPOINT_STEP - 1;
  return last - index < CHECKPOINTS_NEAR || (index + 1) % CHECKPOINTS_SPACING == 0;
}

// A crop the application makes (no tool has its number).
static bool is_crop(const paint_context *pc, const paint_history_record *record) {
  return record->_operation == PAINT_HISTORY_OP_CROP && !paint_context_find_tool(pc, record->_operation);
}

static void remove_checkpoint(paint_history *history, int32_t index, int32_t zoom_percent) {
  char path[PAINT_HISTORY_CACHE_DIR_BYTES + 32];
  if (paint_history_checkpoint_path(history, index, zoom_percent, path, sizeof path)) remove_entry(path);
  const paint_history_kept &kept = history->_kept;
  if (kept.pixels && kept.index == index && kept.zoom_percent == zoom_percent) forget_kept(history);
}

// A folder under a checkpoint's name goes only when empty; one with files
// stays, and the painting goes on without that checkpoint.
static void remove_entry(const char *path) {
  if (entry_unlink(path) != 0 && errno == EISDIR) rmdir(path);
}

// Never through a link, and never a FIFO or device, whose open or read
// could wait for ever.
static gzFile open_plain_file(const char *path, struct stat *info) {
  int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  gzFile file = nullptr;
  if (fstat(fd, info) == 0 && S_ISREG(info->st_mode)) file = gzdopen(fd, "rb");
  if (!file) close(fd);
  return file;
}

// A fresh file at the temporary name, whatever sat there before (a link, a
// FIFO, a half-written file of a run that ended).
static gzFile create_temporary(const char *path) {
  remove_entry(path);
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  gzFile file = gzdopen(fd, "wb");
  if (!file) {
    close(fd);
    unlink(path);
  }
  return file;
}

static void file_identity(const struct stat &info, paint_history_kept *kept) {
  kept->inode = uint64_t(info.st_ino);
  kept->file_size = uint64_t(info.st_size);
  kept->mtime_sec = int64_t(info.st_mtim.tv_sec);
  kept->mtime_nsec = int64_t(info.st_mtim.tv_nsec);
}

static void keep_checkpoint(paint_history *history, int32_t index, int32_t zoom_percent, const tbitmap *canvas,
                            const checkpoint_shape *form) {
  paint_history_kept &kept = history->_kept;
  uint64_t bytes = uint64_t(tbitmap_get_stride(canvas)) * uint64_t(tbitmap_get_height(canvas));
  if (bytes > KEEP_LIMIT) {
    forget_kept(history);
    return;
  }
  if (kept.pixels && kept.bytes != bytes) {
    tbitmap_free_pixels(kept.pixels);
    kept.pixels = nullptr;
  }
  if (!kept.pixels) kept.pixels = tbitmap_alloc_pixels(bytes);
  if (!kept.pixels) {
    forget_kept(history);
    return;
  }
  std::memcpy(kept.pixels, canvas->_pixels, size_t(bytes));
  file_identity(form->file, &kept);
  kept.key = form->key;
  kept.bytes = bytes;
  kept.index = index;
  kept.zoom_percent = zoom_percent;
  kept.width = uint32_t(tbitmap_get_width(canvas));
  kept.height = uint32_t(tbitmap_get_height(canvas));
  kept.stride = tbitmap_get_stride(canvas);
  kept.base_offset = history->_context->_base_offset;
  kept.zoom = paint_context_get_zoom(history->_context);
}

static int load_kept(paint_history *history, int32_t index, int32_t zoom_percent, const char *path) {
  const paint_history_kept &kept = history->_kept;
  paint_context *pc = history->_context;
  if (!kept.pixels || kept.index != index || kept.zoom_percent != zoom_percent) return 0;
  if (kept.zoom != paint_context_get_zoom(pc)) return 0;
  uint64_t key;
  if (!checkpoint_key(history, index, &key) || key != kept.key) return 0;
  struct stat info;
  paint_history_kept now;
  if (lstat(path, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  file_identity(info, &now);
  if (now.inode != kept.inode || now.file_size != kept.file_size || now.mtime_sec != kept.mtime_sec ||
      now.mtime_nsec != kept.mtime_nsec)
    return 0;
  if (!paint_context_set_canvas_shape(pc, int32_t(kept.width), int32_t(kept.height), &kept.base_offset)) return 0;
  tbitmap *canvas = paint_context_get_canvas(pc);
  if (uint64_t(tbitmap_get_stride(canvas)) * tbitmap_get_height(canvas) != kept.bytes) return 0;
  cairo_t *cr = paint_context_get_cairo(pc);
  cairo_surface_flush(cairo_get_target(cr));
  std::memcpy(canvas->_pixels, kept.pixels, size_t(kept.bytes));
  cairo_surface_mark_dirty(cairo_get_target(cr));
  return 1;
}

// A header this program wrote: the magic, a canvas of a size it can have
// (32 bpp, rows without padding), drawn at the painting's zoom exactly, for
// the records it is to stand for, and whole, so that no canvas is made for a
// size that was never written.
static int read_shape(const paint_context *pc, const uint8_t *header, uint64_t key, checkpoint_shape *form) {
  if (std::memcmp(header, CHECKPOINT_MAGIC, 4) != 0) return 0;
  uint64_t header_sum = paint_history_checkpoint_header_sum(header);
  if (get_u64(header + CHECKPOINT_HEADER_SUM) != header_sum) return 0;
  uint32_t width = tfile_get_u32(header + 4), height = tfile_get_u32(header + 8);
  if (width < 1 || height < 1 || width > uint32_t(TBITMAP_MAX_SIDE) || height > uint32_t(TBITMAP_MAX_SIDE)) return 0;
  if (tfile_get_u32(header + 12) != width * 4) return 0;
  uint64_t zoom_bits = get_u64(header + 24);
  double zoom;
  std::memcpy(&zoom, &zoom_bits, 8);
  if (zoom != paint_context_get_zoom(pc) || get_u64(header + 32) != key) return 0;
  form->width = int32_t(width);
  form->height = int32_t(height);
  form->base_offset = {int32_t(tfile_get_u32(header + 16)), int32_t(tfile_get_u32(header + 20))};
  form->key = key;
  form->sum = header_sum;
  form->stored_sum = get_u64(header + CHECKPOINT_ROWS_SUM);
  return 1;
}

static void forget_kept(paint_history *history) {
  if (history->_kept.pixels) tbitmap_free_pixels(history->_kept.pixels);
  history->_kept = paint_history_kept{};
}

// The key of checkpoint index: the painting's start and the records it holds.
// Their hashes are made once, a step of 25 records at a time, when a
// checkpoint first needs them; 0 when those records are not all there or the
// list of hashes cannot grow.
static int checkpoint_key(paint_history *history, int32_t index, uint64_t *key) {
  if (index < 0 || index >= history->_count / PAINT_HISTORY_CHECKPOINT_STEP) return 0;
  int32_t needed = index + 2;
  if (needed > history->_sums_capacity) {
    int32_t capacity = std::max(needed, history->_sums_capacity * 2);
    void *grown = std::realloc(history->_record_sums, size_t(capacity) * sizeof(uint64_t));
    if (!grown) return 0;
    history->_record_sums = static_cast<uint64_t *>(grown);
    history->_sums_capacity = capacity;
  }
  uint64_t *sums = history->_record_sums;
  if (history->_sums_known == 0) {
    sums[0] = HASH_SEED;
    history->_sums_known = 1;
  }
  for (int32_t j = history->_sums_known; j < needed; j++) {
    uint64_t sum = sums[j - 1];
    for (int32_t i = (j - 1) * PAINT_HISTORY_CHECKPOINT_STEP; i < j * PAINT_HISTORY_CHECKPOINT_STEP; i++) {
      if (!history->_records[i]) return 0;
      sum = record_sum(sum, history->_records[i]);
    }
    sums[j] = sum;
    history->_sums_known = j + 1;
  }
  *key = hash_bytes(start_sum(history), &sums[needed - 1], sizeof(uint64_t));
  return 1;
}

// What the canvas is before the first record: the picture size, the new
// colour and the base picture, whose pixels are hashed once per painting.
static uint64_t start_sum(paint_history *history) {
  const paint_context *pc = history->_context;
  const tbitmap *base = paint_context_get_base_picture(pc);
  if (!history->_base_summed || history->_summed_base != base) {
    uint64_t sum = HASH_SEED;
    if (base) {
      int32_t width = tbitmap_get_width(base), height = tbitmap_get_height(base);
      int32_t size[2] = {width, height};
      sum = hash_bytes(sum, size, sizeof size);
      size_t row_bytes = size_t(width) * uint32_t(tbitmap_get_bpp(base)) / 8;
      for (int32_t y = 0; y < height; y++) sum = hash_bytes(sum, tbitmap_get_row(base, y), row_bytes);
    }
    history->_base_sum = sum;
    history->_summed_base = base;
    history->_base_summed = 1;
  }
  tcolor new_color;
  paint_context_get_new_color(pc, &new_color);
  uint32_t fields[4] = {uint32_t(paint_context_get_picture_width(pc)), uint32_t(paint_context_get_picture_height(pc)),
                        0, 0};
  std::memcpy(&fields[2], &new_color, 4);
  return hash_bytes(history->_base_sum, fields, sizeof fields);
}

// Everything of a record that decides what its replay draws.
static uint64_t record_sum(uint64_t sum, const paint_history_record *record) {
  uint32_t fields[10] = {uint32_t(record->_operation), uint32_t(record->_size), uint32_t(record->_view_x),
                         uint32_t(record->_view_y), 0, 0, record->_pen_size, record->_rubber_size,
                         uint32_t(record->_pen_style), record->_payload ? 1u : 0u};
  std::memcpy(&fields[4], &record->_fore_color, 4);
  std::memcpy(&fields[5], &record->_back_color, 4);
  sum = hash_bytes(sum, fields, sizeof fields);
  sum = hash_bytes(sum, &record->_zoom, sizeof record->_zoom);
  if (record->_payload && record->_size > 0) sum = hash_bytes(sum, record->_payload, size_t(record->_size));
  return sum;
}

static uint64_t hash_round(uint64_t lane, uint64_t word) {
  lane += word * HASH_PRIME_2;
  lane = lane << 31 | lane >> 33;
  return lane * HASH_PRIME_1;
}

static uint64_t hash_bytes(uint64_t sum, const void *data, size_t size) {
  const uint8_t *bytes = static_cast<const uint8_t *>(data);
  uint64_t lanes[4] = {sum, sum + HASH_PRIME_1, sum + HASH_PRIME_2, sum - HASH_PRIME_1};
  size_t at = 0;
  for (; at + 32 <= size; at += 32)
    for (int k = 0; k < 4; k++) lanes[k] = hash_round(lanes[k], get_u64(bytes + at + 8 * k));
  uint64_t tail[4] = {};
  std::memcpy(tail, bytes + at, size - at);
  uint64_t mixed = uint64_t(size);
  for (int k = 0; k < 4; k++) mixed = hash_round(mixed ^ hash_round(lanes[k], tail[k]), HASH_PRIME_1);
  mixed ^= mixed >> 29;
  mixed *= HASH_PRIME_2;
  return mixed ^ mixed >> 32;
}

static void put_u64(uint8_t *at, uint64_t value) {
  tfile_put_u32(at, uint32_t(value));
  tfile_put_u32(at + 4, uint32_t(value >> 32));
}

static uint64_t get_u64(const uint8_t *at) {
  return uint64_t(tfile_get_u32(at)) | uint64_t(tfile_get_u32(at + 4)) << 32;
}
