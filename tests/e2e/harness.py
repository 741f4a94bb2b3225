"""End-to-end harness: runs the player in a real terminal (tmux) on MP3 files
made at test time.

Each test gets its own tmux server on a private socket, with one 80 x 25 pane
running a plain bash. The player is started from that shell as
    cd DIR && MP3 ; echo "EXIT:$?"
so that its exit status can be read from the pane once it has ended.

Environment:
  MP3_BINARY        the player executable (required for the player tests)
  MP3_E2E_FIXTURES  cache dir for encoded songs
                    (default: a dir under the system temp dir)
  MP3_E2E_SCRATCH   where per-test folders are made (default: the system
                    temp dir, a short path whatever the checkout's)
  MP3_E2E_KEEP      if set, per-test folders are kept after the test
"""

import os
import re
import shlex
import shutil
import signal
import subprocess
import tempfile
import time
import unicodedata
import unittest

WIDTH = 80
HEIGHT = 25
DEFAULT_TIMEOUT = 15.0
POLL = 0.05

# ANSI colour index (30-37 order) -> console colour (bit 0 blue, 1 green,
# 2 red, 3 intensity).
_ANSI_TO_CONSOLE = [0, 4, 2, 6, 1, 5, 3, 7]

# Console colour numbers used by the player.
GREY, LIGHT_GREEN, LIGHT_RED, YELLOW, WHITE = 7, 10, 12, 14, 15


def _require_tool(name):
    if shutil.which(name) is None:
        raise RuntimeError(
            f"'{name}' is not installed; scripts/install-deps installs it")


# --------------------------------------------------------------------------
# Screen contents


