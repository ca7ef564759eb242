#!/usr/bin/env python3
"""An independent reader and writer of Folionest's encrypted backups.

Reads one JSON request on standard input:

  {"op": "open", "envelope": PATH, "passphrase": TEXT, "output": PATH}
      Opens the backup and writes the export document inside to OUTPUT.
      Prints {"ok": true, "saltLength": N, "sealedLength": N} or {"ok": false, "error": TEXT}.
  {"op": "seal", "document": PATH, "passphrase": TEXT, "output": PATH,
   "keyOrder": ["data", "salt", "version"], "escapeSlashes": false}
      Writes a backup of the document with a new salt and nonce, the
      envelope's keys in the order given.
      Prints {"ok": true}.

The envelope is a JSON object with "version" ("1.0"), "salt" (32 bytes) and
"data" (AES-256-GCM: nonce | ciphertext | tag), both standard Base64. The key
is HKDF-SHA256 over the passphrase's UTF-8 bytes with the salt and the info
"Vellumkeep_Backup", 32 bytes.
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

INFO = b"Vellumkeep_Backup"


def derive(passphrase: str, salt: bytes) -> bytes:
    return HKDF(algorithm=hashes.SHA256(), length=32, salt=salt, info=INFO).derive(passphrase.encode("utf-8"))


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
    key = derive(request["passphrase"], salt)
    try:
        document = AESGCM(key).decrypt(sealed[:12], sealed[12:], None)
    except InvalidTag:
        return {"ok": False, "error": "authentication failed"}
    with open(request["output"], "wb") as f:
        f.write(document)
    return {"ok": True, "saltLength": len(salt), "sealedLength": len(sealed), "version": envelope["version"]}


def seal_backup(request: dict) -> dict:
    with open(request["document"], "rb") as f:
        document = f.read()
    salt = os.urandom(32)
    nonce = os.urandom(12)
    sealed = nonce + AESGCM(derive(request["passphrase"], salt)).encrypt(nonce, document, None)
    values = {"version": "1.0", "salt": base64.b64encode(salt).decode("ascii"),
              "data": base64.b64encode(sealed).decode("ascii")}
    order = request.get("keyOrder", ["version", "salt", "data"])
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
