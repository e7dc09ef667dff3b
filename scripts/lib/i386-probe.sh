# Can this kernel execute 32-bit x86 programs? Some virtual machines' kernels are built
# without that support, and 32-bit Wine then fails with "Exec format error" however it
# is installed. The probe is a 96-byte 32-bit ELF program whose only instructions are
# exit(42): the distinct status tells a program that ran from a loader that gave up.
#
# ZYREL_RUNS_I386=yes or no gives the answer instead, so that a machine of one sort can try
# the path of the other (no: the test command behaves as on a kernel without 32-bit support).
can_run_i386() {
    case "${ZYREL_RUNS_I386:-}" in
        yes) return 0 ;;
        no) return 1 ;;
        "") ;;
        *) echo "zyrel: ZYREL_RUNS_I386 is yes or no, not '$ZYREL_RUNS_I386'" >&2 ;;
    esac
    local probe
    probe=$(mktemp "${TMPDIR:-/tmp}/zyrel-i386-probe.XXXXXX") || return 1
    {
        # ELF header: 32-bit, little-endian, executable for i386, entry 0x08048054,
        # one program header at offset 52.
        printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'
        printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'
        printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000'
        printf '\000\000\000\000'
        # One loadable, readable and executable segment: the 12 code bytes at offset 84.
        printf '\001\000\000\000\124\000\000\000\124\200\004\010\124\200\004\010'
        printf '\014\000\000\000\014\000\000\000\005\000\000\000\001\000\000\000'
        # mov eax, 1 (exit); mov ebx, 42; int 0x80
        printf '\270\001\000\000\000\273\052\000\000\000\315\200'
    } >"$probe"
    chmod +x "$probe"
    "$probe" >/dev/null 2>&1
    local status=$?
    rm -f "$probe"
    [ "$status" = 42 ]
}
