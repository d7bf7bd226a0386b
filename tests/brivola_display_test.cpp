// The program's roads out that the system forces on it: an X server that
// goes away under the program or under a screen capture, a hang-up, an
// exit() while the port's threads run, a single-instance lock that cannot
// be had.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "os_display.h"
#include "os_instance.h"
#include "os_signal.h"
#include "port_test_app.h"
#include "program_run.h"
#include "screen_capture.h"
#include "test_env.h"
#include "wins_timer.h"
#include "tbitmap.h"
#include "trect.h"
#include "wins_window.h"

// Last: Xlib's macros (None, Bool) would rename what the headers above declare.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

// An X server of its own: Xvfb picks a free display number and tells it
// through -displayfd. Skipped where Xvfb is not installed.
struct x_server {
  pid_t pid = -1;
  std::string name;  // ":N"

  ~x_server() { stop(); }

  // 0, or why no server runs (ENOENT: Xvfb is not installed).
  int start(const char *size) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return errno;
    // No stream of the test's: a server outliving a failed test holds no pipe open.
    int error = 0;
    pid = program_spawn({"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", std::string(size) + "x24"},
                        nullptr, {{0, -1}, {1, -1}, {2, -1}, {3, fds[1]}}, &error);
    close(fds[1]);
    std::string number = error ? "" : program_read_all(fds[0]);
    close(fds[0]);
    while (!number.empty() && number.back() == '\n') number.pop_back();
    name = ":" + number;
    return error ? error : number.empty() ? EIO : 0;
  }

  void stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
};

// The abstract socket an X client tries first for display N.
socklen_t x_address(int number, sockaddr_un *address) {
  *address = sockaddr_un{};
  address->sun_family = AF_UNIX;
  int n = std::snprintf(address->sun_path + 1, sizeof address->sun_path - 1, "/tmp/.X11-unix/X%d", number);
  return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(n));
}

// A display of its own that relays one client to a real server and ends
// both connections when the client asks for an image (GetImage, opcode 73):
// the X server goes away in the middle of a capture.
struct cutting_relay {
  int listen_fd = -1;
  std::string name;  // ":N"
  std::thread worker;
  std::atomic<bool> cut{false};

  ~cutting_relay() {
    if (listen_fd >= 0) shutdown(listen_fd, SHUT_RDWR);
    if (worker.joinable()) worker.join();
    if (listen_fd >= 0) close(listen_fd);
  }

  bool start(const std::string &server) {
    listen_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    for (int number = 500; listen_fd >= 0 && number < 600; number++) {
      sockaddr_un address;
      socklen_t length = x_address(number, &address);
      if (bind(listen_fd, reinterpret_cast<sockaddr *>(&address), length) != 0) continue;
      if (listen(listen_fd, 1) != 0) return false;
      name = ":" + std::to_string(number);
      worker = std::thread([this, server] { relay(std::atoi(server.c_str() + 1)); });
      return true;
    }
    return false;
  }

  void relay(int server_number) {
    int client = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    int upstream = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address;
    socklen_t length = x_address(server_number, &address);
    std::vector<uint8_t> stream;  // what the client sent, for finding its requests
    size_t next = 0;              // where its next request starts (0: the set-up first)
    bool set_up = false;
    if (connect(upstream, reinterpret_cast<sockaddr *>(&address), length) == 0) {
      for (;;) {
        pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
        if (poll(fds, 2, 10000) <= 0) break;
        uint8_t buffer[65536];
        if (fds[1].revents) {
          ssize_t n = read(upstream, buffer, sizeof buffer);
          if (n <= 0 || write(client, buffer, size_t(n)) != n) break;
        }
        if (!fds[0].revents) continue;
        ssize_t n = read(client, buffer, sizeof buffer);
        if (n <= 0) break;
        stream.insert(stream.end(), buffer, buffer + n);
        bool big = stream[0] == 'B';
        auto u16 = [&](size_t at) { return big ? stream[at] << 8 | stream[at + 1] : stream[at + 1] << 8 | stream[at]; };
        while (next + 4 <= stream.size()) {
          if (!set_up) {
            if (next + 12 > stream.size()) break;
            next += 12 + (size_t(u16(6)) + 3) / 4 * 4 + (size_t(u16(8)) + 3) / 4 * 4;
            set_up = true;
            continue;
          }
          if (stream[next] == 73) cut = true;
          size_t words = size_t(u16(next + 2));
          if (!words && next + 8 <= stream.size())
            words = size_t(u16(next + 4)) | size_t(u16(next + 6)) << 16;  // a big request
          next += words ? words * 4 : 8;
        }
        if (cut || write(upstream, buffer, size_t(n)) != n) break;
      }
    }
    close(upstream);
    close(client);
  }
};

