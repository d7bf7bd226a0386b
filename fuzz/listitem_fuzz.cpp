// Feeds arbitrary row strings to the rows of a list. Each input line is one
// row (bytes 0x80 and up become characters far from ASCII); the fields and
// their numbers must match a plain reference reading of the grammar, and the
// tops must stay stacked through adds, text changes and removals whose start
// and count come from the input too.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tlistitems.h"

static std::vector<std::u16string> reference_fields(const std::u16string &text) {
  std::vector<std::u16string> fields(1);
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == u'/') {
      if (fields.size() == TROWSTR_MAX_FIELDS) return fields;
      fields.emplace_back();
    } else if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == u'/') {
      fields.back() += u'/';
      i++;
    } else {
      fields.back() += text[i];
    }
  }
  return fields;
}

static int32_t reference_number(const std::u16string &field) {
  size_t i = 0;
  while (i < field.size() && (field[i] == u' ' || (field[i] >= 9 && field[i] <= 13))) i++;
  bool negative = i < field.size() && field[i] == u'-';
  if (i < field.size() && (field[i] == u'-' || field[i] == u'+')) i++;
  uint64_t value = 0;
  for (; i < field.size() && field[i] >= u'0' && field[i] <= u'9'; i++) value = (value * 10 + (field[i] - u'0')) % (1ull << 32);
  if (negative) value = ((1ull << 32) - value) % (1ull << 32);
  return int32_t(uint32_t(value));
}

static void check_row(const tlistitem *item, const std::u16string &text) {
  // The row sees the text up to its first NUL.
  std::vector<std::u16string> expected = reference_fields(text.substr(0, text.find(u'\0')));
  for (int32_t i = 0; i < TROWSTR_MAX_FIELDS + 2; i++) {
    const char16_t *field = tlistitem_get_field(item, i);
    if (size_t(i) >= expected.size()) {
      if (field || tlistitem_get_field_number(item, i) != -1) std::abort();
      continue;
    }
    if (!field || expected[size_t(i)] != field) std::abort();
    if (tlistitem_get_field_number(item, i) != reference_number(expected[size_t(i)])) std::abort();
  }
}

static void check_tops(const tlistitems *items) {
  uint32_t top = 0;
  for (int32_t i = 0; i < tlistitems_get_count(items); i++) {
    if (tlistitems_get_top(items, i) != int32_t(top)) std::abort();
    top += uint32_t(tlistitems_get_height(items, i));
  }
  if (tlistitems_get_total_height(items) != int32_t(top)) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<std::u16string> rows(1);
  for (size_t i = 0; i < size; i++) {
    if (data[i] == '\n') {
      rows.emplace_back();
    } else {
      rows.back() += data[i] < 0x80 ? char16_t(data[i]) : char16_t(0x4E00 + data[i]);
    }
  }
  tlistitems *items = tlistitems_new();
  if (!items) return 0;
  for (const std::u16string &text : rows) {
    int32_t height = text.empty() ? 0 : int32_t(uint32_t(text[0]) * 1000003u - uint32_t(text.size()));
    tlistitem *item = tlistitems_add(items, text.c_str(), height, nullptr);
    if (!item) break;
    check_row(item, text);
    // A row given a new text: nothing of the old fields survives.
    std::u16string tail = text.substr(text.size() / 2);
    if (!tlistitem_set_text(item, tail.c_str())) break;
    check_row(item, tail);
  }
  check_tops(items);
  // Removals placed by the input, starts and counts possibly out of range.
  for (size_t i = 0; i + 1 < size && i < 16; i += 2) {
    int32_t before = tlistitems_get_count(items);
    tlistitems_remove(items, int32_t(int8_t(data[i])), int32_t(int8_t(data[i + 1])) / 4);
    if (tlistitems_get_count(items) > before) std::abort();
    check_tops(items);
  }
  tlistitems_free(items);
  return 0;
}
