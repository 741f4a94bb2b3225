"""The main screen's layout and colours, and paging through the playlist."""
import os
import pwd
import re
import unittest

from harness import (E2ETestCase, GREY, LIGHT_GREEN, LIGHT_RED, WHITE, YELLOW,
                     current_seconds, page_rows, rows_of, song_names)

HELP = [" P = Play", " S = Stop", " W = Pause", " -> = Next Song",
        " <- = Prev Song", " L = Load Song(s)", " Q = Quit"]
HINT = "Press (+) to next Play List or (-) to prev Play List"


def no_yellow_in_playlist(screen):
    return all(YELLOW not in screen.colours(25, r, 56) for r in range(5, 14))


class MainScreen(E2ETestCase):
    def test_layout_and_colours(self):
        music = self.folder("music", song_names(20), long=["Song01.mp3", "Song02.mp3"])
        self.start_main(music, 20)
        screen = self.term.wait_until(
            lambda s: s.span_in(1, 23, " Playing -> Song01 ", LIGHT_GREEN)
            and s.span_in(25, 5, "1. Song01", YELLOW)
            and s.contains("Audio: "),
            "the playing row in yellow and the status line in light green")
        user = pwd.getpwuid(os.geteuid()).pw_name
        self.assertTrue(screen.text(18, 1), f"no title line:\n{screen}")
        self.assertEqual(screen.text(1, 1, 17).strip(), "", screen)
        self.assertTrue(screen.span_in(18, 2, "MP3 player for windows (95,98,XP)", GREY), screen)
        self.assertTrue(screen.span_in(39, 4, " Play List", LIGHT_RED), screen)
        self.assertTrue(screen.span_in(50, 4, "[1]", GREY), screen)
        self.assertEqual([screen.text(1, r, 24).rstrip() for r in range(5, 12)], HELP, screen)
        self.assertEqual(page_rows(screen)[1:], rows_of(1, 9)[1:], screen)
        self.assertEqual(screen.colours(25, 6, 56), {GREY}, screen)
        self.assertTrue(screen.span_in(1, 15, " Enter your choice: ", GREY), screen)
        self.assertTrue(screen.span_in(25, 15, HINT, WHITE), screen)
        self.assertRegex(screen.text(25, 18), r"^End Time = 00:40$")
        self.assertRegex(screen.text(25, 19, 22), r"^Total Time -> \d\d:\d\d:\d\d$")
        self.assertRegex(screen.text(25, 20), r"^Current Time = 00:\d\d$")
        self.assertEqual(screen.text(50, 19), "Audio: silent, no device, 100%", screen)
        self.assertTrue(screen.has(1, 20, " TotalSong = 20"), screen)
        self.assertTrue(screen.span_in(2, 21, f"User Name: {user}", GREY), screen)
        # A song change puts the old row back in grey and flashes the new one.
        self.term.type("2")
        self.wait_playing("Song02")
        screen = self.term.wait_until(
            lambda s: s.span_in(25, 6, "2. Song02", YELLOW)
            and s.span_in(25, 5, "1. Song01", GREY), "row 6 yellow and row 5 grey")
        self.term.type("s")
        self.term.wait_text(" Stoped -> Song02 ", 1, 23, colour=GREY)

    def test_no_paging_hint_with_9_songs(self):
        music = self.folder("music", song_names(9), long=["Song01.mp3"])
        screen = self.start_main(music, 9)
        self.assertEqual(screen.text(1, 15), " Enter your choice:", screen)

    def test_a_resized_terminal_gets_the_screen_drawn_anew(self):
        music = self.folder("music", song_names(12), long=["Song01.mp3"])
        self.start_main(music, 12)
        self.term.tmux("resize-window", "-t", self.term.target, "-x", "70", "-y", "20")
        self.term.wait_until(lambda s: s.contains("80 x 25"),
                             "the request to enlarge the terminal")
        self.term.tmux("resize-window", "-t", self.term.target, "-x", "80", "-y", "25")
        screen = self.term.wait_until(
            lambda s: s.text(1, 20, 15) == " TotalSong = 12" and s.contains(" Play List")
            and s.text(25, 5, 9) == "1. Song01" and not s.contains("80 x 25"),
            "the main screen drawn anew")
        self.assertEqual(screen.row(5)[:9], " P = Play", screen)


