# Loading the shipped codec database. Included from bench/CMakeLists.txt.
add_executable(bench_codecdb bench_codecdb.cpp)
target_link_libraries(bench_codecdb PRIVATE torvo_core benchmark::benchmark_main)
target_compile_definitions(bench_codecdb PRIVATE TORVO_SOURCE_DATA_DIR="${TORVO_SOURCE_DATA_DIR}")
