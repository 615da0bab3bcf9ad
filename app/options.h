// What pendant-test's command line asks for. Arguments it does not know are
// ignored, as the tool has always done; the check reads its own options
// (check/check.h).
#pragma once

struct ToolOptions {
    // --reconnect: follow the pendant across an unplug (app/reconnect.h)
    // instead of reading a dead handle until restarted.
    bool reconnect = false;
    // --check: the guided check (check/check.h) instead of the loop.
    bool check = false;
};
ToolOptions ParseOptions(int argc, const char* const* argv);
