// Lays arbitrary pages out with the help renderer at two widths on
// fixed-advance metrics, then frees every control it made. Layout must end
// at any width (0 and below included), stay inside the text, and leave
// nothing behind (ASan).
//
// Input: byte 0 is the narrow form's width (0-255 pixels; the content width
// is 20 less); the rest is the page. The wide form is 480 pixels.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_port.h"
#include "html_render.h"
#include "tbitmap.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tlinklabel.h"
#include "tseperator.h"
#include "tstyler.h"
#include "wins_graphics.h"

namespace {

struct made {
  std::vector<tcontrol *> controls;
  std::vector<void (*)(tcontrol *)> frees;
};

made *made_of(html_render *render) { return static_cast<made *>(html_render_get_user_data(render)); }

void keep(html_render *render, tcontrol *control, void (*free_fn)(tcontrol *)) {
  made_of(render)->controls.push_back(control);
  made_of(render)->frees.push_back(free_fn);
}

void on_label(html_render *render, tlabel *label) {
  if (label->_length < 1 || label->_text[label->_length] != 0) std::abort();
  keep(render, &label->_control, [](tcontrol *c) { tlabel_free(reinterpret_cast<tlabel *>(c)); });
}
void on_link(html_render *render, tlinklabel *link) {
  keep(render, &link->_label._control, [](tcontrol *c) { tlinklabel_free(reinterpret_cast<tlinklabel *>(c)); });
}
void on_rule(html_render *render, tseperator *rule) {
  keep(render, &rule->_control, [](tcontrol *c) { tseperator_free(reinterpret_cast<tseperator *>(c)); });
}
void on_image(html_render *render, timage *image, const char16_t *) {
  keep(render, &image->_control, [](tcontrol *c) { timage_free(reinterpret_cast<timage *>(c)); });
}

void lay_out(int32_t width, const char *page, uint32_t length) {
  trect rect = {0, 0, width - 1, 99};
  tform *form = tform_new(nullptr, &rect, nullptr);
  if (!form) return;
  made controls;
  html_render *render = html_render_new(form, &controls);
  if (render) {
    html_render_set_on_title(render, [](html_render *, const char16_t *) {});
    html_render_set_on_add_label(render, on_label);
    html_render_set_on_add_linklabel(render, on_link);
    html_render_set_on_add_seperator(render, on_rule);
    html_render_set_on_add_image(render, on_image);
    html_render_parse(render, page, length);
    html_render_free(render);
  }
  tform_clear_children(form);
  for (size_t i = 0; i < controls.controls.size(); i++) controls.frees[i](controls.controls[i]);
  tform_free(form);
}

int start() {
  if (!tstyler_load_defaults()) return 0;
  wins_graphics_set_fixed_metrics(1);
  tbitmap_set_budget(4u << 20);
  return 1;
}

void render_pages(const uint8_t *data, size_t size) {
  if (size < 1) return;
  const char *page = reinterpret_cast<const char *>(data + 1);
  uint32_t length = uint32_t(size - 1);
  lay_out(data[0], page, length);
  lay_out(480, page, length);
}

const fuzz_port_target k_target = {"brivola-html-render-fuzz", "480x640", start, render_pages};

}  // namespace

int main(int argc, char **argv) { return fuzz_port_main(argc, argv, &k_target); }
