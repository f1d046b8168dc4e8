#!/usr/bin/env python3
"""Hostile peers against a running Server on 127.0.0.1, one attack a run.

  attacks.py PORT ATTACK [--pid PID] [--dir DIR] [--seconds S] [--count N]

ATTACK is one of:
  stored    N (default 1000) stored commands of 8 KB for one offline user,
            then the user logs in: how many were stored and delivered, the
            size of UserDB.dat, whether the login stayed up.
  idle      N (default 20000) idle connections from 127.0.0.2: how many the
            server kept, and the time a fresh user from 127.0.0.1 needs to
            register and log in meanwhile.
  burst     N (default 500) connections from several 127.x addresses each
            send one 60 KB burst of frames, then idle: server RSS per
            connection (needs --pid).
  finduser  one FindUser that matches many accounts, then 50 connections
            sending FindUser for S seconds: bytes of Log.txt per FindUser and
            in all (needs --dir; the accounts must exist: "load" logins from
            parlo-load-userdb).
  guess     wrong passwords for one login for S seconds, from one connection
            then from 50 (reconnecting when closed): checks per second.

Each run prints "name value" lines. New logins carry the start time, so runs
never collide.
"""
import argparse
import os
import random
import socket
import time
import zlib

from registration_delay import Client, connect, frame, record, register


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def connection_from(source, port):
    sock = socket.socket()
    sock.bind((source, 0))
    sock.connect(("127.0.0.1", port))
    return sock


def wrong_connect(login, password):
    blob_login = zlib.compress(login.encode())
    blob_pw = zlib.compress(password.encode())
    return frame(b"Connect:poste:" + str(len(blob_login)).encode() + b":" +
                 str(len(blob_pw)).encode() + b":" + blob_login + blob_pw)


def account(port, login):
    client = Client(port)
    client.send(register(login))
    assert client.next("AddNewUser:") == "AddNewUser:OK"
    return client


def fresh_user_ms(port, tag):
    start = time.monotonic()
    client = account(port, tag + "_fresh")
    client.send(connect(tag + "_fresh"))
    assert client.next("Login:") == "Login:OK"
    return (time.monotonic() - start) * 1000


