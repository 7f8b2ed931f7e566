#!/usr/bin/env python3
"""Checks every #include "..." of the agent, the setup program and the ticket
library against the include rules written in the README (the table under
"Include rules"): a folder may include only the folders its row names.

A quoted include whose first part names none of the project's folders is an
outside library (simdjson.h, sodium.h) and is not checked; an include without a
folder is a neighbour in the same folder. Test files (under tests/ or fuzz/)
may include the test support of the folders their row allows; no other file
may include test support.

Usage: check_include_rules.py [REPO]   (exit status 1 and one line per breach)
"""

from __future__ import annotations

import re
import sys
from pathlib import Path

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
ROW = re.compile(r"^\|\s*`([^`]+)`\s*\|(.*)\|\s*$")

# Where each tree's folders are named from, and the folder a tree's files sit in.
TREES = [
    ("platform/windows/agent/src", ""),
    ("platform/windows/setup/src", ""),
    ("platform/windows/setup/tests", "setup/tests/"),
    ("protocol", "protocol/"),
]


def read_rules(readme: Path) -> dict[str, set[str]]:
    rules: dict[str, set[str]] = {}
    in_table = False
    for line in readme.read_text(encoding="utf-8").splitlines():
        if line.startswith("#"):
            in_table = line.strip().lstrip("#").strip() == "Include rules"
            continue
        match = ROW.match(line) if in_table else None
        if match:
            rules[match.group(1)] = set(re.findall(r"`([^`]+)`", match.group(2)))
    if not rules:
        raise SystemExit(f"{readme}: no table under a heading 'Include rules'")
    return rules


def folder_of(relative: str, rules: dict[str, set[str]]) -> str | None:
    """The longest row folder that `relative` (a file's path in its tree) lies in."""
    candidates = [folder for folder in rules if relative.startswith(folder)]
    return max(candidates, key=len) if candidates else None


def is_test_file(relative: str) -> bool:
    return "/tests/" in f"/{relative}" or "/fuzz/" in f"/{relative}"


def check(repo: Path) -> list[str]:
    rules = read_rules(repo / "README.md")
    project = {folder.split("/")[0] for row in rules.values() for folder in row} | {
        folder.split("/")[0] for folder in rules
    }
    breaches = []
    for tree, prefix in TREES:
        root = repo / tree
        for path in sorted(root.rglob("*")):
            if path.suffix not in (".h", ".cc") or "corpus" in path.parts:
                continue
            relative = prefix + path.relative_to(root).as_posix()
            folder = folder_of(relative, rules)
            if folder is None:
                breaches.append(f"{path.relative_to(repo)}: no include rule covers this folder")
                continue
            allowed = rules[folder]
            for included in INCLUDE.findall(path.read_text(encoding="utf-8")):
                if "/" not in included or included.split("/")[0] not in project:
                    continue
                if "/tests/" in included and not is_test_file(relative):
                    breaches.append(f"{path.relative_to(repo)}: includes test support "
                                    f"\"{included}\" outside a test")
                elif not any(included.startswith(target) for target in allowed):
                    breaches.append(f"{path.relative_to(repo)}: includes \"{included}\", "
                                    f"which `{folder}` may not")
    return breaches


def main() -> int:
    repo = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    breaches = check(repo)
    for breach in breaches:
        print(breach)
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
