// The picture generator: the pictures the build packed into the toolkit's
// files, and the same bytes on every run.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tresource.h"
#include "test_bitmap.h"
#include "test_env.h"

namespace {

const std::string k_picgen = BRIVOLA_PROGRAM_DIR "/tools/picgen";

// Every toolkit picture and its side on the normal and the small screens.
struct expected_picture {
  int32_t id, vga_side, qvga_side;
};
const expected_picture k_toolkit_pictures[] = {
    {2, 40, 24},  {4, 40, 24},  {6, 40, 24},  {8, 40, 24},  {10, 40, 24}, {12, 40, 24}, {14, 16, 10},
    {16, 24, 14}, {18, 24, 14}, {20, 24, 14}, {22, 24, 14}, {24, 24, 14}, {26, 24, 14}, {28, 24, 14},
};

int run_picgen(const std::string &folder) {
  std::string command = "'" + k_picgen + "' '" + folder + "' 2>/dev/null";
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every file under the folder by its path relative to it, with its bytes.
std::map<std::string, test_bytes> files_under(const std::string &folder) {
  std::map<std::string, test_bytes> out;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file())
      out[std::filesystem::relative(entry.path(), folder).string()] = test_read_file(entry.path().string());
  return out;
}

class Picgen : public TempDirTest {};

}  // namespace

TEST(BuiltPictures, BothToolkitFilesHoldEveryPictureWithItsMask) {
  for (const char *screen : {"resvga", "resqvga"}) {
    SCOPED_TRACE(screen);
    int file_id = tresource_load(test_wide(std::string(BRIVOLA_PROGRAM_DIR "/") + screen + "/gui.tmbm").c_str());
    ASSERT_TRUE(file_id);
    const tresource_file *file = tresource_get_table()[file_id - 1];
    EXPECT_EQ(std::make_pair(file->bitmaps_first_id, file->bitmaps_last_id), std::make_pair(2u, 29u));
    for (const expected_picture &pic : k_toolkit_pictures) {
      SCOPED_TRACE(pic.id);
      int32_t side = std::string(screen) == "resvga" ? pic.vga_side : pic.qvga_side;
      const tbitmap *image = tresource_get_bitmap(pic.id);
      const tbitmap *mask = tresource_get_bitmap(pic.id + 1);
      ASSERT_TRUE(image && mask);
      EXPECT_EQ(test_shape(image), (std::vector<int32_t>{side, side, 24, 0}));
      ASSERT_EQ(test_shape(mask), (std::vector<int32_t>{side, side, 8, 0}));
      // Neither empty nor full.
      int clear = 0, solid = 0;
      for (int32_t y = 0; y < side; y++)
        for (int32_t x = 0; x < side; x++) {
          uint8_t alpha = *tbitmap_get_pixel_ptr(mask, x, y);
          clear += alpha == 0;
          solid += alpha == 255;
        }
      EXPECT_GT(clear, 0);
      EXPECT_GT(solid, 0);
    }
    tresource_unload_all();
  }
}

TEST_F(Picgen, TwoRunsWriteTheSameBytesAsTheBuildDid) {
  ASSERT_EQ(run_picgen(path("first")), 0);
  ASSERT_EQ(run_picgen(path("second")), 0);
  std::map<std::string, test_bytes> first = files_under(path("first"));
  EXPECT_EQ(first.size(), 2u * (std::size(k_toolkit_pictures) + 2));  // a PNG each and two manifests
  EXPECT_TRUE(first == files_under(path("second")));
  EXPECT_TRUE(first == files_under(BRIVOLA_PROGRAM_DIR "/pictures"));
  // The program's own pictures come with later work: its manifest names none yet.
  for (const char *screen : {"resvga", "resqvga"}) {
    test_bytes brivo = first[std::string(screen) + "/brivo_pictures.manifest"];
    std::string text(brivo.begin(), brivo.end());
    EXPECT_TRUE(text.empty() || (text[0] == '#' && text.find("\n") == text.size() - 1)) << screen << ": " << text;
  }
}

TEST_F(Picgen, AFolderItCannotMakeFails) {
  test_write_file(path("file"), std::string("not a folder"));
  EXPECT_EQ(run_picgen(path("file")), 1);
  EXPECT_EQ(run_picgen(path("file/below")), 1);
}
