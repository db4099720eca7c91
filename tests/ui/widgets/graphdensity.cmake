# Antialiasing of live-chart lines by data density, against QCustomPlot's own
# thinning, and the pages that use it.
terval_add_test(tst_graphdensity SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_graphdensity.cpp LIBS ui_widgets LABELS ui)
