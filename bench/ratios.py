#!/usr/bin/env python3
"""Runs the codec benchmarks and prints each of our figures as a ratio against its peer from the
same run (the machine is shared, so only same-run ratios mean anything).

Usage: bench/ratios.py BUILD_DIR [repetitions]   e.g. bench/ratios.py build/bench 3

Inflate and CRC-32: our throughput / the peer's (above 1 = faster than the peer); Inflate counts
CRC-32 on both sides. Deflate: our time / the peer's time (below 1 = faster), and our compressed
size / the peer's. Figures are medians of CPU time over the repetitions.
"""
import json
import subprocess
import sys


def run(binary, repetitions, bench_filter):
    out = subprocess.run(
        [binary, f"--benchmark_filter={bench_filter}", f"--benchmark_repetitions={repetitions}",
         "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    times = {}
    sizes = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name", "median") != "median":
            continue
        name = b["run_name"]
        times[name] = b["cpu_time"]
        if "size" in b:
            sizes[name] = b["size"]
    return times, sizes


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/bench"
    reps = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    times, _ = run(f"{build}/bench/bench_inflate", reps, ".")
    print("CRC-32, 32 MiB: ours / peer throughput")
    for peer in ("Libdeflate", "Zlib"):
        print(f"  vs {peer:10s} {times[f'BM_Crc32_{peer}'] / times['BM_Crc32_Ours']:.2f}")
    print("Inflate with CRC-32, 24 MiB: ours / peer throughput")
    for kind, name in enumerate(("text", "binary", "repetitive")):
        ours = times[f"BM_Inflate_Ours/{kind}"]
        lib = times[f"BM_Inflate_LibdeflatePlusCrc32/{kind}"]
        zlib = times[f"BM_Inflate_ZlibPlusCrc32/{kind}"]
        print(f"  {name:10s} vs libdeflate {lib / ours:.2f}   vs zlib {zlib / ours:.2f}")

    times, sizes = run(f"{build}/bench/bench_deflate", reps, ".")
    print("Deflate: our time / peer time (size ratio in brackets)")
    for option in ("doSuperFast", "doFast", "doNormal", "doMaximum"):
        for size in (4, 32):
            cells = []
            for kind, name in enumerate(("text", "binary", "repetitive")):
                ours = f"BM_Deflate/{option}/{kind}/{size}"
                cell = []
                for peer in ("BM_Zlib/level6", "BM_Libdeflate/level6"):
                    p = f"{peer}/{kind}/{size}"
                    cell.append(f"{times[ours] / times[p]:.2f} ({sizes[ours] / sizes[p]:.3f})")
                cells.append(f"{name} {' / '.join(cell)}")
            print(f"  {option:11s} {size:2d} MiB  " + "   ".join(cells))
    print("  (each cell: vs zlib level 6 / vs libdeflate level 6)")


if __name__ == "__main__":
    main()
