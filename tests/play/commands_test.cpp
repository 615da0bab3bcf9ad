// The script table against what is written from it or about it: the command
// tables of docs/sim.md and docs/gadget.md, --commands, and the loader's
// refusals, the same for both programs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "play/commands.h"

namespace {

using play::Dialect;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The `...` forms of the first cell of each row of the table headed
// "| Command |", with markdown's \| read as |.
std::vector<std::string> DocForms(const std::string& markdown) {
    std::vector<std::string> forms;
    std::istringstream in(markdown);
    std::string line;
    bool inTable = false;
    while (std::getline(in, line)) {
        if (line.rfind("| Command |", 0) == 0) {
            inTable = true;
            continue;
        }
        if (!inTable)
            continue;
        if (line.rfind("|", 0) != 0)
            break;
        if (line.rfind("|---", 0) == 0)
            continue;
        std::size_t end = 1;
        while (end < line.size() && !(line[end] == '|' && line[end - 1] != '\\'))
            ++end;
        const std::string cell = line.substr(1, end - 1);
        for (std::size_t open = cell.find('`'); open != std::string::npos;) {
            const std::size_t close = cell.find('`', open + 1);
            if (close == std::string::npos)
                break;
            std::string form = cell.substr(open + 1, close - open - 1);
            for (std::size_t at = form.find("\\|"); at != std::string::npos; at = form.find("\\|"))
                form.erase(at, 1);
            forms.push_back(form);
            open = cell.find('`', close + 1);
        }
    }
    return forms;
}

// A form agrees with its command's usage when its arguments are the
// usage's, or one of the usage's alternatives (`device present` for
// "device present|absent").
bool Agrees(const std::string& form, const play::Command& command) {
    const std::string usage = command.usage;
    const std::string name = command.name;
    const std::string formArgs(play::Trim(std::string_view(form).substr(name.size())));
    const std::string usageArgs(play::Trim(std::string_view(usage).substr(name.size())));
    if (formArgs == usageArgs)
        return true;
    if (usageArgs.find(' ') != std::string::npos)
        return false;
    std::istringstream alternatives(usageArgs);
    for (std::string a; std::getline(alternatives, a, '|');)
        if (a == formArgs)
            return true;
    return false;
}

// What is wrong with a doc's command table, one line each; "" when it lists
// every command the program takes, in the table's usage, and no other.
std::string TableProblems(const std::string& markdown, Dialect dialect) {
    std::string problems;
    std::set<std::string> listed;
    for (const std::string& form : DocForms(markdown)) {
        const std::string name = form.substr(0, form.find(' '));
        const play::Command* command = play::FindCommand(name);
        if (command == nullptr || !play::Takes(*command, dialect)) {
            problems += "lists `" + form + "`, which the program does not take\n";
            continue;
        }
        if (!Agrees(form, *command))
            problems += "writes `" + form + "` where the usage is `" + command->usage + "`\n";
        listed.insert(name);
    }
    for (const play::Command& command : play::Commands())
        if (play::Takes(command, dialect) && listed.count(command.name) == 0)
            problems += std::string("leaves out `") + command.usage + "`\n";
    return problems;
}

struct Doc {
    const char* file;
    Dialect dialect;
};

class DocTable : public testing::TestWithParam<Doc> {};

TEST_P(DocTable, ListsWhatTheScriptTableSays) {
    const std::string path = std::string(PENDANT_SOURCE_DIR) + "/docs/" + GetParam().file;
    const std::string markdown = ReadFile(path);
    ASSERT_FALSE(DocForms(markdown).empty()) << path << " has no \"| Command |\" table";
    EXPECT_EQ(TableProblems(markdown, GetParam().dialect), "") << path;
}

INSTANTIATE_TEST_SUITE_P(Docs, DocTable,
                         testing::Values(Doc{"sim.md", Dialect::Sim},
                                         Doc{"gadget.md", Dialect::Gadget}),
                         [](const testing::TestParamInfo<Doc>& doc) {
                             return doc.param.dialect == Dialect::Sim ? "sim" : "gadget";
                         });

// The check itself finds a command left out, one the program refuses, and
// a usage gone stale.
TEST(DocTable, FindsWhatDisagrees) {
    const std::string table = "| Command | What |\n|---|---|\n"
                              "| `report HEX` | a stale usage |\n"
                              "| `turns N` | not the gadget's |\n";
    const std::string problems = TableProblems(table, Dialect::Gadget);
    EXPECT_NE(problems.find("writes `report HEX` where the usage is `report [--raw] HEX...`"),
              std::string::npos)
        << problems;
    EXPECT_NE(problems.find("lists `turns N`"), std::string::npos) << problems;
    EXPECT_NE(problems.find("leaves out `stats`"), std::string::npos) << problems;
}

// --commands names every command its program takes, and no other.
TEST(CommandSummary, ListsWhatEachProgramTakes) {
    for (Dialect dialect : {Dialect::Sim, Dialect::Gadget}) {
        const std::string summary = "\n" + play::CommandSummary(dialect);
        for (const play::Command& command : play::Commands()) {
            const std::string name = command.name;
            const bool shown = summary.find("\n" + name + " ") != std::string::npos ||
                               summary.find("\n" + name + "\n") != std::string::npos ||
                               summary.find("/ " + name + " ") != std::string::npos;
            EXPECT_EQ(shown, play::Takes(command, dialect)) << name << " in\n" << summary;
        }
    }
}

TEST(CommandTable, HasOneRowPerStep) {
    std::set<play::Op> ops;
    std::set<std::string> names;
    for (const play::Command& command : play::Commands()) {
        EXPECT_TRUE(ops.insert(command.op).second) << command.name;
        EXPECT_TRUE(names.insert(command.name).second) << command.name;
        EXPECT_EQ(std::string(command.usage).rfind(command.name, 0), 0u) << command.usage;
        EXPECT_TRUE(play::Takes(command, Dialect::Sim) || play::Takes(command, Dialect::Gadget))
            << command.name;
    }
    EXPECT_EQ(ops.size(), static_cast<std::size_t>(play::Op::Stats) + 1);
}

// Both programs load their script files through one loader: a directory
// would read as an empty script that does nothing.
TEST(LoadScript, RefusesWhatIsNoScriptAlike) {
    const std::string dir = testing::TempDir();
    const std::string missing = dir + "/no-such.script";
    for (Dialect dialect : {Dialect::Sim, Dialect::Gadget}) {
        play::Script script;
        std::string problem;
        EXPECT_FALSE(play::LoadScript(dir, dialect, script, problem));
        EXPECT_EQ(problem, "cannot read script " + dir + ": it is a directory");
        EXPECT_FALSE(play::LoadScript(missing, dialect, script, problem));
        EXPECT_EQ(problem, "cannot read script " + missing + ": No such file or directory");
    }
    const std::string file = dir + "/gadget.script";
    std::ofstream(file) << "report 04 00 00 11 01 00 00 00\nturns 1\n";
    play::Script script;
    std::string problem;
    EXPECT_FALSE(play::LoadScript(file, Dialect::Gadget, script, problem));
    EXPECT_EQ(problem.rfind(file + ":2: \"turns\" is not for pendant-gadget", 0), 0u) << problem;
    EXPECT_TRUE(play::LoadScript(file, Dialect::Sim, script, problem)) << problem;
    EXPECT_EQ(script.steps.size(), 2u);
    std::filesystem::remove(file);
}

} // namespace
