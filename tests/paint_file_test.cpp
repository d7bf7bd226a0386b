#include "paint_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "gif_image.h"
#include "jpeg_image.h"
#include "os_clock.h"
#include "os_shell.h"
#include "paint_fixture.h"
#include "png_image.h"
#include "port_test_app.h"
#include "test_bitmap.h"
#include "test_env.h"
#include "tfile.h"
#include "tscale.h"
#include "win_ao.h"

namespace {

using bytes = test_bytes;

void put_f64(bytes &b, size_t at, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  for (int i = 0; i < 8; i++) b[at + i] = uint8_t(bits >> (8 * i));
}

// A little-endian appender for the expected bytes.
struct expect_bytes {
  bytes b;
  void u8(uint32_t v) { b.push_back(uint8_t(v)); }
  void u16(uint32_t v) { u8(v), u8(v >> 8); }
  void u32(uint32_t v) { u16(v), u16(v >> 16); }
  void f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    u32(uint32_t(bits)), u32(uint32_t(bits >> 32));
  }
  void zeros(size_t n) { b.insert(b.end(), n, 0); }
};

// Where two byte strings first differ (the shorter size when one is a
// prefix of the other); npos when they are equal.
size_t first_difference(const bytes &a, const bytes &b) {
  auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return at.first == a.end() && at.second == b.end() ? std::string::npos : size_t(at.first - a.begin());
}

// The application's side, recorded: every text shown, the answers to the
// questions, and a Save As dialog that plays its steps from an active
// object, inside the nested loop that waits for it, as a real dialog would.
struct dialog_step {
  std::u16string name;
  int32_t type;
  int result;             // 1 OK, 0 Cancel
  std::u16string folder;  // empty: leave the folder
};

struct ui_double {
  std::vector<std::u16string> messages, notes, wait_notes, questions, titles, save_dirs;
  std::deque<int> answers;  // Yes when empty
  std::deque<dialog_step> steps;
  int wait_notes_closed = 0;
  int vetoes = 0;
  paint_file_save_dialog dialog = {};
  win_ao *ao = nullptr;
};

ui_double *ui_of(void *user) { return static_cast<ui_double *>(user); }

const paint_file_ui k_hooks = {
    nullptr,
    [](void *u, const char16_t *text) { ui_of(u)->wait_notes.push_back(text); },
    [](void *u) { ui_of(u)->wait_notes_closed++; },
    [](void *u, const char16_t *text) { ui_of(u)->notes.push_back(text); },
    [](void *u, const char16_t *text) { ui_of(u)->messages.push_back(text); },
    [](void *u, const char16_t *text) {
      ui_of(u)->questions.push_back(text);
      std::deque<int> &answers = ui_of(u)->answers;
      int answer = answers.empty() ? 1 : answers.front();
      if (!answers.empty()) answers.pop_front();
      return answer;
    },
    [](void *u, const paint_file_save_dialog *dialog) {
      ui_of(u)->titles.push_back(dialog->title);
      ui_of(u)->dialog = *dialog;
      win_ao_signal(ui_of(u)->ao);
      return 1;
    },
    [](void *u, const char16_t *folder) { ui_of(u)->save_dirs.push_back(folder); },
};

// One press of the dialog's button: OK is vetoed or taken; a veto leaves the
// dialog open for the next step.
void play_dialog_step(win_ao *ao, void *user) {
  ui_double *ui = ui_of(user);
  paint_file_save_dialog &d = ui->dialog;
  if (ui->steps.empty()) {
    ADD_FAILURE() << "the dialog has no step left";
    paint_file_on_save_as_result(d.file, 0);
    return;
  }
  dialog_step step = ui->steps.front();
  ui->steps.pop_front();
  if (step.result == 1) {
    std::u16string name = step.name.substr(0, size_t(d.name_capacity - 1));
    std::memcpy(d.name, name.c_str(), (name.size() + 1) * sizeof(char16_t));
    if (!step.folder.empty()) std::memcpy(d.folder, step.folder.c_str(), (step.folder.size() + 1) * sizeof(char16_t));
    *d.type = step.type;
    if (!paint_file_check_name(d.file, 1)) {
      ui->vetoes++;
      win_ao_signal(ao);
      return;
    }
  }
  paint_file_on_save_as_result(d.file, step.result);
}

std::vector<std::string> g_launched;
int record_launch(const std::vector<std::string> &argv) {
  g_launched.push_back(argv.back());
  return 1;
}

const char *const k_damaged = "Fail to open paint (code: -2)\nDamaged file..";

class PaintFile : public PaintTest {
 protected:
  void SetUp() override {
    PaintTest::SetUp();
    dir = test_make_temp_dir("paint-file");
    os_clock_drive(1);  // the pause before a document is read costs no time
    ui.ao = win_ao_new(0);
    win_ao_set_run(ui.ao, play_dialog_step);
    win_ao_set_user_data(ui.ao, &ui);
    make_file();
  }
  void TearDown() override {
    if (file) paint_file_free(file);
    win_ao_free(ui.ao);
    os_clock_drive(0);
    test_remove_tree(dir);
    PaintTest::TearDown();
  }
  void make_file() {
    if (file) paint_file_free(file);
    std::u16string folder = test_wide(dir);
    std::memcpy(last_dir, folder.c_str(), (folder.size() + 1) * sizeof(char16_t));
    paint_file_ui hooks = k_hooks;
    hooks.user = &ui;
    file = paint_file_new(pc, history, last_dir, &hooks);
    ASSERT_NE(file, nullptr);
  }
  void remake(int32_t width, int32_t height) {
    make_painting(width, height);
    make_file();
  }
  std::string path(const std::string &name) const { return dir + "/" + name; }
  std::u16string wpath(const std::string &name) const { return test_wide(path(name)); }
  int save(const std::string &name) { return paint_file_save_to(file, wpath(name).c_str()); }
  int open(const std::string &name) { return paint_file_open(file, wpath(name).c_str()); }
  // Writes the bytes as bad.bvf and opens that, with no message shown before.
  int open_bytes(const bytes &data) {
    test_write_file(path("bad.bvf"), data);
    ui.messages.clear();
    return open("bad.bvf");
  }
  std::string message() const { return ui.messages.empty() ? "(no message)" : test_utf8(ui.messages[0]); }
  // A few records of different tools.
  void draw_something() {
    stroke(tool(SHAPE_ID_PENCIL), {{10, 10}, {40, 30}, {60, 12}, {90, 50}}, 2);
    drag(tool(SHAPE_ID_LINE), {5, 140}, {190, 20});
    drag(tool(SHAPE_ID_RECT + 1), {100, 60}, {150, 120});
  }
  // What must survive a refused open: canvas, count, position, size, name.
  using painting_state = std::tuple<bytes, int32_t, int32_t, int32_t, int32_t, std::u16string>;
  painting_state state() const {
    return {canvas_bytes(), paint_history_get_count(history), paint_history_get_position(history),
            paint_context_get_picture_width(pc), paint_context_get_picture_height(pc), paint_file_get_name(file)};
  }
  int save_as(std::vector<dialog_step> steps) {
    ui.steps.assign(steps.begin(), steps.end());
    int code = paint_file_save_as(file);
    EXPECT_TRUE(ui.steps.empty()) << "steps left over";
    return code;
  }
  void fill(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb) {
    cairo_surface_flush(cairo_get_target(paint_context_get_cairo(pc)));
    tbitmap_fill_rect(paint_context_get_canvas(pc), x1, y1, x2, y2, 0xFF000000u | rgb);
    cairo_surface_mark_dirty(cairo_get_target(paint_context_get_cairo(pc)));
  }
  uint32_t canvas_rgb(int32_t x, int32_t y) const { return pixel(x, y) & 0xFFFFFF; }

