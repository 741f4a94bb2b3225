"""Every way out of the player gives the terminal back in working order
and ends with status 1."""
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
        self.term.wait_text("Press eny key to continue", 20, 11)
        self.term.keys("C-c")
        self.assertEqual(self.term.wait_exit(), 1)
        self.term.assert_usable(self)


if __name__ == "__main__":
    unittest.main()
