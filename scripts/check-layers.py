#!/usr/bin/env python3
"""Checks the include structure of the launcher sources.

A module is a header and its source (launchcore/windows/log/diagnostic_log.{h,cpp}); module A
uses module B when a file of A includes B's header. The rules:
  - the module graph has no cycle;
  - in launchcore/windows/ a module uses only modules of its own layer or a lower one
    (base, state, log, files, messages, exit, then the features at the top of windows/);
  - Windows-free code (the top of launchcore/, servicelauncher/, setuplauncher/, natives/)
    includes no <windows.h> and nothing from a windows/ folder;
  - launchcore/ never uses the programs or the natives built on it.

  check-layers.py [ROOT]     check the tree at ROOT (default: the repository)
  check-layers.py --self-test
"""
import os
import re
import sys
import tempfile

SOURCE_ROOTS = ("launchcore", "servicelauncher", "setuplauncher", "natives")
WINDOWS_LAYERS = ("base", "state", "log", "files", "messages", "exit")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.MULTILINE)


def module_of(path):
    return os.path.splitext(path)[0]


def layer_rank(module):
    """The rank of a launchcore/windows module: its layer's index, the features above all."""
    parts = module.split("/")
    if parts[:2] != ["launchcore", "windows"]:
        return None
    if len(parts) > 3 and parts[2] in WINDOWS_LAYERS:
        return WINDOWS_LAYERS.index(parts[2])
    return len(WINDOWS_LAYERS)


def is_windows_free(module):
    parts = module.split("/")
    return parts[0] in SOURCE_ROOTS and "windows" not in parts[1:-1]


def read_sources(root):
    sources = {}
    for top in SOURCE_ROOTS:
        for directory, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if name.endswith((".h", ".cpp")):
                    full = os.path.join(directory, name)
                    with open(full, encoding="utf-8", errors="replace") as f:
                        sources[os.path.relpath(full, root).replace(os.sep, "/")] = f.read()
    return sources


def find_cycle(graph):
    """One cycle of the graph as a list of modules, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for target in sorted(graph.get(node, ())):
            if state.get(target) == "open":
                return stack[stack.index(target):] + [target]
            if target not in state:
                found = visit(target)
                if found:
                    return found
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def check(root):
    problems = []
    sources = read_sources(root)
    graph = {}
    for path, text in sources.items():
        module = module_of(path)
        graph.setdefault(module, set())
        for kind, target in INCLUDE.findall(text):
            if kind == "<":
                if target.lower() == "windows.h" and is_windows_free(module):
                    problems.append(f"{path}: Windows-free code includes <windows.h>")
                continue
            if target.split("/")[0] not in SOURCE_ROOTS:
                continue
            used = module_of(target)
            if target not in sources:
                problems.append(f"{path}: includes {target}, which does not exist")
            if used == module:
                continue
            graph[module].add(used)
            if is_windows_free(module) and not is_windows_free(used):
                problems.append(f"{path}: Windows-free code includes {target}")
            if module.startswith("launchcore/") and not used.startswith("launchcore/"):
                problems.append(f"{path}: the core includes {target} of a program built on it")
            rank, used_rank = layer_rank(module), layer_rank(used)
            if rank is not None and used_rank is not None and used_rank > rank:
                problems.append(f"{path}: includes {target} of a higher layer")
    cycle = find_cycle(graph)
    if cycle:
        problems.append("include cycle: " + " -> ".join(cycle))
    return problems


def self_test():
    """The checker must find what it is there to find."""
    trees = {
        "a cycle": {"launchcore/windows/a.cpp": '#include "launchcore/windows/b.h"\n',
                    "launchcore/windows/a.h": "",
                    "launchcore/windows/b.cpp": '#include "launchcore/windows/c.h"\n',
                    "launchcore/windows/b.h": "",
                    "launchcore/windows/c.cpp": '#include "launchcore/windows/a.h"\n',
                    "launchcore/windows/c.h": ""},
        "a lower layer using a higher one": {
                    "launchcore/windows/base/x.cpp": '#include "launchcore/windows/log/y.h"\n',
                    "launchcore/windows/base/x.h": "",
                    "launchcore/windows/log/y.h": ""},
        "Windows in portable code": {"launchcore/p.cpp": "#include <windows.h>\n"},
        "the core using a program": {"launchcore/q.cpp": '#include "setuplauncher/r.h"\n',
                                     "setuplauncher/r.h": ""},
    }
    clean = {"launchcore/windows/log/y.cpp": '#include "launchcore/windows/base/x.h"\n#include <windows.h>\n',
             "launchcore/windows/log/y.h": "", "launchcore/windows/base/x.h": "",
             "launchcore/windows/z.cpp": '#include "launchcore/windows/log/y.h"\n'}
    failures = 0
    for what, files in list(trees.items()) + [("a clean tree", clean)]:
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
                with open(os.path.join(root, path), "w") as f:
                    f.write(text)
            found = check(root)
        expected = what != "a clean tree"
        if bool(found) != expected:
            print(f"self-test: {what}: {'nothing found' if expected else found}")
            failures += 1
    print(f"{len(trees) + 1 - failures} passed, {failures} failed")
    return failures == 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return 0 if self_test() else 1
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    problems = check(root)
    for problem in problems:
        print(problem)
    print("layers: " + ("clean" if not problems else f"{len(problems)} problem(s)"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
