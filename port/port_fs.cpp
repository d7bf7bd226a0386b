// port_fs: the file-system services over Linux.
#include "port_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "port_log.h"
#include "port_utf8.h"
#include "tdirfile.h"
#include "tstring.h"

namespace {

// Seconds from 1601-01-01 to 1970-01-01, in FILETIME units (100 ns).
constexpr uint64_t k_filetime_unix_epoch = 116444736000000000ull;
constexpr uint16_t k_lang_id_c_locale = 0x0409;
// A byte 0x80..0xFF that is not part of UTF-8 text is this plus the byte.
constexpr char16_t k_byte_char_base = 0xF700;

struct listed_entry {
  uint32_t flags;
  uint64_t last_write_time;
  uint64_t size;
  std::u16string name;
};

// One row of the language table: a Windows language id, the program's
// language number for it, and the POSIX locale that names it ("" when none
// does). Neutral ids (the language alone) carry the bare language code.
struct language_row {
  uint16_t lang_id;
  uint8_t number;
  const char *locale;
};

char16_t fold_case(char16_t c);
bool name_before(const listed_entry &a, const listed_entry &b);
bool read_entry(const std::string &folder, const char *name, listed_entry *out);
int append_sorted(std::vector<listed_entry> *entries, tdirfile *listing, int *count);

// Ordered by language id; only the numbers 16 and 40 (Russian, Belarusian)
// and 31 (Chinese PRC) change what the program does: they pick its language
// files. Every other number picks English.
const language_row k_languages[] = {
    {0x0001, 37, "ar"},     {0x0002, 42, "bg"},     {0x0003, 44, "ca"},     {0x0004, 31, "zh"},
    {0x0005, 25, "cs"},     {0x0006, 7, "da"},      {0x0007, 3, "de"},      {0x0008, 54, "el"},
    {0x0009, 47, "en"},     {0x000A, 82, "es"},     {0x000B, 9, "fi"},      {0x000C, 24, "fr"},
    {0x000D, 57, "he"},     {0x000E, 17, "hu"},     {0x000F, 15, "is"},     {0x0010, 5, "it"},
    {0x0011, 32, "ja"},     {0x0012, 65, "ko"},     {0x0013, 18, "nl"},     {0x0014, 8, "no"},
    {0x0015, 27, "pl"},     {0x0016, 13, "pt"},     {0x0018, 78, "ro"},     {0x0019, 16, "ru"},
    {0x001A, 45, "hr"},     {0x001B, 26, "sk"},     {0x001C, 35, "sq"},     {0x001D, 6, "sv"},
    {0x001E, 33, "th"},     {0x001F, 14, "tr"},     {0x0020, 94, "ur"},     {0x0021, 59, "id"},
    {0x0022, 93, "uk"},     {0x0023, 40, "be"},     {0x0024, 28, "sl"},     {0x0025, 49, "et"},
    {0x0026, 67, "lv"},     {0x0027, 68, "lt"},     {0x0029, 50, "fa"},     {0x002A, 96, "vi"},
    {0x002B, 38, "hy"},     {0x002F, 69, "mk"},     {0x0036, 34, "af"},     {0x0037, 53, "ka"},
    {0x0039, 58, "hi"},     {0x003E, 70, "ms"},     {0x003F, 63, "kk"},     {0x0041, 84, "sw"},
    {0x0045, 41, "bn"},     {0x0046, 77, "pa"},     {0x0047, 56, "gu"},     {0x0049, 87, "ta"},
    {0x004A, 88, "te"},     {0x004B, 62, "kn"},     {0x004C, 71, "ml"},     {0x004E, 72, "mr"},
    {0x0050, 74, "mn"},     {0x0401, 37, "ar_SA"},  {0x0402, 42, "bg_BG"},  {0x0403, 44, "ca_ES"},
    {0x0404, 29, "zh_TW"},  {0x0405, 25, "cs_CZ"},  {0x0406, 7, "da_DK"},   {0x0407, 3, "de_DE"},
    {0x0408, 54, "el_GR"},  {0x0409, 10, "en_US"},  {0x040A, 4, ""},        {0x040B, 9, "fi_FI"},
    {0x040C, 2, "fr_FR"},   {0x040D, 57, "he_IL"},  {0x040E, 17, "hu_HU"},  {0x040F, 15, "is_IS"},
    {0x0410, 5, "it_IT"},   {0x0411, 32, "ja_JP"},  {0x0412, 65, "ko_KR"},  {0x0413, 18, "nl_NL"},
    {0x0414, 8, "nb_NO"},   {0x0415, 27, "pl_PL"},  {0x0416, 76, "pt_BR"},  {0x0418, 78, "ro_RO"},
    {0x0419, 16, "ru_RU"},  {0x041A, 45, "hr_HR"},  {0x041B, 26, "sk_SK"},  {0x041C, 35, "sq_AL"},
    {0x041D, 6, "sv_SE"},   {0x041E, 33, "th_TH"},  {0x041F, 14, "tr_TR"},  {0x0420, 94, "ur_PK"},
    {0x0421, 59, "id_ID"},  {0x0422, 93, "uk_UA"},  {0x0423, 40, "be_BY"},  {0x0424, 28, "sl_SI"},
    {0x0425, 49, "et_EE"},  {0x0426, 67, "lv_LV"},  {0x0427, 68, "lt_LT"},  {0x0429, 50, "fa_IR"},
    {0x042A, 96, "vi_VN"},  {0x042B, 38, "hy_AM"},  {0x042F, 69, "mk_MK"},  {0x0436, 34, "af_ZA"},
    {0x0437, 53, "ka_GE"},  {0x0439, 58, "hi_IN"},  {0x043E, 70, "ms_MY"},  {0x043F, 63, "kk_KZ"},
    {0x0441, 84, "sw_KE"},  {0x0442, 92, "tk_TM"},  {0x0445, 41, "bn_IN"},  {0x0446, 77, "pa_IN"},
    {0x0447, 56, "gu_IN"},  {0x0449, 87, "ta_IN"},  {0x044A, 88, "te_IN"},  {0x044B, 62, "kn_IN"},
    {0x044C, 71, "ml_IN"},  {0x044E, 72, "mr_IN"},  {0x0450, 74, "mn_MN"},  {0x0451, 89, "bo_CN"},
    {0x0453, 64, "km_KH"},  {0x0454, 66, "lo_LA"},  {0x0455, 43, "my_MM"},  {0x045B, 80, "si_LK"},
    {0x045E, 36, "am_ET"},  {0x0464, 39, "fil_PH"}, {0x0473, 90, "ti_ET"},  {0x0477, 81, "so_SO"},
    {0x0491, 52, "gd_GB"},  {0x0801, 37, "ar_IQ"},  {0x0804, 31, "zh_CN"},  {0x0807, 12, "de_CH"},
    {0x0809, 1, "en_GB"},   {0x080A, 83, "es_MX"},  {0x080C, 21, "fr_BE"},  {0x0810, 61, "it_CH"},
    {0x0813, 19, "nl_BE"},  {0x0814, 75, "nn_NO"},  {0x0816, 13, "pt_PT"},  {0x0818, 73, "ro_MD"},
    {0x081A, 79, "sr_RS@latin"}, {0x081D, 85, "sv_FI"}, {0x083C, 60, "ga_IE"}, {0x083E, 70, "ms_BN"},
    {0x0C01, 37, "ar_EG"},  {0x0C04, 30, "zh_HK"},  {0x0C07, 22, "de_AT"},  {0x0C09, 20, "en_AU"},
    {0x0C0A, 82, "es_ES"},  {0x0C0C, 51, "fr_CA"},  {0x0C1A, 79, "sr_RS"},  {0x1001, 37, "ar_LY"},
    {0x1004, 30, "zh_SG"},  {0x1007, 3, "de_LU"},   {0x1009, 46, "en_CA"},  {0x100A, 83, "es_GT"},
    {0x100C, 11, "fr_CH"},  {0x1401, 37, "ar_DZ"},  {0x1404, 30, "zh_MO"},  {0x1407, 3, "de_LI"},
    {0x1409, 23, "en_NZ"},  {0x140A, 83, "es_CR"},  {0x140C, 24, "fr_LU"},  {0x1801, 37, "ar_MA"},
    {0x1809, 47, "en_IE"},  {0x180A, 83, "es_PA"},  {0x180C, 24, "fr_MC"},  {0x1C01, 37, "ar_TN"},
    {0x1C09, 48, "en_ZA"},  {0x1C0A, 83, "es_DO"},  {0x2001, 37, "ar_OM"},  {0x2009, 47, "en_JM"},
    {0x200A, 83, "es_VE"},  {0x2401, 37, "ar_YE"},  {0x2409, 47, ""},       {0x240A, 83, "es_CO"},
    {0x2801, 37, "ar_SY"},  {0x2809, 47, "en_BZ"},  {0x280A, 83, "es_PE"},  {0x2C01, 37, "ar_JO"},
    {0x2C09, 47, "en_TT"},  {0x2C0A, 83, "es_AR"},  {0x3001, 37, "ar_LB"},  {0x3009, 47, "en_ZW"},
    {0x300A, 83, "es_EC"},  {0x3401, 37, "ar_KW"},  {0x3409, 47, "en_PH"},  {0x340A, 83, "es_CL"},
    {0x3801, 37, "ar_AE"},  {0x380A, 83, "es_UY"},  {0x3C01, 37, "ar_BH"},  {0x3C0A, 83, "es_PY"},
    {0x4001, 37, "ar_QA"},  {0x400A, 83, "es_BO"},  {0x440A, 83, "es_SV"},  {0x480A, 83, "es_HN"},
    {0x4C0A, 83, "es_NI"},  {0x500A, 83, "es_PR"},  {0x540A, 82, "es_US"},
};

}  // namespace

