#include "port_fs.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <string>
#include <vector>

#include "port_log.h"
#include "tbitmap.h"
#include "tdirfile.h"
#include "test_env.h"
#include "tsavefile.h"

namespace {

struct listed {
  std::u16string name;
  uint32_t flags;
  uint64_t size, time;
};

std::vector<listed> entries_of(tdirfile *dfd) {
  std::vector<listed> out;
  for (tdirfile_entry *e = tdirfile_first(dfd); e; e = tdirfile_next(dfd))
    out.push_back({e->name, e->flags, e->size, e->last_write_time});
  return out;
}

class PortFsTree : public TempDirTest {
 protected:
  void TearDown() override {
    chmod(path("readonly.bin").c_str(), 0644);
    TempDirTest::TearDown();
  }
};

}  // namespace

TEST_F(PortFsTree, ListsSortedWithFlagsAndWithoutDotEntries) {
  for (const char *folder : {"Beta", "alpha", ".hidden"}) mkdir(path(folder).c_str(), 0755);
  for (const char *file : {"b.txt", "A.txt", "c.TXT", ".dotfile", "\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0.png"})
    test_write_file(path(file), std::string("hello"));
  test_write_file(path("readonly.bin"), std::string("1234567"));
  chmod(path("readonly.bin").c_str(), 0444);
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0644), 0);
  ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
  // 2001-09-09 01:46:40 UTC and a quarter second.
  struct timespec times[2] = {{1000000000, 250000000}, {1000000000, 250000000}};
  utimensat(AT_FDCWD, path("b.txt").c_str(), times, 0);

  tdirfile *folders = tdirfile_new(0), *files = tdirfile_new(0);
  EXPECT_EQ(port_fs_list_dir(test_wide(dir).c_str(), folders, files), 11);
  std::vector<listed> dirs = entries_of(folders), plain = entries_of(files);
  std::vector<std::pair<std::u16string, uint32_t>> found;
  for (const listed &e : dirs) found.push_back({e.name, e.flags});
  const uint32_t d = TDIRFILE_DIRECTORY;
  EXPECT_EQ(found, (std::vector<std::pair<std::u16string, uint32_t>>{{u".hidden", d | TDIRFILE_HIDDEN}, {u"alpha", d}, {u"Beta", d}}));
  std::vector<std::u16string> names;
  for (const listed &e : plain) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u".dotfile", u"A.txt", u"b.txt", u"c.TXT", u"dangling", u"pipe",
                                                  u"readonly.bin", u"Ёлка.png"}));
  ASSERT_EQ(plain.size(), 8u);
  EXPECT_EQ(plain[0].flags, uint32_t(TDIRFILE_HIDDEN));
  EXPECT_EQ(std::make_tuple(plain[2].size, plain[2].flags, plain[2].time),
            std::make_tuple(uint64_t(5), 0u, 116444736000000000ull + 1000000000ull * 10000000 + 2500000));
  EXPECT_EQ(plain[5].flags, uint32_t(TDIRFILE_SYSTEM));
  EXPECT_EQ(std::make_pair(plain[6].flags, plain[6].size), std::make_pair(uint32_t(TDIRFILE_READONLY), uint64_t(7)));
  tdirfile_free(folders);
  tdirfile_free(files);
}

TEST_F(PortFsTree, AMissingFolderIsMinusOneAndAnEmptyOneZero) {
  tdirfile *folders = tdirfile_new(0), *files = tdirfile_new(0);
  EXPECT_EQ(port_fs_list_dir(wpath("none").c_str(), folders, files), -1);
  EXPECT_EQ(port_fs_list_dir(test_wide(dir + "/").c_str(), folders, files), 0);
  EXPECT_EQ(tdirfile_first(folders), nullptr);
  tdirfile_free(folders);
  tdirfile_free(files);
}

