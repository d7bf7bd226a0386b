// open_picture_dialog: the open dialog of picture files with a floating
// preview of the file selected. The preview waits a second after the last
// selection, so that moving quickly from file to file loads only the file
// the user stops at; selecting a folder or changing folder takes it away.
//
// The record owns the open dialog (until it closes), the preview and its
// timer; when the open dialog closes the timer stops, the preview goes, the
// record goes, and only then is the owner's result called (result, user
// data).
#pragma once

#include <cstdint>

#include "app_context.h"
#include "picture_thumbnail.h"
#include "trect.h"

struct topendialog;

constexpr uint32_t OPEN_PICTURE_PREVIEW_MS = 1000;
constexpr int OPEN_PICTURE_TYPE_COUNT = 5;
constexpr int32_t OPEN_PICTURE_PREVIEW_SMALL = 96, OPEN_PICTURE_PREVIEW = 192;
constexpr int32_t OPEN_PICTURE_PREVIEW_LEFT = 20, OPEN_PICTURE_PREVIEW_UP = 5;

typedef void (*open_picture_result_fn)(int32_t result, void *user_data);

struct open_picture_dialog {
  topendialog *dialog;
  picture_thumbnail *preview;  // made when first needed
  uint32_t timer;              // the preview's wait while it runs, else 0
  char16_t path[APP_PATH_CHARS];
  trect row_rect;              // the selected row, screen coordinates
  open_picture_result_fn on_result;
  void *user_data;
};

// Everything but user_data goes to topendialog_new. Null when either record
// cannot be made.
open_picture_dialog *open_picture_dialog_new(const char16_t *title, int32_t width, char16_t *file_name,
                                             int32_t file_name_capacity, char16_t *folder, int32_t folder_capacity,
                                             const char16_t *const *types, int32_t type_count, int32_t type,
                                             int folder_mode, void *user_data);
void open_picture_dialog_show(open_picture_dialog *dialog, int32_t x, int32_t y, int32_t mode);
void open_picture_dialog_set_on_result(open_picture_dialog *dialog, open_picture_result_fn fn);
topendialog *open_picture_dialog_get_dialog(const open_picture_dialog *dialog);
// The picture types in the program's language (all pictures, then BMP,
// JPEG, PNG, GIF) into types[OPEN_PICTURE_TYPE_COUNT]; their count.
int32_t open_picture_dialog_get_types(const char16_t **types);
