// The recent save folders and "save_dirs.dat".
#include "save_dirs.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "app_test_env.h"

namespace {

// Starts the application with this save_dirs.dat and runs body; returns the
// file the exit wrote.
std::string with_list(const std::string &file, const std::function<void()> &body) {
  app_test_folders folders;
  mkdir(folders.home.c_str(), 0755);
  app_test_write(folders.home + "/save_dirs.dat", file);
  EXPECT_TRUE(app_test_run([&](app_context *) { body(); }));
  return app_test_read(folders.home + "/save_dirs.dat");
}

std::u16string at(int32_t index) {
  const char16_t *folder = save_dirs_get(index);
  return folder ? folder : u"(none)";
}

std::string lines(int from, int count) {
  std::string out;
  for (int i = from; i < from + count; i++) out += "/f" + std::to_string(i) + "\n";
  return out;
}

}  // namespace

TEST(SaveDirsRead, LineEndsAndLimits) {
  std::string written = with_list("/a\r\n/b\n/c", [] {
    EXPECT_EQ(at(0), u"/a");
    EXPECT_EQ(at(1), u"/b");
    EXPECT_EQ(at(2), u"(none)") << "a last line without its line feed is not a folder";
    EXPECT_EQ(at(16), u"(none)");
    EXPECT_EQ(at(-1), u"(none)");
  });
  EXPECT_EQ(written, "/a\n/b\n");
  written = with_list(lines(0, 17), [] { EXPECT_EQ(at(15), u"/f15"); });
  EXPECT_EQ(written, lines(0, 16)) << "the 17th line is dropped";
  written = with_list("/a\n\n/b\n", [] { EXPECT_EQ(at(1), u""); });
  EXPECT_EQ(written, "/a\n") << "an empty line ends the list";
}

TEST(SaveDirsAdd, RecentFirstWithoutRegardToCase) {
  std::string written = with_list("/One\n/Two\n/Three\n", [] {
    save_dirs_add(u"/ONE/picture.bvf");
    EXPECT_EQ(at(0), u"/One") << "already first: nothing changes";
    save_dirs_add(u"/two/x.png");
    EXPECT_EQ(at(0), u"/Two");
    EXPECT_EQ(at(1), u"/One");
    EXPECT_EQ(at(2), u"/Three");
    save_dirs_add(u"/Four/y.jpg");
    EXPECT_EQ(at(0), u"/Four");
    EXPECT_EQ(at(3), u"/Three");
    save_dirs_add(u"nofolder.bvf");
    EXPECT_EQ(at(0), u"/Four");
  });
  EXPECT_EQ(written, "/Four\n/Two\n/One\n/Three\n");
  written = with_list(lines(0, 16), [] {
    save_dirs_add_folder(u"/new");
    EXPECT_EQ(at(0), u"/new");
    EXPECT_EQ(at(15), u"/f14");
  });
  EXPECT_EQ(written, "/new\n" + lines(0, 15)) << "the oldest goes when a 17th is added";
}

TEST(SaveDirsWrite, LongFoldersAreCutWholeCharacters) {
  std::u16string folder = u"/";
  for (int i = 0; i < 200; i++) folder += u"\u753B";  // three bytes in UTF-8
  std::string written = with_list("", [&] { save_dirs_add_folder(folder.c_str()); });
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written.size(), 1u + 86 * 3 + 1) << "258 bytes and the line feed, not 259";
  EXPECT_EQ(written.substr(written.size() - 4), "\xE7\x94\xBB\n");
}
