# Recording worker: file names and time line without threads, then the worker
# on its thread with its files read back by Python. The local zone is set 8 h
# ahead of UTC so that any local reading of UTC times shows.
terval_add_test(recording_names
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_recordingnames.cpp
  LIBS recording
  LABELS recording
  ENV "TZ=XST-8")

terval_add_test(recording_savefile
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_savefilethread.cpp
  LIBS hub
  LABELS recording
  TIMEOUT 300
  ENV "TZ=XST-8")
