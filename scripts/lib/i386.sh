# Sourced by scripts that need to know whether this machine runs 32-bit x86 code: some
# kernels of the CI machines have no 32-bit emulation (every i386 program fails with "Exec
# format error"), others do. A three-instruction i386 program that exits 0 tells; nothing
# else is assumed. Needs `as` and `ld` (binutils).
#   runs_32bit_code && echo yes

runs_32bit_code() {
    local dir status=0
    dir=$(mktemp -d)
    printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$dir/probe.s"
    if as --32 -o "$dir/probe.o" "$dir/probe.s" 2>/dev/null &&
        ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" 2>/dev/null; then
        "$dir/probe" 2>/dev/null || status=$?
    else
        status=1
    fi
    rm -rf "$dir"
    return "$status"
}
