// Feeds arbitrary key, character, pen, clock and call sequences to an edit on
// the headless display. After every step the caret and both selection ends
// must lie within the text, the widths table must have room for every
// character and grow from left to right; ASan watches the rest (the caret bar
// and the selection read the widths by those positions).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_port.h"
#include "os_clock.h"
#include "os_display.h"
#include "os_message.h"
#include "tedit.h"
#include "tscreen.h"
#include "tstyler.h"
#include "win_ao.h"
#include "wins_graphics.h"
#include "wins_window.h"

namespace {

const uint8_t *g_data;
size_t g_size;

struct reader {
  size_t at = 0;
  bool more() const { return at < g_size; }
  uint8_t byte() { return at < g_size ? g_data[at++] : 0; }
  int32_t small() { return int32_t(byte()) - 64; }
};

// Codes worth trying more often than their share of the byte range.
const uint32_t k_codes[] = {8, 127, 0xF807, 0xF808, 0xF809, 0xF80A, 0xF823, 0xF8FF, 13, 0x80, 0xFE, 0xFF,
                            '0', '7', 'a', ' ', 0xD83D, 0xDE00, 0x4E2D, 0xFFFF, 0x10000};

void check(const tedit *edit) {
  int32_t len = int32_t(tstring_get_len(edit->_text));
  for (int32_t p : {edit->_caret, edit->_selection_start, edit->_selection_end})
    if (p < 0 || p > len) std::abort();
  if (uint32_t(len) > edit->_widths_room) std::abort();
  for (int32_t i = 1; i < len; i++)
    if (edit->_widths[i] < edit->_widths[i - 1]) std::abort();
  if (std::char_traits<char16_t>::length(tedit_get_text(edit)) > size_t(len)) std::abort();
}

void pump() {
  os_message message;
  while (os_peek_message(&message)) {
    if (message.message == WM_QUIT) break;
    os_dispatch_message(&message);
  }
}

void call(tedit *edit, reader &in) {
  switch (in.byte() % 11) {
    case 0: {
      std::u16string text;
      for (int n = in.byte() % 40; n > 0; n--) text += char16_t(k_codes[in.byte() % 21] & 0xFFFF);
      tedit_set_text(edit, text.c_str(), in.small());
      break;
    }
    case 1: tedit_set_selection(edit, in.small(), in.small()); break;
    case 2: tedit_set_caret(edit, in.small()); break;
    case 3: tedit_insert(edit, u"ab\u4E2D"); break;
    case 4: tedit_delete_selection(edit); break;
    case 5: tedit_select_all(edit); break;
    case 6: tedit_set_input_mode(edit, in.byte() & 4); break;
    case 7: tedit_set_ime(edit, in.byte() & 1); break;
    case 8: tedit_set_padding(edit, in.small() / 8, in.small() / 8, in.small() / 8); break;
    case 9: tcontrol_set_focus(&edit->_control, in.byte() & 1); break;
    default: tcontrol_set_size(&edit->_control, in.byte(), in.byte() % 40); break;
  }
}

int start() {
  tstyler_load_defaults();
  wins_graphics_set_fixed_metrics(1);
  os_clock_drive(1);
  return 1;
}

void fuzz_input(const uint8_t *data, size_t size) {
  g_data = data;
  g_size = size;
  tregistry_init_active_objects();
  tscreen *screen = tscreen_get();
  trect rect = {10, 10, 69, 29};
  tedit *edit = tedit_new(nullptr, &rect, u"start", -1, nullptr);
  if (edit) {
    tcontrol_realize(&edit->_control);
    reader in;
    while (in.more()) {
      uint8_t op = in.byte();
      switch (op % 8) {
        case 0: tscreen_dispatch_key(screen, k_codes[in.byte() % 21], 1, 0); break;
        case 1: tscreen_dispatch_key(screen, k_codes[in.byte() % 21], 1, WINS_MOD_SHIFT); break;
        case 2: tscreen_dispatch_key(screen, in.byte() | uint32_t(in.byte()) << 8, 1, in.byte() & 7); break;
        case 3:
        case 4: tscreen_dispatch_pen(screen, 1 + op % 3, in.small() + 40, in.small() / 4 + 20, 0); break;
        case 5:
          os_clock_advance(250);
          pump();
          break;
        default: call(edit, in); break;
      }
      check(edit);
    }
    tedit_free(edit);
  }
  tregistry_free_active_objects();
}

const fuzz_port_target k_target = {"brivola-edit-fuzz", "200x100", start, fuzz_input};

}  // namespace

int main(int argc, char **argv) { return fuzz_port_main(argc, argv, &k_target); }
