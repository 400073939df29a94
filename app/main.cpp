// Entry point of quenor-cleaner; the start-up itself is in Application.cpp.
// The unit-level strings (clean/SharedStrings.h) are set up before main runs.
#include "app/Application.h"

int main(int argc, char* argv[])
{
    return RunApplication(argc, argv);
}
