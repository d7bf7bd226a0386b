// sms_send: the device's SMS composer with a recipient and a body.
#pragma once

#include "app_context.h"

// Characters of a launch's parameter text, terminator included; a longer
// text is cut.
constexpr int SEND_PARAMETER_CHARS = 1024;

// Starts the composer (context is not read); 1 when it started, 0 when the
// device has none.
int sms_send(app_context *context, const char16_t *body, const char16_t *recipient);
