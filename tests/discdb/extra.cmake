# The window tests drive the main window too (its layout is generated here).
set_property(TARGET test_discdb APPEND PROPERTY AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/src/compilation)
target_link_libraries(test_discdb PRIVATE Qt6::Test)
