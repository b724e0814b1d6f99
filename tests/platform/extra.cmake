# Widget tests drive dialogs and buttons with real key and mouse events.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(test_platform PRIVATE Qt6::Test)
