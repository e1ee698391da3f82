# Fuzz target of the codec database loader. Included from fuzz/CMakeLists.txt (clang only).
add_executable(fuzz_codecdb fuzz_codecdb.cpp)
target_compile_options(fuzz_codecdb PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_codecdb PRIVATE -fsanitize=fuzzer)
target_link_libraries(fuzz_codecdb PRIVATE torvo_core)
