#include <unistd.h>

#include <iostream>

#include "run.hpp"
#include "workspace.hpp"

int main()
{
    Workspace ws(std::cin, std::cout);
    ws.key_from_terminal = isatty(STDIN_FILENO) != 0;
    return run(ws);
}
