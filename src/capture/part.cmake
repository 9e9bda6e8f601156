# Capturing the raw stream to a file and reading it back: plain C++.
add_library(tolvane_capture STATIC
    src/capture/capture_decode.cpp
    src/capture/capture_format.cpp
    src/capture/capture_writer.cpp
)
target_compile_options(tolvane_capture PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane_capture PUBLIC tolvane_core)

add_executable(tolvane-decode src/capture/decode_main.cpp)
target_compile_options(tolvane-decode PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane-decode PRIVATE tolvane_capture)
