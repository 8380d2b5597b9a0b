#!/usr/bin/env python3
"""The web build's corvath-render, run in node, against the native one: the same BMP, byte for
byte, for the bench meshes, the real-world mesh text, random meshes and random scenes, at
several sizes and angles, status line included.

CORVATH_SHARED=FOLDER frames_in_node.py NODE WEB_RENDER_JS NATIVE_RENDER
"""
import os
import random
import subprocess
import sys
import tempfile

NODE, WEB_RENDER, NATIVE_RENDER = sys.argv[1:4]
SHARED = os.environ["CORVATH_SHARED"]
VIEWS = [("640x480", "210,7,90"), ("1280x720", "345,345,345"), ("333x201", "12.5,-77,301.25")]


def random_mesh(seed):
    """Objects of random vertices and faces: some faces without a colour, some naming vertices
    that do not exist, coordinates in plain, signed and exponent form, CR LF or LF."""
    rng = random.Random(seed)
    end = rng.choice(["\r\n", "\n"])
    lines = []
    for obj in range(rng.randint(1, 3)):
        vertices = rng.randint(3, 60)
        faces = rng.randint(1, 120)
        lines += [f'Named Object: "Obj{obj}"', f"Tri-mesh, Vertices: {vertices}     Faces: {faces}",
                  "Vertex list:"]
        spread = rng.choice([1.0, 300.0, 2.5e4])
        for v in range(vertices):
            x, y, z = (rng.uniform(-spread, spread) for _ in range(3))
            lines.append(f"Vertex {v}:  X: {x:.6g}  Y: {y:.17g}  Z: {z:E}")
        lines.append("Face list:")
        for f in range(faces):
            a, b, c = (rng.randrange(vertices + (2 if rng.random() < 0.05 else 0)) for _ in range(3))
            colour = f" colore: {rng.randrange(1 << 24)}" if rng.random() < 0.8 else ""
            lines.append(f"Face {f}:    A:{a} B:{b} C:{c}{colour}")
    return end.join(lines) + end


def render(program, args, out):
    command = ([NODE, program] if program.endswith(".js") else [program]) + args + ["--out", out]
    run = subprocess.run(command, capture_output=True, timeout=300)
    return run.returncode, run.stderr.decode(errors="replace")


def main():
    cases = []
    for name in ["city.asc", "big.asc"]:
        for size, angles in VIEWS:
            cases.append((f"bench/{name} {size} {angles}",
                          ["--mesh", os.path.join(SHARED, "bench", name), "--size", size,
                           "--angles", angles]))
    realworld = os.path.join(SHARED, "data", "realworld")
    for name in sorted(os.listdir(realworld)):
        if name.endswith(".asc"):
            size, angles = VIEWS[len(cases) % len(VIEWS)]
            cases.append((f"realworld/{name}", ["--mesh", os.path.join(realworld, name),
                                                "--size", size, "--angles", angles, "--seed", "7"]))
    with tempfile.TemporaryDirectory(prefix="corvath-web-") as folder:
        for seed in range(6):
            path = os.path.join(folder, f"random{seed}.asc")
            with open(path, "w", newline="") as file:
                file.write(random_mesh(seed))
            size, angles = VIEWS[seed % len(VIEWS)]
            cases.append((f"random mesh {seed}", ["--mesh", path, "--size", size, "--angles",
                                                  angles, "--seed", str(seed * 1000 + 1)]))
        for seed in ["43210.5", "100"]:
            cases.append((f"scene {seed}", ["--scene", seed, "--size", "800x600"]))
        failures = 0
        for label, args in cases:
            web_out = os.path.join(folder, "web.bmp")
            native_out = os.path.join(folder, "native.bmp")
            web_code, web_error = render(WEB_RENDER, args, web_out)
            native_code, native_error = render(NATIVE_RENDER, args, native_out)
            if (web_code, native_code) != (0, 0):
                print(f"FAIL {label}: exit {web_code} (web) {native_code} (native)\n"
                      f"{web_error}{native_error}")
                failures += 1
                continue
            with open(web_out, "rb") as web, open(native_out, "rb") as native:
                web_bytes, native_bytes = web.read(), native.read()
            if web_bytes != native_bytes:
                first = next((i for i, (a, b) in enumerate(zip(web_bytes, native_bytes)) if a != b),
                             min(len(web_bytes), len(native_bytes)))
                print(f"FAIL {label}: pictures differ from byte {first} "
                      f"({len(web_bytes)} and {len(native_bytes)} bytes)")
                failures += 1
            else:
                print(f"ok   {label}")
    print(f"{len(cases) - failures} of {len(cases)} frames the same")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
