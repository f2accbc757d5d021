#!/usr/bin/env python3
"""Prints, from sway's tree (`swaymsg -t get_tree` on standard input), the visible window of
process PID as one line of tab-separated fields: its container id, x, y, width, height, its
protocol ("xdg_shell" or "xwayland"), its app id (a native window) or X class (through
Xwayland), whether it has the focus ("focused" or "-") and its title. Prints nothing and fails
when the process has no such window. Usage: sway_window.py PID
"""
import json
import sys


def windows(node):
    yield node
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        yield from windows(child)


def main():
    pid = int(sys.argv[1])
    for node in windows(json.load(sys.stdin)):
        if node.get("pid") == pid and node.get("visible"):
            rect = node["rect"]
            identity = node.get("app_id") or (node.get("window_properties") or {}).get("class") or ""
            print("\t".join(str(field) for field in (
                node["id"], rect["x"], rect["y"], rect["width"], rect["height"], node.get("shell", ""),
                identity, "focused" if node.get("focused") else "-", node.get("name") or "")))
            return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())
