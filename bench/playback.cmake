# The playback benchmark; bench/playback runs it.
add_executable(playback_cpu ${CMAKE_CURRENT_LIST_DIR}/playback_cpu.cpp)
target_link_libraries(playback_cpu PRIVATE mci)
