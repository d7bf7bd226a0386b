// save_dirs: the folders pictures were last saved to, most recent first.
//
// Kept in the application's state (_save_dirs, up to 16 owned UTF-16 texts of
// at most 259 chars, the used entries contiguous from the first), read from
// "save_dirs.dat" in the user folder on first use and written back at exit.
//
// "save_dirs.dat": UTF-8 text, one folder per line, every line ended by a
// line feed (a carriage return before it is dropped on reading), at most 16
// folders. Reading skips empty lines and lines of more than 259 chars (cut,
// they would name another folder), and takes a last line without its line
// feed.
#pragma once

#include <cstdint>

// Folder index (0..15), or null when there is none; loads the list first.
const char16_t *save_dirs_get(int32_t index);
// Puts the folder of a file just saved at the front (see save_dirs_add_folder).
void save_dirs_add(const char16_t *file_path);
// Puts a folder at the front: one already first changes nothing, one further
// down moves to the front, a new one is copied in and the 16th is dropped
// when the list was full. Folders compare without regard to case. An empty
// folder, or one of more than 259 chars, is not recorded.
void save_dirs_add_folder(const char16_t *folder);
// 1 when two folders are the same without regard to case (ASCII letters).
int save_dirs_same_folder(const char16_t *a, const char16_t *b);
// Writes the list when it was loaded and releases it.
void save_dirs_save();
// Reads "save_dirs.dat" into the list (nothing when it was read already).
void save_dirs_load();
