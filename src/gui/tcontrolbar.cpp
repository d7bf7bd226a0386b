// tcontrolbar: three soft-key buttons docked along a screen edge.
#include "tcontrolbar.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "port_log.h"
#include "tstyler.h"

namespace {

// Per position: the bar's alignment, the left, middle and right buttons'
// alignments and the text alignment of the left and right captions.
struct docking {
  int32_t bar, left, middle, right;
  uint32_t left_text, right_text;
};

constexpr docking k_docking[] = {
    {TCONTROL_ALIGN_BOTTOM, TCONTROL_ALIGN_LEFT, TCONTROL_ALIGN_FILL, TCONTROL_ALIGN_RIGHT, 7, 3},  // bottom
    {TCONTROL_ALIGN_RIGHT, TCONTROL_ALIGN_BOTTOM, TCONTROL_ALIGN_FILL, TCONTROL_ALIGN_TOP, 3, 3},   // right
    {TCONTROL_ALIGN_LEFT, TCONTROL_ALIGN_BOTTOM, TCONTROL_ALIGN_FILL, TCONTROL_ALIGN_TOP, 7, 7},    // left
    {TCONTROL_ALIGN_TOP, TCONTROL_ALIGN_LEFT, TCONTROL_ALIGN_FILL, TCONTROL_ALIGN_RIGHT, 7, 3},     // top
};

}  // namespace

static tcontrolbar *bar_of(tcontrol *control);
static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect);
static void on_layout(tcontrol *control, const trect *rect);
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers);
static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers);
static int32_t child_count(tcontrol *control);
static tcontrol *child_at(tcontrol *control, int32_t index);
static void on_button_click(tbutton *button, intptr_t user_data);
static void draw_button(tsurface *surface, tcanvas *canvas, const trect *rect);
static uint8_t button_bit(const tcontrolbar *bar, const tsurface *surface);
static void lay_out(tcontrolbar *bar);
static void dock(tcontrol *control, int32_t align, int32_t size);
static void set_text_alignment(tbutton *button, uint32_t alignment);

int tcontrolbar_init(tcontrolbar *bar, tcontrol *parent, const trect *rect, void *owner) {
  PORT_CHECK(bar != nullptr);
  std::memset(bar, 0, sizeof *bar);
  if (!tcontrol_init(&bar->_control, parent, rect, owner)) return 0;
  bar->_side_width = 100;
  bar->_edge_height = 40;
  const trect button_rect = {0, 0, 99, 39};
  struct {
    tbutton **slot;
    intptr_t user_data;
    uint32_t key;
  } const buttons[] = {
      {&bar->_left, 1, TCONTROLBAR_LEFT_KEY},
      {&bar->_middle, 2, TCONTROLBAR_MIDDLE_KEY},
      {&bar->_right, 0, TCONTROLBAR_RIGHT_KEY},
  };
  for (const auto &b : buttons) {
    *b.slot = tbutton_new(&bar->_control, &button_rect, nullptr, b.user_data, bar);
    if (!*b.slot) {
      tcontrolbar_deinit(bar);
      return 0;
    }
    tbutton_set_key(*b.slot, b.key);
    tbutton_set_on_click(*b.slot, on_button_click);
    tsurface_set_on_paint(&(*b.slot)->_control._surface, draw_button);
  }
  lay_out(bar);
  tcontrol *control = &bar->_control;
  tcontrol_set_on_paint(control, on_paint);
  tcontrol_set_on_layout(control, on_layout);
  tcontrol_set_children_fns(control, child_count, child_at);
  tcontrol_set_on_key(control, on_key);
  tcontrol_set_on_pen(control, on_pen);
  tstyler_apply(tstyler_get_default(), bar, TSTYLE_CONTROLBAR, owner, 0);
  return 1;
}

tcontrolbar *tcontrolbar_new(tcontrol *parent, const trect *rect, void *owner) {
  tcontrolbar *bar = static_cast<tcontrolbar *>(std::calloc(1, sizeof(tcontrolbar)));
  if (!bar) return nullptr;
  if (!tcontrolbar_init(bar, parent, rect, owner)) {
    std::free(bar);
    return nullptr;
  }
  return bar;
}

void tcontrolbar_deinit(tcontrolbar *bar) {
  PORT_CHECK(bar != nullptr);
  for (tbutton *button : {bar->_left, bar->_middle, bar->_right})
    if (button) tbutton_free(button);
  tcontrol_deinit(&bar->_control);
  std::memset(reinterpret_cast<uint8_t *>(bar) + sizeof(tcontrol), 0, sizeof *bar - sizeof(tcontrol));
}

void tcontrolbar_free(tcontrolbar *bar) {
  PORT_CHECK(bar != nullptr);
  tcontrolbar_deinit(bar);
  std::free(bar);
}

void tcontrolbar_set_position(tcontrolbar *bar, int32_t position) {
  PORT_CHECK(bar != nullptr);
  bar->_position = position;
  lay_out(bar);
}

int32_t tcontrolbar_get_position(const tcontrolbar *bar) {
  PORT_CHECK(bar != nullptr);
  return bar->_position;
}

tbutton *tcontrolbar_get_left_button(const tcontrolbar *bar) {
  PORT_CHECK(bar != nullptr);
  return bar->_left;
}

tbutton *tcontrolbar_get_middle_button(const tcontrolbar *bar) {
  PORT_CHECK(bar != nullptr);
  return bar->_middle;
}

tbutton *tcontrolbar_get_right_button(const tcontrolbar *bar) {
  PORT_CHECK(bar != nullptr);
  return bar->_right;
}

void tcontrolbar_set_on_click(tcontrolbar *bar, tcontrolbar_click_fn fn) {
  PORT_CHECK(bar != nullptr);
  bar->_on_click = fn;
}

