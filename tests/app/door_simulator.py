#!/usr/bin/env python3
"""A door that speaks the GS "{" ... "}" command language to the terminal
calling it, checks each answer and writes what it saw to a log file.

  door_simulator.py --listen PORTFILE --log LOG   one TCP call on 127.0.0.1
  door_simulator.py --stdio --log LOG             on its terminal (behind telnetd)

With --zip it then sends that file with sz (lrzsz) and asks about the files
inside it. With --audio it plays its music and sounds instead (the files are
already in the caller's door folder). Log lines: "ok <step>", "FAIL <step>: <what came>", "PRESS-A" when it waits
for the user to type a, and "DONE" at the end.
"""
import argparse
import os
import select
import socket
import subprocess
import time

GS = b"\x1d"
FF = b"\xff"


class Line:
    def __init__(self, read_fd, write_fd, log):
        self.read_fd, self.write_fd, self.log_path = read_fd, write_fd, log
        self.pending = b""

    def log(self, text):
        with open(self.log_path, "a") as f:
            f.write(text + "\n")

    def send(self, data):
        while data:
            n = os.write(self.write_fd, data)
            data = data[n:]

    def command(self, text):
        self.send(GS + b"{" + text.encode("latin-1") + b"}")

    def read_until(self, end, seconds=20.0):
        """The bytes up to End (End removed), or None when the time runs out."""
        deadline = time.monotonic() + seconds
        while end not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select([self.read_fd], [], [], left)
            if not ready:
                continue
            chunk = os.read(self.read_fd, 4096)
            if not chunk:
                return None
            self.pending += chunk
        at = self.pending.index(end)
        got, self.pending = self.pending[:at], self.pending[at + len(end):]
        return got

    def check(self, step, got, want):
        if got == want:
            self.log("ok " + step)
        else:
            self.log("FAIL %s: %r" % (step, got))

    def ask(self, step, command, want):
        self.command(command)
        self.check(step, self.read_until(FF), want)


def send_zip(line, path):
    """Sends Path with sz over the call, then asks for the files inside it:
    the program registers a received zip's entries with their DOS times."""
    subprocess.run(["sz", "-q", path], stdin=line.read_fd, stdout=line.write_fd, stderr=subprocess.DEVNULL,
                   timeout=120)
    line.pending = b""
    line.ask("zip entry by its upper-case name", "dmSONG.MOD", b"1234,2024,3,5,14,7,8")
    line.ask("zip entry by its lower-case name", "drpic.pcx", b"10,2023,12,31,23,59,58")
    line.ask("zip entry as a resource", "dRESOURCE,1,Pic.Pcx", b"YES")


def dialog(line, zip_path):
    line.send(b"Door simulator here\r\n")
    line.ask("detect", "dLITERM", b"LITERM Ver. 2.00")
    line.ask("memory", "dMEM", b"8388608")
    # An answer captured into a variable is not sent; a comparison on it
    # replays a macro that answers.
    line.command("~VARCAP,3")
    line.command("dMEM")
    line.command("~VARCAP,0")
    line.ask("variable", "~IFVAR,DEFVAR3,=,8388608,(dVCARD)", b"S")
    line.command("~DEFVAR,4,2,15")
    line.command("~VARDIV,4,2")
    line.ask("rounding", "~IFVAR,DEFVAR4,=,8,(dACARD)", b"SB 16")
    line.ask("absent file", "dmNOSUCH.PCX", b"NO")
    line.ask("path refused", "dm../korvan", b"NO")
    line.command("7DEFRET,2,back~again")
    line.command("7SRET,2")
    line.check("return register", line.read_until(b"again"), b"back,")
    line.command("7CEVENT,1,0,10,0,0,0,0,0,0,0,EVENT^M")
    line.command("7AEVENT,1")
    line.check("timed event", line.read_until(b"\r"), b"EVENT")
    line.command("4MKEY,1,0,97,0,KEY-A^M")
    line.log("PRESS-A")
    line.check("key macro", line.read_until(b"\r", 90.0), b"KEY-A")
    if zip_path:
        send_zip(line, zip_path)
    line.log("DONE")
    line.send(b"Door simulator done\r\n")


def audio_dialog(line):
    """Music from the door folder, its controls, sound bites from a theme at
    a rate beyond the limit, and names that point outside the folder."""
    line.send(b"Door audio here\r\n")
    line.ask("detect", "dLITERM", b"LITERM Ver. 2.00")
    line.command("mtune.mod")
    line.ask("music name", "dGETMUSIC", b"TUNE.MOD")
    line.command("mTUNE.MOD")
    line.ask("volume", "MGVOL", b"64")
    line.command("MSVOL,40")
    line.command("MMVOL,-8")
    line.ask("volume set", "MGVOL", b"32")
    line.command("tsfx.pak")
    line.ask("theme name", "dGETTHEME", b"SFX.PAK")
    line.command("tbLOAD")
    line.command("6DEFBSND,3,2")
    line.command("6ADDBSND,3,PARTA")
    line.command("6ADDBSND,3,PARTB")
    line.command("6PLAYBS,3,11025")
    line.ask("multi-part sample playing", "6CHECKBS,3", b"1")
    line.ask("unknown multi-part sample", "6CHECKBS,151", b"N/A")
    line.command("MPREAL,../victim.raw")
    line.command("MTALK,speech.lib,../victim.raw,,3")
    line.command("MTALK,speech.lib,../victim.raw,h,1")
    line.command("t../victim.raw")
    time.sleep(2)
    line.command("MMPAT,1")
    time.sleep(1)
    # The bite follows the music at once, so both land in one recording.
    line.command("mNONE")
    line.command("PB1,200000")
    line.ask("music stopped", "dGETMUSIC", b"NONE")
    line.log("DONE")
    line.send(b"Door audio done\r\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--listen")
    parser.add_argument("--stdio", action="store_true")
    parser.add_argument("--log", required=True)
    parser.add_argument("--zip")
    parser.add_argument("--audio", action="store_true")
    args = parser.parse_args()
    if args.stdio:
        import tty
        tty.setraw(0)
        dialog(Line(0, 1, args.log), args.zip)
        time.sleep(30)
        return
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    with open(args.listen + ".tmp", "w") as f:
        f.write(str(server.getsockname()[1]))
    os.rename(args.listen + ".tmp", args.listen)
    conn, _ = server.accept()
    line = Line(conn.fileno(), conn.fileno(), args.log)
    if args.audio:
        audio_dialog(line)
    else:
        dialog(line, args.zip)
    time.sleep(30)


if __name__ == "__main__":
    main()
