# The main window over a real hub: pages, page switching, language, reset,
# the lock-lost warning, and the frameless window chrome.
terval_add_test(tst_mainwindow SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwindow.cpp LIBS ui_main resources LABELS ui TIMEOUT 180)
terval_add_test(tst_windowchrome SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_windowchrome.cpp LIBS ui_main resources LABELS ui)
