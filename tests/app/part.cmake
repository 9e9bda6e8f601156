add_executable(frame_logic_tests tests/app/frame_controller_test.cpp)
target_compile_options(frame_logic_tests PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(frame_logic_tests PRIVATE tolvane_frame_logic GTest::gtest GTest::gtest_main)
gtest_discover_tests(frame_logic_tests DISCOVERY_TIMEOUT 30)

tolvane_qt_test(app_tests tests/app/main_frame_test.cpp tests/app/end_to_end_test.cpp)
target_link_libraries(app_tests PRIVATE tolvane_app)
