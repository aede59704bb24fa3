#!/usr/bin/env python3
"""Draws the example mask files of "MaskFile Examples" (PNG, through ImageMagick's convert).

A mask file is a picture whose coloured areas are the cells of a mosaic: cells are separated by
black lines, and white marks where no tile goes. Run from anywhere; it rewrites the PNG files
beside this script's "MaskFile Examples" folder.
"""
import math
import os
import subprocess

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "MaskFile Examples")
PALETTE = [(230, 60, 60), (60, 170, 80), (70, 110, 220), (240, 200, 40), (170, 80, 200),
           (40, 190, 200), (250, 140, 40), (120, 200, 60)]
WHITE, BLACK = (255, 255, 255), (0, 0, 0)


def save(name, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        for x in range(width):
            rows.extend(pixel(x, y))
    ppm = b"P6 %d %d 255\n" % (width, height) + bytes(rows)
    path = os.path.join(HERE, name)
    subprocess.run(["convert", "ppm:-", "-strip", "-define", "png:exclude-chunks=date,time",
                    path], input=ppm, check=True)


def bricks(x, y):
    """Bricks of 96 x 48 pixels laid in bond, joined by black mortar 4 pixels wide."""
    row = y // 48
    shifted = x + (48 if row % 2 else 0)
    column = shifted // 96
    if y % 48 < 4 or shifted % 96 < 4:
        return BLACK
    return PALETTE[(row * 3 + column) % len(PALETTE)]


def heart(x, y):
    """Square cells of 40 pixels inside a heart; outside the heart no tile goes (white)."""
    u, v = (x - 500) / 420.0, (380 - y) / 420.0
    if (u * u + v * v - 0.5) ** 3 - u * u * v ** 3 * 1.2 > 0:
        return WHITE
    if x % 40 < 3 or y % 40 < 3:
        return BLACK
    return PALETTE[((x // 40) + 2 * (y // 40)) % len(PALETTE)]


def rings(x, y):
    """Rings around the centre cut into sectors; tiles grow toward the edge of the disc."""
    dx, dy = x - 450, y - 450
    radius = math.hypot(dx, dy)
    if radius > 440:
        return WHITE
    if radius < 60:
        return PALETTE[0] if radius < 56 else BLACK
    ring = int((radius - 60) // 64)
    inner = 60 + ring * 64
    if radius - inner < 3:
        return BLACK
    sectors = 12 + ring * 8
    angle = (math.atan2(dy, dx) + math.pi) / (2 * math.pi) * sectors
    if (angle - math.floor(angle)) * (2 * math.pi * radius / sectors) < 3:
        return BLACK
    return PALETTE[(int(angle) + ring) % len(PALETTE)]


def big_and_small(x, y):
    """A grid of 50-pixel cells with a large oval cell in the middle for the main subject."""
    u, v = (x - 600) / 300.0, (y - 400) / 250.0
    d = u * u + v * v
    if d < 1.0:
        return PALETTE[5] if d < 0.98 else BLACK
    if x % 50 < 3 or y % 50 < 3:
        return BLACK
    return PALETTE[((x // 50) * 5 + (y // 50)) % len(PALETTE)]


if __name__ == "__main__":
    os.makedirs(HERE, exist_ok=True)
    save("Bricks.png", 1200, 800, bricks)
    save("Heart.png", 1000, 900, heart)
    save("Rings.png", 900, 900, rings)
    save("Big and Small.png", 1200, 800, big_and_small)
