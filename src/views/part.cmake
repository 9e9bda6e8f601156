# The views: the message view (its ring and paint planning are plain C++).
add_library(tolvane_views STATIC
    src/views/captioned_child.cpp
    src/views/child_placement.cpp
    src/views/message_ring.cpp
    src/views/message_view.cpp
    src/views/message_view.h
    src/views/message_view_accessible.cpp
    src/views/orientation_panel.cpp
)
target_compile_options(tolvane_views PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane_views PUBLIC tolvane_core Qt6::Widgets)

add_executable(message_view_bench bench/message_view_bench.cpp)
target_compile_options(message_view_bench PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(message_view_bench PRIVATE tolvane_views Qt6::Widgets)
