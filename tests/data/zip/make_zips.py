#!/usr/bin/env python3
"""Writes the zip files of this folder, which both zip readings are held to
(tests/package/test_zip_members.cpp on the desktop, tests/web/zip_members_test.mjs
in the page). Each NAME.zip has NAME.members, what the desktop's reading
(libzip) tells of it; NAME.page, where there is one, is what the page's
(fflate) tells instead, because fflate hands over less than libzip reads:

  encrypted_flag, wrong_check_sum  fflate says neither a member's flags nor
                                   its check sum: the bytes inflate as they are
  claims_less                      a member that unpacks to more than it says
                                   is cut at what it says, not refused
  aes_method                       libzip refuses the file (no AES field);
                                   the page sees the method and says encrypted
  no_members                       minizip cannot list an empty archive; fflate can

Run it here again only to change the files; the golden files are then
written from what each reading says, after looking at why."""

import io
import struct
import zipfile
import zlib

DEFLATED = zipfile.ZIP_DEFLATED
STORED = zipfile.ZIP_STORED
ZEROS = bytes(2 << 20)  # more than the tests' limit of 1 MiB


def archive(members, stream=False):
    """members: (name, bytes, compression) in order."""
    out = io.BytesIO()
    target = Unseekable(out) if stream else out
    with zipfile.ZipFile(target, "w") as zipped:
        for name, data, compression in members:
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 12, 0, 0))
            info.compress_type = compression
            with zipped.open(info, "w") as member:
                member.write(data)
    return bytearray(out.getvalue())


class Unseekable(io.RawIOBase):
    """A stream the zip is written to as it is made: its members then have
    their sizes after their data (a data descriptor)."""

    def __init__(self, out):
        self.out = out

    def writable(self):
        return True

    def write(self, data):
        return self.out.write(data)

    def flush(self):
        pass


def headers(data):
    """The offsets of each member's local and central headers, in order."""
    end = data.rfind(b"PK\x05\x06")
    count, = struct.unpack_from("<H", data, end + 10)
    central, = struct.unpack_from("<I", data, end + 16)
    found = []
    for _ in range(count):
        names, extra, comment = struct.unpack_from("<HHH", data, central + 28)
        local, = struct.unpack_from("<I", data, central + 42)
        found.append((local, central))
        central += 46 + names + extra + comment
    return found


def patch(data, index, local_offset, central_offset, form, value):
    """Sets one field in the member's local header and in its central one."""
    local, central = headers(data)[index]
    struct.pack_into(form, data, local + local_offset, value)
    struct.pack_into(form, data, central + central_offset, value)
    return data


DOCUMENT = b'<?xml version="1.0"?>\n<w:document xmlns:w="urn:w"><w:body/></w:document>\n'
TYPES = b'<Types xmlns="urn:t"><Default Extension="xml" ContentType="application/xml"/></Types>'
PICTURE = bytes(range(256)) * 3


def write(name, data):
    with open(name + ".zip", "wb") as file:
        file.write(data)


ordered = [
    ("[Content_Types].xml", TYPES, DEFLATED),
    ("word/document.xml", DOCUMENT, DEFLATED),
    ("word/media/image1.png", PICTURE, STORED),
    ("empty.txt", b"", DEFLATED),
    ("donn\u00e9es/\u00e9t\u00e9.xml", "<\u00e9t\u00e9/>".encode(), DEFLATED),
    ("word/document2.xml", DOCUMENT * 50, DEFLATED),
]
write("ordered", archive(ordered))
write("streamed", archive(ordered, stream=True))
write("no_members", archive([]))
with open("not_zip.zip", "wb") as file:
    file.write(b"This is a text file, not a zip file.\n")
write("cut_short", archive(ordered)[:300])

# Names the package refuses; zipfile writes two alike when told to.
write("two_alike", archive([("a.xml", b"<a/>", DEFLATED), ("b.xml", b"<b/>", DEFLATED), ("a.xml", b"<c/>", DEFLATED)]))
write("two_cased", archive([("Word/A.xml", b"<a/>", DEFLATED), ("word/a.xml", b"<b/>", DEFLATED)]))
nul = archive([("a_b.xml", b"<a/>", DEFLATED)])
write("nul_in_name", nul.replace(b"a_b.xml", b"a\0b.xml"))

# Sizes: honest and too large, or lying either way.
write("too_large", archive([("small.xml", b"<a/>", DEFLATED), ("zeros.bin", ZEROS, DEFLATED)]))
write("claims_less", patch(archive([("zeros.bin", ZEROS, DEFLATED)]), 0, 22, 24, "<I", 1000))
write("claims_more", patch(archive([("text.xml", DOCUMENT, DEFLATED)]), 0, 22, 24, "<I", len(DOCUMENT) + 100))

# Damage: a deflate stream broken in its middle, a wrong check sum.
damaged = archive([("text.xml", DOCUMENT * 20, DEFLATED)])
local, _ = headers(damaged)[0]
start = local + 30 + len("text.xml")
damaged[start:start + 8] = b"\xff" * 8
write("broken_data", damaged)
write("wrong_check_sum", patch(archive([("text.xml", DOCUMENT, DEFLATED)]), 0, 14, 16, "<I", 0x12345678))

# Encryption: the traditional flag on data that is not encrypted at all, and
# the method of AES encryption.
write("encrypted_flag", patch(archive([("text.xml", DOCUMENT, DEFLATED)]), 0, 6, 8, "<H", 1))
write("aes_method", patch(archive([("text.xml", DOCUMENT, DEFLATED)]), 0, 8, 10, "<H", 99))
