# The length benchmark; bench/lengths builds and runs these. The second
# program asks through the command strings, when the mci library is there.
add_executable(lengths_bench ${CMAKE_CURRENT_LIST_DIR}/lengths_bench.cpp)
target_link_libraries(lengths_bench PRIVATE mci_length)
if(TARGET mci)
    add_executable(lengths_bench_mci ${CMAKE_CURRENT_LIST_DIR}/lengths_bench.cpp)
    target_compile_definitions(lengths_bench_mci PRIVATE LENGTHS_WITH_MCI)
    target_link_libraries(lengths_bench_mci PRIVATE mci)
endif()
