# Cover pictures in JPEG are decoded with libjpeg, called directly.
target_link_libraries(mixdeck_compilation PUBLIC jpeg)
