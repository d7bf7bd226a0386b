#include "tresource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_bitmap.h"
#include "test_env.h"

namespace {

using bytes = test_bytes;

void put32(bytes *out, uint32_t v) { out->insert(out->end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }

// Builds resource files record by record, so that tests can make them lie.
struct builder {
  std::vector<std::pair<uint32_t, uint32_t>> entries;
  bytes data;

  void section(uint32_t type) { entries.push_back({type, uint32_t(data.size())}); }
  void record(uint32_t id, const bytes &body) {
    put32(&data, id);
    put32(&data, uint32_t(body.size()));
    data.insert(data.end(), body.begin(), body.end());
  }
  void text(uint32_t id, const std::u16string &t) {
    bytes body;
    for (char16_t c : t + u'\0') body.push_back(uint8_t(c)), body.push_back(uint8_t(c >> 8));
    while (body.size() % 4) body.push_back(0);
    record(id, body);
  }
  bytes file() const {
    bytes out;
    put32(&out, TRESOURCE_MAGIC);
    put32(&out, TRESOURCE_VERSION);
    put32(&out, uint32_t(16 + 8 * entries.size()));
    put32(&out, uint32_t(data.size()));
    for (auto [type, offset] : entries) put32(&out, type), put32(&out, offset);
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }
};

// A stored bitmap record as the packer writes it; 8 bits and below a grey
// ramp palette, 24 bits a colour picture. Pixel (x, y) from the top holds
// x * 16 + y, repeated in each byte.
bytes bitmap_body(int width, int height, int bpp) {
  uint32_t stride = ((uint32_t(bpp) * width + 31) >> 5) * 4;
  bytes b;
  put32(&b, 0), put32(&b, 0), put32(&b, stride);
  for (int i = 0; i < 10; i++) put32(&b, 0);
  put32(&b, 40), put32(&b, uint32_t(width)), put32(&b, uint32_t(height));
  b.push_back(1), b.push_back(0), b.push_back(uint8_t(bpp)), b.push_back(0);
  put32(&b, 0), put32(&b, stride * height);
  for (int i = 0; i < 5; i++) put32(&b, 0);
  if (bpp <= 8)
    for (uint32_t i = 0; i < (1u << bpp); i++) put32(&b, i | i << 8 | i << 16);
  size_t rows = b.size();
  b.resize(rows + stride * height, 0);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++)
      for (int k = 0; k < bpp / 8; k++) b[rows + size_t(height - 1 - y) * stride + x * (bpp / 8) + k] = uint8_t(x * 16 + y);
  return b;
}

class Resources : public TempDirTest {
 protected:
  void TearDown() override {
    tresource_unload_all();
    TempDirTest::TearDown();
  }
  std::u16string save(const std::string &name, const bytes &content) {
    test_write_file(path(name), content);
    return wpath(name);
  }
  int load(const std::string &name, const bytes &content) { return tresource_load(save(name, content).c_str()); }
};

std::u16string text(const char16_t *t) { return t ? t : u"<null>"; }

}  // namespace

TEST_F(Resources, LanguageFileDecidesItsWholeRange) {
  builder program, toolkit, language;
  program.section(TRESOURCE_SECTION_STRINGS);
  for (uint32_t id = 25001; id <= 25240; id++) program.text(id, u"program " + std::u16string(1, char16_t(id)));
  toolkit.section(TRESOURCE_SECTION_STRINGS);
  toolkit.text(2, u"OK");
  toolkit.text(29, u"Up");
  language.section(TRESOURCE_SECTION_STRINGS);
  language.text(25001, u"Бривола");
  language.text(25002, u"Ошибка");
  language.text(25240, u"Нет сети");

  ASSERT_EQ(load("brivo.tres", program.file()), 1);
  ASSERT_EQ(load("gui.tres", toolkit.file()), 2);
  const std::u16string program_text = u"program " + std::u16string(1, char16_t(25100));
  EXPECT_EQ(text(tresource_get_string(25100, u"default")), program_text);
  ASSERT_EQ(load("ru_ru.lang", language.file()), 3);

  EXPECT_EQ(text(tresource_get_string(25002, u"Error")), u"Ошибка");
  EXPECT_EQ(text(tresource_get_string(25240, u"No available network")), u"Нет сети");
  // Inside the language file's range but missing from it: the English default
  // written in the code, not the program file's text.
  EXPECT_EQ(text(tresource_get_string(25100, u"Redo")), u"Redo");
  EXPECT_EQ(tresource_find_string(25100), nullptr);
  EXPECT_EQ(text(tresource_get_string(29, u"Up?")), u"Up");       // another range
  EXPECT_EQ(text(tresource_get_string(30000, u"none")), u"none");  // no range at all

  tresource_unload(3);
  EXPECT_EQ(text(tresource_get_string(25100, u"Redo")), program_text);
}

