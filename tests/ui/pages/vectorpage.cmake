# Vector page: trimming, read-outs, range table, spectrum toggles, cursor,
# and blocks decoded by the real data handler reaching the hidden page.
terval_add_test(tst_vectorpage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_vectorpage.cpp ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources Qt5::SerialPort
  LABELS ui
  TIMEOUT 120)
