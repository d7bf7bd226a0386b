// The tests' own support: a test program that hangs ends with everything it
// started, so that ctest, which reads the program's output to its end, ends
// too; the little-endian helpers never reach past the bytes they are given.
#include <fcntl.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "program_run.h"
#include "test_env.h"
#include "test_watchdog.h"

namespace {

// Whether process pid runs (a zombie has ended).
bool runs(pid_t pid) {
  std::string stat = test_read_text("/proc/" + std::to_string(pid) + "/stat");
  size_t name_end = stat.rfind(')');
  return name_end != std::string::npos && name_end + 2 < stat.size() && stat[name_end + 2] != 'Z';
}

// The id written after tag in text; 0 when there is none.
pid_t id_after(const std::string &text, const std::string &tag) {
  size_t at = text.find(tag);
  return at == std::string::npos ? 0 : pid_t(std::atol(text.c_str() + at + tag.size()));
}

// The test process forked from this one: it starts the program, and when it
// hangs a shell too, which starts a process of its own (as the program's
// message box would), all writing to out; it says their ids there. Then it
// hangs until its watchdog ends it, or is killed at once. Its own stderr,
// where the watchdog writes, is out too.
[[noreturn]] void end_with_children(int out, const std::string &home, bool hangs) {
  if (dup2(out, 2) != 2) _exit(3);
  pid_t program =
      program_start({}, program_environment({"SDL_VIDEODRIVER=offscreen", "BRIVOLA_HOME=" + home}), out);
  pid_t shell = !hangs ? -1
                       : program_spawn({"sh", "-c", "sleep 600 & echo \"grandchild $!\"; exec sleep 600"}, nullptr,
                                       {{1, out}, {2, out}});
  std::string ids = "program " + std::to_string(program) + " shell " + std::to_string(shell) + "\n";
  if (program <= 0 || (hangs && shell <= 0) || !program_wait_until_locked(home, 10000) ||
      write(out, ids.data(), ids.size()) != ssize_t(ids.size()))
    _exit(3);
  if (!hangs) kill(getpid(), SIGKILL);
  test_watchdog_start(1);
  for (;;) pause();
}

}  // namespace

// A test process that hangs ends through its watchdog, which says so; one
// that crashes (or that ctest kills) ends at once. Either way nothing it
// started is left to hold the pipe, and whoever reads it (ctest) sees its
// end.
TEST(Watchdog, ATestProgramThatHangsOrCrashesEndsWithWhatItStarted) {
  for (bool hangs : {true, false}) {
    SCOPED_TRACE(hangs ? "hangs" : "crashes");
    std::string home = test_make_temp_dir("watchdog");
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    pid_t test = fork();
    ASSERT_GE(test, 0);
    if (test == 0) end_with_children(fds[1], home, hangs);
    close(fds[1]);
    std::string said;
    bool ended = false;
    for (int waited = 0; !ended && waited < 20000; waited += 100) {
      pollfd ready = {fds[0], POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      char piece[512];
      ssize_t got = read(fds[0], piece, sizeof piece);
      ended = got <= 0;
      if (got > 0) said.append(piece, size_t(got));
    }
    close(fds[0]);
    int status = 0;
    EXPECT_EQ(waitpid(test, &status, 0), test);
    if (hangs) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 124) << "status " << status << ": " << said;
      EXPECT_NE(said.find("ended as hung"), std::string::npos) << said;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status << ": " << said;
    }
    EXPECT_TRUE(ended) << "something still holds the pipe: " << said;
    std::vector<pid_t> started = {id_after(said, "program ")};
    if (hangs) started.insert(started.end(), {id_after(said, "shell "), id_after(said, "grandchild ")});
    for (pid_t pid : started) {
      ASSERT_GT(pid, 0) << said;
      for (int waited = 0; runs(pid) && waited < 5000; waited += 10) program_pause_ms(10);
      EXPECT_FALSE(runs(pid)) << pid << " still runs: " << said;
      // Only one that still holds the pipe is surely the one started.
      if (!ended && runs(pid)) kill(pid, SIGKILL);
    }
    test_remove_tree(home);
  }
}

// A field that does not fit fails the test, reads as 0 and writes nothing,
// an offset near the largest size too (where at + 4 wraps around).
TEST(TestBytes, AFieldBeyondTheBytesFailsTheTestAndIsNeitherReadNorWritten) {
  test_bytes b = {1, 2, 3, 4, 5, 6, 7, 8};
  const test_bytes before = b;
  EXPECT_EQ(test_le32(b, 4), 0x08070605u);
  for (size_t at : {size_t(5), size_t(7), size_t(8), size_t(9), SIZE_MAX - 1}) {
    SCOPED_TRACE(at);
    uint32_t read = 1;
    EXPECT_NONFATAL_FAILURE(read = test_le32(b, at), "lies beyond the 8 bytes");
    EXPECT_EQ(read, 0u);
    EXPECT_NONFATAL_FAILURE(test_put32(b, at, ~0u), "lies beyond the 8 bytes");
    if (at != 5) EXPECT_NONFATAL_FAILURE(test_put16(b, at, ~0u), "lies beyond the 8 bytes");
    EXPECT_EQ(b, before);
  }
}
