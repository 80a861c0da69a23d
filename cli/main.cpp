#include "run.h"

#include <iostream>

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return bibsources::cli::run(arguments, std::cout, std::cerr);
}
