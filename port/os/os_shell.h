// Starting other programs: the desktop's opener for files and addresses.
//
// Every start goes through one launcher, which a test replaces to record the
// command lines instead of starting anything.
#pragma once

#include <string>
#include <vector>

// Starts argv[0] (looked up in PATH) with the arguments, not waiting for it;
// 1 when it was started.
typedef int (*os_launcher_fn)(const std::vector<std::string> &argv);

// Returns the previous launcher; null restores the real one.
os_launcher_fn os_shell_set_launcher(os_launcher_fn launcher);
int os_shell_run(const std::vector<std::string> &argv);
// Hands a file path or an address to xdg-open.
int os_shell_open(const std::string &target);

// What stands in for starting one of the handheld's own programs with a
// parameter text (UTF-16, as the handheld's shell takes it). Only the mail
// composer's e-mail form has a desktop counterpart:
//   "\windows\tmail.exe" with -service "ActiveSync" -attach "<path>"
// runs xdg-email --attach <path>. The infrared beam ("\windows\Beam.exe"),
// MMS and SMS have none and answer 0, as a device without them would.
// 1 when a program was started.
int os_shell_execute(const char16_t *program, const char16_t *parameters);
