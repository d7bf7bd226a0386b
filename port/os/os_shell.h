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
