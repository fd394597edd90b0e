#!/usr/bin/env python3
"""Prints the functions of most self cost in a callgrind profile, with their
share of the profile's total; template arguments and parameter lists are left
out of the names. The profile must hold whole names (--compress-strings=no):
once its counters have been zeroed, the dump that named them is gone.

Usage: bench/callgrind_top.py PROFILE [how many, default 6]
"""
import collections
import re
import sys


def self_costs(path):
    costs, function, total, call_line = collections.Counter(), "", 0, False
    for line in open(path):
        if line.startswith("fn="):
            function = line[3:].strip()
        elif line.startswith("summary:"):
            total = int(line.split()[1])
        elif line.startswith("calls="):
            call_line = True
        elif line[:1].isdigit() or line[:1] in "+-*":
            # The line after calls= is the call's inclusive cost, not the caller's own.
            if not call_line:
                costs[function] += int(line.split()[1])
            call_line = False
    return costs, total


def short(name):
    name = name.replace("(anonymous namespace)::", "")
    while re.search(r"<[^<>]*>", name):
        name = re.sub(r"<[^<>]*>", "", name)
    # A deduced return type, "decltype (...) name(...)", goes with its parentheses.
    while name.startswith("decltype ("):
        depth, at = 0, len("decltype ")
        for at in range(at, len(name)):
            depth += {"(": 1, ")": -1}.get(name[at], 0)
            if depth == 0:
                break
        name = name[at + 1:].lstrip()
    return re.sub(r"\(.*", "", name)


def main():
    costs, total = self_costs(sys.argv[1])
    for function, cost in costs.most_common(int(sys.argv[2]) if len(sys.argv) > 2 else 6):
        print(f"    {100 * cost / max(total, 1):5.1f} %  {short(function)}")


if __name__ == "__main__":
    main()