TEST_F(Resources, SlotsAndTheTable) {
  builder b;
  b.section(TRESOURCE_SECTION_STRINGS);
  b.text(1, u"one");
  std::u16string path = save("one.tres", b.file()), missing = path + u".missing";

  EXPECT_EQ(tresource_get_table(), nullptr);
  EXPECT_EQ(tresource_load(missing.c_str()), 0);
  EXPECT_EQ(tresource_get_table(), nullptr);  // a failed first load leaves no table

  for (int i = 1; i <= 3; i++) EXPECT_EQ(tresource_load(path.c_str()), i);
  tresource_unload(2);
  tresource_unload(2);  // an empty slot: nothing happens
  EXPECT_EQ(tresource_load(missing.c_str()), 0);
  EXPECT_EQ(tresource_load(path.c_str()), 2);  // the failed load took no slot
  tresource_unload(1), tresource_unload(2);
  EXPECT_NE(tresource_get_table(), nullptr);
  tresource_unload(3);
  EXPECT_EQ(tresource_get_table(), nullptr);  // the last file took the table with it
  EXPECT_EQ(tresource_find_string(1), nullptr);

  for (int i = 1; i <= TRESOURCE_MAX_FILES; i++) EXPECT_EQ(tresource_load(path.c_str()), i);
  EXPECT_EQ(tresource_load(path.c_str()), 0);
  tresource_unload_all();
  EXPECT_EQ(tresource_get_table(), nullptr);
  EXPECT_EQ(tresource_load(path.c_str()), 1);
}

TEST_F(Resources, UnloadIdOutOfRangeIsFatal) {
  EXPECT_EXIT(tresource_unload(0), ::testing::ExitedWithCode(255), "code = tresource\\(");
  EXPECT_EXIT(tresource_unload(17), ::testing::ExitedWithCode(255), "code = tresource\\(");
}

TEST_F(Resources, BitmapRecordsBecomeViewsOwnedByTheFile) {
  builder b;
  b.section(TRESOURCE_SECTION_BITMAPS);
  b.record(15100, bitmap_body(3, 2, 24));
  b.record(15101, bitmap_body(3, 2, 8));
  ASSERT_EQ(load("gui.tmbm", b.file()), 1);

  tbitmap *picture = tresource_get_bitmap(15100);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(tresource_get_bitmap(15100), picture);  // built once
  EXPECT_EQ(test_shape(picture), (std::vector<int32_t>{3, 2, 24, 0}));
  EXPECT_NE(picture->_view, 0u);
  EXPECT_EQ(picture->_red_mask, 0xFF0000u);
  const tresource_file *file = tresource_get_table()[0];
  EXPECT_GE(picture->_pixels, file->data);
  EXPECT_LT(picture->_pixels, file->data + file->data_size);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 3; x++) EXPECT_EQ(*tbitmap_get_pixel_ptr(picture, x, y), x * 16 + y);

  tbitmap *mask = tresource_get_bitmap(15101);
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(tbitmap_get_bpp(mask), 8);
  EXPECT_EQ(mask->_info[40 + 4 * 200], 200);  // the palette where tbitmap reads it
  EXPECT_EQ(*tbitmap_get_pixel_ptr(mask, 2, 1), 2 * 16 + 1);
  EXPECT_EQ(tresource_get_bitmap(15102), nullptr);

  // A copy is the caller's own; releasing a view record frees nothing.
  bitmap_ptr copy(tbitmap_new_copy(mask));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->_view, 0u);
  EXPECT_EQ(*tbitmap_get_pixel_ptr(copy.get(), 2, 1), 2 * 16 + 1);
  EXPECT_EQ(copy->_info[40 + 4 * 200], 200);
  tbitmap shallow = *mask;
  tbitmap_deinit(&shallow);
  EXPECT_EQ(*tbitmap_get_pixel_ptr(mask, 0, 0), 0);
}

