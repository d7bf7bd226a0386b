// paint_progress: the progress popup of long canvas rebuilds.
#include "paint_progress.h"

#include <cstdlib>

#include "app_common.h"
#include "port_log.h"
#include "tbdrawer.h"
#include "tprogressbar.h"
#include "tscreen.h"

namespace {

constexpr int32_t k_small[2] = {100, 10}, k_large[2] = {260, 26}, k_normal[2] = {200, 20};
constexpr tcolor k_bar_fill = tcolor_rgba(128, 128, 255);
constexpr tcolor k_bar_border = tcolor_rgba(128, 128, 128);

}  // namespace

trect paint_progress_get_rect(int32_t width, int32_t height) {
  const int32_t *size = app_common_is_qvga_size(width, height) ? k_small
                        : app_common_is_vga_size(width, height) ? k_large
                                                                  : k_normal;
  int32_t left = (width - size[0]) / 2, top = (height - size[1]) / 2;
  return {left, top, left + size[0] - 1, top + size[1] - 1};
}

paint_progress *paint_progress_new(paint_history *history) {
  (void)history;
  tscreen *screen = tscreen_get();
  if (!screen) return nullptr;
  paint_progress *pp = static_cast<paint_progress *>(std::calloc(1, sizeof(paint_progress)));
  if (!pp) return nullptr;
  trect rect = paint_progress_get_rect(tscreen_get_width(screen), tscreen_get_height(screen));
  pp->_bar = tprogressbar_new(nullptr, &rect, 0, pp);
  if (!pp->_bar) {
    std::free(pp);
    return nullptr;
  }
  tbdrawer *bar = tprogressbar_get_bar_drawer(pp->_bar);
  tbdrawer_set_fill_color(bar, k_bar_fill);
  tbdrawer_set_border(bar, k_bar_border, 1);
  tcontrol_realize(&pp->_bar->_control);
  return pp;
}

void paint_progress_free(paint_progress *pp) {
  PORT_CHECK(pp != nullptr);
  tprogressbar_free(pp->_bar);
  std::free(pp);
}

void paint_progress_set(paint_progress *pp, int32_t percent) {
  PORT_CHECK(pp != nullptr);
  tprogressbar_set_percent(pp->_bar, percent);
  tsurface_update(&pp->_bar->_control._surface, nullptr);
}
