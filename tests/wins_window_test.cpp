#include "wins_window.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "os_clock.h"
#include "os_display.h"
#include "os_instance.h"
#include "port_test_app.h"
#include "test_env.h"
#include "tbitmap.h"
#include "tscreen.h"
#include "win_ao.h"
#include "wins_timer.h"

namespace {

// What reached the screen's hooks: {'k', code, repeat, modifiers} or
// {'p', type, x, y}.
std::vector<std::vector<int>> g_events;

void install_recorders() {
  g_events.clear();
  tscreen_set_key_hook(tscreen_get(), [](uint32_t code, uint32_t repeat, uint32_t modifiers) -> int32_t {
    g_events.push_back({'k', int(code), int(repeat), int(modifiers)});
    return 1;
  });
  tscreen_set_pen_hook(tscreen_get(), [](int type, int32_t x, int32_t y, uint32_t) -> int32_t {
    g_events.push_back({'p', type, x, y});
    return 1;
  });
}

// A loop that never ends on its own is ended by this, so a fault fails the
// test instead of hanging it.
void quit_99(uint32_t, void *) { wins_window_exit(99); }
uint32_t start_safety_timer() { return wins_timer_start(3000, 0, quit_99, nullptr); }

}  // namespace

TEST(Translation, ModifierKeysGiveCodesOnPressAndReleaseAndOnlyListedKeysPass) {
  port_test_run_app([] {
    install_recorders();
    os_input_key(VK_SHIFT, 1, 1);
    os_input_key(VK_SHIFT, 0, 1);
    os_input_key(VK_CONTROL, 1, 1);
    os_input_key(VK_CONTROL, 0, 1);
    port_test_pump();
    // The modifier state is as of the key's own message.
    EXPECT_EQ(g_events, (std::vector<std::vector<int>>{{'k', 0xF80B, 1, WINS_MOD_SHIFT}, {'k', 0xF80B, 1, 0},
                                                       {'k', 0xF80D, 1, WINS_MOD_CTRL}, {'k', 0xF80D, 1, 0}}));
    install_recorders();
    os_input_key('A', 1, 1);  // not listed: its character comes as a char
    os_input_key('A', 0, 1);
    os_input_key(VK_LEFT, 1, 3);
    os_input_key(VK_LEFT, 0, 1);  // key-up of a non-modifier: nothing
    os_input_key(VK_DELETE, 1, 1);
    os_input_text("a\xC3\xA9");
    os_input_char(8);
    port_test_pump();
    std::vector<int> codes;
    for (const auto &e : g_events) codes.push_back(e[1]);
    EXPECT_EQ(codes, (std::vector<int>{0xF807, 127, 'a', 0xE9, 8}));
    EXPECT_EQ(g_events.empty() ? 0 : g_events[0][2], 3) << "the repeat count";
    return 0;
  });
}

TEST(Translation, PenEvents) {
  port_test_run_app([] {
    install_recorders();
    os_input_pen(OS_PEN_MOVE, 10, 10, 0);  // no down yet: nothing
    os_input_pen(OS_PEN_DOWN, 20, 30, 0);
    os_input_pen(OS_PEN_MOVE, 5, 31, 0);
    os_input_pen(OS_PEN_MOVE, -7, -2, 0);  // dragged past the left and top edges
    os_input_pen(OS_PEN_UP, -9, 4, 0);
    os_input_pen(OS_PEN_MOVE, 1, 1, 0);    // after the up: nothing
    os_input_pen(OS_PEN_DOWN, 40, 40, 1);  // a double tap's second down
    os_input_pen(OS_PEN_UP, 40, 40, 0);
    port_test_pump();
    EXPECT_EQ(g_events, (std::vector<std::vector<int>>{{'p', 1, 20, 30}, {'p', 3, 5, 31}, {'p', 3, -7, -2},
                                                       {'p', 2, -9, 4}, {'p', 1, 40, 40}, {'p', 2, 40, 40}}));
    tpoint last;
    tscreen_get_last_pen_pos(tscreen_get(), &last);
    EXPECT_EQ(last.x, 40);
    return 0;
  });
}

