// The USB gadget in configfs: one configuration whose one function is a
// FunctionFS instance, mounted for the program to serve; bound to a USB
// device controller (UDC) and unbound again; and all of it removed on the
// way out.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace gadget {

struct GadgetOptions {
    std::string name = "pendant"; // the gadget's and the function's name
    unsigned vid = 0x1209;        // an id reserved for testing
    unsigned pid = 0x0001;
    std::string udc; // "" for the first controller there is
};

class ConfigfsGadget {
  public:
    // configfs: where configfs is mounted (a stand-in tree in the tests).
    explicit ConfigfsGadget(std::string configfs = "/sys/kernel/config")
        : configfs_(std::move(configfs)) {}
    ConfigfsGadget(const ConfigfsGadget&) = delete;
    ConfigfsGadget& operator=(const ConfigfsGadget&) = delete;
    ~ConfigfsGadget() { Remove(); }

    // Checks what the gadget needs (root, configfs, libcomposite, a UDC,
    // usb_f_fs) and builds it, FunctionFS mounted but not bound. Returns ""
    // or what is missing and what to do about it; what was built by then is
    // left for Remove.
    std::string Create(const GadgetOptions& options);
    // Create's part in configfs, once its checks have passed: the gadget's
    // ids and strings, its one configuration and the FunctionFS function
    // linked into it, to be bound to udc. "" or what went wrong; what was
    // made by then is left for Remove.
    std::string MakeTree(const GadgetOptions& options, const std::string& udc);
    // Plugs the gadget in (binds it to the UDC) and pulls it out again.
    std::string Bind();
    std::string Unbind();
    bool Bound() const { return bound_; }
    // Unbinds and takes down all Create made, last first; "" or what could
    // not be removed. Call once the FunctionFS files are closed.
    std::string Remove();

    const std::string& FunctionFsDir() const { return mountDir_; }
    const std::string& Udc() const { return udc_; }

  private:
    enum class Undo { Rmdir, Unlink, Umount };
    std::string Make(const std::string& path);
    // "" or what went wrong; err gets the errno (0 when it went through).
    std::string Write(const std::string& file, const std::string& value, int* err = nullptr);

    std::string configfs_;
    std::string dir_;
    std::string udc_;
    std::string mountDir_;
    bool bound_ = false;
    std::vector<std::pair<Undo, std::string>> undo_;
};

} // namespace gadget
