#!/usr/bin/python3
"""Prints the ID3 tags of a file as read by mutagen, one line per value, for the ID3 writer tests.

Lines are tab-separated: "v2raw <frame>" (every frame in file order), "v2version <version>",
"v2 <frame> <text>", "v2enc <frame> <encoding>", "v1tags <count>", "v1 <frame> <text>". A text frame holding several values gives one line per
value, so duplicated frames (which mutagen merges) show up as repeated lines.
"""
import sys

from mutagen.id3 import ID3, ID3NoHeaderError, ParseID3v1


def frame_texts(frame):
    if hasattr(frame, "url"):
        return [frame.url]
    return [str(text) for text in frame.text]


def raw_frame_ids(data):
    """The frame IDs of an ID3v2.3 tag in file order, empty frames included (mutagen drops those)."""
    if data[:3] != b"ID3" or data[3] != 3:
        return []
    size = (data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]
    body = data[10:10 + size]
    if data[5] & 0x80:
        body = body.replace(b"\xff\x00", b"\xff")
    ids, pos = [], 0
    while pos + 10 <= len(body) and body[pos:pos + 4].isalnum():
        ids.append(body[pos:pos + 4].decode("ascii"))
        pos += 10 + int.from_bytes(body[pos + 4:pos + 8], "big")
    return ids


def main(path):
    with open(path, "rb") as file:
        data = file.read()
    for frame_id in raw_frame_ids(data):
        print("v2raw\t" + frame_id)
    try:
        tag = ID3(path, translate=False, load_v1=False)
        print("v2version\t" + ".".join(str(part) for part in tag.version))
        for frame in tag.values():
            for text in frame_texts(frame):
                print(f"v2\t{frame.FrameID}\t{text}")
            if hasattr(frame, "encoding"):
                print(f"v2enc\t{frame.FrameID}\t{int(frame.encoding)}")
    except ID3NoHeaderError:
        pass
    if len(data) >= 128 and data[-128:-125] == b"TAG":
        # A second version 1 tag right before the last one means a tag was appended, not replaced.
        print("v1tags\t" + ("2" if data[-256:-253] == b"TAG" else "1"))
        for frame in ParseID3v1(data[-128:], v2_version=3).values():
            for text in frame_texts(frame):
                print(f"v1\t{frame.FrameID}\t{text}")


if __name__ == "__main__":
    main(sys.argv[1])
