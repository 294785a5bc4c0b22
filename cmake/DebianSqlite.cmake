# SQLite for the Windows program: Debian's own source package of this
# machine's release, fetched into the build folder when the build is
# configured (scripts/debian-source keeps it: the next configure downloads
# nothing). Its one-file amalgamation is generated there with the host's C
# compiler and tclsh (the package's own `make sqlite3.c`), then built here as
# a small static library. Nothing of it enters the tree.
#
# Defines the target vx_sqlite; its header is found as <sqlite3.h>, as from
# Debian's libsqlite3-dev on Linux.

set(_vx_sqlite_root ${CMAKE_BINARY_DIR}/third_party)
include(${CMAKE_CURRENT_LIST_DIR}/DebianSource.cmake)
vx_debian_source(sqlite3 tool/mksqlite3c.tcl _vx_sqlite_tree)
file(READ ${_vx_sqlite_tree}/VERSION _vx_sqlite_version)
string(STRIP "${_vx_sqlite_version}" _vx_sqlite_version)

set(_vx_sqlite_amalgamation ${_vx_sqlite_root}/sqlite3-amalgamation-${_vx_sqlite_version})
if(NOT EXISTS ${_vx_sqlite_amalgamation}/sqlite3.c OR NOT EXISTS ${_vx_sqlite_amalgamation}/sqlite3.h)
  # Generated with the build machine's tools: not the cross compiler.
  find_program(VX_HOST_CC NAMES gcc cc REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  find_program(VX_TCLSH NAMES tclsh tclsh8.6 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  set(_vx_sqlite_work ${_vx_sqlite_root}/sqlite3-generate)
  file(REMOVE_RECURSE ${_vx_sqlite_work})
  file(MAKE_DIRECTORY ${_vx_sqlite_work})
  message(STATUS "Generating SQLite ${_vx_sqlite_version}'s amalgamation from ${_vx_sqlite_tree}")
  execute_process(
    COMMAND env CC=${VX_HOST_CC} CFLAGS=-O0 TCLSH_CMD=${VX_TCLSH} sh ${_vx_sqlite_tree}/configure --disable-tcl
            --disable-readline --disable-load-extension
    WORKING_DIRECTORY ${_vx_sqlite_work}
    RESULT_VARIABLE _vx_sqlite_result
    OUTPUT_FILE ${_vx_sqlite_work}/configure.log
    ERROR_FILE ${_vx_sqlite_work}/configure.log)
  if(_vx_sqlite_result EQUAL 0)
    execute_process(
      COMMAND make sqlite3.c
      WORKING_DIRECTORY ${_vx_sqlite_work}
      RESULT_VARIABLE _vx_sqlite_result
      OUTPUT_FILE ${_vx_sqlite_work}/make.log
      ERROR_FILE ${_vx_sqlite_work}/make.log)
  endif()
  if(NOT _vx_sqlite_result EQUAL 0 OR NOT EXISTS ${_vx_sqlite_work}/sqlite3.c)
    message(FATAL_ERROR "SQLite's amalgamation could not be generated (needs gcc, make and tcl); "
                        "see ${_vx_sqlite_work}/configure.log and make.log")
  endif()
  # Whole or not at all: an interrupted run leaves no half library behind.
  file(MAKE_DIRECTORY ${_vx_sqlite_amalgamation}.new)
  file(COPY ${_vx_sqlite_work}/sqlite3.c ${_vx_sqlite_work}/sqlite3.h DESTINATION ${_vx_sqlite_amalgamation}.new)
  file(REMOVE_RECURSE ${_vx_sqlite_amalgamation})
  file(RENAME ${_vx_sqlite_amalgamation}.new ${_vx_sqlite_amalgamation})
  file(REMOVE_RECURSE ${_vx_sqlite_work})
endif()
message(STATUS "SQLite ${_vx_sqlite_version} from ${_vx_sqlite_tree}")

add_library(vx_sqlite STATIC ${_vx_sqlite_amalgamation}/sqlite3.c)
# Third-party code: none of our warning flags (and no -Werror); small rather
# than fast, since the history does one write a minute.
set_property(TARGET vx_sqlite PROPERTY COMPILE_OPTIONS -Os -w)
set_property(TARGET vx_sqlite PROPERTY C_STANDARD 99)
target_include_directories(vx_sqlite SYSTEM PUBLIC ${_vx_sqlite_amalgamation})
# What the history does not use is left out; what stays is what SQLite's
# authors recommend for an embedded library. One connection per thread
# (THREADSAFE=2), the program uses it from its window's thread only.
target_compile_definitions(vx_sqlite PRIVATE
  _WIN32_WINNT=0x0601
  SQLITE_THREADSAFE=2
  SQLITE_DQS=0
  SQLITE_DEFAULT_MEMSTATUS=0
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_MAX_EXPR_DEPTH=0
  SQLITE_OMIT_DECLTYPE
  SQLITE_OMIT_DEPRECATED
  SQLITE_OMIT_PROGRESS_CALLBACK
  SQLITE_OMIT_SHARED_CACHE
  SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_OMIT_JSON
  SQLITE_OMIT_COMPLETE
  SQLITE_OMIT_GET_TABLE
  SQLITE_UNTESTABLE
  SQLITE_USE_ALLOCA)
set(VX_SQLITE_VERSION ${_vx_sqlite_version})
