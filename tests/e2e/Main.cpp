// The entry of every end-to-end test program.
#include <cstdio>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Unbuffered, so that a test program ended from outside still shows what it printed.
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
