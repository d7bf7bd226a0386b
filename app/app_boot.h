// The application's entry points as start-up calls them. Until the painting
// application exists, a minimal one stands here: a grey screen and the loop.
#pragma once

#include "wins_window.h"

// Copies the product name into a buffer of 128 chars and returns the buffer.
char16_t *app_common_get_app_name(char16_t *buffer);
// The application main: runs the program and returns its exit code.
int paint_main_start(void *instance, const char16_t *command_line);
void app_common_on_activate();

// The three above, as start-up takes them.
const wins_window_app *app_boot_get();
