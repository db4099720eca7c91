# The hub's wiring of the link members that nothing in the program drives.
terval_add_test(tst_hubauxlinks
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_hubauxlinks.cpp
          ${CMAKE_SOURCE_DIR}/tests/link/linkrig.h ${CMAKE_SOURCE_DIR}/tests/link/linkrig.cpp
  LIBS hub testpeers Qt5::SerialPort
  LABELS hub
  TIMEOUT 120)
