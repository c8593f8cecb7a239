"""SarfanTokenizer: a sarfan tokenizer where `transformers` expects one."""
import json
import os
import shutil

import numpy as np
from transformers import BatchEncoding, PreTrainedTokenizerBase
from transformers.tokenization_python import AddedToken
from transformers.utils.chat_template_utils import encode_marked_chat
from transformers.utils.hub import CHAT_TEMPLATE_DIR, CHAT_TEMPLATE_FILE

from sarfan_cli.vocab_rules import MARK

from .added_tokens import AddedTokens
from .source import Engine, TokenizerSource

CONFIG_NAME = "tokenizer_config.json"
VOCAB_NAME = "vocab.tsv"
# The module a saved folder's auto_map names, so that AutoTokenizer with
# trust_remote_code=True loads the folder in a process that never imported this package.
REMOTE_CODE_NAME = "sarfan_tokenizer.py"
REMOTE_CODE = ('"""Loads SarfanTokenizer for AutoTokenizer (pip install sarfan[transformers])."""\n'
               "from sarfan_transformers import SarfanTokenizer  # noqa: F401\n")
SPECIAL_TEXTS = {"pad_token": "[PAD]", "bos_token": "[BOS]", "eos_token": "[EOS]",
                 "unk_token": "[UNK]"}
NOT_OFFERED = "SarfanTokenizer encodes single whole texts"


