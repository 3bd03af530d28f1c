#!/usr/bin/env python3
"""Runs a text authentication agent on a pseudo-terminal and answers its prompt the way a person
at that terminal would.

    ci-agent-pty.py ANSWER READY_FILE TRANSCRIPT TIMEOUT -- COMMAND...

COMMAND must accept "--notify-fd 3" (pkttyagent does): once the agent is registered it closes
descriptor 3, and this script then creates READY_FILE. ANSWER is "password:TEXT" (types TEXT and
Return at the "Password:" prompt) or "cancel" (types Ctrl-C there). When several identities are
offered, the one named by the environment variable AGENT_IDENTITY is chosen. Everything the agent
shows is written to TRANSCRIPT. Ends when the agent has answered one prompt and reported, when the
agent ends, or after TIMEOUT seconds; the exit status is 0 when a prompt was answered, else 1.

The agent prints its report before it answers polkitd's BeginAuthentication call, and polkitd
counts an agent that goes away before answering as a failed authentication. So once the report is
shown the agent is kept running until the file named by the environment variable
AGENT_RELEASE_FILE exists (the caller creates it when pkexec has answered), the agent ends, or
TIMEOUT passes; without AGENT_RELEASE_FILE it ends at once, as a person closing the terminal would.
"""
import fcntl
import os
import re
import select
import signal
import sys
import termios
import time


def wait_for_echo_off(master, deadline):
    """Waits until the agent has turned echo off to read the password: it flushes the terminal's
    input when it does, so anything typed before then would be lost."""
    while time.monotonic() < deadline:
        try:
            if not termios.tcgetattr(master)[3] & termios.ECHO:
                break
        except termios.error:
            break
        time.sleep(0.05)
    time.sleep(0.2)


def main():
    if len(sys.argv) < 7 or sys.argv[5] != "--":
        print(__doc__, file=sys.stderr)
        return 2
    answer, ready_file, transcript_path, timeout = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    command = sys.argv[6:] + ["--notify-fd", "3"]
    identity = os.environ.get("AGENT_IDENTITY", "")
    release_file = os.environ.get("AGENT_RELEASE_FILE", "")

    def released():
        return not release_file or os.path.exists(release_file)

    notify_read, notify_write = os.pipe()
    master, slave = os.openpty()
    pid = os.fork()
    if pid == 0:
        try:
            # A terminal of its own, as the agent's controlling terminal (it opens /dev/tty).
            os.setsid()
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
            for fd in (0, 1, 2):
                os.dup2(slave, fd)
            os.dup2(notify_write, 3)
            os.closerange(4, 256)
            # A background job of a shell starts with Ctrl-C ignored; a person's terminal has it live.
            signal.signal(signal.SIGINT, signal.SIG_DFL)
            signal.signal(signal.SIGQUIT, signal.SIG_DFL)
            os.execvp(command[0], command)
        finally:
            os._exit(127)
    os.close(slave)
    os.close(notify_write)

    deadline = time.monotonic() + timeout
    seen = b""
    answered = False
    finished = False
    registered = False
    with open(transcript_path, "wb") as transcript:
        while time.monotonic() < deadline and not (finished and released()):
            watched = [master] + ([notify_read] if not registered else [])
            ready, _, _ = select.select(watched, [], [], 0.2)
            if notify_read in ready:
                if os.read(notify_read, 64) == b"":
                    registered = True
                    time.sleep(0.1)
                    # The descriptor also closes when the agent ends without registering.
                    if os.waitpid(pid, os.WNOHANG) != (0, 0):
                        pid = 0
                        break
                    with open(ready_file, "w") as marker:
                        marker.write("registered\n")
            if master in ready:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                transcript.write(chunk)
                transcript.flush()
                seen += chunk
                text = seen.decode("utf-8", "replace")
                choose = re.search(r"Choose identity to authenticate as \(1-(\d+)\):\s*$", text)
                if choose and identity:
                    choice = "1"
                    for number, name in re.findall(r"^\s*(\d+)\.\s+(.*?)\s*$", text, re.M):
                        if identity in name:
                            choice = number
                    os.write(master, (choice + "\n").encode())
                    seen = b""
                    continue
                if not answered and re.search(r"Password:\s*$", text):
                    wait_for_echo_off(master, deadline)
                    if answer == "cancel":
                        os.write(master, b"\x03")
                    elif answer.startswith("password:"):
                        os.write(master, answer[len("password:"):].encode() + b"\n")
                    answered = True
                    seen = b""
                    continue
                if answered and re.search(r"AUTHENTICATION (COMPLETE|FAILED|CANCELED|CANCELLED)", text):
                    finished = True
            if pid and os.waitpid(pid, os.WNOHANG) != (0, 0):
                pid = 0
                if not answered:
                    break
                finished = True
                # Nothing is left to keep alive.
                break
        if not finished and not answered:
            transcript.write(b"\n[ci-agent-pty: no prompt within the time limit]\n")
    if pid:
        try:
            os.kill(pid, signal.SIGTERM)
            for _ in range(20):
                if os.waitpid(pid, os.WNOHANG) != (0, 0):
                    break
                time.sleep(0.1)
            else:
                os.kill(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
        except (ProcessLookupError, ChildProcessError):
            pass
    return 0 if answered else 1


if __name__ == "__main__":
    sys.exit(main())
