# The whole application against the simulated instrument under injected
# faults (bytes dropped and added, flipped frame bytes, bursts, stalls,
# corrupted replies, two unplug/replug cycles) for about 60 s with recording
# on; bench/app/run_fault_injection.sh runs the same test for 10 minutes.
terval_add_test(tst_faultinjection
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_faultinjection.cpp
  LIBS app resources testpeers Qt5::SerialPort
  LABELS app
  TIMEOUT 240)
