// paint_send: sending the painting to the device's programs, and the
// command panel's Send and Share commands.
//
// Send exports the painting as "attachment.jpg" (JPEG, quality 85) into the
// temporary folder and pops up a menu at the Send button: infrared beam,
// MMS or e-mail, each handing the file to the device's program. Only the
// e-mail composer has a desktop counterpart; when it cannot start or answers
// failure the error box 25024 says so (a failed beam or MMS is not
// reported). Share starts the SMS composer with an
// invitation. The send object remembers the button and the attachment; the
// menu is popped up fresh each time and frees itself.
//
// Launches (program, parameter text, cut at SEND_PARAMETER_CHARS):
//
// | use    | program              | parameters                                  |
// |--------|----------------------|---------------------------------------------|
// | beam   | "\windows\Beam.exe"  | the path alone, unquoted                    |
// | MMS    | "\windows\tmail.exe" | -service "MMS" -to "" -attach "<path>"      |
// | e-mail | "\windows\tmail.exe" | -service "ActiveSync" -attach "<path>"      |
#pragma once

#include <cstdint>

#include "app_context.h"

struct tbutton;

constexpr int PAINT_SEND_PATH_CHARS = 260;
enum { PAINT_SEND_BEAM = 1, PAINT_SEND_MMS = 2, PAINT_SEND_EMAIL = 3 };
enum {
  PAINT_SEND_TEXT_CANNOT_SEND = 25024,
  PAINT_SEND_TEXT_INVITATION = 25025,
  PAINT_SEND_TEXT_NO_SMS = 25026,
  PAINT_SEND_TEXT_SAVING = 25023,
};

struct paint_send {
  char16_t _path[PAINT_SEND_PATH_CHARS];
  tbutton *_button;
};

paint_send *paint_send_new(tbutton *button);
void paint_send_free(paint_send *send);
// Keeps the path and pops up the Send menu at the button; 1.
int paint_send_show_menu(paint_send *send, const char16_t *path);
int paint_send_via_beam(const char16_t *path);
int paint_send_via_mms(const char16_t *path);
// 1 when the composer started; its failure later shows the error box 25024.
int paint_send_via_email(const char16_t *path);

// Exports the painting as JPEG (quality 85) to path under the wait note,
// replacing any old file; 1 only when the export succeeded and the file is
// there.
int paint_send_export(app_context *app, const char16_t *path);

// The command panel's Send: the send object is made once into *send_menu
// (kept and freed by the panel; failing: error box 25024), the painting is
// exported to the temporary folder, and only then the menu pops up at the
// button. 1 when the menu was shown.
int paint_send_show(app_context *app, paint_send **send_menu, tbutton *button);
// The command panel's Share: the SMS composer with the invitation; stop box
// 25026 when it cannot start. 1 when it started.
int paint_share(app_context *app);
