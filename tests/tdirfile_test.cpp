#include "tdirfile.h"

#include <gtest/gtest.h>

#include <string>

TEST(Tdirfile, WalksInInsertionOrderFromFreshEntries) {
  tdirfile *dfd = tdirfile_new(77);
  ASSERT_NE(dfd, nullptr);
  EXPECT_EQ(tdirfile_first(dfd), nullptr);
  EXPECT_EQ(tdirfile_next(dfd), nullptr);
  for (char16_t c : std::u16string(u"cab")) {
    tdirfile_entry *entry = tdirfile_append(dfd);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->flags == 0 && entry->name[0] == 0);
    entry->name[0] = c;
  }
  std::u16string seen;
  for (tdirfile_entry *e = tdirfile_first(dfd); e; e = tdirfile_next(dfd)) seen += e->name[0];
  EXPECT_EQ(seen, u"cab");
  EXPECT_EQ(tdirfile_next(dfd), nullptr);         // stays at the end
  EXPECT_EQ(tdirfile_first(dfd)->name[0], u'c');  // and starts over
  tdirfile_free(dfd);
}

TEST(Tdirfile, SizeTexts) {
  char16_t text[TDIRFILE_SIZE_TEXT_MAX];
  const struct {
    uint64_t size;
    const char16_t *expected;
  } cases[] = {{0, u"0 B"},           {1023, u"1023 B"},         {1024, u"1.00 KB"},
               {1536, u"1.50 KB"},    {1048575, u"1024.00 KB"},  {1048576, u"1.00 MB"},
               {uint64_t(5) << 40, u"5242880.00 MB"}, {~uint64_t(0), u"17592186044416.00 MB"}};
  for (const auto &c : cases) {
    tdirfile_format_size(c.size, text);
    EXPECT_EQ(std::u16string(text), c.expected) << c.size;
  }
}
