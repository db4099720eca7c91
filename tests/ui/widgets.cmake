# Widget kit, window chrome, service-page lock and the drawn images.
set(_ui_libs ui_main ui_pages core link processing recording resources Qt5::Widgets)
terval_add_test(tst_ringbuffer SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_ringbuffer.cpp LIBS core LABELS ui)
terval_add_test(tst_plotwidgets SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_plotwidgets.cpp LIBS ${_ui_libs} LABELS ui)
terval_add_test(tst_menuwidgets SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_menuwidgets.cpp LIBS ${_ui_libs} LABELS ui)
terval_add_test(tst_windowchrome SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_windowchrome.cpp LIBS ${_ui_libs} LABELS ui)
terval_add_test(tst_passwordfilter SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_passwordfilter.cpp LIBS ${_ui_libs} LABELS ui)
terval_add_test(tst_resources SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_resources.cpp LIBS resources Qt5::Gui LABELS ui)
