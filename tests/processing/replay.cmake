# Replay source: loading, chunks and pace, the points-per-send hand-over
# between threads, and its creation by the hub at start-up (in process and
# in the application binary). Replay files come from our generator.
terval_add_test(tst_replay
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_replay.cpp
  LIBS app
  LABELS processing
  TIMEOUT 120)
target_compile_definitions(tst_replay PRIVATE TERVAL_MOCKGEN="$<TARGET_FILE:terval_mockgen>")
add_dependencies(tst_replay terval_mockgen terval)
