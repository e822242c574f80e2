#!/usr/bin/env python3
"""Holds a serial device the way another program holding it looks to anyone else: a
pseudo-terminal whose controlling end keeps it locked, so that every open of it fails
(for root as well). Puts a link to it at the given path and holds it until killed.
    hold_port.py <link>
"""
import fcntl
import os
import signal
import struct
import sys
import termios

TIOCGPTN = getattr(termios, "TIOCGPTN", 0x80045430)

link = sys.argv[1]
master = os.open("/dev/ptmx", os.O_RDWR | os.O_NOCTTY)
number = struct.unpack("I", fcntl.ioctl(master, TIOCGPTN, b"\0\0\0\0"))[0]
# No unlockpt(): the terminal stays locked to its holder.
device = f"/dev/pts/{number}"
if os.path.lexists(link):
    os.remove(link)
os.symlink(device, link)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
try:
    print(device, flush=True)
    signal.pause()
finally:
    if os.path.islink(link) and os.readlink(link) == device:
        os.remove(link)
