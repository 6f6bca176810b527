// rovanta-cli: the mirror pipeline for scripts, batches and machines without a display.

#include <unistd.h>

#include <exception>
#include <iostream>

#include "cli/CommandLine.h"

int main(int argc, char** argv)
{
    try {
        return rovanta::cli::RunCommandLine(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
    } catch (const std::exception& e) {
        std::cerr << "rovanta-cli: " << e.what() << '\n';
        return 1;
    }
}
