# Runs at install time, so the desktop entry names the executable under the prefix that
# `cmake --install --prefix` was actually given. Inputs: KORVANE_SOURCE, KORVANE_APPDIR,
# KORVANE_APP_ID.
set(_prefix "${CMAKE_INSTALL_PREFIX}")
set(KORVANE_EXEC "${_prefix}/${KORVANE_APPDIR}/korvane")
set(_entry "$ENV{DESTDIR}${_prefix}/share/applications/${KORVANE_APP_ID}.desktop")
configure_file("${KORVANE_SOURCE}/packaging/${KORVANE_APP_ID}.desktop.in" "${_entry}" @ONLY)
message(STATUS "Installing: ${_entry}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_entry}")

# Commands on the search path: the application, started from its own folder, and the
# converter, which is useful on its own.
file(MAKE_DIRECTORY "$ENV{DESTDIR}${_prefix}/bin")
foreach(_program korvane gif2swf)
    set(_link "$ENV{DESTDIR}${_prefix}/bin/${_program}")
    file(REMOVE "${_link}")
    file(RELATIVE_PATH _target "${_prefix}/bin" "${_prefix}/${KORVANE_APPDIR}/${_program}")
    file(CREATE_LINK "${_target}" "${_link}" SYMBOLIC)
    message(STATUS "Installing: ${_link} -> ${_target}")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_link}")
endforeach()
