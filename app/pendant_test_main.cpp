// pendant-test: the tool for a real pendant, linked with one platform backend.
#include <iostream>

#include "app/entry.h"
#include "check/check.h"

int main(int argc, char** argv) {
    const ToolOptions options = ParseOptions(argc, argv);
    if (options.check)
        return RunCheckCommand(argc, argv, std::cin);
    return RunTool(std::cin, {}, options);
}
