// Helpers shared by the tests.
#include "test_env.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "port_log.h"

std::string test_make_temp_dir(const char *tag) {
  std::string base = std::filesystem::temp_directory_path().string() + "/brivola-test-" + tag + "-XXXXXX";
  char *made = mkdtemp(base.data());
  return made ? std::string(made) : std::string();
}

void test_remove_tree(const std::string &path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

size_t test_count_entries(const std::string &dir) {
  return size_t(std::distance(std::filesystem::directory_iterator(dir), {}));
}

test_bytes test_read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return test_bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string test_read_text(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool test_write_file(const std::string &path, const void *data, size_t size) {
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

std::u16string test_wide(const std::string &utf8) {
  std::u16string out(size_t(port_str_utf8_to_wide(utf8.c_str(), -1, nullptr, 0)), u'\0');
  port_str_utf8_to_wide(utf8.c_str(), -1, out.data(), int(out.size()));
  out.pop_back();
  return out;
}

std::string test_utf8(const std::u16string &text) {
  std::string out(size_t(port_str_wide_to_utf8(text.c_str(), -1, nullptr, 0)), '\0');
  port_str_wide_to_utf8(text.c_str(), -1, out.data(), int(out.size()));
  out.pop_back();
  return out;
}

// A field past the end of the bytes (a file shorter than the test thinks)
// fails the test instead of reading or writing beyond them.
static bool field_fits(const test_bytes &b, size_t at, size_t size) {
  bool fits = at <= b.size() && b.size() - at >= size;
  if (!fits) ADD_FAILURE() << "a " << size << "-byte field at " << at << " lies beyond the " << b.size() << " bytes";
  return fits;
}

uint32_t test_le32(const test_bytes &b, size_t at) {
  if (!field_fits(b, at, 4)) return 0;
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void test_put16(test_bytes &b, size_t at, uint32_t v) {
  if (field_fits(b, at, 2)) b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}

void test_put32(test_bytes &b, size_t at, uint32_t v) {
  if (!field_fits(b, at, 4)) return;
  for (int i = 0; i < 4; i++) b[at + i] = uint8_t(v >> (8 * i));
}

int test_with_file_limit(uint64_t limit, const std::function<int()> &body) {
  struct rlimit saved;
  EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = saved;
  tight.rlim_cur = limit;
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  int result = body();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  return result;
}

int test_ended_pid() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  return int(child);
}

void test_keep_seed(const std::string &file, const char *folder, const char *name) {
  const char *seeds = std::getenv("BRIVOLA_SEED_DIR");
  if (!seeds || !*seeds) return;
  std::string out = std::string(seeds) + "/" + folder;
  std::filesystem::create_directories(out);
  std::filesystem::copy_file(file, out + "/" + name, std::filesystem::copy_options::overwrite_existing);
}

void TempDirTest::SetUp() {
  dir = test_make_temp_dir("dir");
  ASSERT_FALSE(dir.empty());
}

void TempDirTest::TearDown() { test_remove_tree(dir); }
