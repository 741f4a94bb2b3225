# The folder-time benchmark's floor program; bench/folder-time runs it.
add_executable(cache_floor ${CMAKE_CURRENT_LIST_DIR}/cache_floor.cpp)