  std::string dir;
  char16_t last_dir[PAINT_FILE_DIR_CHARS] = {};
  ui_double ui;
  paint_file *file = nullptr;
};

// --- The native document --------------------------------------------------

TEST_F(PaintFile, TwoRecordDocumentIsWrittenByteForByte) {
  // One row: the thumbnail is 100 x 2, and the file a small fuzz seed.
  remake(50, 1);
  ASSERT_EQ(paint_context_load_blank(pc, 50, 1, test_rgba(10, 20, 30, 255)), 1);
  paint_context_clear(pc);
  paint_context_set_origin(pc, 7, -3);
  paint_context_set_fore_color(pc, test_rgba(1, 2, 3, 4));
  paint_context_set_back_color(pc, test_rgba(5, 6, 7, 8));
  const int32_t line[4] = {1, 1, 3, 2};
  ASSERT_NE(paint_history_add(history, SHAPE_ID_LINE, line, sizeof line), nullptr);
  ASSERT_NE(paint_history_add(history, PAINT_HISTORY_OP_CLEAR, nullptr, 0), nullptr);
  ASSERT_EQ(save("golden.bvf"), 1);
  test_keep_seed(path("golden.bvf"), "bvf", "two_records.bvf");
  test_keep_seed(path("golden.bvf"), "bvf_thumb", "two_records.bvf");

  expect_bytes e;
  e.u32(0x62766620), e.u32(0x00030001), e.u32(50), e.u32(1);
  e.u8(30), e.u8(20), e.u8(10), e.u8(255);
  e.f64(1.0), e.u32(2), e.u32(1);
  e.u32(44 + 56 + 16 + 56);  // the thumbnail offset, patched in at the end
  e.u32(0);                  // no base picture
  for (int record = 0; record < 2; record++) {
    e.u32(7), e.u32(uint32_t(-3));
    e.u8(3), e.u8(2), e.u8(1), e.u8(4);
    e.u8(7), e.u8(6), e.u8(5), e.u8(8);
    e.u8(5), e.u8(12), e.zeros(2), e.u32(0), e.zeros(8);
    e.f64(1.0);
    e.u32(record == 0 ? uint32_t(SHAPE_ID_LINE) : uint32_t(PAINT_HISTORY_OP_CLEAR));
    e.u32(record == 0 ? 16 : 0);
    e.zeros(8);
    if (record == 0)
      for (int32_t v : line) e.u32(uint32_t(v));
  }
  ASSERT_EQ(e.b.size(), 172u);
  // The thumbnail: the canvas fitted into 100 x 100, rows bottom-up.
  e.u32(52 + 44 + 400 * 2);
  e.u32(0), e.u32(0), e.u32(400), e.u32(0xFF0000), e.u32(0xFF00), e.u32(0xFF);
  e.u32(16), e.u32(8), e.u32(0), e.zeros(12), e.u32(0);
  e.u32(40), e.u32(100), e.u32(2), e.u16(1), e.u16(32), e.u32(0), e.u32(400 * 2), e.zeros(16), e.zeros(4);
  for (int i = 0; i < 100 * 2; i++) e.u8(30), e.u8(20), e.u8(10), e.u8(255);
  EXPECT_EQ(first_difference(test_read_file(path("golden.bvf")), e.b), std::string::npos);
  EXPECT_EQ(paint_history_is_modified(history), 0);
}

TEST_F(PaintFile, BlankAndPictureDocumentsReopenToTheSameCanvasAndHistory) {
  // Blank: an empty history and the stored colour.
  remake(30, 20);
  ASSERT_EQ(paint_context_load_blank(pc, 30, 20, test_rgba(200, 100, 50, 255)), 1);
  paint_context_clear(pc);
  ASSERT_EQ(save("blank.bvf"), 1);
  bytes stored = test_read_file(path("blank.bvf"));
  EXPECT_EQ(test_le32(stored, 40), 0u);
  EXPECT_EQ(test_le32(stored, 36), 44u) << "the thumbnail follows the header at once";
  ASSERT_EQ(paint_context_load_blank(pc, 8, 8, test_rgba(0, 0, 0, 255)), 1);
  ASSERT_EQ(open("blank.bvf"), 1);
  paint_history_rebuild(history);
  EXPECT_EQ(paint_history_get_count(history), 0);
  EXPECT_EQ(paint_context_get_picture_width(pc), 30);
  EXPECT_EQ(canvas_rgb(29, 19), 0xC86432u);

  // Drawn over an opened picture: the base comes back through zlib and the
  // rebuild equals the canvas as it was.
  remake(200, 150);
  bitmap_ptr picture = test_bitmap(120, 90, 24);
  for (int32_t y = 0; y < 90; y++)
    for (int32_t x = 0; x < 120; x++)
      tbitmap_set_pixel(picture.get(), x, y, uint32_t(x * 2) << 16 | uint32_t(y * 2) << 8 | 99);
  ASSERT_EQ(paint_context_load_picture(pc, picture.get()), 1);
  paint_context_clear(pc);
  draw_something();
  paint_history_undo(history);  // the position is stored too
  bytes canvas = canvas_bytes();
  int32_t count = paint_history_get_count(history);
  ASSERT_EQ(save("over picture.bvf"), 1);

  ASSERT_EQ(paint_context_load_blank(pc, 50, 60, test_rgba(1, 2, 3, 255)), 1);
  paint_history_reset(history);
  stroke(tool(SHAPE_ID_PENCIL), {{1, 1}, {20, 20}}, 0);
  ASSERT_EQ(open("over picture.bvf"), 1);
  EXPECT_EQ(paint_history_is_modified(history), 0);
  EXPECT_EQ(paint_history_get_count(history), count);
  EXPECT_EQ(paint_history_get_position(history), count - 2);
  EXPECT_EQ(std::u16string(paint_file_get_name(file)), u"over picture");
  EXPECT_EQ(std::u16string(file->_path), wpath("over picture.bvf"));
  ASSERT_NE(paint_context_get_base_picture(pc), nullptr);
  paint_history_rebuild(history);
  EXPECT_EQ(canvas_bytes(), canvas);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.wait_notes.front(), u"Loading paint...");
}

