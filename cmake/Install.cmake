# Installation: the program, the sounds and pictures it reads, a desktop entry that starts it in
# the directory holding them, a theme icon, and an `uninstall` target.
#
# Run as a script (cmake -DJUKEBOX_MANIFEST=FILE -P cmake/Install.cmake) it removes every file
# named in FILE, under $ENV{DESTDIR} when set: that is what the `uninstall` target does.

if(CMAKE_SCRIPT_MODE_FILE)
    if(NOT JUKEBOX_MANIFEST OR NOT EXISTS "${JUKEBOX_MANIFEST}")
        message(FATAL_ERROR "Nothing to uninstall: no install manifest at '${JUKEBOX_MANIFEST}'. "
                            "Install first, from this build directory.")
    endif()
    set(destdir "$ENV{DESTDIR}")
    file(STRINGS "${JUKEBOX_MANIFEST}" installed)
    set(removed 0)
    set(gone 0)
    set(failed "")
    foreach(file IN LISTS installed)
        if(file STREQUAL "")
            continue()
        endif()
        # The manifest records the paths under the prefix; DESTDIR, when the install had one,
        # stands before them and must be given again here.
        set(path "${destdir}${file}")
        if(NOT EXISTS "${path}" AND NOT IS_SYMLINK "${path}")
            message(STATUS "Already gone: ${path}")
            math(EXPR gone "${gone} + 1")
            continue()
        endif()
        if(IS_DIRECTORY "${path}" AND NOT IS_SYMLINK "${path}")
            list(APPEND failed "${path} (a directory, left alone)")
            continue()
        endif()
        file(REMOVE "${path}")
        if(EXISTS "${path}" OR IS_SYMLINK "${path}")
            list(APPEND failed "${path}")
            continue()
        endif()
        message(STATUS "Removed: ${path}")
        math(EXPR removed "${removed} + 1")
        # The program's own directories (jukebox/, jukebox/data/, jukebox/data/images/) go once
        # empty; shared ones such as bin/ or share/applications/ stay.
        get_filename_component(dir "${path}" DIRECTORY)
        while(dir MATCHES "/jukebox(/data(/images)?)?$")
            file(GLOB left "${dir}/*" "${dir}/.*")
            if(left)
                break()
            endif()
            file(REMOVE_RECURSE "${dir}")
            message(STATUS "Removed empty directory: ${dir}")
            get_filename_component(dir "${dir}" DIRECTORY)
        endwhile()
    endforeach()
    if(failed)
        list(JOIN failed "\n  " failed)
        message(FATAL_ERROR "Could not remove:\n  ${failed}")
    endif()
    if(removed EQUAL 0 AND gone GREATER 0)
        message(WARNING "None of the installed files was there. If the install had a DESTDIR, "
                        "give the same DESTDIR to uninstall.")
    endif()
    message(STATUS "Uninstalled ${removed} files")
    return()
endif()

include(GNUInstallDirs)

# The desktop entry, the AppStream data and the theme icons go by this name.
set(JUKEBOX_ID org.jukeboxauthors.Jukebox)
set(JUKEBOX_INSTALL_HOME ${CMAKE_INSTALL_DATADIR}/jukebox)
set(JUKEBOX_PROGRAM_DIR ${CMAKE_INSTALL_LIBEXECDIR}/jukebox)
set(JUKEBOX_ICON_THEME_DIR ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
set(JUKEBOX_APPLICATIONS_DIR ${CMAKE_INSTALL_DATAROOTDIR}/applications)

# One version for the program, the Debian package and the AppStream releases.
function(jukebox_check_version file pattern)
    if(EXISTS ${PROJECT_SOURCE_DIR}/${file})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${file})
        file(STRINGS ${PROJECT_SOURCE_DIR}/${file} found REGEX "${pattern}" LIMIT_COUNT 1)
        string(REGEX MATCH "${pattern}" found "${found}")
        if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
            message(FATAL_ERROR "${file} names version '${CMAKE_MATCH_1}' first, CMakeLists.txt "
                                "${PROJECT_VERSION}: give them the same version")
        endif()
    endif()
endfunction()
jukebox_check_version(debian/changelog "^jukebox \\(([^)]*)\\)")
jukebox_check_version(tools/${JUKEBOX_ID}.metainfo.xml "<release version=\"([^\"]*)\"")

