// tbutton: the push button, also the toggle (checked), the soft keys of the
// control bar and the application's tool and command buttons. It draws a
// frame, an optional image and a caption by state (normal, focused, disabled,
// pressed or checked); it clicks on pen-up inside itself, and on a key press
// after showing the pressed look for 100 ms.
//
// Owns its three state frames (the normal frame is the control's box drawer),
// its image drawer and its four text drawers; borrows every image and mask.
//
// Invariants:
// - the click callback is the last thing any slot does: the owner may free
//   the button in it (a soft key closing its dialog);
// - the release timer's handle is 0 whenever no timer runs;
// - a key press clicks after its pressed look only while no dialog or menu
//   shown since the press is open: what it would click now lies under it.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tbdrawer.h"
#include "tcontrol.h"
#include "tidrawer.h"
#include "ttdrawer.h"

struct tbutton;

typedef void (*tbutton_click_fn)(tbutton *button, intptr_t user_data);
typedef void (*tbutton_notify_fn)(tbutton *button);
// A hook may clear *draw_default to suppress the default drawing of its part.
typedef void (*tbutton_draw_hook)(tbutton *button, tcanvas *canvas, const trect *rect, int *draw_default);

constexpr int TBUTTON_CAPTION_UNITS = 32;  // 31 characters and the terminator
constexpr uint32_t TBUTTON_ACTION_KEY = 0xF823;
constexpr uint32_t TBUTTON_PRESS_MS = 100;

// Indexes of the per-state images, masks and text drawers.
enum { TBUTTON_NORMAL = 0, TBUTTON_FOCUSED = 1, TBUTTON_DISABLED = 2, TBUTTON_PRESSED = 3 };

struct tbutton {
  tcontrol _control;
  tbdrawer *_focused_frame, *_disabled_frame, *_pressed_frame;
  tidrawer *_idrawer;
  trect _image_rect;
  tbitmap *_images[4];
  tbitmap *_masks[4];
  ttdrawer *_tdrawers[4];
  char16_t _caption[TBUTTON_CAPTION_UNITS];
  trect _text_rect;
  intptr_t _user_data;
  uint32_t _key;
  uint8_t _pressed, _checked, _no_redraw_on_release, _no_redraw_on_drag;
  uint8_t _no_redraw_on_press;  // the press callback shows the pressed look itself
  int32_t _image_position;  // 0 none, 1-8
  int32_t _image_percent;
  uint32_t _release_timer;
  uint32_t _press_popups;  // the screen's pop-up count when the key press began
  tbutton_click_fn _on_click;
  tbutton_notify_fn _on_press, _on_release;
  tbutton_draw_hook _draw_background, _draw_image, _draw_text, _draw_focus;
};

static_assert(std::is_standard_layout_v<tbutton>, "buttons are cast to their control");

// The control init's result; 0 also when a drawer cannot be copied.
int tbutton_init(tbutton *button, tcontrol *parent, const trect *rect, const char16_t *text, intptr_t user_data,
                 void *owner);
tbutton *tbutton_new(tcontrol *parent, const trect *rect, const char16_t *text, intptr_t user_data, void *owner);
void tbutton_deinit(tbutton *button);
void tbutton_free(tbutton *button);

// Keeps at most 31 characters; null leaves the caption as it is.
void tbutton_set_text(tbutton *button, const char16_t *text);
// mode 0 none, 1-8 (image and text halves or percent splits); percent 0-100.
void tbutton_set_image_position(tbutton *button, int32_t mode, int32_t percent);
void tbutton_set_image(tbutton *button, tbitmap *bitmap, tbitmap *mask);
void tbutton_set_focused_image(tbutton *button, tbitmap *bitmap, tbitmap *mask);
void tbutton_set_disabled_image(tbutton *button, tbitmap *bitmap, tbitmap *mask);
void tbutton_set_pressed_image(tbutton *button, tbitmap *bitmap, tbitmap *mask);

// Ends, without their click, the key presses still showing their pressed
// look on the buttons inside the top-level surface (a dialog that closes).
void tbutton_drop_pending_clicks(const tsurface *top_level);

void tbutton_set_on_click(tbutton *button, tbutton_click_fn fn);
void tbutton_set_on_press(tbutton *button, tbutton_notify_fn fn);
void tbutton_set_on_release(tbutton *button, tbutton_notify_fn fn);
void tbutton_set_key(tbutton *button, uint32_t code);
void tbutton_set_user_data(tbutton *button, intptr_t user_data);
intptr_t tbutton_get_user_data(const tbutton *button);
int tbutton_is_pressed(const tbutton *button);
void tbutton_set_checked(tbutton *button, int checked);
void tbutton_set_no_redraw_on_release(tbutton *button, int flag);
void tbutton_set_no_redraw_on_drag(tbutton *button, int flag);
// A pen-down leaves the repaint to the press callback (an owner with a
// cheaper way to show the button).
void tbutton_set_no_redraw_on_press(tbutton *button, int flag);
void tbutton_set_draw_hooks(tbutton *button, tbutton_draw_hook background, tbutton_draw_hook image,
                            tbutton_draw_hook text, tbutton_draw_hook focus_overlay);

tbdrawer *tbutton_get_box_drawer(const tbutton *button);
tbdrawer *tbutton_get_focused_box_drawer(const tbutton *button);
tbdrawer *tbutton_get_disabled_box_drawer(const tbutton *button);
tbdrawer *tbutton_get_pressed_box_drawer(const tbutton *button);
ttdrawer *tbutton_get_tdrawer(const tbutton *button);
ttdrawer *tbutton_get_focused_tdrawer(const tbutton *button);
ttdrawer *tbutton_get_disabled_tdrawer(const tbutton *button);
ttdrawer *tbutton_get_pressed_tdrawer(const tbutton *button);
