// The check's results as data: what each step found and how it was judged,
// printed as the summary and written as the JSON record.
#pragma once

#include <string>
#include <vector>

enum class StepResult { NotRun, Pass, Fail, Skipped };
const char* ResultWord(StepResult result); // "PASS", "FAIL", "SKIPPED", "NOT RUN"

// A figure of a step: its name and its value as a JSON literal.
struct Figure {
    std::string name;
    std::string json;
};
Figure Number(const char* name, double value);
Figure Integer(const char* name, long long value);
Figure Text(const char* name, const std::string& value);
Figure Flag(const char* name, bool value);

// A rule of a step that judges several (the USB and HID rules).
struct CheckRule {
    const char* key = "";   // "device-descriptor", ... (the record's name)
    const char* title = ""; // "Device descriptor", ... (the console's)
    StepResult result = StepResult::NotRun;
    std::string why; // for FAIL and SKIPPED
};

struct CheckStep {
    const char* key = "";   // "connection", ... (the record's name)
    const char* title = ""; // "Connection", ... (the console's)
    StepResult result = StepResult::NotRun;
    std::string why; // for FAIL and SKIPPED
    std::vector<Figure> figures;
    std::vector<CheckRule> rules; // its rules, for a step that has them
};

struct CheckRecord {
    std::string started; // UTC, ISO 8601
    std::string ended;
    unsigned stepTimeoutSeconds = 0;
    bool person = true;
    bool opened = false;
    std::string devicePath;
    std::vector<Figure> pendant; // ids and survey figures
    std::vector<CheckStep> steps;
    std::string verdict; // "PASS", "FAIL", "NOT OPENED", "INTERRUPTED"
    int exitStatus = 0;
};

// The time now as the record writes it, e.g. "2026-12-09T23:10:04Z".
std::string UtcNow();
// The record as a JSON document (its schema is in docs/check.md).
std::string RecordJson(const CheckRecord& record);
// A string as a JSON literal, quotes and escapes included.
std::string JsonString(const std::string& text);
