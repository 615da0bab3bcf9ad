#!/usr/bin/env bash
# Benchmarks, instruction counts and fuzzers: Google Benchmark, valgrind
# (callgrind and its client-request header; the C library's debug symbols
# name its functions in the counts), clang with the libFuzzer and sanitizer
# runtimes; strace to count the tool's system calls in the VM.
set -euo pipefail
source "$(dirname "$0")/../lib/apt.sh"
apt_install libbenchmark-dev valgrind libc6-dbg clang libclang-rt-14-dev strace time
