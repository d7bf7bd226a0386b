// Process entry: hands over to the platform port with the painting application.
#include <cstdio>
#include <cstring>

#include "os_display.h"
#include "paint_main.h"
#include "wins_window.h"

namespace {

// What --help says after the port's usage line: the screen emulated without
// --screen and the sides it takes, and how the language is chosen.
void print_help_details(int32_t width, int32_t height) {
  std::printf(
      "  --screen WIDTHxHEIGHT  emulate a screen of that size: %dx%d without it, each side %d to %d\n"
      "                         (resizing the window later turns the device)\n"
      "  --help                 print this and exit\n"
      "The language is read from the first of LC_ALL, LC_MESSAGES and LANG that is set\n"
      "and not empty: Russian for ru and be (Belarusian), Chinese for zh and zh_CN\n"
      "(zh_TW, zh_HK, zh_SG and zh_MO read as English), English for anything else.\n",
      width, height, OS_DISPLAY_MIN_SIDE, OS_DISPLAY_MAX_SIDE);
}

bool asks_for_help(int argc, char **argv) {
  for (int i = 1; i < argc; i++)
    if (!std::strcmp(argv[i], "--help")) return true;
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  // Before the port opens anything: the size an open would ask for.
  int32_t width = 0, height = 0;
  os_display_get_size(&width, &height);
  int code = wins_window_main(argc, argv, paint_main_get_app());
  // 0 with --help among the words: the port took it and printed its usage
  // line (an option before it that it refused would have given 2).
  if (code == 0 && asks_for_help(argc, argv)) print_help_details(width, height);
  return code;
}