# The program goes where only the launcher runs it; the command on PATH is the launcher. Its
# file name stays `jukebox`, which SDL gives its window as WM_CLASS.
install(TARGETS jukebox RUNTIME DESTINATION ${JUKEBOX_PROGRAM_DIR})

# Exactly the files the program opens, relative to its working directory.
set(JUKEBOX_SOUNDS bgm1.ogg bgm2.ogg m0.wav m1.wav s0.wav b0.wav b1.wav)
list(TRANSFORM JUKEBOX_SOUNDS PREPEND ${PROJECT_SOURCE_DIR}/data/)
install(FILES ${PROJECT_SOURCE_DIR}/data/b.png ${JUKEBOX_SOUNDS}
        DESTINATION ${JUKEBOX_INSTALL_HOME}/data)
install(FILES ${PROJECT_SOURCE_DIR}/data/images/icon.bmp
        DESTINATION ${JUKEBOX_INSTALL_HOME}/data/images)

install(FILES ${PROJECT_SOURCE_DIR}/docs/jukebox.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/tools/${JUKEBOX_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# The theme icons: the window icon as PNGs, transparent where the window icon is, that is at
# palette index 15 (see Icon.cmake).
set(JUKEBOX_ICON_BUILD_DIR ${PROJECT_BINARY_DIR}/icons)

include(${CMAKE_CURRENT_LIST_DIR}/Icon.cmake)

if(JUKEBOX_IMAGEMAGICK_CONVERT AND JUKEBOX_ICON_KEY)
    # The 32 px art as it is, the larger sizes in whole source pixels (nearest neighbour) so
    # that it stays crisp, the smaller ones averaged over each pixel's area; ImageMagick weighs
    # colours by their alpha there, so the transparent colour does not seep into the edges.
    set(png_options -strip -define png:exclude-chunks=date,time)
    set(JUKEBOX_ICON_32 ${JUKEBOX_ICON_BUILD_DIR}/32x32/${JUKEBOX_ID}.png)
    set(icons ${JUKEBOX_ICON_32})
    add_custom_command(
        OUTPUT ${JUKEBOX_ICON_32}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${JUKEBOX_ICON_BUILD_DIR}/32x32
        COMMAND ${JUKEBOX_IMAGEMAGICK_CONVERT} ${JUKEBOX_ICON_SOURCE} -alpha set
                -transparent ${JUKEBOX_ICON_KEY} ${png_options} PNG32:${JUKEBOX_ICON_32}
        DEPENDS ${JUKEBOX_ICON_SOURCE}
        COMMENT "Making the theme icon from the window icon"
        VERBATIM)
    install(FILES ${JUKEBOX_ICON_32} DESTINATION ${JUKEBOX_ICON_THEME_DIR}/32x32/apps)
    foreach(size 16 24 48 64 128 256)
        if(size LESS 32)
            set(scale -filter Box -resize ${size}x${size})
        else()
            set(scale -sample ${size}x${size})
        endif()
        set(icon ${JUKEBOX_ICON_BUILD_DIR}/${size}x${size}/${JUKEBOX_ID}.png)
        add_custom_command(
            OUTPUT ${icon}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${JUKEBOX_ICON_BUILD_DIR}/${size}x${size}
            COMMAND ${JUKEBOX_IMAGEMAGICK_CONVERT} ${JUKEBOX_ICON_32} ${scale} ${png_options}
                    PNG32:${icon}
            DEPENDS ${JUKEBOX_ICON_32}
            COMMENT "Making the ${size} px theme icon"
            VERBATIM)
        install(FILES ${icon} DESTINATION ${JUKEBOX_ICON_THEME_DIR}/${size}x${size}/apps)
        list(APPEND icons ${icon})
    endforeach()
    add_custom_target(jukebox_icons ALL DEPENDS ${icons})
    set(JUKEBOX_DESKTOP_ICON ${JUKEBOX_ID})
else()
    # The program works without them; the desktop entry then names a stock icon.
    if(NOT JUKEBOX_IMAGEMAGICK_CONVERT)
        message(WARNING "ImageMagick's convert was not found: the theme icons are not installed")
    else()
        message(WARNING "No palette index 15 in ${JUKEBOX_ICON_SOURCE}: the theme icons are not installed")
    endif()
    set(JUKEBOX_DESKTOP_ICON audio-x-generic)
endif()

# The launcher and the desktop entry are written at install time, so that they name the prefix
# the files really go to, also when `cmake --install --prefix` overrides the configured one. The
# launcher finds the program and the data relative to itself, the desktop entry names it.
# file(INSTALL) puts them in the install manifest and under DESTDIR like every other file.
install(CODE "
set(JUKEBOX_LAUNCHER_TEMPLATE [[${PROJECT_SOURCE_DIR}/tools/jukebox-launcher.in]])
set(JUKEBOX_DESKTOP_TEMPLATE [[${PROJECT_SOURCE_DIR}/tools/jukebox.desktop.in]])
set(JUKEBOX_STAGING [[${PROJECT_BINARY_DIR}/staged]])
set(JUKEBOX_ID [[${JUKEBOX_ID}]])
set(JUKEBOX_VERSION [[${PROJECT_VERSION}]])
set(JUKEBOX_BINDIR [[${CMAKE_INSTALL_BINDIR}]])
set(JUKEBOX_PROGRAM_DIR [[${JUKEBOX_PROGRAM_DIR}]])
set(JUKEBOX_HOME [[${JUKEBOX_INSTALL_HOME}]])
set(JUKEBOX_APPLICATIONS_DIR [[${JUKEBOX_APPLICATIONS_DIR}]])
set(JUKEBOX_DESKTOP_ICON [[${JUKEBOX_DESKTOP_ICON}]])
")
install(CODE [==[
function(jukebox_installed out dir)
    if(IS_ABSOLUTE "${dir}")
        set(${out} "${dir}" PARENT_SCOPE)
    else()
        set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
    endif()
endfunction()

# A shell word that stands for exactly `value`.
function(jukebox_shell_word out value)
    string(REPLACE "'" "'\\''" value "${value}")
    set(${out} "'${value}'" PARENT_SCOPE)
endfunction()

# A desktop entry string value: backslash and control characters escaped.
function(jukebox_desktop_string out value)
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\n" "\\n" value "${value}")
    string(REPLACE "\t" "\\t" value "${value}")
    string(REPLACE "\r" "\\r" value "${value}")
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# An Exec= value running one program: quoted when the path has a reserved character.
function(jukebox_desktop_exec out program)
    string(REPLACE "%" "%%" program "${program}")
    if(program MATCHES "[ \t\n\"'\\\\<>~|&;$*?#()`]")
        string(REPLACE "\\" "\\\\" program "${program}")
        string(REPLACE "\"" "\\\"" program "${program}")
        string(REPLACE "`" "\\`" program "${program}")
        string(REPLACE "$" "\\$" program "${program}")
        set(program "\"${program}\"")
    endif()
    jukebox_desktop_string(program "${program}")
    set(${out} "${program}" PARENT_SCOPE)
endfunction()

jukebox_installed(bindir "${JUKEBOX_BINDIR}")
jukebox_installed(programdir "${JUKEBOX_PROGRAM_DIR}")
jukebox_installed(home "${JUKEBOX_HOME}")
jukebox_installed(appsdir "${JUKEBOX_APPLICATIONS_DIR}")

file(RELATIVE_PATH program "${bindir}" "${programdir}/jukebox")
file(RELATIVE_PATH home "${bindir}" "${home}")
jukebox_shell_word(JUKEBOX_LAUNCHER_PROGRAM "${program}")
jukebox_shell_word(JUKEBOX_LAUNCHER_HOME "${home}")
jukebox_shell_word(JUKEBOX_LAUNCHER_VERSION "${JUKEBOX_VERSION}")
jukebox_shell_word(JUKEBOX_LAUNCHER_APP_ID "${JUKEBOX_ID}")
configure_file("${JUKEBOX_LAUNCHER_TEMPLATE}" "${JUKEBOX_STAGING}/bin/jukebox" @ONLY)
file(INSTALL DESTINATION "${bindir}" TYPE PROGRAM FILES "${JUKEBOX_STAGING}/bin/jukebox")

jukebox_desktop_exec(JUKEBOX_DESKTOP_EXEC "${bindir}/jukebox")
configure_file("${JUKEBOX_DESKTOP_TEMPLATE}" "${JUKEBOX_STAGING}/${JUKEBOX_ID}.desktop" @ONLY)
file(INSTALL DESTINATION "${appsdir}" TYPE FILE FILES "${JUKEBOX_STAGING}/${JUKEBOX_ID}.desktop")
]==])

add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DJUKEBOX_MANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
            -P ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Removing the installed files"
    VERBATIM)
