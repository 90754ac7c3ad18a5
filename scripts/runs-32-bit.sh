#!/usr/bin/env bash
# Tells whether this machine runs 32-bit (i386) Linux programs, which 32-bit
# Wine needs: exit status 0 if it does; otherwise 1, with the reason on
# standard output. Some kernels are built or booted without IA-32 emulation,
# whatever the machine's architecture is called, so the only sure answer is to
# run one: the smallest i386 program there is, which only exits with status 0.
# TAVREK_NO_32_BIT=1 answers no on any machine, to take the path of one that
# cannot (CI does, to keep that path working where both run).
set -euo pipefail
if [[ ${TAVREK_NO_32_BIT:-} == 1 ]]; then
    echo "TAVREK_NO_32_BIT=1 takes the path of a machine without 32-bit programs"
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# An ELF header for i386, one loadable segment, and the code
# `mov eax, 1; xor ebx, ebx; int 0x80` (exit(0)).
printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0''\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0' >"$work/exit0"
printf '\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\135\0\0\0\135\0\0\0\5\0\0\0\0\20\0\0' >>"$work/exit0"
printf '\270\1\0\0\0\61\333\315\200' >>"$work/exit0"
chmod +x "$work/exit0"
if errors=$("$work/exit0" 2>&1); then
    exit 0
fi
echo "this machine runs no 32-bit programs: ${errors:-a 32-bit program failed} (its kernel has no IA-32 emulation)"
exit 1
