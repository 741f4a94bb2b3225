# The whole-player benchmark's floor program; bench/player runs it.
add_executable(wakeup_floor ${CMAKE_CURRENT_LIST_DIR}/wakeup_floor.cpp)
find_package(Threads REQUIRED)
target_link_libraries(wakeup_floor PRIVATE Threads::Threads)
