import os
import subprocess
import sys
from pathlib import Path

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from dxfcheck import ROOT  # noqa: E402


@pytest.fixture(scope="session")
def test_data():
    """The real DXF files of Debian's librecad-data and openscad-testing-data, fetched once into build/."""
    cache = os.environ.get("PLENVO_TEST_DATA", str(ROOT / "build" / "test-data"))
    proc = subprocess.run(["bash", str(ROOT / "scripts" / "fetch-test-data.sh"), cache],
                          capture_output=True, text=True)
    if proc.returncode != 0:
        pytest.fail("fetching the real test files failed:\n" + proc.stderr)
    return Path(cache)
