# Installing the Linux program (`make install`, PREFIX and DESTDIR) and its
# Debian package (`make package`, CPack): the program and its manual page, its
# desktop entry, its icons in the hicolor theme and its AppStream metadata, all
# named by one application id, and the copyright file and changelog Debian asks
# for.
if(VXSTAT_UNIT_ONLY OR WIN32 OR NOT TARGET vxstat)
  return()
endif()
include(GNUInstallDirs)
# Installing and packaging take what has been built (`make install` and `make
# package` build first): the package test must not rebuild the tree under
# the tests running beside it.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(VX_APP_ID io.github.vxstat.vxstat)
# The metadata's release date: the day of the build unless given
# (SOURCE_DATE_EPOCH is honoured, for reproducible packages).
string(TIMESTAMP vx_today "%Y-%m-%d" UTC)
set(VXSTAT_RELEASE_DATE "${vx_today}" CACHE STRING "Release date in the AppStream metadata (YYYY-MM-DD)")
set(VX_RELEASE_DATE ${VXSTAT_RELEASE_DATE})
set(VX_DESKTOP_FILE ${CMAKE_BINARY_DIR}/packaging/${VX_APP_ID}.desktop)
set(VX_METAINFO_FILE ${CMAKE_BINARY_DIR}/packaging/${VX_APP_ID}.metainfo.xml)
configure_file(${CMAKE_SOURCE_DIR}/packaging/${VX_APP_ID}.desktop ${VX_DESKTOP_FILE} COPYONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/${VX_APP_ID}.metainfo.xml.in ${VX_METAINFO_FILE} @ONLY)

install(TARGETS vxstat RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VX_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VX_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size IN LISTS VX_ICON_SIZES)
  install(FILES ${VX_ICON_DIR}/vxstat-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${VX_APP_ID}.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Compressed as Debian wants them: gzip -9n, no name and no time stamp inside,
# so every build gives the same bytes. Made when the build is configured (and
# again when the source changes), so installing needs no build step.
find_program(VX_GZIP gzip REQUIRED)
function(vx_gzip source output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND ${VX_GZIP} -9nc ${source} OUTPUT_FILE ${output} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${source}: ${status}")
  endif()
endfunction()

# A manual page written by hand, packaging/NAME.SECTION.in (@PROJECT_VERSION@
# and @VX_RELEASE_DATE@ filled in), installed as manSECTION/NAME.SECTION.gz.
# Each program of the package names its page here.
function(vx_install_manpage name section)
  set(page ${CMAKE_BINARY_DIR}/packaging/${name}.${section})
  configure_file(${CMAKE_SOURCE_DIR}/packaging/${name}.${section}.in ${page} @ONLY)
  vx_gzip(${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
vx_install_manpage(vxstat 1)

# The recorder, its page and its system service (installed, not enabled).
if(TARGET vxstat-recorder)
  install(TARGETS vxstat-recorder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  vx_install_manpage(vxstat-recorder 8)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/vxstat-recorder.service DESTINATION lib/systemd/system)
  # An example scrape configuration and recording rules for Prometheus.
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/prometheus/prometheus.yml
                ${CMAKE_SOURCE_DIR}/packaging/prometheus/vxstat-rules.yml
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()

# The licence in Debian's machine-readable form, and the changelog of a
# native package (changelog.gz), whose latest entry must be this version.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog vx_changelog_top LIMIT_COUNT 1)
if(NOT vx_changelog_top MATCHES "^vxstat \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog begins with '${vx_changelog_top}': add an entry for ${PROJECT_VERSION}")
endif()
vx_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# ---- The Debian package ------------------------------------------------------
set(VXSTAT_MAINTAINER "The vxstat developers <maintainers@vxstat.invalid>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vxstat)
set(CPACK_PACKAGE_VENDOR "The vxstat developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "router WAN traffic monitor with a tray icon")
set(CPACK_PACKAGE_DESCRIPTION "vxstat reads a home router's WAN byte counters once a second (from its web
statistics page, its UPnP gateway or the 9106 Wireless Model's telnet console)
and shows the incoming and outgoing rates as two bars in a tiny window and as
a tray icon whose green fill follows the incoming rate. It keeps running
totals of the data moved.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VXSTAT_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: from the shared libraries the program links (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# SNMP v3 opens OpenSSL's libcrypto itself, at its first session: no library
# the program links names it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libssl3")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
