// Fatal reporter and debug log writers.
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

port_log_box_fn g_box_hook = nullptr;

char fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

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

int port_str_nicmp(const char *a, const char *b, int n) {
  for (int i = 0; i < n; i++) {
    int fa = (unsigned char)fold(a[i]), fb = (unsigned char)fold(b[i]);
    if (fa != fb) return fa - fb;
    if (fa == 0) return 0;
  }
  return 0;
}
