// pendant-gadget's gadget in configfs, made in a stand-in for configfs
// (tests/gadget/kernel_standin.h): the files and values it writes, binding
// and unbinding, what it says when it cannot, and what it leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "gadget/configfs.h"
#include "tests/gadget/kernel_standin.h"

namespace {

using Names = std::vector<std::string>;

TEST(GadgetConfigfs, MakesTheGadgetBindsItAndTakesItDown) {
    standin::Configfs configfs;
    gadget::ConfigfsGadget usb(configfs.Root());
    gadget::GadgetOptions options;
    options.name = "bench";
    options.vid = 0x1234;
    options.pid = 0xabcd;
    ASSERT_EQ(usb.MakeTree(options, "dummy_udc.0"), "");
    const std::string g = configfs.Gadgets() + "/bench/";
    const std::pair<const char*, const char*> attributes[] = {
        {"idVendor", "0x1234"},
        {"idProduct", "0xabcd"},
        {"bcdUSB", "0x0200"},
        {"bcdDevice", "0x0100"},
        {"strings/0x409/manufacturer", "pendant-test"},
        {"strings/0x409/product", "pendant-gadget"},
        {"strings/0x409/serialnumber", "0001"},
        {"configs/c.1/strings/0x409/configuration", "pendant"},
        {"configs/c.1/MaxPower", "100"},
    };
    for (const auto& [file, value] : attributes)
        EXPECT_EQ(configfs.Read(g + file), value) << file;
    EXPECT_TRUE(std::filesystem::is_directory(g + "functions/ffs.bench"));
    EXPECT_EQ(std::filesystem::read_symlink(g + "configs/c.1/ffs.bench"),
              g + "functions/ffs.bench");

    EXPECT_EQ(usb.Bind(), "");
    EXPECT_TRUE(usb.Bound());
    EXPECT_EQ(configfs.Read(g + "UDC"), "dummy_udc.0");
    EXPECT_EQ(usb.Unbind(), "");
    EXPECT_EQ(configfs.Read(g + "UDC"), "\n");
    EXPECT_EQ(usb.Remove(), "");
    EXPECT_EQ(configfs.Tree(), Names{"usb_gadget"});
}

TEST(GadgetConfigfs, SaysWhyItCannotAndLeavesNothingHalfMade) {
    const struct {
        const char* what;
        bool noFunctionFs;
        std::function<void(const standin::Configfs&)> before;
        std::string says; // the start of the message
        Names left;       // in the tree after Remove
    } cases[] = {
        {"no usb_gadget",
         false,
         [](const standin::Configfs& c) { std::filesystem::remove(c.Gadgets()); },
         "cannot make ROOT/usb_gadget/pendant: No such file or directory",
         {}},
        {"another gadget of that name",
         false,
         [](const standin::Configfs& c) {
             std::filesystem::create_directory(c.Gadgets() + "/pendant");
         },
         "a gadget named pendant exists already (ROOT/usb_gadget/pendant)",
         {"usb_gadget", "usb_gadget/pendant"}},
        {"no FunctionFS in the kernel",
         true,
         [](const standin::Configfs&) {},
         "the kernel has no FunctionFS gadget function: modprobe usb_f_fs",
         {"usb_gadget"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        standin::Configfs configfs(c.noFunctionFs);
        c.before(configfs);
        gadget::ConfigfsGadget usb(configfs.Root());
        std::string says = usb.MakeTree({}, "dummy_udc.0");
        if (const auto at = says.find(configfs.Root()); at != std::string::npos)
            says.replace(at, configfs.Root().size(), "ROOT");
        EXPECT_EQ(says.substr(0, c.says.size()), c.says);
        EXPECT_EQ(usb.Remove(), "");
        EXPECT_EQ(configfs.Tree(), c.left);
    }
}

} // namespace
