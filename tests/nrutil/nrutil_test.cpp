#include <gtest/gtest.h>

#include "nrutil.hpp"

using namespace nrutil;

TEST(Nrutil, GridsAreZeroFilledAndAddressedLineThenColumn)
{
    IGrid g = imatrice(3, 2);  // 3 columns, 2 lines
    ASSERT_TRUE(g);
    EXPECT_EQ(g.lines(), 2);
    EXPECT_EQ(g.columns(), 3);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(g[i][j], 0);
    g[1][2] = 7;  // last element of the second line
    EXPECT_EQ(g.data()[5], 7);
    EXPECT_EQ(g(1, 2), 7);
}

TEST(Nrutil, EmptyShapesAndVectors)
{
    UcGrid none = ucmatrice(4, 0);
    EXPECT_TRUE(none);
    EXPECT_EQ(none.size(), 0u);
    DGrid narrow = dmatrice(0, 3);
    EXPECT_TRUE(narrow);
    EXPECT_EQ(narrow.lines(), 3);
    EXPECT_EQ(narrow.columns(), 0);

    IVector v = ivecteur(5);
    ASSERT_TRUE(v);
    EXPECT_EQ(v.size(), 5);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(v[k], 0);
}
