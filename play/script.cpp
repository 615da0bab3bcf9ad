#include "play/script.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "play/commands.h"
#include "play/parse.h"

namespace play {

namespace {

const char* ProgramOf(Dialect dialect) {
    return dialect == Dialect::Sim ? "pendant-sim" : "pendant-gadget";
}

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A comment starts with # at the start of the line or after a blank, so that
// device paths (which hold # between words) stay whole.
std::string_view StripComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || Blank(line[i - 1])))
            return line.substr(0, i);
    return line;
}

std::vector<std::string> Words(std::string_view s) {
    std::vector<std::string> words;
    for (std::string_view token : Tokens(s, Blank))
        words.emplace_back(token);
    return words;
}

std::string NameOf(Op op) {
    for (const Command& c : Commands())
        if (c.op == op)
            return c.name;
    return "?";
}

} // namespace

bool IsSetup(Op op) {
    return op == Op::Device || op == Op::Path || op == Op::Descriptor || op == Op::Interface ||
           op == Op::Pipes || op == Op::ReportSize || op == Op::ReportDescriptor ||
           op == Op::HidLength || op == Op::Speed || op == Op::Unanswered;
}

bool IsPersonStep(Op op) {
    return op == Op::Await || op == Op::Answer;
}

std::string ReportSizeProblem(const Step& step, std::size_t reportBytes) {
    if (step.op != Op::Report || step.raw || reportBytes == 0 || step.bytes.size() == reportBytes)
        return "";
    return "report of " + std::to_string(step.bytes.size()) +
           " bytes, but the pendant's input report is " + std::to_string(reportBytes) +
           " (its report descriptor says so, and HID hosts drop reports of another size); "
           "give " +
           std::to_string(reportBytes) + " bytes, or send it as it is with report --raw";
}

std::vector<std::uint8_t> WheelBytes(int axis, int count) {
    const auto report = WheelReport(axis, count);
    return {report.begin(), report.end()};
}

std::string ParseLine(std::string_view line, int lineNo, Step& step, bool& has, Dialect dialect) {
    has = false;
    const std::string_view text = Trim(StripComment(line));
    if (text.empty())
        return "";
    std::size_t nameEnd = 0;
    while (nameEnd < text.size() && !Blank(text[nameEnd]))
        ++nameEnd;
    const std::string name(text.substr(0, nameEnd));
    const std::string_view restOfLine = text.substr(nameEnd);
    const std::vector<std::string> args = Words(restOfLine);

    const Command* command = FindCommand(name);
    if (command == nullptr)
        return "unknown command " + Quoted(name) + " (" + ProgramOf(dialect) +
               " --commands lists them)";
    if (!Takes(*command, dialect))
        return Quoted(name) + " is not for " + ProgramOf(dialect) + ": " + command->elsewhere;

    step = Step{};
    step.line = lineNo;
    step.op = command->op;
    const std::size_t wanted = command->words;
    if (wanted != AnyWords && args.size() != wanted)
        return name + " takes " + std::to_string(wanted) + " argument" + (wanted == 1 ? "" : "s") +
               ", got " + std::to_string(args.size()) + "; usage: " + command->usage;
    const std::string problem = command->parse(restOfLine, args, step);
    if (!problem.empty())
        return problem + "; usage: " + command->usage;
    has = true;
    return "";
}

bool ParseScript(std::istream& in, Script& script, ScriptError& error, Dialect dialect,
                 std::size_t reportBytes) {
    script.steps.clear();
    std::string line;
    int lineNo = 0;
    int firstRun = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        Step step;
        bool has = false;
        const std::string problem = ParseLine(line, lineNo, step, has, dialect);
        if (!problem.empty()) {
            error = {lineNo, problem};
            return false;
        }
        if (!has)
            continue;
        if (IsSetup(step.op) && firstRun != 0) {
            error = {lineNo, Quoted(NameOf(step.op)) +
                                 " describes the device, so it must come before line " +
                                 std::to_string(firstRun) + ", where the tool starts"};
            return false;
        }
        if (step.op == Op::ReportSize)
            reportBytes = step.count;
        if (const std::string wrong = ReportSizeProblem(step, reportBytes); !wrong.empty()) {
            error = {lineNo, wrong};
            return false;
        }
        if (!IsSetup(step.op) && step.op != Op::Fail && firstRun == 0)
            firstRun = lineNo;
        script.steps.push_back(std::move(step));
    }
    return true;
}

bool LoadScript(const std::string& name, Dialect dialect, Script& script, std::string& problem,
                std::size_t reportBytes) {
    if (name == "-") {
        ScriptError error;
        if (ParseScript(std::cin, script, error, dialect, reportBytes))
            return true;
        problem = "<stdin>:" + std::to_string(error.line) + ": " + error.message;
        return false;
    }
    // A directory opens like a file and reads as empty: it would pass for a
    // script that does nothing.
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec)) {
        problem = "cannot read script " + name + ": it is a directory";
        return false;
    }
    std::ifstream file(name);
    if (!file) {
        problem = "cannot read script " + name + ": " + std::strerror(errno);
        return false;
    }
    ScriptError error;
    if (ParseScript(file, script, error, dialect, reportBytes))
        return true;
    problem = name + ":" + std::to_string(error.line) + ": " + error.message;
    return false;
}

} // namespace play
