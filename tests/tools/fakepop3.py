#!/usr/bin/env python3
"""A one-session fake POP3 server for the scripting-host tests.

Listens on 127.0.0.1, port 0, and prints the port on the first line of standard output. Serves a
mailbox of one 120-octet message to a single client, writes each command it receives as a line
"C: COMMAND" (flushed), and exits after QUIT, when the client closes, or at its deadline.
"""
import socket
import sys
import time

DEADLINE_SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 20.0

# Exactly 120 octets, as STAT and LIST announce: the control reports progress against the size.
MESSAGE = (b"From: sender@example.org\r\n"
           b"Subject: scripted\r\n"
           b"Date: Mon, 1 Jan 2024 10:00:00 +0000\r\n"
           b"\r\n"
           b"Hello from the fake server.\r\n")
MESSAGE += b"x" * (120 - len(MESSAGE) - 2) + b"\r\n"
assert len(MESSAGE) == 120
HEADERS = MESSAGE[:MESSAGE.index(b"\r\n\r\n") + 2]


def multi_line(status, body):
    return b"+OK " + status + b"\r\n" + body + b".\r\n"


def answer(command):
    """The reply to one command line, or None after QUIT."""
    verb, _, argument = command.partition(b" ")
    verb = verb.upper()
    if verb in (b"USER", b"PASS", b"DELE", b"RSET", b"NOOP"):
        return b"+OK\r\n"
    if verb == b"STAT":
        return b"+OK 1 120\r\n"
    if verb == b"UIDL":
        return b"+OK 1 uid-0001\r\n" if argument else multi_line(b"", b"1 uid-0001\r\n")
    if verb == b"LIST":
        return b"+OK 1 120\r\n" if argument else multi_line(b"", b"1 120\r\n")
    if verb == b"TOP":
        return multi_line(b"headers", HEADERS + b"\r\n")
    if verb == b"RETR":
        return multi_line(b"120 octets", MESSAGE)
    if verb == b"QUIT":
        return None
    return b"-ERR unknown command\r\n"


def remaining():
    return max(0.1, STOP_AT - time.monotonic())


def serve(connection):
    connection.sendall(b"+OK fake POP3 server ready\r\n")
    pending = b""
    while True:
        connection.settimeout(remaining())
        data = connection.recv(4096)
        if not data:
            return
        pending += data
        while b"\r\n" in pending:
            line, pending = pending.split(b"\r\n", 1)
            print("C: " + line.decode("latin-1"), flush=True)
            reply = answer(line)
            if reply is None:
                connection.sendall(b"+OK bye\r\n")
                return
            connection.sendall(reply)


STOP_AT = time.monotonic() + DEADLINE_SECONDS


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    print(listener.getsockname()[1], flush=True)
    try:
        listener.settimeout(remaining())
        connection, _ = listener.accept()
        with connection:
            serve(connection)
    except (socket.timeout, OSError) as error:
        print("E: " + str(error), flush=True)
        return 1
    finally:
        listener.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
