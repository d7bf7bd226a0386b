// thick_menu: the line-width menu with its previews.
#include "thick_menu.h"

#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app_common.h"
#include "port_log.h"
#include "tcontrolbar.h"
#include "tlistbox.h"
#include "tlistcolumn.h"
#include "tmenu.h"

namespace {

// The large class offers 52 in the last row but shows it with the 48 preview.
constexpr int32_t k_large_widths[THICK_MENU_ROWS] = {1, 2, 4, 6, 10, 14, 18, 24, 30, 36, 44, 52};
constexpr int32_t k_large_previews[THICK_MENU_ROWS] = {1, 2, 4, 6, 10, 14, 18, 24, 30, 36, 44, 48};
constexpr int32_t k_widths[THICK_MENU_ROWS] = {1, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 24};
constexpr double k_stroke_y = 15, k_stroke_from = 12, k_stroke_to = 88;
constexpr double k_large_stroke_from = 24, k_large_stroke_to = 76;
constexpr int32_t k_item_height_small = 24, k_item_height_large = 56;
constexpr int32_t k_image_column = 120;
constexpr int32_t k_number_inset = 8, k_number_inset_small = 4;
constexpr int32_t k_scrollbar_small = 5, k_scrollbar = 10, k_scroll_steps = 2;

void fill_items(tmenu *menu, int32_t x, int32_t y);
void on_select(uint32_t id, void *user_data);

}  // namespace

thick_menu *thick_menu_new() {
  thick_menu *menu = static_cast<thick_menu *>(std::calloc(1, sizeof(thick_menu)));
  if (!menu) return nullptr;
  int large = app_common_is_vga();
  bool made = true;
  for (int row = 0; row < THICK_MENU_ROWS && made; row++) {
    menu->_masks[row] = thick_menu_make_preview(thick_menu_preview_width_at(large, row), large);
    made = menu->_masks[row] != nullptr;
  }
  if (made) menu->_image = tbitmap_new(THICK_MENU_PREVIEW_WIDTH, -THICK_MENU_PREVIEW_HEIGHT, 24);
  if (!menu->_image) {
    thick_menu_free(menu);
    return nullptr;
  }
  tbitmap_fill_rect(menu->_image, 0, 0, THICK_MENU_PREVIEW_WIDTH - 1, THICK_MENU_PREVIEW_HEIGHT - 1, 0xFF000000u);
  return menu;
}

void thick_menu_free(thick_menu *menu) {
  PORT_CHECK(menu != nullptr);
  for (tbitmap *mask : menu->_masks)
    if (mask) tbitmap_free(mask);
  if (menu->_image) tbitmap_free(menu->_image);
  std::free(menu);
}

void thick_menu_show(thick_menu *menu, uint8_t *width, int32_t x, int32_t y) {
  PORT_CHECK(menu != nullptr && width != nullptr);
  menu->_width = width;
  tmenu *popup = tmenu_new(menu);
  if (!popup) return;
  int small = app_common_is_qvga(), large = app_common_is_vga();
  tsurface_set_visible(&reinterpret_cast<tcontrol *>(tmenu_get_controlbar(popup))->_surface, 0);
  if (small) tmenu_set_item_height(popup, k_item_height_small);
  if (large) tmenu_set_item_height(popup, k_item_height_large);
  tmenu_set_dim_background(popup, 1);
  tlistbox *list = tmenu_get_listbox(popup);
  tlistbox_set_smooth_scroll(list, 1);
  tlistbox_set_scroll_steps(list, k_scroll_steps);
  if (tlistbox_add_column(list, TLISTCOLUMN_IMAGE, u"thick", k_image_column))
    tlistbox_set_column_from_right(list, tlistbox_get_column_count(list) - 1, 1);
  // An empty column (no row has a field for it) left of the numbers: without
  // it they touched the list's frame, and the selected one the selection's.
  tlistbox_add_column(list, TLISTCOLUMN_IMAGE, u"inset", small ? k_number_inset_small : k_number_inset);
  tlistbox_set_scrollbar_width(list, small ? k_scrollbar_small : k_scrollbar);
  for (tbitmap *mask : menu->_masks) tlistbox_add_image(list, menu->_image, mask);
  tmenu_set_on_popup(popup, fill_items);
  tmenu_set_on_select(popup, on_select);
  tmenu_popup(popup, x, y);
}

