# The version tests compare what the reader finds in the test program with
# the project version the build put there.
target_compile_definitions(test_support PRIVATE MIXDECK_VERSION_TEXT="${PROJECT_VERSION}")
