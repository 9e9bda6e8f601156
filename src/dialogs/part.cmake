add_library(tolvane_dialogs STATIC
    src/dialogs/com_port_chooser.cpp
    src/dialogs/com_port_dialog.cpp
    src/dialogs/compensation_dialog.cpp
    src/dialogs/dialog_template.cpp
    src/dialogs/drop_down_list.cpp
    src/dialogs/initializations_dialog.cpp
    src/dialogs/number_entry.cpp
    src/dialogs/settings_template.cpp
    src/dialogs/startup_defaults_dialog.cpp
    src/dialogs/value_field.cpp
    src/dialogs/wmm_dialog.cpp
)
target_link_libraries(tolvane_dialogs PUBLIC tolvane_core Qt6::Widgets)
target_compile_options(tolvane_dialogs PRIVATE ${TOLVANE_WARNINGS})
