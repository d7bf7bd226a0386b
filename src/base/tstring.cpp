// tstring and twstr: the two editors of UTF-16 text.
#include "tstring.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "port_log.h"

namespace {

uint32_t text_length(const char16_t *text) { return uint32_t(std::char_traits<char16_t>::length(text)); }

// A private copy of a source text that would be disturbed by its own edit.
struct held_text {
  char16_t *copy = nullptr;
  ~held_text() { std::free(copy); }
  bool take(const char16_t **src, uint64_t count) {
    copy = static_cast<char16_t *>(std::malloc(size_t(count) * sizeof(char16_t)));
    if (!copy) return false;
    std::memcpy(copy, *src, size_t(count) * sizeof(char16_t));
    *src = copy;
    return true;
  }
};

bool grow(tstring *string, uint64_t more);
bool overlaps(const char16_t *a, uint64_t a_count, const char16_t *b, uint64_t b_count);
void splice(char16_t *buffer, uint32_t text_len, uint32_t pos, const char16_t *src, uint32_t count,
            bool src_in_text, uint32_t offset);

}  // namespace

tstring *tstring_sized_new(int32_t n) {
  if (n < 2) n = 2;
  tstring *string = static_cast<tstring *>(std::calloc(1, sizeof(tstring)));
  if (!string) return nullptr;
  if (!grow(string, uint64_t(n))) {
    std::free(string);
    return nullptr;
  }
  return string;
}

tstring *tstring_new(const char16_t *text) {
  if (!text || !text[0]) return tstring_sized_new(2);
  uint32_t len = text_length(text);
  if (len > TSTRING_MAX_LEN) return nullptr;
  tstring *string = tstring_sized_new(int32_t(len + 2));
  if (!string) return nullptr;
  tstring_append_len(string, text, int32_t(len));
  return string;
}

tstring *tstring_new_len(const char16_t *text, int32_t len) {
  if (len < 0) return tstring_new(text);
  tstring *string = tstring_sized_new(len);
  if (!string) return nullptr;
  if (text && !tstring_append_len(string, text, len)) {
    tstring_free(string, 1);
    return nullptr;
  }
  return string;
}

char16_t *tstring_free(tstring *string, int free_segment) {
  PORT_CHECK(string != nullptr);
  char16_t *buffer = string->str;
  std::free(string);
  if (free_segment) {
    std::free(buffer);
    return nullptr;
  }
  return buffer;
}

tstring *tstring_truncate(tstring *string, uint32_t len) {
  PORT_CHECK(string != nullptr);
  if (len < string->_len) {
    string->_len = len;
    string->str[len] = 0;
  }
  return string;
}

tstring *tstring_insert_len(tstring *string, int32_t pos, const char16_t *val, int32_t len) {
  PORT_CHECK(string != nullptr);
  PORT_CHECK(val != nullptr);
  if (pos < 0) pos = int32_t(string->_len);
  PORT_CHECK(uint32_t(pos) <= string->_len);
  uint64_t count = len < 0 ? text_length(val) : uint32_t(len);
  if (count == 0) return string;

  char16_t *old = string->str;
  bool in_text = uintptr_t(val) >= uintptr_t(old) && uintptr_t(val + count) <= uintptr_t(old + string->_len);
  // A source in the buffer past the terminator would be lost when the buffer
  // moves and overwritten when the tail moves up: take a copy of it first.
  held_text holder;
  if (!in_text && overlaps(val, count, old, string->alloc) && !holder.take(&val, count)) return nullptr;
  uint32_t offset = in_text ? uint32_t(val - old) : 0;
  if (!grow(string, count)) return nullptr;
  splice(string->str, string->_len, uint32_t(pos), in_text ? nullptr : val, uint32_t(count), in_text, offset);
  string->_len += uint32_t(count);
  return string;
}

tstring *tstring_append(tstring *string, const char16_t *val) { return tstring_insert_len(string, -1, val, -1); }

tstring *tstring_append_len(tstring *string, const char16_t *val, int32_t len) {
  PORT_CHECK(string != nullptr);
  return tstring_insert_len(string, -1, val, len);
}

tstring *tstring_insert(tstring *string, int32_t pos, const char16_t *val) {
  PORT_CHECK(string != nullptr);
  PORT_CHECK(pos < 0 || uint32_t(pos) <= string->_len);
  return tstring_insert_len(string, pos, val, -1);
}

tstring *tstring_insert_char(tstring *string, int32_t pos, char16_t c) {
  PORT_CHECK(string != nullptr);
  if (pos < 0) pos = int32_t(string->_len);
  PORT_CHECK(uint32_t(pos) <= string->_len);
  if (!grow(string, 1)) return nullptr;
  char16_t *buffer = string->str;
  std::memmove(buffer + pos + 1, buffer + pos, (string->_len - uint32_t(pos)) * sizeof(char16_t));
  buffer[pos] = c;
  string->_len++;
  buffer[string->_len] = 0;
  return string;
}

tstring *tstring_erase(tstring *string, int32_t pos, int32_t len) {
  PORT_CHECK(string != nullptr);
  PORT_CHECK(pos >= 0);
  PORT_CHECK(uint32_t(pos) <= string->_len);
  if (len < 0) len = int32_t(string->_len - uint32_t(pos));
  PORT_CHECK(uint64_t(pos) + uint64_t(len) <= string->_len);
  char16_t *buffer = string->str;
  uint32_t tail = string->_len - uint32_t(pos) - uint32_t(len);
  std::memmove(buffer + pos, buffer + pos + len, tail * sizeof(char16_t));
  string->_len -= uint32_t(len);
  buffer[string->_len] = 0;
  return string;
}

