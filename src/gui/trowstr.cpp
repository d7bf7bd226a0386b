// trowstr: splitting row strings into fields and reading fields as numbers.
#include "trowstr.h"

#include "port_log.h"

static bool is_blank(char16_t c);

int trowstr_split(char16_t *text, char16_t *fields[TROWSTR_MAX_FIELDS]) {
  PORT_CHECK(text != nullptr && fields != nullptr);
  for (int i = 0; i < TROWSTR_MAX_FIELDS; i++) fields[i] = nullptr;
  int count = 0;
  char16_t *start = text;
  char16_t *p = text;
  while (*p) {
    if (*p == u'/') {
      fields[count++] = start;
      *p = 0;
      start = p + 1;
      if (count == TROWSTR_MAX_FIELDS) return count;
      p++;
    } else if (*p == u'\\' && p[1] == u'/') {
      char16_t *q = p;
      do {
        q[0] = q[1];
      } while (*q++);
      p++;  // past the kept '/'
    } else {
      p++;
    }
  }
  fields[count++] = start;
  return count;
}

int32_t trowstr_number(const char16_t *field) {
  if (!field) return -1;
  const char16_t *p = field;
  while (is_blank(*p)) p++;
  bool negative = false;
  if (*p == u'+' || *p == u'-') negative = *p++ == u'-';
  uint32_t value = 0;
  for (; *p >= u'0' && *p <= u'9'; p++) value = value * 10u + uint32_t(*p - u'0');
  if (negative) value = 0u - value;
  return int32_t(value);
}

static bool is_blank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
