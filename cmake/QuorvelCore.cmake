# The portable core (gateway, ports, transfer and their shared floor, common)
# is one set of sources compiled once per pairing of host backend and serial
# backend.
set(QUORVEL_CORE_SOURCES
  ${PROJECT_SOURCE_DIR}/src/gateway/command_table.cpp
  ${PROJECT_SOURCE_DIR}/src/gateway/gateway.cpp
  ${PROJECT_SOURCE_DIR}/src/ports/port_table.cpp
  ${PROJECT_SOURCE_DIR}/src/ports/port_selection.cpp
  ${PROJECT_SOURCE_DIR}/src/ports/settings_parse.cpp
  ${PROJECT_SOURCE_DIR}/src/ports/settings_report.cpp
  ${PROJECT_SOURCE_DIR}/src/ports/port_lifecycle.cpp
  ${PROJECT_SOURCE_DIR}/src/ports/reconfiguration.cpp
  ${PROJECT_SOURCE_DIR}/src/transfer/device_queues.cpp
  ${PROJECT_SOURCE_DIR}/src/transfer/pending_writes.cpp
  ${PROJECT_SOURCE_DIR}/src/transfer/write_commands.cpp
  ${PROJECT_SOURCE_DIR}/src/transfer/read_commands.cpp
  ${PROJECT_SOURCE_DIR}/src/common/host_calls.cpp
)

# quorvel_add_core(<target> <host backend target> <serial backend target>)
function(quorvel_add_core target host serial)
  add_library(${target} STATIC ${QUORVEL_CORE_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC ${host} ${serial})
endfunction()
