#!/usr/bin/env python3
"""An independent reader and writer of Folionest's encrypted backups.

Reads one JSON request on standard input:

  {"op": "open", "envelope": PATH, "passphrase": TEXT, "output": PATH}
      Opens the backup and writes the export document inside to OUTPUT.
      Prints {"ok": true, "saltLength": N, "sealedLength": N} or {"ok": false, "error": TEXT}.
  {"op": "seal", "document": PATH, "passphrase": TEXT, "output": PATH,
   "version": "2.0", "keyOrder": ["data", "salt", "version"], "escapeSlashes": false}
      Writes a backup of the document with a new salt and nonce, the
      envelope's keys in the order given.
      Prints {"ok": true}.

The envelope is a JSON object with "version", "salt" (32 bytes) and "data"
(AES-256-GCM: nonce | ciphertext | tag), both standard Base64. Version "2.0"
adds "kdf": {"name": "scrypt", "N": ..., "r": ..., "p": ...} and the key is
scrypt over the passphrase's UTF-8 bytes and the salt; version "1.0" has no
"kdf" and the key is HKDF-SHA256 with the info "Vellumkeep_Backup". Keys are
32 bytes.
"""
import base64
import binascii
import json
import os
import sys

from cryptography.exceptions import InvalidTag
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from cryptography.hazmat.primitives.kdf.hkdf import HKDF
from cryptography.hazmat.primitives.kdf.scrypt import Scrypt

INFO = b"Vellumkeep_Backup"
SCRYPT = {"name": "scrypt", "N": 131072, "r": 8, "p": 1}


def derive(passphrase: str, salt: bytes, kdf=None) -> bytes:
    secret = passphrase.encode("utf-8")
    if kdf is None:
        return HKDF(algorithm=hashes.SHA256(), length=32, salt=salt, info=INFO).derive(secret)
    if kdf.get("name") != "scrypt":
        raise ValueError("unknown key derivation")
    return Scrypt(salt=salt, length=32, n=kdf["N"], r=kdf["r"], p=kdf["p"]).derive(secret)


def open_backup(request: dict) -> dict:
    with open(request["envelope"], "rb") as f:
        envelope = json.loads(f.read().decode("utf-8"))
    try:
        salt = base64.b64decode(envelope["salt"], validate=True)
        sealed = base64.b64decode(envelope["data"], validate=True)
    except (KeyError, binascii.Error) as error:
        return {"ok": False, "error": f"bad envelope: {error}"}
    if len(sealed) < 28:
        return {"ok": False, "error": "sealed data too short"}
    key = derive(request["passphrase"], salt, envelope.get("kdf"))
    try:
        document = AESGCM(key).decrypt(sealed[:12], sealed[12:], None)
    except InvalidTag:
        return {"ok": False, "error": "authentication failed"}
    with open(request["output"], "wb") as f:
        f.write(document)
    return {"ok": True, "saltLength": len(salt), "sealedLength": len(sealed), "version": envelope["version"],
            "kdf": envelope.get("kdf")}


def seal_backup(request: dict) -> dict:
    with open(request["document"], "rb") as f:
        document = f.read()
    salt = os.urandom(32)
    nonce = os.urandom(12)
    version = request.get("version", "2.0")
    kdf = SCRYPT if version == "2.0" else None
    sealed = nonce + AESGCM(derive(request["passphrase"], salt, kdf)).encrypt(nonce, document, None)
    values = {"version": version, "salt": base64.b64encode(salt).decode("ascii"),
              "data": base64.b64encode(sealed).decode("ascii")}
    if kdf is not None:
        values["kdf"] = kdf
    order = request.get("keyOrder", ["version", "kdf", "salt", "data"])
    order = [key for key in order if key in values]
    order += [key for key in values if key not in order]
    text = json.dumps({key: values[key] for key in order}, separators=(",", ":"))
    if request.get("escapeSlashes", False):
        text = text.replace("/", "\\/")
    with open(request["output"], "w", encoding="ascii") as f:
        f.write(text)
    return {"ok": True}


def main() -> int:
    request = json.load(sys.stdin)
    handlers = {"open": open_backup, "seal": seal_backup}
    json.dump(handlers[request["op"]](request), sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main())