class Screen:
    """One capture of the pane: text and foreground colour per cell.

    Columns and rows are 1-based, as the player addresses them. Colours are
    console colour numbers (7 is the terminal's default colour, bright SGR
    90-97 or bold+30-37 map to 8-15); None where the colour is not one of
    the 16.
    """

    def __init__(self, chars, fgs, alternate=None):
        self.chars = chars          # HEIGHT lists of WIDTH one-char strings
        self.fgs = fgs              # HEIGHT lists of WIDTH colour numbers
        self.alternate = alternate  # True while the alternate screen is on

    # text -------------------------------------------------------------
    def row(self, r):
        """Row r as text, trailing blanks removed."""
        return "".join(self.chars[r - 1]).rstrip()

    def text(self, col, row, length=None):
        """Text starting at (col, row): `length` cells, or to the row's end
        with trailing blanks removed."""
        cells = self.chars[row - 1][col - 1:]
        if length is None:
            return "".join(cells).rstrip()
        return "".join(cells[:length])

    def has(self, col, row, expected):
        """True when `expected` stands at (col, row)."""
        return self.text(col, row, len(expected)) == expected

    def find(self, needle):
        """(col, row) of the first occurrence of needle, or None."""
        for r in range(1, HEIGHT + 1):
            i = "".join(self.chars[r - 1]).find(needle)
            if i >= 0:
                return (i + 1, r)
        return None

    def contains(self, needle):
        return self.find(needle) is not None

    def rows(self):
        return [self.row(r) for r in range(1, HEIGHT + 1)]

    # colour -----------------------------------------------------------
    def colour(self, col, row):
        return self.fgs[row - 1][col - 1]

    def colours(self, col, row, length):
        """Set of the colours of the non-blank cells of a span."""
        out = set()
        for c in range(col, min(col + length, WIDTH + 1)):
            if self.chars[row - 1][c - 1] != " ":
                out.add(self.fgs[row - 1][c - 1])
        return out

    def span_in(self, col, row, text, colour):
        """True when `text` stands at (col, row) all in `colour`."""
        return self.has(col, row, text) and \
            self.colours(col, row, len(text)) == {colour}

    def dump(self, colours=False):
        lines = []
        head = "    " + "".join(str(i // 10 % 10) if i % 10 == 0 else " "
                                for i in range(1, WIDTH + 1))
        lines.append(head)
        lines.append("    " + "".join(str(i % 10) for i in range(1, WIDTH + 1)))
        for r in range(1, HEIGHT + 1):
            lines.append(f"{r:2d} |" + "".join(self.chars[r - 1]).rstrip())
            if colours:
                marks = []
                for c in range(WIDTH):
                    fg = self.fgs[r - 1][c]
                    blank = self.chars[r - 1][c] == " "
                    marks.append(" " if blank or fg == GREY else
                                 "?" if fg is None else "%x" % fg)
                m = "".join(marks).rstrip()
                if m:
                    lines.append("   :" + m)
        if self.alternate is not None:
            lines.append(f"(alternate screen {'on' if self.alternate else 'off'})")
        return "\n".join(lines)

    def __str__(self):
        return self.dump(colours=True)


_SGR = re.compile(r"\x1b\[([0-9;:]*)m")
_OTHER_ESC = re.compile(r"\x1b(\[[0-9;:?]*[A-Za-z]|\][^\x07\x1b]*(\x07|\x1b\\)|.)")


def _apply_sgr(params, state):
    """Updates state = {'fg': int|None (None = default), 'bold': bool}."""
    nums = [int(p) if p else 0 for p in re.split(r"[;:]", params)] if params else [0]
    i = 0
    while i < len(nums):
        n = nums[i]
        if n == 0:
            state["fg"], state["bold"] = None, False
        elif n == 1:
            state["bold"] = True
        elif n == 22:
            state["bold"] = False
        elif 30 <= n <= 37:
            state["fg"] = _ANSI_TO_CONSOLE[n - 30]
        elif n == 39:
            state["fg"] = None
        elif 90 <= n <= 97:
            state["fg"] = _ANSI_TO_CONSOLE[n - 90] + 8
        elif n in (38, 48) and i + 1 < len(nums):
            if nums[i + 1] == 5 and i + 2 < len(nums):
                if n == 38:
                    v = nums[i + 2]
                    state["fg"] = (_ANSI_TO_CONSOLE[v] if v < 8 else
                                   _ANSI_TO_CONSOLE[v - 8] + 8 if v < 16 else -1)
                i += 2
            elif nums[i + 1] == 2:
                if n == 38:
                    state["fg"] = -1
                i += 4
        i += 1


def _effective_fg(state):
    fg = state["fg"]
    if fg is None:
        return GREY + 8 if state["bold"] else GREY
    if fg == -1:
        return None
    if state["bold"] and fg < 8:
        return fg + 8
    return fg


def parse_capture(text, alternate=None):
    """Parses `capture-pane -p -e` output into a Screen."""
    chars = [[" "] * WIDTH for _ in range(HEIGHT)]
    fgs = [[GREY] * WIDTH for _ in range(HEIGHT)]
    state = {"fg": None, "bold": False}
    for r, line in enumerate(text.split("\n")[:HEIGHT]):
        c = 0
        pos = 0
        while pos < len(line):
            ch = line[pos]
            if ch == "\x1b":
                m = _SGR.match(line, pos)
                if m:
                    _apply_sgr(m.group(1), state)
                    pos = m.end()
                    continue
                m = _OTHER_ESC.match(line, pos)
                pos = m.end() if m else pos + 1
                continue
            pos += 1
            if unicodedata.combining(ch) and c > 0:
                chars[r][c - 1] += ch
                continue
            if c < WIDTH:
                chars[r][c] = ch
                fgs[r][c] = _effective_fg(state)
            c += 1
            if unicodedata.east_asian_width(ch) in ("W", "F") and c < WIDTH:
                chars[r][c] = ""
                fgs[r][c] = _effective_fg(state)
                c += 1
    return Screen(chars, fgs, alternate)


# --------------------------------------------------------------------------
# Terminal


_EXIT = re.compile(r"EXIT:(\d+)")


class ScreenTimeout(AssertionError):
    pass


class Terminal:
    """A private tmux server with one 80 x 25 pane running bash."""

    def __init__(self, width=WIDTH, height=HEIGHT):
        _require_tool("tmux")
        # The server's socket lives in a folder of this terminal's, removed
        # with it: tmux leaves its socket behind when the server ends.
        self._socket_dir = tempfile.mkdtemp(prefix="tmux-", dir=scratch_root())
        self.socket = os.path.join(self._socket_dir, "s")
        self.target = "e2e"
        self.width, self.height = width, height
        self._closed = False
        self._players = set()
        shell = "env PS1='$ ' HISTFILE=/dev/null bash --norc --noprofile"
        self.tmux("new-session", "-d", "-x", str(width), "-y", str(height),
                  "-s", self.target, shell)
        self.pane_pid = int(self.tmux("display-message", "-p", "-t",
                                      self.target, "#{pane_pid}").strip())
        self.wait_until(lambda s: s.row(1).startswith("$"),
                        "the shell prompt", timeout=10)

    # tmux plumbing ----------------------------------------------------
    def tmux(self, *args, check=True):
        cmd = ["tmux", "-u", "-S", self.socket, "-f", "/dev/null", *args]
        res = subprocess.run(cmd, capture_output=True, text=True,
                             encoding="utf-8", errors="replace")
        if check and res.returncode != 0:
            raise RuntimeError(f"{' '.join(cmd)} failed: {res.stderr.strip()}")
        return res.stdout

    def close(self):
        """Ends the tmux server and every player started in it."""
        if self._closed:
            return
        self._closed = True
        self._players |= set(self.player_pids())
        self.tmux("kill-server", check=False)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and any(_alive(p) for p in self._players):
            time.sleep(POLL)
        for pid in self._players:
            if _alive(pid):
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        shutil.rmtree(self._socket_dir, ignore_errors=True)

    # input -------------------------------------------------------------
    def keys(self, *names):
        """Sends tmux key names: "Right", "Left", "NPage", "Down", "DC",
        "F3", "F9", "Enter", "Escape", "C-c", or single characters."""
        self.tmux("send-keys", "-t", self.target, "--", *names)

    def type(self, text):
        """Sends text literally, character by character as typed."""
        self.tmux("send-keys", "-t", self.target, "-l", "--", text)

    def run(self, command_line):
        """Types a command line at the shell prompt and presses Enter."""
        self.type(command_line)
        self.keys("Enter")

    # output ------------------------------------------------------------
    def capture(self):
        out = self.tmux("capture-pane", "-p", "-e", "-t", self.target)
        alt = self.tmux("display-message", "-p", "-t", self.target,
                        "#{alternate_on}").strip() == "1"
        return parse_capture(out, alternate=alt)

    def pane_flag(self, fmt):
        return self.tmux("display-message", "-p", "-t", self.target, fmt).strip()

    def wait_until(self, predicate, what, timeout=DEFAULT_TIMEOUT):
        """Polls the pane until predicate(screen) is true; returns that
        screen. On timeout fails with the last screen shown."""
        deadline = time.monotonic() + timeout
        history = []    # what rows 4 and 23 showed on the way, for the report
        while True:
            screen = self.capture()
            if predicate(screen):
                return screen
            brief = f"{screen.text(50, 4, 6).strip()} {screen.row(23).strip()}"
            if not history or history[-1] != brief:
                history.append(brief)
            if time.monotonic() > deadline:
                raise ScreenTimeout(
                    f"timed out after {timeout:.0f} s waiting for {what}; "
                    f"page number and status line seen meanwhile: {history[-12:]}; "
                    f"the screen:\n{screen}")
            time.sleep(POLL)

    def wait_text(self, text, col=None, row=None, colour=None,
                  timeout=DEFAULT_TIMEOUT):
        """Waits until text stands at (col, row), or anywhere on row, or
        anywhere at all; optionally all in the given colour."""
        def places(s):
            if col is not None and row is not None:
                return [(col, row)]
            rows = [row] if row is not None else range(1, HEIGHT + 1)
            out = []
            for r in rows:
                line = "".join(s.chars[r - 1])
                i = line.find(text)
                while i >= 0:
                    out.append((i + 1, r))
                    i = line.find(text, i + 1)
            return out

        def ok(s):
            return any(s.has(c, r, text) and
                       (colour is None or s.colours(c, r, len(text)) == {colour})
                       for c, r in places(s))

        where = (f" at ({col}, {row})" if col is not None and row is not None
                 else f" on row {row}" if row is not None else "")
        tint = f" in colour {colour}" if colour is not None else ""
        return self.wait_until(ok, f"{text!r}{where}{tint}", timeout)

    def watch(self, predicate, what, timeout=DEFAULT_TIMEOUT):
        """Like wait_until, but also returns every distinct screen seen on
        the way, for transient states."""
        seen = []
        last = [None]

        def record(s):
            key = "\n".join(s.rows())
            if key != last[0]:
                seen.append(s)
                last[0] = key
            return predicate(s)
        screen = self.wait_until(record, what, timeout)
        return screen, seen

    # the player ----------------------------------------------------------
    def start_player(self, binary, directory, args=()):
        """Runs the player in directory from the shell; its exit status is
        printed as EXIT:<n> when it ends."""
        if self.exited():
            # A previous run's status must not be taken for this one's.
            self.run("clear")
            self.wait_until(lambda s: not self.exited(s), "the screen to clear")
        command = " ".join(shlex.quote(str(a)) for a in (binary, *args))
        self.run(f"cd {shlex.quote(str(directory))} && "
                 f"{command} ; echo \"EXIT:$?\"")

    def exited(self, screen=None):
        """True when the pane shows the EXIT:<status> line of an ended run."""
        screen = screen or self.capture()
        return any(_EXIT.search(r) for r in screen.rows())

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the player to end and returns its exit status."""
        screen = self.wait_until(self.exited, "the player to end (EXIT:<status>)",
                                 timeout)
        for r in screen.rows():
            m = _EXIT.search(r)
            if m:
                return int(m.group(1))
        raise AssertionError("unreachable")

    def player_pids(self):
        """Pids of the processes that the pane's shell has started."""
        return _descendants(self.pane_pid)

    def signal_player(self, sig=signal.SIGTERM):
        pids = self.player_pids()
        if not pids:
            raise AssertionError("no player process is running in the pane:\n"
                                 f"{self.capture()}")
        self._players |= set(pids)
        for pid in pids:
            os.kill(pid, sig)

    def assert_usable(self, test):
        """After the player has ended: the terminal is back to normal. The
        alternate screen is off, the cursor shows, line mode and echo are on,
        and typed text echoes at the prompt in the normal colour."""
        self.run("clear")
        try:
            self.wait_until(lambda s: not self.exited(s),
                            "the screen to clear", timeout=5)
        except ScreenTimeout:
            pass    # the checks below tell what is wrong
        probe = ("stty -a | tr ' ;' '\\n\\n' | grep -xE -- '-?(echo|icanon)'"
                 " | sort | tr '\\n' ' '; echo; echo typed-ok")
        self.run(probe)
        def output_row(r):
            return r.endswith("typed-ok") and not r.endswith("echo typed-ok")
        screen = self.wait_until(
            lambda s: any(output_row(r) for r in s.rows()),
            "the typed command to run")
        test.assertFalse(screen.alternate,
                         f"the alternate screen is still on:\n{screen}")
        test.assertEqual(self.pane_flag("#{cursor_flag}"), "1",
                         f"the cursor is hidden:\n{screen}")
        echoed = screen.find("$ " + probe[:WIDTH - 2])
        test.assertIsNotNone(echoed, f"the typed command did not echo:\n{screen}")
        test.assertEqual(screen.colours(1, echoed[1], WIDTH), {GREY},
                         f"the colour was not restored:\n{screen}")
        rows = screen.rows()
        done = [i for i, r in enumerate(rows) if output_row(r)][-1]
        flags = rows[done - 1].split()
        test.assertEqual(sorted(flags), ["echo", "icanon"],
                         f"terminal modes not restored:\n{screen}")


def _alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def _descendants(root):
    children = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if fields[0] == "Z":
            continue
        children.setdefault(int(fields[1]), []).append(int(name))
    out, todo = [], [root]
    while todo:
        for c in children.get(todo.pop(), []):
            out.append(c)
            todo.append(c)
    return out


# --------------------------------------------------------------------------
# Fixtures


def fixture_root():
    root = os.environ.get("MP3_E2E_FIXTURES") or \
        os.path.join(tempfile.gettempdir(), "mp3-e2e-fixtures")
    os.makedirs(root, exist_ok=True)
    return root


def scratch_root():
    """Where per-test folders go: a short path of its own, so that tests on
    path lengths do not depend on where the checkout lives. Songs are hard
    linked in when it shares the fixtures' file system, copied otherwise."""
    root = os.environ.get("MP3_E2E_SCRATCH")
    if not root:
        root = tempfile.gettempdir()
        if len(root) > 48 and os.access("/tmp", os.W_OK):
            root = "/tmp"   # the tests on 127-byte paths need room below it
    os.makedirs(root, exist_ok=True)
    return root


def song(seconds, freq=440):
    """Path of a cached MP3 song of the given length (sine tone), encoded
    once per build and shared by all tests."""
    root = os.path.join(fixture_root(), "songs")
    os.makedirs(root, exist_ok=True)
    path = os.path.join(root, f"sine-{freq}-{seconds}s.mp3")
    if os.path.exists(path):
        return path
    _require_tool("sox")
    _require_tool("lame")
    tmp = tempfile.mkdtemp(dir=root)
    try:
        wav, mp3 = os.path.join(tmp, "x.wav"), os.path.join(tmp, "x.mp3")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", wav, "synth",
                        str(seconds), "sine", str(freq), "vol", "0.3"],
                       check=True, capture_output=True)
        subprocess.run(["lame", "--quiet", "-b", "64", wav, mp3],
                       check=True, capture_output=True)
        os.replace(mp3, path)     # atomic: parallel tests may race here
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return path


