// Fatal reporter, debug log writers and the character-set conversions.
#include "port_log.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "twformat.h"

namespace {

constexpr int k_module_name_max = 63;
constexpr int k_fatal_text_max = 1024;
constexpr int k_log_buffer_bytes = 8192;
constexpr int k_log_buffer_chars = k_log_buffer_bytes / 2;
constexpr char32_t k_replacement = 0xFFFD;

port_log_box_fn g_box_hook = nullptr;

char fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Decodes one UTF-8 sequence at s[0..avail); sets *used to the bytes taken.
char32_t decode_utf8(const unsigned char *s, int avail, int *used) {
  unsigned char c = s[0];
  *used = 1;
  if (c < 0x80) return c;
  int extra;
  char32_t cp, min;
  if ((c & 0xE0) == 0xC0) {
    extra = 1, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3, cp = c & 0x07, min = 0x10000;
  } else {
    return k_replacement;
  }
  for (int i = 1; i <= extra; i++) {
    if (i >= avail || (s[i] & 0xC0) != 0x80) {
      *used = i;
      return k_replacement;
    }
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  *used = extra + 1;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return k_replacement;
  return cp;
}

}  // namespace

int port_log_module_name(const char *source_path, char *out, int n) {
  if (n <= 0) return 0;
  out[0] = 0;
  if (!source_path) return 0;
  const char *sep = nullptr;
  for (const char *p = source_path; *p; p++)
    if (*p == '\\' || *p == '/' || *p == ':') sep = p;
  if (!sep) return 0;
  const char *name = sep + 1;
  const char *dot = std::strchr(name, '.');
  if (!dot) return 0;
  int len = int(dot - name);
  if (len > k_module_name_max) len = k_module_name_max;
  if (len > n - 1) len = n - 1;
  std::memcpy(out, name, size_t(len));
  out[len] = 0;
  return len;
}

port_log_box_fn port_log_set_box_hook(port_log_box_fn hook) {
  port_log_box_fn old = g_box_hook;
  g_box_hook = hook;
  return old;
}

void port_log_fatal(const char *expression, const char *source_path, int line) {
  (void)expression;
  char module[k_module_name_max + 1];
  port_log_module_name(source_path, module, sizeof module);
  char text[k_fatal_text_max];
  std::snprintf(text, sizeof text, "\r\n*** TSL FATAL ERROR OCCURS. \r\n\r\n code = %s(%d)\r\n", module,
                line);
  std::fputs(text, stderr);
  std::fflush(stderr);
  // The hook is cleared first so that a check failing inside the box cannot recurse.
  port_log_box_fn box = g_box_hook;
  g_box_hook = nullptr;
  if (box) box("Error", text);
  std::fflush(stdout);
  // No cleanup of our own runs: the state that failed a check is not trusted.
  _exit(-1 & 0xFF);
}

void port_log_write(FILE *stream, const char *text) {
  if (!stream || !text) return;
  std::fwrite(text, 1, std::strlen(text), stream);
  std::fflush(stream);
}

void port_log_printf(FILE *stream, const char *format, ...) {
  if (!stream || !format) return;
  char buffer[k_log_buffer_bytes] = {};
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  port_log_write(stream, buffer);
}

void port_log_printf_wide(FILE *stream, const char16_t *format, ...) {
  if (!stream || !format) return;
  char16_t buffer[k_log_buffer_chars] = {};
  va_list args;
  va_start(args, format);
  twformat_v(buffer, k_log_buffer_chars, format, args);
  va_end(args);
  int bytes = port_str_wide_to_utf8(buffer, -1, nullptr, 0);
  std::string text(size_t(bytes), '\0');
  port_str_wide_to_utf8(buffer, -1, text.data(), bytes);
  std::fwrite(text.data(), 1, size_t(bytes - 1), stream);
  std::fflush(stream);
}

int port_str_utf8_to_wide(const char *text, int length, char16_t *buffer, int n) {
  if (!text) return 0;
  int avail = length < 0 ? int(std::strlen(text)) + 1 : length;
  const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
  int out = 0;
  for (int i = 0; i < avail;) {
    int used;
    char32_t cp = decode_utf8(s + i, avail - i, &used);
    i += used;
    int units = cp >= 0x10000 ? 2 : 1;
    if (buffer) {
      if (out + units > n) return 0;
      if (units == 2) {
        cp -= 0x10000;
        buffer[out] = char16_t(0xD800 + (cp >> 10));
        buffer[out + 1] = char16_t(0xDC00 + (cp & 0x3FF));
      } else {
        buffer[out] = char16_t(cp);
      }
    }
    out += units;
  }
  return out;
}

int port_str_wide_to_utf8(const char16_t *text, int length, char *buffer, int n) {
  if (!text) return 0;
  int avail = length;
  if (avail < 0) {
    avail = 0;
    while (text[avail]) avail++;
    avail++;
  }
  int out = 0;
  for (int i = 0; i < avail;) {
    char32_t cp = text[i++];
    if (cp >= 0xD800 && cp <= 0xDBFF && i < avail && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i] - 0xDC00);
      i++;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = k_replacement;
    }
    unsigned char bytes[4];
    int count;
    if (cp < 0x80) {
      bytes[0] = (unsigned char)cp, count = 1;
    } else if (cp < 0x800) {
      bytes[0] = (unsigned char)(0xC0 | (cp >> 6)), bytes[1] = (unsigned char)(0x80 | (cp & 0x3F)), count = 2;
    } else if (cp < 0x10000) {
      bytes[0] = (unsigned char)(0xE0 | (cp >> 12)), bytes[1] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F));
      bytes[2] = (unsigned char)(0x80 | (cp & 0x3F)), count = 3;
    } else {
      bytes[0] = (unsigned char)(0xF0 | (cp >> 18)), bytes[1] = (unsigned char)(0x80 | ((cp >> 12) & 0x3F));
      bytes[2] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F)), bytes[3] = (unsigned char)(0x80 | (cp & 0x3F));
      count = 4;
    }
    if (buffer) {
      if (out + count > n) return 0;
      std::memcpy(buffer + out, bytes, size_t(count));
    }
    out += count;
  }
  return out;
}

int port_str_ansi_to_wide(const char *text, int length, char16_t *buffer, int n) {
  return port_str_utf8_to_wide(text, length, buffer, n);
}

int port_str_nicmp(const char *a, const char *b, int n) {
  for (int i = 0; i < n; i++) {
    int fa = (unsigned char)fold(a[i]), fb = (unsigned char)fold(b[i]);
    if (fa != fb) return fa - fb;
    if (fa == 0) return 0;
  }
  return 0;
}
