#include "tfile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string ext(const char16_t *path) { return tfile_get_extension(path); }
std::u16string name(const char16_t *path) { return tfile_get_name(path); }

}  // namespace

TEST(TfilePaths, NameAfterAnySeparator) {
  EXPECT_EQ(name(u"/home/me/a.bvf"), u"a.bvf");
  EXPECT_EQ(name(u"\\My Documents\\a.bvf"), u"a.bvf");
  EXPECT_EQ(name(u"c:a.bvf"), u"a.bvf");
  EXPECT_EQ(name(u"plain"), u"plain");
  EXPECT_EQ(name(u"/folder/"), u"");
  const char16_t *path = u"x/y";
  EXPECT_EQ(tfile_get_name(path), path + 2);  // a pointer into the path
}

TEST(TfilePaths, ExtensionStopsAtTheFolder) {
  EXPECT_EQ(ext(u"/old.d/readme"), u"");
  EXPECT_EQ(ext(u"old.d\\readme"), u"");
  EXPECT_EQ(ext(u"a.tar.gz"), u"gz");
  EXPECT_EQ(ext(u"name."), u"");
  EXPECT_EQ(ext(u"/p/Picture.JPEG"), u"JPEG");
  EXPECT_EQ(ext(u""), u"");
  const char16_t *dotted = u"name.";
  EXPECT_EQ(tfile_get_extension(dotted), dotted + 5);  // the text after the dot
  const char16_t *bare = u"dir.x/name";
  EXPECT_EQ(tfile_get_extension(bare), bare + 10);  // the terminator
}

TEST(TfilePaths, AddSeparatorOnlyWhenMissing) {
  char16_t path[16] = u"/tmp";
  EXPECT_EQ(tfile_add_separator(path), 4);
  EXPECT_EQ(std::u16string(path), u"/tmp/");
  EXPECT_EQ(tfile_add_separator(path), 5);
  EXPECT_EQ(std::u16string(path), u"/tmp/");
  char16_t backslashed[16] = u"a\\";
  tfile_add_separator(backslashed);
  EXPECT_EQ(std::u16string(backslashed), u"a\\");
  char16_t empty[4] = u"";
  EXPECT_EQ(tfile_add_separator(empty), 0);
  EXPECT_EQ(std::u16string(empty), u"/");
}

TEST(TfilePaths, SiblingPathAndItsLimit) {
  char16_t dest[TFILE_MAX_JOINED_PATH + 1];
  ASSERT_EQ(tfile_make_sibling_path(dest, u"/home/me/a.bvf", u"b.png"), 1);
  EXPECT_EQ(std::u16string(dest), u"/home/me/b.png");
  tfile_make_sibling_path(dest, u"noFolder.bvf", u"b.png");
  EXPECT_EQ(std::u16string(dest), u"b.png");
  tfile_make_sibling_path(dest, u"c:x", u"y");
  EXPECT_EQ(std::u16string(dest), u"c:y");

  // dest may be the path itself.
  char16_t same[64] = u"/a/b/old.txt";
  tfile_make_sibling_path(same, same, u"new.txt");
  EXPECT_EQ(std::u16string(same), u"/a/b/new.txt");

  std::u16string folder = u"/" + std::u16string(1000, u'f') + u"/";
  std::u16string fits(TFILE_MAX_JOINED_PATH - folder.size(), u'n');
  EXPECT_EQ(tfile_make_sibling_path(dest, (folder + u"x").c_str(), fits.c_str()), 1);
  EXPECT_EQ(std::u16string(dest).size(), size_t(TFILE_MAX_JOINED_PATH));
  EXPECT_EQ(tfile_make_sibling_path(dest, (folder + u"x").c_str(), (fits + u"n").c_str()), 0);
  EXPECT_EQ(dest[0], 0);
}

TEST(TfileDeathTest, NullArgumentsAreFatal) {
  char16_t dest[8];
  EXPECT_EXIT(tfile_get_name(static_cast<const char16_t *>(nullptr)), ::testing::ExitedWithCode(255),
              "code = tfile\\(");
  EXPECT_EXIT(tfile_make_sibling_path(dest, u"a", nullptr), ::testing::ExitedWithCode(255), "code = tfile\\(");
  EXPECT_EXIT(tfile_read_u32(nullptr), ::testing::ExitedWithCode(255), "code = tfile\\(");
}

TEST(TfileWords, LittleEndianAndEndOfFile) {
  char bytes[8] = {};
  FILE *out = fmemopen(bytes, sizeof bytes, "wb");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(tfile_write_u32(out, 0x11223344u), 0x11223344u);
  EXPECT_EQ(tfile_write_u16(out, 0xABCDu), 0xABCDu);
  std::fclose(out);
  EXPECT_EQ((unsigned char)bytes[0], 0x44);
  EXPECT_EQ((unsigned char)bytes[5], 0xAB);

  FILE *in = fmemopen(bytes, 7, "rb");
  EXPECT_EQ(tfile_read_u32(in), 0x11223344u);
  EXPECT_EQ(tfile_read_u16(in), 0xABCDu);
  EXPECT_EQ(tfile_read_u16(in), 0xFFFFFFFFu);  // one byte left
  std::fclose(in);
}
