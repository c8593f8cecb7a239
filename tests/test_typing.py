import os
import subprocess
import sys

import pytest

import sarfan

pytest.importorskip("mypy")

HERE = os.path.dirname(os.path.abspath(__file__))


def run_mypy(*args):
    module_dir = os.path.dirname(sarfan.__file__)
    env = dict(os.environ, MYPYPATH=module_dir, PYTHONPATH=module_dir)
    return subprocess.run([sys.executable, "-m", *args], env=env, capture_output=True,
                          text=True, timeout=300, cwd=module_dir)


def test_stubs_match_the_module():
    done = run_mypy("mypy.stubtest", "sarfan")
    assert done.returncode == 0, done.stdout + done.stderr


def test_strict_usage_example_type_checks():
    done = run_mypy("mypy", "--strict", "--no-incremental", os.path.join(HERE, "typing_example.py"))
    assert done.returncode == 0, done.stdout + done.stderr
