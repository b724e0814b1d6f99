# The connection state comes from the toolkit's network information.
target_link_libraries(mixdeck_discdb PUBLIC Qt6::Network)
