terval_add_test(tst_validators SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_validators.cpp LIBS ui_pages core LABELS ui)
