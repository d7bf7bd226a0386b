// The undo history: checkpoints written, loaded and dropped exactly when the
// records they hold stay or go (across zooms too), stale or foreign files
// never read, the application's operations reached through its hooks, and
// hostile records that replay without harm. Every scenario ends with the
// canvas compared against a rebuild from record 0.
#include "paint_history.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <random>
#include <vector>

#include "cairo_calls.h"
#include "paint_fixture.h"
#include "test_env.h"
#include "tfile.h"

namespace {

// A tool that records which payloads a replay hands it, and draws a
// translucent square for each, so that a record drawn twice shows.
constexpr int32_t MARK_ID = 40;

struct mark_tool {
  shape base;
  int32_t value;
  int32_t has_value;
  std::vector<int32_t> *log;
};

void mark_set_data(shape *tool, const void *payload, int32_t length) {
  mark_tool *mark = reinterpret_cast<mark_tool *>(tool);
  mark->has_value = payload && length == 4;
  if (mark->has_value) std::memcpy(&mark->value, payload, 4);
}

void mark_draw(shape *tool, cairo_t *cr, const trect *, double scale) {
  mark_tool *mark = reinterpret_cast<mark_tool *>(tool);
  if (!mark->has_value || !cr) return;
  mark->log->push_back(mark->value);
  paint_context *pc = tool->_context;
  double x = (mark->value * 37) % 180, y = (mark->value * 23) % 130;
  cairo_set_source_rgba(cr, paint_context_get_fore_r(pc), paint_context_get_fore_g(pc), paint_context_get_fore_b(pc),
                        paint_context_get_fore_a(pc));
  cairo_new_path(cr);
  cairo_rectangle(cr, x * scale, y * scale, 17 * scale, 13 * scale);
  cairo_fill(cr);
}

struct hook_calls {
  int progress_new = 0, progress_free = 0;
  std::vector<int> percents;
  std::vector<std::pair<int32_t, double>> app;  // operation, scale
};
hook_calls *calls = nullptr;

int popup_token;
void *count_progress_new(paint_history *) {
  calls->progress_new++;
  return &popup_token;
}
void count_progress_set(void *, int percent) { calls->percents.push_back(percent); }
void count_progress_free(void *) { calls->progress_free++; }
template <int32_t OP>
int note(paint_context *, const uint8_t *, int32_t, double scale) {
  calls->app.push_back({OP, scale});
  return 1;
}
// The application's crop: new rect then old rect, eight i32.
int apply_crop(paint_context *pc, const uint8_t *payload, int32_t size, double scale) {
  calls->app.push_back({PAINT_HISTORY_OP_CROP, scale});
  if (size != 32) return 0;
  int32_t r[4];
  std::memcpy(r, payload, 16);
  int32_t l = int32_t(r[0] * scale), t = int32_t(r[1] * scale), rt = int32_t(r[2] * scale),
          b = int32_t(r[3] * scale);
  return paint_context_resize_canvas(pc, l, t, rt - l + 1, b - t + 1);
}

bool file_exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

void write_gz(const std::string &path, const std::vector<uint8_t> &bytes) {
  gzFile file = gzopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  gzwrite(file, bytes.data(), unsigned(bytes.size()));
  gzclose(file);
}

// What a checkpoint file holds, unpacked.
std::vector<uint8_t> read_gz(const std::string &path) {
  std::vector<uint8_t> bytes;
  gzFile file = gzopen(path.c_str(), "rb");
  if (!file) return bytes;
  uint8_t piece[4096];
  for (int got; (got = gzread(file, piece, sizeof piece)) > 0;) bytes.insert(bytes.end(), piece, piece + got);
  gzclose(file);
  return bytes;
}

// Never waits: a FIFO left where a file should be reads as empty.
std::vector<uint8_t> read_file(const std::string &path) {
  std::vector<uint8_t> bytes;
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  uint8_t piece[4096];
  for (ssize_t got; fd >= 0 && (got = read(fd, piece, sizeof piece)) > 0;)
    bytes.insert(bytes.end(), piece, piece + got);
  if (fd >= 0) close(fd);
  return bytes;
}

void write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char *>(bytes.data()),
                                                                  std::streamsize(bytes.size()));
}

// The header of a checkpoint file: the width at 4, the stride at 12, the row
// marks at 56.
constexpr size_t WIDTH_AT = 4, STRIDE_AT = 12, MARKS_AT = 56;

// The canvas as it shows: its size and pixels.
struct picture {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> bytes;
  bool operator==(const picture &o) const { return width == o.width && height == o.height && bytes == o.bytes; }
};

}  // namespace

