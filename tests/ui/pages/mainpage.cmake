# Main page: connection sequence, device control and live chart against the
# real hub and window, and the end-to-end runs with the simulated instrument on a pty
# and with the generated replay file.
terval_add_test(tst_mainpage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainpage.cpp ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources Qt5::SerialPort
  LABELS ui
  TIMEOUT 180)

terval_add_test(tst_mainpage_e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainpage_e2e.cpp ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources testpeers Qt5::SerialPort
  LABELS ui
  TIMEOUT 120)
add_dependencies(tst_mainpage_e2e terval_mockcsv)

# The main page when the link goes wrong: identity replies lost or broken,
# stream frame errors, a status reply under the configuration page; against
# the simulated instrument on a pty.
terval_add_test(tst_mainpage_link
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainpage_link.cpp ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources testpeers Qt5::SerialPort
  LABELS ui
  TIMEOUT 180)