void tcontrolbar_set_on_layout(tcontrolbar *bar, tcontrolbar_layout_fn fn) {
  PORT_CHECK(bar != nullptr);
  bar->_on_layout = fn;
}

static tcontrolbar *bar_of(tcontrol *control) { return reinterpret_cast<tcontrolbar *>(control); }

// A button shown since its drawing was left out catches up before the bar
// composes it.
static void on_paint(tcontrol *control, tcanvas *canvas, const trect *rect) {
  tcontrolbar *bar = bar_of(control);
  tbdrawer_draw(control->_bdrawer, canvas, rect);
  for (tbutton *button : {bar->_left, bar->_middle, bar->_right}) {
    tsurface *surface = &button->_control._surface;
    if ((bar->_unpainted & button_bit(bar, surface)) && tsurface_is_visible(surface)) tsurface_paint(surface);
  }
}

// Drawing a hidden button (menus hide the middle one) would be thrown away:
// it is only noted.
static void draw_button(tsurface *surface, tcanvas *canvas, const trect *rect) {
  tcontrolbar *bar = static_cast<tcontrolbar *>(tsurface_get_owner(surface));
  uint8_t bit = button_bit(bar, surface);
  if (!tsurface_is_visible(surface)) {
    bar->_unpainted |= bit;
    return;
  }
  bar->_unpainted &= uint8_t(~bit);
  tcontrol_on_paint(surface, canvas, rect);
}

static uint8_t button_bit(const tcontrolbar *bar, const tsurface *surface) {
  if (bar->_left && surface == &bar->_left->_control._surface) return 1;
  return bar->_middle && surface == &bar->_middle->_control._surface ? 2 : 4;
}

static void on_layout(tcontrol *control, const trect *) { tsurface_update(&control->_surface, nullptr); }

// A button that takes the key may have clicked and freed the bar with it:
// nothing is touched after it answers.
static int on_key(tcontrol *control, uint32_t code, uint32_t repeat, uint32_t modifiers) {
  tcontrolbar *bar = bar_of(control);
  for (tbutton *button : {bar->_left, bar->_right, bar->_middle})
    if (tcontrol_handle_key(&button->_control, code, repeat, modifiers)) return 1;
  return 0;
}

static int on_pen(tcontrol *control, int type, int32_t x, int32_t y, uint32_t modifiers) {
  tcontrolbar *bar = bar_of(control);
  const trect *r = tsurface_get_rect(&control->_surface);
  int32_t bx = x - r->x1, by = y - r->y1;
  for (tbutton *button : {bar->_left, bar->_right, bar->_middle})
    if (tcontrol_handle_pen(&button->_control, type, bx, by, modifiers)) return 1;
  return 0;
}

// The middle first, so that the two soft keys lie above it.
static int32_t child_count(tcontrol *) { return 3; }

static tcontrol *child_at(tcontrol *control, int32_t index) {
  tcontrolbar *bar = bar_of(control);
  tbutton *children[] = {bar->_middle, bar->_left, bar->_right};
  return index >= 0 && index < 3 ? &children[index]->_control : nullptr;
}

static void on_button_click(tbutton *button, intptr_t user_data) {
  tcontrolbar *bar = static_cast<tcontrolbar *>(tsurface_get_owner(&button->_control._surface));
  if (bar->_on_click) bar->_on_click(bar, user_data);
}

static void lay_out(tcontrolbar *bar) {
  int32_t position = bar->_position;
  if (position >= TCONTROLBAR_BOTTOM && position <= TCONTROLBAR_TOP) {
    const docking &d = k_docking[position];
    bool across = position == TCONTROLBAR_BOTTOM || position == TCONTROLBAR_TOP;
    dock(&bar->_control, d.bar, across ? bar->_edge_height : bar->_side_width);
    for (tbutton *button : {bar->_left, bar->_right})
      dock(&button->_control, button == bar->_left ? d.left : d.right, across ? 100 : 40);
    tcontrol_set_align(&bar->_middle->_control, d.middle);
    set_text_alignment(bar->_left, d.left_text);
    set_text_alignment(bar->_right, d.right_text);
  }
  if (bar->_on_layout) bar->_on_layout(bar, position);
  for (tbutton *button : {bar->_left, bar->_middle, bar->_right}) tsurface_paint(&button->_control._surface);
}

// Aligns a control along one side of its parent with the given width (left,
// right) or height (top, bottom), as aligning it and then sizing it would,
// but setting its rect once: each size between would make a buffer only to
// throw it away.
static void dock(tcontrol *control, int32_t align, int32_t size) {
  trect p;
  tcontrol_get_parent_client_rect(control, &p);
  int32_t x = p.x1, y = p.y1, width = p.x2 - p.x1 + 1, height = p.y2 - p.y1 + 1;
  switch (align) {
    case TCONTROL_ALIGN_LEFT: width = size; break;
    case TCONTROL_ALIGN_RIGHT: x = p.x2 - size + 1, width = size; break;
    case TCONTROL_ALIGN_TOP: height = size; break;
    case TCONTROL_ALIGN_BOTTOM: y = p.y2 - size + 1, height = size; break;
    default: break;
  }
  control->_align = align;
  tsurface_set_rect(&control->_surface, x, y, width, height);
  tcontrol_set_anchors(control, align != TCONTROL_ALIGN_RIGHT, align != TCONTROL_ALIGN_BOTTOM,
                       align != TCONTROL_ALIGN_LEFT, align != TCONTROL_ALIGN_TOP);
}

static void set_text_alignment(tbutton *button, uint32_t alignment) {
  for (ttdrawer *drawer : button->_tdrawers) ttdrawer_set_alignment(drawer, alignment);
}
