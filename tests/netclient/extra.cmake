# The networking tests run scripted peers on threads of their own.
target_link_libraries(test_netclient PRIVATE Threads::Threads)
# The blocked-wait timing tests measure wall-clock bounds: they run on their
# own, after the rest, so the other suites' load cannot stretch them.
set_property(TEST netclient APPEND PROPERTY ENVIRONMENT "GTEST_FILTER=-AntiFreeze/BlockedWait.*")
add_test(NAME netclient_waits COMMAND test_netclient --gtest_filter=AntiFreeze/BlockedWait.*)
set_tests_properties(netclient_waits PROPERTIES RUN_SERIAL TRUE TIMEOUT 120)
