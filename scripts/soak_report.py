#!/usr/bin/env python3
"""Checks and summarises one run of scripts/soak.sh; exits 1 when a check fails.

The simulator's journal lists every request of the USB channel with the number of
the connection it came on ("request code=0x222405 in=12 out=0 conn=3"), and after
each request what the instrument did with it ("read at=...", "write at=...",
"controller-command ...", "refused ..."). One exchange of the controller protocol
is a 12-byte request block (0x222405), for a write its data (0x222405 again), and
the reply read (0x222402); a descriptor read (0x22240C) is an exchange of its own.
Two processes interleave when a request of another connection arrives while an
exchange is open. The one legitimate case is an owner killed mid-exchange: its
connection never speaks again (abandoned). An abandoned write block is then a
trap: the instrument takes the next request, whoever sends it, as the data.
"""
import argparse
import math
import re
import sys
from dataclasses import dataclass, field

MUTEX_WAIT_MS = 4000
SEND, RECEIVE = 0x222405, 0x222402
DESCRIPTORS = (0x22240C, 0x222004)
REQUEST = re.compile(r"request code=0x([0-9A-F]+) in=(\d+) out=(\d+)(?: conn=(\d+))?")


# ---------------------------------------------------------------- journal

@dataclass
class JournalCheck:
    requests: int = 0
    exchanges: int = 0
    interleaved: list = field(default_factory=list)   # line numbers
    abandoned: dict = field(default_factory=dict)     # phase -> count
    swallowed: list = field(default_factory=list)     # line numbers
    refused: dict = field(default_factory=dict)       # reason -> count
    refused_last: int = 0  # refusals of a connection's very last request
    unnumbered: int = 0

    def failures(self):
        problems = []
        if self.interleaved:
            problems.append(f"{len(self.interleaved)} interleaved exchanges (first at line {self.interleaved[0]})")
        if self.swallowed:
            problems.append(f"{len(self.swallowed)} requests taken as a dead owner's write data "
                            f"(first at line {self.swallowed[0]})")
        if self.refused:
            problems.append(f"{sum(self.refused.values())} requests refused by the instrument")
        if self.unnumbered:
            problems.append(f"{self.unnumbered} requests without a connection number")
        if self.exchanges == 0:
            problems.append("no exchange in the journal")
        return problems


def read_journal(path):
    entries = []  # (line number, request tuple or None, text)
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            m = REQUEST.match(line)
            request = (int(m.group(1), 16), int(m.group(2)), int(m.group(4) or 0)) if m else None
            entries.append((number, request, line))
    return entries


def last_request_of_each_connection(entries):
    last = {}
    for index, (_, request, _) in enumerate(entries):
        if request:
            last[request[2]] = index
    return last


class ExchangeTracker:
    """Follows the open exchange through the journal: owner and phase."""

    def __init__(self, entries, check):
        self.entries, self.check = entries, check
        self.last = last_request_of_each_connection(entries)
        self.owner = None
        self.phase = None  # "block" (kind not seen yet), "data" (write awaits data), "reply"
        self.last_request = (-1, 0)  # index and connection of the latest request

    def run(self):
        for index, (number, request, text) in enumerate(self.entries):
            if request is None:
                self.on_event(text)
            else:
                self.on_request(index, number, *request)

    def on_event(self, text):
        if text.startswith("refused "):
            index, conn = self.last_request
            if self.last.get(conn) == index:
                # A killed process's last request, still in flight when the next
                # owner had started afresh: nobody waits for its answer. (Were a
                # living process's last call refused, its own log shows the failure.)
                self.check.refused_last += 1
            else:
                reason = re.sub(r"^refused at=\S+ len=\d+ ?", "", text) or "no reason given"
                self.check.refused[reason] = self.check.refused.get(reason, 0) + 1
        if self.phase == "block" and text.startswith(("read at=", "controller-command", "refused ")):
            self.phase = "reply"

    def on_request(self, index, number, code, _length, conn):
        self.check.requests += 1
        self.last_request = (index, conn)
        if conn == 0:
            self.check.unnumbered += 1
        if self.phase == "block":
            self.phase = "data"  # nothing followed the block: it announced a write
        if self.owner is not None and conn != self.owner:
            self.other_connection(index, number)
        if code in DESCRIPTORS:
            self.close()
            self.check.exchanges += 1
        elif code == SEND and self.owner == conn and self.phase == "data":
            self.phase = "reply"
        elif code == SEND:
            self.owner, self.phase = conn, "block"
            self.check.exchanges += 1
        elif code == RECEIVE:
            self.close()

    def other_connection(self, index, number):
        if self.last.get(self.owner, -1) > index:
            self.check.interleaved.append(number)
        else:
            self.check.abandoned[self.phase] = self.check.abandoned.get(self.phase, 0) + 1
            following = self.entries[index + 1][2] if index + 1 < len(self.entries) else ""
            if self.phase == "data" and following.startswith(("write at=", "flash-write")):
                self.check.swallowed.append(number)
        self.close()

    def close(self):
        self.owner, self.phase = None, None


