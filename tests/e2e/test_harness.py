"""The harness's own checks, against stand-in programs: a harness that
misreads colours or misses a broken terminal would let player faults pass."""
import os
import signal
import unittest

import harness
from harness import E2ETestCase, parse_capture, GREY, LIGHT_GREEN, LIGHT_RED, YELLOW, WHITE

STANDIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "standin.py")


class CaptureParsing(unittest.TestCase):
    def test_colours_map_to_console_numbers(self):
        s = parse_capture("\x1b[92mA\x1b[39mB\x1b[1m\x1b[33mC\x1b[0m"
                          "\x1b[38;5;9mD\x1b[38;5;6mE\x1b[91mF\x1b[0mG")
        self.assertEqual(s.row(1), "ABCDEFG")
        self.assertEqual([s.colour(c, 1) for c in range(1, 8)],
                         [LIGHT_GREEN, GREY, YELLOW, LIGHT_RED, 3, LIGHT_RED, GREY])

    def test_attributes_carry_over_to_the_next_line(self):
        s = parse_capture("x\x1b[97m\nwhite\x1b[39m\nplain")
        self.assertEqual(s.colours(1, 2, 5), {WHITE})
        self.assertEqual(s.colours(1, 3, 5), {GREY})

    def test_utf8_and_wide_characters_take_their_cells(self):
        s = parse_capture("Caf\u00e9 X\n\u4e2d\u6587Y")
        self.assertTrue(s.has(1, 1, "Caf\u00e9 X"))
        self.assertEqual(s.text(5, 1, 2), " X")
        self.assertEqual(s.text(5, 2, 1), "Y")


class TerminalWithStandIns(E2ETestCase):
    needs_player = False

    def start_standin(self, mode):
        self.term.start_player(STANDIN, self.tmp, [mode])
        return self.term.wait_text("ready", 1, 24)

    def test_screen_positions_colours_exit_status_and_restore(self):
        s = self.start_standin("screen")
        self.assertTrue(s.alternate)
        self.assertTrue(s.span_in(18, 2, "MP3 player for windows (95,98,XP)", GREY))
        self.assertTrue(s.span_in(39, 4, " Play List", LIGHT_RED), s)
        self.assertTrue(s.span_in(25, 5, "1. Caf\u00e9 \u00d6l\u00e7\u00fc", YELLOW), s)
        self.assertTrue(s.span_in(25, 15, "hint", WHITE), s)
        self.assertTrue(s.span_in(1, 23, " Playing -> Song01 ", LIGHT_GREEN), s)
        self.term.type("k")
        self.assertEqual(self.term.wait_exit(), 1)
        self.term.assert_usable(self)

    def test_signal_reaches_the_program(self):
        self.start_standin("screen")
        self.term.signal_player(signal.SIGTERM)
        self.assertEqual(self.term.wait_exit(), 1)
        self.term.assert_usable(self)

    def test_usable_check_catches_a_terminal_left_raw(self):
        self.term.start_player(STANDIN, self.tmp, ["broken"])
        self.assertEqual(self.term.wait_exit(), 1)
        with self.assertRaises(AssertionError):
            self.term.assert_usable(self)

    def test_wait_fails_with_the_screen(self):
        with self.assertRaises(harness.ScreenTimeout) as ctx:
            self.term.wait_text("never shown", timeout=0.3)
        self.assertIn(" 1 |$", str(ctx.exception))


class Fixtures(E2ETestCase):
    needs_player = False

    def test_songs_are_cached_and_folders_hard_linked(self):
        first = harness.short_song(0)
        self.assertEqual(harness.short_song(0), first)
        with open(first, "rb") as f:
            head = f.read(3)
        self.assertTrue(head == b"ID3" or head[0] == 0xFF, head)
        folder = self.folder("many", harness.song_names(30))
        a, b = (os.stat(os.path.join(folder, n)) for n in ("Song01.mp3", "Song04.mp3"))
        self.assertEqual(a.st_ino, b.st_ino)


if __name__ == "__main__":
    unittest.main()
