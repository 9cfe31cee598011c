#!/usr/bin/env python3
"""Checks that the folders of src/ include each other in one direction only.

Every `#include "..."` of src/ is resolved first relative to the including file's
folder, then relative to src/ (the library's include directory); includes that
resolve to neither (Qt, libcurl, generated ui_*.h) are not ours and are skipped.
The includes give a graph between the folders of src/ (src/ itself is the folder
"src"). The check fails on:

  - any cycle between folders, printing the cycle and the include lines that make it
    (for each include edge on a cycle, the shortest cycle through it);
  - any include from a folder to one of a higher layer (the order below).

Usage: check-include-layers.py [SRC_DIR] [--graph]
  --graph  also prints the folder graph (who includes whom, with counts).
"""

import os
import re
import sys
from collections import defaultdict, deque

# Lowest first; a folder may include from its own layer and the ones below. Folders of
# one layer may include each other in one direction only (the cycle check sees to it).
LAYERS = [
    ["base"],        # settings, settings file, logging
    ["wire"],        # the protocol's bytes
    ["remote"],      # remote records, the list build
    ["network"],     # commands, scheduler, receivers
    ["gui"],         # icons, rich-text guard, wording of results: shared by the windows
    ["remotetree", "localtree", "dialogs"],  # models, views, dialogs
    ["src"],         # main window, start-up
]
LAYER_OF = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")


def folder_of(path, src):
    rel = os.path.relpath(os.path.dirname(path), src)
    return "src" if rel == "." else rel.replace(os.sep, "/")


def resolve(included, including_file, src):
    for base in (os.path.dirname(including_file), src):
        candidate = os.path.normpath(os.path.join(base, included))
        if os.path.isfile(candidate):
            return candidate
    return None


def collect_edges(src):
    """Returns {(from_folder, to_folder): [(file, line_number, line), ...]}."""
    edges = defaultdict(list)
    for root, _dirs, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(root, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    target = resolve(match.group(1), path, src)
                    if target is None:
                        continue
                    source_folder = folder_of(path, src)
                    target_folder = folder_of(target, src)
                    if source_folder != target_folder:
                        rel = os.path.relpath(path, os.path.dirname(src))
                        edges[(source_folder, target_folder)].append((rel, number, line.strip()))
    return edges


def find_cycles(edges):
    """For every include edge that lies on a cycle, the shortest such cycle; each once."""
    graph = defaultdict(set)
    for a, b in edges:
        graph[a].add(b)

    def shortest_path(start, goal):
        previous = {start: None}
        queue = deque([start])
        while queue:
            node = queue.popleft()
            if node == goal:
                path = []
                while node is not None:
                    path.append(node)
                    node = previous[node]
                return path[::-1]
            for nxt in sorted(graph[node]):
                if nxt not in previous:
                    previous[nxt] = node
                    queue.append(nxt)
        return None

    cycles = []
    seen = set()
    for a, b in sorted(edges):
        back = shortest_path(b, a)
        if back is None:
            continue
        cycle = [a] + back
        # The same cycle starting elsewhere is the same cycle.
        key = frozenset(zip(cycle, cycle[1:]))
        if key not in seen:
            seen.add(key)
            cycles.append(cycle)
    return cycles


def print_edge_lines(edges, a, b, out):
    for file, number, line in edges[(a, b)]:
        out.write(f"      {file}:{number}: {line}\n")


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    show_graph = "--graph" in argv
    src = os.path.abspath(args[0] if args else
                          os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src"))
    edges = collect_edges(src)
    failed = False

    if show_graph:
        print(f"folder graph of {src} (from -> to: includes)")
        for (a, b) in sorted(edges, key=lambda e: (LAYER_OF.get(e[0], -1), e)):
            print(f"  {a} -> {b}: {len(edges[(a, b)])}")

    for cycle in find_cycles(edges):
        failed = True
        print("include cycle between folders: " + " -> ".join(cycle))
        for a, b in zip(cycle, cycle[1:]):
            print(f"  {a} -> {b}:")
            print_edge_lines(edges, a, b, sys.stdout)

    unknown = sorted({f for edge in edges for f in edge if f not in LAYER_OF})
    for folder in unknown:
        failed = True
        print(f"folder src/{folder} has no layer: add it to LAYERS in {__file__}")
    for (a, b) in sorted(edges):
        if a in unknown or b in unknown:
            continue
        if LAYER_OF[b] > LAYER_OF[a]:
            failed = True
            print(f"layer order broken: {a} (layer {LAYER_OF[a]}) includes {b} (layer {LAYER_OF[b]})")
            print_edge_lines(edges, a, b, sys.stdout)

    if not failed:
        print("include layers: no cycle between folders, layer order kept")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
