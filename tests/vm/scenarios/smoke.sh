# The harness itself: the gadget pendant enumerates on the host side of
# dummy_hcd and the kernel's HID driver takes its interface.
scenario_main() {
    vm_check gadget-ready gadget_create 0xfff0 0x0001
    vm_check gadget-enumerated gadget_bind
    local dev
    dev=$(gadget_host_dir)
    vm_check hid-driver-bound vm_wait 10 test -e "$dev:1.0/driver"
    ls -l "$dev:1.0/driver" /dev/bus/usb/*/*
    vm_show gadget-log "$GADGET_LOG"
}
