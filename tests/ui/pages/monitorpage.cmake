# Service page: register writes with their pauses, the password lock, the
# parameter-block display and the language table in the real main window;
# end to end against the simulated instrument and the libmodbus peer.
terval_add_test(tst_monitorpage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_monitorpage.cpp ${CMAKE_CURRENT_LIST_DIR}/monitorpagerig.h
          ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources Qt5::SerialPort
  LABELS ui
  TIMEOUT 180)

terval_add_test(tst_monitorpage_e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_monitorpage_e2e.cpp ${CMAKE_CURRENT_LIST_DIR}/monitorpagerig.h
          ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources testpeers Qt5::SerialPort
  LABELS ui
  TIMEOUT 180)
