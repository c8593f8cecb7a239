"""sarfan for Hugging Face `transformers` (pip install sarfan[transformers]).

    from sarfan_transformers import SarfanTokenizer
    tok = SarfanTokenizer()                      # the embedded default model
    batch = tok(texts, padding=True, return_tensors="np")

Importing this module registers SarfanTokenizer with AutoTokenizer (under the config type
"sarfan"), so AutoTokenizer.from_pretrained() loads a folder that save_pretrained wrote."""
from transformers import AutoConfig, AutoTokenizer, PretrainedConfig

from .source import SourceChangedError
from .tokenizer import SarfanTokenizer


class SarfanConfig(PretrainedConfig):
    """The config type that AutoTokenizer maps to SarfanTokenizer."""

    model_type = "sarfan"


AutoConfig.register("sarfan", SarfanConfig, exist_ok=True)
AutoTokenizer.register(SarfanConfig, slow_tokenizer_class=SarfanTokenizer, exist_ok=True)

__all__ = ["SarfanTokenizer", "SarfanConfig", "SourceChangedError"]
