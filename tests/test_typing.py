"""The stubs as type checkers find them with no MYPYPATH: the build tree holds the module
and its stub-only package side by side, as site-packages does after an install (the wheel
check repeats this in a clean venv)."""
import os
import shutil
import subprocess
import sys

import pytest

import sarfan

pytest.importorskip("mypy")

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.join(HERE, "typing_example.py")


def run(tmp_path, *command):
    env = {k: v for k, v in os.environ.items() if k != "MYPYPATH"}
    env["PYTHONPATH"] = os.path.dirname(sarfan.__file__)
    if command[1:3] != ("-m", "mypy.stubtest"):
        # Only stubtest imports the module; the checkers (Node.js for pyright) run as built.
        env.pop("LD_PRELOAD", None)
    return subprocess.run(command, env=env, capture_output=True, text=True, timeout=300,
                          cwd=tmp_path)


def pyright():
    found = shutil.which("pyright", path=os.path.dirname(sys.executable))
    if found is None:
        pytest.skip("pyright is not installed")
    return found


@pytest.mark.parametrize("checker", ["stubtest", "mypy", "pyright"])
def test_installed_stubs_type_check(tmp_path, checker):
    command = {
        "stubtest": lambda: [sys.executable, "-m", "mypy.stubtest", "sarfan"],
        "mypy": lambda: [sys.executable, "-m", "mypy", "--strict", "--no-incremental", EXAMPLE],
        "pyright": lambda: [pyright(), "--pythonpath", sys.executable, EXAMPLE],
    }[checker]()
    done = run(tmp_path, *command)
    assert done.returncode == 0, done.stdout + done.stderr


@pytest.mark.parametrize("checker", ["mypy", "pyright"])
def test_a_wrong_use_is_caught(tmp_path, checker):
    bad = tmp_path / "bad.py"
    bad.write_text("import sarfan\nn: str = sarfan.SarfanMSATokenizer.batch_threads()\n")
    command = ([sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(bad)]
               if checker == "mypy" else [pyright(), "--pythonpath", sys.executable, str(bad)])
    done = run(tmp_path, *command)
    assert done.returncode == 1 and '"int"' in done.stdout, done.stdout
