# shellcheck shell=dash disable=SC2034,SC2154 # sourced by guest/lib.sh, sharing its variables
# Two judges of report descriptors, on the rows of one table
# (tests/support/host_rules_descriptors.txt, which the unit tests judge
# too): the kernel's HID core, given each descriptor through the kernel's
# own HID gadget function, and the check's judge (pendant-descriptor-rules).
# Where the table says the kernel accepts a descriptor, the interface gets a
# hidraw node and the check passes it; where it says the kernel refuses
# one, there is no hidraw node, the kernel says why in its log (its words
# are the check's name and a figure), and the check's finding names the
# fault as the table's CHECK column does.

TABLE=/vm/host_rules_descriptors.txt

# trim TEXT: without leading and trailing blanks.
trim() { echo "$1" | sed 's/^[[:space:]]*//; s/[[:space:]]*$//'; }

# kernel_log: the kernel's log since the row began, without times.
kernel_log() { dmesg | sed 's/^\[[^]]*\] *//'; }

# hid_refused: the kernel's log says a HID driver's probe failed.
hid_refused() { kernel_log | grep -q 'probe of .* failed with error'; }

# hid_decided IFACE: the kernel has taken or refused the descriptor.
hid_decided() { [ -n "$(hidraw_of "$1")" ] || hid_refused; }

# kernel_words: what the HID core said of the descriptor, without the
# device's name: the lines of the HID drivers, one after the other.
kernel_words() {
    kernel_log | grep -E '^(usbhid|hid-generic)[ :]' |
        sed 's/^[^ ]* [^ ]*: //; s/^[^ ]*: //' | tr '\n' ';' | sed 's/;$//; s/;/; /g'
}

# judge_row CHECK KERNEL WHAT HEX
judge_row() {
    local want="$1" kernel="$2" what="$3" hex="$4" iface hidraw seen words finding status
    # shellcheck disable=SC2086 # one word per byte
    write_bytes /tmp/row.desc $hex
    dmesg -c >/dev/null
    if ! khid_create /tmp/row.desc; then
        vm_fail "$what: the kernel's HID gadget function takes it" "$(kernel_log | tail -n 5)"
        khid_remove
        return
    fi
    iface="$(usb_host_dir "$KHID_IDS"):1.0"
    vm_wait 15 hid_decided "$iface"
    udevadm settle --timeout=30
    hidraw=$(hidraw_of "$iface")
    words=$(kernel_words)
    if [ -n "$hidraw" ] && ! hid_refused; then
        seen=accepts
    elif [ -z "$hidraw" ] && hid_refused; then
        seen=refuses
    else
        seen="neither accepts nor refuses (hidraw: ${hidraw:-none})"
    fi
    vm_figure "kernel-hid-core: $what: $seen${words:+: $words}"
    vm_check "$what: the kernel's HID core $kernel it${words:+ (\"$words\")}" \
        test "$seen" = "$kernel"
    # shellcheck disable=SC2086 # one word per byte
    finding=$(pendant-descriptor-rules $hex)
    status=$?
    if [ "$want" = pass ]; then
        vm_check "$what: the check passes it" test "$status" -eq 0 -a "$finding" = PASS
    else
        vm_check "$what: the check finds \"$want\" (\"$finding\")" sh -c \
            "[ $status -eq 1 ] && echo \"\$1\" | grep -qF -- \"\$2\"" - "$finding" "$want"
    fi
    khid_remove
    # Gone from the host before the next row plugs in the same ids.
    vm_wait 10 sh -c "! test -e '${iface%:*}'"
}

scenario_main() {
    local check kernel what hex rows=0
    if [ ! -r "$TABLE" ]; then
        vm_fail "the table" "no $TABLE in the guest"
        return
    fi
    while IFS='|' read -r check kernel what hex <&9; do
        case "$check" in '' | '#'*) continue ;; esac
        kernel=$(trim "$kernel")
        case "$kernel" in accepts | refuses) ;; *) continue ;; esac
        rows=$((rows + 1))
        judge_row "$(trim "$check")" "$kernel" "$(trim "$what")" "$(trim "$hex")"
    done 9<"$TABLE"
    vm_figure descriptor-judges-rows "$rows"
    vm_check "the table's rows for the kernel: at least 15 ($rows)" test "$rows" -ge 15
}
