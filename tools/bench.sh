#!/usr/bin/env bash
# Prints the benchmark figures. Never fails a run on a slow machine: the
# figures are for reading, not for judging.
build=$1
echo "== benchmarks"
