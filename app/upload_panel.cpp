// upload_panel: the command panel's Upload and My Gallery commands.
#include "upload_panel.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "app_common.h"
#include "os_paths.h"
#include "paint_file.h"
#include "paint_send.h"
#include "port_fs.h"
#include "port_log.h"
#include "tdialog.h"
#include "tresource.h"
#include "twformat.h"
#include "upload.h"
#include "upload_info_dialog.h"
#include "wait_upload_dialog.h"
#include "win_ao.h"

namespace {

const char k_upload_file[] = "/My Brivola File.jpg";
constexpr int k_gallery_url_chars = 8192;

void on_info_result(int32_t result, void *user_data);
void on_status(int code);
void on_result(win_ao *ao, void *user_data);
void on_wait_closed(int32_t result, void *user_data);
void show_outcome(int code);

}  // namespace

int upload_start_dialog(app_context *app) {
  PORT_CHECK(app != nullptr);
  upload_state *state = upload_get_state(app);
  if (!state || !app->_file) return 0;
  // One upload at a time: the box of a running one is still up.
  if (state->_wait_dialog) return 0;
  std::u16string path = port_fs_wide_path(os_documents_dir() + k_upload_file);
  if (path.size() + 1 >= size_t(UPLOAD_PATH_CHARS)) return 0;
  std::memcpy(state->_export_path, path.c_str(), (path.size() + 1) * sizeof(char16_t));
  if (!paint_send_export(app, state->_export_path)) return 0;
  if (!state->_edit_title[0])
    twformat(state->_edit_title, UPLOAD_TITLE_CHARS, u"%s", paint_file_get_name(app->_file));
  upload_info_dialog *dialog = upload_info_dialog_new(
      tresource_get_string(UPLOAD_TEXT_DIALOG_TITLE, u"Upload painting"), app_common_get_dialog_width(),
      state->_edit_title, state->_edit_description, app);
  if (!dialog) return 0;
  upload_info_dialog_set_on_result(dialog, on_info_result);
  tdialog_set_dimmed(upload_info_dialog_get_dialog(dialog), 1);
  upload_info_dialog_show(dialog, -1, -1, TDIALOG_PLACE_CENTRE);
  return 1;
}

void upload_run(app_context *app) {
  PORT_CHECK(app != nullptr);
  upload_state *state = upload_get_state(app);
  if (!state) return;
  win_ao *ao = win_ao_new(0);
  if (ao) {
    win_ao_set_run(ao, on_result);
    std::lock_guard<std::recursive_mutex> lock(state->_lock);
    state->_result_ao = ao;
  }
  upload_start(state->_export_path, state->_edit_title, state->_edit_description, on_status);
  wait_upload_dialog *wait = wait_upload_dialog_new(app_common_get_dialog_width(), app);
  if (!wait) return;
  state->_wait_dialog = wait;
  wait_upload_dialog_set_on_result(wait, on_wait_closed);
  wait_upload_dialog_show(wait, -1, -1, TDIALOG_PLACE_CENTRE);
}

int paint_open_gallery(app_context *app) {
  PORT_CHECK(app != nullptr);
  char16_t *url = static_cast<char16_t *>(std::calloc(k_gallery_url_chars, sizeof(char16_t)));
  // A browser that fails says so itself.
  int opened = 0;
  if (url && upload_get_gallery_url(app, url, k_gallery_url_chars))
    opened = app_common_open_url(url);
  else
    app_common_show_error(tresource_get_string(APP_TEXT_OPEN_URL_FAILED, u"Fail to open url."));
  std::free(url);
  return opened;
}

namespace {

void on_info_result(int32_t result, void *user_data) {
  if (result == TDIALOG_RESULT_OK) upload_run(static_cast<app_context *>(user_data));
}

// Off the GUI thread, under the upload's lock: only the signal.
void on_status(int code) {
  app_context *app = app_common_find_app();
  upload_state *state = app ? app->_upload : nullptr;
  if (!state || !state->_result_ao) return;
  win_ao_set_user_data(state->_result_ao, reinterpret_cast<void *>(intptr_t(code)));
  win_ao_signal(state->_result_ao);
}

// The GUI thread: the box closes (its handler releases), then the outcome.
void on_result(win_ao *ao, void *user_data) {
  int code = int(reinterpret_cast<intptr_t>(user_data));
  app_context *app = app_common_get_app();
  upload_state *state = app->_upload;
  {
    std::lock_guard<std::recursive_mutex> lock(state->_lock);
    if (state->_result_ao == ao) state->_result_ao = nullptr;
  }
  win_ao_free(ao);
  if (state->_wait_dialog)
    wait_upload_dialog_close(state->_wait_dialog, TDIALOG_RESULT_CANCEL);
  else
    upload_release(app);
  show_outcome(code);
}

void on_wait_closed(int32_t result, void *user_data) {
  (void)result;
  app_context *app = static_cast<app_context *>(user_data);
  if (app->_upload) app->_upload->_wait_dialog = nullptr;
  upload_release(app);
}

void show_outcome(int code) {
  if (code == UPLOAD_OK)
    app_common_show_info(tresource_get_string(UPLOAD_TEXT_UPLOADED, u"Painting uploaded Ok"));
  else if (code == UPLOAD_CONNECT_FAILED)
    app_common_show_error(tresource_get_string(UPLOAD_TEXT_CONNECT_FAIL, u"Connect fail"));
  else if (code == UPLOAD_NO_NETWORK)
    app_common_show_error(tresource_get_string(UPLOAD_TEXT_NO_NETWORK, u"No available network"));
  else
    app_common_show_error(tresource_get_string(UPLOAD_TEXT_FAIL, u"Upload painting fail"));
}

}  // namespace