std::string port_fs_native_path(const char16_t *path) {
  std::string native;
  if (!path) return native;
  size_t length = std::char_traits<char16_t>::length(path);
  for (size_t at = 0; at < length;) {
    if (port_fs_is_byte_char(path[at])) {
      native += char(path[at++] - k_byte_char_base);
      continue;
    }
    int used;
    char bytes[4];
    native.append(bytes, size_t(port_utf8_encode(port_utf8_decode_wide(path + at, length - at, &used), bytes)));
    at += size_t(used);
  }
  return native;
}

std::u16string port_fs_wide_path(const std::string &native) {
  std::u16string wide;
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(native.data());
  for (size_t at = 0; at < native.size();) {
    int used;
    char32_t c = port_utf8_decode(bytes + at, native.size() - at, &used);
    // A byte character's own UTF-8 is taken byte by byte, or it would come
    // back as one byte.
    if (c == PORT_UTF8_NOT_TEXT || (c < 0x10000 && port_fs_is_byte_char(char16_t(c)))) {
      wide += char16_t(k_byte_char_base + bytes[at++]);
      continue;
    }
    at += size_t(used);
    char16_t units[2];
    wide.append(units, size_t(port_utf8_encode_wide(c, units)));
  }
  return wide;
}

int port_fs_is_byte_char(char16_t c) { return c >= k_byte_char_base + 0x80 && c <= k_byte_char_base + 0xFF; }

