#!/usr/bin/python3
"""Writes the READ TOC fixtures of the disc identification tests (format 0,
MSF addresses, as a drive returns them) into the folder toc/ beside this
script. Run it again only to change the fixtures; the files are kept in git."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "toc")


def msf(frames):
    return frames // (75 * 60), (frames // 75) % 60, frames % 75


def reply(tracks, leadout, leadout_control=0, first=1):
    """tracks: list of (start frame, control); leadout: start frame."""
    body = b""
    for i, (start, control) in enumerate(tracks):
        m, s, f = msf(start)
        body += struct.pack("BBBBBBBB", 0, 0x10 | control, first + i, 0, 0, m, s, f)
    m, s, f = msf(leadout)
    body += struct.pack("BBBBBBBB", 0, 0x10 | leadout_control, 0xAA, 0, 0, m, s, f)
    last = first + len(tracks) - 1
    return struct.pack(">HBB", len(body) + 2, first, last) + body


def at(m, s, f=0):
    return (m * 60 + s) * 75 + f


def digit_sum(n):
    return sum(int(c) for c in str(n)) if n > 0 else 0


def id00():
    """Tracks whose start seconds' digit sums add up to 255: the disc id
    starts with "00"."""
    seconds = [2]
    total = digit_sum(2)
    s = 2
    while total < 255:
        s += 180
        if total + digit_sum(s) > 255:
            # close the gap with one start second of the right digit sum
            need = 255 - total
            s2 = s
            while digit_sum(s2) != need:
                s2 += 1
            s = s2
        seconds.append(s)
        total += digit_sum(s)
    assert total == 255, total
    return [(sec * 75, 0) for sec in seconds], (seconds[-1] + 200) * 75


def main():
    os.makedirs(HERE, exist_ok=True)
    files = {}
    example = [(at(0, 2), 0), (at(4, 37, 21), 0), (at(9, 5, 40), 0)]
    files["example"] = reply(example, at(13, 48, 62))
    files["example_data3"] = reply(example[:2] + [(example[2][0], 4)], at(13, 48, 62))
    files["data_first"] = reply([(at(0, 2), 4), (at(20, 0), 0), (at(24, 30, 10), 0), (at(28, 0, 5), 0)],
                                at(31, 15, 40))
    files["data_last"] = reply([(at(0, 2), 0), (at(3, 40, 12), 0), (at(7, 1, 70), 0), (at(12, 0, 0), 4)],
                               at(40, 0, 0), leadout_control=4)
    files["short_before_data"] = reply([(at(0, 2), 0), (at(1, 2), 4)], at(30, 0))
    files["single"] = reply([(at(0, 2), 0)], at(74, 33, 20))
    files["tracks99"] = reply([(at(0, 2) + i * at(0, 45, 3), 0) for i in range(99)], at(0, 2) + 99 * at(0, 45, 3))
    files["over80"] = reply([(at(0, 2), 0), (at(3, 0), 0)], at(103, 5, 33))
    tracks, leadout = id00()
    files["id00"] = reply(tracks, leadout)
    files["example_in_queue"] = reply([(at(0, 2), 0), (at(3, 10, 17), 0)], at(6, 0, 0))
    # The disc of the submission example: offsets 150 and 18930, 402 seconds.
    files["submit_example"] = reply([(at(0, 2), 0), (at(4, 12, 30), 0)], at(6, 42, 0))
    # The same with a data track after the audio tracks.
    files["submit_data_last"] = reply([(at(0, 2), 0), (at(4, 12, 30), 0), (at(5, 0, 0), 4)], at(6, 42, 0),
                                      leadout_control=4)
    files["zero"] = bytes(804)
    files["truncated"] = files["example"][:20]
    # A header that claims 255 tracks over a full-size reply.
    full = bytearray(reply([(at(0, 2) + i * 300, 0) for i in range(99)], at(0, 2) + 99 * 300))
    full[0:4] = struct.pack(">HBB", 2 + 8 * 256, 1, 255)
    files["claims255"] = bytes(full)
    files["empty"] = b""
    for name, data in files.items():
        with open(os.path.join(HERE, name + ".toc"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
