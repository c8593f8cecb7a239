"""SarfanTokenizer with the real transformers package (CPU only, nothing downloaded)."""
import numpy as np
import pytest

pytest.importorskip("transformers")
from transformers import AutoTokenizer, DataCollatorWithPadding  # noqa: E402

from sarfan import SarfanMSATokenizer  # noqa: E402
from sarfan_transformers import SarfanTokenizer  # noqa: E402
from conftest import FI, KITAB, MARK, write_tsv  # noqa: E402

TEXTS = [f"{FI} {KITAB}", "ذهب الطالب إلى المكتبة لقراءة الكتاب الجديد.", "", "ازيك يا باشا 😀"]


@pytest.fixture(scope="module")
def wrapper():
    return SarfanTokenizer()


@pytest.fixture(scope="module")
def engine():
    return SarfanMSATokenizer.load_embedded()


@pytest.fixture
def plugin_file(tmp_path):
    return write_tsv(tmp_path / "egy.tsv", [(MARK + "ازيك", 64000, -1)])


def test_no_argument_wraps_the_embedded_default(wrapper, engine):
    assert wrapper(TEXTS)["input_ids"] == engine.encode_batch_ids(TEXTS)
    assert wrapper(TEXTS[0]) == {"input_ids": engine.encode_ids(TEXTS[0]),
                                 "attention_mask": [1] * len(engine.encode_ids(TEXTS[0]))}
    assert wrapper.vocab_size == len(wrapper) == engine.vocab_size
    assert wrapper.get_vocab() == engine.get_vocab()


@pytest.mark.parametrize("side", ["right", "left"])
@pytest.mark.parametrize("where", ["call", "constructor"])
def test_padding_longest_as_numpy(engine, side, where):
    wrapper = SarfanTokenizer(padding_side=side) if where == "constructor" else SarfanTokenizer()
    options = {"padding_side": side} if where == "call" else {}
    batch = wrapper(TEXTS, padding=True, return_tensors="np", **options)
    want = engine.encode_batch_ids(TEXTS)
    width = max(map(len, want))
    ids, mask = batch["input_ids"], batch["attention_mask"]
    assert isinstance(ids, np.ndarray) and ids.shape == (len(TEXTS), width)
    assert mask.sum(axis=1).tolist() == [len(row) for row in want]
    for row, m, expected in zip(ids, mask, want):
        assert row[m == 1].tolist() == expected
        assert (row[m == 0] == engine.pad_id).all()
        assert (m[0] if side == "left" else m[-1]) == (len(expected) == width)


@pytest.mark.parametrize("side", ["right", "left"])
@pytest.mark.parametrize("special", [True, False])
def test_truncation_and_max_length_padding(engine, side, special):
    wrapper = SarfanTokenizer(truncation_side=side)
    batch = wrapper(TEXTS, padding="max_length", truncation=True, max_length=6,
                    add_special_tokens=special)
    for row, mask, full in zip(batch["input_ids"], batch["attention_mask"],
                               engine.encode_batch_ids(TEXTS)):
        assert len(row) == len(mask) == 6
        kept = [i for i, m in zip(row, mask) if m]
        content = full[1:-1]
        budget = 4 if special else 6
        content = content[:budget] if side == "right" else content[max(len(content) - budget, 0):]
        assert kept == ([full[0], *content, full[-1]] if special else content)


def test_pad_to_multiple_and_return_length(wrapper, engine):
    batch = wrapper(TEXTS, padding=True, pad_to_multiple_of=8, return_length=True)
    assert all(len(row) % 8 == 0 for row in batch["input_ids"])
    assert batch["length"] == [len(r) for r in engine.encode_batch_ids(TEXTS)]


