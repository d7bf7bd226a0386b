// The roads that replace the painting, run in the real application under a
// clock the test drives: the restore of a kept painting (present, absent,
// damaged), picture loads and the framing mode, the camera, the screenshot,
// a large My Paints document, and the New Empty Paint dialog.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "alphapanel.h"
#include "app_common.h"
#include "colorpanel.h"
#include "commandpanel.h"
#include "app_test_env.h"
#include "new_dialog.h"
#include "open_picture_dialog.h"
#include "os_clock.h"
#include "os_display.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_fixture.h"
#include "paint_history.h"
#include "paint_main.h"
#include "paint_new.h"
#include "port_test_app.h"
#include "screen_capture.h"
#include "shape.h"
#include "tbutton.h"
#include "tcolordialog.h"
#include "tcombobox.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tedit.h"
#include "tfilelist.h"
#include "tlistbox.h"
#include "topendialog.h"
#include "tlabel.h"
#include "tmenu.h"
#include "tmessagedialog.h"
#include "toolbar.h"
#include "tsavedialog.h"
#include "upload.h"
#include "upload_info_dialog.h"
#include "upload_panel.h"
#include "tscreen.h"
#include "test_env.h"
#include "wait_screenshot_dialog.h"
#include "wins_window.h"

namespace {

bool exists(const std::string &path) { return std::filesystem::exists(path); }

void run_for(uint32_t ms) {
  for (uint32_t t = 0; t < ms; t += 10) {
    os_clock_advance(10);
    port_test_pump();
  }
}

// The app with a clock that stands still until the test moves it; the
// start-up restore has run when body starts.
void run(const std::function<void(app_context *)> &body, const char *screen = "480x640") {
  ASSERT_TRUE(app_test_run(
      [&](app_context *app) {
        os_clock_drive(1);
        run_for(PAINT_MAIN_RESTORE_DELAY_MS);
        body(app);
        os_clock_drive(0);
      },
      screen));
}

tdialog *modal_dialog() {
  tsurface *modal = app_test_popup();
  return modal ? reinterpret_cast<tdialog *>(modal) : nullptr;
}

// The text of the message box in front ("" without one), and closing it.
std::u16string box_text() {
  tdialog *dialog = modal_dialog();
  if (!dialog) return u"";
  tmessagedialog *box = static_cast<tmessagedialog *>(tsurface_get_owner(&dialog->_control._surface));
  tlabel *label = tmessagedialog_get_label(box);
  return label && label->_text ? label->_text : u"";
}
void close_box() {
  if (tdialog *dialog = modal_dialog()) tdialog_close(dialog, 0);
  port_test_pump();
}

// The reader's message boxes wait in a nested loop; this closes each one
// from inside it, as the user would (or does what the test asks instead),
// and keeps what it said. A second
// thread posts to a window of ours, whose procedure runs on the GUI thread.
// Only a surface made modal after the closer started is a box: the one
// there before (the command panel's tab) is no dialog, and the poster's
// real-time messages can still arrive after the last box has closed.
constexpr uint32_t k_close_boxes = WM_USER + 7;
std::vector<std::u16string> g_box_texts;
tsurface *g_modal_before = nullptr;
std::function<void()> g_on_box;
// A box the test leaves up (a close is on its way) is heard once, however
// many of the poster's messages arrive before it goes: it is the same
// surface, and no pop-up has shown since.
tsurface *g_box_heard = nullptr;
uint32_t g_popups_heard = 0;
intptr_t closer_proc(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (message != k_close_boxes) return os_def_window_proc(window, message, wparam, lparam);
  tscreen *screen = tscreen_get();
  tsurface *modal = tscreen_get_modal(screen);
  if (modal_dialog() && modal != g_modal_before &&
      (modal != g_box_heard || tscreen_get_popup_count(screen) != g_popups_heard)) {
    g_box_heard = modal;
    g_popups_heard = tscreen_get_popup_count(screen);
    g_box_texts.push_back(box_text());
    g_on_box();
  }
  return 0;
}
struct box_closer {
  os_hwnd window = os_window_create(u"BoxCloser", u"", closer_proc, 0, 0, 0, 1, 1);
  std::atomic<bool> done{false};
  std::thread poster{[this] {
    while (!done) {
      os_post_message(window, k_close_boxes, 0, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }};
  explicit box_closer(std::function<void()> on_box = [] { tdialog_close(modal_dialog(), 0); }) {
    g_box_texts.clear();
    g_box_heard = nullptr;
    g_modal_before = tscreen_get_modal(tscreen_get());
    g_on_box = std::move(on_box);
  }
  ~box_closer() {
    done = true;
    poster.join();
    os_window_destroy(window);
  }
};

std::string kept_file(const app_test_folders &folders) { return folders.home + "/cache/paint.cache"; }

// A 24-bit picture with a different colour in each quarter.
tbitmap *quarters(int32_t width, int32_t height) {
  tbitmap *bitmap = tbitmap_new(width, height, 24);
  const uint32_t colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFF808080u};
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++)
      tbitmap_set_pixel(bitmap, x, y, colours[(y >= height / 2) * 2 + (x >= width / 2)]);
  return bitmap;
}

std::string write_picture(const std::string &dir, const char *name, int32_t width, int32_t height) {
  std::string path = dir + "/" + name;
  tbitmap *bitmap = quarters(width, height);
  tbitmap_save_bmp(bitmap, test_wide(path).c_str());
  tbitmap_free(bitmap);
  return path;
}

int32_t canvas_width(app_context *app) { return tbitmap_get_width(paint_context_get_canvas(app->_paint_context)); }
int32_t canvas_height(app_context *app) { return tbitmap_get_height(paint_context_get_canvas(app->_paint_context)); }
int32_t tool_id(app_context *app) { return app->_current_tool ? shape_get_id(app->_current_tool) : 0; }
bool shown(void *control) {
  tsurface *surface = static_cast<tsurface *>(control);
  return tsurface_is_visible(surface) && tsurface_is_linked(surface);
}

// Two strokes, then 'Q': the painting is kept in paint.cache.
std::string keep_two_strokes(const app_test_folders &folders) {
  std::string kept;
  const int first[][2] = {{100, 300}, {200, 350}, {260, 420}};
  const int second[][2] = {{120, 500}, {300, 380}};
  EXPECT_TRUE(app_test_run([&](app_context *app) {
    app_test_remove_toolbar(app);
    app_test_stroke(first, 3);
    app_test_stroke(second, 2);
    kept = app_test_canvas_bytes(app);
    app_test_char(u'Q');
  }));
  EXPECT_TRUE(exists(kept_file(folders)));
  return kept;
}

}  // namespace

// The file stays until a newer keep replaces it: a kill or a crash after the
// restore loses nothing.
TEST(PaintRestore, AKeptPaintingComesBackAfterFiftyMsAndItsFileStays) {
  app_test_folders folders;
  std::string kept = keep_two_strokes(folders);
  test_bytes file = test_read_file(kept_file(folders));
  ASSERT_TRUE(app_test_run([&](app_context *app) {
    os_clock_drive(1);
    EXPECT_TRUE(exists(kept_file(folders))) << "nothing before the timer";
    run_for(PAINT_MAIN_RESTORE_DELAY_MS);
    os_clock_drive(0);
    EXPECT_TRUE(app_test_canvas_bytes(app) == kept);
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
    EXPECT_EQ(test_read_file(kept_file(folders)), file);
    EXPECT_FALSE(exists(kept_file(folders) + ".bad"));
    EXPECT_EQ(paint_history_get_count(app->_history), 2);
    EXPECT_TRUE(paint_history_is_modified(app->_history)) << "leaving asks to save";
    EXPECT_EQ(std::u16string(app->_file->_path), u"") << "untitled";
  }));
}

