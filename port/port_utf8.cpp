// port_utf8: the system's one UTF-8 codec (see the header).
#include "port_utf8.h"

#include <cstring>

#include "port_log.h"

namespace {

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// avail units of text, a code point at a time through convert_one (which
// writes at most 4 units), into buffer as the port_str_ conversions say.
template <typename From, typename To, typename Convert>
int convert_text(const From *text, int avail, To *buffer, int n, Convert convert_one) {
  int out = 0;
  for (int i = 0; i < avail;) {
    int used;
    To units[4];
    int count = convert_one(text + i, size_t(avail - i), &used, units);
    i += used;
    if (buffer) {
      if (out + count > n) return 0;
      std::memcpy(buffer + out, units, size_t(count) * sizeof(To));
    }
    out += count;
  }
  return out;
}

// The units of text up to limit that end at a sequence's end, stepping
// through decode.
template <typename Unit, typename Decode>
size_t cut_text(const Unit *text, size_t length, size_t limit, Decode decode) {
  if (length <= limit) return length;
  size_t at = 0;
  for (;;) {
    int used;
    decode(text + at, length - at, &used);
    if (at + size_t(used) > limit) return at;
    at += size_t(used);
  }
}

}  // namespace

char32_t port_utf8_decode(const unsigned char *s, size_t avail, int *used) {
  PORT_CHECK(s != nullptr && avail > 0 && used != nullptr);
  unsigned char lead = s[0];
  *used = 1;
  if (lead < 0x80) return lead;
  int extra;
  char32_t c, least;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07, least = 0x10000;
  } else {
    return PORT_UTF8_NOT_TEXT;  // a continuation byte, or no lead of any length
  }
  for (int i = 1; i <= extra; i++) {
    if (size_t(i) >= avail || (s[i] & 0xC0) != 0x80) {
      *used = i;
      return PORT_UTF8_NOT_TEXT;
    }
    c = (c << 6) | (s[i] & 0x3F);
  }
  *used = extra + 1;
  if (c < least || c > 0x10FFFF || is_surrogate(c)) return PORT_UTF8_NOT_TEXT;
  return c;
}

int port_utf8_encode(char32_t c, char *out) {
  PORT_CHECK(out != nullptr && c <= 0x10FFFF);
  if (c < 0x80) {
    out[0] = char(c);
    return 1;
  }
  int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  static const unsigned char k_lead_bits[] = {0, 0xC0, 0xE0, 0xF0};
  for (int i = extra; i > 0; i--, c >>= 6) out[i] = char(0x80 | (c & 0x3F));
  out[0] = char(k_lead_bits[extra] | c);
  return extra + 1;
}

char32_t port_utf8_decode_wide(const char16_t *s, size_t avail, int *used) {
  PORT_CHECK(s != nullptr && avail > 0 && used != nullptr);
  char32_t c = s[0];
  *used = 1;
  if (c >= 0xD800 && c <= 0xDBFF && avail > 1 && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
    *used = 2;
    return 0x10000 + ((c - 0xD800) << 10) + (s[1] - 0xDC00);
  }
  return is_surrogate(c) ? PORT_UTF8_REPLACEMENT : c;
}

int port_utf8_encode_wide(char32_t c, char16_t *out) {
  PORT_CHECK(out != nullptr && c <= 0x10FFFF);
  if (c < 0x10000) {
    out[0] = char16_t(c);
    return 1;
  }
  c -= 0x10000;
  out[0] = char16_t(0xD800 + (c >> 10));
  out[1] = char16_t(0xDC00 + (c & 0x3FF));
  return 2;
}

size_t port_utf8_cut(const char *text, size_t length, size_t limit) {
  PORT_CHECK(text != nullptr || length == 0);
  return cut_text(reinterpret_cast<const unsigned char *>(text), length, limit, port_utf8_decode);
}

size_t port_utf8_cut_wide(const char16_t *text, size_t length, size_t limit) {
  PORT_CHECK(text != nullptr || length == 0);
  return cut_text(text, length, limit, port_utf8_decode_wide);
}

size_t port_utf8_copy_cut_wide(char16_t *out, int64_t capacity, const char16_t *text) {
  if (!out || capacity < 1) return 0;
  if (!text) text = u"";
  size_t length = std::char_traits<char16_t>::length(text);
  size_t units = port_utf8_cut_wide(text, length, size_t(capacity - 1));
  std::memmove(out, text, units * sizeof(char16_t));
  out[units] = 0;
  return units;
}

int port_str_utf8_to_wide(const char *text, int length, char16_t *buffer, int n) {
  if (!text) return 0;
  int avail = length < 0 ? int(std::strlen(text)) + 1 : length;
  return convert_text(reinterpret_cast<const unsigned char *>(text), avail, buffer, n,
                      [](const unsigned char *at, size_t left, int *used, char16_t *units) {
                        char32_t c = port_utf8_decode(at, left, used);
                        return port_utf8_encode_wide(c == PORT_UTF8_NOT_TEXT ? PORT_UTF8_REPLACEMENT : c, units);
                      });
}

int port_str_wide_to_utf8(const char16_t *text, int length, char *buffer, int n) {
  if (!text) return 0;
  int avail = length < 0 ? int(std::char_traits<char16_t>::length(text)) + 1 : length;
  return convert_text(text, avail, buffer, n, [](const char16_t *at, size_t left, int *used, char *units) {
    return port_utf8_encode(port_utf8_decode_wide(at, left, used), units);
  });
}

int port_str_ansi_to_wide(const char *text, int length, char16_t *buffer, int n) {
  return port_str_utf8_to_wide(text, length, buffer, n);
}

std::string port_utf8_of(const char16_t *text) {
  int bytes = port_str_wide_to_utf8(text, -1, nullptr, 0);
  if (bytes <= 0) return std::string();
  std::string out(size_t(bytes), '\0');
  port_str_wide_to_utf8(text, -1, out.data(), bytes);
  out.pop_back();
  return out;
}