class HistoryTest : public PaintTest {
 protected:
  void SetUp() override {
    PaintTest::SetUp();
    calls = &hook_calls_;
    install_mark();
  }
  void TearDown() override {
    PaintTest::TearDown();
    calls = nullptr;
  }
  void install_mark() {
    mark_ = mark_tool{};
    shape_init(&mark_.base, MARK_ID, u"Mark", pc, history, nullptr);
    shape_set_data_fn(&mark_.base, mark_set_data);
    shape_set_draw_fn(&mark_.base, mark_draw);
    mark_.log = &log;
    paint_context_add_tool(pc, &mark_.base);
  }
  void install_hooks() {
    paint_history_hooks hooks = {};
    hooks.draw_text = note<PAINT_HISTORY_OP_TEXT>;
    hooks.draw_image = note<PAINT_HISTORY_OP_IMAGE>;
    hooks.apply_crop = apply_crop;
    hooks.progress_new = count_progress_new;
    hooks.progress_set = count_progress_set;
    hooks.progress_free = count_progress_free;
    paint_history_set_hooks(history, &hooks);
  }
  // Draws record n as the live tool would, then adds it.
  void add_marks(int32_t from, int32_t count) {
    for (int32_t v = from; v < from + count; v++) {
      paint_context_set_fore_color(pc, test_rgba(v * 41 % 256, v * 13 % 256, 90, 150));
      shape_set_data(&mark_.base, &v, 4);
      shape_draw(&mark_.base, paint_context_get_cairo(pc), nullptr, 1.0);
      ASSERT_NE(paint_history_add(history, MARK_ID, &v, 4), nullptr);
    }
    log.clear();
  }
  std::vector<int32_t> range(int32_t from, int32_t to) {
    std::vector<int32_t> v;
    for (int32_t i = from; i <= to; i++) v.push_back(i);
    return v;
  }
  void go_to(int32_t position) {
    paint_history_set_position(history, position);
    paint_history_replay(history, 0);
    log.clear();
  }
  void set_zoom(double zoom) {
    ASSERT_EQ(paint_context_set_zoom(pc, zoom), 1);
    paint_history_rebuild(history);
  }

  mark_tool mark_;
  std::vector<int32_t> log;
  hook_calls hook_calls_;
};