class SarfanTokenizer(PreTrainedTokenizerBase):
    """A sarfan tokenizer (the embedded default with no argument, else a vocabulary file or
    pretrained name, with dialect plugins) behind the `transformers` tokenizer interface.
    sarfan frames every text with [BOS] and [EOS]; add_special_tokens=False drops them.
    With normalize=False every path encodes the text as given (for generation, where the
    model must write the text as it is spelled). Text pairs are not supported."""

    vocab_files_names = {"vocab_file": VOCAB_NAME}
    model_input_names = ["input_ids", "attention_mask"]

    def __init__(self, vocab_file=None, plugins=None, dialect=None, normalize=True, **kwargs):
        """vocab_file: a TSV path or pretrained name (None: the embedded default; a name of the
        default model resolves as load_default() does, never on the hub); plugins: {name:
        path} of dialect plugins, loaded in that order; dialect: the plugin to encode and
        decode with unless a call names another; normalize: False encodes every text as
        given. transformers' own options (chat_template, padding_side, model_max_length, the
        special tokens...) go in kwargs."""
        self._engine = kwargs.pop("_engine", None)
        if self._engine is None:
            source = TokenizerSource.for_vocab(vocab_file, list((plugins or {}).items()))
            self._engine = Engine(source.load(), source)
        self.dialect = dialect
        self.normalize = bool(normalize)
        # get_vocab() per dialect, made on first use. Named `cache` because datasets leaves
        # that attribute out when it hashes a tokenizer.
        self.cache = {}
        self._added = AddedTokens(self._plugin_top())
        saved_added = kwargs.pop("added_tokens_decoder", None) or {}
        self._added.load_config({str(id_): token.__getstate__() if isinstance(token, AddedToken)
                                 else token for id_, token in saved_added.items()
                                 if int(id_) >= self._added.first_id})
        for key, text in SPECIAL_TEXTS.items():
            kwargs.setdefault(key, text)
        super().__init__(plugins=plugins, dialect=dialect, normalize=self.normalize, **kwargs)
        # Special token texts that are no piece (eos_token="<|end|>") become special added
        # tokens, and the framing and padding use their ids.
        self._add_tokens(self.all_special_tokens, special_tokens=True)

    @property
    def _tok(self):
        return self._engine.tok

    def _plugin_top(self):
        """One past the highest id of the base and the plugins (fixed once the wrapper is made)."""
        top = self._tok.vocab_size
        for name in self._tok.list_plugins():
            top = max(top, max(self._tok.get_vocab(name).values(), default=-1) + 1)
        return top

    # --- vocabulary ---

    @property
    def vocab_size(self):
        return self._tok.vocab_size

    def __len__(self):
        """One past the highest id, plugins and added tokens included: the embedding rows a
        model needs."""
        return self._added.first_id + len(self._added)

    def get_vocab(self, dialect=None):
        dialect = dialect if dialect is not None else self.dialect
        if dialect not in self.cache:
            self.cache[dialect] = self._tok.get_vocab(dialect)
        vocab = dict(self.cache[dialect])
        vocab.update(self.added_tokens_encoder)
        return vocab

    @property
    def added_tokens_decoder(self):
        """{id: AddedToken}: the four special pieces, then the tokens added to this wrapper."""
        specials = {getattr(self._tok, key[:-6] + "_id"): AddedToken(text, special=True, normalized=False)
                    for key, text in SPECIAL_TEXTS.items()}
        return {**dict(sorted(specials.items())), **self._added.decoder()}

    @property
    def added_tokens_encoder(self):
        return {str(token): id_ for id_, token in self.added_tokens_decoder.items()}

    def get_added_vocab(self):
        return self.added_tokens_encoder

    def _add_tokens(self, new_tokens, special_tokens=False):
        """Adds what is neither a piece of the base nor already added; returns how many."""
        added = 0
        for token in new_tokens or ():
            if isinstance(token, (str, AddedToken)) and self._tok.token_to_id(str(token)) is not None:
                continue
            added += self._added.add(token, special_tokens)
        return added

    def convert_tokens_to_ids(self, tokens):
        if isinstance(tokens, str):
            return self._token_id(tokens)
        return [self._token_id(token) for token in tokens]

    def _token_id(self, token):
        found = self._added.id_of(token)
        if found is not None:
            return found
        if self.dialect is not None:
            self.get_vocab()
            found = self.cache[self.dialect].get(token)
        else:
            found = self._tok.token_to_id(token)
        return self._tok.unk_id if found is None else found

    def convert_ids_to_tokens(self, ids, skip_special_tokens=False):
        if isinstance(ids, (int, np.integer)):
            return self._piece(int(ids))
        special = set(self.all_special_ids) if skip_special_tokens else ()
        return [self._piece(int(id_)) for id_ in ids if int(id_) not in special]

    def _piece(self, id_):
        added = self._added.token(id_)
        if added is not None:
            return str(added)
        piece = self._tok.id_to_token(id_)
        return self.unk_token if piece is None else piece

    def convert_tokens_to_string(self, tokens):
        return "".join(tokens).replace(MARK, " ").strip()

    def _frame_ids(self):
        """The ids that begin and end each row and pad it: the special tokens' (pieces of the
        base, or added tokens), else the engine's."""
        bos, eos, pad = self.bos_token_id, self.eos_token_id, self.pad_token_id
        return (self._tok.bos_id if bos is None else bos, self._tok.eos_id if eos is None else eos,
                self._tok.pad_id if pad is None else pad)

    def get_special_tokens_mask(self, token_ids_0, token_ids_1=None,
                                already_has_special_tokens=False):
        if token_ids_1 is not None:
            raise ValueError(f"{NOT_OFFERED}: text pairs are not supported")
        if already_has_special_tokens:
            special = set(self.all_special_ids)
            return [int(int(id_) in special) for id_ in token_ids_0]
        return [1] + [0] * len(token_ids_0) + [1]

    def build_inputs_with_special_tokens(self, token_ids_0, token_ids_1=None):
        if token_ids_1 is not None:
            raise ValueError(f"{NOT_OFFERED}: text pairs are not supported")
        bos, eos, _ = self._frame_ids()
        return [bos, *token_ids_0, eos]

    # --- encoding ---

    def __call__(self, text=None, text_pair=None, text_target=None, *, add_special_tokens=True,
                 padding=False, truncation=None, max_length=None, pad_to_multiple_of=None,
                 padding_side=None, return_tensors=None, return_attention_mask=None,
                 return_token_type_ids=None, return_special_tokens_mask=False,
                 return_offsets_mapping=False, return_overflowing_tokens=False,
                 return_length=False, dialect=None, split_special_tokens=None,
                 sanitize_control_tokens=False, normalized_offsets=False, verbose=True,
                 **kwargs):
        if text_pair is not None or text_target is not None or kwargs.pop("text_pair_target", None):
            raise ValueError(f"{NOT_OFFERED}: text pairs are not supported")
        if kwargs.pop("is_split_into_words", False):
            raise ValueError(f"{NOT_OFFERED}: is_split_into_words is not supported")
        if kwargs.pop("stride", 0) or return_overflowing_tokens:
            raise ValueError(f"{NOT_OFFERED}: stride and overflowing tokens are not supported")
        if kwargs:
            raise TypeError(f"SarfanTokenizer.__call__ got unexpected options: {sorted(kwargs)}")
        single = isinstance(text, str)
        texts = [text] if single else text
        # The engine checks every item; a pair shows in the first one (checking each text
        # here cost a sixth of a batch).
        if not isinstance(texts, (list, tuple)) or (texts and not isinstance(texts[0], str)):
            raise ValueError(f"{NOT_OFFERED}: a str or a list of str (text pairs are not supported)")
        limit = self._truncation_length(truncation, max_length)
        if (limit is not None and padding not in (False, None, "do_not_pad") and pad_to_multiple_of
                and max_length is not None and max_length % pad_to_multiple_of != 0):
            raise ValueError(
                "Truncation and padding are both activated but truncation length "
                f"({max_length}) is not a multiple of pad_to_multiple_of ({pad_to_multiple_of}).")
        dialect = dialect if dialect is not None else self.dialect
        if split_special_tokens is None:
            split_special_tokens = self.split_special_tokens
        if sanitize_control_tokens:
            ids, spans, starts = self._encode_chats(texts, return_offsets_mapping)
        else:
            spans_of = (("normalized" if normalized_offsets else "input")
                        if return_offsets_mapping else None)
            if self._added and not split_special_tokens:
                ids, spans, starts = self._encode_with_added(texts, dialect, spans_of)
            else:
                ids, spans, starts = self._encode_texts(texts, dialect, spans_of)
        bos, eos, pad = self._frame_ids()
        if (bos, eos) != (self._tok.bos_id, self._tok.eos_id) and len(ids):
            ids = ids.astype(np.int64)
            ids[starts[:-1]], ids[starts[1:] - 1] = bos, eos
        lengths = np.diff(starts)
        if limit is None and len(lengths) and lengths.max() > self.model_max_length:
            self._eventual_warn_about_too_long_sequence(range(int(lengths.max())), None, verbose)
        keep_special = bool(add_special_tokens)
        if limit is not None or not keep_special:
            ids, spans, lengths = self._cut(ids, spans, starts, lengths, limit, keep_special)
        columns = {"input_ids": (ids, pad)}
        if return_token_type_ids:
            columns["token_type_ids"] = (np.zeros(len(ids), dtype=np.int64), self.pad_token_type_id)
        if return_attention_mask is None or return_attention_mask:
            columns["attention_mask"] = (np.ones(len(ids), dtype=np.int64), 0)
        if return_special_tokens_mask:
            special = np.fromiter(self.all_special_ids, dtype=np.int64)
            columns["special_tokens_mask"] = (np.isin(ids, special).astype(np.int64), 1)
        data = self._layout(columns, spans, lengths, padding, max_length, pad_to_multiple_of,
                            padding_side or self.padding_side, return_tensors, single)
        if return_length:
            data["length"] = (lengths if return_tensors is not None
                              else int(lengths[0]) if single else lengths.tolist())
        return BatchEncoding(data, tensor_type=None, n_sequences=1)

    def _encode_texts(self, texts, dialect, spans_of):
        """(ids, spans or None, row starts) of whole texts: flat arrays, [BOS]/[EOS] in each row.
        spans_of: None, "input" (spans of the caller's text) or "normalized" (of the text the
        engine segments)."""
        if spans_of is not None:
            if spans_of == "input":
                pairs = (self._tok.encode_batch_ids_and_input_offsets(texts, self.normalize)
                         if dialect is None else self._tok.encode_batch_ids_and_input_offsets_with_dialect(
                             texts, dialect, self.normalize))
            else:
                pairs = [(r.ids, r.offsets) for r in self._encode_results(texts, dialect)]
            ids = np.fromiter((i for row, _ in pairs for i in row), dtype=np.uint32)
            spans = np.array([s for _, row in pairs for s in row], dtype=np.int64).reshape(-1, 2)
            lengths = np.fromiter((len(row) for row, _ in pairs), dtype=np.int64, count=len(texts))
            starts = np.zeros(len(texts) + 1, dtype=np.int64)
            np.cumsum(lengths, out=starts[1:])
            return ids, spans, starts
        flat, offsets = (
            self._tok.encode_batch_ids_array(texts, self.normalize) if dialect is None
            else self._tok.encode_batch_ids_array_with_dialect(texts, dialect, self.normalize))
        return np.frombuffer(flat, dtype=np.uint32), None, np.frombuffer(offsets, dtype=np.int64)

    def _encode_with_added(self, texts, dialect, spans_of):
        """As _encode_texts, with the added tokens found in each text first: the text between
        them is encoded on its own (so text after an added token starts a new word), and each
        added token is one id spanning its characters."""
        splits = [self._added.split(text) for text in texts]
        plain = [text[a:b] for text, parts in zip(texts, splits) for a, b, id_ in parts if id_ is None]
        ids, spans, starts = self._encode_texts(plain, dialect, spans_of)
        with_spans = spans_of is not None
        rows, row_spans = [], []
        k = 0
        for text, parts in zip(texts, splits):
            row, row_span = [self._tok.bos_id], [(0, 0)]
            for a, b, id_ in parts:
                if id_ is not None:
                    row.append(id_)
                    row_span.append((a, b))
                    continue
                lo, hi = int(starts[k]) + 1, int(starts[k + 1]) - 1
                row.extend(ids[lo:hi].tolist())
                if with_spans:
                    row_span.extend((a + s, a + e) for s, e in spans[lo:hi].tolist())
                k += 1
            row.append(self._tok.eos_id)
            row_span.append((len(text), len(text)))
            rows.append(row)
            row_spans.append(row_span)
        return self._flatten(rows, row_spans if with_spans else None)

    def _encode_chats(self, texts, with_spans):
        """Chats rendered with sanitize_control_tokens: control tokens that came from the
        user's strings are encoded as plain text (transformers' encode_marked_chat)."""
        if with_spans:
            raise ValueError(f"{NOT_OFFERED}: offsets of a sanitized chat are not supported")
        bos, eos = self._tok.bos_id, self._tok.eos_id
        return self._flatten([[bos, *encode_marked_chat(self, text), eos] for text in texts], None)

    @staticmethod
    def _flatten(rows, row_spans):
        lengths = np.fromiter(map(len, rows), dtype=np.int64, count=len(rows))
        starts = np.zeros(len(rows) + 1, dtype=np.int64)
        np.cumsum(lengths, out=starts[1:])
        ids = np.fromiter((i for row in rows for i in row), dtype=np.uint32, count=int(starts[-1]))
        spans = None
        if row_spans is not None:
            spans = np.array([s for row in row_spans for s in row], dtype=np.int64).reshape(-1, 2)
        return ids, spans, starts

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

    def _layout(self, columns, spans, lengths, padding, max_length, multiple, side, tensors,
                single):
        """Lays out each column {name: (flat values, padding value)} and the spans: lists of
        rows, or a matrix padded on `side` to the padding width."""
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
            for name, (values, _) in columns.items():
                flat = values.tolist()
                data[name] = [flat[a:b] for a, b in zip(bounds, bounds[1:])]
            if spans is not None:
                pairs = list(map(tuple, spans.tolist()))
                data["offset_mapping"] = [pairs[a:b] for a, b in zip(bounds, bounds[1:])]
            if single:
                data = {key: value[0] for key, value in data.items()}
            return data
        grid_columns = np.arange(width)
        if side == "left":
            filled = grid_columns >= (width - lengths)[:, None]
        else:
            filled = grid_columns < lengths[:, None]
        for name, (values, pad) in columns.items():
            matrix = np.full((len(lengths), width), pad, dtype=np.int64)
            matrix[filled] = values
            data[name] = matrix
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

    def encode(self, text, text_pair=None, add_special_tokens=True, dialect=None, **kwargs):
        return self(text, text_pair, add_special_tokens=add_special_tokens, dialect=dialect,
                    **kwargs)["input_ids"]

    def tokenize(self, text, pair=None, add_special_tokens=False, dialect=None, **kwargs):
        ids = self(text, pair, add_special_tokens=add_special_tokens, dialect=dialect,
                   **kwargs)["input_ids"]
        return self.convert_ids_to_tokens(ids)

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
        if skip_special_tokens and dialect is None and not self._added:
            unk = self._tok.unk_id
            return self._tok.decode_batch([[i for i in row if i != unk] for row in sequences])
        return [self._decode_one(list(row), skip_special_tokens, dialect) for row in sequences]

    def _decode_ids(self, ids, dialect):
        return self._tok.decode(ids) if dialect is None else self._tok.decode_with_dialect(ids, dialect)

    def _decode_one(self, ids, skip_special_tokens, dialect):
        """The engine decodes the runs of pieces; added tokens, and [PAD], [BOS] and [EOS]
        unless skip_special_tokens drops them (with [UNK] and the special added tokens), are
        put back between the runs as their texts."""
        dialect = dialect if dialect is not None else self.dialect
        framing = {self._tok.pad_id: SPECIAL_TEXTS["pad_token"],
                   self._tok.bos_id: SPECIAL_TEXTS["bos_token"],
                   self._tok.eos_id: SPECIAL_TEXTS["eos_token"]}
        unk = self._tok.unk_id
        parts, run = [], []
        for id_ in ids:
            added = self._added.token(id_)
            if added is None and (skip_special_tokens or id_ not in framing):
                # The engine drops [PAD], [BOS] and [EOS] inside a run itself.
                if not (skip_special_tokens and id_ == unk):
                    run.append(id_)
                continue
            if run:
                parts.append(self._decode_ids(run, dialect))
                run = []
            if added is None:
                parts.append(framing[id_])
            elif not (skip_special_tokens and added.special):
                parts.append(str(added))
        if run:
            parts.append(self._decode_ids(run, dialect))
        return "".join(parts)

    # --- saving and loading ---

    def save_pretrained(self, save_directory, filename_prefix=None, **kwargs):
        """Writes vocab.tsv, each plugin as plugins/NAME.tsv and tokenizer_config.json;
        from_pretrained (or AutoTokenizer) on the folder gives the same tokenizer back."""
        os.makedirs(save_directory, exist_ok=True)
        vocab_path = os.path.join(save_directory, VOCAB_NAME)
        if self._engine.source.kind == "file":
            if os.path.abspath(self._engine.source.vocab) != os.path.abspath(vocab_path):
                shutil.copyfile(self._engine.source.vocab, vocab_path)
        else:
            # The embedded or a downloaded vocabulary, from its pieces and ids (encoding and
            # decoding do not read scores).
            with open(vocab_path, "w", encoding="utf-8") as f:
                for piece, id_ in sorted(self._tok.get_vocab().items(), key=lambda kv: kv[1]):
                    f.write(f"{piece}\t{id_}\t0\n")
        plugins = {}
        if self._engine.source.plugins:
            os.makedirs(os.path.join(save_directory, "plugins"), exist_ok=True)
        for name, path in self._engine.source.plugins:
            relative = os.path.join("plugins", f"{name}.tsv")
            target = os.path.join(save_directory, relative)
            if os.path.abspath(path) != os.path.abspath(target):
                shutil.copyfile(path, target)
            plugins[name] = relative
        config = {
            "tokenizer_class": type(self).__name__,
            "auto_map": {"AutoTokenizer": [REMOTE_CODE_NAME[:-3] + "." + type(self).__name__, None]},
            "vocab_file": VOCAB_NAME,
            "plugins": plugins,
            **self._options(),
        }
        config, template_files = self.save_chat_templates(save_directory, config, filename_prefix,
                                                          kwargs.get("save_jinja_files", True))
        with open(os.path.join(save_directory, REMOTE_CODE_NAME), "w", encoding="utf-8") as f:
            f.write(REMOTE_CODE)
        config_path = os.path.join(save_directory, CONFIG_NAME)
        with open(config_path, "w", encoding="utf-8") as f:
            json.dump(config, f, ensure_ascii=False, indent=2)
        return (config_path, vocab_path, *template_files)

    def _options(self):
        """What save_pretrained and pickling keep besides the vocabulary and plugins."""
        return {"dialect": self.dialect, "normalize": self.normalize,
                "padding_side": self.padding_side, "truncation_side": self.truncation_side,
                "model_max_length": self.model_max_length,
                **{key: str(getattr(self, key)) for key in SPECIAL_TEXTS},
                "extra_special_tokens": [str(token) for token in self.extra_special_tokens],
                "added_tokens_decoder": self._added.to_config(),
                "chat_template": self.chat_template}

    @classmethod
    def from_pretrained(cls, pretrained_model_name_or_path=None, *args, **kwargs):
        """A folder written by save_pretrained, a vocabulary file, or a name for sarfan's
        own model resolution (a name of the default model resolves as load_default() does);
        None gives the embedded default."""
        for key in ("cache_dir", "force_download", "local_files_only", "token", "revision",
                    "trust_remote_code", "use_fast", "_from_auto", "_commit_hash", "subfolder"):
            kwargs.pop(key, None)
        name = pretrained_model_name_or_path
        config_path = os.path.join(name, CONFIG_NAME) if name is not None else ""
        if name is not None and os.path.isfile(config_path):
            with open(config_path, encoding="utf-8") as f:
                config = json.load(f)
            for key in ("tokenizer_class", "auto_map"):
                config.pop(key, None)
            config["vocab_file"] = os.path.join(name, config["vocab_file"])
            config["plugins"] = {plugin: os.path.join(name, path)
                                 for plugin, path in config.get("plugins", {}).items()}
            templates = saved_chat_templates(name)
            if templates is not None:
                config["chat_template"] = templates
            config.update(kwargs)
            return cls(**config)
        return cls(vocab_file=name, **kwargs)

    # --- pickling ---

    def __reduce__(self):
        """By reference: where the vocabulary and plugins are, with their content hashes,
        and the options; the receiving process loads them again and checks the hashes."""
        return (_rebuild, (type(self), self._engine, self._options()))


def _rebuild(cls, engine, options):
    return cls(_engine=engine, **options)


def saved_chat_templates(folder):
    """The chat templates saved as files in `folder` (which win over the config's): the
    default one's text, or {name: text} when there are more; None when there is no file."""
    default = os.path.join(folder, CHAT_TEMPLATE_FILE)
    more = os.path.join(folder, CHAT_TEMPLATE_DIR)
    templates = {}
    if os.path.isfile(default):
        with open(default, encoding="utf-8") as f:
            templates["default"] = f.read()
    if os.path.isdir(more):
        for entry in sorted(os.listdir(more)):
            if entry.endswith(".jinja"):
                with open(os.path.join(more, entry), encoding="utf-8") as f:
                    templates[entry[:-len(".jinja")]] = f.read()
    if not templates:
        return None
    return templates["default"] if list(templates) == ["default"] else templates
