// Draws arbitrary texts as wrapped labels (modes 4 and 5) of arbitrary widths
// and offsets, into their own buffer and transparently onto a parent. The walk
// must end, stay inside the text, and leave the text as it was.
//
// Input: byte 0 bit 0 picks mode 5 over 4, bit 1 transparent drawing; byte 1
// the width (0-255 pixels); byte 2 the offset x (signed); byte 3 the font size
// (1-32 points); the rest is the text as UTF-16 (little-endian pairs).

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_port.h"
#include "tbitmap.h"
#include "tlabel.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_graphics.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// The labels need a screen and a style set.
int start() {
  if (!tstyler_load_defaults()) return 0;
  wins_graphics_set_fixed_metrics(1);
  // A tall mode 5 label asks for a tall buffer; refusals are part of the test.
  tbitmap_set_budget(4u << 20);
  return 1;
}

void draw_labels(const uint8_t *data, size_t data_size) {
  if (data_size < 4) return;
  int flags = data[0];
  int32_t width = data[1];
  auto offset = static_cast<int8_t>(data[2]);
  int32_t size = 1 + data[3] % 32;
  std::u16string text;
  for (size_t i = 4; i + 1 < data_size; i += 2) text += char16_t(data[i] | data[i + 1] << 8);

  trect whole = {0, 0, 63, 47};
  tcontrol *parent = tcontrol_new(nullptr, &whole, nullptr);
  trect rect = {3, 4, 3 + width - 1, 20};
  tlabel *label = tlabel_new(parent, &rect, text.data(), int32_t(text.size()), flags & 1 ? TLABEL_WRAP_FIT : TLABEL_WRAP,
                             nullptr);
  if (parent && label) {
    ttdrawer_set_offset_x(tlabel_get_tdrawer(label), offset);
    ttdrawer_set_font_size(tlabel_get_tdrawer(label), size);
    if (flags & 2) {
      tlabel_set_transparent(label, 1);
      tlabel_draw_text(label, tsurface_get_canvas(&parent->_surface), tsurface_get_rect(&label->_control._surface));
    } else {
      tsurface_realize(&label->_control._surface);
      tsurface_update(&label->_control._surface, nullptr);
    }
    check(label->_length == int32_t(text.size()));
    check(std::memcmp(label->_text, text.data(), text.size() * sizeof(char16_t)) == 0);
    check(label->_text[label->_length] == 0);
  }
  if (label) tlabel_free(label);
  if (parent) tcontrol_free(parent);
}

const fuzz_port_target k_target = {"brivola-label-fuzz", "64x64", start, draw_labels};

}  // namespace

int main(int argc, char **argv) { return fuzz_port_main(argc, argv, &k_target); }
