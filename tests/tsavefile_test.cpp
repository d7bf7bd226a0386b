#include "tsavefile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

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

}  // namespace
