// Helpers shared by the tests.
#pragma once

#include <string>

// A fresh folder under the system's temporary folder; empty on failure.
std::string test_make_temp_dir(const char *tag);
void test_remove_tree(const std::string &path);
