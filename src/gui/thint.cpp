// thint: a modal floating label, optionally timed.
#include "thint.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "port_log.h"
#include "tscreen.h"
#include "tstyler.h"
#include "wins_timer.h"

static void show_at(thint *hint, int32_t x, int32_t y);
static void on_timer(uint32_t id, void *user_data);
static void expire(thint *hint);
static void stop_timer(thint *hint);

// The hints that belong to themselves until their time comes (GUI thread
// only).
static std::vector<thint *> g_timed;

thint *thint_new(const trect *rect, const char16_t *text, int wrap, void *owner) {
  PORT_CHECK(rect != nullptr);
  thint *hint = static_cast<thint *>(std::calloc(1, sizeof(thint)));
  if (!hint) return nullptr;
  hint->_owner = owner;
  hint->_label = tlabel_new(nullptr, rect, text, -1, wrap ? TLABEL_WRAP_FIT : TLABEL_FIT, hint);
  if (!hint->_label) {
    std::free(hint);
    return nullptr;
  }
  ttdrawer *drawer = tlabel_get_tdrawer(hint->_label);
  ttdrawer_set_offset_x(drawer, 5);
  ttdrawer_set_offset_y(drawer, 0);
  // Realising draws the label once, which sizes it to its text.
  tcontrol_realize(&hint->_label->_control);
  tsurface_remove_from_screen(&hint->_label->_control._surface);
  tstyler_apply(tstyler_get_default(), hint, TSTYLE_HINT, owner, 0);
  return hint;
}

void thint_free(thint *hint) {
  PORT_CHECK(hint != nullptr);
  stop_timer(hint);
  g_timed.erase(std::remove(g_timed.begin(), g_timed.end(), hint), g_timed.end());
  // Tearing the label down unlists it and gives the modal slot it held back.
  tlabel_free(hint->_label);
  std::free(hint);
}

void thint_show(thint *hint, int32_t x, int32_t y) {
  PORT_CHECK(hint != nullptr);
  tscreen *screen = tscreen_get();
  PORT_CHECK(screen != nullptr);
  tsurface *surface = &hint->_label->_control._surface;
  tsurface_bring_to_front(surface);
  int32_t screen_width = tscreen_get_width(screen), screen_height = tscreen_get_height(screen);
  int32_t width = tsurface_get_width(surface), height = tsurface_get_height(surface);
  if (x == -1) x = (screen_width - width) / 2;
  if (y == -1) y = (screen_height - height) / 2;
  x = std::max(x, 0);
  y = std::max(y, 0);
  if (int64_t(x) + width > screen_width) x = screen_width - width - 2;
  if (int64_t(y) + height > screen_height) y = screen_height - height - 2;
  show_at(hint, x, y);
}

void thint_show_timed(thint *hint, int32_t x, int32_t y, int32_t ms) {
  PORT_CHECK(hint != nullptr);
  tscreen *screen = tscreen_get();
  PORT_CHECK(screen != nullptr);
  tsurface *surface = &hint->_label->_control._surface;
  tsurface_bring_to_front(surface);
  if (x == -1) x = (tscreen_get_width(screen) - tsurface_get_width(surface)) / 2;
  if (y == -1) y = (tscreen_get_height(screen) - tsurface_get_height(surface)) / 2;
  show_at(hint, x, y);
  if (ms == -1) return;
  stop_timer(hint);
  hint->_timer = wins_timer_start(uint32_t(std::max(ms, 0)), 0, on_timer, hint);
  // A hint whose time can never come would stay modal for good: it goes now.
  if (!hint->_timer) {
    expire(hint);
    return;
  }
  if (std::find(g_timed.begin(), g_timed.end(), hint) == g_timed.end()) g_timed.push_back(hint);
}

void thint_close_timed() {
  while (!g_timed.empty()) expire(g_timed.back());
}

tlabel *thint_get_label(const thint *hint) {
  PORT_CHECK(hint != nullptr);
  return hint->_label;
}

static void show_at(thint *hint, int32_t x, int32_t y) {
  tcontrol *control = &hint->_label->_control;
  tcontrol_move_to(control, x, y, 0);
  tsurface_take_modal(&control->_surface);
  tsurface_update(&control->_surface, nullptr);
}

static void on_timer(uint32_t, void *user_data) { expire(static_cast<thint *>(user_data)); }

// Frees the hint, then repaints the screen where it was.
static void expire(thint *hint) {
  trect area;
  tsurface_get_screen_rect(&hint->_label->_control._surface, &area);
  thint_free(hint);
  tscreen_paint(tscreen_get(), &area);
}

static void stop_timer(thint *hint) {
  if (!hint->_timer) return;
  wins_timer_stop(hint->_timer);
  hint->_timer = 0;
}
