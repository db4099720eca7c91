# Monitoring-server client: bodies, replies and spool rules without threads,
# then the client on its thread against a scripted HTTP server that the tests
# start on 127.0.0.1 (tests/peers/http_peer.py, the system Python).
terval_add_test(reporting_protocol
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_serverprotocol.cpp
  LIBS reporting
  LABELS reporting
  TIMEOUT 120)

terval_add_test(reporting_spool
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_serverspool.cpp
  LIBS reporting
  LABELS reporting
  TIMEOUT 60)

terval_add_test(reporting_identity
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_serveridentity.cpp
  LIBS reporting
  LABELS reporting
  TIMEOUT 60)

add_library(httppeer STATIC ${CMAKE_CURRENT_LIST_DIR}/httppeer.h ${CMAKE_CURRENT_LIST_DIR}/httppeer.cpp)
target_link_libraries(httppeer PUBLIC testpeers Qt5::Network Qt5::Test)

terval_add_test(reporting_server
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_serverthread.cpp ${CMAKE_CURRENT_LIST_DIR}/serverrig.h
  LIBS reporting httppeer
  LABELS reporting
  TIMEOUT 400
  ENV "no_proxy=127.0.0.1" "NO_PROXY=127.0.0.1")

terval_add_test(reporting_hub
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_serverhub.cpp
  LIBS hub httppeer
  LABELS reporting
  TIMEOUT 120
  ENV "no_proxy=127.0.0.1" "NO_PROXY=127.0.0.1")

# End to end through the hub: a fix from nmea_peer on a pty reaches the
# scripted HTTP server as a status report.
terval_add_test(reporting_gps_e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_gpsserver.cpp ${CMAKE_CURRENT_LIST_DIR}/gpsrig.h
  LIBS hub httppeer
  LABELS reporting
  TIMEOUT 240
  ENV "no_proxy=127.0.0.1" "NO_PROXY=127.0.0.1")
add_dependencies(reporting_gps_e2e nmea_peer)