// A restored painting and one more stroke: every road out but Ctrl+Q keeps
// both for the next start, also when the stroke's pen is still down.
TEST(PaintRestore, EveryRoadOutButControlQKeepsTheRestoredPaintingAndItsNewStroke) {
  const struct {
    const char *road;
    void (*take)();
    bool keeps, pen_down;
  } cases[] = {
      {"Q", [] { os_input_char(u'Q'); }, true, false},
      {"window close (also SIGTERM, SIGINT)", os_input_close, true, false},
      {"Ctrl+Q", [] { os_input_key(VK_CONTROL, 1, 1), os_input_key('Q', 1, 1); }, false, false},
      {"Q while drawing", [] { os_input_char(u'Q'); }, true, true},
      {"window close while drawing", os_input_close, true, true},
  };
  const int stroke[][2] = {{60, 450}, {420, 470}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.road);
    app_test_folders folders;
    keep_two_strokes(folders);
    std::string painted;
    run([&](app_context *app) {
      app_test_remove_toolbar(app);
      if (c.pen_down) {
        app_test_pen(OS_PEN_DOWN, stroke[0][0], stroke[0][1]);
        app_test_pen(OS_PEN_MOVE, stroke[1][0], stroke[1][1]);
      } else {
        app_test_stroke(stroke, 2);
      }
      painted = app_test_canvas_bytes(app);
      c.take();
      wins_window_run();
    });
    EXPECT_TRUE(exists(folders.home + "/config.xml"));
    ASSERT_EQ(exists(kept_file(folders)), c.keeps);
    if (c.keeps) run([&](app_context *app) { EXPECT_TRUE(app_test_canvas_bytes(app) == painted); });
  }
}

namespace {

// Where the document's name shows, read as the user meets it: the caption of
// Save As and the name it offers, the caption of the dialog Save asks for a
// name with ("" when Save wrote in place), and the title the upload offers.
struct name_places {
  std::u16string save_as_caption, save_as_name, save_caption, upload_title;
  bool operator==(const name_places &o) const {
    return save_as_caption == o.save_as_caption && save_as_name == o.save_as_name &&
           save_caption == o.save_caption && upload_title == o.upload_title;
  }
};
std::ostream &operator<<(std::ostream &out, const name_places &p) {
  return out << "{" << test_utf8(p.save_as_caption) << " | " << test_utf8(p.save_as_name) << " | "
             << test_utf8(p.save_caption) << " | " << test_utf8(p.upload_title) << "}";
}

// The save flows' dialog slot, passed on to the program's own: the dialog it
// shows is read and then cancelled by its soft key, in its nested loop.
int (*g_program_save_dialog)(void *, const paint_file_save_dialog *);
std::u16string g_save_caption, g_save_name;
int read_and_cancel(void *user, const paint_file_save_dialog *request) {
  if (!g_program_save_dialog(user, request)) return 0;
  tdialog *dialog = modal_dialog();
  tsavedialog *save = static_cast<tsavedialog *>(tsurface_get_owner(&dialog->_control._surface));
  g_save_caption = tdialog_get_title(dialog);
  g_save_name = tsavedialog_get_name(save);
  app_test_post_tap(tcontrolbar_get_right_button(tdialog_get_controlbar(dialog)));
  return 1;
}

name_places read_name_places(app_context *app) {
  name_places seen;
  g_program_save_dialog = app->_file->_ui.show_save_dialog;
  app->_file->_ui.show_save_dialog = read_and_cancel;
  g_save_caption = g_save_name = u"";
  paint_file_save_as(app->_file);
  seen.save_as_caption = g_save_caption;
  seen.save_as_name = g_save_name;
  if (upload_start_dialog(app)) {
    tdialog *dialog = modal_dialog();
    upload_info_dialog *info = static_cast<upload_info_dialog *>(tsurface_get_owner(&dialog->_control._surface));
    seen.upload_title = tedit_get_text(info->_title_edit);
    tdialog_close(dialog, TDIALOG_RESULT_CANCEL);
    port_test_pump();
  }
  g_save_caption = u"";
  paint_file_save_current(app->_file);
  seen.save_caption = g_save_caption;
  run_for(2100);  // a save in place shows "Saved Ok" for two seconds
  app->_file->_ui.show_save_dialog = g_program_save_dialog;
  return seen;
}

// A document saved as "holiday.bvf" and opened again: named "holiday".
void open_holiday(app_context *app, const app_test_folders &folders) {
  std::u16string path = test_wide(folders.root + "/holiday.bvf");
  ASSERT_TRUE(paint_file_save_to(app->_file, path.c_str()));
  ASSERT_TRUE(paint_file_open(app->_file, path.c_str()));
}

}  // namespace

// A restored painting has no name, as a new one has none: wherever a new
// painting reads "Untitled" or offers no name, so does a restored one, and
// Save asks for a name first. The holiday painting shows that each place
// reads the name.
TEST(PaintRestore, ARestoredPaintingIsUntitledWhereverANewOneIs) {
  const name_places untitled = {u"Save Untitled As", u"", u"Save Untitled As", u""};
  const name_places holiday = {u"Save holiday As", u"holiday", u"", u"holiday"};
  enum { START_UP, NEW_EMPTY, RESTORED, OPENED };
  const struct {
    const char *painting;
    int kind;
    const name_places &expected;
  } rows[] = {
      {"the painting of a start without a kept one", START_UP, untitled},
      {"New Empty Paint after a named painting", NEW_EMPTY, untitled},
      {"a named painting changed, kept by Q and restored", RESTORED, untitled},
      {"a named painting opened", OPENED, holiday},
  };
  const int stroke[][2] = {{60, 450}, {420, 470}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.painting);
    app_test_folders folders;
    if (row.kind == RESTORED) {
      ASSERT_TRUE(app_test_run([&](app_context *app) {
        open_holiday(app, folders);
        app_test_remove_toolbar(app);
        app_test_stroke(stroke, 2);
        app_test_char(u'Q');
      }));
    }
    run([&](app_context *app) {
      EXPECT_EQ(exists(kept_file(folders)), row.kind == RESTORED);
      if (row.kind == NEW_EMPTY || row.kind == OPENED) open_holiday(app, folders);
      if (row.kind == NEW_EMPTY) commandpanel_on_new_dialog_result(TDIALOG_RESULT_OK, nullptr);
      EXPECT_EQ(read_name_places(app), row.expected);
    });
  }
}

// A close before the restore has read the kept painting leaves it as it was.
TEST(PaintRestore, AnExitBeforeTheRestoreLeavesTheKeptPaintingAlone) {
  app_test_folders folders;
  keep_two_strokes(folders);
  test_bytes kept = test_read_file(kept_file(folders));
  ASSERT_TRUE(app_test_run([&](app_context *) {
    os_clock_drive(1);
    os_input_close();
    wins_window_run();
    os_clock_drive(0);
  }));
  EXPECT_EQ(test_read_file(kept_file(folders)), kept);
}

TEST(PaintRestore, WithoutAKeptPaintingNothingCountsAsModified) {
  app_test_folders folders;
  run([&](app_context *app) {
    EXPECT_FALSE(paint_history_is_modified(app->_history));
    EXPECT_EQ(paint_history_get_count(app->_history), 0);
    EXPECT_FALSE(exists(kept_file(folders) + ".bad"));
    EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
  });
}

TEST(PaintRestore, ADamagedKeptPaintingOpensAsFarAsItReadsAndIsKeptAside) {
  struct damage {
    const char *what;
    size_t cut;  // bytes taken off the end; 0: the whole file replaced by junk
    int32_t records;
  } const cases[] = {{"cut inside the last record", 9, 1}, {"junk", 0, 0}};
  for (const damage &c : cases) {
    SCOPED_TRACE(c.what);
    app_test_folders folders;
    keep_two_strokes(folders);
    test_bytes bytes = test_read_file(kept_file(folders));
    if (c.cut)
      bytes.resize(test_le32(bytes, 36) - c.cut);  // the thumbnail follows the records
    else
      bytes.assign(64, 0x5A);
    ASSERT_TRUE(test_write_file(kept_file(folders), bytes));
    ASSERT_TRUE(app_test_run([&](app_context *app) {
      {
        box_closer closer;
        os_clock_drive(1);
        run_for(PAINT_MAIN_RESTORE_DELAY_MS);
        os_clock_drive(0);
      }
      EXPECT_EQ(paint_history_get_count(app->_history), c.records);
      EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
      EXPECT_FALSE(exists(kept_file(folders)));
      EXPECT_TRUE(exists(kept_file(folders) + ".bad")) << "the user's only copy stays";
      EXPECT_EQ(test_read_file(kept_file(folders) + ".bad"), bytes);
      EXPECT_TRUE(paint_history_is_modified(app->_history));
      EXPECT_EQ(std::u16string(app->_file->_path), u"");
    }));
  }
}

