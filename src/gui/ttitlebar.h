// ttitlebar: a coloured strip with a centred title, docked at the top of a
// dialog's panel.
//
// Owns its background and text drawers and a copy of the title (at most 63
// UTF-16 units and a terminator).
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbdrawer.h"
#include "tcontrol.h"
#include "ttdrawer.h"

constexpr int TTITLEBAR_TITLE_UNITS = 64;  // 63 characters and the terminator

struct ttitlebar {
  tcontrol _control;
  tbdrawer *_background;
  ttdrawer *_text_drawer;
  char16_t _title[TTITLEBAR_TITLE_UNITS];
};

static_assert(std::is_standard_layout_v<ttitlebar>, "a title bar is cast to its control");

// title may be null (no title).
int ttitlebar_init(ttitlebar *tb, tcontrol *parent, const trect *rect, const char16_t *title, void *owner);
ttitlebar *ttitlebar_new(tcontrol *parent, const trect *rect, const char16_t *title, void *owner);
void ttitlebar_deinit(ttitlebar *tb);
void ttitlebar_free(ttitlebar *tb);

// Keeps at most 63 characters; null empties the title. No repaint.
void ttitlebar_set_title(ttitlebar *tb, const char16_t *title);
const char16_t *ttitlebar_get_title(const ttitlebar *tb);
ttdrawer *ttitlebar_get_text_drawer(const ttitlebar *tb);
tbdrawer *ttitlebar_get_background_drawer(const ttitlebar *tb);
