// paint_search: which files of a folder are documents, what their entries
// hold, and how far the search goes.
#include "paint_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "port_fs.h"
#include "tdirfile.h"
#include "test_env.h"

namespace {

class PaintSearchTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    for (const char *name : {"a.bvf", "b.BVF", "c.Bvf", "d.bvf.bak", "bvf", "e.bvf"}) touch(name, 3);
    mkdir(path("folder.bvf").c_str(), 0700);
    mkdir(path("sub").c_str(), 0700);
    touch("sub/f.bvf", 1);
    mkfifo(path("pipe.bvf").c_str(), 0600);
  }
  void touch(const std::string &name, size_t size) { ASSERT_TRUE(test_write_file(path(name), std::string(size, 'x'))); }

  // The full paths found, in order; the count starts at `start`.
  std::vector<std::string> search(const std::string &folder, int recursive, int32_t start = 0, int *listed = nullptr) {
    tdirfile *result = tdirfile_new(0);
    int32_t count = start;
    int ok = paint_search(test_wide(folder).c_str(), result, &count, recursive);
    if (listed) *listed = ok;
    std::vector<std::string> found;
    for (tdirfile_entry *e = tdirfile_first(result); e; e = tdirfile_next(result)) found.push_back(test_utf8(e->name));
    EXPECT_EQ(count - start, int32_t(found.size()));
    tdirfile_free(result);
    return found;
  }
};

}  // namespace

// Only a file ending in ".bvf" in lower case is a document: not ".BVF" or
// ".Bvf", not a folder, a pipe or a name that only ends in "bvf"; with or
// without the separator after the folder the paths come out the same.
TEST_F(PaintSearchTest, OnlyLowerCaseBvfFilesAreListedWithTheirFullPaths) {
  std::vector<std::string> expected = {path("a.bvf"), path("e.bvf")};
  EXPECT_EQ(search(dir, 0), expected);
  EXPECT_EQ(search(dir + "/", 0), expected);
  EXPECT_EQ(search(dir, 0, 7), expected) << "the count is raised from where it stood";
}

TEST_F(PaintSearchTest, RecursiveSearchDescendsIntoSubfolders) {
  std::vector<std::string> expected = {path("a.bvf"), path("e.bvf"), path("sub/f.bvf")};
  EXPECT_EQ(search(dir, 1), expected);
}

// A folder that cannot be listed adds nothing; the empty folder is none.
TEST_F(PaintSearchTest, AFolderThatCannotBeListedAddsNothing) {
  for (const std::string &folder : {path("missing"), std::string()}) {
    int listed = -1;
    EXPECT_TRUE(search(folder, 1, 0, &listed).empty()) << folder;
    EXPECT_EQ(listed, 0);
  }
}

// The longest name (255 bytes) and the longest path the system takes are
// found whole: a cut path would name another file.
TEST_F(PaintSearchTest, TheLongestNamesAndPathsAreFoundWhole) {
  std::string named = path(std::string(251, 'n') + ".bvf");
  ASSERT_TRUE(test_write_file(named, std::string("x")));
  EXPECT_EQ(search(dir, 0), (std::vector<std::string>{path("a.bvf"), path("e.bvf"), named}));
  std::string deep = dir;
  while (deep.size() + 101 <= size_t(PORT_FS_PATH_CHARS) - 102) {
    deep += "/" + std::string(100, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  std::string longest = deep + "/" + std::string(PORT_FS_PATH_CHARS - 6 - deep.size(), 'n') + ".bvf";
  ASSERT_EQ(longest.size(), size_t(PORT_FS_PATH_CHARS - 1));
  ASSERT_TRUE(test_write_file(longest, std::string("x")));
  EXPECT_EQ(search(deep, 0), std::vector<std::string>{longest});
}
