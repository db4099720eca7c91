# Spectrum page: gating, windows, axes, polling and clearing against the real
# hub and window, and the end-to-end run with the simulated instrument.
terval_add_test(tst_spectrumpage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_spectrumpage.cpp
  LIBS ui_main resources
  LABELS ui
  TIMEOUT 180)

terval_add_test(tst_spectrum_e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_spectrum_e2e.cpp ${CMAKE_CURRENT_LIST_DIR}/mainpagerig.h
  LIBS ui_main resources testpeers Qt5::SerialPort
  LABELS ui
  TIMEOUT 150)
