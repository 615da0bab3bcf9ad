#include "check/scripted_person.h"

CheckPerson ScriptedPerson::Person(Act act) {
    CheckPerson person;
    person.takeLine = [this](std::string& line) {
        if (lines_.empty())
            return false;
        line = std::move(lines_.front());
        lines_.pop_front();
        return true;
    };
    person.beforeTurn = std::move(act);
    return person;
}
