// upload: the gallery upload engine.
#include "upload.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "app_common.h"
#include "app_context.h"
#include "http_get.h"
#include "port_device.h"
#include "port_fs.h"
#include "port_log.h"
#include "port_utf8.h"
#include "twformat.h"
#include "wait_upload_dialog.h"
#include "wince_connection.h"
#include "win_ao.h"
#include "wins_window.h"

namespace {

const char k_upload_path[] = "/cgi-bin/bv-gallery/do_upload.pl";
const char16_t k_gallery_format[] =
    u"http://%s/cgi-bin/bv-gallery/view_author_paintings.pl?auth=%s&uid=%s&dev=%s&sn=%s&lang=%d&slang=%d";
const char k_device[] = "wceppc";
const char k_delimiter[] = "-----------------------------7db1e43618027e\r\n";
const char k_closing[] = "\r\n-----------------------------7db1e43618027e--\r\n";
const char k_file_format[] =
    "Content-Disposition: form-data; name=\"FILE1\"; filename=\"%s\"\r\nContent-Type: image/jpeg\r\n\r\n";
// No Accept-Encoding: nothing here decodes a compressed answer.
const char k_extra_headers[] =
    "Content-Type: multipart/form-data; boundary=---------------------------7db1e43618027e\r\n"
    "Cache-Control: no-cache";
const char k_user_agent[] =
    "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0; .NET CLR 2.0.50727; .NET CLR 3.0.04506.30; "
    ".NET CLR 1.1.4322; .NET CLR 3.0.4506.2152; .NET CLR 3.5.30729; CIBA)";
const char k_success[] = "Uploaded ok!";
const char16_t k_internet[] = u"Internet";
const char k_base64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t k_key[4] = {0x5D, 0x0E, 0xA7, 0x93};
constexpr size_t k_body_slack = 16384;
// The stand-in has one destination; a real manager a handful.
constexpr uint32_t k_max_destinations = 256;
constexpr int k_url_bytes = 512;

char g_host[UPLOAD_HOST_CHARS] = BRIVOLA_SERVICE_HOST;

FILE *log_stream();
upload_state *state_of_app();
void release_transfer(upload_state *state, win_ao **result_ao);
void report(upload_state *state, int code);
void append_part(std::string &body, const char *name, const char *value);
int build_body(const upload_state *state, const char16_t *file_path, std::string &body);

}  // namespace

upload_state *upload_get_state(app_context *app) {
  PORT_CHECK(app != nullptr);
  if (!app->_upload) app->_upload = new (std::nothrow) upload_state();
  return app->_upload;
}

void upload_quit(app_context *app) {
  PORT_CHECK(app != nullptr);
  upload_state *state = app->_upload;
  if (!state) return;
  // Closing the wait dialog runs its result handler, which releases.
  if (state->_wait_dialog) wait_upload_dialog_close(state->_wait_dialog, 0);
  upload_release(app);
  app->_upload = nullptr;
  delete state;
}

void upload_release(app_context *app) {
  PORT_CHECK(app != nullptr);
  upload_state *state = app->_upload;
  if (!state) return;
  win_ao *result_ao = nullptr;
  release_transfer(state, &result_ao);
  if (result_ao) win_ao_free(result_ao);
}

