// tcontrolbar: the soft-key bar of dialogs and menus: three buttons docked
// along one screen edge, answering the device's soft keys and action key as
// well as the pen.
//
//   button  key     user data   place (bottom or top bar / side bar)
//   left    0xF821  1           left, 100 wide / bottom, 40 high
//   middle  0xF823  2           the whole bar, beneath the other two
//   right   0xF822  0           right, 100 wide / top, 40 high
//
// Owns its three buttons. The click callback gets the clicked button's user
// data; it is the last thing the bar does, so it may free the bar. A hidden
// button is not drawn; shown again, it is drawn when the bar is next drawn.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbutton.h"
#include "tcontrol.h"

struct tcontrolbar;

typedef void (*tcontrolbar_click_fn)(tcontrolbar *bar, intptr_t user_data);
typedef void (*tcontrolbar_layout_fn)(tcontrolbar *bar, int32_t position);

enum {
  TCONTROLBAR_BOTTOM = 0,
  TCONTROLBAR_RIGHT = 1,
  TCONTROLBAR_LEFT = 2,
  TCONTROLBAR_TOP = 3,
};

constexpr uint32_t TCONTROLBAR_LEFT_KEY = 0xF821;
constexpr uint32_t TCONTROLBAR_RIGHT_KEY = 0xF822;
constexpr uint32_t TCONTROLBAR_MIDDLE_KEY = 0xF823;

struct tcontrolbar {
  tcontrol _control;
  int32_t _position;
  tbutton *_left, *_middle, *_right;
  int32_t _side_width;    // docked left or right: 100
  int32_t _edge_height;   // docked top or bottom: 40
  tcontrolbar_click_fn _on_click;
  tcontrolbar_layout_fn _on_layout;
  uint8_t _unpainted;  // buttons left undrawn while hidden: 1 left, 2 middle, 4 right
};

static_assert(std::is_standard_layout_v<tcontrolbar>, "control bars are cast to their control");

int tcontrolbar_init(tcontrolbar *bar, tcontrol *parent, const trect *rect, void *owner);
tcontrolbar *tcontrolbar_new(tcontrol *parent, const trect *rect, void *owner);
void tcontrolbar_deinit(tcontrolbar *bar);
void tcontrolbar_free(tcontrolbar *bar);

// Stores the position and docks the bar and its buttons for it.
void tcontrolbar_set_position(tcontrolbar *bar, int32_t position);
int32_t tcontrolbar_get_position(const tcontrolbar *bar);
tbutton *tcontrolbar_get_left_button(const tcontrolbar *bar);
tbutton *tcontrolbar_get_middle_button(const tcontrolbar *bar);
tbutton *tcontrolbar_get_right_button(const tcontrolbar *bar);
void tcontrolbar_set_on_click(tcontrolbar *bar, tcontrolbar_click_fn fn);
void tcontrolbar_set_on_layout(tcontrolbar *bar, tcontrolbar_layout_fn fn);
