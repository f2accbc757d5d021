#include "shell/Platform.hpp"

#include <ctime>

namespace shell {

void pauseBetweenPolls() {
    const timespec pause{0, 10'000};
    nanosleep(&pause, nullptr);
}

} // namespace shell
