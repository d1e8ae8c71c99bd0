"""The icon generator: it makes exactly the committed res/installer.ico, whose
seven images are well-formed and drawn in the product's two colours."""
import importlib.util
import os
import struct
import unittest
import zlib
from pathlib import Path

SOURCE = Path(os.environ.get("VTF_SOURCE_DIR") or Path(__file__).resolve().parents[2])


def load_generator():
    spec = importlib.util.spec_from_file_location("make_icon", SOURCE / "tools" / "make_icon.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def decode_png(data):
    """RGBA rows of an 8-bit RGBA PNG without interlace (what the generator writes)."""
    position, idat, size = 8, b"", None
    while position < len(data):
        length, kind = struct.unpack_from(">I4s", data, position)
        body = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 6, 0)
            size = (width, height)
        elif kind == b"IDAT":
            idat += body
        position += 12 + length
    raw = zlib.decompress(idat)
    width, height = size
    stride = 1 + 4 * width
    rows = []
    for y in range(height):
        line = raw[y * stride:(y + 1) * stride]
        assert line[0] == 0, "filter type 0 expected"
        rows.append([tuple(line[1 + 4 * x:5 + 4 * x]) for x in range(width)])
    return rows


def decode_bmp(data, size):
    """RGBA rows, top first, and the AND mask bits of an icon DIB."""
    pixels = data[40:40 + 4 * size * size]
    rows = []
    for y in range(size - 1, -1, -1):
        row = pixels[4 * size * y:4 * size * (y + 1)]
        rows.append([(row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]) for x in range(size)])
    stride = ((size + 31) // 32) * 4
    mask_data = data[40 + 4 * size * size:]
    mask = []
    for y in range(size - 1, -1, -1):
        bits = mask_data[stride * y:stride * (y + 1)]
        mask.append([(bits[x // 8] >> (7 - x % 8)) & 1 for x in range(size)])
    return rows, mask


class MakeIconTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.generator = load_generator()
        cls.ico = cls.generator.build()

    def images(self):
        reserved, kind, count = struct.unpack_from("<HHH", self.ico, 0)
        self.assertEqual((reserved, kind, count), (0, 1, 7))
        for i in range(count):
            width, height, colours, _, planes, bits, length, offset = struct.unpack_from(
                "<BBBBHHII", self.ico, 6 + 16 * i)
            yield width or 256, height or 256, planes, bits, self.ico[offset:offset + length]

    def test_generator_output_is_the_committed_icon(self):
        committed = (SOURCE / "res" / "installer.ico").read_bytes()
        self.assertEqual(self.ico, committed, "run tools/make_icon.py and commit res/installer.ico")

    def test_seven_32_bit_images_from_256_down_to_16(self):
        sizes = []
        for width, height, planes, bits, data in self.images():
            sizes.append(width)
            self.assertEqual((width, planes, bits), (height, 1, 32))
            if width >= 128:
                self.assertTrue(data.startswith(b"\x89PNG\r\n\x1a\n"))
                self.assertEqual(len(decode_png(data)), width)
            else:
                self.assertEqual(struct.unpack_from("<IiiHH", data, 0), (40, width, 2 * width, 1, 32))
                self.assertEqual(len(data), 40 + 4 * width * width + ((width + 31) // 32) * 4 * width)
        self.assertEqual(sizes, [256, 128, 64, 48, 32, 24, 16])

    def test_drawn_in_the_product_colours_with_transparent_corners(self):
        background, accent = (8, 15, 29), (106, 220, 242)
        for width, _, _, _, data in self.images():
            with self.subTest(size=width):
                if data.startswith(b"\x89PNG"):
                    rows, mask = decode_png(data), None
                else:
                    rows, mask = decode_bmp(data, width)
                self.assertEqual(rows[0][0][3], 0, "the corners are transparent")
                self.assertEqual(rows[width - 1][width - 1][3], 0)
                opaque = [p for row in rows for p in row if p[3] == 255]
                self.assertIn(background, [p[:3] for p in opaque])
                self.assertIn(accent, [p[:3] for p in opaque])
                for r, g, b, _ in opaque:
                    # Every colour lies between the two colours of the design.
                    t = (g - background[1]) / (accent[1] - background[1])
                    expected = [c0 + t * (c1 - c0) for c0, c1 in zip(background, accent)]
                    self.assertLessEqual(max(abs(a - e) for a, e in zip((r, g, b), expected)), 2)
                if mask is not None:
                    for row, bits in zip(rows, mask):
                        self.assertEqual(bits, [1 if p[3] == 0 else 0 for p in row])


if __name__ == "__main__":
    unittest.main()