TEST(Translation, CtrlQClosesTheProgram) {
  int result = port_test_run_app([] {
    start_safety_timer();
    os_input_key(VK_CONTROL, 1, 1);
    os_input_key('Q', 1, 1);
    int code = wins_window_run();
    EXPECT_FALSE(os_window_is_alive(wins_window_get_frame()));
    return code;
  });
  EXPECT_EQ(result, 0);
}

namespace {

std::vector<std::string> g_trace;
win_ao *g_outer, *g_inner;

// Level 2 is a wait run from inside level 1's object; the inner object ends
// it (or quits the program), then the outer one ends level 1 (or does not).
void inner_run(win_ao *, void *) {
  g_trace.push_back("inner runs");
  wins_window_end_wait();
}
void inner_quits_run(win_ao *, void *) {
  g_trace.push_back("inner quits");
  wins_window_exit(7);
}
void outer_run(win_ao *, void *ends_level_1) {
  win_ao_signal(g_inner);
  wins_window_run_wait();
  g_trace.push_back("level 2 returned");
  if (ends_level_1) wins_window_end_wait();
}

void make_levels(win_ao_run_fn inner, bool outer_ends_level_1) {
  g_trace.clear();
  g_outer = win_ao_new(0);
  g_inner = win_ao_new(0);
  win_ao_set_run(g_outer, outer_run);
  win_ao_set_user_data(g_outer, outer_ends_level_1 ? g_outer : nullptr);
  win_ao_set_run(g_inner, inner);
  win_ao_signal(g_outer);
}

win_ao *g_flagged;
intptr_t flag_setting_proc(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  // Sets the flag without the signal's message: only the nested loop's
  // pass after every message can run the object.
  if (message == WM_USER + 7) g_flagged->_signalled.store(1);
  return os_def_window_proc(window, message, wparam, lparam);
}

int g_hook_answer;
std::vector<int> g_hook_codes;
int32_t exit_hook(int code) {
  g_hook_codes.push_back(code);
  return g_hook_answer;
}

}  // namespace

TEST(Loops, NestedLevelsEndInnermostFirstAndEndingOneTooManyIsFatal) {
  port_test_run_app([] {
    uint32_t safety = start_safety_timer();
    make_levels(inner_run, true);
    EXPECT_EQ(wins_window_run_wait(), 1);
    g_trace.push_back("level 1 returned");
    EXPECT_EQ(g_trace, (std::vector<std::string>{"inner runs", "level 2 returned", "level 1 returned"}));
    wins_timer_stop(safety);
    win_ao_free(g_outer);
    win_ao_free(g_inner);
    return 0;
  });
  EXPECT_EXIT(wins_window_end_wait(), ::testing::ExitedWithCode(255), "code = wins_window\\([0-9]+\\)")
      << "ending more levels than run is fatal";
}

TEST(Loops, NestedLoopRunsActiveObjectsAfterEveryMessage) {
  port_test_run_app([] {
    g_trace.clear();
    uint32_t safety = start_safety_timer();
    g_flagged = win_ao_new(0);
    win_ao_set_run(g_flagged, inner_run);
    os_hwnd window = os_window_create(u"Test", u"", flag_setting_proc, 0, 0, 0, 1, 1);
    os_post_message(window, WM_USER + 7, 0, 0);
    EXPECT_EQ(wins_window_run_wait(), 1);
    EXPECT_EQ(g_trace, std::vector<std::string>{"inner runs"});
    wins_timer_stop(safety);
    win_ao_free(g_flagged);
    os_window_destroy(window);
    return 0;
  });
}

