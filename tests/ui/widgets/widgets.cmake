# Widget kit and the service-page lock.
terval_add_test(tst_ringbuffer SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_ringbuffer.cpp LIBS ui_widgets core LABELS ui)
terval_add_test(tst_plotwidgets SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_plotwidgets.cpp LIBS ui_widgets resources LABELS ui)
terval_add_test(tst_menuwidgets SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_menuwidgets.cpp LIBS ui_widgets resources LABELS ui)
terval_add_test(tst_passwordfilter SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_passwordfilter.cpp LIBS ui_widgets resources LABELS ui)
