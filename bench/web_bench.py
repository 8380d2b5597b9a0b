#!/usr/bin/env python3
"""Times the web build (scripts/web --bench): frames of the three workloads of the shared bench
folder at 1280 x 720 in node, one thread, beside the native corvath-render on one thread and
the portable path; then the page's time from loading to its first picture in headless chromium.
Not a test: it passes no judgement on the numbers.
"""
import os
import re
import subprocess
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
SHARED = os.environ.get("CORVATH_SHARED", os.path.join(ROOT, "..", "shared"))
WORKLOADS = [("city.asc", "210,7,90"), ("dense.asc", "210,7,90"), ("big.asc", "345,345,345")]
FRAMES = 100


def frame_times(command, environment=None):
    run = subprocess.run(command, capture_output=True, text=True, check=True, timeout=1800,
                         env={**os.environ, **(environment or {})})
    return re.search(r"median_ms=(\S+) min_ms=(\S+) max_ms=(\S+)", run.stdout).groups()


def main():
    bench = os.path.join(SHARED, "bench")
    dense = os.path.join(ROOT, "build-web", "bench")
    if not os.path.exists(os.path.join(dense, "dense.asc")):
        subprocess.run([sys.executable, os.path.join(bench, "make_dense.py"), dense], check=True)
    print(f"Frames at 1280x720, one thread, {FRAMES} frames turning one degree each "
          "(median / least / most ms)")
    print("| workload | node (wasm) | native, portable path |")
    print("|---|---|---|")
    for name, angles in WORKLOADS:
        mesh = os.path.join(dense if name == "dense.asc" else bench, name)
        args = ["--mesh", mesh, "--size", "1280x720", "--angles", angles, "--frames", str(FRAMES),
                "--seed", "1", "--out", "/dev/null"]
        web = frame_times(["node", os.path.join(ROOT, "build-web", "corvath-render.js")] + args)
        native = frame_times([os.path.join(ROOT, "build", "corvath-render")] + args,
                             {"CORVATH_THREADS": "1", "CORVATH_VECTORS": "portable"})
        print(f"| {name} | {' / '.join(web)} | {' / '.join(native)} |")
    sys.stdout.flush()
    subprocess.run([sys.executable, os.path.join(ROOT, "tests", "web", "page_in_chromium.py"),
                    os.path.join(ROOT, "build-web", "site"),
                    os.path.join(ROOT, "build", "corvath-render"),
                    os.path.join(ROOT, "tools", "serve_isolated.py"), "--bench"], check=True)


if __name__ == "__main__":
    main()
