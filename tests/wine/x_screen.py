"""What the Xvfb screen shows, read back from the X server itself (XGetImage on
the root window through the system's libX11), and written as PNG with the
standard library only: a screenshot of what a person in front of the screen
would see."""

from __future__ import annotations

import ctypes
import ctypes.util
import struct
import zlib
from dataclasses import dataclass
from pathlib import Path

Z_PIXMAP = 2
ALL_PLANES = 0xFFFFFFFF


class _XImage(ctypes.Structure):
    # The members of Xlib's XImage up to the pixel layout; the rest is not read.
    _fields_ = [
        ("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
        ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
        ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong),
        ("blue_mask", ctypes.c_ulong),
    ]


def _xlib():
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    xlib = ctypes.CDLL(name)
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XGetImage.restype = ctypes.POINTER(_XImage)
    xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                               ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    xlib.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return xlib


@dataclass
class Screenshot:
    """A rectangle of the screen: its top-left corner on the screen, and RGB rows."""

    left: int
    top: int
    width: int
    height: int
    rgb: bytes

    def pixel(self, x: int, y: int) -> tuple[int, int, int]:
        """The colour at screen position (x, y), which must lie in the rectangle."""
        offset = ((y - self.top) * self.width + (x - self.left)) * 3
        return self.rgb[offset], self.rgb[offset + 1], self.rgb[offset + 2]

    def write_png(self, path: Path):
        rows = b"".join(b"\x00" + self.rgb[y * self.width * 3:(y + 1) * self.width * 3] for y in range(self.height))

        def chunk(kind: bytes, data: bytes) -> bytes:
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
                         + chunk(b"IEND", b""))


def capture(display: str, left: int, top: int, width: int, height: int) -> Screenshot:
    """Reads a rectangle of the X screen `display` (24-bit TrueColor, as Xvfb runs here)."""
    xlib = _xlib()
    connection = xlib.XOpenDisplay(display.encode())
    if not connection:
        raise RuntimeError(f"cannot open X display {display}")
    try:
        image = xlib.XGetImage(connection, xlib.XDefaultRootWindow(connection), left, top, width, height,
                               ALL_PLANES, Z_PIXMAP)
        if not image:
            raise RuntimeError(f"XGetImage of {width}x{height} at {left},{top} failed")
        try:
            shown = image.contents
            if shown.byte_order != 0 or shown.bits_per_pixel != 32 or (shown.red_mask, shown.green_mask, shown.blue_mask) != (
                    0xFF0000, 0xFF00, 0xFF):
                raise RuntimeError(f"unexpected pixel layout: {shown.bits_per_pixel} bits per pixel")
            raw = ctypes.string_at(shown.data, shown.bytes_per_line * height)
            rgb = bytearray()
            for y in range(height):
                row = raw[y * shown.bytes_per_line:y * shown.bytes_per_line + width * 4]
                # Each pixel is B, G, R, unused in memory (least significant byte first).
                for x in range(0, width * 4, 4):
                    rgb += bytes((row[x + 2], row[x + 1], row[x]))
            return Screenshot(left, top, width, height, bytes(rgb))
        finally:
            xlib.XDestroyImage(image)
    finally:
        xlib.XCloseDisplay(connection)
