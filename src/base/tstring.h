// tstring and twstr: the two editors of UTF-16 text.
//
// tstring is a growable string that owns its buffer; twstr performs the same
// edits in place on a caller's NUL-ended buffer that the caller has made large
// enough. Lengths and positions count char16_t units.
//
// Invariants: after every operation the text is NUL-ended (str[_len] == 0) and
// a tstring's capacity is greater than its length. A source text may point
// into the text being edited; the result is the same as with a separate copy.
//
// Growth: when an edit needs room for n more chars and _len + n >= alloc, the
// capacity becomes the smallest power of two that is at least _len + n + 1,
// the text moves to a new buffer and the old one is freed. It never shrinks.
// When memory runs out (or the text would pass TSTRING_MAX_LEN) the edit is
// not made and the operation returns null; the string stays as it was.
#pragma once

#include <cstdint>

constexpr uint32_t TSTRING_MAX_LEN = 1u << 30;

struct tstring {
  char16_t *str;  // owned; str[_len] is always 0
  uint32_t _len;  // chars, without the terminator
  uint32_t alloc;  // capacity in chars, always > _len
};

// Creation and release. The constructors return null when out of memory.
tstring *tstring_sized_new(int32_t n);
tstring *tstring_new(const char16_t *text);
tstring *tstring_new_len(const char16_t *text, int32_t len);
// Frees the object. With free_segment nonzero also the buffer, and returns
// null; with 0 returns the buffer, which the caller then owns (free()).
char16_t *tstring_free(tstring *string, int free_segment);

// Edits return the string, or null when the text could not grow.
tstring *tstring_truncate(tstring *string, uint32_t len);
tstring *tstring_insert_len(tstring *string, int32_t pos, const char16_t *val, int32_t len);
tstring *tstring_append(tstring *string, const char16_t *val);
tstring *tstring_append_len(tstring *string, const char16_t *val, int32_t len);
tstring *tstring_insert(tstring *string, int32_t pos, const char16_t *val);
tstring *tstring_insert_char(tstring *string, int32_t pos, char16_t c);
tstring *tstring_erase(tstring *string, int32_t pos, int32_t len);
tstring *tstring_assign(tstring *string, const char16_t *rval);

uint32_t tstring_get_len(const tstring *string);
char16_t *tstring_get_str(const tstring *string);

// In-place edits of a caller's NUL-ended buffer. A null buffer gives null, a
// null source leaves the buffer unchanged; positions outside the text leave
// it unchanged. The caller guarantees room for what is inserted.
char16_t *twstr_insert(char16_t *buffer, int32_t pos, const char16_t *src, int32_t len);
char16_t *twstr_insert_char(char16_t *buffer, int32_t pos, char16_t c);
char16_t *twstr_append(char16_t *buffer, const char16_t *src);
char16_t *twstr_erase(char16_t *buffer, int32_t pos, int32_t len);
char16_t *twstr_remove_char(char16_t *buffer, char16_t c);
// 'A'..'Z' to 'a'..'z'; every other char unchanged.
char16_t twstr_to_lower(char16_t c);
