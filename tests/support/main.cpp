// The test runner: every test runs headless unless the caller chose drivers of its own. Without
// a display SDL would otherwise fall back to drawing in the terminal.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // For the programs the tests start: the recording library is preloaded ahead of the runtime.
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 0);
    setenv("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
