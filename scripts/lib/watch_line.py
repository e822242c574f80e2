#!/usr/bin/env python3
"""Prints each change of the TXD line as it reaches a port, read from the outside: from the
break ioctls that strace -f -ttt -y writes for the program (TIOCSBRK raises the line,
TIOCCBRK lowers it). With --log it also prints the service's event-log entries, which Wine
writes under WINEDEBUG=+eventlog, in the words of the service's message table.
Runs until killed.
    watch_line.py TRACE "COM1=/dev/pts/3 ..." [--log OUTPUT MESSAGES.mc]
"""
import re
import sys
import time

PERIOD_S = 60.5
BREAK = re.compile(r"^\d+ +([0-9.]+) ioctl\(\d+<([^>]*)>, (TIOC[SC]BRK)(.*)")
ENTRY = re.compile(r"ReportEventW \((?:[^,]*,){3}0x([0-9a-fA-F]+),")
STRING = re.compile(r'L"(.*)"')


def clock(seconds):
    return time.strftime("%H:%M:%S", time.localtime(seconds)) + f".{int(seconds * 1000) % 1000:03d}"


def messages(mc_path):
    """Message number -> (severity, English text) from the message compiler's source."""
    table, number, severity, lines = {}, None, "", None
    for line in open(mc_path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.startswith("MessageId="):
            number = int(line.split("=", 1)[1])
        elif line.startswith("Severity="):
            severity = line.split("=", 1)[1].lower()
        elif line.startswith("Language="):
            lines = []
        elif line == "." and lines is not None:
            table[number] = (severity, lines[-1] if lines else "")
            lines = None
        elif lines is not None:
            lines.append(line)
    return table


class Follower:
    """The lines a growing file gets, as they come."""

    def __init__(self, path):
        self.path, self.offset, self.partial = path, 0, ""

    def new_lines(self):
        try:
            with open(self.path, encoding="utf-8", errors="replace") as file:
                file.seek(self.offset)
                text = file.read()
                self.offset = file.tell()
        except FileNotFoundError:
            return []
        text, self.partial = self.partial + text, ""
        lines = text.split("\n")
        self.partial = lines.pop()
        return lines


def main():
    trace, mapping = sys.argv[1], sys.argv[2]
    ports = {}
    for pair in mapping.split():
        name, device = pair.split("=", 1)
        ports[device] = name
    log = table = None
    if len(sys.argv) > 3 and sys.argv[3] == "--log":
        log, table = Follower(sys.argv[4]), messages(sys.argv[5])
    breaks = Follower(trace)
    raised_at = {}
    entry = None  # (number, strings, when seen) of a log entry whose strings may still come
    while True:
        for line in breaks.new_lines():
            match = BREAK.match(line)
            if not match or match.group(2) not in ports:
                continue
            at, port, call, rest = float(match.group(1)), ports[match.group(2)], match.group(3), match.group(4)
            failed = "= -1" in rest
            if call == "TIOCSBRK":
                raised_at[port] = at
                print(f"{clock(at)}  {port}  {'raise FAILED' if failed else 'raised'}", flush=True)
                continue
            rise = raised_at.pop(port, None)
            width = f" ({(at - rise) * 1000:.0f} ms)" if rise is not None else ""
            due = f", next rise at {clock(rise + PERIOD_S)}" if rise is not None else ""
            print(f"{clock(at)}  {port}  {'lower FAILED' if failed else 'lowered'}{width}{due}", flush=True)
        for line in log.new_lines() if log else []:
            string = STRING.search(line)
            if entry is not None and string and "ReportEventW (" not in line:
                entry[1].append(string.group(1))
                continue
            if entry is not None:
                print_entry(table, *entry[:2])
                entry = None
            match = ENTRY.search(line)
            if match:
                entry = (int(match.group(1), 16) & 0xFFFF, [], time.monotonic())
        # Wine writes an entry's strings on lines of their own, right after it.
        if entry is not None and time.monotonic() - entry[2] > 0.2:
            print_entry(table, *entry[:2])
            entry = None
        time.sleep(0.05)


def print_entry(table, number, strings):
    severity, text = table.get(number, ("?", f"message {number}"))
    for index, value in enumerate(strings, start=1):
        text = text.replace(f"%{index}", value)
    print(f"{clock(time.time())}  log   {severity} {number}: {text}", flush=True)


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
