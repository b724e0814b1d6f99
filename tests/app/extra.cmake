# The program tests run the built program and a small probe program that
# makes the real application object; both must be built first.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(mixdeck_guard_probe ${PROJECT_SOURCE_DIR}/tests/app/probe/GuardProbe.cpp)
target_link_libraries(mixdeck_guard_probe PRIVATE mixdeck_platform Qt6::Widgets Qt6::Test)
target_link_libraries(test_app PRIVATE Qt6::Test)
add_dependencies(test_app mixdeck mixdeck_guard_probe)
target_compile_definitions(test_app PRIVATE
  MIXDECK_EXE_PATH="$<TARGET_FILE:mixdeck>"
  GUARD_PROBE_PATH="$<TARGET_FILE:mixdeck_guard_probe>"
  MIXDECK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
# The print menu's binding to the tape reports and the folder lock of the
# start-up are tested in the process.
target_sources(test_app PRIVATE ${PROJECT_SOURCE_DIR}/src/app/TapePrint.cpp ${PROJECT_SOURCE_DIR}/src/app/SingleCopy.cpp)
target_link_libraries(test_app PRIVATE mixdeck_reports)
# Start-up's wiring of the network waits is tested in the process too.
target_sources(test_app PRIVATE ${PROJECT_SOURCE_DIR}/src/app/Startup.cpp ${PROJECT_SOURCE_DIR}/src/app/ScriptedUser.cpp)
target_link_libraries(test_app PRIVATE ${MIXDECK_ALL_LIBS})
# The program folder's scenes update the program from the web update tests'
# loopback server.
target_sources(test_app PRIVATE ${PROJECT_SOURCE_DIR}/tests/webupdate/WebUpdatePeers.cpp
                                ${PROJECT_SOURCE_DIR}/tests/netclient/NetTestPeers.cpp)
