"""SarfanTokenizer: a sarfan tokenizer where `transformers` expects one."""
import json
import os
import shutil

import numpy as np
from transformers import BatchEncoding, PreTrainedTokenizerBase

from .source import TokenizerSource

CONFIG_NAME = "tokenizer_config.json"
VOCAB_NAME = "vocab.tsv"
SPECIAL_TEXTS = {"pad_token": "[PAD]", "bos_token": "[BOS]", "eos_token": "[EOS]",
                 "unk_token": "[UNK]"}
# Keyword arguments of __call__ that transformers passes around and that change nothing here.
IGNORED_CALL_OPTIONS = {"verbose", "return_special_tokens_mask", "return_overflowing_tokens",
                        "split_special_tokens", "return_token_type_ids"}


class SarfanTokenizer(PreTrainedTokenizerBase):
    """A sarfan tokenizer (the embedded default with no argument, else a vocabulary file or
    pretrained name, with dialect plugins) behind the `transformers` tokenizer interface.
    sarfan frames every text with [BOS] and [EOS]; add_special_tokens=False drops them.
    With normalize=False every path encodes the text as given (for generation, where the
    model must write the text as it is spelled). Text pairs are not supported."""

    vocab_files_names = {"vocab_file": VOCAB_NAME}
    model_input_names = ["input_ids", "attention_mask"]

    def __init__(self, vocab_file=None, plugins=None, dialect=None, normalize=True, **kwargs):
        """vocab_file: a TSV path or pretrained name (None: the embedded default); plugins:
        {name: path} of dialect plugins, loaded in that order; dialect: the plugin to encode
        and decode with unless a call names another; normalize: False encodes every text
        as given."""
        source = kwargs.pop("_source", None)
        self._tok = kwargs.pop("_tok", None)
        if self._tok is None:
            source = TokenizerSource.for_vocab(vocab_file, list((plugins or {}).items()))
            self._tok = source.load()
        self._source = source
        self.dialect = dialect
        self.normalize = bool(normalize)
        self._vocab = {}  # get_vocab() per dialect, made on first use
        self._length = None
        for key, text in SPECIAL_TEXTS.items():
            kwargs.setdefault(key, text)
        super().__init__(**kwargs)

    # --- vocabulary ---

    @property
    def vocab_size(self):
        return self._tok.vocab_size

    def __len__(self):
        """One past the highest id, plugins included: the embedding rows a model needs."""
        if self._length is None:  # the plugins are fixed once the wrapper is made
            top = self.vocab_size
            for name in self._tok.list_plugins():
                top = max(top, max(self._tok.get_vocab(name).values(), default=-1) + 1)
            self._length = top
        return self._length

    def get_vocab(self, dialect=None):
        dialect = dialect if dialect is not None else self.dialect
        if dialect not in self._vocab:
            self._vocab[dialect] = self._tok.get_vocab(dialect)
        return dict(self._vocab[dialect])

    def convert_tokens_to_ids(self, tokens):
        if isinstance(tokens, str):
            return self._token_id(tokens)
        return [self._token_id(token) for token in tokens]

    def _token_id(self, token):
        if self.dialect is not None:
            self.get_vocab()
            found = self._vocab[self.dialect].get(token)
        else:
            found = self._tok.token_to_id(token)
        return self._tok.unk_id if found is None else found

    def convert_ids_to_tokens(self, ids, skip_special_tokens=False):
        if isinstance(ids, (int, np.integer)):
            return self._piece(int(ids))
        special = self._framing_ids() if skip_special_tokens else ()
        return [self._piece(int(id_)) for id_ in ids if int(id_) not in special]

    def _piece(self, id_):
        piece = self._tok.id_to_token(id_)
        return self.unk_token if piece is None else piece

    def convert_tokens_to_string(self, tokens):
        return "".join(tokens).replace("\u2581", " ").strip()

    def _framing_ids(self):
        return {self._tok.pad_id, self._tok.bos_id, self._tok.eos_id}

    def _special_ids(self):
        return self._framing_ids() | {self._tok.unk_id}

    # --- encoding ---

    def __call__(self, text=None, text_pair=None, text_target=None, *, add_special_tokens=True,
                 padding=False, truncation=None, max_length=None, pad_to_multiple_of=None,
                 padding_side=None, return_tensors=None, return_attention_mask=None,
                 return_offsets_mapping=False, return_length=False, dialect=None, **kwargs):
        if text_pair is not None or text_target is not None or kwargs.get("text_pair_target"):
            raise ValueError("SarfanTokenizer encodes single texts: text pairs are not supported")
        if kwargs.pop("is_split_into_words", False):
            raise ValueError("SarfanTokenizer encodes whole texts: is_split_into_words is not supported")
        if kwargs.pop("stride", 0):
            raise ValueError("SarfanTokenizer does not support stride")
        unknown = set(kwargs) - IGNORED_CALL_OPTIONS - {"text_pair_target"}
        if unknown:
            raise TypeError(f"SarfanTokenizer.__call__ got unexpected options: {sorted(unknown)}")
        single = isinstance(text, str)
        texts = [text] if single else text
        # The engine checks every item; a pair shows in the first one (checking each text
        # here cost a sixth of a batch).
        if not isinstance(texts, (list, tuple)) or (texts and not isinstance(texts[0], str)):
            raise ValueError("SarfanTokenizer encodes a str or a list of str (text pairs are "
                             "not supported)")
        dialect = dialect if dialect is not None else self.dialect
        if return_offsets_mapping:
            results = self._encode_results(texts, dialect)
            ids = np.fromiter((i for r in results for i in r.ids), dtype=np.uint32)
            spans = np.array([s for r in results for s in r.offsets], dtype=np.int64).reshape(-1, 2)
            lengths = np.fromiter((len(r.ids) for r in results), dtype=np.int64, count=len(texts))
            starts = np.zeros(len(texts) + 1, dtype=np.int64)
            np.cumsum(lengths, out=starts[1:])
        else:
            flat, offsets = (
                self._tok.encode_batch_ids_array(texts, self.normalize) if dialect is None
                else self._tok.encode_batch_ids_array_with_dialect(texts, dialect, self.normalize))
            ids = np.frombuffer(flat, dtype=np.uint32)
            starts = np.frombuffer(offsets, dtype=np.int64)
            spans = None
        lengths = np.diff(starts)
        limit = self._truncation_length(truncation, max_length)
        keep_special = bool(add_special_tokens)
        if limit is not None or not keep_special:
            ids, spans, lengths = self._cut(ids, spans, starts, lengths, limit, keep_special)
        data = self._layout(ids, spans, lengths, padding, max_length, pad_to_multiple_of,
                            padding_side or self.padding_side, return_tensors,
                            True if return_attention_mask is None else return_attention_mask,
                            single)
        if return_length:
            data["length"] = (lengths if return_tensors is not None
                              else int(lengths[0]) if single else lengths.tolist())
        return BatchEncoding(data, tensor_type=None, n_sequences=1)

    def _encode_results(self, texts, dialect):
        """Full results of every text. The batch methods always normalize, so raw text is
        encoded one text at a time (about as fast on two threads: see the README)."""
        if self.normalize:
            return (self._tok.encode_batch(texts) if dialect is None
                    else self._tok.encode_batch_with_dialect(texts, dialect))
        if dialect is None:
            return [self._tok.encode(text, False) for text in texts]
        return [self._tok.encode_with_dialect(text, dialect, False) for text in texts]

    def _truncation_length(self, truncation, max_length):
        if truncation in (None, False, "do_not_truncate"):
            return None
        if truncation not in (True, "longest_first", "only_first"):
            raise ValueError(f"SarfanTokenizer: unsupported truncation {truncation!r}")
        if max_length is None:
            max_length = self.model_max_length if self.model_max_length < 1 << 40 else None
        return max_length

    def _cut(self, ids, spans, starts, lengths, limit, keep_special):
        """Drops [BOS]/[EOS] when asked and truncates each row's content to the budget that
        `limit` leaves, on the truncation side, all rows at once."""
        frame = 2 if keep_special else 0
        content = lengths - 2
        kept = content if limit is None else np.minimum(content, max(limit - frame, 0))
        row = np.repeat(np.arange(len(lengths)), lengths)
        pos = np.arange(len(ids)) - starts[:-1][row]
        if self.truncation_side == "left":
            low, high = (lengths - 1 - kept)[row], (lengths - 1)[row]
        else:
            low, high = 1, (1 + kept)[row]
        keep = (pos >= low) & (pos < high)
        if keep_special:
            keep |= (pos == 0) | (pos == lengths[row] - 1)
        return ids[keep], None if spans is None else spans[keep], kept + frame

    def _layout(self, ids, spans, lengths, padding, max_length, multiple, side, tensors, mask,
                single):
        if tensors not in (None, "np", "pt"):
            raise ValueError(f"SarfanTokenizer: return_tensors must be 'np' or 'pt', not {tensors!r}")
        if padding in (True, "longest"):
            width = int(lengths.max(initial=0))
        elif padding == "max_length":
            width = max_length if max_length is not None else self.model_max_length
            if width >= 1 << 40:
                raise ValueError("padding='max_length' needs max_length (or model_max_length)")
            width = max(width, int(lengths.max(initial=0)))
        elif padding in (False, None, "do_not_pad"):
            width = None
        else:
            raise ValueError(f"SarfanTokenizer: unsupported padding {padding!r}")
        if width is not None and multiple:
            width = -(-width // multiple) * multiple
        if width is None and tensors is not None:
            if len(lengths) and (lengths != lengths[0]).any():
                raise ValueError("texts of different lengths make no tensor: pass padding=True "
                                 "(or truncation with padding='max_length')")
            width = int(lengths[0]) if len(lengths) else 0
        data = {}
        if width is None:
            bounds = np.concatenate(([0], np.cumsum(lengths))).tolist()
            flat = ids.tolist()
            data["input_ids"] = [flat[a:b] for a, b in zip(bounds, bounds[1:])]
            if mask:
                data["attention_mask"] = [[1] * (b - a) for a, b in zip(bounds, bounds[1:])]
            if spans is not None:
                pairs = list(map(tuple, spans.tolist()))
                data["offset_mapping"] = [pairs[a:b] for a, b in zip(bounds, bounds[1:])]
            if single:
                data = {key: value[0] for key, value in data.items()}
            return data
        columns = np.arange(width)
        if side == "left":
            filled = columns >= (width - lengths)[:, None]
        else:
            filled = columns < lengths[:, None]
        matrix = np.full((len(lengths), width), self._tok.pad_id, dtype=np.int64)
        matrix[filled] = ids
        data["input_ids"] = matrix
        if mask:
            data["attention_mask"] = filled.astype(np.int64)
        if spans is not None:
            grid = np.zeros((len(lengths), width, 2), dtype=np.int64)
            grid[filled] = spans
            data["offset_mapping"] = grid
        if tensors is None:
            data = {key: value.tolist() for key, value in data.items()}
            if spans is not None:
                data["offset_mapping"] = [list(map(tuple, row)) for row in data["offset_mapping"]]
            if single:
                data = {key: value[0] for key, value in data.items()}
        elif tensors == "pt":
            import torch

            data = {key: torch.from_numpy(value) for key, value in data.items()}
        return data

    def encode(self, text, add_special_tokens=True, dialect=None, **kwargs):
        return self(text, add_special_tokens=add_special_tokens, dialect=dialect,
                    **kwargs)["input_ids"]

    def tokenize(self, text, dialect=None, **kwargs):
        dialect = dialect if dialect is not None else self.dialect
        result = (self._tok.encode(text, self.normalize) if dialect is None
                  else self._tok.encode_with_dialect(text, dialect, self.normalize))
        return result.tokens[1:-1]

    def num_special_tokens_to_add(self, pair=False):
        return 2

    # --- decoding ---

    def decode(self, token_ids, skip_special_tokens=False, dialect=None, **kwargs):
        if hasattr(token_ids, "tolist"):
            token_ids = token_ids.tolist()
        if isinstance(token_ids, int):
            token_ids = [token_ids]
        token_ids = list(token_ids)
        if token_ids and isinstance(token_ids[0], (list, tuple)):
            return [self._decode_one(list(row), skip_special_tokens, dialect) for row in token_ids]
        return self._decode_one(token_ids, skip_special_tokens, dialect)

    def batch_decode(self, sequences, skip_special_tokens=False, dialect=None, **kwargs):
        if hasattr(sequences, "tolist"):
            sequences = sequences.tolist()
        dialect = dialect if dialect is not None else self.dialect
        if skip_special_tokens and dialect is None:
            unk = self._tok.unk_id
            return self._tok.decode_batch([[i for i in row if i != unk] for row in sequences])
        return [self._decode_one(list(row), skip_special_tokens, dialect) for row in sequences]

    def _decode_ids(self, ids, dialect):
        return self._tok.decode(ids) if dialect is None else self._tok.decode_with_dialect(ids, dialect)

    def _decode_one(self, ids, skip_special_tokens, dialect):
        dialect = dialect if dialect is not None else self.dialect
        if skip_special_tokens:
            unk = self._tok.unk_id
            return self._decode_ids([i for i in ids if i != unk], dialect)
        # The engine drops [PAD], [BOS] and [EOS]: decode the runs between them and put the
        # special texts back in place.
        framing = {self._tok.pad_id: self.pad_token, self._tok.bos_id: self.bos_token,
                   self._tok.eos_id: self.eos_token}
        parts, run = [], []
        for id_ in ids:
            if id_ in framing:
                if run:
                    parts.append(self._decode_ids(run, dialect))
                    run = []
                parts.append(framing[id_])
            else:
                run.append(id_)
        if run:
            parts.append(self._decode_ids(run, dialect))
        return "".join(parts)

    # --- saving and loading ---

    def save_pretrained(self, save_directory, filename_prefix=None, **kwargs):
        """Writes vocab.tsv, each plugin as plugins/NAME.tsv and tokenizer_config.json;
        from_pretrained (or AutoTokenizer) on the folder gives the same tokenizer back."""
        os.makedirs(save_directory, exist_ok=True)
        vocab_path = os.path.join(save_directory, VOCAB_NAME)
        if self._source.kind == "file":
            if os.path.abspath(self._source.vocab) != os.path.abspath(vocab_path):
                shutil.copyfile(self._source.vocab, vocab_path)
        else:
            # The embedded or a downloaded vocabulary, from its pieces and ids (encoding and
            # decoding do not read scores).
            with open(vocab_path, "w", encoding="utf-8") as f:
                for piece, id_ in sorted(self._tok.get_vocab().items(), key=lambda kv: kv[1]):
                    f.write(f"{piece}\t{id_}\t0\n")
        plugins = {}
        if self._source.plugins:
            os.makedirs(os.path.join(save_directory, "plugins"), exist_ok=True)
        for name, path in self._source.plugins:
            relative = os.path.join("plugins", f"{name}.tsv")
            target = os.path.join(save_directory, relative)
            if os.path.abspath(path) != os.path.abspath(target):
                shutil.copyfile(path, target)
            plugins[name] = relative
        config = {
            "tokenizer_class": type(self).__name__,
            "vocab_file": VOCAB_NAME,
            "plugins": plugins,
            "dialect": self.dialect,
            "normalize": self.normalize,
            "padding_side": self.padding_side,
            "truncation_side": self.truncation_side,
            "model_max_length": self.model_max_length,
            **{key: str(getattr(self, key)) for key in SPECIAL_TEXTS},
        }
        config_path = os.path.join(save_directory, CONFIG_NAME)
        with open(config_path, "w", encoding="utf-8") as f:
            json.dump(config, f, ensure_ascii=False, indent=2)
        return (config_path, vocab_path)

    @classmethod
    def from_pretrained(cls, pretrained_model_name_or_path=None, *args, **kwargs):
        """A folder written by save_pretrained, a vocabulary file, or a name for sarfan's
        own model resolution; None gives the embedded default."""
        for key in ("cache_dir", "force_download", "local_files_only", "token", "revision",
                    "trust_remote_code", "use_fast", "_from_auto", "_commit_hash", "subfolder"):
            kwargs.pop(key, None)
        name = pretrained_model_name_or_path
        config_path = os.path.join(name, CONFIG_NAME) if name is not None else ""
        if name is not None and os.path.isfile(config_path):
            with open(config_path, encoding="utf-8") as f:
                config = json.load(f)
            config.pop("tokenizer_class", None)
            config["vocab_file"] = os.path.join(name, config["vocab_file"])
            config["plugins"] = {plugin: os.path.join(name, path)
                                 for plugin, path in config.get("plugins", {}).items()}
            config.update(kwargs)
            return cls(**config)
        return cls(vocab_file=name, **kwargs)

    # --- pickling ---

    def __reduce__(self):
        """By reference: where the vocabulary and plugins are, with their content hashes,
        and the options; the receiving process loads them again and checks the hashes."""
        options = {"dialect": self.dialect, "normalize": self.normalize,
                   "padding_side": self.padding_side,
                   "truncation_side": self.truncation_side,
                   "model_max_length": self.model_max_length,
                   **{key: str(getattr(self, key)) for key in SPECIAL_TEXTS}}
        return (_rebuild, (type(self), self._source.reference(self._tok), options))


def _rebuild(cls, reference, options):
    tok, source = TokenizerSource.restore(reference)
    return cls(_tok=tok, _source=source, **options)
