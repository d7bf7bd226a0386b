// The picture generator: the pictures the build packed into the toolkit's
// and the program's files, and the same bytes on every run.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
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

// The program's pictures, by what the packed file holds under the id: a
// colour bitmap with its mask at id + 1, a colour bitmap alone, or a mask alone.
enum packed_kind { colour_and_mask, colour_only, mask_only };

// A size is either the one the screen's layout gives the picture (a surface
// it covers) or the box it must fit in (the button, column or box showing it).
struct size_rule {
  int32_t width, height;
  bool exact;
};
constexpr size_rule exactly(int32_t width, int32_t height) { return {width, height, true}; }
constexpr size_rule within(int32_t width, int32_t height) { return {width, height, false}; }

struct picture_group {
  const char *what;
  std::vector<int32_t> ids;
  packed_kind kind;
  size_rule vga, qvga;  // resvga: the large screens' surfaces, the normal screens' boxes
};

std::vector<int32_t> ids_from(int32_t first, int32_t last, int32_t step) {
  std::vector<int32_t> ids;
  for (int32_t id = first; id <= last; id += step) ids.push_back(id);
  return ids;
}

std::vector<int32_t> tool_icon_ids() {
  std::vector<int32_t> ids = ids_from(15001, 15043, 2), commands = ids_from(15047, 15067, 2);
  ids.insert(ids.end(), commands.begin(), commands.end());
  ids.push_back(15168);
  return ids;
}

const picture_group k_program_pictures[] = {
    // Tool bar buttons of 50 (normal) and 25 (small), the variant menu's 40-pixel icon column.
    {"tool icons", tool_icon_ids(), colour_and_mask, within(40, 40), within(25, 25)},
    {"check mark: done bar and menu rows", {15069}, colour_and_mask, within(40, 40), within(20, 20)},
    {"radio mark: a 20-pixel column", {15141}, colour_and_mask, within(20, 20), within(20, 20)},
    {"family marker in a button corner", {15143}, colour_and_mask, within(12, 12), within(6, 6)},
    // Command buttons 78 x 88 (normal), 46 x 44 (small, landscape), icon in the top 80 %.
    {"command icons", {15100, 15102, 15104, 15106, 15108, 15110, 15112, 15114, 15116, 15120, 15170}, colour_and_mask,
     within(78, 70), within(46, 35)},
    // Tabs: 110 x 45 on large screens, 50 x 20 on small ones.
    {"command tab, portrait", {15090, 15094}, colour_and_mask, exactly(110, 45), exactly(50, 20)},
    {"command tab, landscape", {15092, 15096}, colour_and_mask, exactly(45, 110), exactly(20, 50)},
    {"command tab surface, portrait", {15098}, mask_only, exactly(110, 45), exactly(50, 20)},
    {"command tab surface, landscape", {15099}, mask_only, exactly(45, 110), exactly(20, 50)},
    // The New menu's icon column: 55 x 55 (normal), 35 x 35 (small).
    {"New menu", {15122, 15124, 15126, 15128}, colour_and_mask, within(55, 55), within(35, 35)},
    {"waiting dialogs' icons", {15135, 15137}, colour_and_mask, within(55, 55), within(35, 35)},
    // Zoom bar buttons: 60 (large), 25 (small).
    {"zoom buttons", {15077, 15078, 15080, 15081, 15082, 15083}, colour_only, exactly(60, 60), exactly(25, 25)},
    {"zoom button surface", {15079}, mask_only, exactly(60, 60), exactly(25, 25)},
    // Alpha panel: thumb 60 (large) or 20 (small); tab 40 x 110 or 15 x 40 in portrait.
    {"alpha thumb surface", {15159}, mask_only, exactly(60, 60), exactly(20, 20)},
    {"alpha tab, portrait", {15160}, colour_and_mask, exactly(40, 110), exactly(15, 40)},
    {"alpha tab, landscape", {15162}, colour_and_mask, exactly(110, 40), exactly(40, 15)},
    {"alpha tab surface, landscape", {15164}, mask_only, exactly(110, 40), exactly(40, 15)},
    {"alpha tab surface, portrait", {15165}, mask_only, exactly(40, 110), exactly(15, 40)},
    // New Empty Paint: the icon centred on a combo box 25 (normal) or 16 (small) high.
    {"size icon", {15130}, colour_and_mask, within(25, 25), within(16, 16)},
    {"preview placeholder: the 192 or 96 square", {15134}, colour_only, within(192, 192), within(96, 96)},
    // My Paints cells 110 x 130 on every screen, image in the top 80 %.
    {"My Paints placeholder", {15139}, colour_and_mask, within(110, 104), within(110, 104)},
    {"about icon: a 70 or 35 box", {15147}, colour_and_mask, within(70, 70), within(35, 35)},
    // Upload animation, in the waiting dialog on a 240-pixel screen at least.
    {"upload frame", {15172}, colour_only, within(200, 60), within(200, 60)},
    {"upload masks", {15173, 15174, 15175, 15176}, mask_only, within(200, 60), within(200, 60)},
};

