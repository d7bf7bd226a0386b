#include "port_device.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "os_clock.h"
#include "os_display.h"
#include "os_shell.h"
#include "port_test_app.h"
#include "test_env.h"
#include "tscreen.h"
#include "wins_window.h"

namespace {

std::string sn_path() { return port_test_user_dir() + "/sn.dat"; }

std::string serial() {
  char16_t out[PORT_DEVICE_SERIAL_CHARS + 1];
  EXPECT_EQ(port_device_get_serial(out), PORT_DEVICE_SERIAL_CHARS);
  return std::string(out, out + PORT_DEVICE_SERIAL_CHARS);
}

bool all_digits(const std::string &text) {
  return text.size() == 15 && text.find_first_not_of("0123456789") == std::string::npos;
}

std::vector<std::vector<std::string>> g_launched;
int record_launch(const std::vector<std::string> &argv) {
  g_launched.push_back(argv);
  return 1;
}

// A program that runs until the test lets it end, answering 1 only then.
std::atomic<int> g_let_end{0};
int held_launch(const std::vector<std::string> &) {
  for (int ms = 0; ms < 3000 && !g_let_end.load(); ms++) {
    timespec pause{0, 1000000L};
    nanosleep(&pause, nullptr);
  }
  return g_let_end.load();
}

std::vector<int> g_ends;
void record_end(int result, void *) { g_ends.push_back(result); }

}  // namespace

TEST(Serial, MadeOnceThenReusedAndMadeAgainWhenDamaged) {
  std::remove(sn_path().c_str());
  std::string first = serial();
  EXPECT_TRUE(all_digits(first)) << first;
  EXPECT_EQ(test_read_text(sn_path()), first);  // 15 bytes, no terminator, no line end
  EXPECT_EQ(serial(), first);
  test_write_file(sn_path(), std::string("123456789012345"));
  EXPECT_EQ(serial(), "123456789012345");
  for (const char *bad : {"", "12345", "12345678901234", "1234567890x2345"}) {
    test_write_file(sn_path(), std::string(bad));
    std::string made = serial();
    EXPECT_TRUE(all_digits(made)) << "from \"" << bad << "\": " << made;
    EXPECT_EQ(test_read_text(sn_path()), made);
  }
}

TEST(Device, ArithmeticTimeAndTicks) {
  EXPECT_EQ(port_device_muldiv(7, 3, 2), 10);
  EXPECT_EQ(port_device_muldiv(-7, 3, 2), -10);                   // toward zero
  EXPECT_EQ(port_device_muldiv(100000, 100000, 1000), 10000000);  // the product needs 64 bits
  EXPECT_EQ(port_device_muldiv(1, 2, 0), -1);
  EXPECT_EQ(port_device_muldiv(INT32_MAX, 4, 1), -1);
  for (int i = 0; i < 1000; i++) {
    int r = port_device_random();
    ASSERT_TRUE(r >= 0 && r <= PORT_DEVICE_RANDOM_MAX) << r;
  }
  int64_t stored = 0;
  int64_t now = port_device_get_time(&stored);
  EXPECT_EQ(now, stored);
  EXPECT_LE(std::llabs(now - int64_t(std::time(nullptr))), 2);
  os_clock_drive(1);
  uint32_t before = port_device_get_ticks();
  wins_window_sleep(250);  // a driven clock moves instead of sleeping
  EXPECT_EQ(port_device_get_ticks() - before, 250u);
  os_clock_drive(0);
}

// (The point sizes drawn from the dpi are held by the edit's tests.)
TEST(Device, DpiFollowsTheScreenClass) {
  EXPECT_EQ(port_device_get_dpi(), 192) << "before a display opens, the default 480x640 screen: the large class";
  port_test_run_app(
      [] {
        int32_t w, h;
        port_device_get_screen_size(&w, &h);
        EXPECT_EQ(std::vector<int>({port_device_get_dpi(), w, port_device_get_screen_depth()}), std::vector<int>({96, 240, 16}));
        return 0;
      },
      "240x320");
}