TEST_F(PortFsTree, ExistsMakeDirAndDelete) {
  std::u16string folder = wpath("Папка");
  std::u16string file = folder + u"/画.bvf";
  EXPECT_FALSE(port_fs_exists(folder.c_str()));
  EXPECT_EQ(port_fs_make_dir(folder.c_str()), 1);
  EXPECT_EQ(port_fs_make_dir(folder.c_str()), 1);  // already there
  EXPECT_TRUE(port_fs_is_directory(folder.c_str()));
  EXPECT_EQ(port_fs_make_dir((folder + u"/a/b").c_str()), 0);  // no parents made

  FILE *out = port_fs_open(file.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fclose(out);
  EXPECT_TRUE(port_fs_exists(file.c_str()));
  EXPECT_FALSE(port_fs_is_directory(file.c_str()));
  EXPECT_EQ(port_fs_make_dir(file.c_str()), 0);  // a file is not a folder
  EXPECT_EQ(port_fs_delete_file(folder.c_str()), 0);
  EXPECT_EQ(port_fs_delete_file(file.c_str()), 1);
  EXPECT_FALSE(port_fs_exists(file.c_str()));
  EXPECT_EQ(port_fs_delete_file(file.c_str()), 0);
  EXPECT_FALSE(port_fs_exists(u""));
}

// A name is bytes: whatever they are, the name listed opens and saves over
// that file, never one of a name made up from it.
TEST_F(PortFsTree, NamesThatAreNotTextListOpenAndSaveOverAsTheirBytes) {
  const std::string named[] = {
      "bad\xFF\xFEname.bmp", "cut\xE2\x82.bmp", "half\xED\xA0\x80.bmp",
      // overlong forms of '/': as text they would name a file in a folder "long"
      "long\xC0\xAF.bmp", "long\xE0\x80\xAF.bmp", "long\xF0\x80\x80\xAF.bmp",
      "\xEF\x9E\x80\xEF\x9F\xBF.bmp",  // text that reads as the characters bytes cross as
      "ok\xF0\x9F\x98\x80\xD0\x81.bmp",
  };
  tbitmap picture;
  ASSERT_TRUE(tbitmap_init(&picture, 3, 2, 16));
  for (const std::string &name : named) ASSERT_TRUE(test_write_file(path(name), name));
  tdirfile *folders = tdirfile_new(0), *files = tdirfile_new(0);
  ASSERT_EQ(port_fs_list_dir(test_wide(dir).c_str(), folders, files), 8);
  std::vector<std::string> listed_bytes;
  for (tdirfile_entry *e = tdirfile_first(files); e; e = tdirfile_next(files)) {
    std::u16string full = port_fs_wide_path(dir) + u"/" + e->name;
    std::string bytes = port_fs_native_path(e->name);
    listed_bytes.push_back(bytes);
    EXPECT_EQ(port_fs_native_path(full.c_str()), path(bytes));
    int64_t size = 0;
    uint8_t *data = port_fs_read_file(full.c_str(), -1, &size);
    ASSERT_NE(data, nullptr) << bytes;
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data), size_t(size)), bytes);
    std::free(data);
    EXPECT_EQ(tbitmap_save_bmp(&picture, full.c_str()), 1) << bytes;
    tbitmap loaded;
    EXPECT_EQ(tbitmap_load_bmp(&loaded, full.c_str()), 1) << bytes;
    tbitmap_deinit(&loaded);
  }
  std::vector<std::string> made(std::begin(named), std::end(named));
  std::sort(listed_bytes.begin(), listed_bytes.end());
  std::sort(made.begin(), made.end());
  EXPECT_EQ(listed_bytes, made) << "a listed name is not the bytes it was made with";
  EXPECT_EQ(test_count_entries(dir), 8u) << "every save went over its own file";
  std::u16string shown = tdirfile_first(files)->name;
  EXPECT_EQ(shown, u"bad\uF7FF\uF7FEname.bmp");
  tbitmap_deinit(&picture);
  tdirfile_free(folders);
  tdirfile_free(files);
}

TEST(PortFsDrives, OnlyTheRoot) {
  uint8_t drives[PORT_FS_DRIVE_COUNT];
  std::fill(drives, drives + PORT_FS_DRIVE_COUNT, 7);
  EXPECT_EQ(port_fs_get_drives(drives), 1);
  for (int i = 0; i < PORT_FS_DRIVE_COUNT; i++) EXPECT_EQ(drives[i], i == PORT_FS_ROOT_DRIVE ? 1 : 0);

  port_fs_drive_info info = {};
  EXPECT_EQ(port_fs_get_drive_info(u'/', &info), 1);
  EXPECT_EQ(info.type, uint32_t(PORT_FS_DRIVE_FIXED));
  EXPECT_TRUE(info.total_bytes > 0 && info.free_bytes <= info.total_bytes);
  EXPECT_EQ(port_fs_get_drive_info(u'C', &info), 0);
}

TEST(PortFsLanguage, LocaleNamesToIdsAndNumbers) {
  struct {
    const char *locale;
    uint16_t id;
    int number;
  } cases[] = {
      // The program's three languages; a region the table lacks falls back to
      // the language; codeset and modifier are dropped unless the modifier
      // names a script.
      {"ru_RU.UTF-8", 0x0419, 16}, {"ru_UA.UTF-8", 0x0019, 16}, {"zh_CN.UTF-8", 0x0804, 31},
      {"zh_TW.Big5", 0x0404, 29},  {"C.UTF-8", 0x0409, 10},     {"POSIX", 0x0409, 10},
      {"de_AT@euro", 0x0C07, 22},  {"sr_RS@latin", 0x081A, 79}, {"eo.UTF-8", 0x0000, 99},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(port_fs_lang_id_of_locale(c.locale), c.id) << c.locale;
    EXPECT_EQ(port_fs_language_of_lang_id(port_fs_lang_id_of_locale(c.locale)), c.number) << c.locale;
  }
  // Ids no locale name gives, and one the table lacks.
  for (auto [id, number] : {std::pair{0x1407, 3}, {0x000C, 24}, {0x4001, 37}, {0x040A, 4}, {0x7777, 99}})
    EXPECT_EQ(port_fs_language_of_lang_id(uint16_t(id)), number) << std::hex << id;
}

TEST(PortFsLanguage, VariablesInPosixOrder) {
  auto set = [](const char *all, const char *messages, const char *lang) {
    for (auto [name, value] : {std::pair{"LC_ALL", all}, {"LC_MESSAGES", messages}, {"LANG", lang}}) {
      if (value) setenv(name, value, 1);
      else unsetenv(name);
    }
  };
  set(nullptr, nullptr, nullptr);
  EXPECT_EQ(port_fs_get_lang_id(), 0x0409);
  set("", "ru_RU.UTF-8", "en_US.UTF-8");
  EXPECT_EQ(port_fs_get_language(), 16);
  set("zh_CN.UTF-8", "ru_RU.UTF-8", "en_US.UTF-8");
  EXPECT_EQ(port_fs_get_language(), 31);
  set(nullptr, nullptr, "be_BY.UTF-8");
  EXPECT_EQ(port_fs_get_language(), 40);
  set(nullptr, nullptr, nullptr);
}
