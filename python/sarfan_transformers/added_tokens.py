"""Tokens added to a wrapped tokenizer (add_tokens, add_special_tokens): strings matched in
the caller's text before normalization and segmentation, each with an id of its own after
the base vocabulary and every loaded plugin."""
import re

from transformers.tokenization_python import AddedToken


class AddedTokens:
    """The added tokens in id order, and the pattern that finds them in a text (the longest
    wins where several start at one place)."""

    def __init__(self, first_id):
        self.first_id = first_id
        self.tokens = []  # AddedToken, the one with id first_id + k at k
        self._ids = {}  # content -> id
        self._pattern = None

    def __len__(self):
        return len(self.tokens)

    def __bool__(self):
        return bool(self.tokens)

    def add(self, token, special):
        """Adds `token` (str or AddedToken) unless it is empty or already added; returns whether
        it was added."""
        if not isinstance(token, (str, AddedToken)):
            raise TypeError(f"Token {token!r} is not a string but a {type(token).__name__}")
        content = str(token)
        if not content or content in self._ids:
            return False
        if isinstance(token, str):
            token = AddedToken(token, rstrip=False, lstrip=False, normalized=False, special=special)
        elif special and not token.special:
            token = AddedToken(**{**token.__getstate__(), "special": True})
        self._ids[content] = self.first_id + len(self.tokens)
        self.tokens.append(token)
        self._pattern = None
        return True

    def id_of(self, content):
        return self._ids.get(content)

    def token(self, id_):
        """The AddedToken of `id_`, or None for an id that is not an added one."""
        k = id_ - self.first_id
        return self.tokens[k] if 0 <= k < len(self.tokens) else None

    def decoder(self):
        """{id: AddedToken}, as transformers' added_tokens_decoder gives it."""
        return {self.first_id + k: token for k, token in enumerate(self.tokens)}

    def split(self, text):
        """The text as (start, end, id) parts in order: id is the added token's, or None for
        the plain text between them (empty parts are left out)."""
        if self._pattern is None:
            contents = sorted(self._ids, key=lambda c: (-len(c), c))
            self._pattern = re.compile("|".join(map(re.escape, contents)))
        parts, at = [], 0
        for match in self._pattern.finditer(text):
            if match.start() > at:
                parts.append((at, match.start(), None))
            parts.append((match.start(), match.end(), self._ids[match.group()]))
            at = match.end()
        if at < len(text):
            parts.append((at, len(text), None))
        return parts

    def to_config(self):
        """What tokenizer_config.json keeps: {id: AddedToken fields}, as transformers writes it."""
        return {str(self.first_id + k): token.__getstate__() for k, token in enumerate(self.tokens)}

    def load_config(self, entries):
        """Adds the tokens of a saved `to_config()`, checking that each keeps its id."""
        for id_text, fields in sorted(entries.items(), key=lambda item: int(item[0])):
            fields = dict(fields)
            token = AddedToken(fields.pop("content"), **fields)
            if not self.add(token, token.special) or self._ids[str(token)] != int(id_text):
                raise ValueError(f"added token {str(token)!r} cannot keep its saved id {id_text}: "
                                 f"the vocabulary and plugins end at {self.first_id}")
