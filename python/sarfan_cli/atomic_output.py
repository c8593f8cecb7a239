"""Output files that appear whole or not at all: each is written to a temporary file beside
it and renamed over it only when everything has been written."""
import contextlib
import os
import secrets
import stat


@contextlib.contextmanager
def naming(target):
    """An OSError of the block names `target` rather than its temporary."""
    try:
        yield
    except OSError as error:
        raise OSError(error.errno, error.strerror, target) from None


def create_beside(path):
    """Creates an empty temporary file in the folder of `path` and returns its path. Its
    mode is 0666 less the umask, as open() gives a new file (tempfile.mkstemp's is 0600)."""
    folder, name = os.path.split(path)
    while True:
        temporary = os.path.join(folder, f".{name}.{secrets.token_hex(4)}.tmp")
        try:
            os.close(os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666))
            return temporary
        except FileExistsError:
            continue


def written_in_place(target):
    """Whether `target` is a device or a FIFO (/dev/null, a pipe to another program), which
    is written as it is: renaming a file over it would replace it."""
    try:
        return not stat.S_ISREG(os.stat(target).st_mode)
    except OSError:
        return False


@contextlib.contextmanager
def replaced_on_success(*targets):
    """Yields a list of paths for the block to write, one for each target: a temporary
    beside it (beside the file a symbolic link points to) or, for a device or FIFO, the
    target itself. When the block ends normally each temporary is renamed over its file;
    on any exception (KeyboardInterrupt too) the temporaries, and files already renamed,
    are removed. Errors of creating or renaming a temporary name its target."""
    paths = []
    pending = []  # (temporary, the file it replaces, the target as given)
    renamed = []
    try:
        for target in targets:
            if written_in_place(target):
                paths.append(target)
                continue
            real = os.path.realpath(target)
            with naming(target):
                pending.append((create_beside(real), real, target))
            paths.append(pending[-1][0])
        yield paths
        for temporary, real, target in pending:
            with naming(target):
                os.replace(temporary, real)
            renamed.append(real)
    except BaseException:
        for path in [temporary for temporary, _, _ in pending[len(renamed):]] + renamed:
            with contextlib.suppress(OSError):
                os.remove(path)
        raise