// The program on server's display, with the screen as big as the X screen,
// so that it fills it from the top left corner. The program's sanitizer build
// carries its own list of the libraries' leaks not to count (libdbus keeps
// the session bus's buffers): none is added here, so an ASan build whose
// every exit would fail shows.
pid_t start_on(const x_server &server, const char *size, const std::string &home) {
  return program_start({"--screen", size}, program_environment({"DISPLAY=" + server.name, "BRIVOLA_HOME=" + home}));
}

unsigned long pixel_at(Display *display, int x, int y) {
  XImage *image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0;
  unsigned long pixel = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return pixel;
}

// The whole X screen, pixel by pixel (all 0 when it cannot be read).
std::vector<unsigned long> screen_pixels(Display *display) {
  int width = DisplayWidth(display, DefaultScreen(display)), height = DisplayHeight(display, DefaultScreen(display));
  std::vector<unsigned long> pixels(size_t(width) * size_t(height));
  XImage *image = XGetImage(display, DefaultRootWindow(display), 0, 0, unsigned(width), unsigned(height), AllPlanes,
                            ZPixmap);
  for (int y = 0; image && y < height; y++)
    for (int x = 0; x < width; x++) pixels[size_t(y) * size_t(width) + size_t(x)] = XGetPixel(image, x, y);
  if (image) XDestroyImage(image);
  return pixels;
}

// Polls up to timeout_ms for done().
template <typename Done>
bool wait_for(Done done, int timeout_ms) {
  for (int waited = 0; waited <= timeout_ms; waited += 20) {
    if (done()) return true;
    program_pause_ms(20);
  }
  return false;
}

// The program started at 240x320 on the server, and a connection of the
// test's own once the canvas shows; null (and a failure) when either fails.
// The program's exit status once it ends within ms; -1 when it did not, and
// it is killed then, so no test leaves it behind.
int exit_code_within(pid_t pid, int ms) { return program_end_within(pid, ms); }

Display *start_showing(const x_server &server, const std::string &home, pid_t *pid) {
  *pid = start_on(server, "240x320", home);
  EXPECT_GT(*pid, 0);
  Display *display = *pid > 0 ? XOpenDisplay(server.name.c_str()) : nullptr;
  if (!display) return nullptr;
  unsigned long black = BlackPixel(display, DefaultScreen(display));
  EXPECT_TRUE(wait_for([&] { return pixel_at(display, 100, 170) != black; }, 10000)) << "the canvas never showed";
  return display;
}

int32_t record_count_of(const std::string &document) {
  test_bytes bytes = test_read_file(document);
  return bytes.size() >= 44 ? int32_t(test_le32(bytes, 28)) : -1;
}

}  // namespace

