// Styled screen fixture for the toolkit's tests.
#include "gui_fixture.h"

#include <gtest/gtest.h>

#include "screen_fixture.h"
#include "tstyler.h"

void run_on_styled_screen(const std::function<void(tscreen *)> &body, const char *size) {
  run_on_screen(
      [&](tscreen *screen) {
        ASSERT_EQ(tstyler_load_defaults(), 1);
        body(screen);
        tstyler_free_defaults();
      },
      size);
}