int upload_start(const char16_t *file_path, const char16_t *title, const char16_t *description,
                 upload_status_fn callback) {
  PORT_CHECK(file_path != nullptr && title != nullptr && description != nullptr);
  upload_state *state = upload_get_state(app_common_get_app());
  if (!state) {
    if (callback) callback(UPLOAD_FAILED);
    return 0;
  }
  // A previous upload's leftovers go before its fields are written over.
  release_transfer(state, nullptr);
  std::unique_lock<std::recursive_mutex> lock(state->_lock);
  upload_copy_text(state->_file_path, UPLOAD_PATH_CHARS, file_path);
  upload_copy_text(state->_title, UPLOAD_TITLE_CHARS, title);
  upload_copy_text(state->_description, UPLOAD_DESCRIPTION_CHARS, description);
  state->_status_callback = callback;
  state->_reported = 0;

  char url[k_url_bytes];
  char16_t wide_url[k_url_bytes];
  upload_get_url(url, k_url_bytes);
  app_common_utf8_to_wide_cut(url, -1, wide_url, k_url_bytes);
  os_connmgr_guid guid;
  char16_t description_text[OS_CONNMGR_DESCRIPTION_CHARS] = {};
  int32_t index = upload_map_url(wide_url, &guid, description_text);
  if (index == -1) {
    index = upload_find_internet_destination();
    if (index == -1) {
      report(state, UPLOAD_NO_NETWORK);
      return 0;
    }
    os_connmgr_destination destination;
    if (os_connmgr_enum_destinations(uint32_t(index), &destination) == 0)
      upload_copy_text(description_text, OS_CONNMGR_DESCRIPTION_CHARS, destination.description);
  }
  port_log_printf_wide(log_stream(), u"To connect: <%d> %s\n", int(index), description_text);
  wince_connection *connection = wince_connection_get(uint32_t(index));
  if (!connection) {
    report(state, UPLOAD_CONNECT_FAILED);
    return 0;
  }
  state->_active = 1;
  state->_connection = connection;
  lock.unlock();
  // The outcome may come at once, on this thread.
  wince_connection_open(connection, upload_on_connection, nullptr);
  return 1;
}

void upload_on_connection(wince_connection *connection, int connected, void *user_data) {
  (void)user_data;
  upload_state *state = state_of_app();
  if (!state) return;
  std::lock_guard<std::recursive_mutex> lock(state->_lock);
  if (!state->_active || state->_connection != connection || state->_request) return;
  if (!connected) {
    report(state, UPLOAD_CONNECT_FAILED);
    return;
  }
  if (!upload_send(state->_file_path)) report(state, UPLOAD_FAILED);
}

int upload_send(const char16_t *file_path) {
  PORT_CHECK(file_path != nullptr);
  upload_state *state = state_of_app();
  if (!state) return 0;
  std::lock_guard<std::recursive_mutex> lock(state->_lock);
  std::string body;
  if (!build_body(state, file_path, body)) return 0;

  HttpGetSink *sink = HttpGetSinkCreate(UPLOAD_SINK_BYTES);
  HttpGet *request = sink ? HttpGetCreate() : nullptr;
  if (!request) {
    HttpGetSinkDestroy(sink);
    return 0;
  }
  HttpGetSinkSetOffset(sink, 0);
  HttpGetSinkSetLength(sink, UPLOAD_SINK_BYTES);
  state->_sink = sink;
  state->_request = request;
  if (state->_sockets) HttpGetSetSocketTable(request, state->_sockets);
  HttpGetSetCallback(request, upload_on_done, app_common_find_app());
  HttpGetSetPostData(request, body.data(), uint32_t(body.size()));
  HttpGetSetExtraHeaders(request, k_extra_headers);
  HttpGetSetUserAgent(request, k_user_agent);
  char url[k_url_bytes];
  upload_get_url(url, k_url_bytes);
  // A request that cannot start ends through upload_on_done (this thread may
  // hold the lock: it is recursive).
  HttpGetRequest(request, sink, 0, url, "", 0, UPLOAD_TIME_OUT_S, 1);
  return 1;
}

void upload_on_done(HttpGet *request, void *user_data) {
  app_context *app = user_data ? static_cast<app_context *>(user_data) : app_common_find_app();
  upload_state *state = app ? app->_upload : nullptr;
  if (!state) return;
  std::lock_guard<std::recursive_mutex> lock(state->_lock);
  if (!state->_active || state->_request != request) return;
  if (HttpGetIsRunning(request)) return;
  uint32_t received = std::min(HttpGetSinkGetReceived(state->_sink), state->_sink->_capacity);
  std::string text(reinterpret_cast<const char *>(HttpGetSinkGetBuffer(state->_sink)), received);
  text = text.c_str();  // the answer is text: it ends at its first NUL
  if (FILE *log = log_stream()) port_log_write(log, text.c_str());
  report(state, text.find(k_success) != std::string::npos ? UPLOAD_OK : UPLOAD_FAILED);
}

