"""Tokenizes a sample sentence with the embedded default vocabulary (no file, no network)."""
import sarfan

tokenizer = sarfan.SarfanMSATokenizer.load_default()
text = "ذهب الطالب إلى المكتبة لقراءة الكتاب الجديد."
result = tokenizer.encode(text)
print(text)
print(f"{'piece':<14}{'id':>7}  offsets")
for piece, id_, (start, end) in zip(result.tokens, result.ids, result.offsets):
    print(f"{piece:<14}{id_:>7}  {start}-{end}")
print("decoded:", tokenizer.decode(result.ids))
