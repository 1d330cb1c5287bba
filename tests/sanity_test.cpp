#include <gtest/gtest.h>

#include "effects/kernels/parallel.h"

TEST(Parallel, CoversEveryRowOnce) {
    std::vector<int> hits(1000, 0);
    vividra::fx::parallelRows(1000, [&](int a, int b) {
        for (int y = a; y < b; ++y)
            ++hits[y];
    });
    for (int h : hits)
        EXPECT_EQ(h, 1);
}
