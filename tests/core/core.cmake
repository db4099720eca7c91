terval_add_test(tst_types SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_types.cpp LIBS core LABELS core)
# Another time zone than UTC shows that every stamp is UTC.
terval_add_test(tst_logger SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_logger.cpp LIBS core LABELS core ENV TZ=Asia/Shanghai)
terval_add_test(tst_validators SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_validators.cpp LIBS core Qt5::Widgets LABELS core)
terval_add_test(tst_textini SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_textini.cpp LIBS core LABELS core)
