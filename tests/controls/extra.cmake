# The list and label tests drive the widgets with real mouse and key events.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(test_controls PRIVATE Qt6::Test)
# The animated image's timer thread: its tests on their own in a
# ThreadSanitizer build (scripts/test runs them there).
# They build into a program of their own there, so that build compiles only
# them and not every controls test.
if(MIXDECK_SANITIZE STREQUAL "thread")
  add_executable(test_controls_threads ${PROJECT_SOURCE_DIR}/tests/controls/AnimateTest.cpp)
  target_include_directories(test_controls_threads PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(test_controls_threads PRIVATE mixdeck_controls mixdeck_testmain_qt
                        GTest::gtest GTest::gmock Qt6::Test)
  add_test(NAME controls_threads COMMAND test_controls_threads --gtest_filter=AnimatedImage*:ThreadTimer*)
  set_tests_properties(controls_threads PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)
endif()
