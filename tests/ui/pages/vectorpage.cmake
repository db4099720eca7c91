# Vector page: trimming, read-outs, range table, spectrum toggles, cursor,
# and blocks decoded by the real data handler reaching the hidden page.
terval_add_test(tst_vectorpage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_vectorpage.cpp ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources Qt5::SerialPort
  LABELS ui
  TIMEOUT 120)

# Screenshot tool (not a test): vectorpage_shot OUTPUT_DIR.
add_executable(vectorpage_shot ${CMAKE_CURRENT_LIST_DIR}/vectorpage_shot.cpp)
target_link_libraries(vectorpage_shot PRIVATE ui_main resources Qt5::SerialPort Qt5::Test)
