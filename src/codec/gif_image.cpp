// gif_image: the giflib glue.
#include "gif_image.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "port_fs.h"
#include "port_log.h"
#include "tsavefile.h"

constexpr int PALETTE_SIZE = 256;
constexpr int COLOR_RESOLUTION = 8;
// The four passes of an interlaced image: first row and step.
constexpr int INTERLACE_START[4] = {0, 4, 2, 1};
constexpr int INTERLACE_STEP[4] = {8, 8, 4, 2};
// Open addressing for the exact palette: twice the colours it may hold.
constexpr uint32_t EXACT_SLOTS = 1024;

struct gif_reader {
  const uint8_t *data;
  size_t size;
  size_t at;
};

struct gif_load_state {
  uint8_t *data;
  GifFileType *gif;
  tbitmap *image;
  GifPixelType *line;
};

struct gif_save_state {
  uint8_t *planes;  // red, green, blue, then the indices: 4 x width x height
  ColorMapObject *map;
  GifFileType *gif;
};

static int read_from_buffer(GifFileType *gif, GifByteType *bytes, int count);
static int write_to_file(GifFileType *gif, const GifByteType *bytes, int count);
static uint8_t *read_whole_file(const char16_t *path, size_t *size);
static int read_gif(gif_load_state *state);
static int skip_extension(GifFileType *gif);
static int skip_image_data(GifFileType *gif);
static int draw_image(gif_load_state *state);
static void put_row(tbitmap *image, const GifImageDesc *desc, const ColorMapObject *map, const GifPixelType *line,
                    int32_t row);
static int exact_palette(const uint8_t *red, const uint8_t *green, const uint8_t *blue, size_t count,
                         GifColorType *colors, uint8_t *indices);
static int write_gif(gif_save_state *state, const tbitmap *bitmap, FILE *file);

int gif_image_load(tbitmap **out_image, const char16_t *path) {
  PORT_CHECK(out_image != nullptr);
  *out_image = nullptr;
  if (!path) return 0;
  gif_load_state state = {};
  size_t size = 0;
  state.data = read_whole_file(path, &size);
  if (!state.data) return 0;
  gif_reader reader = {state.data, size, 0};
  int error = 0;
  state.gif = DGifOpen(&reader, read_from_buffer, &error);
  int ok = state.gif && read_gif(&state);
  if (state.gif) DGifCloseFile(state.gif, &error);
  std::free(state.line);
  std::free(state.data);
  if (!ok) {
    if (state.image) tbitmap_free(state.image);
    return 0;
  }
  *out_image = state.image;
  return 1;
}

int gif_image_save(const tbitmap *bitmap, const char16_t *path) {
  PORT_CHECK(bitmap != nullptr);
  if (!bitmap->_pixels || !path || tbitmap_get_width(bitmap) < 1 || tbitmap_get_height(bitmap) < 1) return 0;
  tsavefile save;
  FILE *file = tsavefile_open(&save, path);
  if (!file) return 0;
  gif_save_state state = {};
  int ok = write_gif(&state, bitmap, file);
  if (state.gif) {
    int error = 0;
    if (EGifCloseFile(state.gif, &error) != GIF_OK) ok = 0;
  }
  if (state.map) GifFreeMapObject(state.map);
  std::free(state.planes);
  return tsavefile_commit(&save, !ok);
}

static int read_from_buffer(GifFileType *gif, GifByteType *bytes, int count) {
  gif_reader *reader = static_cast<gif_reader *>(gif->UserData);
  if (count <= 0) return 0;
  size_t n = std::min(size_t(count), reader->size - reader->at);
  std::memcpy(bytes, reader->data + reader->at, n);
  reader->at += n;
  return int(n);
}

static int write_to_file(GifFileType *gif, const GifByteType *bytes, int count) {
  if (count <= 0) return 0;
  return int(std::fwrite(bytes, 1, size_t(count), static_cast<FILE *>(gif->UserData)));
}

static uint8_t *read_whole_file(const char16_t *path, size_t *size) {
  FILE *file = port_fs_open(path, "rb");
  if (!file) return nullptr;
  uint8_t *data = nullptr;
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  if (length > 0 && length <= GIF_IMAGE_MAX_FILE && std::fseek(file, 0, SEEK_SET) == 0) {
    data = static_cast<uint8_t *>(std::calloc(1, size_t(length) + 1));
    if (data && std::fread(data, 1, size_t(length), file) != size_t(length)) {
      std::free(data);
      data = nullptr;
    }
  }
  std::fclose(file);
  *size = size_t(length);
  return data;
}

static int read_gif(gif_load_state *state) {
  GifFileType *gif = state->gif;
  if (gif->SWidth < 1 || gif->SHeight < 1) return 0;
  state->image = tbitmap_new(gif->SWidth, -gif->SHeight, 24);
  if (!state->image) return 0;
  uint32_t background = 0;
  const ColorMapObject *map = gif->SColorMap;
  if (map && gif->SBackGroundColor >= 0 && gif->SBackGroundColor < map->ColorCount) {
    const GifColorType &c = map->Colors[gif->SBackGroundColor];
    background = uint32_t(c.Blue) | uint32_t(c.Green) << 8 | uint32_t(c.Red) << 16;
  }
  tbitmap_fill_rect(state->image, 0, 0, gif->SWidth - 1, gif->SHeight - 1, 0xFF000000u | background);

  // A descriptor that fails does not end the file: reading goes on after its
  // data with the next record. The first image that can be read is drawn; a
  // file whose every image failed has nothing to show and fails too.
  bool failed_image = false;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) != GIF_OK) return 0;
    switch (type) {
      case EXTENSION_RECORD_TYPE:
        if (!skip_extension(gif)) return 0;
        break;
      case IMAGE_DESC_RECORD_TYPE:
        if (DGifGetImageDesc(gif) == GIF_OK) return draw_image(state);
        if (!skip_image_data(gif)) return 0;
        failed_image = true;
        break;
      case TERMINATE_RECORD_TYPE:
        return !failed_image;
      default:
        return 0;
    }
  }
}

