#!/usr/bin/env python3
"""Writes the sample mesh examples/3d.asc: a still life on a chequered plinth.

A turned vase on a column, a torus, a ball and a pyramid stand on a chequered slab. Every face
is wound so that its corners run counter-clockwise seen from outside (the normal of the right-hand
rule points outward) and carries its own colour. The model is built with z up, then leaned about
the y axis (see kLean) and moved toward negative coordinates so that its largest coordinate is
kLargestCoordinate: the viewer derives its zoom from that coordinate, and this makes the model fill
most of the screen.

Usage: tools/make_sample.py [OUTPUT]   (default: examples/3d.asc beside this folder)
"""

import colorsys
import math
import os
import sys

kLargestCoordinate = 180.0
# The viewer's first frame looks at the model's z axis from 60 degrees above the plinth; leaning
# the model 30 degrees about y brings that down to a three-quarter view from 30 degrees above.
kLean = math.radians(30.0)


def pack(red, green, blue):
    """A colour as the mesh text stores it: red + 256 * green + 65536 * blue."""
    clamp = lambda v: max(0, min(255, int(round(v))))
    return clamp(red) + 256 * clamp(green) + 65536 * clamp(blue)


def hsv(hue, saturation, value):
    r, g, b = colorsys.hsv_to_rgb(hue % 1.0, saturation, value)
    return pack(255 * r, 255 * g, 255 * b)


class MeshObject:
    def __init__(self, name):
        self.name = name
        self.vertices = []
        self.faces = []  # (a, b, c, colour)

    def vertex(self, x, y, z):
        self.vertices.append((x, y, z))
        return len(self.vertices) - 1

    def triangle(self, a, b, c, colour):
        self.faces.append((a, b, c, colour))

    def quad(self, a, b, c, d, colour):
        """Two triangles of the quadrilateral a b c d, counter-clockwise seen from outside."""
        self.triangle(a, b, c, colour)
        self.triangle(a, c, d, colour)


def patch(obj, a, b, c, d, colour, cell=40.0):
    """The quadrilateral a b c d (points, counter-clockwise seen from outside) as a grid of
    cells no longer than `cell`: small faces keep the painter's order of the viewer right."""
    length = lambda p, q: math.dist(p, q)
    nu = max(1, math.ceil(max(length(a, b), length(d, c)) / cell))
    nv = max(1, math.ceil(max(length(a, d), length(b, c)) / cell))
    mix = lambda p, q, t: tuple(p[n] + (q[n] - p[n]) * t for n in range(3))
    grid = [[obj.vertex(*mix(mix(a, b, i / nu), mix(d, c, i / nu), j / nv)) for j in range(nv + 1)]
            for i in range(nu + 1)]
    for i in range(nu):
        for j in range(nv):
            obj.quad(grid[i][j], grid[i + 1][j], grid[i + 1][j + 1], grid[i][j + 1], colour)


def facet(obj, a, b, c, colour, parts):
    """The triangle a b c split into parts * parts smaller ones of the same winding."""
    point = lambda i, j: tuple(a[n] + (b[n] - a[n]) * i / parts + (c[n] - a[n]) * j / parts
                               for n in range(3))
    index = {}
    for i in range(parts + 1):
        for j in range(parts + 1 - i):
            index[i, j] = obj.vertex(*point(i, j))
    for i in range(parts):
        for j in range(parts - i):
            obj.triangle(index[i, j], index[i + 1, j], index[i, j + 1], colour)
            if i + j + 1 < parts:
                obj.triangle(index[i + 1, j], index[i + 1, j + 1], index[i, j + 1], colour)


def box(obj, x0, y0, z0, x1, y1, z1, colour, cell=40.0):
    """An axis-aligned box with its sides cut into small cells."""
    p = {(i, j, k): (x, y, z) for i, x in enumerate((x0, x1)) for j, y in enumerate((y0, y1))
         for k, z in enumerate((z0, z1))}
    patch(obj, p[0, 0, 1], p[1, 0, 1], p[1, 1, 1], p[0, 1, 1], colour, cell)
    patch(obj, p[0, 0, 0], p[0, 1, 0], p[1, 1, 0], p[1, 0, 0], colour, cell)
    patch(obj, p[0, 0, 0], p[1, 0, 0], p[1, 0, 1], p[0, 0, 1], colour, cell)
    patch(obj, p[1, 1, 0], p[0, 1, 0], p[0, 1, 1], p[1, 1, 1], colour, cell)
    patch(obj, p[1, 0, 0], p[1, 1, 0], p[1, 1, 1], p[1, 0, 1], colour, cell)
    patch(obj, p[0, 1, 0], p[0, 0, 0], p[0, 0, 1], p[0, 1, 1], colour, cell)