TEST(Loops, QuitInsideNestedLoopsEndsEveryLevelAndTheProgram) {
  int result = port_test_run_app([] {
    start_safety_timer();
    make_levels(inner_quits_run, false);
    // Level 1 holds level 2; the quit taken by level 2 must end level 1 too.
    EXPECT_EQ(wins_window_run_wait(), 0);
    g_trace.push_back("level 1 returned");
    int code = wins_window_run();
    g_trace.push_back("main loop returned");
    win_ao_free(g_outer);
    win_ao_free(g_inner);
    return code;
  });
  EXPECT_EQ(result, 7);
  EXPECT_EQ(g_trace, (std::vector<std::string>{"inner quits", "level 2 returned", "level 1 returned",
                                               "main loop returned"}));
}

TEST(Loops, ExitHookVetoesAndPasses) {
  int result = port_test_run_app([] {
    g_hook_codes.clear();
    wins_window_exit(5);  // no hook: the quit is posted at once
    os_message message;
    EXPECT_EQ(os_peek_message(&message), 1);
    EXPECT_EQ(message.message, WM_QUIT);
    EXPECT_EQ(int(message.wparam), 5);

    wins_window_get_context()->_exit_hook = exit_hook;
    g_hook_answer = 0;
    wins_window_exit(1);
    EXPECT_EQ(os_peek_message(&message), 0);  // vetoed: nothing to quit with
    g_hook_answer = 1;
    wins_window_exit(2);
    EXPECT_EQ(g_hook_codes, (std::vector<int>{1, 2}));
    return wins_window_run();
  });
  EXPECT_EQ(result, 2);
}

namespace {

std::vector<trect> g_resizes;
std::vector<uint32_t> g_lock_in_hook;
int g_paints;

void record_resize(const trect *rect) {
  g_resizes.push_back(*rect);
  g_lock_in_hook.push_back(tscreen_get_update_lock(tscreen_get()));
}

void count_paint(tscreen *, const trect *) { g_paints++; }

}  // namespace

TEST(Resize, RotationResizesTheTopDownScreenUnderTheLock) {
  port_test_run_app([] {
    tscreen *screen = tscreen_get();
    g_resizes.clear();
    g_lock_in_hook.clear();
    g_paints = 0;
    tscreen_set_resize_hook(screen, record_resize);
    tscreen_set_paint_hook(screen, count_paint);
    os_headless_set_size(640, 480);
    port_test_pump();
    tbitmap *bitmap = tscreen_get_bitmap(screen);
    EXPECT_EQ(tbitmap_get_width(bitmap), 640);
    EXPECT_EQ(tbitmap_get_height(bitmap), 480);
    EXPECT_TRUE(tbitmap_is_top_down(bitmap));
    EXPECT_EQ(g_resizes.size(), 1u);
    EXPECT_EQ(g_resizes.empty() ? -1 : g_resizes[0].x2, 639);
    EXPECT_EQ(g_lock_in_hook, std::vector<uint32_t>{1});
    EXPECT_EQ(tscreen_get_update_lock(screen), 0u);  // restored as found
    EXPECT_GE(g_paints, 1);
    os_window_rect frame;
    os_window_get_rect(wins_window_get_frame(), &frame);
    EXPECT_EQ(std::vector<int>({frame.width, frame.height, os_headless_get_last_rect().x2}),
              std::vector<int>({640, 480, 639}));

    // A lock raised by a caller stays raised: nothing is painted.
    tscreen_set_update_lock(screen, 1);
    int paints = g_paints;
    os_headless_set_size(480, 640);
    port_test_pump();
    EXPECT_EQ(g_paints, paints);
    EXPECT_EQ(tscreen_get_update_lock(screen), 1u);
    tscreen_set_update_lock(screen, 0);

    // A window bigger than any screen is taken at the biggest side.
    os_headless_set_size(20000, 300);
    port_test_pump();
    bitmap = tscreen_get_bitmap(screen);
    EXPECT_EQ(std::vector<int>({tbitmap_get_width(bitmap), tbitmap_get_height(bitmap)}),
              std::vector<int>({OS_DISPLAY_MAX_SIDE, 300}));
    return 0;
  });
}

