// tolvane: the host program for a digital compass module. No options.
#include "app/tolvane_app.h"

int main(int argc, char** argv)
{
    tolvane::CTolvaneApp app(argc, argv);
    app.Start();
    return tolvane::CTolvaneApp::exec();
}
