# A Debian source package of this machine's release, fetched into the build
# folder's third_party/ when the build is configured (scripts/debian-source
# keeps it: the next configure downloads nothing). Nothing of it enters the
# tree. Sets `out_tree` to the unpacked source; fails the configure unless
# `marker` (a path inside it) is there.
function(vx_debian_source package marker out_tree)
  set(root ${CMAKE_BINARY_DIR}/third_party)
  execute_process(
    COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/debian-source ${package} ${root}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE tree
    ERROR_VARIABLE error
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0 OR NOT EXISTS ${tree}/${marker})
    message(FATAL_ERROR "${package}'s Debian source could not be fetched into ${root} "
                        "(it needs the Debian archive once, outside a private network namespace: "
                        "run `make windows` first):\n${error}")
  endif()
  set(${out_tree} ${tree} PARENT_SCOPE)
endfunction()
