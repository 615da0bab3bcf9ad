# The Debian packages each purpose needs, in one place. Sourced by
# setup-tool.sh, run-sim.sh and the parts in deps.d/.

# pendant-test and pendant-test-udev-rule on Linux, and every command of the
# README's Linux steps: the compiler, CMake, make, pkg-config, libusb-1.0 and
# libudev; udevadm (udev), lsusb (usbutils) and getfacl (acl).
pendant_tool_packages=(g++ cmake make pkg-config libusb-1.0-0-dev libudev-dev udev usbutils acl)

# pendant-sim: the compiler, CMake and make, CLI11 for its options, ncurses
# for its screen.
pendant_sim_packages=(g++ cmake make libcli11-dev libncurses-dev)

# Making the Debian package: the tool's and pendant-sim's packages, and
# dpkg-shlibdeps (dpkg-dev), which computes the package's Depends.
pendant_package_packages=("${pendant_tool_packages[@]}" libcli11-dev libncurses-dev dpkg-dev)
