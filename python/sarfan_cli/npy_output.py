"""`sarfan encode-file --format npy`: every line's ids into PREFIX.ids.npy (uint32) and the
rows' bounds into PREFIX.offsets.npy (int64, lines + 1), for pretraining pipelines.

Both files are written as they go, chunk after chunk, with a header of fixed size that is
rewritten with the final length at the end: memory stays bounded by one chunk whatever the
input's size. NumPy is not needed to write them (numpy.load reads them, mmap_mode too)."""
import array
import sys

HEADER_BYTES = 128  # magic, version, length and the padded dict: room for any length


def npy_header(descr, length):
    """A version 1.0 .npy header of a one-dimensional array, padded to HEADER_BYTES."""
    text = f"{{'descr': '{descr}', 'fortran_order': False, 'shape': ({length},), }}"
    room = HEADER_BYTES - 10
    body = text.ljust(room - 1) + "\n"
    return b"\x93NUMPY\x01\x00" + room.to_bytes(2, "little") + body.encode("latin1")


class NpyColumn:
    """A one-dimensional .npy file of `typecode` items ('I' uint32, 'q' int64), appended to."""

    DESCR = {"I": "<u4", "q": "<i8"}

    def __init__(self, path, typecode):
        self.file = open(path, "wb")
        self.typecode = typecode
        self.length = 0
        self.file.write(npy_header(self.DESCR[typecode], 0))

    def append(self, items):
        if sys.byteorder != "little":
            items = array.array(self.typecode, items)
            items.byteswap()
        self.file.write(memoryview(items).cast("B"))
        self.length += len(items)

    def close(self):
        try:
            self.file.seek(0)
            self.file.write(npy_header(self.DESCR[self.typecode], self.length))
        finally:
            self.file.close()  # also after a failed write (a full disk), not left to the collector


def npy_paths(prefix):
    """The two files of PREFIX: ids and offsets."""
    return prefix + ".ids.npy", prefix + ".offsets.npy"


class NpyOutput:
    """Receives each chunk of lines' (ids, row_offsets) as encode_batch_ids_array gives them."""

    def __init__(self, ids_path, offsets_path):
        self.ids = NpyColumn(ids_path, "I")
        try:
            self.offsets = NpyColumn(offsets_path, "q")
        except OSError:
            self.ids.file.close()
            raise
        self.offsets.append(array.array("q", [0]))

    def write(self, ids, row_offsets):
        base = self.ids.length
        self.ids.append(ids)
        self.offsets.append(array.array("q", (base + end for end in row_offsets[1:])))

    def close(self):
        try:
            self.ids.close()
        finally:
            self.offsets.close()
