// File list on a temporary folder: Up, folders, files in that order with
// their icons; a filter that hides files only; a failed listing that keeps
// rows and path; names and paths as long as the system takes whole, longer
// paths refused; names ending in
// '\' entered and reported as listed; going up to "/" and the drive list.
#include "tfilelist.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "gui_fixture.h"
#include "test_env.h"
#include "widget_fixture.h"

namespace {

constexpr uint32_t KEY_LEFT = 0xF807, KEY_RIGHT = 0xF808;

std::vector<std::u16string> g_errors, g_files;
int g_changes;

struct list_fixture {
  tfilelist *list;
  explicit list_fixture(const std::u16string &path) {
    trect rect = {0, 0, 199, 299};
    list = tfilelist_new(nullptr, &rect, path.c_str(), nullptr);
    EXPECT_NE(list, nullptr);
    tcontrol_realize(&list->_listbox._control);
    tcontrol_set_focus(&list->_listbox._control, 1);
    tfilelist_set_on_error(list, [](tfilelist *, const char16_t *p) { g_errors.push_back(p); });
    tfilelist_set_on_file(list, [](tfilelist *, const char16_t *p) { g_files.push_back(p); });
    tfilelist_set_on_change(list, [](tfilelist *) { g_changes++; });
    g_errors.clear();
    g_files.clear();
    g_changes = 0;
  }
  ~list_fixture() { tfilelist_free(list); }
  tlistbox *box() const { return &list->_listbox; }
  std::u16string name(int32_t row) const {
    char16_t buffer[TFILELIST_PATH_MAX] = u"-";
    tfilelist_get_name(list, row, buffer);
    return buffer;
  }
  // Each row as name:kind.
  std::vector<std::u16string> rows() const {
    std::vector<std::u16string> out;
    for (int32_t i = 0; i < tlistbox_get_count(box()); i++)
      out.push_back(name(i) + u":" + char16_t(u'0' + tfilelist_get_kind(list, i, nullptr)));
    return out;
  }
  std::u16string path() const { return tfilelist_get_path(list); }
};

void make_dir(const std::string &path) { ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path; }

class FileList : public TempDirTest {};

}  // namespace

TEST_F(FileList, ShowsUpThenFoldersThenFilesAndAFilterHidesFilesOnly) {
  make_dir(path("zoo"));
  make_dir(path("Apple"));
  test_write_file(path("b.txt"), std::string("x"));
  test_write_file(path("a.png"), std::string("x"));
  run_widget_test_240x320([&](tscreen *) {
    list_fixture f(test_wide(dir));
    EXPECT_EQ(tlistbox_get_count(f.box()), 0) << "nothing until listed";
    ASSERT_EQ(tfilelist_reload(f.list), 1);
    using rows = std::vector<std::u16string>;
    EXPECT_EQ(f.rows(), (rows{u"Up:2", u"Apple:2", u"zoo:2", u"a.png:1", u"b.txt:1"}));
    EXPECT_EQ(tlistbox_get_selected(f.box()), 0);
    EXPECT_EQ(g_changes, 1);
    int32_t icon = -1;
    tfilelist_get_kind(f.list, 0, &icon);
    EXPECT_EQ(icon, TFILELIST_ICON_UP);
    EXPECT_EQ(tfilelist_get_kind(f.list, 5, &icon), 0) << "a bad row";
    EXPECT_EQ(tfilelist_find(f.list, u"zoo"), 2);
    EXPECT_EQ(tfilelist_find(f.list, u"Zoo"), -1);

    tfilelist_set_filter(f.list, [](tfilelist *, const char16_t *, int32_t kind, int32_t *, const void *, intptr_t) {
      return kind == TFILELIST_KIND_FILE ? 0 : 1;
    });
    tfilelist_reload(f.list);
    EXPECT_EQ(f.rows(), (rows{u"Up:2", u"Apple:2", u"zoo:2"}));
    tfilelist_set_filter(f.list,
                         [](tfilelist *, const char16_t *, int32_t kind, int32_t *icon, const void *, intptr_t) {
                           if (kind == TFILELIST_KIND_FILE)
                             *icon = TFILELIST_ICON_DRIVE;  // a filter may change the icon
                           return 1;
                         });
    tfilelist_reload(f.list);
    tfilelist_get_kind(f.list, 3, &icon);
    EXPECT_EQ(icon, TFILELIST_ICON_DRIVE);

    // A file row is reported by its full path; the right key activates.
    tfilelist_set_filter(f.list, nullptr);
    tfilelist_reload(f.list);
    tlistbox_set_selected(f.box(), 4);
    EXPECT_EQ(widget_key(KEY_RIGHT), 1);
    ASSERT_EQ(g_files.size(), 1u);
    EXPECT_EQ(g_files[0], test_wide(dir + "/b.txt"));
    // A folder row is entered; the left key goes back up.
    tlistbox_activate(f.box(), 2);
    EXPECT_EQ(f.path(), test_wide(dir + "/zoo"));
    EXPECT_EQ(f.rows(), (rows{u"Up:2"}));
    EXPECT_EQ(widget_key(KEY_LEFT), 1);
    EXPECT_EQ(f.path(), test_wide(dir));
    EXPECT_TRUE(g_errors.empty());
  });
}

