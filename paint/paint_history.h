// paint_history: the painting as the list of operations that made it, with
// undo, redo and the rebuild of the canvas by replaying the list.
//
// Owns the records and their payloads, and the checkpoint files in the cache
// folder (canvas pixels every 25 records, per zoom percent). Borrows the
// painting context it replays onto and the tools registered in it. The
// operations the application owns (text 1007, picture 1009, crop 1010, clear
// 1004) and the progress popup are reached through hooks it installs; with no
// hook a 1007, 1009 or 1010 record is skipped on replay, a 1004 record clears
// through the painting context, and no popup is shown.
//
// Invariants:
// - records 0..position are applied to the canvas; after an add the new
//   record is the last and the position points at it; -1 is "nothing
//   applied", whether the list is empty or every record was undone;
// - checkpoint i of zoom percent z holds the canvas after the first
//   25 x (i + 1) records of the current list, drawn at that zoom; a file
//   that could be stale is deleted before it could be read; a replay writes
//   those it passes in the 200 records below its position and every eighth;
// - the live canvas equals a rebuild of it from the list.
//
// Checkpoint file "<cache>/<index>_<zoom percent>.cache", one gzip stream
// (level 1, default strategy) of:
//
//   | offset | size       | field                                          |
//   |--------|------------|------------------------------------------------|
//   | 0      | 4          | magic "BVC3"                                   |
//   | 4      | 4          | canvas width (u32, little-endian)              |
//   | 8      | 4          | canvas height h (u32)                          |
//   | 12     | 4          | row stride in bytes (u32), 4 x width           |
//   | 16     | 8          | the base picture's place on the canvas (2 i32) |
//   | 24     | 8          | the zoom it was drawn at (IEEE double)         |
//   | 32     | 8          | key: hash of the painting's start (picture     |
//   |        |            | size, new colour, base picture) and of every   |
//   |        |            | record before it (u64)                         |
//   | 40     | 8          | hash of bytes 0..39 (u64)                      |
//   | 48     | 8          | that hash continued over the row marks and the |
//   |        |            | rows stored, in file order (u64)               |
//   | 56     | h          | per row: 1 when it equals the row above, else 0|
//   | 56 + h | stride x n | the n rows marked 0, top-down, 32 bpp          |
//
// Loading one gives the canvas its size and the base picture its place, so a
// replay draws only the records after it, crops included.
// Checkpoints are the program's own files: only a plain file is read, never
// through a link and never with a read that could wait (a FIFO). A file of
// another zoom, whose header is not one we write, whose key is not that of
// the records it would stand for, or whose header or rows do not give their
// hash, is deleted (an empty folder too), and the replay starts from an
// earlier one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "trect.h"

struct paint_context;
struct paint_history;
struct tbitmap;

// Operations that are not tools.
enum {
  PAINT_HISTORY_OP_CLEAR = 1004,
  PAINT_HISTORY_OP_TEXT = 1007,
  PAINT_HISTORY_OP_IMAGE = 1009,
  PAINT_HISTORY_OP_CROP = 1010,
};

constexpr int PAINT_HISTORY_CHECKPOINT_STEP = 25;
constexpr int PAINT_HISTORY_ZOOM_SLOTS = 1024;
constexpr int PAINT_HISTORY_CACHE_DIR_BYTES = 256;

struct paint_history_record {
  int32_t _view_x, _view_y;
  tcolor _fore_color;
  tcolor _back_color;
  uint8_t _pen_size;
  uint8_t _rubber_size;
  int32_t _pen_style;
  double _zoom;
  int32_t _operation;
  int32_t _size;
  uint8_t *_payload;
};

// Replays one application-owned record: (context, payload, size, scale);
// scale = current zoom / the record's zoom.
typedef int (*paint_history_replay_fn)(paint_context *pc, const uint8_t *payload, int32_t size, double scale);

struct paint_history_hooks {
  paint_history_replay_fn draw_text;   // 1007
  paint_history_replay_fn draw_image;  // 1009
  paint_history_replay_fn apply_crop;  // 1010
  void (*clear)(paint_context *pc);    // 1004; null: paint_context_clear
  // The progress popup: new gives the shown popup (null: none), set moves
  // it to a percent, free closes it.
  void *(*progress_new)(paint_history *history);
  void (*progress_set)(void *popup, int percent);
  void (*progress_free)(void *popup);
  // Asked between the records of a replay: 1 ends it there, however far it
  // got and whatever it would try again (the program is about to end; the
  // position stays, the canvas may show less). Null: never.
  int (*exit_requested)();
};

// The checkpoint read last, kept in memory while its file is the one it was
// read from (same inode, size and modification time) and its key that of the
// records, so that undoing step by step within 25 records does not
// decompress it again and again.
struct paint_history_kept {
  uint8_t *pixels;
  uint64_t bytes;
  int32_t index, zoom_percent;
  uint32_t width, height, stride;
  tpoint base_offset;
  double zoom;
  uint64_t key;
  uint64_t inode, file_size;
  int64_t mtime_sec, mtime_nsec;
};

struct paint_history {
  paint_history_record **_records;
  int32_t _count;
  int32_t _capacity;
  paint_context *_context;
  int32_t _position;
  char _cache_dir[PAINT_HISTORY_CACHE_DIR_BYTES];
  int32_t _checkpoint_counts[PAINT_HISTORY_ZOOM_SLOTS];
  uint8_t _modified;
  uint8_t _use_checkpoints;
  paint_history_hooks _hooks;
  paint_history_kept _kept;
  // What a checkpoint's key is made of: _record_sums[j] is the hash of
  // records 0..25 j - 1, known for j < _sums_known (dropping records drops
  // theirs); the base picture's hash, known since the last reset for
  // _summed_base when _base_summed is 1.
  uint64_t *_record_sums;
  int32_t _sums_known, _sums_capacity;
  uint64_t _base_sum;
  const tbitmap *_summed_base;
  uint8_t _base_summed;
};