static int skip_extension(GifFileType *gif) {
  int code = 0;
  GifByteType *block = nullptr;
  if (DGifGetExtension(gif, &code, &block) != GIF_OK) return 0;
  while (block)
    if (DGifGetExtensionNext(gif, &block) != GIF_OK) return 0;
  return 1;
}

// The data sub-blocks of an image whose descriptor failed after its code
// size byte; 0 when they cannot be read either.
static int skip_image_data(GifFileType *gif) {
  GifByteType *block = nullptr;
  do {
    if (DGifGetCodeNext(gif, &block) != GIF_OK) return 0;
  } while (block);
  return 1;
}

static int draw_image(gif_load_state *state) {
  GifFileType *gif = state->gif;
  const GifImageDesc *desc = &gif->Image;
  const ColorMapObject *map = desc->ColorMap ? desc->ColorMap : gif->SColorMap;
  if (!map || !map->Colors) return 0;
  if (desc->Width < 1 || desc->Height < 1) return 1;
  state->line = static_cast<GifPixelType *>(std::malloc(size_t(desc->Width)));
  if (!state->line) return 0;
  int32_t screen_height = tbitmap_get_height(state->image);
  if (desc->Interlace) {
    for (int pass = 0; pass < 4; pass++)
      for (int32_t row = INTERLACE_START[pass]; row < desc->Height; row += INTERLACE_STEP[pass]) {
        if (DGifGetLine(gif, state->line, desc->Width) != GIF_OK) return 0;
        put_row(state->image, desc, map, state->line, row);
      }
  } else {
    // Rows below the screen are never seen, so decoding stops there.
    for (int32_t row = 0; row < desc->Height && desc->Top + row < screen_height; row++) {
      if (DGifGetLine(gif, state->line, desc->Width) != GIF_OK) return 0;
      put_row(state->image, desc, map, state->line, row);
    }
  }
  return 1;
}

static void put_row(tbitmap *image, const GifImageDesc *desc, const ColorMapObject *map, const GifPixelType *line,
                    int32_t row) {
  uint8_t *out = tbitmap_get_row(image, desc->Top + row);
  if (!out) return;
  int32_t screen_width = tbitmap_get_width(image);
  int32_t first = std::max(0, -desc->Left), last = std::min(desc->Width, screen_width - desc->Left);
  for (int32_t i = first; i < last; i++) {
    if (line[i] >= map->ColorCount) continue;
    const GifColorType &c = map->Colors[line[i]];
    uint8_t *p = out + 3 * (desc->Left + i);
    p[0] = c.Blue;
    p[1] = c.Green;
    p[2] = c.Red;
  }
}

// Indices for a picture of at most 256 colours, in the order they are first
// met; 0 when there are more.
static int exact_palette(const uint8_t *red, const uint8_t *green, const uint8_t *blue, size_t count,
                         GifColorType *colors, uint8_t *indices) {
  uint32_t keys[EXACT_SLOTS] = {};  // colour + 1; 0 is an empty slot
  uint8_t slot_index[EXACT_SLOTS];
  int used = 0;
  for (size_t i = 0; i < count; i++) {
    uint32_t key = (uint32_t(red[i]) << 16 | uint32_t(green[i]) << 8 | blue[i]) + 1;
    uint32_t slot = (key * 2654435761u) >> 22;
    while (keys[slot] && keys[slot] != key) slot = (slot + 1) & (EXACT_SLOTS - 1);
    if (!keys[slot]) {
      if (used == PALETTE_SIZE) return 0;
      keys[slot] = key;
      slot_index[slot] = uint8_t(used);
      colors[used] = {red[i], green[i], blue[i]};
      used++;
    }
    indices[i] = slot_index[slot];
  }
  return 1;
}

static int write_gif(gif_save_state *state, const tbitmap *bitmap, FILE *file) {
  int32_t width = tbitmap_get_width(bitmap), height = tbitmap_get_height(bitmap);
  size_t count = size_t(width) * size_t(height);
  state->planes = static_cast<uint8_t *>(std::malloc(4 * count));
  state->map = GifMakeMapObject(PALETTE_SIZE, nullptr);
  if (!state->planes || !state->map) return 0;
  uint8_t *red = state->planes, *green = red + count, *blue = green + count, *indices = blue + count;
  size_t i = 0;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++, i++) {
      tcolor c = {};
      tbitmap_get_pixel_color(bitmap, x, y, &c);
      red[i] = c.red;
      green[i] = c.green;
      blue[i] = c.blue;
    }
  std::memset(state->map->Colors, 0, sizeof(GifColorType) * PALETTE_SIZE);
  if (!exact_palette(red, green, blue, count, state->map->Colors, indices)) {
    int size = PALETTE_SIZE;
    if (GifQuantizeBuffer(unsigned(width), unsigned(height), &size, red, green, blue, indices, state->map->Colors) !=
        GIF_OK)
      return 0;
  }

  int error = 0;
  state->gif = EGifOpen(file, write_to_file, &error);
  if (!state->gif) return 0;
  GifFileType *gif = state->gif;
  if (EGifPutScreenDesc(gif, width, height, COLOR_RESOLUTION, 0, state->map) != GIF_OK) return 0;
  if (EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_OK) return 0;
  for (int32_t y = 0; y < height; y++)
    if (EGifPutLine(gif, indices + size_t(y) * size_t(width), width) != GIF_OK) return 0;
  return 1;
}
