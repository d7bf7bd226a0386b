// The resource packer: packs a manifest, and the files the build packed.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "port_log.h"
#include "tresource.h"
#include "test_bitmap.h"
#include "test_env.h"

namespace {

const std::string k_respack = BRIVOLA_PROGRAM_DIR "/tools/respack";

void write_png(const std::string &path, int width, int height, bool alpha, const std::vector<uint8_t> &pixels) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = uint32_t(width);
  image.height = uint32_t(height);
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_GRAY;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) << image.message;
}

int run_respack(const std::string &manifest, const std::string &output, const std::string &include_folder = "") {
  std::string options = include_folder.empty() ? "" : " -I '" + include_folder + "'";
  std::string command = "'" + k_respack + "'" + options + " '" + manifest + "' '" + output + "' 2>/dev/null";
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every text of a loaded file, by id, walked record by record.
std::map<uint32_t, std::u16string> texts_of(int file_id) {
  std::map<uint32_t, std::u16string> out;
  const tresource_file *file = tresource_get_table()[file_id - 1];
  uint32_t pos = 0;
  while (pos < uint32_t(file->strings_length)) {
    const uint8_t *head = file->data + file->strings_offset + pos;
    uint32_t id = head[0] | head[1] << 8 | head[2] << 16 | uint32_t(head[3]) << 24;
    uint32_t length = head[4] | head[5] << 8 | head[6] << 16 | uint32_t(head[7]) << 24;
    EXPECT_EQ((file->strings_offset + pos) % 4, 0u) << "record " << id << " is not aligned";
    // This file's own record, whichever file would decide a lookup by id.
    uint32_t found_length = 0;
    const uint8_t *record = tresource_find_record(file, file->strings_offset, file->strings_length, id, &found_length);
    EXPECT_EQ(record, head + 8);
    out[id] = reinterpret_cast<const char16_t *>(record);
    pos += 8 + length;
  }
  return out;
}

// The format specifiers, line breaks and row fields a translation must keep.
std::u16string skeleton(const std::u16string &text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == u'%') {
      size_t j = i + 1;
      while (j < text.size() && std::u16string(u"-+ 0#.123456789").find(text[j]) != std::u16string::npos) j++;
      out += text.substr(i, j - i + 1) + u" ";
      i = j;
    } else if (text[i] == u'\r' || text[i] == u'\n') {
      out += text[i];
    }
  }
  size_t slash = text.find(u'/');
  if (slash != std::u16string::npos && (text.find(u"/-1") != std::u16string::npos || text.find(u"/*.") != std::u16string::npos))
    out += u"fields" + text.substr(slash);
  return out;
}

class Packer : public TempDirTest {
 protected:
  void TearDown() override {
    tresource_unload_all();
    TempDirTest::TearDown();
  }
  void write(const std::string &name, const std::string &content) { test_write_file(path(name), content); }
};

}  // namespace

TEST_F(Packer, TextsAndABitmapWithMaskRoundTrip) {
  // 3 x 2 RGBA: each pixel's red, green, blue and alpha differ.
  std::vector<uint8_t> rgba;
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 3; x++) rgba.insert(rgba.end(), {uint8_t(10 + x), uint8_t(20 + y), uint8_t(30 + x + y), uint8_t(x * 100 + y * 7)});
  write_png(path("pic.png"), 3, 2, true, rgba);
  write_png(path("grey.png"), 2, 1, false, {0, 200});
  std::filesystem::create_directory(path("more"));
  write("more/extra.manifest", "25 \"from an include\"\n");
  write("all.manifest",
        "# texts\n"
        "1 \"Line one\\r\\nTab\\there \\\"quoted\\\" back\\\\slash\"\n"
        "3 \"Ёлка и 画\"   \n"
        "2 \"\xF0\x9F\x8E\xA8\"\n"
        "4 \"\"\n"
        "include \"more/extra.manifest\"\n"
        "\n"
        "bitmap 100 \"pic.png\"\n"
        "mask 101 \"pic.png\"\n"
        "mask 102 \"grey.png\"\n");
  std::string output = dir + "/out.tres";
  ASSERT_EQ(run_respack(dir + "/all.manifest", output), 0);
  EXPECT_FALSE(std::filesystem::exists(output + ".tmp"));

  int id = tresource_load(test_wide(output).c_str());
  ASSERT_EQ(id, 1);
  std::map<uint32_t, std::u16string> texts = texts_of(id);  // also checks the alignment
  EXPECT_EQ(texts, (std::map<uint32_t, std::u16string>{{1, u"Line one\r\nTab\there \"quoted\" back\\slash"},
                                                       {2, u"\U0001F3A8"}, {3, u"Ёлка и 画"}, {4, u""},
                                                       {25, u"from an include"}}));

  tbitmap *picture = tresource_get_bitmap(100);
  tbitmap *mask = tresource_get_bitmap(101);
  tbitmap *grey = tresource_get_bitmap(102);
  ASSERT_TRUE(picture && mask && grey);
  EXPECT_EQ(test_shape(picture), (std::vector<int32_t>{3, 2, 24, 0}));
  EXPECT_EQ(tbitmap_get_compression(picture), 0);
  ASSERT_EQ(test_shape(mask), (std::vector<int32_t>{3, 2, 8, 0}));
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 3; x++) {
      EXPECT_EQ(test_rgb(picture, x, y), uint32_t(10 + x) << 16 | uint32_t(20 + y) << 8 | uint32_t(30 + x + y));
      EXPECT_EQ(*tbitmap_get_pixel_ptr(mask, x, y), x * 100 + y * 7);
    }
  EXPECT_EQ(std::make_pair(*tbitmap_get_pixel_ptr(grey, 0, 0), *tbitmap_get_pixel_ptr(grey, 1, 0)),
            std::make_pair(uint8_t(0), uint8_t(200)));  // no alpha: the grey level
}

