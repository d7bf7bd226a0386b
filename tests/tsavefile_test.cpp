#include "tsavefile.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_env.h"

namespace {

class SaveFile : public TempDirTest {
 protected:
  // 1 saved, 0 refused at the commit, -1 no stream.
  int write(const std::string &name, const std::string &text, int failed = 0) {
    tsavefile save;
    FILE *f = tsavefile_open(&save, test_wide(name.empty() ? "" : path(name)).c_str());
    if (!f) return -1;
    int ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return tsavefile_commit(&save, failed || !ok);
  }
};

TEST_F(SaveFile, TheTargetChangesOnlyWhenEverythingSucceeded) {
  ASSERT_EQ(write("doc.bin", "first"), 1);
  EXPECT_EQ(test_read_text(path("doc.bin")), "first");
  ASSERT_EQ(write("doc.bin", "second, longer"), 1);
  EXPECT_EQ(test_read_text(path("doc.bin")), "second, longer");

  // The caller saw a write fail; an abort; both leave the old file alone.
  EXPECT_EQ(write("doc.bin", "third", 1), 0);
  tsavefile save;
  FILE *f = tsavefile_open(&save, wpath("doc.bin").c_str());
  ASSERT_NE(f, nullptr);
  std::fputs("never", f);
  tsavefile_abort(&save);
  EXPECT_EQ(test_read_text(path("doc.bin")), "second, longer");
  EXPECT_EQ(test_count_entries(dir), 1u) << "no temporary file is left";

  // A full disk: the stream buffers, so the failure shows only at the flush.
  EXPECT_EQ(test_with_file_limit(10, [&] { return write("doc.bin", std::string(5000, 'x')); }), 0);
  EXPECT_EQ(test_read_text(path("doc.bin")), "second, longer");
  EXPECT_EQ(test_count_entries(dir), 1u);
}

// A save killed mid-write leaves its temporary file; the next save to the
// folder removes it, and only it: one whose writer still runs (the process,
// or a lock it holds) and every other name stay.
TEST_F(SaveFile, TheNextSaveRemovesWhatAKilledSaveLeftAndNothingElse) {
  std::string gone = std::to_string(test_ended_pid()), running = std::to_string(getpid());
  const struct {
    std::string name;
    bool stays;
  } files[] = {
      {"doc.bin.~" + gone + "-0", false},      {"a.b.~1.png.~" + gone + "-12", false},
      {"held.bin.~" + gone + "-1", true},      {"doc.bin.~" + running + "-0", true},
      {"doc.bin.~" + gone + "-", true},        {"doc.bin.~" + gone + "x-1", true},
      {"doc.bin~" + gone + "-1", true},        {"notes.txt", true},
  };
  for (const auto &f : files) ASSERT_TRUE(test_write_file(path(f.name), "left"));
  std::filesystem::create_directory(path("dir.~" + gone + "-2"));
  int held = open(path(files[2].name).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  ASSERT_EQ(write("doc.bin", "saved"), 1);
  close(held);
  for (const auto &f : files) EXPECT_EQ(std::filesystem::exists(path(f.name)), f.stays) << f.name;
  EXPECT_TRUE(std::filesystem::is_directory(path("dir.~" + gone + "-2")));
}

// A name of 255 bytes, the most a folder takes, saves; a save of it killed
// mid-write leaves a temporary file that fits the folder too, cut where a
// character starts, and the next save there removes it as one of its own.
// The shifted name's two-byte characters start one byte later than the
// cyrillic one's: cut only to make room for the mark, one of the three
// non-ASCII temporaries would end inside a character however many digits the
// process id and the serial numbers have (the serial may gain one between two).
TEST_F(SaveFile, NamesOfTheLongestLegalLengthSaveAndAKilledSaveOfThemIsCleanedUp) {
  std::string ascii = std::string(251, 'n') + ".bvf", cyrillic, shifted = "s";
  for (int i = 0; i < 125; i++) cyrillic += "\xD0\xB6";
  shifted += cyrillic.substr(2) + "aa.png";
  cyrillic += "a.png";
  for (const std::string &name : {ascii, cyrillic, shifted}) ASSERT_EQ(write(name, "long"), 1) << name.size();
  EXPECT_EQ(test_read_text(path(cyrillic)), "long");

  pid_t child = fork();
  if (child == 0) {
    tsavefile saves[4];
    const std::string *names[4] = {&ascii, &cyrillic, &shifted, &cyrillic};
    FILE *files[4];
    for (int i = 0; i < 4; i++)
      if (!(files[i] = tsavefile_open(&saves[i], wpath(*names[i]).c_str()))) _exit(1);
    _exit(std::fputs("cut", files[0]) >= 0 && std::fflush(files[0]) == 0 ? 0 : 1);
  }
  int status = 1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0) << "the killed save opened them all";
  int left = 0, shortened = 0;
  for (const auto &entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    size_t mark = name.rfind(".~" + std::to_string(child) + "-");
    if (name == ascii || name == cyrillic || name == shifted || mark == std::string::npos) continue;
    left++;
    const std::string &target = name[0] == 'n' ? ascii : name[0] == 's' ? shifted : cyrillic;
    EXPECT_LE(name.size(), 255u);
    shortened += target != ascii && name.size() < 255;
    EXPECT_EQ(target.compare(0, mark, name, 0, mark), 0) << name;
    EXPECT_NE(uint8_t(target[mark]) & 0xC0, 0x80) << "cut inside a character: " << name;
  }
  EXPECT_EQ(left, 4);
  EXPECT_GE(shortened, 1) << "no cut fell inside a character";
  ASSERT_EQ(write("other.bin", "x"), 1);
  EXPECT_EQ(test_count_entries(dir), 4u);
}

TEST_F(SaveFile, FoldersThatRefuseGiveNoStream) {
  EXPECT_EQ(write("missing/doc.bin", "x"), -1);
  EXPECT_EQ(write("/", "x"), -1);
  EXPECT_EQ(write("", "x"), -1);
  // A target that is a folder: the rename fails and the folder stays.
  std::filesystem::create_directories(path("folder/inside"));
  EXPECT_EQ(write("folder", "x"), 0);
  EXPECT_TRUE(std::filesystem::is_directory(path("folder")));
  EXPECT_EQ(test_count_entries(dir), 1u);
  if (geteuid() != 0) {
    // Root writes anywhere, so a read-only folder only refuses others.
    chmod(dir.c_str(), 0555);
    EXPECT_EQ(write("doc.bin", "x"), -1);
    chmod(dir.c_str(), 0755);
  }
}

// The calls of a save, traced; g_fail_fsync makes the sync fail.
std::vector<std::string> g_calls;
bool g_fail_fsync;
template <typename T>
T traced(const char *name, T result) {
  g_calls.push_back(name);
  return result;
}
const tsavefile_calls k_traced = {
    [](int fd, const void *data, size_t size) { return traced("write", ::write(fd, data, size)); },
    [](FILE *file) { return traced("flush", std::fflush(file)); },
    [](int fd) { return traced("fsync", g_fail_fsync ? -1 : fsync(fd)); },
    [](int fd) { return traced("close", close(fd)); },
    [](const char *from, const char *to) { return traced("rename", std::rename(from, to)); },
};

TEST_F(SaveFile, WriteFlushSyncCloseAndRenameInThatOrderAndAFailedSyncKeepsTheOldFile) {
  ASSERT_EQ(write("doc.bin", "old"), 1);
  tsavefile_set_calls(&k_traced);
  g_calls.clear();
  g_fail_fsync = false;
  EXPECT_EQ(write("doc.bin", "new"), 1);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"write", "flush", "fsync", "close", "rename"}));
  g_fail_fsync = true;
  g_calls.clear();
  EXPECT_EQ(write("doc.bin", "lost"), 0);
  tsavefile_set_calls(nullptr);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"write", "flush", "fsync", "close"}));
  EXPECT_EQ(test_read_text(path("doc.bin")), "new");
  EXPECT_EQ(test_count_entries(dir), 1u);
}

