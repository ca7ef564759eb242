#!/usr/bin/env python3
"""An independent implementation of Folionest's key derivation and sealing.

Reads a JSON list of operations on standard input and writes a JSON list of
results, one per operation:

  {"op": "derive", "passphrase": TEXT, "salt": HEX}   -> {"ok": true, "hex": KEY}
  {"op": "seal", "key": HEX, "plaintext": HEX}        -> {"ok": true, "hex": NONCE|CIPHERTEXT|TAG}
  {"op": "open", "key": HEX, "sealed": HEX}           -> {"ok": true, "hex": PLAINTEXT} or {"ok": false}

Key derivation: HKDF-SHA256 over the passphrase's UTF-8 bytes, info
"Vellumkeep_Encryption", 32 bytes. Sealing: AES-256-GCM with a random 12-byte
nonce and no associated data, in the combined layout.
"""
import json
import os
import sys

from cryptography.exceptions import InvalidTag
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from cryptography.hazmat.primitives.kdf.hkdf import HKDF

INFO = b"Vellumkeep_Encryption"


def derive(passphrase: str, salt: bytes) -> bytes:
    return HKDF(algorithm=hashes.SHA256(), length=32, salt=salt, info=INFO).derive(passphrase.encode("utf-8"))


def seal(key: bytes, plaintext: bytes) -> bytes:
    nonce = os.urandom(12)
    return nonce + AESGCM(key).encrypt(nonce, plaintext, None)


def open_sealed(key: bytes, sealed: bytes):
    if len(sealed) < 28:
        return None
    try:
        return AESGCM(key).decrypt(sealed[:12], sealed[12:], None)
    except InvalidTag:
        return None


def run(op: dict) -> dict:
    kind = op["op"]
    if kind == "derive":
        return {"ok": True, "hex": derive(op["passphrase"], bytes.fromhex(op["salt"])).hex()}
    if kind == "seal":
        return {"ok": True, "hex": seal(bytes.fromhex(op["key"]), bytes.fromhex(op["plaintext"])).hex()}
    if kind == "open":
        opened = open_sealed(bytes.fromhex(op["key"]), bytes.fromhex(op["sealed"]))
        return {"ok": False} if opened is None else {"ok": True, "hex": opened.hex()}
    raise ValueError(f"unknown operation {kind!r}")


def main() -> int:
    operations = json.load(sys.stdin)
    json.dump([run(op) for op in operations], sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main())