TEST(Device, OpenersGoToXdgOpen) {
  g_launched.clear();
  os_launcher_fn old = os_shell_set_launcher(record_launch);
  EXPECT_EQ(port_device_open_url(u"https://example.org/a b"), 1);
  ASSERT_TRUE(port_test_finish_launches());
  EXPECT_EQ(port_device_open_file(u"/tmp/caf\u00e9.png"), 1);
  EXPECT_EQ(port_device_open_file(u""), 0);
  os_shell_set_launcher(old);
  ASSERT_TRUE(port_test_finish_launches());
  EXPECT_EQ(g_launched, (std::vector<std::vector<std::string>>{{"xdg-open", "https://example.org/a b"},
                                                               {"xdg-open", "/tmp/caf\xC3\xA9.png"}}));
}

// The real launcher answers what the program answers. The program's threads
// block SIGTERM (a watcher takes it); a started program must not inherit
// that, or it could not be ended.
TEST(Device, TheLauncherAnswersWhatTheProgramAnswers) {
  const struct {
    std::vector<std::string> argv;
    int answer;
  } rows[] = {{{"true"}, 1},
              {{"false"}, 0},
              {{"brivola-no-such-program"}, 0},
              {{"sh", "-c", "kill -TERM $$; exit 0"}, 0}};
  sigset_t term, old;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &old);
  for (const auto &row : rows) EXPECT_EQ(os_shell_run(row.argv), row.answer) << row.argv.back();
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

// The GUI thread goes on while the program runs; the answer comes back to it
// through the loop, once. A launch still running at tear-down ends unheard.
TEST(Device, ALaunchRunsAwayFromTheGuiThreadAndAnswersThroughTheLoop) {
  os_launcher_fn old = os_shell_set_launcher(held_launch);
  g_ends.clear();
  g_let_end = 0;
  port_test_run_app([] {
    EXPECT_EQ(port_device_open_url(u"http://a/", record_end, nullptr), 1);
    g_let_end = 1;  // only now: a call that waited for the program got 0
    EXPECT_TRUE(g_ends.empty()) << "not inside the call";
    EXPECT_TRUE(port_test_finish_launches());
    EXPECT_EQ(g_ends, std::vector<int>{1});
    EXPECT_EQ(port_device_open_url(u"", record_end, nullptr), 0);
    g_let_end = 0;
    EXPECT_EQ(port_device_open_url(u"http://b/", record_end, nullptr), 1);
    return 0;
  });
  g_let_end = 1;
  EXPECT_TRUE(port_test_finish_launches());
  os_shell_set_launcher(old);
  EXPECT_EQ(g_ends, std::vector<int>{1});
}

TEST(Camera, AnswersAndRestoresTheDisplayHalfASecondLater) {
  os_clock_drive(1);
  port_test_run_app([] {
    char16_t path[PORT_DEVICE_PATH_CHARS];
    unsetenv("BRIVOLA_CAMERA_IMAGE");
    EXPECT_EQ(port_device_capture_photo(path), 0);  // no camera
    // The display changed size meanwhile (the camera's window had it, so its
    // change is dropped); the screen follows only when the restore fires.
    os_headless_set_size(300, 400);
    os_message message;
    while (os_peek_message(&message)) {
    }
    for (auto [ms, width] : {std::pair{499, 480}, {1, 300}}) {
      os_clock_advance(uint32_t(ms));
      port_test_pump();
      EXPECT_EQ(tbitmap_get_width(tscreen_get_bitmap(tscreen_get())), width);
    }
    std::string image = port_test_user_dir() + "/photo.png";
    test_write_file(image, std::string("not really a picture"));
    setenv("BRIVOLA_CAMERA_IMAGE", image.c_str(), 1);
    EXPECT_EQ(port_device_capture_photo(path), 1);
    EXPECT_EQ(std::u16string(path), test_wide(image));
    unsetenv("BRIVOLA_CAMERA_IMAGE");
    return 0;
  });
  os_clock_drive(0);
}
