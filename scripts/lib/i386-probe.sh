# Can this kernel execute 32-bit x86 programs? Some virtual machines' kernels are built
# without that support, and 32-bit Wine then fails with "Exec format error" however it
# is installed. The probe is a 93-byte 32-bit ELF program that only calls exit(0).
can_run_i386() {
    local probe
    probe=$(mktemp "${TMPDIR:-/tmp}/zyrel-i386-probe.XXXXXX") || return 1
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
    printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
    printf '\000\000\000\000' >>"$probe"
    printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$probe"
    printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000' >>"$probe"
    printf '\270\001\000\000\000\061\333\315\200' >>"$probe"
    chmod +x "$probe"
    "$probe" >/dev/null 2>&1
    local status=$?
    rm -f "$probe"
    return $status
}
