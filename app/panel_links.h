// panel_links: what the floating panels call in modules that come and go
// with the build: the command panel's visibility (the zoom menu offers
// "Hide" only while it shows) and the text bar's colour (an
// open text bar takes a new drawing colour). Each is declared weak: null
// while its module is not linked in, and every caller tests it first.
#pragma once

#include <cstdint>

struct commandpanel;
struct textbar;

int commandpanel_is_visible(const commandpanel *cp) __attribute__((weak));
void textbar_update_color(textbar *tb) __attribute__((weak));