def check_journal(path):
    check = JournalCheck()
    ExchangeTracker(read_journal(path), check).run()
    return check


# ---------------------------------------------------------------- call logs

@dataclass
class CallLog:
    name: str
    calls: list = field(default_factory=list)  # (op, ms, ok)
    end: dict = field(default_factory=dict)
    status: int = 0

    @property
    def failures(self):
        return [c for c in self.calls if not c[2]]

    def times(self):
        return sorted(c[1] for c in self.calls)


def read_call_log(name, path, status=0):
    log = CallLog(name, status=status)
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                parts = line.split()
                if line.startswith("# end"):
                    log.end = {k: int(v) for k, v in (p.split("=") for p in parts[2:])}
                elif len(parts) == 3 and not line.startswith("#"):
                    log.calls.append((parts[0], int(parts[1]) / 1000.0, parts[2] == "1"))
    except FileNotFoundError:
        pass
    return log


def percentile(sorted_values, p):
    if not sorted_values:
        return 0.0
    return sorted_values[min(len(sorted_values) - 1, math.ceil(p / 100.0 * len(sorted_values)) - 1)]


def failures_by_op(log):
    counts = {}
    for op, _, _ in log.failures:
        counts[op] = counts.get(op, 0) + 1
    return ", ".join(f"{op} {n}" for op, n in sorted(counts.items()))


# ---------------------------------------------------------------- leaks

def leak_problems(workers, shm_new, mutex_object, soak_name, sim_fds):
    problems = []
    for w in workers:
        e = w.end
        if not e:
            problems.append(f"{w.name}: no end line (it did not finish)")
            continue
        if e["fds_connected"] != e["fds_looped"]:
            problems.append(f"{w.name}: descriptors {e['fds_connected']} connected, {e['fds_looped']} at the end")
        if e["fds_before"] != e["fds_closed"]:
            problems.append(f"{w.name}: descriptors {e['fds_before']} before, {e['fds_closed']} after closing")
        if not e["threads_before"] == e["threads_connected"] == e["threads_looped"] == e["threads_closed"]:
            problems.append(f"{w.name}: threads {e['threads_before']}/{e['threads_connected']}/"
                            f"{e['threads_looped']}/{e['threads_closed']}")
    ours = [o for o in shm_new if o.startswith(soak_name)]
    stray = [o for o in ours if o != mutex_object]
    if stray:
        problems.append("stray shared-memory objects: " + " ".join(stray))
    if mutex_object not in ours:
        problems.append(f"the mutex object {mutex_object} was never created (process-local fallback?)")
    if sim_fds[0] != sim_fds[1]:
        problems.append(f"simulator descriptors {sim_fds[0]} at the start, {sim_fds[1]} at the end")
    return problems


# ---------------------------------------------------------------- report

