#include "app/cli.h"

#ifdef POKOPEN_WITH_RENDER
#include "app/cli_render.h"
#endif

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
#ifdef POKOPEN_WITH_RENDER
    return pokopen::runCli(args, std::cout, std::cerr, pokopen::runRenderCommand);
#else
    return pokopen::runCli(args, std::cout, std::cerr);
#endif
}
