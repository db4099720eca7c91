# The live charts of the main and spectrum pages draw dense lines without
# antialiasing and sparse ones with it.
terval_add_test(tst_chartdensity
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_chartdensity.cpp ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources
  LABELS ui
  TIMEOUT 120)
