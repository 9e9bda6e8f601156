tolvane_qt_test(dialogs_tests
    tests/dialogs/com_port_chooser_test.cpp
    tests/dialogs/com_port_dialog_test.cpp
)
target_link_libraries(dialogs_tests PRIVATE tolvane_dialogs)
