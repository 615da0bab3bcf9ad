// One line of the script language read into a step, the test failing when it
// is refused: for the suites that run steps on a pendant port.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "play/script.h"

inline play::Step ParsedStep(const std::string& line,
                             play::Dialect dialect = play::Dialect::Gadget) {
    play::Step step;
    bool has = false;
    EXPECT_EQ(play::ParseLine(line, 7, step, has, dialect), "") << line;
    return step;
}
