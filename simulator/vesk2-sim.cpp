#include "simulator/SimTool.h"

#include <iostream>

int main (int argc, char* argv[])
{
    std::vector<std::string> arguments (argv + 1, argv + argc);
    return vesk2sim::runTool (arguments, std::cout, std::cerr);
}
