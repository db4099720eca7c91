# The drawn images and their resource list.
terval_add_test(tst_resources SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_resources.cpp LIBS resources Qt5::Gui LABELS resources)
