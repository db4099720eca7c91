# Vector and FID records: decoding, FID rejoining and filtering, vector
# records, histories and spectra, crash-log dumps. Frames come from
# vector_frames.py (struct); references from datahandler_oracle.py (scipy).
terval_add_test(tst_vectorfid
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_vectorfid.cpp ${CMAKE_CURRENT_LIST_DIR}/handlerrig.h
          ${CMAKE_CURRENT_LIST_DIR}/linecapture.h
  LIBS processing core Qt5::Core Qt5::Test
  LABELS "processing;oracle"
  TIMEOUT 180)
