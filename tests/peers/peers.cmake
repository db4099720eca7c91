# Test peers: programs that sit on the far end of a socat pty pair, and a
# small library that starts and stops them (and socat) for the link tests.
pkg_check_modules(LIBMODBUS REQUIRED IMPORTED_TARGET libmodbus)
find_program(SOCAT_EXECUTABLE socat REQUIRED)

set(TERVAL_PEERS_DIR ${CMAKE_BINARY_DIR}/peers)

add_executable(modbus_peer ${CMAKE_CURRENT_LIST_DIR}/modbus_peer.c)
target_link_libraries(modbus_peer PRIVATE PkgConfig::LIBMODBUS)
set_target_properties(modbus_peer PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON
  RUNTIME_OUTPUT_DIRECTORY ${TERVAL_PEERS_DIR})

add_executable(sim_instrument ${CMAKE_CURRENT_LIST_DIR}/sim_instrument.cpp)
set_target_properties(sim_instrument PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TERVAL_PEERS_DIR})

add_library(testpeers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ptypair.h ${CMAKE_CURRENT_LIST_DIR}/ptypair.cpp
  ${CMAKE_CURRENT_LIST_DIR}/peerprocess.h ${CMAKE_CURRENT_LIST_DIR}/peerprocess.cpp)
target_link_libraries(testpeers PUBLIC Qt5::Core)
target_include_directories(testpeers PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(testpeers PRIVATE
  TERVAL_PEERS_DIR="${TERVAL_PEERS_DIR}" TERVAL_SOCAT="${SOCAT_EXECUTABLE}")
# Whatever links the helpers gets the peer programs built first.
add_dependencies(testpeers modbus_peer sim_instrument)

terval_add_test(tst_peers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_peers.cpp
  LIBS testpeers Qt5::SerialPort
  LABELS peers
  TIMEOUT 120)
