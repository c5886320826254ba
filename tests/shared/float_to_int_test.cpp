#include "shared/float_to_int.h"

#include <gtest/gtest.h>

TEST(FloatToInt, FractionsGiveTheirFloor) {
    EXPECT_EQ(FloatToInt(2500.4), 2500);
    EXPECT_EQ(FloatToInt(2500.9999), 2500);
    EXPECT_EQ(FloatToInt(0.25), 0);
    EXPECT_EQ(FloatToInt(-0.25), -1);
    EXPECT_EQ(FloatToInt(-3.5), -4);
}

TEST(FloatToInt, WholeNumbersRoundTiesToEven) {
    EXPECT_EQ(FloatToInt(2500.0), 2500);
    EXPECT_EQ(FloatToInt(2501.0), 2500);
    EXPECT_EQ(FloatToInt(255.0), 254);
    EXPECT_EQ(FloatToInt(0.0), 0);
    EXPECT_EQ(FloatToInt(1.0), 0);
    EXPECT_EQ(FloatToInt(-1.0), -2);
}
