#include "process_setup.h"
#include "run.h"

#include <iostream>

int main(int argc, char **argv)
{
    bibsources::cli::openMissingStandardDescriptors();
    bibsources::cli::removeTemporaryFilesOnSignals();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return bibsources::cli::run(arguments, std::cout, std::cerr);
}
