#!/usr/bin/env python3
"""Every developer note in docs/dev/ is linked from the README, and every note the README names
exists, so that a new note cannot be left where no reader finds it."""
import os
import re
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def notes_on_disk():
    folder = os.path.join(ROOT, "docs", "dev")
    return {f"docs/dev/{name}" for name in os.listdir(folder) if name.endswith(".md")}


def notes_named_in_readme():
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        return set(re.findall(r"docs/dev/[A-Za-z0-9_.-]+\.md", f.read()))


class DocsLinks(unittest.TestCase):
    def test_every_note_is_linked_from_the_readme(self):
        self.assertEqual(sorted(notes_on_disk() - notes_named_in_readme()), [])

    def test_every_linked_note_exists(self):
        self.assertEqual(sorted(notes_named_in_readme() - notes_on_disk()), [])


if __name__ == "__main__":
    unittest.main()