TEST_F(Packer, RefusesBadManifestsAndLeavesNoOutput) {
  const char *bad[] = {
      "1 \"a\"\n1 \"again\"\n",           // the same id twice
      "1 \"bad escape \\q\"\n",            // unknown escape
      "1 \"no end\n",                      // unterminated
      "1 \"\xC3\x28\"\n",                  // not UTF-8
      "bitmap 5 \"missing.png\"\n",        // no such picture
      "picture 5 \"x.png\"\n",             // unknown entry
      "99999999999 \"id too large\"\n",    // beyond 32 bits
      "include \"all.manifest\"\n",        // includes itself, endlessly
      "1 \"text\" trailing\n",
  };
  std::string output = dir + "/out.tres";
  for (const char *manifest : bad) {
    write("all.manifest", manifest);
    EXPECT_EQ(run_respack(dir + "/all.manifest", output), 1) << manifest;
    EXPECT_FALSE(std::filesystem::exists(output)) << manifest;
    EXPECT_FALSE(std::filesystem::exists(output + ".tmp")) << manifest;
  }
  write("text.png", "not a picture");
  write("all.manifest", "bitmap 5 \"text.png\"\n");
  EXPECT_EQ(run_respack(dir + "/all.manifest", output), 1);
}

TEST_F(Packer, IncludesNotBesideTheManifestComeFromTheIncludeFolder) {
  std::filesystem::create_directory(path("source"));
  std::filesystem::create_directory(path("drawn"));
  write("source/top.manifest", "include \"near.manifest\"\ninclude \"drawn.manifest\"\n");
  write("source/near.manifest", "1 \"beside\"\n");
  write("drawn/near.manifest", "1 \"from the folder\"\n");
  write("drawn/drawn.manifest", "bitmap 2 \"dot.png\"\nmask 3 \"dot.png\"\n");
  write_png(path("drawn/dot.png"), 1, 1, true, {1, 2, 3, 4});
  std::string output = dir + "/out.tres";

  EXPECT_EQ(run_respack(path("source/top.manifest"), output), 1);  // no folder given: not found
  EXPECT_FALSE(std::filesystem::exists(output));
  ASSERT_EQ(run_respack(path("source/top.manifest"), output, path("drawn")), 0);
  ASSERT_TRUE(tresource_load(test_wide(output).c_str()));
  EXPECT_EQ(std::u16string(tresource_get_string(1, u"")), u"beside");  // the one beside comes first
  tbitmap *mask = tresource_get_bitmap(3);
  ASSERT_TRUE(tresource_get_bitmap(2) && mask);  // the picture named relative to its own manifest
  EXPECT_EQ(*tbitmap_get_pixel_ptr(mask, 0, 0), 4);
}

// The build packs these into the program folder.
TEST(BuiltResources, EveryFileLoadsWithItsTexts) {
  const std::string program = BRIVOLA_PROGRAM_DIR;
  auto load = [&](const std::string &name) { return tresource_load(test_wide(program + "/" + name).c_str()); };
  for (const char *screen : {"resvga", "resqvga"}) {
    int brivo = load(std::string(screen) + "/brivo.tres");
    int gui = load(std::string(screen) + "/gui.tres");
    int tmbm = load(std::string(screen) + "/gui.tmbm");
    ASSERT_TRUE(brivo && gui && tmbm) << screen;
    EXPECT_EQ(texts_of(brivo).size(), 230u);
    EXPECT_EQ(texts_of(gui).size(), 26u);
    EXPECT_EQ(std::u16string(tresource_get_string(25029, u"")), u"Fail to save file (code: %d).");
    EXPECT_EQ(std::u16string(tresource_get_string(2, u"")), u"OK");
    EXPECT_EQ(std::u16string(tresource_get_string(28, u"")), u"Folder name contains invalid char such as %s");
    tresource_unload_all();
  }

  struct {
    const char *english, *other;
  } pairs[] = {{"en_us.lang", "ru_ru.lang"}, {"en_us.lang", "zh_cn.lang"}, {"gui_en_us.tres", "gui_ru_ru.tres"},
               {"gui_en_us.tres", "gui_zh_cn.tres"}};
  for (const auto &pair : pairs) {
    int english = load(pair.english), other = load(pair.other);
    ASSERT_TRUE(english && other) << pair.other;
    std::map<uint32_t, std::u16string> en = texts_of(english), tr = texts_of(other);
    tresource_unload_all();
    ASSERT_EQ(en.size(), tr.size()) << pair.other;
    size_t translated = 0;
    for (const auto &[id, text] : en) {
      ASSERT_EQ(tr.count(id), 1u) << pair.other << " lacks " << id;
      EXPECT_EQ(skeleton(tr[id]), skeleton(text)) << pair.other << " " << id;
      translated += tr[id] != text;
    }
    EXPECT_GT(translated, en.size() * 9 / 10) << pair.other;
  }

  // The untitled name stands mid-sentence in the Save As title.
  int russian = load("ru_ru.lang");
  ASSERT_TRUE(russian);
  std::map<uint32_t, std::u16string> ru = texts_of(russian);
  tresource_unload_all();
  std::u16string title = ru[25170];
  title.replace(title.find(u"%s"), 2, ru[25171]);
  EXPECT_EQ(title, u"Сохранить без имени как");
}