// A user folder named in bytes that are not text: the damaged kept painting
// is still set aside under its own name, not lost to a changed one.
TEST(PaintRestore, ADamagedKeptPaintingInAFolderNamedInBytesIsKeptAside) {
  app_test_folders folders;
  keep_two_strokes(folders);
  std::string home = folders.home + "\xFF\xFE";
  ASSERT_EQ(std::rename(folders.home.c_str(), home.c_str()), 0);
  setenv("BRIVOLA_HOME", home.c_str(), 1);
  std::string kept = home + "/cache/paint.cache";
  test_bytes junk(64, 0x5A);
  ASSERT_TRUE(test_write_file(kept, junk));
  ASSERT_TRUE(app_test_run([&](app_context *) {
    box_closer closer;
    os_clock_drive(1);
    run_for(PAINT_MAIN_RESTORE_DELAY_MS);
    os_clock_drive(0);
  }));
  EXPECT_EQ(test_read_file(kept + ".bad"), junk);
}

// A window close (SIGTERM and SIGINT arrive as one) while the restore's box
// says why the kept painting did not open: the damaged file is already aside,
// as it was, and what the box stands over (the strokes read before the cut,
// else the empty start-up painting) is kept for the next start. A painting
// no budget could ever hold is damage with a reason of its own, not a
// shortage left in place to fail every start.
TEST(PaintRestore, AnExitDuringTheDamagedPaintingsBoxKeepsItAsItWas) {
  const std::u16string too_large = u"Fail to open paint (code: -6)\nThe painting is too large to open.";
  const struct {
    const char *what;
    void (*spoil)(test_bytes &bytes);
    std::u16string said;
  } cases[] = {
      {"cut", [](test_bytes &b) { b.resize(test_le32(b, 36) - 9); }, u"Fail to open paint (code: -2)\nDamaged file.."},
      {"junk", [](test_bytes &b) { b.assign(64, 0x5A); }, u"Fail to open paint (code: -3)\nInvalid file format.."},
      {"empty", [](test_bytes &b) { b.clear(); }, u"Fail to open paint (code: -3)\nInvalid file format.."},
      {"a canvas over the bound", [](test_bytes &b) { test_put32(b, 8, 9000), test_put32(b, 12, 9000); }, too_large},
      {"a base picture of 32767 x 32767",
       [](test_bytes &b) {
         test_bytes block(96 + 16, 0);
         test_put32(block, 8, 32767 * 4);  // the stride
         test_put32(block, 52, 40), test_put32(block, 56, 32767), test_put32(block, 60, uint32_t(-32767));
         test_put16(block, 66, 32);
         b.insert(b.begin() + 44, block.begin(), block.end());
         test_put32(b, 36, test_le32(b, 36) + uint32_t(block.size())), test_put32(b, 40, uint32_t(block.size()));
       },
       too_large},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    app_test_folders folders;
    keep_two_strokes(folders);
    test_bytes bytes = test_read_file(kept_file(folders));
    c.spoil(bytes);
    ASSERT_TRUE(test_write_file(kept_file(folders), bytes));
    std::string shown;
    ASSERT_TRUE(app_test_run([&](app_context *app) {
      box_closer closer([&] {
        if (shown.empty()) os_input_close();
        shown = app_test_canvas_bytes(app);
      });
      os_clock_drive(1);
      run_for(PAINT_MAIN_RESTORE_DELAY_MS);
      if (shown.empty()) os_input_close();  // no box came
      wins_window_run();
      os_clock_drive(0);
      EXPECT_EQ(g_box_texts, std::vector<std::u16string>{c.said});
    }));
    EXPECT_EQ(test_read_file(kept_file(folders) + ".bad"), bytes);
    ASSERT_TRUE(exists(kept_file(folders)));
    run([&](app_context *app) { EXPECT_TRUE(app_test_canvas_bytes(app) == shown); });
  }
}

// The keep at exit shows nothing and waits on no one, whatever the disk
// does; one that fails leaves the older kept painting as it was, and says
// so on stderr. (A folder at the kept painting's name is set aside, at
// start-up and at exit. A cache folder that is a file is said at the start.)
TEST(PaintKeep, AKeepThatCannotBeWrittenShowsNoBoxAndLeavesTheOlderFile) {
  enum { FULL_DISK, FOLDER_A_FILE };
  const char *const names[] = {"a full disk", "the cache folder a file"};
  const int stroke[][2] = {{60, 450}, {420, 470}};
  for (int road : {FULL_DISK, FOLDER_A_FILE}) {
    SCOPED_TRACE(names[road]);
    app_test_folders folders;
    std::string kept = kept_file(folders), cache_dir = folders.home + "/cache";
    keep_two_strokes(folders);
    test_bytes older = test_read_file(kept);
    if (road == FOLDER_A_FILE) {
      std::filesystem::remove_all(cache_dir);
      test_write_file(cache_dir, older);
    }
    ASSERT_TRUE(app_test_run([&](app_context *app) {
      os_clock_drive(1);
      run_for(PAINT_MAIN_RESTORE_DELAY_MS);
      EXPECT_EQ(box_text().substr(0, 36), road == FOLDER_A_FILE ? u"Brivola cannot keep the painting in " : u"");
      close_box();
      box_closer closer;
      app_test_remove_toolbar(app);
      app_test_stroke(stroke, 2);
      auto leave = [] {
        os_input_close();
        wins_window_run();
        return 0;
      };
      testing::internal::CaptureStderr();
      if (road == FULL_DISK)
        test_with_file_limit(200, leave);
      else
        leave();
      std::string said = testing::internal::GetCapturedStderr();
      os_clock_drive(0);
      EXPECT_TRUE(g_box_texts.empty()) << test_utf8(g_box_texts[0]);
      EXPECT_NE(said.find("brivola: the painting could not be kept in " + cache_dir + ": "), std::string::npos)
          << said;
    }));
    EXPECT_EQ(test_read_file(road == FULL_DISK ? kept : cache_dir), older);
  }
}

namespace {

// What can be found where the painting is kept; made before a start, or
// (links only) after the restore, in the keep's way.
enum kept_thing { A_FOLDER, A_PIPE, A_SOCKET, A_LINK_TO_A_DOCUMENT, A_DANGLING_LINK };
const char *const k_things[] = {"a folder", "a pipe", "a socket", "a link to a document", "a dangling link"};

struct kept_place {
  std::string kept, document, nowhere;  // nowhere: where the dangling link points
  void make(kept_thing thing) const {
    sockaddr_un address = {AF_UNIX, {}};
    std::memcpy(address.sun_path, kept.c_str(), std::min(kept.size(), sizeof address.sun_path - 1));
    int fd = thing == A_SOCKET ? socket(AF_UNIX, SOCK_STREAM, 0) : -1;
    const std::string &target = thing == A_DANGLING_LINK ? nowhere : document;
    bool made = thing == A_FOLDER ? std::filesystem::create_directory(kept) &&
                                        test_write_file(kept + "/note", std::string("mine"))
                : thing == A_PIPE ? mkfifo(kept.c_str(), 0600) == 0
                : thing == A_SOCKET ? bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
                                    : symlink(target.c_str(), kept.c_str()) == 0;
    if (fd >= 0) close(fd);
    ASSERT_TRUE(made) << std::strerror(errno);
  }
  // The thing at path, as it was made.
  bool is(kept_thing thing, const std::string &path) const {
    std::filesystem::file_status status = std::filesystem::symlink_status(path);
    switch (thing) {
      case A_FOLDER: return std::filesystem::is_directory(status) && test_read_file(path + "/note").size() == 4;
      case A_PIPE: return std::filesystem::is_fifo(status);
      case A_SOCKET: return std::filesystem::is_socket(status);
      default:
        return std::filesystem::is_symlink(status) &&
               std::filesystem::read_symlink(path) == (thing == A_DANGLING_LINK ? nowhere : document);
    }
  }
};

}  // namespace

