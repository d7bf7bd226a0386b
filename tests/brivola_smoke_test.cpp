// Starts the real program under SDL's offscreen video driver.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ctime>
#include <string>
#include <vector>

#include "os_clock.h"
#include "os_instance.h"
#include "os_message.h"
#include "program_run.h"
#include "test_env.h"

// A second start ends at once and leaves the first running; a termination
// signal is then an orderly exit that writes the settings and keeps the
// painting.
TEST(Smoke, SecondStartEndsAtOnceAndTerminationIsAnOrderlyExit) {
  std::string home = test_make_temp_dir("smoke");
  std::vector<std::string> env = program_environment({"SDL_VIDEODRIVER=offscreen", "BRIVOLA_HOME=" + home});
  pid_t first = program_start({}, env);
  ASSERT_GT(first, 0);
  ASSERT_TRUE(program_wait_until_locked(home, 10000));
  pid_t second = program_start({}, env);
  ASSERT_GT(second, 0);
  EXPECT_EQ(program_end_within(second, 10000), 0);
  program_pause_ms(300);  // let the first reach its loop
  EXPECT_EQ(program_wait_exit(first, 0), -1) << "it ended on its own";
  kill(first, SIGTERM);
  EXPECT_EQ(program_end_within(first, 10000), 0);
  for (const char *written : {"/config.xml", "/save_dirs.dat", "/Documents/Brivola", "/cache/paint.cache"})
    EXPECT_TRUE(std::filesystem::exists(home + written)) << written;
  test_remove_tree(home);
}

namespace {

int g_foreground;
intptr_t count_foreground(os_hwnd window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (message == OS_MSG_FOREGROUND) g_foreground++;
  return os_def_window_proc(window, message, wparam, lparam);
}

}  // namespace

TEST(Smoke, SecondStartAsksTheFirstToComeToTheFront) {
  std::string home = test_make_temp_dir("smoke");
  setenv("BRIVOLA_HOME", home.c_str(), 1);
  ASSERT_EQ(os_instance_claim(u"Brivola"), 1);
  os_hwnd window = os_window_create(u"TesselFrame", u"Brivola", count_foreground, 0, 0, 0, 1, 1);
  os_instance_set_window(window);
  g_foreground = 0;
  pid_t second = program_start({}, program_environment({"SDL_VIDEODRIVER=offscreen", "BRIVOLA_HOME=" + home}));
  ASSERT_GT(second, 0);
  EXPECT_EQ(program_end_within(second, 10000), 0);
  os_message m;
  uint64_t deadline = os_clock_now_ms() + 5000;
  while (!g_foreground && os_get_message(&m, deadline) > 0) os_dispatch_message(&m);
  EXPECT_EQ(g_foreground, 1);
  os_instance_release();
  os_message_reset();
  unsetenv("BRIVOLA_HOME");
  test_remove_tree(home);
}

// No display named, and one named that nothing can answer, whatever else
// runs on the machine: a socket path in a folder of the test's own, where
// no socket is.
TEST(Smoke, WithoutADisplayItSaysWhyAndFails) {
  struct stat st;
  if (stat("/dev/dri", &st) == 0) GTEST_SKIP() << "a console display may answer here";
  std::string home = test_make_temp_dir("smoke");
  const std::string nowhere = home + "/no-server/X0";
  for (const std::string &display : {std::string(), nowhere}) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::vector<std::string> extra = {"BRIVOLA_HOME=" + home};
    if (!display.empty()) {
      // SDL's X11 attempt connects to the session bus, whose buffers libdbus
      // keeps for the life of the process.
      test_write_file(home + "/lsan.supp", "leak:libdbus-1.so\n");
      extra.push_back("DISPLAY=" + display);
      extra.push_back("LSAN_OPTIONS=print_suppressions=0:suppressions=" + home + "/lsan.supp");
    }
    pid_t pid = program_start({}, program_environment(extra), fds[1]);
    close(fds[1]);
    ASSERT_GT(pid, 0);
    int code = program_end_within(pid, 10000);
    std::string said = program_read_all(fds[0]);
    close(fds[0]);
    EXPECT_NE(code, 0);
    EXPECT_NE(code, -1);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;  // one line
    EXPECT_NE(said.find("brivola: "), std::string::npos) << said;
    EXPECT_NE(said.find(display.empty() ? "not set" : "\"" + display + "\" (DISPLAY) could not be opened"),
              std::string::npos)
        << said;
  }
  test_remove_tree(home);
}

