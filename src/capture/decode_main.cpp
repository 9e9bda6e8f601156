// tolvane-decode: prints a capture file message by message.
#include <iostream>
#include <string>
#include <vector>

#include "capture/capture_decode.h"

int main(int argc, char** argv)
{
    return tolvane::DecodeMain(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
}