TEST_F(SaveFile, ASaveThroughLinksReplacesTheFileTheyLeadTo) {
  std::filesystem::create_directories(path("real"));
  ASSERT_TRUE(test_write_file(path("real/doc.bin"), "old"));
  ASSERT_EQ(symlink("real/doc.bin", path("near").c_str()), 0);                // relative
  ASSERT_EQ(symlink(path("near").c_str(), path("far").c_str()), 0);          // absolute, to a link
  ASSERT_EQ(symlink("real/new.bin", path("dangling").c_str()), 0);          // to a file not made yet
  ASSERT_EQ(symlink("loop", path("loop").c_str()), 0);
  EXPECT_EQ(write("far", "new"), 1);
  EXPECT_EQ(write("dangling", "made"), 1);
  EXPECT_EQ(write("loop", "x"), -1) << "a loop is not followed for ever";
  for (const char *link : {"near", "far", "dangling"})
    EXPECT_TRUE(std::filesystem::is_symlink(path(link))) << link;
  EXPECT_EQ(test_read_text(path("real/doc.bin")), "new");
  EXPECT_EQ(test_read_text(path("real/new.bin")), "made");
  EXPECT_EQ(test_count_entries(path("real")), 2u) << "the temporary file went beside the target";
}

}  // namespace
