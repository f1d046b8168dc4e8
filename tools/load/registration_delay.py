#!/usr/bin/env python3
"""Registration cost against a running Server on 127.0.0.1.

  registration_delay.py PORT [--samples N] [--burst B]

1. Registers N new accounts one after the other and prints the time from
   sending each AddNewUser to its answer (p50 and max, in ms).
2. Logs in two chat users, then sends B registrations in one write from a
   third connection and, right behind them, one Message between the chat
   users: prints how long the message took to arrive (ms), and how long the
   last registration took to be answered.

New logins carry the start time, so runs never collide.
"""
import argparse
import socket
import statistics
import time
import zlib


def frame(text):
    payload = zlib.compress(text if isinstance(text, bytes) else text.encode())
    return str(len(payload)).encode() + b":" + payload


def record(login, password="pw"):
    fields = [zlib.compress(login.encode()), zlib.compress(password.encode()),
              b"Prenom", b"Nom", b"x@example.org"]
    header = b"".join(str(len(f)).encode() + b":" for f in fields)
    return header + b"".join(fields)


def register(login):
    return frame(b"AddNewUser:" + record(login))


def connect(login):
    blob_login = zlib.compress(login.encode())
    blob_pw = zlib.compress(b"pw")
    text = (b"Connect:poste:" + str(len(blob_login)).encode() + b":" +
            str(len(blob_pw)).encode() + b":" + blob_login + blob_pw)
    return frame(text)


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buffer = b""

    def send(self, data):
        self.sock.sendall(data)

    def next(self, prefix, timeout=30.0):
        deadline = time.monotonic() + timeout
        while True:
            while b":" in self.buffer:
                length, rest = self.buffer.split(b":", 1)
                size = int(length)
                if len(rest) < size:
                    break
                self.buffer = rest[size:]
                text = zlib.decompress(rest[:size]).decode(errors="replace")
                if text.startswith(prefix):
                    return text
            self.sock.settimeout(max(0.01, deadline - time.monotonic()))
            chunk = self.sock.recv(65536)
            if not chunk:
                raise RuntimeError("connection closed")
            self.buffer += chunk


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("--samples", type=int, default=20)
    parser.add_argument("--burst", type=int, default=25)
    args = parser.parse_args()
    tag = "r%x" % int(time.time() * 1000)

    client = Client(args.port)
    costs = []
    for i in range(args.samples):
        start = time.monotonic()
        client.send(register("%s_%d" % (tag, i)))
        answer = client.next("AddNewUser:")
        costs.append((time.monotonic() - start) * 1000)
        assert answer == "AddNewUser:OK", answer
    print("registration_p50_ms %.1f" % statistics.median(costs))
    print("registration_max_ms %.1f" % max(costs))

    alice, bob = Client(args.port), Client(args.port)
    for who, name in ((alice, tag + "_a"), (bob, tag + "_b")):
        who.send(register(name))
        who.next("AddNewUser:")
        who.send(connect(name))
        assert who.next("Login:") == "Login:OK"
    burst = b"".join(register("%s_burst%d" % (tag, i)) for i in range(args.burst))
    text = "ping"
    message = "Message:%d:%s:1:%s:%s" % (len(text), tag + "_a", tag + "_b", text)
    start = time.monotonic()
    client.send(burst)
    alice.send(frame(message))
    bob.next("Message:")
    delay = (time.monotonic() - start) * 1000
    for _ in range(args.burst):
        client.next("AddNewUser:")
    burst_ms = (time.monotonic() - start) * 1000
    print("chat_delay_behind_%d_registrations_ms %.1f" % (args.burst, delay))
    print("burst_of_%d_answered_ms %.1f" % (args.burst, burst_ms))


if __name__ == "__main__":
    main()
