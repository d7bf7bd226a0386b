// twformat: printf for UTF-16 text, always in the C locale.
#include "twformat.h"

#include <charconv>
#include <cstdint>

#include "port_log.h"

namespace {

constexpr int k_max_float_precision = 100;
// The longest fixed-point double: 309 integer digits, sign, point, precision.
constexpr int k_number_chars = 320 + k_max_float_precision;

struct sink {
  char16_t *buffer;
  size_t n;
  size_t count;
  void put(char16_t c) {
    if (count + 1 < n) buffer[count] = c;
    count++;
  }
  void repeat(char16_t c, int times) {
    for (int i = 0; i < times; i++) put(c);
  }
};

// What a conversion asks for between its % and its letter.
struct field {
  bool left = false, plus = false, space = false, zero = false, alt = false;
  int width = 0;
  int precision = -1;
  int length = 0;  // -2 hh, -1 h, 0 int, 1 l, 2 ll, 3 size_t
};

void put_padded(sink *out, const field &s, const char *prefix, const char *digits, int digit_count,
                int zeros);
void put_integer(sink *out, const field &s, char conversion, va_list *args);
void put_float(sink *out, const field &s, char conversion, double value);
void put_text(sink *out, const field &s, const char16_t *text);

}  // namespace

int twformat(char16_t *buffer, size_t n, const char16_t *format, ...) {
  va_list args;
  va_start(args, format);
  int written = twformat_v(buffer, n, format, args);
  va_end(args);
  return written;
}

int twformat_v(char16_t *buffer, size_t n, const char16_t *format, va_list args) {
  PORT_CHECK(format != nullptr);
  PORT_CHECK(buffer != nullptr || n == 0);
  sink out{buffer, n, 0};
  va_list list;
  va_copy(list, args);
  for (const char16_t *p = format; *p; p++) {
    if (*p != u'%') {
      out.put(*p);
      continue;
    }
    const char16_t *start = p++;
    field s;
    for (;; p++) {
      if (*p == u'-') s.left = true;
      else if (*p == u'+') s.plus = true;
      else if (*p == u' ') s.space = true;
      else if (*p == u'0') s.zero = true;
      else if (*p == u'#') s.alt = true;
      else break;
    }
    if (*p == u'*') {
      s.width = va_arg(list, int);
      if (s.width < 0) s.left = true, s.width = -s.width;
      p++;
    } else {
      while (*p >= u'0' && *p <= u'9' && s.width < 100000) s.width = s.width * 10 + (*p++ - u'0');
    }
    if (*p == u'.') {
      p++;
      s.precision = 0;
      if (*p == u'*') {
        s.precision = va_arg(list, int);
        p++;
      } else {
        while (*p >= u'0' && *p <= u'9' && s.precision < 100000) s.precision = s.precision * 10 + (*p++ - u'0');
      }
    }
    if (*p == u'h' || *p == u'l') {
      bool doubled = p[1] == *p;
      s.length = (*p == u'h' ? -1 : 1) * (doubled ? 2 : 1);
      p += doubled ? 2 : 1;
    } else if (*p == u'z') {
      s.length = 3;
      p++;
    }

    switch (*p) {
      case u'd': case u'i': case u'u': case u'x': case u'X':
        put_integer(&out, s, char(*p), &list);
        break;
      case u'f': case u'F':
        put_float(&out, s, char(*p), va_arg(list, double));
        break;
      case u'c': {
        char16_t one[2] = {char16_t(va_arg(list, int)), 0};
        field plain = s;
        plain.precision = 1;
        put_text(&out, plain, one);
        break;
      }
      case u's':
        put_text(&out, s, va_arg(list, const char16_t *));
        break;
      case u'%':
        out.put(u'%');
        break;
      default:
        // Not a conversion we know: copy it as it stands (a lone '%' at the
        // end of the format included).
        for (const char16_t *q = start; q <= p && *q; q++) out.put(*q);
        if (!*p) p--;
        break;
    }
  }
  va_end(list);
  if (out.n > 0) buffer[out.count < out.n ? out.count : out.n - 1] = 0;
  return int(out.count);
}

