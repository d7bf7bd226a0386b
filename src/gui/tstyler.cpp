// tstyler: stylers and the default style set.
#include "tstyler.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "app_common.h"
#include "port_log.h"
#include "tbdrawer.h"
#include "tfile.h"
#include "tidrawer.h"
#include "tresource.h"
#include "ttdrawer.h"
#include "wins_window.h"

namespace {

constexpr int k_path_chars = 256;
const char16_t k_gui_bitmaps[] = u"gui.tmbm";
const char16_t k_gui_texts[] = u"gui.tres";

}  // namespace

static int load_gui_file(const char16_t *name);
static void apply_nothing(tstyler *, void *, int32_t, void *, intptr_t) {}

tstyler *tstyler_new(tstyler_apply_fn apply) {
  tstyler *styler = static_cast<tstyler *>(std::calloc(1, sizeof(tstyler)));
  PORT_CHECK(styler != nullptr);
  styler->_apply = apply;
  return styler;
}

tstyler *tstyler_new_default() { return tstyler_new(apply_nothing); }

void tstyler_free(tstyler *styler) {
  PORT_CHECK(styler != nullptr);
  std::free(styler);
}

void tstyler_set_user_data(tstyler *styler, void *user_data) {
  PORT_CHECK(styler != nullptr);
  styler->_user_data = user_data;
}

void *tstyler_get_user_data(const tstyler *styler) {
  PORT_CHECK(styler != nullptr);
  return styler->_user_data;
}

void tstyler_apply(tstyler *styler, void *target, int32_t kind, void *owner, intptr_t extra) {
  PORT_CHECK(styler != nullptr);
  if (styler->_apply) styler->_apply(styler, target, kind, owner, extra);
}

int tstyler_load_defaults() {
  wins_window_context *context = wins_window_get_context();
  PORT_CHECK(context != nullptr);
  if (context->_style_set) return 1;
  tstyler_set *set = static_cast<tstyler_set *>(std::calloc(1, sizeof(tstyler_set)));
  if (!set) return 0;
  set->_bdrawer = tbdrawer_new_default();
  set->_idrawer = tidrawer_new_default();
  set->_tdrawer = ttdrawer_new_default();
  set->_styler = tstyler_new_default();
  context->_style_set = set;
  if (!set->_bdrawer || !set->_idrawer || !set->_tdrawer) {
    tstyler_free_defaults();
    return 0;
  }
  set->_gui_tmbm_id = load_gui_file(k_gui_bitmaps);
  set->_gui_tres_id = load_gui_file(k_gui_texts);
  return 1;
}

void tstyler_free_defaults() {
  tstyler_set *set = tstyler_get_defaults();
  if (!set) return;
  if (set->_gui_tmbm_id > 0) tresource_unload(set->_gui_tmbm_id);
  if (set->_gui_tres_id > 0) tresource_unload(set->_gui_tres_id);
  tstyler_set_default_bdrawer(nullptr);
  tstyler_set_default_idrawer(nullptr);
  tstyler_set_default_tdrawer(nullptr);
  tstyler_set_default(nullptr);
  std::free(set);
  wins_window_get_context()->_style_set = nullptr;
}

tstyler_set *tstyler_get_defaults() {
  wins_window_context *context = wins_window_get_context();
  return context ? context->_style_set : nullptr;
}

tbdrawer *tstyler_get_default_bdrawer() {
  tstyler_set *set = tstyler_get_defaults();
  return set ? set->_bdrawer : nullptr;
}

tidrawer *tstyler_get_default_idrawer() {
  tstyler_set *set = tstyler_get_defaults();
  return set ? set->_idrawer : nullptr;
}

ttdrawer *tstyler_get_default_tdrawer() {
  tstyler_set *set = tstyler_get_defaults();
  return set ? set->_tdrawer : nullptr;
}

tstyler *tstyler_get_default() {
  tstyler_set *set = tstyler_get_defaults();
  return set ? set->_styler : nullptr;
}

void tstyler_set_default_bdrawer(tbdrawer *drawer) {
  tstyler_set *set = tstyler_get_defaults();
  if (!set) return;
  if (set->_bdrawer && set->_bdrawer != drawer) tbdrawer_free(set->_bdrawer);
  set->_bdrawer = drawer;
}

void tstyler_set_default_idrawer(tidrawer *drawer) {
  tstyler_set *set = tstyler_get_defaults();
  if (!set) return;
  if (set->_idrawer && set->_idrawer != drawer) tidrawer_free(set->_idrawer);
  set->_idrawer = drawer;
}

void tstyler_set_default_tdrawer(ttdrawer *drawer) {
  tstyler_set *set = tstyler_get_defaults();
  if (!set) return;
  if (set->_tdrawer && set->_tdrawer != drawer) ttdrawer_free(set->_tdrawer);
  set->_tdrawer = drawer;
}

void tstyler_set_default(tstyler *styler) {
  tstyler_set *set = tstyler_get_defaults();
  if (!set) return;
  if (set->_styler && set->_styler != styler) tstyler_free(set->_styler);
  set->_styler = styler;
}

// The file's id, or 0 when the resource folder does not fit the path buffer
// or the file does not load.
static int load_gui_file(const char16_t *name) {
  char16_t path[k_path_chars];
  size_t name_length = std::char_traits<char16_t>::length(name);
  if (!app_common_get_res_dir(path, k_path_chars)) return 0;
  size_t length = std::char_traits<char16_t>::length(path);
  // Room for the separator, the name and the terminator.
  if (length + 1 + name_length + 1 > size_t(k_path_chars)) return 0;
  tfile_add_separator(path);
  std::memcpy(path + std::char_traits<char16_t>::length(path), name, (name_length + 1) * sizeof(char16_t));
  return tresource_load(path);
}