TEST_F(Resources, BadRecordsAreAbsentAndStillDecide) {
  builder good;
  good.section(TRESOURCE_SECTION_BITMAPS);
  good.record(7, bitmap_body(4, 4, 24));
  ASSERT_EQ(load("good.tmbm", good.file()), 1);
  ASSERT_NE(tresource_get_bitmap(7), nullptr);

  struct {
    const char *what;
    size_t offset;  // into the record body
    uint32_t value;
  } lies[] = {
      {"stride", 8, 8},            {"header size", 52, 41},    {"width 0", 56, 0},
      {"height 0", 60, 0},         {"huge height", 60, 40000}, {"depth 7", 66, 7},
      {"bit fields at 24", 68, 3}, {"image size", 72, 99},     {"colours used", 84, 2},
  };
  builder bad;
  bad.section(TRESOURCE_SECTION_BITMAPS);
  uint32_t id = 1;
  for (const auto &lie : lies) {
    bytes body = bitmap_body(4, 4, 24);
    if (lie.offset == 66)
      body[66] = uint8_t(lie.value);
    else
      test_put32(body, lie.offset, lie.value);
    bad.record(id++, body);
  }
  bytes short_body = bitmap_body(4, 4, 24);
  short_body.resize(short_body.size() - 4);
  bad.record(id++, short_body);             // 10: rows cut short
  bad.record(id++, bitmap_body(1, 1, 24));  // 11: sound
  bad.record(id++, bytes(95, 0));           // 12: shorter than the stored record
  for (int bpp : {8, 1}) {                  // 13, 14: palettes cut short, the rows' bytes still there
    bytes cut = bitmap_body(4, 4, bpp);
    cut.resize(cut.size() - 4);
    bad.record(id++, cut);
  }
  ASSERT_EQ(load("bad.tmbm", bad.file()), 2);
  for (int32_t i = 1; i <= 14; i++) EXPECT_EQ(tresource_get_bitmap(i) != nullptr, i == 11) << "record " << i;
  // Id 7 lies in the bad file's range: that file decides, and lacks it.
  EXPECT_EQ(tresource_get_bitmap(7), nullptr);

  builder texts;
  texts.section(TRESOURCE_SECTION_STRINGS);
  texts.record(1, {'A', 0, 0, 0, 0});  // odd length: the next record's text lies at an odd offset
  texts.record(2, {'B', 0, 0, 0, 0});  // misaligned: absent
  texts.record(3, {'C', 0, 0, 0});     // aligned again
  texts.record(4, {'E', 0, 'F', 0});   // no terminator inside the record: absent
  texts.record(0x10000, {'G', 0, 0, 0});  // the id's low bytes: a NUL right behind record 4
  ASSERT_EQ(load("texts.tres", texts.file()), 3);
  std::vector<std::u16string> found;
  for (uint32_t i = 1; i <= 4; i++) found.push_back(text(tresource_find_string(i)));
  EXPECT_EQ(found, (std::vector<std::u16string>{u"A", u"<null>", u"C", u"<null>"}));
}

TEST_F(Resources, SectionTableAndRangeRules) {
  builder b;
  b.entries.push_back({7, 0});  // unknown types are skipped
  b.section(TRESOURCE_SECTION_STRINGS);
  b.text(1, u"first strings");
  b.section(99);
  b.text(2, u"still strings: 99 does not end a section");
  b.section(TRESOURCE_SECTION_BITMAPS);
  b.record(3, bitmap_body(2, 2, 24));
  b.section(TRESOURCE_SECTION_STRINGS);  // a later strings entry replaces the first
  b.text(4, u"second strings");
  ASSERT_EQ(load("table.tres", b.file()), 1);
  EXPECT_EQ(text(tresource_find_string(4)), u"second strings");
  EXPECT_EQ(tresource_find_string(1), nullptr);
  EXPECT_NE(tresource_get_bitmap(3), nullptr);
  EXPECT_EQ(tresource_get_table()[0]->strings_first_id, 4u);

  EXPECT_EQ(load("empty.tmbm", builder().file()), 2) << "no sections at all is a valid, empty file";

  // The range comes from the first and last records, not the smallest and largest ids.
  builder order;
  order.section(TRESOURCE_SECTION_STRINGS);
  order.text(5, u"five");
  order.text(20, u"twenty");
  order.text(10, u"ten");
  ASSERT_EQ(load("order.tres", order.file()), 3);
  EXPECT_EQ(text(tresource_find_string(5)) + text(tresource_find_string(10)) + text(tresource_find_string(20)),
            u"fiveten<null>");  // 20 lies beyond the range 5..10
}