// Only a plain file in the cache folder is a kept painting. Anything else of
// its name goes aside unopened (a pipe would hold the reader) and
// unfollowed, and a link in the keep's way is replaced: the next keep, by
// any road, is a plain file that the next start restores, and a link's
// target is never read, changed or made.
TEST(PaintRestore, WhatIsNoPlainFileIsSetAsideAndTheNextKeepIsOne) {
  const struct {
    const char *name;
    void (*take)();
  } roads[] = {{"window close (as SIGTERM)", os_input_close}, {"Q", [] { os_input_char(u'Q'); }}};
  const int stroke[][2] = {{60, 450}, {420, 470}};
  for (kept_thing thing : {A_FOLDER, A_PIPE, A_SOCKET, A_LINK_TO_A_DOCUMENT, A_DANGLING_LINK}) {
    for (bool late : {false, true}) {
      if (late && thing < A_LINK_TO_A_DOCUMENT) continue;
      for (const auto &road : roads) {
        SCOPED_TRACE(std::string(k_things[thing]) + (late ? " after the restore, " : ", ") + road.name);
        app_test_folders folders;
        const kept_place place = {kept_file(folders), folders.root + "/holiday.bvf", folders.root + "/nowhere.bvf"};
        keep_two_strokes(folders);
        std::filesystem::rename(place.kept, place.document);
        test_bytes document = test_read_file(place.document);
        if (!late) place.make(thing);
        // A reader held by the pipe is let go after a while, and told.
        std::atomic<bool> restored{false}, held{false};
        std::thread guard([&] {
          for (int tick = 0; tick < 1000 && !restored; tick++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          if (restored) return;
          held = true;
          int fd = open(place.kept.c_str(), O_WRONLY | O_NONBLOCK);
          if (fd >= 0) close(fd);
        });
        std::string painted;
        EXPECT_TRUE(app_test_run([&](app_context *app) {
          box_closer closer;
          os_clock_drive(1);
          run_for(PAINT_MAIN_RESTORE_DELAY_MS);
          restored = true;
          if (late) place.make(thing);
          app_test_remove_toolbar(app);
          app_test_stroke(stroke, 2);
          painted = app_test_canvas_bytes(app);
          road.take();
          wins_window_run();
          os_clock_drive(0);
          EXPECT_TRUE(g_box_texts.empty()) << test_utf8(g_box_texts[0]);
        }));
        restored = true;
        guard.join();
        EXPECT_FALSE(held) << "the restore opened the pipe";
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(place.kept)));
        EXPECT_EQ(place.is(thing, place.kept + ".bad"), !late);
        EXPECT_EQ(test_read_file(place.document), document);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(place.nowhere)));
        run([&](app_context *app) { EXPECT_TRUE(app_test_canvas_bytes(app) == painted); });
      }
    }
  }
}

// A set-aside never replaces one made before: with "paint.cache.bad" taken
// by a folder of the user's and ".bad.1" by an older damaged painting, the
// folder in the way takes ".bad.2", and the painting is kept again; a folder
// put in the way after the restore goes aside at exit.
TEST(PaintRestore, ASetAsideTakesTheFirstFreeNameAndTheKeepGoesOn) {
  app_test_folders folders;
  const std::string kept = kept_file(folders);
  for (const std::string &folder : {kept, kept + ".bad"}) {
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(test_write_file(folder + "/note", folder));
  }
  ASSERT_TRUE(test_write_file(kept + ".bad.1", std::string("older")));
  const int stroke[][2] = {{60, 450}, {420, 470}};
  std::string painted;
  run([&](app_context *app) {
    app_test_remove_toolbar(app);
    app_test_stroke(stroke, 2);
    painted = app_test_canvas_bytes(app);
    os_input_close();
    wins_window_run();
  });
  EXPECT_EQ(test_read_text(kept + ".bad/note"), kept + ".bad");
  EXPECT_EQ(test_read_text(kept + ".bad.1"), "older");
  EXPECT_EQ(test_read_text(kept + ".bad.2/note"), kept);
  // A folder put at the name after the restore goes aside at exit as well.
  run([&](app_context *app) {
    EXPECT_TRUE(app_test_canvas_bytes(app) == painted);
    std::filesystem::remove(kept);
    std::filesystem::create_directories(kept + "/late");
    app_test_stroke(stroke, 2);
    painted = app_test_canvas_bytes(app);
    os_input_close();
    wins_window_run();
  });
  EXPECT_TRUE(std::filesystem::is_directory(kept + ".bad.3/late"));
  run([&](app_context *app) { EXPECT_TRUE(app_test_canvas_bytes(app) == painted); });
}

// Quit and 'Q' come from the user while the screen is up: a keep that fails
// says why beside the code, and the program stays with the painting so that
// the user can make room or save it elsewhere; once the disk takes it, Q
// keeps it. A cache folder that cannot take it (a link to a drive that is
// not mounted) is said at the start already.
TEST(PaintKeep, AQuitOrQWhoseKeepFailsSaysWhyAndTheProgramStays) {
  const std::u16string stays = u"\nBrivola stays open: make room or save the painting elsewhere, then quit again.";
  const std::u16string question = u"Save paint changes to file?";
  const struct {
    const char *road;
    bool quit, full_disk;  // else the cache folder is a link to a missing folder
    std::u16string failed;
  } roads[] = {
      {"Q on a full disk", false, true, u"Fail to save file (code: -2).\nNo space is left on the disk." + stays},
      {"Quit, Yes, no Save As to name it, the cache folder a dangling link", true, false,
       u"Fail to save file (code: -1).\nThe folder cannot be found." + stays},
  };
  const int stroke[][2] = {{60, 450}, {420, 470}};
  for (const auto &road : roads) {
    SCOPED_TRACE(road.road);
    app_test_folders folders;
    const std::string cache_dir = folders.home + "/cache", drive = folders.root + "/drive";
    std::filesystem::create_directories(folders.home);
    if (!road.full_disk) {
      ASSERT_EQ(symlink(drive.c_str(), cache_dir.c_str()), 0);
    }
    std::string painted;
    run([&](app_context *app) {
      if (!road.full_disk) {
        EXPECT_EQ(box_text(), u"Brivola cannot keep the painting in \"" + test_wide(cache_dir) +
                                  u"\".\nThe folder cannot be found.");
        close_box();
      }
      app->_file->_ui.show_save_dialog = [](void *, const paint_file_save_dialog *) { return 0; };
      app_test_remove_toolbar(app);
      app_test_stroke(stroke, 2);
      painted = app_test_canvas_bytes(app);
      {
        box_closer closer(
            [&] { tdialog_close(modal_dialog(), g_box_texts.back() == question ? TMESSAGEDIALOG_RESULT_YES : 0); });
        auto leave = [&] {
          road.quit ? wins_window_exit(APP_EXIT_ASK_SAVE) : app_test_char(u'Q');
          return 0;
        };
        road.full_disk ? test_with_file_limit(200, leave) : leave();
        std::vector<std::u16string> boxes = {road.failed};
        if (road.quit) boxes.insert(boxes.begin(), question);
        EXPECT_EQ(g_box_texts, boxes);
      }
      EXPECT_FALSE(wins_window_exit_pending());
      EXPECT_TRUE(app_test_canvas_bytes(app) == painted);
      std::filesystem::create_directories(drive);
      os_input_char(u'Q');
      wins_window_run();
    });
    run([&](app_context *app) { EXPECT_TRUE(app_test_canvas_bytes(app) == painted); });
  }
}

