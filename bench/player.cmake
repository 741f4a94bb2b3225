# The whole player's floor program; bench/player and bench/playback run it.
add_executable(wakeup_floor ${CMAKE_CURRENT_LIST_DIR}/wakeup_floor.cpp)
find_package(Threads REQUIRED)
target_link_libraries(wakeup_floor PRIVATE Threads::Threads PkgConfig::MPG123)
