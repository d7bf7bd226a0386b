// tlistitem: a row string held as its fields.
#include "tlistitem.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "port_log.h"

tlistitem *tlistitem_new(const char16_t *text, void *user_data) {
  tlistitem *item = static_cast<tlistitem *>(std::calloc(1, sizeof(tlistitem)));
  if (!item) return nullptr;
  if (!tlistitem_set_text(item, text ? text : u"")) {
    std::free(item);
    return nullptr;
  }
  item->_user_data = user_data;
  return item;
}

void tlistitem_free(tlistitem *item) {
  PORT_CHECK(item != nullptr);
  std::free(item->_text);
  std::free(item);
}

int tlistitem_set_text(tlistitem *item, const char16_t *text) {
  PORT_CHECK(item != nullptr);
  if (!text) return 1;
  size_t size = (std::char_traits<char16_t>::length(text) + 1) * sizeof(char16_t);
  char16_t *copy = static_cast<char16_t *>(std::malloc(size));
  if (!copy) return 0;
  std::memcpy(copy, text, size);
  std::free(item->_text);
  item->_text = copy;
  trowstr_split(copy, item->_fields);
  return 1;
}

const char16_t *tlistitem_get_field(const tlistitem *item, int32_t index) {
  PORT_CHECK(item != nullptr);
  if (index < 0 || index >= TROWSTR_MAX_FIELDS) return nullptr;
  return item->_fields[index];
}

int32_t tlistitem_get_field_number(const tlistitem *item, int32_t index) {
  PORT_CHECK(item != nullptr);
  return trowstr_number(tlistitem_get_field(item, index));
}

void tlistitem_set_rect(tlistitem *item, const trect *rect) {
  PORT_CHECK(item != nullptr && rect != nullptr);
  item->_rect = *rect;
}