def plinth():
    """A 1000 x 1000 slab, 40 thick, with a 10 x 10 chequerboard on top."""
    obj = MeshObject("Basamento")
    half, tiles, depth = 500.0, 10, 40.0
    step = 2 * half / tiles
    top = [[obj.vertex(-half + i * step, -half + j * step, 0.0) for j in range(tiles + 1)]
           for i in range(tiles + 1)]
    light, dark = pack(236, 226, 200), pack(78, 88, 104)
    for i in range(tiles):
        for j in range(tiles):
            colour = light if (i + j) % 2 == 0 else dark
            obj.quad(top[i][j], top[i + 1][j], top[i + 1][j + 1], top[i][j + 1], colour)
    # Sides and bottom, their upper edges on the rim of the chequerboard.
    edge = pack(150, 120, 90)
    rim = [top[i][0] for i in range(tiles + 1)] + [top[tiles][j] for j in range(1, tiles + 1)]
    rim += [top[i][tiles] for i in range(tiles - 1, -1, -1)]
    rim += [top[0][j] for j in range(tiles - 1, 0, -1)]
    below = [obj.vertex(obj.vertices[r][0], obj.vertices[r][1], -depth) for r in rim]
    count = len(rim)
    for n in range(count):
        m = (n + 1) % count
        obj.quad(below[n], below[m], rim[m], rim[n], edge)
    patch(obj, (-half, -half, -depth), (-half, half, -depth), (half, half, -depth),
          (half, -half, -depth), edge, step)
    return obj


def column():
    """A round shaft between a square foot and a square capital."""
    obj = MeshObject("Colonna")
    stone = pack(214, 200, 178)
    box(obj, -120.0, -120.0, 0.0, 120.0, 120.0, 20.0, stone, 20.0)
    box(obj, -120.0, -120.0, 200.0, 120.0, 120.0, 225.0, stone, 20.0)
    segments, radius, levels = 24, 80.0, 12
    ring = lambda z: [obj.vertex(radius * math.cos(2 * math.pi * i / segments),
                                 radius * math.sin(2 * math.pi * i / segments), z)
                      for i in range(segments)]
    shaft = [ring(20.0 + 180.0 * level / levels) for level in range(levels + 1)]
    for level in range(levels):
        low, high = shaft[level], shaft[level + 1]
        for i in range(segments):
            k = (i + 1) % segments
            # Alternate shades suggest flutes.
            colour = pack(226, 214, 192) if i % 2 == 0 else pack(196, 182, 160)
            obj.quad(low[i], low[k], high[k], high[i], colour)
    return obj


def catmull_rom(points, t):
    """The radius at height fraction t of a smooth curve through (fraction, radius) points."""
    for n in range(len(points) - 1):
        if t <= points[n + 1][0] or n == len(points) - 2:
            break
    p0 = points[max(n - 1, 0)][1]
    p1, p2 = points[n][1], points[n + 1][1]
    p3 = points[min(n + 2, len(points) - 1)][1]
    s = (t - points[n][0]) / (points[n + 1][0] - points[n][0])
    return 0.5 * (2 * p1 + (p2 - p0) * s + (2 * p0 - 5 * p1 + 4 * p2 - p3) * s * s
                  + (3 * p1 - p0 - 3 * p2 + p3) * s * s * s)


def vase():
    """A turned vase with a wall of some thickness, open at the top."""
    obj = MeshObject("Vaso")
    base, height, wall, floor = 225.0, 320.0, 7.0, 14.0
    profile = [(0.0, 62.0), (0.12, 98.0), (0.36, 126.0), (0.62, 84.0), (0.8, 48.0),
               (0.92, 56.0), (1.0, 78.0)]
    segments, rings = 32, 28
    glaze, band, inside = (34, 78, 178), (222, 178, 64), pack(24, 44, 104)

    def ring(z, radius):
        return [obj.vertex(radius * math.cos(2 * math.pi * i / segments),
                           radius * math.sin(2 * math.pi * i / segments), z)
                for i in range(segments)]

    outer = [ring(base + height * j / rings, catmull_rom(profile, j / rings))
             for j in range(rings + 1)]
    for j in range(rings):
        banded = j in (3, 4, 13, 22, 27)
        for i in range(segments):
            k = (i + 1) % segments
            if banded:
                colour = pack(*band)
            else:
                # A glaze that darkens toward the foot and shifts slightly around the body.
                shade = 0.75 + 0.25 * j / rings
                tint = 12 * math.sin(4 * math.pi * i / segments)
                colour = pack(glaze[0] * shade + tint, glaze[1] * shade, glaze[2] * shade - tint)
            obj.quad(outer[j][i], outer[j][k], outer[j + 1][k], outer[j + 1][i], colour)
    # The inner wall faces the axis, so its faces run the other way round.
    first_inner = 2
    inner = [ring(base + height * j / rings, catmull_rom(profile, j / rings) - wall)
             for j in range(first_inner, rings + 1)]
    for j in range(len(inner) - 1):
        for i in range(segments):
            k = (i + 1) % segments
            obj.quad(inner[j][i], inner[j + 1][i], inner[j + 1][k], inner[j][k], inside)
    lip = pack(*band)
    for i in range(segments):
        k = (i + 1) % segments
        obj.quad(outer[rings][i], outer[rings][k], inner[-1][k], inner[-1][i], lip)
    bottom = obj.vertex(0.0, 0.0, base)
    for i in range(segments):
        obj.triangle(bottom, outer[0][(i + 1) % segments], outer[0][i], pack(*glaze))
    floor_centre = obj.vertex(0.0, 0.0, base + height * first_inner / rings)
    for i in range(segments):
        obj.triangle(floor_centre, inner[0][i], inner[0][(i + 1) % segments], inside)
    return obj