SHORT = 1      # seconds; songs meant to end during a test
MEDIUM = 3     # seconds; songs meant to be seen playing, then to end
LONG = 40      # seconds; songs meant to still play when the test looks


def short_song(i=0):
    return song(SHORT, (440, 550, 660)[i % 3])


def medium_song(i=0):
    return song(MEDIUM, (494, 587)[i % 2])


def long_song(i=0):
    return song(LONG, (330, 392)[i % 2])


def link(src, dst):
    try:
        os.link(src, dst)
    except OSError:
        shutil.copyfile(src, dst)


def fill_folder(folder, names, long=(), medium=()):
    """Puts a song under each name in folder: long ones for the names in
    `long`, medium ones for those in `medium`, short ones otherwise. Files
    are hard links to cached songs."""
    os.makedirs(folder, exist_ok=True)
    long, medium = set(long), set(medium)
    for i, name in enumerate(names):
        src = (long_song(i) if name in long else
               medium_song(i) if name in medium else short_song(i))
        link(src, os.path.join(folder, name))
    return folder


def put_song(folder, name, seconds):
    """Puts a song of the given length under name, replacing what is there."""
    path = os.path.join(folder, name)
    if os.path.exists(path):
        os.remove(path)
    link(song(seconds), path)


def song_names(n, fmt="Song{:02d}.mp3"):
    return [fmt.format(i) for i in range(1, n + 1)]