TEST_F(HistoryTest, ACheckpointIsWrittenWithEveryTwentyFifthRecord) {
  add_marks(0, 24);
  EXPECT_FALSE(file_exists(checkpoint_path(0, 100)));
  add_marks(24, 1);
  EXPECT_TRUE(file_exists(checkpoint_path(0, 100)));
  EXPECT_EQ(paint_history_get_checkpoint_count(history, 100), 1);
  add_marks(25, 25);
  EXPECT_TRUE(file_exists(checkpoint_path(1, 100)));
  EXPECT_EQ(paint_history_get_checkpoint_count(history, 100), 2);
  EXPECT_EQ(paint_history_get_position(history), 49);
  EXPECT_TRUE(paint_history_is_modified(history));
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(HistoryTest, UndoAtSixtyLoadsTheSecondCheckpointAndReplaysOnlyWhatFollows) {
  install_hooks();
  add_marks(0, 60);
  paint_history_undo(history);
  EXPECT_EQ(paint_history_get_position(history), 58);
  EXPECT_EQ(log, range(50, 58));
  EXPECT_EQ(hook_calls_.progress_new, 0);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(HistoryTest, UndoAtTwiceTheZoomShowsTheProgressPopup) {
  install_hooks();
  set_zoom(2.0);
  hook_calls_ = {};
  add_marks(0, 60);
  paint_history_undo(history);
  EXPECT_EQ(std::make_pair(hook_calls_.progress_new, hook_calls_.progress_free), std::make_pair(1, 1));
  ASSERT_FALSE(hook_calls_.percents.empty());
  EXPECT_EQ(std::make_pair(hook_calls_.percents.front(), hook_calls_.percents.back()), std::make_pair(0, 100));
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(HistoryTest, ANewRecordAfterUndoDropsTheTailAndItsCheckpoints) {
  add_marks(0, 60);
  while (paint_history_get_position(history) > 30) paint_history_undo(history);
  add_marks(1000, 1);
  EXPECT_EQ(paint_history_get_count(history), 32);
  EXPECT_EQ(paint_history_get_position(history), 31);
  EXPECT_FALSE(file_exists(checkpoint_path(1, 100)));
  EXPECT_TRUE(file_exists(checkpoint_path(0, 100)));
  EXPECT_FALSE(paint_history_can_redo(history));
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(HistoryTest, CheckpointsOfAnotherZoomAreNeverReadStale) {
  set_zoom(2.0);
  add_marks(0, 100);
  EXPECT_EQ(paint_history_get_checkpoint_count(history, 200), 4);
  go_to(30);
  set_zoom(1.0);
  add_marks(2000, 1);
  // The records 31..99 are gone: so are the checkpoints 1..3 drawn from them at 200 %.
  for (int32_t i = 1; i <= 3; i++) EXPECT_FALSE(file_exists(checkpoint_path(i, 200))) << i;
  EXPECT_TRUE(file_exists(checkpoint_path(0, 200)));
  add_marks(3000, 40);
  set_zoom(2.0);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
  paint_history_undo(history);
  paint_history_undo(history);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

// A checkpoint kept in memory is read again when its records or its file changed.
TEST_F(HistoryTest, ACheckpointKeptInMemoryIsNotReusedAfterItsRecordsOrFileChanged) {
  add_marks(0, 50);
  ASSERT_EQ(paint_history_load_checkpoint(history, 1, 100), 1);  // now kept in memory
  paint_history_set_position(history, 30);
  paint_history_set_use_checkpoints(history, 0);
  paint_history_replay(history, 0);
  paint_history_set_use_checkpoints(history, 1);
  add_marks(500, 19);  // records 31..49 are new: checkpoint 1 is written again
  ASSERT_TRUE(file_exists(checkpoint_path(1, 100)));
  auto drawn = canvas_bytes();
  ASSERT_EQ(paint_history_load_checkpoint(history, 1, 100), 1);
  EXPECT_EQ(canvas_bytes(), drawn);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
  // Same file, same size, new bytes and a new time: the file is read again.
  std::fstream(checkpoint_path(1, 100), std::ios::in | std::ios::out | std::ios::binary) << "garbage";
  timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, checkpoint_path(1, 100).c_str(), later, 0), 0);
  EXPECT_EQ(paint_history_load_checkpoint(history, 1, 100), 0);
}

TEST_F(HistoryTest, UndoingTheOnlyRecordClearsAndRedoDrawsItAgain) {
  auto blank = canvas_bytes();
  add_marks(7, 1);
  auto drawn = canvas_bytes();
  paint_history_undo(history);
  EXPECT_EQ(paint_history_get_position(history), -1);
  EXPECT_FALSE(paint_history_can_undo(history));
  EXPECT_EQ(canvas_bytes(), blank);
  paint_history_redo(history);
  EXPECT_EQ(canvas_bytes(), drawn);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(HistoryTest, AReplayAtANewZoomWritesTheCheckpointsNearThePosition) {
  add_marks(0, 60);
  set_zoom(1.5);
  EXPECT_EQ(log.front(), 0);
  EXPECT_TRUE(file_exists(checkpoint_path(1, 150)));
  EXPECT_TRUE(file_exists(checkpoint_path(0, 150)));
  log.clear();
  paint_history_undo(history);
  EXPECT_EQ(log, range(50, 58));
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(HistoryTest, FilesAnEarlierRunLeftAreDeletedWhenAPaintingStarts) {
  std::string cache = home + "/cache/";
  free_painting();
  for (const char *name : {"0_100.cache", "3_250.cache", "1_100.cache.tmp", "paint.cache", "notes.txt", "1_x.cache"})
    std::ofstream(cache + name) << "old";
  make_painting(200, 150);
  install_mark();
  for (auto [name, kept] : {std::pair{"0_100.cache", false}, {"3_250.cache", false}, {"1_100.cache.tmp", false},
                            {"paint.cache", true}, {"notes.txt", true}, {"1_x.cache", true}})
    EXPECT_EQ(file_exists(cache + name), kept) << name;

  add_marks(0, 30);
  EXPECT_TRUE(file_exists(checkpoint_path(0, 100)));
  std::ofstream(cache + "4_100.cache") << "old";
  paint_history_reset(history);
  EXPECT_FALSE(file_exists(checkpoint_path(0, 100)));
  EXPECT_FALSE(file_exists(cache + "4_100.cache"));
  EXPECT_EQ(paint_history_get_count(history), 0);
  EXPECT_FALSE(paint_history_is_modified(history));
}

TEST_F(HistoryTest, ACheckpointOfAnotherCanvasOrCutShortIsNotUsed) {
  // One written whole at another zoom of the same percent, so of the same
  // name; the right header, then too few pixel bytes (the part read is
  // thrown away); not a gzip stream at all; rows padded as we never write
  // them.
  add_marks(0, 30);
  auto real = read_gz(checkpoint_path(0, 100));
  ASSERT_GT(real.size(), MARKS_AT);
  set_zoom(1.004);
  auto other_zoom = read_gz(checkpoint_path(0, 100));
  set_zoom(1.0);
  auto cut = real, padded = real;
  cut.resize(MARKS_AT + size_t(tbitmap_get_height(paint_context_get_canvas(pc))) + 5000);
  padded[STRIDE_AT] += 4;
  for (int32_t last : {28, 27, 26, 25}) {
    if (last == 28) write_gz(checkpoint_path(0, 100), other_zoom);
    if (last == 27) write_gz(checkpoint_path(0, 100), cut);
    if (last == 25) write_gz(checkpoint_path(0, 100), padded);
    if (last == 26) std::ofstream(checkpoint_path(0, 100), std::ios::trunc) << "garbage";
    log.clear();
    paint_history_undo(history);
    EXPECT_EQ(log, range(0, last));
    EXPECT_TRUE(canvas_matches_rebuild(pc, history));
  }
  // A header changed to state a wider canvas (and rows to match) is refused
  // before a canvas is made for it.
  auto wider = real;
  tfile_put_u32(wider.data() + WIDTH_AT, 4096 + 200);
  tfile_put_u32(wider.data() + STRIDE_AT, 4 * (4096 + 200));
  write_gz(checkpoint_path(0, 100), wider);
  uint64_t made = test_cairo_argb_surfaces();
  paint_history_undo(history);
  EXPECT_EQ(test_cairo_argb_surfaces(), made);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

// A replay stuck opening or writing a FIFO is let go: its other end is
// opened, and what goes into it is read away until the replay returns.
void let_go(const std::string &fifo, std::future<void> &replay) {
  int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (writer >= 0) close(writer);
  int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  char sink[4096];
  while (replay.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
    while (reader >= 0 && read(reader, sink, sizeof sink) > 0) {
    }
  if (reader >= 0) close(reader);
}

// Whatever sits at a checkpoint's name, or at the name it is written under
// first, instead of the file a replay wrote: undo and redo show what a replay
// from record 0 shows, in time, and the odd entry is gone (a folder with files
// in it stays), a good checkpoint written in its place.
TEST_F(HistoryTest, AnOddOrForeignFileAtACheckpointNameIsNeverReadNorWrittenThrough) {
  const std::string zero = checkpoint_path(0, 100), one = checkpoint_path(1, 100), temporary = one + ".tmp";
  const std::string elsewhere = home + "/elsewhere";
  std::vector<uint8_t> good_zero, good_one;
  // Each takes the good checkpoint 1 away (or spoils it) and puts something in its place.
  auto fifo = [&](const std::string &at) {
    unlink(one.c_str());
    EXPECT_EQ(mkfifo(at.c_str(), 0600), 0);
  };
  auto link_to = [&](const std::string &at, const std::vector<uint8_t> &target) {
    unlink(one.c_str());
    write_file(elsewhere, target);
    EXPECT_EQ(symlink(elsewhere.c_str(), at.c_str()), 0);
  };
  auto folder = [&](bool with_file) {
    unlink(one.c_str());
    EXPECT_EQ(mkdir(one.c_str(), 0700), 0);
    if (with_file) write_file(one + "/x", {1});
  };
  auto changed_pixels = [&] {
    auto bytes = read_gz(one);
    size_t first_row = MARKS_AT + size_t(tbitmap_get_height(paint_context_get_canvas(pc)));
    for (size_t i = 0; i < 400; i++) bytes[first_row + 4 * 90 + i] ^= 0x5A;
    write_gz(one, bytes);
  };
  struct odd_case {
    const char *name;
    std::string at;  // the odd entry
    std::function<void()> plant;
    bool stays;
  } cases[] = {
      {"a FIFO", one, [&] { fifo(one); }, false},
      // The link leads to a good checkpoint: only reading through it would use it.
      {"a link", one, [&] { link_to(one, good_one); }, false},
      {"an empty folder", one, [&] { folder(false); }, false},
      {"a folder with a file", one, [&] { folder(true); }, true},
      {"the two swapped", one, [&] { write_file(one, good_zero), write_file(zero, good_one); }, false},
      {"pixels changed", one, changed_pixels, false},
      {"cut in half", one, [&] { write_file(one, {good_one.begin(), good_one.begin() + good_one.size() / 2}); }, false},
      {"a FIFO at the temporary", temporary, [&] { fifo(temporary); }, false},
      {"a link at the temporary", temporary, [&] { link_to(temporary, {7}); }, false},
  };
  for (const odd_case &c : cases) {
    SCOPED_TRACE(c.name);
    paint_history_reset(history);
    paint_context_clear(pc);
    add_marks(0, 60);
    good_zero = read_file(zero);
    good_one = read_file(one);
    c.plant();
    auto elsewhere_before = read_file(elsewhere);
    std::future<void> undo = std::async(std::launch::async, [&] { paint_history_undo(history); });
    if (undo.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
      ADD_FAILURE() << "the undo hangs";
      let_go(c.at, undo);
    }
    EXPECT_TRUE(canvas_matches_rebuild(pc, history));
    struct stat info;
    EXPECT_EQ(lstat(c.at.c_str(), &info) == 0 && !S_ISREG(info.st_mode), c.stays);
    EXPECT_EQ(read_file(elsewhere), elsewhere_before);
    EXPECT_EQ(read_file(zero), good_zero);
    if (!c.stays) {
      EXPECT_EQ(read_file(one), good_one);
    }
    EXPECT_NE(lstat(temporary.c_str(), &info), 0);
    paint_history_redo(history);
    EXPECT_TRUE(canvas_matches_rebuild(pc, history));
    if (c.stays) test_remove_tree(one);
  }
}

// The same records drawn on another picture make another canvas: that
// painting's checkpoint is not this one's.
TEST_F(HistoryTest, ACheckpointOfTheSameRecordsOnAnotherPictureIsNotUsed) {
  std::vector<uint8_t> other;
  for (uint32_t colour : {0xFF102030u, 0xFF405060u}) {
    tbitmap *photo = tbitmap_new(200, -150, 32);
    ASSERT_NE(photo, nullptr);
    tbitmap_fill_rect(photo, 0, 0, 199, 149, colour);
    ASSERT_EQ(paint_context_load_picture(pc, photo), 1);
    tbitmap_free(photo);
    paint_history_reset(history);
    paint_context_clear(pc);
    add_marks(0, 30);
    if (other.empty()) other = read_file(checkpoint_path(0, 100));
  }
  write_file(checkpoint_path(0, 100), other);
  paint_history_undo(history);
  EXPECT_EQ(log, range(0, 28));
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(HistoryTest, ApplicationRecordsGoThroughItsHooksOrAreSkipped) {
  uint8_t text[6] = {1, 2, 3, 4, 5, 6};
  add_marks(0, 3);
  paint_history_add(history, PAINT_HISTORY_OP_TEXT, text, sizeof text);
  paint_history_add(history, PAINT_HISTORY_OP_IMAGE, text, sizeof text);
  paint_history_add(history, 4242, text, sizeof text);
  paint_context_clear(pc);
  paint_history_add(history, PAINT_HISTORY_OP_CLEAR, nullptr, 0);
  add_marks(3, 2);
  // No hooks: the text and image are skipped, the clear clears.
  paint_history_rebuild(history);
  EXPECT_EQ(log, range(0, 4));
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));

  install_hooks();
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  EXPECT_EQ(hook_calls_.app, (std::vector<std::pair<int32_t, double>>{{PAINT_HISTORY_OP_TEXT, 2.0}, {PAINT_HISTORY_OP_IMAGE, 2.0}}));
}

TEST_F(HistoryTest, ACheckpointGivesTheCanvasItsSizeSoNoCropBeforeItIsApplied) {
  install_hooks();
  add_marks(0, 10);
  int32_t crop[8] = {-10, 5, 179, 134, 0, 0, 199, 149};
  apply_crop(pc, reinterpret_cast<uint8_t *>(crop), 32, 1.0);
  paint_history_add(history, PAINT_HISTORY_OP_CROP, crop, 32);
  add_marks(10, 20);
  EXPECT_TRUE(file_exists(checkpoint_path(0, 100)));
  hook_calls_.app.clear();
  paint_history_undo(history);
  EXPECT_TRUE(hook_calls_.app.empty());
  EXPECT_EQ(log, range(24, 28));  // records 25..29 hold marks 24..28
  EXPECT_EQ(tbitmap_get_width(paint_context_get_canvas(pc)), 190);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(HistoryTest, TheDocumentReadersAppendKeepsRecordsAsStored) {
  for (int32_t v = 0; v < 30; v++) {
    paint_history_record *record = paint_history_record_new(MARK_ID, &v, 4);
    ASSERT_NE(record, nullptr);
    record->_view_x = 11;
    record->_view_y = 12;
    record->_fore_color = test_rgba(v * 8, 100, 50, 200);
    record->_pen_size = 9;
    record->_zoom = 0.5;
    ASSERT_EQ(paint_history_append_record(history, record), 1);
  }
  EXPECT_EQ(paint_history_get_count(history), 30);
  EXPECT_FALSE(file_exists(checkpoint_path(0, 100)));
  const paint_history_record *record = paint_history_get_record(history, 29);
  EXPECT_EQ(record->_view_x, 11);
  EXPECT_EQ(record->_zoom, 0.5);
  EXPECT_EQ(record->_fore_color.red, uint8_t(29 * 8));
  paint_history_set_position(history, 1000);
  EXPECT_EQ(paint_history_get_position(history), 29);
  paint_history_set_position(history, -7);
  EXPECT_EQ(paint_history_get_position(history), -1);
  paint_history_set_position(history, 29);
  paint_history_rebuild(history);
  EXPECT_EQ(log, range(0, 29));
  // Replayed at zoom 1 from records of zoom 0.5: scale 2, and the state
  // around the replay is the state from before it.
  EXPECT_EQ(paint_context_get_pen_size(pc), 5);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

TEST_F(HistoryTest, HostileRecordsReplayWithoutHarm) {
  std::mt19937 random(20240611);
  const int32_t extremes[] = {INT32_MIN, INT32_MAX, 0, -1, 65535, 100, 75, -65535, 1 << 30};
  auto extreme = [&]() { return extremes[random() % (sizeof extremes / sizeof extremes[0])]; };
  std::vector<int32_t> ids;  // every tool, the mark among them
  for (int32_t id = 0; id < 400; id++)
    if (paint_context_find_tool(pc, id)) ids.push_back(id);
  auto append = [&](int32_t id, const std::vector<uint8_t> &payload, double zoom) {
    paint_history_record *record = paint_history_record_new(id, payload.data(), int32_t(payload.size()));
    ASSERT_NE(record, nullptr);
    record->_zoom = zoom;
    record->_pen_size = uint8_t(random() % 40);
    record->_rubber_size = uint8_t(random() % 40);
    record->_fore_color = test_rgba(int(random() % 256), 0, 0, int(random() % 256));
    ASSERT_EQ(paint_history_append_record(history, record), 1);
  };
  for (int32_t id : ids) {
    for (int variant = 0; variant < 6; variant++) {
      std::vector<int32_t> words;
      if (variant == 1) words = {extreme()};
      if (variant >= 2)
        for (int i = 0; i < (variant == 5 ? 4000 : 4); i++) words.push_back(extreme());
      std::vector<uint8_t> payload(words.size() * 4);
      if (!words.empty()) std::memcpy(payload.data(), words.data(), payload.size());
      if (variant == 3) payload.pop_back();  // a partial point
      append(id, payload, variant % 2 ? 1.0 : 3.0);
    }
    // Zooms no painting has: the record is left out, the context stays usable.
    std::vector<uint8_t> line = {10, 0, 0, 0, 10, 0, 0, 0, 90, 0, 0, 0, 60, 0, 0, 0};
    for (double zoom : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e-300, 1e300})
      append(id, line, zoom);
  }
  // A record that claims a payload it does not have.
  paint_history_record *liar = paint_history_record_new(SHAPE_ID_PENCIL, nullptr, 0);
  liar->_size = 1 << 30;
  liar->_zoom = 1;
  ASSERT_EQ(paint_history_append_record(history, liar), 1);
  paint_history_set_position(history, paint_history_get_count(history) - 1);
  for (double zoom : {1.0, 0.37, 2.5}) {
    ASSERT_EQ(paint_context_set_zoom(pc, zoom), 1);
    paint_history_rebuild(history);
    EXPECT_EQ(cairo_status(paint_context_get_cairo(pc)), CAIRO_STATUS_SUCCESS);
  }
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

// A document as the reader hands it over: records appended, nothing drawn.
TEST_F(HistoryTest, TheRebuildAfterAnOpenWritesCheckpointsSoUndoStartsNearby) {
  for (int32_t v = 0; v < 300; v++) {
    paint_history_record *record = paint_history_record_new(MARK_ID, &v, 4);
    record->_zoom = 1.0;
    ASSERT_EQ(paint_history_append_record(history, record), 1);
  }
  paint_history_set_position(history, 299);
  paint_history_rebuild(history);
  // The eight below the position, and every eighth.
  for (int32_t i = 0; i < 12; i++) EXPECT_EQ(file_exists(checkpoint_path(i, 100)), i >= 4) << i;
  // The undo at 115 starts from record 0 and writes those near it on its way.
  for (auto [position, first] : {std::pair{290, 275}, {260, 250}, {130, 125}, {115, 0}, {90, 75}, {60, 50}}) {
    log.clear();
    paint_history_set_position(history, position + 1);
    paint_history_undo(history);
    EXPECT_EQ(log, range(first, position)) << position;
  }
}

TEST_F(HistoryTest, TheRecordListGrowsByDoubling) {
  std::vector<int32_t> capacities;
  for (int32_t v = 0; v < 100000; v++) {
    paint_history_record *record = paint_history_record_new(MARK_ID, &v, 4);
    ASSERT_EQ(paint_history_append_record(history, record), 1);
    if (capacities.empty() || capacities.back() != history->_capacity) capacities.push_back(history->_capacity);
  }
  EXPECT_LE(capacities.size(), 12u);  // 64 doubled to 131072
  EXPECT_EQ(paint_history_get_count(history), 100000);
}

class CropHistoryTest : public HistoryTest {
 protected:
  void SetUp() override {
    HistoryTest::SetUp();
    install_hooks();
  }
  picture shown() const {
    tbitmap *canvas = paint_context_get_canvas(pc);
    return {tbitmap_get_width(canvas), tbitmap_get_height(canvas), canvas_bytes()};
  }
  // A crop made live as the application makes it: the canvas first, then the record.
  void crop(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    tbitmap *canvas = paint_context_get_canvas(pc);
    int32_t r[8] = {x1, y1, x2, y2, 0, 0, tbitmap_get_width(canvas) - 1, tbitmap_get_height(canvas) - 1};
    ASSERT_EQ(apply_crop(pc, reinterpret_cast<uint8_t *>(r), 32, 1.0), 1);
    ASSERT_NE(paint_history_add(history, PAINT_HISTORY_OP_CROP, r, 32), nullptr);
  }
  // Enlarging to 260 x 210 and cutting to 3 x 2, turn about.
  void crop_chain(int32_t count, int32_t first = 0) {
    for (int32_t i = first; i < first + count; i++) {
      if (i % 2 == 0)
        crop(-20 - i, -10, 239 - i, 199);
      else
        crop(30 + i % 5, 40, 32 + i % 5, 41);
    }
  }
};

// Marks and runs of crops (through checkpoints too), on a blank painting and
// on a picture that clear reveals where the crops moved it: every undo and
// redo shows what the live canvas showed at that record.
TEST_F(CropHistoryTest, UndoAndRedoShowWhatWasDrawnLiveAcrossCropsAndCheckpoints) {
  for (bool with_picture : {false, true}) {
    paint_history_reset(history);
    if (with_picture) {
      tbitmap *photo = tbitmap_new(200, -150, 32);
      for (int32_t y = 0; y < 150; y++)
        for (int32_t x = 0; x < 200; x++)
          tbitmap_fill_rect(photo, x, y, x, y, 0xFF000000u | uint32_t(x * 1234567 + y * 7654321));
      ASSERT_EQ(paint_context_load_picture(pc, photo), 1);
      tbitmap_free(photo);
      paint_context_clear(pc);
    }
    std::vector<picture> live = {shown()};
    auto step = [&](auto &&draw) {
      draw();
      live.push_back(shown());
    };
    for (int32_t i = 0; i < 20; i++) step([&] { add_marks(i, 1); });
    for (int32_t i = 0; i < 9; i++) step([&] { crop_chain(1, i); });  // over checkpoint 0
    step([&] { crop(-7, -9, 150, 120); });
    step([&] {
      paint_context_clear(pc);
      paint_history_add(history, PAINT_HISTORY_OP_CLEAR, nullptr, 0);
    });
    for (int32_t i = 20; i < 39; i++) step([&] { add_marks(i, 1); });
    step([&] { crop(-4, -3, 160, 120); });  // the first after checkpoint 1, its top edge above the canvas
    for (int32_t i = 0; i < 4; i++) step([&] { crop(5, 6, 170 - 2 * i, 100 + i); });
    step([&] { add_marks(40, 1); });
    int32_t last = paint_history_get_position(history);
    ASSERT_EQ(live.size(), size_t(last) + 2);
    for (int32_t p = last - 1; p >= -1; p--) {
      paint_history_undo(history);
      ASSERT_TRUE(shown() == live[size_t(p + 1)]) << "undo to " << p << (with_picture ? " on the picture" : "");
    }
    for (int32_t p = 0; p <= last; p++) {
      paint_history_redo(history);
      ASSERT_TRUE(shown() == live[size_t(p + 1)]) << "redo to " << p << (with_picture ? " on the picture" : "");
    }
  }
}

TEST_F(CropHistoryTest, ARunOfCropsMakesOneCanvasAndUndoStartsAtTheCheckpoint) {
  crop_chain(60);
  paint_history_set_position(history, 59);
  uint64_t made = test_cairo_argb_surfaces();
  paint_history_rebuild(history);
  // The fresh canvas, then one per run: the runs end at the two checkpoints and at the end.
  EXPECT_LE(test_cairo_argb_surfaces() - made, 4u);
  EXPECT_EQ(paint_history_get_checkpoint_count(history, 100), 2);
  // From 3 x 2 to the checkpoint's 3 x 2, then from 260 x 210 to it: the
  // checkpoint is read into the canvas the crops after it make, not whole.
  for (uint32_t replayed : {9u, 8u}) {
    hook_calls_.app.clear();
    made = test_cairo_argb_surfaces();
    paint_history_undo(history);
    EXPECT_EQ(hook_calls_.app.size(), replayed);  // records 50 on
    EXPECT_EQ(test_cairo_argb_surfaces() - made, 1u);
  }
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
  // A checkpoint found cut short only when the crops end: the replay starts again from record 0.
  std::vector<uint8_t> cut = read_gz(checkpoint_path(1, 100));
  cut.resize(MARKS_AT + 2 + 5);
  write_gz(checkpoint_path(1, 100), cut);
  paint_history_set_position(history, 51);
  paint_history_undo(history);  // record 50 keeps all of the checkpoint
  EXPECT_EQ(tbitmap_get_width(paint_context_get_canvas(pc)), 260);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
  // One whose pixels were changed is found out when the crops end, too.
  std::vector<uint8_t> changed = read_gz(checkpoint_path(1, 100));
  ASSERT_EQ(changed.size(), MARKS_AT + 2 + 12);  // 3 x 2, the second row repeats the first
  changed[MARKS_AT + 2 + 4] ^= 0x5A;
  write_gz(checkpoint_path(1, 100), changed);
  paint_history_set_position(history, 51);
  paint_history_undo(history);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

int stops_after = 0;
int stop_when_counted() { return --stops_after < 0; }

TEST_F(HistoryTest, AReplayStopsBetweenRecordsWhenTheProgramIsToEnd) {
  add_marks(0, 80);
  auto drawn = canvas_bytes();
  paint_history_hooks hooks = {};
  hooks.exit_requested = stop_when_counted;
  paint_history_set_hooks(history, &hooks);
  paint_history_set_use_checkpoints(history, 0);
  stops_after = 10;
  paint_history_rebuild(history);
  EXPECT_EQ(log, range(0, 10));
  EXPECT_EQ(paint_history_get_position(history), 79);
  EXPECT_EQ(paint_history_get_count(history), 80);
  // The records are all kept: without the request the painting comes back whole.
  stops_after = 1000;
  paint_history_rebuild(history);
  EXPECT_EQ(canvas_bytes(), drawn);
}

// ---- A replay without memory for a canvas ----------------------------------

namespace {

// Pixels of a that b does not equal; every one when the sizes differ.
int64_t differing_pixels(const picture &a, const picture &b) {
  if (a.width != b.width || a.height != b.height) return int64_t(a.width) * a.height;
  int64_t count = 0;
  for (size_t i = 0; i + 4 <= a.bytes.size(); i += 4) count += std::memcmp(&a.bytes[i], &b.bytes[i], 4) != 0;
  return count;
}

}  // namespace

// A budget that refuses the one large canvas a step needs (the 260 x 210 of
// the enlarging crops, or the 200 x 150 of the picture under a cut-down
// canvas): undo and redo are refused with the position and every pixel as
// they were, and taken once memory is back.
TEST_F(CropHistoryTest, AStepWithoutMemoryForItsCanvasLeavesThePaintingAsItWas) {
  constexpr uint64_t refuse_enlarged = 260 * 210 * 4 - 1, refuse_picture = 200 * 150 * 4 - 1;
  auto small_cut = [&] { crop(10, 10, 59, 49); };  // 50 x 40
  struct step_case {
    const char *what;
    std::function<void()> paint;
    int redo;
    uint64_t budget;
  };
  const step_case cases[] = {
      {"undo over a run of crops from record 0", [&] { add_marks(0, 5), crop_chain(1), add_marks(5, 1); }, 0,
       refuse_enlarged},
      {"undo over crops that follow a checkpoint", [&] { add_marks(0, 25), crop_chain(1), add_marks(26, 2); }, 0,
       refuse_enlarged},
      {"redo over a run of crops", [&] { add_marks(0, 5), crop_chain(1), add_marks(5, 1), paint_history_undo(history); },
       1, refuse_enlarged},
      {"undo over crops that end at the picture size",
       [&] { add_marks(0, 3), crop_chain(1), add_marks(3, 1), crop(20, 10, 219, 159), add_marks(4, 1); }, 0,
       refuse_enlarged},
      {"undo to a fresh canvas of the picture size",
       [&] { add_marks(0, 3), small_cut(), add_marks(4, 1), paint_history_undo(history); }, 0, refuse_picture},
      {"undo to a checkpoint of another size",
       [&] { add_marks(0, 25), small_cut(), add_marks(26, 1), paint_history_undo(history); }, 0, refuse_picture},
  };
  for (const step_case &c : cases) {
    paint_history_reset(history);
    ASSERT_EQ(paint_context_load_blank(pc, 200, 150, test_rgba(255, 255, 255, 255)), 1);
    paint_context_clear(pc);
    c.paint();
    picture before = shown();
    int32_t position = paint_history_get_position(history);
    auto step = [&] { return c.redo ? paint_history_redo(history) : paint_history_undo(history); };
    uint64_t budget = tbitmap_set_budget(c.budget);
    int refused = step();
    tbitmap_set_budget(budget);
    EXPECT_EQ(refused, -1) << c.what;
    EXPECT_EQ(paint_history_get_position(history), position) << c.what;
    picture after = shown();
    EXPECT_TRUE(after == before) << c.what << ": " << after.width << " x " << after.height << ", "
                                 << differing_pixels(before, after) << " pixels differ";
    EXPECT_EQ(step(), 1) << c.what;
    EXPECT_EQ(paint_history_get_position(history), position + (c.redo ? 1 : -1)) << c.what;
    EXPECT_TRUE(canvas_matches_rebuild(pc, history)) << c.what;
  }
}

// A rebuild has no painting to go back to: it shows the records before the
// crop whose canvas does not fit, and the rest wait for a redo.
TEST_F(CropHistoryTest, ARebuildWithoutMemoryStopsBeforeTheCropThatNeedsIt) {
  add_marks(0, 5);
  crop_chain(1);
  add_marks(5, 2);
  uint64_t budget = tbitmap_set_budget(260 * 210 * 4 - 1);
  EXPECT_EQ(paint_history_rebuild(history), 0);
  EXPECT_EQ(paint_history_get_position(history), 4);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
  EXPECT_EQ(paint_history_redo(history), -1);
  tbitmap_set_budget(budget);
  EXPECT_EQ(paint_history_redo(history), 1);
  EXPECT_EQ(tbitmap_get_width(paint_context_get_canvas(pc)), 260);
  EXPECT_TRUE(canvas_matches_rebuild(pc, history));
}

// A checkpoint file that outlived the records it was drawn from, put back
// under its name, stands for another painting: the same marks at other
// places (only each record's payload differs), or records an undo dropped
// with others in their place. The replay does not use it.
TEST_F(HistoryTest, ACheckpointLeftFromRecordsThePaintingNoLongerHasIsNotUsed) {
  // Record i in the colour of i, its mark at the place of v.
  auto mark_at = [&](int32_t i, int32_t v) {
    paint_context_set_fore_color(pc, test_rgba(i * 41 % 256, i * 13 % 256, 90, 150));
    shape_set_data(&mark_.base, &v, 4);
    shape_draw(&mark_.base, paint_context_get_cairo(pc), nullptr, 1.0);
    ASSERT_NE(paint_history_add(history, MARK_ID, &v, 4), nullptr);
  };
  const struct {
    const char *name;
    int32_t index;  // of the checkpoint left behind
    std::function<void()> before, after;
  } cases[] = {
      {"the same marks at other places", 0, [&] { for (int32_t i = 0; i < 30; i++) mark_at(i, i); },
       [&] {
         paint_history_reset(history);
         paint_context_clear(pc);
         for (int32_t i = 0; i < 30; i++) mark_at(i, i + 7);
       }},
      {"records an undo dropped, others in their place", 1, [&] { add_marks(0, 60); },
       [&] {
         while (paint_history_get_position(history) > 30) paint_history_undo(history);
         add_marks(1031, 29);
       }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    paint_history_reset(history);
    paint_context_clear(pc);
    c.before();
    const std::vector<uint8_t> left = read_file(checkpoint_path(c.index, 100));
    ASSERT_FALSE(left.empty());
    c.after();
    write_file(checkpoint_path(c.index, 100), left);
    paint_history_undo(history);
    EXPECT_TRUE(canvas_matches_rebuild(pc, history));
  }
}

// ---- A checkpoint that cannot be deleted; an exit --------------------------

namespace {

bool read_only = false;
int unlink_unless_read_only(const char *path) { return read_only ? (errno = EROFS, -1) : unlink(path); }
// The application looks for a close now and then: yes once, then no.
int exit_looks = 0;
int close_seen_once() { return exit_looks++ == 0; }

}  // namespace

// Checkpoint 1 found changed only when the crop after it ends, its file kept
// by a file system gone read-only: the undo ends, showing what a replay from
// record 0 shows. An exit asked for on the way ends it, nothing tried again.
TEST_F(CropHistoryTest, AnUndoEndsWhenABadCheckpointStaysOrTheProgramIsToEnd) {
  paint_history_unlink_fn before = paint_history_set_unlink(unlink_unless_read_only);
  for (bool exit : {false, true}) {
    paint_history_reset(history);
    crop_chain(51);  // record 50 enlarges the 3 x 2 of checkpoint 1
    add_marks(51, 6);
    paint_history_rebuild(history);
    std::vector<uint8_t> changed = read_gz(checkpoint_path(1, 100));
    changed[MARKS_AT + 2 + 4] ^= 0x5A;
    write_gz(checkpoint_path(1, 100), changed);
    paint_history_hooks hooks = {};
    hooks.apply_crop = apply_crop;
    hooks.exit_requested = exit ? close_seen_once : nullptr;
    paint_history_set_hooks(history, &hooks);
    read_only = !exit;
    exit_looks = 0;
    hook_calls_.app.clear();
    std::future<int> undo = std::async(std::launch::async, [&] { return paint_history_undo(history); });
    if (undo.wait_for(std::chrono::seconds(30)) != std::future_status::ready) ADD_FAILURE() << "the undo never ends";
    read_only = false;  // lets a hung undo go
    EXPECT_EQ(undo.get(), 1);
    EXPECT_EQ(paint_history_get_position(history), 55);
    EXPECT_EQ(hook_calls_.app.size() == 1, exit);  // record 50, then the exit
    EXPECT_TRUE(exit || canvas_matches_rebuild(pc, history));
  }
  paint_history_set_unlink(before);
}

int main(int argc, char **argv) { return paint_test_main(argc, argv); }
