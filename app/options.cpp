#include "app/options.h"

#include <string>

ToolOptions ParseOptions(int argc, const char* const* argv) {
    ToolOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--reconnect")
            options.reconnect = true;
        else if (a == "--check")
            options.check = true;
    }
    return options;
}
