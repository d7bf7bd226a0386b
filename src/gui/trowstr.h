// trowstr: the row strings every list, menu, combo box and file list keeps.
//
// A row string is UTF-16 text of up to ten fields separated by '/'; the two
// characters "\/" stand for a literal '/' inside a field, a backslash before
// anything else is an ordinary character. At the tenth separator the tenth
// field ends and the rest of the text is dropped; an empty text is one empty
// field. Field 0 is a row's text, field 1 read as a number its image index
// (-1 none); what later fields mean is the caller's business.
//
// The splitter works in place: separators become NULs and each escape loses
// its backslash, so every field is a NUL-ended run inside the caller's buffer.
#pragma once

#include <cstdint>

constexpr int TROWSTR_MAX_FIELDS = 10;

// Splits text in place and points fields[0 .. count - 1] at the fields; the
// other entries become null. Returns the count (1..10).
int trowstr_split(char16_t *text, char16_t *fields[TROWSTR_MAX_FIELDS]);

// A field read as a number: leading blanks skipped, an optional sign, base-10
// digits up to the first other character, wrapping at 32 bits ("-1" is -1,
// "4294967295" is -1 too); a field without digits reads 0 and a null one -1.
int32_t trowstr_number(const char16_t *field);