TEST_F(FileList, AFailedListingKeepsRowsAndPathAndLongPathsAreRefused) {
  // A file with the longest name (255 bytes); folders down to where one more
  // name makes the longest path the system takes, a folder and a file there.
  std::string long_name(255, 'n');
  test_write_file(path(long_name), std::string("x"));
  std::string deep = dir;
  while (deep.size() + 101 <= size_t(TFILELIST_PATH_MAX) - 102) make_dir(deep += "/" + std::string(100, 'd'));
  std::string longest(TFILELIST_PATH_MAX - 2 - deep.size(), 'm'), longest_file(longest.size(), 'f');
  make_dir(deep + "/" + longest);
  test_write_file(deep + "/" + longest_file, std::string("x"));
  run_widget_test_240x320([&](tscreen *) {
    list_fixture f(test_wide(dir));
    tfilelist_reload(f.list);
    std::vector<std::u16string> before = f.rows();
    ASSERT_EQ(before.size(), 3u);
    int changes = g_changes;

    std::u16string missing = test_wide(dir + "/missing");
    EXPECT_EQ(tfilelist_set_dir(f.list, missing.c_str()), 0);
    ASSERT_EQ(g_errors.size(), 1u);
    EXPECT_EQ(g_errors[0], missing);
    EXPECT_EQ(f.rows(), before);
    EXPECT_EQ(f.path(), test_wide(dir));
    EXPECT_EQ(g_changes, changes);

    // Names and paths as long as the system takes are whole: reported,
    // entered; one character more is refused through the error callback.
    tlistbox_activate(f.box(), tfilelist_find(f.list, test_wide(long_name).c_str()));
    ASSERT_EQ(g_files.size(), 1u);
    EXPECT_EQ(g_files[0], test_wide(path(long_name)));
    ASSERT_EQ(tfilelist_set_dir(f.list, test_wide(deep).c_str()), 1);
    tlistbox_activate(f.box(), tfilelist_find(f.list, test_wide(longest_file).c_str()));
    ASSERT_EQ(g_files.size(), 2u);
    EXPECT_EQ(g_files[1], test_wide(deep + "/" + longest_file));
    tlistbox_activate(f.box(), tfilelist_find(f.list, test_wide(longest).c_str()));
    EXPECT_EQ(f.path(), test_wide(deep + "/" + longest));
    EXPECT_EQ(f.path().size(), size_t(TFILELIST_PATH_MAX - 1));
    EXPECT_EQ(g_errors.size(), 1u);
    std::u16string too_long = f.path() + u"x";
    EXPECT_EQ(tfilelist_set_dir(f.list, too_long.c_str()), 0);
    ASSERT_EQ(g_errors.size(), 2u);
    EXPECT_EQ(g_errors[1], too_long);
    EXPECT_EQ(f.path().size(), size_t(TFILELIST_PATH_MAX - 1));
  });
}

// "a\" would read as "a/1" through the row string; the kept name opens it.
TEST_F(FileList, NamesEndingInABackslashAreEnteredAndReportedAsListed) {
  make_dir(path("a\\"));
  test_write_file(path("a\\/inner"), std::string("x"));
  test_write_file(path("b\\"), std::string("x"));
  run_widget_test_240x320([&](tscreen *) {
    list_fixture f(test_wide(dir));
    tfilelist_reload(f.list);
    using rows = std::vector<std::u16string>;
    EXPECT_EQ(f.rows(), (rows{u"Up:2", u"a\\:2", u"b\\:1"}));
    tlistbox_activate(f.box(), 2);
    ASSERT_EQ(g_files.size(), 1u);
    EXPECT_EQ(g_files[0], test_wide(dir + "/b\\"));
    tlistbox_activate(f.box(), tfilelist_find(f.list, u"a\\"));
    EXPECT_EQ(f.path(), test_wide(dir + "/a\\"));
    EXPECT_EQ(f.rows(), (rows{u"Up:2", u"inner:1"}));
  });
}

// Up cuts at the last '/': "/a" gives "/", "/" stays; a path without one
// gives the drive list, whose one row is the root and lists "/".
TEST(FileListUp, CutsAtTheLastSlashAndTheDriveListHoldsTheRoot) {
  run_widget_test_240x320([](tscreen *) {
    list_fixture f(u"/tmp");
    ASSERT_EQ(tfilelist_reload(f.list), 1);
    tfilelist_go_up(f.list);
    EXPECT_EQ(f.path(), u"/");
    tfilelist_go_up(f.list);
    EXPECT_EQ(f.path(), u"/");
    // Joined in the root without a doubled separator.
    tlistbox_activate(f.box(), tfilelist_find(f.list, u"tmp"));
    EXPECT_EQ(f.path(), u"/tmp");

    tfilelist_set_dir(f.list, u"relative");
    EXPECT_EQ(f.path(), u"/tmp") << "cannot be listed";
    ASSERT_EQ(tfilelist_set_dir(f.list, u""), 1);
    ASSERT_EQ(tlistbox_get_count(f.box()), 1);
    EXPECT_EQ(f.name(0), u"/");
    int32_t icon = -1;
    EXPECT_EQ(tfilelist_get_kind(f.list, 0, &icon), TFILELIST_KIND_DRIVE);
    EXPECT_EQ(icon, TFILELIST_ICON_DRIVE);
    std::u16string shown = tlistbox_get_text(f.box(), 0, 0);
    EXPECT_EQ(shown.substr(0, 3), u"/ [");
    EXPECT_NE(shown.find(u'/', 3), std::u16string::npos) << "free/total";
    EXPECT_EQ(widget_key(KEY_LEFT), 0) << "passed on to the owner";
    tlistbox_activate(f.box(), 0);
    EXPECT_EQ(f.path(), u"/");
  });
}
