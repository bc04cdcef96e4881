"""A small reader of GDSII Stream records for the tests: splits a file into
records and decodes the few data types the checks need. Independent of the
library: it follows the GDSII Stream format alone."""

import struct

# Record type numbers of the GDSII Stream format.
RECORD_NAMES = {
    0x00: "HEADER", 0x01: "BGNLIB", 0x02: "LIBNAME", 0x03: "UNITS", 0x04: "ENDLIB",
    0x05: "BGNSTR", 0x06: "STRNAME", 0x07: "ENDSTR", 0x08: "BOUNDARY", 0x09: "PATH",
    0x0A: "SREF", 0x0B: "AREF", 0x0C: "TEXT", 0x0D: "LAYER", 0x0E: "DATATYPE",
    0x0F: "WIDTH", 0x10: "XY", 0x11: "ENDEL", 0x12: "SNAME", 0x13: "COLROW",
    0x15: "NODE", 0x16: "TEXTTYPE", 0x17: "PRESENTATION", 0x19: "STRING",
    0x1A: "STRANS", 0x1B: "MAG", 0x1C: "ANGLE", 0x21: "PATHTYPE", 0x26: "ELFLAGS",
    0x2A: "NODETYPE", 0x2B: "PROPATTR", 0x2C: "PROPVALUE", 0x2D: "BOX", 0x2E: "BOXTYPE",
    0x2F: "PLEX",
}


class Record:
    """One record: name, data type and raw data bytes."""

    def __init__(self, rtype, dtype, data):
        self.name = RECORD_NAMES.get(rtype, f"0x{rtype:02X}")
        self.dtype = dtype
        self.data = data

    def ints(self):
        """The data as INT2 (data type 1, 2) or INT4 (data type 3) values."""
        if self.dtype in (1, 2):
            return list(struct.unpack(f">{len(self.data) // 2}h", self.data))
        if self.dtype == 3:
            return list(struct.unpack(f">{len(self.data) // 4}i", self.data))
        raise ValueError(f"{self.name} holds no integers")

    def real(self):
        """The first GDSII 8-byte real of the data, as a float."""
        b = self.data[:8]
        sign = -1.0 if b[0] & 0x80 else 1.0
        exponent = (b[0] & 0x7F) - 64
        mantissa = int.from_bytes(b[1:8], "big")
        return sign * mantissa / 2.0 ** 56 * 16.0 ** exponent

    def text(self):
        return self.data.rstrip(b"\0").decode("latin-1")

    def __repr__(self):
        return f"Record({self.name}, {self.data.hex()})"


def read_records(data):
    """Every record of data, in order; raises ValueError on a broken file."""
    records = []
    offset = 0
    while offset < len(data):
        if offset + 4 > len(data):
            raise ValueError(f"truncated record header at {offset}")
        length, rtype, dtype = struct.unpack(">HBB", data[offset:offset + 4])
        if length < 4 or length % 2 or offset + length > len(data):
            raise ValueError(f"bad record length {length} at {offset}")
        records.append(Record(rtype, dtype, data[offset + 4:offset + length]))
        offset += length
    return records


def element_records(data):
    """The records between the first STRNAME and the last ENDSTR."""
    records = read_records(data)
    names = [r.name for r in records]
    start = names.index("STRNAME") + 1
    end = len(names) - 1 - names[::-1].index("ENDSTR")
    return records[start:end]


def is_complete(data):
    """Whether data is a whole library: HEADER first, ENDLIB last, every
    BGNSTR closed by an ENDSTR."""
    names = [r.name for r in read_records(data)]
    return (names[:1] == ["HEADER"] and names[-1:] == ["ENDLIB"]
            and names.count("BGNSTR") == names.count("ENDSTR"))
