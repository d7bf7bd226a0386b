// open_picture_dialog: picking a picture file, with a delayed preview.
#include "open_picture_dialog.h"

#include <cstdlib>

#include "app_common.h"
#include "port_log.h"
#include "tfile.h"
#include "tfilelist.h"
#include "tlistbox.h"
#include "topendialog.h"
#include "tresource.h"
#include "tscreen.h"
#include "twformat.h"
#include "wins_timer.h"

namespace {

constexpr int32_t k_placeholder = 15134;
constexpr int32_t k_preview_edge = 10;

struct type_text {
  int32_t id;
  const char16_t *text;
};
const type_text k_types[OPEN_PICTURE_TYPE_COUNT] = {
    {25172, u"All Image Files(*.bmp;*.jpg;*.png;*.gif)/*.bmp;*.jpg;*.png;*.gif"},
    {25173, u"Bitmap Files(*.bmp)/*.bmp"},
    {25174, u"JPEG Files(*.jpg)/*.jpg"},
    {25175, u"PNG Files(*.png)/*.png"},
    {25176, u"GIF Files(*.gif)/*.gif"},
};

void on_file_selected(topendialog *dialog, const char16_t *name);
void on_folder_selected(topendialog *dialog, const char16_t *name);
void on_folder_changed(topendialog *dialog);
void on_result(int32_t result, void *user_data);
void on_timer(uint32_t timer, void *user_data);
void stop_preview(open_picture_dialog *op);
int selected_row_rect(open_picture_dialog *op, trect *out);

}  // namespace

open_picture_dialog *open_picture_dialog_new(const char16_t *title, int32_t width, char16_t *file_name,
                                             int32_t file_name_capacity, char16_t *folder, int32_t folder_capacity,
                                             const char16_t *const *types, int32_t type_count, int32_t type,
                                             int folder_mode, void *user_data) {
  open_picture_dialog *op = static_cast<open_picture_dialog *>(std::calloc(1, sizeof(open_picture_dialog)));
  if (!op) return nullptr;
  op->user_data = user_data;
  op->dialog = topendialog_new(title, width, file_name, file_name_capacity, folder, folder_capacity, types,
                               type_count, type, folder_mode, op);
  if (!op->dialog) {
    std::free(op);
    return nullptr;
  }
  topendialog_set_on_result(op->dialog, on_result);
  topendialog_set_on_file_selected(op->dialog, on_file_selected);
  topendialog_set_on_folder_selected(op->dialog, on_folder_selected);
  topendialog_set_on_folder_changed(op->dialog, on_folder_changed);
  return op;
}

void open_picture_dialog_show(open_picture_dialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  topendialog_show(dialog->dialog, x, y, mode);
}

void open_picture_dialog_set_on_result(open_picture_dialog *dialog, open_picture_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  dialog->on_result = fn;
}

int32_t open_picture_dialog_get_types(const char16_t **types) {
  PORT_CHECK(types != nullptr);
  for (int i = 0; i < OPEN_PICTURE_TYPE_COUNT; i++) types[i] = tresource_get_string(k_types[i].id, k_types[i].text);
  return OPEN_PICTURE_TYPE_COUNT;
}

topendialog *open_picture_dialog_get_dialog(const open_picture_dialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->dialog;
}

namespace {

open_picture_dialog *record_of(topendialog *dialog) {
  return static_cast<open_picture_dialog *>(topendialog_get_user_data(dialog));
}

void on_file_selected(topendialog *dialog, const char16_t *name) {
  open_picture_dialog *op = record_of(dialog);
  if (twformat(op->path, APP_PATH_CHARS, u"%s%c%s", topendialog_get_path(dialog), int(TFILE_SEPARATOR), name) >=
      APP_PATH_CHARS)
    op->path[0] = 0;
  selected_row_rect(op, &op->row_rect);
  stop_preview(op);
  if (!op->path[0]) return;
  op->timer = wins_timer_start(OPEN_PICTURE_PREVIEW_MS, 0, on_timer, op);
  if (!op->timer) on_timer(0, op);
}

void on_folder_selected(topendialog *dialog, const char16_t *name) {
  (void)name;
  stop_preview(record_of(dialog));
}

void on_folder_changed(topendialog *dialog) { stop_preview(record_of(dialog)); }

// The open dialog has gone (its record with it): the preview follows.
void on_result(int32_t result, void *user_data) {
  open_picture_dialog *op = static_cast<open_picture_dialog *>(user_data);
  if (op->timer) wins_timer_stop(op->timer);
  op->timer = 0;
  if (op->preview) {
    picture_thumbnail_hide(op->preview);
    picture_thumbnail_free(op->preview);
  }
  open_picture_result_fn fn = op->on_result;
  void *owner = op->user_data;
  std::free(op);
  if (fn) fn(result, owner);
}

void on_timer(uint32_t timer, void *user_data) {
  open_picture_dialog *op = static_cast<open_picture_dialog *>(user_data);
  if (timer) wins_timer_stop(timer);
  op->timer = 0;
  if (!op->preview) {
    int32_t side = app_common_is_qvga() ? OPEN_PICTURE_PREVIEW_SMALL : OPEN_PICTURE_PREVIEW;
    int32_t screen_width = tscreen_get_width(tscreen_get());
    trect max_rect = {screen_width - side - k_preview_edge, k_preview_edge, screen_width - k_preview_edge - 1,
                      k_preview_edge + side - 1};
    op->preview = picture_thumbnail_new(nullptr, &max_rect, tresource_get_bitmap(k_placeholder), op);
    if (!op->preview) return;
  }
  if (!selected_row_rect(op, &op->row_rect)) return;
  picture_thumbnail_show(op->preview, op->path, op->row_rect.x2 - OPEN_PICTURE_PREVIEW_LEFT,
                         op->row_rect.y1 - OPEN_PICTURE_PREVIEW_UP);
}

void stop_preview(open_picture_dialog *op) {
  if (op->timer) wins_timer_stop(op->timer);
  op->timer = 0;
  if (op->preview) picture_thumbnail_hide(op->preview);
}

// The selected row's rect on the screen: the list's rect of the row plus
// the file list's place.
int selected_row_rect(open_picture_dialog *op, trect *out) {
  tfilelist *list = topendialog_get_filelist(op->dialog);
  if (!list) return 0;
  tlistbox *box = &list->_listbox;
  const trect *row = tlistbox_get_item_rect(box, tlistbox_get_selected(box));
  if (!row) return 0;
  trect place;
  tsurface_get_screen_rect(&box->_control._surface, &place);
  *out = {row->x1 + place.x1, row->y1 + place.y1, row->x2 + place.x1, row->y2 + place.y1};
  return 1;
}

}  // namespace