// Short of memory is no damage: the kept painting stays where it is, the
// user is told, a keep of that run neither writes over it nor removes it,
// and a start with the memory restores it. A stroke drawn in that run is
// kept all the same, the unread painting set aside whole.
TEST(PaintRestore, AKeptPaintingThereWasNoMemoryToReadStaysForALaterStart) {
  const struct {
    const char *road;
    int code;
    bool draws;
  } roads[] = {{"window close", APP_EXIT_KEEP_CACHE, false},
               {"Quit, No", APP_EXIT_ASK_SAVE, false},
               {"a stroke, then window close", APP_EXIT_KEEP_CACHE, true}};
  const int stroke[][2] = {{60, 450}, {420, 470}};
  for (const auto &road : roads) {
    SCOPED_TRACE(road.road);
    app_test_folders folders;
    std::string kept_canvas = keep_two_strokes(folders);
    test_bytes kept = test_read_file(kept_file(folders));
    std::string painted;
    ASSERT_TRUE(app_test_run([&](app_context *app) {
      int32_t width = 0, height = 0;
      tscreen_get_size(tscreen_get(), &width, &height);
      box_closer closer;
      // Below what the canvas needs, above what the box does.
      uint64_t budget = tbitmap_set_budget(uint64_t(width) * uint64_t(height) * 2);
      os_clock_drive(1);
      run_for(PAINT_MAIN_RESTORE_DELAY_MS);
      tbitmap_set_budget(budget);
      EXPECT_EQ(g_box_texts, std::vector<std::u16string>{u"Fail to open paint (code: -6)\nNo enough memory.."});
      EXPECT_EQ(test_read_file(kept_file(folders)), kept);
      EXPECT_FALSE(exists(kept_file(folders) + ".bad"));
      if (road.draws) {
        app_test_remove_toolbar(app);
        app_test_stroke(stroke, 2);
        painted = app_test_canvas_bytes(app);
      }
      wins_window_exit(road.code);
      wins_window_run();
      os_clock_drive(0);
    }));
    if (road.draws) {
      EXPECT_EQ(test_read_file(kept_file(folders) + ".bad"), kept);
      run([&](app_context *app) { EXPECT_TRUE(app_test_canvas_bytes(app) == painted); });
      continue;
    }
    EXPECT_EQ(test_read_file(kept_file(folders)), kept);
    run([&](app_context *app) { EXPECT_TRUE(app_test_canvas_bytes(app) == kept_canvas); });
  }
}

// Quit's question decides what stays: No, or the painting saved, keeps
// nothing, and the restored file goes too, so the next start does not bring
// back what was let go; a window close while it asks keeps the painting, and
// the question, ended by that exit, decides nothing more.
TEST(PaintKeep, QuitKeepsThePaintingOnlyWhenItWasNotLetGo) {
  enum { NO, SAVED, CLOSED_WHILE_ASKING };
  const int stroke[][2] = {{60, 450}, {420, 470}};
  for (int road : {NO, SAVED, CLOSED_WHILE_ASKING}) {
    SCOPED_TRACE(road);
    app_test_folders folders;
    keep_two_strokes(folders);
    std::string painted;
    run([&](app_context *app) {
      app_test_remove_toolbar(app);
      app_test_stroke(stroke, 2);
      painted = app_test_canvas_bytes(app);
      if (road == SAVED) {
        paint_file_set_path(app->_file, test_wide(folders.root + "/saved.bvf").c_str());
        ASSERT_EQ(paint_file_save_current(app->_file), 1);
        run_for(2100);  // the "Saved Ok" note goes
      }
      bool closed = false;
      box_closer closer([&] {
        if (road == NO)
          tdialog_close(modal_dialog(), 0);
        else if (!closed)
          os_input_close();
        closed = true;
      });
      wins_window_exit(APP_EXIT_ASK_SAVE);
      wins_window_run();
      EXPECT_EQ(g_box_texts, road == SAVED ? std::vector<std::u16string>{}
                                           : std::vector<std::u16string>{u"Save paint changes to file?"});
    });
    ASSERT_EQ(exists(kept_file(folders)), road == CLOSED_WHILE_ASKING);
    if (road == CLOSED_WHILE_ASKING) run([&](app_context *app) { EXPECT_TRUE(app_test_canvas_bytes(app) == painted); });
  }
}

TEST(PaintNew, APictureThatAppearsHalfASecondLateIsLoadedIntoFraming) {
  app_test_folders folders;
  run([&](app_context *app) {
    std::string path = folders.root + "/late.bmp";
    ASSERT_EQ(commandpanel_load_picture(nullptr, test_wide(path).c_str()), 1);
    run_for(PAINT_NEW_SECOND_LOOK_MS - 100);
    write_picture(folders.root, "late.bmp", 300, 200);
    run_for(100);
    EXPECT_EQ(std::make_pair(canvas_width(app), canvas_height(app)), std::make_pair(300, 200));
    EXPECT_TRUE(paint_new_get()->framing);
    EXPECT_EQ(paint_new_get()->picture, nullptr) << "the held picture is freed";
    EXPECT_FALSE(app_common_is_wait_note_shown());
    EXPECT_FALSE(paint_history_is_modified(app->_history));
  });
}

TEST(PaintNew, PicturesThatCannotBeUsedAreReportedAndChangeNothing) {
  app_test_folders folders;
  run([&](app_context *app) {
    std::string canvas = app_test_canvas_bytes(app);
    std::string missing = folders.root + "/missing.bmp";
    commandpanel_load_picture(nullptr, test_wide(missing).c_str());
    run_for(PAINT_NEW_SECOND_LOOK_MS);
    EXPECT_EQ(box_text(), u"Cannot open file \"" + test_wide(missing) + u"\"");
    close_box();

    std::string junk = folders.root + "/junk.png";
    test_write_file(junk, std::string("not a picture"));
    commandpanel_load_picture(nullptr, test_wide(junk).c_str());
    run_for(10);
    EXPECT_EQ(box_text(), u"Fail to open this picture (-2).");
    close_box();
    EXPECT_FALSE(paint_new_get()->framing);
    EXPECT_TRUE(app_test_canvas_bytes(app) == canvas);
    EXPECT_EQ(paint_new_get()->picture, nullptr);
  });
}

namespace {
// Whether each panel that framing hides shows: tool bar, command panel,
// colour panel, alpha panel.
std::vector<bool> panels_shown(app_context *app) {
  return {shown(app->_toolbar->dock), commandpanel_is_visible(app->_commandpanel) != 0,
          shown(app->_colorpanel), shown(app->_alphapanel->_sidebar._dock)};
}
}  // namespace

