# Configuration page in the real main window over a real hub: register writes
# with hand-written frames, the settings key, the filter interlock, the rate
# change, the identity fill and the language texts; and end to end with the
# simulated instrument on a pty, which also takes the screenshots of the
# configuration and help pages in both languages.
terval_add_test(tst_configpage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_configpage.cpp
  LIBS ui_main resources
  LABELS ui
  TIMEOUT 180)

terval_add_test(tst_configpage_e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_configpage_e2e.cpp ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources testpeers Qt5::SerialPort
  LABELS ui
  TIMEOUT 120)
add_dependencies(tst_configpage_e2e terval_help)