def test_offsets_mapping_are_spans_of_the_callers_text(wrapper, engine):
    text = "  ذهب   الولـــد"
    spans = wrapper(text, return_offsets_mapping=True, add_special_tokens=False)["offset_mapping"]
    assert [text[a:b] for a, b in spans] == ["ذهب", "الولـــد"]
    normalized = wrapper(text, return_offsets_mapping=True, normalized_offsets=True)["offset_mapping"]
    assert normalized == engine.encode(text).offsets != spans
    batch = wrapper(TEXTS, return_offsets_mapping=True)
    assert batch["offset_mapping"] == [engine.encode_ids_and_input_offsets(t)[1] for t in TEXTS]
    assert batch["input_ids"] == engine.encode_batch_ids(TEXTS)
    inner = wrapper(TEXTS[1], return_offsets_mapping=True, add_special_tokens=False)
    assert inner["offset_mapping"] == engine.encode(TEXTS[1]).offsets[1:-1]
    padded = wrapper(TEXTS, return_offsets_mapping=True, padding=True, return_tensors="np")
    assert padded["offset_mapping"].shape == padded["input_ids"].shape + (2,)


def test_torch_tensors(wrapper, engine):
    torch = pytest.importorskip("torch")
    batch = wrapper(TEXTS, padding=True, return_tensors="pt")
    assert batch["input_ids"].dtype == torch.int64
    assert batch["input_ids"][0, : len(engine.encode_ids(TEXTS[0]))].tolist() == \
        engine.encode_ids(TEXTS[0])


def test_decode(wrapper, engine):
    batch = wrapper(TEXTS, padding=True, return_tensors="np")
    for text, row in zip(TEXTS, batch["input_ids"]):
        assert wrapper.decode(row, skip_special_tokens=True) == engine.decode(row.tolist())
    first = batch["input_ids"][0]
    shown = wrapper.decode(first)
    assert shown.startswith("[BOS]") and "[EOS]" in shown and shown.endswith("[PAD]")
    assert shown.replace("[BOS]", "").replace("[EOS]", "").replace("[PAD]", "") == \
        engine.decode(first.tolist())
    assert wrapper.batch_decode(batch["input_ids"], skip_special_tokens=True) == \
        [engine.decode(r.tolist()) for r in batch["input_ids"]]
    unk = [engine.bos_id, engine.unk_id, engine.eos_id]
    assert wrapper.decode(unk) == "[BOS][UNK][EOS]" and wrapper.decode(unk, skip_special_tokens=True) == ""


def test_special_tokens_and_conversions(wrapper, engine):
    assert (wrapper.pad_token, wrapper.bos_token, wrapper.eos_token, wrapper.unk_token) == \
        ("[PAD]", "[BOS]", "[EOS]", "[UNK]")
    assert (wrapper.pad_token_id, wrapper.bos_token_id, wrapper.eos_token_id, wrapper.unk_token_id) == \
        (engine.pad_id, engine.bos_id, engine.eos_id, engine.unk_id)
    result = engine.encode(TEXTS[1])
    assert wrapper.convert_ids_to_tokens(result.ids) == result.tokens
    assert wrapper.convert_ids_to_tokens(result.ids, skip_special_tokens=True) == result.tokens[1:-1]
    assert wrapper.convert_tokens_to_ids(result.tokens) == result.ids
    assert wrapper.convert_tokens_to_ids("no such piece") == engine.unk_id
    assert wrapper.tokenize(TEXTS[1]) == result.tokens[1:-1]


@pytest.mark.parametrize("call", [
    lambda w: w(TEXTS[0], TEXTS[1]),
    lambda w: w([(TEXTS[0], TEXTS[1])]),
    lambda w: w(TEXTS, text_pair=TEXTS),
])
def test_text_pairs_are_refused(wrapper, call):
    with pytest.raises(ValueError, match="text pairs are not supported"):
        call(wrapper)


@pytest.mark.parametrize("options, message", [
    ({"padding": "sideways"}, "unsupported padding"),
    ({"return_tensors": "tf"}, "return_tensors"),
    ({"return_tensors": "np"}, "different lengths"),
    ({"frobnicate": True}, "unexpected options"),
])
def test_bad_options(wrapper, options, message):
    with pytest.raises((ValueError, TypeError), match=message):
        wrapper(TEXTS, **options)


