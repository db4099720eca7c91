# GPS receiver: the NMEA core alone and against a second parser (nmea-simple,
# installed by scripts/test.sh into the build folder's tools/node), the
# worker's throttle and start paths, and the reader on a socat pty pair fed
# by nmea_peer at 4800-baud pace.

add_executable(nmea_peer ${CMAKE_CURRENT_LIST_DIR}/nmea_peer.cpp)
set_target_properties(nmea_peer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/peers)

terval_add_test(gps_nmea
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_nmeaparser.cpp
  LIBS reporting
  LABELS reporting)

terval_add_test(gps_nmea_oracle
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_nmea_oracle.cpp
  LIBS reporting
  LABELS reporting oracle
  ENV "TERVAL_NODE_TOOLS=${CMAKE_BINARY_DIR}/tools/node")

terval_add_test(gps_thread
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_gpsthread.cpp ${CMAKE_CURRENT_LIST_DIR}/gpsrig.h
  LIBS reporting
  LABELS reporting)

terval_add_test(gps_pty
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_gpspty.cpp ${CMAKE_CURRENT_LIST_DIR}/gpsrig.h
  LIBS reporting testpeers
  LABELS reporting
  TIMEOUT 240)
add_dependencies(gps_pty nmea_peer)