int32_t upload_map_url(const char16_t *url, os_connmgr_guid *guid, char16_t *description) {
  PORT_CHECK(url != nullptr && guid != nullptr);
  uint32_t index = 0;
  uint32_t result = os_connmgr_map_url(url, guid, &index);
  if (result != 0) {
    port_log_printf(log_stream(), "Error <%d>: Could not map a request to a network identifier\n", int(result));
    return -1;
  }
  if (description) {
    os_connmgr_destination destination;
    description[0] = 0;
    if (os_connmgr_enum_destinations(index, &destination) == 0)
      upload_copy_text(description, OS_CONNMGR_DESCRIPTION_CHARS, destination.description);
  }
  return int32_t(index);
}

int32_t upload_find_internet_destination() {
  for (uint32_t index = 0; index < k_max_destinations; index++) {
    os_connmgr_destination destination;
    // Any failure ends the search, not only the manager's "no more".
    if (os_connmgr_enum_destinations(index, &destination) != 0) return -1;
    destination.description[OS_CONNMGR_DESCRIPTION_CHARS - 1] = 0;
    port_log_printf_wide(log_stream(), u"Connect[%d]: %s\n", int(index), destination.description);
    std::u16string text(destination.description);
    if (text.find(k_internet) != std::u16string::npos) return int32_t(index);
  }
  return -1;
}

int param_encode_base64(const uint8_t *data, int length, char *out, const uint8_t *key) {
  if (length < 0) return 0;
  int need = ((length + 2) / 3) * 4 + 1;
  if (!out) return need;
  if (length > 0 && !data) return 0;
  const uint8_t *mask = key ? key : k_key;
  char *at = out;
  for (int i = 0; i < length; i += 3) {
    uint32_t group = 0;
    int bytes = std::min(3, length - i);
    for (int j = 0; j < 3; j++) {
      uint8_t byte = j < bytes ? uint8_t(data[i + j] ^ mask[(i + j) % 4]) : 0;
      group = (group << 8) | byte;
    }
    *at++ = k_base64[(group >> 18) & 63];
    *at++ = k_base64[(group >> 12) & 63];
    *at++ = bytes > 1 ? k_base64[(group >> 6) & 63] : '=';
    *at++ = bytes > 2 ? k_base64[group & 63] : '=';
  }
  *at = 0;
  return int(at - out) + 1;
}

int param_percent_encode(const char *text, char *out, int n, int all) {
  PORT_CHECK(text != nullptr && out != nullptr && n > 0);
  static const char hex[] = "0123456789ABCDEF";
  int used = 0;
  for (const unsigned char *at = reinterpret_cast<const unsigned char *>(text); *at; at++) {
    bool plain = !all && ((*at >= 'a' && *at <= 'z') || (*at >= 'A' && *at <= 'Z') || (*at >= '0' && *at <= '9'));
    int need = plain ? 1 : 3;
    if (used + need > n - 1) {
      out[used] = 0;
      return 0;
    }
    if (plain) {
      out[used++] = char(*at);
    } else {
      out[used++] = '%';
      out[used++] = hex[*at >> 4];
      out[used++] = hex[*at & 15];
    }
  }
  out[used] = 0;
  return 1;
}

int html_entity_encode(const char16_t *text, char *out, int n) {
  PORT_CHECK(text != nullptr && out != nullptr && n > 0);
  int used = 0;
  for (const char16_t *at = text; *at;) {
    // Two units are there to read: the second is at least the terminator.
    int units;
    uint32_t code = port_utf8_decode_wide(at, 2, &units);
    at += units;
    char piece[16];
    int length;
    if (code <= 255) {
      piece[0] = char(code);
      length = 1;
    } else {
      length = std::snprintf(piece, sizeof piece, "&#%u;", code);
    }
    if (used + length > n - 1) {
      out[used] = 0;
      return 0;
    }
    std::memcpy(out + used, piece, size_t(length));
    used += length;
  }
  out[used] = 0;
  return 1;
}

