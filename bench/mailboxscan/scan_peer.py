#!/usr/bin/env python3
"""The peer of scan_client: the same POP3 commands with Python's poplib, the same files, and
the same case-insensitive line check. Usage: scan_peer.py HOST PORT USER PASS FOLDER DEFS"""
import os
import poplib
import sys


def definitions(path):
    with open(path, "rb") as f:
        text = f.read().replace(b"\r\n", b"\n").replace(b"\r", b"\n")
    return [line.lower() for line in text.split(b"\n") if line]


def main():
    host, port, user, password, folder, defs_path = sys.argv[1:7]
    pop = poplib.POP3(host, int(port), timeout=10)
    pop.user(user)
    pop.pass_(password)
    count, _ = pop.stat()
    hits = 0
    for n in range(1, count + 1):
        pop.uidl(n)
        pop.list(n)
        pop.top(n, 0)
        _, lines, _ = pop.retr(n)
        path = os.path.join(folder, "msg%d.txt" % n)
        with open(path, "wb") as f:
            f.write(b"\r\n".join(lines))
        defs = definitions(defs_path)
        with open(path, "rb") as f:
            content = f.read().replace(b"\r\n", b"\r").split(b"\r")
        for d in defs:
            for line in content:
                if d in line.lower():
                    hits += 1
    pop.quit()
    print("hits %d" % hits)


if __name__ == "__main__":
    main()
