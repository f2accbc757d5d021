# The two Windows programs: jukebox.exe, windowed, which shows a fatal failure in an error box,
# and jukebox-console.exe, which reports it on standard error. Both carry the icon, made here
# from the window icon's 32 px art, and the version information. `cmake --install` lays out the
# folder a person unzips; tools/build-windows adds the DLLs and the libraries' licences.
include(${CMAKE_CURRENT_LIST_DIR}/Icon.cmake)
if(NOT JUKEBOX_IMAGEMAGICK_CONVERT OR NOT JUKEBOX_ICON_KEY)
    message(FATAL_ERROR "The Windows programs embed their icon, made by ImageMagick's convert "
                        "from ${JUKEBOX_ICON_SOURCE} (transparent at palette index 15)")
endif()
set(JUKEBOX_WINDOWS_ICON ${PROJECT_BINARY_DIR}/jukebox.ico)
add_custom_command(
    OUTPUT ${JUKEBOX_WINDOWS_ICON}
    COMMAND ${JUKEBOX_IMAGEMAGICK_CONVERT} ${JUKEBOX_ICON_SOURCE} -alpha set
            -transparent ${JUKEBOX_ICON_KEY} ICO:${JUKEBOX_WINDOWS_ICON}
    DEPENDS ${JUKEBOX_ICON_SOURCE}
    COMMENT "Making the Windows icon from the window icon"
    VERBATIM)

# SDL's pkg-config module makes every program it links a windowed one; the console one is not.
get_target_property(sdl_link_options PkgConfig::SDL INTERFACE_LINK_OPTIONS)
if(sdl_link_options)
    list(REMOVE_ITEM sdl_link_options -mwindows)
    set_target_properties(PkgConfig::SDL PROPERTIES INTERFACE_LINK_OPTIONS "${sdl_link_options}")
endif()

foreach(program jukebox jukebox-console)
    set(JUKEBOX_WINDOWS_PROGRAM ${program})
    if(program STREQUAL "jukebox")
        set(JUKEBOX_WINDOWS_DESCRIPTION "Jukebox")
    else()
        set(JUKEBOX_WINDOWS_DESCRIPTION "Jukebox, reporting failures on its console")
    endif()
    set(rc ${PROJECT_BINARY_DIR}/${program}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/shell/platform/windows/jukebox.rc.in ${rc} @ONLY)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${JUKEBOX_WINDOWS_ICON})
    add_executable(${program} shell/main.cpp ${rc})
    # The C and C++ runtimes go into the program; the libraries stay DLLs beside it.
    target_link_options(${program} PRIVATE -static-libgcc -static-libstdc++)
    set_target_properties(${program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endforeach()
set_target_properties(jukebox PROPERTIES WIN32_EXECUTABLE ON)
# SDL's entry point (SDLmain, over MinGW's) calls the program's main, which SDL.h renames SDL_main.
find_library(JUKEBOX_SDLMAIN SDLmain REQUIRED)
target_link_libraries(jukebox
    PRIVATE mingw32 ${JUKEBOX_SDLMAIN} jukebox_core jukebox_report_box jukebox_options)
target_link_libraries(jukebox-console
    PRIVATE mingw32 ${JUKEBOX_SDLMAIN} jukebox_core jukebox_report_stderr jukebox_options)

install(TARGETS jukebox jukebox-console RUNTIME DESTINATION .)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data DESTINATION .)
configure_file(${PROJECT_SOURCE_DIR}/docs/README-windows.txt.in ${PROJECT_BINARY_DIR}/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

# The minimal program tools/bench measures jukebox.exe against under Wine; built with the tests,
# never shipped. IMG_Load is the jukebox's own stand-in here too.
if(JUKEBOX_TESTS)
    add_executable(bench_minimal WIN32 bench/minimal.c bench/platform/windows.c)
    target_link_libraries(bench_minimal
        PRIVATE mingw32 ${JUKEBOX_SDLMAIN} jukebox_image PkgConfig::SDL_MIXER jukebox_options)
    target_link_options(bench_minimal PRIVATE -static-libgcc -static-libstdc++)
    set_target_properties(bench_minimal PROPERTIES
        LINKER_LANGUAGE CXX RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endif()
