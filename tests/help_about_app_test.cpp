// Help and About from the command panel of the running program: the help
// viewer opens on the index of the program's language, titled as the index
// is, and the about box shows the product icon from the program's pictures.
#include <gtest/gtest.h>

#include <string>

#include "about_dialog.h"
#include "app_test_env.h"
#include "commandpanel.h"
#include "help_dialog.h"
#include "os_display.h"
#include "tbutton.h"
#include "tdialog.h"
#include "timage.h"
#include "tscreen.h"

namespace {

void tap(void *control) { app_test_tap_surface(&static_cast<tcontrol *>(control)->_surface); }

tbutton *button(app_context *app, int32_t command) {
  for (tbutton *b : app->_commandpanel->_buttons)
    if (tbutton_get_user_data(b) == command) return b;
  return nullptr;
}

// The record behind the modal dialog (its owner).
template <typename T>
T *shown() {
  tsurface *modal = tscreen_get_modal(tscreen_get());
  return modal ? static_cast<T *>(tsurface_get_owner(modal)) : nullptr;
}

}  // namespace

TEST(HelpAboutApp, HelpShowsTheIndexOfTheProgramsLanguage) {
  for (const char *screen : {"480x640", "240x320"}) {
    SCOPED_TRACE(screen);
    ASSERT_TRUE(app_test_run_fresh(
        [](app_context *app) {
          tap(app->_commandpanel->_tab);
          ASSERT_EQ(app->_commandpanel->_open, 1);
          const std::pair<const char16_t *, const char16_t *> languages[] = {{u"en_us", u"Help"},
                                                                             {u"ru_ru", u"Справка"}};
          for (const auto &language : languages) {
            std::char_traits<char16_t>::copy(app->_lang_code, language.first, 6);
            tap(button(app, COMMANDPANEL_HELP));
            help_dialog *help = shown<help_dialog>();
            ASSERT_NE(help, nullptr);
            EXPECT_EQ(std::u16string(tdialog_get_title(help_dialog_get_dialog(help))), language.second);
            EXPECT_GT(help->_link_count, 5) << "the index's topics";
            EXPECT_EQ(tdialog_get_placement(help_dialog_get_dialog(help)), TDIALOG_PLACE_FILL);
            tdialog_close(help_dialog_get_dialog(help), 0);
          }
          tap(button(app, COMMANDPANEL_ABOUT));
          about_dialog *about = shown<about_dialog>();
          ASSERT_NE(about, nullptr);
          EXPECT_EQ(std::u16string(tdialog_get_title(about_dialog_get_dialog(about))), u"About");
          EXPECT_NE(timage_get_bitmap(about->_icon), nullptr);
          EXPECT_EQ(tdialog_get_placement(about_dialog_get_dialog(about)), TDIALOG_PLACE_CENTRE);
          tdialog_close(about_dialog_get_dialog(about), 0);
          EXPECT_EQ(app_test_popup(), nullptr);
        },
        screen));
  }
}
