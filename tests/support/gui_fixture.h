// The toolkit's tests run on a started port with the default style set
// loaded (as the application's start-up does before any control exists) and
// freed again after the body.
#pragma once

#include <functional>

#include "tscreen.h"

void run_on_styled_screen(const std::function<void(tscreen *)> &body, const char *size = "64x48");
