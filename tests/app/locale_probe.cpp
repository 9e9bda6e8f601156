// The program's application object made under whatever locale the
// environment names; prints a number as the program's texts print it, and
// one as its number entry reads it.
#include <cstdio>
#include <cstdlib>

#include "app/tolvane_app.h"
#include "logging/printf_text.h"

int main(int argc, char** argv)
{
    tolvane::CTolvaneApp app(argc, argv);
    std::printf("%s %s\n", tolvane::PrintfText("%.1f", 11.5).c_str(),
                tolvane::PrintfText("%.2f", std::strtod("2.25", nullptr)).c_str());
}