TEST(PaintNew, FramingHidesThePanelsAndDoneCropsToWhatTheScreenShows) {
  for (bool zoom_bar_open : {false, true}) {
    SCOPED_TRACE(zoom_bar_open ? "zoom bar open before" : "zoom bar closed before");
    app_test_folders folders;
    run([&](app_context *app) {
      toolbar_select(app->_toolbar, SHAPE_ID_PENCIL);
      if (zoom_bar_open) toolbar_on_command(app->_toolbar, TOOLBAR_ZOOM);
      ASSERT_EQ(app->_scalebar != nullptr, zoom_bar_open);
      const std::vector<bool> all_shown = panels_shown(app);
      const int stroke[][2] = {{100, 400}, {300, 450}};
      app_test_stroke(stroke, 2);
      ASSERT_EQ(paint_history_get_count(app->_history), 1);

      std::string path = write_picture(folders.root, "big.bmp", 700, 900);
      commandpanel_load_picture(app->_commandpanel, test_wide(path).c_str());
      run_for(10);
      paint_new_state *st = paint_new_get();
      ASSERT_TRUE(st->framing);
      EXPECT_EQ(tool_id(app), SHAPE_ID_PAN);
      EXPECT_EQ(panels_shown(app), std::vector<bool>(4, false));
      EXPECT_NE(app->_scalebar, nullptr) << "the zoom bar is open while framing";
      ASSERT_NE(st->done_bar, nullptr);
      EXPECT_TRUE(shown(st->done_bar));
      EXPECT_EQ(paint_history_get_count(app->_history), 0) << "a new painting";

      // The user pans; done keeps what the screen shows.
      paint_context_set_origin(app->_paint_context, -150, -100);
      tbitmap *visible = paint_context_copy_visible(app->_paint_context);
      ASSERT_NE(visible, nullptr);
      int32_t vw = tbitmap_get_width(visible), vh = tbitmap_get_height(visible);
      trect done;
      tsurface_get_screen_rect(&tcontrolbar_get_left_button(st->done_bar)->_control._surface, &done);
      app_test_pen(OS_PEN_DOWN, done.x1 + 5, done.y1 + 5);
      app_test_pen(OS_PEN_UP, done.x1 + 5, done.y1 + 5);
      EXPECT_FALSE(st->framing);
      run_for(10);
      EXPECT_EQ(st->done_bar, nullptr);
      EXPECT_EQ(st->spent_done_bar, nullptr) << "freed once its click returned";
      ASSERT_EQ(std::make_pair(canvas_width(app), canvas_height(app)), std::make_pair(vw, vh));
      for (int32_t y = 0; y < vh; y += 37)
        for (int32_t x = 0; x < vw; x += 29)
          ASSERT_EQ(app_test_canvas_pixel(app, x, y), tbitmap_get_pixel(visible, x, y)) << x << "," << y;
      tbitmap_free(visible);
      EXPECT_EQ(tool_id(app), SHAPE_ID_PENCIL);
      EXPECT_EQ(panels_shown(app), all_shown);
      EXPECT_EQ(app->_scalebar != nullptr, zoom_bar_open) << "the zoom bar as it was";
      EXPECT_TRUE(canvas_matches_rebuild(app->_paint_context, app->_history));
      EXPECT_FALSE(paint_history_is_modified(app->_history));
    });
  }
}

TEST(PaintNew, TheCameraLoadsItsPhotoOrSaysItCannotStart) {
  app_test_folders folders;
  std::string photo = write_picture(folders.root, "photo.bmp", 160, 120);
  run([&](app_context *app) {
    unsetenv("BRIVOLA_CAMERA_IMAGE");
    std::string canvas = app_test_canvas_bytes(app);
    commandpanel_take_picture(nullptr);
    EXPECT_EQ(paint_new_get()->wait_picture, nullptr) << "the waiting box is closed";
    EXPECT_EQ(box_text(), u"Fail to launch camera.");
    close_box();
    EXPECT_TRUE(app_test_canvas_bytes(app) == canvas);

    setenv("BRIVOLA_CAMERA_IMAGE", photo.c_str(), 1);
    commandpanel_take_picture(nullptr);
    run_for(600);  // the display comes back half a second after the camera
    unsetenv("BRIVOLA_CAMERA_IMAGE");
    EXPECT_EQ(std::make_pair(canvas_width(app), canvas_height(app)), std::make_pair(160, 120));
    EXPECT_TRUE(paint_new_get()->framing);
    EXPECT_TRUE(os_headless_is_visible());
  });
}

namespace {
int g_captures = 0;
tbitmap *captured_picture() {
  g_captures++;
  return quarters(200, 100);
}
tbitmap *no_picture() {
  g_captures++;
  return nullptr;
}
std::u16string countdown_text() {
  tdialog *dialog = modal_dialog();
  if (!dialog) return u"";
  return box_text();
}
}  // namespace

TEST(PaintNew, TheScreenshotCountsDownHidesTheWindowAtEightAndFramesThePicture) {
  app_test_folders folders;
  run([&](app_context *app) {
    g_captures = 0;
    screen_capture_fn previous = screen_capture_set_source(captured_picture);
    commandpanel_take_screenshot(nullptr);
    EXPECT_EQ(countdown_text(), u"\nScreen will be captured in 10 seconds.");
    for (int left = 9; left >= 1; left--) {
      run_for(WAIT_SCREENSHOT_TICK_MS);
      EXPECT_EQ(countdown_text(), u"\nScreen will be captured in " + test_wide(std::to_string(left)) + u" seconds.");
      EXPECT_EQ(os_headless_is_visible(), left > WAIT_SCREENSHOT_HIDE_AT) << left;
    }
    EXPECT_EQ(g_captures, 0);
    run_for(WAIT_SCREENSHOT_TICK_MS);
    EXPECT_EQ(g_captures, 1);
    EXPECT_EQ(paint_new_get()->wait_screenshot, nullptr);
    EXPECT_EQ(std::make_pair(canvas_width(app), canvas_height(app)), std::make_pair(200, 100));
    EXPECT_TRUE(paint_new_get()->framing);
    EXPECT_TRUE(os_headless_is_visible());

    screen_capture_set_source(no_picture);
    commandpanel_take_screenshot(nullptr);
    run_for(10 * WAIT_SCREENSHOT_TICK_MS);
    EXPECT_EQ(g_captures, 2);
    EXPECT_EQ(box_text(), u"Fail to take a screenshot.");
    close_box();
    EXPECT_TRUE(os_headless_is_visible());
    screen_capture_set_source(previous);
  });
}

TEST(PaintNew, CancelInTheCountdownStopsItAndBringsTheWindowBack) {
  app_test_folders folders;
  run([&](app_context *) {
    g_captures = 0;
    screen_capture_fn previous = screen_capture_set_source(captured_picture);
    commandpanel_take_screenshot(nullptr);
    run_for(5 * WAIT_SCREENSHOT_TICK_MS);
    EXPECT_FALSE(os_headless_is_visible());
    tdialog *dialog = modal_dialog();
    ASSERT_NE(dialog, nullptr);
    tbutton *cancel = tdialog_get_button(dialog, 0);
    ASSERT_NE(cancel, nullptr);
    trect r;
    tsurface_get_screen_rect(&cancel->_control._surface, &r);
    app_test_pen(OS_PEN_DOWN, r.x1 + 4, r.y1 + 4);
    app_test_pen(OS_PEN_UP, r.x1 + 4, r.y1 + 4);
    EXPECT_EQ(paint_new_get()->wait_screenshot, nullptr);
    EXPECT_TRUE(os_headless_is_visible());
    run_for(6 * WAIT_SCREENSHOT_TICK_MS);
    EXPECT_EQ(g_captures, 0) << "the countdown stopped";
    EXPECT_FALSE(paint_new_get()->framing);
    screen_capture_set_source(previous);
  });
}

TEST(PaintNew, ALargeMyPaintsDocumentIsZoomedToFitAndCentred) {
  app_test_folders folders;
  run([&](app_context *app) {
    paint_context *pc = app->_paint_context;
    std::u16string big = test_wide(folders.root + "/big.bvf"), small = test_wide(folders.root + "/small.bvf");
    ASSERT_TRUE(paint_context_load_blank(pc, 960, 1600, test_rgba(10, 200, 30, 255)));
    paint_history_reset(app->_history);
    ASSERT_TRUE(paint_file_save_to(app->_file, big.c_str()));
    ASSERT_TRUE(paint_context_load_blank(pc, 200, 100, test_rgba(10, 20, 30, 255)));
    ASSERT_TRUE(paint_file_save_to(app->_file, small.c_str()));
    paint_history_set_modified(app->_history, 0);

    struct {
      const std::u16string &path;
      double zoom;
      int32_t width, height;
    } const cases[] = {{big, 0.4, 384, 640}, {small, 1.0, 200, 100}};
    for (const auto &c : cases) {
      std::char_traits<char16_t>::copy(commandpanel_get_path(), c.path.c_str(), c.path.size() + 1);
      upload_state *upload = upload_get_state(app);
      upload->_edit_title[0] = upload->_edit_description[0] = u'x';
      commandpanel_on_my_paints_result(1, nullptr);
      EXPECT_EQ(upload->_edit_title[0] | upload->_edit_description[0], 0) << "the last painting's upload texts go";
      EXPECT_DOUBLE_EQ(paint_context_get_zoom(pc), c.zoom);
      ASSERT_EQ(std::make_pair(canvas_width(app), canvas_height(app)), std::make_pair(c.width, c.height));
      tpoint origin;
      paint_context_get_origin(pc, &origin);
      EXPECT_EQ(origin.x, 240 - c.width / 2);
      EXPECT_EQ(origin.y, 320 - c.height / 2);
      EXPECT_FALSE(paint_history_is_modified(app->_history));
      EXPECT_TRUE(canvas_matches_rebuild(pc, app->_history));
      EXPECT_NE(app->_scalebar, nullptr) << "opened for the large one, left open";
    }
  });
}

