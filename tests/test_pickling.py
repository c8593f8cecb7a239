"""SarfanTokenizer pickles by reference (source, plugin files and their hashes), so that
datasets, multiprocessing and DataLoader workers can use it."""
import multiprocessing
import pickle

import pytest

pytest.importorskip("transformers")
from sarfan import SarfanMSATokenizer  # noqa: E402
from sarfan_transformers import SarfanTokenizer, SourceChangedError  # noqa: E402
from conftest import FI, KITAB, MARK, write_tsv  # noqa: E402

LINES = [f"{FI} {KITAB} {n} ازيك 😀" for n in range(200)]


@pytest.fixture
def files(tmp_path, small_vocab):
    plugin = write_tsv(tmp_path / "p.tsv", [("cc", 263, -1)])
    return small_vocab, plugin


def test_a_pickle_holds_references_not_the_vocabulary():
    data = pickle.dumps(SarfanTokenizer())
    assert len(data) < 2000  # the pieces stay out
    assert pickle.loads(data)(LINES)["input_ids"] == \
        SarfanMSATokenizer.load_embedded().encode_batch_ids(LINES)


def test_round_trip_keeps_source_plugins_and_options(files):
    vocab, plugin = files
    original = SarfanTokenizer(vocab, plugins={"p": plugin}, dialect="p", padding_side="left")
    copy = pickle.loads(pickle.dumps(original))
    texts = ["ab cc", "cc", "abab"]
    assert copy(texts, padding=True)["input_ids"] == original(texts, padding=True)["input_ids"]
    assert (copy.dialect, copy.padding_side, copy._tok.list_plugins()) == ("p", "left", ["p"])


@pytest.mark.parametrize("which", ["vocab", "plugin"])
@pytest.mark.parametrize("change", ["edited", "missing"])
def test_a_changed_or_missing_file_is_refused(files, which, change):
    vocab, plugin = files
    data = pickle.dumps(SarfanTokenizer(vocab, plugins={"p": plugin}))
    path = vocab if which == "vocab" else plugin
    if change == "edited":
        with open(path, "a", encoding="utf-8") as f:
            f.write("zz\t999\t0\n")
    else:
        import os
        os.remove(path)
    with pytest.raises(SourceChangedError, match=f"{path} (has changed|is missing)"):
        pickle.loads(data)


def encode_rows(wrapper, texts):
    return wrapper(texts)["input_ids"]


def test_multiprocessing_pool_spawned_workers():
    wrapper = SarfanTokenizer()
    chunks = [LINES[k:k + 50] for k in range(0, len(LINES), 50)]
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        got = pool.starmap(encode_rows, [(wrapper, chunk) for chunk in chunks])
    assert [row for rows in got for row in rows] == wrapper(LINES)["input_ids"]


def test_datasets_map_with_two_processes(tmp_path):
    datasets = pytest.importorskip("datasets")
    wrapper = SarfanTokenizer()
    dataset = datasets.Dataset.from_dict({"text": LINES})

    def tokenize(batch):
        return wrapper(batch["text"])

    kwargs = {"batched": True, "batch_size": 32, "load_from_cache_file": False}
    one = dataset.map(tokenize, **kwargs)
    two = dataset.map(tokenize, num_proc=2, **kwargs)
    assert two["input_ids"] == one["input_ids"] == wrapper(LINES)["input_ids"]


class Lines:
    """A map-style dataset of LINES."""

    def __len__(self):
        return len(LINES)

    def __getitem__(self, k):
        return LINES[k]


class PaddedBatch:
    """A DataLoader collate_fn that pads each batch with the wrapper it carries."""

    def __init__(self, wrapper):
        self.wrapper = wrapper

    def __call__(self, texts):
        return self.wrapper(texts, padding=True, return_tensors="pt")


def test_torch_data_loader_with_two_workers():
    torch = pytest.importorskip("torch")
    wrapper = SarfanTokenizer()
    # Spawned workers receive the collate function, and so the wrapper, by pickle.
    loader = torch.utils.data.DataLoader(Lines(), batch_size=16, num_workers=2,
                                         multiprocessing_context="spawn",
                                         collate_fn=PaddedBatch(wrapper))
    rows = [row[mask == 1].tolist() for batch in loader
            for row, mask in zip(batch["input_ids"], batch["attention_mask"])]
    assert rows == wrapper(LINES)["input_ids"]


def test_another_embedded_vocabulary_is_refused():
    # What a pickle from a sarfan with another default vocabulary would carry.
    from sarfan_transformers.source import TokenizerSource

    with pytest.raises(SourceChangedError, match="embedded default vocabulary differs"):
        TokenizerSource.restore(("embedded", None, "0" * 64, []))
