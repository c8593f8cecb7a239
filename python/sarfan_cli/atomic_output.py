"""Output files that appear whole or not at all: each is written to a temporary file beside
it and renamed over it only when everything has been written."""
import contextlib
import os
import secrets


@contextlib.contextmanager
def naming(target):
    """An OSError of the block names `target` rather than its temporary."""
    try:
        yield
    except OSError as error:
        raise OSError(error.errno, error.strerror, target) from None


def create_beside(target):
    """Creates an empty temporary file in the folder of `target` and returns its path. Its
    mode is 0666 less the umask, as open() gives a new file (tempfile.mkstemp's is 0600)."""
    folder, name = os.path.split(target)
    while True:
        path = os.path.join(folder, f".{name}.{secrets.token_hex(4)}.tmp")
        with naming(target):
            try:
                os.close(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666))
                return path
            except FileExistsError:
                continue


@contextlib.contextmanager
def replaced_on_success(*targets):
    """Yields a list of temporary paths, one beside each target, for the block to write.
    When the block ends normally each is renamed over its target; on any exception
    (KeyboardInterrupt too) the temporaries, and targets already renamed, are removed.
    Errors of creating or renaming a temporary name its target."""
    temporaries = []
    renamed = []
    try:
        for target in targets:
            temporaries.append(create_beside(target))
        yield list(temporaries)
        for temporary, target in zip(temporaries, targets):
            with naming(target):
                os.replace(temporary, target)
            renamed.append(target)
    except BaseException:
        for path in temporaries[len(renamed):] + renamed:
            with contextlib.suppress(OSError):
                os.remove(path)
        raise
