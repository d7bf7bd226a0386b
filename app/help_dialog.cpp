// help_dialog: the help viewer.
#include "help_dialog.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "app_common.h"
#include "port_fs.h"
#include "port_log.h"
#include "tbdrawer.h"
#include "tbitmap.h"
#include "tbutton.h"
#include "tcontrolbar.h"
#include "tdialog.h"
#include "tfile.h"
#include "tform.h"
#include "timage.h"
#include "tlabel.h"
#include "tlinklabel.h"
#include "tresource.h"
#include "tscale.h"
#include "tscreen.h"
#include "tscrollbar.h"
#include "tseperator.h"
#include "tstyler.h"
#include "twformat.h"
#include "win_ao.h"
#include "wins_timer.h"

namespace {

constexpr int32_t k_array_step = 64;
constexpr uint32_t k_navigate_ms = 10;
constexpr int32_t k_bar_small = 5;
constexpr int32_t k_bar_other = 10;
constexpr int32_t k_picture_inset = 20;  // a picture wider than the page is scaled to its width less this
constexpr tcolor k_white = tcolor_rgba(255, 255, 255);
constexpr tcolor k_track = tcolor_rgba(255, 0, 255);
constexpr tcolor k_thumb = tcolor_rgba(128, 128, 128);
constexpr tcolor k_thumb_pressed = tcolor_rgba(64, 64, 64);
constexpr int32_t k_thumb_radius = 2;
const char16_t k_help_folder[] = u"help";
const char16_t k_index[] = u"index.htm";
const char16_t k_web_prefix[] = u"http://";

tcontrol *control_of(void *widget) { return static_cast<tcontrol *>(widget); }
tsurface *surface_of(void *widget) { return &control_of(widget)->_surface; }
help_dialog *dialog_of(html_render *render) { return static_cast<help_dialog *>(html_render_get_user_data(render)); }

template <typename T>
bool keep(T ***array, int32_t *count, int32_t *capacity, T *item);
void style_form(help_dialog *dialog);
bool first_page(help_dialog *dialog, const char16_t *lang_code);
void render_page(help_dialog *dialog);
void lay_out_page(help_dialog *dialog);
void free_page(help_dialog *dialog);
void follow_link(help_dialog *dialog);
void start_navigation(help_dialog *dialog);
void on_navigate_timer(uint32_t id, void *user_data);
void on_navigate_ao(win_ao *ao, void *user_data);
void set_right_key(help_dialog *dialog);
void on_title(html_render *render, const char16_t *text);
void on_bgcolor(html_render *render, uint32_t color);
void on_add_label(html_render *render, tlabel *label);
void on_add_linklabel(html_render *render, tlinklabel *link);
void on_add_seperator(html_render *render, tseperator *seperator);
void on_add_image(html_render *render, timage *image, const char16_t *path);
void show_control(void *widget);
void on_link_click(tlinklabel *link);
void on_form_layout(tform *form, const trect *rect);
int on_closing(tdialog *dialog, int32_t result, void *owner);
void on_free(tdialog *dialog, void *owner);
void on_result(int32_t result, void *owner);

}  // namespace