// A document damaged inside its records opens as far as it reads, untitled
// and unchanged: neither Save nor Quit can write the part over the whole.
TEST(PaintNew, AMyPaintsDocumentReadInPartOpensUntitledAndUnmodified) {
  app_test_folders folders;
  keep_two_strokes(folders);
  test_bytes bytes = test_read_file(kept_file(folders));
  bytes.resize(test_le32(bytes, 36) - 9);  // into the second record
  std::u16string damaged = test_wide(folders.root + "/damaged.bvf");
  ASSERT_TRUE(test_write_file(test_utf8(damaged.c_str()), bytes));
  std::remove(kept_file(folders).c_str());
  run([&](app_context *app) {
    std::char_traits<char16_t>::copy(commandpanel_get_path(), damaged.c_str(), damaged.size() + 1);
    {
      box_closer closer;
      commandpanel_on_my_paints_result(1, nullptr);
    }
    EXPECT_EQ(paint_history_get_count(app->_history), 1);
    EXPECT_EQ(std::u16string(app->_file->_path), u"");
    EXPECT_FALSE(paint_history_is_modified(app->_history));
  });
}

namespace {
new_dialog *open_new_dialog() {
  commandpanel_on_new_menu(PAINT_NEW_EMPTY, nullptr);
  port_test_pump();
  tdialog *dialog = modal_dialog();
  return dialog ? static_cast<new_dialog *>(tsurface_get_owner(&dialog->_control._surface)) : nullptr;
}
// The dialog's OK soft key, tapped.
void press_ok() {
  tbutton *ok = tcontrolbar_get_left_button(tdialog_get_controlbar(modal_dialog()));
  trect r;
  tsurface_get_screen_rect(&ok->_control._surface, &r);
  app_test_pen(OS_PEN_DOWN, r.x1 + 5, r.y1 + 5);
  app_test_pen(OS_PEN_UP, r.x1 + 5, r.y1 + 5);
}
}  // namespace

TEST(PaintNew, NewEmptyPaintTakesSizesFrom1To1024AndRefusesTheRest) {
  app_test_folders folders;
  run([&](app_context *app) {
    struct {
      const char16_t *width, *height;
      bool accepted;
    } const cases[] = {
        {u"0", u"240", false},   {u"320", u"1025", false}, {u"99999999999", u"240", false},
        {u"", u"240", false},    {u"1", u"1024", true},    {u"320", u"240", true},
        {u"1024", u"1", true},   {u"1025", u"1", false},
    };
    for (const auto &c : cases) {
      SCOPED_TRACE(test_utf8(c.width) + " x " + test_utf8(c.height));
      app->_new_width = 77;
      app->_new_height = 55;
      new_dialog *nd = open_new_dialog();
      ASSERT_NE(nd, nullptr);
      EXPECT_EQ(std::u16string(tcombobox_get_text(nd->width_box)), u"77");
      EXPECT_TRUE(paint_new_get()->new_dialog_open);
      tcombobox_set_text(nd->width_box, c.width);
      tcombobox_set_text(nd->height_box, c.height);
      nd->color = 0x00332211;  // as the colour dialog leaves it
      press_ok();
      if (!c.accepted) {
        EXPECT_EQ(box_text(), u"You need to specify width or(and) height between 1-1024.");
        close_box();
        ASSERT_TRUE(paint_new_get()->new_dialog_open) << "the dialog stays open";
        EXPECT_TRUE(tsurface_is_linked(&new_dialog_get_dialog(nd)->_control._surface));
        EXPECT_EQ(app->_new_width, 77);
        tdialog_close(new_dialog_get_dialog(nd), TDIALOG_RESULT_CANCEL);
        port_test_pump();
        EXPECT_EQ(app->_new_width, 77) << "Cancel writes nothing";
        EXPECT_FALSE(paint_new_get()->new_dialog_open);
        continue;
      }
      EXPECT_EQ(modal_dialog(), nullptr);
      EXPECT_EQ(app->_new_width, new_dialog_parse_size(c.width));
      EXPECT_EQ(app->_new_height, new_dialog_parse_size(c.height));
      EXPECT_EQ(tcolor_to_word(&app->_new_color), 0xFF112233u);
      EXPECT_EQ(std::make_pair(canvas_width(app), canvas_height(app)),
                std::make_pair(app->_new_width, app->_new_height));
      EXPECT_EQ(app_test_canvas_pixel(app, 0, 0), 0xFF112233u);
      EXPECT_EQ(paint_history_get_count(app->_history), 0);
      EXPECT_FALSE(paint_history_is_modified(app->_history));
      EXPECT_FALSE(paint_new_get()->new_dialog_open);
    }
  });
}

// The colour button shows the colour a new painting takes, over its frame.
TEST(NewDialog, TheColourButtonShowsTheCurrentColour) {
  app_test_folders folders;
  run([&](app_context *app) {
    tcolor_make(&app->_new_color, 0, 255, 0, 255);
    new_dialog *nd = open_new_dialog();
    ASSERT_NE(nd, nullptr);
    trect r;
    tsurface_get_screen_rect(&nd->color_button->_control._surface, &r);
    // The swatch's middle, left of the marker; green is 0x07E0 on 565.
    auto swatch = [&r] { return os_headless_get_pixel(r.x1 + (r.x2 - r.x1) / 3, (r.y1 + r.y2) / 2); };
    EXPECT_EQ(swatch(), 0x07E0u);
    // A colour picked in the colour dialog shows at once.
    auto tap = [](void *control) {
      trect t;
      tsurface_get_screen_rect(&static_cast<tcontrol *>(control)->_surface, &t);
      app_test_pen(OS_PEN_DOWN, (t.x1 + t.x2) / 2, (t.y1 + t.y2) / 2);
      app_test_pen(OS_PEN_UP, (t.x1 + t.x2) / 2, (t.y1 + t.y2) / 2);
    };
    tap(nd->color_button);
    tcolordialog *picker = static_cast<tcolordialog *>(tsurface_get_owner(&modal_dialog()->_control._surface));
    tap(picker->_palette[0]);
    ASSERT_TRUE(tsurface_is_linked(&new_dialog_get_dialog(nd)->_control._surface));
    tcolor picked = tcolor_of_key(nd->color);
    EXPECT_NE(nd->color, 0x00FF00u);
    EXPECT_EQ(swatch(), uint32_t(picked.red >> 3 << 11 | picked.green >> 2 << 5 | picked.blue >> 3));
    tdialog_close(new_dialog_get_dialog(nd), TDIALOG_RESULT_CANCEL);
    port_test_pump();
  });
}

TEST(NewDialog, SizesAreReadWithoutWrapping) {
  struct {
    const char16_t *text;
    int32_t value;
  } const cases[] = {{u"0", 0},        {u"1024", 1024},          {u"2147483647", 2147483647},
                     {u"2147483648", -1}, {u"99999999999", -1}, {u"4294967616", -1},
                     {u"", -1},        {u"12a", -1},              {u"-5", -1}};
  for (const auto &c : cases) EXPECT_EQ(new_dialog_parse_size(c.text), c.value) << test_utf8(c.text);
}

