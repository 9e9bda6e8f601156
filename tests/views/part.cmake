tolvane_qt_test(views_tests
    tests/views/message_ring_test.cpp
    tests/views/message_view_test.cpp
    tests/views/orientation_panel_test.cpp
)
target_link_libraries(views_tests PRIVATE tolvane_views)
