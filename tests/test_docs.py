"""The documentation site builds strictly, fails on a broken internal link, and the API
reference and README table written from the stubs are current."""
import importlib.util
import pathlib
import shutil
import subprocess
import sys
import textwrap

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
SITE_FILES = ("mkdocs.yml", "CHANGELOG.md", "docs", "tools/mkdocs_changelog.py")


def load_generator():
    spec = importlib.util.spec_from_file_location("gen_api_docs", ROOT / "tools/gen_api_docs.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def site_copy(tmp_path):
    for name in SITE_FILES:
        source, target = ROOT / name, tmp_path / name
        target.parent.mkdir(parents=True, exist_ok=True)
        if source.is_dir():
            shutil.copytree(source, target)
        else:
            shutil.copy(source, target)
    return tmp_path


def build(folder):
    pytest.importorskip("mkdocs")
    return subprocess.run([sys.executable, "-m", "mkdocs", "build", "-f", str(folder / "mkdocs.yml"),
                           "-d", str(folder / "site")], capture_output=True, text=True)


def test_site_builds_strictly(tmp_path):
    result = build(site_copy(tmp_path))
    assert result.returncode == 0, result.stderr
    assert (tmp_path / "site/changelog/index.html").read_text(encoding="utf-8").count("0.3.0")


@pytest.mark.parametrize("page, link, broken", [
    ("cli.md", "(models.md)", "(model-resolution.md)"),       # a page that is not there
    ("recipes.md", "(#pickling)", "(#pickles)"),              # an anchor that is not there
    ("plugins.md", "(recipes.md#transformers)", "(recipes.md#transformer)"),
])
def test_broken_internal_link_fails_the_build_naming_it(tmp_path, page, link, broken):
    folder = site_copy(tmp_path)
    path = folder / "docs" / page
    text = path.read_text(encoding="utf-8")
    assert link in text
    path.write_text(text.replace(link, broken, 1), encoding="utf-8")
    result = build(folder)
    assert result.returncode != 0
    assert broken.strip("()").split("#")[-1] in result.stderr and page in result.stderr


def test_api_reference_and_readme_table_match_the_stubs():
    result = subprocess.run([sys.executable, str(ROOT / "tools/gen_api_docs.py"), "--check"],
                            capture_output=True, text=True)
    assert result.returncode == 0, result.stderr


def test_check_names_the_file_a_changed_docstring_makes_stale(tmp_path, monkeypatch):
    generator = load_generator()
    for name in ("python/sarfan-stubs/__init__.pyi", "docs/api.md", "README.md"):
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(ROOT / name, tmp_path / name)
    monkeypatch.setattr(generator, "ROOT", tmp_path)
    monkeypatch.setattr(generator, "STUB", tmp_path / "python/sarfan-stubs/__init__.pyi")
    monkeypatch.setattr(generator, "API_PAGE", tmp_path / "docs/api.md")
    monkeypatch.setattr(generator, "README", tmp_path / "README.md")
    stub = generator.STUB.read_text(encoding="utf-8")
    generator.STUB.write_text(stub.replace("Decode many id lists.", "Decode id lists."),
                              encoding="utf-8")
    monkeypatch.setattr(sys, "argv", ["gen_api_docs.py", "--check"])
    with pytest.raises(SystemExit, match="docs/api.md, README.md differ"):
        generator.main()
    monkeypatch.setattr(sys, "argv", ["gen_api_docs.py"])
    generator.main()
    assert "Decode id lists." in generator.API_PAGE.read_text(encoding="utf-8")
    monkeypatch.setattr(sys, "argv", ["gen_api_docs.py", "--check"])
    generator.main()


STUB = textwrap.dedent('''
    from typing import overload

    class Tok:
        """A tokenizer."""

        @overload
        def spans(self, text: str) -> list[int]:
            """Ids with spans of the caller's text.

            Args:
                text: the text,
                    as given.
                normalize: normalize first.

            Returns:
                The ids.

            Example:
                tok.spans("x")
            """
        @overload
        def spans(self, text: bytes) -> list[int]: ...
        def many(
            self, texts: list[str], *, normalize: bool = True, **options: int
        ) -> None:
            """Several.

            Example:
                a = 1
                b = 2
            """
        @property
        def size(self) -> int:
            """The size."""
        def _private(self) -> None: ...
''')


def test_generator_reads_overloads_keywords_and_properties():
    generator = load_generator()
    [(cls, doc, members)] = generator.read_api(STUB)
    assert (cls, doc) == ("Tok", "A tokenizer.")
    assert [(m[0], m[1], m[2]) for m in members] == [
        ("spans", "method", "spans(text)"),
        ("many", "method", "many(texts, *, normalize=True, **options)"),
        ("size", "property", "size")]
    page = generator.page(generator.read_api(STUB))
    assert "- `text`: the text, as given." in page
    table = generator.table(generator.read_api(STUB))
    assert '| `spans(text)` | Ids with spans of the caller\'s text. | `tok.spans("x")` |' in table
    assert "| `many(texts, *, normalize=True, **options)` | Several. |  |" in table


def test_generator_refuses_a_member_without_docstring():
    generator = load_generator()
    with pytest.raises(generator.StubError, match=r"Tok\.bare"):
        generator.read_api("class Tok:\n    def bare(self) -> None: ...\n")
