#include "trect.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Color, BytesAreBlueGreenRedAlphaAndArgumentsAreCut) {
  tcolor c;
  EXPECT_EQ(tcolor_make(&c, 255, 0, 128, 255), &c);
  uint8_t bytes[4];
  std::memcpy(bytes, &c, 4);
  EXPECT_EQ(bytes[0], 128);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(bytes[2], 255);
  EXPECT_EQ(bytes[3], 255);
  EXPECT_EQ(tcolor_to_word(&c), 0xFFFF0080u);
  tcolor_make(&c, 0x1FF, -1, 256, 0x180);
  EXPECT_EQ(tcolor_to_word(&c), 0x80FFFF00u);
}

// Edges shared by one column or row do not count, and nothing is normalised:
// callers rely on both.
TEST(Rect, IntersectionIsStrict) {
  trect a = {0, 0, 10, 10}, touching = {10, 0, 20, 10}, overlap = {9, 9, 20, 20}, line = {5, 0, 5, 10};
  EXPECT_FALSE(trect_is_intersecting(&a, &touching));
  EXPECT_TRUE(trect_is_intersecting(&a, &overlap));
  EXPECT_FALSE(trect_is_intersecting(&a, &line));
  trect reversed = {10, 10, 0, 0};
  EXPECT_FALSE(trect_is_intersecting(&reversed, &a));

  trect out;
  EXPECT_EQ(trect_intersect(&out, &a, &line), 0);
  EXPECT_TRUE(trect_is_equal(&out, &line)) << "written even when empty";
  EXPECT_EQ(trect_intersect(&out, &a, &overlap), 1);
  trect expect = {9, 9, 10, 10};
  EXPECT_TRUE(trect_is_equal(&out, &expect));

  trect far = {30, 30, 40, 40};
  EXPECT_EQ(trect_intersect(&out, &a, &far), 0);
  EXPECT_GT(out.x1, out.x2);

  // The output may be one of the inputs.
  trect b = {2, 3, 20, 20};
  EXPECT_EQ(trect_intersect(&b, &a, &b), 1);
  trect expect_b = {2, 3, 10, 10};
  EXPECT_TRUE(trect_is_equal(&b, &expect_b));
}

TEST(Rect, UnionNormalisesItsInputs) {
  trect a = {5, 5, 1, 1}, b = {10, 10, 12, 12}, out;
  trect_union(&out, &a, &b);
  trect expect = {1, 1, 12, 12};
  EXPECT_TRUE(trect_is_equal(&out, &expect));
  trect_union(&a, &a, &b);
  EXPECT_TRUE(trect_is_equal(&a, &expect));

  trect n = {7, 2, -3, 9};
  trect_normalize(&n);
  trect expect_n = {-3, 2, 7, 9};
  EXPECT_TRUE(trect_is_equal(&n, &expect_n));
  trect differs = {-3, 2, 7, 8};
  EXPECT_FALSE(trect_is_equal(&n, &differs));
}
