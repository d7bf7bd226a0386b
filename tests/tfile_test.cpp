#include "tfile.h"

#include <gtest/gtest.h>

#include <string>

TEST(TfilePaths, NameAfterAnySeparatorAndExtensionStopsAtTheFolder) {
  for (auto [path, name] : {std::pair{u"/home/me/a.bvf", u"a.bvf"}, {u"\\My Documents\\a.bvf", u"a.bvf"},
                            {u"c:a.bvf", u"a.bvf"}, {u"plain", u"plain"}, {u"/folder/", u""}})
    EXPECT_EQ(std::u16string(tfile_get_name(path)), name);
  for (auto [path, extension] : {std::pair{u"/old.d/readme", u""}, {u"old.d\\readme", u""}, {u"a.tar.gz", u"gz"},
                                 {u"name.", u""}, {u"/p/Picture.JPEG", u"JPEG"}, {u"", u""}})
    EXPECT_EQ(std::u16string(tfile_get_extension(path)), extension);
  // Pointers into the path: after the last separator, after the dot, or the terminator.
  const char16_t *path = u"x/y", *dotted = u"name.", *bare = u"dir.x/name";
  EXPECT_EQ(tfile_get_name(path), path + 2);
  EXPECT_EQ(tfile_get_extension(dotted), dotted + 5);
  EXPECT_EQ(tfile_get_extension(bare), bare + 10);
}

TEST(TfilePaths, AddSeparatorOnlyWhenMissing) {
  char16_t path[16] = u"/tmp", backslashed[16] = u"a\\", empty[4] = u"";
  EXPECT_EQ(tfile_add_separator(path), 4);
  EXPECT_EQ(tfile_add_separator(path), 5);
  EXPECT_EQ(std::u16string(path), u"/tmp/");
  tfile_add_separator(backslashed);
  EXPECT_EQ(std::u16string(backslashed), u"a\\");
  EXPECT_EQ(tfile_add_separator(empty), 0);
  EXPECT_EQ(std::u16string(empty), u"/");
}

TEST(TfilePaths, SiblingPathAndItsLimit) {
  char16_t dest[TFILE_MAX_JOINED_PATH + 1];
  for (auto [path, sibling] : {std::pair{u"/home/me/a.bvf", u"/home/me/b.png"}, {u"noFolder.bvf", u"b.png"},
                               {u"c:x", u"c:b.png"}}) {
    ASSERT_EQ(tfile_make_sibling_path(dest, path, u"b.png"), 1);
    EXPECT_EQ(std::u16string(dest), sibling);
  }
  char16_t same[64] = u"/a/b/old.txt";  // dest may be the path itself
  tfile_make_sibling_path(same, same, u"new.txt");
  EXPECT_EQ(std::u16string(same), u"/a/b/new.txt");

  std::u16string folder = u"/" + std::u16string(1000, u'f') + u"/";
  std::u16string fits(TFILE_MAX_JOINED_PATH - folder.size(), u'n');
  EXPECT_EQ(tfile_make_sibling_path(dest, (folder + u"x").c_str(), fits.c_str()), 1);
  EXPECT_EQ(std::u16string(dest).size(), size_t(TFILE_MAX_JOINED_PATH));
  EXPECT_EQ(tfile_make_sibling_path(dest, (folder + u"x").c_str(), (fits + u"n").c_str()), 0);
  EXPECT_EQ(dest[0], 0);
}

TEST(TfileWords, LittleEndianAndEndOfFile) {
  char bytes[8] = {};
  FILE *out = fmemopen(bytes, sizeof bytes, "wb");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(tfile_write_u32(out, 0x11223344u), 0x11223344u);
  EXPECT_EQ(tfile_write_u16(out, 0xABCDu), 0xABCDu);
  std::fclose(out);
  EXPECT_EQ(std::string(bytes, 6), "\x44\x33\x22\x11\xCD\xAB");

  FILE *in = fmemopen(bytes, 7, "rb");
  EXPECT_EQ(tfile_read_u32(in), 0x11223344u);
  EXPECT_EQ(tfile_read_u16(in), 0xABCDu);
  EXPECT_EQ(tfile_read_u16(in), 0xFFFFFFFFu);  // one byte left
  std::fclose(in);
  EXPECT_EXIT(tfile_read_u32(nullptr), ::testing::ExitedWithCode(255), "code = tfile\\(");
  char16_t dest[8];
  EXPECT_EXIT(tfile_make_sibling_path(dest, u"a", nullptr), ::testing::ExitedWithCode(255), "code = tfile\\(");
}