def test_dialect_in_the_constructor_and_per_call(engine, plugin_file):
    text = "ازيك يا باشا"
    plain = SarfanTokenizer(plugins={"egy": plugin_file})
    egy = SarfanTokenizer(plugins={"egy": plugin_file}, dialect="egy")
    assert 64000 in egy(text)["input_ids"] and 64000 not in plain(text)["input_ids"]
    assert plain(text, dialect="egy")["input_ids"] == egy(text)["input_ids"]
    assert plain([text], dialect="egy", return_offsets_mapping=True)["input_ids"] == \
        [egy(text)["input_ids"]]
    assert egy.decode(egy(text)["input_ids"], skip_special_tokens=True) == text
    assert egy.convert_tokens_to_ids(MARK + "ازيك") == 64000 == egy.get_vocab()[MARK + "ازيك"]
    assert len(egy) == 64001


@pytest.mark.parametrize("source", ["embedded", "file"])
def test_save_and_load_give_the_same_ids(tmp_path, source, small_vocab, plugin_file):
    if source == "file":
        plugin = write_tsv(tmp_path / "p.tsv", [("c" * 2, 263, -1)])
        original = SarfanTokenizer(small_vocab, plugins={"p": plugin}, dialect="p",
                                   padding_side="left", model_max_length=16)
        texts = ["ab c", "cc ab", "abab zz"]
    else:
        original = SarfanTokenizer(padding_side="left")
        texts = TEXTS
    original.save_pretrained(tmp_path / "saved")
    for loaded in (SarfanTokenizer.from_pretrained(tmp_path / "saved"),
                   AutoTokenizer.from_pretrained(str(tmp_path / "saved"))):
        assert type(loaded) is SarfanTokenizer
        assert loaded(texts, padding=True)["input_ids"] == original(texts, padding=True)["input_ids"]
        assert (loaded.padding_side, loaded.dialect, loaded.model_max_length) == \
            (original.padding_side, original.dialect, original.model_max_length)
        assert loaded.get_vocab() == original.get_vocab()


def test_from_pretrained_of_a_file_or_name(small_vocab, engine):
    assert SarfanTokenizer.from_pretrained(small_vocab).vocab_size == 263
    assert SarfanTokenizer.from_pretrained(None)(TEXTS)["input_ids"] == engine.encode_batch_ids(TEXTS)


def test_data_collator_with_padding(wrapper, engine):
    features = [wrapper(text) for text in TEXTS]
    batch = DataCollatorWithPadding(wrapper, return_tensors="np")(features)
    want = engine.encode_batch_ids(TEXTS)
    assert batch["input_ids"].shape == (len(TEXTS), max(map(len, want)))
    for row, mask, expected in zip(batch["input_ids"], batch["attention_mask"], want):
        assert row[mask == 1].tolist() == expected and (row[mask == 0] == engine.pad_id).all()


RAW_TEXTS = ["قال إن  المدرسة\tإلى", "ﻻ كﻼم", "", "ذهب الطالب إلى المكتبة لقراءة الكتاب الجديد."]


