// sms_send: the device's SMS composer.
#include "sms_send.h"

#include "os_shell.h"
#include "port_device.h"
#include "port_log.h"
#include "twformat.h"

namespace {

const char16_t k_composer[] = u"\\windows\\tmail.exe";
const char16_t k_sms_format[] = u"-transport \"SMS\" -to \"%s\" -body \"%s\"";

}  // namespace

int sms_send(app_context *context, const char16_t *body, const char16_t *recipient) {
  (void)context;
  PORT_CHECK(body != nullptr && recipient != nullptr);
  char16_t parameters[SEND_PARAMETER_CHARS];
  twformat(parameters, SEND_PARAMETER_CHARS, k_sms_format, recipient, body);
  return port_device_launch(os_shell_execute_command(k_composer, parameters), nullptr, nullptr);
}