help_dialog *help_dialog_new(const char16_t *title, int32_t width, const char16_t *lang_code, void *user_data) {
  help_dialog *dialog = static_cast<help_dialog *>(std::calloc(1, sizeof(help_dialog)));
  if (!dialog) return nullptr;
  dialog->_user_data = user_data;
  dialog->_page_color = k_white;
  dialog->_laid_out_width = dialog->_laid_out_height = -1;
  if (!keep<tlabel>(&dialog->_labels, &dialog->_label_count, &dialog->_label_capacity, nullptr) ||
      !keep<tlinklabel>(&dialog->_links, &dialog->_link_count, &dialog->_link_capacity, nullptr) ||
      !keep<tseperator>(&dialog->_seperators, &dialog->_seperator_count, &dialog->_seperator_capacity, nullptr) ||
      !keep<timage>(&dialog->_images, &dialog->_image_count, &dialog->_image_capacity, nullptr)) {
    on_result(0, dialog);
    return nullptr;
  }
  int32_t screen_width, screen_height;
  tscreen_get_size(tscreen_get(), &screen_width, &screen_height);
  dialog->_width = width == -1 ? std::min(screen_width, screen_height) : width;

  dialog->_dialog = tdialog_new(title, dialog);
  dialog->_render = dialog->_dialog ? html_render_new(tdialog_get_form(dialog->_dialog), dialog) : nullptr;
  if (!dialog->_render) {
    if (dialog->_dialog) tdialog_free(dialog->_dialog);
    on_result(0, dialog);
    return nullptr;
  }
  tdialog *base = dialog->_dialog;
  tcontrol_set_width(tdialog_get_panel(base), dialog->_width);
  tcontrolbar *bar = tdialog_get_controlbar(base);
  tsurface_set_visible(surface_of(tcontrolbar_get_left_button(bar)), 0);
  tbutton_set_text(tcontrolbar_get_right_button(bar), tresource_get_string(HELP_TEXT_CLOSE, u"Close"));
  style_form(dialog);
  tdialog_set_on_result(base, on_result);
  tdialog_set_on_closing(base, on_closing);
  tdialog_set_on_free(base, on_free);

  html_render *render = dialog->_render;
  html_render_set_on_title(render, on_title);
  html_render_set_on_bgcolor(render, on_bgcolor);
  html_render_set_on_add_label(render, on_add_label);
  html_render_set_on_add_linklabel(render, on_add_linklabel);
  html_render_set_on_add_seperator(render, on_add_seperator);
  html_render_set_on_add_image(render, on_add_image);

  // The page is laid out when the form has its size (lay_out_page).
  if (!first_page(dialog, lang_code)) dialog->_page[0] = 0;
  tform *form = tdialog_get_form(base);
  tbdrawer_set_fill_color(tcontrol_get_box_drawer(control_of(form)), dialog->_page_color);
  tform_set_on_layout(form, on_form_layout);
  tstyler_apply(tstyler_get_default(), dialog, HELP_DIALOG_STYLE, user_data, 0);
  return dialog;
}

void help_dialog_show(help_dialog *dialog, int32_t x, int32_t y, int32_t mode) {
  PORT_CHECK(dialog != nullptr);
  // Filling the free area sets the size whatever the page holds: the page
  // waits for it. Any other placement keeps the width and takes the height
  // from the page, which is laid out for it now.
  if (mode != TDIALOG_PLACE_FILL) lay_out_page(dialog);
  tdialog_show(dialog->_dialog, x, y, dialog->_width, -1, mode);
}

tdialog *help_dialog_get_dialog(const help_dialog *dialog) {
  PORT_CHECK(dialog != nullptr);
  return dialog->_dialog;
}

help_dialog_result_fn help_dialog_set_on_result(help_dialog *dialog, help_dialog_result_fn fn) {
  PORT_CHECK(dialog != nullptr);
  help_dialog_result_fn previous = dialog->_on_result;
  dialog->_on_result = fn;
  return previous;
}

int help_dialog_open(const char16_t *lang_code) {
  help_dialog *dialog = help_dialog_new(tresource_get_string(HELP_TEXT_DIALOG_TITLE, u"Help"), -1, lang_code, nullptr);
  if (!dialog) return 0;
  tdialog_set_dimmed(dialog->_dialog, 1);
  help_dialog_show(dialog, -1, -1, TDIALOG_PLACE_FILL);
  return 1;
}

