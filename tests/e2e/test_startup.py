"""Start-up: which folder is played, the catalogue's limits, the endings
with a message, and the display names on the first page."""
import os
import re
import unittest

from harness import E2ETestCase, fill_folder, page_rows, song_names


class CatalogueLimits(E2ETestCase):
    def test_5000_songs_load_and_page_to_the_last_page(self):
        names = song_names(5000, "S{:04d}.mp3")
        music = self.folder("music", names, long=[names[0]])
        self.start(music)
        self.term.wait_text(" TotalSong = 5000", 1, 20, timeout=60)
        self.term.type("=" * 560)    # more than enough to reach the end
        screen = self.term.wait_text("[556]", 50, 4, timeout=30)
        self.term.type("s")          # a key handled after all the paging
        screen = self.term.wait_text(" Stoped -> S0001 ", 1, 23)
        self.assertTrue(screen.has(50, 4, "[556]"), screen)
        self.assertEqual(page_rows(screen),
                         ["1. S4996", "2. S4997", "3. S4998", "4. S4999",
                          "5. S5000", "", "", "", ""], screen)

    def test_5001_songs_are_refused(self):
        music = self.folder("music", song_names(5001, "S{:04d}.mp3"))
        self.start(music)
        screen = self.term.wait_text("Maximum 5000 mp3 files loads", 28, 10,
                                     timeout=60)
        self.assertFalse(screen.contains("TotalSong"), screen)
        self.term.type("k")
        self.assertEqual(self.term.wait_exit(), 1)
        self.term.assert_usable(self)
        self.assertEqual(sorted(os.listdir(music)), song_names(5001, "S{:04d}.mp3"),
                         "no file may be written on this ending")


