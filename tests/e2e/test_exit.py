"""Every way out of the player gives the terminal back in working order
and ends with status 1."""
import os
import signal
import unittest

from harness import E2ETestCase


class WaysOut(E2ETestCase):
    def start_playing(self):
        music = self.folder("music", ["Alpha.mp3", "Beta.mp3"], long=["Alpha.mp3"])
        self.start_main(music, 2)
        self.wait_playing("Alpha")

    def test_sigterm_while_playing(self):
        self.start_playing()
        self.term.signal_player(signal.SIGTERM)
        self.assertEqual(self.term.wait_exit(), 1)
        self.assertEqual(self.term.player_pids(), [])
        self.term.assert_usable(self)
        # The song's point was recorded on the way out.
        with open(os.path.join(self.tmp, "state", "folderplay", "state"), encoding="utf-8") as f:
            self.assertIn("\nAlpha\n", f.read())

    def test_sigterm_while_paused(self):
        self.start_playing()
        self.term.type("w")
        self.term.wait_text(" Paused -> Alpha ", 1, 23)
        self.term.signal_player(signal.SIGTERM)
        self.assertEqual(self.term.wait_exit(), 1)
        self.term.assert_usable(self)

    def test_ctrl_c_while_playing(self):
        self.start_playing()
        self.term.keys("C-c")
        self.assertEqual(self.term.wait_exit(), 1)
        self.term.assert_usable(self)

    def test_ctrl_c_at_a_message_waiting_for_a_key(self):
        self.start(self.folder("nothing"))
        self.term.wait_text("Enter path to your mp3 song(s): ", 1, 2)
        self.term.keys("Escape")
        self.term.wait_text("Press eny key to continue", 20, 11)
        self.term.keys("C-c")
        self.assertEqual(self.term.wait_exit(), 1)
        self.term.assert_usable(self)

    def test_ctrl_z_gives_the_terminal_back_until_fg(self):
        self.start_playing()
        self.term.keys("C-z")
        self.term.wait_until(lambda s: s.contains("Stopped"),
                             "the shell to report the stopped player")
        self.term.assert_usable(self)
        self.term.run("fg")
        screen = self.term.wait_text(" TotalSong = 2", 1, 20)
        self.assertTrue(screen.alternate, f"the player did not take the screen back:\n{screen}")
        self.term.signal_player(signal.SIGTERM)
        self.term.wait_until(lambda s: not self.term.player_pids(), "the player to end")
        self.term.assert_usable(self)


if __name__ == "__main__":
    unittest.main()