// cache_dir is the application's cache folder (UTF-8; null: no checkpoints);
// it is made when missing, and checkpoint files an earlier run left there are
// deleted. Null when memory is short.
paint_history *paint_history_new(paint_context *context, const char *cache_dir);
void paint_history_free(paint_history *history);
void paint_history_reset(paint_history *history);
void paint_history_set_hooks(paint_history *history, const paint_history_hooks *hooks);

// Appends an operation made just now (the canvas already shows it): drops the
// redo tail and its checkpoints, snapshots the drawing state and the zoom,
// writes the checkpoint the new count completes. Null when memory is short
// (nothing changes then).
paint_history_record *paint_history_add(paint_history *history, int32_t operation, const void *payload,
                                        int32_t size);
// The document reader's append: the record is taken as it is (its stored
// state and zoom), owned from now on; no checkpoint is written and the
// position is left alone. 0 when the list cannot grow (the record stays the
// caller's).
int paint_history_append_record(paint_history *history, paint_history_record *record);

int paint_history_can_undo(const paint_history *history);
int paint_history_can_redo(const paint_history *history);
// 1 moved and drawn, 0 nothing to undo or redo, -1 no memory for a canvas
// the replay needs: the position and the canvas are then as they were.
int paint_history_undo(paint_history *history);
int paint_history_redo(paint_history *history);
// Draws the painting at its position from nothing (after an open, a new
// picture, a zoom change). 0 when memory for a canvas is lacking: the
// position then moves back to the last record before the one that needs it,
// the canvas showing that, and the later records stay for redo; when not even
// a cleared canvas can be made, position and canvas stay as they were.
int paint_history_rebuild(paint_history *history);
// Draws the canvas for the current position: from a cleared canvas, or from
// the nearest checkpoint at or below the position. 0 when a canvas it needs
// cannot be made: the canvas is then as it was.
int paint_history_replay(paint_history *history, int full);

int32_t paint_history_get_count(const paint_history *history);
paint_history_record *paint_history_get_record(const paint_history *history, int32_t index);
int32_t paint_history_get_position(const paint_history *history);
// Positions outside -1..count - 1 are taken as the nearest end.
void paint_history_set_position(paint_history *history, int32_t position);
void paint_history_set_modified(paint_history *history, int modified);
int paint_history_is_modified(const paint_history *history);
const char *paint_history_get_cache_dir(const paint_history *history);
// Checkpoints can be switched off, so that a replay starts from record 0
// and writes nothing (a check that the canvas equals a rebuild from scratch).
void paint_history_set_use_checkpoints(paint_history *history, int on);
// What the record list grows through (realloc's contract): a test puts in
// one that refuses. Null puts back std::realloc; gives the one it replaces.
typedef void *(*paint_history_grow_fn)(void *block, size_t bytes);
paint_history_grow_fn paint_history_set_list_grow(paint_history_grow_fn fn);

paint_history_record *paint_history_record_new(int32_t operation, const void *payload, int32_t size);
void paint_history_record_free(paint_history_record *item);

// The largest canvas a painting may ask for, in pixels of the picture (zoom
// 1.0): that of a screenshot of the largest screen, 8192 x 8192, which no
// new painting or canvas resize goes beyond. An opened picture may be
// larger (it is shown at a smaller zoom); its painting may then be as large
// as the picture.
constexpr int64_t PAINT_HISTORY_MAX_CANVAS_PIXELS = int64_t(8192) * 8192;
// 1 when a canvas of width x height picture pixels lies within that bound,
// or within base_pixels (the painting's base picture; 0 without one).
int paint_history_canvas_fits(double width, double height, int64_t base_pixels);
// 0 when the record is a crop/resize (its 32-byte payload starts with the new
// rectangle, both corners inclusive, in canvas pixels at the record's zoom)
// whose canvas goes beyond that bound; 1 for every other record.
int paint_history_record_fits(const paint_history_record *record, int64_t base_pixels);

int paint_history_save_checkpoint(paint_history *history, int32_t index, int32_t zoom_percent);
int paint_history_load_checkpoint(paint_history *history, int32_t index, int32_t zoom_percent);
int paint_history_checkpoint_exists(const paint_history *history, int32_t index, int32_t zoom_percent);
void paint_history_delete_zoom_checkpoints(paint_history *history, int32_t zoom_percent);
void paint_history_delete_checkpoint_index(paint_history *history, int32_t index);
int32_t paint_history_get_checkpoint_count(const paint_history *history, int32_t zoom_percent);
// The hash a checkpoint's header carries over its first 40 bytes (its
// header is 56 bytes; the hash sits at byte 40), as the writer seals it and
// the reader checks it.
uint64_t paint_history_checkpoint_header_sum(const uint8_t *header);
// The file name of a checkpoint; writes at most n bytes with the terminator.
int paint_history_checkpoint_path(const paint_history *history, int32_t index, int32_t zoom_percent, char *out,
                                  int n);
// What a checkpoint's file is deleted through (unlink's contract, errno
// included): a test puts in one that refuses as a file system gone read-only
// does (root ignores modes). Null puts back unlink; gives the one it replaces.
typedef int (*paint_history_unlink_fn)(const char *path);
paint_history_unlink_fn paint_history_set_unlink(paint_history_unlink_fn fn);
