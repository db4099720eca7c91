# Start-up: the settings read into the hub (in process) and the application
# binary started in an empty folder.
terval_add_test(tst_settings SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_settings.cpp LIBS app LABELS app)
terval_add_test(tst_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_startup.cpp LIBS Qt5::Core LABELS app TIMEOUT 60)
add_dependencies(tst_startup terval)
# Settings files Qt's own INI format would crash on, given to the binary.
terval_add_test(tst_badsettings SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_badsettings.cpp LIBS Qt5::Core LABELS app TIMEOUT 120)
add_dependencies(tst_badsettings terval)
