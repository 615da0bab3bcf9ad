#include "support/capture.h"

#include <cstdio>
#include <stdexcept>

#include "protocol/hex.h"

#ifdef _WIN32
#include <io.h> // dup, dup2, close under their POSIX names
#else
#include <unistd.h>
#endif

// Descriptor 1 goes to an unnamed temporary file while fn runs, so output
// written by any means (printf, std::cout, a write to the descriptor) is
// caught. A failure to redirect throws: a capture that silently caught
// nothing would make every "prints nothing" check pass.
std::string CaptureStdout(const std::function<void()>& fn) {
    std::fflush(stdout);
    FILE* sink = std::tmpfile();
    if (sink == nullptr)
        throw std::runtime_error("CaptureStdout: no temporary file");
    const int saved = dup(1);
    if (saved < 0 || dup2(fileno(sink), 1) < 0) {
        std::fclose(sink);
        throw std::runtime_error("CaptureStdout: cannot redirect standard output");
    }
    struct Restore {
        int saved;
        ~Restore() {
            std::fflush(stdout);
            dup2(saved, 1);
            close(saved);
        }
    };
    {
        Restore restore{saved};
        fn();
    }
    std::string text;
    std::rewind(sink);
    for (int c = std::fgetc(sink); c != EOF; c = std::fgetc(sink))
        text += static_cast<char>(c);
    std::fclose(sink);
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
