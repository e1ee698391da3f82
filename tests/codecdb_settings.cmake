# Tests of the codec database, the preferences and the desktop integration.
# Included from tests/CMakeLists.txt (GTest found and GoogleTest included there).

add_executable(test_codecdb test_codecdb.cpp test_codecdb_shipped.cpp TestLocale.cpp)
target_link_libraries(test_codecdb PRIVATE torvo_core GTest::gtest_main)
target_include_directories(test_codecdb PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_codecdb PRIVATE
  TORVO_SOURCE_DATA_DIR="${TORVO_SOURCE_DATA_DIR}"
  TORVO_CLI_PATH="$<TARGET_FILE:torvo-cli>")
add_dependencies(test_codecdb torvo-cli)
gtest_discover_tests(test_codecdb)

add_executable(test_settings test_settings.cpp test_desktop_integration.cpp TestLocale.cpp)
target_link_libraries(test_settings PRIVATE torvo_core GTest::gtest_main)
target_include_directories(test_settings PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_settings PRIVATE TORVO_SOURCE_DATA_DIR="${TORVO_SOURCE_DATA_DIR}")
gtest_discover_tests(test_settings)

# Settings written by one process and read by the next go through this helper.
add_executable(settings_roundtrip_helper settings_roundtrip_helper.cpp)
target_link_libraries(settings_roundtrip_helper PRIVATE torvo_platform_qt)

add_executable(test_settings_qt test_settings_qt.cpp)
target_link_libraries(test_settings_qt PRIVATE torvo_platform_qt GTest::gtest_main)
target_include_directories(test_settings_qt PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_settings_qt PRIVATE
  TORVO_SETTINGS_HELPER="$<TARGET_FILE:settings_roundtrip_helper>")
add_dependencies(test_settings_qt settings_roundtrip_helper)
gtest_discover_tests(test_settings_qt)

add_executable(test_settings_on_demand test_settings_on_demand.cpp)
target_link_libraries(test_settings_on_demand PRIVATE torvo_settings_on_demand torvo_platform_qt GTest::gtest_main)
target_include_directories(test_settings_on_demand PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(test_settings_on_demand PRIVATE TORVO_SETTINGS_MODULE="$<TARGET_FILE:torvo-settings>")
gtest_discover_tests(test_settings_on_demand)
