// Process entry: hands over to the platform port with the application.
#include "app_boot.h"
#include "wins_window.h"

int main(int argc, char **argv) { return wins_window_main(argc, argv, app_boot_get()); }
