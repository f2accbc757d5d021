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

# What the newest Debian's compiler defaults ask of a program, asked for on every release:
# control-flow protection (Intel CET's shadow stack and branch targets, or Arm's pointer
# authentication and branch targets) and stack-clash protection, wherever the compiler has them.
if(NOT WIN32)
    include(CheckCXXCompilerFlag)
    foreach(flag -fcf-protection=full -mbranch-protection=standard -fstack-clash-protection)
        string(MAKE_C_IDENTIFIER "JUKEBOX_HAS${flag}" known)
        check_cxx_compiler_flag(${flag} ${known})
        if(${known})
            target_compile_options(jukebox_options INTERFACE ${flag})
        endif()
    endforeach()
endif()