TEST(Display, FlushCopiesOnlyTheRectangleAndFrontActivates) {
  port_test_run_app([] {
    tbitmap *bitmap = tscreen_get_bitmap(tscreen_get());
    for (int32_t y = 0; y < 640; y++) {
      uint8_t *row = tbitmap_get_row(bitmap, y);
      for (int32_t x = 0; x < 480; x++) row[2 * x] = uint8_t(x), row[2 * x + 1] = uint8_t(y);
    }
    uint64_t before = os_headless_get_uploaded_pixels();
    trect rect = {10, 20, 73, 83};
    wins_window_flush_screen(&rect);
    EXPECT_EQ(os_headless_get_uploaded_pixels() - before, 64u * 64u);
    EXPECT_EQ(os_headless_get_pixel(10, 20), uint32_t(10 | 20 << 8));
    EXPECT_EQ(os_headless_get_pixel(73, 83), uint32_t(73 | 83 << 8));
    EXPECT_EQ(os_headless_get_pixel(74, 83), 0u);  // never flushed
    // A rectangle reaching past the screen is cut to it.
    trect over = {-10, -10, 5, 5};
    before = os_headless_get_uploaded_pixels();
    wins_window_blit(&over);
    EXPECT_EQ(os_headless_get_uploaded_pixels() - before, 36u);
    // An expose shows the mirror again without copying the screen.
    int presents = os_headless_get_present_count(), exposes = os_headless_get_expose_count();
    os_input_expose();
    port_test_pump();
    EXPECT_EQ(os_headless_get_present_count(), presents);
    EXPECT_EQ(os_headless_get_expose_count(), exposes + 1);

    // Coming to the front shows, raises and activates the application.
    int raises = os_headless_get_raise_count(), activations = port_test_activations();
    wins_window_hide();
    EXPECT_FALSE(os_headless_is_visible());
    os_post_message(wins_window_get_frame(), OS_MSG_FOREGROUND, 0, 0);
    port_test_pump();
    EXPECT_TRUE(os_headless_is_visible());
    EXPECT_EQ(os_headless_get_raise_count(), raises + 1);
    EXPECT_EQ(port_test_activations(), activations + 1);
    return 0;
  });
}

TEST(InputPanel, OneRepaintTimerAtATime) {
  os_clock_drive(1);
  port_test_run_app([] {
    tscreen_set_paint_hook(tscreen_get(), count_paint);
    static wins_ime record;
    wins_window_set_ime(&record, nullptr, nullptr);
    wins_window_show_input_panel(&record);
    wins_window_show_input_panel(&record);  // a second show replaces the timer
    g_paints = 0;
    for (int expected : {1, 2}) {
      os_clock_advance(500);
      port_test_pump();
      EXPECT_EQ(g_paints, expected);
    }
    wins_window_hide_input_panel(&record);
    g_paints = 0;
    for (int i = 0; i < 4; i++) {
      os_clock_advance(500);
      port_test_pump();
    }
    EXPECT_EQ(g_paints, 1);  // the hide's one repaint, and the show's timer is gone
    EXPECT_EQ(os_next_timer_in(), -1);
    return 0;
  });
  os_clock_drive(0);
}

