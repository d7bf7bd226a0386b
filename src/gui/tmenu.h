// tmenu: the pop-up menu: a see-through full-screen control holding a list
// box of items placed near a point and a soft-key bar with "Select" and
// "Cancel". Items may open submenus, which chain to their parent. While open
// a menu is the screen's modal surface and takes every key and pen event; it
// frees itself when it closes and reports a chosen item through the select
// callback, after every menu of the chain is gone. Popping up takes the
// modal slot with tsurface_take_modal: what it covered (a dialog, the parent
// menu) has it again once the menu has gone.
//
// Owns its list, its bar and one tmenu_item per row (the row's user data).
// The owner never frees a menu it popped up: closing does.
// Invariants:
// - a menu has at most one open submenu: opening another closes it first;
// - a submenu's parent is open for as long as the submenu is: closing or
//   freeing a menu closes its open submenu first;
// - a parent's open-submenu pointer is cleared before the submenu is freed.
#pragma once

#include <cstdint>
#include <type_traits>

#include "tcontrol.h"
#include "tcontrolbar.h"
#include "tlistbox.h"

struct tmenu;

struct tmenu_item {
  uint32_t _id;
  uint8_t _has_submenu;
  uint8_t _separator_above;
  void *_user_data;  // for an item with a submenu: the submenu's owner word
};

// Runs before every pop-up (submenus inherit it), so the owner can fill it.
typedef void (*tmenu_popup_fn)(tmenu *menu, int32_t x, int32_t y);
// The chosen item; every menu of the chain is freed by then.
typedef void (*tmenu_select_fn)(uint32_t id, void *user_data);

struct tmenu {
  tcontrol _control;
  tcontrolbar *_bar;
  tlistbox *_list;
  uint8_t _dim;
  tcolor _dim_color;
  int32_t _popup_x, _popup_y;  // -1: placed automatically
  int32_t _item_height;
  uint8_t _is_submenu;
  uint32_t _parent_item_id;
  tmenu *_parent;
  tmenu *_submenu;  // open from this one, or null
  tmenu_popup_fn _on_popup;
  tmenu_select_fn _on_select;
  int32_t _docked_width, _docked_height;  // the menu's size at the bar's last docking
};

static_assert(std::is_standard_layout_v<tmenu>, "a menu is cast to its control");

int tmenu_init(tmenu *menu, void *owner);
tmenu *tmenu_new(void *owner);
void tmenu_deinit(tmenu *menu);
void tmenu_free(tmenu *menu);

// Appends a row of the menu's item height; the item, or null (nothing added).
tmenu_item *tmenu_add_item(tmenu *menu, const char16_t *text, uint32_t id, int has_submenu, int separator_above,
                           void *user_data);
tmenu_item *tmenu_get_item(const tmenu *menu, int32_t index);
tlistbox *tmenu_get_listbox(const tmenu *menu);
tcontrolbar *tmenu_get_controlbar(const tmenu *menu);
void tmenu_set_item_height(tmenu *menu, int32_t height);
void tmenu_set_dim_background(tmenu *menu, int dim);
void tmenu_set_on_popup(tmenu *menu, tmenu_popup_fn fn);
void tmenu_set_on_select(tmenu *menu, tmenu_select_fn fn);

// Places the list at (x, y) (-1: next to the bar) and shows the menu modal.
int tmenu_popup(tmenu *menu, int32_t x, int32_t y);
// Closes (frees) this menu only, after its open submenu.
void tmenu_close(tmenu *menu);
// Closes every menu that is popped up, each chain from its leaf, without a
// choice: the program's tear-down, before the menus' owners go.
void tmenu_close_all();
