#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# fuzz/run.sh — one fuzz target for a while over its seeds, one process at a time.
# usage: run.sh FUZZER SEED-DIR WORK-DIR SECONDS
# New inputs go to WORK-DIR/corpus (the seeds stay as they are), crashes to WORK-DIR/artifacts,
# the log to WORK-DIR/log.txt. Ends with the fuzzer's code: 0 when nothing was found.
set -u
fuzzer=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work/corpus" "$work/artifacts"
case $(basename "$fuzzer") in
fuzz_music) maxLen=8192 ;;  # the seed modules are 3 to 5 kB
*) maxLen=4096 ;;
esac
# The loaders name every refused file on stderr; closing it keeps the run fast, and
# libFuzzer still prints its own reports and crashes.
"$fuzzer" -max_total_time="$seconds" -max_len="$maxLen" -timeout=60 -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "$seeds" >"$work/log.txt" 2>&1
code=$?
grep -E "^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|ERROR|SUMMARY|Test unit written" \
    "$work/log.txt"
ls "$work/artifacts"
exit $code