namespace {
// The Open Picture dialog in front (its record), and a row chosen as a tap
// on it would choose it.
open_picture_dialog *open_picture() {
  commandpanel_on_new_menu(PAINT_NEW_OPEN_PICTURE, nullptr);
  port_test_pump();
  tdialog *dialog = modal_dialog();
  if (!dialog) return nullptr;
  topendialog *open = static_cast<topendialog *>(tsurface_get_owner(&dialog->_control._surface));
  return static_cast<open_picture_dialog *>(topendialog_get_user_data(open));
}
void select_row(open_picture_dialog *op, const char16_t *name) {
  tfilelist *list = topendialog_get_filelist(op->dialog);
  int32_t row = tfilelist_find(list, name);
  ASSERT_GE(row, 0) << test_utf8(name);
  tlistbox_set_selected(&list->_listbox, row);
  tlistbox_notify_select(&list->_listbox, row);
  port_test_pump();
}
bool preview_shown(open_picture_dialog *op) {
  return op->preview && tsurface_is_visible(reinterpret_cast<tsurface *>(op->preview->image));
}
trect preview_rect(open_picture_dialog *op) {
  trect r = {0, 0, -1, -1};
  tsurface_get_screen_rect(reinterpret_cast<tsurface *>(op->preview->image), &r);
  return r;
}
}  // namespace

TEST(PaintNew, OpenPictureShowsOnlyTheLastOfQuickSelectionsASecondLater) {
  app_test_folders folders;
  std::string dir = folders.root + "/pictures";
  std::filesystem::create_directories(dir);
  write_picture(dir, "a_small.bmp", 20, 10);
  write_picture(dir, "b_big.bmp", 500, 300);
  run([&](app_context *app) {
    std::u16string folder = test_wide(dir);
    std::char_traits<char16_t>::copy(app->_open_dir, folder.c_str(), folder.size() + 1);
    // Cancel with the preview up: the dialog has freed itself before the
    // preview goes, and the preview gives the slot back to what the dialog
    // covered (the command panel's tab), never to the freed dialog.
    open_picture_dialog *op = open_picture();
    ASSERT_NE(op, nullptr);
    select_row(op, u"a_small.bmp");
    run_for(OPEN_PICTURE_PREVIEW_MS + 10);
    ASSERT_TRUE(preview_shown(op));
    tdialog_close(topendialog_get_dialog(op->dialog), TDIALOG_RESULT_CANCEL);
    EXPECT_EQ(tscreen_get_modal(tscreen_get()), &reinterpret_cast<tcontrol *>(app->_commandpanel->_tab)->_surface);
    tscreen_dispatch_pen(tscreen_get(), TSCREEN_PEN_UP, 240, 400, 0);

    op = open_picture();
    ASSERT_NE(op, nullptr);
    select_row(op, u"a_small.bmp");
    run_for(500);
    select_row(op, u"b_big.bmp");
    run_for(OPEN_PICTURE_PREVIEW_MS - 10);
    EXPECT_FALSE(preview_shown(op)) << "nothing before a second has passed since the last selection";
    run_for(20);
    ASSERT_TRUE(preview_shown(op));
    EXPECT_EQ(std::u16string(op->preview->path), folder + u"/b_big.bmp");
    trect r = preview_rect(op);
    EXPECT_EQ(std::make_pair(r.x2 - r.x1 + 1, r.y2 - r.y1 + 1), std::make_pair(192, 192)) << "stretched to S x S";
    EXPECT_EQ(r.x2, 480 - PICTURE_THUMBNAIL_MARGIN - 1) << "kept 5 px inside the screen";

    select_row(op, u"a_small.bmp");
    EXPECT_FALSE(preview_shown(op)) << "a new selection hides the old preview";
    run_for(OPEN_PICTURE_PREVIEW_MS + 10);
    r = preview_rect(op);
    EXPECT_EQ(std::make_pair(r.x2 - r.x1 + 1, r.y2 - r.y1 + 1), std::make_pair(20, 10)) << "its own size";
    EXPECT_EQ(r.x1, op->row_rect.x2 - OPEN_PICTURE_PREVIEW_LEFT);
    EXPECT_EQ(r.y1, op->row_rect.y1 - OPEN_PICTURE_PREVIEW_UP);

    // OK opens the selected picture into framing; the preview goes with the dialog.
    tdialog_close(topendialog_get_dialog(op->dialog), TDIALOG_RESULT_OK);
    run_for(10);
    EXPECT_EQ(app_test_popup(), nullptr);
    EXPECT_EQ(std::make_pair(canvas_width(app), canvas_height(app)), std::make_pair(20, 10));
    EXPECT_TRUE(paint_new_get()->framing);
  });
}

TEST(WaitScreenshotDialog, WhateverClosesItStopsTheCountAndShowsTheWindow) {
  app_test_folders folders;
  run([&](app_context *) {
    wait_screenshot_dialog *dialog = wait_screenshot_dialog_new(u"Waiting screenshot", u"", -1, nullptr);
    ASSERT_NE(dialog, nullptr);
    wait_screenshot_dialog_show(dialog, 0, 0, TDIALOG_PLACE_CENTRE);
    run_for(3 * WAIT_SCREENSHOT_TICK_MS);
    ASSERT_FALSE(os_headless_is_visible());
    tdialog_close(modal_dialog(), 0);  // closed by its owner, no result callback
    EXPECT_TRUE(os_headless_is_visible());
    run_for(8 * WAIT_SCREENSHOT_TICK_MS);  // a tick into a freed record would be caught here
    EXPECT_TRUE(os_headless_is_visible());
  });
}

namespace {
void tap_surface(tsurface *surface) {
  trect r;
  tsurface_get_screen_rect(surface, &r);
  int32_t x = (r.x1 + r.x2) / 2, y = (r.y1 + r.y2) / 2;
  app_test_pen(OS_PEN_DOWN, x, y);
  app_test_pen(OS_PEN_UP, x, y);
}
}  // namespace

TEST(PaintNew, EndToEndNewEmptyPaint320By240FromTheCommandPanel) {
  app_test_folders folders;
  run([&](app_context *app) {
    commandpanel *cp = app->_commandpanel;
    tap_surface(&cp->_tab->_control._surface);
    ASSERT_TRUE(cp->_open);
    tap_surface(&cp->_buttons[0]->_control._surface);  // New
    run_for(200);
    tmenu *menu = reinterpret_cast<tmenu *>(tscreen_get_modal(tscreen_get()));
    ASSERT_NE(menu, nullptr);
    tlistbox *list = tmenu_get_listbox(menu);
    ASSERT_EQ(tlistbox_get_count(list), 4);
    EXPECT_EQ(std::u16string(tlistbox_get_text(list, 0, 0)), u"Empty Paint");
    const trect *row = tlistbox_get_item_rect(list, 0);
    ASSERT_NE(row, nullptr);
    trect place;
    tsurface_get_screen_rect(&list->_control._surface, &place);
    app_test_pen(OS_PEN_DOWN, place.x1 + row->x1 + 20, place.y1 + row->y1 + 10);
    app_test_pen(OS_PEN_UP, place.x1 + row->x1 + 20, place.y1 + row->y1 + 10);
    run_for(200);

    tdialog *dialog = modal_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(std::u16string(tdialog_get_title(dialog)), u"New Empty Paint");
    new_dialog *nd = static_cast<new_dialog *>(tsurface_get_owner(&dialog->_control._surface));
    tcombobox_set_text(nd->width_box, u"320");
    tcombobox_set_text(nd->height_box, u"240");
    press_ok();
    run_for(200);
    EXPECT_EQ(std::make_pair(canvas_width(app), canvas_height(app)), std::make_pair(320, 240));
    EXPECT_EQ(std::make_pair(app->_new_width, app->_new_height), std::make_pair(320, 240));
    EXPECT_EQ(app_test_canvas_pixel(app, 160, 120), tcolor_to_word(&app->_new_color));
    EXPECT_FALSE(cp->_open) << "the panel slid closed";
    tpoint origin;
    paint_context_get_origin(app->_paint_context, &origin);
    EXPECT_EQ(std::make_pair(origin.x, origin.y), std::make_pair(80, 200)) << "centred";
  });
}