def stored(args, tag):
    flooder = account(args.port, tag + "_f")
    victim = tag + "_v"
    account(args.port, victim).sock.close()
    rng = random.Random(1)
    for k in range(args.count):
        text = "Leave:%s_f:%s!%d!" % (tag, victim, k)
        text += "".join(rng.choice("abcdefghij") for _ in range(8000 - len(text)))
        flooder.send(frame(text))
    flooder.send(frame("GetState:" + victim))
    flooder.next(victim + ":", 120)
    time.sleep(1.5)  # the delayed save of stored commands
    if args.dir:
        print("userdb_kib %d" % (os.path.getsize(os.path.join(args.dir, "UserDB.dat")) // 1024))
    start = time.monotonic()
    client = Client(args.port)
    client.send(connect(victim))
    assert client.next("Login:") == "Login:OK"
    delivered = 0
    try:
        while True:
            client.next("Leave:", 2)
            delivered += 1
    except (socket.timeout, TimeoutError):
        pass
    print("stored_commands_sent %d" % args.count)
    print("delivered_at_login %d" % delivered)
    print("replay_s %.2f" % (time.monotonic() - start - 2))
    client.send(frame("GetState:" + victim))
    print("login_kept %s" % (client.next(victim + ":", 5) == victim + ":0"))


def idle(args, tag):
    sockets = []
    for _ in range(args.count):
        try:
            sockets.append(connection_from("127.0.0.2", args.port))
        except OSError:
            break
    time.sleep(1)
    kept = 0
    for sock in sockets:
        sock.setblocking(False)
        try:
            kept += sock.recv(1 << 16) != b""
        except BlockingIOError:
            kept += 1
    print("idle_connections_opened %d" % len(sockets))
    print("idle_connections_kept %d" % kept)
    print("fresh_user_ms %.1f" % fresh_user_ms(args.port, tag))
    for sock in sockets:
        sock.close()


def burst(args, tag):
    noise = random.Random(2)
    # Frames no command matches: read, cut and dropped, with nothing to answer.
    big = frame("Bruit:" + "".join(noise.choice("abcdefghijklmnopqrstuvwxyz0123456789")
                                   for _ in range(8000)))
    data = b""
    while len(data) < 60000:
        data += big
    before = rss_kib(args.pid)
    sockets = []
    for k in range(args.count):
        sock = connection_from("127.0.%d.%d" % (1 + k // 60, 2 + k % 60), args.port)
        sock.sendall(data)
        sockets.append(sock)
    time.sleep(2)
    after = rss_kib(args.pid)
    print("burst_bytes_per_connection %d" % len(data))
    print("rss_per_connection_kib %.1f" % ((after - before) / len(sockets)))
    for sock in sockets:
        sock.close()


def finduser(args, tag):
    log = os.path.join(args.dir, "Log.txt")
    searcher = account(args.port, tag + "_s")
    searcher.send(connect(tag + "_s"))
    searcher.next("Login:")
    search = frame("FindUser:4:0:0:0:load")
    start_size = os.path.getsize(log)
    searcher.send(search)
    answer = searcher.next("FindUser:")
    one = os.path.getsize(log) - start_size
    print("finduser_request_bytes %d" % len(search))
    print("finduser_answer_bytes %d" % len(answer))
    print("log_bytes_per_finduser %d" % one)
    clients = []
    for k in range(50):
        login = "%s_s%d" % (tag, k)
        client = account(args.port, login)
        client.send(connect(login))
        client.next("Login:")
        clients.append(client)
    start_size = os.path.getsize(log)
    end = time.monotonic() + args.seconds
    count = 0
    while time.monotonic() < end:
        for client in clients:
            client.send(search)
        for client in clients:
            client.next("FindUser:")
        count += len(clients)
    grown = os.path.getsize(log) - start_size
    print("finduser_50_connections_requests %d" % count)
    print("finduser_50_connections_log_mb %.1f" % (grown / 1e6))


def answers_in(client):
    """Complete "Login:" answers now in the client's socket (non-blocking)."""
    try:
        chunk = client.sock.recv(65536)
    except BlockingIOError:
        return 0
    if not chunk:
        return None
    client.buffer += chunk
    count = 0
    while b":" in client.buffer:
        length, rest = client.buffer.split(b":", 1)
        if len(rest) < int(length):
            break
        client.buffer = rest[int(length):]
        count += zlib.decompress(rest[:int(length)]).startswith(b"Login:")
    return count


def guess(args, tag):
    login = tag + "_owner"
    account(args.port, login).sock.close()
    for connections in (1, 50):
        clients = []
        for _ in range(connections):
            clients.append(Client(args.port))
            clients[-1].sock.setblocking(False)
            clients[-1].send(wrong_connect(login, "guess"))
        tries = 0
        end = time.monotonic() + args.seconds
        while time.monotonic() < end:
            for k, client in enumerate(clients):
                answers = answers_in(client)
                if answers is None:  # closed after its failures: a new one
                    client.sock.close()
                    clients[k] = Client(args.port)
                    clients[k].sock.setblocking(False)
                    clients[k].send(wrong_connect(login, "guess"))
                    continue
                tries += answers
                for _ in range(answers):
                    client.send(wrong_connect(login, "guess"))
            time.sleep(0.002)
        print("guesses_per_second_%d_connections %.1f" % (connections, tries / args.seconds))
        for client in clients:
            client.sock.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("attack", choices=["stored", "idle", "burst", "finduser", "guess"])
    parser.add_argument("--pid", type=int)
    parser.add_argument("--dir")
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--count", type=int)
    args = parser.parse_args()
    defaults = {"stored": 1000, "idle": 20000, "burst": 500}
    if args.count is None:
        args.count = defaults.get(args.attack, 0)
    tag = "a%x" % int(time.time() * 1000)
    globals()[args.attack](args, tag)


if __name__ == "__main__":
    main()
