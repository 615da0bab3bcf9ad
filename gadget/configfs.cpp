#include "gadget/configfs.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>

namespace gadget {

namespace {

constexpr const char* UdcClass = "/sys/class/udc";
constexpr const char* MountRoot = "/run/pendant-gadget";

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ConfigfsMounted(const std::string& root) {
    std::ifstream mounts("/proc/self/mounts");
    std::string device, point, type, rest;
    while (mounts >> device >> point >> type && std::getline(mounts, rest))
        if (point == root && type == "configfs")
            return true;
    return false;
}

std::vector<std::string> Controllers() {
    std::vector<std::string> names;
    DIR* d = opendir(UdcClass);
    if (d == nullptr)
        return names;
    while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.')
            names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string s;
    for (const std::string& n : names)
        s += (s.empty() ? "" : ", ") + n;
    return s;
}

std::string Hex4(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "0x%04x", v & 0xFFFF);
    return b;
}

} // namespace

std::string ConfigfsGadget::Make(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0)
        return std::strerror(errno);
    undo_.emplace_back(Undo::Rmdir, path);
    return "";
}

std::string ConfigfsGadget::Write(const std::string& file, const std::string& value, int* err) {
    int e = 0;
    FILE* f = std::fopen(file.c_str(), "w");
    if (f == nullptr) {
        e = errno;
    } else {
        // configfs takes the value in one write; its answer comes with the
        // flush.
        if (std::fputs(value.c_str(), f) < 0 || std::fflush(f) != 0)
            e = errno;
        std::fclose(f);
    }
    if (err != nullptr)
        *err = e;
    return e == 0 ? "" : "cannot write " + file + ": " + std::strerror(e);
}

std::string ConfigfsGadget::Create(const GadgetOptions& o) {
    if (geteuid() != 0)
        return "it must run as root: the USB gadget (configfs) and FunctionFS belong to root";
    if (!ConfigfsMounted(configfs_))
        return "configfs is not mounted on " + configfs_ + ": mount -t configfs none " + configfs_;
    const std::string gadgets = configfs_ + "/usb_gadget";
    if (!IsDirectory(gadgets))
        return "the kernel's USB gadget support is not loaded (no " + gadgets +
               "): modprobe libcomposite";
    const std::vector<std::string> udcs = Controllers();
    if (udcs.empty())
        return std::string("there is no USB device controller (") + UdcClass +
               " is empty): the machine needs a port that works in device mode with its "
               "controller's driver loaded, or modprobe dummy_hcd to try it on this machine alone";
    if (!o.udc.empty() && std::find(udcs.begin(), udcs.end(), o.udc) == udcs.end())
        return "there is no USB device controller named " + o.udc + "; there is " + Joined(udcs);
    std::string problem = MakeTree(o, o.udc.empty() ? udcs.front() : o.udc);
    if (!problem.empty())
        return problem;

    if (mkdir(MountRoot, 0755) == 0)
        undo_.emplace_back(Undo::Rmdir, MountRoot);
    else if (errno != EEXIST)
        return std::string("cannot make ") + MountRoot + ": " + std::strerror(errno);
    mountDir_ = std::string(MountRoot) + "/" + o.name;
    problem = Make(mountDir_);
    if (!problem.empty())
        return "cannot make " + mountDir_ + ": " + problem;
    if (mount(o.name.c_str(), mountDir_.c_str(), "functionfs", 0, nullptr) != 0)
        return "cannot mount FunctionFS " + o.name + " on " + mountDir_ + ": " +
               std::strerror(errno);
    undo_.emplace_back(Undo::Umount, mountDir_);
    return "";
}

std::string ConfigfsGadget::MakeTree(const GadgetOptions& o, const std::string& udc) {
    udc_ = udc;
    dir_ = configfs_ + "/usb_gadget/" + o.name;
    if (IsDirectory(dir_))
        return "a gadget named " + o.name + " exists already (" + dir_ +
               "): another pendant-gadget is running, or one was killed before it could remove "
               "it (docs/gadget.md says how); or choose another --name";
    const std::string function = dir_ + "/functions/ffs." + o.name;
    const std::string config = dir_ + "/configs/c.1";
    std::string problem = Make(dir_);
    if (!problem.empty())
        return "cannot make " + dir_ + ": " + problem;
    // Each line: a directory to make, or an attribute and its value.
    const std::pair<std::string, std::string> steps[] = {
        {dir_ + "/idVendor", Hex4(o.vid)},
        {dir_ + "/idProduct", Hex4(o.pid)},
        {dir_ + "/bcdUSB", "0x0200"},
        {dir_ + "/bcdDevice", "0x0100"},
        {dir_ + "/strings/0x409", ""},
        {dir_ + "/strings/0x409/manufacturer", "pendant-test"},
        {dir_ + "/strings/0x409/product", "pendant-gadget"},
        {dir_ + "/strings/0x409/serialnumber", "0001"},
        {config, ""},
        {config + "/strings/0x409", ""},
        {config + "/strings/0x409/configuration", "pendant"},
        {config + "/MaxPower", "100"},
    };
    for (const auto& [path, value] : steps) {
        if (value.empty()) {
            problem = Make(path);
            if (!problem.empty())
                return "cannot make " + path + ": " + problem;
        } else if (!(problem = Write(path, value)).empty()) {
            return problem;
        }
    }
    if (mkdir(function.c_str(), 0755) != 0) {
        if (errno == ENOENT)
            return "the kernel has no FunctionFS gadget function: modprobe usb_f_fs";
        return "cannot make " + function + ": " + std::strerror(errno);
    }
    undo_.emplace_back(Undo::Rmdir, function);
    const std::string link = config + "/ffs." + o.name;
    if (symlink(function.c_str(), link.c_str()) != 0)
        return "cannot link " + function + " into " + config + ": " + std::strerror(errno);
    undo_.emplace_back(Undo::Unlink, link);
    return "";
}

std::string ConfigfsGadget::Bind() {
    if (bound_)
        return "";
    int err = 0;
    const std::string problem = Write(dir_ + "/UDC", udc_, &err);
    if (problem.empty()) {
        bound_ = true;
        return "";
    }
    if (err == EBUSY)
        return "the USB device controller " + udc_ +
               " is busy: another gadget is bound to it (the UDC files under " + configfs_ +
               "/usb_gadget say which)";
    return problem;
}

std::string ConfigfsGadget::Unbind() {
    if (!bound_)
        return "";
    const std::string problem = Write(dir_ + "/UDC", "\n");
    if (problem.empty())
        bound_ = false;
    return problem;
}

std::string ConfigfsGadget::Remove() {
    std::string problems = Unbind();
    while (!undo_.empty()) {
        const auto [what, path] = undo_.back();
        undo_.pop_back();
        int r = 0;
        switch (what) {
        case Undo::Rmdir:
            // A shared parent that another gadget still uses stays.
            r = rmdir(path.c_str());
            if (r != 0 && path == MountRoot && errno == ENOTEMPTY)
                r = 0;
            break;
        case Undo::Unlink:
            r = unlink(path.c_str());
            break;
        case Undo::Umount:
            r = umount(path.c_str());
            break;
        }
        if (r != 0)
            problems += (problems.empty() ? "" : "; ") + ("cannot remove " + path + ": ") +
                        std::strerror(errno);
    }
    return problems;
}

} // namespace gadget
