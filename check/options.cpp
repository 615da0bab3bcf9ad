// The check's options on pendant-test's command line, and the check as the
// program runs it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "check/check.h"

namespace {
// S as whole seconds, 1 to 3600.
bool Seconds(const char* text, DWORD& ms) {
    char* end = nullptr;
    const long s = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || s < 1 || s > 3600)
        return false;
    ms = static_cast<DWORD>(s) * 1000;
    return true;
}
} // namespace

std::string ParseCheckOptions(int argc, const char* const* argv, CheckOptions& options) {
    std::string problem;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        // Whether a is the option name, as "--name value" or "--name=value";
        // has says whether the value came.
        std::string v;
        bool has = false;
        auto is = [&](const std::string& name) {
            if (a == name) {
                has = i + 1 < argc;
                if (has)
                    v = argv[++i];
                return true;
            }
            if (a.compare(0, name.size() + 1, name + "=") != 0)
                return false;
            has = true;
            v = a.substr(name.size() + 1);
            return true;
        };
        if (a == "--no-person") {
            options.person = false;
        } else if (a == "--hid") {
            options.hid = true;
        } else if (is("--step-timeout")) {
            if (!has || !Seconds(v.c_str(), options.stepTimeoutMs))
                problem = "--step-timeout takes whole seconds from 1 to 3600";
        } else if (is("--report")) {
            if (!has || v.empty())
                problem = "--report takes the name of the file to write";
            else
                options.reportPath = v;
        }
    }
    return problem;
}

int RunCheckCommand(int argc, const char* const* argv, std::istream& in) {
    CheckOptions options;
    const std::string problem = ParseCheckOptions(argc, argv, options);
    if (!problem.empty()) {
        std::fprintf(stderr, "pendant-test: %s\n", problem.c_str());
        return CheckNotOpened;
    }
    return RunCheck(options, PersonAtConsole(in));
}
