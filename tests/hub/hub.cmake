# The hub's wiring of the serial link and the scheduler, with a pty peer.
terval_add_test(tst_linkhub
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_linkhub.cpp
          ${CMAKE_SOURCE_DIR}/tests/link/linkrig.h ${CMAKE_SOURCE_DIR}/tests/link/linkrig.cpp
  LIBS hub testpeers Qt5::SerialPort
  LABELS hub
  TIMEOUT 120)