tstring *tstring_assign(tstring *string, const char16_t *rval) {
  PORT_CHECK(string != nullptr);
  PORT_CHECK(rval != nullptr);
  char16_t *buffer = string->str;
  if (rval == buffer) return string;
  uint32_t len = text_length(rval);
  if (overlaps(rval, uint64_t(len) + 1, buffer, string->alloc)) {
    // Part of our own buffer: it already fits, slide it to the front.
    std::memmove(buffer, rval, len * sizeof(char16_t));
  } else {
    if (len > string->_len && !grow(string, len - string->_len)) return nullptr;
    buffer = string->str;
    std::memcpy(buffer, rval, len * sizeof(char16_t));
  }
  string->_len = len;
  buffer[len] = 0;
  return string;
}

uint32_t tstring_get_len(const tstring *string) {
  PORT_CHECK(string != nullptr);
  return string->_len;
}

char16_t *tstring_get_str(const tstring *string) {
  PORT_CHECK(string != nullptr);
  return string->str;
}

char16_t *twstr_insert(char16_t *buffer, int32_t pos, const char16_t *src, int32_t len) {
  if (!buffer) return nullptr;
  if (!src) return buffer;
  uint32_t text_len = text_length(buffer);
  if (pos < 0) pos = int32_t(text_len);
  if (uint32_t(pos) > text_len) return buffer;
  uint32_t count = len < 0 ? text_length(src) : uint32_t(len);
  if (count == 0) return buffer;

  bool in_text = uintptr_t(src) >= uintptr_t(buffer) &&
                 uintptr_t(src + count) <= uintptr_t(buffer + text_len);
  // A source lying where the moved tail will be written must be saved first.
  held_text holder;
  if (!in_text && overlaps(src, count, buffer, uint64_t(text_len) + count + 1) && !holder.take(&src, count))
    return buffer;
  uint32_t offset = in_text ? uint32_t(src - buffer) : 0;
  splice(buffer, text_len, uint32_t(pos), in_text ? nullptr : src, count, in_text, offset);
  return buffer;
}

char16_t *twstr_insert_char(char16_t *buffer, int32_t pos, char16_t c) {
  char16_t one[2] = {c, 0};
  return twstr_insert(buffer, pos, one, 1);
}

char16_t *twstr_append(char16_t *buffer, const char16_t *src) { return twstr_insert(buffer, -1, src, -1); }

char16_t *twstr_erase(char16_t *buffer, int32_t pos, int32_t len) {
  if (!buffer) return nullptr;
  uint32_t text_len = text_length(buffer);
  if (pos < 0 || uint32_t(pos) > text_len) return buffer;
  if (len < 0) len = int32_t(text_len - uint32_t(pos));
  if (uint64_t(pos) + uint64_t(len) > text_len) return buffer;
  uint32_t tail = text_len - uint32_t(pos) - uint32_t(len);
  std::memmove(buffer + pos, buffer + pos + len, tail * sizeof(char16_t));
  buffer[text_len - uint32_t(len)] = 0;
  return buffer;
}

char16_t *twstr_remove_char(char16_t *buffer, char16_t c) {
  if (!buffer || c == 0) return buffer;
  char16_t *out = buffer;
  for (const char16_t *in = buffer; *in; in++)
    if (*in != c) *out++ = *in;
  *out = 0;
  return buffer;
}

char16_t twstr_to_lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; }

namespace {

// Makes room for `more` chars by the growth rule; false (string unchanged)
// when the text would pass the limit or memory runs out.
bool grow(tstring *string, uint64_t more) {
  uint64_t need = uint64_t(string->_len) + more;
  if (need < string->alloc) return true;
  if (need > TSTRING_MAX_LEN) return false;
  uint64_t alloc = 1;
  while (alloc < need + 1) alloc <<= 1;
  char16_t *buffer = static_cast<char16_t *>(std::malloc(size_t(alloc) * sizeof(char16_t)));
  if (!buffer) return false;
  if (string->str) std::memcpy(buffer, string->str, string->_len * sizeof(char16_t));
  buffer[string->_len] = 0;
  std::free(string->str);
  string->str = buffer;
  string->alloc = uint32_t(alloc);
  return true;
}

bool overlaps(const char16_t *a, uint64_t a_count, const char16_t *b, uint64_t b_count) {
  if (!a || !b) return false;
  uintptr_t a0 = uintptr_t(a), a1 = a0 + uintptr_t(a_count * sizeof(char16_t));
  uintptr_t b0 = uintptr_t(b), b1 = b0 + uintptr_t(b_count * sizeof(char16_t));
  return a0 < b1 && b0 < a1;
}

// Moves the tail [pos, text_len) up by count and fills the gap, then ends the
// text. A source inside the text is given by its offset: the part that lay
// before pos is still in place, the rest has moved up by count with the tail.
void splice(char16_t *buffer, uint32_t text_len, uint32_t pos, const char16_t *src, uint32_t count,
            bool src_in_text, uint32_t offset) {
  std::memmove(buffer + pos + count, buffer + pos, (text_len - pos) * sizeof(char16_t));
  if (src_in_text) {
    uint32_t before = offset < pos ? (pos - offset < count ? pos - offset : count) : 0;
    std::memcpy(buffer + pos, buffer + offset, before * sizeof(char16_t));
    std::memcpy(buffer + pos + before, buffer + offset + before + count, (count - before) * sizeof(char16_t));
  } else {
    std::memcpy(buffer + pos, src, count * sizeof(char16_t));
  }
  buffer[text_len + count] = 0;
}

}  // namespace
