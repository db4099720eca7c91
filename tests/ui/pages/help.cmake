# Help page: topics, GBK reading, the resource-path rewrite and images that
# resolve, against the real hub; the shipped help content of the run folder
# (every page strict GBK, every picture present, every link an existing
# anchor of its own page).
terval_add_test(tst_helppage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_helppage.cpp
  LIBS ui_pages resources
  LABELS ui
  TIMEOUT 120)
add_dependencies(tst_helppage terval_help)

add_test(NAME help_content
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/check_help.py ${CMAKE_SOURCE_DIR}/help ${TERVAL_HELP_DIR})
set_tests_properties(help_content PROPERTIES LABELS "ui;help" TIMEOUT 60)
add_test(NAME help_content_selftest
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/check_help.py --self-test)
set_tests_properties(help_content_selftest PROPERTIES LABELS "ui;help" TIMEOUT 60)
