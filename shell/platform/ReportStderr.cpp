#include "shell/Platform.hpp"

#include <iostream>

namespace shell {

void showFatalReport(std::string_view program, const Failure& failure) {
    reportFailure(std::cerr, program, failure);
}

} // namespace shell