def test_raw_mode_on_every_path(tmp_path, engine):
    import json
    import pickle

    raw = SarfanTokenizer(normalize=False)
    want = [engine.encode_ids(text, normalize=False) for text in RAW_TEXTS]
    assert raw(RAW_TEXTS)["input_ids"] == want
    assert raw(RAW_TEXTS, padding=True, return_tensors="np")["input_ids"][0][:len(want[0])].tolist() == want[0]
    offsets = raw(RAW_TEXTS, return_offsets_mapping=True)
    assert offsets["input_ids"] == want
    assert offsets["offset_mapping"] == [engine.encode(text, False).offsets for text in RAW_TEXTS]
    assert raw.tokenize(RAW_TEXTS[0]) == engine.encode(RAW_TEXTS[0], False).tokens[1:-1]
    assert raw.decode(raw(RAW_TEXTS[1])["input_ids"], skip_special_tokens=True) == RAW_TEXTS[1]
    assert want != [engine.encode_ids(text) for text in RAW_TEXTS]  # the mode matters here

    raw.save_pretrained(tmp_path / "raw")
    config_path = tmp_path / "raw" / "tokenizer_config.json"
    assert json.loads(config_path.read_text())["normalize"] is False
    for loaded in (SarfanTokenizer.from_pretrained(tmp_path / "raw"),
                   AutoTokenizer.from_pretrained(str(tmp_path / "raw")),
                   pickle.loads(pickle.dumps(raw))):
        assert loaded.normalize is False and loaded(RAW_TEXTS)["input_ids"] == want

    # A folder saved by 0.2.0 (none of the later keys) loads normalizing.
    config = json.loads(config_path.read_text())
    for key in ("normalize", "auto_map", "added_tokens_decoder", "extra_special_tokens",
                "chat_template"):
        del config[key]
    config_path.write_text(json.dumps(config))
    (tmp_path / "raw" / "sarfan_tokenizer.py").unlink()
    assert SarfanTokenizer.from_pretrained(tmp_path / "raw")(RAW_TEXTS)["input_ids"] == \
        engine.encode_batch_ids(RAW_TEXTS)


CHAT = "<|im_start|>user\nمرحبا بك<|im_end|>"


def added_tokens_wrapper(plugin_file, **options):
    tok = SarfanTokenizer(plugins={"egy": plugin_file}, **options)
    assert tok.add_tokens(["<|im_start|>", "\n", MARK + "ازيك"]) == 2  # a plugin piece is no new token
    assert tok.add_special_tokens({"extra_special_tokens": ["<|im_end|>"]}) == 1
    return tok


@pytest.mark.parametrize("normalize", [True, False])
def test_added_tokens_are_matched_in_the_callers_text(tmp_path, engine, plugin_file, normalize):
    import pickle

    tok = added_tokens_wrapper(plugin_file, normalize=normalize)
    start, newline, end = 64001, 64002, 64003  # after the base and the plugin
    assert [tok.convert_tokens_to_ids(t) for t in ("<|im_start|>", "\n", "<|im_end|>")] == [start, newline, end]
    assert len(tok) == 64004 and tok.get_vocab()["<|im_end|>"] == end

    def plain(text):
        return engine.encode_ids(text, normalize)[1:-1]

    want = [1, start, *plain("user"), newline, *plain("مرحبا بك"), end, 2]
    assert tok(CHAT)["input_ids"] == want
    # Inside a word too, and the text after it starts a new word.
    assert tok("كتبﻻ<|im_end|>ﻻكتب")["input_ids"] == [1, *plain("كتبﻻ"), end, *plain("ﻻكتب"), 2]
    assert tok.decode(want) == "[BOS]" + CHAT + "[EOS]"
    assert tok.decode(want, skip_special_tokens=True) == "<|im_start|>user\nمرحبا بك"
    assert tok.tokenize(CHAT)[:2] == ["<|im_start|>", MARK + "user"]

    texts = [CHAT, "سطر واحد\nسطر ثان", ""]
    rows = [tok(text)["input_ids"] for text in texts]
    padded = tok(texts, padding=True, return_tensors="np")
    for row, mask, expected in zip(padded["input_ids"], padded["attention_mask"], rows):
        assert row[mask == 1].tolist() == expected
    assert tok.batch_decode(rows, skip_special_tokens=True)[1] == "سطر واحد\nسطر ثان"
    spans = tok(CHAT, return_offsets_mapping=True)["offset_mapping"]
    assert spans[1] == (0, 12) and spans[-2] == (len(CHAT) - 10, len(CHAT))
    assert tok(CHAT, split_special_tokens=True)["input_ids"] == engine.encode_ids(CHAT, normalize)

    tok.save_pretrained(tmp_path / "saved")
    for loaded in (SarfanTokenizer.from_pretrained(tmp_path / "saved"), pickle.loads(pickle.dumps(tok))):
        assert loaded(texts)["input_ids"] == rows and len(loaded) == len(tok)
        assert loaded.added_tokens_decoder == tok.added_tokens_decoder
        assert "<|im_end|>" in loaded.all_special_tokens


