# The networking tests run scripted peers on threads of their own.
target_link_libraries(test_netclient PRIVATE Threads::Threads)
