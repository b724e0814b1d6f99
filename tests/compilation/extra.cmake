# The main-window tests compare the title with the version the build put
# into the test program.
target_compile_definitions(test_compilation PRIVATE MIXDECK_VERSION_TEXT="${PROJECT_VERSION}")
