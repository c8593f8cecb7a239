"""transformers' own common tokenizer tests (TokenizerTesterMixin, from the sdist of the
installed transformers, unpacked by tools/setup.sh) against SarfanTokenizer, normalizing and
with text as written. Only the mixin's documented class attributes are set; the tests that
cannot apply are skipped below with the reason."""
import glob
import os
import sys
import tempfile
import unittest

import pytest

transformers = pytest.importorskip("transformers")
pytest.importorskip("parameterized")

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_found = glob.glob(os.path.join(ROOT, ".deps", "transformers-tests", transformers.__version__))
if not _found:
    pytest.skip("transformers' common tests are not unpacked (make setup)", allow_module_level=True)
sys.path.insert(0, _found[0])
os.environ.setdefault("RUN_SLOW", "1")  # the mixin's slow tests are quick here
from tests.test_tokenization_common import TokenizerTesterMixin  # noqa: E402

from sarfan_transformers import SarfanTokenizer  # noqa: E402

# Tests of features the tokenizer deliberately does not offer, by that feature.
NOT_OFFERED = {
    "text pairs": ["test_call", "test_mask_output", "test_maximum_encoding_length_pair_input",
                   "test_number_of_added_tokens", "test_special_tokens_mask_input_pairs"],
    "is_split_into_words": ["test_pretokenized_inputs"],
    "stride (the overflowing tokens it makes)": ["test_maximum_encoding_length_single_input",
                                                  "test_batch_encode_dynamic_overflowing"],
}


def saved_folder(normalize):
    folder = tempfile.mkdtemp(prefix="sarfan-common-")
    SarfanTokenizer(normalize=normalize).save_pretrained(folder)
    return folder


# The default model's ids are a contract with the models trained on them: a sentence with
# hamza, taa marbuta, a lam-alef ligature, a tab and a vowel mark pins them in both modes.
SENTENCE = "قال إن المدرسة\tﻻ تُغلق في الصيف."


class SarfanCommonTest(TokenizerTesterMixin, unittest.TestCase):
    tokenizer_class = SarfanTokenizer
    from_pretrained_id = saved_folder(True)
    test_seq2seq = False
    test_tokenizer_from_extractor = False  # builds a tokenizer from tokenizer.json
    integration_test_input_string = SENTENCE
    integration_expected_tokens = ["▁قال", "▁ان", "▁المدرسه", "▁لا", "▁تُ", "غلق", "▁في", "▁الصيف", "."]
    integration_expected_token_ids = [344, 267, 1370, 265, 63433, 27574, 264, 2503, 3725]
    integration_expected_decoded_text = "قال ان المدرسه لا تُغلق في الصيف."


class SarfanRawCommonTest(SarfanCommonTest):
    from_pretrained_id = saved_folder(False)
    integration_expected_tokens = ["▁قال", "▁إن", "▁المدرسة", "▁ﻻ", "▁تُ", "غلق", "▁في", "▁الصيف", "."]
    integration_expected_token_ids = [344, 353, 1475, 63987, 63433, 27574, 264, 2503, 3725]
    integration_expected_decoded_text = "قال إن المدرسة ﻻ تُغلق في الصيف."


for feature, names in NOT_OFFERED.items():
    for name in names:
        setattr(SarfanCommonTest, name, unittest.skip(f"not offered: {feature}")(
            getattr(TokenizerTesterMixin, name)))
