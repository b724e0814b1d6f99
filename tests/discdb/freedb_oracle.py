#!/usr/bin/python3
"""An independent computation of the disc identifiers from READ TOC replies
(format 0, MSF), straight from their definitions:
- freedb disc id: (sum over the tracks of the digit sums of their start
  seconds) mod 255 in the top byte, lead-out second minus first track second
  in the middle two bytes, last track number in the low byte; start seconds
  are minutes * 60 + seconds of the address;
- query text: track count, each track's start in frames, lead-out second;
- PID: sum of the packed start addresses (M << 16 | S << 8 | F) of the audio
  tracks, 16 upper-case hex digits.
For every file named on the command line prints one line:
  name discid pid libdiscid-id|- query..."""
import os
import sys

try:
    import libdiscid
except ImportError:  # the second opinion is optional
    libdiscid = None


def digit_sum(n):
    return sum(int(c) for c in str(n)) if n > 0 else 0


def main():
    for path in sys.argv[1:]:
        data = open(path, "rb").read()
        data = data + bytes(max(0, 804 - len(data)))
        first, last = data[2], data[3]
        desc = [data[4 + 8 * i: 12 + 8 * i] for i in range(100)]
        tracks = desc[:last]
        lead = desc[last]
        sec = lambda d: d[5] * 60 + d[6]
        frames = lambda d: sec(d) * 75 + d[7]
        n = sum(digit_sum(sec(d)) for d in tracks)
        t = sec(lead) - sec(desc[0])
        discid = "%08x" % (((n % 255) << 24) | (t << 8) | last)
        pid = "%016X" % sum((d[5] << 16) | (d[6] << 8) | d[7] for d in tracks if not d[1] & 4)
        query = " ".join([str(last)] + [str(frames(d)) for d in tracks] + [str(sec(lead))])
        other = "-"
        if libdiscid is not None and last >= 1:
            try:
                disc = libdiscid.put(first, last, frames(lead), [frames(d) for d in tracks])
                other = disc.freedb_id
            except Exception:
                other = "-"
        name = os.path.splitext(os.path.basename(path))[0]
        print(name, discid, pid, other, query)


main()
