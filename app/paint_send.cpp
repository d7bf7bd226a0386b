// paint_send: sending and sharing the painting.
#include "paint_send.h"

#include <cstdlib>
#include <cstring>

#include "app_common.h"
#include "os_shell.h"
#include "paint_file.h"
#include "port_device.h"
#include "port_fs.h"
#include "port_log.h"
#include "sms_send.h"
#include "tbutton.h"
#include "tfile.h"
#include "tlistbox.h"
#include "tmenu.h"
#include "tresource.h"
#include "twformat.h"

namespace {

const char16_t k_beam[] = u"\\windows\\Beam.exe";
const char16_t k_composer[] = u"\\windows\\tmail.exe";
const char16_t k_mms_format[] = u"-service \"MMS\" -to \"\" -attach \"%s\"";
const char16_t k_email_format[] = u"-service \"ActiveSync\" -attach \"%s\"";
const char16_t k_attachment[] = u"attachment.jpg";
constexpr int k_jpeg_quality = 85;
constexpr int32_t k_item_height_small = 35;
constexpr int32_t k_item_height = 55;
constexpr int32_t k_scroll_steps = 2;
constexpr int32_t k_scrollbar_width = 10;

struct menu_entry {
  int32_t text_id;
  const char16_t *text;
  uint32_t id;
};
constexpr menu_entry k_entries[] = {
    {25177, u"Via Wireless Transfer/-1", PAINT_SEND_BEAM},
    {25178, u"Via MMS/-1", PAINT_SEND_MMS},
    {25179, u"Via E-Mail/-1", PAINT_SEND_EMAIL},
};

int launch_with_path(const char16_t *format, const char16_t *path, port_device_launch_fn on_end);
void on_select(uint32_t id, void *user_data);
void on_mail_end(int result, void *user_data);
void show_cannot_send();

}  // namespace

paint_send *paint_send_new(tbutton *button) {
  paint_send *send = static_cast<paint_send *>(std::calloc(1, sizeof(paint_send)));
  if (!send) return nullptr;
  send->_button = button;
  return send;
}

void paint_send_free(paint_send *send) {
  PORT_CHECK(send != nullptr);
  std::free(send);
}

int paint_send_show_menu(paint_send *send, const char16_t *path) {
  PORT_CHECK(send != nullptr && path != nullptr);
  twformat(send->_path, PAINT_SEND_PATH_CHARS, u"%s", path);
  trect at = {-1, -1, -1, -1};
  if (send->_button) tsurface_get_screen_rect(&send->_button->_control._surface, &at);
  tmenu *menu = tmenu_new(send);
  if (!menu) return 1;
  tsurface_set_visible(&reinterpret_cast<tcontrol *>(tmenu_get_controlbar(menu))->_surface, 0);
  tmenu_set_item_height(menu, app_common_is_qvga() ? k_item_height_small : k_item_height);
  tmenu_set_dim_background(menu, 1);
  tlistbox *list = tmenu_get_listbox(menu);
  tlistbox_set_smooth_scroll(list, 1);
  tlistbox_set_scroll_steps(list, k_scroll_steps);
  tlistbox_set_scrollbar_width(list, k_scrollbar_width);
  for (const menu_entry &entry : k_entries)
    tmenu_add_item(menu, tresource_get_string(entry.text_id, entry.text), entry.id, 0, 0, send);
  tmenu_set_on_select(menu, on_select);
  tmenu_popup(menu, at.x1, at.y1);
  return 1;
}

int paint_send_via_beam(const char16_t *path) {
  PORT_CHECK(path != nullptr);
  char16_t parameters[SEND_PARAMETER_CHARS];
  twformat(parameters, SEND_PARAMETER_CHARS, u"%s", path);
  return port_device_launch(os_shell_execute_command(k_beam, parameters), nullptr, nullptr);
}

int paint_send_via_mms(const char16_t *path) {
  PORT_CHECK(path != nullptr);
  return launch_with_path(k_mms_format, path, nullptr);
}

int paint_send_via_email(const char16_t *path) {
  PORT_CHECK(path != nullptr);
  return launch_with_path(k_email_format, path, on_mail_end);
}

int paint_send_export(app_context *app, const char16_t *path) {
  PORT_CHECK(app != nullptr && path != nullptr);
  if (!app->_file) return 0;
  app_common_show_wait_note(tresource_get_string(PAINT_SEND_TEXT_SAVING, u"Saving paint to temporary file..."));
  port_fs_delete_file(path);
  paint_file_clear_open_after_save(app->_file);
  int result = paint_file_save_jpeg(app->_file, path, k_jpeg_quality);
  app_common_close_wait_note();
  // A failed export may leave nothing, or a file that is not the painting.
  return result == 1 && port_fs_exists(path) ? 1 : 0;
}

int paint_send_show(app_context *app, paint_send **send_menu, tbutton *button) {
  PORT_CHECK(app != nullptr && send_menu != nullptr);
  if (!*send_menu) *send_menu = paint_send_new(button);
  if (!*send_menu) {
    show_cannot_send();
    return 0;
  }
  port_fs_make_dir(app->_temp_dir);
  char16_t path[PAINT_SEND_PATH_CHARS];
  if (twformat(path, PAINT_SEND_PATH_CHARS, u"%s%c%s", app->_temp_dir, int(TFILE_SEPARATOR), k_attachment) >=
      PAINT_SEND_PATH_CHARS)
    return 0;
  if (!paint_send_export(app, path)) return 0;
  return paint_send_show_menu(*send_menu, path);
}

int paint_share(app_context *app) {
  PORT_CHECK(app != nullptr);
  // The text names the service host with %s: the host is the build's.
  const char16_t *text = tresource_get_string(
      PAINT_SEND_TEXT_INVITATION,
      u"Get Brivola for your phone: http://%s/download\r\nJust draw your mind right on your mobile phone! Enjoy the "
      u"release of your imagination!");
  char16_t body[SEND_PARAMETER_CHARS];
  twformat(body, SEND_PARAMETER_CHARS, text, u"" BRIVOLA_SERVICE_HOST);
  if (sms_send(app, body, u"")) return 1;
  app_common_show_stop(tresource_get_string(PAINT_SEND_TEXT_NO_SMS, u"Not supported to launch Send SMS UI."));
  return 0;
}

namespace {

int launch_with_path(const char16_t *format, const char16_t *path, port_device_launch_fn on_end) {
  char16_t parameters[SEND_PARAMETER_CHARS];
  twformat(parameters, SEND_PARAMETER_CHARS, format, path);
  return port_device_launch(os_shell_execute_command(k_composer, parameters), on_end, nullptr);
}

// The menu is gone by now; only the e-mail composer's failure is reported.
void on_select(uint32_t id, void *user_data) {
  const paint_send *send = static_cast<const paint_send *>(user_data);
  if (id == PAINT_SEND_BEAM)
    paint_send_via_beam(send->_path);
  else if (id == PAINT_SEND_MMS)
    paint_send_via_mms(send->_path);
  else if (id == PAINT_SEND_EMAIL && !paint_send_via_email(send->_path))
    show_cannot_send();
}

void on_mail_end(int result, void *user_data) {
  (void)user_data;
  if (!result) show_cannot_send();
}

void show_cannot_send() {
  app_common_show_error(tresource_get_string(PAINT_SEND_TEXT_CANNOT_SEND, u"Can not send paint."));
}

}  // namespace
