// pendant-test: the tool for a real pendant, linked with one platform backend.
#include <iostream>

#include "app/entry.h"

int main() {
    return RunTool(std::cin);
}
