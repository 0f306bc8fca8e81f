#!/usr/bin/env python3
"""The layer rule on small trees: which includes between folders and sub-folders pass."""
import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).parent))
from check_layers import layer_faults  # noqa: E402


class LayerRule(unittest.TestCase):
    def faults(self, path, include):
        with tempfile.TemporaryDirectory() as root:
            file = pathlib.Path(root, path)
            file.parent.mkdir(parents=True)
            file.write_text(f'#include "{include}"\n')
            return layer_faults(pathlib.Path(root))

    def test_includes_between_folders_and_sub_folders(self):
        cases = [  # (file, include, passes)
            ("export/render/export_run.cpp", "export/formats/wav_sink.h", True),
            ("export/render/export_run.cpp", "export/takes/take_plan.h", True),
            ("export/render/export_run.cpp", "export/render/offline_render.h", True),
            ("export/dialog/export_dialog.cpp", "export/render/export_worker.h", True),
            ("export/formats/wav_sink.cpp", "export/render/offline_render.h", False),
            ("export/takes/take_plan.cpp", "export/formats/sample_names.h", False),
            ("export/render/export_run.cpp", "export/dialog/export_dialog.h", False),
            ("export/formats/wav_sink.cpp", "engine/wav_writer.h", True),
            ("engine/wav_writer.cpp", "export/takes/take_plan.h", False),
            ("shell/startup.cpp", "export/dialog/key_control.h", True),
            ("shell/startup.cpp", "export/key_control.h", False),  # export/ keeps its files in sub-folders
            ("export/take_plan.cpp", "core/gate.h", False),
            ("plugin/host_callback.cpp", "audio/asio.h", False),
            ("audio/stream.cpp", "plugin/vst2.h", True),
        ]
        for path, include, passes in cases:
            with self.subTest(path=path, include=include):
                self.assertEqual(passes, not self.faults(path, include))


if __name__ == "__main__":
    unittest.main()
