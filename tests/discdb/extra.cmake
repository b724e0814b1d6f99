# The window tests drive the main window too (its layout is generated here).
set_property(TARGET test_discdb APPEND PROPERTY AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/src/compilation)
target_link_libraries(test_discdb PRIVATE Qt6::Test)
# The lookup, submission and queue tests run the scripted database server,
# the mail server and the SOCKS peers with the networking tests' helpers.
target_sources(test_discdb PRIVATE ${PROJECT_SOURCE_DIR}/tests/netclient/NetTestPeers.cpp)
target_include_directories(test_discdb PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(test_discdb PRIVATE Threads::Threads)
# The waits of the exchange windows measure wall-clock and CPU bounds: they
# run on their own, after the rest, so the other suites' load cannot stretch them.
set_property(TEST discdb APPEND PROPERTY ENVIRONMENT "GTEST_FILTER=-*/ExchangeWait.*:*/WholeReplyDeadline.*")
add_test(NAME discdb_waits COMMAND test_discdb --gtest_filter=*/ExchangeWait.*)
set_tests_properties(discdb_waits PROPERTIES RUN_SERIAL TRUE TIMEOUT 300
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MIXDECK_SOURCE_DIR=${PROJECT_SOURCE_DIR};MIXDECK_BINARY_DIR=${PROJECT_BINARY_DIR}")
# The whole-reply time-out tests through the windows measure wall-clock
# bounds too: on their own, after the rest, like the waits (left out of
# the discdb entry above).
add_test(NAME discdb_reply_deadlines COMMAND test_discdb --gtest_filter=*/WholeReplyDeadline.*)
set_tests_properties(discdb_reply_deadlines PROPERTIES RUN_SERIAL TRUE TIMEOUT 300
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MIXDECK_SOURCE_DIR=${PROJECT_SOURCE_DIR};MIXDECK_BINARY_DIR=${PROJECT_BINARY_DIR}")
