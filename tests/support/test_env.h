// Helpers shared by the tests: temporary folders, whole files, little-endian
// fields, a file system that fills up, and the fuzz seeds the tests write.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using test_bytes = std::vector<uint8_t>;

// A fresh folder under the system's temporary folder; empty on failure.
std::string test_make_temp_dir(const char *tag);
void test_remove_tree(const std::string &path);
// How many entries a folder holds (a save that leaves no temporary file).
size_t test_count_entries(const std::string &dir);

test_bytes test_read_file(const std::string &path);
std::string test_read_text(const std::string &path);
bool test_write_file(const std::string &path, const void *data, size_t size);
inline bool test_write_file(const std::string &path, const test_bytes &bytes) {
  return test_write_file(path, bytes.data(), bytes.size());
}
inline bool test_write_file(const std::string &path, const std::string &text) {
  return test_write_file(path, text.data(), text.size());
}

std::u16string test_wide(const std::string &utf8);
std::string test_utf8(const std::u16string &text);

// Little-endian fields of b at byte at; one that does not fit in b fails
// the test (and reads as 0, or is not written).
uint32_t test_le32(const test_bytes &b, size_t at);
void test_put16(test_bytes &b, size_t at, uint32_t v);
void test_put32(test_bytes &b, size_t at, uint32_t v);

// Runs body while the file system refuses to let any file grow past `limit`
// bytes, as a full disk would; returns what body returned.
int test_with_file_limit(uint64_t limit, const std::function<int()> &body);

// The id of a process that has ended (a child that exited at once).
int test_ended_pid();

// The fuzz targets' seeds are files the tests write: with BRIVOLA_SEED_DIR set
// the file is copied to <that folder>/<folder>/<name>.
void test_keep_seed(const std::string &file, const char *folder, const char *name);

// A fresh temporary folder for each test.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string &name) const { return dir + "/" + name; }
  std::u16string wpath(const std::string &name) const { return test_wide(path(name)); }
  std::string dir;
};
