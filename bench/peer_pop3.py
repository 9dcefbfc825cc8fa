#!/usr/bin/env python3
"""The peer in Mailvane's benchmarks: a plain poplib client doing the same
POP3 commands one at a time. Prints the elapsed wall time in seconds.

    peer_pop3.py login|headers|delete|bigmail PORT [COUNT [USER]]

delete: DELE 1..COUNT one at a time, QUIT (the server removes them), then the
login again (STAT, UIDL, LIST), as the window does after a range deletion."""
import poplib
import sys
import time


def login(port, user):
    pop = poplib.POP3("127.0.0.1", port)
    pop.user(user)
    pop.pass_("bench")
    return pop


def size_list(pop):
    pop.stat()
    pop.uidl()
    pop.list()


def main():
    op, port = sys.argv[1], int(sys.argv[2])
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    user = sys.argv[4] if len(sys.argv) > 4 else "bench"
    start = time.perf_counter()
    pop = login(port, user)
    if op == "login":
        size_list(pop)
    elif op == "headers":
        for n in range(1, count + 1):
            pop.top(n, 10)
    elif op == "delete":
        for n in range(1, count + 1):
            pop.dele(n)
        pop.quit()
        pop = login(port, user)
        size_list(pop)
    elif op == "bigmail":
        pop.list(1)
        lines = pop.retr(1)[1]
        with open("peer.eml", "wb") as out:
            out.write(b"\r\n".join(lines) + b"\r\n")
    pop.quit()
    print("%.6f" % (time.perf_counter() - start))


if __name__ == "__main__":
    main()
