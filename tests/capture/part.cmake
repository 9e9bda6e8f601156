add_executable(capture_tests
    tests/capture/capture_decode_test.cpp
    tests/capture/capture_format_test.cpp
    tests/capture/replay_test.cpp
)
target_compile_options(capture_tests PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(capture_tests PRIVATE tolvane_capture tolvane_sim tolvane_test_support
                                            GTest::gtest GTest::gmock GTest::gtest_main)
target_compile_definitions(capture_tests PRIVATE TOLVANE_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
                                                 TOLVANE_DOCS="${CMAKE_SOURCE_DIR}/docs"
                                                 TOLVANE_SIM_PATH="$<TARGET_FILE:tolvane-sim>")
add_dependencies(capture_tests tolvane-sim)
gtest_discover_tests(capture_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
