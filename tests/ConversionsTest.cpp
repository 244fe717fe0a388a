#include <gtest/gtest.h>

#include "engine/Conversions.h"

TEST(Conversions, Placeholder) {
    EXPECT_EQ(tolvek::DecToHex(0L), "00");
}
