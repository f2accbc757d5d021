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

set(JUKEBOX_INSTALL_HOME ${CMAKE_INSTALL_DATADIR}/jukebox)
set(JUKEBOX_ICON_DIR ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/32x32/apps)
set(JUKEBOX_APPLICATIONS_DIR ${CMAKE_INSTALL_DATAROOTDIR}/applications)

install(TARGETS jukebox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Exactly the files the program opens, relative to its working directory.
set(JUKEBOX_SOUNDS bgm1.ogg bgm2.ogg m0.wav m1.wav s0.wav b0.wav b1.wav)
list(TRANSFORM JUKEBOX_SOUNDS PREPEND ${PROJECT_SOURCE_DIR}/data/)
install(FILES ${PROJECT_SOURCE_DIR}/data/b.png ${JUKEBOX_SOUNDS}
        DESTINATION ${JUKEBOX_INSTALL_HOME}/data)
install(FILES ${PROJECT_SOURCE_DIR}/data/images/icon.bmp
        DESTINATION ${JUKEBOX_INSTALL_HOME}/data/images)

# The theme icon: the window icon as a PNG, transparent where the window icon is, that is at
# palette index 15. ImageMagick keys on a colour, so the colour of index 15 is read from the
# bitmap here, and a new bitmap makes CMake read it again.
set(JUKEBOX_ICON_SOURCE ${PROJECT_SOURCE_DIR}/data/images/icon.bmp)
set(JUKEBOX_ICON_PNG ${PROJECT_BINARY_DIR}/jukebox.png)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${JUKEBOX_ICON_SOURCE})

function(jukebox_bmp_uint out hex offset size)
    # Little-endian unsigned integer of `size` bytes at byte `offset` of a hex dump.
    set(value 0)
    math(EXPR last "${offset} + ${size} - 1")
    foreach(i RANGE ${last} ${offset} -1)
        math(EXPR at "${i} * 2")
        string(SUBSTRING "${hex}" ${at} 2 byte)
        math(EXPR value "${value} * 256 + 0x${byte}")
    endforeach()
    set(${out} ${value} PARENT_SCOPE)
endfunction()

function(jukebox_icon_key_colour out bmp)
    set(${out} "" PARENT_SCOPE)
    if(NOT EXISTS ${bmp})
        return()
    endif()
    file(READ ${bmp} head LIMIT 54 HEX)
    string(LENGTH "${head}" length)
    if(length LESS 108 OR NOT head MATCHES "^424d")
        return()
    endif()
    jukebox_bmp_uint(info_size "${head}" 14 4)
    jukebox_bmp_uint(bits "${head}" 28 2)
    jukebox_bmp_uint(colours "${head}" 46 4)
    if(bits GREATER 8)
        return()
    endif()
    if(colours EQUAL 0)
        math(EXPR colours "1 << ${bits}")
    endif()
    if(colours LESS 16)
        return()
    endif()
    # Palette entries are blue, green, red, reserved.
    math(EXPR entry "14 + ${info_size} + 15 * 4")
    file(READ ${bmp} bgr OFFSET ${entry} LIMIT 3 HEX)
    string(LENGTH "${bgr}" length)
    if(NOT length EQUAL 6)
        return()
    endif()
    string(SUBSTRING "${bgr}" 0 2 blue)
    string(SUBSTRING "${bgr}" 2 2 green)
    string(SUBSTRING "${bgr}" 4 2 red)
    set(${out} "#${red}${green}${blue}" PARENT_SCOPE)
endfunction()

find_program(JUKEBOX_IMAGEMAGICK_CONVERT convert DOC "ImageMagick's convert, for the theme icon")
jukebox_icon_key_colour(JUKEBOX_ICON_KEY ${JUKEBOX_ICON_SOURCE})
if(JUKEBOX_IMAGEMAGICK_CONVERT AND JUKEBOX_ICON_KEY)
    add_custom_command(
        OUTPUT ${JUKEBOX_ICON_PNG}
        COMMAND ${JUKEBOX_IMAGEMAGICK_CONVERT} ${JUKEBOX_ICON_SOURCE} -alpha set
                -transparent ${JUKEBOX_ICON_KEY} -strip
                -define png:exclude-chunks=date,time PNG32:${JUKEBOX_ICON_PNG}
        DEPENDS ${JUKEBOX_ICON_SOURCE}
        COMMENT "Making the theme icon from the window icon"
        VERBATIM)
    add_custom_target(jukebox_icon ALL DEPENDS ${JUKEBOX_ICON_PNG})
    install(FILES ${JUKEBOX_ICON_PNG} DESTINATION ${JUKEBOX_ICON_DIR})
    set(JUKEBOX_HAS_ICON TRUE)
else()
    # The program works without it; the desktop entry then names a stock icon.
    if(NOT JUKEBOX_IMAGEMAGICK_CONVERT)
        message(WARNING "ImageMagick's convert was not found: the theme icon is not installed")
    else()
        message(WARNING "No palette index 15 in ${JUKEBOX_ICON_SOURCE}: the theme icon is not installed")
    endif()
    set(JUKEBOX_HAS_ICON FALSE)
endif()

# The desktop entry is written at install time, so that it names the prefix the files really
# go to, also when `cmake --install --prefix` overrides the configured one. file(INSTALL) puts it
# in the install manifest and under DESTDIR like every other file.
install(CODE "
set(JUKEBOX_DESKTOP_TEMPLATE [[${PROJECT_SOURCE_DIR}/tools/jukebox.desktop.in]])
set(JUKEBOX_DESKTOP_STAGED [[${PROJECT_BINARY_DIR}/jukebox.desktop]])
set(JUKEBOX_BINDIR [[${CMAKE_INSTALL_BINDIR}]])
set(JUKEBOX_HOME [[${JUKEBOX_INSTALL_HOME}]])
set(JUKEBOX_ICON_DIR [[${JUKEBOX_ICON_DIR}]])
set(JUKEBOX_APPLICATIONS_DIR [[${JUKEBOX_APPLICATIONS_DIR}]])
set(JUKEBOX_HAS_ICON ${JUKEBOX_HAS_ICON})
")
install(CODE [==[
function(jukebox_installed out dir)
    if(IS_ABSOLUTE "${dir}")
        set(${out} "${dir}" PARENT_SCOPE)
    else()
        set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
    endif()
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
jukebox_installed(home "${JUKEBOX_HOME}")
jukebox_installed(icondir "${JUKEBOX_ICON_DIR}")
jukebox_installed(appsdir "${JUKEBOX_APPLICATIONS_DIR}")

jukebox_desktop_exec(JUKEBOX_DESKTOP_EXEC "${bindir}/jukebox")
jukebox_desktop_string(JUKEBOX_DESKTOP_PATH "${home}")
if(JUKEBOX_HAS_ICON)
    jukebox_desktop_string(JUKEBOX_DESKTOP_ICON "${icondir}/jukebox.png")
else()
    set(JUKEBOX_DESKTOP_ICON audio-x-generic)
endif()
configure_file("${JUKEBOX_DESKTOP_TEMPLATE}" "${JUKEBOX_DESKTOP_STAGED}" @ONLY)
file(INSTALL DESTINATION "${appsdir}" TYPE FILE FILES "${JUKEBOX_DESKTOP_STAGED}")
]==])

add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DJUKEBOX_MANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
            -P ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Removing the installed files"
    VERBATIM)
