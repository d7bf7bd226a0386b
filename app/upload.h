// upload: the gallery upload engine.
//
// Sends a saved JPEG with a title and a description to the gallery service
// as one multipart/form-data POST and reports one result code. The road:
// upload_start finds a destination network and asks for its connection;
// the connection's callback (poll thread) builds the body and starts the
// request (upload_send); the request's end (socket worker thread) tests
// the answer (upload_on_done) and reports. One upload runs at a time.
//
// The state lives in app_context::_upload (made on first use, freed at
// tear-down by upload_quit). The GUI thread and those two threads meet only
// there, under its one lock:
// - `_active` is 1 from the connection request until upload_release; a
//   callback that finds it 0 does nothing, and nothing is reported twice;
// - the status callback runs under the lock, so once upload_release has
//   cleared the flag no report can follow;
// - request, sink and connection are freed on the GUI thread only
//   (upload_release), outside the lock: destroying a request waits for its
//   callback, and the last release of a connection joins its poll thread,
//   and both callbacks take the lock.
//
// Body of the POST (8-bit; CRLF is 0D 0A; D is the delimiter line
// "-----------------------------7db1e43618027e" CRLF, 45 bytes):
//
// | piece                                                       | value                         |
// |-------------------------------------------------------------|-------------------------------|
// | D, Content-Disposition: form-data; name="auth" CRLF CRLF v CRLF | base64 of the serial, escaped |
// | D, part "dev"                                               | "wceppc"                      |
// | D, part "uid"                                               | the serial (UTF-8)            |
// | D, part "title"                                             | html_entity_encode of title   |
// | D, part "desc"                                              | html_entity_encode of text    |
// | D, part "direct"                                            | "1"                           |
// | D, name="FILE1"; filename="<file name, UTF-8>" + Content-Type: image/jpeg CRLF CRLF | the file's bytes |
// | CRLF "-----------------------------7db1e43618027e--" CRLF    | 47 bytes                      |
#pragma once

#include <cstdint>
#include <mutex>

#include "os_connmgr.h"

struct app_context;
struct HttpGet;
struct HttpGetSink;
struct HttpGetSocketTable;
struct wince_connection;
struct wait_upload_dialog;
struct win_ao;

constexpr int UPLOAD_PATH_CHARS = 260;
constexpr int UPLOAD_TITLE_CHARS = 128;
constexpr int UPLOAD_DESCRIPTION_CHARS = 1024;
constexpr uint32_t UPLOAD_SINK_BYTES = 102400;
constexpr uint32_t UPLOAD_TIME_OUT_S = 30;
constexpr int UPLOAD_SERIAL_CHARS = 64;
// html_entity_encode's buffers: 8 bytes for each of 1023 units fit.
constexpr int UPLOAD_FIELD_BYTES = 8192;
constexpr int UPLOAD_HOST_CHARS = 256;

// Result codes of the status callback.
enum { UPLOAD_OK = 0, UPLOAD_CONNECT_FAILED = 1, UPLOAD_FAILED = 2, UPLOAD_NO_NETWORK = 3 };

typedef void (*upload_status_fn)(int code);

struct upload_state {
  std::recursive_mutex _lock;  // a request may end on the thread that starts it
  HttpGet *_request;
  HttpGetSink *_sink;
  wince_connection *_connection;
  char16_t _file_path[UPLOAD_PATH_CHARS];
  upload_status_fn _status_callback;
  char16_t _title[UPLOAD_TITLE_CHARS];
  char16_t _description[UPLOAD_DESCRIPTION_CHARS];
  wait_upload_dialog *_wait_dialog;
  uint32_t _active;
  uint32_t _reported;
  // The result road of the command panel (upload_panel).
  win_ao *_result_ao;
  char16_t _export_path[UPLOAD_PATH_CHARS];
  char16_t _edit_title[UPLOAD_TITLE_CHARS];
  char16_t _edit_description[UPLOAD_DESCRIPTION_CHARS];
  // Tests give the requests their own socket calls; null: the real ones.
  const HttpGetSocketTable *_sockets;
};

// The state of the running application, made on first use (GUI thread).
upload_state *upload_get_state(app_context *app);
// Stops a running upload (its wait dialog closes as cancelled) and frees
// the state. Tear-down calls it before the active objects and the
// connections go.
void upload_quit(app_context *app);
// Frees the request, the sink and the connection and clears the flag; a
// later callback does nothing (GUI thread).
void upload_release(app_context *app);

// 1 when the connection was requested; 0 when no network was found (the
// callback has then received UPLOAD_NO_NETWORK).
int upload_start(const char16_t *file_path, const char16_t *title, const char16_t *description,
                 upload_status_fn callback);
void upload_on_connection(wince_connection *connection, int connected, void *user_data);
// Builds the body and starts the request; 0 when the file cannot be read
// or the request cannot be made.
int upload_send(const char16_t *file_path);
void upload_on_done(HttpGet *request, void *user_data);

// The destination index for a URL, -1 when the manager maps none; the
// destination's description (OS_CONNMGR_DESCRIPTION_CHARS) when asked for.
int32_t upload_map_url(const char16_t *url, os_connmgr_guid *guid, char16_t *description);
// The first destination whose description holds "Internet"; -1 when the
// enumeration fails first.
int32_t upload_find_internet_destination();

// Base64 of the bytes XORed with a cyclic 4-byte key (the built-in one when
// key is null). out null: the size needed; else the text's length + 1.
int param_encode_base64(const uint8_t *data, int length, char *out, const uint8_t *key);
// Every byte but an ASCII letter or digit (all: every byte) as "%XX" into
// out of n bytes (3 x length + 1 always fits); only whole escapes are
// written and out is always ended. 1 when all fitted.
int param_percent_encode(const char *text, char *out, int n, int all);
// UTF-16 as 8-bit form text: a unit up to 255 as that byte, anything else
// (a surrogate pair as one character) as "&#N;". Only whole references are
// written into out of n bytes, always ended. 1 when all fitted.
int html_entity_encode(const char16_t *text, char *out, int n);

// The device serial as UTF-8 (UPLOAD_SERIAL_CHARS bytes); its length.
int upload_get_serial_utf8(char *out);
// The `auth` value of a serial: base64 then percent-escaped. Its length.
int upload_make_auth(const char *serial, char *out, int n);

// At most n - 1 units of text into out, never the first half of a
// surrogate pair alone; always ended.
void upload_copy_text(char16_t *out, int n, const char16_t *text);

// The service host (no scheme): the build's placeholder unless a test set
// its own; null restores it.
void upload_set_service_host(const char *host);
const char *upload_get_service_host();
// The upload address, "http://<host>/cgi-bin/bv-gallery/do_upload.pl".
int upload_get_url(char *out, int n);
// The author's gallery page of this device, formatted into n chars; 1 when
// it fitted.
int upload_get_gallery_url(const app_context *app, char16_t *out, int n);
