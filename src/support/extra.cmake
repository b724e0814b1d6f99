# The window hooks hand events on to the event filters installed before them
# in Qt's own order, which needs the object's filter list.
find_package(Qt6 REQUIRED COMPONENTS Core)
target_link_libraries(mixdeck_support PRIVATE Qt6::CorePrivate)
