# Lock-loss watchdog: sampling, the three checks, the no-data timer, the
# quiet start after a pause, the crash-log throttle, and the hub's forward into the crash log.
terval_add_test(tst_watchdog
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_watchdog.cpp
  LIBS hub
  LABELS processing
  TIMEOUT 120)
