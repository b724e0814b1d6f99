# The list and label tests drive the widgets with real mouse and key events.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(test_controls PRIVATE Qt6::Test)
