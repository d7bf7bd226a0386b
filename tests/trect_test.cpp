#include "trect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {
std::vector<int32_t> fields(const trect &r) { return {r.x1, r.y1, r.x2, r.y2}; }
}  // namespace

TEST(Color, BytesAreBlueGreenRedAlphaAndArgumentsAreCut) {
  tcolor c;
  EXPECT_EQ(tcolor_make(&c, 255, 0, 128, 255), &c);
  uint8_t bytes[4];
  std::memcpy(bytes, &c, 4);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{128, 0, 255, 255}));
  EXPECT_EQ(tcolor_to_word(&c), 0xFFFF0080u);
  tcolor_make(&c, 0x1FF, -1, 256, 0x180);
  EXPECT_EQ(tcolor_to_word(&c), 0x80FFFF00u);
}

// Edges shared by one column or row do not count, and nothing is normalised:
// callers rely on both.
TEST(Rect, IntersectionIsStrictAndWritesEvenWhenEmpty) {
  trect a = {0, 0, 10, 10}, touching = {10, 0, 20, 10}, overlap = {9, 9, 20, 20}, line = {5, 0, 5, 10};
  trect reversed = {10, 10, 0, 0}, far = {30, 30, 40, 40}, out;
  EXPECT_FALSE(trect_is_intersecting(&a, &touching));
  EXPECT_TRUE(trect_is_intersecting(&a, &overlap));
  EXPECT_FALSE(trect_is_intersecting(&a, &line));
  EXPECT_FALSE(trect_is_intersecting(&reversed, &a));
  EXPECT_EQ(trect_intersect(&out, &a, &line), 0);
  EXPECT_EQ(fields(out), fields(line)) << "written even when empty";
  EXPECT_EQ(trect_intersect(&out, &a, &overlap), 1);
  EXPECT_EQ(fields(out), (std::vector<int32_t>{9, 9, 10, 10}));
  EXPECT_EQ(trect_intersect(&out, &a, &far), 0);
  EXPECT_GT(out.x1, out.x2);
  trect b = {2, 3, 20, 20};  // the output may be one of the inputs
  EXPECT_EQ(trect_intersect(&b, &a, &b), 1);
  EXPECT_EQ(fields(b), (std::vector<int32_t>{2, 3, 10, 10}));
}

TEST(Rect, UnionNormalisesItsInputsAndEqualityComparesAllFour) {
  trect a = {5, 5, 1, 1}, b = {10, 10, 12, 12}, out, n = {7, 2, -3, 9}, same = {-3, 2, 7, 9}, differs = {-3, 2, 7, 8};
  trect_union(&out, &a, &b);
  EXPECT_EQ(fields(out), (std::vector<int32_t>{1, 1, 12, 12}));
  trect_union(&a, &a, &b);
  EXPECT_EQ(fields(a), fields(out));
  trect_normalize(&n);
  EXPECT_EQ(fields(n), (std::vector<int32_t>{-3, 2, 7, 9}));
  EXPECT_TRUE(trect_is_equal(&n, &same));
  EXPECT_FALSE(trect_is_equal(&n, &differs));
}
