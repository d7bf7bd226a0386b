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

TEST(SaveDirsWrite, AFolderHolds259CharsWhateverItsUtf8Takes) {
  // 178 Cyrillic chars, 355 bytes: written whole and read back whole.
  std::u16string folder = u"/";
  std::string line = "/";
  for (int i = 0; i < 177; i++) folder += u"\u0416", line += "\xD0\x96";
  EXPECT_EQ(with_list("", [&] { save_dirs_add_folder(folder.c_str()); }), line + "\n");
  with_list(line + "\n", [&] { EXPECT_EQ(list(), folder + u"|"); });

  // 259 units are kept; 260 are no folder of ours: never recorded, and the
  // line skipped whole, never cut into a folder that does not exist.
  for (std::string lead : {"/", "/x"}) {
    std::u16string pairs = test_wide(lead.c_str());
    line = lead;
    for (int i = 0; i < 129; i++) pairs += u"\U0001F600", line += "\xF0\x9F\x98\x80";
    std::u16string kept = lead.size() == 1 ? pairs + u"|" : u"";
    with_list("", [&] {
      save_dirs_add_folder(pairs.c_str());
      EXPECT_EQ(list(), kept) << lead;
    });
    with_list(line + "\n/next\n", [&] { EXPECT_EQ(list(), kept + u"/next|") << lead; });
  }
}
