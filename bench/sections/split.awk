# Instructions per operation, split by where they run, from two
# callgrind_annotate --inclusive=no listings of the same operation run n1 and
# n2 times: (count at n2 - count at n1) / (n2 - n1) per function, so one-off
# costs cancel. Prints: total core clib backend harness (per operation).
#   awk -v n1=N1 -v n2=N2 -f split.awk listing-n1 listing-n2
function classify(file, fn, obj) {
    if (fn ~ /^main$/ || fn ~ /^\(below main\)$/ || fn ~ /^__libc_start_main/ ||
        (fn ~ /^0x[0-9a-f]+$/ && obj ~ /ld-linux/))
        return "" # the call chain above the measured function, listed with its cost
    if (file ~ /(^|\/)backends\/null\//)
        return "backend"
    if (file ~ /(^|\/)bench\//)
        return "harness"
    if (obj ~ /\/lib(c|m)\.so|ld-linux/ || file ~ /^\.\//)
        return "clib"
    return "core"
}
FNR == 1 { part = (FILENAME == ARGV[1]) ? 1 : 2; listing = 0 }
/file:function/ { listing = 1; next }
listing && /^-+$/ { if (seen[part]) listing = 0; next }
listing && /^ *[0-9,]+ \(/ {
    seen[part] = 1
    line = $0
    sub(/^ */, "", line)
    n = line; sub(/ .*/, "", n); gsub(/,/, "", n)
    sub(/^[^)]*\) +/, "", line)
    obj = ""
    if (match(line, / \[[^]]*\]$/)) {
        obj = substr(line, RSTART + 2, RLENGTH - 3)
        line = substr(line, 1, RSTART - 1)
    }
    colon = index(line, ":")
    file = substr(line, 1, colon - 1)
    fn = substr(line, colon + 1)
    cls = classify(file, fn, obj)
    if (cls != "")
        cost[cls] += (part == 2 ? n : -n)
}
END {
    d = n2 - n1
    total = cost["core"] + cost["clib"] + cost["backend"] + cost["harness"]
    printf "%.1f %.1f %.1f %.1f %.1f\n", total / d, cost["core"] / d, cost["clib"] / d,
        cost["backend"] / d, cost["harness"] / d
}
