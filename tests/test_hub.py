"""from_pretrained through the real huggingface_hub package, served by a small HTTP server
on 127.0.0.1 that answers file downloads for one repository."""
import hashlib
import http.server
import os
import subprocess
import sys
import threading

import pytest

import sarfan

pytest.importorskip("huggingface_hub")

COMMIT = "0123456789abcdef0123456789abcdef01234567"
VOCAB = b"[PAD]\t0\t0\n[BOS]\t1\t0\n[EOS]\t2\t0\n[UNK]\t3\t0\nx\t11\t-1\n"


class HubHandler(http.server.BaseHTTPRequestHandler):
    files = {"/some-org/some-repo/resolve/main/tokenizer.tsv": VOCAB}
    requests = []

    def _answer(self, with_body):
        path = self.path.split("?")[0]
        self.requests.append((self.command, path))
        body = self.files.get(path)
        if body is None:
            self.send_response(404)
            code = "EntryNotFound" if path.startswith("/some-org/some-repo/") else "RepositoryNotFound"
            self.send_header("X-Error-Code", code)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        etag = '"' + hashlib.sha256(body).hexdigest() + '"'
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("ETag", etag)
        self.send_header("X-Repo-Commit", COMMIT)
        self.send_header("Content-Type", "text/plain")
        self.end_headers()
        if with_body:
            self.wfile.write(body)

    def do_HEAD(self):
        self._answer(False)

    def do_GET(self):
        self._answer(True)

    def log_message(self, *args):
        pass


@pytest.fixture
def hub_server():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), HubHandler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield f"http://127.0.0.1:{server.server_address[1]}"
    server.shutdown()


def run_resolution(endpoint, tmp_path, name):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("HF_", "SARFAN_"))}
    env.update(HF_ENDPOINT=endpoint, HF_HOME=str(tmp_path / "hf"), HOME=str(tmp_path),
               HF_HUB_DISABLE_TELEMETRY="1", NO_PROXY="127.0.0.1", no_proxy="127.0.0.1",
               PYTHONPATH=os.path.dirname(sarfan.__file__))
    code = ("import sarfan\n"
            "try:\n"
            f"    print(sarfan.SarfanMSATokenizer.from_pretrained({name!r}).vocab_size)\n"
            "except RuntimeError as e:\n"
            "    print('RuntimeError:', e)\n")
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          cwd=tmp_path, env=env, timeout=120)


def test_download_and_load(hub_server, tmp_path):
    proc = run_resolution(hub_server, tmp_path, "some-org/some-repo")
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.strip() == "12"
    assert ("GET", "/some-org/some-repo/resolve/main/tokenizer.tsv") in HubHandler.requests


def test_missing_repository(hub_server, tmp_path):
    proc = run_resolution(hub_server, tmp_path, "nobody/nothing")
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.startswith("RuntimeError: Could not resolve pretrained tokenizer 'nobody/nothing'")
