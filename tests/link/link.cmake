# Serial link, request scheduler and port-list poller over real pty pairs
# with the peers of tests/peers.
set(_rig ${CMAKE_CURRENT_LIST_DIR}/linkrig.h ${CMAKE_CURRENT_LIST_DIR}/linkrig.cpp)

terval_add_test(tst_seriallink
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_seriallink.cpp ${_rig}
  LIBS link core testpeers Qt5::SerialPort
  LABELS link
  TIMEOUT 180)

terval_add_test(tst_linkpeers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_linkpeers.cpp ${_rig}
  LIBS link core testpeers Qt5::SerialPort
  LABELS link
  TIMEOUT 120)

terval_add_test(tst_scheduler
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scheduler.cpp ${_rig}
  LIBS link core testpeers Qt5::SerialPort
  LABELS link
  TIMEOUT 120)

terval_add_test(tst_comportthread
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_comportthread.cpp
  LIBS link core Qt5::SerialPort
  LABELS link
  TIMEOUT 60)

terval_add_test(tst_fidreaders
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_fidreaders.cpp
  LIBS link core
  LABELS link
  TIMEOUT 60)

terval_add_test(tst_linkauxpaths
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_linkauxpaths.cpp ${_rig}
  LIBS link core testpeers Qt5::SerialPort
  LABELS link
  TIMEOUT 180)
