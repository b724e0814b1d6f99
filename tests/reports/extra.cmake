# The tape report tests take the main window's time conversions.
target_link_libraries(test_reports PRIVATE mixdeck_compilation)
