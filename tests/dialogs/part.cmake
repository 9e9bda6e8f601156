tolvane_qt_test(dialogs_tests
    tests/dialogs/com_port_test.cpp
    tests/dialogs/settings_dialogs_test.cpp
    tests/dialogs/compensation_dialog_test.cpp
    tests/dialogs/wmm_dialog_test.cpp
)
target_link_libraries(dialogs_tests PRIVATE tolvane_dialogs)

# The number reader and conversions alone, without Qt.
add_executable(number_entry_tests tests/dialogs/number_entry_test.cpp src/dialogs/number_entry.cpp)
set_target_properties(number_entry_tests PROPERTIES AUTOMOC OFF)
target_compile_options(number_entry_tests PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(number_entry_tests PRIVATE tolvane_core GTest::gtest GTest::gtest_main)
gtest_discover_tests(number_entry_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
