"""The song keys (digits, next, previous), Stop, and a file that cannot be
played."""
import os
import unittest

from harness import (E2ETestCase, GREY, YELLOW, current_seconds, page_rows,
                     rows_of, song_names)


class SongKeys(E2ETestCase):
    def test_next_on_the_last_song_of_the_last_page_stays_on_that_page(self):
        music = self.folder("music", song_names(20),
                            long=["Song01.mp3", "Song19.mp3", "Song20.mp3"])
        self.start_main(music, 20)
        self.term.type("==2")
        self.wait_playing("Song20")
        self.term.type("M")
        self.wait_playing("Song19")
        self.term.wait_text("1. Song19", 25, 5, colour=YELLOW)
        screen = self.term.wait_text("2. Song20", 25, 6, colour=GREY)
        self.assertEqual(screen.text(50, 4), "[3]", screen)
        self.term.keys("Right")
        self.wait_playing("Song20")
        self.term.keys("Left")
        self.wait_playing("Song19")

    def test_next_past_a_full_page_shows_the_next_page(self):
        music = self.folder("music", song_names(12),
                            long=["Song01.mp3", "Song09.mp3", "Song10.mp3"])
        self.start_main(music, 12)
        self.term.type("9")
        self.wait_playing("Song09")
        self.term.keys("Right")
        self.wait_playing("Song10")
        self.term.wait_text("[2]", 50, 4)
        # Row 13 is left out: the previously highlighted slot (9) is redrawn
        # on the new page, where it holds no song.
        self.term.wait_until(lambda s: page_rows(s)[:8] == rows_of(10, 3)[:8],
                             "page 2's rows")

    def test_previous_on_slot_0_plays_slot_0_again(self):
        music = self.folder("music", song_names(3), long=song_names(3))
        self.start_main(music, 3)
        self.wait_playing("Song01")
        before = current_seconds(self.term.wait_until(
            lambda s: (current_seconds(s) or 0) >= 3, "Current Time 00:03"))
        self.term.keys("Left")
        screen = self.term.wait_until(
            lambda s: current_seconds(s) is not None and current_seconds(s) < before,
            f"the current time to start again below {before} s")
        self.assertTrue(screen.has(1, 23, " Playing -> Song01 "), screen)

    def test_digits_beyond_the_songs_are_ignored(self):
        music = self.folder("music", song_names(5), long=song_names(5))
        self.start_main(music, 5)
        self.term.type("06789s")     # "s" marks that the digits were handled
        screen = self.term.wait_text(" Stoped -> Song01 ", 1, 23)
        self.assertEqual(page_rows(screen), rows_of(1, 5), screen)
        self.term.type("5")
        self.wait_playing("Song05")
        self.term.wait_text("5. Song05", 25, 9, colour=YELLOW)
        self.term.type("2")
        self.wait_playing("Song02")

    def test_stop_holds_the_song_until_the_next_key(self):
        music = self.folder("music", song_names(3), long=song_names(3))
        self.start_main(music, 3)
        self.wait_playing("Song01")
        self.term.type("s")
        screen = self.term.wait_text(" Stoped -> Song01 ", 1, 23, colour=GREY)
        # Still stopped once the time fields have been redrawn a while.
        stopped_at = current_seconds(screen)
        screen = self.term.wait_until(
            lambda s: s.has(1, 23, " Stoped -> Song01 ")
            and current_seconds(s) == stopped_at, "a stable stopped screen")
        self.term.type("a")          # no command: the player moves on
        self.wait_playing("Song02")
        self.term.wait_text("2. Song02", 25, 6, colour=YELLOW)


class UnplayableFile(E2ETestCase):
    def folder_with_broken(self, names, long=(), medium=()):
        music = self.folder("music", names, long=long, medium=medium)
        with open(os.path.join(music, "Broken.mp3"), "w") as f:
            f.write("This is a text file, not an MP3 song.\n" * 20)
        return music

    def assert_skipped(self, then):
        screen, seen = self.term.watch(
            lambda s: s.has(1, 23, f" Playing -> {then} "), f"{then} to play")
        self.assertTrue(any(s.has(1, 24, " Cannot play -> Broken ") for s in seen),
                        "' Cannot play -> Broken ' was never shown; the screens:\n"
                        + "\n".join(str(s) for s in seen))

    def test_a_broken_file_between_songs_is_skipped(self):
        music = self.folder_with_broken(["Alpha.mp3", "Charlie.mp3"],
                                        long=["Charlie.mp3"], medium=["Alpha.mp3"])
        self.start_main(music, 3)
        self.wait_playing("Alpha")
        self.assert_skipped("Charlie")

    def test_a_broken_first_file_is_skipped_at_start(self):
        music = self.folder_with_broken(["Charlie.mp3"], long=["Charlie.mp3"])
        self.start(music)
        self.assert_skipped("Charlie")

    def test_a_broken_file_chosen_by_its_digit_is_skipped(self):
        music = self.folder_with_broken(["Alpha.mp3", "Charlie.mp3"],
                                        long=["Alpha.mp3", "Charlie.mp3"])
        self.start_main(music, 3)
        self.wait_playing("Alpha")
        self.term.type("2")
        self.assert_skipped("Charlie")


if __name__ == "__main__":
    unittest.main()
