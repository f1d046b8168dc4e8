#!/usr/bin/python3
"""The load figures of docs/load.md, drawn from parlo-load's JSON files.

  plot_figures.py [DIR]               draws DIR/login_cpu.png and DIR/relay_cpu.png
  plot_figures.py --relay-summary DIR prints the relay figures and their ratio

DIR (docs/figures by default) holds the files written by
bench/relay_floor.sh (relay-TARGET-MODE-N.json, relay-runs.txt) and by
tools/load/login_curve.sh (login-BROADCAST-USERS-N.json). Drawing needs
Debian's python3-matplotlib; the summary needs nothing but Python.
"""
import glob
import json
import os
import re
import statistics
import sys

RELAY = re.compile(r"relay-(floor|real)-(closed|rate|growth)-(\d+)\.json$")
LOGIN = re.compile(r"login-(changes|full)-(\d+)-(\d+)\.json$")


def figures(path, phase):
    with open(path, encoding="utf-8") as f:
        for report in json.load(f)["phases"]:
            if report["phase"] == phase:
                return report["figures"]
    return {}


def relay_runs(folder):
    """{(target, mode): [(round, cpu_us_per_message, messages_per_s)]}"""
    runs = {}
    for path in sorted(glob.glob(os.path.join(folder, "relay-*.json"))):
        match = RELAY.search(path)
        if not match:
            continue
        target, mode, number = match.group(1), match.group(2), int(match.group(3))
        fig = figures(path, "relay")
        if "server_cpu_per_message_us" in fig:
            runs.setdefault((target, mode), []).append(
                (number, fig["server_cpu_per_message_us"], fig.get("messages_per_s", 0)))
    for values in runs.values():
        values.sort()
    return runs


def run_notes(folder):
    """{(target, mode, round): (load average, Log.txt bytes)} from relay-runs.txt."""
    notes = {}
    path = os.path.join(folder, "relay-runs.txt")
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                target, mode, number, load, log_bytes = line.split()
                notes[(target, mode, int(number))] = (float(load), int(log_bytes))
    return notes


def relay_summary(folder):
    runs = relay_runs(folder)
    notes = run_notes(folder)
    for mode in ("closed", "rate", "growth"):
        medians = {}
        for target in ("floor", "real"):
            values = runs.get((target, mode), [])
            if not values:
                continue
            medians[target] = statistics.median(v[1] for v in values)
            cells = []
            for number, cpu, rate in values:
                load, log_bytes = notes.get((target, mode, number), (0, 0))
                cells.append(f"{cpu:g} µs ({rate:,.0f}/s, load {load:g}, "
                             f"Log.txt {log_bytes / 1e6:.0f} MB)")
            print(f"{mode:7} {target:5} median {medians[target]:g} µs: " + "; ".join(cells))
        if len(medians) == 2:
            print(f"{mode:7} real / floor = {medians['real'] / medians['floor']:.2f}")


def login_runs(folder):
    """{broadcast: {users: [cpu ms per login]}}"""
    runs = {}
    for path in sorted(glob.glob(os.path.join(folder, "login-*.json"))):
        match = LOGIN.search(path)
        if not match:
            continue
        fig = figures(path, "login")
        if "server_cpu_per_login_ms" in fig:
            runs.setdefault(match.group(1), {}).setdefault(int(match.group(2)), []).append(
                fig["server_cpu_per_login_ms"])
    return runs


def draw(folder):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    runs = login_runs(folder)
    if runs:
        fig, ax = plt.subplots(figsize=(7, 4.2), dpi=100)
        for broadcast, colour in (("changes", "tab:blue"), ("full", "tab:red")):
            by_users = runs.get(broadcast, {})
            if not by_users:
                continue
            users = sorted(by_users)
            for n in users:
                ax.scatter([n] * len(by_users[n]), by_users[n], color=colour, s=14, alpha=0.5)
            ax.plot(users, [statistics.median(by_users[n]) for n in users], color=colour,
                    marker="o", label=f"--broadcast {broadcast} (median of the runs)")
        ax.set_yscale("log")
        ax.set_xlabel("users logging in (10 contacts each, 8 at a time)")
        ax.set_ylabel("server CPU per login (ms)")
        ax.set_title("Login storm: server CPU time per login")
        ax.grid(True, which="both", alpha=0.3)
        ax.legend()
        fig.tight_layout()
        fig.savefig(os.path.join(folder, "login_cpu.png"))
        plt.close(fig)

    relay = relay_runs(folder)
    notes = run_notes(folder)
    if relay:
        fig, (left, right) = plt.subplots(1, 2, figsize=(10, 4.2), dpi=100)
        colours = {"floor": "tab:green", "real": "tab:blue"}
        modes = [("closed", "closed loop\n(8 in flight per sender)"),
                 ("rate", "2,000 messages/s")]
        width = 0.35
        for k, (mode, caption) in enumerate(modes):
            for j, target in enumerate(("floor", "real")):
                values = [v[1] for v in relay.get((target, mode), [])]
                if not values:
                    continue
                x = k + (j - 0.5) * width
                left.bar(x, statistics.median(values), width, color=colours[target],
                         label=target if k == 0 else None)
                left.scatter([x] * len(values), values, color="black", s=10, zorder=3)
        left.set_xticks(range(len(modes)), [caption for _, caption in modes])
        left.set_ylabel("server CPU per delivered message (µs)")
        left.set_title("Relay: floor and real server")
        left.legend(title="bars: median; dots: runs")
        left.grid(True, axis="y", alpha=0.3)
        # Chunk n of either target is drawn at the size Log.txt had at the
        # start of the real server's chunk n (the floor writes no log).
        size_of_chunk = {n: notes.get(("real", "growth", n), (0, 0))[1] / 1e6
                         for n, _, _ in relay.get(("real", "growth"), [])}
        for target in ("floor", "real"):
            values = [v for v in relay.get((target, "growth"), []) if v[0] in size_of_chunk]
            if values:
                right.plot([size_of_chunk[v[0]] for v in values], [v[1] for v in values],
                           marker="o", color=colours[target], label=target)
        right.set_xlabel("Log.txt size at the start of the run (MB)")
        right.set_ylabel("server CPU per delivered message (µs)")
        right.set_title("Closed loop as Log.txt grows (one server)")
        right.set_ylim(bottom=0)
        right.grid(True, alpha=0.3)
        right.legend()
        fig.tight_layout()
        fig.savefig(os.path.join(folder, "relay_cpu.png"))
        plt.close(fig)


def main(args):
    if len(args) == 2 and args[0] == "--relay-summary":
        relay_summary(args[1])
        return 0
    if len(args) > 1 or (args and args[0].startswith("-")):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    folder = args[0] if args else os.path.join(os.path.dirname(__file__), "../../docs/figures")
    draw(folder)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
