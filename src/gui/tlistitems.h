// tlistitems: the rows of one list, in order, with their positions.
//
// The collection owns its rows. Rows are stacked without gaps:
//   top(i) = height(0) + ... + height(i - 1), total height = sum of all heights;
// every add and remove keeps that true. The row array starts with 64 slots and
// grows by 64 whenever an add would overflow it.
// By-index accessors answer 0 or null (-1 for a field number) for an index
// outside [0, count).
#pragma once

#include <cstdint>

#include "tlistitem.h"

struct tlistitems {
  tlistitem **_items;  // owned, _capacity slots
  int32_t _count;
  int32_t _capacity;
  int32_t _total_height;
};

// An empty collection; null when out of memory.
tlistitems *tlistitems_new();
void tlistitems_free(tlistitems *items);

// Appends a row of the given height below the last one; returns it, or null
// (the collection unchanged) when out of memory.
tlistitem *tlistitems_add(tlistitems *items, const char16_t *text, int32_t height, void *user_data);
// Removes n rows from start; a start outside [0, count] is brought to the
// nearer end, and n is cut to the rows there are.
void tlistitems_remove(tlistitems *items, int32_t start, int32_t n);
void tlistitems_clear(tlistitems *items);

tlistitem *tlistitems_get(const tlistitems *items, int32_t index);
int32_t tlistitems_get_count(const tlistitems *items);
int32_t tlistitems_get_total_height(const tlistitems *items);
void *tlistitems_get_user_data(const tlistitems *items, int32_t index);
int32_t tlistitems_get_height(const tlistitems *items, int32_t index);
int32_t tlistitems_get_top(const tlistitems *items, int32_t index);
int tlistitems_set_top(tlistitems *items, int32_t index, int32_t top);
const char16_t *tlistitems_get_field(const tlistitems *items, int32_t index, int32_t field);
int32_t tlistitems_get_field_number(const tlistitems *items, int32_t index, int32_t field);
int tlistitems_set_rect(tlistitems *items, int32_t index, const trect *rect);
trect *tlistitems_get_rect(tlistitems *items, int32_t index);