def test_a_special_token_text_that_is_no_piece_frames_the_rows(engine):
    tok = SarfanTokenizer(eos_token="<|end|>", pad_token="<|pad|>")
    end, pad = tok.eos_token_id, tok.pad_token_id
    assert (end, pad) == (64000, 64001) and tok.added_tokens_decoder[end].special
    batch = tok(["في", "في الكتاب"], padding=True)["input_ids"]
    assert batch == [[1, 264, end, pad], [1, 264, 541, end]]
    assert tok.decode(batch[0], skip_special_tokens=True) == "في"


def test_repr_and_the_datasets_fingerprint_of_a_function_using_the_tokenizer():
    import subprocess
    import sys

    pytest.importorskip("datasets")
    assert "SarfanTokenizer" in repr(SarfanTokenizer()) and "<|x|>" in repr(added_tokens_repr())
    code = ("from datasets.fingerprint import Hasher\n"
            "from sarfan_transformers import SarfanTokenizer\n"
            "tok = SarfanTokenizer(normalize=False)\n"
            "tok.add_tokens(['<|x|>'])\n"
            "print(Hasher.hash(lambda batch: tok(batch['text'])))\n")
    runs = [subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
            for _ in range(2)]
    assert runs[0].stdout == runs[1].stdout and len(runs[0].stdout.strip()) == 16
    assert "random hash" not in runs[0].stderr + runs[1].stderr


def added_tokens_repr():
    tok = SarfanTokenizer()
    tok.add_tokens(["<|x|>"])
    return tok


def test_a_saved_folder_loads_in_a_process_that_never_imported_the_wrapper(tmp_path, engine):
    import subprocess
    import sys

    SarfanTokenizer(normalize=False).save_pretrained(tmp_path / "saved")
    code = ("import sys\nfrom transformers import AutoTokenizer\n"
            "tok = AutoTokenizer.from_pretrained(sys.argv[1], trust_remote_code=True)\n"
            "print(type(tok).__name__, tok('إلى ﻻ')['input_ids'])\n")
    env = {**__import__("os").environ, "HF_MODULES_CACHE": str(tmp_path / "modules"), "HF_HUB_OFFLINE": "1"}
    out = subprocess.run([sys.executable, "-c", code, str(tmp_path / "saved")], capture_output=True,
                         text=True, env=env, check=True).stdout
    assert out.split(" ", 1) == ["SarfanTokenizer", f"{engine.encode_ids('إلى ﻻ', False)}\n"]
    refused = subprocess.run([sys.executable, "-c", code.replace("True", "False"), str(tmp_path / "saved")],
                             capture_output=True, text=True, env=env)
    assert refused.returncode != 0


@pytest.mark.parametrize("name", ["sarfan-msa-64k", "SARFAN_MSA_64K", "Sarfan-MSA-64Kv1", "sarfan-msa-64k-v1"])
def test_the_default_model_by_name_never_goes_to_the_hub(clean_env, monkeypatch, engine, name):
    import sys

    monkeypatch.setitem(sys.modules, "huggingface_hub", None)  # any hub access would fail
    for tok in (SarfanTokenizer(name), SarfanTokenizer.from_pretrained(name)):
        assert tok(TEXTS)["input_ids"] == engine.encode_batch_ids(TEXTS)
    with pytest.raises(RuntimeError, match="Could not resolve pretrained tokenizer"):
        SarfanTokenizer("another-model")


def test_a_text_longer_than_model_max_length_warns_once(caplog):
    tok = SarfanTokenizer(model_max_length=5)
    with caplog.at_level("WARNING", logger="transformers"):
        assert len(tok("في الكتاب " * 4)["input_ids"]) == 10
        tok("في الكتاب " * 4)
        assert len(tok("في الكتاب " * 4, truncation=True)["input_ids"]) == 5
    warnings = [r for r in caplog.records if "longer than the specified maximum" in r.getMessage()]
    assert len(warnings) == 1 and "(10 > 5)" in warnings[0].getMessage()
