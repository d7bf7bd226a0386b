// Reads arbitrary bytes as a checkpoint file, as the cache folder may hold
// one in place of a file the painting wrote. Undo, redo and a replay from it
// must neither crash, hang nor read out of bounds, and the canvas must equal
// a replay from record 0 that uses no checkpoint: a mismatch is a finding.
//
// The painting: a 96 x 64 picture and 60 records of lines and filled
// rectangles, with a crop at record 20 (the base picture moves), a clear at
// 22 and at 59 (the moved picture shows again, where the checkpoint before
// it says) and a crop at 50, right after checkpoint 1 (records 0..49): that
// checkpoint is read the way a run of crops reads it, checkpoint 0 whole. No
// clear lies between a checkpoint and the undo that reads it, which would
// paint over what the checkpoint gave.
// Input: the file's bytes. It takes the place of checkpoint 1 for an undo at
// the end of the list and a redo, then of checkpoint 0 for an undo at
// record 40; the other checkpoint is the good one each time.
// An input that is a gzip stream is the file as it is. Any other is the
// stream's content, which zlib reads as it stands from a file without the
// gzip magic; the target seals it first: its header hash made again over
// the (mutated) header, so that the shape checks behind that hash see what
// the fuzzer made of the header, and the hash of the rest set to the good
// checkpoint's, so that only the good file's bytes pass the end check. (The
// input never holds the value that check compares with: libFuzzer copies a
// comparison's operands into the input, and would forge it.)
// With CHECKPOINT_FUZZ_SEEDS set to a folder, the good files are copied
// there first, as they are and unpacked: the seeds are made so, again
// whenever the painting or the file format changes.
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_canvas.h"
#include "fuzz_file.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_main.h"
#include "shape_line.h"
#include "shape_rect.h"
#include "tbitmap.h"

namespace {

constexpr int32_t RECORDS = 60, WIDTH = 96, HEIGHT = 64;
constexpr int32_t ZOOM_PERCENT = 100;
// The checkpoint header: the hash of bytes 0..39 at 40, that of the rest at 48.
constexpr size_t HEADER_SUM_AT = 40, ROWS_SUM_AT = 48;

struct picture {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> bytes;
  bool operator==(const picture &o) const { return width == o.width && height == o.height && bytes == o.bytes; }
};

struct painting {
  paint_context *pc;
  paint_history *history;
  std::string cache;
  std::vector<uint8_t> good[2];  // checkpoints 0 and 1 as the painting wrote them
  uint64_t rows_sum[2];          // and the hash of the rest of each
  picture at_39, at_58, at_59;   // replays from record 0
};

std::vector<uint8_t> read_all(const std::string &path) {
  std::vector<uint8_t> bytes;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) std::abort();
  uint8_t piece[4096];
  for (size_t got; (got = std::fread(piece, 1, sizeof piece, f)) > 0;) bytes.insert(bytes.end(), piece, piece + got);
  std::fclose(f);
  return bytes;
}

uint64_t get_u64(const uint8_t *at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; i--) value = value << 8 | at[i];
  return value;
}

void put_u64(uint8_t *at, uint64_t value) {
  for (int i = 0; i < 8; i++) at[i] = uint8_t(value >> (8 * i));
}

// Content sealed as the input comment says, rows_sum the hash of the rest
// of the good checkpoint it stands in for; one too short for a header is
// left as it is.
void seal(std::vector<uint8_t> &content, uint64_t rows_sum) {
  if (content.size() < ROWS_SUM_AT + 8) return;
  put_u64(content.data() + HEADER_SUM_AT, paint_history_checkpoint_header_sum(content.data()));
  put_u64(content.data() + ROWS_SUM_AT, rows_sum);
}

std::vector<uint8_t> unpacked(const std::string &path) {
  std::vector<uint8_t> bytes;
  gzFile file = gzopen(path.c_str(), "rb");
  if (!file) std::abort();
  uint8_t piece[4096];
  for (int got; (got = gzread(file, piece, sizeof piece)) > 0;) bytes.insert(bytes.end(), piece, piece + got);
  gzclose(file);
  return bytes;
}

