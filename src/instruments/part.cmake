# The Nav Console and its instruments; their angle maths is plain C++.
add_library(tolvane_instruments STATIC
    src/instruments/angular_gauge.cpp
    src/instruments/compass.cpp
    src/instruments/instrument.cpp
    src/instruments/instrument_math.cpp
    src/instruments/nav_console.cpp
    src/instruments/panel.cpp
    src/instruments/seven_segment.cpp
    src/instruments/sliding_scale.cpp
)
target_compile_options(tolvane_instruments PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane_instruments PUBLIC tolvane_views Qt6::Widgets)

add_executable(nav_console_bench bench/nav_console_bench.cpp)
target_compile_options(nav_console_bench PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(nav_console_bench PRIVATE tolvane_instruments)
