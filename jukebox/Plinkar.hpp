#pragma once

// What the entry point and the tests need of the jukebox.

#include "jukebox/Controller.hpp"
#include "jukebox/Events.hpp"
#include "jukebox/Records.hpp"
#include "jukebox/SoundCache.hpp"
#include "jukebox/View.hpp"