FILE *port_fs_open(const char16_t *path, const char *mode) {
  PORT_CHECK(path);
  PORT_CHECK(mode);
  std::string native = port_fs_native_path(path);
  if (native.empty()) return nullptr;
  return std::fopen(native.c_str(), mode);
}

uint8_t *port_fs_read_file(const char16_t *path, int64_t limit, int64_t *size) {
  PORT_CHECK(path != nullptr && size != nullptr);
  std::string native = port_fs_native_path(path);
  if (native.empty()) return nullptr;
  int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  uint8_t *data = nullptr;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && uint64_t(info.st_size) < SIZE_MAX &&
      (limit < 0 || info.st_size <= limit))
    data = static_cast<uint8_t *>(std::malloc(size_t(info.st_size) + 1));
  size_t got = 0;
  while (data && got < size_t(info.st_size)) {
    ssize_t n = read(fd, data + got, size_t(info.st_size) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) break;
    if (n < 0) {
      std::free(data);
      data = nullptr;
    } else {
      got += size_t(n);
    }
  }
  close(fd);
  if (data) {
    data[got] = 0;
    *size = int64_t(got);
  }
  return data;
}

int port_fs_exists(const char16_t *path) {
  PORT_CHECK(path);
  struct stat st;
  std::string native = port_fs_native_path(path);
  return !native.empty() && stat(native.c_str(), &st) == 0;
}

