# Type stubs of the sarfan extension module (a stub-only package, found by type checkers
# in site-packages beside the extension). The docstrings here are the API reference:
# tools/gen_api_docs.py turns them into docs/api.md and the README's API table.
from array import array
from typing import Sequence, final

__all__ = ["SarfanMSATokenizer", "EncodeResult"]

@final
class SarfanMSATokenizer:
    """A tokenizer: an immutable base vocabulary plus the dialect plugins loaded into it.

    Instances come from the four static methods only; calling the class raises TypeError.
    """

    @staticmethod
    def from_tsv(path: str) -> SarfanMSATokenizer:
        """Load a tokenizer from a vocabulary file of `token<TAB>id<TAB>score` lines.

        Args:
            path: the vocabulary file.

        Returns:
            A new tokenizer.

        Raises:
            RuntimeError: the file cannot be read or a line is invalid (the message names it).

        Example:
            SarfanMSATokenizer.from_tsv("vocab.tsv")
        """
    @staticmethod
    def from_pretrained(name: str) -> SarfanMSATokenizer:
        """Load a tokenizer by name: a local file, the search directories, then the Hugging Face Hub.

        Never falls back to the embedded vocabulary (`load_default()` does).

        Args:
            name: a file path, a model name or a Hub repo id.

        Returns:
            A new tokenizer.

        Raises:
            RuntimeError: nothing of that name was found, or the file found is invalid.

        Example:
            SarfanMSATokenizer.from_pretrained("legal-32k")
        """
    @staticmethod
    def load_default() -> SarfanMSATokenizer:
        """Load the default model: `SARFAN_DEFAULT_MODEL` (default `sarfan-msa-64k`) resolved locally.

        For the default name with no local file, the embedded vocabulary; never the Hub.

        Returns:
            A new tokenizer.

        Raises:
            RuntimeError: the model named by `SARFAN_DEFAULT_MODEL` is not found or invalid.

        Example:
            SarfanMSATokenizer.load_default()
        """
    def encode(self, text: str, normalize: bool = True) -> EncodeResult:
        """Encode a text into ids, pieces and character offsets.

        Args:
            text: the text.
            normalize: normalize first (as `normalize()`); False encodes the text as written.

        Returns:
            An `EncodeResult`, [BOS] first and [EOS] last.

        Raises:
            UnicodeEncodeError: the text holds a lone surrogate.

        Example:
            tok.encode("في الكتاب").tokens
        """
    def encode_with_dialect(self, text: str, dialect: str, normalize: bool = True) -> EncodeResult:
        """Encode a text with the pieces of a loaded dialect plugin as well as the base's.

        Args:
            text: the text.
            dialect: a plugin name; a name not loaded encodes with the base's pieces alone.
            normalize: as in `encode()`.

        Returns:
            An `EncodeResult`.

        Example:
            tok.encode_with_dialect("ازيك", "egy").ids
        """
    def encode_ids(self, text: str, normalize: bool = True) -> list[int]:
        """Encode a text into ids only: the fast path, with no pieces or offsets built.

        Args:
            text: the text.
            normalize: as in `encode()`.

        Returns:
            The ids, [BOS] first and [EOS] last.

        Example:
            tok.encode_ids("في الكتاب")  # [1, 264, 541, 2]
        """
    def encode_ids_with_dialect(self, text: str, dialect: str, normalize: bool = True) -> list[int]:
        """Encode a text into ids with a dialect plugin's pieces as well.

        Args:
            text: the text.
            dialect: a plugin name, as in `encode_with_dialect()`.
            normalize: as in `encode()`.

        Returns:
            The ids.

        Example:
            tok.encode_ids_with_dialect("ازيك", "egy")
        """
    def encode_batch(self, texts: Sequence[str]) -> list[EncodeResult]:
        """Encode many texts, normalized, in parallel on the batch pool.

        Args:
            texts: the texts.

        Returns:
            One `EncodeResult` per text, in order.

        Example:
            tok.encode_batch(["في", "الكتاب"])[1].ids
        """
    def encode_batch_with_dialect(self, texts: Sequence[str], dialect: str) -> list[EncodeResult]:
        """Encode many texts in parallel with a dialect plugin's pieces as well.

        Args:
            texts: the texts.
            dialect: a plugin name.

        Returns:
            One `EncodeResult` per text, in order.

        Example:
            tok.encode_batch_with_dialect(texts, "egy")
        """
    def encode_batch_ids(self, texts: Sequence[str]) -> list[list[int]]:
        """Encode many texts, normalized, into id lists, in parallel on the batch pool.

        Args:
            texts: the texts.

        Returns:
            One id list per text, in order.

        Example:
            tok.encode_batch_ids(["في", "الكتاب"])  # [[1, 264, 2], [1, 541, 2]]
        """
    def encode_batch_ids_with_dialect(self, texts: Sequence[str], dialect: str) -> list[list[int]]:
        """Encode many texts into id lists in parallel with a dialect plugin's pieces as well.

        Args:
            texts: the texts.
            dialect: a plugin name.

        Returns:
            One id list per text, in order.

        Example:
            tok.encode_batch_ids_with_dialect(texts, "egy")
        """
    def normalize(self, text: str) -> str:
        """Return the text exactly as `encode()` normalizes it.

        NFC, the Arabic letter foldings, tatweel removed, White_Space runs collapsed and trimmed.

        Args:
            text: the text.

        Returns:
            The normalized text.

        Example:
            tok.normalize("مدرسة على إلى")  # 'مدرسه علي الي'
        """
    def encode_batch_ids_array(
        self, texts: Sequence[str], normalize: bool = True
    ) -> tuple[array[int], array[int]]:
        """Encode many texts in parallel into two flat arrays, with no Python int per id.

        Args:
            texts: the texts.
            normalize: as in `encode()`; False encodes the texts as written.

        Returns:
            `(ids, row_offsets)`: `array('I')` of every id in order and `array('q')` of
            `len(texts) + 1` bounds, row i being `ids[row_offsets[i]:row_offsets[i + 1]]`.

        Example:
            ids, row_offsets = tok.encode_batch_ids_array(texts)
        """
    def encode_batch_ids_array_with_dialect(
        self, texts: Sequence[str], dialect: str, normalize: bool = True
    ) -> tuple[array[int], array[int]]:
        """Encode many texts into two flat arrays with a dialect plugin's pieces as well.

        Args:
            texts: the texts.
            dialect: a plugin name.
            normalize: as in `encode()`.

        Returns:
            `(ids, row_offsets)`, as `encode_batch_ids_array()` gives them.

        Example:
            tok.encode_batch_ids_array_with_dialect(texts, "egy")
        """
    def decode(self, ids: Sequence[int]) -> str:
        """Turn ids back into text; ids of any loaded plugin decode too.

        Special pieces and ids that name no piece are skipped; each "▁" becomes a space.

        Args:
            ids: the ids.

        Returns:
            The text, with no whitespace at either end.

        Raises:
            OverflowError: an id is negative or above 2**32 - 1.

        Example:
            tok.decode([1, 264, 541, 2])  # 'في الكتاب'
        """
    def decode_with_dialect(self, ids: Sequence[int], dialect: str) -> str:
        """Turn ids back into text, taking plugin ids from the named plugin only.

        Args:
            ids: the ids.
            dialect: a plugin name.

        Returns:
            The text.

        Raises:
            OverflowError: an id is negative or above 2**32 - 1.

        Example:
            tok.decode_with_dialect([64000], "egy")
        """
    def decode_batch(self, id_batches: Sequence[Sequence[int]]) -> list[str]:
        """Decode many id lists.

        Args:
            id_batches: the id lists.

        Returns:
            One text per id list, in order.

        Raises:
            OverflowError: an id is negative or above 2**32 - 1.

        Example:
            tok.decode_batch([[264], [541]])  # ['في', 'الكتاب']
        """
    def load_plugin(self, path: str, name: str) -> None:
        """Load a dialect plugin: a vocabulary file whose ids start at `vocab_size`.

        A plugin already loaded under that name is replaced.

        Args:
            path: the plugin file.
            name: the name to pass as `dialect`.

        Raises:
            RuntimeError: the file is unreadable or invalid (an id below `vocab_size` names
                its line), or another thread is using the tokenizer ("Already borrowed");
                the loaded plugins are then unchanged.

        Example:
            tok.load_plugin("egy.tsv", "egy")
        """
    def unload_plugin(self, name: str) -> None:
        """Unload a dialect plugin; a name not loaded is no error.

        Args:
            name: the plugin name.

        Raises:
            RuntimeError: another thread is using the tokenizer ("Already borrowed").

        Example:
            tok.unload_plugin("egy")
        """
    def list_plugins(self) -> list[str]:
        """The names of the loaded plugins.

        Returns:
            The names, in loading order.

        Example:
            tok.list_plugins()  # ['egy']
        """
    def id_to_token(self, id: int) -> str | None:
        """The piece of a base or plugin id.

        Args:
            id: the id.

        Returns:
            The piece, or None when no piece has that id.

        Example:
            tok.id_to_token(264)  # '▁في'
        """
    def token_to_id(self, piece: str) -> int | None:
        """The id of a piece: the base's, else the first plugin's (in loading order).

        Args:
            piece: the piece, "▁" included for a word start.

        Returns:
            The id, or None when no vocabulary holds the piece.

        Example:
            tok.token_to_id("▁في")  # 264
        """
    def get_vocab(self, dialect: str | None = None) -> dict[str, int]:
        """A new dict of every piece to its id.

        Args:
            dialect: a plugin whose pieces are added to the base's; None for the base only.

        Returns:
            The dict, piece to id.

        Example:
            tok.get_vocab("egy")["▁ازيك"]
        """
    @staticmethod
    def load_embedded() -> SarfanMSATokenizer:
        """Load the vocabulary compiled into the module, whatever the environment and the files around.

        Returns:
            A new tokenizer.

        Example:
            SarfanMSATokenizer.load_embedded()
        """
    @staticmethod
    def batch_threads() -> int:
        """The batch pool's thread count (the pool is made if need be).

        Returns:
            `SARFAN_NUM_THREADS` if set when the pool was made, else the CPUs the process may use.

        Example:
            SarfanMSATokenizer.batch_threads()  # 2
        """
    def encode_ids_and_input_offsets(
        self, text: str, normalize: bool = True
    ) -> tuple[list[int], list[tuple[int, int]]]:
        """Encode a text into ids and each piece's (start, end) in characters of the caller's text.

        Args:
            text: The text, as given (not the normalized text).
            normalize: False encodes the text as given; the spans then equal `encode()`'s offsets.

        Returns:
            (ids, spans): [BOS] spans (0, 0), [EOS] (n, n); characters that normalization merged,
            reordered or unfolded share one span; byte pieces carry their character's span.

        Example:
            tok.encode_ids_and_input_offsets("  ذهب   الولد")[1]  # [(0, 0), (2, 5), (8, 13), (13, 13)]
        """
    def encode_ids_and_input_offsets_with_dialect(
        self, text: str, dialect: str, normalize: bool = True
    ) -> tuple[list[int], list[tuple[int, int]]]:
        """Encode a text into ids and spans of the caller's text, with a dialect plugin's pieces as well.

        Args:
            text: The text, as given.
            dialect: The name of a loaded plugin.
            normalize: False encodes the text as given.

        Returns:
            (ids, spans), as `encode_ids_and_input_offsets` gives them.

        Example:
            tok.encode_ids_and_input_offsets_with_dialect("ازيك", "egy")
        """
    def encode_batch_ids_and_input_offsets(
        self, texts: Sequence[str], normalize: bool = True
    ) -> list[tuple[list[int], list[tuple[int, int]]]]:
        """Encode many texts in parallel into ids and spans of each caller's text.

        Args:
            texts: A sequence of str.
            normalize: False encodes the texts as given.

        Returns:
            One (ids, spans) per text, as `encode_ids_and_input_offsets` gives them.

        Example:
            tok.encode_batch_ids_and_input_offsets(["في الكتاب"])[0][0]  # [1, 264, 541, 2]
        """
    def encode_batch_ids_and_input_offsets_with_dialect(
        self, texts: Sequence[str], dialect: str, normalize: bool = True
    ) -> list[tuple[list[int], list[tuple[int, int]]]]:
        """Encode many texts in parallel into ids and spans, with a dialect plugin's pieces as well.

        Args:
            texts: A sequence of str.
            dialect: The name of a loaded plugin.
            normalize: False encodes the texts as given.

        Returns:
            One (ids, spans) per text.

        Example:
            tok.encode_batch_ids_and_input_offsets_with_dialect(texts, "egy")
        """
    @property
    def vocab_size(self) -> int:
        """The number of base ids; plugin ids start here.

        Example:
            tok.vocab_size  # 64000
        """
    @property
    def pad_id(self) -> int:
        """The id of [PAD] (0 in the default vocabulary)."""
    @property
    def bos_id(self) -> int:
        """The id of [BOS], first in every encoding (1 in the default vocabulary)."""
    @property
    def eos_id(self) -> int:
        """The id of [EOS], last in every encoding (2 in the default vocabulary)."""
    @property
    def unk_id(self) -> int:
        """The id of [UNK] (3 in the default vocabulary)."""

@final
class EncodeResult:
    """What `encode()` gives: parallel ids, pieces and offsets, and the dialect used."""

    @property
    def ids(self) -> list[int]:
        """The ids, [BOS] first and [EOS] last."""
    @property
    def tokens(self) -> list[str]:
        """The pieces, parallel to `ids`; a word's first piece starts with "▁"."""
    @property
    def offsets(self) -> list[tuple[int, int]]:
        """Each piece's (start, end) in characters of the normalized text.

        Example:
            r.offsets  # [(0, 0), (0, 2), (3, 9), (9, 9)]
        """
    @property
    def dialect(self) -> str:
        """The dialect asked for, else "msa"."""
    @property
    def confidence(self) -> float:
        """The confidence in `dialect` (1.0: no text is routed by guessing)."""
    @property
    def fallback(self) -> bool:
        """True when no dialect was asked for (the text went to "msa" by default)."""
