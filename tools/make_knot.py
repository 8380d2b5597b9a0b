#!/usr/bin/env python3
"""Writes examples/knot.ply, a model in another program's format for trying corvath-convert.

A trefoil knot drawn as a tube of quads, 240 steps along the knot and 16 around the tube, with a
colour at every vertex that runs through the hues along the knot. Binary PLY, y up, each quad
wound counter-clockwise seen from outside the tube, as such files are.

Usage: tools/make_knot.py [OUTPUT]   (default: examples/knot.ply beside this folder)
"""

import colorsys
import math
import os
import struct
import sys

kSteps = 240
kSides = 16
kScale = 45.0  # the knot's largest coordinate ends near 150 units
kTube = 0.55


def knot(t):
    return (math.sin(t) + 2 * math.sin(2 * t), math.cos(t) - 2 * math.cos(2 * t), -math.sin(3 * t))


def sub(u, v):
    return [u[i] - v[i] for i in range(3)]


def cross(u, v):
    return [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]


def unit(u):
    length = math.sqrt(sum(c * c for c in u))
    return [c / length for c in u]


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "examples", "knot.ply")
    vertices = []
    for step in range(kSteps):
        t = 2 * math.pi * step / kSteps
        centre = knot(t)
        tangent = unit(sub(knot(t + 1e-4), knot(t - 1e-4)))
        side = unit(cross(tangent, [0, 0, 1]))
        up = cross(side, tangent)
        red, green, blue = colorsys.hsv_to_rgb(step / kSteps, 0.75, 0.95)
        colour = tuple(round(255 * c) for c in (red, green, blue))
        for k in range(kSides):
            a = 2 * math.pi * k / kSides
            point = [kScale * (centre[i] + kTube * (math.cos(a) * side[i] + math.sin(a) * up[i]))
                     for i in range(3)]
            vertices.append((point, colour))
    quads = []
    for step in range(kSteps):
        for k in range(kSides):
            here, on = step * kSides, (step + 1) % kSteps * kSides
            kk = (k + 1) % kSides
            quads.append((here + k, on + k, on + kk, here + kk))
    with open(output, "wb") as ply:
        ply.write(("ply\nformat binary_little_endian 1.0\ncomment a trefoil knot\n"
                   "element vertex %d\nproperty float x\nproperty float y\nproperty float z\n"
                   "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                   "element face %d\nproperty list uchar int vertex_indices\nend_header\n"
                   % (len(vertices), len(quads))).encode())
        for point, colour in vertices:
            ply.write(struct.pack("<3f3B", *point, *colour))
        for quad in quads:
            ply.write(struct.pack("<B4i", 4, *quad))


if __name__ == "__main__":
    main()
