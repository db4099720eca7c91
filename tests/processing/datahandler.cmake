# ModbusDataHandler: reply decoding, stream frames, the paths by rate, the
# playout and the spectrum. The oracle suites compare with scipy and numpy
# through datahandler_oracle.py; replies are built by reply_bytes.py.

foreach(_suite replies stream rates playout oracle)
  terval_add_test(tst_datahandler_${_suite}
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_datahandler_${_suite}.cpp ${CMAKE_CURRENT_LIST_DIR}/handlerrig.h
    LIBS processing core Qt5::Core Qt5::Test
    LABELS processing
    TIMEOUT 120)
endforeach()
set_tests_properties(tst_datahandler_oracle PROPERTIES LABELS "processing;oracle")
