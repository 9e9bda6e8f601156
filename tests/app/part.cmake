add_executable(frame_logic_tests tests/app/frame_controller_test.cpp)
target_compile_options(frame_logic_tests PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(frame_logic_tests PRIVATE tolvane_frame_logic GTest::gtest GTest::gtest_main)
target_include_directories(frame_logic_tests PRIVATE tests)
gtest_discover_tests(frame_logic_tests DISCOVERY_TIMEOUT 30)

tolvane_qt_test(app_tests tests/app/main_frame_test.cpp tests/app/end_to_end_test.cpp tests/app/accessibility_test.cpp)
target_link_libraries(app_tests PRIVATE tolvane_app)

# Faults injected through tolvane-sim, labelled so they can run alone (ctest -L e2e).
add_executable(fault_suite_tests tests/app/fault_suite_test.cpp)
target_compile_options(fault_suite_tests PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(fault_suite_tests PRIVATE tolvane_app tolvane_qt_test_main tolvane_test_support)
target_compile_definitions(fault_suite_tests PRIVATE TOLVANE_SIM_PATH="$<TARGET_FILE:tolvane-sim>")
add_dependencies(fault_suite_tests tolvane-sim)
gtest_discover_tests(fault_suite_tests DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 60 LABELS e2e ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# The program itself, for the tests that signal it.
target_compile_definitions(app_tests PRIVATE TOLVANE_APP_PATH="$<TARGET_FILE:tolvane>")
add_dependencies(app_tests tolvane)
