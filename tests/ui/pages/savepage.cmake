# Recording page: batching, start and stop, folders, comments, console,
# language, reset and the file splits against the real hub and recording
# worker; then end to end in the main window with the simulated instrument.
# The local zone is 8 h ahead of UTC so that a local reading of UTC times
# shows.
terval_add_test(tst_savepage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_savepage.cpp ${CMAKE_CURRENT_LIST_DIR}/savepagerig.h
  LIBS ui_pages resources
  LABELS ui
  TIMEOUT 300
  ENV "TZ=XST-8")

terval_add_test(tst_savepage_e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_savepage_e2e.cpp ${CMAKE_CURRENT_LIST_DIR}/savepagerig.h
          ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources testpeers Qt5::SerialPort
  LABELS ui
  TIMEOUT 180)
