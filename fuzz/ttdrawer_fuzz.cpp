// Feeds arbitrary UTF-16 texts and rect widths to the text drawer's two
// ellipsis modes. Input: a little-endian i32 rect width (0, negative and huge
// widths included), one byte whose low bits pick the mode and the alignment,
// then the text as UTF-16 units. The draw must end and stay inside the canvas,
// alone and inside a pass of the caller's.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "tcanvas.h"
#include "ttdrawer.h"
#include "wins_graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 5) return 0;
  static bool ready = [] {
    wins_graphics_set_dpi(72);
    wins_graphics_set_fixed_metrics(1);
    return true;
  }();
  (void)ready;
  int32_t width;
  std::memcpy(&width, data, 4);
  uint8_t mode = data[4];
  std::u16string text((size - 5) / 2, u'\0');
  std::memcpy(text.data(), data + 5, text.size() * 2);

  tcanvas canvas;
  if (!tcanvas_init(&canvas, nullptr, 16, 64, -24)) return 0;
  ttdrawer *drawer = ttdrawer_new_default();
  if (!drawer) std::abort();
  ttdrawer_set_font_size(drawer, 8);
  ttdrawer_set_truncation(drawer, 1 + (mode & 1));
  ttdrawer_set_alignment(drawer, (mode >> 1) % 10);  // 9 is out of range on purpose
  int64_t right = int64_t(width) - 1;
  trect box = {0, 0, int32_t(std::max<int64_t>(right, std::numeric_limits<int32_t>::min())), 23};
  ttdrawer_draw(drawer, &canvas, text.data(), int32_t(text.size()), &box);

  // The same inside a pass of the caller's, the way lists draw.
  wins_graphics_pass *pass = wins_graphics_begin_text(&canvas);
  if (pass) {
    ttdrawer_draw_in_pass(drawer, &canvas, pass, text.data(), int32_t(text.size()), &box);
    wins_graphics_end_text(&canvas, pass);
  }
  ttdrawer_free(drawer);
  tcanvas_deinit(&canvas);
  return 0;
}
