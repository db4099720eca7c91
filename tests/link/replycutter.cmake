# The link's reply readers as plain functions of the waiting bytes.
terval_add_test(tst_replycutter SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_replycutter.cpp LIBS link core LABELS link)
