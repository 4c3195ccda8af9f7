# Runs at install time, so the desktop entry names the executable under the prefix that
# `cmake --install --prefix` was actually given. Inputs: KORVANE_SOURCE, KORVANE_APPDIR.
set(_prefix "${CMAKE_INSTALL_PREFIX}")
set(KORVANE_EXEC "${_prefix}/${KORVANE_APPDIR}/korvane")
set(_entry "$ENV{DESTDIR}${_prefix}/share/applications/korvane.desktop")
configure_file("${KORVANE_SOURCE}/packaging/korvane.desktop.in" "${_entry}" @ONLY)
message(STATUS "Installing: ${_entry}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_entry}")

# A command on the search path that starts the application from its own folder.
set(_link "$ENV{DESTDIR}${_prefix}/bin/korvane")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${_prefix}/bin")
file(REMOVE "${_link}")
file(RELATIVE_PATH _target "${_prefix}/bin" "${_prefix}/${KORVANE_APPDIR}/korvane")
file(CREATE_LINK "${_target}" "${_link}" SYMBOLIC)
message(STATUS "Installing: ${_link} -> ${_target}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_link}")
