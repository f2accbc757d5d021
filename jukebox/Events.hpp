#pragma once

namespace jukebox {

/// Everything the jukebox reacts to. PKRTmp3, PKRUp, PKRDown and PKRSubmit are never produced.
enum class PKREvent {
    PKRQuit,
    PKRTmp1,
    PKRTmp2,
    PKRTmp3,
    PKRTmpM,
    PKRTmpS,
    PKRTmpB,
    PKRFade,
    PKRUp,
    PKRDown,
    PKRSubmit,
};

/// Polls SDL (with a 10 µs pause between empty polls) until input maps to an event, and returns
/// it; input that maps to nothing is consumed and dropped.
[[nodiscard]] PKREvent nextEvent();

} // namespace jukebox
