#!/usr/bin/env python3
"""Runs the mutants of an earlier mutation log again on today's code.

A seed picks its sample from all possible mutants, so once the code grows the same seed picks others. To compare
the tests before and after a change on the same faults, this takes the mutants a log lists (file, line text and
mutated text), finds each again in today's file by its text and runs the shared tool on just those. A mutant whose
line is gone is reported and not counted; one the log called invalid is tried again too.

  mutate_replay.py TOOL LOG [tool options ...]
"""
import re
import sys

LINE = re.compile(r"^\[\d+/\d+\] \w+\s+(\S+):(\d+)  (.*)  ->  (.*)  \(\d+s\)$")


def load_tool(tool_path):
    """The tool is a script without a .py name: its code runs in a namespace of its own, whose functions are used."""
    tool = {"__name__": "mutate_tool"}
    with open(tool_path, encoding="utf-8") as f:
        exec(compile(f.read(), tool_path, "exec"), tool)
    return tool


def read_log(log_path):
    """The mutants a log lists, as (file, line index, line text, mutated text)."""
    with open(log_path, encoding="utf-8", errors="surrogateescape") as f:
        found = [LINE.match(line.rstrip("\n")) for line in f]
    return [(m.group(1), int(m.group(2)) - 1, m.group(3), m.group(4)) for m in found if m]


def find_again(pool, rel, no, old, new):
    """The candidate of today's code with the same file and texts, nearest the old line; None when it is gone."""
    same = [c for c in pool if c[0] == rel and c[2].strip() == old and c[3].strip() == new]
    return min(same, key=lambda c: abs(c[1] - no)) if same else None


def main():
    tool_path, log_path, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
    tool = load_tool(tool_path)
    wanted = read_log(log_path)
    every = tool["candidates"]

    def listed(repo, paths, excludes):
        pool = every(repo, paths, excludes)
        chosen = []
        for rel, no, old, new in wanted:
            c = find_again(pool, rel, no, old, new)
            if c is None:
                print(f"gone     {rel}:{no + 1}  {old}", flush=True)
                continue
            chosen.append(c)
        return chosen

    tool["candidates"] = listed
    # The tool shuffles the pool it is given; the order does not change any verdict.
    sys.argv = [tool_path, "-n", str(len(wanted))] + rest
    tool["main"]()


if __name__ == "__main__":
    main()
