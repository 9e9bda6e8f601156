tolvane_qt_test(instruments_tests
    tests/instruments/instrument_math_test.cpp
    tests/instruments/instruments_test.cpp
    tests/instruments/nav_console_test.cpp
)
target_link_libraries(instruments_tests PRIVATE tolvane_instruments)