TEST_F(PaintFile, RefusedDocumentsLeaveThePaintingAndHistoryAlone) {
  draw_something();
  ASSERT_EQ(save("good.bvf"), 1);
  const bytes good = test_read_file(path("good.bvf"));
  paint_history_undo(history);
  paint_file_set_name(file, u"current");
  const painting_state before = state();

  struct lie {
    const char *what;
    size_t at;
    uint32_t value;
    const char *message;
  };
  const char *format = "Fail to open paint (code: -3)\nInvalid file format..";
  const char *version = "Fail to open paint (code: -4)\nCan not open higher version of paint file..";
  for (const lie &l : {lie{"version", 4, 0x00030002, version}, lie{"magic", 0, 0x62766621, format},
                       lie{"width 0", 8, 0, k_damaged}, lie{"negative height", 12, uint32_t(-5), k_damaged},
                       lie{"negative count", 28, uint32_t(-1), k_damaged},
                       lie{"thumbnail offset 0", 36, 0, k_damaged},
                       lie{"base block shorter than its prefix", 40, 50, k_damaged},
                       lie{"base block past the end", 40, 0x7FFFFFF0, k_damaged}}) {
    SCOPED_TRACE(l.what);
    bytes changed = good;
    test_put32(changed, l.at, l.value);
    EXPECT_EQ(open_bytes(changed), 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(message(), l.message);
    EXPECT_EQ(state(), before);
  }
  ui.messages.clear();
  EXPECT_EQ(open("missing.bvf"), 0);
  EXPECT_EQ(message(), "Fail to open paint (code: -1)\nFail to open this file..");
  EXPECT_EQ(open_bytes(bytes(good.begin(), good.begin() + 20)), 0);
  EXPECT_EQ(state(), before);
}

// A document asking for a canvas beyond 8192 x 8192 picture pixels, in its
// header or through a crop (its rectangle at its own zoom), is refused before
// any of it is made, as too large (no memory could let it open); one within
// opens, and no resize goes beyond.
TEST_F(PaintFile, CanvasesBeyondTheBoundAreRefusedAsTooLarge) {
  ASSERT_EQ(save("good.bvf"), 1);
  const bytes good = test_read_file(path("good.bvf"));
  const painting_state before = state();
  auto get32 = [](const bytes &b, size_t at) { return uint32_t(tfile_get_u32(b.data() + at)); };
  auto with_crop = [&](int32_t x2, int32_t y2, double zoom) {
    bytes doc = good, record(56 + 32, 0);
    uint32_t at = get32(doc, 36);
    test_put32(record, 40, PAINT_HISTORY_OP_CROP);
    test_put32(record, 44, 32);
    put_f64(record, 32, zoom);
    test_put32(record, 56 + 8, uint32_t(x2));
    test_put32(record, 56 + 12, uint32_t(y2));
    doc.insert(doc.begin() + at, record.begin(), record.end());
    test_put32(doc, 28, get32(doc, 28) + 1);
    test_put32(doc, 36, at + uint32_t(record.size()));
    return doc;
  };
  bytes huge = good, over = good;
  test_put32(huge, 8, 11000), test_put32(huge, 12, 11000);
  test_put32(over, 8, 8193), test_put32(over, 12, 8192);
  for (const bytes &doc : {huge, over, with_crop(8999, 8999, 1.0), with_crop(2499, 2499, 0.25)}) {
    EXPECT_EQ(open_bytes(doc), 0);
    EXPECT_EQ(message(), "Fail to open paint (code: -6)\nThe painting is too large to open.");
    EXPECT_EQ(state(), before);
  }
  EXPECT_EQ(open_bytes(with_crop(2047, 1023, 0.25)), 1);
  EXPECT_EQ(paint_history_get_count(history), 1);
  // Nor does a resize make a painting its document could not ask for.
  EXPECT_EQ(paint_context_resize_canvas(pc, 0, 0, 8193, 8192), 0);
}

TEST_F(PaintFile, BaseBlocksThatLieAreRefused) {
  bitmap_ptr picture = test_bitmap(50, 2, 32);
  tbitmap_fill_rect(picture.get(), 0, 0, 49, 1, 0xFF336699);
  ASSERT_EQ(paint_context_load_picture(pc, picture.get()), 1);
  paint_context_clear(pc);
  ASSERT_EQ(save("base.bvf"), 1);
  const bytes good = test_read_file(path("base.bvf"));
  ASSERT_GT(test_le32(good, 40), 96u);
  test_keep_seed(path("base.bvf"), "bvf", "base_picture.bvf");
  test_keep_seed(path("base.bvf"), "bvf_thumb", "base_picture.bvf");
  remake(60, 50);
  const painting_state before = state();

  const size_t record = 44, info = 44 + 52;
  struct lie {
    const char *what;
    size_t at;
    uint32_t value;
    int code;
  };
  for (lie l : {lie{"stride", record + 8, 50 * 4 + 4, -2}, lie{"depth", info + 14, 24, -2},
                lie{"width", info + 4, 51, -2}, lie{"height", info + 8, uint32_t(-3), -2},
                lie{"header size", info, 12, -2}, lie{"compression", info + 16, 3, -2},
                lie{"huge", info + 8, uint32_t(-30000), -6}}) {
    SCOPED_TRACE(l.what);
    bytes changed = good;
    if (l.code == -6) test_put32(changed, info + 4, 30000), test_put32(changed, record + 8, 120000);
    test_put32(changed, l.at, l.value);
    EXPECT_EQ(open_bytes(changed), 0);
    EXPECT_EQ(message().substr(0, 29), "Fail to open paint (code: " + std::to_string(l.code) + ")");
    EXPECT_EQ(state(), before);
  }
  // The compressed rows damaged: zlib refuses them.
  bytes changed = good;
  for (size_t i = 44 + 96 + 2; i < 44 + 96 + 12; i++) changed[i] ^= 0x5A;
  EXPECT_EQ(open_bytes(changed), 0);
  EXPECT_EQ(state(), before);
  // A picture under the budget is what decides "no memory".
  uint64_t budget = tbitmap_set_budget(50 * 2 * 4 - 1);
  ui.messages.clear();
  EXPECT_EQ(open("base.bvf"), 0);
  tbitmap_set_budget(budget);
  EXPECT_EQ(message(), "Fail to open paint (code: -6)\nNo enough memory..");
  EXPECT_EQ(state(), before);
}

TEST_F(PaintFile, ADocumentCutInsideItsRecordsOpensWithTheRecordsBeforeTheCut) {
  draw_something();
  ASSERT_EQ(save("cut.bvf"), 1);
  const bytes good = test_read_file(path("cut.bvf"));
  ASSERT_EQ(paint_history_get_count(history), 3);
  // Where each record starts: after the header (no base), 56 bytes and its payload.
  std::vector<size_t> starts = {44};
  for (int32_t i = 0; i < 3; i++) starts.push_back(starts.back() + 56 + size_t(paint_history_get_record(history, i)->_size));

  bytes lying_payload = good;
  test_put32(lying_payload, starts[1] + 44, 0x100000);
  struct cut {
    const char *what;
    bytes data;
    int32_t kept;
  };
  const cut cuts[] = {{"inside the second record", bytes(good.begin(), good.begin() + long(starts[1] + 30)), 1},
                      {"inside the third payload", bytes(good.begin(), good.begin() + long(starts[2] + 60)), 2},
                      {"payload larger than the rest", lying_payload, 1}};
  for (const cut &c : cuts) {
    SCOPED_TRACE(c.what);
    paint_history_reset(history);
    EXPECT_EQ(open_bytes(c.data), 0);
    EXPECT_EQ(message(), k_damaged);
    EXPECT_EQ(paint_history_get_count(history), c.kept);
    EXPECT_EQ(paint_history_get_position(history), c.kept - 1) << "clamped to the records read";
    for (int32_t i = 0; i < c.kept; i++)
      EXPECT_EQ(paint_history_get_record(history, i)->_operation, i == 0 ? SHAPE_ID_PENCIL : i == 1 ? SHAPE_ID_LINE : 102);
    paint_history_rebuild(history);
  }
  test_write_file(path("cut_seed.bvf"), cuts[0].data);
  test_keep_seed(path("cut_seed.bvf"), "bvf", "cut_in_records.bvf");
}

TEST_F(PaintFile, ThumbnailIsTheFittedCanvasAndItsReaderTrustsNothing) {
  remake(400, 200);
  fill(0, 0, 199, 199, 0x102030);
  ASSERT_EQ(save("wide.bvf"), 1);
  bitmap_ptr thumbnail(paint_file_read_thumbnail(wpath("wide.bvf").c_str()));
  ASSERT_NE(thumbnail, nullptr);
  EXPECT_EQ(tbitmap_get_width(thumbnail.get()), 100);
  EXPECT_EQ(tbitmap_get_height(thumbnail.get()), 50);
  EXPECT_EQ(tbitmap_get_bpp(thumbnail.get()), 32);
  EXPECT_FALSE(tbitmap_is_top_down(thumbnail.get()));
  EXPECT_EQ(test_rgb(thumbnail.get(), 10, 45), 0x102030u);
  EXPECT_EQ(test_rgb(thumbnail.get(), 90, 5), 0xFFFFFFu);

  const bytes good = test_read_file(path("wide.bvf"));
  uint32_t offset = test_le32(good, 36);
  struct lie {
    const char *what;
    size_t at;
    uint32_t value;
  };
  auto read_thumbnail = [&](const bytes &data) {
    test_write_file(path("bad.bvf"), data);
    return paint_file_read_thumbnail(wpath("bad.bvf").c_str());
  };
  for (lie l : {lie{"offset 0", 36, 0}, lie{"offset past the end", 36, uint32_t(good.size())},
                lie{"block past the end", offset, 0x10000000}, lie{"block of 0", offset, 0},
                lie{"stride", offset + 4 + 8, 404}, lie{"depth 2", offset + 4 + 52 + 14, 2},
                lie{"taller than the block", offset + 4 + 52 + 8, 51}, lie{"version", 4, 0x00030002},
                lie{"block a row short", offset, test_le32(good, offset) - 400},
                lie{"magic", 0, 0}}) {
    bytes changed = good;
    test_put32(changed, l.at, l.value);
    EXPECT_EQ(read_thumbnail(changed), nullptr) << l.what;
  }
  EXPECT_EQ(read_thumbnail(bytes(good.begin(), good.end() - 1)), nullptr);
  EXPECT_EQ(paint_file_read_thumbnail(wpath("missing.bvf").c_str()), nullptr);

  // Offset 0: no thumbnail, and the full reader calls the file damaged.
  bytes changed = good;
  test_put32(changed, 36, 0);
  EXPECT_EQ(open_bytes(changed), 0);
  EXPECT_EQ(message(), k_damaged);
}

// Fields another writer may fill differently: a header zoom that is no
// positive number (readers skip it), a negative payload size (a record
// without payload) and a record zoom of 0 (kept, and skipped on replay).
TEST_F(PaintFile, DocumentsOfOtherWritersOpen) {
  draw_something();
  ASSERT_EQ(save("other.bvf"), 1);
  const bytes good = test_read_file(path("other.bvf"));
  const size_t line = 44 + 56 + size_t(paint_history_get_record(history, 0)->_size);
  const uint32_t line_payload = uint32_t(paint_history_get_record(history, 1)->_size);
  auto reopen = [&](const bytes &data) {
    paint_history_reset(history);
    EXPECT_EQ(open_bytes(data), 1) << message();
    EXPECT_EQ(paint_history_get_count(history), 3);
    paint_history_rebuild(history);
    return canvas_bytes();
  };
  bytes no_line = good;  // the reference: an operation nothing draws
  test_put32(no_line, line + 40, 9999);
  const bytes without_line = reopen(no_line);
  ASSERT_NE(reopen(good), without_line);

  for (double zoom : {0.0, -1.0, double(NAN), double(INFINITY)}) {
    bytes changed = good;
    put_f64(changed, 20, zoom);
    reopen(changed);
  }
  bytes zero_zoom = good;
  put_f64(zero_zoom, line + 32, 0.0);
  EXPECT_EQ(reopen(zero_zoom), without_line);

  bytes negative = good;  // the line's payload gone, its size -4
  negative.erase(negative.begin() + long(line + 56), negative.begin() + long(line + 56 + line_payload));
  test_put32(negative, line + 44, uint32_t(-4));
  test_put32(negative, 36, test_le32(good, 36) - line_payload);
  reopen(negative);
  EXPECT_EQ(paint_history_get_record(history, 1)->_size, 0);
  EXPECT_EQ(paint_history_get_record(history, 2)->_operation, SHAPE_ID_RECT + 1);
  test_write_file(path("negative.bvf"), negative);
  test_keep_seed(path("negative.bvf"), "bvf", "negative_payload.bvf");
}

// Thumbnails of 1, 4 and 16 bpp: the info region is the header, 2^bpp
// entries and 4 zero bytes below 9 bpp, else 44 bytes; 1 and 4 bpp come
// back at 8 bpp, bit fields take the stored record's masks.
TEST_F(PaintFile, ThumbnailsOfEveryDepthAreRead) {
  ASSERT_EQ(save("small.bvf"), 1);
  const bytes good = test_read_file(path("small.bvf"));
  const uint32_t offset = test_le32(good, 36);
  struct depth {
    int bpp;
    uint32_t compression, red_mask;
    std::vector<uint32_t> palette;
    bytes rows;  // two rows of three pixels, bottom-up
    std::vector<uint32_t> expected;  // the top row, then the bottom row
  };
  const depth depths[] = {
      {1, 0, 0, {0x000000, 0xFF0000}, {0xA0, 0, 0, 0, 0x40, 0, 0, 0},
       {0x000000, 0xFF0000, 0x000000, 0xFF0000, 0x000000, 0xFF0000}},
      {4, 0, 0, {0x000000, 0x00FF00, 0x0000FF}, {0x12, 0x00, 0, 0, 0x21, 0x10, 0, 0},
       {0x0000FF, 0x00FF00, 0x00FF00, 0x00FF00, 0x0000FF, 0x000000}},
      {16, 0, 0, {}, {0x00, 0xF8, 0x1F, 0x00, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0x00, 0xF8, 0, 0, 0, 0},
       {0x0000F8, 0xF80000, 0x000000, 0xF80000, 0x0000F8, 0x00FC00}},
      {16, 3, 0x7C00, {}, {0x00, 0x7C, 0, 0, 0, 0, 0, 0, 0x1F, 0x00, 0x00, 0x7C, 0, 0, 0, 0},
       {0x0000F8, 0xF80000, 0x000000, 0xF80000, 0x000000, 0x000000}},
  };
  for (const depth &d : depths) {
    SCOPED_TRACE(d.bpp);
    const uint32_t stride = uint32_t((d.bpp * 3 + 31) / 32 * 4);
    expect_bytes e;
    e.u32(0), e.u32(0), e.u32(0), e.u32(stride), e.u32(d.red_mask), e.u32(d.red_mask ? 0x03E0 : 0), e.u32(d.red_mask ? 0x1F : 0);
    e.zeros(6 * 4), e.u32(0);
    e.u32(40), e.u32(3), e.u32(2), e.u16(1), e.u16(uint32_t(d.bpp)), e.u32(d.compression), e.u32(2 * stride);
    e.zeros(16);
    if (d.bpp < 9)
      for (uint32_t i = 0; i < (1u << d.bpp); i++) e.u32(i < d.palette.size() ? d.palette[i] : 0);
    e.zeros(4);
    e.b.insert(e.b.end(), d.rows.begin(), d.rows.end());
    bytes changed(good.begin(), good.begin() + offset);
    test_put32(e.b, 0, uint32_t(e.b.size() - 4));
    changed.insert(changed.end(), e.b.begin(), e.b.end());
    test_write_file(path("thumb.bvf"), changed);
    const std::string seed = "thumbnail_" + std::to_string(d.bpp) + (d.compression ? "_fields" : "") + ".bvf";
    test_keep_seed(path("thumb.bvf"), "bvf_thumb", seed.c_str());
    bitmap_ptr thumbnail(paint_file_read_thumbnail(wpath("thumb.bvf").c_str()));
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(test_shape(thumbnail.get()), (std::vector<int32_t>{3, 2, std::max(d.bpp, 8), 0}));
    std::vector<uint32_t> seen;
    for (int32_t y = 0; y < 2; y++)
      for (int32_t x = 0; x < 3; x++) seen.push_back(test_rgb(thumbnail.get(), x, y));
    EXPECT_EQ(seen, d.expected);
  }
}

TEST_F(PaintFile, AFailedSaveKeepsTheOldDocument) {
  draw_something();
  ASSERT_EQ(save("keep.bvf"), 1);
  const bytes old = test_read_file(path("keep.bvf"));
  stroke(tool(SHAPE_ID_PENCIL), {{3, 3}, {150, 100}, {20, 140}}, 0);
  ASSERT_EQ(paint_history_is_modified(history), 1);

  // The disk fills up after 1000 bytes.
  EXPECT_EQ(test_with_file_limit(1000, [&] { return save("keep.bvf"); }), 0);
  EXPECT_EQ(test_read_file(path("keep.bvf")), old);
  EXPECT_EQ(test_count_entries(dir), 1u) << "no temporary file is left";
  EXPECT_EQ(message(), "Fail to save file (code: -2).");
  EXPECT_EQ(paint_history_is_modified(history), 1);

  ui.messages.clear();
  EXPECT_EQ(save("no/such/folder.bvf"), 0);
  EXPECT_EQ(message(), "Fail to save file (code: -1).");

  // A hole in the history is -3, and nothing is written.
  paint_history_record *taken = history->_records[1];
  history->_records[1] = nullptr;
  ui.messages.clear();
  EXPECT_EQ(save("keep.bvf"), 0);
  history->_records[1] = taken;
  EXPECT_EQ(message(), "Fail to save file (code: -3).");
  EXPECT_EQ(test_read_file(path("keep.bvf")), old);
}

// The start-up restore sets a damaged file aside before the box says why:
// the reader gives its code and shows nothing itself.
TEST_F(PaintFile, TheQuietReaderLeavesTheBoxToItsCaller) {
  draw_something();
  ASSERT_EQ(save("keep.bvf"), 1);
  const bytes whole = test_read_file(path("keep.bvf"));
  test_write_file(path("bad.bvf"), bytes(whole.begin(), whole.begin() + 60));
  ui.messages.clear();
  EXPECT_EQ(paint_file_open_quietly(file, wpath("bad.bvf").c_str()), PAINT_FILE_ERR_WRITE);
  EXPECT_TRUE(ui.messages.empty()) << message();
  paint_file_show_open_failure(file, PAINT_FILE_ERR_WRITE);
  EXPECT_EQ(message(), k_damaged);
}

// An empty painting says "nothing applied" one way, in memory and in the
// file, however often it is kept and read back.
TEST_F(PaintFile, AnEmptyPaintingKeepsOnePositionThroughSavesAndOpens) {
  EXPECT_EQ(paint_history_get_position(history), -1);
  ASSERT_EQ(save("first.bvf"), 1);
  EXPECT_EQ(int32_t(test_le32(test_read_file(path("first.bvf")), 32)), -1);
  ASSERT_EQ(open("first.bvf"), 1);
  EXPECT_EQ(paint_history_get_position(history), -1);
  ASSERT_EQ(save("second.bvf"), 1);
  EXPECT_EQ(int32_t(test_le32(test_read_file(path("second.bvf")), 32)), -1);
  draw_something();
  paint_history_reset(history);
  EXPECT_EQ(paint_history_get_position(history), -1);
}

// --- Exports ------------------------------------------------------------

TEST_F(PaintFile, EachOfTheNineTypesIsWrittenAndReadsBack) {
  remake(48, 32);
  // 256 colours, every channel a multiple of 16, no two in one bin.
  for (int32_t y = 0; y < 32; y++)
    for (int32_t x = 0; x < 48; x++) fill(x, y, x, y, uint32_t(x % 16) << 20 | uint32_t(y % 16) << 12 | 0x30);
  const char *names[] = {"doc", "true", "indexed", "grey", "low", "medium", "high", "anim", "lossless"};
  const char *extensions[] = {"bvf", "bmp", "bmp", "bmp", "jpg", "jpg", "jpg", "gif", "png"};
  for (int type = 0; type < PAINT_FILE_TYPE_COUNT; type++) {
    SCOPED_TRACE(names[type]);
    ui.notes.clear();
    EXPECT_EQ(save_as({{test_wide(names[type]), type, 1, u""}}), 1);
    std::string written = path(names[type]) + "." + extensions[type];
    std::u16string wwritten = test_wide(written);
    ASSERT_TRUE(std::filesystem::exists(written));
    EXPECT_EQ(ui.notes.back(), u"Saved Ok");
    EXPECT_EQ(test_utf8(file->_target_path), written);
    bool jpeg = type >= PAINT_FILE_TYPE_JPEG_LOW && type <= PAINT_FILE_TYPE_JPEG_HIGH;
    tbitmap *image = nullptr, *mask = nullptr;
    if (type == PAINT_FILE_TYPE_NATIVE) {
      EXPECT_EQ(test_utf8(file->_path), written);
      image = paint_file_read_thumbnail(wwritten.c_str());
    } else if (type <= PAINT_FILE_TYPE_BMP_GREY) {
      image = static_cast<tbitmap *>(std::calloc(1, sizeof(tbitmap)));
      ASSERT_EQ(tbitmap_load_bmp(image, wwritten.c_str()), 1);
      EXPECT_EQ(tbitmap_get_bpp(image), type == PAINT_FILE_TYPE_BMP24 ? 24 : 8);
      EXPECT_FALSE(tbitmap_is_top_down(image));
    } else if (type == PAINT_FILE_TYPE_GIF) {
      EXPECT_EQ(gif_image_load(&image, wwritten.c_str()), 1);
    } else if (type == PAINT_FILE_TYPE_PNG) {
      EXPECT_EQ(png_image_load(&image, &mask, wwritten.c_str()), 1);
    } else {
      EXPECT_EQ(jpeg_image_load(&image, wwritten.c_str()), 1);
    }
    bitmap_ptr owned(image), owned_mask(mask);
    ASSERT_NE(image, nullptr);
    if (type != PAINT_FILE_TYPE_NATIVE) {
      ASSERT_EQ(tbitmap_get_width(image), 48);
      ASSERT_EQ(tbitmap_get_height(image), 32);
    }
    double difference = 0;
    for (int32_t y = 0; y < 32; y++)
      for (int32_t x = 0; x < 48; x++) {
        uint32_t want = canvas_rgb(x, y), got = test_rgb(image, x, y);
        if (type == PAINT_FILE_TYPE_BMP_GREY) {
          uint32_t r = want >> 16, g = (want >> 8) & 0xFF, b = want & 0xFF;
          want = ((151 * g + 77 * r + 28 * b) >> 8) * 0x010101u;
        }
        if (jpeg) {
          difference += std::abs(int(got >> 16) - int(want >> 16));
        } else if (type != PAINT_FILE_TYPE_NATIVE) {
          ASSERT_EQ(got, want) << x << "," << y;
        }
      }
    EXPECT_TRUE(!jpeg || difference / (48 * 32) < 40.0) << difference;
  }
  EXPECT_LT(std::filesystem::file_size(path("low.jpg")), std::filesystem::file_size(path("medium.jpg")));
  EXPECT_LT(std::filesystem::file_size(path("medium.jpg")), std::filesystem::file_size(path("high.jpg")));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(paint_history_is_modified(history), 0) << "only the native save clears it";
}

TEST_F(PaintFile, ExportsWriteTheCanvasAtItsZoomAndFailWithTheCodeOfTheirFormat) {
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  ASSERT_EQ(paint_file_save_bmp24(file, wpath("twice.bmp").c_str()), 1);
  tbitmap twice = {};
  ASSERT_EQ(tbitmap_load_bmp(&twice, wpath("twice.bmp").c_str()), 1);
  EXPECT_EQ(tbitmap_get_width(&twice), 400);
  EXPECT_EQ(tbitmap_get_height(&twice), 300);
  tbitmap_deinit(&twice);

  // Whatever the save type says, a failure is named after what was written.
  file->_save_type = PAINT_FILE_TYPE_JPEG_MEDIUM;
  std::u16string nowhere = wpath("no/such/folder/x");
  EXPECT_EQ(paint_file_save_png(file, nowhere.c_str()), -10);
  EXPECT_EQ(paint_file_save_gif(file, nowhere.c_str()), -9);
  EXPECT_EQ(paint_file_save_jpeg(file, nowhere.c_str(), 75), -8);
  EXPECT_EQ(paint_file_save_bmp24(file, nowhere.c_str()), -5);
  EXPECT_EQ(paint_file_save_bmp256(file, nowhere.c_str()), -5);
  EXPECT_EQ(paint_file_save_bmp_grey(file, nowhere.c_str()), -5);
  std::vector<std::u16string> shown;
  for (int code : {-10, -9, -8, -5, -5, -5}) shown.push_back(u"Fail to save file (code: " + test_wide(std::to_string(code)) + u").");
  EXPECT_EQ(ui.messages, shown);
  uint64_t budget = tbitmap_set_budget(1000);
  EXPECT_EQ(paint_file_save_bmp24(file, wpath("small.bmp").c_str()), -6);
  tbitmap_set_budget(budget);

  // Opened with the shell afterwards when asked, once.
  g_launched.clear();
  os_launcher_fn old_launcher = os_shell_set_launcher(record_launch);
  paint_file_set_open_after_save(file);
  EXPECT_EQ(paint_file_save_png(file, wpath("shown.png").c_str()), 1);
  EXPECT_EQ(paint_file_save_bmp_grey(file, wpath("quiet.bmp").c_str()), 1);
  paint_file_set_open_after_save(file);
  paint_file_clear_open_after_save(file);
  EXPECT_EQ(paint_file_save_bmp24(file, wpath("quiet.bmp").c_str()), 1);
  os_shell_set_launcher(old_launcher);
  ASSERT_TRUE(port_test_finish_launches());
  EXPECT_EQ(g_launched, std::vector<std::string>{path("shown.png")});
}

TEST_F(PaintFile, QuantiserKeepsFewColoursAndSortsBinsByCount) {
  // One colour: the first entry is that colour rounded down to multiples of
  // 16, the other 255 are black; rows come out bottom-up.
  bitmap_ptr one = test_bitmap(3, -2, 32);
  tbitmap_fill_rect(one.get(), 0, 0, 2, 1, 0xFF7F81FF);
  uint8_t palette[1024], pixels[8];
  ASSERT_EQ(paint_file_quantize_256(one.get(), palette, pixels, 4), 1);
  EXPECT_EQ(bytes(palette, palette + 4), (bytes{0xF0, 0x80, 0x70, 0}));  // blue, green, red
  for (int i = 4; i < 1024; i++) ASSERT_EQ(palette[i], 0) << i;

  // 300 bins, the colour of column x in bin x: the bin with the most pixels
  // comes first, then equal counts in bin order; the bins past the 256th
  // go to the nearest entry.
  bitmap_ptr many = test_bitmap(300, -2, 24);
  for (int32_t x = 0; x < 300; x++) {
    uint32_t colour = uint32_t(x % 16) << 20 | uint32_t((x / 16) % 16) << 12 | uint32_t(x / 256) << 4;
    tbitmap_set_pixel(many.get(), x, 0, colour);
    tbitmap_set_pixel(many.get(), x, 1, x < 3 ? 0x0000F0u : colour);
  }
  std::vector<uint8_t> rows(300 * 2);
  ASSERT_EQ(paint_file_quantize_256(many.get(), palette, rows.data(), 300), 1);
  EXPECT_EQ(palette[0], 0xF0);
  EXPECT_EQ(palette[2], 0x00);
  // The exchange sort swaps over a distance, so equal counts do not keep
  // their order: column 3 went behind when the blue bin came forward.
  EXPECT_EQ(palette[4 + 2], 0x40);
  EXPECT_EQ(palette[8 + 2], 0x50);
  // Output row 0 is the bottom row, which starts with the blue bin.
  EXPECT_EQ(rows[0], 0);
  EXPECT_EQ(rows[2], 0);
  auto distance = [&](int entry, const tcolor &c) {
    int db = palette[4 * entry] - (c.blue & 0xF0), dg = palette[4 * entry + 1] - (c.green & 0xF0);
    int dr = palette[4 * entry + 2] - (c.red & 0xF0);
    return db * db + dg * dg + dr * dr;
  };
  int exact = 0;
  for (int32_t x = 0; x < 300; x++) {
    tcolor c = {};
    tbitmap_get_pixel_color(many.get(), x, 0, &c);
    int nearest = 1 << 30;
    for (int entry = 0; entry < 256; entry++) nearest = std::min(nearest, distance(entry, c));
    ASSERT_EQ(distance(rows[300 + x], c), nearest) << x;  // the top row
    if (nearest == 0) exact++;
    EXPECT_TRUE(x >= 3 || nearest > 0) << "a bin of one pixel has no entry of its own";
  }
  EXPECT_EQ(exact, 255) << "the blue bin and 255 bins of two pixels fill the palette";

  // Grey: pure red 76, green 150, blue 27.
  remake(3, 1);
  fill(0, 0, 0, 0, 0xFF0000);
  fill(1, 0, 1, 0, 0x00FF00);
  fill(2, 0, 2, 0, 0x0000FF);
  ASSERT_EQ(paint_file_save_bmp_grey(file, wpath("grey.bmp").c_str()), 1);
  tbitmap grey = {};
  ASSERT_EQ(tbitmap_load_bmp(&grey, wpath("grey.bmp").c_str()), 1);
  EXPECT_EQ(std::vector<uint32_t>({tbitmap_get_pixel(&grey, 0, 0), tbitmap_get_pixel(&grey, 1, 0),
                                   tbitmap_get_pixel(&grey, 2, 0)}),
            std::vector<uint32_t>({76, 150, 27}));
  tbitmap_deinit(&grey);
}

// --- The save flows -----------------------------------------------------

TEST_F(PaintFile, SaveOnAnUntitledPaintingAsksForANameThenSavesInPlace) {
  draw_something();
  ui.steps = {{u"", 0, 0, u""}};
  EXPECT_EQ(paint_file_save_current(file), 0) << "cancelled";
  EXPECT_EQ(ui.titles, std::vector<std::u16string>{u"Save Untitled As"});
  ui.steps = {{u"sky", PAINT_FILE_TYPE_NATIVE, 1, u""}};
  EXPECT_EQ(paint_file_save_current(file), 1);
  EXPECT_EQ(test_utf8(file->_path), path("sky.bvf"));
  EXPECT_EQ(paint_history_is_modified(history), 0);
  EXPECT_EQ(ui.save_dirs, std::vector<std::u16string>{test_wide(dir)});
  EXPECT_EQ(ui.notes.back(), u"Saved Ok");
  EXPECT_GE(ui.wait_notes_closed, 1);

  // Now titled: Save writes in place without a dialog.
  stroke(tool(SHAPE_ID_PENCIL), {{5, 5}, {100, 5}}, 0);
  EXPECT_EQ(paint_file_save_current(file), 1);
  EXPECT_EQ(ui.titles.size(), 2u);
  EXPECT_EQ(ui.wait_notes.back(), u"Saving file...");
  EXPECT_EQ(paint_history_is_modified(history), 0);

  // Save As names the document in its title.
  EXPECT_EQ(save_as({{u"", 0, 0, u""}}), 0);
  EXPECT_EQ(ui.titles.back(), u"Save sky As");

  // The question before dropping the painting: No keeps it unsaved, Yes saves.
  stroke(tool(SHAPE_ID_PENCIL), {{5, 50}, {100, 50}}, 0);
  ui.answers = {0};
  paint_file_ask_save_changes(file);
  EXPECT_EQ(paint_history_is_modified(history), 1);
  EXPECT_EQ(ui.questions.back(), u"Save paint changes to file?");
  paint_file_ask_save_changes(file);
  EXPECT_EQ(paint_history_is_modified(history), 0);
  size_t asked = ui.questions.size();
  paint_file_ask_save_changes(file);
  EXPECT_EQ(ui.questions.size(), asked) << "nothing to ask when nothing changed";
}

TEST_F(PaintFile, SaveAsBuildsTheNameChecksItAndAsksBeforeOverwriting) {
  // sky, type 5: sky.jpg at quality 75, the same bytes the codec writes.
  EXPECT_EQ(save_as({{u"sky", PAINT_FILE_TYPE_JPEG_MEDIUM, 1, u""}}), 1);
  ASSERT_TRUE(std::filesystem::exists(path("sky.jpg")));
  ASSERT_EQ(jpeg_image_save(paint_context_get_canvas(pc), wpath("direct.jpg").c_str(), 75), 1);
  EXPECT_EQ(test_read_file(path("sky.jpg")), test_read_file(path("direct.jpg")));
  EXPECT_EQ(std::u16string(file->_path), u"") << "an export leaves the document untitled";
  EXPECT_EQ(save_as({{u"sky.JPG", PAINT_FILE_TYPE_JPEG_MEDIUM, 1, u""}}), 1);
  EXPECT_TRUE(std::filesystem::exists(path("sky.JPG")));
  EXPECT_FALSE(std::filesystem::exists(path("sky.JPG.jpg")));

  // Refused names keep the dialog open: the next step is taken in it.
  ui.messages.clear();
  EXPECT_EQ(save_as({{u"a:b", 8, 1, u""}, {u"", 8, 1, u""}, {u"ab", 8, 1, u""}}), 1);
  EXPECT_EQ(ui.vetoes, 2);
  EXPECT_EQ(ui.messages, (std::vector<std::u16string>{u"File name contains invalid char such as /\\:*?\"<>|",
                                                       u"File name can not be empty."}));
  EXPECT_TRUE(std::filesystem::exists(path("ab.png")));

  // The file exists: No brings the dialog back; Yes replaces the file.
  const bytes old = test_read_file(path("sky.jpg"));
  size_t shown = ui.titles.size();
  ui.answers = {0};
  EXPECT_EQ(save_as({{u"sky", PAINT_FILE_TYPE_JPEG_MEDIUM, 1, u""}, {u"sky", PAINT_FILE_TYPE_PNG, 1, u""}}), 1);
  EXPECT_EQ(ui.titles.size(), shown + 2);
  EXPECT_EQ(test_utf8(ui.questions.back()), "File '" + path("sky.jpg") + "' exists, do you want to overwrite it?");
  EXPECT_EQ(test_read_file(path("sky.jpg")), old);
  EXPECT_TRUE(std::filesystem::exists(path("sky.png")));
  ui.answers = {1};
  EXPECT_EQ(save_as({{u"sky", PAINT_FILE_TYPE_JPEG_LOW, 1, u""}}), 1);
  EXPECT_NE(test_read_file(path("sky.jpg")), old);

  // A folder that is not there yet is made; it becomes the application's
  // last folder when the file object goes.
  EXPECT_EQ(save_as({{u"there", PAINT_FILE_TYPE_BMP24, 1, wpath("fresh")}}), 1);
  EXPECT_TRUE(std::filesystem::exists(path("fresh/there.bmp")));
  paint_file_free(file);
  file = nullptr;
  EXPECT_EQ(std::u16string(last_dir), wpath("fresh"));
}

TEST_F(PaintFile, LongPathsAreNotCut) {
  std::string deep = dir;
  while (deep.size() < 400) {
    deep += "/a_rather_long_folder_name_for_the_test";
    std::filesystem::create_directory(deep);
  }
  std::string target = deep + "/picture.png", doc = deep + "/document.bvf";
  EXPECT_EQ(paint_file_save_png(file, test_wide(target).c_str()), 1);
  EXPECT_TRUE(std::filesystem::exists(target));
  EXPECT_EQ(test_utf8(file->_target_path), target);
  ASSERT_EQ(paint_file_save_to(file, test_wide(doc).c_str()), 1);
  ASSERT_EQ(paint_file_open(file, test_wide(doc).c_str()), 1);
  EXPECT_EQ(test_utf8(file->_path), doc);
}

}  // namespace