int upload_get_serial_utf8(char *out) {
  PORT_CHECK(out != nullptr);
  char16_t serial[UPLOAD_SERIAL_CHARS] = {};
  port_device_get_serial(serial);
  serial[UPLOAD_SERIAL_CHARS - 1] = 0;
  return app_common_wide_to_utf8_cut(serial, out, UPLOAD_SERIAL_CHARS);
}

int upload_make_auth(const char *serial, char *out, int n) {
  PORT_CHECK(serial != nullptr && out != nullptr && n > 0);
  int length = int(std::strlen(serial));
  std::string encoded(size_t(param_encode_base64(reinterpret_cast<const uint8_t *>(serial), length, nullptr, nullptr)),
                      '\0');
  param_encode_base64(reinterpret_cast<const uint8_t *>(serial), length, &encoded[0], nullptr);
  param_percent_encode(encoded.c_str(), out, n, 0);
  return int(std::strlen(out));
}

void upload_copy_text(char16_t *out, int n, const char16_t *text) {
  PORT_CHECK(out != nullptr && n > 0 && text != nullptr);
  size_t length = 0;
  while (length < size_t(n) && text[length]) length++;
  length = port_utf8_cut_wide(text, length, size_t(n - 1));
  std::memcpy(out, text, size_t(length) * sizeof(char16_t));
  out[length] = 0;
}

void upload_set_service_host(const char *host) {
  const char *text = host ? host : BRIVOLA_SERVICE_HOST;
  size_t length = std::min(std::strlen(text), size_t(UPLOAD_HOST_CHARS - 1));
  std::memcpy(g_host, text, length);
  g_host[length] = 0;
}

const char *upload_get_service_host() { return g_host; }

int upload_get_url(char *out, int n) {
  PORT_CHECK(out != nullptr && n > 0);
  int need = std::snprintf(out, size_t(n), "http://%s%s", g_host, k_upload_path);
  return need >= 0 && need < n ? 1 : 0;
}

int upload_get_gallery_url(const app_context *app, char16_t *out, int n) {
  PORT_CHECK(app != nullptr && out != nullptr && n > 0);
  char serial[UPLOAD_SERIAL_CHARS];
  int serial_length = upload_get_serial_utf8(serial);
  // Escaping makes at most 3 bytes of each byte of the base64 text.
  std::string auth_text(size_t(3 * (param_encode_base64(nullptr, serial_length, nullptr, nullptr) - 1) + 1), '\0');
  upload_make_auth(serial, &auth_text[0], int(auth_text.size()));
  char16_t wide_auth[UPLOAD_SERIAL_CHARS * 12], wide_serial[UPLOAD_SERIAL_CHARS], host[UPLOAD_HOST_CHARS],
      device[sizeof k_device];
  app_common_utf8_to_wide_cut(auth_text.c_str(), -1, wide_auth, int(sizeof wide_auth / sizeof wide_auth[0]));
  app_common_utf8_to_wide_cut(serial, -1, wide_serial, UPLOAD_SERIAL_CHARS);
  app_common_utf8_to_wide_cut(g_host, -1, host, UPLOAD_HOST_CHARS);
  app_common_utf8_to_wide_cut(k_device, -1, device, int(sizeof k_device));
  int need = twformat(out, size_t(n), k_gallery_format, host, wide_auth, wide_serial, device, wide_serial,
                      int(app->_language), int(app->_lang_id));
  return need < n ? 1 : 0;
}

