# The window hooks hand events on to the event filters installed before them
# in Qt's own order, which needs the object's filter list. A previous
# instance of the program is found through a local socket.
find_package(Qt6 REQUIRED COMPONENTS Core Network)
target_link_libraries(mixdeck_support PRIVATE Qt6::CorePrivate Qt6::Network ${CMAKE_DL_LIBS})
