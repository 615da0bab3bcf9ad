#include "support/capture.h"

#include <stdexcept>

#include "capture/tool_output.h"
#include "protocol/hex.h"

// capture::ToolOutput catches output written by any means (printf,
// std::cout, a write to the descriptor). A failure to catch it throws: a
// capture that silently caught nothing would make every "prints nothing"
// check pass.
std::string CaptureStdout(const std::function<void()>& fn) {
    std::string text;
    {
        capture::ToolOutput output;
        if (!output.Problem().empty())
            throw std::runtime_error("CaptureStdout: " + output.Problem());
        fn();
        text = output.Take();
        if (!output.Lost().empty())
            throw std::runtime_error("CaptureStdout: " + output.Lost());
    }
#ifdef _WIN32
    std::string lf;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lf += text[i];
    text = lf;
#endif
    return text;
}

std::string Hex(std::span<const std::uint8_t> bytes, std::size_t group) {
    return protocol::HexBytes(bytes, group);
}