namespace {

FILE *log_stream() {
  wins_window_context *context = wins_window_get_context();
  return context ? context->_log : nullptr;
}

upload_state *state_of_app() {
  app_context *app = app_common_find_app();
  return app ? app->_upload : nullptr;
}

// Clears the flag and frees request, sink and connection, outside the lock:
// the request's end callback and the connection's poll thread take it, and
// both are waited for here. Hands the result road's object over when asked.
void release_transfer(upload_state *state, win_ao **result_ao) {
  HttpGet *request;
  HttpGetSink *sink;
  wince_connection *connection;
  {
    std::lock_guard<std::recursive_mutex> lock(state->_lock);
    state->_active = 0;
    request = state->_request;
    sink = state->_sink;
    connection = state->_connection;
    state->_request = nullptr;
    state->_sink = nullptr;
    state->_connection = nullptr;
    if (result_ao) {
      *result_ao = state->_result_ao;
      state->_result_ao = nullptr;
    }
  }
  if (request) HttpGetDestroy(request);
  if (sink) HttpGetSinkDestroy(sink);
  if (connection) wince_connection_release(connection);
}

// Under the lock: the first report of an upload reaches the callback.
void report(upload_state *state, int code) {
  if (state->_reported) return;
  state->_reported = 1;
  if (state->_status_callback) state->_status_callback(code);
}

void append_part(std::string &body, const char *name, const char *value) {
  body += k_delimiter;
  body += "Content-Disposition: form-data; name=\"";
  body += name;
  body += "\"\r\n\r\n";
  body += value;
  body += "\r\n";
}

// The parts, then the file read straight into its place in the body (the
// client copies the body once more; a 2 MB picture is not copied twice
// here). 0 when the file cannot be read whole or the body cannot be held.
int build_body(const upload_state *state, const char16_t *file_path, std::string &body) {
  FILE *file = std::fopen(port_fs_native_path(file_path).c_str(), "rb");
  if (!file) return 0;
  long file_size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) file_size = std::ftell(file);
  if (file_size < 0 || uint64_t(file_size) > UINT32_MAX - k_body_slack || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return 0;
  }
  char serial[UPLOAD_SERIAL_CHARS];
  int serial_length = upload_get_serial_utf8(serial);
  std::string auth(size_t(3 * (param_encode_base64(nullptr, serial_length, nullptr, nullptr) - 1) + 1), '\0');
  upload_make_auth(serial, &auth[0], int(auth.size()));
  // Only the file's own name goes out: the folder names the user's login,
  // and the gallery has no use for it.
  const char16_t *name = state->_file_path;
  for (const char16_t *at = name; *at; at++)
    if (*at == u'/' || *at == u'\\') name = at + 1;
  char path[UPLOAD_PATH_CHARS];
  app_common_wide_to_utf8_cut(name, path, UPLOAD_PATH_CHARS);
  std::string title(UPLOAD_FIELD_BYTES, '\0'), description(UPLOAD_FIELD_BYTES, '\0');
  html_entity_encode(state->_title, &title[0], UPLOAD_FIELD_BYTES);
  html_entity_encode(state->_description, &description[0], UPLOAD_FIELD_BYTES);
  size_t read = 0;
  try {
    body.reserve(size_t(file_size) + k_body_slack);
    append_part(body, "auth", auth.c_str());
    append_part(body, "dev", k_device);
    append_part(body, "uid", serial);
    append_part(body, "title", title.c_str());
    append_part(body, "desc", description.c_str());
    append_part(body, "direct", "1");
    body += k_delimiter;
    std::string header(sizeof k_file_format + std::strlen(path), '\0');
    int header_length = std::snprintf(&header[0], header.size(), k_file_format, path);
    header.resize(size_t(header_length));
    body += header;
    size_t at = body.size();
    body.resize(at + size_t(file_size));
    read = std::fread(&body[at], 1, size_t(file_size), file);
    body += k_closing;
  } catch (const std::bad_alloc &) {
    std::fclose(file);
    return 0;
  }
  std::fclose(file);
  return read == size_t(file_size) ? 1 : 0;
}

}  // namespace
