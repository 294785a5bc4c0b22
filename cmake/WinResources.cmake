# The Windows program's resources (platform/win32/vxstat.rc): the manifest and
# the version information carry the project's version, and the icon is the one
# cmake/Icons.cmake draws. Included in the win32 block after the vxstat target.
#
# The header the resource script reads is written when the whole tree has been
# configured, so that VX_ICON_ICO is known wherever Icons.cmake is included.
set(VX_RESOURCE_DIR ${CMAKE_BINARY_DIR}/win32-resources)
set(VX_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
configure_file(${CMAKE_SOURCE_DIR}/platform/win32/vxstat.manifest ${VX_RESOURCE_DIR}/vxstat.manifest @ONLY)
target_include_directories(vxstat PRIVATE ${VX_RESOURCE_DIR})
set_property(SOURCE ${CMAKE_SOURCE_DIR}/platform/win32/vxstat.rc APPEND PROPERTY OBJECT_DEPENDS
             ${VX_RESOURCE_DIR}/vxstat.manifest ${VX_RESOURCE_DIR}/vxstat_resources.h)

function(vx_write_resource_header)
  set(text "// Written by cmake/WinResources.cmake.\n#pragma once\n")
  string(APPEND text "#define VX_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}\n")
  string(APPEND text "#define VX_VERSION_MINOR ${PROJECT_VERSION_MINOR}\n")
  string(APPEND text "#define VX_VERSION_PATCH ${PROJECT_VERSION_PATCH}\n")
  string(APPEND text "#define VX_VERSION_TEXT \"${PROJECT_VERSION}\"\n")
  string(APPEND text "#define VX_MANIFEST_FILE \"${VX_RESOURCE_DIR}/vxstat.manifest\"\n")
  if(VX_ICON_ICO)
    string(APPEND text "#define VX_ICON_FILE \"${VX_ICON_ICO}\"\n")
  else()
    message(WARNING "No VX_ICON_ICO (cmake/Icons.cmake): vxstat.exe is built without its icon")
  endif()
  # Written only when it changes, so the resources are not compiled again for nothing.
  file(CONFIGURE OUTPUT ${VX_RESOURCE_DIR}/vxstat_resources.h CONTENT "${text}")
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL vx_write_resource_header)
