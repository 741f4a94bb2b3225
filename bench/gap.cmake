# The song-change benchmark on the silent output; bench/gap runs it.
add_executable(gap_silent ${CMAKE_CURRENT_LIST_DIR}/gap_silent.cpp)
target_link_libraries(gap_silent PRIVATE mci)
