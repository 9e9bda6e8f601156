add_executable(log_core_tests
    tests/logging/log_file_test.cpp
)
set_target_properties(log_core_tests PROPERTIES AUTOMOC OFF)
target_compile_options(log_core_tests PRIVATE ${TOLVANE_WARNINGS})
target_include_directories(log_core_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(log_core_tests PRIVATE tolvane_log_core GTest::gtest GTest::gmock GTest::gtest_main)
gtest_discover_tests(log_core_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)

tolvane_qt_test(logging_dialog_tests tests/logging/log_file_dialog_test.cpp)
target_link_libraries(logging_dialog_tests PRIVATE tolvane_logging)
