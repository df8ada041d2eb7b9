#include <unistd.h>

#include <cstring>
#include <iostream>

#include "run.hpp"
#include "workspace.hpp"

int main(int argc, char** argv)
{
    // The run itself is driven by standard input alone; --version is the one
    // argument read, any other is ignored.
    for (int k = 1; k < argc; ++k)
        if (std::strcmp(argv[k], "--version") == 0) {
            std::cout << "tephromat " TEPHROMAT_VERSION "\n";
            return 0;
        }
    Workspace ws(std::cin, std::cout);
    ws.key_from_terminal = isatty(STDIN_FILENO) != 0;
    return run(ws);
}
