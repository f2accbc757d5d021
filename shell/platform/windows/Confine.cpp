#include "shell/Platform.hpp"

namespace shell {

// Windows has no counterpart that Wine honours, so the suite could not prove one: the process
// runs with its user's rights, as it always has (README, "What the jukebox may touch").
void confineProcess() {}

} // namespace shell
