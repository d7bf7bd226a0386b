// tlinklabel: a blue, underlined label that carries a URL and calls its owner
// when tapped (pen up inside it). Owns its copy of the URL.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tlabel.h"

struct tlinklabel;

typedef void (*tlinklabel_click_fn)(tlinklabel *link);

struct tlinklabel {
  tlabel _label;
  char16_t *_url;  // NUL-ended, never null after init
  tlinklabel_click_fn _on_click;
};

static_assert(std::is_standard_layout_v<tlinklabel>, "link labels are cast to their label");

// A null URL is empty. 0 when the label or the URL copy cannot be made.
int tlinklabel_init(tlinklabel *link, tcontrol *parent, const trect *rect, const char16_t *text, int32_t length,
                    const char16_t *url, int32_t mode, void *owner);
tlinklabel *tlinklabel_new(tcontrol *parent, const trect *rect, const char16_t *text, int32_t length,
                           const char16_t *url, int32_t mode, void *owner);
void tlinklabel_deinit(tlinklabel *link);
void tlinklabel_free(tlinklabel *link);
void tlinklabel_set_on_click(tlinklabel *link, tlinklabel_click_fn fn);
const char16_t *tlinklabel_get_url(const tlinklabel *link);
