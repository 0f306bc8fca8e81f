#include <gtest/gtest.h>
#include "audio/gate.h"
TEST(Smoke, Gate) { Gate g = {1, 1}; EXPECT_TRUE(g.tryEnter()); g.leave(); }
