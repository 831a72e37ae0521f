"""Writes the installer's icon: a 32x32 32-bit picture, a camera lens on a
rounded blue square."""
import struct
import sys

SIZE = 32
pixels = []
for y in range(SIZE - 1, -1, -1):  # bottom-up rows
    for x in range(SIZE):
        dx, dy = x - 15.5, y - 15.5
        r = (dx * dx + dy * dy) ** 0.5
        corner = max(abs(dx) - 12, 0) ** 2 + max(abs(dy) - 12, 0) ** 2
        if corner > 12:
            pixels.append((0, 0, 0, 0))
        elif r < 5:
            pixels.append((40, 20, 20, 255))
        elif r < 9:
            pixels.append((230, 230, 230, 255))
        else:
            pixels.append((200, 120, 30, 255))  # BGRA: blue
image = b"".join(struct.pack("<BBBB", *p) for p in pixels)
mask = b"\0" * (SIZE * 4)  # 1 bit per pixel, rows padded to 4 bytes
header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(image) + len(mask), 0, 0, 0, 0)
data = header + image + mask
icon = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(data), 22) + data
open(sys.argv[1], "wb").write(icon)
