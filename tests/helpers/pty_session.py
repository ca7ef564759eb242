#!/usr/bin/env python3
"""Runs a program on a pseudo-terminal, answering its prompts like a user.

Reads JSON on standard input:
  {"argv": [...], "env": {...}, "answers": [[PROMPT, LINE], ...]}
For each pair, waits until PROMPT appears on the terminal and types LINE and
Enter. Writes JSON on standard output:
  {"exit": STATUS, "screen": EVERYTHING_SHOWN, "echo_after": BOOL}
where echo_after tells whether the terminal echoes again after the program ended.
"""
import json
import os
import pty
import select
import sys
import time

TIMEOUT = 30.0


def read_until(fd, screen, wanted, deadline, start=0):
    """Reads until WANTED shows at or after START; returns the index after it, or -1."""
    while True:
        found = screen.find(wanted.encode(), start)
        if found >= 0:
            return found + len(wanted.encode())
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            return -1
        ready, _, _ = select.select([fd], [], [], remaining)
        if not ready:
            return -1
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            return -1
        if not chunk:
            return -1
        screen.extend(chunk)


def main() -> int:
    request = json.load(sys.stdin)
    env = dict(os.environ)
    env.update(request.get("env", {}))
    marker = "@@ECHO-CHECK@@"
    # After the program, the shell reports whether the terminal echoes again.
    script = ('"$@"; s=$?; if stty -a | tr " ;" "\\n\\n" | grep -qx -- -echo; '
              'then echo "' + marker + 'off"; else echo "' + marker + 'on"; fi; exit $s')
    pid, fd = pty.fork()
    if pid == 0:
        os.execvpe("sh", ["sh", "-c", script, "sh"] + request["argv"], env)
    screen = bytearray()
    deadline = time.monotonic() + TIMEOUT
    start = 0
    for prompt, line in request.get("answers", []):
        start = read_until(fd, screen, prompt, deadline, start)
        if start < 0:
            break
        os.write(fd, line.encode() + b"\n")
    read_until(fd, screen, marker + "o", deadline)
    # Drain the rest.
    while True:
        ready, _, _ = select.select([fd], [], [], 1.0)
        if not ready:
            break
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        screen.extend(chunk)
    _, status = os.waitpid(pid, 0)
    text = screen.decode("utf-8", "replace")
    json.dump({"exit": os.waitstatus_to_exitcode(status), "screen": text,
               "echo_after": marker + "on" in text}, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main())