def torus():
    """A ring lying on the plinth, striped in the colours of the spectrum."""
    obj = MeshObject("Toro")
    cx, cy, major, minor = -270.0, 250.0, 140.0, 44.0
    around, tube = 32, 12
    grid = [[obj.vertex(cx + (major + minor * math.cos(2 * math.pi * j / tube))
                        * math.cos(2 * math.pi * i / around),
                        cy + (major + minor * math.cos(2 * math.pi * j / tube))
                        * math.sin(2 * math.pi * i / around),
                        minor + minor * math.sin(2 * math.pi * j / tube))
             for j in range(tube)] for i in range(around)]
    for i in range(around):
        colour = hsv(i / around, 0.72, 0.98)
        for j in range(tube):
            a, b = grid[i][j], grid[(i + 1) % around][j]
            c, d = grid[(i + 1) % around][(j + 1) % tube], grid[i][(j + 1) % tube]
            obj.quad(a, b, c, d, colour)
    return obj


def ball():
    """A ball resting on the plinth, in six coloured segments."""
    obj = MeshObject("Palla")
    cx, cy, radius = 290.0, -260.0, 95.0
    around, rings = 24, 12
    colours = [pack(230, 60, 50), pack(250, 250, 245), pack(40, 120, 220),
               pack(250, 250, 245), pack(250, 200, 40), pack(250, 250, 245)]
    south = obj.vertex(cx, cy, 0.0)
    north = obj.vertex(cx, cy, 2 * radius)
    bands = []
    for j in range(1, rings):
        latitude = -math.pi / 2 + math.pi * j / rings
        bands.append([obj.vertex(cx + radius * math.cos(latitude) * math.cos(2 * math.pi * i / around),
                                 cy + radius * math.cos(latitude) * math.sin(2 * math.pi * i / around),
                                 radius + radius * math.sin(latitude))
                      for i in range(around)])
    colour = lambda i: colours[i * len(colours) // around]
    for i in range(around):
        k = (i + 1) % around
        obj.triangle(south, bands[0][k], bands[0][i], colour(i))
        for j in range(len(bands) - 1):
            obj.quad(bands[j][i], bands[j][k], bands[j + 1][k], bands[j + 1][i], colour(i))
        obj.triangle(north, bands[-1][i], bands[-1][k], colour(i))
    return obj


def pyramid():
    """A small pyramid, each side in its own colour."""
    obj = MeshObject("Piramide")
    cx, cy, half, height = 280.0, 250.0, 90.0, 190.0
    corners = [(cx + sx * half, cy + sy * half, 0.0)
               for sx, sy in ((-1, -1), (1, -1), (1, 1), (-1, 1))]
    apex = (cx, cy, height)
    sides = [pack(230, 120, 40), pack(200, 80, 40), pack(240, 150, 60), pack(210, 100, 50)]
    for n in range(4):
        facet(obj, corners[n], corners[(n + 1) % 4], apex, sides[n], 5)
    patch(obj, corners[0], corners[3], corners[2], corners[1], pack(120, 60, 30))
    return obj


def number(value):
    text = f"{value:.3f}".rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def lean(objects):
    c, s = math.cos(kLean), math.sin(kLean)
    for obj in objects:
        obj.vertices = [(c * x - s * z, y, s * x + c * z) for x, y, z in obj.vertices]


def mesh_text(objects):
    largest = max(max(v) for obj in objects for v in obj.vertices)
    shift = largest - kLargestCoordinate
    lines = []
    for obj in objects:
        lines.append(f'Named Object: "{obj.name}"')
        lines.append(f"Tri-mesh, Vertices: {len(obj.vertices)}     Faces: {len(obj.faces)}")
        lines.append("Vertex list:")
        for n, (x, y, z) in enumerate(obj.vertices):
            lines.append(f"Vertex {n}:  X: {number(x - shift)}  Y: {number(y - shift)}"
                         f"  Z: {number(z - shift)}")
        lines.append("Face list:")
        for n, (a, b, c, colour) in enumerate(obj.faces):
            lines.append(f"Face {n}:    A:{a} B:{b} C:{c} colore: {colour}")
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "examples", "3d.asc")
    objects = [plinth(), column(), vase(), torus(), ball(), pyramid()]
    lean(objects)
    with open(output, "wb") as out:
        out.write(mesh_text(objects).encode("ascii"))
    vertices = sum(len(obj.vertices) for obj in objects)
    faces = sum(len(obj.faces) for obj in objects)
    print(f"{output}: {len(objects)} objects, {vertices} vertices, {faces} faces")


if __name__ == "__main__":
    main()
