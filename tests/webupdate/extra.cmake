# The transfer tests start real servers as child processes with the
# networking tests' peer helpers.
target_sources(test_webupdate PRIVATE ${PROJECT_SOURCE_DIR}/tests/netclient/NetTestPeers.cpp)
target_link_libraries(test_webupdate PRIVATE Threads::Threads ZLIB::ZLIB)
find_package(ZLIB REQUIRED)