# --------------------------------------------------------------------------
# Test base


def player_binary():
    path = os.environ.get("MP3_BINARY")
    if not path:
        raise unittest.SkipTest("MP3_BINARY is not set (run through ctest)")
    if not os.access(path, os.X_OK):
        raise RuntimeError(f"MP3_BINARY={path} is not an executable")
    return path


class E2ETestCase(unittest.TestCase):
    """Gives each test a fresh terminal and a scratch folder of its own."""

    needs_player = True

    def setUp(self):
        self.binary = player_binary() if self.needs_player else None
        self.tmp = tempfile.mkdtemp(prefix="mp3-e2e-", dir=scratch_root())
        # The players of the test keep their state file in its folder; the
        # terminal's shell inherits it.
        os.environ["XDG_STATE_HOME"] = os.path.join(self.tmp, "state")
        self.term = Terminal()
        self.addCleanup(self._cleanup)

    def _cleanup(self):
        self.term.close()
        if not os.environ.get("MP3_E2E_KEEP"):
            shutil.rmtree(self.tmp, ignore_errors=True)

    # helpers -------------------------------------------------------------
    def folder(self, name, names=(), long=(), medium=()):
        path = os.path.join(self.tmp, name)
        os.makedirs(path, exist_ok=True)
        fill_folder(path, names, long, medium)
        return path

    def start(self, directory):
        self.term.start_player(self.binary, directory)

    def start_main(self, directory, total):
        """Starts the player and waits for its main screen."""
        self.start(directory)
        return self.term.wait_text(f" TotalSong = {total}", 1, 20,
                                   timeout=30)

    def wait_playing(self, label, timeout=DEFAULT_TIMEOUT):
        """Waits until the status line says label is playing."""
        return self.term.wait_text(f" Playing -> {label} ", 1, 23,
                                   timeout=timeout)

    def stop_player(self):
        """Ends the player with SIGTERM and returns its exit status."""
        self.term.signal_player(signal.SIGTERM)
        return self.term.wait_exit()


def current_seconds(screen):
    """The song's current time from "Current Time = mm:ss" at (25, 20)."""
    m = re.match(r"Current Time = (\d\d):(\d\d)", screen.text(25, 20))
    return int(m.group(1)) * 60 + int(m.group(2)) if m else None


def rows_of(first, count):
    """Expected playlist rows of a page that shows Song<first> and the
    following songs, count of them."""
    rows = [f"{i + 1}. Song{first + i:02d}" for i in range(count)]
    return rows + [""] * (9 - count)


def page_rows(screen):
    """The nine playlist rows (rows 5 to 13 from column 25)."""
    return [screen.text(25, r) for r in range(5, 14)]