// A bad size or an unknown option: one line on stderr and 2; --help: the
// usage line on stdout and 0. None of them opens the display.
TEST(StartUp, BadOptionsAreRefusedInOneLineAndHelpPrintsTheUsage) {
  port_test_user_dir();
  os_display_select(os_display_headless_backend());
  static const wins_window_app app = {[](char16_t *b) { return b; }, [](void *, const char16_t *) { return 0; },
                                      nullptr, nullptr};
  std::vector<std::vector<std::string>> refused;
  for (const char *size : {"12x", "4294967776x640", "480x4294967936", "16x16", "63x640", "480x8193", "-480x640",
                           "480x640x", "480 x640", "+480x640"})
    refused.push_back({std::string("--screen=") + size});
  const struct {
    std::vector<std::string> args;
    int code;
    const char *said;  // the start of the one line
    bool on_stdout;
  } extra[] = {{{"--frobnicate"}, 2, "brivola: unknown option --frobnicate; usage: brivola", false},
               {{"-h", "--help"}, 2, "brivola: unknown option -h", false},
               {{"--screen=240x320", "--help"}, 0, "usage: brivola [--screen WIDTHxHEIGHT] [--help]", true}};
  auto run = [&](std::vector<std::string> args, int code, const std::string &said, bool on_stdout) {
    args.insert(args.begin(), "brivola");
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(wins_window_main(int(args.size()), argv.data(), &app), code) << args[1];
    std::string out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();
    std::string line = on_stdout ? out : err;
    EXPECT_TRUE((on_stdout ? err : out).empty()) << args[1];
    EXPECT_EQ(line.find(said), 0u) << line;
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    EXPECT_FALSE(os_display_is_open());
  };
  for (const auto &args : refused) run(args, 2, "brivola: --screen wants", false);
  for (const auto &row : extra) run(row.args, row.code, row.said, row.on_stdout);
}

TEST(StartUp, ScreenOptionAndCommandLineReachTheApplication) {
  int result = port_test_run_app(
      [] {
        int32_t w, h;
        tscreen_get_size(tscreen_get(), &w, &h);
        os_window_rect view;
        os_window_get_rect(wins_window_get_view(), &view);
        EXPECT_EQ(std::vector<int>({w, h, view.width, view.x}), std::vector<int>({240, 320, 240, 0}));
        char16_t title[32], dir[512];
        os_window_get_title(wins_window_get_frame(), title, 32);
        EXPECT_EQ(std::u16string(title), u"Brivola");
        EXPECT_EQ(wins_window_get_program_dir(dir, 512), 1);
        EXPECT_EQ(std::u16string(dir).back(), u'/');
        return 42;
      },
      "240x320");
  EXPECT_EQ(result, 42);
}

namespace {

int sigterm_blocked() {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, SIGTERM);
}

int refuse_lock(int, int) {
  errno = ENOLCK;
  return -1;
}

int refuse_bind(int, const sockaddr *, socklen_t) {
  errno = EACCES;
  return -1;
}

}  // namespace

// A refused start, and one that goes on unchecked, is told in a box as well
// as on stderr, in the application's words and with the same reason: a user
// folder that cannot be used, one whose lock another copy holds without
// answering, and one where neither locks nor a socket can tell. While the
// box waits the termination signals are the process's own again (the box
// inherits them); a start that goes on watches them again.
TEST(StartUp, ARefusedOrUncheckedStartIsToldInABox) {
  static std::vector<std::string> boxes;
  static int blocked_in_box, blocked_in_main;
  os_display_alert_fn old_hook = os_display_set_alert_hook([](const char *caption, const char *text) {
    boxes.push_back(std::string(caption) + "|" + text);
    blocked_in_box = sigterm_blocked();
    return 1;
  });
  os_display_select(os_display_headless_backend());
  static const wins_window_app app = {
      [](char16_t *b) { return std::char_traits<char16_t>::copy(b, u"Brivola", 8); },
      [](void *, const char16_t *) {
        blocked_in_main = sigterm_blocked();
        return 0;
      },
      nullptr, [](int why, char16_t *b, int n) {
        std::u16string said = why == WINS_REFUSED_FOLDER       ? u"folder"
                              : why == WINS_REFUSED_UNANSWERED ? u"unanswered"
                                                               : u"warned";
        ASSERT_GT(n, int(said.size()));
        std::char_traits<char16_t>::copy(b, said.c_str(), said.size() + 1);
      }};
  std::string own = port_test_user_dir(), home = test_make_temp_dir("refused"), unlocked = home + "/unlocked";
  ASSERT_TRUE(test_write_file(home + "/file", std::string()));
  ASSERT_EQ(mkdir(unlocked.c_str(), 0755), 0);
  int holder = open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);  // a copy that does not answer
  const struct {
    std::string user_dir;
    const char *said;
    int code;
  } cases[] = {{home + "/file", "folder", 1}, {home, "unanswered", 1}, {unlocked, "warned", 0}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.said);
    setenv("BRIVOLA_HOME", c.user_dir.c_str(), 1);
    if (c.code == 0) os_instance_set_calls(nullptr, refuse_lock, refuse_bind);
    boxes.clear();
    blocked_in_box = blocked_in_main = -1;
    char arg0[] = "brivola";
    char *argv[] = {arg0, nullptr};
    testing::internal::CaptureStderr();
    EXPECT_EQ(wins_window_main(1, argv, &app), c.code);
    std::string line = testing::internal::GetCapturedStderr();
    os_instance_set_calls(nullptr, nullptr);
    ASSERT_EQ(boxes.size(), 1u) << line;
    EXPECT_EQ(boxes[0].find(std::string("Brivola|") + c.said + "\n\n" + c.user_dir + ": "), 0u) << boxes[0];
    EXPECT_NE(line.find(boxes[0].substr(boxes[0].find("\n\n") + 2)), std::string::npos) << line;
    EXPECT_EQ(blocked_in_box, 0) << "the box holds the signals back";
    EXPECT_EQ(blocked_in_main, c.code == 0 ? 1 : -1) << "the start went on without its signal watcher";
  }
  close(holder);
  setenv("BRIVOLA_HOME", own.c_str(), 1);
  os_display_set_alert_hook(old_hook);
  test_remove_tree(home);
}

