// The world of hid_contract_virtual: the virtual pendant bound to the
// system's HID driver (listed under the HID class, not its own GUID), set
// once before the tests, which leave it as they found it.
#include <gtest/gtest.h>

#include "backends/virtual/virtual_pendant.h"

namespace {
struct HidWorld : ::testing::Environment {
    void SetUp() override {
        virtual_pendant::Reset();
        virtual_pendant::SetDevice(virtual_pendant::HidBoundDevice());
    }
};
const auto* const world = ::testing::AddGlobalTestEnvironment(new HidWorld);
} // namespace
