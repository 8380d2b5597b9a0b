#!/usr/bin/env python3
"""Writes the small meshes in tests/data that the converter's tests read.

Every solid is wound counter-clockwise seen from outside (the right-hand normal points outward),
in a y-up space, as the formats expect:
  cube.obj, cube.mtl   a unit cube of 6 quads (12 triangles), two materials
  tetra_ascii.stl      a tetrahedron, 4 triangles, ASCII
  pyramid_binary.stl   a square pyramid, 6 triangles (its base a quad cut in two), binary
  wedge.ply            a wedge of 2 triangles and 3 quads (8 triangles), ASCII, vertex colours

Usage: tools/make_test_meshes.py [FOLDER]   (default: tests/data beside this folder)
"""

import os
import struct
import sys


def cross(u, v):
    return (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])


def normal(a, b, c):
    return cross([b[i] - a[i] for i in range(3)], [c[i] - a[i] for i in range(3)])


CUBE = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1)]
# Quads, corners counter-clockwise seen from outside; the first three go to "red".
CUBE_QUADS = [(0, 3, 2, 1), (4, 5, 6, 7), (0, 1, 5, 4), (2, 3, 7, 6), (1, 2, 6, 5), (0, 4, 7, 3)]

TETRA = [(0, 0, 0), (2, 0, 0), (0, 2, 0), (0, 0, 2)]
TETRA_FACES = [(0, 2, 1), (0, 1, 3), (0, 3, 2), (1, 2, 3)]

PYRAMID = [(-1, 0, -1), (1, 0, -1), (1, 0, 1), (-1, 0, 1), (0, 1.5, 0)]
PYRAMID_FACES = [(0, 1, 2), (0, 2, 3), (3, 2, 4), (2, 1, 4), (1, 0, 4), (0, 3, 4)]

WEDGE = [(0, 0, 0), (2, 0, 0), (0, 1, 0), (0, 0, 1), (2, 0, 1), (0, 1, 1)]
WEDGE_FACES = [(0, 2, 1), (3, 4, 5), (0, 1, 4, 3), (1, 2, 5, 4), (0, 3, 5, 2)]
WEDGE_COLOURS = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (0, 255, 255), (255, 0, 255)]


def write_cube(folder):
    with open(os.path.join(folder, "cube.mtl"), "w", newline="\n") as mtl:
        mtl.write("newmtl red\nKd 1 0 0\n\nnewmtl blue\nKd 0 0 1\n")
    with open(os.path.join(folder, "cube.obj"), "w", newline="\n") as obj:
        obj.write("# a unit cube, faces wound counter-clockwise seen from outside\nmtllib cube.mtl\no cube\n")
        for v in CUBE:
            obj.write("v %g %g %g\n" % v)
        for i, quad in enumerate(CUBE_QUADS):
            if i % 3 == 0:
                obj.write("usemtl %s\n" % ("red" if i < 3 else "blue"))
            obj.write("f %s\n" % " ".join(str(c + 1) for c in quad))


def write_ascii_stl(folder):
    with open(os.path.join(folder, "tetra_ascii.stl"), "w", newline="\n") as stl:
        stl.write("solid tetra\n")
        for f in TETRA_FACES:
            a, b, c = (TETRA[i] for i in f)
            stl.write("  facet normal %g %g %g\n    outer loop\n" % normal(a, b, c))
            for v in (a, b, c):
                stl.write("      vertex %g %g %g\n" % v)
            stl.write("    endloop\n  endfacet\n")
        stl.write("endsolid tetra\n")


def write_binary_stl(folder):
    with open(os.path.join(folder, "pyramid_binary.stl"), "wb") as stl:
        stl.write(b"pyramid of six triangles".ljust(80, b" "))
        stl.write(struct.pack("<I", len(PYRAMID_FACES)))
        for f in PYRAMID_FACES:
            a, b, c = (PYRAMID[i] for i in f)
            stl.write(struct.pack("<12fH", *normal(a, b, c), *a, *b, *c, 0))


def write_ply(folder):
    with open(os.path.join(folder, "wedge.ply"), "w", newline="\n") as ply:
        ply.write("ply\nformat ascii 1.0\ncomment a wedge with a colour at each corner\n")
        ply.write("element vertex %d\n" % len(WEDGE))
        ply.write("property float x\nproperty float y\nproperty float z\n")
        ply.write("property uchar red\nproperty uchar green\nproperty uchar blue\n")
        ply.write("element face %d\nproperty list uchar int vertex_indices\nend_header\n" % len(WEDGE_FACES))
        for v, c in zip(WEDGE, WEDGE_COLOURS):
            ply.write("%g %g %g %d %d %d\n" % (v + c))
        for f in WEDGE_FACES:
            ply.write("%d %s\n" % (len(f), " ".join(str(i) for i in f)))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "data")
    os.makedirs(folder, exist_ok=True)
    write_cube(folder)
    write_ascii_stl(folder)
    write_binary_stl(folder)
    write_ply(folder)


if __name__ == "__main__":
    main()