// Where the window system's box cannot show, the refusal is drawn in a note
// window of the program's own, dark on white and wrapped inside its margins;
// the start ends once the user closes the note (Escape here).
TEST(StartUp, ARefusalTheBoxCannotShowIsDrawnInANoteOfItsOwn) {
  static std::vector<uint16_t> shown;
  static int32_t width, height;
  os_display_alert_fn old_hook = os_display_set_alert_hook([](const char *, const char *) { return 0; });
  static os_display_backend seen;
  seen = *os_display_headless_backend();
  seen.present = [](const tbitmap *screen, const trect *rect) {
    int done = os_display_headless_backend()->present(screen, rect);
    os_display_get_size(&width, &height);
    shown.clear();
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) shown.push_back(uint16_t(os_headless_get_pixel(x, y)));
    os_input_key(VK_ESCAPE, 1, 1);
    return done;
  };
  os_display_select(&seen);
  static const wins_window_app app = {[](char16_t *b) { return std::char_traits<char16_t>::copy(b, u"Brivola", 8); },
                                      [](void *, const char16_t *) { return 0; }, nullptr, nullptr};
  std::string own = port_test_user_dir(), home = test_make_temp_dir("refused-note");
  ASSERT_TRUE(test_write_file(home + "/file", std::string()));
  setenv("BRIVOLA_HOME", (home + "/file").c_str(), 1);
  shown.clear();
  char arg0[] = "brivola";
  char *argv[] = {arg0, nullptr};
  testing::internal::CaptureStderr();
  EXPECT_EQ(wins_window_main(1, argv, &app), 1);
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(os_display_is_open());
  ASSERT_EQ(shown.size(), size_t(width) * size_t(height)) << "nothing was shown";
  int ink = 0, ink_in_margins = 0;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      bool inked = shown[size_t(y) * size_t(width) + size_t(x)] != 0xFFFF;
      bool margin = x < 8 || y < 8 || x >= width - 8 || y >= height - 8;
      ink += inked;
      ink_in_margins += inked && margin;
    }
  EXPECT_GT(ink, 300) << "no text";
  EXPECT_EQ(ink_in_margins, 0) << "text past the note's edges";
  setenv("BRIVOLA_HOME", own.c_str(), 1);
  os_display_set_alert_hook(old_hook);
  os_display_select(os_display_headless_backend());
  test_remove_tree(home);
}
