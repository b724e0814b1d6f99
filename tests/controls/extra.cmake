# The list and label tests drive the widgets with real mouse and key events.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(test_controls PRIVATE Qt6::Test)
# The animated image's timer thread: its tests on their own in a
# ThreadSanitizer build (scripts/test runs them there).
if(MIXDECK_SANITIZE STREQUAL "thread")
  add_test(NAME controls_threads COMMAND test_controls --gtest_filter=AnimatedImage*:ThreadTimer*)
  set_tests_properties(controls_threads PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)
endif()
