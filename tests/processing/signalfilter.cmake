# SignalFilter: edge cases, and the comparison with scipy through a
# test-only command that prints every result at full precision.

add_executable(signalfilter_cli ${CMAKE_CURRENT_LIST_DIR}/signalfilter_cli.cpp)
target_link_libraries(signalfilter_cli PRIVATE processing Qt5::Core)

terval_add_test(tst_signalfilter
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_signalfilter.cpp
  LIBS processing Qt5::Core
  LABELS processing
  TIMEOUT 60)

terval_add_test(tst_signalfilter_oracle
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_signalfilter_oracle.cpp
  LIBS Qt5::Core
  LABELS processing oracle
  TIMEOUT 180)
target_compile_definitions(tst_signalfilter_oracle PRIVATE SIGNALFILTER_CLI="$<TARGET_FILE:signalfilter_cli>")
add_dependencies(tst_signalfilter_oracle signalfilter_cli)
