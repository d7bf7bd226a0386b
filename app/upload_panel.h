// upload_panel: the command panel's Upload and My Gallery commands.
//
// Upload exports the painting as "My Brivola File.jpg" in the documents
// folder, asks for its title and description (upload_info_dialog), starts
// the upload and shows the "Uploading" box until the result comes. The
// result road: an active object made on the GUI thread before the upload
// starts is signalled by the status callback (off the GUI thread) with the
// code as its user data; on the GUI thread it closes the box and shows the
// outcome. However the box closes (cancel, result, quit) its handler
// releases the upload. Title and description are kept for the next upload.
#pragma once

#include "app_context.h"

enum {
  UPLOAD_TEXT_DIALOG_TITLE = 25231,
  UPLOAD_TEXT_UPLOADED = 25237,
  UPLOAD_TEXT_CONNECT_FAIL = 25238,
  UPLOAD_TEXT_FAIL = 25239,
  UPLOAD_TEXT_NO_NETWORK = 25240,
};

// The command (22): 1 when the info dialog opened (the export succeeded).
int upload_start_dialog(app_context *app);
// What follows the info dialog's OK: starts the upload of the exported file
// with the kept title and description, and shows the wait box.
void upload_run(app_context *app);
// The command (23): the author's gallery page in the browser; error box
// 25005 when it cannot be opened. 1 when it opened.
int paint_open_gallery(app_context *app);
