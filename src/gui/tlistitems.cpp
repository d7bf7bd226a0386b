// tlistitems: the row array, its growth, removal and the running tops.
#include "tlistitems.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "port_log.h"

constexpr int32_t GROW_SLOTS = 64;

static int32_t add_heights(int32_t a, int32_t b);

tlistitems *tlistitems_new() {
  tlistitems *items = static_cast<tlistitems *>(std::calloc(1, sizeof(tlistitems)));
  if (!items) return nullptr;
  items->_items = static_cast<tlistitem **>(std::calloc(GROW_SLOTS, sizeof(tlistitem *)));
  if (!items->_items) {
    std::free(items);
    return nullptr;
  }
  items->_capacity = GROW_SLOTS;
  return items;
}

void tlistitems_free(tlistitems *items) {
  PORT_CHECK(items != nullptr);
  tlistitems_clear(items);
  std::free(items->_items);
  std::free(items);
}

tlistitem *tlistitems_add(tlistitems *items, const char16_t *text, int32_t height, void *user_data) {
  PORT_CHECK(items != nullptr);
  if (items->_count == items->_capacity) {
    if (items->_capacity > INT32_MAX - GROW_SLOTS) return nullptr;
    int32_t capacity = items->_capacity + GROW_SLOTS;
    tlistitem **grown = static_cast<tlistitem **>(std::calloc(size_t(capacity), sizeof(tlistitem *)));
    if (!grown) return nullptr;
    std::memcpy(grown, items->_items, size_t(items->_count) * sizeof(tlistitem *));
    std::free(items->_items);
    items->_items = grown;
    items->_capacity = capacity;
  }
  tlistitem *item = tlistitem_new(text, user_data);
  if (!item) return nullptr;
  item->_height = height;
  item->_top = items->_total_height;
  items->_items[items->_count++] = item;
  items->_total_height = add_heights(items->_total_height, height);
  return item;
}

void tlistitems_remove(tlistitems *items, int32_t start, int32_t n) {
  PORT_CHECK(items != nullptr);
  start = std::clamp(start, 0, items->_count);
  n = std::clamp(n, 0, items->_count - start);
  for (int32_t i = start; i < start + n; i++) {
    items->_total_height = int32_t(uint32_t(items->_total_height) - uint32_t(items->_items[i]->_height));
    tlistitem_free(items->_items[i]);
  }
  std::memmove(items->_items + start, items->_items + start + n,
               size_t(items->_count - start - n) * sizeof(tlistitem *));
  items->_count -= n;
  int32_t top = 0;
  if (start > 0) top = add_heights(items->_items[start - 1]->_top, items->_items[start - 1]->_height);
  for (int32_t i = start; i < items->_count; i++) {
    items->_items[i]->_top = top;
    top = add_heights(top, items->_items[i]->_height);
  }
}

void tlistitems_clear(tlistitems *items) {
  PORT_CHECK(items != nullptr);
  tlistitems_remove(items, 0, items->_count);
}

tlistitem *tlistitems_get(const tlistitems *items, int32_t index) {
  PORT_CHECK(items != nullptr);
  if (index < 0 || index >= items->_count) return nullptr;
  return items->_items[index];
}

int32_t tlistitems_get_count(const tlistitems *items) {
  PORT_CHECK(items != nullptr);
  return items->_count;
}

int32_t tlistitems_get_total_height(const tlistitems *items) {
  PORT_CHECK(items != nullptr);
  return items->_total_height;
}

void *tlistitems_get_user_data(const tlistitems *items, int32_t index) {
  tlistitem *item = tlistitems_get(items, index);
  return item ? item->_user_data : nullptr;
}

int32_t tlistitems_get_height(const tlistitems *items, int32_t index) {
  tlistitem *item = tlistitems_get(items, index);
  return item ? item->_height : 0;
}

int32_t tlistitems_get_top(const tlistitems *items, int32_t index) {
  tlistitem *item = tlistitems_get(items, index);
  return item ? item->_top : 0;
}

int tlistitems_set_top(tlistitems *items, int32_t index, int32_t top) {
  tlistitem *item = tlistitems_get(items, index);
  if (!item) return 0;
  item->_top = top;
  return 1;
}

const char16_t *tlistitems_get_field(const tlistitems *items, int32_t index, int32_t field) {
  tlistitem *item = tlistitems_get(items, index);
  return item ? tlistitem_get_field(item, field) : nullptr;
}

int32_t tlistitems_get_field_number(const tlistitems *items, int32_t index, int32_t field) {
  tlistitem *item = tlistitems_get(items, index);
  return item ? tlistitem_get_field_number(item, field) : -1;
}

int tlistitems_set_rect(tlistitems *items, int32_t index, const trect *rect) {
  tlistitem *item = tlistitems_get(items, index);
  if (!item) return 0;
  tlistitem_set_rect(item, rect);
  return 1;
}

trect *tlistitems_get_rect(tlistitems *items, int32_t index) {
  tlistitem *item = tlistitems_get(items, index);
  return item ? &item->_rect : nullptr;
}

// Heights come from callers unchecked; sums wrap instead of overflowing.
static int32_t add_heights(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
