// Feeds a service answer to the upload's completion: the received bytes
// stand in the sink as the request left them and upload_on_done reads them.
// Checks: exactly one report, 0 when the words "Uploaded ok!" stand in the
// text before its first NUL and 2 otherwise, and a second completion call
// (a late callback) reports nothing.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app_context.h"
#include "http_get.h"
#include "upload.h"

namespace {

std::vector<int> g_codes;

void record(int code) { g_codes.push_back(code); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  app_context *app = static_cast<app_context *>(std::calloc(1, sizeof(app_context)));
  upload_state *state = upload_get_state(app);
  HttpGetSink *sink = HttpGetSinkCreate(UPLOAD_SINK_BYTES);
  HttpGet *request = HttpGetCreate();
  if (!app || !state || !sink || !request) std::abort();
  uint32_t kept = uint32_t(size < UPLOAD_SINK_BYTES ? size : UPLOAD_SINK_BYTES);
  if (kept) std::memcpy(HttpGetSinkGetBuffer(sink), data, kept);
  sink->_received = kept;
  state->_active = 1;
  state->_request = request;
  state->_sink = sink;
  state->_status_callback = record;
  g_codes.clear();

  upload_on_done(request, app);
  upload_on_done(request, app);

  std::string text(reinterpret_cast<const char *>(data), kept);
  int expected = std::string(text.c_str()).find("Uploaded ok!") != std::string::npos ? UPLOAD_OK : UPLOAD_FAILED;
  if (g_codes.size() != 1 || g_codes[0] != expected) std::abort();

  HttpGetDestroy(request);
  HttpGetSinkDestroy(sink);
  delete state;
  std::free(app);
  return 0;
}
