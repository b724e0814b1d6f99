# The window tests drive the main window too (its layout is generated here).
set_property(TARGET test_discdb APPEND PROPERTY AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/src/compilation)
target_link_libraries(test_discdb PRIVATE Qt6::Test)
# The lookup, submission and queue tests run the scripted database server,
# the mail server and the SOCKS peers with the networking tests' helpers.
target_sources(test_discdb PRIVATE ${PROJECT_SOURCE_DIR}/tests/netclient/NetTestPeers.cpp)
target_include_directories(test_discdb PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(test_discdb PRIVATE Threads::Threads)
