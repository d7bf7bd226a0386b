// The recent save folders and "save_dirs.dat".
#include "save_dirs.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "app_test_env.h"
#include "test_env.h"

namespace {

// Starts the application with this save_dirs.dat, runs body and returns the
// file the exit wrote.
std::string with_list(const std::string &file, const std::function<void()> &body) {
  app_test_folders folders;
  mkdir(folders.home.c_str(), 0755);
  test_write_file(folders.home + "/save_dirs.dat", file);
  EXPECT_TRUE(app_test_run([&](app_context *) { body(); }));
  return test_read_text(folders.home + "/save_dirs.dat");
}

// The folders the list holds now, from the first.
std::u16string list() {
  std::u16string out;
  for (int32_t i = 0; save_dirs_get(i); i++) out += std::u16string(save_dirs_get(i)) + u"|";
  return out;
}

std::string lines(int from, int count) {
  std::string out;
  for (int i = from; i < from + count; i++) out += "/f" + std::to_string(i) + "\n";
  return out;
}

}  // namespace

TEST(SaveDirsRead, LineEndsAndLimits) {
  std::string written = with_list("/a\r\n\n\r\n/b\n/c", [] {
    EXPECT_EQ(list(), u"/a|/b|/c|") << "empty lines skipped, a last line without its line feed kept";
    EXPECT_EQ(save_dirs_get(16), nullptr);
    EXPECT_EQ(save_dirs_get(-1), nullptr);
  });
  EXPECT_EQ(written, "/a\n/b\n/c\n");
  EXPECT_EQ(with_list(lines(0, 17), [] { EXPECT_EQ(std::u16string(save_dirs_get(15)), u"/f15"); }), lines(0, 16))
      << "the 17th line is dropped";
  EXPECT_EQ(with_list("\n" + lines(0, 16), [] {}), lines(0, 16)) << "an empty line takes no place";
}

TEST(SaveDirsAdd, RecentFirstWithoutRegardToCase) {
  std::string written = with_list("/One\n/Two\n/Three\n", [] {
    save_dirs_add(u"/ONE/picture.bvf");
    EXPECT_EQ(list(), u"/One|/Two|/Three|") << "already first: nothing changes";
    save_dirs_add(u"/two/x.png");
    EXPECT_EQ(list(), u"/Two|/One|/Three|");
    save_dirs_add(u"/Four/y.jpg");
    save_dirs_add(u"nofolder.bvf");
    EXPECT_EQ(list(), u"/Four|/Two|/One|/Three|");
  });
  EXPECT_EQ(written, "/Four\n/Two\n/One\n/Three\n");
  written = with_list(lines(0, 16), [] {
    save_dirs_add_folder(u"/new");
    EXPECT_EQ(std::u16string(save_dirs_get(0)), u"/new");
    EXPECT_EQ(std::u16string(save_dirs_get(15)), u"/f14");
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

  // Cut to 259 units, added or read, never half of a surrogate pair.
  for (std::string lead : {"/", "/x"}) {
    std::u16string pairs = test_wide(lead.c_str());
    std::string line = lead;
    for (int i = 0; i < 140; i++) pairs += u"\U0001F600", line += "\xF0\x9F\x98\x80";
    auto check = [&] {
      std::u16string kept = save_dirs_get(0);
      EXPECT_EQ(kept, pairs.substr(0, lead.size() == 1 ? 259 : 258)) << lead;
    };
    with_list("", [&] {
      save_dirs_add_folder(pairs.c_str());
      check();
    });
    with_list(line + "\n", check);
  }
}
