"""MkDocs hook: serves CHANGELOG.md at the repository root as the site's changelog.md, so
the changelog has one source."""
import pathlib

from mkdocs.structure.files import File


def on_files(files, config):
    source = pathlib.Path(config["config_file_path"]).parent / "CHANGELOG.md"
    files.append(File.generated(config, "changelog.md", content=source.read_text(encoding="utf-8")))
    return files
