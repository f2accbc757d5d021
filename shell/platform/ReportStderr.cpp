#include "shell/Platform.hpp"

#include <cstdio>

namespace shell {

void showFatalReport(std::string_view program, const Failure& failure) {
    reportFailure(stderr, program, failure);
}

} // namespace shell
