# The tape report tests take the main window's time conversions.
target_link_libraries(test_reports PRIVATE mixdeck_compilation)
# The layout tests read the fuzz target's seed layouts.
target_compile_definitions(test_reports PRIVATE MIXDECK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
