# cmake --install into a scratch prefix: both programs, the desktop entry
# naming the program and the icon, the icon itself.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P install_check.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(file bin/sorvex bin/sorvex-tool share/applications/sorvex.desktop
        share/icons/hicolor/scalable/apps/sorvex.svg)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# Both run from where they were put: the tool's help, the window's
# "no display" exit without one.
execute_process(COMMAND ${PREFIX}/bin/sorvex-tool --help RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "installed sorvex-tool --help: ${rc}")
endif()
execute_process(COMMAND env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM
    ${PREFIX}/bin/sorvex RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 2 OR NOT err MATCHES "^sorvex: no display")
  message(FATAL_ERROR "installed sorvex without a display: ${rc} ${err}")
endif()
file(STRINGS ${PREFIX}/share/applications/sorvex.desktop entry)
foreach(line "[Desktop Entry]" "Type=Application" "Exec=sorvex" "Icon=sorvex" "Terminal=false")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "the desktop entry lacks '${line}'")
  endif()
endforeach()
file(READ ${PREFIX}/share/icons/hicolor/scalable/apps/sorvex.svg icon)
if(NOT icon MATCHES "^<svg ")
  message(FATAL_ERROR "the icon is not an SVG picture")
endif()
find_program(VALIDATE desktop-file-validate)
if(VALIDATE)
  execute_process(COMMAND ${VALIDATE} ${PREFIX}/share/applications/sorvex.desktop
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "desktop-file-validate: ${out}")
  endif()
endif()
file(REMOVE_RECURSE ${PREFIX})
