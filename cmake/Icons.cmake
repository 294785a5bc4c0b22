# The program's icons, drawn at build time from its own picture (the window
# icon of tray/LevelPictures.h) by tools/mkicons: PNGs at the hicolor theme's
# sizes for the Linux desktop and one .ico for the Windows program's resources.
#
# mkicons runs on the build machine, so it is compiled here with the build
# machine's compiler even when CMake's compiler is a cross compiler (mingw-w64).
#
# Sets:
#   VX_ICON_DIR         the folder of the drawn icons
#   VX_ICON_SIZES       the PNGs' sizes; VX_ICON_DIR/vxstat-SIZE.png each
#   VX_ICON_ICO         the .ico (16, 20, 24, 32, 48 and 256 pixels)
#   VX_MKICONS          the tool itself (the icon test runs it)
# and the target vx_icons, which the program depends on.
if(VXSTAT_UNIT_ONLY)
  return()
endif()

if(CMAKE_CROSSCOMPILING)
  find_program(VX_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
else()
  set(VX_HOST_CXX ${CMAKE_CXX_COMPILER})
endif()

set(VX_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(VX_ICON_SIZES 16 22 24 32 48 64 128 256)
set(VX_ICON_ICO_SIZES 16 20 24 32 48 256)
set(VX_ICON_ICO ${VX_ICON_DIR}/vxstat.ico)
set(VX_MKICONS ${CMAKE_BINARY_DIR}/tools/mkicons)
file(MAKE_DIRECTORY ${VX_ICON_DIR} ${CMAKE_BINARY_DIR}/tools)

set(vx_mkicons_flags -std=c++20 -O2 -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wold-style-cast)
if(VXSTAT_WERROR)
  list(APPEND vx_mkicons_flags -Werror)
endif()
add_custom_command(
  OUTPUT ${VX_MKICONS}
  COMMAND ${VX_HOST_CXX} ${vx_mkicons_flags} -I${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tools/mkicons.cpp
          ${CMAKE_SOURCE_DIR}/tray/LevelPixels.cpp -o ${VX_MKICONS}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/mkicons.cpp ${CMAKE_SOURCE_DIR}/tray/LevelPixels.cpp
          ${CMAKE_SOURCE_DIR}/tray/LevelPictures.h ${CMAKE_SOURCE_DIR}/platform/types.h
  COMMENT "Building the icon tool mkicons with the build machine's compiler"
  VERBATIM)

set(vx_icon_outputs ${VX_ICON_ICO})
set(vx_icon_commands COMMAND ${VX_MKICONS} ico ${VX_ICON_ICO} ${VX_ICON_ICO_SIZES})
foreach(size IN LISTS VX_ICON_SIZES)
  list(APPEND vx_icon_outputs ${VX_ICON_DIR}/vxstat-${size}.png)
  list(APPEND vx_icon_commands COMMAND ${VX_MKICONS} png ${size} ${VX_ICON_DIR}/vxstat-${size}.png)
endforeach()
add_custom_command(
  OUTPUT ${vx_icon_outputs}
  ${vx_icon_commands}
  DEPENDS ${VX_MKICONS}
  COMMENT "Drawing the program's icons"
  VERBATIM)
add_custom_target(vx_icons ALL DEPENDS ${vx_icon_outputs})

# Included before the program's target is made: it is tied to the icons once
# the whole top-level list has been read.
function(vx_icons_attach)
  if(TARGET vxstat)
    add_dependencies(vxstat vx_icons)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL vx_icons_attach)
if(WIN32)
  # The resource script takes the .ico in; it is compiled again when the icon changes.
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/platform/win32/vxstat.rc APPEND PROPERTY OBJECT_DEPENDS ${VX_ICON_ICO})
endif()