int port_fs_is_directory(const char16_t *path) {
  PORT_CHECK(path);
  struct stat st;
  std::string native = port_fs_native_path(path);
  return !native.empty() && stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int port_fs_delete_file(const char16_t *path) {
  PORT_CHECK(path);
  std::string native = port_fs_native_path(path);
  return !native.empty() && unlink(native.c_str()) == 0;
}

int port_fs_make_dir(const char16_t *path) {
  PORT_CHECK(path);
  if (port_fs_is_directory(path)) return 1;
  std::string native = port_fs_native_path(path);
  return !native.empty() && mkdir(native.c_str(), 0777) == 0;
}

int port_fs_get_drives(uint8_t *drives) {
  PORT_CHECK(drives);
  std::memset(drives, 0, PORT_FS_DRIVE_COUNT);
  drives[PORT_FS_ROOT_DRIVE] = 1;
  return 1;
}

int port_fs_get_drive_info(char16_t drive, port_fs_drive_info *out) {
  PORT_CHECK(out);
  if (drive != u'/' && drive != u'\\') return 0;
  out->type = PORT_FS_DRIVE_FIXED;
  struct statvfs fs;
  if (statvfs("/", &fs) == 0) {
    out->total_bytes = uint64_t(fs.f_blocks) * fs.f_frsize;
    out->free_bytes = uint64_t(fs.f_bavail) * fs.f_frsize;
  }
  return 1;
}

int port_fs_list_dir(const char16_t *path, tdirfile *folders, tdirfile *files) {
  PORT_CHECK(path);
  PORT_CHECK(folders);
  PORT_CHECK(files);
  std::string folder = port_fs_native_path(path);
  if (folder.empty()) return -1;
  DIR *dir = opendir(folder.c_str());
  if (!dir) return -1;

  // Out of memory ends the walk; what was read so far is still listed.
  std::vector<listed_entry> found_folders, found_files;
  try {
    while (struct dirent *item = readdir(dir)) {
      if (!std::strcmp(item->d_name, ".") || !std::strcmp(item->d_name, "..")) continue;
      listed_entry entry;
      if (!read_entry(folder, item->d_name, &entry)) continue;
      (entry.flags & TDIRFILE_DIRECTORY ? found_folders : found_files).push_back(std::move(entry));
    }
  } catch (const std::bad_alloc &) {
  }
  closedir(dir);

  int count = 0;
  if (append_sorted(&found_folders, folders, &count)) append_sorted(&found_files, files, &count);
  return count;
}

uint16_t port_fs_get_lang_id() {
  const char *names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (const char *name : names) {
    const char *value = std::getenv(name);
    if (value && *value) return port_fs_lang_id_of_locale(value);
  }
  return k_lang_id_c_locale;
}

int port_fs_get_language() { return port_fs_language_of_lang_id(port_fs_get_lang_id()); }

uint16_t port_fs_lang_id_of_locale(const char *locale) {
  PORT_CHECK(locale);
  // language[_territory][.codeset][@modifier]
  std::string language, territory, modifier;
  const char *p = locale;
  while (*p && *p != '_' && *p != '.' && *p != '@') language += char(std::tolower((unsigned char)*p++));
  if (*p == '_') {
    p++;
    while (*p && *p != '.' && *p != '@') territory += char(std::toupper((unsigned char)*p++));
  }
  while (*p && *p != '@') p++;
  if (*p == '@') modifier = p + 1;
  if (language.empty() || language == "c" || language == "posix") return k_lang_id_c_locale;

  std::string full = language;
  if (!territory.empty()) full += "_" + territory;
  std::string with_modifier = modifier.empty() ? full : full + "@" + modifier;
  const language_row *first_of_language = nullptr;
  for (const language_row &row : k_languages) {
    if (with_modifier == row.locale) return row.lang_id;
  }
  for (const language_row &row : k_languages) {
    if (full == row.locale) return row.lang_id;
  }
  for (const language_row &row : k_languages) {
    if (language == row.locale) return row.lang_id;  // the neutral id
    size_t n = language.size();
    if (!first_of_language && !std::strncmp(row.locale, language.c_str(), n) && row.locale[n] == '_')
      first_of_language = &row;
  }
  return first_of_language ? first_of_language->lang_id : 0;
}

int port_fs_language_of_lang_id(uint16_t lang_id) {
  for (const language_row &row : k_languages)
    if (row.lang_id == lang_id) return row.number;
  return PORT_FS_LANGUAGE_OTHER;
}

namespace {

// Case folding for the sort: Latin, Latin-1, Greek and Cyrillic capitals.
char16_t fold_case(char16_t c) {
  if (c < 0x80) return twstr_to_lower(c);
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB) || (c >= 0x410 && c <= 0x42F))
    return char16_t(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return char16_t(c + 0x50);
  return c;
}

// Without regard to case first; names equal but for case keep a fixed order.
bool name_before(const listed_entry &a, const listed_entry &b) {
  size_t n = std::min(a.name.size(), b.name.size());
  for (size_t i = 0; i < n; i++) {
    char16_t fa = fold_case(a.name[i]), fb = fold_case(b.name[i]);
    if (fa != fb) return fa < fb;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return a.name < b.name;
}

bool read_entry(const std::string &folder, const char *name, listed_entry *out) {
  std::string full = folder;
  if (full.back() != '/') full += '/';
  full += name;
  struct stat st;
  // A dangling link is listed as the link itself.
  if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) return false;

  out->flags = 0;
  if (S_ISDIR(st.st_mode)) out->flags |= TDIRFILE_DIRECTORY;
  if (name[0] == '.') out->flags |= TDIRFILE_HIDDEN;
  if (!(st.st_mode & S_IWUSR)) out->flags |= TDIRFILE_READONLY;
  if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) out->flags |= TDIRFILE_SYSTEM;
  int64_t ticks = int64_t(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100;
  out->last_write_time = ticks < -int64_t(k_filetime_unix_epoch) ? 0 : uint64_t(ticks) + k_filetime_unix_epoch;
  out->size = S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_size);

  out->name = port_fs_wide_path(name);
  return out->name.size() < size_t(TDIRFILE_NAME_MAX);  // else longer than an entry holds
}

// false when the listing ran out of memory.
int append_sorted(std::vector<listed_entry> *entries, tdirfile *listing, int *count) {
  std::sort(entries->begin(), entries->end(), name_before);
  for (const listed_entry &item : *entries) {
    tdirfile_entry *entry = tdirfile_append(listing);
    if (!entry) return 0;
    entry->flags = item.flags;
    entry->last_write_time = item.last_write_time;
    entry->size = item.size;
    std::memcpy(entry->name, item.name.data(), item.name.size() * sizeof(char16_t));
    entry->name[item.name.size()] = 0;
    (*count)++;
  }
  return 1;
}

}  // namespace
