"""Typed input in a real terminal on the real engine: the folder prompt at
the first start, the Load command with the new folder's lengths and a jump
within its first song, and a speed the engine refuses."""
import os
import unittest

from harness import LONG, SHORT, E2ETestCase, current_seconds, page_rows

PROMPT = "Enter path to your mp3 song(s): "


class FolderPrompt(E2ETestCase):
    def test_asked_at_the_first_start_and_remembered_for_the_next(self):
        start = self.folder("start")
        self.folder("start/music", ["Song01.mp3", "Song02.mp3"],
                    medium=["Song01.mp3"], long=["Song02.mp3"])
        # A subfolder of the same name: entering the relative folder again
        # from inside it would land there.
        self.folder("start/music/music", ["Other.mp3"], long=["Other.mp3"])
        self.start(start)
        screen = self.term.wait_text(PROMPT, 1, 2)
        self.assertTrue(screen.row(25).endswith("Press Esc to exit."), screen)
        self.term.type("music")
        self.term.keys("Enter")
        self.term.wait_text(" TotalSong = 2", 1, 20)
        self.wait_playing("Song01")
        self.wait_playing("Song02")
        self.assertEqual(self.stop_player(), 1)
        with open(os.path.join(start, "path.txt"), "rb") as f:
            self.assertEqual(f.read(), b"music")

        self.start_main(start, 2)
        self.wait_playing("Song01")


class Load(E2ETestCase):
    def open_prompt(self):
        self.term.type("l")
        return self.term.wait_text(PROMPT, 1, 2)

    def test_esc_keeps_the_song_and_another_folder_is_loaded(self):
        one = self.folder("one", ["Alpha.mp3", "Beta.mp3"], long=["Alpha.mp3"])
        two = self.folder("two", ["Gamma.mp3", "Delta.mp3", "Epsilon.mp3"],
                          long=["Delta.mp3"])
        self.start_main(one, 2)
        before = current_seconds(self.term.wait_until(
            lambda s: (current_seconds(s) or 0) >= 2, "Current Time 00:02"))
        self.open_prompt()
        self.term.keys("Escape")
        screen = self.term.wait_text(" TotalSong = 2", 1, 20)
        screen = self.term.wait_until(
            lambda s: s.has(1, 23, " Playing -> Alpha ")
            and (current_seconds(s) or 0) >= before, "Alpha to play on")

        self.open_prompt()
        self.term.type(two)
        self.term.keys("Enter")
        screen = self.term.wait_text(" TotalSong = 3", 1, 20)
        self.wait_playing("Delta")
        screen = self.term.wait_until(
            lambda s: page_rows(s)[:4] == ["1. Delta", "2. Epsilon", "3. Gamma", ""],
            "the new folder's page")
        self.assertEqual(screen.text(25, 19, 22),
                         f"Total Time -> 00:00:{LONG + 2 * SHORT:02d}", screen)
        # The new folder's lengths are known: a jump within the song is taken.
        self.term.type("c")
        self.term.wait_text("Enter value for position: ", 1, 2)
        self.term.type("30")
        self.term.keys("Enter")
        self.term.wait_until(
            lambda s: s.has(1, 23, " Playing -> Delta ")
            and 30 <= (current_seconds(s) or 0) < LONG, "Delta to play on from 00:30")
        # Started in a folder of songs, the player keeps path.txt in the
        # folder it loaded.
        with open(os.path.join(two, "path.txt"), "rb") as f:
            self.assertEqual(f.read(), two.encode())

    def test_a_folder_without_songs_ends_with_the_scans_message(self):
        one = self.folder("one", ["Alpha.mp3"], long=["Alpha.mp3"])
        empty = self.folder("empty")
        self.start_main(one, 1)
        self.open_prompt()
        self.term.type(empty)
        self.term.keys("Enter")
        self.term.wait_text("Sorry no mp3 file(s) on this dirictory", 20, 10)
        self.term.wait_text("Press eny key to exit", 20, 11)
        self.term.type("k")
        self.assertEqual(self.term.wait_exit(), 1)
        self.assertEqual(os.listdir(empty), [])
        self.term.assert_usable(self)


class Speed(E2ETestCase):
    def test_a_speed_the_engine_refuses_gets_a_message_and_a_fresh_field(self):
        one = self.folder("one", ["Alpha.mp3"], long=["Alpha.mp3"])
        self.start_main(one, 1)
        self.term.type("x")
        self.term.wait_text("Change speed: ", 1, 2)
        self.term.type("5")
        self.term.keys("Enter")
        self.term.wait_text("This speed cannot be played, 100 is normal speed", 20, 10)
        self.term.type("k")
        screen = self.term.wait_until(
            lambda s: s.row(2) == "Change speed:" and s.row(10) == "", "a fresh field")
        self.term.type("150")
        self.term.keys("Enter")
        self.term.wait_text(" TotalSong = 1", 1, 20)
        self.wait_playing("Alpha")


if __name__ == "__main__":
    unittest.main()
