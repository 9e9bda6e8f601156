// tolvane-decode: prints a capture file message by message.
#include <iostream>
#include <string>
#include <vector>

#include "capture/capture_decode.h"

int main(int argc, char** argv)
{
    // Buffered both ways: the decoder flushes whenever it has read all the
    // input there is so far, which needs the input's buffer to tell.
    std::ios::sync_with_stdio(false);
    std::cin.tie(nullptr);
    return tolvane::DecodeMain(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
}
