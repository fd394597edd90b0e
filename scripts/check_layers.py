#!/usr/bin/env python3
"""Checks that includes go downward only and that no modules form a cycle.

A module is a source file's path without its extension (src/accounts/login.h
and .cpp are one module). Each folder sits on a layer; a module may include
modules of its own folder and of the folders its folder lists below. It also
checks that no HTTP status is chosen in the domain folders: only the transport,
the server framework and src/api answer in HTTP.

Usage: scripts/check_layers.py [repository root]; exit status 1 on a finding.
"""
import pathlib
import re
import sys

# Each folder and the folders it may include (besides itself and utils/).
ALLOWED = {
    "utils": set(),
    "transport": set(),
    "server": {"transport"},
    "src/units": set(),
    "src/accounts": set(),
    "src/forwarder": {"src/units"},
    "src/system": {"src/units"},
    "src/api": {"server", "transport", "src/accounts", "src/forwarder", "src/units", "src/system"},
    "src/app": {"server", "transport", "src/api", "src/accounts", "src/forwarder", "src/units", "src/system"},
    "src": {"src/app"},  # main.cpp
}
# Domain code raises typed failures; picking a status is the API layer's job.
DOMAINS = ("src/accounts", "src/forwarder", "src/units", "src/system")
HTTP_STATUS = re.compile(r"\b(HttpException|raiseHttpException|newHttpException|FailureReply)\b")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(module):
    return str(pathlib.PurePosixPath(module).parent)


def modules(root):
    found = {}
    for folder in ALLOWED:
        pattern = "*.[hc]*" if folder != "src" else "main.cpp"
        for path in sorted((root / folder).glob(pattern)):
            if path.suffix in (".h", ".cpp"):
                module = str(path.relative_to(root).with_suffix(""))
                found.setdefault(module, []).append(path)
    return found


def includes_of(paths, known):
    targets = set()
    for path in paths:
        for name in INCLUDE.findall(path.read_text()):
            module = str(pathlib.PurePosixPath(name).with_suffix(""))
            if module in known:
                targets.add(module)
    return targets


def layer_findings(graph):
    findings = []
    for module, targets in sorted(graph.items()):
        mine = folder_of(module)
        for target in sorted(targets):
            theirs = folder_of(target)
            if theirs not in (mine, "utils") and theirs not in ALLOWED[mine]:
                findings.append(f"{module} includes {target}: {mine}/ may not include {theirs}/")
    return findings


def cycle_findings(graph):
    state, stack, findings = {}, [], []

    def visit(module):
        state[module] = "open"
        stack.append(module)
        for target in sorted(graph.get(module, ())):
            if target == module:
                continue
            if state.get(target) == "open":
                findings.append("cycle: " + " -> ".join(stack[stack.index(target):] + [target]))
            elif target not in state:
                visit(target)
        stack.pop()
        state[module] = "done"

    for module in sorted(graph):
        if module not in state:
            visit(module)
    return findings


def status_findings(found):
    findings = []
    for module, paths in sorted(found.items()):
        if folder_of(module) not in DOMAINS:
            continue
        for path in paths:
            for number, line in enumerate(path.read_text().splitlines(), 1):
                if HTTP_STATUS.search(line):
                    findings.append(f"{path}:{number}: domain code answers in HTTP: {line.strip()}")
    return findings


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = modules(root)
    graph = {module: includes_of(paths, found) for module, paths in found.items()}
    findings = layer_findings(graph) + cycle_findings(graph) + status_findings(found)
    for finding in findings:
        print(finding)
    print(f"{len(found)} modules checked, {len(findings)} findings")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
