# vx_simulator_samples(<target>): gives <target> the header "sim_samples.h"
# with pages and an "ifconfig" reply produced by tools/simrouter.py, so tests
# and benchmarks read exactly what the simulated router serves.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(VX_SIM_SCRIPT ${CMAKE_SOURCE_DIR}/tools/simrouter.py)
set(VX_SAMPLES_DIR ${CMAKE_BINARY_DIR}/sim_samples)
set(VX_SAMPLES_HEADER ${VX_SAMPLES_DIR}/sim_samples.h)

if(NOT TARGET vx_sim_samples)
  # Counters of the samples: an ordinary page, and one just below 2^32 and at 2^31;
  # the firmware's page (five WAN rows) with the ordinary page's counters.
  set(rx 123456789)
  set(tx 98765432)
  set(rx_high 4294967000)
  set(tx_high 2147483648)
  set(rx_console 3000000123)
  set(tx_console 1234567)
  add_custom_command(
    OUTPUT ${VX_SAMPLES_HEADER}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VX_SAMPLES_DIR}
    COMMAND ${Python3_EXECUTABLE} ${VX_SIM_SCRIPT} --print-page --rx-start ${rx} --tx-start ${tx}
            --output ${VX_SAMPLES_DIR}/page.html
    COMMAND ${Python3_EXECUTABLE} ${VX_SIM_SCRIPT} --print-page --rx-start ${rx_high} --tx-start ${tx_high}
            --output ${VX_SAMPLES_DIR}/page_high.html
    COMMAND ${Python3_EXECUTABLE} ${VX_SIM_SCRIPT} --print-page --page-layout firmware --wan-rows 5
            --rx-start ${rx} --tx-start ${tx} --output ${VX_SAMPLES_DIR}/firmware.html
    COMMAND ${Python3_EXECUTABLE} ${VX_SIM_SCRIPT} --print-ifconfig --rx-start ${rx_console}
            --tx-start ${tx_console} --output ${VX_SAMPLES_DIR}/ifconfig.txt
    COMMAND ${CMAKE_COMMAND} -DOUT=${VX_SAMPLES_HEADER}
            "-DNAMES=kPage|kPageHigh|kFirmwarePage|kIfconfig"
            "-DFILES=${VX_SAMPLES_DIR}/page.html|${VX_SAMPLES_DIR}/page_high.html|${VX_SAMPLES_DIR}/firmware.html|${VX_SAMPLES_DIR}/ifconfig.txt"
            "-DCONSTANTS=kPageRx=${rx}|kPageTx=${tx}|kPageHighRx=${rx_high}|kPageHighTx=${tx_high}|kIfconfigRx=${rx_console}|kIfconfigTx=${tx_console}"
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedBytes.cmake
    DEPENDS ${VX_SIM_SCRIPT} ${CMAKE_SOURCE_DIR}/cmake/EmbedBytes.cmake
    COMMENT "Sample pages from the simulated router"
    VERBATIM)
  add_custom_target(vx_sim_samples DEPENDS ${VX_SAMPLES_HEADER})
endif()

function(vx_simulator_samples target)
  add_dependencies(${target} vx_sim_samples)
  target_include_directories(${target} PRIVATE ${VX_SAMPLES_DIR})
endfunction()