int main(int argc, char **argv) { return paint_test_main(argc, argv); }

// A thumbnail read for a cell is fitted to it as it is read: the pixels the
// whole thumbnail scaled with its aspect ratio kept shows, and never more
// than the cell's pixels kept, whatever size the stored block claims.
TEST_F(PaintFile, AThumbnailReadForACellIsFittedToItWhileItIsRead) {
  ASSERT_EQ(save("small.bvf"), 1);
  const bytes good = test_read_file(path("small.bvf"));
  const uint32_t offset = test_le32(good, 36);
  std::mt19937 rng(28);
  // The thumbnail block of a width x height picture, rows random.
  auto document = [&](int bpp, int32_t width, int32_t height, bool sparse) {
    const uint64_t stride = uint64_t((int64_t(bpp) * width + 31) / 32 * 4), rows = uint64_t(std::abs(height));
    expect_bytes e;
    e.u32(0), e.u32(0), e.u32(0), e.u32(uint32_t(stride)), e.zeros(10 * 4);
    e.u32(40), e.u32(uint32_t(width)), e.u32(uint32_t(height)), e.u16(1), e.u16(uint32_t(bpp)), e.u32(0);
    e.u32(uint32_t(stride * rows)), e.zeros(16);
    if (bpp <= 8)
      for (uint32_t i = 0; i < (1u << bpp); i++) e.u32(rng() & 0xFFFFFF);
    e.zeros(4);
    bytes doc(good.begin(), good.begin() + offset);
    test_put32(e.b, 0, uint32_t(e.b.size() - 4 + stride * rows));
    doc.insert(doc.end(), e.b.begin(), e.b.end());
    size_t pixels_at = doc.size();
    doc.resize(sparse ? pixels_at + 4096 : pixels_at + size_t(stride * rows));
    for (size_t i = pixels_at; i < doc.size(); i++) doc[i] = uint8_t(rng());
    test_write_file(path("thumb.bvf"), doc);
    // The rest of a large block is a hole in the file.
    if (sparse) {
      EXPECT_EQ(truncate(path("thumb.bvf").c_str(), off_t(pixels_at + stride * rows)), 0);
    }
  };
  const struct {
    int bpp;
    int32_t width, height;
  } cases[] = {{32, 900, -700}, {24, 333, 1000}, {8, 500, 501}, {4, 301, 77}, {1, 640, 480}, {16, 100, 100}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.bpp);
    document(c.bpp, c.width, c.height, false);
    bitmap_ptr whole(paint_file_read_thumbnail(wpath("thumb.bvf").c_str()));
    bitmap_ptr fitted(paint_file_read_thumbnail_fitted(wpath("thumb.bvf").c_str(), 110, 130));
    ASSERT_TRUE(whole && fitted);
    bitmap_ptr expected(tscale_new_scaled(whole.get(), 110, c.height < 0 ? -130 : 130, 1));
    if (c.width <= 110 && std::abs(c.height) <= 130) expected.reset(tbitmap_new_copy(whole.get()));
    ASSERT_EQ(test_shape(fitted.get()), test_shape(expected.get()));
    const size_t row_bytes = size_t(tbitmap_get_width(fitted.get())) * size_t(tbitmap_get_bpp(fitted.get()) / 8);
    for (int32_t y = 0; y < std::abs(tbitmap_get_height(fitted.get())); y++)
      ASSERT_EQ(std::memcmp(tbitmap_get_row(fitted.get(), y), tbitmap_get_row(expected.get(), y), row_bytes), 0) << y;
  }
  document(32, 8000, 8000, true);
  bitmap_ptr fitted(paint_file_read_thumbnail_fitted(wpath("thumb.bvf").c_str(), 110, 130));
  ASSERT_NE(fitted, nullptr);
  EXPECT_LE(tbitmap_get_image_size(fitted.get()), 110u * 130u * 4u);
}

