// The key map both interactive screens share: what each key does to the
// screen, and what it hands back for the program to do.
#include <gtest/gtest.h>

#include <curses.h>

#include <functional>
#include <string>
#include <vector>

#include "play/keys.h"

namespace {

using play::Dialect;
using play::KeyDo;

constexpr int Enter = '\n';
constexpr int Escape = 27;

std::vector<int> Typed(const std::string& text) {
    std::vector<int> keys(text.begin(), text.end());
    keys.push_back(Enter);
    return keys;
}

struct Case {
    const char* name;
    Dialect dialect;
    std::vector<int> keys; // the last one's result is checked
    KeyDo what;
    std::function<void(const play::Screen&, const play::KeyResult&)> check;
};

TEST(Keys, EachKeyDoesWhatTheScreenSays) {
    std::vector<Case> cases = {
        {"axis 2",
         Dialect::Sim,
         {'2'},
         KeyDo::Nothing,
         [](const play::Screen& s, const play::KeyResult&) {
             EXPECT_EQ(s.axis, 2);
             EXPECT_EQ(s.message, "Axis 2 selected: the wheel moves its set 2 value.");
         }},
        {"axis off",
         Dialect::Gadget,
         {'3', 'n'},
         KeyDo::Nothing,
         [](const play::Screen& s, const play::KeyResult&) { EXPECT_EQ(s.axis, 0); }},
        {"one count",
         Dialect::Sim,
         {KEY_RIGHT},
         KeyDo::Wheel,
         [](const play::Screen&, const play::KeyResult& r) { EXPECT_EQ(r.counts, 1); }},
        {"one back",
         Dialect::Gadget,
         {'-'},
         KeyDo::Wheel,
         [](const play::Screen&, const play::KeyResult& r) { EXPECT_EQ(r.counts, -1); }},
        {"big step",
         Dialect::Sim,
         {KEY_UP},
         KeyDo::Wheel,
         [](const play::Screen&, const play::KeyResult& r) { EXPECT_EQ(r.counts, 10); }},
        {"new big step back",
         Dialect::Gadget,
         {'s', '5', Enter, KEY_NPAGE},
         KeyDo::Wheel,
         [](const play::Screen& s, const play::KeyResult& r) {
             EXPECT_EQ(s.bigStep, 5);
             EXPECT_EQ(r.counts, -5);
         }},
        {"big step out of range",
         Dialect::Sim,
         {'s', '3', '2', Enter},
         KeyDo::Nothing,
         [](const play::Screen& s, const play::KeyResult&) {
             EXPECT_EQ(s.bigStep, 10);
             EXPECT_EQ(s.message, "The wheel sends 1 to 31 counts at a time; big step stays 10.");
         }},
        {"typing, backspace, cancel",
         Dialect::Sim,
         {':', 'x', 'y', KEY_BACKSPACE},
         KeyDo::Nothing,
         [](const play::Screen& s, const play::KeyResult&) {
             EXPECT_TRUE(s.editing);
             EXPECT_EQ(s.editText, "x");
         }},
        {"escape cancels",
         Dialect::Sim,
         {':', 'q', Escape},
         KeyDo::Nothing,
         [](const play::Screen& s, const play::KeyResult&) {
             EXPECT_FALSE(s.editing);
             EXPECT_EQ(s.message, "Cancelled.");
         }},
        {"quit", Dialect::Gadget, {'q'}, KeyDo::Quit, nullptr},
        {"unplug", Dialect::Gadget, {'u'}, KeyDo::Unplug, nullptr},
        {"replug", Dialect::Sim, {'r'}, KeyDo::Replug, nullptr},
        {"resize", Dialect::Sim, {KEY_RESIZE}, KeyDo::Redraw, nullptr},
    };
    const auto command = [](const char* name, Dialect d, const char* text, KeyDo what,
                            std::function<void(const play::Screen&, const play::KeyResult&)> f) {
        std::vector<int> keys = Typed(text);
        keys.insert(keys.begin(), ':');
        return Case{name, d, keys, what, std::move(f)};
    };
    cases.push_back(command("a setter", Dialect::Sim, "set1 1 1.5", KeyDo::Command,
                            [](const play::Screen&, const play::KeyResult& r) {
                                EXPECT_EQ(r.step.op, play::Op::Set1);
                                EXPECT_EQ(r.text, "set1 1 1.5");
                            }));
    cases.push_back(command(
        "a report", Dialect::Gadget, "report 04 00 00 11 01 00", KeyDo::Command,
        [](const play::Screen&, const play::KeyResult& r) { EXPECT_EQ(r.step.bytes.size(), 6U); }));
    cases.push_back(command("unplug typed", Dialect::Gadget, "unplug", KeyDo::Unplug, nullptr));
    cases.push_back(command("not the gadget's", Dialect::Gadget, "set1 1 1.5", KeyDo::Nothing,
                            [](const play::Screen& s, const play::KeyResult&) {
                                EXPECT_EQ(s.message.rfind("Error: \"set1\" is not for "
                                                          "pendant-gadget",
                                                          0),
                                          0U)
                                    << s.message;
                            }));
    cases.push_back(command("turns is for scripts", Dialect::Sim, "turns 2", KeyDo::Nothing,
                            [](const play::Screen& s, const play::KeyResult&) {
                                EXPECT_EQ(s.message, "That is for scripts: here the tool is "
                                                     "open and turning already.");
                            }));
    cases.push_back(command("an answer is for the check", Dialect::Sim, "answer y", KeyDo::Nothing,
                            [](const play::Screen& s, const play::KeyResult&) {
                                EXPECT_EQ(s.message, "That is for pendant-sim --check scripts: "
                                                     "here no check asks anything.");
                            }));
    cases.push_back(command("waits are for scripts", Dialect::Gadget, "wait-frames 2",
                            KeyDo::Nothing, [](const play::Screen& s, const play::KeyResult&) {
                                EXPECT_EQ(s.message,
                                          "That is for scripts: here it would freeze the screen.");
                            }));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        play::Screen screen;
        play::KeyResult last;
        for (int key : c.keys)
            last = play::HandleKey(key, screen, c.dialect);
        EXPECT_EQ(last.what, c.what);
        if (c.check)
            c.check(screen, last);
    }
}

TEST(Keys, TheWheelMessageNamesTheAxis) {
    EXPECT_EQ(play::WheelMessage(3, 2), "Wheel +3 on axis 2.");
    EXPECT_EQ(play::WheelMessage(-10, 0), "Wheel -10 with no axis selected.");
}

} // namespace
