#!/usr/bin/env python3
"""Stand-in programs for the harness's own tests: they behave like a
full-screen terminal program in known ways.

  standin.py screen   draws a few texts in known colours on the alternate
                      screen, waits for a key, restores the terminal, exits 1
  standin.py broken   leaves the terminal in raw mode on the alternate screen
"""
import os
import signal
import sys
import termios
import tty


def out(s):
    os.write(1, s.encode())


def at(col, row, text, sgr=""):
    out(f"\x1b[{row};{col}H{sgr}{text}\x1b[0m")


def main():
    mode = sys.argv[1]
    saved = termios.tcgetattr(0)

    def restore(*_):
        termios.tcsetattr(0, termios.TCSADRAIN, saved)
        out("\x1b[0m\x1b[?25h\x1b[?1049l")
        os._exit(1)

    out("\x1b[?1049h\x1b[?25l\x1b[2J")
    tty.setraw(0)
    if mode == "broken":
        out("bye")
        os._exit(1)
    signal.signal(signal.SIGTERM, restore)
    at(18, 2, "MP3 player for windows (95,98,XP)")
    at(39, 4, " Play List", "\x1b[91m")
    at(25, 5, "1. Caf\u00e9 \u00d6l\u00e7\u00fc", "\x1b[38;5;11m")
    at(25, 15, "hint", "\x1b[1;37m")
    at(1, 23, " Playing -> Song01 ", "\x1b[1;32m")
    at(1, 24, "ready")
    os.read(0, 1)
    restore()


main()