int32_t thick_menu_width_at(int large, int row) {
  PORT_CHECK(row >= 0 && row < THICK_MENU_ROWS);
  return large ? k_large_widths[row] : k_widths[row];
}

int32_t thick_menu_preview_width_at(int large, int row) {
  PORT_CHECK(row >= 0 && row < THICK_MENU_ROWS);
  return large ? k_large_previews[row] : k_widths[row];
}

int32_t thick_menu_row_of(int large, int32_t width) {
  if (!large) return std::clamp(width / 2, int32_t(0), int32_t(THICK_MENU_ROWS - 1));
  if (width == 1) return 0;
  if (width == 2) return 1;
  if (width >= 3 && width <= 4) return 2;
  if (width >= 5 && width <= 8) return 3;
  if (width >= 9 && width <= 13) return 4;
  if (width == 14) return 5;
  if (width >= 15 && width <= 18) return 6;
  if (width == 30) return 8;
  if (width == 36) return 9;
  if (width == 44) return 10;
  if (width == 52) return 11;
  return 7;
}

// cairo draws straight into the mask's rows: a top-down 8-bit bitmap whose
// stride is the one cairo asks for at this width.
tbitmap *thick_menu_make_preview(int32_t w, int large) {
  int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, THICK_MENU_PREVIEW_WIDTH);
  tbitmap *mask = tbitmap_new(THICK_MENU_PREVIEW_WIDTH, -THICK_MENU_PREVIEW_HEIGHT, 8);
  if (!mask) return nullptr;
  if (int(tbitmap_get_stride(mask)) != stride) {
    tbitmap_free(mask);
    return nullptr;
  }
  uint8_t *pixels = tbitmap_get_row(mask, 0);
  std::fill(pixels, pixels + size_t(stride) * THICK_MENU_PREVIEW_HEIGHT, uint8_t(0));
  cairo_surface_t *surface = cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_A8, THICK_MENU_PREVIEW_WIDTH,
                                                                 THICK_MENU_PREVIEW_HEIGHT, stride);
  cairo_t *cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, w);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, large ? k_large_stroke_from : k_stroke_from, k_stroke_y);
  cairo_line_to(cr, large ? k_large_stroke_to : k_stroke_to, k_stroke_y);
  cairo_stroke(cr);
  bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  if (!drawn) {
    tbitmap_free(mask);
    return nullptr;
  }
  return mask;
}

namespace {

// Each row: the width, no menu image, then the preview as the "thick"
// column's image; the row of the current width comes selected.
void fill_items(tmenu *menu, int32_t, int32_t) {
  thick_menu *owner = static_cast<thick_menu *>(tsurface_get_owner(&menu->_control._surface));
  tlistbox *list = tmenu_get_listbox(menu);
  if (tlistbox_get_count(list) > 0) return;
  int large = app_common_is_vga();
  for (int row = 0; row < THICK_MENU_ROWS; row++) {
    int32_t width = thick_menu_width_at(large, row);
    char ascii[24];
    int length = std::snprintf(ascii, sizeof ascii, "%d/-1/%d", int(width), row);
    char16_t text[24];
    for (int i = 0; i <= length; i++) text[i] = char16_t(ascii[i]);
    tmenu_add_item(menu, text, uint32_t(width), 0, 0, owner);
  }
  tlistbox_set_selected(list, thick_menu_row_of(large, owner->_width ? *owner->_width : 0));
}

void on_select(uint32_t id, void *user_data) {
  thick_menu *menu = static_cast<thick_menu *>(user_data);
  if (menu->_width) *menu->_width = uint8_t(id);
}

}  // namespace
