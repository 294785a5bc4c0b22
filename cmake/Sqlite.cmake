# SQLite for the traffic history, as the target vx_sqlite: Debian's
# libsqlite3-dev on Linux; for the Windows program Debian's own source package,
# built here and linked statically (cmake/DebianSqlite.cmake).
if(WIN32)
  enable_language(C)
  include(${CMAKE_CURRENT_LIST_DIR}/DebianSqlite.cmake)
else()
  find_package(SQLite3 REQUIRED)
  add_library(vx_sqlite INTERFACE)
  target_link_libraries(vx_sqlite INTERFACE SQLite::SQLite3)
endif()
