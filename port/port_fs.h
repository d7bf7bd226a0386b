// port_fs: the file-system services over Linux.
//
// Paths arrive as UTF-16 and become the system's bytes here, at the boundary,
// and nowhere else. A name is any bytes but '/' and NUL, not always UTF-8
// text: each byte of a name that is not text crosses as one private-use
// character (U+F780..U+F7FF, the byte plus 0xF700) and goes back as that byte,
// so that a name listed opens, and saves over, as itself. The separator is '/'; the single "drive" is the root "/". Listings
// come sorted by name without regard to case, because the order in which
// Linux returns folder entries is arbitrary.
//
// The user's language comes from the locale variables (LC_ALL, then
// LC_MESSAGES, then LANG, as POSIX ranks them) as a Windows-style language id
// and, through one table, as the program's language number.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct tdirfile;

constexpr int PORT_FS_DRIVE_COUNT = 27;  // A..Z and the root
constexpr int PORT_FS_ROOT_DRIVE = 26;
constexpr int PORT_FS_DRIVE_FIXED = 3;
constexpr int PORT_FS_LANGUAGE_OTHER = 99;
// Room for the longest path the system takes (PATH_MAX bytes with the NUL), in
// UTF-16 characters: no byte of a path crosses as more than one of them.
constexpr int PORT_FS_PATH_CHARS = 4096;

struct port_fs_drive_info {
  uint32_t type;
  uint64_t total_bytes;
  uint64_t free_bytes;  // available to this user
};

// The system's bytes of a UTF-16 path (empty for an empty or null path): text
// as UTF-8, a byte's character as that byte.
std::string port_fs_native_path(const char16_t *path);
// The UTF-16 form of the system's bytes of a path or name; its native path is
// those bytes again, whatever they are.
std::u16string port_fs_wide_path(const std::string &native);
// 1 for the character a byte that is not text crosses as.
int port_fs_is_byte_char(char16_t c);
// fopen of a UTF-16 path; null when it cannot be opened.
FILE *port_fs_open(const char16_t *path, const char *mode);
// The whole of a regular file of at most limit bytes (-1: any size), NUL-ended
// one byte past *size; the caller frees it. Null when the file cannot be
// opened or read, is not a regular file (opening a named pipe does not wait
// for a writer) or is too big. A file that shrank while read gives what it
// still holds.
uint8_t *port_fs_read_file(const char16_t *path, int64_t limit, int64_t *size);

int port_fs_exists(const char16_t *path);
int port_fs_is_directory(const char16_t *path);
// Deletes a file (never a folder); 1 on success.
int port_fs_delete_file(const char16_t *path);
// 1 when the folder exists afterwards. Missing parents are not created.
int port_fs_make_dir(const char16_t *path);

// Clears the PORT_FS_DRIVE_COUNT bytes and marks the root only; returns 1.
int port_fs_get_drives(uint8_t *drives);
// For the root ('/' or '\\'): a fixed disk with the root file system's total
// and free bytes; returns 1. Any other drive char returns 0.
int port_fs_get_drive_info(char16_t drive, port_fs_drive_info *out);

// Appends the folder's subfolders to `folders` and its other entries to
// `files` (never "." or ".."), each listing sorted by name without regard to
// case. Returns the number of entries added, or -1 when the folder cannot be
// read. Running out of memory ends the listing early with a valid count.
int port_fs_list_dir(const char16_t *path, tdirfile *folders, tdirfile *files);

// The user's language id (0x0409 US English, 0x0419 Russian, 0x0804 Chinese
// PRC ...); 0x0409 for the C locale, 0 for a language the table lacks.
uint16_t port_fs_get_lang_id();
// The language number of the user's language id; 99 when the table lacks it.
int port_fs_get_language();
// The two steps on their own: a locale name ("ru_RU.UTF-8", "zh_TW",
// "sr_RS@latin", "C") to a language id, and a language id to its number.
uint16_t port_fs_lang_id_of_locale(const char *locale);
int port_fs_language_of_lang_id(uint16_t lang_id);
