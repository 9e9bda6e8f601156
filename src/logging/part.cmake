# The orientation log: the file itself and the message effects are plain
# C++ (tolvane_log_core); the Open dialog and the commands need widgets.
add_library(tolvane_log_core STATIC
    src/logging/log_file.cpp
    src/logging/log_message_effects.cpp
)
set_target_properties(tolvane_log_core PROPERTIES AUTOMOC OFF)
target_compile_options(tolvane_log_core PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane_log_core PUBLIC tolvane_core)

add_library(tolvane_logging STATIC
    src/logging/log_file_dialog.cpp
)
target_compile_options(tolvane_logging PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane_logging PUBLIC tolvane_log_core tolvane_core Qt6::Widgets)
