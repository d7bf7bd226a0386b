// tlistcolumn: a list box column's drawers, title and widths.
#include "tlistcolumn.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "port_log.h"
#include "tstyler.h"

constexpr tcolor WHITE = tcolor_rgba(255, 255, 255);

tlistcolumn *tlistcolumn_new(int32_t type, const char16_t *title, int32_t width) {
  // A column made before the style set has nothing to copy its drawers from.
  const ttdrawer *text = tstyler_get_default_tdrawer();
  const tidrawer *image = tstyler_get_default_idrawer();
  PORT_CHECK(text != nullptr && image != nullptr);
  tlistcolumn *column = static_cast<tlistcolumn *>(std::calloc(1, sizeof(tlistcolumn)));
  if (!column) return nullptr;
  column->_type = type;
  column->_width = width;
  tlistcolumn_set_title(column, title);
  column->_tdrawer = ttdrawer_copy(text);
  column->_second_tdrawer = ttdrawer_copy(text);
  column->_selected_tdrawer = ttdrawer_copy(text);
  column->_idrawer = tidrawer_copy(image);
  column->_second_idrawer = tidrawer_copy(image);
  column->_selected_idrawer = tidrawer_copy(image);
  if (!column->_tdrawer || !column->_second_tdrawer || !column->_selected_tdrawer || !column->_idrawer ||
      !column->_second_idrawer || !column->_selected_idrawer) {
    tlistcolumn_free(column);
    return nullptr;
  }
  ttdrawer_set_color(column->_second_tdrawer, WHITE);
  ttdrawer_set_color(column->_selected_tdrawer, WHITE);
  return column;
}

void tlistcolumn_free(tlistcolumn *column) {
  PORT_CHECK(column != nullptr);
  for (ttdrawer *drawer : {column->_tdrawer, column->_second_tdrawer, column->_selected_tdrawer})
    if (drawer) ttdrawer_free(drawer);
  for (tidrawer *drawer : {column->_idrawer, column->_second_idrawer, column->_selected_idrawer})
    if (drawer) tidrawer_free(drawer);
  std::free(column);
}

void tlistcolumn_set_title(tlistcolumn *column, const char16_t *title) {
  PORT_CHECK(column != nullptr);
  std::memset(column->_title, 0, sizeof column->_title);
  for (int i = 0; title && i < TLISTCOLUMN_TITLE_UNITS - 1 && title[i]; i++) column->_title[i] = title[i];
}

void tlistitems_set_column_width(tlistcolumn *column, int32_t width) {
  PORT_CHECK(column != nullptr);
  column->_width = width;
}

void tlistcolumn_set_from_right(tlistcolumn *column, uint32_t from_right) {
  PORT_CHECK(column != nullptr);
  column->_from_right = from_right;
}

void tlistcolumn_set_layout(tlistcolumn *column, int32_t x, int32_t width) {
  PORT_CHECK(column != nullptr);
  column->_x = x;
  column->_laid_out_width = width;
}

int32_t tlistcolumn_get_type(const tlistcolumn *column) {
  PORT_CHECK(column != nullptr);
  return column->_type;
}

int32_t tlistcolumn_get_x(const tlistcolumn *column) {
  PORT_CHECK(column != nullptr);
  return column->_x;
}

int32_t tlistcolumn_get_width(const tlistcolumn *column) {
  PORT_CHECK(column != nullptr);
  return column->_laid_out_width;
}

ttdrawer *tlistcolumn_get_text_drawer(const tlistcolumn *column) {
  PORT_CHECK(column != nullptr);
  return column->_tdrawer;
}

ttdrawer *tlistcolumn_get_second_text_drawer(const tlistcolumn *column) {
  PORT_CHECK(column != nullptr);
  return column->_second_tdrawer;
}

ttdrawer *tlistcolumn_get_selected_text_drawer(const tlistcolumn *column) {
  PORT_CHECK(column != nullptr);
  return column->_selected_tdrawer;
}

tidrawer *tlistcolumn_get_image_drawer(const tlistcolumn *column) {
  PORT_CHECK(column != nullptr);
  return column->_idrawer;
}

tidrawer *tlistcolumn_get_second_image_drawer(const tlistcolumn *column) {
  PORT_CHECK(column != nullptr);
  return column->_second_idrawer;
}

tidrawer *tlistcolumn_get_selected_image_drawer(const tlistcolumn *column) {
  PORT_CHECK(column != nullptr);
  return column->_selected_idrawer;
}
