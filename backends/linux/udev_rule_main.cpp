// pendant-test-udev-rule [--] VID:PID [FILE]
// Writes the udev rule that lets pendant-test find and open the pendant
// VID:PID without root: to FILE, or to standard output.
//
// Status 0 on success, 1 when the rule cannot be written (with the system's
// reason), 2 for bad usage. A FILE that is a regular file (or does not exist
// yet) is replaced whole: the rule goes to a temporary file beside it, which
// is renamed over it only once it is complete, so a failed write never
// leaves half a rule for udev to read.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "backends/linux/udev_rule.h"
#include "pendant_version.h"

namespace {

constexpr char Name[] = "pendant-test-udev-rule";
constexpr int Failed = 1;
constexpr int BadUsage = 2;

void PrintUsageLine(std::FILE* to) {
    std::fprintf(to, "usage: %s [--] VID:PID [FILE]\n", Name);
}

void PrintHelp() {
    PrintUsageLine(stdout);
    std::printf("       %s -h | --help | --version\n"
                "Writes the udev rule for the pendant with USB id VID:PID (hexadecimal, as\n"
                "lsusb shows it) to FILE, or to standard output when FILE is - or missing.\n"
                "The rule lets pendant-test find the pendant and lets the user at the local\n"
                "seat open it. As root, install it as /etc/udev/rules.d/%s\n"
                "(give that as FILE), run\n"
                "  udevadm control --reload\n"
                "then unplug the pendant and plug it in again.\n",
                Name, linux_backend::RuleFileName);
}

int UsageError(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", Name, what.c_str());
    PrintUsageLine(stderr);
    std::fprintf(stderr, "Try '%s --help' for more.\n", Name);
    return BadUsage;
}

int WriteFailed(const std::string& where, int error) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", Name, where.c_str(), std::strerror(error));
    return Failed;
}

// Writes all of data to fd; 0 or the errno of the first failure.
int WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// Devices, pipes and the like are written in place; they cannot be replaced.
int WriteInPlace(const std::string& path, const std::string& data) {
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return WriteFailed(path, errno);
    int error = WriteAll(fd, data);
    if (close(fd) != 0 && error == 0)
        error = errno;
    return error == 0 ? 0 : WriteFailed(path, error);
}

int ReplaceFile(const std::string& path, const std::string& data, const struct stat* old) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // The temporary name does not end in ".rules", so udev never reads it.
    std::string temp = dir + "." + base + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return WriteFailed(path, errno);
    temp = name.data();
    // mkstemp makes the file 0600; a replaced file keeps its mode, a new
    // one gets the usual 0666 less the umask.
    mode_t mode;
    if (old) {
        mode = old->st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    int error = fchmod(fd, mode) == 0 ? 0 : errno;
    if (error == 0)
        error = WriteAll(fd, data);
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(temp.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        unlink(temp.c_str());
        return WriteFailed(path, error);
    }
    return 0;
}

int WriteRule(const std::string& path, const std::string& rule) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0)
        return S_ISREG(st.st_mode) ? ReplaceFile(path, rule, &st) : WriteInPlace(path, rule);
    if (errno != ENOENT)
        return WriteFailed(path, errno);
    return ReplaceFile(path, rule, nullptr);
}

int WriteStandardOutput(const std::string& rule) {
    if (std::fwrite(rule.data(), 1, rule.size(), stdout) != rule.size() || std::fflush(stdout) != 0)
        return WriteFailed("standard output", errno);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> operands;
    bool help = false, version = false, optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnd || arg == "-" || arg.empty() || arg[0] != '-')
            operands.push_back(arg);
        else if (arg == "--")
            optionsEnd = true;
        else if (arg == "-h" || arg == "--help")
            help = true;
        else if (arg == "--version")
            version = true;
        else
            return UsageError("unknown option '" + arg + "'");
    }
    if (help) {
        PrintHelp();
        return std::fflush(stdout) == 0 ? 0 : WriteFailed("standard output", errno);
    }
    if (version) {
        std::printf("%s\n", VersionLine(Name).c_str());
        return std::fflush(stdout) == 0 ? 0 : WriteFailed("standard output", errno);
    }
    if (operands.empty())
        return UsageError("a USB id VID:PID is needed");
    if (operands.size() > 2)
        return UsageError("too many arguments");
    const auto id = linux_backend::ParseUsbId(operands[0]);
    if (!id)
        return UsageError("'" + operands[0] + "' is not a USB id like 1234:abcd");
    if (operands.size() == 2 && operands[1].empty())
        return UsageError("FILE is empty");
    const std::string rule = linux_backend::UdevRule(linux_backend::ShippedRuleTemplate(), *id);
    if (operands.size() == 1 || operands[1] == "-")
        return WriteStandardOutput(rule);
    return WriteRule(operands[1], rule);
}
