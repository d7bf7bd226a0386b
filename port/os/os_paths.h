// The folders of the program on Linux, as UTF-8 paths without a trailing '/'.
//
// Program folder: where the executable lies (read-only resources beside it);
//   $BRIVOLA_PROGRAM_DIR overrides it (tests point it at the build tree).
// User folder: $BRIVOLA_HOME, else $XDG_DATA_HOME/brivola, else
//   ~/.local/share/brivola; everything the program writes goes there.
// Documents: $XDG_DOCUMENTS_DIR, else ~/Documents.
#pragma once

#include <string>

std::string os_program_dir();
std::string os_user_dir();
std::string os_documents_dir();
// Creates a folder and its missing parents; 1 when it exists afterwards.
int os_make_dirs(const std::string &path);
