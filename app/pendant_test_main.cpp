// pendant-test: the tool for a real pendant, linked with one platform backend.
#include <iostream>

#include "app/entry.h"

int main(int argc, char** argv) {
    return RunTool(std::cin, {}, ParseOptions(argc, argv));
}