// The window fills the X screen, so screen and window points are one. A
// stroke is drawn with the pen (the tool the program starts with), then the X
// server ends: the program ends as on SIGTERM, with its painting kept.
TEST(LostDisplay, KillingTheXServerKeepsThePaintingAndExitsCleanly) {
  x_server server;
  int error = server.start("240x320");
  if (error == ENOENT) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_EQ(error, 0) << std::strerror(error);
  std::string home = test_make_temp_dir("display");
  pid_t pid = -1;
  Display *display = start_showing(server, home, &pid);
  ASSERT_NE(display, nullptr);
  const int points[][2] = {{60, 150}, {100, 170}, {140, 190}, {180, 200}};
  program_pause_ms(500);  // the start-up restore runs on a timer
  unsigned long before = pixel_at(display, 100, 170);
  XTestFakeMotionEvent(display, -1, points[0][0], points[0][1], CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  for (const auto &point : points) {
    XTestFakeMotionEvent(display, -1, point[0], point[1], CurrentTime);
    XSync(display, False);
    program_pause_ms(30);
  }
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XSync(display, False);
  EXPECT_TRUE(wait_for([&] { return pixel_at(display, 100, 170) != before; }, 5000)) << "no stroke on the screen";
  // The pen's lift, which makes the stroke a record, shows nothing: time for
  // the program to take it before its X server goes.
  program_pause_ms(500);
  XCloseDisplay(display);

  server.stop();
  int code = exit_code_within(pid, 10000);
  EXPECT_EQ(code, 0) << "128 + n: ended by signal n (134: an abort)";
  EXPECT_GE(record_count_of(home + "/cache/paint.cache"), 1) << "the stroke was not kept";
  test_remove_tree(home);
}

// The X server ends in the middle of a drag, the program still behind on the
// events it sent: the program ends as on SIGTERM, the stroke in progress
// kept, and the next start shows it again.
TEST(LostDisplay, KillingTheXServerMidStrokeKeepsTheStroke) {
  std::string home = test_make_temp_dir("midstroke");
  unsigned long blank = 0;
  for (int run = 0; run < 2; run++) {
    SCOPED_TRACE(run == 0 ? "drawing" : "the next start");
    x_server server;
    int error = server.start("240x320");
    if (error == ENOENT) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_EQ(error, 0) << std::strerror(error);
    pid_t pid = -1;
    Display *display = start_showing(server, home, &pid);
    ASSERT_NE(display, nullptr);
    if (run == 1) {
      EXPECT_TRUE(wait_for([&] { return pixel_at(display, 100, 170) != blank; }, 10000)) << "the stroke was lost";
      XCloseDisplay(display);
      kill(pid, SIGTERM);
    } else {
      program_pause_ms(500);  // the start-up restore runs on a timer
      blank = pixel_at(display, 100, 170);
      // Along a line through (100, 170) until the stroke shows there, then
      // to and fro on it far more than the program takes in at once; the
      // pen never lifts.
      auto move_to = [&](int x) { XTestFakeMotionEvent(display, -1, x, 150 + (x - 60) / 2, CurrentTime); };
      move_to(60);
      XTestFakeButtonEvent(display, 1, True, CurrentTime);
      for (int x = 60; x <= 120; x++) move_to(x);
      XSync(display, False);
      ASSERT_TRUE(wait_for([&] { return pixel_at(display, 100, 170) != blank; }, 10000)) << "no stroke on the screen";
      for (int i = 0; i < 4000; i++) move_to(60 + std::abs(i % 240 - 120));
      XSync(display, False);
      XCloseDisplay(display);
      kill(server.pid, SIGKILL);
      waitpid(server.pid, nullptr, 0);
      server.pid = -1;
    }
    int code = exit_code_within(pid, 10000);
    EXPECT_EQ(code, 0) << "128 + n: ended by signal n; -1: did not end";
  }
  EXPECT_GE(record_count_of(home + "/cache/paint.cache"), 1) << "the stroke was not kept";
  test_remove_tree(home);
}

// With no compositor to keep a window's pixels, the X server leaves what
// was over the program's window (or its own background) there until the
// program shows its screen again, which it must do from the expose alone:
// nothing of its own changes. Covered by another window that goes away, and
// hidden and shown again (as on a minimise and a restore).
TEST(UncoveredWindow, TheWindowShowsItsScreenAgainAfterBeingCoveredOrHidden) {
  x_server server;
  int error = server.start("240x320");
  if (error == ENOENT) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_EQ(error, 0) << std::strerror(error);
  std::string home = test_make_temp_dir("expose");
  pid_t pid = -1;
  Display *display = start_showing(server, home, &pid);
  ASSERT_NE(display, nullptr);
  Window root = DefaultRootWindow(display);
  // The start-up restore runs on a timer: the screen counts as settled when
  // two looks a while apart agree.
  std::vector<unsigned long> before, now = screen_pixels(display);
  for (int looks = 0; looks < 50 && (looks == 0 || now != before); looks++) {
    before = now;
    program_pause_ms(300);
    now = screen_pixels(display);
  }
  ASSERT_TRUE(now == before) << "the screen never settled";
  Window program_window = 0;
  int x, y;
  XTranslateCoordinates(display, root, root, 100, 170, &x, &y, &program_window);
  ASSERT_NE(program_window, Window(0));

  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = 0xFF00FF;
  Window cover = XCreateWindow(display, root, 20, 40, 200, 200, 0, CopyFromParent, InputOutput, CopyFromParent,
                               CWOverrideRedirect | CWBackPixel, &attributes);
  const struct {
    const char *name;
    Window window;
    bool mapped_at_start;  // the program's goes and comes back; the cover comes and goes
  } disturbances[] = {
      {"covered by another window that goes away", cover, false},
      {"hidden and shown again", program_window, true},
  };
  auto set_mapped = [&](Window window, bool mapped) {
    if (mapped)
      XMapRaised(display, window);
    else
      XUnmapWindow(display, window);
    XSync(display, False);
  };
  for (const auto &d : disturbances) {
    SCOPED_TRACE(d.name);
    set_mapped(d.window, !d.mapped_at_start);
    ASSERT_TRUE(wait_for([&] { return screen_pixels(display) != before; }, 10000)) << "nothing was disturbed";
    set_mapped(d.window, d.mapped_at_start);
    EXPECT_TRUE(wait_for([&] { return (now = screen_pixels(display)) == before; }, 10000))
        << std::inner_product(before.begin(), before.end(), now.begin(), 0, std::plus<>(), std::not_equal_to<>())
        << " pixels differ from what the program showed before";
  }
  XDestroyWindow(display, cover);
  XCloseDisplay(display);
  kill(pid, SIGTERM);
  int code = exit_code_within(pid, 10000);
  EXPECT_EQ(code, 0);
  test_remove_tree(home);
}

// A screen capture opens its own connection: the X server ending during it
// gives no picture, not Xlib's exit of the whole program.
TEST(LostDisplay, ACaptureWhoseServerGoesGivesNoPictureAndTheProgramGoesOn) {
  x_server server;
  int error = server.start("64x64");
  if (error == ENOENT) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_EQ(error, 0) << std::strerror(error);
  cutting_relay relay;
  ASSERT_TRUE(relay.start(server.name));
  const char *found = std::getenv("DISPLAY");
  std::string kept = found ? found : "";
  setenv("DISPLAY", relay.name.c_str(), 1);
  EXPECT_EQ(screen_capture(), nullptr);
  EXPECT_TRUE(relay.cut) << "the capture never asked for its image";
  if (found)
    setenv("DISPLAY", kept.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

namespace {

// Opens the SDL display on server, presents, has SDL hold five events and
// kills the server; then one present (or one poll) meets the loss. Writes
// what the display said and how many of the held events were taken, and
// ends the process:
// SDL is left as the loss leaves it.
[[noreturn]] void meet_the_loss(const x_server *server, bool in_poll) {
  setenv("DISPLAY", server->name.c_str(), 1);
  unsetenv("SDL_VIDEODRIVER");
  os_display_select(os_display_sdl_backend());
  char why[256] = "";
  tbitmap *screen = tbitmap_new(64, -48, 16);
  trect whole = {0, 0, 63, 47};
  if (!screen || !os_display_open(64, 48, u"lost", why, sizeof why) || !os_display_present(screen, &whole))
    std::_Exit(2);
  SDL_Event motion{};
  motion.type = SDL_MOUSEMOTION;
  for (int i = 0; i < 5; i++) SDL_PushEvent(&motion);
  kill(server->pid, SIGKILL);
  sockaddr_un address;
  socklen_t length = x_address(std::atoi(server->name.c_str() + 1), &address);
  wait_for(
      [&] {
        int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bool gone = connect(probe, reinterpret_cast<sockaddr *>(&address), length) != 0;
        close(probe);
        return gone;
      },
      10000);
  int held = SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION);
  if (in_poll) os_display_poll();
  int shown = in_poll ? 0 : os_display_present(screen, &whole);
  int taken = held - SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION);
  std::fprintf(stderr, "lost %d shown %d taken %d\n", os_display_is_lost(), shown, taken < 0 ? 0 : taken);
  std::_Exit(0);
}

}  // namespace

// A present or a poll meets the X server's end: the present does not say
// it showed the frame, and the poll takes nothing more from SDL, not even
// the events SDL already holds (the one it was taking when it met the loss
// aside).
TEST(LostDisplay, NothingIsShownOrTakenAfterTheLoss) {
  for (bool in_poll : {false, true}) {
    SCOPED_TRACE(in_poll ? "a poll meets the loss" : "a present meets the loss");
    x_server server;
    int error = server.start("64x64");
    if (error == ENOENT) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_EQ(error, 0) << std::strerror(error);
    EXPECT_EXIT(meet_the_loss(&server, in_poll), ::testing::ExitedWithCode(0),
                in_poll ? "lost 1 shown 0 taken [01]\n" : "lost 1 shown 0 taken 0\n");
    waitpid(server.pid, nullptr, 0);
    server.pid = -1;
  }
}

// The display goes while the exit hook would veto: with nothing left to
// close the program later, it ends all the same, through the hook.
TEST(LostDisplay, LossIsTheCloseRoadAndAVetoDoesNotHoldWithoutADisplay) {
  static std::vector<int> codes;
  codes.clear();
  int result = port_test_run_app([] {
    wins_timer_start(3000, 0, [](uint32_t, void *) { os_post_quit_message(99); }, nullptr);
    wins_window_get_context()->_exit_hook = [](int code) {
      codes.push_back(code);
      return 0;
    };
    os_headless_lose();
    int code = wins_window_run();
    EXPECT_FALSE(os_display_is_open());
    EXPECT_FALSE(os_window_is_alive(wins_window_get_frame()));
    return code;
  });
  EXPECT_EQ(result, 0) << "99: the loss did not end the program";
  EXPECT_EQ(codes, std::vector<int>{WINS_EXIT_CLOSE});
}

// exit() from anywhere (Xlib's own, a library's) while the signal watcher and
// the instance listener run ends with its code, not an abort.
TEST(ExitRoads, ExitWhileThePortThreadsRunEndsWithItsCode) {
  port_test_user_dir();
  EXPECT_EXIT(
      {
        os_signal_watch();
        os_instance_claim(u"Brivola");
        std::exit(3);
      },
      ::testing::ExitedWithCode(3), "");
}

// A hang-up (the terminal or session the program was started from ended)
// is a close like SIGTERM, the painting kept; one that nohup set aside stays
// ignored.
TEST(ExitRoads, HangUpIsAnOrderlyExitUnlessIgnored) {
  for (bool ignored : {false, true}) {
    SCOPED_TRACE(ignored ? "ignored" : "default");
    std::string home = test_make_temp_dir("hangup");
    void (*found)(int) = signal(SIGHUP, ignored ? SIG_IGN : SIG_DFL);
    pid_t pid = program_start({}, program_environment({"SDL_VIDEODRIVER=offscreen", "BRIVOLA_HOME=" + home}));
    signal(SIGHUP, found);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(program_wait_until_locked(home, 10000));
    program_pause_ms(300);  // the frame is made after the lock
    kill(pid, SIGHUP);
    int code = program_wait_exit(pid, ignored ? 500 : 10000);
    if (ignored && code == -1) {
      kill(pid, SIGTERM);
      code = program_wait_exit(pid, 10000);
    } else if (ignored) {
      ADD_FAILURE() << "ended by an ignored hang-up";
    }
    if (code == -1) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    EXPECT_EQ(code, 0) << "129: killed by the hang-up";
    EXPECT_TRUE(std::filesystem::exists(home + "/cache/paint.cache"));
    test_remove_tree(home);
  }
}

// A start on a user folder it cannot use says why and runs on nothing
// there, the kept painting untouched. A lock file it cannot open, or a
// read-only folder, does not stop it: the folder itself is locked. As root a
// read-only folder is still writable: that case is left out there.
TEST(InstanceLock, OnlyAFolderThatCannotBeUsedStopsAStart) {
  struct lock_case {
    const char *name;
    std::string (*spoil)(const std::string &home);  // the user folder to start on, "" to leave out
    bool runs;
  };
  const lock_case cases[] = {
      {"lock file is a folder",
       [](const std::string &home) { return mkdir((home + "/brivola.lock").c_str(), 0755) ? "" : home; }, true},
      {"user folder is read-only",
       [](const std::string &home) { return chmod(home.c_str(), 0555) || !access(home.c_str(), W_OK) ? "" : home; },
       true},
      {"user folder is a file",
       [](const std::string &home) { return test_write_file(home + "/user", "") ? home + "/user" : ""; }, false},
  };
  const std::string kept = "a kept painting, byte for byte";
  for (const lock_case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string home = test_make_temp_dir("lock");
    std::filesystem::create_directory(home + "/cache");
    ASSERT_TRUE(test_write_file(home + "/cache/paint.cache", kept));
    std::string user = c.spoil(home);
    if (!user.empty()) {
      int fds[2];
      ASSERT_EQ(pipe(fds), 0);
      pid_t pid =
          program_start({}, program_environment({"SDL_VIDEODRIVER=offscreen", "BRIVOLA_HOME=" + user}), fds[1]);
      close(fds[1]);
      ASSERT_GT(pid, 0);
      int code = program_wait_exit(pid, c.runs ? 2000 : 10000);
      bool ran = code == -1;
      if (ran) {
        kill(pid, SIGTERM);
        code = exit_code_within(pid, 10000);
      }
      std::string said = program_read_all(fds[0]);
      close(fds[0]);
      if (c.runs) {
        EXPECT_TRUE(ran) << "it ended at once with " << code << ": " << said;
        EXPECT_EQ(code, 0);
        EXPECT_EQ(said.find("not starting"), std::string::npos) << said;
      } else {
        EXPECT_EQ(code, 1) << "it ran";
        EXPECT_NE(said.find("brivola: cannot make sure no other copy runs"), std::string::npos) << said;
        EXPECT_NE(said.find(user), std::string::npos) << said;
        EXPECT_EQ(test_read_text(home + "/cache/paint.cache"), kept);
        EXPECT_FALSE(std::filesystem::exists(home + "/config.xml")) << "it ran on the folder";
      }
    }
    chmod(home.c_str(), 0755);
    test_remove_tree(home);
  }
}

// A refused start waits on its box for the user; SIGINT (Ctrl+C), SIGTERM
// and SIGHUP end it at once all the same, and the box goes with it (the
// window system's box may be shown by a process of its own).
TEST(RefusedStart, EachTerminationSignalEndsItAndTakesItsBoxAway) {
  x_server server;
  int error = server.start("320x240");
  if (error == ENOENT) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_EQ(error, 0) << std::strerror(error);
  Display *display = XOpenDisplay(server.name.c_str());
  ASSERT_NE(display, nullptr);
  std::string home = test_make_temp_dir("refused");
  ASSERT_TRUE(test_write_file(home + "/user", ""));  // a user folder that is a file
  test_write_file(home + "/lsan.supp", "leak:libdbus-1.so\n");
  std::vector<std::string> env = program_environment(
      {"DISPLAY=" + server.name, "BRIVOLA_HOME=" + home + "/user",
       "LSAN_OPTIONS=print_suppressions=0:suppressions=" + home + "/lsan.supp"});
  const std::vector<unsigned long> empty = screen_pixels(display);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    void (*found)(int) = signal(SIGHUP, SIG_DFL);
    pid_t pid = program_start({}, env);
    signal(SIGHUP, found);
    ASSERT_GT(pid, 0);
    bool boxed = wait_for([&] { return screen_pixels(display) != empty; }, 10000);
    EXPECT_TRUE(boxed) << "no box showed";
    kill(pid, signal_number);
    EXPECT_EQ(exit_code_within(pid, 5000), 128 + signal_number) << "-1: the signal did not end it";
    EXPECT_TRUE(wait_for([&] { return screen_pixels(display) == empty; }, 5000)) << "the box stayed";
  }
  XCloseDisplay(display);
  test_remove_tree(home);
}
