// The simulator's hex reader and its decode commands, with any text. Hex
// that reads is written back and reads again as the same bytes; the decode
// commands end with one of their three statuses, and say why on standard
// error exactly when they refuse their input.
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "play/parse.h"
#include "protocol/hex.h"
#include "sim/decode.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::vector<std::uint8_t> bytes;
    if (play::ParseHexBytes(text, bytes).empty()) {
        for (std::size_t group : {0u, 8u}) {
            std::vector<std::uint8_t> again;
            fuzz::Check(play::ParseHexBytes(protocol::HexBytes(bytes, group), again).empty(),
                        "written-back hex does not read");
            fuzz::Check(again == bytes, "written-back hex reads as other bytes");
        }
    }

    for (int command = 0; command < 2; ++command) {
        std::ostringstream out, err;
        const bool numbered = data[0] & 1;
        const int status = command == 0 ? sim::DecodeFrameCommand(text, numbered, out, err)
                                        : sim::DecodeReportCommand(text, numbered, out, err);
        fuzz::Check(status >= 0 && status <= 2, "a status the command does not have");
        // 2: input the command does not take, said on standard error; 1: a
        // malformed frame, said beside its values.
        fuzz::Check((status == 2) == !err.str().empty(), "status and standard error disagree");
        fuzz::Check(status != 1 || out.str().find("malformed") != std::string::npos,
                    "a malformed frame not said to be one");
        fuzz::Check(status != 2 || out.str().empty(), "a refused batch printed a part of it");
    }
    return 0;
}