// The kept painting is only ever a plain file: a link in its place, here to
// a whole document, is not followed, and a FIFO is not waited on (a writer
// that never comes would hold the start for good). Either is a file that
// cannot be opened, and the painting stays as it was. The restore sets such
// things aside before it reads; this holds when one comes in between.
TEST_F(PaintFile, TheKeptPaintingsReaderFollowsNoLinkAndWaitsOnNoPipe) {
  draw_something();
  ASSERT_EQ(save("whole.bvf"), 1);
  ASSERT_EQ(symlink(path("whole.bvf").c_str(), path("link.bvf").c_str()), 0);
  ASSERT_EQ(mkfifo(path("pipe.bvf").c_str(), 0600), 0);
  paint_history_reset(history);
  paint_context_clear(pc);
  for (const char *name : {"link.bvf", "pipe.bvf"}) {
    SCOPED_TRACE(name);
    const painting_state before = state();
    // A reader held by the pipe is let go after a while, and told.
    std::atomic<bool> returned{false}, held{false};
    std::thread guard([&] {
      for (int tick = 0; tick < 1000 && !returned; tick++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (returned) return;
      held = true;
      int fd = ::open(path(name).c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) close(fd);
    });
    EXPECT_EQ(paint_file_open_quietly(file, wpath(name).c_str()), PAINT_FILE_ERR_OPEN);
    returned = true;
    guard.join();
    EXPECT_FALSE(held) << "the reader waited on the pipe";
    EXPECT_TRUE(state() == before);
  }
  EXPECT_EQ(paint_file_open_quietly(file, wpath("whole.bvf").c_str()), 1) << "what the link leads to opens";
}
