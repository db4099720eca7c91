# The main window over a real hub: pages, page switching, language, reset
# and the lock-lost warning.
terval_add_test(tst_mainwindow
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindow.cpp
  LIBS ui_main ui_pages core link processing recording resources Qt5::Widgets
  LABELS ui
  TIMEOUT 180)
