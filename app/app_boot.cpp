// The least application: paints the screen grey and runs the message loop.
#include "app_boot.h"

#include <cstring>

#include "tscreen.h"
#include "win_ao.h"

namespace {

// Opaque (192, 192, 192) as a colour word.
constexpr uint32_t k_grey = 0xFFC0C0C0u;
const char16_t k_app_name[] = u"Brivola";

void paint_grey(tscreen *screen, const trect *rect);

const wins_window_app k_app = {app_common_get_app_name, paint_main_start, app_common_on_activate};

}  // namespace

char16_t *app_common_get_app_name(char16_t *buffer) {
  std::memcpy(buffer, k_app_name, sizeof k_app_name);
  return buffer;
}

int paint_main_start(void *instance, const char16_t *command_line) {
  (void)instance;
  (void)command_line;
  tregistry_init_active_objects();
  tscreen *screen = tscreen_get();
  tscreen_set_paint_hook(screen, paint_grey);
  tscreen_paint(screen, nullptr);
  int code = wins_window_run();
  tregistry_free_active_objects();
  return code;
}

void app_common_on_activate() {
  tscreen *screen = tscreen_get();
  if (screen) tscreen_paint(screen, nullptr);
}

const wins_window_app *app_boot_get() { return &k_app; }

namespace {

void paint_grey(tscreen *screen, const trect *rect) {
  tbitmap_fill_rect(tscreen_get_bitmap(screen), rect->x1, rect->y1, rect->x2, rect->y2, k_grey);
}

}  // namespace