// A section table that does not add up leaves a section empty; the file and
// its other section load. A bitmap record off a 4-byte boundary is used.
TEST_F(Resources, SectionsThatDoNotFitAreEmptyAndOddRecordsAreUsed) {
  builder b;
  b.section(TRESOURCE_SECTION_STRINGS);
  b.text(1, u"text");
  b.record(2, {1, 2, 3, 4, 5, 6});  // the bitmap section starts 2 bytes off a word
  b.section(TRESOURCE_SECTION_BITMAPS);
  b.record(3, bitmap_body(3, 2, 24));
  b.record(4, bitmap_body(3, 2, 16));
  const bytes whole = b.file();
  ASSERT_EQ(load("whole.tres", whole), 1);
  for (int32_t id : {3, 4}) {
    tbitmap *picture = tresource_get_bitmap(id);
    ASSERT_NE(picture, nullptr) << id;
    EXPECT_EQ(uintptr_t(picture->_pixels) % 4, 0u);
    EXPECT_EQ(*tbitmap_get_pixel_ptr(picture, 2, 1), 2 * 16 + 1);
  }

  bytes partial = whole;  // (H - 16) % 8 == 4: the last 4 bytes are no entry
  test_put32(partial, 8, 16 + 2 * 8 + 4);
  partial.insert(partial.begin() + 32, {0xEE, 0xEE, 0xEE, 0xEE});
  bytes out_of_order = whole, past_the_data = whole;
  test_put32(out_of_order, 20, test_le32(whole, 28) + 8);  // strings start after the bitmaps
  test_put32(past_the_data, 20, 0x10000);
  struct {
    const char *what;
    const bytes &file;
    bool strings;
  } cases[] = {{"partial entry", partial, true}, {"out of order", out_of_order, false},
               {"past the data", past_the_data, false}};
  for (const auto &c : cases) {
    tresource_unload_all();
    ASSERT_EQ(load("table.tres", c.file), 1) << c.what;
    EXPECT_EQ(tresource_find_string(1) != nullptr, c.strings) << c.what;
    EXPECT_NE(tresource_get_bitmap(3), nullptr) << c.what;
  }
}

TEST_F(Resources, TruncatedForeignAndLyingFilesDoNotLoad) {
  builder b;
  b.section(TRESOURCE_SECTION_STRINGS);
  b.text(1, u"text");
  b.section(TRESOURCE_SECTION_BITMAPS);
  b.record(2, bitmap_body(2, 2, 8));
  const bytes whole = b.file();
  ASSERT_EQ(load("whole.tres", whole), 1);
  tresource_unload(1);

  for (size_t size = 0; size < whole.size(); size++) {
    ASSERT_EQ(load("cut.tres", bytes(whole.begin(), whole.begin() + long(size))), 0) << "cut at " << size;
    ASSERT_EQ(tresource_get_table(), nullptr);
  }

  struct {
    const char *what;
    size_t offset;
    uint32_t value;
  } lies[] = {
      {"foreign magic", 0, 0x46464952}, {"version 2", 4, 2}, {"header shorter than 16", 8, 12},
      {"header beyond the file", 8, 0x7FFFFFF0}, {"data beyond the file", 12, uint32_t(whole.size())},
      {"data size all ones", 12, 0xFFFFFFFF}, {"record longer than its section", 36, 0x1000},
      {"record length all ones", 36, 0xFFFFFFFF},
  };
  for (const auto &lie : lies) {
    bytes bad = whole;
    test_put32(bad, lie.offset, lie.value);
    EXPECT_EQ(load("lie.tres", bad), 0) << lie.what;
  }
  bytes tail = whole;  // a partial record head at the end of the last section
  tail.insert(tail.end(), {1, 2, 3});
  test_put32(tail, 12, uint32_t(tail.size() - 32));
  EXPECT_EQ(load("tail.tres", tail), 0);
  EXPECT_EQ(tresource_get_table(), nullptr);
  EXPECT_EQ(load("dir", {}), 0);
  EXPECT_EQ(tresource_load(test_wide(dir).c_str()), 0);  // a folder
}
