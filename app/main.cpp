// Process entry: hands over to the platform port with the painting application.
#include "paint_main.h"
#include "wins_window.h"

int main(int argc, char **argv) { return wins_window_main(argc, argv, paint_main_get_app()); }
