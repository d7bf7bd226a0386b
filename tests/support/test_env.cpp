// Helpers shared by the tests.
#include "test_env.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

std::string test_make_temp_dir(const char *tag) {
  std::string base = std::filesystem::temp_directory_path().string() + "/brivola-test-" + tag + "-XXXXXX";
  char *made = mkdtemp(base.data());
  return made ? std::string(made) : std::string();
}

void test_remove_tree(const std::string &path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}