namespace {

// Appends item (null only makes room) to an array that grows by 64.
template <typename T>
bool keep(T ***array, int32_t *count, int32_t *capacity, T *item) {
  if (*count == *capacity) {
    void *grown = std::realloc(*array, size_t(*capacity + k_array_step) * sizeof(T *));
    if (!grown) return false;
    *array = static_cast<T **>(grown);
    *capacity += k_array_step;
  }
  if (item) (*array)[(*count)++] = item;
  return true;
}

// A page that scrolls by dragging anywhere, with a thin see-through track.
void style_form(help_dialog *dialog) {
  tform *form = tdialog_get_form(dialog->_dialog);
  tform_set_focus_frame_hidden(form, 1);
  tform_set_animated_scroll(form, 1);
  tform_set_hscroll_hidden(form, 1);
  tform_set_hdrag_locked(form, 1);
  tform_set_drag_through_children(form, 1);
  // Straight to the display, and into the dialog's buffers too: a repaint
  // of the whole screen (a box closing over the page) shows the page now.
  tsurface_set_update_mode(surface_of(form), 1, 1);
  tform_set_scrollbar_size(form, app_common_is_qvga() ? k_bar_small : k_bar_other);
  tscrollbar *bar = tform_get_vscrollbar(form);
  tbdrawer *track = tcontrol_get_box_drawer(control_of(bar));
  tsurface_set_color_key(surface_of(bar), k_track);
  tbdrawer_set_fill_color(track, k_track);
  tbdrawer_set_no_border(track);
  tbdrawer *thumb = tscrollbar_get_thumb_drawer(bar);
  tbdrawer_set_round_border(thumb, k_thumb, 1, k_thumb_radius);
  tbdrawer_set_fill_color(thumb, k_thumb);
  tbdrawer *pressed = tscrollbar_get_pressed_thumb_drawer(bar);
  tbdrawer_set_round_border(pressed, k_thumb_pressed, 1, k_thumb_radius);
  tbdrawer_set_fill_color(pressed, k_thumb_pressed);
}

// help/<code>/index.htm in the program folder when it exists, else
// help/index.htm; false when the program folder is unknown or too long.
bool first_page(help_dialog *dialog, const char16_t *lang_code) {
  char16_t program[HTML_RENDER_PATH_CHARS];
  if (!app_common_get_program_dir(program, HTML_RENDER_PATH_CHARS)) return false;
  size_t length = std::char_traits<char16_t>::length(program);
  const char16_t *separator = length && tfile_is_separator(program[length - 1]) ? u"" : u"/";
  char16_t page[HTML_RENDER_PATH_CHARS];
  if (lang_code && *lang_code) {
    int need = twformat(page, HTML_RENDER_PATH_CHARS, u"%s%s%s/%s/%s", program, separator, k_help_folder, lang_code,
                        k_index);
    if (need < HTML_RENDER_PATH_CHARS && port_fs_exists(page)) {
      std::char_traits<char16_t>::copy(dialog->_page, page, size_t(need) + 1);
      return true;
    }
  }
  int need = twformat(page, HTML_RENDER_PATH_CHARS, u"%s%s%s/%s", program, separator, k_help_folder, k_index);
  if (need >= HTML_RENDER_PATH_CHARS) return false;
  std::char_traits<char16_t>::copy(dialog->_page, page, size_t(need) + 1);
  return true;
}

// The current page laid out at the form's present size.
void render_page(help_dialog *dialog) {
  const tsurface *form = surface_of(tdialog_get_form(dialog->_dialog));
  dialog->_laid_out_width = tsurface_get_width(form);
  dialog->_laid_out_height = tsurface_get_height(form);
  html_render_load_file(dialog->_render, dialog->_page);
}

// The page laid out again unless it already is at the form's size.
void lay_out_page(help_dialog *dialog) {
  if (!dialog->_page[0]) return;
  const tsurface *form = surface_of(tdialog_get_form(dialog->_dialog));
  if (tsurface_get_width(form) == dialog->_laid_out_width && tsurface_get_height(form) == dialog->_laid_out_height)
    return;
  free_page(dialog);
  render_page(dialog);
}

// Takes every control of the page out of the form and frees it with the
// page's bitmaps; the arrays stay for the next page.
void free_page(help_dialog *dialog) {
  tform *form = tdialog_get_form(dialog->_dialog);
  tform_reset_scroll_offsets(form);
  tform_clear_children(form);
  for (int32_t i = 0; i < dialog->_label_count; i++) tlabel_free(dialog->_labels[i]);
  for (int32_t i = 0; i < dialog->_link_count; i++) tlinklabel_free(dialog->_links[i]);
  for (int32_t i = 0; i < dialog->_seperator_count; i++) tseperator_free(dialog->_seperators[i]);
  for (int32_t i = 0; i < dialog->_image_count; i++) timage_free(dialog->_images[i]);
  for (int32_t i = 0; i < dialog->_bitmap_count; i++) tbitmap_free(dialog->_bitmaps[i]);
  dialog->_label_count = dialog->_link_count = dialog->_seperator_count = 0;
  dialog->_image_count = dialog->_bitmap_count = 0;
}

// The link target, taken from the current page's folder, becomes the page
// when it exists; the soft key then follows its title.
void follow_link(help_dialog *dialog) {
  if (dialog->_timer) wins_timer_stop(dialog->_timer);
  dialog->_timer = 0;
  char16_t path[TFILE_MAX_JOINED_PATH + 1];
  if (!tfile_make_sibling_path(path, dialog->_page, dialog->_link_target) ||
      std::char_traits<char16_t>::length(path) >= size_t(HTML_RENDER_PATH_CHARS) || !port_fs_exists(path))
    return;
  free_page(dialog);
  std::char_traits<char16_t>::copy(dialog->_page, path, std::char_traits<char16_t>::length(path) + 1);
  render_page(dialog);
  tform *form = tdialog_get_form(dialog->_dialog);
  tsurface_paint(surface_of(tform_get_vscrollbar(form)));
  tsurface_update(surface_of(form), nullptr);
  set_right_key(dialog);
}

// Restarts the timer; a refused one leaves the work to an active object, so
// the page never changes inside the link's own click.
void start_navigation(help_dialog *dialog) {
  if (dialog->_timer) wins_timer_stop(dialog->_timer);
  dialog->_timer = wins_timer_start(k_navigate_ms, 0, on_navigate_timer, dialog);
  if (dialog->_timer) return;
  if (!dialog->_navigate_ao) {
    dialog->_navigate_ao = win_ao_new(0);
    win_ao_set_run(dialog->_navigate_ao, on_navigate_ao);
    win_ao_set_user_data(dialog->_navigate_ao, dialog);
  }
  win_ao_signal(dialog->_navigate_ao);
}

void on_navigate_timer(uint32_t id, void *user_data) {
  (void)id;
  follow_link(static_cast<help_dialog *>(user_data));
}

void on_navigate_ao(win_ao *ao, void *user_data) {
  (void)ao;
  follow_link(static_cast<help_dialog *>(user_data));
}

// "Back" while the title is neither "Help" nor the index's own title.
void set_right_key(help_dialog *dialog) {
  std::u16string title = tdialog_get_title(dialog->_dialog);
  bool index = title == u"Help" || title == tresource_get_string(HELP_TEXT_TITLE, u"Help");
  dialog->_back_mode = index ? 0 : 1;
  tbutton *key = tcontrolbar_get_right_button(tdialog_get_controlbar(dialog->_dialog));
  tbutton_set_text(key, index ? tresource_get_string(HELP_TEXT_CLOSE, u"Close")
                              : tresource_get_string(HELP_TEXT_BACK, u"Back"));
  tsurface_update(surface_of(key), nullptr);
}

void on_title(html_render *render, const char16_t *text) { tdialog_set_title(dialog_of(render)->_dialog, text); }

void on_bgcolor(html_render *render, uint32_t color) { dialog_of(render)->_page_color = tcolor_of_key(color); }

void on_add_label(html_render *render, tlabel *label) {
  help_dialog *dialog = dialog_of(render);
  if (!keep(&dialog->_labels, &dialog->_label_count, &dialog->_label_capacity, label)) {
    tform_remove_child(tdialog_get_form(dialog->_dialog), control_of(label));
    tlabel_free(label);
    return;
  }
  tbdrawer_set_fill_color(tcontrol_get_box_drawer(control_of(label)), dialog->_page_color);
  show_control(label);
}

void on_add_linklabel(html_render *render, tlinklabel *link) {
  help_dialog *dialog = dialog_of(render);
  if (!keep(&dialog->_links, &dialog->_link_count, &dialog->_link_capacity, link)) {
    tform_remove_child(tdialog_get_form(dialog->_dialog), control_of(link));
    tlinklabel_free(link);
    return;
  }
  tbdrawer_set_fill_color(tcontrol_get_box_drawer(control_of(link)), dialog->_page_color);
  tlinklabel_set_on_click(link, on_link_click);
  show_control(link);
}

void on_add_seperator(html_render *render, tseperator *seperator) {
  help_dialog *dialog = dialog_of(render);
  if (!keep(&dialog->_seperators, &dialog->_seperator_count, &dialog->_seperator_capacity, seperator)) {
    tform_remove_child(tdialog_get_form(dialog->_dialog), control_of(seperator));
    tseperator_free(seperator);
    return;
  }
  show_control(seperator);
}

// The first 64 pictures of a page get their bitmap, narrowed to the page
// when wider; the rest stay empty.
void on_add_image(html_render *render, timage *image, const char16_t *path) {
  help_dialog *dialog = dialog_of(render);
  if (!keep(&dialog->_images, &dialog->_image_count, &dialog->_image_capacity, image)) {
    tform_remove_child(tdialog_get_form(dialog->_dialog), control_of(image));
    timage_free(image);
    return;
  }
  if (dialog->_bitmap_count < HELP_DIALOG_MAX_BITMAPS) {
    tbitmap *bitmap = static_cast<tbitmap *>(std::calloc(1, sizeof(tbitmap)));
    if (bitmap && tbitmap_load_bmp(bitmap, path)) {
      int32_t width = html_render_get_width(render) - k_picture_inset;
      if (tbitmap_get_width(bitmap) > html_render_get_width(render) && width > 0) {
        int32_t height = tbitmap_get_height(bitmap);
        if (tbitmap *scaled = tscale_new_scaled(bitmap, width, tbitmap_is_top_down(bitmap) ? -height : height, 0)) {
          tbitmap_free(bitmap);
          bitmap = scaled;
        }
      }
      dialog->_bitmaps[dialog->_bitmap_count++] = bitmap;
      timage_set_bitmap(image, bitmap);
    } else {
      std::free(bitmap);
    }
  }
  show_control(image);
}

// The renderer adds a control to the form before this dialog gives it its
// content; on a form already on screen that drew it at once, so it is drawn
// again with its content (the form composes it, clipped, when it updates).
void show_control(void *widget) {
  if (tsurface_is_realized(surface_of(widget)))
    tsurface_paint(surface_of(widget));
  else
    tcontrol_realize(control_of(widget));
}

// Links are followed after the click has returned: the page's controls,
// this link among them, are freed when the page changes.
void on_link_click(tlinklabel *link) {
  help_dialog *dialog = static_cast<help_dialog *>(tsurface_get_owner(surface_of(link)));
  const char16_t *url = tlinklabel_get_url(link);
  if (!url || !*url) return;
  if (std::u16string(url).compare(0, 7, k_web_prefix) == 0) {
    app_common_open_url(url);
    return;
  }
  size_t length = std::min(std::char_traits<char16_t>::length(url), size_t(HTML_RENDER_PATH_CHARS - 1));
  std::char_traits<char16_t>::copy(dialog->_link_target, url, length);
  dialog->_link_target[length] = 0;
  start_navigation(dialog);
}

// The form was laid out: at a new size (the first placement, a rotation)
// the page is laid out again at its width; at the same size (the form
// realised, a placement that changed nothing) it stays as it is.
void on_form_layout(tform *form, const trect *rect) {
  (void)rect;
  tdialog *base = static_cast<tdialog *>(tsurface_get_owner(surface_of(form)));
  help_dialog *dialog = base ? static_cast<help_dialog *>(tsurface_get_owner(surface_of(base))) : nullptr;
  if (!dialog || !dialog->_render) return;
  lay_out_page(dialog);
}

// "Back" goes to the index and keeps the dialog; anything else closes it.
int on_closing(tdialog *base, int32_t result, void *owner) {
  (void)base;
  (void)result;
  help_dialog *dialog = static_cast<help_dialog *>(owner);
  if (!dialog->_back_mode) return 1;
  std::char_traits<char16_t>::copy(dialog->_link_target, k_index, sizeof k_index / sizeof k_index[0]);
  start_navigation(dialog);
  return 0;
}

// The dialog is being freed while its form still holds the page.
void on_free(tdialog *base, void *owner) {
  (void)base;
  help_dialog *dialog = static_cast<help_dialog *>(owner);
  if (dialog->_timer) wins_timer_stop(dialog->_timer);
  dialog->_timer = 0;
  if (dialog->_navigate_ao) win_ao_free(dialog->_navigate_ao);
  dialog->_navigate_ao = nullptr;
  free_page(dialog);
  html_render_free(dialog->_render);
  dialog->_render = nullptr;
}

// The dialog is gone; the record goes next and the owner hears last.
void on_result(int32_t result, void *owner) {
  help_dialog *dialog = static_cast<help_dialog *>(owner);
  help_dialog_result_fn callback = dialog->_on_result;
  void *user_data = dialog->_user_data;
  std::free(dialog->_labels);
  std::free(dialog->_links);
  std::free(dialog->_seperators);
  std::free(dialog->_images);
  std::free(dialog);
  if (callback) callback(result, user_data);
}

}  // namespace
