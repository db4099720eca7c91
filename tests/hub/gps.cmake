# The hub creates the GPS worker with the server client ("isServer" 1) on the
# "GPSCom" port; started through the hub's connection from the server client,
# a fix from a pty reaches the server client through the other.
terval_add_test(hub_gps
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_gpshub.cpp ${CMAKE_SOURCE_DIR}/tests/reporting/gpsrig.h
  LIBS hub testpeers
  LABELS hub
  TIMEOUT 120)
add_dependencies(hub_gps nmea_peer)
