"""The folder's time across runs: the real engine measures the songs, Q
quits through the farewell and writes the cache files, and the next start
takes the lengths from them, measuring and listing only what changed."""
import os
import unittest

from harness import E2ETestCase, LONG, MEDIUM, SHORT, put_song


def total_time(screen):
    return screen.text(25, 19, 23).strip()


def main_screen_with_time(screen):
    return screen.has(1, 20, " TotalSong = ") and screen.has(25, 19, "Total Time")


class FolderTime(E2ETestCase):
    def quit(self):
        # The farewell's rows are the unit tests' business: here it shows for
        # about a second, too briefly to be caught surely on a busy machine.
        self.term.type("Q")
        self.assertEqual(self.term.wait_exit(), 1)

    def test_quit_and_start_again_without_measuring_then_with_changes(self):
        music = self.folder("music")
        put_song(music, "Alpha.mp3", LONG)
        put_song(music, "Beta.mp3", MEDIUM)
        put_song(music, "Gamma.mp3", SHORT)
        expected = f"Total Time -> 00:00:{LONG + MEDIUM + SHORT:02d}"
        self.start(music)
        screen = self.term.wait_until(main_screen_with_time, "the main screen", timeout=30)
        self.assertEqual(total_time(screen), expected, screen)
        self.quit()
        with open(os.path.join(music, "length.txt")) as f:
            self.assertEqual(f.read(), f"0 0 {LONG + MEDIUM + SHORT} 3 {LONG + MEDIUM + SHORT}")
        self.assertEqual(os.path.getsize(os.path.join(music, "names.txt")), 3 * 1024)

        # Unchanged: no measuring screen on the way to the main screen.
        self.start(music)
        screen, seen = self.term.watch(main_screen_with_time, "the main screen")
        self.assertFalse(any(s.contains("Please wait") for s in seen), screen)
        self.assertEqual(total_time(screen), expected, screen)
        self.quit()

        # Beta gone, Delta new: Delta is measured, Beta listed; an arrow key
        # leaves the list whole, and Alpha still plays first.
        os.remove(os.path.join(music, "Beta.mp3"))
        put_song(music, "Delta.mp3", MEDIUM)
        self.start(music)
        screen = self.term.wait_text("some mp3 file(s) missing on your dirictory", 20, 10)
        self.assertEqual(screen.text(20, 11), "Beta", screen)
        self.term.keys("Right")
        screen = self.term.wait_until(main_screen_with_time, "the main screen")
        self.assertEqual(total_time(screen), expected, screen)
        self.wait_playing("Alpha")


if __name__ == "__main__":
    unittest.main()