void write_seed(const char *folder, const std::string &name, const std::vector<uint8_t> &bytes) {
  FILE *f = std::fopen((std::string(folder) + "/" + name).c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// A new file under the checkpoint's name, so that nothing the history read
// before from that name passes for it.
void put_checkpoint(const painting *p, int32_t index, const uint8_t *data, size_t size) {
  std::string staged = p->cache + "/input";
  FILE *f = std::fopen(staged.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  char path[PAINT_HISTORY_CACHE_DIR_BYTES + 32];
  if (!paint_history_checkpoint_path(p->history, index, ZOOM_PERCENT, path, sizeof path)) std::abort();
  if (std::rename(staged.c_str(), path) != 0) std::abort();
}

picture shown(paint_context *pc) {
  fuzz_canvas_check(pc);
  tbitmap *canvas = paint_context_get_canvas(pc);
  picture shot;
  shot.width = tbitmap_get_width(canvas);
  shot.height = tbitmap_get_height(canvas);
  shot.bytes.assign(canvas->_pixels, canvas->_pixels + size_t(tbitmap_get_stride(canvas)) * size_t(shot.height));
  return shot;
}

picture rebuilt_at(painting *p, int32_t position) {
  paint_history_set_use_checkpoints(p->history, 0);
  paint_history_set_position(p->history, position);
  paint_history_replay(p->history, 0);
  paint_history_set_use_checkpoints(p->history, 1);
  return shown(p->pc);
}

void append(paint_history *history, int32_t operation, const std::vector<int32_t> &words, tcolor fore) {
  paint_history_record *record =
      paint_history_record_new(operation, words.data(), int32_t(words.size() * sizeof(int32_t)));
  if (!record) std::abort();
  record->_zoom = 1.0;
  record->_pen_size = 3;
  record->_fore_color = fore;
  if (!paint_history_append_record(history, record)) std::abort();
}

painting *the_painting() {
  static painting *p = [] {
    fuzz_use_own_home("checkpoint");
    painting *made = new painting();
    made->cache = std::string(std::getenv("BRIVOLA_HOME")) + "/cache";
    tcolor black = {0, 0, 0, 255}, white = {255, 255, 255, 255};
    made->pc = paint_context_new(nullptr, WIDTH, HEIGHT, black, white, white, 3, 0, 0, 0, 9);
    tbitmap *photo = tbitmap_new(WIDTH, -HEIGHT, 32);
    if (!made->pc || !photo) std::abort();
    for (int32_t y = 0; y < HEIGHT; y++)
      for (int32_t x = 0; x < WIDTH; x++)
        tbitmap_fill_rect(photo, x, y, x, y, 0xFF000000u | uint32_t(x * 2654435 + y * 40503));
    if (!paint_context_load_picture(made->pc, photo)) std::abort();
    tbitmap_free(photo);
    made->history = paint_history_new(made->pc, made->cache.c_str());
    if (!made->history) std::abort();
    paint_history_hooks hooks = {};
    hooks.apply_crop = paint_main_apply_crop;
    paint_history_set_hooks(made->history, &hooks);
    paint_context_add_tool(made->pc, shape_line_new(SHAPE_ID_LINE, u"Line", made->pc, made->history, nullptr));
    paint_context_add_tool(made->pc,
                           shape_rect_new(SHAPE_ID_FILLED_RECT, u"Rectangle", made->pc, made->history, 2, nullptr));
    for (int32_t i = 0; i < RECORDS; i++) {
      tcolor fore = {uint8_t(i * 41), uint8_t(i * 13), uint8_t(200 - i), uint8_t(i % 3 ? 255 : 140)};
      if (i == 20)
        append(made->history, PAINT_HISTORY_OP_CROP, {5, 4, 90, 60, 0, 0, WIDTH - 1, HEIGHT - 1}, fore);
      else if (i == 50)
        append(made->history, PAINT_HISTORY_OP_CROP, {-6, -3, 95, 70, 0, 0, 85, 56}, fore);
      else if (i == 22 || i == 59)
        append(made->history, PAINT_HISTORY_OP_CLEAR, {}, fore);
      else
        append(made->history, i % 2 ? SHAPE_ID_LINE : SHAPE_ID_FILLED_RECT,
               {i * 7 % 80, i * 5 % 50, i * 11 % 90 + 3, i * 3 % 60 + 2}, fore);
    }
    made->at_39 = rebuilt_at(made, 39);
    made->at_58 = rebuilt_at(made, 58);
    made->at_59 = rebuilt_at(made, 59);
    // The rebuild at the end of the list writes both checkpoints.
    paint_history_rebuild(made->history);
    if (!(shown(made->pc) == made->at_59)) std::abort();
    const char *seeds = std::getenv("CHECKPOINT_FUZZ_SEEDS");
    for (int32_t index = 0; index < 2; index++) {
      char path[PAINT_HISTORY_CACHE_DIR_BYTES + 32];
      paint_history_checkpoint_path(made->history, index, ZOOM_PERCENT, path, sizeof path);
      made->good[index] = read_all(path);
      std::vector<uint8_t> content = unpacked(path), sealed = content;
      if (content.size() < ROWS_SUM_AT + 8) std::abort();
      made->rows_sum[index] = get_u64(content.data() + ROWS_SUM_AT);
      seal(sealed, made->rows_sum[index]);
      if (sealed != content) {
        std::fprintf(stderr, "checkpoint_fuzz: a good checkpoint sealed again is not as written\n");
        std::abort();
      }
      if (!seeds) continue;
      write_seed(seeds, "good_" + std::to_string(index), made->good[index]);
      write_seed(seeds, "unpacked_" + std::to_string(index), content);
    }
    return made;
  }();
  return p;
}

void expect(painting *p, const picture &rebuilt) {
  if (!(shown(p->pc) == rebuilt)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  painting *p = the_painting();
  for (int32_t odd = 1; odd >= 0; odd--) {
    int32_t good = 1 - odd;
    put_checkpoint(p, good, p->good[good].data(), p->good[good].size());
    if (size >= 2 && data[0] == 0x1f && data[1] == 0x8b) {
      put_checkpoint(p, odd, data, size);
    } else {
      std::vector<uint8_t> content(data, data + size);
      seal(content, p->rows_sum[odd]);
      put_checkpoint(p, odd, content.data(), content.size());
    }
    if (odd == 1) {
      paint_history_set_position(p->history, 59);
      paint_history_undo(p->history);
      expect(p, p->at_58);
      paint_history_redo(p->history);
      expect(p, p->at_59);
    } else {
      paint_history_set_position(p->history, 40);
      paint_history_undo(p->history);
      expect(p, p->at_39);
    }
  }
  return 0;
}
