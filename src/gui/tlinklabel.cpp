// tlinklabel: a label with a URL that answers a tap.
#include "tlinklabel.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "port_log.h"
#include "tscreen.h"
#include "tstyler.h"

static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static int always_focusable(tcontrol *control);

int tlinklabel_init(tlinklabel *link, tcontrol *parent, const trect *rect, const char16_t *text, int32_t length,
                    const char16_t *url, int32_t mode, void *owner) {
  PORT_CHECK(link != nullptr);
  std::memset(link, 0, sizeof *link);
  if (!tlabel_init(&link->_label, parent, rect, text, length, mode, owner)) return 0;
  size_t units = url ? std::char_traits<char16_t>::length(url) : 0;
  link->_url = static_cast<char16_t *>(std::calloc(units + 1, sizeof(char16_t)));
  if (!link->_url) {
    tlabel_deinit(&link->_label);
    return 0;
  }
  if (units) std::memcpy(link->_url, url, units * sizeof(char16_t));
  ttdrawer *drawer = tlabel_get_tdrawer(&link->_label);
  ttdrawer_set_color(drawer, tcolor_rgba(0, 0, 255));
  ttdrawer_set_font_style(drawer, TCANVAS_FONT_UNDERLINE);
  tcontrol *control = &link->_label._control;
  tcontrol_set_focusable_test(control, always_focusable);
  tcontrol_set_on_pen(control, on_pen);
  tstyler_apply(tstyler_get_default(), link, TSTYLE_LINKLABEL, owner, 0);
  return 1;
}

tlinklabel *tlinklabel_new(tcontrol *parent, const trect *rect, const char16_t *text, int32_t length,
                           const char16_t *url, int32_t mode, void *owner) {
  tlinklabel *link = static_cast<tlinklabel *>(std::calloc(1, sizeof(tlinklabel)));
  if (!link) return nullptr;
  if (!tlinklabel_init(link, parent, rect, text, length, url, mode, owner)) {
    std::free(link);
    return nullptr;
  }
  return link;
}

void tlinklabel_deinit(tlinklabel *link) {
  PORT_CHECK(link != nullptr);
  std::free(link->_url);
  link->_url = nullptr;
  link->_on_click = nullptr;
  tlabel_deinit(&link->_label);
}

void tlinklabel_free(tlinklabel *link) {
  PORT_CHECK(link != nullptr);
  tlinklabel_deinit(link);
  std::free(link);
}

void tlinklabel_set_on_click(tlinklabel *link, tlinklabel_click_fn fn) {
  PORT_CHECK(link != nullptr);
  link->_on_click = fn;
}

const char16_t *tlinklabel_get_url(const tlinklabel *link) {
  PORT_CHECK(link != nullptr);
  return link->_url;
}

// Down and up inside are taken, moves are not; the tap is the pen up.
static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t) {
  tlinklabel *link = reinterpret_cast<tlinklabel *>(control);
  const trect *r = tsurface_get_rect(&control->_surface);
  if (x < r->x1 || x >= r->x2 || y < r->y1 || y >= r->y2) return 0;
  if (type == TSCREEN_PEN_DOWN) return 1;
  if (type != TSCREEN_PEN_UP) return 0;
  // The owner may free the link label here.
  if (link->_on_click) link->_on_click(link);
  return 1;
}

static int always_focusable(tcontrol *) { return 1; }
