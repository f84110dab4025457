#!/usr/bin/env python3
"""Which test cases kill which mutants.

For each mutant an earlier mutation log lists (found again by its text in today's code, as --replay does), builds
and runs every test without stopping at the first failure, and records the test cases that failed and the assertion
lines that failed in them: one JSON line per mutant in OUT. A run that stops can be started again and goes on where
it stopped. The report reads OUT and prints the score, each test case with the number of mutants no other case kills,
and, with --without, the mutants that would survive once the named cases or assertion lines (tests/FILE:LINE) went.

  mutate_matrix.py run TOOL REPO BUILD OUT LOG [LOG ...]
  mutate_matrix.py report OUT [--without CASE|tests/FILE:LINE ...]
"""
import collections
import json
import os
import re
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mutate_replay import find_again, load_tool, read_log  # noqa: E402

FAILURE = re.compile(r"(tests/[\w/.]+\.cpp):(\d+): Failure")


def run(tool_path, repo, build, out_path, logs):
    pool = load_tool(tool_path)["candidates"](repo, ["src"], [])
    done = set()
    if os.path.exists(out_path):
        with open(out_path, encoding="utf-8") as f:
            done = {json.loads(line)["id"] for line in f}
    out = open(out_path, "a", encoding="utf-8")
    junit = os.path.join(build, "mutant-junit.xml")
    for log in logs:
        for i, (rel, no, old, new) in enumerate(read_log(log), 1):
            rec = {"id": f"{os.path.basename(log)}:{i}", "file": rel, "old": old, "new": new}
            if rec["id"] in done:
                continue
            c = find_again(pool, rel, no, old, new)
            if c is None:
                rec["verdict"] = "gone"
            else:
                rec["line"] = c[1] + 1
                rec.update(try_mutant(os.path.join(repo, rel), c, build, junit))
            out.write(json.dumps(rec) + "\n")
            out.flush()
            print(rec["id"], rec["verdict"], rec["file"], rec.get("line", ""), flush=True)
    subprocess.run(["cmake", "--build", build, "-j2"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def try_mutant(path, candidate, build, junit):
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        text = f.read()
    lines = text.split("\n")
    lines[candidate[1]] = candidate[3]
    t0 = time.time()
    try:
        with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
            f.write("\n".join(lines))
        if subprocess.run(["cmake", "--build", build, "-j2"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode != 0:
            return {"verdict": "invalid"}
        if os.path.exists(junit):
            os.remove(junit)
        # A mutant that hangs the program would take every case's time-out: the whole run is cut off instead.
        p = subprocess.Popen(["ctest", "-j2", "--timeout", "30", "--output-junit", junit], cwd=build,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            p.wait(timeout=240)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, 9)
            p.wait()
        if not os.path.exists(junit):
            return {"verdict": "killed", "failed": {"<hang>": []}, "secs": round(time.time() - t0)}
        failed = {}
        for case in ET.parse(junit).getroot().iter("testcase"):
            if case.find("failure") is not None or case.get("status") not in ("run", "passed"):
                output = case.find("system-out")
                found = FAILURE.findall(output.text or "") if output is not None else []
                failed[case.get("name")] = sorted({f"{a}:{b}" for a, b in found})
        return {"verdict": "killed" if failed else "SURVIVED", "failed": failed, "secs": round(time.time() - t0)}
    finally:
        with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
            f.write(text)


def report(out_path, without):
    with open(out_path, encoding="utf-8") as f:
        recs = [json.loads(line) for line in f]
    gone_cases = {w for w in without if ":" not in w}
    gone_lines = {w for w in without if ":" in w}

    def still_killed(rec):
        for case, lines in rec["failed"].items():
            if case in gone_cases:
                continue
            # A case that failed without an assertion line crashed or timed out: it kills whatever lines it keeps.
            if not lines or any(line not in gone_lines for line in lines):
                return True
        return False

    by_log = collections.defaultdict(lambda: [0, 0])
    alone = collections.Counter()
    for rec in recs:
        log = rec["id"].rsplit(":", 1)[0]
        if rec["verdict"] == "SURVIVED" or (rec["verdict"] == "killed" and not still_killed(rec)):
            by_log[log][1] += 1
            if rec["verdict"] == "killed":
                print(f"survives without them: {rec['file']}:{rec['line']}  {rec['old']}  ->  {rec['new']}")
        elif rec["verdict"] == "killed":
            by_log[log][0] += 1
            kept = [c for c in rec["failed"] if c not in gone_cases]
            if len(kept) == 1:
                alone[kept[0]] += 1
        elif rec["verdict"] == "gone":
            by_log[log][1] += 1
    for log, (killed, survived) in sorted(by_log.items()):
        print(f"{log}: {killed} killed of {killed + survived} ({100 * killed / max(1, killed + survived):.0f}%)")
    print("mutants only one test case kills:")
    for case, n in alone.most_common():
        print(f"  {n:3}  {case}")


if __name__ == "__main__":
    if len(sys.argv) >= 7 and sys.argv[1] == "run":
        run(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6:])
    elif len(sys.argv) >= 3 and sys.argv[1] == "report":
        report(sys.argv[2], [a for a in sys.argv[3:] if a != "--without"])
    else:
        sys.exit(__doc__)
