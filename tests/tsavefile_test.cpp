#include "tsavefile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_env.h"

namespace {

std::u16string wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

std::string read_text(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

size_t entries(const std::string &dir) { return size_t(std::distance(std::filesystem::directory_iterator(dir), {})); }

class SaveFile : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override { dir = test_make_temp_dir("savefile"); }
  void TearDown() override { test_remove_tree(dir); }
  int write(const std::string &path, const std::string &text, int failed = 0) {
    tsavefile save;
    FILE *f = tsavefile_open(&save, wide(path).c_str());
    if (!f) return -1;
    int ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return tsavefile_commit(&save, failed || !ok);
  }
};

TEST_F(SaveFile, TheTargetChangesOnlyWhenEverythingSucceeded) {
  std::string target = dir + "/doc.bin";
  ASSERT_EQ(write(target, "first"), 1);
  EXPECT_EQ(read_text(target), "first");
  ASSERT_EQ(write(target, "second, longer"), 1);
  EXPECT_EQ(read_text(target), "second, longer");

  // The caller saw a write fail; an abort; both leave the old file alone.
  EXPECT_EQ(write(target, "third", 1), 0);
  tsavefile save;
  FILE *f = tsavefile_open(&save, wide(target).c_str());
  ASSERT_NE(f, nullptr);
  std::fputs("never", f);
  tsavefile_abort(&save);
  EXPECT_EQ(read_text(target), "second, longer");
  EXPECT_EQ(entries(dir), 1u) << "no temporary file is left";

  // A full disk: the file system refuses to grow a file past 10 bytes; the
  // stream buffers, so the failure shows only at the flush.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = saved;
  tight.rlim_cur = 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  int result = write(target, std::string(5000, 'x'));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(read_text(target), "second, longer");
  EXPECT_EQ(entries(dir), 1u);
}

TEST_F(SaveFile, FoldersThatRefuseGiveNoStream) {
  EXPECT_EQ(write(dir + "/missing/doc.bin", "x"), -1);
  EXPECT_EQ(write(dir + "/", "x"), -1);
  EXPECT_EQ(write("", "x"), -1);
  // A target that is a folder: the rename fails and the folder stays.
  std::filesystem::create_directory(dir + "/folder");
  std::filesystem::create_directory(dir + "/folder/inside");
  EXPECT_EQ(write(dir + "/folder", "x"), 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir + "/folder"));
  EXPECT_EQ(entries(dir), 1u);
  if (geteuid() != 0) {
    // Root writes anywhere, so a read-only folder only refuses others.
    chmod(dir.c_str(), 0555);
    EXPECT_EQ(write(dir + "/doc.bin", "x"), -1);
    chmod(dir.c_str(), 0755);
  }
}

}  // namespace
