# miniupnpc for the Windows program: Debian's own source package of this
# machine's release, fetched into the build folder when the build is
# configured (scripts/debian-source keeps it: the next configure downloads
# nothing) and built here as a static library. Nothing of it enters the tree.
#
# Defines the target vx_miniupnpc; its headers are found as
# <miniupnpc/miniupnpc.h>, as from Debian's libminiupnpc-dev on Linux.

include(${CMAKE_CURRENT_LIST_DIR}/DebianSource.cmake)
vx_debian_source(miniupnpc include/miniupnpc.h _vx_upnp_tree)

file(STRINGS ${_vx_upnp_tree}/include/miniupnpc.h _vx_upnp_api REGEX "^#define[ \t]+MINIUPNPC_API_VERSION")
string(REGEX REPLACE ".*MINIUPNPC_API_VERSION[ \t]+([0-9]+).*" "\\1" _vx_upnp_api "${_vx_upnp_api}")
file(READ ${_vx_upnp_tree}/VERSION _vx_upnp_version)
string(STRIP "${_vx_upnp_version}" _vx_upnp_version)
message(STATUS "miniupnpc ${_vx_upnp_version} (API ${_vx_upnp_api}) from ${_vx_upnp_tree}")

# The headers under a miniupnpc/ folder, and the strings header its own build
# would generate.
set(_vx_upnp_include ${CMAKE_BINARY_DIR}/third_party/include)
file(GLOB _vx_upnp_headers ${_vx_upnp_tree}/include/*.h)
file(COPY ${_vx_upnp_headers} DESTINATION ${_vx_upnp_include}/miniupnpc)
file(WRITE ${_vx_upnp_include}/miniupnpcstrings.h.new
  "#ifndef MINIUPNPCSTRINGS_H_INCLUDED\n#define MINIUPNPCSTRINGS_H_INCLUDED\n"
  "#define OS_STRING \"Windows\"\n#define MINIUPNPC_VERSION_STRING \"${_vx_upnp_version}\"\n"
  "#define UPNP_VERSION_STRING \"UPnP/1.1\"\n#endif\n")
configure_file(${_vx_upnp_include}/miniupnpcstrings.h.new ${_vx_upnp_include}/private/miniupnpcstrings.h COPYONLY)

# Every library source the version has: not its tests, samples, test server
# or Python module.
file(GLOB _vx_upnp_sources ${_vx_upnp_tree}/src/*.c)
list(FILTER _vx_upnp_sources EXCLUDE REGEX
     "/(test[^/]*|upnpc|listdevices|minihttptestserver|miniupnpcmodule|minixmlvalid|wingenminiupnpcstrings)\\.c$")
foreach(_vx_required miniupnpc miniwget minixml igd_desc_parse upnpcommands upnpreplyparse connecthostport)
  if(NOT EXISTS ${_vx_upnp_tree}/src/${_vx_required}.c)
    message(FATAL_ERROR "miniupnpc ${_vx_upnp_version} has no src/${_vx_required}.c")
  endif()
endforeach()

add_library(vx_miniupnpc STATIC ${_vx_upnp_sources})
# Third-party code: none of our warning flags (and no -Werror), only its own -Wall.
# Its snprintf stand-in, which a slip in its version test picks on this
# mingw-w64 too, discards a value on purpose.
set_property(TARGET vx_miniupnpc PROPERTY COMPILE_OPTIONS -Wall -Wno-unused-value)
set_property(TARGET vx_miniupnpc PROPERTY C_STANDARD 99)
# Its files share macro and static names: a unit a file, as its own build does.
set_property(TARGET vx_miniupnpc PROPERTY UNITY_BUILD OFF)
target_include_directories(vx_miniupnpc PRIVATE ${_vx_upnp_tree}/include ${_vx_upnp_tree}/src
                                                 ${_vx_upnp_include}/private)
target_include_directories(vx_miniupnpc SYSTEM INTERFACE ${_vx_upnp_include})
target_compile_definitions(vx_miniupnpc PUBLIC MINIUPNP_STATICLIB PRIVATE _WIN32_WINNT=0x0601)
target_link_libraries(vx_miniupnpc PUBLIC iphlpapi ws2_32)
set(VX_MINIUPNPC_VERSION ${_vx_upnp_version})
set(VX_MINIUPNPC_API_VERSION ${_vx_upnp_api})
