# The frame's logic, plain C++ that tests drive without widgets.
add_library(tolvane_frame_logic STATIC
    src/app/command_states.cpp
    src/app/frame_controller.cpp
    src/app/lost_port_watch.cpp
    src/app/module_identity.cpp
)
target_compile_options(tolvane_frame_logic PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane_frame_logic PUBLIC tolvane_log_core tolvane_core)

# The application: main frame, about box and the program.
add_library(tolvane_app STATIC
    src/app/about_box.cpp
    src/app/display_font_dialog.cpp
    src/app/frame_bars.cpp
    src/app/main_frame.cpp
    src/app/tolvane_app.cpp
)
target_compile_options(tolvane_app PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane_app PUBLIC tolvane_frame_logic tolvane_views tolvane_dialogs tolvane_logging
                                          tolvane_instruments tolvane_resources tolvane_capture Qt6::Widgets)

add_executable(tolvane src/app/main.cpp)
target_compile_options(tolvane PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane PRIVATE tolvane_app)

add_executable(program_bench bench/program_bench.cpp)
target_compile_options(program_bench PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(program_bench PRIVATE tolvane_app tolvane_test_support)
target_compile_definitions(program_bench PRIVATE TOLVANE_SIM_PATH="$<TARGET_FILE:tolvane-sim>")
add_dependencies(program_bench tolvane-sim)

add_executable(soak_bench bench/soak_bench.cpp)
target_compile_options(soak_bench PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(soak_bench PRIVATE tolvane_app tolvane_test_support)
target_compile_definitions(soak_bench PRIVATE TOLVANE_SIM_PATH="$<TARGET_FILE:tolvane-sim>")
add_dependencies(soak_bench tolvane-sim)