namespace {

// sign or 0x prefix, zero padding (precision or the '0' flag), then digits;
// spaces before or after for the width.
void put_padded(sink *out, const field &s, const char *prefix, const char *digits, int digit_count, int zeros) {
  int prefix_len = 0;
  while (prefix[prefix_len]) prefix_len++;
  int body = prefix_len + zeros + digit_count;
  if (s.zero && !s.left && body < s.width) {
    zeros += s.width - body;
    body = s.width;
  }
  int spaces = s.width > body ? s.width - body : 0;
  if (!s.left) out->repeat(u' ', spaces);
  for (int i = 0; i < prefix_len; i++) out->put(char16_t(prefix[i]));
  out->repeat(u'0', zeros);
  for (int i = 0; i < digit_count; i++) out->put(char16_t(digits[i]));
  if (s.left) out->repeat(u' ', spaces);
}

void put_integer(sink *out, const field &s, char conversion, va_list *args) {
  bool is_signed = conversion == 'd' || conversion == 'i';
  unsigned long long magnitude;
  bool negative = false;
  if (is_signed) {
    long long value;
    switch (s.length) {
      case -2: value = (signed char)va_arg(*args, int); break;
      case -1: value = (short)va_arg(*args, int); break;
      case 1: value = va_arg(*args, long); break;
      case 2: value = va_arg(*args, long long); break;
      case 3: value = (long long)va_arg(*args, ptrdiff_t); break;
      default: value = va_arg(*args, int); break;
    }
    negative = value < 0;
    magnitude = negative ? 0ull - (unsigned long long)value : (unsigned long long)value;
  } else {
    switch (s.length) {
      case -2: magnitude = (unsigned char)va_arg(*args, unsigned); break;
      case -1: magnitude = (unsigned short)va_arg(*args, unsigned); break;
      case 1: magnitude = va_arg(*args, unsigned long); break;
      case 2: magnitude = va_arg(*args, unsigned long long); break;
      case 3: magnitude = va_arg(*args, size_t); break;
      default: magnitude = va_arg(*args, unsigned); break;
    }
  }
  int base = (conversion == 'x' || conversion == 'X') ? 16 : 10;
  const char *alphabet = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  char digits[24];
  int count = 0;
  char reversed[24];
  do {
    reversed[count++] = alphabet[magnitude % base];
    magnitude /= base;
  } while (magnitude);
  for (int i = 0; i < count; i++) digits[i] = reversed[count - 1 - i];
  if (s.precision == 0 && count == 1 && digits[0] == '0') count = 0;

  const char *prefix = "";
  if (negative) prefix = "-";
  else if (is_signed && s.plus) prefix = "+";
  else if (is_signed && s.space) prefix = " ";
  else if (s.alt && base == 16 && count > 0 && !(count == 1 && digits[0] == '0'))
    prefix = conversion == 'X' ? "0X" : "0x";
  int zeros = s.precision > count ? s.precision - count : 0;
  field padding = s;
  if (s.precision >= 0) padding.zero = false;
  put_padded(out, padding, prefix, digits, count, zeros);
}

void put_float(sink *out, const field &s, char conversion, double value) {
  int precision = s.precision < 0 ? 6 : s.precision;
  if (precision > k_max_float_precision) precision = k_max_float_precision;
  char text[k_number_chars];
  std::to_chars_result made = std::to_chars(text, text + sizeof text - 2, value, std::chars_format::fixed, precision);
  int len = made.ec == std::errc() ? int(made.ptr - text) : 0;
  const char *digits = text;
  bool negative = len > 0 && text[0] == '-';
  if (negative) digits++, len--;
  bool finite = len > 0 && digits[0] >= '0' && digits[0] <= '9';
  if (finite && s.alt && precision == 0) text[(digits - text) + len++] = '.';
  if (!finite && conversion == 'F')
    for (int i = 0; i < len; i++) text[(digits - text) + i] = char(digits[i] - 'a' + 'A');

  const char *prefix = negative ? "-" : s.plus ? "+" : s.space ? " " : "";
  field padding = s;
  if (!finite) padding.zero = false;
  put_padded(out, padding, prefix, digits, len, 0);
}

void put_text(sink *out, const field &s, const char16_t *text) {
  static const char16_t null_text[] = u"(null)";
  if (!text) text = null_text;
  int len = 0;
  while (text[len] && (s.precision < 0 || len < s.precision)) len++;
  int spaces = s.width > len ? s.width - len : 0;
  if (!s.left) out->repeat(u' ', spaces);
  for (int i = 0; i < len; i++) out->put(text[i]);
  if (s.left) out->repeat(u' ', spaces);
}

}  // namespace