// An 8-bit mask of width x height with clear and solid pixels (neither
// empty nor full), and the 24-bit colour picture over it when there is one.
void expect_picture(const tbitmap *colour, const tbitmap *mask, int32_t width, int32_t height) {
  if (colour) {
    EXPECT_EQ(test_shape(colour), (std::vector<int32_t>{width, height, 24, 0}));
  }
  if (!mask) return;
  ASSERT_EQ(test_shape(mask), (std::vector<int32_t>{width, height, 8, 0}));
  int clear = 0, solid = 0;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      uint8_t alpha = *tbitmap_get_pixel_ptr(mask, x, y);
      clear += alpha == 0;
      solid += alpha == 255;
    }
  EXPECT_GT(clear, 0);
  EXPECT_GT(solid, 0);
}

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
      expect_picture(image, mask, side, side);
    }
    tresource_unload_all();
  }
}

TEST(BuiltPictures, BothProgramFilesHoldEveryPictureOfItsKindAndSize) {
  for (const char *screen : {"resvga", "resqvga"}) {
    SCOPED_TRACE(screen);
    bool small = std::string(screen) == "resqvga";
    int file_id = tresource_load(test_wide(std::string(BRIVOLA_PROGRAM_DIR "/") + screen + "/brivo.tres").c_str());
    ASSERT_TRUE(file_id);
    const tresource_file *file = tresource_get_table()[file_id - 1];
    std::set<int32_t> expected_ids;
    for (const picture_group &group : k_program_pictures) {
      SCOPED_TRACE(group.what);
      size_rule rule = small ? group.qvga : group.vga;
      for (int32_t id : group.ids) {
        SCOPED_TRACE(id);
        const tbitmap *colour = group.kind == mask_only ? nullptr : tresource_get_bitmap(id);
        int32_t mask_id = group.kind == colour_and_mask ? id + 1 : id;
        const tbitmap *mask = group.kind == colour_only ? nullptr : tresource_get_bitmap(mask_id);
        const tbitmap *picture = colour ? colour : mask;
        ASSERT_TRUE(picture);
        expected_ids.insert(id);
        expected_ids.insert(mask_id);
        int32_t width = tbitmap_get_width(picture), height = tbitmap_get_height(picture);
        if (rule.exact) {
          EXPECT_EQ(std::make_pair(width, height), std::make_pair(rule.width, rule.height));
        } else {
          EXPECT_TRUE(width >= 4 && height >= 4 && width <= rule.width && height <= rule.height)
              << width << " x " << height << " in " << rule.width << " x " << rule.height;
        }
        expect_picture(colour, mask, width, height);
      }
    }
    // The animation's masks fit its frame.
    const tbitmap *frame = tresource_get_bitmap(15172);
    ASSERT_TRUE(frame);
    for (int32_t id = 15173; id <= 15176; id++) {
      const tbitmap *mask = tresource_get_bitmap(id);
      ASSERT_TRUE(mask);
      EXPECT_EQ(test_shape(mask), (std::vector<int32_t>{tbitmap_get_width(frame), tbitmap_get_height(frame), 8, 0}));
    }
    // Nothing else is packed as a picture.
    std::set<int32_t> packed;
    for (uint32_t id = file->bitmaps_first_id; file->bitmaps_length > 0 && id <= file->bitmaps_last_id; id++)
      if (tresource_get_bitmap(int32_t(id))) packed.insert(int32_t(id));
    EXPECT_EQ(packed, expected_ids);
    tresource_unload_all();
  }
}

TEST_F(Picgen, TwoRunsWriteTheSameBytesAsTheBuildDid) {
  ASSERT_EQ(run_picgen(path("first")), 0);
  ASSERT_EQ(run_picgen(path("second")), 0);
  std::map<std::string, test_bytes> first = files_under(path("first"));
  size_t pictures = std::size(k_toolkit_pictures);
  for (const picture_group &group : k_program_pictures) pictures += group.ids.size();
  EXPECT_EQ(first.size(), 2u * (pictures + 2));  // a PNG each and two manifests per screen class
  EXPECT_TRUE(first == files_under(path("second")));
  EXPECT_TRUE(first == files_under(BRIVOLA_PROGRAM_DIR "/pictures"));
}

TEST_F(Picgen, AFolderItCannotMakeFails) {
  test_write_file(path("file"), std::string("not a folder"));
  EXPECT_EQ(run_picgen(path("file")), 1);
  EXPECT_EQ(run_picgen(path("file/below")), 1);
}