def print_table(rows):
    widths = [max(len(str(r[i])) for r in rows) for i in range(len(rows[0]))]
    for k, row in enumerate(rows):
        print("  ".join(str(c).rjust(w) if i else str(c).ljust(w) for i, (c, w) in enumerate(zip(row, widths))))
        if k == 0:
            print("  ".join("-" * w for w in widths))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--seconds", type=int, required=True)
    ap.add_argument("--journal", required=True)
    ap.add_argument("--solo", required=True)
    ap.add_argument("--worker", action="append", default=[], help="NAME=LOG=EXIT_STATUS")
    ap.add_argument("--holder", required=True)
    ap.add_argument("--kills", type=int, required=True)
    ap.add_argument("--shm-new", required=True)
    ap.add_argument("--mutex-object", required=True)
    ap.add_argument("--soak-name", required=True)
    ap.add_argument("--sim-fds", type=int, nargs=2, required=True)
    a = ap.parse_args()

    solo = read_call_log("solo", a.solo)
    own_work_ms = max(solo.times(), default=0.0)
    limit_ms = MUTEX_WAIT_MS + own_work_ms
    workers = []
    for worker in a.worker:
        name, path, status = worker.split("=")
        workers.append(read_call_log(name, path, int(status)))
    holder = read_call_log("holder", a.holder)
    with open(a.shm_new, encoding="utf-8") as f:
        shm_new = [line.strip() for line in f if line.strip()]

    failed = []
    rows = [("process", "calls", "failures", "max ms", "(slowest)", "p99 ms", "p50 ms", "exit")]
    for log in [solo, *workers, holder]:
        t = log.times()
        exit_text = "killed x%d" % a.kills if log is holder else str(log.status)
        slowest = max(log.calls, key=lambda c: c[1])[0] if log.calls else "-"
        rows.append((log.name, len(log.calls), len(log.failures), f"{t[-1] if t else 0:.1f}", slowest,
                     f"{percentile(t, 99):.1f}", f"{percentile(t, 50):.2f}", exit_text))
        if log.failures:
            failed.append(f"{log.name}: {len(log.failures)} calls failed ({failures_by_op(log)})")
        if t and t[-1] > limit_ms:
            failed.append(f"{log.name}: a call took {t[-1]:.0f} ms, over {limit_ms:.0f} ms")
    for w in workers:
        if w.status != 0:
            failed.append(f"{w.name}: exit status {w.status}" + (" (hung: killed by the time-out)"
                                                                 if w.status in (124, 137) else ""))
        if not w.calls:
            failed.append(f"{w.name}: made no calls")

    journal = check_journal(a.journal)
    journal_problems = journal.failures()
    leaks = leak_problems(workers, shm_new, a.mutex_object, a.soak_name, a.sim_fds)
    failed += journal_problems + leaks

    print(f"\nTwo-process soak, {a.seconds} s (call limit: {MUTEX_WAIT_MS} ms wait + {own_work_ms:.1f} ms "
          f"longest solo call = {limit_ms:.0f} ms)\n")
    print_table(rows)
    abandoned = ", ".join(f"{n} awaiting {p}" for p, n in sorted(journal.abandoned.items())) or "none"
    print(f"\njournal: {journal.requests} requests, {journal.exchanges} exchanges, "
          f"{len(journal.interleaved)} interleaved, abandoned by killed owners: {abandoned}, "
          f"taken as dead owner's write data: {len(journal.swallowed)}, refused: {sum(journal.refused.values())} "
          f"(and {journal.refused_last} of a connection's last request)"
          + (" (" + ", ".join(f"{r}: {n}" for r, n in journal.refused.items()) + ")" if journal.refused else ""))
    print("journal check: " + ("ok" if not journal_problems else "FAILED: " + "; ".join(journal_problems)))
    for w in workers:
        e = w.end
        if e:
            print(f"{w.name}: descriptors {e['fds_before']} before, {e['fds_connected']} connected, "
                  f"{e['fds_looped']} at the end, {e['fds_closed']} closed; threads {e['threads_before']}/"
                  f"{e['threads_connected']}/{e['threads_looped']}/{e['threads_closed']}")
    print(f"simulator descriptors: {a.sim_fds[0]} at the start, {a.sim_fds[1]} at the end")
    others = [o for o in shm_new if not o.startswith(a.soak_name)]
    print("new shared-memory objects: " + (" ".join(o for o in shm_new if o.startswith(a.soak_name)) or "none")
          + (f" (and {len(others)} of other processes on this machine, not counted)" if others else ""))
    print("leak check: " + ("ok" if not leaks else "FAILED: " + "; ".join(leaks)))
    print("\nresult: " + ("PASS" if not failed else "FAIL"))
    for problem in failed:
        print("  - " + problem)
    return 0 if not failed else 1


if __name__ == "__main__":
    sys.exit(main())