namespace {

// A run that is ended by a signal some time after it holds its lock; the exit
// code (-1: still running after the generous wait, which only guards against
// a hang; -2: it never held its lock; the process is killed then).
int run_and_end(const std::string &home, int signal_number, int after_ms) {
  pid_t pid = program_start({}, program_environment({"SDL_VIDEODRIVER=offscreen", "BRIVOLA_HOME=" + home}));
  if (pid <= 0) return -2;
  if (!program_wait_until_locked(home, 10000)) {
    program_end_within(pid, 0);
    return -2;
  }
  program_pause_ms(after_ms);
  kill(pid, signal_number);
  return program_end_within(pid, 20000);
}

// A kept painting of an empty canvas, made by a run ended with SIGTERM.
test_bytes keep_a_painting(const std::string &home) {
  EXPECT_EQ(run_and_end(home, SIGTERM, 300), 0);
  return test_read_file(home + "/cache/paint.cache");
}

}  // namespace

// The restore leaves the kept painting on disk: a kill after it loses nothing.
TEST(SmokeKeep, APaintingSurvivesAKillAfterItsRestore) {
  std::string home = test_make_temp_dir("smoke");
  test_bytes kept = keep_a_painting(home);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(run_and_end(home, SIGKILL, 1000), 128 + SIGKILL);
  EXPECT_EQ(test_read_file(home + "/cache/paint.cache"), kept);
  test_remove_tree(home);
}

// The keep at exit never waits on a box: a cache that cannot be written
// still lets SIGTERM end the program. A folder where the painting goes is
// set aside by the restore, and the painting is kept in its place.
TEST(SmokeKeep, TerminationEndsTheProgramWhenTheCacheCannotBeWritten) {
  for (bool folder_a_file : {true, false}) {
    SCOPED_TRACE(folder_a_file ? "the cache folder a file" : "paint.cache a folder");
    std::string home = test_make_temp_dir("smoke");
    if (folder_a_file) {
      test_write_file(home + "/cache", std::string("not a folder"));
    } else {
      std::filesystem::create_directories(home + "/cache/paint.cache");
    }
    EXPECT_EQ(run_and_end(home, SIGTERM, 1500), 0);
    EXPECT_FALSE(std::filesystem::is_directory(home + "/cache/paint.cache"));
    if (!folder_a_file) {
      EXPECT_TRUE(std::filesystem::is_regular_file(home + "/cache/paint.cache"));
      EXPECT_TRUE(std::filesystem::is_directory(home + "/cache/paint.cache.bad"));
    }
    test_remove_tree(home);
  }
}

// SIGTERM while the box says why a damaged kept painting did not open: the
// file is kept aside byte for byte, and what the screen shows is kept.
TEST(SmokeKeep, ADamagedPaintingSurvivesAnExitDuringItsBox) {
  for (const test_bytes &damaged : {test_bytes(64, 0x5A), test_bytes()}) {
    SCOPED_TRACE(damaged.size());
    std::string home = test_make_temp_dir("smoke");
    std::filesystem::create_directories(home + "/cache");
    ASSERT_TRUE(test_write_file(home + "/cache/paint.cache", damaged));
    EXPECT_EQ(run_and_end(home, SIGTERM, 1500), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(home + "/cache/paint.cache"));
    EXPECT_TRUE(std::filesystem::exists(home + "/cache/paint.cache.bad"));
    EXPECT_EQ(test_read_file(home + "/cache/paint.cache.bad"), damaged);
    test_remove_tree(home);
  }
}
