// Starting other programs: the desktop's opener for files and addresses, and
// the stand-ins for the handheld's own programs.
//
// Every start goes through one launcher, which a test replaces to record the
// command lines instead of starting anything. A launcher waits for its
// program, so the GUI thread never calls it: port_device_launch runs it on a
// thread of its own.
#pragma once

#include <string>
#include <vector>

// Runs argv[0] (looked up in PATH) with the arguments and waits for it to
// end: 1 when it ran and answered success (exit status 0); 0 when it is
// missing, cannot be started, or answers failure.
typedef int (*os_launcher_fn)(const std::vector<std::string> &argv);

// Returns the previous launcher; null restores the real one.
os_launcher_fn os_shell_set_launcher(os_launcher_fn launcher);
// The launcher in force; safe from any thread.
os_launcher_fn os_shell_get_launcher();
// Runs argv through the launcher in force, on the calling thread.
int os_shell_run(const std::vector<std::string> &argv);
// The command line that hands a file path or an address to xdg-open; empty
// for an empty target.
std::vector<std::string> os_shell_open_command(const std::string &target);

// What stands in for starting one of the handheld's own programs with a
// parameter text (UTF-16, as the handheld's shell takes it). Only the mail
// composer's e-mail form has a desktop counterpart:
//   "\windows\tmail.exe" with -service "ActiveSync" -attach "<path>"
// becomes xdg-email --attach <path>. The infrared beam ("\windows\Beam.exe"),
// MMS and SMS have none: their command line is empty, as a device without
// them would start nothing.
std::vector<std::string> os_shell_execute_command(const char16_t *program, const char16_t *parameters);
// Hears every program and parameter text handed to os_shell_execute_command
// before its stand-in is chosen, so that a test sees the texts of programs
// that have none. Returns the previous one; null hears nothing.
typedef void (*os_execute_observer_fn)(const char16_t *program, const char16_t *parameters);
os_execute_observer_fn os_shell_set_execute_observer(os_execute_observer_fn observer);