class Paging(E2ETestCase):
    def wait_page(self, page, rows):
        return self.term.wait_until(
            lambda s: s.text(50, 4) == f"[{page}]" and page_rows(s) == rows,
            f"page [{page}] with rows {rows}")

    def test_paging_changes_the_shown_page_only(self):
        music = self.folder("music", song_names(20), long=["Song01.mp3"])
        self.start_main(music, 20)
        self.wait_playing("Song01")
        self.term.type("=")
        screen = self.wait_page(2, rows_of(10, 9))
        # The playing song's row is not on this page: nothing flashes, while
        # the same song plays on.
        start = current_seconds(screen)
        screen, seen = self.term.watch(
            lambda s: (current_seconds(s) or 0) >= start + 2, "the song to play on")
        self.assertTrue(all(no_yellow_in_playlist(s) for s in seen),
                        "a row flashes on a page without the playing song:\n"
                        + "\n".join(str(s) for s in seen if not no_yellow_in_playlist(s)))
        self.assertTrue(screen.has(1, 23, " Playing -> Song01 "), screen)
        self.term.type("=")
        self.wait_page(3, rows_of(19, 2))          # rows 7 to 13 are cleared
        self.term.type("-")
        self.wait_page(2, rows_of(10, 9))
        self.term.type("-")
        self.wait_page(1, rows_of(1, 9))
        self.term.wait_text("1. Song01", 25, 5, colour=YELLOW)
        self.wait_playing("Song01")

    def test_plus_pages_like_equals(self):
        music = self.folder("music", song_names(20), long=["Song01.mp3"])
        self.start_main(music, 20)
        self.term.type("+")
        self.wait_page(2, rows_of(10, 9))
        self.term.type("++")
        self.wait_page(3, rows_of(19, 2))
        self.wait_playing("Song01")

    def test_no_page_before_the_first_or_after_the_last(self):
        music = self.folder("music", song_names(20), long=["Song01.mp3"])
        self.start_main(music, 20)
        self.term.type("-=")     # "-" on page 0 must not go below it
        self.wait_page(2, rows_of(10, 9))
        self.term.type("====-")  # "=" on the last page must not go beyond it
        self.wait_page(2, rows_of(10, 9))
        self.term.type("=s")
        screen = self.term.wait_text(" Stoped -> Song01 ", 1, 23)
        self.assertEqual(screen.text(50, 4), "[3]", screen)
        self.assertEqual(page_rows(screen), rows_of(19, 2), screen)

    def test_a_shorter_page_number_is_printed_over_the_longer_one(self):
        names = song_names(82)
        music = self.folder("music", names, long=["Song01.mp3"])
        self.start_main(music, 82)
        self.term.type("=" * 9)
        self.wait_page(10, ["1. Song82"] + [""] * 8)
        self.term.type("-")
        screen = self.term.wait_until(
            lambda s: s.text(50, 4) == "[9]]" and page_rows(s) == rows_of(73, 9),
            "page [9]] with Song73 to Song81")
        self.assertTrue(screen.has(1, 23, " Playing -> Song01 "), screen)

    def test_extended_keys_other_than_the_arrows_do_nothing(self):
        music = self.folder("music", song_names(20), long=["Song01.mp3", "Song02.mp3"])
        self.start_main(music, 20)
        self.wait_playing("Song01")
        before = current_seconds(self.term.wait_until(
            lambda s: (current_seconds(s) or 0) >= 2, "Current Time 00:02"))
        # PgDn, Down, Delete, F3, F9, PgUp, Up, Home, End, Insert, F10 carry the
        # codes of "Q", "P", "S", "=", "C", ... after their prefix.
        self.term.keys("NPage", "Down", "DC", "F3", "F9", "PPage", "Up",
                       "Home", "End", "IC", "F10")
        self.term.type("=")       # handled after all of them
        screen = self.wait_page(2, rows_of(10, 9))
        self.assertTrue(screen.has(1, 23, " Playing -> Song01 "), screen)
        self.assertGreaterEqual(current_seconds(screen), before,
                                f"the song started again:\n{screen}")
        self.assertTrue(self.term.player_pids(), "the player ended")


if __name__ == "__main__":
    unittest.main()
