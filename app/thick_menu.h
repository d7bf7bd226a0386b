// thick_menu: the line-width menu: twelve widths, each with a preview of a
// stroke that wide, bound to the pen size or the eraser's width.
//
// Owns the twelve preview masks (100 x 30, 8 bits, the stroke's coverage)
// and the black preview image they are drawn through; borrows the width
// field it edits (the painting context's pen or rubber size). The pop-up
// menu frees itself when it closes.
#pragma once

#include <cstdint>

#include "tbitmap.h"

constexpr int THICK_MENU_ROWS = 12;
constexpr int32_t THICK_MENU_PREVIEW_WIDTH = 100, THICK_MENU_PREVIEW_HEIGHT = 30;

struct thick_menu {
  tbitmap *_masks[THICK_MENU_ROWS];
  tbitmap *_image;
  uint8_t *_width;  // the field a pick writes, or null
};

// Null when memory is lacking.
thick_menu *thick_menu_new();
void thick_menu_free(thick_menu *menu);
// Pops the menu up at (x, y) with the row of *width preselected; a pick
// writes its width into *width.
void thick_menu_show(thick_menu *menu, uint8_t *width, int32_t x, int32_t y);

// The widths offered, the preview stroke of each row, and the row
// preselected for a width, by screen class.
int32_t thick_menu_width_at(int large, int row);
int32_t thick_menu_preview_width_at(int large, int row);
int32_t thick_menu_row_of(int large, int32_t width);
// A preview mask of a stroke w wide (null when memory is lacking).
tbitmap *thick_menu_make_preview(int32_t w, int large);
