#!/usr/bin/env python3
"""Checks scripts/check-include-layers.py on small source trees made for each case."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts",
                      "check-include-layers.py")


class IncludeLayersTest(unittest.TestCase):
    def check(self, files):
        """Writes files (path under src/ -> text) and runs the check on them."""
        with tempfile.TemporaryDirectory() as root:
            src = os.path.join(root, "src")
            for path, text in files.items():
                full = os.path.join(src, path)
                os.makedirs(os.path.dirname(full), exist_ok=True)
                with open(full, "w", encoding="utf-8") as f:
                    f.write(text)
            run = subprocess.run([sys.executable, SCRIPT, src], capture_output=True, text=True)
            return run.returncode, run.stdout

    def test_layered_tree_passes(self):
        code, out = self.check({
            "base/settings.h": "#pragma once\n",
            "network/command.h": '#include "base/settings.h"\n#include <QObject>\n',
            "remotetree/view.cpp": '#include "network/command.h"\n#include "ui_view.h"\n',
            "localtree/pane.cpp": '#include "remotetree/view.h"\n',
            "remotetree/view.h": "#pragma once\n",
            "mainwindow.cpp": '#include "localtree/pane.h"\n',
            "localtree/pane.h": "#pragma once\n",
        })
        self.assertEqual(code, 0, out)

    def test_cycle_between_folders_fails_with_its_includes(self):
        code, out = self.check({
            "remotetree/view.h": '#include "localtree/pane.h"\n',
            "localtree/pane.h": "#pragma once\n",
            "localtree/pane.cpp": '#include "pane.h"\n\n#include "remotetree/view.h"\n',
        })
        self.assertNotEqual(code, 0)
        self.assertIn("include cycle between folders: localtree -> remotetree -> localtree", out)
        self.assertIn('src/localtree/pane.cpp:3: #include "remotetree/view.h"', out)
        self.assertIn('src/remotetree/view.h:1: #include "localtree/pane.h"', out)

    def test_cycle_through_the_top_folder_fails(self):
        # src/ itself is a folder: a model that includes the main window closes a loop.
        code, out = self.check({
            "mainwindow.h": '#include "remotetree/model.h"\n',
            "remotetree/model.cpp": '#include "mainwindow.h"\n',
            "remotetree/model.h": "#pragma once\n",
        })
        self.assertNotEqual(code, 0)
        self.assertIn("include cycle between folders: remotetree -> src -> remotetree", out)

    def test_include_of_a_higher_layer_fails(self):
        code, out = self.check({
            "network/command.cpp": '#include "dialogs/box.h"\n',
            "dialogs/box.h": "#pragma once\n",
        })
        self.assertNotEqual(code, 0)
        self.assertIn("layer order broken: network (layer 3) includes dialogs", out)
        self.assertIn('src/network/command.cpp:1: #include "dialogs/box.h"', out)

    def test_quoted_include_resolves_in_its_own_folder_first(self):
        # "settings.h" from network/ is network/settings.h when that exists (no edge),
        # and base/settings.h through src/ otherwise.
        files = {
            "network/command.cpp": '#include "settings.h"\n',
            "network/settings.h": "#pragma once\n",
            "settings.h": '#include "network/command.h"\n',
            "network/command.h": "#pragma once\n",
        }
        code, out = self.check(files)
        self.assertEqual(code, 0, out)
        del files["network/settings.h"]
        code, out = self.check(files)
        self.assertNotEqual(code, 0)
        self.assertIn("network -> src -> network", out)

    def test_unknown_folder_is_named(self):
        code, out = self.check({
            "widgets/button.cpp": '#include "base/settings.h"\n',
            "base/settings.h": "#pragma once\n",
        })
        self.assertNotEqual(code, 0)
        self.assertIn("folder src/widgets has no layer", out)


if __name__ == "__main__":
    unittest.main()
