// pendant-test: the tool for a real pendant, linked with one platform backend.
#include <cstdio>
#include <iostream>

#include "app/entry.h"
#include "app/list.h"
#include "check/check.h"

int main(int argc, char** argv) {
    const ToolOptions options = ParseOptions(argc, argv);
    if (options.help || options.version) {
        if (options.help)
            PrintHelp();
        else
            PrintVersion();
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (options.list)
        return ListPendants();
    if (options.check)
        return RunCheckCommand(argc, argv, std::cin);
    return RunTool(std::cin, {}, options);
}