class MusicFolder(E2ETestCase):
    def path_txt(self, start, content):
        with open(os.path.join(start, "path.txt"), "wb") as f:
            f.write(content.encode())
        return os.path.join(start, "path.txt")

    def test_path_txt_naming_a_folder_without_songs_is_removed(self):
        cases = {
            "empty folder": self.folder("empty"),
            "missing folder": os.path.join(self.tmp, "gone"),
        }
        for what, target in cases.items():
            with self.subTest(what):
                start = self.folder("start-" + what.replace(" ", "-"))
                path_txt = self.path_txt(start, target)
                self.start(start)
                self.term.wait_text("Sorry no mp3 file(s) on this dirictory", 20, 10)
                self.term.wait_text("Press eny key to exit", 20, 11)
                self.assertTrue(os.path.exists(path_txt), "removed before the key")
                self.term.type("k")
                self.assertEqual(self.term.wait_exit(), 1)
                self.assertFalse(os.path.exists(path_txt),
                                 "path.txt must be removed so that the next start asks")
                self.assertEqual(os.listdir(start), [])
                self.term.assert_usable(self)

    def test_no_songs_and_no_path_txt(self):
        # The folder prompt is left with Esc: nothing recorded, nothing removed.
        start = self.folder("start")
        self.start(start)
        self.term.wait_text("Enter path to your mp3 song(s): ", 1, 2)
        self.term.keys("Escape")
        self.term.wait_text("Sorry no mp3 file(s) on this dirictory", 20, 10)
        self.term.wait_text("Press eny key to continue", 20, 11)
        self.term.type("k")
        self.assertEqual(self.term.wait_exit(), 1)
        self.assertEqual(os.listdir(start), [])
        self.term.assert_usable(self)

    def test_songs_in_the_working_directory_win_over_path_txt(self):
        there = self.folder("there", ["There01.mp3", "There02.mp3", "There03.mp3"])
        start = self.folder("start", ["Here01.mp3", "Here02.mp3"], long=["Here01.mp3"])
        path_txt = self.path_txt(start, there)
        self.start_main(start, 2)
        screen = self.wait_playing("Here01")
        self.assertEqual(page_rows(screen)[1:3], ["2. Here02", ""], screen)
        self.assertEqual(self.stop_player(), 1)
        with open(path_txt) as f:
            self.assertEqual(f.read(), there)

    def test_path_txt_with_a_line_end_still_names_the_folder(self):
        music = self.folder("music", ["Alpha.mp3", "Beta.mp3", "Gamma.mp3"],
                            long=["Alpha.mp3"])
        for line_end in ("\n", "\r\n"):
            with self.subTest(line_end=repr(line_end)):
                start = self.folder("start" + str(len(line_end)))
                path_txt = self.path_txt(start, music + line_end)
                self.start_main(start, 3)
                screen = self.wait_playing("Alpha")
                self.assertEqual(page_rows(screen)[1:4],
                                 ["2. Beta", "3. Gamma", ""], screen)
                self.assertEqual(self.stop_player(), 1)
                with open(path_txt, "rb") as f:
                    self.assertEqual(f.read(), (music + line_end).encode(),
                                     "a working path.txt must stay as it is")

    def test_a_folder_on_the_command_line_is_played_and_keeps_its_cache(self):
        # Started elsewhere, beside a path.txt naming another folder: the
        # folder named is played, and Q writes the cache files into it.
        music = self.folder("music", ["Alpha.mp3", "Beta.mp3"], long=["Alpha.mp3"])
        start = self.folder("start")
        self.path_txt(start, self.folder("other", ["Other.mp3"]))
        self.term.start_player(self.binary, start, ["../music"])
        self.term.wait_text(" TotalSong = 2", 1, 20, timeout=30)
        self.wait_playing("Alpha")
        self.term.type("Q")
        self.assertEqual(self.term.wait_exit(), 1)
        self.assertEqual(sorted(os.listdir(music)),
                         ["Alpha.mp3", "Beta.mp3", "length.txt", "names.txt", "number.txt"])
        self.assertEqual(os.listdir(start), ["path.txt"])
        self.term.assert_usable(self)

    def folder_of_path_length(self, length, name):
        base = os.path.join(os.path.realpath(self.tmp), name)
        left = length - len(base.encode())
        self.assertGreater(left, 10, "the scratch folder's path is too long already")
        parts = []
        while left > 0:     # "/" + a component of at most 60 bytes each
            n = min(60, left - 1)
            if left - 1 - n == 1:
                n -= 1
            parts.append("d" * n)
            left -= n + 1
        folder = os.path.join(base, *parts)
        self.assertEqual(len(folder.encode()), length)
        os.makedirs(folder)
        return folder

    def test_start_directory_of_127_bytes_is_accepted(self):
        folder = self.folder_of_path_length(127, "a")
        fill_folder(folder, ["Deep01.mp3", "Deep02.mp3"], long=["Deep01.mp3"])
        self.start(folder)
        self.term.wait_text(" TotalSong = 2", 1, 20, timeout=30)
        self.wait_playing("Deep01")

    def test_long_start_directory_with_songs_plays(self):
        # Its path is never stored: the songs are opened from where they are.
        folder = self.folder_of_path_length(128, "a")
        fill_folder(folder, ["Deep01.mp3", "Deep02.mp3"], long=["Deep01.mp3"])
        self.start(folder)
        self.term.wait_text(" TotalSong = 2", 1, 20, timeout=30)
        self.wait_playing("Deep01")
        self.assertEqual(self.stop_player(), 1)

    def test_start_directory_longer_than_127_bytes_is_refused(self):
        music = self.folder("music", ["Alpha.mp3"], long=["Alpha.mp3"])
        with_path_txt = self.folder_of_path_length(128, "b")
        self.path_txt(with_path_txt, music)
        for what, start in (("path.txt in it", with_path_txt),):
            with self.subTest(what):
                self.start(start)
                message = re.compile(r"long|127", re.I)
                try:
                    screen = self.term.wait_until(
                        lambda s: self.term.exited(s) or s.contains(" TotalSong")
                        or (s.alternate and any(message.search(r) for r in s.rows())),
                        "a message about the path's length")
                    self.assertFalse(screen.contains(" TotalSong"),
                                     f"the player started in a {len(start)}-byte "
                                     f"folder:\n{screen}")
                    if not self.term.exited(screen):
                        self.term.type("k")      # the message waits for a key
                    self.assertEqual(self.term.wait_exit(), 1)
                    after = self.term.capture()
                    self.assertTrue(
                        any(message.search(r) for r in screen.rows() + after.rows()
                            if not r.startswith("$ ")),
                        f"no message about the path's length:\n{screen}\n{after}")
                    self.term.assert_usable(self)
                finally:
                    if self.term.player_pids():
                        self.stop_player()


class DisplayNames(E2ETestCase):
    def test_names_are_cut_at_50_bytes_then_at_the_first_point(self):
        c49 = "C" * 49
        names = [
            "01. Intro.mp3",                  # -> "01"
            "B" * 60 + ".mp3",                # -> 50 B
            "Caf\u00e9 \u00d6l\u00e7\u00fc.mp3",  # UTF-8 intact
            c49 + "\u00e9tail.mp3",           # byte 50 would split the "é"
            "Intro.mp3",
        ]
        music = self.folder("music", names, long=names)
        self.start_main(music, 5)
        expected = ["1. 01", "2. " + "B" * 50, "3. Caf\u00e9 \u00d6l\u00e7\u00fc",
                    "4. " + c49, "5. Intro", "", "", "", ""]
        self.term.type("s")        # stops the flashing of the playing row
        screen = self.term.wait_text(" Stoped -> 01 ", 1, 23)
        self.assertEqual(page_rows(screen), expected, screen)
        self.term.type("3")
        self.wait_playing("Caf\u00e9 \u00d6l\u00e7\u00fc")


if __name__ == "__main__":
    unittest.main()
