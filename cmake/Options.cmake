# Compiler options shared by every target of the project, collected on one interface target.
option(JUKEBOX_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
option(JUKEBOX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(jukebox_options INTERFACE)
target_compile_options(jukebox_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    $<$<BOOL:${JUKEBOX_WARNINGS_AS_ERRORS}>:-Werror>)

if(JUKEBOX_SANITIZE)
    set(sanitizers -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_compile_options(jukebox_options INTERFACE ${sanitizers})
    target_link_options(jukebox_options INTERFACE ${sanitizers})
endif()
