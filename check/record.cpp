#include "check/record.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "pendant_version.h"

const char* ResultWord(StepResult result) {
    switch (result) {
    case StepResult::Pass:
        return "PASS";
    case StepResult::Fail:
        return "FAIL";
    case StepResult::Skipped:
        return "SKIPPED";
    case StepResult::NotRun:
        break;
    }
    return "NOT RUN";
}

Figure Number(const char* name, double value) {
    // JSON has no NaN or infinity; a figure that cannot be measured is null.
    if (!std::isfinite(value))
        return {name, "null"};
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return {name, text};
}

Figure Integer(const char* name, long long value) {
    return {name, std::to_string(value)};
}

Figure Text(const char* name, const std::string& value) {
    return {name, JsonString(value)};
}

Figure Flag(const char* name, bool value) {
    return {name, value ? "true" : "false"};
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c; // UTF-8 passes as it is
        }
    }
    return out + "\"";
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    // The check's one thread that asks for the time: std::gmtime's shared
    // result is safe here.
    const std::tm* utc = std::gmtime(&now);
    char text[32] = "1970-01-01T00:00:00Z";
    if (utc != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    return text;
}

namespace {
std::string Object(const std::vector<Figure>& figures, const char* indent) {
    if (figures.empty())
        return "{}";
    std::string out = "{";
    for (std::size_t i = 0; i < figures.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += indent;
        out += "  " + JsonString(figures[i].name) + ": " + figures[i].json;
    }
    return out + "\n" + indent + "}";
}
} // namespace

std::string RecordJson(const CheckRecord& r) {
    std::string out = "{\n";
    out += "  \"tool\": \"pendant-test\",\n";
    out += "  \"version\": " + JsonString(PendantVersion) + ",\n";
    out += "  \"started\": " + JsonString(r.started) + ",\n";
    out += "  \"ended\": " + JsonString(r.ended) + ",\n";
    out += "  \"stepTimeoutSeconds\": " + std::to_string(r.stepTimeoutSeconds) + ",\n";
    out += std::string("  \"person\": ") + (r.person ? "true" : "false") + ",\n";
    out += "  \"pendant\": ";
    if (r.opened) {
        std::vector<Figure> pendant = {Text("devicePath", r.devicePath)};
        pendant.insert(pendant.end(), r.pendant.begin(), r.pendant.end());
        out += Object(pendant, "  ");
    } else {
        out += "null";
    }
    out += ",\n  \"steps\": [";
    for (std::size_t i = 0; i < r.steps.size(); ++i) {
        const CheckStep& s = r.steps[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {\n";
        out += "      \"name\": " + JsonString(s.key) + ",\n";
        out += "      \"title\": " + JsonString(s.title) + ",\n";
        out += "      \"result\": " + JsonString(ResultWord(s.result)) + ",\n";
        out += "      \"why\": " + JsonString(s.why) + ",\n";
        out += "      \"figures\": " + Object(s.figures, "      ");
        if (!s.rules.empty()) {
            out += ",\n      \"rules\": [";
            for (std::size_t k = 0; k < s.rules.size(); ++k) {
                const CheckRule& rule = s.rules[k];
                out += k == 0 ? "\n" : ",\n";
                out += "        {\"name\": " + JsonString(rule.key) +
                       ", \"title\": " + JsonString(rule.title) +
                       ", \"result\": " + JsonString(ResultWord(rule.result)) +
                       ", \"why\": " + JsonString(rule.why) + "}";
            }
            out += "\n      ]";
        }
        out += "\n    }";
    }
    out += r.steps.empty() ? "],\n" : "\n  ],\n";
    out += "  \"verdict\": " + JsonString(r.verdict) + ",\n";
    out += "  \"exitStatus\": " + std::to_string(r.exitStatus) + "\n";
    return out + "}\n";
}
