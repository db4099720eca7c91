terval_add_test(tst_frames SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_frames.cpp LIBS link core LABELS link)
