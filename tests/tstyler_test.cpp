// Styler and style set: what a control's init hands the styler, replacing
// members, and the set's resource files when one is missing.
#include "tstyler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "screen_fixture.h"
#include "tbdrawer.h"
#include "tcontrol.h"
#include "test_env.h"
#include "tresource.h"
#include "ttdrawer.h"

namespace {

struct applied {
  tstyler *styler;
  void *target;
  int32_t kind;
  void *owner;
  intptr_t extra;
};
std::vector<applied> g_applied;
void record(tstyler *styler, void *target, int32_t kind, void *owner, intptr_t extra) {
  g_applied.push_back({styler, target, kind, owner, extra});
}

}  // namespace

TEST(Styler, AControlIsHandedToTheDefaultStylerWithKindZeroAndItsOwner) {
  run_on_screen([](tscreen *) {
    ASSERT_EQ(tstyler_load_defaults(), 1);
    ASSERT_NE(tstyler_get_default_tdrawer(), nullptr);
    ASSERT_NE(tstyler_get_default_idrawer(), nullptr);
    tstyler *mine = tstyler_new(record);
    tstyler_set_default(mine);
    tstyler_set_default(mine);  // the same styler again is not freed
    g_applied.clear();
    int owner = 0;
    trect at = {0, 0, 9, 9};
    tcontrol *c = tcontrol_new(nullptr, &at, &owner);
    ASSERT_EQ(g_applied.size(), 1u);
    const applied &a = g_applied[0];
    EXPECT_EQ(std::make_tuple(a.styler, a.target, a.kind, a.owner, a.extra),
              std::make_tuple(mine, static_cast<void *>(c), int32_t(TSTYLE_CONTROL), static_cast<void *>(&owner),
                              intptr_t(0)));
    tcontrol_free(c);
    tstyler *quiet = tstyler_new(nullptr);
    tstyler_apply(quiet, c, 1, nullptr, 0);  // no apply function: nothing happens
    tstyler_free(quiet);
    // A drawer put in the set replaces the one there, and both go with the set.
    tstyler_set_default_tdrawer(ttdrawer_new_default());
    tstyler_free_defaults();
    EXPECT_EQ(tstyler_get_defaults(), nullptr);
    EXPECT_EQ(tstyler_get_default_bdrawer(), nullptr);
  });
}

TEST(Styler, AMissingGuiTresKeepsIdZeroAndIsNotUnloaded) {
  std::string program = test_make_temp_dir("styler");
  const char *found = std::getenv("BRIVOLA_PROGRAM_DIR");
  std::string saved = found && *found ? found : BRIVOLA_PROGRAM_DIR;
  mkdir((program + "/resvga").c_str(), 0755);
  ASSERT_TRUE(test_write_file(program + "/resvga/gui.tmbm", test_read_text(saved + "/resvga/gui.tmbm")));
  setenv("BRIVOLA_PROGRAM_DIR", program.c_str(), 1);
  run_on_screen([](tscreen *) {
    ASSERT_EQ(tstyler_load_defaults(), 1);
    tstyler_set *set = tstyler_get_defaults();
    EXPECT_GT(set->_gui_tmbm_id, 0);
    EXPECT_EQ(set->_gui_tres_id, 0);
    ASSERT_NE(tresource_get_table(), nullptr);
    tstyler_free_defaults();  // unloading id 0 would be fatal
    EXPECT_EQ(tresource_get_table(), nullptr) << "the one file that loaded is unloaded";
  });
  setenv("BRIVOLA_PROGRAM_DIR", saved.c_str(), 1);
  test_remove_tree(program);
}
